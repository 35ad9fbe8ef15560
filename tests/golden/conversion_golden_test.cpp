// The built converter on generated post files: every output byte, both
// console streams and the exit status.
#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include "golden.h"
#include "post_writer.h"

namespace {

using golden::curve;
using golden::Expected;

const std::string kFail = "Unable to complete conversion.\n";

// A binary 9601 transient file of one table.
writers::PostFile transient(std::vector<writers::PostVariable> signals, std::vector<double> rows) {
    writers::PostFile file;
    file.signals = std::move(signals);
    file.tables = {{{}, std::move(rows)}};
    return file;
}

// Two voltages, out and in, over three time points.
writers::PostFile twoNodes() {
    return transient({{"out"}, {"in"}}, {0, 0.5, 1, 1e-9, 1.2, -0.125, 2e-9, 1e30, 100});
}
const std::string kOut = curve(
    "out", {"0 0.5", "9.99999971718e-10 1.20000004768", "1.99999994344e-09 1.00000001505e+30"});
const std::string kIn = curve("in", {"0 1", "9.99999971718e-10 -0.125", "1.99999994344e-09 100"});

void writeWaveform(const testkit::ScratchDir& dir, const std::string& name,
                   const writers::PostFile& file) {
    std::filesystem::create_directories((dir / name).parent_path());
    writers::writePostFile((dir / name).string(), file);
}

TEST(ConversionGolden, DirectAndListOnly) {
    testkit::ScratchDir dir;
    writeWaveform(dir, "sims/run.tr0", twoNodes());
    // The base folder lies in the working directory, not beside the file.
    golden::expectRun(
        dir, {"sims/run.tr0"},
        Expected{
            "",
            "",
            {{"run/wavtrex.curlist", "out\nin\n"}, {"run/out.cur", kOut}, {"run/in.cur", kIn}}},
        "convert all");
    testkit::ScratchDir listDir;
    writeWaveform(listDir, "sims/run.tr0", twoNodes());
    golden::expectRun(listDir, {"-t", "sims/run.tr0"},
                      Expected{"", "", {{"run/wavtrex.curlist", "out\nin\n"}}}, "list only");
    // A path longer than the 255 bytes the reader keeps for its messages
    // (each part short enough for the base name).
    testkit::ScratchDir deepDir;
    const std::string base(40, 'r');
    const std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e') + "/" + base;
    writeWaveform(deepDir, deep + ".tr0", twoNodes());
    golden::expectRun(deepDir, {deep + ".tr0"},
                      Expected{"",
                               "",
                               {{base + "/wavtrex.curlist", "out\nin\n"},
                                {base + "/out.cur", kOut},
                                {base + "/in.cur", kIn}}},
                      "long path");
}

TEST(ConversionGolden, Configurations) {
    {  // Sub-folders, a node asked for twice, a node outside any list, and
       // nodes the file lacks (names compare exactly).
        testkit::ScratchDir dir;
        writeWaveform(dir, "sims/run.tr0", twoNodes());
        testkit::writeFile(dir / "a.tcc",
                           "<CurveExtraction FileName=\"sims/run.tr0\">\n"
                           "  <VoltageCurveList OutputSubFolder=\"ports\">\n"
                           "    <Curve Node=\"in\" CurveFileName=\"in.cur\"/>\n"
                           "    <Curve Node=\"out\" CurveFileName=\"out.cur\"/>\n"
                           "  </VoltageCurveList>\n"
                           "  <VoltageCurveList OutputSubFolder=\"again\">\n"
                           "    <Curve Node=\"out\" CurveFileName=\"out2.cur\"/>\n"
                           "    <Curve Node=\"gone\" CurveFileName=\"gone.cur\"/>\n"
                           "    <Curve Node=\"OUT\" CurveFileName=\"upper.cur\"/>\n"
                           "  </VoltageCurveList>\n"
                           "  <Curve Node=\"in\" CurveFileName=\"top.cur\"/>\n"
                           "</CurveExtraction>\n");
        golden::expectRun(
            dir, {"a.tcc"},
            Expected{"",
                     "The following requested signals are not exported:\nOUT\ngone\n" + kFail,
                     {{"run/wavtrex.curlist", "out\nin\n"},
                      {"run/ports/in.cur", kIn},
                      {"run/ports/out.cur", kOut},
                      {"run/again/out2.cur", kOut},
                      {"run/top.cur", kIn}}},
            "sub-folders and missing nodes");
    }
    {  // Everything found: a silent success. No Curve at all: the list only.
        testkit::ScratchDir dir;
        writeWaveform(dir, "run.tr0", twoNodes());
        testkit::writeFile(dir / "b.tcc",
                           "<CurveExtraction FileName=\"run.tr0\">\n"
                           "<Curve Node=\"in\" CurveFileName=\"vin.txt\"/>\n");
        golden::expectRun(
            dir, {"b.tcc"},
            Expected{"", "", {{"run/wavtrex.curlist", "out\nin\n"}, {"run/vin.txt", kIn}}},
            "all found");
        testkit::writeFile(dir / "c.tcc", "<CurveExtraction FileName=\"run.tr0\"/>\n");
        std::filesystem::remove_all(dir / "run");
        golden::expectRun(dir, {"c.tcc"}, Expected{"", "", {{"run/wavtrex.curlist", "out\nin\n"}}},
                          "no curves");
    }
    {  // One of two curves of a node cannot be opened: the counts differ, so
       // the report header is printed, but no name follows it.
        testkit::ScratchDir dir;
        writeWaveform(dir, "run.tr0", twoNodes());
        testkit::writeFile(dir / "d.tcc",
                           "<CurveExtraction FileName=\"run.tr0\">\n"
                           "<Curve Node=\"out\" CurveFileName=\"out.cur\"/>\n"
                           "<Curve Node=\"out\" CurveFileName=\"no/such.cur\"/>\n");
        golden::expectRun(
            dir, {"d.tcc"},
            Expected{"",
                     "Cannot open run/./no/such.cur for writing.  Operation continues.\n"
                     "The following requested signals are not exported:\n" +
                         kFail,
                     {{"run/wavtrex.curlist", "out\nin\n"}, {"run/out.cur", kOut}}},
            "curve cannot be opened");
    }
    {  // A request's folder that cannot be made at extraction time stops the
       // run at that signal: later signals are not even listed. The folder was
       // made below the first base; the second CurveExtraction moved the base
       // to a folder where a file stands in the way.
        testkit::ScratchDir dir;
        writeWaveform(dir, "run.tr0",
                      transient({{"out"}, {"in"}, {"late"}}, {0, 0.5, 1, 2, 1e-9, 1.2, -0.125, 3}));
        std::filesystem::create_directory(dir / "run");
        testkit::writeFile(dir / "run/s", "in the way");
        testkit::writeFile(dir / "e.tcc",
                           "<CurveExtraction FileName=\"other.tr0\"/>\n"
                           "<VoltageCurveList OutputSubFolder=\"s\">\n"
                           "<CurveExtraction FileName=\"run.tr0\"/>\n"
                           "<Curve Node=\"in\" CurveFileName=\"in.cur\"/>\n"
                           "<Curve Node=\"late\" CurveFileName=\"late.cur\"/>\n"
                           "</VoltageCurveList>\n"
                           "<Curve Node=\"out\" CurveFileName=\"out.cur\"/>\n");
        golden::expectRun(
            dir, {"e.tcc"},
            Expected{"",
                     "Cannot create run/s directory.\n" + kFail,
                     {{"other/s/", ""},
                      {"run/wavtrex.curlist", "out\nin\n"},
                      {"run/out.cur", curve("out", {"0 0.5", "9.99999971718e-10 1.20000004768"})}}},
            "folder cannot be made");
    }
}

TEST(ConversionGolden, WarningsAndValues) {
    {  // AC: the frequency is not time; a complex signal gives its real part.
        testkit::ScratchDir dir;
        writers::PostFile ac = transient({{"out"}, {"i(c1)", 8, true}}, {1000, 0.5, -0.25, 1e-3,  //
                                                                         10000, 0.1, 0.2, 1e-6});
        ac.axisTypeCode = 2;
        ac.axisName = "HERTZ";
        writeWaveform(dir, "filter.ac0", ac);
        golden::expectRun(
            dir, {"filter.ac0"},
            Expected{"Warning: independent variable of hertz is not TIME.\n"
                     "Warning: values of i(c1) are not VOLTAGE.\n",
                     "",
                     {{"filter/wavtrex.curlist", "out\ni(c1)\n"},
                      {"filter/out.cur", curve("out", {"1000 0.5", "10000 0.10000000149"})},
                      {"filter/i(c1).cur",
                       curve("i(c1)", {"1000 0.0010000000475", "10000 9.99999997475e-07"})}}},
            "ac");
    }
    {  // DC sweep: the source's name, lower-cased, in the warning.
        testkit::ScratchDir dir;
        writers::PostFile dc = transient({{"out"}}, {0, 0, 1.8, 1.79999995232, 3.3, 3.3});
        dc.axisTypeCode = 3;
        dc.axisName = "VIN";
        writeWaveform(dir, "sweep.sw0", dc);
        golden::expectRun(
            dir, {"sweep.sw0"},
            Expected{"Warning: independent variable of vin is not TIME.\n",
                     "",
                     {{"sweep/wavtrex.curlist", "out\n"},
                      {"sweep/out.cur", curve("out", {"0 0", "1.79999995232 1.79999995232",
                                                      "3.29999995232 3.29999995232"})}}},
            "dc");
    }
    {  // Repeated times: only the first of a run of equal times is written.
        testkit::ScratchDir dir;
        writeWaveform(dir, "rep.tr0",
                      transient({{"v"}}, {0, 1, 1e-9, 2, 1e-9, 3, 1e-9, 4, 2e-9, 5, 0, 6}));
        golden::expectRun(dir, {"rep.tr0"},
                          Expected{"",
                                   "",
                                   {{"rep/wavtrex.curlist", "v\n"},
                                    {"rep/v.cur", curve("v", {"0 1", "9.99999971718e-10 2",
                                                              "1.99999994344e-09 5", "0 6"})}}},
                          "repeated times");
    }
}

TEST(ConversionGolden, SweepsTruncationAndCompression) {
    // Three sweeps of temper, the last one short: lines interleave point by
    // point, and a sweep stops at its own count.
    writers::PostFile swept = transient({{"out"}}, {});
    swept.sweepNames = {"temper"};
    swept.tables = {
        {{25}, {0, 1, 1e-9, 2, 2e-9, 3}}, {{50}, {0, 10, 1e-9, 20, 2e-9, 30}}, {{75}, {0, 100}}};
    const std::string sweptCurve =
        curve("out", {"0 1", "0 10", "0 100", "9.99999971718e-10 2", "9.99999971718e-10 20",
                      "1.99999994344e-09 3", "1.99999994344e-09 30"});
    {
        testkit::ScratchDir dir;
        writeWaveform(dir, "swept.tr0", swept);
        golden::expectRun(
            dir, {"swept.tr0"},
            Expected{"", "", {{"swept/wavtrex.curlist", "out\n"}, {"swept/out.cur", sweptCurve}}},
            "sweeps");
    }
    {  // The same sweeps as text, the last table two rows long but cut
       // after its first row: the table that started stays, as far as read.
        testkit::ScratchDir dir;
        writers::PostFile text = swept;
        text.form = writers::PostForm::text;
        text.textValuesPerLine = 1;
        text.tables[2].values = {0, 100, 1e-9, 200};
        const std::string full = writers::buildPostFile(text);
        const std::string lastRow = " 1.0000E-09\n 2.0000E+02\n 1.0000E+30\n";
        ASSERT_EQ(full.substr(full.size() - lastRow.size()), lastRow);
        text.truncateAt = full.size() - lastRow.size();
        writeWaveform(dir, "cut.tr0", text);
        golden::expectRun(
            dir, {"cut.tr0"},
            Expected{"", "", {{"cut/wavtrex.curlist", "out\n"}, {"cut/out.cur", sweptCurve}}},
            "truncated");
    }
    {  // gzip-compressed: the base folder keeps the inner extension.
        testkit::ScratchDir dir;
        writers::PostFile packed = twoNodes();
        packed.gzip = true;
        writeWaveform(dir, "run.tr0.gz", packed);
        golden::expectRun(dir, {"run.tr0.gz"},
                          Expected{"",
                                   "",
                                   {{"run.tr0/wavtrex.curlist", "out\nin\n"},
                                    {"run.tr0/out.cur", kOut},
                                    {"run.tr0/in.cur", kIn}}},
                          "gzip");
    }
}

TEST(ConversionGolden, NamesAndFoldersRefused) {
    {  // Signal names the file system refuses: reported, listed, run goes on.
        testkit::ScratchDir dir;
        const std::string longName(300, 'n');
        // A name leading out of the base folder is refused the same way;
        // ".." within a name is no component.
        writeWaveform(
            dir, "run.tr0",
            transient({{"a/b"}, {longName}, {"../up"}, {"ok"}, {".."}}, {0, 1, 2, 3, 4, 5}));
        golden::expectRun(
            dir, {"run.tr0"},
            Expected{"",
                     "Cannot open run/a/b.cur for writing.  Operation continues.\n"
                     "Cannot open run/" +
                         longName +
                         ".cur for writing.  Operation continues.\n"
                         "Cannot open run/../up.cur for writing.  Operation continues.\n",
                     {{"run/wavtrex.curlist", "a/b\n" + longName + "\n../up\nok\n..\n"},
                      {"run/ok.cur", curve("ok", {"0 4"})},
                      {"run/...cur", curve("..", {"0 5"})}}},
            "refused names");
    }
    {  // The curve list cannot be opened: the curves are written all the same.
        testkit::ScratchDir dir;
        writeWaveform(dir, "run.tr0", twoNodes());
        std::filesystem::create_directories(dir / "run/wavtrex.curlist");
        golden::expectRun(
            dir, {"run.tr0"},
            Expected{"",
                     "Cannot open curve list file for writing.  Operation continues.\n",
                     {{"run/out.cur", kOut}, {"run/in.cur", kIn}}},
            "curve list cannot be opened");
    }
    {  // The output folder exists as a file.
        testkit::ScratchDir dir;
        writeWaveform(dir, "run.tr0", twoNodes());
        testkit::writeFile(dir / "run", "a file");
        golden::expectRun(dir, {"run.tr0"},
                          Expected{"", "Cannot create run directory.\n" + kFail, {}},
                          "folder is a file");
        golden::expectRun(dir, {"-t", "run.tr0"},
                          Expected{"", "Cannot create run directory.\n" + kFail, {}},
                          "folder is a file, list only");
    }
}

#ifndef _WIN32
TEST(ConversionGolden, WritesThatFail) {
    {  // A full device behind the curve and the list: each is reported, the
       // rest is written, and a requested curve counts as not exported.
        testkit::ScratchDir dir;
        writeWaveform(dir, "run.tr0", twoNodes());
        std::filesystem::create_directory(dir / "run");
        std::filesystem::create_symlink("/dev/full", dir / "run/out.cur");
        std::filesystem::create_symlink("/dev/full", dir / "run/wavtrex.curlist");
        const std::string full = ": No space left on device.  Operation continues.\n";
        golden::expectRun(
            dir, {"run.tr0"},
            Expected{"",
                     "Cannot write run/out.cur" + full + "Cannot write run/wavtrex.curlist" + full,
                     {{"run/in.cur", kIn}}},
            "convert all");
        testkit::writeFile(dir / "a.tcc",
                           "<CurveExtraction FileName=\"run.tr0\">\n"
                           "<Curve Node=\"out\" CurveFileName=\"out.cur\"/>\n"
                           "<Curve Node=\"in\" CurveFileName=\"in2.cur\"/>\n");
        golden::expectRun(
            dir, {"a.tcc"},
            Expected{"",
                     "Cannot write run/./out.cur" + full + "Cannot write run/wavtrex.curlist" +
                         full + "The following requested signals are not exported:\nout\n" + kFail,
                     {{"run/in2.cur", kIn}}},
            "requested");
    }
    {  // A file size limit cuts a long curve short: the partial file is
       // removed, the short curve list stays.
        testkit::ScratchDir dir;
        std::vector<double> rows;
        for (int p = 0; p < 2000; ++p) rows.insert(rows.end(), {p * 1e-9, 0.25});
        writeWaveform(dir, "run.tr0", transient({{"long"}}, rows));
        rlimit previous{};
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limited = previous;
        limited.rlim_cur = 16384;
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limited);
        golden::expectRun(
            dir, {"run.tr0"},
            Expected{"",
                     "Cannot write run/long.cur: File too large.  Operation continues.\n",
                     {{"run/wavtrex.curlist", "long\n"}}},
            "size limit");
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
}
#endif

}  // namespace
