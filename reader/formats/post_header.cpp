// HSPICE post file header: counts, title, date, type codes, names, sweeps.
#include "post_header.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../dataset_tables.h"
#include "../failure.h"
#include "../format_table.h"
#include "../growth.h"
#include "../text_reader.h"
#include "block_layer.h"

namespace {

// Fixed header field widths, in file order.
constexpr int kCountWidth = 4;
constexpr int kTitleWidth = 64;
constexpr int kDateWidth = 8;
constexpr int kTimeWidth = 16;
constexpr int kSkipBeforeSweeps = 72;
constexpr int kSweepCountWidth = 4;
constexpr int kSkipAfterSweeps = 76;
constexpr int kTypeCodeWidth = 8;
constexpr int kNameFieldSize = 64;  // room for a fixed-width name field
constexpr int kTerminatorWidth = 8;
constexpr int32_t kHighPartScale = 10000;

// Versions whose probe count has a high part of its own.
bool hasProbeHighPart(const PostTraits& post) {
    return post.countFields > 4;
}

bool isBinary(const WaveformDataset* ds) {
    return (ds->fileMode & kModeText) == 0 || ds->stream == nullptr;
}

// Decimal as sscanf's %d takes it: blanks, an optional sign, at least one
// digit; whatever follows the digits is ignored.
bool parseDecimal(const char* text, int32_t* value) {
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r') text++;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') text++;
    if (*text < '0' || *text > '9') return false;
    int64_t v = 0;
    while (*text >= '0' && *text <= '9') {
        // Fields are at most 8 digits wide; the clamp only guards odd callers.
        if (v < 1000000000) v = v * 10 + (*text - '0');
        text++;
    }
    *value = static_cast<int32_t>(negative ? -v : v);
    return true;
}

int malformed(WaveformDataset* ds) {
    return reportFailure(ds, Failure::kMalformed);
}

int syntaxError(WaveformDataset* ds) {
    return reportFailure(ds, Failure::kPostSyntax);
}

void trimInto(char* dest, size_t size, const char* text) {
    while (*text == ' ' || *text == '\t') text++;
    size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t')) length--;
    if (length >= size) length = size - 1;
    std::memcpy(dest, text, length);
    dest[length] = '\0';
}

// Reads a fixed-width field of the header in the file's form, trimmed.
// dest needs n + 1 bytes. Returns dest, or NULL with the field reader's message.
char* readField(WaveformDataset* ds, char* dest, int n) {
    if (isBinary(ds)) return blockFieldTrimmed(ds, dest, n);
    return readTextField(ds, dest, n);
}

// The type codes, grown as they are read so that an absurd count cannot
// allocate more than the file holds.
struct TypeCodes {
    uint32_t* codes = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;
    ~TypeCodes() { std::free(codes); }
    bool add(uint32_t code) {
        if (!growByDoubling(codes, capacity, static_cast<size_t>(count) + 1, 256)) return false;
        codes[count++] = code;
        return true;
    }
};

// The next variable or sweep name, in the file's version and form; field
// holds kNameFieldSize bytes. Returns the name (valid until the next read) or
// NULL.
const char* readName(WaveformDataset* ds, const PostTraits& post, char* field) {
    if (post.nameWidth > 0) {
        if (post.nameWidth >= kNameFieldSize) {
            malformed(ds);
            return nullptr;
        }
        return readField(ds, field, post.nameWidth);
    }
    if (isBinary(ds)) return readBlockWord(ds);
    uint32_t lines = 0;
    // End of input among the names fails the header without a message of its own.
    const char* name = nextToken(ds->stream, " ", &lines);
    if (name == nullptr) reportFailure(ds, Failure::kNamesEnded);
    return name;
}

uint32_t variableKind(const WaveformDataset* ds, int32_t position, uint32_t typeCode) {
    if (ds->analysisKind != kAnalysisAc || position < 1 || position >= ds->mainCount)
        return kKindReal;
    return isComplexTypeCode(typeCode, true) ? kKindComplex : kKindReal;
}

