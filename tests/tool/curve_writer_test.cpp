// Curves grown over many pieces, which no golden run cuts at will.
#include "curve_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "curve_stream.h"
#include "file_bytes.h"

namespace {

// Hands curves one piece of `count` rows: the times at axis, signal i's
// values at values[i].
void appendRows(CurveStream& curves, float* axis, std::vector<float*> values, uint32_t count) {
    std::vector<float**> real;
    for (float*& signal : values) real.push_back(&signal);
    float** axisOf = &axis;
    uint32_t* countOf = &count;
    const auto signals = static_cast<int32_t>(values.size());
    curves.append({real.data(), nullptr, &axisOf, &countOf, nullptr, signals, 1, 1, 1});
}

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
    for (const uint32_t from : {0, 2, 4})
        appendRows(curves, times + from, {values[0] + from, values[1] + from}, 2);
    curves.finish(exported);
    EXPECT_EQ(exported.size(), written.size() + 1);
    EXPECT_EQ(exported.count("b"), 2u);
    for (const auto& [name, signal] : written) {
        float* axis[] = {times};
        float* real[] = {values[signal]};
        const std::string path = (dir / "whole.cur").string();
        CurveFileJob whole(ds, name, 0, path);
        whole.write({axis, real, all, 0, 1, nullptr});
        whole.finish(exported);
        EXPECT_EQ(writers::readBytes(dir / (name + ".cur")), writers::readBytes(path)) << name;
    }
}

enum class Fate { kWhole, kKilled, kFolderEmptied };

// Run `run` of curves of value `run` into dir: `pieces` pieces of one row,
// 40 curves (some keep their file open, some reopen it), then the list. A
// killed run dies after its first piece; for another, the folder is emptied
// then. The exit status is the number of curves written.
pid_t forkRun(const writers::ScratchDir& dir, int run, int pieces, Fate fate) {
    const pid_t child = fork();
    if (child != 0) return child;
    WaveformDataset ds{};
    CurveListFile list;
    list.open((dir / "wavtrex.curlist").string());
    list.addName(std::to_string(run));
    auto value = static_cast<float>(run);
    CurveStream curves(2);
    for (int k = 0; k < 40; ++k) curves.add(ds, "c", 0, (dir / ("c" + std::to_string(k))).string());
    for (int p = 0; p < pieces; ++p) {
        float time = static_cast<float>(p);
        appendRows(curves, &time, {&value}, 1);
        if (fate == Fate::kKilled) raise(SIGKILL);
        if (fate == Fate::kFolderEmptied && p == 0) {
            for (const auto& entry : std::filesystem::directory_iterator(dir.path))
                std::filesystem::remove(entry.path());
        }
    }
    ExportedSignalSet exported;
    curves.finish(exported);
    list.close();
    _exit(static_cast<int>(exported.size()));
}

std::set<std::string> namesIn(const writers::ScratchDir& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path))
        names.insert(entry.path().filename().string());
    return names;
}

int exitOf(pid_t run) {
    int status = -1;
    waitpid(run, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Files appear whole under their names or not at all: two runs at once each
// leave whole files (never a mix), a killed run leaves only temporaries,
// which the next run into the folder removes unless their process lives.
// Temporaries that vanish, kept open or not, fail their curves.
TEST(OutputFiles, WholeOrAbsent) {
    writers::ScratchDir dir;
    EXPECT_EQ(exitOf(forkRun(dir, 7, 2, Fate::kFolderEmptied)), 0);
    EXPECT_TRUE(namesIn(dir).empty());
    EXPECT_EQ(exitOf(forkRun(dir, 7, 2, Fate::kKilled)), -1);
    const std::string live = ".wavtrex-" + std::to_string(getppid()) + "-1.tmp";
    writers::writeBytes((dir / live).string(), "", false);
    std::set<std::string> left = namesIn(dir);
    EXPECT_EQ(left.size(), 42u);
    for (const std::string& name : left) EXPECT_EQ(name.rfind(".wavtrex-", 0), 0u) << name;

    const pid_t runs[] = {forkRun(dir, 1, 300, Fate::kWhole), forkRun(dir, 2, 300, Fate::kWhole)};
    for (const pid_t run : runs) EXPECT_EQ(exitOf(run), 40);
    left = namesIn(dir);
    EXPECT_EQ(left.size(), 42u);
    EXPECT_EQ(left.count(live), 1u);
    const std::string list = writers::readBytes(dir / "wavtrex.curlist");
    EXPECT_TRUE(list == "1\n" || list == "2\n") << list;
    std::string whole[2];
    for (int run = 0; run < 2; ++run) {
        whole[run] =
            "*******Voltage*********\n\n*[Dim=Voltage]\n"
            "**************Curve***************\nn1     n2     blue     c.\n";
        for (int p = 0; p < 300; ++p)
            whole[run] += std::to_string(p) + " " + char('1' + run) + "\n";
        whole[run] += "**************End***************\n";
    }
    for (int k = 0; k < 40; ++k) {
        const std::string curve = writers::readBytes(dir / ("c" + std::to_string(k)));
        EXPECT_TRUE(curve == whole[0] || curve == whole[1]) << k;
    }
}

}  // namespace
