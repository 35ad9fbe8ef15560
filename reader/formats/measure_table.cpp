// Placeholder until the reader lands: fails like a format without a reader.
#include "measure_table.h"

int readMeasureTableHeader(WaveformDataset*) { return 0; }
