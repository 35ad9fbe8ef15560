// The dataset: header fields, variable and type tables, interned names.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "dataset_tables.h"
#include "failure.h"

namespace {

constexpr int32_t kVariableStep = 100;
constexpr int32_t kTypeStep = 10;
constexpr uint32_t kSymbolStep = 128;
constexpr uint32_t kPoolStep = 1024;

// Grows a table by step records of size bytes. Returns false (table unchanged)
// when the reallocation fails.
template <typename T, typename N>
bool growTable(T*& table, N& capacity, N step) {
    void* grown = std::realloc(table, (static_cast<size_t>(capacity) + step) * sizeof(T));
    if (grown == nullptr) return false;
    table = static_cast<T*>(grown);
    capacity += step;
    return true;
}

// Beside the chained buckets, whose 13-bit hash crafted names can pile into
// one chain (making every lookup walk all names before it), an exact index
// finds a name and the end of its chain at once. The chains, the pool and the
// records stay exactly as the buckets alone would make them.
struct NameIndex {
    std::unordered_map<std::string, int32_t> symbols;  // name, NUL, name space -> record
    std::unordered_map<std::string, int32_t> offsets;  // name -> its pool offset
    std::vector<int32_t> tails = std::vector<int32_t>(WFX_SYMBOL_BUCKETS, -1);
};

// The dataset's index, made on first use; NULL when out of memory.
NameIndex* nameIndexOf(WaveformDataset* ds) {
    if (ds->nameIndex == nullptr) ds->nameIndex = new (std::nothrow) NameIndex;
    return static_cast<NameIndex*>(ds->nameIndex);
}

std::string symbolKey(const char* name, uint16_t nameSpace) {
    std::string key = name;
    key += '\0';
    key += static_cast<char>(nameSpace >> 8);
    key += static_cast<char>(nameSpace & 0xFF);
    return key;
}

}  // namespace

WaveformDataset* createDataset() {
    auto* ds = static_cast<WaveformDataset*>(std::calloc(1, sizeof(WaveformDataset)));
    if (ds == nullptr) {
        reportFailure(nullptr, Failure::kOutOfMemory);
        return nullptr;
    }
    ds->symbolBuckets = static_cast<int32_t*>(std::malloc(WFX_SYMBOL_BUCKETS * sizeof(int32_t)));
    if (ds->symbolBuckets == nullptr) {
        std::free(ds);
        reportFailure(nullptr, Failure::kOutOfMemory);
        return nullptr;
    }
    // Every bucket starts at -1, whose bytes are all ones.
    std::memset(ds->symbolBuckets, 0xFF, WFX_SYMBOL_BUCKETS * sizeof(int32_t));
    ds->dataOffset = -1;
    ds->dataFormat = WFX_DETECT_FORMAT;  // none settled yet
    ds->analysisKind = WFX_ANALYSIS_UNSET;
    ds->mainCount = -1;
    ds->sweepCount = 1;
    return ds;
}

void destroyDataset(WaveformDataset* ds) {
    if (ds == nullptr) return;
    delete static_cast<NameIndex*>(ds->nameIndex);
    std::free(ds->namePool);
    std::free(ds->symbols);
    std::free(ds->types);
    std::free(ds->variables);
    std::free(ds->symbolBuckets);
    std::free(ds->blockBuffer);
    std::free(ds->savedBlock);
    std::free(ds);
}

uint32_t nameHash(const char* name) {
    uint32_t h = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        // Bytes above 0x7F count negative, as a signed char adds them.
        h = h * 33u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
    }
    return h & 0x1FFFu;
}

int32_t addNameToPool(WaveformDataset* ds, const char* name) {
    size_t length = std::strlen(name);
    // Offsets are 32-bit: a pool that would pass 2 GiB is treated as out of memory.
    if (length >= 0x7FFFFFFFu - ds->namePoolUsed - kPoolStep) {
        reportFailure(ds, Failure::kOutOfMemory);
        return -1;
    }
    while (ds->namePoolUsed + length + 1 >= ds->namePoolCapacity) {
        if (!growTable(ds->namePool, ds->namePoolCapacity, kPoolStep)) {
            reportFailure(ds, Failure::kOutOfMemory);
            return -1;
        }
    }
    int32_t offset = static_cast<int32_t>(ds->namePoolUsed);
    std::memcpy(ds->namePool + offset, name, length + 1);
    ds->namePoolUsed += static_cast<uint32_t>(length + 1);
    return offset;
}

