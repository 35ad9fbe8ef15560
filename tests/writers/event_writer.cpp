#include "event_writer.h"

#include <algorithm>
#include <bit>

namespace writers {

Words& Words::uint32(uint32_t value) {
    for (int k = 0; k < 4; ++k) bytes += static_cast<char>(value >> (big ? 24 - 8 * k : 8 * k));
    return *this;
}

Words& Words::float32(float value) {
    return uint32(std::bit_cast<uint32_t>(value));
}

Words& Words::float64(double value) {
    auto bits = std::bit_cast<uint64_t>(value);
    auto low = static_cast<uint32_t>(bits);
    auto high = static_cast<uint32_t>(bits >> 32);
    return big ? uint32(high).uint32(low) : uint32(low).uint32(high);
}

Words& Words::record(uint32_t tag, std::initializer_list<float> values) {
    uint32(tag);
    for (float v : values) float32(v);
    return *this;
}

namespace {

// An int length, then the text.
Words& counted(Words& w, const std::string& text) {
    w.int32(static_cast<int32_t>(text.size())).bytes += text;
    return w;
}

// The text cut or padded to width.
Words& padded(Words& w, std::string text, size_t width, char pad) {
    text.resize(width, pad);
    w.bytes += text;
    return w;
}

// Blocks of at most size bytes, each behind the head words and its length,
// and followed by its length again when tail is set.
std::string blocks(const Words& data, size_t size, std::initializer_list<uint32_t> head,
                   bool tail) {
    Words out(data.big);
    for (size_t start = 0; start < data.bytes.size(); start += size) {
        auto length = static_cast<uint32_t>(std::min(size, data.bytes.size() - start));
        for (uint32_t word : head) out.uint32(word);
        out.uint32(length).bytes += data.bytes.substr(start, length);
        if (tail) out.uint32(length);
    }
    return out.bytes;
}

}  // namespace

std::string taggedFile(const TaggedHeader& h, const Words& data, size_t blockSize) {
    Words w(data.big);
    w.int32(h.declaredSignalCount.value_or(static_cast<int32_t>(h.signals.size())));
    w.int32(h.sweepCount).int32(static_cast<int32_t>(h.sweepParameters.size()));
    for (const auto& name : h.sweepParameters) counted(w, name);
    counted(w.int32(h.axisType), h.axisName);
    counted(padded(padded(w, "tr 1.0", 16, '\0'), "06/12/2026", 16, '\0'), h.title);
    for (const auto& s : h.signals) counted(w.int32(s.identifier).int32(s.typeCode), s.name);
    for (const auto& [tag, text] : h.scopes) {
        w.uint32(tag);
        if (tag != kTaggedScopeWithoutText) counted(w, text);
    }
    w.uint32(0x01000000u).bytes += data.bytes;
    return blocks(w, blockSize, {9}, false);
}

std::string framedFile(const FramedHeader& h, const Words& data, size_t blockSize) {
    auto grouped = std::count_if(h.signals.begin(), h.signals.end(),
                                 [](const FramedSignal& s) { return s.grouped; });
    Words w(data.big);
    padded(padded(padded(w, "framed event", 16, ' '), "06-Dec-2026", 16, ' '),
           "  framed event test", 100, ' ');
    w.int32(h.declaredSignalCount.value_or(static_cast<int32_t>(h.signals.size())));
    w.int32(h.declaredGroupCount.value_or(static_cast<int32_t>(grouped)));
    w.int32(static_cast<int32_t>(h.extras.size()));
    for (const auto& extra : h.extras) counted(w.int32(0), extra);
    for (const auto& s : h.signals)
        counted(w.uint32(s.grouped ? kFramedGroup | s.identifier : s.identifier).int32(s.prefix),
                s.name);
    w.bytes += data.bytes;
    return blocks(w, blockSize, {5, 0, 5}, true);
}

}  // namespace writers
