// Configurations that never reach a waveform file's values.
#include <gtest/gtest.h>

#include "golden.h"

namespace {

using golden::Expected;

TEST(ConfigGolden, BadConfigurations) {
    const std::string fail = "Unable to complete conversion.\n";
    {  // A waveform file that does not exist: the base folder is made first.
        testkit::ScratchDir dir;
        testkit::writeFile(dir / "a.tcc",
                           "<CurveExtraction FileName=\"sims/missing.tr0\">\n"
                           "<VoltageCurveList OutputSubFolder=\"v\">\n"
                           "<Curve Node=\"out\" CurveFileName=\"out.cur\"/>\n");
        golden::expectRun(dir, {"a.tcc"}, Expected{"", fail, {{"missing/v/", ""}}}, "missing");
    }
    {  // No CurveExtraction: the configuration itself is taken as the waveform.
        testkit::ScratchDir dir;
        testkit::writeFile(dir / "b.tcc", "<Curve Node=\"out\" CurveFileName=\"out.cur\"/>\n");
        golden::expectRun(dir, {"b.tcc"}, Expected{"", fail, {}}, "no extraction");
    }
    {  // Unterminated quotes give no value.
        testkit::ScratchDir dir;
        testkit::writeFile(dir / "c.tcc",
                           "<CurveExtraction FileName=\"missing.tr0>\n"
                           "<VoltageCurveList OutputSubFolder=\"v>\n");
        golden::expectRun(dir, {"c.tcc"}, Expected{"", fail, {}}, "quotes");
    }
    {  // A line too long ends the reading before the CurveExtraction; a line
       // of megabytes without any line end is read no further either.
        testkit::ScratchDir dir;
        testkit::writeFile(dir / "d.tcc", "<!--" + std::string(3000, '-') + "-->\n" +
                                              "<CurveExtraction FileName=\"missing.tr0\">\n");
        golden::expectRun(dir, {"d.tcc"}, Expected{"", fail, {}}, "long line");
        testkit::writeFile(dir / "e.tcc", std::string(8 << 20, 'x'));
        golden::expectRun(dir, {"e.tcc"}, Expected{"", fail, {}}, "endless line");
    }
    {  // The base output folder exists as a file.
        testkit::ScratchDir dir;
        testkit::writeFile(dir / "run", "not a folder");
        testkit::writeFile(dir / "f.tcc", "<CurveExtraction FileName=\"C:\\sims\\run.tr0\"/>\n");
        golden::expectRun(dir, {"f.tcc"},
                          Expected{"",
                                   "Cannot create run directory.\n"
                                   "Unable to parse configuration file, exiting.\n",
                                   {}},
                          "folder is a file");
    }
}

}  // namespace
