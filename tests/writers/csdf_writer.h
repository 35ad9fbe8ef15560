// CSDF text files for the tests and the fuzz seeds. Every line ends in a
// blank before its line break: the reader splits tokens at blanks only, so a
// bare line break would glue two items together.
#ifndef WAVTREX_TESTS_CSDF_WRITER_H
#define WAVTREX_TESTS_CSDF_WRITER_H

#include <string>
#include <vector>

namespace writers {

struct CsdfPoint {
    double x = 0;
    std::vector<double> real;  // one per node
    std::vector<double> imag;  // one per node when the file is complex
};

// One section ("#H" ... "#;") per sweep, each repeating the header and the
// node list, version "2001.2", title "* generated circuit" and a fixed date.
struct CsdfFile {
    std::string analysis = "TR";
    std::string sweepVar = "TIME";
    std::string complexValues = "NO";  // empty: no key; other than "NO": re/im values
    std::vector<std::string> nodes;
    std::vector<std::vector<CsdfPoint>> sweeps{{}};
};

// Numbers have 9 significant digits: every float reads back exactly.
std::string csdfText(const CsdfFile& file);
std::string csdfNumber(double value);

}  // namespace writers

#endif
