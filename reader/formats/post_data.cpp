// Placeholder until the reader lands: fails like a format without a reader.
#include "post_data.h"

int readPostData(WaveformDataset*, WaveformValues*) { return 0; }
