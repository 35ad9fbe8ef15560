// Compares formatValue with snprintf("%.12g") over float bit patterns: every
// one of the 2^32 by default (make prove-format), every stride-th when a stride
// is given (the test suites). Exits 1 on the first difference.
//   prove_format [stride]
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "curve_writer.h"

namespace {

std::atomic<uint64_t> checked{0};
std::atomic<bool> differs{false};

void check(uint64_t first, uint64_t step) {
    char ours[kMaxValueText];
    char theirs[64];
    uint64_t count = 0;
    for (uint64_t n = first; n < (1ull << 32) && !differs; n += step) {
        const auto bits = static_cast<uint32_t>(n);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        const char* end = formatValue(ours, value);
        const int length =
            std::snprintf(theirs, sizeof theirs, "%.12g", static_cast<double>(value));
        if (length != end - ours ||
            std::memcmp(ours, theirs, static_cast<std::size_t>(length)) != 0) {
            std::printf("DIFFERS at bits 0x%08x: %.*s, printf %s\n", bits,
                        static_cast<int>(end - ours), ours, theirs);
            differs = true;
        }
        ++count;
    }
    checked += count;
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t stride = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1;
    if (stride == 0) return 2;
    const unsigned threads = stride > 1 ? 1 : std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t)
        workers.emplace_back(check, t * stride, threads * stride);
    for (std::thread& worker : workers) worker.join();
    if (differs) return 1;
    std::printf("formatValue equals %%.12g on %llu float bit patterns\n",
                static_cast<unsigned long long>(checked.load()));
    return 0;
}
