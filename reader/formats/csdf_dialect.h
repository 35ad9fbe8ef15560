// CSDF as Xyce and PSpice write it (data format 17).
//
// Each block is a "#H" header of KEY='value' pairs (several on a line; a
// TITLE may hold unescaped quotes), a "#N" list of quoted names, and points:
// "#C x n" and n value:index pairs (re/im:index with COMPLEXVALUES='YES'),
// wrapped over lines, indices decimal (Xyce) or hexadecimal (PSpice); "#;"
// ends the block. Values are whole numbers as C writes them. A .STEP run repeats the block,
// SUBTITLE or SWEEP2PARM/SWEEP2VALUE naming the step: blocks of the same names become sweeps.
#ifndef WAVTREX_FORMATS_CSDF_DIALECT_H
#define WAVTREX_FORMATS_CSDF_DIALECT_H

#include "../format_table.h"
#include "../wfx.h"

// Reads every block's header and counts its points. 1, or 0 with the reason
// in the last-error text.
int readCsdfDialectHeader(WaveformDataset* ds, const FormatEntry& row);

// Reads every sweep as readSpiceRawData does; a node a point leaves out
// reads NaN there. 1, or 0 with the reason stored.
int readCsdfDialectData(WaveformDataset* ds, WaveformValues* out, const FormatEntry& row);
// The same into doubles, parsed as written.
int readCsdfDialectData64(WaveformDataset* ds, WaveformValues64* out, const FormatEntry& row);

// Describes block number plot and the blocks of its names instead (wfxSelectPlot).
int selectCsdfDialectPlot(WaveformDataset* ds, int32_t plot);

// True when the first bytes hold "#H" and name Xyce or PSpice as SOURCE (in
// any letter case), or the first point after "#C" shows a value:index pair,
// in the first bytes or, for a long header, further on: the detector of its
// row.
bool looksLikeCsdfDialect(const FormatEntry& row, const Sniffed& first);

#endif
