// Format and file mode detection. Which formats are tried, in which order,
// and what each looks for come from the rows of the dispatch table.
#include "detection.h"

#include <cstdio>
#include <cstring>

#include "formats/block_layer.h"

namespace {

bool inRange(unsigned char c, int low, int high) {
    return c >= low && c <= high;
}

// 4 bytes equal to text at pos, when more than pos bytes were read.
bool hasAt(const Sniffed& first, int pos, const char* text) {
    return first.count > pos && std::memcmp(first.bytes + pos, text, 4) == 0;
}

}  // namespace

bool hasQuotedKeyword(const FormatEntry& row, const Sniffed& first) {
    const char* keyword = row.keywords[0];
    size_t length = std::strlen(keyword);
    for (const char* p = std::strstr(first.text, keyword); p != nullptr;
         p = std::strstr(p + 1, keyword)) {
        if (p > first.text && p[-1] == '"' && p[length] == '"') return true;
    }
    return false;
}

bool hasKeyword(const FormatEntry& row, const Sniffed& first) {
    for (const char* const* keyword = row.keywords; *keyword != nullptr; ++keyword) {
        if (std::strstr(first.text, *keyword) != nullptr) return true;
    }
    return false;
}

bool hasFramingMarkers(const FormatEntry& row, const Sniffed& first) {
    const unsigned char* b = first.bytes;
    const unsigned char v = row.framingValue;
    return first.count > 12 && (b[0] == v || b[3] == v) && (b[8] == v || b[11] == v);
}

bool hasLeadingMarker(const FormatEntry& row, const Sniffed& first) {
    const unsigned char* b = first.bytes;
    const unsigned char v = row.framingValue;
    // The marker is only taken for one when no printable text follows it.
    if (first.count > 4 && b[0] == v && !inRange(b[1], 58, 126) && !inRange(b[2], 58, 126)) {
        return true;
    }
    return first.count > 4 && b[3] == v && !inRange(b[4], 58, 126);
}

bool hasPostVersion(const FormatEntry& row, const Sniffed& first) {
    const int at = 4 * row.post->countFields;
    const char* version = row.post->version;
    return hasAt(first, at, version) || hasAt(first, at + 16, version) ||
           hasAt(first, at + 8, version);
}

const FormatEntry* detectFormat(gzFile stream, bool everyFormat) {
    unsigned char b[257] = {};
    int n = gzread(stream, b, 256);
    if (n < 0) n = 0;
    gzseek(stream, 0, SEEK_SET);
    const Sniffed first{b, n, reinterpret_cast<const char*>(b), stream};
    int count = 0;
    const FormatEntry* rows = formatRows(&count);
    // A raw file's header may hold any keyword the specified tests look for.
    for (int pass = everyFormat ? 0 : 1; pass < 2; ++pass) {
        for (int i = 0; i < count; ++i) {
            if (rows[i].extended != (pass == 0)) continue;
            if (rows[i].detect != nullptr && rows[i].detect(rows[i], first)) return &rows[i];
        }
    }
    return nullptr;
}

uint8_t detectFileMode(gzFile stream, const FormatEntry* row) {
    if (row == nullptr || row->mode == ModeRule::kText) return kModeText;
    if (row->mode == ModeRule::kBinary) return kModeBinary;
    unsigned char b[4];
    int n = gzread(stream, b, 4);
    gzseek(stream, 0, SEEK_SET);
    if (n < 4) return kModeUndetermined;
    if (b[0] == row->framingValue || b[0] == kByteFramedMark || b[3] == row->framingValue) {
        return kModeBinary;
    }
    return kModeText;
}
