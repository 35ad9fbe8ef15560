// What the SPICE raw reader's header pass (spice_raw.cpp) and its value
// decoder (spice_raw_data.cpp) share: value widths and the failure call.
#ifndef WAVTREX_FORMATS_SPICE_RAW_PARTS_H
#define WAVTREX_FORMATS_SPICE_RAW_PARTS_H

#include <cstdint>
#include <string>

#include "../failure.h"
#include "spice_source.h"

namespace raw {

inline size_t widthBytes(ValueWidth w) {
    return w == ValueWidth::kFloat32 ? 4 : w == ValueWidth::kFloat64 ? 8 : 16;
}

inline int64_t rowBytes(const SourcePlot& plot) {
    int64_t bytes = 0;
    for (ValueWidth w : plot.widths) bytes += static_cast<int64_t>(widthBytes(w));
    return bytes;
}

// Stores "file: reason" as the failure; returns 0.
inline int fail(WaveformDataset* ds, const std::string& reason) {
    const std::string detail = std::string(ds->fileName) + ": " + reason;
    return reportFailure(ds, Failure::kSpiceRaw, detail.c_str());
}

inline std::string plotLabel(size_t p) {
    return "plot " + std::to_string(p + 1);
}

// "plot P: point K, NAME: "text" is no value".
inline std::string noValue(const SourcePlot& plot, size_t p, int64_t point, size_t v,
                           std::string_view text) {
    return plotLabel(p) + ": point " + std::to_string(point + 1) + ", " + plot.variableNames[v] +
           ": \"" + std::string(text.substr(0, 40)) + "\" is no value";
}

}  // namespace raw

#endif  // WAVTREX_FORMATS_SPICE_RAW_PARTS_H
