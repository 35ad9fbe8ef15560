// What no run of the converter reaches: sweeps without arrays, and times
// formatted ahead from other arrays.
#include "curve_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "run_tool.h"

namespace {

// The sample lines the writer gives for the curve.
std::string sampleLines(const CurveSamples& samples) {
    testkit::ScratchDir dir;
    WaveformDataset ds{};
    ExportedSignalSet exported;
    writeCurveFile(ds, "s", 0, samples, (dir / "s.cur").string(), exported);
    EXPECT_EQ(exported.size(), 1u);
    const std::string text = testkit::readFile(dir / "s.cur");
    const std::string head = "n1     n2     blue     s.\n", end = "**************End***";
    const std::size_t from = text.find(head) + head.size();
    return text.substr(from, text.find(end) - from);
}

TEST(CurveFile, MissingArraysAndForeignTimes) {
    float t0[] = {1, 2}, t1[] = {5}, v0[] = {3, 4}, v1[] = {6};
    float* axis[] = {t0, t1};
    float* values[] = {v0, v1};
    const uint32_t counts[] = {2, 1};
    CurveSamples samples;
    samples.axis = axis;
    samples.values = values;
    samples.counts = counts;
    samples.sweepCount = 2;
    float* otherAxis[] = {v1};
    const uint32_t otherCounts[] = {1};
    const AxisText foreign(otherAxis, otherCounts, 1);
    samples.axisText = &foreign;  // made from other arrays: not used
    EXPECT_EQ(sampleLines(samples), "1 3\n5 6\n2 4\n");
    values[0] = nullptr;
    EXPECT_EQ(sampleLines(samples), "5 6\n");
    samples.values = nullptr;
    EXPECT_EQ(sampleLines(samples), "");
}

}  // namespace
