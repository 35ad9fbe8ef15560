// Writes the demo's waveform file: the step response of a three-stage RC
// ladder with the node voltages and the current into the first resistor,
// as a binary 9601 transient post file, or, for a name ending in .raw, as
// the binary SPICE raw file ngspice would write for the same circuit.
#include <array>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "post_writer.h"
#include "raw_writer.h"

namespace {

// One row per point: time, then in, mid1, mid2, out and the current i(r1).
using Row = std::array<double, 6>;

std::vector<Row> simulate() {
    constexpr double kR = 1e3;        // ohms per stage
    constexpr double kC = 1e-9;       // farads per stage
    constexpr double kRise = 100e-9;  // input ramp from 0 to 1 V
    constexpr double kStep = 1e-9;    // integration step, far below R*C
    // The slowest mode of the ladder decays with about 5 R*C: 40 us lets
    // the output settle to its final 1 V.
    constexpr int kStepsPerPoint = 80;
    constexpr int kPoints = 501;  // 0 to 40 us

    std::vector<Row> rows;
    double v1 = 0, v2 = 0, v3 = 0;
    auto input = [&](double t) { return t >= kRise ? 1.0 : t / kRise; };
    for (int p = 0; p < kPoints; ++p) {
        const double t = p * kStepsPerPoint * kStep;
        const double vin = input(t);
        rows.push_back({t, vin, v1, v2, v3, (vin - v1) / kR});
        for (int k = 0; k < kStepsPerPoint; ++k) {
            const double vs = input(t + k * kStep);
            const double i1 = (vs - v1) / kR, i2 = (v1 - v2) / kR, i3 = (v2 - v3) / kR;
            v1 += kStep * (i1 - i2) / kC;
            v2 += kStep * (i2 - i3) / kC;
            v3 += kStep * i3 / kC;
        }
    }
    return rows;
}

// HSPICE stores node voltages by their bare names, currents as i(...).
bool writePost(const char* path, const std::vector<Row>& rows) {
    writers::PostFile file;
    file.title = "rc ladder step response";
    file.signals = {{"in"}, {"mid1"}, {"mid2"}, {"out"}, {"i(r1)", 8}};
    writers::PostStreamWriter out(path, file);
    for (const Row& row : rows) {
        out.axis(row[0]);
        for (size_t i = 1; i < row.size(); ++i) out.value(row[i]);
    }
    out.endTable();
    return out.finish();
}

// ngspice names node voltages v(...) and a resistor's current i(...).
void writeRaw(const char* path, const std::vector<Row>& rows) {
    writers::RawFile file;
    file.title = "rc ladder step response";
    writers::RawPlot plot;
    plot.variables = {{"time", "time"},       {"v(in)", "voltage"},  {"v(mid1)", "voltage"},
                      {"v(mid2)", "voltage"}, {"v(out)", "voltage"}, {"i(r1)", "current"}};
    for (const Row& row : rows) plot.values.insert(plot.values.end(), row.begin(), row.end());
    file.plots = {plot};
    writers::writeBytes(path, writers::buildRawFile(file), false);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output .tr0 or .raw file>\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const std::vector<Row> rows = simulate();
    try {
        if (path.size() > 4 && path.compare(path.size() - 4, 4, ".raw") == 0) {
            writeRaw(argv[1], rows);
        } else if (!writePost(argv[1], rows)) {
            throw std::runtime_error("write failed");
        }
    } catch (const std::exception&) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
