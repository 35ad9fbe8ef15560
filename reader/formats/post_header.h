// HSPICE post file header (versions 9007, 9601, 2001, 2013; text and binary).
#ifndef WAVTREX_FORMATS_POST_HEADER_H
#define WAVTREX_FORMATS_POST_HEADER_H

#include "../wfx.h"

// Reads the header into ds. Returns 1, or 0 with the reason stored.
int readPostHeader(WaveformDataset* ds);

#endif