int addFileVariables(WaveformDataset* ds, const PostTraits& post, const uint32_t* typeCodes) {
    char field[kNameFieldSize];
    for (int32_t position = 0; position <= ds->signalCount; ++position) {
        const char* name = readName(ds, post, field);
        if (name == nullptr) return 0;
        // readTypeCodes read signalCount + 1 codes, one per position here.
        // NOLINTNEXTLINE(clang-analyzer-core.NullDereference,clang-analyzer-core.uninitialized.Assign)
        uint32_t code = typeCodes[position];
        if (addVariable(ds, name, code, variableKind(ds, position, code)) < 0) return 0;
    }
    return 1;
}

// Moves the last variable record to position 0, shifting the others up, and
// points the variable symbols at the new positions.
void moveLastVariableFirst(WaveformDataset* ds) {
    int32_t last = ds->variableCount - 1;
    if (last <= 0) return;
    VariableRecord sweep = ds->variables[last];
    std::memmove(ds->variables + 1, ds->variables,
                 static_cast<size_t>(last) * sizeof(VariableRecord));
    ds->variables[0] = sweep;
    for (uint32_t i = 0; i < ds->symbolCount; ++i) {
        SymbolRecord& s = ds->symbols[i];
        if (s.nameSpace != kVariableNameSpace || s.ownerIndex < 0) continue;
        s.ownerIndex = s.ownerIndex == last ? 0 : s.ownerIndex + 1;
    }
}

int checkTerminator(WaveformDataset* ds) {
    if (isBinary(ds)) {
        char field[kTerminatorWidth + 1];
        if (blockFieldTrimmed(ds, field, kTerminatorWidth) == nullptr) return 0;
        if (std::strstr(field, "$&%#") == nullptr) return malformed(ds);
        return 1;
    }
    int c;
    while ((c = gzgetc(ds->stream)) != '$') {
        if (c == -1) return syntaxError(ds);
    }
    char rest[4] = {};
    if (gzgets(ds->stream, rest, sizeof rest) == nullptr || std::strcmp(rest, "&%#") != 0) {
        return syntaxError(ds);
    }
    while ((c = gzgetc(ds->stream)) != '\n') {
        if (c == -1) return syntaxError(ds);
    }
    ds->lineNumber++;
    return 1;
}

// Fixed fields up to the type codes. Returns 1 or 0 with the message stored.
struct Counts {
    int32_t main = 0;
    int32_t probes = 0;
    int32_t sweepNames = 0;
    int32_t sweeps = 0;
};

int readBinaryCounts(WaveformDataset* ds, const PostTraits& post, Counts* counts) {
    char fields[7][kCountWidth + 1] = {};
    bool newVersion = hasProbeHighPart(post);
    int fieldCount = 6;  // main, probes, sweep names, main high, version or probe high, 20
    for (int i = 0; i < fieldCount; ++i) {
        // The block layer has already stored the message; it is stored again
        // for these fields, as their own failure.
        if (blockFieldRaw(ds, fields[i], kCountWidth) == nullptr) return malformed(ds);
        fields[i][kCountWidth] = '\0';
    }
    const char* version = newVersion ? fields[5] : fields[4];
    std::memcpy(ds->version, version, kCountWidth);
    ds->version[kCountWidth] = '\0';

    if (!parseDecimal(fields[1], &counts->probes) ||
        !parseDecimal(fields[2], &counts->sweepNames)) {
        return malformed(ds);
    }
    if (newVersion) {
        int32_t high = 0;
        if (!parseDecimal(fields[4], &high)) return malformed(ds);
        if (high > 0) counts->probes += kHighPartScale * high;
    }
    auto* mainBytes = reinterpret_cast<const unsigned char*>(fields[0]);
    if ((mainBytes[3] & 0x80u) != 0) {
        // The count escape: a little-endian word with its top bit cleared.
        counts->main = static_cast<int32_t>(
            decodeWord(mainBytes, std::endian::native == std::endian::big) & 0x7FFFFFFFu);
    } else {
        if (!parseDecimal(fields[0], &counts->main)) return malformed(ds);
        if (!isAllSpaces(fields[3])) {
            int32_t high = 0;
            if (!parseDecimal(fields[3], &high)) return malformed(ds);
            if (high > 0) counts->main += kHighPartScale * high;
        }
    }
    return 1;
}

