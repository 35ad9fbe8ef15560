// Tagged record files through wfxOpen/wfxRead: layout, sweeps, complex values,
// scopes, block joins, damaged headers and data, and cuts at every length.
#include "formats/tagged_record.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "reader_fixture.h"
#include "run_tool.h"
#include "tagged_record_writer.h"
#include "wfx.h"

namespace {

using writers::TaggedByteOrder;
using writers::TaggedRecordHeader;
using writers::TaggedRecordStream;

class TaggedRecordTest : public testkit::ReaderFixture {
  protected:
    std::string save(const std::string& bytes, const std::string& name = "run.trn",
                     bool gzip = false) {
        std::string path = (dir_ / name).string();
        writers::saveTaggedRecordFile(path, bytes, gzip);
        return path;
    }
};

// Two real signals with identifiers 4 and 7, two scopes, and every kind of
// data record.
std::string basicFile(TaggedByteOrder order, int32_t blockSize) {
    TaggedRecordHeader header;
    header.signals = {{4, 1, "top.v(a)"}, {7, 1, "top.x1.v(b)"}};
    header.scopes = {{0x11, "top."}, {writers::kTaggedScopeWithoutText, ""}, {0x22, "top.x1."}};
    TaggedRecordStream stream(order);
    writers::writeTaggedHeader(stream, header);
    stream.groupAll(2, 0.0f, {1.0f, 2.0f});
    stream.single(4, 1.0f, {1.5f});
    stream.emptyTag(5);
    stream.absoluteTime(10.0);
    stream.single(7, 0.5f, {2.5f});
    stream.groupPairs(0.25f, {{7, {3.0f}}});
    stream.groupPairs(0.0f, {{4, {4.0f}}});
    stream.groupPairs(1.0f, {});
    stream.single(4, 0.25f, {5.0f});
    stream.endSweep();
    return writers::frameTaggedRecord(stream, blockSize);
}

TEST_F(TaggedRecordTest, ReadsBothByteOrdersAndAnyBlockSize) {
    struct Variant {
        TaggedByteOrder order;
        int32_t blockSize;
        bool gzip;
    };
    const Variant variants[] = {{TaggedByteOrder::kLittle, 4096, false},
                                {TaggedByteOrder::kBig, 4096, false},
                                {TaggedByteOrder::kLittle, 7, false},
                                {TaggedByteOrder::kBig, 3, true},
                                {TaggedByteOrder::kLittle, 8196, true}};
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.blockSize);
        std::string path =
            save(basicFile(v.order, v.blockSize), v.gzip ? "run.trn.gz" : "run.trn", v.gzip);
        ASSERT_EQ(open(path), static_cast<uint32_t>(kOpenOk)) << message();
        EXPECT_EQ(ds_->dataFormat, static_cast<uint32_t>(kFormatTaggedRecord));
        EXPECT_EQ(ds_->fileMode,
                  v.order == TaggedByteOrder::kBig ? kModeBinary | kModeSwapped : kModeBinary);
        EXPECT_EQ(ds_->analysisKind, 1u);
        EXPECT_EQ(ds_->signalCount, 2);
        EXPECT_EQ(ds_->sweepCount, 1);
        EXPECT_EQ(ds_->firstSignalIndex, 1);
        EXPECT_EQ(std::string(ds_->version), "tr 1.0");
        EXPECT_EQ(std::string(ds_->date), "06/12/2026");
        EXPECT_EQ(std::string(ds_->title), "tagged record test");
        EXPECT_EQ(name(0), "TIME");
        EXPECT_EQ(ds_->variables[0].kind, static_cast<uint32_t>(kKindTaggedAxis));
        EXPECT_EQ(signalName(0), "top.v(a)");
        EXPECT_EQ(signalName(1), "top.x1.v(b)");
        EXPECT_EQ(ds_->variables[2].identifier, 7);
        ASSERT_EQ(ds_->signalIdMapSize, 8);
        EXPECT_EQ(ds_->signalIdMap[4], 0);
        EXPECT_EQ(ds_->signalIdMap[7], 1);
        EXPECT_EQ(describeScopeTree(ds_), "top 11\n  top.x1 22\n");

