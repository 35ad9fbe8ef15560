// SPICE raw files (data format 16), as ngspice, LTspice, Xyce and QSPICE
// write them.
//
// A file holds one or more plots. Each starts with a header of "Key: value"
// lines (Title, Date, Plotname, Flags, No. Variables, No. Points, Variables
// with one TAB-separated line per variable, and others) and ends with a
// "Binary:" or "Values:" line, after which its values follow, point after
// point (LTspice's fastaccess: variable after variable). LTspice binary files
// write the header in UTF-16LE. The plot read (the first that is no operating
// point, or the one selected) takes the plots of its variables as sweeps, or
// a stepped LTspice plot its steps. ASCII values are whole numbers as C
// writes them; anything else fails the read.
#ifndef WAVTREX_FORMATS_SPICE_RAW_H
#define WAVTREX_FORMATS_SPICE_RAW_H

#include "../format_table.h"
#include "../wfx.h"

// Reads every plot's header (and, for ASCII and stepped plots, walks their
// values) into ds and its source facts, and describes the first plot that is
// no operating point. Returns 1, or 0 with the reason in the last-error text.
int readSpiceRawHeader(WaveformDataset* ds, const FormatEntry& row);

// Reads every sweep: real[i][s] and, for complex plots, imag[i][s];
// axis[0][s] and counts[0][s]; sweepValues[s] when there are several sweeps.
// Only the signals ds->wantedSignals asks for are decoded (fastaccess plots
// read only their bytes). Returns 1, or 0 with the reason stored.
int readSpiceRawData(WaveformDataset* ds, WaveformValues* out, const FormatEntry& row);
// The same into doubles, as stored.
int readSpiceRawData64(WaveformDataset* ds, WaveformValues64* out, const FormatEntry& row);

// Describes plot number plot and its sweeps instead (wfxSelectPlot).
int selectSpiceRawPlot(WaveformDataset* ds, int32_t plot);

// True when the first bytes begin like a raw file's header line, in 8-bit
// text or UTF-16LE: the detector of its row.
bool looksLikeSpiceRaw(const FormatEntry& row, const Sniffed& first);

#endif
