// See tagged_record_writer.h.
#include "tagged_record_writer.h"

#include <algorithm>
#include <cstring>

#include "file_bytes.h"

namespace writers {

namespace {

void appendWord(std::string& out, uint32_t value, TaggedByteOrder order) {
    for (int k = 0; k < 4; ++k) {
        int shift = order == TaggedByteOrder::kLittle ? 8 * k : 8 * (3 - k);
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

}  // namespace

TaggedRecordStream& TaggedRecordStream::uint32(uint32_t value) {
    appendWord(bytes_, value, order_);
    return *this;
}

TaggedRecordStream& TaggedRecordStream::int32(int32_t value) {
    return uint32(static_cast<uint32_t>(value));
}

TaggedRecordStream& TaggedRecordStream::float32(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return uint32(bits);
}

TaggedRecordStream& TaggedRecordStream::float64(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    auto low = static_cast<uint32_t>(bits);
    auto high = static_cast<uint32_t>(bits >> 32);
    if (order_ == TaggedByteOrder::kLittle) return uint32(low).uint32(high);
    return uint32(high).uint32(low);
}

TaggedRecordStream& TaggedRecordStream::raw(const std::string& text) {
    bytes_ += text;
    return *this;
}

TaggedRecordStream& TaggedRecordStream::counted(const std::string& text) {
    return int32(static_cast<int32_t>(text.size())).raw(text);
}

TaggedRecordStream& TaggedRecordStream::fixed(const std::string& text, size_t width) {
    std::string field = text.substr(0, width);
    field.resize(width, '\0');
    return raw(field);
}

TaggedRecordStream& TaggedRecordStream::sweepParameters(const std::vector<float>& values) {
    for (float v : values) float32(v);
    return *this;
}

TaggedRecordStream& TaggedRecordStream::absoluteTime(double time) {
    return uint32(0xC0000000u).float64(time);
}

TaggedRecordStream& TaggedRecordStream::single(uint32_t identifier, float delta,
                                               const std::vector<float>& value) {
    uint32(identifier & 0x3FFFFFFFu).float32(delta);
    for (float v : value) float32(v);
    return *this;
}

TaggedRecordStream& TaggedRecordStream::groupAll(uint32_t signalCount, float delta,
                                                 const std::vector<float>& values) {
    uint32(0x40000000u | signalCount).float32(delta);
    for (float v : values) float32(v);
    return *this;
}

TaggedRecordStream& TaggedRecordStream::groupPairs(
    float delta, const std::vector<std::pair<int32_t, std::vector<float>>>& pairs) {
    uint32(0x40000000u | static_cast<uint32_t>(pairs.size())).float32(delta);
    for (const auto& [identifier, value] : pairs) {
        int32(identifier);
        for (float v : value) float32(v);
    }
    return *this;
}

TaggedRecordStream& TaggedRecordStream::emptyTag(uint32_t lowBits) {
    return uint32(0x80000000u | (lowBits & 0x3FFFFFFFu));
}

void writeTaggedHeader(TaggedRecordStream& stream, const TaggedRecordHeader& header) {
    auto listed = [](std::optional<int32_t> declared, size_t size) {
        return declared.value_or(static_cast<int32_t>(size));
    };
    stream.int32(listed(header.declaredSignalCount, header.signals.size()));
    stream.int32(header.sweepCount);
    stream.int32(listed(header.declaredParameterCount, header.sweepParameters.size()));
    for (const auto& name : header.sweepParameters) stream.counted(name);
    stream.int32(header.axisType).counted(header.axisName);
    stream.fixed(header.version, 16).fixed(header.date, 16);
    stream.counted(header.title);
    for (const auto& signal : header.signals) {
        stream.int32(signal.identifier).int32(signal.typeCode).counted(signal.name);
    }
    for (const auto& scope : header.scopes) {
        stream.uint32(scope.tag);
        if (scope.tag != kTaggedScopeWithoutText) stream.counted(scope.text);
    }
    stream.uint32(kTaggedHeaderEnd);
}

std::string frameTaggedRecord(const TaggedRecordStream& stream, int32_t blockSize) {
    const std::string& data = stream.bytes();
    std::string out;
    for (size_t start = 0; start < data.size(); start += static_cast<size_t>(blockSize)) {
        size_t length = std::min(static_cast<size_t>(blockSize), data.size() - start);
        appendWord(out, 9, stream.order());
        appendWord(out, static_cast<uint32_t>(length), stream.order());
        out.append(data, start, length);
    }
    return out;
}

void saveTaggedRecordFile(const std::string& path, const std::string& bytes, bool gzip) {
    writeBytes(path, bytes, gzip);
}

}  // namespace writers