        ASSERT_EQ(read(), 1) << message();
        ASSERT_EQ(values_.holderCount, 2);
        EXPECT_EQ(values_.imag, nullptr);
        EXPECT_EQ(values_.sweepValues, nullptr);
        EXPECT_EQ(points(0), "0=1 1=1.5 10.75=4 12=5");
        EXPECT_EQ(points(1), "0=2 10.5=2.5 10.75=3");

        // The running time is kept across reads, so deltas before the first
        // absolute time land later the second time round.
        ASSERT_EQ(read(), 1);
        EXPECT_EQ(points(0), "12=1 13=1.5 10.75=4 12=5");
    }
}

TEST_F(TaggedRecordTest, SweepsWithOneOrMoreParameters) {
    {
        TaggedRecordHeader header;
        header.sweepCount = 3;
        header.sweepParameters = {"temp"};
        header.signals = {{0, 1, "v(out)"}};
        TaggedRecordStream stream;
        writers::writeTaggedHeader(stream, header);
        for (int s = 0; s < 3; ++s) {
            stream.sweepParameters({25.0f + 10.0f * s});
            if (s == 0) stream.absoluteTime(1.0);
            for (int k = 0; k <= s; ++k) stream.single(0, 1.0f, {static_cast<float>(10 * s + k)});
            stream.endSweep();
        }
        ASSERT_EQ(open(save(writers::frameTaggedRecord(stream, 64))),
                  static_cast<uint32_t>(kOpenOk))
            << message();
        EXPECT_EQ(ds_->sweepCount, 3);
        EXPECT_EQ(ds_->sweepParamCount, 1);
        EXPECT_EQ(ds_->firstSignalIndex, 2);
        EXPECT_EQ(name(0), "temp");
        EXPECT_EQ(ds_->variables[0].kind, static_cast<uint32_t>(kKindReal));
        EXPECT_EQ(ds_->variables[0].typeCode, 0u);
        EXPECT_EQ(name(1), "TIME");
        EXPECT_EQ(signalName(0), "v(out)");
        ASSERT_EQ(read(), 1) << message();
        ASSERT_EQ(values_.sweepCount, 3);
        ASSERT_EQ(values_.sweepSlots, 3);
        EXPECT_EQ(values_.sweepValues[0][0], 25.0f);
        EXPECT_EQ(values_.sweepValues[2][0], 45.0f);
        // Time is not reset between sweeps.
        EXPECT_EQ(points(0, 0), "2=0");
        EXPECT_EQ(points(0, 1), "3=10 4=11");
        EXPECT_EQ(points(0, 2), "5=20 6=21 7=22");
    }
    {
        TaggedRecordHeader header;
        header.sweepCount = 1;
        header.sweepParameters = {"temp", "vdd"};
        header.signals = {{0, 1, "v(a)"}, {1, 1, "v(b)"}};
        TaggedRecordStream stream;
        writers::writeTaggedHeader(stream, header);
        stream.sweepParameters({27.0f, 1.8f});
        stream.single(1, 0.0f, {0.5f});
        stream.endSweep();
        ASSERT_EQ(open(save(writers::frameTaggedRecord(stream))), static_cast<uint32_t>(kOpenOk))
            << message();
        EXPECT_EQ(name(0), "outer");
        EXPECT_EQ(ds_->variables[0].kind, static_cast<uint32_t>(kKindCompound));
        EXPECT_EQ(ds_->variables[0].memberCount, 2u);
        ASSERT_EQ(ds_->typeCount, 3);
        EXPECT_EQ(ds_->variables[0].typeCode, 0u);
        EXPECT_EQ(ds_->types[0].kind, kKindCompound);
        EXPECT_EQ(ds_->types[0].memberCount, 2);
        EXPECT_EQ(wfxName(ds_, ds_->types[2].nameOffset), std::string("vdd"));
        EXPECT_EQ(ds_->types[2].parentType, 0);
        EXPECT_EQ(ds_->types[2].kind, kKindReal);
        ASSERT_EQ(read(), 1) << message();
        EXPECT_EQ(values_.sweepValues[0][1], 1.8f);
        // A signal without points in a sweep has no arrays there.
        EXPECT_EQ(values_.counts[0][0], 0u);
        EXPECT_EQ(values_.real[0][0], nullptr);
        EXPECT_EQ(points(1), "0=0.5");
    }
    {
        // Parameters without a sweep count: one sweep, and the signals still
        // start behind the sweep variable and the independent variable.
        TaggedRecordHeader header;
        header.sweepParameters = {"temp"};
        header.signals = {{0, 1, "v(a)"}};
        TaggedRecordStream stream;
        writers::writeTaggedHeader(stream, header);
        stream.sweepParameters({27.0f}).single(0, 1.0f, {3.0f}).endSweep();
        ASSERT_EQ(open(save(writers::frameTaggedRecord(stream))), static_cast<uint32_t>(kOpenOk))
            << message();
        EXPECT_EQ(ds_->sweepCount, 1);
        EXPECT_EQ(ds_->firstSignalIndex, 2);
        EXPECT_EQ(signalName(0), "v(a)");
        ASSERT_EQ(read(), 1) << message();
        EXPECT_EQ(values_.sweepValues[0][0], 27.0f);
    }
}

