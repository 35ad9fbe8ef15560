// Writes the demo's waveform file: the step response of a three-stage RC
// ladder as a binary 9601 transient post file, with the node voltages and
// the current into the first resistor.
#include <cstdio>
#include <string>

#include "post_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output .tr0 file>\n", argv[0]);
        return 2;
    }
    constexpr double kR = 1e3;        // ohms per stage
    constexpr double kC = 1e-9;       // farads per stage
    constexpr double kRise = 100e-9;  // input ramp from 0 to 1 V
    constexpr double kStep = 1e-9;    // integration step, far below R*C
    // The slowest mode of the ladder decays with about 5 R*C: 40 us lets
    // the output settle to its final 1 V.
    constexpr int kStepsPerPoint = 80;
    constexpr int kPoints = 501;  // 0 to 40 us

    writers::PostFile file;
    file.title = "rc ladder step response";
    file.signals = {{"in"}, {"mid1"}, {"mid2"}, {"out"}, {"i(r1)", 8}};
    writers::PostStreamWriter out(argv[1], file);

    double v1 = 0, v2 = 0, v3 = 0;
    auto input = [&](double t) { return t >= kRise ? 1.0 : t / kRise; };
    for (int p = 0; p < kPoints; ++p) {
        const double t = p * kStepsPerPoint * kStep;
        const double vin = input(t);
        out.axis(t);
        out.value(vin);
        out.value(v1);
        out.value(v2);
        out.value(v3);
        out.value((vin - v1) / kR);
        for (int k = 0; k < kStepsPerPoint; ++k) {
            const double vs = input(t + k * kStep);
            const double i1 = (vs - v1) / kR, i2 = (v1 - v2) / kR, i3 = (v2 - v3) / kR;
            v1 += kStep * (i1 - i2) / kC;
            v2 += kStep * (i2 - i3) / kC;
            v3 += kStep * i3 / kC;
        }
    }
    out.endTable();
    if (!out.finish()) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
