// Shared by the formats whose every signal keeps its own times (framed event,
// tagged record): the signal identifier map and the growth of a signal's
// arrays.
#ifndef WAVTREX_FORMATS_PER_SIGNAL_H
#define WAVTREX_FORMATS_PER_SIGNAL_H

#include <cstdint>

#include "../dataset_tables.h"
#include "../failure.h"

// Identifiers a file may use, one past the largest: a map larger than the
// file is not worth trusting, except that small files may use identifiers up
// to 65535. Data tags carry at most 30 bits, which caps it too.
int64_t signalIdLimit(const WaveformDataset* ds);

// Makes ds->signalIdMap with entries entries, each set to fill. False after
// reporting outOfMemory.
bool makeSignalIdMap(WaveformDataset* ds, int64_t entries, int32_t fill, Failure outOfMemory);

// The room a signal's arrays grow to from room values: steps of 100 values,
// but at least half again for long signals, so a big file is not copied over
// and over.
int64_t grownSignalRoom(int64_t room);

// Grows each of a signal's arrays of one sweep to grown floats, in order,
// and records grown in *room. False after reporting out of memory (every
// array keeps a valid block, those grown so far their new one).
bool growSignalArrays(WaveformDataset* ds, float** const* arrays, int count, int64_t grown,
                      int64_t* room);

#endif
