// Writes framed event waveform files (data format 11) for the tests and the
// fuzz seed corpus.
//
// A file is built in two steps. FramedEventStream collects the unframed byte
// stream (header fields, then the data records) with numbers in the chosen
// byte order; frameFramedEvent() then cuts it into word-framed blocks with the
// framing value 5 (framing word, unused word, framing word, data length, data,
// closing word). Tests damage a file by editing either step's string: cut the
// framed string anywhere to truncate it, patch a byte to corrupt it.
// saveFramedEventFile() writes the bytes, gzip-compressed on request.
//
// Typical use:
//   writers::FramedEventHeader header;
//   header.signals = {{true, 0, 0, "v(a)"}, {false, 7, 3, "out"}};
//   writers::FramedEventStream stream(writers::FramedByteOrder::kBig);
//   writers::writeFramedEventHeader(stream, header);
//   stream.group({1.0f}, 0.0f).single(7, 2.5f, 1e-9f).end();
//   writers::saveFramedEventFile(path, writers::frameFramedEvent(stream));
#ifndef WAVTREX_TESTS_WRITERS_FRAMED_EVENT_WRITER_H
#define WAVTREX_TESTS_WRITERS_FRAMED_EVENT_WRITER_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace writers {

enum class FramedByteOrder { kLittle, kBig };

constexpr uint32_t kFramedEventEnd = 0x20000000u;

// The unframed byte stream. Every add returns *this so calls chain.
class FramedEventStream {
  public:
    explicit FramedEventStream(FramedByteOrder order = FramedByteOrder::kLittle) : order_(order) {}

    FramedByteOrder order() const { return order_; }
    const std::string& bytes() const { return bytes_; }

    FramedEventStream& int32(int32_t value);
    FramedEventStream& uint32(uint32_t value);
    FramedEventStream& float32(float value);
    FramedEventStream& raw(const std::string& text);
    // An int length, then the text.
    FramedEventStream& counted(const std::string& text);
    // Exactly width bytes: the text cut or padded with blanks.
    FramedEventStream& fixed(const std::string& text, size_t width);

    // Data records: the grouped signals' values in header order and their
    // shared time; one signal's value and time; the end tag.
    FramedEventStream& group(const std::vector<float>& values, float time,
                             uint32_t tag = 0x80000000u);
    FramedEventStream& single(uint32_t identifier, float value, float time);
    FramedEventStream& end() { return uint32(kFramedEventEnd); }

  private:
    FramedByteOrder order_;
    std::string bytes_;
};

struct FramedEventSignal {
    bool grouped;         // written with the sign bit set
    uint32_t identifier;  // low 28 bits used for signals that are not grouped
    int32_t prefix;       // a prefix above 0 makes the name "prefix:name"
    std::string name;
};

// Header fields in file order. The counts written are taken from the lists
// unless overridden.
struct FramedEventHeader {
    std::string leading = "framed event";  // 16 bytes, not used by readers
    std::string date = "06-Dec-2026";      // 16 bytes
    std::string title = "  framed event test";
    std::vector<std::string> extras;  // extra records (not used by readers)
    std::vector<FramedEventSignal> signals;
    std::optional<int32_t> declaredSignalCount;  // M in place of signals.size()
    std::optional<int32_t> declaredGroupCount;   // G in place of the grouped signals
};

// Appends the header, from the leading text to the last signal record.
void writeFramedEventHeader(FramedEventStream& stream, const FramedEventHeader& header);

// Cuts the stream into blocks of at most blockSize data bytes each, framing
// words and lengths in the stream's byte order.
std::string frameFramedEvent(const FramedEventStream& stream, int32_t blockSize = 4096);

// Writes bytes to path, as a gzip file when gzip is set.
void saveFramedEventFile(const std::string& path, const std::string& bytes, bool gzip = false);

}  // namespace writers

#endif
