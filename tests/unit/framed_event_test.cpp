// Framed event files through open and read: grouped and single records,
// identifiers outside the map, damaged headers.
#include <string>

#include "event_writer.h"
#include "reader_fixture.h"

// Headers name only the fields they change; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using FramedEventTest = testkit::ReaderFixture;
using writers::Words;

// Files of four signals hold every kind of record; others end at once.
std::string framed(const writers::FramedHeader& header, size_t blockSize = 64) {
    Words w;
    if (header.signals.size() == 4) {
        w.record(writers::kFramedGroup, {1, 2, 0});
        w.record(0x10000007u, {3, 1});  // bits 28 to 30 are not part of the identifier
        w.record(0xFFFFFFFFu, {4, 5, 2}).record(9, {6, 3});
        w.record(8, {99, 4}).record(1000, {99, 5});  // no signal has these identifiers
        w.record(7, {7, 6});
    }
    return writers::framedFile(header, w.uint32(writers::kFramedEnd).record(9, {99, 7}), blockSize);
}

const std::vector<writers::FramedSignal> kFour = {
    {true, 0, 0, "v(a)"}, {false, 7, 3, "out"}, {true, 0, 0, "v(b)"}, {false, 9, 0, " v(c)\t"}};
const std::vector<writers::FramedSignal> kTwo = {{true, 0, 0, "v(a)"}, {false, 1, 0, "v"}};

TEST_F(FramedEventTest, RecordsAndDamagedHeaders) {
    std::string huge = framed({.signals = kTwo}).substr(0, 100);
    huge[15] = 0x7F;
    std::string badWord = framed({.signals = kTwo});
    badWord[84] = 6;  // the second block's first framing word
    auto named = [](int32_t prefix, size_t length) {
        return std::vector<writers::FramedSignal>{{false, 1, prefix, std::string(length, 'n')}};
    };
    const std::string malformed = "open 2: Malformed data file @ !!";
    expectRows({
        // Every kind of record over blocks of 5 bytes; the second extra record
        // is longer than a block: it is skipped in pieces. (It makes the file
        // larger than the smallest identifier limit.) Byte orders and gzip are
        // the seed corpus's.
        {framed({.extras = {"skipped text", std::string(70000, 'x')}, .signals = kFour}, 5),
         "time:1:9 v(a):1:9 3:out:1:9 v(b):1:9 v(c):1:9 | 0=1 2=4; 1=3 6=7; 0=2 2=5; 3=6",
         "11 2 -1 1 1||framed event test|06-Dec-2026     "},
        // Grouped signals must match the group count exactly.
        {framed({.signals = kTwo, .declaredGroupCount = 0}), malformed},
        {framed({.signals = kTwo, .declaredGroupCount = 2}), malformed},
        {framed({.signals = kTwo, .declaredGroupCount = 3}), malformed},
        {framed({.signals = kTwo, .declaredGroupCount = -1}), malformed},
        // Counts and identifiers the file cannot back.
        {framed({.signals = kTwo, .declaredSignalCount = 0x7FFFFFFF}), malformed},
        {framed({.signals = kTwo, .declaredSignalCount = -4}), malformed},
        {framed({.signals = {{false, 0x0FFFFFFF, 0, "v"}}}), malformed},
        // Names: up to 1023 bytes, prefix included.
        {framed({.signals = named(0, 1023)}), "*nnn:1:9 | "},
        {framed({.signals = named(0, 1024)}), malformed},
        {framed({.signals = named(12345, 1017)}),
         "*12345:nnn" + std::string(1014, 'n') + ":1:9 | "},
        {framed({.signals = named(12345, 1018)}), malformed},
        {huge, malformed},
        {badWord, malformed},
        {framed({}), " | read 0: Error: Empty file @ !!"},
    });
}

}  // namespace
