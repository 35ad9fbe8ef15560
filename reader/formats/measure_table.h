// HSPICE measurement tables (data format 4): the header only.
//
// Reached only when the caller names format 4; detection never picks it, and
// read has no data reader for it. The first line carries VERSION='...', an
// optional "$OPTION" line follows, then a ".TITLE " line and the column names,
// the last of which begins with "alter#" or ends in "#". Every column becomes a
// variable (typeCode and kind 9); column 0 is the independent variable.
#ifndef WAVTREX_FORMATS_MEASURE_TABLE_H
#define WAVTREX_FORMATS_MEASURE_TABLE_H

#include "../format_table.h"

// Reads the header into ds (version, title, analysisKind 9, the columns).
// Returns 1, or 0 with the reason in the last-error text.
int readMeasureHeader(WaveformDataset* ds, const FormatEntry& row);

#endif
