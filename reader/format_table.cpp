// The dispatch table: one row per data format code (see FormatEntry).
#include "formats/csdf.h"
#include "formats/framed_event.h"
#include "formats/measure_table.h"
#include "formats/post_data.h"
#include "formats/post_header.h"
#include "formats/tagged_record.h"
#include "internal.h"

namespace {

using M = ModeRule;
using B = BlockUse;
using V = ValueShape;

constexpr uint8_t kPostFraming = 4;
constexpr uint8_t kEventFraming = 5;

// Codes 3, 6, 7 and those above 15 have no row: open refuses them as unknown.
// Formats 8 and 12 get block buffers though they have no reader, as the open
// has always done (an allocation failure there is status 8, not 2).
constexpr FormatEntry kFormats[] = {
    // code, name, mode, blocks, framing, shape, imaginary, header, data, release
    {kFormatPost9007, "post 9007", M::kFirstBytes, B::kWhenBinary, kPostFraming, V::kSharedAxis,
     true, readPostHeader, readPostData, nullptr},
    {kFormatPropertyStore, "property store", M::kText, B::kNone, 0, V::kSharedAxis, false, nullptr,
     nullptr, nullptr},
    {kFormatCsdf, "csdf", M::kText, B::kNone, 0, V::kSharedAxis, true, readCsdfHeader, readCsdfData,
     nullptr},
    {kFormatMeasureTable, "measurement table", M::kText, B::kNone, 0, V::kSharedAxis, false,
     readMeasureHeader, nullptr, nullptr},
    {kFormatBinaryOther, "binary", M::kBinary, B::kNone, 0, V::kSharedAxis, false, nullptr, nullptr,
     nullptr},
    {kFormatEndText, "end text", M::kText, B::kAlways, 0, V::kSharedAxis, false, nullptr, nullptr,
     nullptr},
    {kFormatPost9601, "post 9601", M::kFirstBytes, B::kWhenBinary, kPostFraming, V::kSharedAxis,
     true, readPostHeader, readPostData, nullptr},
    {kFormatRadixText, "radix text", M::kText, B::kNone, 0, V::kSharedAxis, false, nullptr, nullptr,
     nullptr},
    {kFormatFramedEvent, "framed event", M::kBinary, B::kAlways, kEventFraming, V::kAxisPerSignal,
     false, readFramedEventHeader, readFramedEventData, releaseFramedEvent},
    {kFormatFramed7, "framed 7", M::kBinary, B::kAlways, 0, V::kSharedAxis, false, nullptr, nullptr,
     nullptr},
    {kFormatTaggedRecord, "tagged record", M::kBinary, B::kAlways, 0, V::kAxisPerSignal, true,
     readTaggedRecordHeader, readTaggedRecordData, releaseTaggedRecord},
    {kFormatPost2001, "post 2001", M::kFirstBytes, B::kWhenBinary, kPostFraming, V::kSharedAxis,
     true, readPostHeader, readPostData, nullptr},
    {kFormatPost2013, "post 2013", M::kFirstBytes, B::kWhenBinary, kPostFraming, V::kSharedAxis,
     true, readPostHeader, readPostData, nullptr},
};

}  // namespace

const FormatEntry* findFormat(uint32_t code) {
    for (const FormatEntry& entry : kFormats) {
        if (entry.code == code) return &entry;
    }
    return nullptr;
}
