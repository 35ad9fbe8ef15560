// Tagged record waveform files.
#ifndef WAVTREX_FORMATS_TAGGED_RECORD_H
#define WAVTREX_FORMATS_TAGGED_RECORD_H

#include "../wfx.h"

// Reads the header into ds. Returns 1, or 0 with the reason stored.
int readTaggedRecordHeader(WaveformDataset* ds);

// Reads every signal's records into out's holders (one axis entry per signal).
// Returns 1, or 0 with the reason stored.
int readTaggedRecordData(WaveformDataset* ds, WaveformValues* out);

// Releases ds->nameTree (the scope tree); safe when it is NULL.
void releaseNameTree(WaveformDataset* ds);

#endif
