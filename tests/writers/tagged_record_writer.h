// Writes tagged record waveform files (data format 13) for the tests and the
// fuzz seed corpus.
//
// A file is built in two steps. TaggedRecordStream collects the unframed byte
// stream (header fields, then the data records of every sweep) with numbers in
// the chosen byte order; frameTaggedRecord() then cuts that stream into blocks
// (marker word 9, data length, data). Tests damage a file by editing either
// step's string: cut the framed string anywhere to truncate it, patch a byte
// to corrupt it. saveTaggedRecordFile() writes the bytes, gzip-compressed on
// request.
//
// Typical use:
//   writers::TaggedRecordHeader header;
//   header.signals = {{1, 1, "v(a)"}, {2, 1, "v(b)"}};
//   writers::TaggedRecordStream stream(writers::TaggedByteOrder::kBig);
//   writers::writeTaggedHeader(stream, header);
//   stream.single(1, 1e-9f, {0.5f});
//   stream.endSweep();
//   writers::saveTaggedRecordFile(path, writers::frameTaggedRecord(stream));
#ifndef WAVTREX_TESTS_WRITERS_TAGGED_RECORD_WRITER_H
#define WAVTREX_TESTS_WRITERS_TAGGED_RECORD_WRITER_H

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace writers {

enum class TaggedByteOrder { kLittle, kBig };

// Record tags of the format.
constexpr uint32_t kTaggedHeaderEnd = 0x01000000u;
constexpr uint32_t kTaggedScopeWithoutText = 0x10000000u;
constexpr uint32_t kTaggedSweepEnd = 0xC0000001u;

// The unframed byte stream. Every add returns *this so calls chain.
class TaggedRecordStream {
  public:
    explicit TaggedRecordStream(TaggedByteOrder order = TaggedByteOrder::kLittle) : order_(order) {}

    TaggedByteOrder order() const { return order_; }
    const std::string& bytes() const { return bytes_; }

    TaggedRecordStream& int32(int32_t value);
    TaggedRecordStream& uint32(uint32_t value);
    TaggedRecordStream& float32(float value);
    TaggedRecordStream& float64(double value);
    TaggedRecordStream& raw(const std::string& text);
    // An int length, then the text.
    TaggedRecordStream& counted(const std::string& text);
    // Exactly width bytes: the text cut or padded with NULs.
    TaggedRecordStream& fixed(const std::string& text, size_t width);

    // Data records. values carries one float per real signal value and two
    // (real, imaginary) per complex one, already flattened.
    TaggedRecordStream& sweepParameters(const std::vector<float>& values);
    TaggedRecordStream& absoluteTime(double time);
    TaggedRecordStream& single(uint32_t identifier, float delta, const std::vector<float>& value);
    // A group record carrying every signal (count = N) in signal order.
    // Note that a group of N pairs reads as this form, not as pairs.
    TaggedRecordStream& groupAll(uint32_t signalCount, float delta,
                                 const std::vector<float>& values);
    // A group record of (identifier, value) pairs.
    TaggedRecordStream& groupPairs(
        float delta, const std::vector<std::pair<int32_t, std::vector<float>>>& pairs);
    // A tag whose top bits are 10: no payload.
    TaggedRecordStream& emptyTag(uint32_t lowBits = 0);
    TaggedRecordStream& endSweep() { return uint32(kTaggedSweepEnd); }

  private:
    TaggedByteOrder order_;
    std::string bytes_;
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

// Header fields in file order. The counts written are taken from the lists
// unless overridden.
struct TaggedRecordHeader {
    int32_t sweepCount = 0;                    // W
    std::vector<std::string> sweepParameters;  // P names
    int32_t axisType = 1;                      // X, also the analysis kind
    std::string axisName = "TIME";
    std::string version = "tr 1.0";
    std::string date = "06/12/2026";
    std::string title = "tagged record test";
    std::vector<TaggedSignal> signals;
    std::vector<TaggedScope> scopes;
    std::optional<int32_t> declaredSignalCount;     // N written in place of signals.size()
    std::optional<int32_t> declaredParameterCount;  // P written in place of sweepParameters.size()
};

// Appends the header, from the signal count to the header end tag.
void writeTaggedHeader(TaggedRecordStream& stream, const TaggedRecordHeader& header);

// Cuts the stream into blocks of at most blockSize data bytes each, numbers in
// the stream's byte order.
std::string frameTaggedRecord(const TaggedRecordStream& stream, int32_t blockSize = 4096);

// Writes bytes to path, as a gzip file when gzip is set.
void saveTaggedRecordFile(const std::string& path, const std::string& bytes, bool gzip = false);

}  // namespace writers

#endif
