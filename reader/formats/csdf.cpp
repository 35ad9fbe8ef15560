// Placeholder until the reader lands: fails like a format without a reader.
#include "csdf.h"

int readCsdfHeader(WaveformDataset*) { return 0; }
int readCsdfData(WaveformDataset*, WaveformValues*) { return 0; }
