// Compares formatValue with snprintf("%.12g") over float bit patterns: every
// one of the 2^32 by default (make prove-format), every stride-th when a stride
// is given (the test suites). Exits 1 on the first difference.
//   prove_format [stride]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "curve_writer.h"

namespace {

struct Outcome {
    uint64_t checked = 0;
    uint64_t ties = 0;  // values that lie exactly halfway between two results
    bool failed = false;
    uint32_t failedBits = 0;
};

// True when the value lies exactly halfway between two 12-digit results. A
// cheap filter first: value * 10^(11 - k) * 2 must be an integer, which needs
// the odd part of the significand to be large enough, or divisible by 5 when
// the value is scaled down. printf's own long expansion then decides.
bool isTie(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const uint32_t biased = (bits >> 23) & 0xff;
    uint32_t m = biased == 0 ? bits & 0x7fffff : (bits & 0x7fffff) | (1u << 23);
    if (biased == 0xff || m == 0) return false;
    int e = biased == 0 ? -149 : static_cast<int>(biased) - 150;
    for (; (m & 1) == 0; m >>= 1) ++e;
    const int k = static_cast<int>(std::floor(std::log10(std::fabs(static_cast<double>(value)))));
    if (k >= 12 ? m % 5 != 0 : e < k - 14) return false;
    char text[80];
    std::snprintf(text, sizeof text, "%.60e", static_cast<double>(value));
    const char* digits = std::strchr(text, '.');
    if (digits == nullptr || digits[12] != '5') return false;
    for (const char* c = digits + 13; *c != 'e'; ++c) {
        if (*c != '0') return false;
    }
    return true;
}

void check(uint64_t first, uint64_t step, Outcome& outcome) {
    char ours[kMaxValueText];
    char theirs[64];
    for (uint64_t n = first; n < (1ull << 32); n += step) {
        const auto bits = static_cast<uint32_t>(n);
        // A full run takes long on a busy machine: show how far it got.
        if (first == 0 && (bits & 0x0fffffff) == 0 && bits != 0) {
            std::printf("  through 0x%08x\n", bits);
            std::fflush(stdout);
        }
        float value;
        std::memcpy(&value, &bits, sizeof value);
        const char* end = formatValue(ours, value);
        const int length =
            std::snprintf(theirs, sizeof theirs, "%.12g", static_cast<double>(value));
        ++outcome.checked;
        if (length != end - ours ||
            std::memcmp(ours, theirs, static_cast<std::size_t>(length)) != 0) {
            outcome.failed = true;
            outcome.failedBits = bits;
            return;
        }
        if (isTie(value)) ++outcome.ties;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t stride = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1;
    if (stride == 0) return 2;
    unsigned threads = std::thread::hardware_concurrency();
    if (threads == 0) threads = 1;
    if (stride > 1) threads = 1;
    std::vector<Outcome> outcomes(threads);
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t) {
        workers.emplace_back(check, t * stride, threads * stride, std::ref(outcomes[t]));
    }
    Outcome total;
    for (unsigned t = 0; t < threads; ++t) {
        workers[t].join();
        total.checked += outcomes[t].checked;
        total.ties += outcomes[t].ties;
        if (outcomes[t].failed && !total.failed) {
            total.failed = true;
            total.failedBits = outcomes[t].failedBits;
        }
    }
    if (total.failed) {
        float value;
        std::memcpy(&value, &total.failedBits, sizeof value);
        char ours[kMaxValueText + 1];
        *formatValue(ours, value) = '\0';
        std::printf("DIFFERS at bits 0x%08x: %s, printf %.12g\n", total.failedBits, ours,
                    static_cast<double>(value));
        return 1;
    }
    std::printf("formatValue equals %%.12g on %llu float bit patterns (%llu exact ties)\n",
                static_cast<unsigned long long>(total.checked),
                static_cast<unsigned long long>(total.ties));
    return 0;
}
