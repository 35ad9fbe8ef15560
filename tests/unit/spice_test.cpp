// SPICE raw files through open (extended detection) and read: each
// simulator's layout, the flags, plots that become sweeps or are only listed,
// trailing text, and damaged files refused with their reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "raw_writer.h"
#include "reader_fixture.h"

namespace {

using writers::RawFile;
using writers::RawPlot;
using S = writers::RawSimulator;
using SpiceTest = testkit::ReaderFixture;

const std::vector<std::pair<std::string, std::string>> kTran = {
    {"time", "time"}, {"v(1)", "voltage"}, {"V1#branch", "current"}};
const std::vector<std::pair<std::string, std::string>> kAc = {{"frequency", "frequency"},
                                                              {"{V(2)}", "voltage"}};

RawFile file(S simulator, bool binary, std::vector<RawPlot> plots, bool command = true) {
    RawFile f;
    f.simulator = simulator;
    f.binary = binary;
    f.command = command;
    f.plots = std::move(plots);
    return f;
}

std::string raw(S simulator, bool binary, std::vector<RawPlot> plots, bool command = true) {
    return buildRawFile(file(simulator, binary, std::move(plots), command));
}

RawPlot tran(std::vector<double> values, std::string flags = "real") {
    return {"Transient Analysis", std::move(flags), kTran, std::move(values), -1, {}};
}

// Two points, the second's time written negative (LTspice's compression mark).
RawPlot tranTwo(std::string flags = "real") {
    return tran({0, 1, 0.25, -1e-9, 2, 0.5}, std::move(flags));
}

// Frequencies with the denormal imaginary garbage ngspice leaves.
RawPlot ac() {
    return {"AC Analysis", "complex", kAc, {1, 4.9e-324, 0.5, -0.25, 10, 0, 0.125, 2}, -1, {}};
}

const std::string kTranRead = "time:1:9 v(1):1:9 V1#branch:8:9 | 0=1 1e-09=2; 0=0.25 1e-09=0.5";
const std::string kAcRead = "frequency:2:9 {V(2)}:1:10 | 1=0.5,-0.25 10=0.125,2";
const std::string kRun = "|wavtrex test circuit|Mon Dec  7 03:20:59 2026|";  // writer's default

TEST_F(SpiceTest, SimulatorLayouts) {
    const std::vector<double> stepped = {0, 1, 1, 1, 2, 2, 0, 3, 3, 1, 4, 4};
    const std::string steps = " | 0=1 1=2 / 0=3 1=4; 0=1 1=2 / 0=3 1=4";
    std::string tabbed = raw(S::ltspice, false, {ac()});
    tabbed.insert(tabbed.find(',') + 1, "\t");
    RawPlot odd = tran({0, 1, 2, 3});
    odd.variables = {{"time", "time"},
                     {"d_{V(2)}/d_R2:R_adj", "notype"},
                     {"@q_q_h[gmi]", "current"},
                     {"100", "voltage"}};
    const std::string stepVars = "step:0:9 time:1:9 v(1):1:9 V1#branch:8:9";
    std::vector<Row> rows = {
        {raw(S::ngspice, true, {tranTwo()}), kTranRead,
         "16 2 1 1 1|ngspice-36" + kRun + "ngspice binary real|Transient Analysis 3 2 0"},
        {raw(S::ngspice, false, {tranTwo()}), kTranRead,
         "16 1 1 1 1|ngspice-36" + kRun + "ngspice ASCII real|Transient Analysis 3 2 0"},
        // One LTspice file has a TAB after its first value's comma.
        {tabbed, kAcRead},
        {raw(S::ngspice, false, {tranTwo("real reverse linear")}), kTranRead},
        {raw(S::xyce, true, {odd}),
         "time:1:9 d_{V(2)}/d_R2:R_adj:78:9 @q_q_h[gmi]:8:9 100:1:9 | 0=1; 0=2; 0=3"},
        {raw(S::ltspice, true, {tran(stepped, "real forward stepped")}), stepVars + steps,
         "16 2 1 2 2|LTspice XVII" + kRun +
             "sweeps 1 2|LTspice binary, UTF-16 header real "
             "forward stepped|Transient Analysis 3 4 0"},
        {raw(S::ltspice, true, {tran(stepped, "real stepped fastaccess")}), stepVars + steps},
        {raw(S::ltspice, false, {tran(stepped, "real forward stepped")}), stepVars + steps},
    };
    // Binary or text, transient or AC, with or without a Command line: without
    // one the data size tells QSPICE's real axis.
    for (S sim : {S::ngspice, S::xyce, S::qspice, S::ltspice}) {
        for (int k = 0; k < 8; ++k) {
            rows.push_back({raw(sim, (k & 1) != 0, {(k & 2) != 0 ? ac() : tranTwo()}, (k & 4) != 0),
                            (k & 2) != 0 ? kAcRead : kTranRead});
        }
    }
    for (const char* flags :
         {"real forward double", "real fastaccess", "real forward log nocompression"})
        rows.push_back({raw(S::ltspice, true, {tranTwo(flags)}), kTranRead});
    expectRows(rows, WFX_DETECT_ALL);
}

TEST_F(SpiceTest, PlotsAndTrailingText) {
    RawPlot op = {"Operating Point", "real", kAc, {0, 1}, -1, {}};
    RawPlot stepA = tran({0, 1, 2}), stepB = tran({0, 3, 4});
    stepA.extraLines = {".param rload=100", ".param c=1"};
    stepB.extraLines = {".param rload=2.2k", ".param c=1"};
    RawFile named = file(S::ngspice, true, {stepA, stepB});
    RawFile trailing = file(S::ngspice, true, {tranTwo()});
    trailing.trailing = "\nIndex   time   v(1)\n0  0  1\n";
    RawFile extra = file(S::ltspice, true, {tranTwo()});
    extra.plots[0].declaredPoints = 1;  // a further point of zeros follows, not declared
    RawFile cutText = file(S::ngspice, false, {tranTwo()});
    cutText.plots[0].declaredPoints = 3;
    expectRows(
        {
            // Xyce .STEP: an operating point before each AC plot; the AC plots are the sweeps.
            {raw(S::xyce, true, {op, ac(), op, ac()}),
             "step:0:9 frequency:2:9 {V(2)}:1:10 | 1=0.5,-0.25 10=0.125,2 / 1=0.5,-0.25 "
             "10=0.125,2",
             "16 2 2 2 2|Xyce 7.6" + kRun +
                 "sweeps 1 2|Xyce binary complex|Operating Point 2 1 -1, "
                 "AC Analysis 2 2 0, Operating Point 2 1 -1, AC Analysis 2 2 1"},
            {raw(S::xyce, false, {op, ac(), op, ac()}), "*/ 1=0.5,-0.25 10=0.125,2"},
            // Plots of other variables are only listed.
            {raw(S::ngspice, true, {tranTwo(), ac()}), kTranRead},
            {buildRawFile(named),
             "rload:0:9 time:1:9 v(1):1:9 V1#branch:8:9 | 0=1 / 0=3; 0=2 / 0=4",
             "16 2 1 2 2|ngspice-36" + kRun +
                 "sweeps 100 2200|ngspice binary real|"
                 "Transient Analysis 3 1 0, Transient Analysis 3 1 1"},
            {buildRawFile(trailing), kTranRead},
            {buildRawFile(extra), "time:1:9 v(1):1:9 V1#branch:8:9 | 0=1; 0=0.25"},
            {buildRawFile(cutText),
             "open 2: Error: SPICE raw file @: plot 1: the file ends in "
             "point 3 of its 3"},
        },
        WFX_DETECT_ALL);
}

TEST_F(SpiceTest, DamagedHeadersAndData) {
    const std::string good = raw(S::ngspice, true, {tranTwo()});
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string bytes = good;
        bytes.replace(bytes.find(from), from.size(), to);
        return bytes;
    };
    const std::string reason = "open 2: Error: SPICE raw file @: ";
    const std::string plot1 = reason + "plot 1: ";
    expectRows(
        {
            {replaced("No. Points:", "No. Pts:"), plot1 + "no No. Points line"},
            {replaced("No. Variables: 3", "No. Variables: x"), plot1 + "No. Variables is \"x\""},
            {replaced("No. Variables: 3", "No. Variables: 4"),
             plot1 + "3 variable lines for No. Variables 4"},
            {replaced("\t2\tV1#branch", "\t7\tV1#branch"),
             reason + "variable line 2 is not \"index name type\""},
            {replaced("Flags: real\n", "Flags real\n"),
             plot1 + "header line \"Flags real\" is no \"Key: value\" line"},
            {good.substr(0, good.find("Binary:")),
             plot1 + "the header ends before its Binary: or Values: line"},
            {good.substr(0, good.size() - 1), plot1 + "the file ends before its 2 points"},
            {good + "Plotname: more\n", reason + "plot 2: the header ends before its Binary: or "
                                                 "Values: line"},
            {raw(S::ngspice, false, {tran({0, 1, 0.5})}) + "x", "*0=1; 0=0.5"},
            {replaced("Title:", "Tidle:"), "open 7: Error:  Unknown file format!!"},
        },
        WFX_DETECT_ALL);
    // The converter's detection leaves raw files alone. Gzip and selective
    // reads are the seed corpus's (info golden run, fuzz replay).
    expectRows({{good, "open 7: Error:  Unknown file format!!"}});
}

