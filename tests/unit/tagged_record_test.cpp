// Tagged record files through open and read: byte orders and block sizes,
// sweeps, complex values, scopes, and the exact messages of damaged files.
#include "formats/tagged_record.h"

#include <functional>
#include <string>
#include <tuple>

#include "file_bytes.h"
#include "reader_fixture.h"
#include "tagged_record_writer.h"

namespace {

using TaggedRecordTest = testkit::ReaderFixture;
using writers::kTaggedGroup;
using writers::kTaggedSweepEnd;
using Header = writers::TaggedRecordHeader;
using Words = writers::TaggedRecordStream;

std::string tagged(const Header& header, const std::function<void(Words&)>& data, bool big = false,
                   size_t blockSize = 4096) {
    Words w(big);
    writers::writeTaggedHeader(w, header);
    data(w);
    return writers::frameTaggedRecord(w, blockSize);
}

// Two signals with identifiers 4 and 7, scopes, and every kind of record.
std::string basicFile(bool big, size_t blockSize) {
    Header h;
    h.signals = {{4, 1, "top.v(a)"}, {7, 1, "top.x1.v(b)"}};
    h.scopes = {{0x11, "top."}, {writers::kTaggedScopeWithoutText, ""}, {0x22, "top.x1."}};
    return tagged(
        h,
        [](Words& w) {
            w.uint32(kTaggedGroup | 2)
                .floats({0, 1, 2})
                .uint32(4)
                .floats({1, 1.5})
                .uint32(0x80000005u);
            w.uint32(writers::kTaggedTime).float64(10.0).uint32(7).floats({0.5, 2.5});
            w.uint32(kTaggedGroup | 1).float32(0.25).uint32(7).float32(3);
            w.uint32(kTaggedGroup | 1)
                .float32(0)
                .uint32(4)
                .float32(4)
                .uint32(kTaggedGroup)
                .float32(1);
            w.uint32(4).floats({0.25, 5}).uint32(kTaggedSweepEnd);
        },
        big, blockSize);
}

TEST_F(TaggedRecordTest, ByteOrdersAndBlockSizes) {
    const std::tuple<bool, int, bool> variants[] = {
        {false, 4096, false}, {true, 4096, false}, {false, 7, false}, {true, 3, true}};
    for (auto [big, blockSize, gzip] : variants) {
        SCOPED_TRACE(blockSize);
        const std::string bytes = basicFile(big, static_cast<size_t>(blockSize));
        expectRun(gzip ? writers::gzipBytes(bytes) : bytes,
                  "TIME:1:11 top.v(a):1:9 top.x1.v(b):1:9 | 0=1 1=1.5 10.75=4 12=5; 0=2 10.5=2.5 "
                  "10.75=3");
        EXPECT_EQ(header(), std::string(big ? "13 6" : "13 2") +
                                " 1 1 1|tr 1.0|tagged record test|06/12/2026");
        EXPECT_EQ(describeScopeTree(ds_), "top 11\n  top.x1 22\n");
        ASSERT_EQ(ds_->signalIdMapSize, 8);
        EXPECT_EQ(ds_->signalIdMap[4] * 10 + ds_->signalIdMap[7], 1);
        // The running time is kept across reads: deltas before the first
        // absolute time land later the second time round.
        ASSERT_EQ(read(), 1);
        EXPECT_EQ(points(0), "12=1 13=1.5 10.75=4 12=5");
    }
}

TEST_F(TaggedRecordTest, SweepsAndComplexValues) {
    Header one;  // one parameter, three sweeps; time is not reset between sweeps
    one.sweepCount = 3;
    one.sweepParameters = {"temp"};
    one.signals = {{0, 1, "v(out)"}};
    Header two;  // two parameters make a compound sweep variable
    two.sweepCount = 1;
    two.sweepParameters = {"temp", "vdd"};
    two.signals = {{0, 1, "v(a)"}, {1, 1, "v(b)"}};
    Header noCount = one;  // parameters without a sweep count: one sweep
    noCount.sweepCount = 0;
    Header ac;
    ac.axisType = 2;
    ac.axisName = "HERTZ";
    ac.signals = {{0, 8, "v(c)"}, {1, 23, "i(d)"}, {2, 2, "p(e)"}};
    Header busy;  // one signal outgrows its first arrays
    busy.signals = {{0, 1, "v(a)"}, {1, 1, "v(b)"}};
    const struct {
        Header header;
        std::function<void(Words&)> data;
        std::string expected;
    } rows[] = {
        {one,
         [](Words& w) {
             for (int s = 0; s < 3; ++s) {
                 w.float32(25.0f + 10.0f * s);
                 if (s == 0) w.uint32(writers::kTaggedTime).float64(1.0);
                 for (int k = 0; k <= s; ++k)
                     w.uint32(0).floats({1, static_cast<float>(10 * s + k)});
                 w.uint32(kTaggedSweepEnd);
             }
         },
         "temp:0:9 TIME:1:11 v(out):1:9 | 2=0 / 3=10 4=11 / 5=20 6=21 7=22"},
        {two,
         [](Words& w) {
             w.floats({27, 1.8f}).uint32(1).floats({0, 0.5}).uint32(kTaggedSweepEnd);
         },
         "outer:0:16 TIME:1:11 v(a):1:9 v(b):1:9 | ; 0=0.5"},
        {noCount,
         [](Words& w) {
             w.float32(27).uint32(0).floats({1, 3}).uint32(kTaggedSweepEnd);
         },
         "temp:0:9 TIME:1:11 v(out):1:9 | 1=3"},
        {ac,
         [](Words& w) {
             w.uint32(kTaggedGroup | 3).floats({100, 1, -1, 2, 3}).uint32(0).floats({100, 4, -4});
             w.uint32(kTaggedGroup | 2)
                 .floats({100})
                 .uint32(0)
                 .floats({5, -5})
                 .uint32(2)
                 .float32(6);
             w.uint32(kTaggedSweepEnd);
         },
         "HERTZ:2:11 v(c):8:10 i(d):23:13 p(e):2:9 | 100=1,-1 200=4,-4 300=5,-5; 100=2; 100=3 "
         "300=6"},
        {busy,
         [](Words& w) {
             for (int k = 0; k < 40; ++k) w.uint32(0).floats({1, static_cast<float>(k)});
             w.uint32(1).floats({1, -1}).uint32(kTaggedSweepEnd);
         },
         "*39=38 40=39; 41=-1"},
    };
    for (const auto& row : rows) {
        expectRun(tagged(row.header, row.data, true, 5), row.expected);
    }
    ASSERT_EQ(run(tagged(two, rows[1].data)), rows[1].expected);
    ASSERT_EQ(ds_->typeCount, 3);
    EXPECT_EQ(ds_->types[0].kind * 100 + ds_->types[0].memberCount, kKindCompound * 100 + 2);
    EXPECT_EQ(wfxName(ds_, ds_->types[2].nameOffset) + std::to_string(ds_->types[2].parentType),
              "vdd0");
    EXPECT_EQ(values_.sweepValues[0][1], 1.8f);
}

TEST_F(TaggedRecordTest, DamagedFiles) {
    Header good;
    good.signals = {{1, 1, "v(a)"}, {3, 1, "v(b)"}};
    const auto end = [](Words& w) { w.uint32(kTaggedSweepEnd); };
    const auto edited = [&](const std::function<void(Header&)>& edit,
                            const std::function<void(Words&)>& data) {
        Header h = good;
        edit(h);
        return tagged(h, data);
    };
    const auto header = [&](const std::function<void(Header&)>& edit) { return edited(edit, end); };
    Words plain;
    writers::writeTaggedHeader(plain, good);
    const std::string framed = writers::frameTaggedRecord(plain, 16);
    std::string badMarker = framed;
    badMarker[24] = 8;
    std::string huge = framed.substr(0, 24);
    huge[7] = 0x7F;
    std::string longBlock = framed.substr(0, 8) + std::string(8210, '\0');  // 8197 bytes
    longBlock[4] = 0x05;
    longBlock[5] = 0x20;
    longBlock[6] = 0;
    std::string zeroLength = framed;
    zeroLength[28] = 0;
    const std::string malformed = "open 2: Malformed data file @ !!";
    const std::string variables = "TIME:1:11 v(a):1:9 v(b):1:9 | ";
    expectRows({
        // Names below 1024 bytes and titles below 100 are fine; at the limit
        // they fail without a message.
        {header([](auto& h) {
             h.signals[0].name = std::string(1023, 'n'), h.title = std::string(99, 't');
         }),
         "*n:1:9 v(b):1:9 | ; "},
        {header([](auto& h) { h.signals[0].name = std::string(1024, 'n'); }), "open 2: "},
        {header([](auto& h) { h.title = std::string(100, 't'); }), "open 2: "},
        {header([](auto& h) { h.axisName = std::string(5000, 'x'); }), "open 2: "},
        {header([](auto& h) { h.declaredSignalCount = 0x7FFFFFFF; }), malformed},
        {header([](auto& h) { h.declaredSignalCount = -2; }), malformed},
        {header([](auto& h) { h.sweepCount = -1; }), malformed},
        {header([](auto& h) { h.signals[0].identifier = 1 << 28; }), malformed},
        {header([](auto& h) { h.signals[0].identifier = -3; }), malformed},
        // Scopes: a parent must come first; a record without "." fails.
        {header([](auto& h) {
             h.scopes = {{1, "top."}, {2, "x9.y."}};
         }),
         "open 2: Error: Intenal Error"},
        {header([](auto& h) {
             h.scopes = {{1, "top"}};
         }),
         "open 2: "},
        {header([](auto& h) {
             h.sweepParameters = {"temp", "temp"};
         }),
         "open 2: Error: Duplicate type defintion temp !!"},
        // Block framing: a bad marker, blocks longer than the file or than a
        // block may be, a block of length 0.
        {badMarker, malformed},
        {huge, malformed},
        {longBlock, malformed},
        {zeroLength, malformed},
        // Data: an undeclared identifier inside the map goes to the first
        // signal; past the map, or a group too large, fails.
        {tagged(good,
                [](Words& w) {
                    w.uint32(2).floats({1, 7}).uint32(kTaggedSweepEnd);
                }),
         variables + "1=7; "},
        {tagged(good,
                [](Words& w) {
                    w.uint32(4).floats({1, 7}).uint32(kTaggedSweepEnd);
                }),
         variables + "read 0: Error: malformed data file"},
        {tagged(
             good,
             [](Words& w) { w.uint32(kTaggedGroup | 1).float32(1).uint32(0x3FFFFFFF).float32(1); }),
         variables + "read 0: Error: malformed data file"},
        {tagged(good,
                [](Words& w) {
                    w.uint32(kTaggedGroup | 3).floats({1, 1, 2, 3});
                }),
         variables + "read 0: Error: malformed data file"},
        // A sweep that never ends; sweeps the header promised but the file
        // lacks, one or a thousand empty ones.
        {tagged(good,
                [](Words& w) {
                    w.uint32(1).floats({1, 7});
                }),
         variables + "read 0: Malformed data file @ !!"},
        {edited([](auto& h) { h.sweepCount = 0x7FFFFFFF; },
                [](Words& w) {
                    w.uint32(1).floats({1, 7}).uint32(kTaggedSweepEnd);
                }),
         variables + "read 0: Malformed data file @ !!"},
        {edited(
             [](auto& h) {
                 h.sweepCount = 0x7FFFFFFF;
                 h.signals.resize(200, {0, 1, "v(x)"});
                 for (int i = 0; i < 200; ++i) h.signals[static_cast<size_t>(i)].identifier = i;
             },
             [](Words& w) {
                 for (int k = 0; k < 1000; ++k) w.uint32(kTaggedSweepEnd);
             }),
         "*v(x):1:9 | read 0: Malformed data file @ !!"},
        {tagged({}, end), " | read 0: Error: Empty file @ !!"},
    });
    // A scope declared again gets a new item; later children hang under it.
    ASSERT_EQ(run(header([](auto& h) {
                  h.scopes = {{1, "a."}, {2, "a.b."}, {3, "a.b.c.x"}, {4, "a."}, {5, "a.d."}};
              })),
              variables + "; ");
    EXPECT_EQ(describeScopeTree(ds_), "a 1\n  a.b 2\n    a.b.c 3\na 4\n  a.d 5\n");
}

}  // namespace
