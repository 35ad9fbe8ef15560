#include "measure_table_writer.h"

#include <cstdio>

#include "file_bytes.h"

namespace writers {

std::string measureTableText(const MeasureTable& table) {
    std::string out = "$DATA1 SOURCE='wavtrex' VERSION='" + table.version + "' PARAM_COUNT=0\n";
    if (table.option) out += "$OPTION DELIMITER=' '\n";
    out += ".TITLE " + table.title + "\n";
    size_t perLine =
        table.option || table.columnsPerLine == 0 ? table.columns.size() + 1 : table.columnsPerLine;
    for (size_t i = 0; i < table.columns.size(); ++i) {
        out += table.columns[i] + " ";
        if ((i + 1) % perLine == 0 || i + 1 == table.columns.size()) out += "\n";
    }
    for (const auto& row : table.rows) {
        for (double value : row) {
            char text[40];
            std::snprintf(text, sizeof text, "%.9g ", value);
            out += text;
        }
        out += "\n";
    }
    return out;
}

void writeMeasureTable(const std::string& path, const MeasureTable& table, bool gzip,
                       size_t truncateAt) {
    writeBytes(path, measureTableText(table).substr(0, truncateAt), gzip);
}

}  // namespace writers
