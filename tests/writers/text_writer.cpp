#include "text_writer.h"

#include <cstdio>

namespace writers {

namespace {

std::string number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

}  // namespace

std::string csdfText(const CsdfFile& file) {
    const bool complex = file.complexValues != "NO";
    const std::string count = std::to_string(file.nodes.size());
    std::string out;
    for (const auto& points : file.sweeps) {
        out +=
            "#H\nSOURCE='wavtrex' VERSION='2001.2' \nTITLE='* generated circuit' \n"
            "DATE='12/06/2026 10:00:00' \nANALYSIS='" +
            file.analysis + "' SERIALNO='1' \n";
        out += "SWEEPVAR='" + file.sweepVar + "' XBEGIN='" +
               number(points.empty() ? 0 : points.front().x) + "' XEND='" +
               number(points.empty() ? 0 : points.back().x) + "' \n";
        out += "COMPLEXVALUES='" + file.complexValues + "' \nNODES='" + count + "' \n#N ";
        for (const std::string& node : file.nodes) out += "'" + node + "' ";
        out += "\n";
        for (const CsdfPoint& point : points) {
            out += "#C " + number(point.x) + " " + count + " \n";
            for (size_t i = 0; i < point.real.size(); ++i) {
                out += number(point.real[i]);
                if (complex) out += "/" + number(i < point.imag.size() ? point.imag[i] : 0.0);
                out += " ";
            }
            out += "\n";
        }
        out += "#;\n";
    }
    return out;
}

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
        for (double value : row) out += number(value) + " ";
        out += "\n";
    }
    return out;
}

}  // namespace writers
