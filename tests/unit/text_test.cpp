// Text formats through open and read: CSDF key and layout quirks, measurement
// table headers (reached only with format code 4), and the exact messages of
// malformed files; the token reader over gzip streams, and the fatal reporter.
// Files as the writers make them are the seed corpus's (values in the Python
// test, headers in the info golden run).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file_bytes.h"
#include "internal.h"
#include "reader_fixture.h"

namespace {

using CsdfTest = testkit::ReaderFixture;

TEST_F(CsdfTest, Quirks) {
    const std::string one = "#H\nNODES='1' \n#N 'v(a)' \n";
    const std::string two = "#H\nNODES='2' \n#N 'v(a)' 'v(a)' \n";  // a name twice
    const std::string complex =
        "#H\nANALYSIS='AC' \nCOMPLEXVALUES='YES' \nNODES='1' \n#N 'v(a)' \n";
    std::string names;  // hundreds of nodes against hundreds of empty sections
    for (int i = 0; i < 300; ++i) names += "'n" + std::to_string(i) + "' ";
    std::string sections;
    for (int i = 0; i < 300; ++i) sections += "#H\n";
    std::string decimal;  // decimal only: other spellings give the number they start with
    for (const char* token : {"0x10", "-0X1p3", "inf", "-Infinity", "nan", "NAN(1)", "+1.5e3", ".5",
                              "-2.5E-3x", "1e", "12abc", "1e400"}) {
        decimal += std::string("#C ") + token + " 1 " + token + " \n";
    }
    const std::string cut = " | read 0: Error: File @ is incompleted !!";
    const std::string syntax = ":2:9 v(a):1:10 | read 0: Error: Syntax error near line ";
    std::string dense =
        "#H\nNODES='6' \n#N 'a' 'b' 'c' 'd' 'e' 'f' \n";  // outgrows its first arrays
    for (int p = 0; p < 40; ++p)
        dense += "#C " + std::to_string(p) + " 6 1 2 3 4 5 " + std::to_string(p % 10) + " \n";
    expectRows({
        // DATE cuts its line, ANALYSIS is looked for in the copy; after TITLE
        // DATE is no longer found; the last VERSION wins, cut to 33.
        {"#H\nVERSION='old' \nSWEEPVAR='vin' DATE='d1' ANALYSIS='DC' \nTITLE='the title' "
         "DATE='lost' \nVERSION='" +
             std::string(40, 'v') + "' \nNODES='1' \n#N 'v(a)' \n#C 0 1 1 \n#;\n",
         "vin:3:9 v(a):1:0 | 0=1", "2 1 3 1 1|" + std::string(33, 'v') + "|the title|d1"},
        // COMPLEXVALUES cuts its line, so NODES comes from the next; titles and
        // dates keep 99 characters; no ANALYSIS leaves it unset.
        {"#H\nTITLE='" + std::string(150, 't') + "' \nDATE='" + std::string(120, 'd') +
             "' \nCOMPLEXVALUES='NO' NODES='7' \nNODES='1' \n#N 'q' \n",
         ":0:9 q:78:9" + cut, "2 1 -1 1 1||" + std::string(99, 't') + "|" + std::string(99, 'd')},
        // A node list not right after NODES: no variables.
        {"#H\nNODES='5' \n\n#N 'a' \n", cut},
        // A negative count means no nodes; names keep 255 characters, and one
        // without its closing quote runs to the end of its token.
        {"#H\nNODES='-4' \n#N\n#C 1 0 \n#;\n", ":0:9 | "},
        {"#H\nNODES='2' \n#N '" + std::string(300, 'v') + "' 'open \n#C 0 2 1 2 #;\n",
         ":0:9 " + std::string(255, 'v') + ":1:0 open:78:0 | 0=1; 0=2"},
        // Blanks and line breaks around the slash.
        {"#H\nANALYSIS='AC' \nCOMPLEXVALUES='YES' \nNODES='3' \n#N 'a' 'b' 'c' \n"
         "#C 1 3 1.5 / 2.5 3.5/4.5 5.\n5\n/\n6.5 \n#;\n",
         ":2:9 a:78:10 b:78:10 c:78:10 | 1=1.5,2.5; 1=3.5,4.5; 1=5.5,6.5"},
        // A point on one line, tokens after its values skipped.
        {two + "\n#C 1.0e-09 2 0.5 1.2 junk more \n#C 2e-9 2 3 4 \n#;\n",
         ":0:9 v(a):1:0 v(a):1:0 | 1e-09=0.5 2e-09=3; 1e-09=1.2 2e-09=4"},
        // The count glued to the first value by a bare line break.
        {two + "\n#C 1 2\n1.0 7 8 \n#;\n", ":0:9 v(a):1:0 v(a):1:0 | 1=7; 1=8"},
        // The last name glued to the first "#C": that marker is lost and its
        // values still take point 0; the count holds marked points only.
        {"#H\nNODES='1' \n#N 'v(a)'\n#C 1 1 \n5 \n#C 2 1 6 \n#;\n", ":0:9 v(a):1:0 | 0=5"},
        // Markers without values never count more points than were read.
        {two + "\n#C 1 #C 2 2 5 6 #C 3 #;\n", ":0:9 v(a):1:0 v(a):1:0 | 2=5; 2=6"},
        {one + decimal + "#;\n",
         ":0:9 v(a):1:0 | 0=0 -0=-0 0=0 0=0 0=0 0=0 1500=1500 0.5=0.5 -0.0025=-0.0025 1=1 12=12 "
         "inf=inf"},
        // "#;" glued to the next section's "#H" still ends a sweep.
        {one + "#C 0 1 4 \n#;\n#H\nNODES='1' \n#N 'v(a)' \n#C 0 1 9 \n#;",
         "OUTERSWEEP:0:9 :0:9 v(a):1:0 | 0=4 / 0=9"},
        {dense + "#;\n", "*37=7 38=8 39=9"},
        // Imaginary parts are dropped outside AC; AC without COMPLEXVALUES
        // gives kind 0, read as real.
        {"#H\nANALYSIS='TR' \nCOMPLEXVALUES='YES' \nNODES='2' \n#N 'V(a)' 'I(b)' \n"
         "#C 0 2 1/-1 2/-2 \n#;\n",
         ":1:9 V(a):1:10 I(b):8:10 | 0=1; 0=2"},
        {"#H\nANALYSIS='AC' \nNODES='1' \n#N 'v(a)' \n#C 0 1 1 \n#;\n", ":2:9 v(a):1:0 | 0=1"},
        // Malformed headers.
        {"title line\n#H\nNODES='1' \n", "open 2: Error: File @ is not valid CSDF format !!"},
        {"#H\nVERSION='1' \nTITLE=none\nNODES='1' \n",
         "open 2: Incorrect header near line 3 in file @ !!"},
        {"#H\nTITLE='" + std::string(300, 't') + "' \nNODES='1' \n",
         "open 2: Incorrect header near line 2 in file @ !!"},
        {"#H\nTITLE='t' \nNODES=2\n", "open 2: Incorrect header near line 3 in file @ !! "},
        {"#H\nANALYSIS='NOISE' \nNODES='1' \n",
         "open 2: Error:Unsupport analysis in csdf format NOISE !!"},
        {"#H\nTITLE='t' \n", "open 2: Error: File @ is incompleted !!"},
        {"#H\nNODES='3' \n#N 'a' 'b' \n", "open 2: Error: File @ is incompleted !!"},
        // Malformed data.
        {one + "#C 0 1 \n1 \n", ":0:9 v(a):1:0" + cut},
        {one + "#C", ":0:9 v(a):1:0" + cut},
        {two + "#C 0 2 \n1 \n", ":0:9 v(a):1:0 v(a):1:0" + cut},
        {one, ":0:9 v(a):1:0" + cut},
        {complex + "#C 1 1 \n2.0 \n", syntax + "7 in @ !!"},
        {complex + "#C 1 1 \n2.0/ \n", syntax + "7 in @ !!"},
        {complex + "#C 1 1 \n" + std::string(300, '1') + "/2 \n#;\n", syntax + "6 in @ !!"},
        {one + "#C 0 1 1 \n#;\n#H \nNODES='1' \n", "OUTERSWEEP:0:9 :0:9 v(a):1:0" + cut},
        {"#H\nNODES='300' \n#N " + names + "\n#C 0 0 \n#;\n" + sections,
         "*n299:78:0 | read 8: Error: Out of memory !!"},
    });
}

using MeasureTableTest = testkit::ReaderFixture;

TEST_F(MeasureTableTest, Headers) {
    const std::string v = "VERSION='1'\n";
    const std::string head = "$DATA1 SOURCE='x' VERSION='2013.03' PARAM_COUNT=0\n";
    const std::string title = ".TITLE 'generated measurements'\n";
    const std::string headerOnly = "[measurement table: this format has a header only]";
    const std::string line0 = "open 2: Incorrect header near line 0 in file @ !!";
    // The first name never ends an $OPTION list; the whole long line is read.
    std::string option = head + "$OPTION DELIMITER=' '\n" + title + "first# ";
    for (int i = 0; i < 300; ++i) option += "column" + std::to_string(i) + " ";
    expectRows(
        {
            // The names stop at temper#: alter# on the same line is not taken.
            {head + title + "index delay power temper# alter# \n1 2 3 4 1 \n",
             "index:9:9 delay:9:9 power:9:9 temper#:9:9 | read 0: " + headerOnly,
             "4 1 9 1 1|2013.03|'generated measurements'\n|"},
            {head + title + "index delay \npower alter# \n1 2 3 1 \n",
             "index:9:9 delay:9:9 power:9:9 alter#:9:9 | read 0: " + headerOnly},
            {writers::gzipBytes(option + "last# ignored \n"),
             "*column299:9:9 last#:9:9 | read 0: " + headerOnly},
            // A bare line break glues a name to the next line's first; the title
            // line may come later, and keeps 99 characters.
            {v + "not yet\n.TITLE " + std::string(150, 't') + "\nindex delay\npower alter# \n0\n",
             "index:9:9 delaypower:9:9 alter#:9:9 | read 0: " + headerOnly,
             "4 1 9 1 1|1|" + std::string(99, 't') + "|"},
            {"VERSION='" + std::string(32, '9') + "'\n.TITLE x\na# 1\n",
             "a#:9:9 | read 0: " + headerOnly, "4 1 9 1 1|" + std::string(32, '9') + "|x\n|"},
            // The second name of an $OPTION line may end the list.
            {v + "$OPTION\n.TITLE x\n a b# c\n", "a:9:9 b#:9:9 | read 0: " + headerOnly},
            // Lines between $OPTION and the title are skipped.
            {v + "$OPTION\nnote\n\n.TITLE x\n a,b\tc alter#\n",
             "a:9:9 b:9:9 c:9:9 alter#:9:9 | read 0: " + headerOnly},
            // Malformed: first and second lines, title search, names.
            {"$DATA1 SOURCE='x'\n.TITLE t\na alter# 1\n", line0},
            {"VERSION=1\n.TITLE t\na alter# 1\n", line0},
            {"VERSION='1\n.TITLE t\na alter# 1\n", line0},
            {"VERSION='" + std::string(33, '9') + "'\n.TITLE t\na alter# 1\n",
             "open 2: Incorrect header at line 0 of @ !!"},
            {v, "open 2: Incorrect header at line 2 of @ !!"},
            {v + "none\nstill none\n", "open 2: Incorrect header at line 3 of @ !!"},
            {v + "$OPTION\n", "open 2: Incorrect header at line 2 of @ !!"},
            {v + ".TITLE t\na b c \n", "open 2: No data found in @ !!"},
            {v + ".TITLE t\na b alter# \n", "open 2: No data found in @ !!"},
            {v + "$OPTION\n.TITLE t\n", "open 2: No data found in @ !!"},
            {v + "$OPTION\n.TITLE t\n , \t\n", "open 2: [the names line of the table is empty]"},
            {writers::gzipBytes(""), "open 2: Empty file @ !!"},
        },
        kFormatMeasureTable);
}

// Every token of input as "text/lines", then "-/lines" for the end.
std::string tokens(const std::string& input, const char* separators) {
    writers::ScratchDir dir;
    writers::writeBytes((dir / "in").string(), input, false);
    gzFile stream = gzopen((dir / "in").c_str(), "rb");
    std::string all;
    for (;;) {
        uint32_t lines = 99;
        const char* token = nextToken(stream, separators, &lines);
        all += std::string(token != nullptr ? token : "-") + "/" + std::to_string(lines) + " ";
        if (token == nullptr) break;
    }
    gzclose(stream);
    return all;
}

TEST(TokenReader, SplitsJoinsAndCountsLines) {
    const struct {
        std::string input;
        const char* separators;
        std::string expected;
    } rows[] = {
        {"abc def", " ", "abc/0 def/0 -/0 "},
        // A newline inside a token joins its halves and is counted there.
        {"ab\ncd ef", " ", "abcd/1 ef/0 -/0 "},
        // CR LF is one newline; a lone CR inside a token is dropped, only the
        // first of two.
        {"a\rb\r\nc", " ", "abc/1 -/0 "},
        {"a\r\rb", " ", "a\rb/0 -/0 "},
        {" \n \n\n ", " ", "-/3 "},
        // The default set splits on commas and tabs; a newline never ends a token.
        {"a,b\tc\n\nd", nullptr, "a/0 b/0 cd/2 -/0 "},
        {"", "", "-/0 "},
        // The newline ends "ab"'s skip; the next call counts it.
        {"ab \n cd", " ", "ab/0 cd/1 -/0 "},
        {std::string(301, 'q') + " z", " ", std::string(301, 'q') + "/0 z/0 -/0 "},
    };
    for (const auto& row : rows) EXPECT_EQ(tokens(row.input, row.separators), row.expected);
}

TEST(DiagnosticsDeathTest, FatalErrorPrintsAndExits) {
    EXPECT_EXIT(fatalError("not enough %s", "memory"), testing::ExitedWithCode(1),
                "^ERROR: not enough memory\n$");
    EXPECT_EXIT(nextToken(nullptr, " ", nullptr), testing::ExitedWithCode(1),
                "ERROR: Null file pointer!!");
}

}  // namespace
