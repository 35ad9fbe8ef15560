// Framed event waveform files; see framed_event.h.
#include "framed_event.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../dataset_tables.h"
#include "../failure.h"
#include "../format_table.h"
#include "../growth.h"
#include "block_layer.h"
#include "per_signal.h"

namespace {

constexpr uint32_t kEventEnd = 0x20000000u;
constexpr uint32_t kEventIdentifierBits = 0x0FFFFFFFu;
constexpr int32_t kEventNameLimit = 1024;  // names and prefixed names, with their NUL
constexpr int32_t kEventSkipChunk = 4096;  // unused text is skipped in pieces this long

void eventMalformed(WaveformDataset* ds) {
    reportFailure(ds, Failure::kMalformed);
}

int eventOutOfMemory(WaveformDataset* ds) {
    return reportFailure(ds, Failure::kOutOfMemoryEvents);
}

// Reads the next 4 bytes in the file's byte order, as a float when value is
// given, else as an int. 0 when the field cannot be read.
int readFramedEventNumber(WaveformDataset* ds, float* value, int32_t* number) {
    const char* field = blockFieldInPlace(ds, 4);
    if (field == nullptr) return 0;
    if (value != nullptr) {
        *value = decodeFloat(field, blockSwapped(ds));
    } else {
        *number = decodeInt32(field, blockSwapped(ds));
    }
    return 1;
}

bool eventInt(WaveformDataset* ds, int32_t* number) {
    return readFramedEventNumber(ds, nullptr, number) != 0;
}
bool eventFloat(WaveformDataset* ds, float* value) {
    int32_t unused;
    return readFramedEventNumber(ds, value, &unused) != 0;
}

// Consumes length bytes of text nobody reads.
bool eventSkip(WaveformDataset* ds, int32_t length) {
    while (length > 0) {
        int32_t piece = length < kEventSkipChunk ? length : kEventSkipChunk;
        if (!skipBlockBytes(ds, piece)) return false;
        length -= piece;
    }
    return true;
}

// Leading text, date, title, the three counts and the extra records.
bool eventFixedHeader(WaveformDataset* ds, int32_t* signals, int32_t* grouped) {
    char raw[101];
    if (!eventSkip(ds, 16)) return false;
    if (blockFieldRaw(ds, raw, 16) == nullptr) return false;
    std::memcpy(ds->date, raw, 16);
    ds->date[16] = '\0';
    if (blockFieldTrimmed(ds, raw, 100) == nullptr) return false;
    // A title that fills all 100 bytes loses its last one to the terminator.
    size_t titleLength = strnlen(raw, sizeof ds->title - 1);
    std::memcpy(ds->title, raw, titleLength);
    ds->title[titleLength] = '\0';

    int32_t extras;
    if (!eventInt(ds, signals) || !eventInt(ds, grouped) || !eventInt(ds, &extras)) return false;
    // Counts that no file could hold are damage, not something to size by.
    if (*signals < 0 || *grouped < 0 || *grouped > *signals || extras < 0) {
        eventMalformed(ds);
        return false;
    }
    ds->mainCount = *signals;
    ds->probeCount = *grouped;
    ds->sweepParamCount = extras;
    for (int32_t k = 0; k < extras; ++k) {
        int32_t unused;
        int32_t length;
        if (!eventInt(ds, &unused) || !eventInt(ds, &length)) return false;
        if (length < 0) {
            eventMalformed(ds);
            return false;
        }
        if (!eventSkip(ds, length)) return false;
    }
    return true;
}

// One signal record's name, "prefix:name" when the prefix is above 0. Names
// that do not fit 1024 bytes (with the prefix) are refused, not cut: a cut
// name could clash with another signal's.
bool eventSignalName(WaveformDataset* ds, char* name) {
    int32_t prefix;
    int32_t length;
    if (!eventInt(ds, &prefix) || !eventInt(ds, &length)) return false;
    if (length < 0 || length >= kEventNameLimit) {
        eventMalformed(ds);
        return false;
    }
    char text[kEventNameLimit];
    text[0] = '\0';  // a name of length 0 reads nothing
    if (blockFieldTrimmed(ds, text, length) == nullptr) return false;
    int written = prefix > 0 ? std::snprintf(name, kEventNameLimit, "%d:%s", prefix, text)
                             : std::snprintf(name, kEventNameLimit, "%s", text);
    if (written < 0 || written >= kEventNameLimit) {
        eventMalformed(ds);
        return false;
    }
    return true;
}

// Appends to an int array grown by doubling; false when out of memory.
bool eventAppend(int32_t** array, int32_t* size, int32_t* capacity, int32_t value) {
    if (!growByDoubling(*array, *capacity, static_cast<size_t>(*size) + 1, 16)) return false;
    (*array)[(*size)++] = value;
    return true;
}

// The signals that are not grouped, as (identifier, position) pairs, kept
// until the map can be sized by the largest identifier.
struct EventIdPairs {
    int32_t* items = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;
    int64_t largest = -1;
    int64_t limit = 0;  // identifiers from here on are refused
    ~EventIdPairs() { std::free(items); }
};

// One signal record: its variable, then its place in signalIdList (grouped,
// marked by a negative word) or among the pairs.
bool eventSignal(WaveformDataset* ds, int32_t position, int32_t grouped, int32_t* listCapacity,
                 EventIdPairs& pairs) {
    int32_t word;
    char name[kEventNameLimit];
    if (!eventInt(ds, &word) || !eventSignalName(ds, name)) return false;
    if (addVariable(ds, name, 1, kKindReal) < 0) return false;
    if (word < 0) {
        // More grouped signals than the header counted would leave group
        // records without a fixed length.
        if (ds->signalIdListSize >= grouped) {
            eventMalformed(ds);
            return false;
        }
        if (!eventAppend(&ds->signalIdList, &ds->signalIdListSize, listCapacity, position)) {
            eventOutOfMemory(ds);
            return false;
        }
        return true;
    }
    int32_t identifier = word & static_cast<int32_t>(kEventIdentifierBits);
    if (identifier >= pairs.limit) {
        eventMalformed(ds);
        return false;
    }
    if (!eventAppend(&pairs.items, &pairs.count, &pairs.capacity, identifier) ||
        !eventAppend(&pairs.items, &pairs.count, &pairs.capacity, position)) {
        eventOutOfMemory(ds);
        return false;
    }
    if (identifier > pairs.largest) pairs.largest = identifier;
    return true;
}

// Signal records, signalIdList and signalIdMap.
int eventSignals(WaveformDataset* ds, int32_t signals, int32_t grouped) {
    EventIdPairs pairs;
    pairs.limit = signalIdLimit(ds);
    int32_t listCapacity = 0;
    for (int32_t i = 0; i < signals; ++i) {
        if (!eventSignal(ds, i, grouped, &listCapacity, pairs)) return 0;
        ds->signalCount = i + 1;
    }
    if (ds->signalIdListSize != grouped) {
        eventMalformed(ds);
        return 0;
    }
    if (pairs.largest < 0) return 1;
    // Identifiers no signal has map to -1; records naming them are skipped.
    if (!makeSignalIdMap(ds, pairs.largest + 1, -1, Failure::kOutOfMemoryEvents)) return 0;
    for (int32_t k = 0; k < pairs.count; k += 2)
        ds->signalIdMap[pairs.items[k]] = pairs.items[k + 1];
    return 1;
}

// Working state of one read: every signal has one sweep.
struct EventRead {
    WaveformDataset* ds;
    WaveformValues* out;
    int64_t* rooms;
};

// Advances signal i's count after a value and time were stored at it, and
// grows its arrays when the count reaches their room, so the next store fits.
bool eventAdvance(EventRead& read, int32_t i) {
    WaveformValues* out = read.out;
    uint32_t count = ++out->counts[i][0];
    int64_t room = read.rooms[i];
    if (count < room) return true;
    float** const arrays[] = {&out->real[i][0], &out->axis[i][0]};
    return growSignalArrays(read.ds, arrays, 2, grownSignalRoom(room), &read.rooms[i]);
}

// Makes every signal's one-sweep arrays with room for room values.
bool eventAllocate(EventRead& read, int64_t room) {
    WaveformValues* out = read.out;
    auto bytes = static_cast<size_t>(room) * sizeof(float);
    for (int32_t i = 0; i < out->signalCount; ++i) {
        out->real[i] = static_cast<float**>(std::calloc(1, sizeof(float*)));
        out->axis[i] = static_cast<float**>(std::calloc(1, sizeof(float*)));
        out->counts[i] = static_cast<uint32_t*>(std::calloc(1, sizeof(uint32_t)));
        if (out->real[i] == nullptr || out->axis[i] == nullptr || out->counts[i] == nullptr)
            return false;
        out->real[i][0] = static_cast<float*>(std::malloc(bytes));
        out->axis[i][0] = static_cast<float*>(std::malloc(bytes));
        if (out->real[i][0] == nullptr || out->axis[i][0] == nullptr) return false;
        read.rooms[i] = room;
    }
    return true;
}

// Reads records up to the end tag. A record cut short ends the data like the
// end tag: only what was read before it counts. Returns false only when
// growing an array fails.
bool eventRecords(EventRead& read) {
    WaveformDataset* ds = read.ds;
    WaveformValues* out = read.out;
    const int32_t* list = ds->signalIdList;
    const int32_t grouped = ds->signalIdListSize;
    for (;;) {
        int32_t word;
        if (!eventInt(ds, &word)) return true;
        auto tag = static_cast<uint32_t>(word);
        if (tag == kEventEnd) return true;
        float value;
        float time;
        if (word < 0) {
            for (int32_t k = 0; k < grouped; ++k) {
                if (!eventFloat(ds, &value)) return true;
                out->real[list[k]][0][out->counts[list[k]][0]] = value;
            }
            if (!eventFloat(ds, &time)) return true;
            for (int32_t k = 0; k < grouped; ++k) {
                out->axis[list[k]][0][out->counts[list[k]][0]] = time;
                if (!eventAdvance(read, list[k])) return false;
            }
            continue;
        }
        if (!eventFloat(ds, &value) || !eventFloat(ds, &time)) return true;
        // Identifiers past the map or without a signal are skipped: the
        // record's length is known, so the ones after it still read.
        uint32_t identifier = tag & kEventIdentifierBits;
        if (identifier >= static_cast<uint32_t>(ds->signalIdMapSize)) continue;
        int32_t i = ds->signalIdMap[identifier];
        if (i < 0) continue;
        out->real[i][0][out->counts[i][0]] = value;
        out->axis[i][0][out->counts[i][0]] = time;
        if (!eventAdvance(read, i)) return false;
    }
}

}  // namespace

