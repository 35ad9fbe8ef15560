// Curves grown over many pieces, which no golden run cuts at will.
#include "curve_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "curve_stream.h"
#include "file_bytes.h"

namespace {

// Pieces of rows make the curve the whole rows make, a time repeated across
// a piece boundary included, whether a curve keeps its file open (the first
// few) or reopens it for each piece; a later curve of the same file replaces
// it.
TEST(CurveStream, PiecesMakeTheWholeCurve) {
    float times[] = {1, 2, 2, 3, 3, 4};
    float values[2][6] = {{10, 20, 21, 30, 31, 40}, {-1, -2, -3, -4, -5, -6}};
    const uint32_t all[] = {6};
    writers::ScratchDir dir;
    WaveformDataset ds{};
    ExportedSignalSet exported;
    CurveStream curves(2);
    std::vector<std::pair<std::string, int>> written;  // name and signal of each file
    for (int k = 0; k < 40; ++k) written.emplace_back("c" + std::to_string(k), k % 2);
    for (const auto& [name, signal] : written)
        curves.add(ds, name, signal, (dir / (name + ".cur")).string());
    curves.add(ds, "b", 0, (dir / "b.cur").string());
    curves.add(ds, "b", 1, (dir / "./b.cur").string());
    written.emplace_back("b", 1);
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
    EXPECT_EQ(exported.size(), written.size() + 1);
    EXPECT_EQ(exported.count("b"), 2u);
    for (const auto& [name, signal] : written) {
        float* axis[] = {times};
        float* real[] = {values[signal]};
        const std::string path = (dir / "whole.cur").string();
        writeCurveFile(ds, name, 0, {axis, real, all, 0, 1, nullptr}, path, exported);
        EXPECT_EQ(writers::readBytes(dir / (name + ".cur")), writers::readBytes(path)) << name;
    }
}

}  // namespace
