// Framed event files through wfxOpen/wfxRead: header layout, grouped and
// single records in both byte orders, identifiers outside the map, damaged
// headers, and cuts at every length.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "framed_event_writer.h"
#include "reader_fixture.h"
#include "run_tool.h"
#include "wfx.h"

namespace {

using writers::FramedByteOrder;
using writers::FramedEventHeader;
using writers::FramedEventStream;

class FramedEventTest : public testkit::ReaderFixture {
  protected:
    std::string save(const std::string& bytes, const std::string& name = "run.fev",
                     bool gzip = false) {
        std::string path = (dir_ / name).string();
        writers::saveFramedEventFile(path, bytes, gzip);
        return path;
    }
};

// extraLength: the second extra record is longer than a block may be, and is
// skipped in pieces.
FramedEventHeader basicHeader(size_t extraLength) {
    FramedEventHeader header;
    header.extras = {"skipped text", std::string(extraLength, 'x')};
    header.signals = {
        {true, 0, 0, "v(a)"}, {false, 7, 3, "out"}, {true, 0, 0, "v(b)"}, {false, 9, 0, " v(c)\t"}};
    return header;
}

std::string basicFile(FramedByteOrder order, int32_t blockSize, size_t extraLength = 10000) {
    FramedEventStream stream(order);
    writers::writeFramedEventHeader(stream, basicHeader(extraLength));
    stream.group({1.0f, 2.0f}, 0.0f);
    // Bits 28 to 30 of a tag are not part of the identifier.
    stream.single(0x10000007u, 3.0f, 1.0f);
    stream.group({4.0f, 5.0f}, 2.0f, 0xFFFFFFFFu);
    stream.single(9, 6.0f, 3.0f);
    stream.single(8, 99.0f, 4.0f);     // no signal has identifier 8
    stream.single(1000, 99.0f, 5.0f);  // past the largest identifier
    stream.single(7, 7.0f, 6.0f);
    stream.end();
    stream.single(9, 99.0f, 7.0f);  // behind the end tag
    return writers::frameFramedEvent(stream, blockSize);
}

TEST_F(FramedEventTest, ReadsBothByteOrdersAndAnyBlockSize) {
    struct Variant {
        FramedByteOrder order;
        int32_t blockSize;
        bool gzip;
    };
    const Variant variants[] = {{FramedByteOrder::kLittle, 4096, false},
                                {FramedByteOrder::kBig, 4096, false},
                                {FramedByteOrder::kLittle, 5, false},
                                {FramedByteOrder::kBig, 13, true}};
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.blockSize);
        std::string path =
            save(basicFile(v.order, v.blockSize), v.gzip ? "run.fev.gz" : "run.fev", v.gzip);
        ASSERT_EQ(open(path), static_cast<uint32_t>(kOpenOk)) << message();
        EXPECT_EQ(ds_->dataFormat, static_cast<uint32_t>(kFormatFramedEvent));
        EXPECT_EQ(ds_->fileMode,
                  v.order == FramedByteOrder::kBig ? kModeBinary | kModeSwapped : kModeBinary);
        EXPECT_EQ(ds_->analysisKind, 0xFFFFFFFFu);
        EXPECT_EQ(std::string(ds_->date), "06-Dec-2026     ");
        EXPECT_EQ(std::string(ds_->title), "framed event test");
        EXPECT_EQ(ds_->mainCount, 4);
        EXPECT_EQ(ds_->probeCount, 2);
        EXPECT_EQ(ds_->sweepParamCount, 2);
        EXPECT_EQ(ds_->signalCount, 4);
        EXPECT_EQ(ds_->firstSignalIndex, 1);
        EXPECT_EQ(wfxName(ds_, ds_->variables[0].nameOffset), std::string("time"));
        EXPECT_EQ(signalName(0), "v(a)");
        EXPECT_EQ(signalName(1), "3:out");
        EXPECT_EQ(signalName(3), "v(c)");
        EXPECT_EQ(ds_->variables[2].kind, static_cast<uint32_t>(kKindReal));
        EXPECT_EQ(ds_->variables[2].typeCode, 1u);
        ASSERT_EQ(ds_->signalIdListSize, 2);
        EXPECT_EQ(ds_->signalIdList[0], 0);
        EXPECT_EQ(ds_->signalIdList[1], 2);
        ASSERT_EQ(ds_->signalIdMapSize, 10);
        EXPECT_EQ(ds_->signalIdMap[7], 1);
        EXPECT_EQ(ds_->signalIdMap[9], 3);
        EXPECT_EQ(ds_->signalIdMap[8], -1);

        for (int pass = 0; pass < 2; ++pass) {
            ASSERT_EQ(read(), 1) << message();
            ASSERT_EQ(values_.holderCount, 4);
            ASSERT_EQ(values_.sweepCount, 1);
            EXPECT_EQ(values_.imag, nullptr);
            EXPECT_EQ(values_.sweepValues, nullptr);
            EXPECT_EQ(points(0), "0=1 2=4");
            EXPECT_EQ(points(1), "1=3 6=7");
            EXPECT_EQ(points(2), "0=2 2=5");
            EXPECT_EQ(points(3), "3=6");
        }
    }
}

