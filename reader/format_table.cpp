// The dispatch table: one row per data format code (see FormatEntry), in
// detection order.
#include "format_table.h"

#include <iterator>

#include "detection.h"
#include "formats/csdf.h"
#include "formats/csdf_dialect.h"
#include "formats/framed_event.h"
#include "formats/measure_table.h"
#include "formats/post_data.h"
#include "formats/post_header.h"
#include "formats/spice_raw.h"
#include "formats/spice_source.h"
#include "formats/tagged_record.h"

namespace {

// The HSPICE post versions. 2001 widens every binary value to 8 bytes and
// text values to 13 characters; 2013 widens only the independent values.
constexpr PostTraits kPost9007{"9007", 4, 16, 4, 4, 11};
constexpr PostTraits kPost9601{"9601", 4, 0, 4, 4, 11};
constexpr PostTraits kPost2001{"2001", 5, 0, 8, 8, 13};
constexpr PostTraits kPost2013{"2013", 5, 0, 4, 8, 11};

constexpr uint8_t kPostFraming = 4;
constexpr uint8_t kEventFraming = 5;
constexpr uint8_t kFramed7Framing = 7;
constexpr uint8_t kTaggedFraming = 9;

constexpr const char* kPropertyStoreWords[] = {"QVKversion", nullptr};
constexpr const char* kRadixWords[] = {"radix", "Radix", "RADIX", nullptr};
constexpr const char* kCsdfWords[] = {"#H", nullptr};
constexpr const char* kEndWords[] = {"$end", "End", "END", nullptr};

constexpr uint8_t bitsOf(int bytes) {
    return static_cast<uint8_t>(bytes * 8);
}

constexpr FormatEntry postRow(uint32_t code, const char* name, const PostTraits* traits) {
    return {.code = code,
            .name = name,
            .detect = hasPostVersion,
            .keywords = nullptr,
            .mode = ModeRule::kFirstBytes,
            .blocks = BlockUse::kWhenBinary,
            .framingValue = kPostFraming,
            .shape = ValueShape::kSharedAxis,
            .imaginaryParts = true,
            .streamable = true,
            .post = traits,
            .header = readPostHeader,
            .data = readPostData,
            .release = nullptr,
            .data64 = readPostData64,
            .valueBits = bitsOf(traits->valueBytes),
            .axisBits = bitsOf(traits->axisBytes)};
}

// A recognised format without a reader: open refuses it with status 2.
constexpr FormatEntry refusedRow(uint32_t code, const char* name, Detector detect,
                                 const char* const* keywords, ModeRule mode, BlockUse blocks,
                                 uint8_t framingValue) {
    return {.code = code,
            .name = name,
            .detect = detect,
            .keywords = keywords,
            .mode = mode,
            .blocks = blocks,
            .framingValue = framingValue,
            .shape = ValueShape::kSharedAxis,
            .imaginaryParts = false,
            .streamable = false,
            .post = nullptr,
            .header = nullptr,
            .data = nullptr,
            .release = nullptr};
}

// The SPICE raw and CSDF dialect rows (codes 16 on): their
// detectors run only for WFX_DETECT_ALL, and before the others. Their header
// readers settle binary or text, and the file says what it stores.
constexpr FormatEntry sourceRow(uint32_t code, const char* name, Detector detect,
                                HeaderReader header, DataReader data, DataReader64 data64,
                                PlotSelector select) {
    return {.code = code,
            .name = name,
            .detect = detect,
            .keywords = nullptr,
            .mode = ModeRule::kText,
            .blocks = BlockUse::kNone,
            .framingValue = 0,
            .shape = ValueShape::kSharedAxis,
            .imaginaryParts = true,
            .streamable = false,
            .post = nullptr,
            .header = header,
            .data = data,
            .release = releaseSpiceSource,
            .extended = true,
            .data64 = data64,
            .valueBits = 0,
            .axisBits = 0,
            .storedBits = sourceStoredBits,
            .selectPlot = select};
}

// Codes 3, 6, 7 and those above 15 have no row: open refuses them as unknown.
// Formats 8 and 12 get block buffers though they have no reader: open
// allocates them before it looks for one, so an allocation failure there is
// status 8, not 2. The
// property store's quoted keyword is unambiguous, so it goes first; binary
// markers come before any text search, as their payload may hold any text;
// keyword searches come last, as these words may appear in any text file.
constexpr FormatEntry kFormats[] = {
    refusedRow(kFormatPropertyStore, "property store", hasQuotedKeyword, kPropertyStoreWords,
               ModeRule::kText, BlockUse::kNone, 0),
    {.code = kFormatFramedEvent,
     .name = "framed event",
     .detect = hasFramingMarkers,
     .keywords = nullptr,
     .mode = ModeRule::kBinary,
     .blocks = BlockUse::kAlways,
     .framingValue = kEventFraming,
     .shape = ValueShape::kAxisPerSignal,
     .imaginaryParts = false,
     .streamable = false,
     .post = nullptr,
     .header = readFramedEventHeader,
     .data = readFramedEventData,
     .release = releaseFramedEvent},
    refusedRow(kFormatFramed7, "framed 7", hasFramingMarkers, nullptr, ModeRule::kBinary,
               BlockUse::kAlways, kFramed7Framing),
    {.code = kFormatTaggedRecord,
     .name = "tagged record",
     .detect = hasLeadingMarker,
     .keywords = nullptr,
     .mode = ModeRule::kBinary,
     .blocks = BlockUse::kAlways,
     .framingValue = kTaggedFraming,
     .shape = ValueShape::kAxisPerSignal,
     .imaginaryParts = true,
     .streamable = false,
     .post = nullptr,
     .header = readTaggedRecordHeader,
     .data = readTaggedRecordData,
     .release = releaseTaggedRecord},
    postRow(kFormatPost9007, "post 9007", &kPost9007),
    postRow(kFormatPost9601, "post 9601", &kPost9601),
    postRow(kFormatPost2001, "post 2001", &kPost2001),
    postRow(kFormatPost2013, "post 2013", &kPost2013),
    refusedRow(kFormatRadixText, "radix text", hasKeyword, kRadixWords, ModeRule::kText,
               BlockUse::kNone, 0),
    {.code = kFormatCsdf,
     .name = "csdf",
     .detect = hasKeyword,
     .keywords = kCsdfWords,
     .mode = ModeRule::kText,
     .blocks = BlockUse::kNone,
     .framingValue = 0,
     .shape = ValueShape::kSharedAxis,
     .imaginaryParts = true,
     .streamable = false,
     .post = nullptr,
     .header = readCsdfHeader,
     .data = readCsdfData,
     .release = nullptr,
     .data64 = readCsdfData64},
    refusedRow(kFormatEndText, "end text", hasKeyword, kEndWords, ModeRule::kText,
               BlockUse::kAlways, 0),
    // Never detected: opened only when the caller names the code.
    {.code = kFormatMeasureTable,
     .name = "measurement table",
     .detect = nullptr,
     .keywords = nullptr,
     .mode = ModeRule::kText,
     .blocks = BlockUse::kNone,
     .framingValue = 0,
     .shape = ValueShape::kSharedAxis,
     .imaginaryParts = false,
     .streamable = false,
     .post = nullptr,
     .header = readMeasureHeader,
     .data = nullptr,
     .release = nullptr},
    refusedRow(kFormatBinaryOther, "binary", nullptr, nullptr, ModeRule::kBinary, BlockUse::kNone,
               0),
    sourceRow(kFormatSpiceRaw, "spice raw", looksLikeSpiceRaw, readSpiceRawHeader, readSpiceRawData,
              readSpiceRawData64, selectSpiceRawPlot),
    sourceRow(kFormatCsdfDialect, "csdf dialect", looksLikeCsdfDialect, readCsdfDialectHeader,
              readCsdfDialectData, readCsdfDialectData64, selectCsdfDialectPlot),
};

}  // namespace

const FormatEntry* findFormat(uint32_t code) {
    for (const FormatEntry& entry : kFormats) {
        if (entry.code == code) return &entry;
    }
    return nullptr;
}

const FormatEntry* formatRows(int* count) {
    *count = static_cast<int>(std::size(kFormats));
    return kFormats;
}
