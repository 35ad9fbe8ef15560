// Writes a binary 9601 transient post file for the Python module's memory
// check: make_large_post FILE SIGNALS POINTS.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "post_writer.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s FILE SIGNALS POINTS\n", argv[0]);
        return 2;
    }
    const int signals = std::atoi(argv[2]);
    const int points = std::atoi(argv[3]);
    writers::PostFile f;
    for (int i = 0; i < signals; ++i) f.signals.push_back({"v(n" + std::to_string(i) + ")"});
    writers::PostStreamWriter out(argv[1], f);
    for (int p = 0; p < points; ++p) {
        out.axis(p * 1e-9);
        for (int i = 0; i < signals; ++i) out.value(i + 1e-3 * p);
    }
    out.endTable();
    bool written = out.finish();
    if (!written) std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return written ? 0 : 1;
}
