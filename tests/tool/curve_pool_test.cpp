// The curve writer pool against writeCurveFile one curve after another: the
// same files, console lines and exported set.
#include "curve_pool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "in_folder.h"

namespace {

struct Curve {
    int signal;  // 0 a voltage, 1 a current (warned about)
    const char* path;
};

// More curves than the pool keeps in flight; a name written twice (the later
// must win), a folder that does not exist, and warnings among them.
const Curve kCurves[] = {{0, "a.cur"}, {1, "b.cur"}, {0, "none/c.cur"}, {0, "a.cur"},
                         {1, "d.cur"}, {0, "e.cur"}, {0, "f.cur"},      {1, "none/g.cur"},
                         {0, "h.cur"}, {0, "i.cur"}, {0, "e.cur"},      {0, "j.cur"},
                         {1, "k.cur"}, {0, "l.cur"}, {0, "m.cur"},      {0, "n.cur"}};

struct Outcome {
    std::string out, err;
    std::vector<std::string> files;
    ExportedSignalSet exported;
};

template <typename WriteAll>
Outcome run(WriteAll writeAll) {
    InScratchFolder here;
    Outcome o;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    writeAll(o.exported);
    o.out = testing::internal::GetCapturedStdout();
    o.err = testing::internal::GetCapturedStderr();
    for (const Curve& c : kCurves) {
        o.files.push_back(std::filesystem::exists(c.path) ? testkit::readFile(c.path) : "-");
    }
    return o;
}

TEST(CurvePool, WritesAndReportsLikeOneCurveAfterAnother) {
    WaveformDataset ds;
    std::memset(&ds, 0, sizeof ds);
    VariableRecord records[3] = {};
    records[1].typeCode = 1;
    records[2].typeCode = 8;
    ds.variables = records;
    ds.variableCount = 3;
    ds.firstSignalIndex = 1;

    // Each curve has its own values, so a replaced file shows which one won;
    // earlier ones have longer lines, so a mixed file shows too.
    std::vector<std::vector<float>> values;
    std::vector<float> axis(5000);
    for (std::size_t p = 0; p < axis.size(); ++p) axis[p] = static_cast<float>(p) * 1e-9f;
    for (std::size_t k = 0; k < std::size(kCurves); ++k) {
        values.emplace_back(axis.size(), k < 3 ? 1.0f / 3 : static_cast<float>(k));
    }
    std::vector<float*> axisSlots = {axis.data()};
    std::vector<float*> valueSlots;
    for (auto& v : values) valueSlots.push_back(v.data());
    const uint32_t count = static_cast<uint32_t>(axis.size());
    auto samples = [&](std::size_t k) {
        CurveSamples s;
        s.axis = axisSlots.data();
        s.values = &valueSlots[k];
        s.counts = &count;
        s.sweepCount = 1;
        return s;
    };
    auto nameOf = [](std::size_t k) { return "s" + std::to_string(k % 5); };

    const Outcome alone = run([&](ExportedSignalSet& exported) {
        for (std::size_t k = 0; k < std::size(kCurves); ++k) {
            writeCurveFile(ds, nameOf(k), kCurves[k].signal, samples(k), kCurves[k].path, exported);
        }
    });
    for (unsigned threads : {1u, 3u}) {
        const Outcome pooled = run([&](ExportedSignalSet& exported) {
            CurvePool pool(exported, threads);
            for (std::size_t k = 0; k < std::size(kCurves); ++k) {
                pool.write(ds, nameOf(k), kCurves[k].signal, samples(k), kCurves[k].path);
            }
            pool.finishAll();
        });
        EXPECT_EQ(pooled.out, alone.out);
        EXPECT_EQ(pooled.err, alone.err);
        EXPECT_TRUE(pooled.files == alone.files);  // no diff of large texts
        EXPECT_EQ(pooled.exported, alone.exported);
    }
    EXPECT_NE(alone.err, "");
    EXPECT_NE(alone.out, "");
}

}  // namespace
