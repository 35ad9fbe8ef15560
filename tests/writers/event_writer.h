// Binary event files for the tests and the fuzz seeds: tagged records (format
// 13) and framed events (format 11). A file is a stream of 32-bit words in one
// byte order, cut into blocks afterwards; tests damage either string. Records
// are a tag and floats:
//   tagged: identifier delta value(s) | kTaggedGroup+n delta, then n values or
//           n identifier-value pairs | kTaggedTime double | 0x80000000 | kTaggedSweepEnd
//   framed: kFramedGroup grouped-values time | identifier value time | kFramedEnd
#ifndef WAVTREX_TESTS_WRITERS_EVENT_WRITER_H
#define WAVTREX_TESTS_WRITERS_EVENT_WRITER_H

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace writers {

constexpr uint32_t kTaggedGroup = 0x40000000u;
constexpr uint32_t kTaggedTime = 0xC0000000u;
constexpr uint32_t kTaggedSweepEnd = 0xC0000001u;
constexpr uint32_t kTaggedScopeWithoutText = 0x10000000u;
constexpr uint32_t kFramedGroup = 0x80000000u;
constexpr uint32_t kFramedEnd = 0x20000000u;

// 32-bit words in one byte order; every add returns the stream, so calls chain.
struct Words {
    explicit Words(bool bigEndian = false) : big(bigEndian) {}
    Words& uint32(uint32_t value);
    Words& int32(int32_t value) { return uint32(static_cast<uint32_t>(value)); }
    Words& float32(float value);
    Words& float64(double value);
    Words& record(uint32_t tag, std::initializer_list<float> values);
    bool big;
    std::string bytes;
};

struct TaggedSignal {
    int32_t identifier, typeCode;
    std::string name;
};

// Version "tr 1.0", date "06/12/2026".
struct TaggedHeader {
    int32_t sweepCount = 0;
    std::vector<std::string> sweepParameters;
    int32_t axisType = 1;  // also the analysis kind
    std::string axisName = "TIME";
    std::string title = "tagged record test";
    std::vector<TaggedSignal> signals;
    // Tag and text; kTaggedScopeWithoutText has no text.
    std::vector<std::pair<uint32_t, std::string>> scopes;
    std::optional<int32_t> declaredSignalCount;  // written in place of the number listed
};

// The header, then data (in its byte order), in blocks of marker 9 and length.
std::string taggedFile(const TaggedHeader& header, const Words& data, size_t blockSize = 4096);

struct FramedSignal {
    bool grouped;
    uint32_t identifier;  // low 28 bits used for signals that are not grouped
    int32_t prefix;       // above 0: the name reads "prefix:name"
    std::string name;
};

// Title "  framed event test", date "06-Dec-2026".
struct FramedHeader {
    std::vector<std::string> extras;  // records nobody reads
    std::vector<FramedSignal> signals;
    std::optional<int32_t> declaredSignalCount;  // written in place of the numbers listed
    std::optional<int32_t> declaredGroupCount;
};

// The header, then data (in its byte order), in blocks of 5, 0, 5, length,
// data, length.
std::string framedFile(const FramedHeader& header, const Words& data, size_t blockSize = 4096);

}  // namespace writers

#endif
