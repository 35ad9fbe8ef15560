// What no run of the converter reaches: sweeps without arrays, times
// formatted ahead from other arrays, and curves grown over many pieces.
#include "curve_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "curve_stream.h"
#include "file_bytes.h"

namespace {

// The sample lines the writer gives for the curve.
std::string sampleLines(const CurveSamples& samples) {
    writers::ScratchDir dir;
    WaveformDataset ds{};
    ExportedSignalSet exported;
    writeCurveFile(ds, "s", 0, samples, (dir / "s.cur").string(), exported);
    EXPECT_EQ(exported.size(), 1u);
    const std::string text = writers::readBytes(dir / "s.cur");
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

// Pieces of rows make the curve the whole rows make, a time repeated across
// a piece boundary included; a later curve of the same file replaces it.
TEST(CurveStream, PiecesMakeTheWholeCurve) {
    float times[] = {1, 2, 2, 3, 3, 4};
    float values[2][6] = {{10, 20, 21, 30, 31, 40}, {-1, -2, -3, -4, -5, -6}};
    const uint32_t all[] = {6};
    writers::ScratchDir dir;
    WaveformDataset ds{};
    ExportedSignalSet exported;
    CurveStream curves(2);
    curves.add(ds, "a", 0, (dir / "a.cur").string());
    curves.add(ds, "b", 0, (dir / "b.cur").string());
    curves.add(ds, "b", 1, (dir / "./b.cur").string());
    for (const uint32_t from : {0, 2, 4}) {
        float* axis[] = {times + from};
        float* real[2][1] = {{values[0] + from}, {values[1] + from}};
        float** realOf[] = {real[0], real[1]};
        float** axisOf[] = {axis};
        uint32_t count[] = {2};
        uint32_t* countOf[] = {count};
        WaveformValues piece{realOf, nullptr, axisOf, countOf, nullptr, 2, 1, 1, 1};
        curves.append(piece);
    }
    curves.finish(exported);
    EXPECT_EQ(exported, (ExportedSignalSet{"a", "b", "b"}));
    for (const int signal : {0, 1}) {
        float* axis[] = {times};
        float* real[] = {values[signal]};
        const std::string path = (dir / "whole.cur").string(), name = signal == 0 ? "a" : "b";
        writeCurveFile(ds, name, 0, {axis, real, all, 0, 1, nullptr}, path, exported);
        EXPECT_EQ(writers::readBytes(dir / (name + ".cur")), writers::readBytes(path)) << name;
    }
}

}  // namespace
