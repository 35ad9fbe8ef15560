// CSDF reader: see csdf.h.
//
// Lines are read 255 characters at a time (a longer line comes back in
// pieces), tokens are separated by blanks only: a line break inside a token
// joins its two halves, so items on different lines need a blank between them.
#include "csdf.h"

#include <zlib.h>

#include <cctype>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "../dataset_tables.h"
#include "../failure.h"
#include "../format_table.h"
#include "../text_reader.h"

namespace {

constexpr int kLineSize = kBoundedLineSize;
constexpr size_t kVersionLength = 33;
constexpr uint32_t kKindComplexOther = 12;  // also read as re/im

// First size of one sweep's arrays, in values. The estimate comes from the
// file size, which for a compressed file is a guess (20 times its size), so it
// is also capped by the bytes actually found after the header and clamped.
constexpr int64_t kFirstPointsMin = 8;
constexpr int64_t kFirstPointsMax = 1 << 16;
// Growth stops here: no array of one sweep holds more values than this.
constexpr int32_t kPointsLimit = 1 << 28;
// Every (node, sweep) pair costs a pointer and a first array. A real file
// spends at least a few bytes per pair (each section repeats the node list),
// so more pairs than bytes plus this allowance is refused as out of memory.
constexpr int64_t kPairAllowance = 1 << 16;

// Header values carried from the key lines to the node list within one open.
struct CsdfHeaderState {
    char sweepVar[kLineSize] = "";
    uint32_t analysisCode = 0;
    uint32_t nodeKind = kKindCsdfNode;  // COMPLEXVALUES absent
};

enum class KeyResult { kAbsent, kTaken, kFailed };

void csdfCopyText(char* target, size_t size, const char* text) {
    size_t length = std::strlen(text);
    if (length > size - 1) length = size - 1;
    std::memcpy(target, text, length);
    target[length] = '\0';
}

// Leading decimal number of text as V (0 when there is none). Values beyond
// V's range become infinities instead of an undefined cast; a float is the
// double narrowed.
template <typename V = float>
V csdfDecimal(const char* text) {
    // strtod also takes hexadecimal, inf and nan; only decimal digits count
    // here, so such a token reads as the decimal number it starts with, if any.
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    const char* digits = text + (*text == '+' || *text == '-' ? 1 : 0);
    const bool decimal = std::isdigit(static_cast<unsigned char>(digits[0])) ||
                         (digits[0] == '.' && std::isdigit(static_cast<unsigned char>(digits[1])));
    if (!decimal) return 0;
    if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) return *text == '-' ? -0.0f : 0;
    double value = std::strtod(text, nullptr);
    if constexpr (sizeof(V) == sizeof(double)) return value;
    if (value > FLT_MAX) return INFINITY;
    if (value < -FLT_MAX) return -INFINITY;
    return static_cast<float>(value);
}

int csdfIncomplete(WaveformDataset* ds) {
    return reportFailure(ds, Failure::kCsdfIncomplete);
}

bool csdfReadLine(WaveformDataset* ds, char* line) {
    if (!nextBoundedLine(ds->stream, line)) return false;
    ds->lineNumber++;
    return true;
}

char* csdfToken(WaveformDataset* ds) {
    uint32_t lines = 0;
    char* token = nextToken(ds->stream, " ", &lines);
    ds->lineNumber += lines;
    return token;
}