int readTextCounts(WaveformDataset* ds, const PostTraits& post, Counts* counts) {
    char fields[6][kCountWidth + 1] = {};
    bool newVersion = hasProbeHighPart(post);
    // main, probes, sweep names, main high, then probe high or the version
    int countFields = newVersion ? 5 : 4;
    for (int i = 0; i < countFields; ++i) {
        if (readTextField(ds, fields[i], kCountWidth) == nullptr) return syntaxError(ds);
    }
    char version[kCountWidth + 1];
    if (readTextField(ds, version, kCountWidth) == nullptr) return syntaxError(ds);
    std::snprintf(ds->version, sizeof ds->version, "%s", version);
    if (!newVersion && readTextField(ds, nullptr, kCountWidth) == nullptr) return 0;

    int32_t mainHigh = 0;
    if (!parseDecimal(fields[0], &counts->main) || !parseDecimal(fields[1], &counts->probes) ||
        !parseDecimal(fields[2], &counts->sweepNames) || !parseDecimal(fields[3], &mainHigh)) {
        return syntaxError(ds);
    }
    if (mainHigh > 0) counts->main += kHighPartScale * mainHigh;
    if (newVersion) {
        int32_t probeHigh = 0;
        if (!parseDecimal(fields[4], &probeHigh)) return syntaxError(ds);
        if (probeHigh > 0) counts->probes += kHighPartScale * probeHigh;
    }
    return 1;
}

// Title, date and time, the skipped fields and the sweep count.
int readDescription(WaveformDataset* ds, Counts* counts) {
    char title[kTitleWidth + 1];
    char date[kDateWidth + 1];
    char time[kTimeWidth + 1];
    if (readField(ds, title, kTitleWidth) == nullptr) return 0;
    trimInto(ds->title, sizeof ds->title, title);
    if (readField(ds, date, kDateWidth) == nullptr || readField(ds, time, kTimeWidth) == nullptr)
        return 0;
    std::snprintf(ds->date, sizeof ds->date, "%s%s", date, time);

    if (isBinary(ds)) {
        char sweeps[kSweepCountWidth + 1];
        if (!skipBlockBytes(ds, kSkipBeforeSweeps)) return 0;
        if (blockFieldTrimmed(ds, sweeps, kSweepCountWidth) == nullptr) return 0;
        if (std::sscanf(sweeps, "%4d", &counts->sweeps) != 1) return malformed(ds);
        if (!skipBlockBytes(ds, kSkipAfterSweeps)) return 0;
        return 1;
    }
    if (readTextField(ds, nullptr, kSkipBeforeSweeps) == nullptr) return 0;
    // A line fragment: a line break inside it ends the count early.
    char sweeps[kSweepCountWidth + 1] = {};
    if (gzgets(ds->stream, sweeps, sizeof sweeps) == nullptr) return syntaxError(ds);
    if (!parseDecimal(sweeps, &counts->sweeps) || sweeps[0] == '\n') return syntaxError(ds);
    if (readTextField(ds, nullptr, kSkipAfterSweeps) == nullptr) return 0;
    return 1;
}

int readTypeCodes(WaveformDataset* ds, TypeCodes* codes) {
    bool binary = isBinary(ds);
    char field[kTypeCodeWidth + 1];
    for (int64_t i = 0; i <= ds->signalCount; ++i) {
        if (readField(ds, field, kTypeCodeWidth) == nullptr) return 0;
        int32_t code = 0;
        if (!parseDecimal(field, &code)) return binary ? malformed(ds) : syntaxError(ds);
        if (!codes->add(static_cast<uint32_t>(code))) {
            return reportFailure(ds, Failure::kOutOfMemoryTypeCodes);
        }
    }
    // signalCount is at least 0, so the loop read at least one code.
    if (codes->count < 1) return binary ? malformed(ds) : syntaxError(ds);
    uint32_t first = codes->codes[0];
    if (first < 1 || first > 7) return binary ? malformed(ds) : syntaxError(ds);
    ds->analysisKind = first <= 2 ? first : static_cast<uint32_t>(kAnalysisDc);
    return 1;
}

