// Tagged record waveform files; see tagged_record.h.
#include "tagged_record.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <type_traits>
#include <unordered_map>

#include "../dataset_tables.h"
#include "../failure.h"
#include "../format_table.h"
#include "../growth.h"
#include "block_layer.h"
#include "byte_order.h"
#include "per_signal.h"

namespace {

constexpr int32_t kTaggedFieldLimit = 8192;  // longest field one read may ask for
constexpr int32_t kTaggedNameLimit = 1024;   // names are shorter than this
constexpr int32_t kTaggedTitleLimit = 100;   // as is the title
constexpr int32_t kTaggedFixedText = 16;     // version and date fields

constexpr uint32_t kScopeWithoutText = 0x10000000u;
constexpr uint32_t kHeaderEnd = 0x01000000u;
constexpr uint32_t kSweepEnd = 0xC0000001u;
constexpr uint32_t kLowBits = 0x3FFFFFFFu;

// Sweep slots per signal may not outgrow the file by more than this factor:
// every slot costs pointers and a count even when the sweep is empty.
constexpr int64_t kTaggedSlotsPerByte = 4;

void taggedMalformed(WaveformDataset* ds) {
    reportFailure(ds, Failure::kMalformed);
}

// ---- fields -------------------------------------------------------------------

// Next n bytes of the block data into dest (NULL discards them); a field may
// run across blocks. Fails with a silent reason for n above 8192.
bool readTaggedField(WaveformDataset* ds, void* dest, int32_t n) {
    if (n <= 0) return true;
    if (n > kTaggedFieldLimit) {
        reportFailure(ds, Failure::kFieldTooLong);
        return false;
    }
    if (dest == nullptr) return skipBlockBytes(ds, n);
    return blockFieldRaw(ds, static_cast<char*>(dest), n) != nullptr;
}

// The next n (4 or 8) bytes of the block data into bytes.
bool taggedBytes(WaveformDataset* ds, unsigned char* bytes, int32_t n) {
    if (ds->blockLength - ds->blockPosition > n) {
        // Most numbers lie inside the block in hand and leave some of it.
        std::memcpy(bytes, ds->blockBuffer + ds->blockPosition, static_cast<size_t>(n));
        ds->blockPosition += n;
        return true;
    }
    return readTaggedField(ds, bytes, n);
}

// Numbers in the file's byte order; false when they cannot be read.
bool taggedInt(WaveformDataset* ds, int32_t* number) {
    unsigned char bytes[4];
    if (!taggedBytes(ds, bytes, 4)) return false;
    *number = decodeInt32(bytes, blockSwapped(ds));
    return true;
}

bool taggedFloat(WaveformDataset* ds, float* value) {
    unsigned char bytes[4];
    if (!taggedBytes(ds, bytes, 4)) return false;
    *value = decodeFloat(bytes, blockSwapped(ds));
    return true;
}

bool taggedDouble(WaveformDataset* ds, double* value) {
    unsigned char bytes[8];
    if (!taggedBytes(ds, bytes, 8)) return false;
    *value = decodeDouble(bytes, blockSwapped(ds));
    return true;
}

// An int length below limit, then that many bytes into text (NUL-terminated).
// A negative length or one at the limit fails with a silent reason, before
// any byte of the text is read.
bool taggedText(WaveformDataset* ds, char* text, int32_t limit) {
    int32_t length;
    if (!taggedInt(ds, &length)) return false;
    if (length < 0 || length >= limit) {
        reportFailure(ds, Failure::kTextLength);
        return false;
    }
    if (!readTaggedField(ds, text, length)) return false;
    text[length] = '\0';
    return true;
}

// ---- scope tree ---------------------------------------------------------------

struct ScopeItem {
    int32_t nameIndex;  // -1 for the root
    uint32_t tag;
    int32_t firstChild;
    int32_t lastChild;
    int32_t nextSibling;
};

struct ScopeName {
    size_t textOffset;
    int32_t newestItem;
    int32_t next;  // bucket chain
};

struct ScopeTree {
    int32_t buckets[WFX_SYMBOL_BUCKETS];
    ScopeItem* items;
    int32_t itemCount;
    int32_t itemCapacity;
    ScopeName* names;
    int32_t nameCount;
    int32_t nameCapacity;
    char* pool;
    size_t poolUsed;
    size_t poolCapacity;
    // Scope name -> name entry. The 13-bit bucket hash lets crafted names share
    // one chain, which would make every lookup walk all of them.
    std::unordered_map<std::string, int32_t>* index;
};

// Makes room for one more element, doubling. False when out of memory.
template <typename T>
bool taggedReserve(T** array, int32_t* capacity, int32_t count) {
    return growByDoubling(*array, *capacity, static_cast<size_t>(count) + 1, 16);
}

ScopeTree* taggedNewTree() {
    auto* tree = static_cast<ScopeTree*>(std::calloc(1, sizeof(ScopeTree)));
    if (tree == nullptr) return nullptr;
    for (int32_t& head : tree->buckets) head = -1;
    if (!taggedReserve(&tree->items, &tree->itemCapacity, 0)) {
        std::free(tree);
        return nullptr;
    }
    tree->items[0] = ScopeItem{-1, 0, -1, -1, -1};
    tree->itemCount = 1;
    tree->index = new (std::nothrow) std::unordered_map<std::string, int32_t>();
    if (tree->index == nullptr) {
        std::free(tree->items);
        std::free(tree);
        return nullptr;
    }
    return tree;
}

// The name entry of the first length bytes of text, or -1.
int32_t taggedFindScope(const ScopeTree* tree, const char* text, size_t length, uint32_t bucket) {
    try {
        auto found = tree->index->find(std::string(text, length));
        return found != tree->index->end() ? found->second : -1;
    } catch (const std::bad_alloc&) {
        // Without memory for the key the chain still answers, only slower.
    }
    for (int32_t k = tree->buckets[bucket]; k >= 0; k = tree->names[k].next) {
        const char* known = tree->pool + tree->names[k].textOffset;
        if (std::strlen(known) == length && std::memcmp(known, text, length) == 0) return k;
    }
    return -1;
}

// Hash bucket of the first length bytes of text (a scope name, so shorter
// than the name limit).
uint32_t taggedScopeBucket(const char* text, size_t length) {
    char name[kTaggedNameLimit];
    std::memcpy(name, text, length);
    name[length] = '\0';
    return nameHash(name);
}

// The name entry of the first length bytes of text, made when it is new.
// Returns it, or -1 after reporting out of memory.
int32_t internScopeName(WaveformDataset* ds, ScopeTree* tree, const char* text, size_t length) {
    uint32_t bucket = taggedScopeBucket(text, length);
    int32_t name = taggedFindScope(tree, text, length, bucket);
    if (name >= 0) return name;
    if (tree->poolUsed + length + 1 > tree->poolCapacity) {
        size_t grown = tree->poolCapacity * 2 + length + 1024;
        auto* bigger = static_cast<char*>(std::realloc(tree->pool, grown));
        if (bigger == nullptr) {
            reportFailure(ds, Failure::kOutOfMemoryScopes);
            return -1;
        }
        tree->pool = bigger;
        tree->poolCapacity = grown;
    }
    if (!taggedReserve(&tree->names, &tree->nameCapacity, tree->nameCount)) {
        reportFailure(ds, Failure::kOutOfMemoryScopes);
        return -1;
    }
    try {
        tree->index->emplace(std::string(text, length), tree->nameCount);
    } catch (const std::bad_alloc&) {
        reportFailure(ds, Failure::kOutOfMemoryScopes);
        return -1;
    }
    std::memcpy(tree->pool + tree->poolUsed, text, length);
    tree->pool[tree->poolUsed + length] = '\0';
    name = tree->nameCount++;
    tree->names[name] = ScopeName{tree->poolUsed, -1, tree->buckets[bucket]};
    tree->buckets[bucket] = name;
    tree->poolUsed += length + 1;
    return name;
}

// The item that the scope named by text up to lastDot hangs under: the root
// when that name holds no "."; else the newest item of the scope named up to
// its own last ".", which must be known (-1 after reporting it is not).
int32_t scopeParentItem(WaveformDataset* ds, const ScopeTree* tree, const char* text,
                        const char* lastDot) {
    const char* parentDot = nullptr;
    for (const char* p = text; p < lastDot; ++p) {
        if (*p == '.') parentDot = p;
    }
    if (parentDot == nullptr) return 0;
    auto parentLength = static_cast<size_t>(parentDot - text);
    int32_t parentName =
        taggedFindScope(tree, text, parentLength, taggedScopeBucket(text, parentLength));
    if (parentName < 0 || tree->names[parentName].newestItem < 0) {
        reportFailure(ds, Failure::kScopeParentMissing);
        return -1;
    }
    return tree->names[parentName].newestItem;
}

// Adds the scope named by text up to its last "." under its parent scope, at
// the end of the parent's children. Returns the new item, or -1: no "." (no
// reason only), parent never declared, out of memory.
int32_t addScope(WaveformDataset* ds, ScopeTree* tree, const char* text) {
    const char* lastDot = std::strrchr(text, '.');
    if (lastDot == nullptr) {
        reportFailure(ds, Failure::kScopeWithoutDot);
        return -1;
    }
    int32_t name = internScopeName(ds, tree, text, static_cast<size_t>(lastDot - text));
    if (name < 0) return -1;
    int32_t parent = scopeParentItem(ds, tree, text, lastDot);
    if (parent < 0) return -1;
    if (!taggedReserve(&tree->items, &tree->itemCapacity, tree->itemCount)) {
        reportFailure(ds, Failure::kOutOfMemoryScopes);
        return -1;
    }
    int32_t item = tree->itemCount++;
    tree->items[item] = ScopeItem{name, 0, -1, -1, -1};
    ScopeItem& up = tree->items[parent];
    if (up.lastChild < 0) {
        up.firstChild = item;
    } else {
        tree->items[up.lastChild].nextSibling = item;
    }
    up.lastChild = item;
    tree->names[name].newestItem = item;
    return item;
}

void taggedDescribe(const ScopeTree* tree, int32_t item, int depth, std::string& text) {
    for (int32_t child = tree->items[item].firstChild; child >= 0;
         child = tree->items[child].nextSibling) {
        const ScopeItem& scope = tree->items[child];
        char tag[16];
        std::snprintf(tag, sizeof tag, " %x\n", scope.tag);
        text.append(static_cast<size_t>(depth) * 2, ' ');
        text += tree->pool + tree->names[scope.nameIndex].textOffset;
        text += tag;
        taggedDescribe(tree, child, depth + 1, text);
    }
}

// ---- header -------------------------------------------------------------------

bool taggedSweepNames(WaveformDataset* ds, int32_t params) {
    char name[kTaggedNameLimit];
    if (params == 1) {
        if (!taggedText(ds, name, kTaggedNameLimit)) return false;
        return addVariable(ds, name, 0, kKindReal) >= 0;
    }
    if (params > 1) {
        int32_t outer = addType(ds, "outer", -1);
        if (outer < 0) return false;
        ds->types[outer].kind = kKindCompound;
        ds->types[outer].memberCount = params;
        for (int32_t k = 0; k < params; ++k) {
            if (!taggedText(ds, name, kTaggedNameLimit)) return false;
            int32_t member = addType(ds, name, outer);
            if (member < 0) return false;
            ds->types[member].kind = kKindReal;
        }
        int32_t position = addVariable(ds, "outer", static_cast<uint32_t>(outer), kKindCompound);
        if (position < 0) return false;
        ds->variables[ds->variableCount - 1].memberCount = static_cast<uint32_t>(params);
    }
    return true;
}

// Copies a 16-byte header text up to its first NUL.
bool taggedFixedText(WaveformDataset* ds, char* dest) {
    char raw[kTaggedFixedText];
    if (!readTaggedField(ds, raw, kTaggedFixedText)) return false;
    size_t length = 0;
    while (length < sizeof raw && raw[length] != '\0') ++length;
    std::memcpy(dest, raw, length);
    dest[length] = '\0';
    return true;
}

// Signal records, then the identifier map.
bool taggedSignals(WaveformDataset* ds, int32_t signals, int32_t axisType) {
    char name[kTaggedNameLimit];
    int32_t largest = 0;
    int32_t first = ds->variableCount;
    const int64_t limit = signalIdLimit(ds);
    for (int32_t i = 0; i < signals; ++i) {
        int32_t identifier;
        int32_t typeCode;
        if (!taggedInt(ds, &identifier) || !taggedInt(ds, &typeCode)) return false;
        if (!taggedText(ds, name, kTaggedNameLimit)) return false;
        uint32_t kind = kKindReal;
        if (axisType == kAnalysisAc && isComplexTypeCode(typeCode, false)) {
            kind = kKindComplex;
        } else if (typeCode == 23) {
            kind = kKindTaggedCode23;
        }
        if (addVariable(ds, name, static_cast<uint32_t>(typeCode), kind) < 0) return false;
        // A repeated name still gets its own record, the last one.
        ds->variables[ds->variableCount - 1].identifier = identifier;
        // Identifiers index the map: negative ones cannot, and very large ones
        // would make it far bigger than anything the file could fill.
        if (identifier < 0 || identifier >= limit) {
            taggedMalformed(ds);
            return false;
        }
        if (identifier > largest) largest = identifier;
        ds->signalCount = i + 1;
    }

    // An identifier no signal declares maps to signal 0.
    if (!makeSignalIdMap(ds, int64_t{largest} + 1, 0, Failure::kOutOfMemoryScopes)) return false;
    for (int32_t i = 0; i < signals; ++i) ds->signalIdMap[ds->variables[first + i].identifier] = i;
    return true;
}

bool taggedScopes(WaveformDataset* ds) {
    auto* tree = taggedNewTree();
    if (tree == nullptr) {
        reportFailure(ds, Failure::kOutOfMemoryScopes);
        return false;
    }
    ds->nameTree = tree;
    char text[kTaggedNameLimit];
    for (;;) {
        int32_t tag;
        if (!taggedInt(ds, &tag)) return false;
        auto word = static_cast<uint32_t>(tag);
        if (word == kHeaderEnd) return true;
        if (word == kScopeWithoutText) continue;
        if (!taggedText(ds, text, kTaggedNameLimit)) return false;
        int32_t item = addScope(ds, tree, text);
        if (item < 0) return false;
        tree->items[item].tag = word;
    }
}

// ---- data ---------------------------------------------------------------------

// Working state of one read.
struct TaggedRead {
    WaveformDataset* ds;
    WaveformValues* out;
    int64_t* rooms;     // per signal: room of its arrays in the current sweep
    int64_t firstRoom;  // room given to an array on its first value
    int32_t sweep;
};

// Grows every per-signal entry (and the sweep values) to hold slots sweeps.
// The new slots are empty; sweepSlots is raised only when all entries have it.
bool taggedGrowSlots(TaggedRead& read, int32_t slots) {
    WaveformValues* out = read.out;
    auto newSize = static_cast<size_t>(slots);
    auto oldSize = static_cast<size_t>(out->sweepSlots);
    auto grow = [&](auto*& entry) {
        using Slot = std::remove_reference_t<decltype(*entry)>;
        auto* bigger = static_cast<Slot*>(std::realloc(entry, sizeof(Slot) * newSize));
        if (bigger == nullptr) return false;
        std::memset(bigger + oldSize, 0, sizeof(Slot) * (newSize - oldSize));
        entry = bigger;
        return true;
    };
    const WaveformDataset* ds = read.ds;
    for (int32_t i = 0; i < out->signalCount; ++i) {
        if (!grow(out->real[i]) || !grow(out->axis[i]) || !grow(out->counts[i])) return false;
        if (out->imag != nullptr && ds->variables[ds->firstSignalIndex + i].kind == kKindComplex &&
            !grow(out->imag[i])) {
            return false;
        }
    }
    if (ds->sweepParamCount > 0 && !grow(out->sweepValues)) return false;
    out->sweepSlots = slots;
    return true;
}

// Makes room for one more value of signal i in the current sweep.
bool taggedRoomFor(TaggedRead& read, int32_t i, uint32_t count) {
    int64_t room = read.rooms[i];
    if (count < room) return true;
    int64_t grown = room == 0 ? read.firstRoom : grownSignalRoom(room);
    WaveformValues* out = read.out;
    int32_t s = read.sweep;
    bool complex = out->imag != nullptr && out->imag[i] != nullptr;
    float** const arrays[] = {&out->real[i][s], &out->axis[i][s],
                              complex ? &out->imag[i][s] : nullptr};
    return growSignalArrays(read.ds, arrays, complex ? 3 : 2, grown, &read.rooms[i]);
}

// Reads one value of signal i (two floats when it is complex) and stores it
// with the current time.
bool taggedValue(TaggedRead& read, int32_t i) {
    WaveformDataset* ds = read.ds;
    WaveformValues* out = read.out;
    bool complex = ds->variables[ds->firstSignalIndex + i].kind == kKindComplex;
    float real;
    float imag = 0.0f;
    if (!taggedFloat(ds, &real)) return false;
    if (complex && !taggedFloat(ds, &imag)) return false;
    uint32_t& count = out->counts[i][read.sweep];
    if (!taggedRoomFor(read, i, count)) return false;
    out->real[i][read.sweep][count] = real;
    out->axis[i][read.sweep][count] = static_cast<float>(ds->runningValue);
    if (complex && out->imag != nullptr) out->imag[i][read.sweep][count] = imag;
    ++count;
    return true;
}

// An identifier from the data, as a signal. Identifiers past the map cannot be
// told apart from damage (not even how many floats follow), so they fail the
// read; an undeclared one inside the map goes to signal 0 like the map says.
bool taggedSignalOf(TaggedRead& read, uint32_t identifier, int32_t* signal) {
    if (identifier >= static_cast<uint32_t>(read.ds->signalIdMapSize)) {
        reportFailure(read.ds, Failure::kMalformedRecord);
        return false;
    }
    *signal = read.ds->signalIdMap[identifier];
    return true;
}

// A group record (top bits 01): a time step, then a value of every signal
// or of the members the record names.
bool taggedGroupRecord(TaggedRead& read, uint32_t tag) {
    WaveformDataset* ds = read.ds;
    const int32_t signals = ds->signalCount;
    const uint32_t members = tag & kLowBits;
    if (members > static_cast<uint32_t>(signals)) {
        reportFailure(ds, Failure::kMalformedRecord);
        return false;
    }
    float delta;
    if (!taggedFloat(ds, &delta)) return false;
    ds->runningValue += delta;
    if (members == static_cast<uint32_t>(signals)) {
        for (int32_t i = 0; i < signals; ++i) {
            if (!taggedValue(read, i)) return false;
        }
        return true;
    }
    for (uint32_t k = 0; k < members; ++k) {
        int32_t identifier;
        int32_t signal;
        if (!taggedInt(ds, &identifier)) return false;
        if (!taggedSignalOf(read, static_cast<uint32_t>(identifier), &signal)) return false;
        if (!taggedValue(read, signal)) return false;
    }
    return true;
}

// One record after its tag: by the tag's top two bits an absolute time (11),
// a group (01), a single value (00), or nothing (10).
bool taggedRecord(TaggedRead& read, uint32_t tag) {
    WaveformDataset* ds = read.ds;
    switch (tag >> 30) {
        case 3: {
            double absolute;
            if (!taggedDouble(ds, &absolute)) return false;
            ds->runningValue = absolute;
            return true;
        }
        case 1:
            return taggedGroupRecord(read, tag);
        case 0: {
            float delta;
            int32_t signal;
            if (!taggedFloat(ds, &delta)) return false;
            ds->runningValue += delta;
            return taggedSignalOf(read, tag & kLowBits, &signal) && taggedValue(read, signal);
        }
        default:
            return true;  // top bits 10: a tag without payload
    }
}

// Records of one sweep up to its end tag.
bool taggedSweepRecords(TaggedRead& read) {
    for (;;) {
        int32_t word;
        if (!taggedInt(read.ds, &word)) return false;
        const auto tag = static_cast<uint32_t>(word);
        if (tag == kSweepEnd) return true;
        if (!taggedRecord(read, tag)) return false;
    }
}

bool taggedReadSweeps(TaggedRead& read) {
    WaveformDataset* ds = read.ds;
    WaveformValues* out = read.out;
    const int32_t signals = ds->signalCount;
    const int32_t params = ds->sweepParamCount;
    const int64_t size = ds->dataSize;
    for (int32_t s = 0; s < ds->sweepCount; ++s) {
        if (s >= out->sweepSlots) {
            // Slots follow the sweeps actually present, so a header claiming
            // many sweeps costs nothing until they turn up.
            if (static_cast<int64_t>(signals) * (s + 1) > size * kTaggedSlotsPerByte && s > 0) {
                taggedMalformed(ds);
                return false;
            }
            int64_t slots = static_cast<int64_t>(out->sweepSlots) * 2;
            if (slots < s + 1) slots = s + 1;
            if (slots > ds->sweepCount) slots = ds->sweepCount;
            if (!taggedGrowSlots(read, static_cast<int32_t>(slots))) {
                reportFailure(ds, Failure::kOutOfMemory);
                return false;
            }
        }
        read.sweep = s;
        for (int32_t i = 0; i < signals; ++i) read.rooms[i] = 0;
        if (params > 0) {
            out->sweepValues[s] =
                static_cast<float*>(std::calloc(static_cast<size_t>(params), sizeof(float)));
            if (out->sweepValues[s] == nullptr) {
                reportFailure(ds, Failure::kOutOfMemory);
                return false;
            }
            for (int32_t k = 0; k < params; ++k) {
                if (!taggedFloat(ds, &out->sweepValues[s][k])) return false;
            }
        }
        if (!taggedSweepRecords(read)) return false;
    }
    return true;
}

}  // namespace