// Finds key in buffer and copies its quoted value into value (kLineSize
// bytes). With cut set, the value's text is written over the buffer from the
// key on and ends it, so keys later on that line are no longer found there.
// A closing quote missing from the 255-character line counts as a missing
// value: nothing is read past the line.
KeyResult csdfTakeKey(WaveformDataset* ds, char* buffer, const char* key, bool cut, char* value) {
    char* at = std::strstr(buffer, key);
    if (at == nullptr) return KeyResult::kAbsent;
    char* open = std::strchr(at + std::strlen(key), '\'');
    char* close = open != nullptr ? std::strchr(open + 1, '\'') : nullptr;
    if (close == nullptr) {
        bool nodes = std::strcmp(key, "NODES") == 0;
        reportFailure(ds, nodes ? Failure::kIncorrectNodes : Failure::kIncorrectHeader);
        return KeyResult::kFailed;
    }
    auto length = static_cast<size_t>(close - open - 1);
    std::memcpy(value, open + 1, length);
    value[length] = '\0';
    if (cut) std::memmove(at, value, length + 1);
    return KeyResult::kTaken;
}

uint32_t csdfAnalysisCode(const char* value) {
    if (std::strcmp(value, "TR") == 0) return kAnalysisTransient;
    if (std::strcmp(value, "AC") == 0) return kAnalysisAc;
    if (std::strcmp(value, "DC") == 0) return kAnalysisDc;
    if (std::strcmp(value, "OP") == 0) return kAnalysisOperatingPoint;
    return 0;
}

// NODES as a decimal integer. A negative count means no nodes, and a count
// beyond 32 bits is held at the largest one (the node list then runs out).
int32_t csdfNodeCount(const char* value) {
    long long count = std::strtoll(value, nullptr, 10);
    if (count < 0) return 0;
    if (count > INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(count);
}

// VERSION, TITLE and DATE of one key line; 0 when a key fails.
int csdfTakeTextKeys(WaveformDataset* ds, char* line, char* value) {
    KeyResult result = csdfTakeKey(ds, line, "VERSION", true, value);
    if (result == KeyResult::kFailed) return 0;
    if (result == KeyResult::kTaken) csdfCopyText(ds->version, kVersionLength + 1, value);

    result = csdfTakeKey(ds, line, "TITLE", true, value);
    if (result == KeyResult::kFailed) return 0;
    // A title or date too long for its 100 bytes keeps its first 99 characters.
    if (result == KeyResult::kTaken) csdfCopyText(ds->title, sizeof ds->title, value);

    result = csdfTakeKey(ds, line, "DATE", true, value);
    if (result == KeyResult::kFailed) return 0;
    if (result == KeyResult::kTaken) csdfCopyText(ds->date, sizeof ds->date, value);
    return 1;
}

// The key lines, up to and including the line holding NODES.
int readCsdfHeaderKeys(WaveformDataset* ds, CsdfHeaderState* state) {
    char line[kLineSize];
    char copy[kLineSize];
    char value[kLineSize];
    for (;;) {
        // The file ending before NODES leaves the header incomplete.
        if (!csdfReadLine(ds, line)) return csdfIncomplete(ds);
        std::memcpy(copy, line, std::strlen(line) + 1);
        if (!csdfTakeTextKeys(ds, line, value)) return 0;

        KeyResult result;
        // ANALYSIS and XBEGIN are looked for in the copy, which only they cut.
        result = csdfTakeKey(ds, copy, "ANALYSIS", true, value);
        if (result == KeyResult::kFailed) return 0;
        if (result == KeyResult::kTaken) {
            uint32_t code = csdfAnalysisCode(value);
            if (code == 0) return reportFailure(ds, Failure::kCsdfAnalysis, value);
            ds->analysisKind = code;
            state->analysisCode = code;
        }

        result = csdfTakeKey(ds, line, "SWEEPVAR", false, value);
        if (result == KeyResult::kFailed) return 0;
        if (result == KeyResult::kTaken)
            csdfCopyText(state->sweepVar, sizeof state->sweepVar, value);

        result = csdfTakeKey(ds, line, "COMPLEXVALUES", true, value);
        if (result == KeyResult::kFailed) return 0;
        if (result == KeyResult::kTaken) {
            state->nodeKind = std::strcmp(value, "NO") == 0 ? kKindReal : kKindComplex;
        }

        if (csdfTakeKey(ds, copy, "XBEGIN", true, value) == KeyResult::kFailed) return 0;
        if (csdfTakeKey(ds, line, "XEND", true, value) == KeyResult::kFailed) return 0;

        result = csdfTakeKey(ds, line, "NODES", true, value);
        if (result == KeyResult::kFailed) return 0;
        if (result == KeyResult::kTaken) {
            ds->signalCount = csdfNodeCount(value);
            return 1;
        }
    }
}

uint32_t csdfNodeType(char first) {
    if (first == 'V' || first == 'v') return kTypeVoltage;
    if (first == 'I' || first == 'i') return kTypeCurrent;
    return kTypeOther;
}

// Node names are read as tokens 'name': the name is what follows the first
// character up to the next quote. A token without its closing quote gives the
// rest of the token; names are cut to 255 characters.
int readCsdfNodes(WaveformDataset* ds, const CsdfHeaderState* state) {
    char name[kLineSize];
    for (int32_t i = 0; i < ds->signalCount; ++i) {
        const char* token = csdfToken(ds);
        if (token == nullptr) return csdfIncomplete(ds);
        const char* start = token + 1;
        size_t length = std::strcspn(start, "'");
        if (length > kLineSize - 1) length = kLineSize - 1;
        std::memcpy(name, start, length);
        name[length] = '\0';
        if (addVariable(ds, name, csdfNodeType(name[0]), state->nodeKind) < 0) return 0;
    }
    return 1;
}

int readCsdfNodeList(WaveformDataset* ds, const CsdfHeaderState* state) {
    if (addVariable(ds, state->sweepVar, state->analysisCode, kKindReal) < 0) return 0;
    return readCsdfNodes(ds, state);
}

// Same as the unswept list, with position 0 kept free while the independent
// variable and the nodes are added, and "OUTERSWEEP" written there last.
int readCsdfNodeListSwept(WaveformDataset* ds, const CsdfHeaderState* state) {
    if (ds->variableCapacity < 1) {
        constexpr int32_t kFirstVariables = 100;
        auto* table =
            static_cast<VariableRecord*>(std::calloc(kFirstVariables, sizeof(VariableRecord)));
        if (table == nullptr) return reportFailure(ds, Failure::kOutOfMemory);
        std::free(ds->variables);
        ds->variables = table;
        ds->variableCapacity = kFirstVariables;
    }
    ds->variableCount = 1;
    if (!readCsdfNodeList(ds, state)) return 0;
    int32_t total = ds->variableCount;
    ds->variableCount = 0;
    int32_t added = addVariable(ds, "OUTERSWEEP", 0, kKindReal);
    ds->variableCount = total;
    return added < 0 ? 0 : 1;
}

}  // namespace

