// Framed event waveform files (blocks framed by the value 5).
#ifndef WAVTREX_FORMATS_FRAMED_EVENT_H
#define WAVTREX_FORMATS_FRAMED_EVENT_H

#include "../format_table.h"

// Reads the header into ds. Returns 1, or 0 with the reason stored.
int readFramedEventHeader(WaveformDataset* ds, const FormatEntry& row);

// Reads every signal's events into out's holders (one axis entry per signal).
// Returns 1, or 0 with the reason stored.
int readFramedEventData(WaveformDataset* ds, WaveformValues* out, const FormatEntry& row);

// Releases what the header reader left in ds (signalIdMap, signalIdList).
void releaseFramedEvent(WaveformDataset* ds);

#endif
