// Framed event files (data format 11) for the tests and the fuzz seeds.
// Data records, word by word: kFramedGroup grouped-values time | identifier
// value time | kFramedEnd.
#ifndef WAVTREX_TESTS_WRITERS_FRAMED_EVENT_WRITER_H
#define WAVTREX_TESTS_WRITERS_FRAMED_EVENT_WRITER_H

#include <optional>
#include <string>
#include <vector>

#include "word_stream.h"

namespace writers {

constexpr uint32_t kFramedGroup = 0x80000000u;
constexpr uint32_t kFramedEnd = 0x20000000u;

class FramedEventStream : public WordStream<FramedEventStream> {
  public:
    using WordStream::WordStream;
    // Exactly width bytes, padded with blanks.
    FramedEventStream& fixed(const std::string& text, size_t width) {
        return padded(text, width, ' ');
    }
    FramedEventStream& single(uint32_t identifier, float value, float time) {
        return uint32(identifier & 0x7FFFFFFFu).float32(value).float32(time);
    }
    FramedEventStream& end() { return uint32(kFramedEnd); }
};

struct FramedEventSignal {
    bool grouped;         // written with the sign bit set
    uint32_t identifier;  // low 28 bits used for signals that are not grouped
    int32_t prefix;       // above 0: the name reads "prefix:name"
    std::string name;
};

struct FramedEventHeader {
    std::string title = "  framed event test";  // date "06-Dec-2026"
    std::vector<std::string> extras;            // records nobody reads
    std::vector<FramedEventSignal> signals;
    std::optional<int32_t> declaredSignalCount;  // written in place of the numbers listed
    std::optional<int32_t> declaredGroupCount;
};

void writeFramedEventHeader(FramedEventStream& stream, const FramedEventHeader& header);

// Blocks of 5, 0, 5, data length, data, data length.
inline std::string frameFramedEvent(const FramedEventStream& stream, size_t blockSize = 4096) {
    return stream.blocks(blockSize, {5, 0, 5}, true);
}

}  // namespace writers

#endif
