// CSDF files through the built binary: every curve file, list and console line.
#include <gtest/gtest.h>

#include "csdf_writer.h"
#include "golden.h"

namespace {

using golden::Expected;
using writers::CsdfFile;

const std::string kFail = "Unable to complete conversion.\n";

TEST(CsdfGolden, TransientConvertAll) {
    CsdfFile file;
    file.nodes = {"v(out)", "i(vdd)", "x1.q"};
    // The third point repeats the second one's time, so it writes no line.
    file.sweeps = {{{0, {0.5, 1e-3, 2.5}, {}},
                    {1e-9, {1.2, -3.3, 100}, {}},
                    {1e-9, {0.25, 0.25, 0.25}, {}},
                    {2e-9, {0.1, 5e-5, 1e12}, {}}}};
    testkit::ScratchDir dir;
    writers::writeCsdf((dir / "tran.csd").string(), file);
    golden::expectRun(
        dir, {"tran.csd"},
        Expected{"Warning: values of i(vdd) are not VOLTAGE.\n"
                 "Warning: values of x1.q are not VOLTAGE.\n",
                 "",
                 {{"tran/wavtrex.curlist", "v(out)\ni(vdd)\nx1.q\n"},
                  {"tran/v(out).cur",
                   "*******Voltage*********\n"
                   "\n"
                   "*[Dim=Voltage]\n"
                   "**************Curve***************\n"
                   "n1     n2     blue     v(out).\n"
                   "0 0.5\n"
                   "9.99999971718e-10 1.20000004768\n"
                   "1.99999994344e-09 0.10000000149\n"
                   "**************End***************\n"},
                  {"tran/i(vdd).cur", golden::curve("i(vdd)", {"0 0.0010000000475",
                                                               "9.99999971718e-10 -3.29999995232",
                                                               "1.99999994344e-09 4.99999987369e-05"})},
                  {"tran/x1.q.cur",
                   golden::curve("x1.q", {"0 2.5", "9.99999971718e-10 100",
                                          "1.99999994344e-09 999999995904"})}}},
        "convert all");
}

TEST(CsdfGolden, SweptFiles) {
    CsdfFile file;
    file.nodes = {"v(a)"};
    file.sweeps = {{{0, {1}, {}}, {0.5, {2}, {}}, {1, {3}, {}}},
                   {{0, {10}, {}}, {0.5, {20}, {}}, {1, {30}, {}}}};
    {  // Point by point, sweep by sweep within each point.
        testkit::ScratchDir dir;
        writers::writeCsdf((dir / "swept.csd").string(), file);
        golden::expectRun(dir, {"swept.csd"},
                          Expected{"",
                                   "",
                                   {{"swept/wavtrex.curlist", "v(a)\n"},
                                    {"swept/v(a).cur", golden::curve("v(a)", {"0 1", "0 10", "0.5 2",
                                                                              "0.5 20", "1 3", "1 30"})}}},
                          "convert all");
    }
    {  // A compressed complex AC file, list only: the frequency is not time.
        file.analysis = "AC";
        file.sweepVar = "HERTZ";
        file.complexValues = "YES";
        file.nodes = {"v(a)", "v(b)"};
        file.sweeps = {{{1, {1, 2}, {3, 4}}}, {{1, {5, 6}, {7, 8}}}};
        testkit::ScratchDir dir;
        writers::writeCsdf((dir / "ac.csd.gz").string(), file, true);
        golden::expectRun(dir, {"-t", "ac.csd.gz"},
                          Expected{"Warning: independent variable of hertz is not TIME.\n",
                                   "",
                                   {{"ac.csd/wavtrex.curlist", "v(a)\nv(b)\n"}}},
                          "list only");
    }
}

TEST(CsdfGolden, FilesThatFail) {
    {  // A bad header: open fails, nothing is written.
        testkit::ScratchDir dir;
        testkit::writeFile(dir / "bad.csd", "#H\nANALYSIS='NOISE' \nNODES='1' \n");
        golden::expectRun(dir, {"bad.csd"}, Expected{"", kFail, {}}, "bad analysis");
    }
    {  // The data stops inside a point: read fails without a message of its own.
        testkit::ScratchDir dir;
        testkit::writeFile(dir / "cut.csd", "#H\nNODES='2' \n#N 'v(a)' 'v(b)' \n#C 0 2 1 \n");
        golden::expectRun(dir, {"cut.csd"}, Expected{"", kFail, {}}, "cut");
    }
    {  // No node list after NODES: the open succeeds, the read does not.
        testkit::ScratchDir dir;
        testkit::writeFile(dir / "nolist.csd", "#H\nNODES='2' \n\n");
        golden::expectRun(dir, {"-t", "nolist.csd"}, Expected{"", kFail, {}}, "no node list");
    }
    {  // Far more (node, sweep) pairs than the file could fill.
        std::string text = "#H\nNODES='300' \n#N ";
        for (int i = 0; i < 300; ++i) text += "'v" + std::to_string(i) + "' ";
        text += "\n#C 0 0 \n#;\n";
        for (int i = 0; i < 300; ++i) text += "#H\n";
        testkit::ScratchDir dir;
        testkit::writeFile(dir / "pairs.csd", text);
        golden::expectRun(dir, {"pairs.csd"},
                          Expected{"", "Out of memory, exiting.\n" + kFail, {}}, "out of memory");
    }
}

}  // namespace