// Picosecond steps at 1 ms, which a float cannot tell apart, survive every
// double layout; LTspice's float values are widened. The float read keeps
// its values: each the double narrowed.
TEST_F(SpiceTest, DoublesAsStored) {
    const std::vector<double> fine = {1e-3,         1.0 / 3, 1e-300, 1e-3 + 1e-12, 1e300, 0,
                                      1e-3 + 2e-12, -1,      0};
    const std::string times = "64/64 | 0.001 0.001000000001 0.001000000002 | ";
    const std::string huge = "1.0000000000000001e+300 -1";
    const std::pair<std::string, std::string> cases[] = {
        {raw(S::ngspice, true, {tran(fine)}), times + "0.33333333333333331 " + huge},
        {raw(S::ngspice, false, {tran(fine)}), times + "0.33333333333333331 " + huge},
        {raw(S::ltspice, true, {tran(fine)}),
         "32/64" + times.substr(5) + "0.3333333432674408 inf -1"},
        {raw(S::ltspice, true, {tran(fine, "real double")}), times + "0.33333333333333331 " + huge},
    };
    for (const auto& [bytes, expected] : cases) {
        SCOPED_TRACE(expected);
        ASSERT_EQ(run(bytes, WFX_DETECT_ALL).find("read"), std::string::npos);
        EXPECT_EQ(readDoubles(), expected);
    }
}

