// HSPICE post file header (versions 9007, 9601, 2001, 2013; text and binary).
#ifndef WAVTREX_FORMATS_POST_HEADER_H
#define WAVTREX_FORMATS_POST_HEADER_H

#include <cstdint>

#include "../wfx.h"

// Reads the header into ds and leaves the stream at the first data value.
// Returns 1, or 0 with the reason stored. Text files go to the text reader,
// everything else to the binary one.
int readPostHeader(WaveformDataset* ds);

int readBinaryPostHeader(WaveformDataset* ds);
int readAsciiPostHeader(WaveformDataset* ds);

// Reads the independent variable's and the signals' names and adds them with
// their type codes (signalCount + 1 of them). Returns 1 or 0.
int readPostNames(WaveformDataset* ds, const uint32_t* typeCodes);

// As readPostNames, then reads sweepNameCount sweep names and puts the sweep
// variable at position 0 (a real variable for one name, the "datum(" compound
// with its member types for several). A sweepCount above 0 becomes the
// dataset's sweepCount. Returns 1 or 0.
int readPostNamesWithSweep(WaveformDataset* ds, const uint32_t* typeCodes, int32_t sweepNameCount,
                           int32_t sweepCount);

#endif
