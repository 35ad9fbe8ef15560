#include "event_writer.h"

#include <algorithm>
#include <bit>

namespace writers {

Words& Words::uint32(uint32_t value) {
    for (int k = 0; k < 4; ++k) bytes_ += static_cast<char>(value >> (big_ ? 24 - 8 * k : 8 * k));
    return *this;
}

Words& Words::float32(float value) {
    return uint32(std::bit_cast<uint32_t>(value));
}

Words& Words::float64(double value) {
    auto bits = std::bit_cast<uint64_t>(value);
    auto low = static_cast<uint32_t>(bits);
    auto high = static_cast<uint32_t>(bits >> 32);
    return big_ ? uint32(high).uint32(low) : uint32(low).uint32(high);
}

Words& Words::record(uint32_t tag, std::initializer_list<float> values) {
    uint32(tag);
    for (float v : values) float32(v);
    return *this;
}

Words& Words::counted(const std::string& text) {
    return int32(static_cast<int32_t>(text.size())).raw(text);
}

Words& Words::padded(const std::string& text, size_t width, char pad) {
    std::string field = text.substr(0, width);
    field.resize(width, pad);
    return raw(field);
}

std::string Words::blocks(size_t size, std::initializer_list<uint32_t> head, bool tail) const {
    Words out(big_);
    for (size_t start = 0; start < bytes_.size(); start += size) {
        auto length = static_cast<uint32_t>(std::min(size, bytes_.size() - start));
        for (uint32_t word : head) out.uint32(word);
        out.uint32(length).raw(bytes_.substr(start, length));
        if (tail) out.uint32(length);
    }
    return out.bytes();
}

std::string taggedFile(const TaggedHeader& h, const Words& data, size_t blockSize) {
    Words w(data.big());
    w.int32(h.declaredSignalCount.value_or(static_cast<int32_t>(h.signals.size())));
    w.int32(h.sweepCount).int32(static_cast<int32_t>(h.sweepParameters.size()));
    for (const auto& name : h.sweepParameters) w.counted(name);
    w.int32(h.axisType).counted(h.axisName);
    w.padded("tr 1.0", 16, '\0').padded("06/12/2026", 16, '\0').counted(h.title);
    for (const auto& s : h.signals) w.int32(s.identifier).int32(s.typeCode).counted(s.name);
    for (const auto& [tag, text] : h.scopes) {
        w.uint32(tag);
        if (tag != kTaggedScopeWithoutText) w.counted(text);
    }
    return w.uint32(0x01000000u).raw(data.bytes()).blocks(blockSize, {9}, false);
}

std::string framedFile(const FramedHeader& h, const Words& data, size_t blockSize) {
    auto grouped = std::count_if(h.signals.begin(), h.signals.end(),
                                 [](const FramedSignal& s) { return s.grouped; });
    Words w(data.big());
    w.padded("framed event", 16, ' ')
        .padded("06-Dec-2026", 16, ' ')
        .padded("  framed event test", 100, ' ');
    w.int32(h.declaredSignalCount.value_or(static_cast<int32_t>(h.signals.size())));
    w.int32(h.declaredGroupCount.value_or(static_cast<int32_t>(grouped)));
    w.int32(static_cast<int32_t>(h.extras.size()));
    for (const auto& extra : h.extras) w.int32(0).counted(extra);
    for (const auto& s : h.signals) {
        w.uint32(s.grouped ? kFramedGroup | s.identifier : s.identifier).int32(s.prefix);
        w.counted(s.name);
    }
    return w.raw(data.bytes()).blocks(blockSize, {5, 0, 5}, true);
}

}  // namespace writers