TEST_F(TaggedRecordTest, ComplexSignalsInAcFiles) {
    for (int32_t axisType : {2, 1}) {
        SCOPED_TRACE(axisType);
        TaggedRecordHeader header;
        header.axisType = axisType;
        header.axisName = "HERTZ";
        header.signals = {{0, 8, "v(c)"}, {1, 23, "i(d)"}, {2, 2, "p(e)"}};
        TaggedRecordStream stream(TaggedByteOrder::kBig);
        writers::writeTaggedHeader(stream, header);
        bool ac = axisType == 2;
        std::vector<float> first = ac ? std::vector<float>{1.0f, -1.0f} : std::vector<float>{1.0f};
        std::vector<float> all = first;
        all.insert(all.end(), {2.0f, 3.0f});
        stream.groupAll(3, 100.0f, all);
        stream.single(0, 100.0f, ac ? std::vector<float>{4.0f, -4.0f} : std::vector<float>{4.0f});
        stream.groupPairs(
            100.0f,
            {{0, ac ? std::vector<float>{5.0f, -5.0f} : std::vector<float>{5.0f}}, {2, {6.0f}}});
        stream.endSweep();
        ASSERT_EQ(open(save(writers::frameTaggedRecord(stream, 5))), static_cast<uint32_t>(kOpenOk))
            << message();
        EXPECT_EQ(ds_->analysisKind, static_cast<uint32_t>(axisType));
        EXPECT_EQ(ds_->variables[1].kind, ac ? 10u : 9u);
        EXPECT_EQ(ds_->variables[2].kind, 13u);
        EXPECT_EQ(ds_->variables[3].kind, 9u);
        ASSERT_EQ(read(), 1) << message();
        EXPECT_EQ(points(0), "100=1 200=4 300=5");
        EXPECT_EQ(points(1), "100=2");
        EXPECT_EQ(points(2), "100=3 300=6");
        if (ac) {
            ASSERT_NE(values_.imag, nullptr);
            EXPECT_EQ(values_.imag[0][0][0], -1.0f);
            EXPECT_EQ(values_.imag[0][0][2], -5.0f);
            EXPECT_EQ(values_.imag[1], nullptr);
        } else {
            EXPECT_EQ(values_.imag, nullptr);
        }
    }
}

TEST_F(TaggedRecordTest, LongSignalsGrowTheirArrays) {
    TaggedRecordHeader header;
    header.signals = {{0, 1, "v(a)"}, {1, 1, "v(b)"}};
    TaggedRecordStream stream;
    writers::writeTaggedHeader(stream, header);
    // The first room is sized from the file, which the one busy signal
    // outgrows many times over.
    for (int k = 0; k < 3000; ++k) stream.single(0, 1.0f, {static_cast<float>(k)});
    stream.single(1, 1.0f, {-1.0f});
    stream.endSweep();
    ASSERT_EQ(open(save(writers::frameTaggedRecord(stream))), static_cast<uint32_t>(kOpenOk))
        << message();
    ASSERT_EQ(read(), 1) << message();
    ASSERT_EQ(values_.counts[0][0], 3000u);
    for (uint32_t k = 0; k < 3000; ++k) {
        ASSERT_EQ(values_.real[0][0][k], static_cast<float>(k));
        ASSERT_EQ(values_.axis[0][0][k], static_cast<float>(k + 1));
    }
    EXPECT_EQ(points(1), "3001=-1");
}

