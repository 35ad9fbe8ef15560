#include "tagged_record_writer.h"

namespace writers {

TaggedRecordStream& TaggedRecordStream::float64(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    auto low = static_cast<uint32_t>(bits);
    auto high = static_cast<uint32_t>(bits >> 32);
    return big() ? uint32(high).uint32(low) : uint32(low).uint32(high);
}

TaggedRecordStream& TaggedRecordStream::single(uint32_t identifier, float delta,
                                               const std::vector<float>& value) {
    uint32(identifier & 0x3FFFFFFFu).float32(delta);
    for (float v : value) float32(v);
    return *this;
}

void writeTaggedHeader(TaggedRecordStream& s, const TaggedRecordHeader& h) {
    s.int32(h.declaredSignalCount.value_or(static_cast<int32_t>(h.signals.size())));
    s.int32(h.sweepCount);
    s.int32(h.declaredParameterCount.value_or(static_cast<int32_t>(h.sweepParameters.size())));
    for (const auto& name : h.sweepParameters) s.counted(name);
    s.int32(h.axisType).counted(h.axisName);
    s.padded("tr 1.0", 16, '\0').padded("06/12/2026", 16, '\0').counted(h.title);
    for (const auto& signal : h.signals) {
        s.int32(signal.identifier).int32(signal.typeCode).counted(signal.name);
    }
    for (const auto& scope : h.scopes) {
        s.uint32(scope.tag);
        if (scope.tag != kTaggedScopeWithoutText) s.counted(scope.text);
    }
    s.uint32(0x01000000u);
}

}  // namespace writers
