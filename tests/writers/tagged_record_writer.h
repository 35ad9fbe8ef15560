// Tagged record files (data format 13) for the tests and the fuzz seeds.
// Data records, word by word: identifier delta value(s) | kTaggedGroup+n delta
// (all n values, or n identifier-value pairs) | kTaggedTime time(8 bytes) |
// 0x80000000+bits (no payload) | kTaggedSweepEnd.
#ifndef WAVTREX_TESTS_WRITERS_TAGGED_RECORD_WRITER_H
#define WAVTREX_TESTS_WRITERS_TAGGED_RECORD_WRITER_H

#include <optional>
#include <string>
#include <vector>

#include "word_stream.h"

namespace writers {

constexpr uint32_t kTaggedGroup = 0x40000000u;
constexpr uint32_t kTaggedTime = 0xC0000000u;
constexpr uint32_t kTaggedSweepEnd = 0xC0000001u;
constexpr uint32_t kTaggedScopeWithoutText = 0x10000000u;

class TaggedRecordStream : public WordStream<TaggedRecordStream> {
  public:
    using WordStream::WordStream;
    TaggedRecordStream& float64(double value);
    TaggedRecordStream& single(uint32_t identifier, float delta, const std::vector<float>& value);
    TaggedRecordStream& endSweep() { return uint32(kTaggedSweepEnd); }
};

struct TaggedSignal {
    int32_t identifier;
    int32_t typeCode;
    std::string name;
};

struct TaggedScope {
    uint32_t tag;
    std::string text;  // not written for kTaggedScopeWithoutText
};

struct TaggedRecordHeader {
    int32_t sweepCount = 0;
    std::vector<std::string> sweepParameters;
    int32_t axisType = 1;  // also the analysis kind
    std::string axisName = "TIME";
    std::string title = "tagged record test";  // version "tr 1.0", date "06/12/2026"
    std::vector<TaggedSignal> signals;
    std::vector<TaggedScope> scopes;
    std::optional<int32_t> declaredSignalCount;  // written in place of the numbers listed
    std::optional<int32_t> declaredParameterCount;
};

// Appends the header, from the signal count to the header end tag.
void writeTaggedHeader(TaggedRecordStream& stream, const TaggedRecordHeader& header);

// Blocks of marker 9, data length, data.
inline std::string frameTaggedRecord(const TaggedRecordStream& stream, size_t blockSize = 4096) {
    return stream.blocks(blockSize, {9}, false);
}

}  // namespace writers

#endif
