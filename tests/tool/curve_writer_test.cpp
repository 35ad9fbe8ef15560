// The number form against the C library, and the curve file layout.
#include "curve_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "in_folder.h"

namespace {

std::string viaFormatter(float value) {
    char text[kMaxValueText];
    return std::string(text, formatValue(text, value));
}

std::string viaPrintf(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.12g", static_cast<double>(value));
    return text;
}

float fromBits(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

TEST(CurveNumbers, MatchPrintfTwelveDigits) {
    EXPECT_EQ(viaFormatter(0.5f), "0.5");
    EXPECT_EQ(viaFormatter(0.0f), "0");
    EXPECT_EQ(viaFormatter(100.0f), "100");
    EXPECT_EQ(viaFormatter(1.2f), "1.20000004768");
    EXPECT_EQ(viaFormatter(1e-9f), "9.99999971718e-10");

    std::vector<float> special = {-0.0f,
                                  std::numeric_limits<float>::infinity(),
                                  -std::numeric_limits<float>::infinity(),
                                  std::numeric_limits<float>::quiet_NaN(),
                                  -std::numeric_limits<float>::quiet_NaN(),
                                  fromBits(0x7fa00001u),  // signalling NaN with a payload
                                  fromBits(0xffc12345u),
                                  std::numeric_limits<float>::denorm_min(),
                                  -std::numeric_limits<float>::denorm_min(),
                                  std::numeric_limits<float>::min(),
                                  std::numeric_limits<float>::max(),
                                  -std::numeric_limits<float>::max(),
                                  1e-4f,
                                  9.9999e-5f,
                                  1e-5f,
                                  1e11f,
                                  1e12f,
                                  999999999999.0f,
                                  123456789012.0f,
                                  0.0001f,
                                  0.00001f,
                                  1.0f / 3.0f,
                                  -2.5e-38f,
                                  16777216.0f,
                                  16777217.0f};
    for (float value : special) {
        EXPECT_EQ(viaFormatter(value), viaPrintf(value)) << std::hexfloat << value;
    }

    // Random bit patterns cover normals, subnormals, NaNs and infinities.
    std::mt19937 random(20261206);
    for (int i = 0; i < 200000; ++i) {
        const float value = fromBits(static_cast<uint32_t>(random()));
        ASSERT_EQ(viaFormatter(value), viaPrintf(value)) << std::hexfloat << value;
    }
    // Values of the size circuits produce, where the 12-digit rounding and the
    // switch to exponent form matter most.
    std::uniform_real_distribution<double> exponent(-15.0, 15.0);
    for (int i = 0; i < 100000; ++i) {
        const float value = static_cast<float>(std::pow(10.0, exponent(random)));
        ASSERT_EQ(viaFormatter(value), viaPrintf(value)) << std::hexfloat << value;
        ASSERT_EQ(viaFormatter(-value), viaPrintf(-value)) << std::hexfloat << value;
    }
}

// A dataset whose only content is the variable table the writer looks at.
struct FakeDataset {
    explicit FakeDataset(std::vector<uint32_t> signalTypes) {
        std::memset(&ds, 0, sizeof ds);
        records.resize(signalTypes.size() + 1);
        for (std::size_t i = 0; i < signalTypes.size(); ++i)
            records[i + 1].typeCode = signalTypes[i];
        ds.variables = records.data();
        ds.variableCount = static_cast<int32_t>(records.size());
        ds.firstSignalIndex = 1;
    }
    WaveformDataset ds;
    std::vector<VariableRecord> records;
};

// Per-sweep arrays for writeCurveFile, kept alive by the test.
struct Sweeps {
    std::vector<std::vector<float>> axis, values;
    std::vector<float*> axisPointers, valuePointers;
    std::vector<uint32_t> counts;

    void add(std::vector<float> x, std::vector<float> y) {
        counts.push_back(static_cast<uint32_t>(x.size()));
        axis.push_back(std::move(x));
        values.push_back(std::move(y));
    }
    CurveSamples samples() {
        axisPointers.clear();
        valuePointers.clear();
        for (auto& a : axis) axisPointers.push_back(a.data());
        for (auto& v : values) valuePointers.push_back(v.data());
        CurveSamples s;
        s.axis = axisPointers.data();
        s.values = valuePointers.data();
        s.counts = counts.data();
        s.sweepCount = static_cast<int32_t>(counts.size());
        return s;
    }
};

const std::string kHeader =
    "*******Voltage*********\n\n*[Dim=Voltage]\n**************Curve***************\n";
const std::string kEnd = "**************End***************\n";

std::string writeAndRead(const FakeDataset& fake, const std::string& name, const CurveSamples& s,
                         ExportedSignalSet& exported) {
    writeCurveFile(fake.ds, name, 0, s, "c.cur", exported);
    return testkit::readFile("c.cur");
}

TEST(CurveFile, SampleLines) {
    InScratchFolder here;
    FakeDataset voltage({1});
    {  // Repeated times give no line; a NaN time always does.
        const float nan = std::numeric_limits<float>::quiet_NaN();
        Sweeps sweeps;
        sweeps.add({0, 1e-9f, 1e-9f, 1e-9f, 2e-9f, nan, nan}, {0.5f, 1, 2, 3, 4, 5, 6});
        ExportedSignalSet exported;
        EXPECT_EQ(writeAndRead(voltage, "out", sweeps.samples(), exported),
                  kHeader +
                      "n1     n2     blue     out.\n"
                      "0 0.5\n9.99999971718e-10 1\n1.99999994344e-09 4\nnan 5\nnan 6\n" +
                      kEnd);
        EXPECT_EQ(exported, ExportedSignalSet{"out"});
    }
    {  // No points: header and End only.
        Sweeps sweeps;
        sweeps.add({}, {});
        ExportedSignalSet exported;
        EXPECT_EQ(writeAndRead(voltage, "v(a)", sweeps.samples(), exported),
                  kHeader + "n1     n2     blue     v(a).\n" + kEnd);
    }
    {  // Sweeps interleave point by point; a shorter sweep stops at its count,
       // and repeats are judged within one sweep only.
        Sweeps sweeps;
        sweeps.add({0, 1, 2}, {10, 11, 12});
        sweeps.add({0, 0, 5, 6}, {20, 21, 22, 23});
        sweeps.add({7}, {30});
        ExportedSignalSet exported;
        const std::string expected = kHeader +
                                     "n1     n2     blue     x.\n"
                                     "0 10\n0 20\n7 30\n1 11\n2 12\n5 22\n6 23\n" +
                                     kEnd;
        CurveSamples s = sweeps.samples();
        EXPECT_EQ(writeAndRead(voltage, "x", s, exported), expected);
        // Times formatted ahead give the same text, and are ignored when
        // they were made from other arrays.
        const AxisText text(s.axis, s.counts, s.sweepCount);
        s.axisText = &text;
        EXPECT_EQ(writeAndRead(voltage, "x", s, exported), expected);
        Sweeps other;
        other.add({9}, {9});
        const CurveSamples elsewhere = other.samples();
        const AxisText wrong(elsewhere.axis, elsewhere.counts, 1);
        s.axisText = &wrong;
        EXPECT_EQ(writeAndRead(voltage, "x", s, exported), expected);
    }
    {  // Missing arrays contribute nothing instead of being read.
        Sweeps sweeps;
        sweeps.add({1, 2}, {3, 4});
        sweeps.add({5}, {6});
        CurveSamples s = sweeps.samples();
        sweeps.valuePointers[0] = nullptr;
        ExportedSignalSet exported;
        EXPECT_EQ(writeAndRead(voltage, "y", s, exported),
                  kHeader + "n1     n2     blue     y.\n5 6\n" + kEnd);
        s.values = nullptr;
        EXPECT_EQ(writeAndRead(voltage, "y", s, exported),
                  kHeader + "n1     n2     blue     y.\n" + kEnd);
        EXPECT_EQ(exported.count("y"), 2u);
    }
}

TEST(CurveFile, WarningsAndFailures) {
    InScratchFolder here;
    Sweeps sweeps;
    sweeps.add({0}, {1});
    {  // A current is written after its warning.
        FakeDataset current({8});
        ExportedSignalSet exported;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const std::string text = writeAndRead(current, "i(r1)", sweeps.samples(), exported);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "Warning: values of i(r1) are not VOLTAGE.\n");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(text, kHeader + "n1     n2     blue     i(r1).\n0 1\n" + kEnd);
        EXPECT_EQ(exported.size(), 1u);
    }
    {  // A file that cannot be opened is reported and not recorded.
        FakeDataset voltage({1});
        ExportedSignalSet exported;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        writeCurveFile(voltage.ds, "v", 0, sweeps.samples(), "missing/v.cur", exported);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Cannot open missing/v.cur for writing.  Operation continues.\n");
        EXPECT_TRUE(exported.empty());
    }
}

TEST(CurveFile, LongCurveCrossesTheBuffer) {
    // More text than one buffer holds must arrive whole and in order.
    InScratchFolder here;
    FakeDataset voltage({1});
    Sweeps sweeps;
    std::vector<float> x, y;
    std::string expected = kHeader + "n1     n2     blue     big.\n";
    for (int p = 0; p < 120000; ++p) {
        x.push_back(static_cast<float>(p) * 1.5e-9f);
        y.push_back(static_cast<float>(p % 977) / 7.0f);
        expected += viaPrintf(x.back()) + " " + viaPrintf(y.back()) + "\n";
    }
    sweeps.add(x, y);
    ExportedSignalSet exported;
    EXPECT_EQ(writeAndRead(voltage, "big", sweeps.samples(), exported), expected + kEnd);
}

TEST(CurveList, NamesOrCannotOpen) {
    InScratchFolder here;
    {
        CurveListFile list;
        ASSERT_TRUE(list.open("wavtrex.curlist"));
        list.addName("time-less");
        list.addName(std::string(300, 'n'));
    }
    EXPECT_EQ(testkit::readFile("wavtrex.curlist"), "time-less\n" + std::string(300, 'n') + "\n");
    testing::internal::CaptureStderr();
    CurveListFile list;
    EXPECT_FALSE(list.open("no/such/folder/wavtrex.curlist"));
    list.addName("dropped");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Cannot open curve list file for writing.  Operation continues.\n");
}

}  // namespace
