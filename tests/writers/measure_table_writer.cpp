#include "measure_table_writer.h"

#include "csdf_writer.h"

namespace writers {

std::string measureTableText(const MeasureTable& table) {
    std::string out = "$DATA1 SOURCE='wavtrex' VERSION='2013.03' PARAM_COUNT=0\n";
    if (table.option) out += "$OPTION DELIMITER=' '\n";
    out += ".TITLE 'generated measurements'\n";
    const size_t n = table.columns.size();
    const size_t perLine = table.option || table.columnsPerLine == 0 ? n + 1 : table.columnsPerLine;
    for (size_t i = 0; i < n; ++i) {
        out += table.columns[i] + ((i + 1) % perLine == 0 || i + 1 == n ? " \n" : " ");
    }
    for (const auto& row : table.rows) {
        for (double value : row) out += csdfNumber(value) + " ";
        out += "\n";
    }
    return out;
}

}  // namespace writers
