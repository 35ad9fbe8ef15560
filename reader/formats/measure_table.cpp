// Measurement table header: see measure_table.h.
#include "measure_table.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "../dataset_tables.h"
#include "../failure.h"
#include "../format_table.h"
#include "../text_reader.h"

namespace {

constexpr int kLineSize = kBoundedLineSize;
constexpr size_t kVersionMax = 32;
constexpr char kTitleTag[] = ".TITLE ";
constexpr size_t kTitleTagLength = sizeof kTitleTag - 1;
constexpr uint32_t kColumnCode = 9;  // typeCode and kind of every column

// The names stop after the first one that begins with "alter#" or ends in "#".
bool measureIsLastName(const char* name) {
    size_t length = std::strlen(name);
    return std::strncmp(name, "alter#", 6) == 0 || (length > 0 && name[length - 1] == '#');
}

int measureBadHeader(WaveformDataset* ds) {
    return reportFailure(ds, Failure::kMeasureBadHeader);
}

int measureNoData(WaveformDataset* ds) {
    return reportFailure(ds, Failure::kMeasureNoData);
}

// Reads on until line holds the ".TITLE " line and takes the rest of it, line
// feed included, as the title (cut to 99 characters). The end of the file
// before a title line is an incorrect header.
int findMeasureTitle(WaveformDataset* ds, char* line) {
    while (std::strncmp(line, kTitleTag, kTitleTagLength) != 0) {
        if (!nextBoundedLine(ds->stream, line)) return measureBadHeader(ds);
        ds->lineNumber++;
    }
    const char* title = line + kTitleTagLength;
    size_t length = std::strlen(title);
    if (length > sizeof ds->title - 1) length = sizeof ds->title - 1;
    std::memcpy(ds->title, title, length);
    ds->title[length] = '\0';
    return 1;
}

// "$OPTION" tables: the column names are the whole next line.
int measureNamesFromLine(WaveformDataset* ds) {
    char* names = nextLine(ds->stream);
    if (names == nullptr) return measureNoData(ds);
    ds->lineNumber++;
    constexpr char kSeparators[] = ", \t\r\n";
    int32_t added = 0;
    char* cursor = names;
    for (;;) {
        cursor += std::strspn(cursor, kSeparators);
        if (*cursor == '\0') break;
        char* end = cursor + std::strcspn(cursor, kSeparators);
        bool more = *end != '\0';
        *end = '\0';
        if (addVariable(ds, cursor, kColumnCode, kColumnCode) < 0) {
            std::free(names);
            return 0;
        }
        // The first name never ends the list; a later one may.
        if (added++ > 0 && measureIsLastName(cursor)) break;
        if (!more) break;
        cursor = end + 1;
    }
    std::free(names);
    if (added == 0) return reportFailure(ds, Failure::kEmptyNames);
    ds->signalCount = added - 1;
    return 1;
}

bool measureToken(WaveformDataset* ds, char** token) {
    uint32_t lines = 0;
    *token = nextToken(ds->stream, nullptr, &lines);
    ds->lineNumber += lines;
    return *token != nullptr;
}

// Plain tables: names are tokens up to the last one, and a value must follow.
int measureNamesFromTokens(WaveformDataset* ds) {
    int32_t added = 0;
    char* token = nullptr;
    for (;;) {
        if (!measureToken(ds, &token)) return measureNoData(ds);
        if (addVariable(ds, token, kColumnCode, kColumnCode) < 0) return 0;
        added++;
        if (measureIsLastName(token)) break;
    }
    if (!measureToken(ds, &token)) return measureNoData(ds);
    ds->signalCount = added - 1;
    return 1;
}

}  // namespace

int readMeasureHeader(WaveformDataset* ds, const FormatEntry& /*row*/) {
    char line[kLineSize];
    if (!nextBoundedLine(ds->stream, line)) {
        return reportFailure(ds, Failure::kMeasureEmpty);
    }
    const char* key = std::strstr(line, "VERSION");
    const char* open = key != nullptr ? std::strchr(key, '\'') : nullptr;
    // A closing quote missing from the 255-character line counts as no value.
    const char* close = open != nullptr ? std::strchr(open + 1, '\'') : nullptr;
    if (close == nullptr) return reportFailure(ds, Failure::kIncorrectHeader);
    auto length = static_cast<size_t>(close - open - 1);
    if (length > kVersionMax) return measureBadHeader(ds);
    std::memcpy(ds->version, open + 1, length);
    ds->version[length] = '\0';

    ds->lineNumber += 2;
    ds->analysisKind = kAnalysisMeasureTable;
    if (!nextBoundedLine(ds->stream, line)) return measureBadHeader(ds);
    int ok = 0;
    if (std::strncmp(line, "$OPTION", 7) == 0) {
        if (!nextBoundedLine(ds->stream, line)) return measureBadHeader(ds);
        ds->lineNumber++;
        ok = findMeasureTitle(ds, line) && measureNamesFromLine(ds);
    } else {
        ok = findMeasureTitle(ds, line) && measureNamesFromTokens(ds);
    }
    if (!ok) return 0;
    ds->firstSignalIndex = 1;
    return 1;
}
