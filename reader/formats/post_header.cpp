// Placeholder until the reader lands: fails like a format without a reader.
#include "post_header.h"

int readPostHeader(WaveformDataset*) { return 0; }
