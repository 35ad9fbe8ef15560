// The envelope against a brute-force scan of every sample, over random
// irregular series, windows at and beyond the ends, empty columns, single
// samples and NaN.
#include "envelope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

// Bit equality, so NaN equals NaN.
bool same(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

view::Column bruteColumn(const view::Series& s, double x0, double x1, int columns, int c,
                         bool log) {
    view::Column col;
    col.min = col.max = NAN;
    const double lo = view::columnEdge(x0, x1, columns, c, log);
    const double hi = view::columnEdge(x0, x1, columns, c + 1, log);
    for (size_t i = 0; i < s.y.size(); ++i) {
        const double x = (*s.x)[i];
        if (x < lo || x > x1 || (x >= hi && c + 1 < columns)) continue;
        if (col.count++ == 0) col.first = s.y[i], col.firstX = x;
        col.last = s.y[i], col.lastX = x;
        if (!std::isnan(s.y[i])) {
            col.min = std::isnan(col.min) ? s.y[i] : std::min(col.min, s.y[i]);
            col.max = std::isnan(col.max) ? s.y[i] : std::max(col.max, s.y[i]);
        }
    }
    return col;
}

view::Series randomSeries(size_t n, double nanShare, unsigned seed) {
    std::mt19937 rng(seed);
    std::exponential_distribution<double> step(1.0);
    std::normal_distribution<float> value(0, 1);
    std::uniform_real_distribution<double> unit(0, 1);
    auto x = std::make_shared<std::vector<double>>();
    view::Series s;
    double t = 0;
    for (size_t i = 0; i < n; ++i) {
        t += unit(rng) < 0.05 ? 0 : step(rng);  // some repeated times
        x->push_back(t);
        s.y.push_back(unit(rng) < nanShare ? NAN : value(rng));
    }
    s.x = x;
    return s;
}

struct Case {
    size_t n;
    double nanShare;
    double from, to;  // window as shares of the series' span
    int columns;
    bool log = false;  // columns even in log x
};

// clang-format off
const Case kCases[] = {
    {0, 0, 0, 1, 10},           {1, 0, 0, 1, 1},            {1, 0, -1, 2, 5},
    {64, 0, 0, 1, 1},           {65, 0, 0, 1, 64},          {200, 0, 0, 1, 7},
    {1000, 0, 0, 1, 999},       {1000, 0, -0.5, 1.5, 3},    {1000, 0, 0.5, 0.5, 1},
    {5000, 0.01, 0, 1, 100},    {5000, 0, 0.001, 0.002, 4}, {5000, 0, 0.2, 0.7, 4000},
    {20000, 0, 0.9, 1.2, 333},  {20000, 1.0, 0, 1, 50},     {20000, 0.3, 0.1, 0.9, 2000},
};
// clang-format on

TEST(Envelope, EqualsBruteForce) {
    unsigned seed = 1;
    for (const Case& k : kCases) {
        const view::Series s = randomSeries(k.n, k.nanShare, seed++);
        const view::Pyramid p(s.y);
        const double span = k.n ? s.x->back() : 1;
        const double x0 = k.from * span, x1 = k.to * span;
        const view::Envelope e = view::envelope(s, p, x0, x1, k.columns, k.log);
        size_t begin = 0, end = 0;
        view::windowIndices(*s.x, x0, x1, begin, end);
        SCOPED_TRACE(testing::Message() << "n " << k.n << " window " << k.from << ".." << k.to
                                        << " columns " << k.columns);
        ASSERT_EQ(e.raw, end - begin < static_cast<size_t>(k.columns));
        if (e.raw) {
            const size_t first = begin ? begin - 1 : 0, last = std::min(end + 1, k.n);
            ASSERT_EQ(e.rawIndex.size(), last - first);
            for (size_t i = 0; i < e.rawIndex.size(); ++i) EXPECT_EQ(e.rawIndex[i], first + i);
            continue;
        }
        ASSERT_EQ(e.columns.size(), static_cast<size_t>(k.columns));
        for (int c = 0; c < k.columns; ++c) {
            const view::Column want = bruteColumn(s, x0, x1, k.columns, c, k.log);
            const view::Column& got = e.columns[static_cast<size_t>(c)];
            ASSERT_EQ(got.count, want.count) << "column " << c;
            if (!want.count) continue;
            EXPECT_TRUE(same(got.min, want.min) && same(got.max, want.max) &&
                        same(got.first, want.first) && same(got.last, want.last) &&
                        got.firstX == want.firstX && got.lastX == want.lastX)
                << "column " << c;
        }
    }
}

// A one-sample spike shows at full height in one column of a wide window,
// and the pyramid stays under 1/16 of the values' memory.
TEST(Envelope, SpikeAndMemory) {
    const size_t n = 1000003;
    auto x = std::make_shared<std::vector<double>>(n);
    view::Series s{x, std::vector<float>(n, 0.0f)};
    for (size_t i = 0; i < n; ++i) (*x)[i] = 1e-12 * static_cast<double>(i);
    s.y[777777] = 5.0f;
    const view::Pyramid p(s.y);
    const view::Envelope e = view::envelope(s, p, 0, x->back(), 1000);
    float top = 0;
    for (const view::Column& c : e.columns) top = std::max(top, c.max);
    EXPECT_EQ(top, 5.0f);
    EXPECT_LE(p.bytes() * 16, n * sizeof(float));
}

}  // namespace
