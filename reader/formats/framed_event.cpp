// Placeholder until the reader lands: fails like a format without a reader.
#include "framed_event.h"

int readFramedEventHeader(WaveformDataset*) { return 0; }
int readFramedEventData(WaveformDataset*, WaveformValues*) { return 0; }