SymbolRecord* internName(WaveformDataset* ds, const char* name, uint16_t nameSpace, bool* added) {
    *added = false;
    try {
        NameIndex* indexOf = nameIndexOf(ds);
        if (indexOf == nullptr) throw std::bad_alloc();
        NameIndex& index = *indexOf;
        std::string key = symbolKey(name, nameSpace);
        auto found = index.symbols.find(key);
        if (found != index.symbols.end()) return &ds->symbols[found->second];
        auto shared = index.offsets.find(name);
        int32_t sharedOffset = shared != index.offsets.end() ? shared->second : -1;
        if (sharedOffset < 0) {
            sharedOffset = addNameToPool(ds, name);
            if (sharedOffset < 0) return nullptr;
        }
        // One slot always stays free.
        if (ds->symbolCount + 1 >= ds->symbolCapacity &&
            !growTable(ds->symbols, ds->symbolCapacity, kSymbolStep)) {
            reportFailure(ds, Failure::kOutOfMemory);
            return nullptr;
        }
        // The index learns the name before the record counts; a failure
        // leaves neither.
        int32_t record = static_cast<int32_t>(ds->symbolCount);
        auto entry = index.symbols.emplace(std::move(key), record).first;
        try {
            index.offsets.emplace(name, sharedOffset);
        } catch (const std::bad_alloc&) {
            index.symbols.erase(entry);
            throw;
        }
        SymbolRecord* s = &ds->symbols[record];
        s->nameOffset = sharedOffset;
        s->nameSpace = nameSpace;
        s->ownerIndex = -1;
        s->next = -1;
        uint32_t bucket = nameHash(name);
        int32_t last = index.tails[bucket];
        if (last == -1) {
            ds->symbolBuckets[bucket] = record;
        } else {
            ds->symbols[last].next = record;
        }
        index.tails[bucket] = record;
        ds->symbolCount++;
        *added = true;
        return s;
    } catch (const std::bad_alloc&) {
        reportFailure(ds, Failure::kOutOfMemory);
        return nullptr;
    }
}

int32_t addVariable(WaveformDataset* ds, const char* name, uint32_t typeCode, uint32_t kind) {
    if (ds->variableCount >= ds->variableCapacity &&
        !growTable(ds->variables, ds->variableCapacity, kVariableStep)) {
        reportFailure(ds, Failure::kOutOfMemory);
        return -1;
    }
    bool added = false;
    SymbolRecord* s = internName(ds, name, kVariableNameSpace, &added);
    if (s == nullptr) return -1;
    int32_t position = ds->variableCount;
    VariableRecord* v = &ds->variables[position];
    v->nameOffset = s->nameOffset;
    v->kind = kind;
    v->typeCode = typeCode;
    v->memberCount = 0;
    v->identifier = -1;
    ds->variableCount++;
    if (added) {
        s->ownerIndex = position;
        return position;
    }
    return s->ownerIndex;
}

void clearVariables(WaveformDataset* ds) {
    delete static_cast<NameIndex*>(ds->nameIndex);
    ds->nameIndex = nullptr;
    ds->variableCount = 0;
    ds->symbolCount = 0;
    ds->namePoolUsed = 0;
    std::memset(ds->symbolBuckets, 0xFF, WFX_SYMBOL_BUCKETS * sizeof(int32_t));
}

int32_t addType(WaveformDataset* ds, const char* name, int32_t parentType) {
    if (ds->typeCount >= ds->typeCapacity && !growTable(ds->types, ds->typeCapacity, kTypeStep)) {
        reportFailure(ds, Failure::kOutOfMemory);
        return -1;
    }
    auto nameSpace = static_cast<uint16_t>(kTypeNameSpaceBase + parentType);
    bool added = false;
    SymbolRecord* s = internName(ds, name, nameSpace, &added);
    if (s == nullptr) return -1;
    if (!added) {
        reportFailure(ds, Failure::kDuplicateType, name);
        return -1;
    }
    int32_t index = ds->typeCount;
    TypeRecord* t = &ds->types[index];
    t->nameOffset = s->nameOffset;
    t->kind = -1;
    t->memberCount = 0;
    t->parentType = parentType;
    s->ownerIndex = index;
    ds->typeCount++;
    return index;
}

const char* wfxName(const WaveformDataset* ds, int32_t nameOffset) {
    return ds->namePool + nameOffset;
}

const char* wfxVariableName(const WaveformDataset* ds, int64_t record) {
    if (ds == nullptr || ds->variables == nullptr || record < 0 || record >= ds->variableCount)
        return "";
    return wfxName(ds, ds->variables[record].nameOffset);
}

int64_t estimatedDataSize(const WaveformDataset* ds) {
    return ds != nullptr ? ds->sizeEstimate : -1;
}

int64_t requireDataSize(WaveformDataset* ds) {
    int64_t size = estimatedDataSize(ds);
    if (size < 1) return reportFailure(ds, Failure::kEmptyData);
    return size;
}