int readCsdfHeader(WaveformDataset* ds, const FormatEntry& /*row*/) {
    char line[kLineSize];
    // Counting pass: every line holding "#H" starts a section, one per sweep.
    // The size is summed line by line: where zlib keeps positions in a 32-bit
    // long (64-bit Windows) they wrap beyond 2 GB, but each step is exact.
    int32_t sections = 0;
    int64_t totalBytes = 0;
    uint32_t before = static_cast<uint32_t>(gztell(ds->stream));
    while (nextBoundedLine(ds->stream, line)) {
        if (std::strstr(line, "#H") != nullptr && sections < INT32_MAX) sections++;
        const uint32_t now = static_cast<uint32_t>(gztell(ds->stream));
        totalBytes += now - before;
        before = now;
    }
    if (sections >= 2) {
        ds->firstSignalIndex = 2;
        ds->sweepParamCount = 1;
        ds->sweepCount = sections;
    } else {
        ds->firstSignalIndex = 1;
    }
    // A rewind, unlike a seek, does not depend on the position just counted.
    if (gzrewind(ds->stream) != 0 || !csdfReadLine(ds, line) ||
        std::strstr(line, "#H") == nullptr) {
        return reportFailure(ds, Failure::kCsdfNotCsdf);
    }

    CsdfHeaderState state;
    if (!readCsdfHeaderKeys(ds, &state)) return 0;

    int ok = 1;
    // The node list must start the line after NODES. Without it the open
    // succeeds with no variables; the dataset then claims no signals either,
    // so nobody walks node records that do not exist.
    if (gzgetc(ds->stream) != '#' || gzgetc(ds->stream) != 'N') {
        ds->signalCount = 0;
    } else if (ds->firstSignalIndex == 2) {
        ok = readCsdfNodeListSwept(ds, &state);
    } else {
        ok = readCsdfNodeList(ds, &state);
    }
    int64_t position = gztell(ds->stream);
    ds->dataSize = totalBytes > position ? totalBytes - position : 0;
    return ok;
}

