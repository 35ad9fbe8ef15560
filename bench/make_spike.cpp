// Writes the viewer's test and bench file: a binary 9601 post file whose
// first signal, v(spike), is 0 but for one sample of 1 at 7/10 of its
// POINTS points, beside SIGNALS - 1 sines; the times step irregularly.
//   usage: make_spike FILE POINTS [SIGNALS]
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "post_writer.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_spike FILE POINTS [SIGNALS]\n");
        return 2;
    }
    const long points = std::atol(argv[2]);
    const long signals = argc > 3 ? std::atol(argv[3]) : 2;
    writers::PostFile file;
    file.signals.push_back({"v(spike)"});
    for (long s = 1; s < signals; ++s) file.signals.push_back({"v(s" + std::to_string(s) + ")"});
    writers::PostStreamWriter out(argv[1], file);
    const long spike = points * 7 / 10;
    double t = 0;
    for (long p = 0; p < points; ++p) {
        out.axis(t);
        t += p % 3 == 0 ? 1e-12 : 2.5e-12;
        out.value(p == spike ? 1.0 : 0.0);
        for (long s = 1; s < signals; ++s) out.value(std::sin(p * 1e-4 * s));
    }
    out.endTable();
    if (!out.finish()) {
        std::fprintf(stderr, "make_spike: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
