// HSPICE post file data: one table per sweep.
#ifndef WAVTREX_FORMATS_POST_DATA_H
#define WAVTREX_FORMATS_POST_DATA_H

#include "../format_table.h"

// Reads every sweep into out's holders, in the version the row's post traits
// describe. Returns 1, or 0 with lastError and the reason stored; arrays
// already attached to out are released by the caller. A short file lowers
// sweepCount; a table cut short keeps the rows read. A table without rows
// has count 0 and no arrays (NULL). Imaginary arrays of real signals exist
// but are not filled.
int readPostData(WaveformDataset* ds, WaveformValues* out, const FormatEntry& row);
// The same into doubles: binary doubles as stored, text fields as strtod
// reads them. A float read's values are these narrowed, and tables end at
// the same rows.
int readPostData64(WaveformDataset* ds, WaveformValues64* out, const FormatEntry& row);

#endif