namespace {

// The per-sweep arrays of one sweep, grown together.
template <typename Values>
struct CsdfSweepArrays {
    WaveformDataset* ds;
    Values* out;
    int32_t sweep;
    int32_t nodes;
    int32_t capacity;
};

template <typename V>
bool csdfGrowArray(V** slot, int32_t oldCapacity, int32_t newCapacity) {
    auto* grown =
        static_cast<V*>(std::realloc(*slot, static_cast<size_t>(newCapacity) * sizeof(V)));
    if (grown == nullptr) return false;
    std::memset(grown + oldCapacity, 0, static_cast<size_t>(newCapacity - oldCapacity) * sizeof(V));
    *slot = grown;
    return true;
}

// Allocates (capacity 0) or doubles every array of the sweep until it holds
// needed values; new values read 0. Fails as out of memory.
template <typename Values>
int csdfReserve(CsdfSweepArrays<Values>* a, int32_t needed, int32_t first) {
    if (needed <= a->capacity) return 1;
    int32_t next = a->capacity == 0 ? first : a->capacity;
    while (next < needed) {
        if (next > kPointsLimit / 2) return reportFailure(a->ds, Failure::kOutOfMemory);
        next *= 2;
    }
    const int32_t s = a->sweep;
    if (!csdfGrowArray(&a->out->axis[0][s], a->capacity, next))
        return reportFailure(a->ds, Failure::kOutOfMemory);
    for (int32_t i = 0; i < a->nodes; ++i) {
        if (!csdfGrowArray(&a->out->real[i][s], a->capacity, next))
            return reportFailure(a->ds, Failure::kOutOfMemory);
        if (a->out->imag != nullptr && a->out->imag[i] != nullptr &&
            !csdfGrowArray(&a->out->imag[i][s], a->capacity, next)) {
            return reportFailure(a->ds, Failure::kOutOfMemory);
        }
    }
    a->capacity = next;
    return 1;
}

int csdfSyntaxError(WaveformDataset* ds) {
    return reportFailure(ds, Failure::kCsdfSyntax);
}

// One node value: a token, or for a complex node real/imaginary. The real
// part is gathered up to the "/" without blanks and line feeds; more than 255
// characters, or the end of the file before the "/", is a syntax error.
template <typename V>
int readCsdfValue(WaveformDataset* ds, const VariableRecord* record, V* real, V* imag) {
    *imag = 0;
    if (record->kind != kKindComplex && record->kind != kKindComplexOther) {
        const char* token = csdfToken(ds);
        if (token == nullptr) return csdfIncomplete(ds);
        *real = csdfDecimal<V>(token);
        return 1;
    }
    char text[kLineSize];
    size_t length = 0;
    for (;;) {
        int c = gzgetc(ds->stream);
        if (c == -1) return csdfSyntaxError(ds);
        if (c == '/') break;
        if (c == '\n') {
            ds->lineNumber++;
            continue;
        }
        if (c == ' ') continue;
        if (length == sizeof text - 1) return csdfSyntaxError(ds);
        text[length++] = static_cast<char>(c);
    }
    text[length] = '\0';
    const char* token = csdfToken(ds);
    if (token == nullptr) return csdfSyntaxError(ds);
    *real = csdfDecimal<V>(text);
    *imag = csdfDecimal<V>(token);
    return 1;
}

// Where the sweep parser stands, by the tokens read since the last "#C" and
// its value (or since the sweep began); each token moves it one step on.
// The node values follow the count token, wherever a "#C" came or not.
enum CsdfStep : int {
    kStepSweepStart = 0,
    kStepPointValue = 1,  // "#C" and the independent value were read
    kStepCount = 2,       // this token is the count: the node values follow it
    kStepIdle = 3,        // any other token, skipped
};

// The data of one sweep, up to its "#;". A point is "#C", the independent
// value, a count token (unused) and one value per node; other tokens are
// skipped. A "#C" that comes before the previous point got its values takes
// that point's place, and a point still without values at "#;" is dropped,
// so the count never exceeds the values read.
template <typename Values>
int readCsdfSweep(WaveformDataset* ds, Values* out, int32_t sweep, int32_t first) {
    using V = ValueOf<Values>;
    const bool swept = ds->firstSignalIndex == 2;
    CsdfSweepArrays<Values> arrays{ds, out, sweep, out->signalCount, 0};
    if (!csdfReserve(&arrays, 1, first)) return 0;
    const VariableRecord* nodes = ds->variables + ds->firstSignalIndex;

    int32_t point = 0;
    uint32_t count = 0;
    CsdfStep step = kStepSweepStart;
    char* token = csdfToken(ds);
    if (token == nullptr) return csdfIncomplete(ds);
    for (;;) {
        if (step != kStepIdle) step = static_cast<CsdfStep>(step + 1);
        // In a swept file "#;" may have the next section's "#H" glued to it.
        if (swept && token[0] != '\0' && token[1] != '\0') token[2] = '\0';
        if (std::strcmp(token, "#;") == 0) {
            out->counts[0][sweep] =
                count < static_cast<uint32_t>(point) ? count : static_cast<uint32_t>(point);
            return 1;
        }
        if (std::strcmp(token, "#C") == 0) {
            token = csdfToken(ds);
            if (token == nullptr) return csdfIncomplete(ds);
            if (!csdfReserve(&arrays, point + 1, first)) return 0;
            // csdfReserve just gave every array of the sweep point + 1 values.
            // NOLINTNEXTLINE(clang-analyzer-core.NullDereference)
            out->axis[0][sweep][point] = csdfDecimal<V>(token);
            if (count <= static_cast<uint32_t>(point)) count++;
            step = kStepPointValue;
        } else if (step == kStepCount) {
            if (!csdfReserve(&arrays, point + 1, first)) return 0;
            for (int32_t i = 0; i < arrays.nodes; ++i) {
                V real = 0;
                V imag = 0;
                if (!readCsdfValue(ds, &nodes[i], &real, &imag)) return 0;
                out->real[i][sweep][point] = real;
                // Complex nodes outside AC have no imaginary arrays: the part is dropped.
                if (out->imag != nullptr && out->imag[i] != nullptr) {
                    out->imag[i][sweep][point] = imag;
                }
            }
            point++;
        }
        token = csdfToken(ds);
        if (token == nullptr) return csdfIncomplete(ds);
    }
}

template <typename T>
T* csdfEntry(int32_t count) {
    return static_cast<T*>(std::calloc(static_cast<size_t>(count), sizeof(T)));
}

}  // namespace

