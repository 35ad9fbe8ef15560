// Tagged record waveform files (data format 13).
//
// The file is a run of length-prefixed blocks (a marker word 9, then the data
// length) in either byte order. The header declares the sweep parameters, the
// independent variable, the signals with their numeric identifiers and a tree
// of named scopes; the data is a stream of tagged records per sweep in which
// every signal keeps its own time points.
#ifndef WAVTREX_FORMATS_TAGGED_RECORD_H
#define WAVTREX_FORMATS_TAGGED_RECORD_H

#include <string>

#include "../format_table.h"

// Reads the header into ds: variables, types, signalIdMap and the scope tree
// (ds->nameTree). Returns 1, or 0 with the reason stored; what was allocated
// stays owned by ds and goes with it.
int readTaggedRecordHeader(WaveformDataset* ds, const FormatEntry& row);

// Reads every sweep into out's holders, one axis and count entry per signal.
// A signal without points in a sweep has count 0 and no arrays there (NULL).
// Returns 1, or 0 with the reason stored (wfxRead then releases out).
int readTaggedRecordData(WaveformDataset* ds, WaveformValues* out, const FormatEntry& row);

// Releases what the header reader left in ds: signalIdMap and the scope tree
// (ds->nameTree). Safe when either is NULL.
void releaseTaggedRecord(WaveformDataset* ds);

// The scope tree as text, one line per scope in tree order: two blanks per
// level of depth, the scope name, a blank and its record tag in hex.
// Empty without a tree. For tests and debugging.
std::string describeScopeTree(const WaveformDataset* ds);

#endif
