// Format and file mode detection from a file's first bytes (detection.cpp).
// The detectors read what they look for from the row they are called with.
#ifndef WAVTREX_READER_DETECTION_H
#define WAVTREX_READER_DETECTION_H

#include <zlib.h>

#include <cstdint>

#include "format_table.h"

// The row's first keyword, with a double quote right before and after it.
bool hasQuotedKeyword(const FormatEntry& row, const Sniffed& first);
// Any of the row's keywords.
bool hasKeyword(const FormatEntry& row, const Sniffed& first);
// The row's framing value in the first word and in the third word of the
// first block head, in either byte order.
bool hasFramingMarkers(const FormatEntry& row, const Sniffed& first);
// The row's framing value as the first byte of a little-endian or the fourth
// of a big-endian block head, followed by bytes that are not printable text.
bool hasLeadingMarker(const FormatEntry& row, const Sniffed& first);
// The row's post version where the header keeps it: behind the 16-byte frame
// of the first block, or with the byte-framed or text layout 8 or 16 bytes
// earlier.
bool hasPostVersion(const FormatEntry& row, const Sniffed& first);

// The row of the format the first 256 bytes show, or NULL; rewinds the stream.
// Extended rows (codes 16 on) take part only with everyFormat, and then
// come first.
const FormatEntry* detectFormat(gzFile stream, bool everyFormat = false);

// File mode when the row's rule reads the first bytes.
constexpr uint8_t kModeUndetermined = 255;

// The file mode the row asks for (text for no row); post files tell by their
// first bytes, and fewer than 4 leave it undetermined. Rewinds the stream.
uint8_t detectFileMode(gzFile stream, const FormatEntry* row);

#endif  // WAVTREX_READER_DETECTION_H
