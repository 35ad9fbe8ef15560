// CSDF text waveform files.
#ifndef WAVTREX_FORMATS_CSDF_H
#define WAVTREX_FORMATS_CSDF_H

#include "../wfx.h"

// Reads the header into ds. Returns 1, or 0 with the reason stored.
int readCsdfHeader(WaveformDataset* ds);

// Reads every sweep into out's holders. Returns 1, or 0 with the reason stored.
int readCsdfData(WaveformDataset* ds, WaveformValues* out);

#endif
