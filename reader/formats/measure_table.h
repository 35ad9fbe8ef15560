// HSPICE measurement tables: header only.
#ifndef WAVTREX_FORMATS_MEASURE_TABLE_H
#define WAVTREX_FORMATS_MEASURE_TABLE_H

#include "../wfx.h"

// Reads the header into ds. Returns 1, or 0 with the reason stored.
int readMeasureTableHeader(WaveformDataset* ds);

#endif
