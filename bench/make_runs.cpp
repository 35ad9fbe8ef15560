// Writes the runs that bench/many_bench.py reads and converts: COUNT binary
// 9601 post files run000.tr0, run001.tr0, ... in FOLDER, each of SIGNALS node
// voltages over the same POINTS time points, every run's values its own.
//   usage: make_runs FOLDER [COUNT [SIGNALS [POINTS]]]   (default 200 x 50 x 20000)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "post_writer.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_runs FOLDER [COUNT [SIGNALS [POINTS]]]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const long count = argc > 2 ? std::atol(argv[2]) : 200;
    const long signals = argc > 3 ? std::atol(argv[3]) : 50;
    const long points = argc > 4 ? std::atol(argv[4]) : 20000;
    writers::PostFile file;
    for (long s = 0; s < signals; ++s) file.signals.push_back({"v" + std::to_string(s)});
    for (long run = 0; run < count; ++run) {
        char name[32];
        std::snprintf(name, sizeof name, "/run%03ld.tr0", run);
        writers::PostStreamWriter out(folder + name, file);
        for (long p = 0; p < points; ++p) {
            out.axis(p * 1e-9);
            for (long s = 0; s < signals; ++s) out.value(std::sin(p * 1e-3 + s) * (1 + run % 7));
        }
        out.endTable();
        if (!out.finish()) {
            std::fprintf(stderr, "make_runs: cannot write %s%s\n", folder.c_str(), name);
            return 1;
        }
    }
    return 0;
}
