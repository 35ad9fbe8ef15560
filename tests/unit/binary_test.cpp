// Binary formats through open and read. HSPICE post files: counts and blocks
// at their limits; damaged headers give their exact messages. Tagged records:
// sweeps, complex values, scopes, and the exact messages of damaged files.
// Framed events: grouped and single records, identifiers outside the map,
// damaged headers. Every version, form, byte order, block size, sweep shape
// and kind of record is the seed corpus's: its values are checked by the
// Python test (corpus_values.txt), cuts and flips at every byte by the replay.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "event_writer.h"
#include "formats/tagged_record.h"
#include "internal.h"
#include "post_writer.h"
#include "reader_fixture.h"

// Headers name only the fields they change; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using writers::PostFile;
using writers::PostForm;
using writers::PostTable;
using writers::PostVersion;
constexpr PostForm kText = PostForm::text;
constexpr PostForm kWords = PostForm::wordFramed;
constexpr PostVersion k9601 = PostVersion::v9601;
constexpr PostVersion k2001 = PostVersion::v2001;

using PostTest = testkit::ReaderFixture;

TEST_F(PostTest, CountsAndBlocksAtTheirLimits) {
    // How a file differs from the writer's plain one.
    enum Twist { kPlain, kEscape, kBigEndian, kCrLf, kLastWordCut };
    struct Case {
        const char* what;
        PostVersion version;
        PostForm form;
        int mains, probes, blockSize;
        Twist twist;
        int tables, rows, rowsRead;  // more than one table: swept, each but the last empty
    };
    constexpr int kFull = WFX_BLOCK_SIZE;
    const Case cases[] = {
        // clang-format off
        {"main count with a high part",      k9601, kWords, 9999, 0, 4000, kPlain, 1, 2, 2},
        {"count escape, high part ignored",  k9601, kWords, 9999, 0, 4000, kEscape, 1, 2, 2},
        {"text main count with a high part", k9601, kText, 9999, 0, 4000, kPlain, 1, 2, 2},
        {"probe count with a high part",     k2001, kText, 0, 10005, 4000, kPlain, 1, 2, 2},
        {"only the independent variable",    k9601, kWords, 0, 0, 4000, kPlain, 1, 3, 3},
        {"data blocks filling the buffer",   k9601, kWords, 4, 0, kFull, kPlain, 1, 500, 500},
        {"data blocks one byte longer",      k9601, kWords, 4, 0, kFull + 1, kPlain, 1, 500, 0},
        {"empty tables over few signals",    k9601, kWords, 3, 0, 4000, kPlain, 9999, 2, 2},
        // The sweep slots alone would take far more memory than the file could fill.
        {"empty tables over many signals",   k9601, kWords, 3000, 0, 4000, kPlain, 9999, 2, -1},
        {"big-endian float rows",            k9601, kWords, 2, 0, 28, kBigEndian, 1, 9, 9},
        {"CR LF text",                       k9601, kText, 12, 0, 4000, kCrLf, 1, 2, 2},
        // The last row ends its block, whose closing word is cut off with the
        // end marker's block: that row's last value is lost with the word.
        {"last closing word cut",            k9601, kWords, 2, 0, 3996, kLastWordCut, 1, 333, 333},
        // clang-format on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PostFile f;
        f.version = c.version;
        f.form = c.form;
        f.countEscape = c.twist == kEscape;
        f.bigEndian = c.twist == kBigEndian;
        f.blockSize = c.blockSize;
        for (int i = 0; i < c.mains + c.probes; ++i)
            f.signals.push_back({"n" + std::to_string(i), 1, i >= c.mains});
        if (c.tables > 1) f.sweepNames = {"temper"};
        f.tables.assign(c.tables, PostTable{{1.0}, {}, true});
        if (c.tables == 1) f.tables[0].params.clear();
        for (int r = 0; r < c.rows; ++r) {
            f.tables.back().values.push_back(r * 1e-9);
            f.tables.back().values.resize(f.tables.back().values.size() + f.signals.size(), 0.5);
        }
        std::string bytes = writers::buildPostFile(f);
        if (c.twist == kEscape) bytes.replace(16 + 12, 4, "0007");
        for (size_t at = 0; c.twist == kCrLf && (at = bytes.find('\n', at)) != bytes.npos; at += 2)
            bytes.insert(at, "\r");
        if (c.twist == kLastWordCut) bytes.resize(bytes.size() - 28);
        const std::string path = (dir_ / "wave.tr0").string();
        writers::writeBytes(path, bytes, false);
        ASSERT_EQ(open(path), static_cast<uint32_t>(kOpenOk)) << message();
        EXPECT_EQ(std::make_pair(ds_->mainCount, ds_->probeCount),
                  std::make_pair(c.mains + 1, c.probes));
        EXPECT_EQ(name(ds_->variableCount - 1), f.signals.empty() ? "TIME" : f.signals.back().name);
        ASSERT_EQ(read(), c.rowsRead < 0 ? 0 : 1);
        const bool whole = c.rowsRead == c.rows && c.twist != kLastWordCut;
        EXPECT_EQ(message(), whole ? "" : "Malformed data file " + path + " !!");
        if (c.rowsRead < 0) continue;
        EXPECT_EQ(values_.sweepCount, c.tables);
        EXPECT_EQ(values_.counts[0][c.tables - 1], static_cast<uint32_t>(c.rowsRead));
        if (c.rowsRead > 0 && !f.signals.empty()) {
            EXPECT_EQ(values_.real[f.signals.size() - 1][c.tables - 1][c.rowsRead - 1],
                      c.twist == kLastWordCut ? 0.0f : 0.5f);
        }
    }
}