// Every plot of an ngspice batch run, each selected in turn; an operating
// point reads one point per variable, and is no sweep of a transient whose
// variables it names.
TEST_F(SpiceTest, EveryPlot) {
    RawPlot op = {"Operating Point", "real", {{"v(1)", "voltage"}, {"i(v1)", "current"}},
                  {5, -2},           -1,     {}};
    const RawPlot opOfTran = {"Operating Point", "real", kTran, {7, 5, -2}, -1, {}};
    const std::string tranPlot = " | 1 1 time 2 64/64 | 0 1.0000000000000001e-09 | 1 2";
    const std::string opPlot = " | 1 4 point 3 64/64 | 0 | 7";
    const std::vector<std::pair<std::vector<RawPlot>, std::string>> cases = {
        {{op, ac(), tranTwo()},
         "2 | 1 4 point 2 64/64 | 0 | 5 | 1 2 frequency 1 64/64 | 1 10 | 0.5 0.125" + tranPlot +
             " | Error: the file has no plot 3 to select"},
        {{opOfTran, tranTwo()},
         "1" + opPlot + tranPlot + " | Error: the file has no plot 2 to select"},
        {{tranTwo(), opOfTran},
         "1" + tranPlot + opPlot + " | Error: the file has no plot 2 to select"},
    };
    for (const auto& [plots, expected] : cases) {
        for (bool binary : {true, false}) {
            SCOPED_TRACE(expected);
            run(raw(S::ngspice, binary, plots), WFX_DETECT_ALL);
            ASSERT_NE(ds_, nullptr);
            std::string got = std::to_string(ds_->analysisKind);
            for (int32_t p = 0; p <= static_cast<int32_t>(plots.size()); ++p) {
                WfxPlotFacts facts{};
                if (wfxSelectPlot(ds_, p) != 1) {
                    got += std::string(" | ") + wfxLastReason();
                    continue;
                }
                const int found = wfxPlotFacts(ds_, p, &facts);
                ASSERT_EQ(read(), 1);
                got += " | " + std::to_string(found) + " " + std::to_string(facts.analysisKind) +
                       " " + name(0) + " " + std::to_string(ds_->signalCount) + " " + readDoubles();
            }
            EXPECT_EQ(got, expected);
        }
    }
}

