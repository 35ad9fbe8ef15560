#include "csdf_writer.h"

#include <cstdio>

#include "file_bytes.h"

namespace writers {

namespace {

std::string number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

void key(std::string& out, const char* name, const std::string& value) {
    if (!value.empty()) out += std::string(name) + "='" + value + "' ";
}

void section(std::string& out, const CsdfFile& file, const std::vector<CsdfPoint>& points) {
    const bool complex = file.complexValues != "NO" && !file.complexValues.empty();
    out += "#H\n";
    out += "SOURCE='wavtrex' ";
    key(out, "VERSION", file.version);
    out += "\n";
    if (!file.title.empty()) out += "TITLE='" + file.title + "' \n";
    if (!file.date.empty()) out += "DATE='" + file.date + "' \n";
    if (!file.analysis.empty()) out += "ANALYSIS='" + file.analysis + "' SERIALNO='1' \n";
    key(out, "SWEEPVAR", file.sweepVar);
    out += "XBEGIN='" + number(points.empty() ? 0 : points.front().x) + "' ";
    out += "XEND='" + number(points.empty() ? 0 : points.back().x) + "' \n";
    if (!file.complexValues.empty()) out += "COMPLEXVALUES='" + file.complexValues + "' \n";
    out += "NODES='" + std::to_string(file.nodes.size()) + "' \n";
    out += "#N ";
    for (const std::string& node : file.nodes) out += "'" + node + "' ";
    out += "\n";
    for (const CsdfPoint& point : points) {
        out += "#C " + number(point.x) + " " + std::to_string(file.nodes.size()) + " \n";
        for (size_t i = 0; i < point.real.size(); ++i) {
            out += number(point.real[i]);
            if (complex) out += "/" + number(i < point.imag.size() ? point.imag[i] : 0.0);
            out += " ";
        }
        out += "\n";
    }
    out += "#;\n";
}

}  // namespace

std::string csdfText(const CsdfFile& file) {
    std::string out;
    for (const auto& points : file.sweeps) section(out, file, points);
    return out;
}

void writeCsdfBytes(const std::string& path, const std::string& bytes, bool gzip,
                    size_t truncateAt) {
    writeBytes(path, bytes.substr(0, truncateAt), gzip);
}

void writeCsdf(const std::string& path, const CsdfFile& file, bool gzip, size_t truncateAt) {
    writeCsdfBytes(path, csdfText(file), gzip, truncateAt);
}

}  // namespace writers
