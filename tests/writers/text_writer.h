// Text waveform files for the tests and the fuzz seeds: CSDF and measurement
// tables. Lines end in a blank before the line break: the readers split
// tokens at blanks only, so a bare line break would glue two items together.
#ifndef WAVTREX_TESTS_WRITERS_TEXT_WRITER_H
#define WAVTREX_TESTS_WRITERS_TEXT_WRITER_H

#include <string>
#include <vector>

namespace writers {

struct CsdfPoint {
    double x = 0;
    std::vector<double> real;  // one per node
    std::vector<double> imag;  // one per node when the file is complex
};

// One section ("#H" ... "#;") per sweep, each with the header and the node
// list; version "2001.2", title "* generated circuit", a fixed date.
struct CsdfFile {
    std::string analysis = "TR";
    std::string sweepVar = "TIME";
    std::string complexValues = "NO";  // other than "NO": re/im values
    std::vector<std::string> nodes;
    std::vector<std::vector<CsdfPoint>> sweeps{{}};
};

// Numbers have 9 significant digits: every float reads back exactly.
std::string csdfText(const CsdfFile& file);

// "$DATA1 ... VERSION='2013.03'", "$OPTION" when asked, ".TITLE", the column
// names (columnsPerLine to a line, 0: one line; all on one after "$OPTION")
// and a row of values per alter.
struct MeasureTable {
    bool option = false;
    std::vector<std::string> columns;
    std::vector<std::vector<double>> rows;
    size_t columnsPerLine = 0;
};

std::string measureTableText(const MeasureTable& table);

}  // namespace writers

#endif