// Value tokens of both text readers: a whole number or a failure naming
// where; beyond double reads as infinity; a cut last value is no whole file.
TEST_F(SpiceTest, ValueTokens) {
    const std::string text = raw(S::ngspice, false, {tran({0, 1, 0.5})});
    const size_t at = text.rfind("0.5");
    auto with = [&](const std::string& token) { return text.substr(0, at) + token + "\n"; };
    const std::string csdf = "#H\nSOURCE='Xyce'\nNODES='1' SWEEPVAR='Time'\n#N 'V(1)'\n#C 0 1 ";
    const std::string bad = "*read 0: Error: SPICE raw file @: plot 1: point 1, V1#branch: \"";
    const std::string badCsdf = "*read 0: Error: CSDF file @: block 1: point 1, value 1: \"";
    std::vector<Row> rows = {
        {with("1e309"), "*0=1; 0=inf"},       {with("-1e999"), "*0=1; 0=-inf"},
        {with("1e-999"), "*0=1; 0=0"},        {csdf + "1e309:1\n#;\n", "*0=inf"},
        {csdf + "-1e999:1\n#;\n", "*0=-inf"},
    };
    for (const std::string token : {"half", "1.2.3", "1e", "0x10", "1.5abc", "+-1"}) {
        rows.push_back({with(token), bad + token + "\" is no value"});
        if (token != "+-1")
            rows.push_back({csdf + token + ":1\n#;\n", badCsdf + token + ":1\" is no value"});
    }
    expectRows(rows, WFX_DETECT_ALL);
    ASSERT_EQ(run(with("0.5").substr(0, with("0.5").size() - 1), WFX_DETECT_ALL),
              "time:1:9 v(1):1:9 V1#branch:8:9 | 0=1; 0=0.5");
    EXPECT_EQ(ds_->readEnding, static_cast<uint32_t>(kEndingValueCut));
    ASSERT_EQ(run(with("0.5"), WFX_DETECT_ALL).back(), '5');
    EXPECT_EQ(ds_->readEnding, static_cast<uint32_t>(kEndingComplete));
}

}  // namespace