TEST_F(TaggedRecordTest, DamagedHeaders) {
    auto openHeader = [&](const TaggedRecordHeader& header,
                          TaggedByteOrder order = TaggedByteOrder::kLittle) {
        TaggedRecordStream stream(order);
        writers::writeTaggedHeader(stream, header);
        return open(save(writers::frameTaggedRecord(stream)));
    };
    const std::string path = (dir_ / "run.trn").string();
    const uint32_t failed = kOpenNoReader;
    TaggedRecordHeader good;
    good.signals = {{0, 1, "v(a)"}};
    {
        // Names below 1024 bytes and titles below 100 are fine; at the limit
        // they fail before a byte of them is stored, without a message.
        TaggedRecordHeader header = good;
        header.signals[0].name = std::string(1023, 'n');
        header.title = std::string(99, 't');
        ASSERT_EQ(openHeader(header), static_cast<uint32_t>(kOpenOk));
        EXPECT_EQ(signalName(0).size(), 1023u);
        EXPECT_EQ(std::string(ds_->title).size(), 99u);
        header.signals[0].name = std::string(1024, 'n');
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), "");
        header = good;
        header.title = std::string(100, 't');
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), "");
        header = good;
        header.axisName = std::string(5000, 'x');
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), "");
    }
    {
        // Counts and identifiers the file cannot back.
        TaggedRecordHeader header = good;
        header.declaredSignalCount = 0x7FFFFFFF;
        EXPECT_EQ(openHeader(header, TaggedByteOrder::kBig), failed);
        EXPECT_EQ(message(), "Malformed data file " + path + " !!");
        header.declaredSignalCount.reset();
        header.signals[0].identifier = 1 << 28;
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), "Malformed data file " + path + " !!");
        header.signals[0].identifier = -3;
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), "Malformed data file " + path + " !!");
        header = good;
        header.declaredSignalCount = -2;
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), "Malformed data file " + path + " !!");
        header = good;
        header.sweepCount = -1;
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), "Malformed data file " + path + " !!");
    }
    {
        // Scopes: a parent must come first; a record without "." fails.
        TaggedRecordHeader header = good;
        header.scopes = {{1, "top."}, {2, "x9.y."}};
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), "Error: Intenal Error");
        header.scopes = {{1, "top"}};
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), "");
        header.scopes = {{1, "a."}, {2, "a.b."}, {3, "a.b.c.x"}, {4, "a."}, {5, "a.d."}};
        ASSERT_EQ(openHeader(header), static_cast<uint32_t>(kOpenOk));
        // A scope declared again gets a new item; later children hang under it.
        EXPECT_EQ(describeScopeTree(ds_), "a 1\n  a.b 2\n    a.b.c 3\na 4\n  a.d 5\n");
    }
    {
        TaggedRecordHeader header = good;
        header.sweepParameters = {"temp", "temp"};
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), "Error: Duplicate type defintion temp !!");
    }
    {
        // Block framing: a bad marker, a block far longer than the file, a
        // block with less data than it declares.
        TaggedRecordStream stream;
        writers::writeTaggedHeader(stream, good);
        std::string bytes = writers::frameTaggedRecord(stream, 16);
        std::string badMarker = bytes;
        badMarker[24] = 8;
        EXPECT_EQ(open(save(badMarker)), failed);
        EXPECT_EQ(message(), "Malformed data file " + path + " !!");
        std::string huge = bytes.substr(0, 24);
        huge[4] = huge[5] = huge[6] = 0;
        huge[7] = 0x7F;
        EXPECT_EQ(open(save(huge)), failed);
        EXPECT_EQ(message(), "Malformed data file " + path + " !!");
        std::string longBlock = bytes.substr(0, 24);
        longBlock[4] = 0x05;
        longBlock[5] = 0x20;  // 8197 bytes: one more than a block may hold
        longBlock += std::string(8200, '\0');
        EXPECT_EQ(open(save(longBlock)), failed);
        EXPECT_EQ(message(), "Malformed data file " + path + " !!");
        std::string zeroLength = bytes;
        zeroLength[28] = 0;
        EXPECT_EQ(open(save(zeroLength)), failed);
        EXPECT_EQ(message(), "Malformed data file " + path + " !!");
    }
}

