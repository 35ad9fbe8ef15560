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

constexpr FormatEntry postRow(uint32_t code, const char* name, const PostTraits* traits) {
    return {code,
            name,
            hasPostVersion,
            nullptr,
            ModeRule::kFirstBytes,
            BlockUse::kWhenBinary,
            kPostFraming,
            ValueShape::kSharedAxis,
            true,
            true,
            traits,
            readPostHeader,
            readPostData,
            nullptr};
}

// A recognised format without a reader: open refuses it with status 2.
constexpr FormatEntry refusedRow(uint32_t code, const char* name, Detector detect,
                                 const char* const* keywords, ModeRule mode, BlockUse blocks,
                                 uint8_t framingValue) {
    return {code,  name,  detect,  keywords, mode,    blocks, framingValue, ValueShape::kSharedAxis,
            false, false, nullptr, nullptr,  nullptr, nullptr};
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
    {kFormatFramedEvent, "framed event", hasFramingMarkers, nullptr, ModeRule::kBinary,
     BlockUse::kAlways, kEventFraming, ValueShape::kAxisPerSignal, false, false, nullptr,
     readFramedEventHeader, readFramedEventData, releaseFramedEvent},
    refusedRow(kFormatFramed7, "framed 7", hasFramingMarkers, nullptr, ModeRule::kBinary,
               BlockUse::kAlways, kFramed7Framing),
    {kFormatTaggedRecord, "tagged record", hasLeadingMarker, nullptr, ModeRule::kBinary,
     BlockUse::kAlways, kTaggedFraming, ValueShape::kAxisPerSignal, true, false, nullptr,
     readTaggedRecordHeader, readTaggedRecordData, releaseTaggedRecord},
    postRow(kFormatPost9007, "post 9007", &kPost9007),
    postRow(kFormatPost9601, "post 9601", &kPost9601),
    postRow(kFormatPost2001, "post 2001", &kPost2001),
    postRow(kFormatPost2013, "post 2013", &kPost2013),
    refusedRow(kFormatRadixText, "radix text", hasKeyword, kRadixWords, ModeRule::kText,
               BlockUse::kNone, 0),
    {kFormatCsdf, "csdf", hasKeyword, kCsdfWords, ModeRule::kText, BlockUse::kNone, 0,
     ValueShape::kSharedAxis, true, false, nullptr, readCsdfHeader, readCsdfData, nullptr},
    refusedRow(kFormatEndText, "end text", hasKeyword, kEndWords, ModeRule::kText,
               BlockUse::kAlways, 0),
    // Never detected: opened only when the caller names the code.
    {kFormatMeasureTable, "measurement table", nullptr, nullptr, ModeRule::kText, BlockUse::kNone,
     0, ValueShape::kSharedAxis, false, false, nullptr, readMeasureHeader, nullptr, nullptr},
    refusedRow(kFormatBinaryOther, "binary", nullptr, nullptr, ModeRule::kBinary, BlockUse::kNone,
               0),
    // Beyond the specified codes: their detectors run only for WFX_DETECT_ALL,
    // and before the others. The raw header reader settles binary or text.
    {kFormatSpiceRaw, "spice raw", looksLikeSpiceRaw, nullptr, ModeRule::kText, BlockUse::kNone, 0,
     ValueShape::kSharedAxis, true, false, nullptr, readSpiceRawHeader, readSpiceRawData,
     releaseSpiceSource, true},
    {kFormatCsdfDialect, "csdf dialect", looksLikeCsdfDialect, nullptr, ModeRule::kText,
     BlockUse::kNone, 0, ValueShape::kSharedAxis, true, false, nullptr, readCsdfDialectHeader,
     readCsdfDialectData, releaseSpiceSource, true},
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
