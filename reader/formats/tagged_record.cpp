// Placeholder until the reader lands: fails like a format without a reader.
#include "tagged_record.h"

int readTaggedRecordHeader(WaveformDataset*) { return 0; }
int readTaggedRecordData(WaveformDataset*, WaveformValues*) { return 0; }
void releaseNameTree(WaveformDataset*) {}