namespace {

std::string xyceBlock(const std::string& subtitle, const std::string& more = "") {
    return "#H\nSOURCE='Xyce' VERSION='7.6'\nTITLE='it's a test' SUBTITLE='" + subtitle +
           "'\nTIME='03:20:59' DATE='Dec 7, 2026' TEMPERATURE='27'\n"
           "ANALYSIS='Transient Analysis' SERIALNO='1'\nALLVALUES='NO' COMPLEXVALUES='NO' "
           "NODES='2'\nSWEEPVAR='Time' SWEEPMODE='VAR_STEP'\n" +
           more +
           "#N\n'V(1)' 'I(V1)'\n#C 0.00000000e+00 2\n1.000e+00:1   2.500e-01:2\n"
           "#C 1.00000000e-09 2\n2.000e+00:1\n5.000e-01:2\n#;\n";
}

TEST_F(SpiceTest, CsdfDialect) {
    std::string pspice =
        "#H\nSOURCE='PSpice' VERSION='17.2'\nTITLE='ac' ANALYSIS='AC'\n"
        "COMPLEXVALUES='YES' NODES='10' SWEEPVAR='Frequency'\n#N\n";
    for (int n = 1; n <= 10; ++n) pspice += "'V(n" + std::to_string(n) + ")' ";
    pspice += "\n#C 1.000E03 2\n1.462E03/-2.500E00:1\n3.000E00/4.000E00:a\n#;\n";
    const std::string anonymous =
        "#H\nTITLE='x' ANALYSIS='DC' NODES='1' SWEEPVAR='VIN'\n#N 'V(a)'\n#C 0.5 1 7:0\n#;\n";
    const std::string reason = "open 2: Error: CSDF file @: ";
    const std::string point2 = "*read 0: Error: CSDF file @: block 1: point 2";
    const std::string steps = xyceBlock("Step 1: R1 = 100") + xyceBlock("Step 2: R1 = 200");
    const std::string block = xyceBlock("");
    const std::string twice =
        "Time:1:9 V(1):1:9 I(V1):8:9 | 0=1 1e-09=2 / 0=1 1e-09=2; 0=0.25 1e-09=0.5 / 0=0.25 "
        "1e-09=0.5";
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string bytes = block;
        bytes.replace(bytes.find(from), from.size(), to);
        return bytes;
    };
    expectRows(
        {
            {block + "trailing words\n",
             "Time:1:9 V(1):1:9 I(V1):8:9 | 0=1 1e-09=2; 0=0.25 1e-09=0.5",
             "17 1 1 1 1|7.6|it's a test|Dec 7, 2026 03:20:59|Xyce text real|Transient "
             "Analysis 3 2 0"},
            {pspice, "*1000=3,4"},
            // PSpice in capitals; a long header puts the first point past the first bytes.
            {"#H\nSOURCE='PSPICE' " + pspice.substr(pspice.find("VERSION")), "*1000=3,4"},
            {"#H\n" + std::string(300, ' ') + "\n" + pspice.substr(3), "*1000=3,4"},
            {anonymous, "VIN:3:9 V(a):1:9 | 0.5=7"},
            {steps, "R1:0:9 " + twice,
             "17 1 1 2 2|7.6|it's a test|Dec 7, 2026 03:20:59|sweeps 100 200|Xyce text "
             "real|Step 1: R1 = 100 3 2 0, Step 2: R1 = 200 3 2 1"},
            {xyceBlock("", "SWEEP2PARM='VIN' SWEEP2VALUE='1.5'\n") +
                 xyceBlock("", "SWEEP2PARM='VIN' SWEEP2VALUE='2.5'\n"),
             "VIN:0:9 " + twice},
            {block.substr(0, block.size() - 3), reason + "block 1 ends without #;"},
            {block.substr(0, block.find("#N")), reason + "block 1 ends in its header"},
            {replaced("NODES='2'", "NODES='3'"), reason + "block 1: NODES='3' but 2 names"},
            {replaced("5.000e-01:2", "5.000e-01:3"), point2 + ", value 2: index 3 names no node"},
            {replaced("5.000e-01:2", "half:2"), point2 + ", value 2: \"half:2\" is no value"},
            {replaced("5.000e-01:2", "5.000e-01"), point2 + ", value 2 has no :index"},
            {replaced("#C 1.00000000e-09 2", "#C 1.00000000e-09 9"),
             point2 + " has no value count"},
        },
        WFX_DETECT_ALL);
    // The specified detection still hands the file to the CSDF reader, which refuses it.
    expectRows({{block, "open 2: Error:Unsupport analysis in csdf format Transient Analysis !!"}});
}

}  // namespace