// Reads the names of the independent variable and the signals, then
// sweepNameCount sweep names, and puts the sweep variable at position 0 (a
// real variable for one name, the "datum(" compound with its member types for
// several). A sweepCount above 0 becomes the dataset's sweepCount.
int readPostNamesWithSweep(WaveformDataset* ds, const PostTraits& post, const uint32_t* typeCodes,
                           int32_t sweepNameCount, int32_t sweepCount) {
    if (!addFileVariables(ds, post, typeCodes)) return 0;
    char field[kNameFieldSize];
    int32_t compound = -1;
    for (int32_t i = 0; i < sweepNameCount; ++i) {
        const char* name = readName(ds, post, field);
        if (name == nullptr) return 0;
        if (sweepNameCount == 1) {
            if (addVariable(ds, name, 0, kKindReal) < 0) return 0;
        } else if (i == 0) {
            char typeName[WFX_BLOCK_SIZE + 8];
            std::snprintf(typeName, sizeof typeName, "datum(%s", name);
            compound = addType(ds, typeName, -1);
            if (compound < 0) return 0;
            ds->types[compound].kind = kKindCompound;
            ds->types[compound].memberCount = sweepNameCount - 1;
            if (addVariable(ds, typeName, static_cast<uint32_t>(compound), kKindCompound) < 0)
                return 0;
            ds->variables[ds->variableCount - 1].memberCount =
                static_cast<uint32_t>(sweepNameCount - 1);
        } else {
            int32_t member = addType(ds, name, compound);
            if (member < 0) return 0;
            ds->types[member].kind = kKindReal;
        }
    }
    // The sweep variable was added last; it belongs in front.
    moveLastVariableFirst(ds);
    if (sweepCount > 0) ds->sweepCount = sweepCount;
    return 1;
}

// Both forms read the same fields in the same order; the field readers and
// the messages differ.
int readPostHeaderFields(WaveformDataset* ds, const PostTraits& post) {
    if (ds->stream == nullptr) return malformed(ds);
    bool binary = isBinary(ds);
    if (binary) ds->framingMode = kFramingUndecided;
    Counts counts;
    if (!(binary ? readBinaryCounts(ds, post, &counts) : readTextCounts(ds, post, &counts)))
        return 0;

    // Counts that leave no variable at all, or more than a position can hold,
    // cannot describe a file.
    int64_t variables = static_cast<int64_t>(counts.main) + counts.probes;
    if (variables < 1 || variables > INT32_MAX - 2) return binary ? malformed(ds) : syntaxError(ds);
    ds->mainCount = counts.main;
    ds->probeCount = counts.probes;
    ds->signalCount = static_cast<int32_t>(variables - 1);
    bool swept = counts.sweepNames > 0;
    ds->firstSignalIndex = swept ? 2 : 1;
    ds->sweepParamCount = !swept ? 0 : counts.sweepNames == 1 ? 1 : counts.sweepNames - 1;

    if (!readDescription(ds, &counts)) return 0;
    TypeCodes codes;
    if (!readTypeCodes(ds, &codes)) return 0;
    int named =
        swept ? readPostNamesWithSweep(ds, post, codes.codes, counts.sweepNames, counts.sweeps)
              : addFileVariables(ds, post, codes.codes);
    if (!named) return 0;
    return checkTerminator(ds);
}

}  // namespace

int readPostHeader(WaveformDataset* ds, const FormatEntry& row) {
    if (row.post == nullptr) return malformed(ds);
    return readPostHeaderFields(ds, *row.post);
}
