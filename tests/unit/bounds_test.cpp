// Hostile sizes: counts, lengths and identifiers far beyond what a file holds
// must fail cleanly, at once, and without an allocation sized from them.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "csdf_writer.h"
#include "formats/tagged_record.h"
#include "framed_event_writer.h"
#include "internal.h"
#include "measure_table_writer.h"
#include "post_writer.h"
#include "run_tool.h"
#include "tagged_record_writer.h"
#include "wfx.h"

#if defined(__SANITIZE_ADDRESS__)
#define WAVTREX_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WAVTREX_ADDRESS_SANITIZER 1
#endif
#endif

namespace {

// Caps the address space at what the process maps now plus headroom, so an
// allocation sized from a hostile header fails and shows up as out of memory
// instead of quietly reserving gigabytes that are never touched. The
// AddressSanitizer reserves terabytes of shadow up front, so sanitized builds
// run without the cap (the fuzz targets limit single allocations there).
class AddressSpaceCap {
  public:
    explicit AddressSpaceCap(size_t headroom) {
#ifndef WAVTREX_ADDRESS_SANITIZER
        if (getrlimit(RLIMIT_AS, &saved_) != 0) return;
        rlimit cap = saved_;
        cap.rlim_cur = mappedBytes() + headroom;
        if (saved_.rlim_cur != RLIM_INFINITY && saved_.rlim_cur <= cap.rlim_cur) return;
        active_ = setrlimit(RLIMIT_AS, &cap) == 0;
#else
        (void)headroom;
#endif
    }
    ~AddressSpaceCap() {
        if (active_) setrlimit(RLIMIT_AS, &saved_);
    }
    AddressSpaceCap(const AddressSpaceCap&) = delete;
    AddressSpaceCap& operator=(const AddressSpaceCap&) = delete;

  private:
    static size_t mappedBytes() {
        std::ifstream statm("/proc/self/statm");
        size_t pages = 0;
        statm >> pages;
        return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
    }
    rlimit saved_{};
    bool active_ = false;
};

constexpr size_t kHeadroom = size_t{256} << 20;

// What open and read made of one file.
struct Outcome {
    uint32_t status = 0;
    int read = -1;  // -1: open failed, read not tried
    uint32_t lastError = 0;
    std::string message;
};

Outcome runReader(const std::string& path, uint32_t format = WFX_DETECT_FORMAT) {
    Outcome o;
    AddressSpaceCap cap(kHeadroom);
    WaveformDataset* ds = wfxOpen(path.c_str(), format, WFX_DETECT_MODE, &o.status);
    if (ds != nullptr) {
        WaveformValues values = {};
        o.read = wfxRead(ds, &values);
        o.lastError = ds->lastError;
        wfxReleaseValues(&values);
        o.message = wfxLastErrorText();
        wfxClose(ds);
    } else {
        o.message = wfxLastErrorText();
    }
    return o;
}

class BoundsTest : public testing::Test {
  protected:
    std::string save(const std::string& bytes, const std::string& name = "hostile.w",
                     bool gzip = false) {
        std::string path = (dir_ / name).string();
        writers::writeBytes(path, bytes, gzip);
        return path;
    }
    std::string malformed(const std::string& path) const {
        return "Malformed data file " + path + " !!";
    }