// Each version and form read into doubles: what it stores, the times (a
// picosecond apart at 1 ms) and the values as read; the float read holds each
// of them narrowed.
TEST_F(PostTest, ValuesAsStored) {
    const std::string fine = " | 0.001 0.001000000001 | ";
    // clang-format off
    const std::tuple<PostVersion, PostForm, std::string> cases[] = {
        {k2001, kWords,              "64/64" + fine + "0.33333333333333331 2"},
        {k2001, PostForm::byteFramed, "64/64" + fine + "0.33333333333333331 2"},
        {PostVersion::v2013, kWords,              "32/64" + fine + "0.3333333432674408 2"},
        {k9601,              kWords, "32/32 | 0.0010000000474974513 0.0010000000474974513 | "
                                     "0.3333333432674408 2"},
        {k2001, kText,  "64/64 | 0.001 0.001 | 0.3333333 2"},
    };
    // clang-format on
    for (const auto& [version, form, expected] : cases) {
        PostFile f;
        f.version = version;
        f.form = form;
        f.signals = {{"v(1)"}};
        f.tables = {{{}, {1e-3, 1.0 / 3, 1e-3 + 1e-12, 2}}};
        ASSERT_EQ(run(writers::buildPostFile(f)).find("read"), std::string::npos);
        EXPECT_EQ(readDoubles(), expected);
    }
}

