// What no golden run reaches: a curve longer than the write buffer, sweeps
// without arrays, and times formatted ahead from other arrays.
#include "curve_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "run_tool.h"

namespace {

// Sweep s of the curve: times axis[s], values values[s].
struct Sweeps {
    Sweeps(std::vector<std::vector<float>> x, std::vector<std::vector<float>> y)
        : axis(std::move(x)), values(std::move(y)) {}
    std::vector<std::vector<float>> axis, values;
    std::vector<float*> axisPointers, valuePointers;
    std::vector<uint32_t> counts;

    CurveSamples samples() {
        for (std::size_t s = 0; s < axis.size(); ++s) {
            axisPointers.push_back(axis[s].data());
            valuePointers.push_back(values[s].data());
            counts.push_back(static_cast<uint32_t>(axis[s].size()));
        }
        CurveSamples samples;
        samples.axis = axisPointers.data();
        samples.values = valuePointers.data();
        samples.counts = counts.data();
        samples.sweepCount = static_cast<int32_t>(axis.size());
        return samples;
    }
};

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

std::string printed(float x, float y) {
    char line[64];
    std::snprintf(line, sizeof line, "%.12g %.12g\n", static_cast<double>(x),
                  static_cast<double>(y));
    return line;
}

TEST(CurveFile, LongerThanTheWriteBuffer) {
    Sweeps sweeps({{}}, {{}});
    std::string expected;
    for (int p = 0; p < 120000; ++p) {
        sweeps.axis[0].push_back(static_cast<float>(p) * 1.5e-9f);
        sweeps.values[0].push_back(static_cast<float>(p % 977) / 7.0f);
        expected += printed(sweeps.axis[0].back(), sweeps.values[0].back());
    }
    CurveSamples samples = sweeps.samples();
    EXPECT_EQ(sampleLines(samples), expected);
    const AxisText text(samples.axis, samples.counts, samples.sweepCount);
    samples.axisText = &text;
    EXPECT_EQ(sampleLines(samples), expected);
}

TEST(CurveFile, MissingArraysAndForeignTimes) {
    Sweeps sweeps({{1, 2}, {5}}, {{3, 4}, {6}});
    CurveSamples samples = sweeps.samples();
    Sweeps other({{9}}, {{9}});
    const CurveSamples elsewhere = other.samples();
    const AxisText foreign(elsewhere.axis, elsewhere.counts, 1);
    samples.axisText = &foreign;  // made from other arrays: not used
    EXPECT_EQ(sampleLines(samples), "1 3\n5 6\n2 4\n");
    sweeps.valuePointers[0] = nullptr;
    EXPECT_EQ(sampleLines(samples), "5 6\n");
    samples.values = nullptr;
    EXPECT_EQ(sampleLines(samples), "");
}

}  // namespace
