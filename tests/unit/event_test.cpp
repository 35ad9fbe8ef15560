// Binary event files through open and read. Tagged records: sweeps, complex
// values, scopes, and the exact messages of damaged files. Framed events:
// grouped and single records, identifiers outside the map, damaged headers.
// Byte orders, block sizes and every kind of record are the seed corpus's
// (replayed, and their values checked by the Python test).
#include <string>
#include <vector>

#include "event_writer.h"
#include "formats/tagged_record.h"
#include "reader_fixture.h"

// Headers name only the fields they change; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using TaggedRecordTest = testkit::ReaderFixture;
using FramedEventTest = testkit::ReaderFixture;
using writers::kTaggedGroup;
using writers::Words;

using writers::taggedFile;
constexpr uint32_t kSweepEnd = writers::kTaggedSweepEnd;
const Words kEnd = Words().uint32(kSweepEnd);
const std::vector<writers::TaggedSignal> kTwo = {{1, 1, "v(a)"}, {3, 1, "v(b)"}};

TEST_F(TaggedRecordTest, SweepsAndComplexValues) {
    Words sweeps(true);  // the time goes on from sweep to sweep
    sweeps.float32(25).uint32(writers::kTaggedTime).float64(1.0);
    sweeps.record(1, {1, 0}).uint32(kSweepEnd);
    sweeps.float32(35).record(1, {1, 10}).record(1, {1, 11}).uint32(kSweepEnd);
    Words ac(true);
    ac.record(kTaggedGroup | 3, {100, 1, -1, 2, 3}).record(0, {100, 4, -4});
    ac.record(kTaggedGroup | 2, {100}).record(0, {5, -5}).record(2, {6}).uint32(kSweepEnd);
    Words busy(true);  // one signal outgrows its first arrays
    for (int k = 0; k < 400; ++k) busy.record(1, {1, static_cast<float>(k)});
    expectRows({
        {taggedFile({.sweepCount = 2, .sweepParameters = {"temp"}, .signals = kTwo}, sweeps, 5),
         "temp:0:9 TIME:1:11 v(a):1:9 v(b):1:9 | 2=0 / 3=10 4=11;  / "},
        // Parameters without a sweep count: one sweep.
        {taggedFile({.sweepParameters = {"temp"}, .signals = kTwo},
                    Words().float32(27).record(1, {1, 3}).uint32(kSweepEnd)),
         "temp:0:9 TIME:1:11 v(a):1:9 v(b):1:9 | 1=3; "},
        {taggedFile({.axisType = 2, .signals = {{0, 8, "v(c)"}, {1, 23, "i(d)"}, {2, 2, "p"}}}, ac,
                    5),
         "TIME:2:11 v(c):8:10 i(d):23:13 p:2:9 | 100=1,-1 200=4,-4 300=5,-5; 100=2; 100=3 300=6"},
        {taggedFile({.signals = kTwo}, busy.record(3, {1, -1}).uint32(kSweepEnd)),
         "*399=398 400=399; 401=-1"},
        // Two parameters make a compound sweep variable.
        {taggedFile({.sweepCount = 1, .sweepParameters = {"outer", "vdd"}, .signals = kTwo},
                    Words(true).float32(27).float32(1.8f).record(3, {1, 0.5}).uint32(kSweepEnd), 5),
         "outer:0:16 TIME:1:11 v(a):1:9 v(b):1:9 | ; 1=0.5"},
    });
    // The running time goes on across reads: deltas before the first
    // absolute time land later the second time round.
    ASSERT_EQ(read(), 1);
    EXPECT_EQ(points(1), "2=0.5");
    ASSERT_EQ(ds_->typeCount, 3);
    EXPECT_EQ(ds_->types[0].kind * 100 + ds_->types[0].memberCount, kKindCompound * 100 + 2);
    EXPECT_EQ(wfxName(ds_, ds_->types[2].nameOffset), std::string("vdd"));
    EXPECT_EQ(ds_->types[2].parentType, 0);
}

