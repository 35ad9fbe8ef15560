// The configuration parser's line-by-line substring rules.
#include "config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "in_folder.h"

namespace {

namespace fs = std::filesystem;

struct Parsed {
    bool ok = false;
    std::string waveform = "self.tcc";
    std::string base;
    std::vector<std::string> requests;  // "node -> folder/file" in map order
    std::string err;
};

Parsed parse(const std::string& text) {
    testkit::writeFile("self.tcc", text);
    Parsed p;
    CurveRequestMap map;
    testing::internal::CaptureStderr();
    p.ok = parseConversionConfig("self.tcc", p.waveform, p.base, map);
    p.err = testing::internal::GetCapturedStderr();
    for (const auto& [node, r] : map)
        p.requests.push_back(node + " -> " + r.subFolder + "/" + r.curveFileName);
    return p;
}

using Requests = std::vector<std::string>;

TEST(Configuration, ElementsAndAttributes) {
    InScratchFolder here;
    {  // The usual shape; folders are made while reading.
        Parsed p = parse(
            "<CurveExtraction FileName=\"C:\\sim\\run.tr0\">\n"
            "  <VoltageCurveList OutputSubFolder=\"volt\">\n"
            "    <Curve Node=\"out\" CurveFileName=\"vout.cur\"/>\n"
            "    <Curve Node=\"in\" CurveFileName=\"vin.cur\"/>\n"
            "  </VoltageCurveList>\n"
            "</CurveExtraction>\n");
        EXPECT_TRUE(p.ok);
        EXPECT_EQ(p.waveform, "C:\\sim\\run.tr0");
        EXPECT_EQ(p.base, "run");
        EXPECT_EQ(p.requests, (Requests{"in -> volt/vin.cur", "out -> volt/vout.cur"}));
        EXPECT_TRUE(fs::is_directory("run/volt"));
        EXPECT_EQ(p.err, "");
    }
    {  // Whatever stands between name and quote is skipped; values are exact.
        Parsed p = parse(
            "<CurveExtraction FileName : \"a b.tr0\"/>\n"
            "<Curve Node=' x ' Node \" v 1 \" CurveFileName=\"one.cur\"/>\n"
            "<Curve Node=\"n\"\n CurveFileName=\"lost.cur\"/>\n"
            "<curve Node=\"lower\" CurveFileName=\"l.cur\"/><CURVE Node=\"u\" "
            "CurveFileName=\"u\"/>\n"
            "<Curve node=\"n\" CurveFileName=\"n.cur\"/>\n"
            "<Curve Node=\"open CurveFileName=\"f.cur\n"
            "<Curve Node=\"\" CurveFileName=\"empty.cur\"/>\n");
        EXPECT_TRUE(p.ok);
        EXPECT_EQ(p.waveform, "a b.tr0");
        EXPECT_EQ(p.base, "a b");
        // Single quotes are text; a value without its closing quote is none.
        EXPECT_EQ(p.requests, (Requests{" v 1  -> ./one.cur"}));
    }
    {  // A file name holding "Node" before the real attribute takes the wrong quotes.
        Parsed p = parse("<Curve CurveFileName=\"Node.cur\" Node=\"out\"/>\n");
        EXPECT_EQ(p.requests, (Requests{" Node= -> ./Node.cur"}));
    }
    {  // Order on a line does not matter; only the first Curve counts;
       // "<Curve" matches inside "<CurveExtraction".
        Parsed p = parse(
            "<CurveExtraction FileName=\"w.tr0\" Node=\"t\" CurveFileName=\"t.cur\"/>\n"
            "<Curve Node=\"a\" CurveFileName=\"a.cur\"/><VoltageCurveList OutputSubFolder=\"s\">\n"
            "<Curve Node=\"b\" CurveFileName=\"b.cur\"/><Curve Node=\"c\" "
            "CurveFileName=\"c.cur\"/>\n"
            "<Curve Node=\"d\" CurveFileName=\"d.cur\"/></VoltageCurveList>\n"
            "<VoltageCurveList>\n"
            "<Curve Node=\"b\" CurveFileName=\"b2.cur\"/>\n"
            "<!-- <Curve Node=\"e\" CurveFileName=\"e.cur\"/> -->\n");
        EXPECT_TRUE(p.ok);
        EXPECT_EQ(p.requests, (Requests{"a -> s/a.cur", "b -> s/b.cur", "b -> ./b2.cur",
                                        "d -> ./d.cur", "e -> ./e.cur", "t -> ./t.cur"}));
        EXPECT_TRUE(fs::is_directory("w/s"));
    }
    {  // A later CurveExtraction wins; a list without a value keeps the folder.
        Parsed p = parse(
            "<CurveExtraction FileName=\"first.tr0\"/>\n"
            "<VoltageCurveList OutputSubFolder=\"k\">\n"
            "<CurveExtraction FileName=\"dir/second.tr0.gz\"/>\n"
            "<VoltageCurveList Other=\"x\">\n"
            "<Curve Node=\"z\" CurveFileName=\"z.cur\"/>\n");
        EXPECT_TRUE(p.ok);
        EXPECT_EQ(p.waveform, "dir/second.tr0.gz");
        EXPECT_EQ(p.base, "second.tr0");
        EXPECT_EQ(p.requests, (Requests{"z -> k/z.cur"}));
    }
}

TEST(Configuration, EndsAndFailures) {
    InScratchFolder here;
    {  // No file: nothing changes, success.
        std::string waveform = "none.tcc", base;
        CurveRequestMap map;
        EXPECT_TRUE(parseConversionConfig("none.tcc", waveform, base, map));
        EXPECT_EQ(waveform, "none.tcc");
        EXPECT_EQ(base, "");
    }
    {  // No CurveExtraction: the waveform path stays the configuration's.
        Parsed p = parse("<Curve Node=\"a\" CurveFileName=\"a.cur\"/>");
        EXPECT_TRUE(p.ok);
        EXPECT_EQ(p.waveform, "self.tcc");
        EXPECT_EQ(p.requests, (Requests{"a -> ./a.cur"}));
    }
    {  // A line of 2047 characters is read; a longer one ends the reading.
        const std::string fits = "<Curve Node=\"a\" CurveFileName=\"a.cur\"/>";
        Parsed p = parse(fits + std::string(2047 - fits.size(), ' ') + "\r\n" +
                         "<Curve Node=\"b\" CurveFileName=\"b.cur\"/>" + std::string(2048, ' ') +
                         "\n<Curve Node=\"c\" CurveFileName=\"c.cur\"/>\n");
        EXPECT_TRUE(p.ok);
        EXPECT_EQ(p.requests, (Requests{"a -> ./a.cur"}));
    }
    {  // A sub-folder whose parent is missing fails the parse at that line.
        Parsed p = parse(
            "<CurveExtraction FileName=\"sim.tr0\"/>\n"
            "<VoltageCurveList OutputSubFolder=\"a/b\">\n"
            "<Curve Node=\"a\" CurveFileName=\"a.cur\"/>\n");
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.err, "Cannot create sim/a/b directory.\n");
        EXPECT_TRUE(p.requests.empty());
        EXPECT_TRUE(fs::is_directory("sim"));
    }
    {  // A base folder that exists as a file fails the parse.
        testkit::writeFile("taken", "");
        Parsed p = parse("<CurveExtraction FileName=\"x/taken.tr0\"/>\n");
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.err, "Cannot create taken directory.\n");
    }
}

}  // namespace
