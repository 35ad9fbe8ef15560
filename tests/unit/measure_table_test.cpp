// Measurement table headers, reached only with format code 4: names, title,
// version, and the exact messages of malformed tables.
#include <string>

#include "file_bytes.h"
#include "reader_fixture.h"

namespace {

using MeasureTableTest = testkit::ReaderFixture;

TEST_F(MeasureTableTest, Headers) {
    const std::string v = "VERSION='1'\n";
    const std::string head = "$DATA1 SOURCE='x' VERSION='2013.03' PARAM_COUNT=0\n";
    const std::string title = ".TITLE 'generated measurements'\n";
    // The first name never ends an $OPTION list; the whole long line is read.
    std::string option = head + "$OPTION DELIMITER=' '\n" + title + "first# ";
    for (int i = 0; i < 300; ++i) option += "column" + std::to_string(i) + " ";
    expectRows(
        {
            // The names stop at temper#: alter# on the same line is not taken.
            {head + title + "index delay power temper# alter# \n1 2 3 4 1 \n",
             "index:9:9 delay:9:9 power:9:9 temper#:9:9 | read 0: ",
             "4 1 9 1 1|2013.03|'generated measurements'\n|"},
            {head + title + "index delay \npower alter# \n1 2 3 1 \n",
             "index:9:9 delay:9:9 power:9:9 alter#:9:9 | read 0: "},
            {writers::gzipBytes(option + "last# ignored \n"),
             "*column299:9:9 last#:9:9 | read 0: "},
            // A bare line break glues a name to the next line's first; the title
            // line may come later, and keeps 99 characters.
            {v + "not yet\n.TITLE " + std::string(150, 't') + "\nindex delay\npower alter# \n0\n",
             "index:9:9 delaypower:9:9 alter#:9:9 | read 0: ",
             "4 1 9 1 1|1|" + std::string(99, 't') + "|"},
            {"VERSION='" + std::string(32, '9') + "'\n.TITLE x\na# 1\n",
             "a#:9:9 | read 0: ", "4 1 9 1 1|" + std::string(32, '9') + "|x\n|"},
            // Lines between $OPTION and the title are skipped.
            {v + "$OPTION\nnote\n\n.TITLE x\n a,b\tc alter#\n",
             "a:9:9 b:9:9 c:9:9 alter#:9:9 | read 0: "},
            // Malformed: first and second lines, title search, names.
            {"$DATA1 SOURCE='x'\n.TITLE t\na alter# 1\n",
             "open 2: Incorrect header near line 0 in file @ !!"},
            {"VERSION=1\n.TITLE t\na alter# 1\n",
             "open 2: Incorrect header near line 0 in file @ !!"},
            {"VERSION='1\n.TITLE t\na alter# 1\n",
             "open 2: Incorrect header near line 0 in file @ !!"},
            {"VERSION='" + std::string(33, '9') + "'\n.TITLE t\na alter# 1\n",
             "open 2: Incorrect header at line 0 of @ !!"},
            {v, "open 2: Incorrect header at line 2 of @ !!"},
            {v + "none\nstill none\n", "open 2: Incorrect header at line 3 of @ !!"},
            {v + "$OPTION\n", "open 2: Incorrect header at line 2 of @ !!"},
            {v + ".TITLE t\n", "open 2: No data found in @ !!"},
            {v + ".TITLE t\na b c \n", "open 2: No data found in @ !!"},
            {v + ".TITLE t\na b alter# \n", "open 2: No data found in @ !!"},
            {v + "$OPTION\n.TITLE t\n", "open 2: No data found in @ !!"},
            {v + "$OPTION\n.TITLE t\n , \t\n", "open 2: "},
            {writers::gzipBytes(""), "open 2: Empty file @ !!"},
        },
        kFormatMeasureTable);
}

}  // namespace
