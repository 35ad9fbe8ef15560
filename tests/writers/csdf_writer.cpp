#include "csdf_writer.h"

#include <cstdio>

namespace writers {

std::string csdfNumber(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

std::string csdfText(const CsdfFile& file) {
    const bool complex = file.complexValues != "NO" && !file.complexValues.empty();
    const std::string count = std::to_string(file.nodes.size());
    std::string out;
    for (const auto& points : file.sweeps) {
        out +=
            "#H\nSOURCE='wavtrex' VERSION='2001.2' \nTITLE='* generated circuit' \n"
            "DATE='12/06/2026 10:00:00' \nANALYSIS='" +
            file.analysis + "' SERIALNO='1' \n";
        out += "SWEEPVAR='" + file.sweepVar + "' XBEGIN='" +
               csdfNumber(points.empty() ? 0 : points.front().x) + "' XEND='" +
               csdfNumber(points.empty() ? 0 : points.back().x) + "' \n";
        if (!file.complexValues.empty()) out += "COMPLEXVALUES='" + file.complexValues + "' \n";
        out += "NODES='" + count + "' \n#N ";
        for (const std::string& node : file.nodes) out += "'" + node + "' ";
        out += "\n";
        for (const CsdfPoint& point : points) {
            out += "#C " + csdfNumber(point.x) + " " + count + " \n";
            for (size_t i = 0; i < point.real.size(); ++i) {
                out += csdfNumber(point.real[i]);
                if (complex) out += "/" + csdfNumber(i < point.imag.size() ? point.imag[i] : 0.0);
                out += " ";
            }
            out += "\n";
        }
        out += "#;\n";
    }
    return out;
}

}  // namespace writers
