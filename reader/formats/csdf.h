// CSDF text waveform files (data format 2).
//
// A file holds one section per sweep: a "#H" line, KEY='value' header lines up
// to the one holding NODES, a "#N" node list of quoted names, and points begun
// by "#C" (independent value, a count token, one value per node, complex
// values written re/im), ended by "#;". Two or more "#H" lines make a swept
// file: "OUTERSWEEP" then leads the variable table.
#ifndef WAVTREX_FORMATS_CSDF_H
#define WAVTREX_FORMATS_CSDF_H

#include "../format_table.h"

// Reads the header keys and the node list into ds (variables, counts, title,
// version, date, analysisKind). Also leaves in ds->dataSize the number of
// bytes after the header, which bounds the data reader's first buffers.
// Returns 1, or 0 with the reason in the last-error text.
int readCsdfHeader(WaveformDataset* ds, const FormatEntry& row);

// Reads every sweep into out's holders: real[i][s] per node, imag[i][s] for
// complex nodes of an AC file, axis[0][s] and counts[0][s] shared by all nodes
// (one holder), and for a swept file sweepValues[s] (one
// float, always 0). Returns 1, or 0 with lastError and the
// last-error text set; whatever was allocated stays attached to out.
int readCsdfData(WaveformDataset* ds, WaveformValues* out, const FormatEntry& row);
// The same into doubles, each value's digits as strtod reads them (a float
// read's values are these narrowed).
int readCsdfData64(WaveformDataset* ds, WaveformValues64* out, const FormatEntry& row);

#endif