int readTaggedRecordHeader(WaveformDataset* ds, const FormatEntry& /*row*/) {
    ds->blockLength = 0;
    ds->blockPosition = 0;
    ds->framingMode = kFramingLengthPrefixed;
    int32_t signals;
    int32_t sweeps;
    int32_t params;
    if (!taggedInt(ds, &signals) || !taggedInt(ds, &sweeps) || !taggedInt(ds, &params)) return 0;
    if (signals < 0 || sweeps < 0) {
        taggedMalformed(ds);
        return 0;
    }
    if (params < 0) params = 0;
    ds->sweepCount = sweeps > 0 ? sweeps : 1;
    ds->sweepParamCount = params;
    // The signals start behind the records actually made (the sweep variable
    // and the independent variable), whatever the sweep count says: a header
    // with parameters but no sweep count, or the reverse, still lines up.
    ds->firstSignalIndex = params > 0 ? 2 : 1;
    if (!taggedSweepNames(ds, params)) return 0;

    int32_t axisType;
    char axisName[kTaggedNameLimit];
    if (!taggedInt(ds, &axisType) || !taggedText(ds, axisName, kTaggedNameLimit)) return 0;
    ds->analysisKind = static_cast<uint32_t>(axisType);
    if (signals > 0 &&
        addVariable(ds, axisName, static_cast<uint32_t>(axisType), kKindTaggedAxis) < 0) {
        return 0;
    }
    if (!taggedFixedText(ds, ds->version) || !taggedFixedText(ds, ds->date)) return 0;
    if (!taggedText(ds, ds->title, kTaggedTitleLimit)) return 0;
    if (!taggedSignals(ds, signals, axisType)) return 0;
    return taggedScopes(ds) ? 1 : 0;
}