TEST_F(PostTest, DamagedHeaders) {
    // The file of a version and form with `put` written at byte `at` (or over
    // the first `find`), cut right after it when `cut` is set. Binary header
    // fields start at 16, after the block's framing words.
    struct Damage {
        PostVersion version;
        PostForm form;
        size_t at;
        const char* find;
        std::string put;
        bool cut;
        const char* message;  // after "open 2: "; "@" is the file's path
        int shape;            // 1: a header block longer than the buffer; 2: sweep names twice
    };
    const char* malformed = "Malformed data file @ !!";
    const char* notCompleted = "File @ not completed!!";
    const char* line0 = "Syntax error near line 0 in file @ !!";
    const char* line1 = "Syntax error near line 1 in file @ !!";
    const Damage rows[] = {
        // Counts, sweep count and type codes not decimal; analysis codes out of range.
        {k9601, kWords, 16 + 0, nullptr, "abcd", false, malformed, 0},
        {k9601, kWords, 16 + 4, nullptr, "x", false, malformed, 0},
        {k9601, kWords, 16 + 12, nullptr, "ab  ", false, malformed, 0},
        {k9601, kWords, 16 + 184, nullptr, "  x ", false, malformed, 0},
        {k9601, kWords, 16 + 264, nullptr, "       x", false, malformed, 0},
        {k9601, kWords, 16 + 264, nullptr, "       0", false, malformed, 0},
        {k9601, kWords, 16 + 264, nullptr, "       8", false, malformed, 0},
        // No variable, negative probes, 2^31 - 1 main variables by the count
        // escape, a probe high part of 9999, a first block of 2 GB.
        {k9601, kWords, 16 + 0, nullptr, "00000000", false, malformed, 0},
        {k9601, kWords, 16 + 0, nullptr, "0000-001", false, malformed, 0},
        {k9601, kWords, 16 + 0, nullptr, "\xFF\xFF\xFF\xFF", false, malformed, 0},
        {k2001, kWords, 16 + 16, nullptr, "9999", false, malformed, 0},
        {k9601, kWords, 12, nullptr, "\xFF\xFF\xFF\x7F", false, malformed, 0},
        // The terminator wrong, the file cut inside the header.
        {k9601, kWords, 0, "$&%#", "$&%-", false, malformed, 0},
        {k9601, kWords, 40, nullptr, "", true, malformed, 0},
        {k9601, kWords, 300, nullptr, "", true, malformed, 0},
        {k9601, kWords, 0, "v(out)", "", true, malformed, 0},
        {k9601, kWords, 0, nullptr, "", false, malformed, 1},
        {k9601, kWords, 0, nullptr, "", false, "Error: Duplicate type defintion w !!", 2},
        // Text: counts not decimal, a bad first type code, the terminator.
        {k9601, kText, 0, nullptr, "x   ", false, line0, 0},
        {k9601, kText, 12, nullptr, "    ", false, line0, 0},
        {k9601, kText, 184, nullptr, "\n   ", false, line0, 0},
        {k9601, kText, 184, nullptr, " x  ", false, line0, 0},
        {k9601, kText, 265, nullptr, "      x", false, line1, 0},
        {k9601, kText, 265, nullptr, "      9", false, line1, 0},
        {k9601, kText, 0, "$&%#", "$&%x\n", true, line1, 0},
        {k9601, kText, 0, "$&%#", "$&%#", true, line1, 0},
        {k9601, kText, 0, "$&%#", "", true, line1, 0},
        // Text cut in a count field, in the title, in the type codes, among the names.
        {k9601, kText, 22, nullptr, "", true, notCompleted, 0},
        {k9601, kText, 50, nullptr, "", true, notCompleted, 0},
        {k9601, kText, 280, nullptr, "", true, notCompleted, 0},
        {k9601, kText, 0, "v(out)", "", true, "[the header ends among the names]", 0},
        {PostVersion::v9007, kText, 0, "v(out)", "", true, notCompleted, 0},
    };
    for (const Damage& d : rows) {
        PostFile f;
        f.version = d.version;
        f.form = d.form;
        f.signals = {{"v(in)"}, {"v(out)"}, {"i(vdd)", 8, true}};
        f.tables = {{{}, {0, 1, 2, 3}}};
        for (int i = 0; d.shape == 1 && i < 1200; ++i)
            f.signals.push_back({"s" + std::to_string(i)});
        if (d.shape == 1) f.headerBlockSize = WFX_BLOCK_SIZE + 1;
        if (d.shape == 2) f.sweepNames = {"tab", "w", "w"};
        std::string bytes = writers::buildPostFile(f);
        size_t at = d.find != nullptr ? bytes.find(d.find) : d.at;
        SCOPED_TRACE(std::to_string(at) + " " + d.put);
        bytes.replace(at, d.put.size(), d.put);
        if (d.cut) bytes.resize(at + d.put.size());
        EXPECT_EQ(run(bytes), std::string("open 2: ") + d.message);
    }
}

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
    const std::string tooLong = "open 2: [a name or title has a negative or too long length]";
    expectRows({
        // Names below 1024 bytes and titles below 100 are fine; at the limit
        // they fail with a reason but no message.
        {taggedFile({.title = std::string(99, 't'), .signals = {{1, 1, n1023}}}, kEnd),
         "*n:1:9 | "},
        {taggedFile({.signals = {{1, 1, n1023 + "n"}}}, kEnd), tooLong},
        {taggedFile({.title = std::string(100, 't'), .signals = kTwo}, kEnd), tooLong},
        {taggedFile({.axisName = std::string(5000, 'x'), .signals = kTwo}, kEnd), tooLong},
        {taggedFile({.signals = kTwo, .declaredSignalCount = 0x7FFFFFFF}, kEnd), malformed},
        {taggedFile({.signals = kTwo, .declaredSignalCount = -2}, kEnd), malformed},
        {taggedFile({.sweepCount = -1, .signals = kTwo}, kEnd), malformed},
        {taggedFile({.signals = {{1 << 28, 1, "v"}}}, kEnd), malformed},
        {taggedFile({.signals = {{-3, 1, "v"}}}, kEnd), malformed},
        // Scopes: a parent must come first; a record without "." fails.
        {taggedFile({.signals = kTwo, .scopes = {{1, "a."}, {2, "x9.y."}}}, kEnd),
         "open 2: Error: Intenal Error"},
        {taggedFile({.signals = kTwo, .scopes = {{1, "top"}}}, kEnd),
         "open 2: [a scope name holds no \".\"]"},
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
