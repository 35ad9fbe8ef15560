// CSDF as Xyce and PSpice write it (data format 17).
//
// Each block is a "#H" header of KEY='value' pairs (several on a line; a
// TITLE may hold unescaped quotes), a "#N" list of quoted names, and points:
// "#C x n" and n value:index pairs (re/im:index with COMPLEXVALUES='YES'),
// wrapped over lines, indices decimal (Xyce) or hexadecimal (PSpice); "#;"
// ends the block. A .STEP run repeats the block, SUBTITLE or
// SWEEP2PARM/SWEEP2VALUE naming the step: blocks of the same names become
// sweeps.
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

// True when the first bytes hold "#H" and name Xyce or PSpice as SOURCE, or
// show a value:index pair after "#C": the detector of its row.
bool looksLikeCsdfDialect(const FormatEntry& row, const Sniffed& first);

#endif
