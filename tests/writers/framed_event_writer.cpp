// See framed_event_writer.h.
#include "framed_event_writer.h"

#include <algorithm>
#include <cstring>

#include "file_bytes.h"

namespace writers {

namespace {

void appendFramedWord(std::string& out, uint32_t value, FramedByteOrder order) {
    for (int k = 0; k < 4; ++k) {
        int shift = order == FramedByteOrder::kLittle ? 8 * k : 8 * (3 - k);
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

}  // namespace

FramedEventStream& FramedEventStream::uint32(uint32_t value) {
    appendFramedWord(bytes_, value, order_);
    return *this;
}

FramedEventStream& FramedEventStream::int32(int32_t value) {
    return uint32(static_cast<uint32_t>(value));
}

FramedEventStream& FramedEventStream::float32(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return uint32(bits);
}

FramedEventStream& FramedEventStream::raw(const std::string& text) {
    bytes_ += text;
    return *this;
}

FramedEventStream& FramedEventStream::counted(const std::string& text) {
    return int32(static_cast<int32_t>(text.size())).raw(text);
}

FramedEventStream& FramedEventStream::fixed(const std::string& text, size_t width) {
    std::string field = text.substr(0, width);
    field.resize(width, ' ');
    return raw(field);
}

FramedEventStream& FramedEventStream::group(const std::vector<float>& values, float time,
                                            uint32_t tag) {
    uint32(tag | 0x80000000u);
    for (float v : values) float32(v);
    return float32(time);
}

FramedEventStream& FramedEventStream::single(uint32_t identifier, float value, float time) {
    return uint32(identifier & 0x7FFFFFFFu).float32(value).float32(time);
}

void writeFramedEventHeader(FramedEventStream& stream, const FramedEventHeader& header) {
    auto grouped = std::count_if(header.signals.begin(), header.signals.end(),
                                 [](const FramedEventSignal& s) { return s.grouped; });
    stream.fixed(header.leading, 16).fixed(header.date, 16).fixed(header.title, 100);
    stream.int32(header.declaredSignalCount.value_or(static_cast<int32_t>(header.signals.size())));
    stream.int32(header.declaredGroupCount.value_or(static_cast<int32_t>(grouped)));
    stream.int32(static_cast<int32_t>(header.extras.size()));
    for (const auto& extra : header.extras) stream.int32(0).counted(extra);
    for (const auto& signal : header.signals) {
        stream.uint32(signal.grouped ? (0x80000000u | signal.identifier) : signal.identifier);
        stream.int32(signal.prefix).counted(signal.name);
    }
}

std::string frameFramedEvent(const FramedEventStream& stream, int32_t blockSize) {
    const std::string& data = stream.bytes();
    std::string out;
    for (size_t start = 0; start < data.size(); start += static_cast<size_t>(blockSize)) {
        size_t length = std::min(static_cast<size_t>(blockSize), data.size() - start);
        for (uint32_t word : {5u, 0u, 5u, static_cast<uint32_t>(length)}) {
            appendFramedWord(out, word, stream.order());
        }
        out.append(data, start, length);
        appendFramedWord(out, static_cast<uint32_t>(length), stream.order());
    }
    return out;
}

void saveFramedEventFile(const std::string& path, const std::string& bytes, bool gzip) {
    writeBytes(path, bytes, gzip);
}

}  // namespace writers
