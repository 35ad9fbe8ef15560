// Generates HSPICE measurement tables for the tests and the fuzz seeds.
//
// Layout written:
//
//   $DATA1 SOURCE='wavtrex' VERSION='<version>' PARAM_COUNT=0
//   $OPTION DELIMITER=' '                   (only when option is set)
//   .TITLE '<title>'
//   <column> <column> ...                   (columnsPerLine names a line)
//   <value> <value> ...                     (one row per alter)
//
// Every names and values line ends in a blank before its line break, so the
// token reader keeps names on different lines apart. With option set the
// names all go on the one line after the title, as the reader expects there.
#ifndef WAVTREX_TESTS_MEASURE_TABLE_WRITER_H
#define WAVTREX_TESTS_MEASURE_TABLE_WRITER_H

#include <cstddef>
#include <string>
#include <vector>

namespace writers {

struct MeasureTable {
    std::string version = "2013.03";
    bool option = false;
    std::string title = "'generated measurements'";
    std::vector<std::string> columns{"index", "delay", "temper", "alter#"};
    std::vector<std::vector<double>> rows{{1, 1.5e-09, 25, 1}};
    size_t columnsPerLine = 0;  // 0: all names on one line
};

std::string measureTableText(const MeasureTable& table);

// Writes the table, gzip-compressed when gzip is set, keeping only the first
// truncateAt bytes of the uncompressed text.
void writeMeasureTable(const std::string& path, const MeasureTable& table, bool gzip = false,
                       size_t truncateAt = std::string::npos);

}  // namespace writers

#endif