TEST_F(TaggedRecordTest, DamagedFiles) {
    const std::string blocked = taggedFile({.signals = kTwo}, Words(), 16);
    auto patched = [](std::string bytes, size_t at, uint16_t value) {  // little-endian
        bytes[at] = static_cast<char>(value);
        if (value > 0xFF) bytes[at + 1] = static_cast<char>(value >> 8);
        return bytes;
    };
    std::vector<writers::TaggedSignal> many(200, {0, 1, "v(x)"});
    for (size_t i = 0; i < many.size(); ++i) many[i].identifier = static_cast<int32_t>(i);
    Words empties;
    for (int k = 0; k < 1000; ++k) empties.uint32(kSweepEnd);
    const std::string malformed = "open 2: Malformed data file @ !!";
    const std::string ok = "TIME:1:11 v(a):1:9 v(b):1:9 | ";
    const std::string badRecord = ok + "read 0: Error: malformed data file";
    const std::string cut = ok + "read 0: Malformed data file @ !!";
    const std::string n1023(1023, 'n');
    expectRows({
        // Names below 1024 bytes and titles below 100 are fine; at the limit
        // they fail without a message.
        {taggedFile({.title = std::string(99, 't'), .signals = {{1, 1, n1023}}}, kEnd),
         "*n:1:9 | "},
        {taggedFile({.signals = {{1, 1, n1023 + "n"}}}, kEnd), "open 2: "},
        {taggedFile({.title = std::string(100, 't'), .signals = kTwo}, kEnd), "open 2: "},
        {taggedFile({.axisName = std::string(5000, 'x'), .signals = kTwo}, kEnd), "open 2: "},
        {taggedFile({.signals = kTwo, .declaredSignalCount = 0x7FFFFFFF}, kEnd), malformed},
        {taggedFile({.signals = kTwo, .declaredSignalCount = -2}, kEnd), malformed},
        {taggedFile({.sweepCount = -1, .signals = kTwo}, kEnd), malformed},
        {taggedFile({.signals = {{1 << 28, 1, "v"}}}, kEnd), malformed},
        {taggedFile({.signals = {{-3, 1, "v"}}}, kEnd), malformed},
        // Scopes: a parent must come first; a record without "." fails.
        {taggedFile({.signals = kTwo, .scopes = {{1, "a."}, {2, "x9.y."}}}, kEnd),
         "open 2: Error: Intenal Error"},
        {taggedFile({.signals = kTwo, .scopes = {{1, "top"}}}, kEnd), "open 2: "},
        {taggedFile({.sweepParameters = {"temp", "temp"}, .signals = kTwo}, kEnd),
         "open 2: Error: Duplicate type defintion temp !!"},
        // Blocks: a bad marker, longer than the file or than a block may be, empty.
        {patched(blocked, 24, 8), malformed},
        {patched(blocked.substr(0, 24), 7, 0x7F), malformed},
        {patched(blocked.substr(0, 8) + std::string(8210, '\0'), 4, 8197), malformed},
        {patched(blocked, 28, 0), malformed},
        // An undeclared identifier inside the map goes to the first signal;
        // past the map, or a group too large, fails.
        {taggedFile({.signals = kTwo}, Words().record(2, {1, 7}).uint32(kSweepEnd)), ok + "1=7; "},
        {taggedFile({.signals = kTwo}, Words().record(4, {1, 7})), badRecord},
        {taggedFile({.signals = kTwo},
                    Words().record(kTaggedGroup | 1, {1}).record(0xFFFFFFFF, {1})),
         badRecord},
        {taggedFile({.signals = kTwo}, Words().record(kTaggedGroup | 3, {1, 1, 2, 3})), badRecord},
        // A sweep that never ends; sweeps promised but missing, or empty.
        {taggedFile({.signals = kTwo}, Words().record(1, {1, 7})), cut},
        {taggedFile({.sweepCount = 0x7FFFFFFF, .signals = kTwo},
                    Words().record(1, {1, 7}).uint32(kSweepEnd)),
         cut},
        {taggedFile({.sweepCount = 0x7FFFFFFF, .signals = many}, empties),
         "*v(x):1:9 | read 0: Malformed data file @ !!"},
        {taggedFile({}, kEnd), " | read 0: Error: Empty file @ !!"},
        // Cut in the header's second block, in a pair, in a complex value.
        {taggedFile({.signals = kTwo}, kEnd, 12).substr(0, 20), malformed},
        {taggedFile({.signals = kTwo}, Words().record(kTaggedGroup | 1, {1})), cut},
        {taggedFile({.axisType = 2, .signals = {{1, 1, "v(a)"}}}, Words().record(1, {1, 2})),
         "TIME:2:11 v(a):1:10 | read 0: Malformed data file @ !!"},
        // A scope declared again gets a new item; later children hang under it.
        {taggedFile({.signals = kTwo,
                     .scopes = {{1, "a."}, {2, "a.b."}, {3, "a.b.c.x"}, {4, "a."}, {5, "a.d."}}},
                    kEnd),
         ok + "; "},
    });
    EXPECT_EQ(describeScopeTree(ds_), "a 1\n  a.b 2\n    a.b.c 3\na 4\n  a.d 5\n");
}

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
const std::vector<writers::FramedSignal> kFramedTwo = {{true, 0, 0, "v(a)"}, {false, 1, 0, "v"}};

TEST_F(FramedEventTest, RecordsAndDamagedHeaders) {
    std::string huge = framed({.signals = kFramedTwo}).substr(0, 100);
    huge[15] = 0x7F;
    std::string badWord = framed({.signals = kFramedTwo});
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
        {framed({.signals = kFramedTwo, .declaredGroupCount = 0}), malformed},
        {framed({.signals = kFramedTwo, .declaredGroupCount = 2}), malformed},
        {framed({.signals = kFramedTwo, .declaredGroupCount = 3}), malformed},
        {framed({.signals = kFramedTwo, .declaredGroupCount = -1}), malformed},
        // Counts and identifiers the file cannot back.
        {framed({.signals = kFramedTwo, .declaredSignalCount = 0x7FFFFFFF}), malformed},
        {framed({.signals = kFramedTwo, .declaredSignalCount = -4}), malformed},
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