void releaseFramedEvent(WaveformDataset* ds) {
    std::free(ds->signalIdMap);
    std::free(ds->signalIdList);
    ds->signalIdMap = nullptr;
    ds->signalIdList = nullptr;
}

int readFramedEventHeader(WaveformDataset* ds, const FormatEntry& /*row*/) {
    ds->blockLength = 0;
    ds->blockPosition = 0;
    int32_t signals;
    int32_t grouped;
    if (!eventFixedHeader(ds, &signals, &grouped)) return 0;
    if (signals > 0 && addVariable(ds, "time", 1, kKindReal) < 0) return 0;
    if (!eventSignals(ds, signals, grouped)) return 0;
    ds->firstSignalIndex = 1;
    return 1;
}

int readFramedEventData(WaveformDataset* ds, WaveformValues* out, const FormatEntry& /*row*/) {
    ds->dataSize = requireDataSize(ds);
    if (ds->dataSize < 1) return 0;
    if (ds->signalCount < 1) return reportFailure(ds, Failure::kNoSignals);
    const int32_t signals = ds->signalCount;
    // The data bytes shared out over the signals: a value and a time per point.
    int64_t room = (ds->dataSize - ds->dataOffset) / (2 * static_cast<int64_t>(signals)) / 4;
    if (room < 1) room = 1;

    EventRead read{ds, out, nullptr};
    read.rooms = static_cast<int64_t*>(std::calloc(static_cast<size_t>(signals), sizeof(int64_t)));
    if (read.rooms == nullptr) return eventOutOfMemory(ds);
    if (!eventAllocate(read, room)) {
        std::free(read.rooms);
        return reportFailure(ds, Failure::kOutOfMemory);
    }
    gzseek(ds->stream, ds->dataOffset, SEEK_SET);
    restoreSavedBlock(ds);
    bool ok = eventRecords(read);
    std::free(read.rooms);
    return ok ? 1 : 0;
}