int readTaggedRecordData(WaveformDataset* ds, WaveformValues* out, const FormatEntry& /*row*/) {
    ds->dataSize = requireDataSize(ds);
    if (ds->dataSize < 1) return 0;
    if (ds->signalCount < 1) return reportFailure(ds, Failure::kNoSignals);
    const int32_t signals = ds->signalCount;

    TaggedRead read{ds, out, nullptr, 1, 0};
    read.rooms = static_cast<int64_t*>(std::calloc(static_cast<size_t>(signals), sizeof(int64_t)));
    if (read.rooms == nullptr) return reportFailure(ds, Failure::kOutOfMemoryEvents);
    // The whole file's worth of points shared out over signals and sweeps, so
    // the first arrays never add up to more than the file can hold.
    read.firstRoom = ds->dataSize / (2 * static_cast<int64_t>(signals)) / 4 / ds->sweepCount;
    if (read.firstRoom < 1) read.firstRoom = 1;

    // Every entry is still empty: slots are handed out as sweeps arrive.
    out->sweepSlots = 0;
    out->sweepCount = 0;
    gzseek(ds->stream, ds->dataOffset, SEEK_SET);
    restoreSavedBlock(ds);

    bool ok = taggedReadSweeps(read);
    std::free(read.rooms);
    return ok ? 1 : 0;
}

void releaseTaggedRecord(WaveformDataset* ds) {
    std::free(ds->signalIdMap);
    ds->signalIdMap = nullptr;
    if (ds->nameTree == nullptr) return;
    auto* tree = static_cast<ScopeTree*>(ds->nameTree);
    std::free(tree->items);
    std::free(tree->names);
    std::free(tree->pool);
    delete tree->index;
    std::free(tree);
    ds->nameTree = nullptr;
}

std::string describeScopeTree(const WaveformDataset* ds) {
    std::string text;
    if (ds == nullptr || ds->nameTree == nullptr) return text;
    taggedDescribe(static_cast<const ScopeTree*>(ds->nameTree), 0, 0, text);
    return text;
}
