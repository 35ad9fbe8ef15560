// Curves grown over many pieces, which no golden run cuts at will.
#include "curve_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "curve_stream.h"
#include "file_bytes.h"

namespace {

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
