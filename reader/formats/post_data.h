// HSPICE post file data: one table per sweep.
#ifndef WAVTREX_FORMATS_POST_DATA_H
#define WAVTREX_FORMATS_POST_DATA_H

#include "../wfx.h"

// Reads every sweep into out's holders. Returns 1, or 0 with lastError and the
// reason stored; arrays already attached to out are released by the caller.
int readPostData(WaveformDataset* ds, WaveformValues* out);

#endif
