// CSDF files through open and read: key and layout quirks, and the exact
// messages of malformed files. Files as the writer makes them are the seed
// corpus's (values against the converter, headers in the info golden run).
#include <string>
#include <vector>

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
         ":0:9 q:78:9 | read 0: Error: File @ is incompleted !!",
         "2 1 -1 1 1||" + std::string(99, 't') + "|" + std::string(99, 'd')},
        // A node list not right after NODES: no variables.
        {"#H\nNODES='5' \n\n#N 'a' \n", " | read 0: Error: File @ is incompleted !!"},
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
        {one + "#C 0 1 \n1 \n", ":0:9 v(a):1:0 | read 0: Error: File @ is incompleted !!"},
        {one + "#C", ":0:9 v(a):1:0 | read 0: Error: File @ is incompleted !!"},
        {two + "#C 0 2 \n1 \n", ":0:9 v(a):1:0 v(a):1:0 | read 0: Error: File @ is incompleted !!"},
        {one, ":0:9 v(a):1:0 | read 0: Error: File @ is incompleted !!"},
        {complex + "#C 1 1 \n2.0 \n",
         ":2:9 v(a):1:10 | read 0: Error: Syntax error near line 7 in @ !!"},
        {complex + "#C 1 1 \n2.0/ \n",
         ":2:9 v(a):1:10 | read 0: Error: Syntax error near line 7 in @ !!"},
        {complex + "#C 1 1 \n" + std::string(300, '1') + "/2 \n#;\n",
         ":2:9 v(a):1:10 | read 0: Error: Syntax error near line 6 in @ !!"},
        {one + "#C 0 1 1 \n#;\n#H \nNODES='1' \n",
         "OUTERSWEEP:0:9 :0:9 v(a):1:0 | read 0: Error: File @ is incompleted !!"},
        {"#H\nNODES='300' \n#N " + names + "\n#C 0 0 \n#;\n" + sections,
         "*n299:78:0 | read 8: Error: Out of memory !!"},
    });
}

}  // namespace