TEST_F(FramedEventTest, LongSignalsGrowTheirArrays) {
    FramedEventHeader header;
    header.signals = {{false, 0, 0, "v(a)"}, {true, 0, 0, "v(b)"}};
    FramedEventStream stream(FramedByteOrder::kBig);
    writers::writeFramedEventHeader(stream, header);
    for (int k = 0; k < 2500; ++k)
        stream.single(0, static_cast<float>(k), static_cast<float>(2 * k));
    stream.group({-1.0f}, 1.0f).end();
    ASSERT_EQ(open(save(writers::frameFramedEvent(stream))), static_cast<uint32_t>(kOpenOk))
        << message();
    ASSERT_EQ(read(), 1) << message();
    ASSERT_EQ(values_.counts[0][0], 2500u);
    for (uint32_t k = 0; k < 2500; ++k) {
        ASSERT_EQ(values_.real[0][0][k], static_cast<float>(k));
        ASSERT_EQ(values_.axis[0][0][k], static_cast<float>(2 * k));
    }
    EXPECT_EQ(points(1), "1=-1");
}

TEST_F(FramedEventTest, DamagedHeaders) {
    const std::string path = (dir_ / "run.fev").string();
    const std::string malformed = "Malformed data file " + path + " !!";
    const uint32_t failed = kOpenNoReader;
    auto openHeader = [&](const FramedEventHeader& header) {
        FramedEventStream stream;
        writers::writeFramedEventHeader(stream, header);
        stream.end();
        return open(save(writers::frameFramedEvent(stream)));
    };
    FramedEventHeader good;
    good.signals = {{true, 0, 0, "v(a)"}, {false, 1, 0, "v(b)"}};
    {
        // Grouped signals must match the group count exactly.
        FramedEventHeader header = good;
        header.declaredGroupCount = 0;
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), malformed);
        header.declaredGroupCount = 2;
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), malformed);
        header.declaredGroupCount = 3;
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), malformed);
        header.declaredGroupCount = -1;
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), malformed);
    }
    {
        // Counts and identifiers the file cannot back fail quickly.
        FramedEventHeader header = good;
        header.declaredSignalCount = 0x7FFFFFFF;
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), malformed);
        header.declaredSignalCount = -4;
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), malformed);
        header = good;
        header.signals[1].identifier = 0x0FFFFFFF;
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), malformed);
    }
    {
        // Names: up to 1023 bytes, prefix included.
        FramedEventHeader header = good;
        header.signals[1].name = std::string(1023, 'n');
        ASSERT_EQ(openHeader(header), static_cast<uint32_t>(kOpenOk));
        EXPECT_EQ(signalName(1).size(), 1023u);
        header.signals[1].name = std::string(1024, 'n');
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), malformed);
        header.signals[1].prefix = 12345;
        header.signals[1].name = std::string(1017, 'n');
        ASSERT_EQ(openHeader(header), static_cast<uint32_t>(kOpenOk));
        EXPECT_EQ(signalName(1), "12345:" + std::string(1017, 'n'));
        header.signals[1].name = std::string(1018, 'n');
        EXPECT_EQ(openHeader(header), failed);
        EXPECT_EQ(message(), malformed);
    }
    {
        // Block framing: a length of 2 GB in a tiny file, a bad framing word.
        FramedEventStream stream;
        writers::writeFramedEventHeader(stream, good);
        std::string bytes = writers::frameFramedEvent(stream, 64);
        std::string huge = bytes.substr(0, 100);
        huge[15] = 0x7F;
        EXPECT_EQ(open(save(huge)), failed);
        EXPECT_EQ(message(), malformed);
        std::string badWord = bytes;
        badWord[84] = 6;  // the second block's first framing word
        EXPECT_EQ(open(save(badWord)), failed);
        EXPECT_EQ(message(), malformed);
    }
    {
        FramedEventHeader header;
        ASSERT_EQ(openHeader(header), static_cast<uint32_t>(kOpenOk));
        EXPECT_EQ(ds_->variableCount, 0);
        EXPECT_EQ(read(), 0);
        EXPECT_EQ(message(), "Error: Empty file " + path + " !!");
    }
}

TEST_F(FramedEventTest, CutAtEveryLength) {
    const std::string full = basicFile(FramedByteOrder::kBig, 29, 3);
    ASSERT_EQ(open(save(full)), static_cast<uint32_t>(kOpenOk));
    ASSERT_EQ(read(), 1);
    std::vector<std::string> complete;
    for (int32_t i = 0; i < 4; ++i) complete.push_back(points(i));

    for (size_t cut = 0; cut < full.size(); ++cut) {
        SCOPED_TRACE(cut);
        if (open(save(full.substr(0, cut))) != kOpenOk) {
            EXPECT_EQ(ds_, nullptr);
            continue;
        }
        // A cut in the data keeps every complete record before it.
        ASSERT_EQ(read(), 1) << message();
        for (int32_t i = 0; i < 4; ++i) {
            std::string got = points(i);
            EXPECT_EQ(complete[static_cast<size_t>(i)].compare(0, got.size(), got), 0) << got;
        }
    }
}

}  // namespace
