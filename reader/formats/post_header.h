// HSPICE post file header (versions 9007, 9601, 2001, 2013; text and binary).
#ifndef WAVTREX_FORMATS_POST_HEADER_H
#define WAVTREX_FORMATS_POST_HEADER_H

#include "../format_table.h"

// Reads the header into ds, in the version the row's post traits describe,
// and leaves the stream at the first data value. Returns 1, or 0 with the
// reason stored. Text files go to the text field readers, everything else
// to the block layer.
int readPostHeader(WaveformDataset* ds, const FormatEntry& row);

#endif