    testkit::ScratchDir dir_;
};

// ---- tagged record files ---------------------------------------------------------

std::string taggedFile(const writers::TaggedRecordHeader& header, int sweeps) {
    writers::TaggedRecordStream stream;
    writers::writeTaggedHeader(stream, header);
    for (int s = 0; s < sweeps; ++s) stream.single(1, 1e-9f, {0.5f}).endSweep();
    return writers::frameTaggedRecord(stream);
}

TEST_F(BoundsTest, TaggedRecordCountsBeyondTheFile) {
    writers::TaggedRecordHeader good;
    good.signals = {{1, 1, "v(a)"}, {2, 1, "v(b)"}};
    {
        // Counts that would size tables: the header runs out of file first.
        writers::TaggedRecordHeader header = good;
        header.declaredSignalCount = 0x7FFFFFFF;
        std::string path = save(taggedFile(header, 0));
        Outcome o = runReader(path);
        EXPECT_EQ(o.status, static_cast<uint32_t>(kOpenNoReader));
        EXPECT_EQ(o.message, malformed(path));
        // Parameter names run on into the fields behind them, whose numbers
        // make a name length beyond the limit: refused without a message.
        header = good;
        header.sweepParameters = {"temp"};
        header.declaredParameterCount = 0x7FFFFFFF;
        o = runReader(save(taggedFile(header, 0)));
        EXPECT_EQ(o.status, static_cast<uint32_t>(kOpenNoReader));
        EXPECT_EQ(o.message, "");
    }
    {
        // Two billion sweeps promised, one present: the read stops at the end
        // of the file instead of making slots for all of them.
        writers::TaggedRecordHeader header = good;
        header.sweepCount = 0x7FFFFFFF;
        std::string path = save(taggedFile(header, 1));
        Outcome o = runReader(path);
        EXPECT_EQ(o.status, static_cast<uint32_t>(kOpenOk));
        EXPECT_EQ(o.read, 0);
        EXPECT_EQ(o.lastError, 0u);
        EXPECT_EQ(o.message, malformed(path));
    }
    {
        // The largest identifier any small file may use still opens.
        writers::TaggedRecordHeader header = good;
        header.signals[1].identifier = 0xFFFF;
        Outcome o = runReader(save(taggedFile(header, 1)));
        EXPECT_EQ(o.status, static_cast<uint32_t>(kOpenOk));
        EXPECT_EQ(o.read, 1) << o.message;
    }
}

// ---- framed event files ----------------------------------------------------------

// A header written field by field, so every count and length can lie.
struct FramedFields {
    int32_t signals = 1;
    int32_t groups = 0;
    int32_t extras = 1;
    int32_t extraLength = 5;
    int32_t nameLength = 4;
    uint32_t identifier = 7;
};

std::string framedFile(const FramedFields& h) {
    writers::FramedEventStream stream;
    stream.fixed("framed event", 16).fixed("06-Dec-2026", 16).fixed("bounds", 100);
    stream.int32(h.signals).int32(h.groups).int32(h.extras);
    stream.int32(0).int32(h.extraLength).raw("extra");
    stream.uint32(h.identifier).int32(0).int32(h.nameLength).raw("v(a)");
    stream.single(7, 1.0f, 0.0f).end();
    return writers::frameFramedEvent(stream);
}

TEST_F(BoundsTest, FramedEventCountsBeyondTheFile) {
    {
        Outcome o = runReader(save(framedFile({})));
        EXPECT_EQ(o.status, static_cast<uint32_t>(kOpenOk)) << o.message;
        EXPECT_EQ(o.read, 1) << o.message;
    }
    // Every count and length here would size an allocation or a read.
    std::vector<FramedFields> hostile(5);
    hostile[0].signals = 0x7FFFFFFF;
    hostile[1].extras = 0x7FFFFFFF;
    hostile[2].extraLength = 0x7FFFFFFF;
    hostile[3].nameLength = 0x7FFFFFFF;
    hostile[4].identifier = 0x0FFFFFFF;
    for (size_t k = 0; k < hostile.size(); ++k) {
        SCOPED_TRACE(k);
        std::string path = save(framedFile(hostile[k]));
        Outcome o = runReader(path);
        EXPECT_EQ(o.status, static_cast<uint32_t>(kOpenNoReader));
        EXPECT_EQ(o.message, malformed(path));
    }
}

// ---- CSDF files ----------------------------------------------------------------------

TEST_F(BoundsTest, CsdfCountsBeyondTheFile) {
    writers::CsdfFile f;
    f.nodes = {"v(a)", "v(b)"};
    f.sweeps = {{{0.0, {1.0, 2.0}, {}}}};
    {
        // Two billion nodes declared, two listed: the list runs out.
        std::string text = writers::csdfText(f);
        text.replace(text.find("NODES='2'"), 9, "NODES='2147483647'");
        std::string path = save(text);
        Outcome o = runReader(path);
        EXPECT_EQ(o.status, static_cast<uint32_t>(kOpenNoReader));
        EXPECT_EQ(o.message, "Error: File " + path + " is incompleted !!");
    }
    {
        // Thousands of sections, each a sweep with its own arrays: what the
        // read allocates follows what the file holds.
        f.sweeps.assign(3000, {{0.0, {1.0, 2.0}, {}}, {1.0, {3.0, 4.0}, {}}});
        Outcome o = runReader(save(writers::csdfText(f)));
        EXPECT_EQ(o.status, static_cast<uint32_t>(kOpenOk)) << o.message;
        EXPECT_EQ(o.read, 1) << o.message;
    }
}

// ---- HSPICE post files -----------------------------------------------------------

writers::PostFile smallPostFile() {
    writers::PostFile f;
    f.signals = {{"v(1)"}, {"v(2)"}};
    f.tables = {{{}, {0.0, 1.0, 2.0, 1e-9, 1.5, 2.5}}};
    return f;
}

TEST_F(BoundsTest, PostCountsBeyondTheFile) {
    {
        // Two billion variables by the binary count escape (two probes more
        // overflow 32 bits), a high part of 9999 on the probe count, and a
        // first block claiming 2 GB: each fails before a table is sized.
        writers::PostFile f = smallPostFile();
        f.signals.push_back({"p(1)", 9, true});
        f.signals.push_back({"p(2)", 9, true});
        f.headerPatches = {{0, std::string(4, '\xFF')}};
        std::string path = save(writers::buildPostFile(f));
        Outcome o = runReader(path);
        EXPECT_EQ(o.status, static_cast<uint32_t>(kOpenNoReader));
        EXPECT_EQ(o.message, malformed(path));
        f = smallPostFile();
        f.version = writers::PostVersion::v2001;
        f.headerPatches = {{16, "9999"}};
        o = runReader(save(writers::buildPostFile(f)));
        EXPECT_EQ(o.status, static_cast<uint32_t>(kOpenNoReader));
        EXPECT_EQ(o.message, malformed(path));
        std::string framed = writers::buildPostFile(smallPostFile());
        framed.replace(12, 4, "\xFF\xFF\xFF\x7F");
        o = runReader(save(framed));
        EXPECT_EQ(o.status, static_cast<uint32_t>(kOpenNoReader));
        EXPECT_EQ(o.message, malformed(path));
    }
    {
        // 9999 sweeps promised over a thousand signals, one table present.
        writers::PostFile f = smallPostFile();
        f.signals.assign(1000, {"v(x)"});
        f.sweepNames = {"temper"};
        f.sweepCountField = 9999;
        f.tables = {{{25.0}, std::vector<double>(1001, 1.0)}};
        Outcome o = runReader(save(writers::buildPostFile(f)));
        EXPECT_EQ(o.status, static_cast<uint32_t>(kOpenOk)) << o.message;
        EXPECT_EQ(o.read, 1) << o.message;
    }
    {
        // Only the independent variable: no signal to divide the file among.
        writers::PostFile f = smallPostFile();
        f.signals.clear();
        f.tables = {{{}, {0.0, 1e-9, 2e-9}}};
        Outcome o = runReader(save(writers::buildPostFile(f)));
        EXPECT_EQ(o.status, static_cast<uint32_t>(kOpenOk)) << o.message;
        EXPECT_EQ(o.read, 1) << o.message;
    }
    {
        // Thousands of one-row tables, then one long table: the long table's
        // growth must not be paid again by every short table before it.
        writers::PostFile f = smallPostFile();
        f.signals = {{"v(1)"}};
        f.sweepNames = {"temper"};
        f.tables.assign(3000, {{25.0}, {0.0, 1.0}});
        writers::PostTable& last = f.tables.back();
        for (int row = 1; row < 60000; ++row) {
            last.values.push_back(row * 1e-12);
            last.values.push_back(row * 1e-3);
        }
        Outcome o = runReader(save(writers::buildPostFile(f)));
        EXPECT_EQ(o.status, static_cast<uint32_t>(kOpenOk)) << o.message;
        EXPECT_EQ(o.read, 1) << o.message;
        EXPECT_EQ(o.lastError, 0u);
    }
}

// ---- names -----------------------------------------------------------------------------

// The name hash keeps 13 bits, so names are easily made to share one bucket:
// "ab" and "bA" hash alike, and so does every string of such pairs. Thousands
// of them still intern one by one, the same names as anywhere else.
TEST_F(BoundsTest, ManyNamesInOneBucket) {
    writers::MeasureTable table;
    table.columns.clear();
    for (int k = 0; k < 1 << 14; ++k) {
        std::string name;
        for (int bit = 13; bit >= 0; --bit) name += (k >> bit) & 1 ? "bA" : "ab";
        table.columns.push_back(name);
    }
    table.columns.push_back(table.columns[5]);  // a name given twice
    table.columns.push_back("alter#");
    table.rows = {std::vector<double>(table.columns.size(), 1.0)};
    std::string path = save(writers::measureTableText(table));
    uint32_t status = 0;
    WaveformDataset* ds = wfxOpen(path.c_str(), kFormatMeasureTable, WFX_DETECT_MODE, &status);
    ASSERT_NE(ds, nullptr) << wfxLastErrorText();
    EXPECT_EQ(ds->variableCount, (1 << 14) + 2);
    EXPECT_EQ(ds->symbolCount, static_cast<uint32_t>((1 << 14) + 1));
    EXPECT_EQ(std::string(wfxName(ds, ds->variables[(1 << 14)].nameOffset)), table.columns[5]);
    EXPECT_EQ(ds->variables[(1 << 14)].nameOffset, ds->variables[5].nameOffset);
    // Every colliding name sits in one chain, in the order the names came.
    int32_t chained = 0;
    for (int32_t i = ds->symbolBuckets[nameHash(table.columns[0].c_str())]; i != -1;
         i = ds->symbols[i].next) {
        EXPECT_EQ(ds->symbols[i].ownerIndex, chained);
        ++chained;
    }
    EXPECT_EQ(chained, 1 << 14);
    wfxClose(ds);
}

// Scope names of tagged record files use the same 13-bit hash for their own
// buckets.
TEST_F(BoundsTest, ManyScopesInOneBucket) {
    writers::TaggedRecordHeader header;
    header.signals = {{1, 1, "v(a)"}};
    for (int k = 0; k < 1 << 13; ++k) {
        std::string name;
        for (int bit = 12; bit >= 0; --bit) name += (k >> bit) & 1 ? "bA" : "ab";
        header.scopes.push_back({static_cast<uint32_t>(k), name + ".x"});
    }
    // A child of the fourth scope, which must be found among all the others.
    std::string fourth = header.scopes[3].text.substr(0, header.scopes[3].text.size() - 2);
    header.scopes.push_back({0x7777, fourth + ".y.z"});
    std::string path = save(taggedFile(header, 1));
    uint32_t status = 0;
    WaveformDataset* ds = wfxOpen(path.c_str(), WFX_DETECT_FORMAT, WFX_DETECT_MODE, &status);
    ASSERT_NE(ds, nullptr) << wfxLastErrorText();
    std::string tree = describeScopeTree(ds);
    EXPECT_EQ(std::count(tree.begin(), tree.end(), '\n'), (1 << 13) + 1);
    EXPECT_NE(tree.find(fourth + " 3\n  " + fourth + ".y 7777\n"), std::string::npos);
    wfxClose(ds);
}

}  // namespace