TEST_F(TaggedRecordTest, DamagedData) {
    TaggedRecordHeader header;
    header.signals = {{1, 1, "v(a)"}, {3, 1, "v(b)"}};
    auto openData = [&](const std::function<void(TaggedRecordStream&)>& data) {
        TaggedRecordStream stream;
        writers::writeTaggedHeader(stream, header);
        data(stream);
        EXPECT_EQ(open(save(writers::frameTaggedRecord(stream))), static_cast<uint32_t>(kOpenOk));
        return read();
    };
    const std::string path = (dir_ / "run.trn").string();
    {
        // An undeclared identifier inside the map goes to the first signal.
        EXPECT_EQ(openData([](TaggedRecordStream& s) { s.single(2, 1.0f, {7.0f}).endSweep(); }), 1);
        EXPECT_EQ(points(0), "1=7");
    }
    {
        EXPECT_EQ(openData([](TaggedRecordStream& s) { s.single(4, 1.0f, {7.0f}).endSweep(); }), 0);
        EXPECT_EQ(message(), "Error: malformed data file");
        EXPECT_EQ(openData([](TaggedRecordStream& s) {
                      s.groupPairs(1.0f, {{0x3FFFFFFF, {1.0f}}}).endSweep();
                  }),
                  0);
        EXPECT_EQ(message(), "Error: malformed data file");
        EXPECT_EQ(openData([](TaggedRecordStream& s) {
                      s.groupAll(3, 1.0f, {1, 2, 3}).endSweep();
                  }),
                  0);
        EXPECT_EQ(message(), "Error: malformed data file");
    }
    {
        // A sweep that never ends, and sweeps the header promised but the
        // file does not hold.
        EXPECT_EQ(openData([](TaggedRecordStream& s) { s.single(1, 1.0f, {7.0f}); }), 0);
        EXPECT_EQ(message(), "Malformed data file " + path + " !!");
        header.sweepCount = 0x7FFFFFFF;
        EXPECT_EQ(openData([](TaggedRecordStream& s) { s.single(1, 1.0f, {7.0f}).endSweep(); }), 0);
        EXPECT_EQ(message(), "Malformed data file " + path + " !!");
        EXPECT_EQ(ds_->lastError, 0u);
        EXPECT_EQ(values_.real, nullptr);
        // Empty sweeps cost far less file than the slots they would need.
        header.signals.resize(200, {1, 1, "v(x)"});
        for (size_t i = 0; i < header.signals.size(); ++i)
            header.signals[i].identifier = static_cast<int32_t>(i);
        EXPECT_EQ(openData([](TaggedRecordStream& s) {
                      for (int k = 0; k < 1000; ++k) s.endSweep();
                  }),
                  0);
        EXPECT_EQ(message(), "Malformed data file " + path + " !!");
    }
    {
        header = {};
        EXPECT_EQ(openData([](TaggedRecordStream& s) { s.endSweep(); }), 0);
        EXPECT_EQ(message(), "Error: Empty file " + path + " !!");
    }
}

TEST_F(TaggedRecordTest, CutAtEveryLength) {
    TaggedRecordHeader header;
    header.sweepCount = 2;
    header.sweepParameters = {"temp"};
    header.signals = {{0, 8, "v(a)"}, {1, 2, "i(b)"}};
    header.axisType = 2;
    header.scopes = {{1, "a."}, {2, "a.b."}};
    TaggedRecordStream stream(TaggedByteOrder::kBig);
    writers::writeTaggedHeader(stream, header);
    for (int s = 0; s < 2; ++s) {
        stream.sweepParameters({1.0f * s}).absoluteTime(1.0);
        stream.groupAll(2, 1.0f, {1, 2, 3})
            .single(1, 1.0f, {4})
            .groupPairs(1.0f, {{0, {5, 6}}})
            .endSweep();
    }
    const std::string full = writers::frameTaggedRecord(stream, 11);
    const std::string path = (dir_ / "run.trn").string();
    for (size_t cut = 0; cut <= full.size(); ++cut) {
        SCOPED_TRACE(cut);
        uint32_t status = open(save(full.substr(0, cut)));
        if (status != kOpenOk) {
            EXPECT_EQ(ds_, nullptr);
            continue;
        }
        int ok = read();
        EXPECT_EQ(ok == 1, cut == full.size()) << message();
        if (!ok) {
            EXPECT_EQ(message(), "Malformed data file " + path + " !!");
        }
    }
}

}  // namespace
