// HSPICE measurement tables for the tests and the fuzz seeds: "$DATA1 ...
// VERSION=", "$OPTION" when asked, ".TITLE", the column names (columnsPerLine
// to a line, 0: one line; all on one after "$OPTION") and a row of values per
// alter. Names and values lines end in a blank, so names stay apart.
#ifndef WAVTREX_TESTS_MEASURE_TABLE_WRITER_H
#define WAVTREX_TESTS_MEASURE_TABLE_WRITER_H

#include <string>
#include <vector>

namespace writers {

struct MeasureTable {
    bool option = false;
    std::vector<std::string> columns;
    std::vector<std::vector<double>> rows;
    size_t columnsPerLine = 0;
};

std::string measureTableText(const MeasureTable& table);

}  // namespace writers

#endif