namespace {

// First size of one sweep's arrays, in values: the file spread over nodes and
// sweeps, capped by the bytes after the header and clamped.
int32_t csdfFirstPoints(const WaveformDataset* ds, int32_t nodes, int32_t sweeps) {
    int64_t size = estimatedDataSize(ds);
    if (size < 0) size = 400;
    if (size > ds->dataSize) size = ds->dataSize;
    int64_t first = size / (nodes + 1) / sweeps / static_cast<int64_t>(sizeof(float));
    if (first < kFirstPointsMin) first = kFirstPointsMin;
    if (first > kFirstPointsMax) first = kFirstPointsMax;
    return static_cast<int32_t>(first);
}

// The per-sweep slot arrays: entry 0 of the axis and count holders (shared by
// every node), one per node, one per complex node of an AC file, and for a
// swept file the sweep values, each sweep's one value left 0 (the file names
// none). Returns 1, or 0 out of memory.
template <typename Values>
int csdfAllocateEntries(WaveformDataset* ds, Values* out, int32_t sweeps, bool swept) {
    using V = ValueOf<Values>;
    out->axis[0] = csdfEntry<V*>(sweeps);
    out->counts[0] = csdfEntry<uint32_t>(sweeps);
    if (out->axis[0] == nullptr || out->counts[0] == nullptr)
        return reportFailure(ds, Failure::kOutOfMemory);
    for (int32_t i = 0; i < out->signalCount; ++i) {
        out->real[i] = csdfEntry<V*>(sweeps);
        if (out->real[i] == nullptr) return reportFailure(ds, Failure::kOutOfMemory);
        if (out->imag != nullptr && ds->variables[ds->firstSignalIndex + i].kind == kKindComplex) {
            out->imag[i] = csdfEntry<V*>(sweeps);
            if (out->imag[i] == nullptr) return reportFailure(ds, Failure::kOutOfMemory);
        }
    }
    if (!swept) return 1;
    out->sweepValues = csdfEntry<V*>(sweeps);
    if (out->sweepValues == nullptr) return reportFailure(ds, Failure::kOutOfMemory);
    for (int32_t s = 0; s < sweeps; ++s) {
        out->sweepValues[s] = csdfEntry<V>(ds->sweepParamCount > 0 ? ds->sweepParamCount : 1);
        if (out->sweepValues[s] == nullptr) return reportFailure(ds, Failure::kOutOfMemory);
    }
    return 1;
}

template <typename Values>
int readCsdf(WaveformDataset* ds, Values* out) {
    const int32_t nodes = out->signalCount;
    const int32_t sweeps = out->sweepSlots;
    // Without a node list the header left no independent variable: nothing
    // can be read against it.
    if (ds->firstSignalIndex < 1 || sweeps < 1 ||
        ds->variableCount < static_cast<int64_t>(ds->firstSignalIndex) + nodes) {
        return csdfIncomplete(ds);
    }
    if (gzseek(ds->stream, ds->dataOffset, SEEK_SET) < 0) return csdfIncomplete(ds);
    if (static_cast<int64_t>(nodes + 1) * sweeps > ds->dataSize + kPairAllowance) {
        return reportFailure(ds, Failure::kOutOfMemory);
    }
    const bool swept = ds->firstSignalIndex == 2;
    if (!csdfAllocateEntries(ds, out, sweeps, swept)) return 0;

    const int32_t firstPoints = csdfFirstPoints(ds, nodes, sweeps);
    if (!swept) return readCsdfSweep(ds, out, 0, firstPoints);
    char line[kLineSize];
    for (int32_t s = 0; s < sweeps; ++s) {
        if (s > 0) {
            // Skip the next section's header and node list line.
            do {
                if (!csdfReadLine(ds, line)) return csdfIncomplete(ds);
            } while (std::strstr(line, "#N") == nullptr);
        }
        if (!readCsdfSweep(ds, out, s, firstPoints)) return 0;
    }
    return 1;
}

}  // namespace

int readCsdfData(WaveformDataset* ds, WaveformValues* out, const FormatEntry& /*row*/) {
    return readCsdf(ds, out);
}

int readCsdfData64(WaveformDataset* ds, WaveformValues64* out, const FormatEntry& /*row*/) {
    return readCsdf(ds, out);
}
