// Framed event files through open and read: byte orders and block sizes,
// grouped and single records, identifiers outside the map, damaged headers.
#include <functional>
#include <string>
#include <tuple>

#include "file_bytes.h"
#include "framed_event_writer.h"
#include "reader_fixture.h"

namespace {

using FramedEventTest = testkit::ReaderFixture;
using Header = writers::FramedEventHeader;
using writers::kFramedGroup;
using Words = writers::FramedEventStream;

// The second extra record is longer than a block may be: it is skipped in pieces.
std::string basicFile(bool big, size_t blockSize) {
    Header h;
    h.extras = {"skipped text", std::string(10000, 'x')};
    h.signals = {
        {true, 0, 0, "v(a)"}, {false, 7, 3, "out"}, {true, 0, 0, "v(b)"}, {false, 9, 0, " v(c)\t"}};
    Words w(big);
    writers::writeFramedEventHeader(w, h);
    w.uint32(kFramedGroup).floats({1, 2, 0});
    w.uint32(0x10000007u).floats({3, 1});  // bits 28 to 30 are not part of the identifier
    w.uint32(0xFFFFFFFFu).floats({4, 5, 2}).uint32(9).floats({6, 3});
    w.uint32(8).floats({99, 4}).uint32(1000).floats({99, 5});  // no signal has these identifiers
    w.uint32(7).floats({7, 6}).uint32(writers::kFramedEnd).uint32(9).floats({99, 7});
    return writers::frameFramedEvent(w, blockSize);
}

TEST_F(FramedEventTest, ByteOrdersAndBlockSizes) {
    const std::tuple<bool, int, bool> variants[] = {
        {false, 4096, false}, {true, 4096, false}, {false, 5, false}, {true, 13, true}};
    for (auto [big, blockSize, gzip] : variants) {
        SCOPED_TRACE(blockSize);
        const std::string bytes = basicFile(big, static_cast<size_t>(blockSize));
        const std::string expected =
            "time:1:9 v(a):1:9 3:out:1:9 v(b):1:9 v(c):1:9 | 0=1 2=4; 1=3 6=7; 0=2 2=5; 3=6";
        expectRun(gzip ? writers::gzipBytes(bytes) : bytes, expected);
        EXPECT_EQ(header(), std::string(big ? "11 6" : "11 2") +
                                " -1 1 1||framed event test|06-Dec-2026     ");
        EXPECT_EQ(ds_->mainCount * 100 + ds_->probeCount * 10 + ds_->sweepParamCount, 422);
        ASSERT_EQ(ds_->signalIdListSize * 100 + ds_->signalIdMapSize, 210);
        EXPECT_EQ(ds_->signalIdList[1], 2);
        EXPECT_EQ(ds_->signalIdMap[8], -1);
        ASSERT_EQ(read(), 1);
        EXPECT_EQ(" | " + curves(), expected.substr(expected.find(" | ")));
    }
}

TEST_F(FramedEventTest, DamagedHeaders) {
    const auto file = [](const std::function<void(Header&)>& edit) {
        Header h;
        h.signals = {{true, 0, 0, "v(a)"}, {false, 1, 0, "v(b)"}};
        edit(h);
        Words w;
        writers::writeFramedEventHeader(w, h);
        return writers::frameFramedEvent(w.end(), 64);
    };
    std::string huge = file([](auto&) {}).substr(0, 100);
    huge[15] = 0x7F;
    std::string badWord = file([](auto&) {});
    badWord[84] = 6;  // the second block's first framing word
    const std::string malformed = "open 2: Malformed data file @ !!";
    expectRows({
        // Grouped signals must match the group count exactly.
        {file([](auto& h) { h.declaredGroupCount = 0; }), malformed},
        {file([](auto& h) { h.declaredGroupCount = 2; }), malformed},
        {file([](auto& h) { h.declaredGroupCount = 3; }), malformed},
        {file([](auto& h) { h.declaredGroupCount = -1; }), malformed},
        // Counts and identifiers the file cannot back.
        {file([](auto& h) { h.declaredSignalCount = 0x7FFFFFFF; }), malformed},
        {file([](auto& h) { h.declaredSignalCount = -4; }), malformed},
        {file([](auto& h) { h.signals[1].identifier = 0x0FFFFFFF; }), malformed},
        // Names: up to 1023 bytes, prefix included.
        {file([](auto& h) { h.signals[1].name = std::string(1023, 'n'); }), "*nnn:1:9 | ; "},
        {file([](auto& h) { h.signals[1].name = std::string(1024, 'n'); }), malformed},
        {file([](auto& h) {
             h.signals[1] = {false, 1, 12345, std::string(1017, 'n')};
         }),
         "*nnn:1:9 | ; "},
        {file([](auto& h) {
             h.signals[1] = {false, 1, 12345, std::string(1018, 'n')};
         }),
         malformed},
        {huge, malformed},
        {badWord, malformed},
        {file([](auto& h) { h.signals.clear(); }), " | read 0: Error: Empty file @ !!"},
    });
}

}  // namespace
