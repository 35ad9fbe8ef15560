// wavtrex-view's figures: opening a wide file (headers only), its first
// signal against a selective read of that signal, the envelope of a spike
// file, and envelope queries of 2000 columns over a 10^8-point series with
// the pyramid's memory. Prints figures; never fails on speed.
//   usage: view_bench WIDE.tr0 SPIKE.tr0   (both made by make_spike)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

#include "envelope.h"
#include "store.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The reader alone: a selective read of signal 0 into floats, or into
// doubles as the viewer reads (open not counted).
double selectiveRead(const char* path, bool doubles) {
    uint32_t status = 0;
    WaveformDataset* ds = wfxOpen(path, WFX_DETECT_ALL, WFX_DETECT_MODE, &status);
    if (ds == nullptr) return -1;
    std::vector<uint8_t> wanted(static_cast<size_t>(ds->signalCount), 0);
    wanted[0] = 1;
    WaveformValues v{};
    WaveformValues64 v64{};
    const auto start = Clock::now();
    if (doubles) {
        wfxReadSignals64(ds, wanted.data(), &v64);
    } else {
        wfxReadSignals(ds, wanted.data(), &v);
    }
    const double t = ms(start);
    wfxReleaseValues(&v);
    wfxReleaseValues64(&v64);
    wfxClose(ds);
    return t;
}

void openAndFirstSignal(const char* path) {
    std::vector<double> open, first, read, read64;
    size_t signals = 0;
    selectiveRead(path, false);  // the file in the page cache for all
    for (int i = 0; i < 5; ++i) {
        read.push_back(selectiveRead(path, false));
        read64.push_back(selectiveRead(path, true));
        view::Run run(path);
        auto start = Clock::now();
        run.open();
        open.push_back(ms(start));
        signals = run.signals().size();
        std::string reason;
        start = Clock::now();
        view::Curves* c = run.curves(0, view::Part::value, reason);
        if (c != nullptr) c->pyramid(0);
        first.push_back(ms(start));
    }
    std::error_code error;
    std::printf(
        "view: open a file of %zu signals, %.0f MB (headers only): %.2f ms (goal < 1000 ms)\n",
        signals, static_cast<double>(std::filesystem::file_size(path, error)) / 1e6, median(open));
    std::printf(
        "view: first signal shown (float64 times) %.1f ms, selective read %.1f ms: ratio "
        "%.2f (goal <= 1.2); against the same read into doubles (%.1f ms): %.2f\n",
        median(first), median(read), median(first) / median(read), median(read64),
        median(first) / median(read64));
}

void spike(const char* path) {
    view::Run run(path);
    std::string reason;
    view::Curves* c = run.open() ? run.curves(0, view::Part::value, reason) : nullptr;
    if (c == nullptr) return;
    const view::Series& s = c->sweeps[0];
    const view::Envelope e = view::envelope(s, c->pyramid(0), s.x->front(), s.x->back(), 2000);
    float top = 0;
    for (const view::Column& col : e.columns) top = std::max(top, col.max);
    std::printf(
        "view: spike file of %zu points in 2000 columns: highest column %g (the spike: 1)\n",
        s.y.size(), top);
}

void hundredMillion() {
    constexpr size_t n = 100000000;
    auto x = std::make_shared<std::vector<double>>(n);
    view::Series s{x, std::vector<float>(n)};
    std::mt19937 rng(7);
    double t = 0;
    for (size_t i = 0; i < n; ++i) {
        t += 1e-12 * (1 + (rng() & 3));
        (*x)[i] = t;
        s.y[i] = static_cast<float>(rng() & 1023);
    }
    auto start = Clock::now();
    const view::Pyramid p(s.y);
    const double build = ms(start);
    std::vector<double> query;
    std::uniform_real_distribution<double> where(0, t);
    for (int i = 0; i < 41; ++i) {
        double a = i ? where(rng) : 0, b = i ? where(rng) : t;
        if (a > b) std::swap(a, b);
        start = Clock::now();
        const view::Envelope e = view::envelope(s, p, a, b, 2000);
        query.push_back(ms(start));
    }
    start = Clock::now();  // the baseline: one pass over the values, as without a pyramid
    float lo = INFINITY, hi = -INFINITY;
    for (const float v : s.y) {
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
    }
    const double scan = ms(start);
    std::printf(
        "view: envelope of 2000 columns over 1e8 points: median %.3f ms, slowest %.3f ms "
        "(goal <= 5 ms), 1/%.0f of one pass over the values (%.0f ms, %g to %g); "
        "pyramid built in %.0f ms\n",
        median(query), *std::max_element(query.begin(), query.end()), scan / median(query), scan,
        lo, hi, build);
    std::printf(
        "view: pyramid memory %.4f of the values, %.4f of the series (goal <= 1/16 = 0.0625)\n",
        static_cast<double>(p.bytes()) / (n * sizeof(float)),
        static_cast<double>(p.bytes()) / (n * (sizeof(float) + sizeof(double))));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: view_bench WIDE.tr0 SPIKE.tr0\n");
        return 2;
    }
    openAndFirstSignal(argv[1]);
    spike(argv[2]);
    hundredMillion();
    return 0;
}
