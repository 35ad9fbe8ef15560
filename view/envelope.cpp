#include "envelope.h"

#include <algorithm>
#include <cmath>

namespace view {

namespace {

// Extremes start at +inf and -inf: a comparison with NaN is false, so NaN
// is passed over, and lo > hi at the end means no number was met. The
// loops so written compile to vector min and max instructions.
void scan(const float* v, size_t begin, size_t end, float& lo, float& hi) {
    for (size_t i = begin; i < end; ++i) {
        lo = v[i] < lo ? v[i] : lo;
        hi = v[i] > hi ? v[i] : hi;
    }
}

void combine(std::vector<std::vector<float>>& mins, std::vector<std::vector<float>>& maxs) {
    const std::vector<float>&lo = mins.back(), &hi = maxs.back();
    const size_t n = (lo.size() + Pyramid::kFan - 1) / Pyramid::kFan;
    std::vector<float> upLo(n, INFINITY), upHi(n, -INFINITY);
    for (size_t j = 0; j < n; ++j) {
        const size_t end = std::min(lo.size(), (j + 1) * Pyramid::kFan);
        float unusedHi = -INFINITY, unusedLo = INFINITY;
        scan(lo.data(), j * Pyramid::kFan, end, upLo[j], unusedHi);
        scan(hi.data(), j * Pyramid::kFan, end, unusedLo, upHi[j]);
    }
    mins.push_back(std::move(upLo));
    maxs.push_back(std::move(upHi));
}

}  // namespace

Pyramid::Pyramid(const std::vector<float>& y) {
    const size_t blocks = y.size() / kLeaf;  // whole blocks only; a tail is scanned
    if (blocks == 0) return;
    std::vector<float> lo(blocks, INFINITY), hi(blocks, -INFINITY);
    for (size_t b = 0; b < blocks; ++b) scan(y.data(), b * kLeaf, (b + 1) * kLeaf, lo[b], hi[b]);
    mins_.push_back(std::move(lo));
    maxs_.push_back(std::move(hi));
    while (mins_.back().size() > 1) combine(mins_, maxs_);
}

size_t Pyramid::bytes() const {
    size_t n = 0;
    for (const auto& level : mins_) n += 2 * level.size() * sizeof(float);
    return n;
}

// Partial blocks at the ends are scanned; whole blocks climb the levels,
// each level's partial runs of kFan scanned: O(kLeaf + kFan log n).
void Pyramid::range(const std::vector<float>& y, size_t begin, size_t end, float& lo,
                    float& hi) const {
    lo = INFINITY;
    hi = -INFINITY;
    size_t b = (begin + kLeaf - 1) / kLeaf, e = end / kLeaf;
    if (b >= e || mins_.empty()) {
        b = e = 0;
        scan(y.data(), begin, end, lo, hi);
    } else {
        scan(y.data(), begin, b * kLeaf, lo, hi);
        scan(y.data(), e * kLeaf, end, lo, hi);
    }
    auto take = [&](size_t level, size_t from, size_t to) {
        float unusedHi = -INFINITY, unusedLo = INFINITY;
        scan(mins_[level].data(), from, to, lo, unusedHi);
        scan(maxs_[level].data(), from, to, unusedLo, hi);
    };
    for (size_t level = 0; b < e; ++level) {
        const size_t nb = (b + kFan - 1) / kFan, ne = e / kFan;
        if (level + 1 == mins_.size() || nb >= ne) {  // no whole run above: the rest here
            take(level, b, e);
            break;
        }
        take(level, b, nb * kFan);
        take(level, ne * kFan, e);
        b = nb;
        e = ne;
    }
    if (lo > hi) lo = hi = NAN;
}

double columnEdge(double x0, double x1, int columns, int c, bool log) {
    const double share = static_cast<double>(c) / columns;
    if (log && c > 0) return std::exp(std::log(x0) + (std::log(x1) - std::log(x0)) * share);
    return x0 + (x1 - x0) * share;
}

void windowIndices(const std::vector<double>& x, double x0, double x1, size_t& begin, size_t& end) {
    begin = static_cast<size_t>(std::lower_bound(x.begin(), x.end(), x0) - x.begin());
    end = static_cast<size_t>(
        std::upper_bound(x.begin() + static_cast<ptrdiff_t>(begin), x.end(), x1) - x.begin());
}

namespace {

// The first index in [lo, hi) whose x is at least edge (hi when none),
// galloping from a guess and then bisecting: columns end near where their
// width predicts, so a search touches a few cache lines, not log n.
size_t firstFrom(const std::vector<double>& x, size_t lo, size_t hi, double edge, size_t guess) {
    const auto at = [&](size_t a, size_t b) {
        return static_cast<size_t>(std::lower_bound(x.begin() + static_cast<ptrdiff_t>(a),
                                                    x.begin() + static_cast<ptrdiff_t>(b), edge) -
                                   x.begin());
    };
    size_t g = std::clamp(guess, lo, hi), step = 1;
    if (g < hi && x[g] < edge) {  // the answer lies after g
        for (size_t a = g + 1;; a += step + 1, step *= 2) {
            const size_t b = std::min(a + step, hi);
            if (b == hi || x[b] >= edge) return at(a, b);
        }
    }
    for (size_t b = g;; step *= 2) {  // at or before g: x[b] >= edge, or b == hi
        const size_t a = b > lo + step ? b - step : lo;
        if (a == lo || x[a] < edge) return at(a, b);
        b = a;
    }
}

// Where the column from `from` ends: guessed as if the samples up to x1
// were spread evenly, then found.
size_t columnEnd(const std::vector<double>& x, size_t from, size_t end, double edge, double x1) {
    if (from == end) return end;
    const double share = (edge - x[from]) / (x1 - x[from]);
    const double guess = share >= 0 ? std::min(share, 1.0) * static_cast<double>(end - from) : 0;
    return firstFrom(x, from, end, edge, from + static_cast<size_t>(guess));
}

}  // namespace

Envelope envelope(const Series& s, const Pyramid& p, double x0, double x1, int columns, bool log) {
    const std::vector<double>& x = *s.x;
    Envelope out;
    size_t begin = 0, end = 0;
    windowIndices(x, x0, x1, begin, end);
    if (end - begin < static_cast<size_t>(columns)) {
        out.raw = true;
        for (size_t i = begin > 0 ? begin - 1 : 0; i < std::min(end + 1, x.size()); ++i) {
            out.rawIndex.push_back(i);
        }
        return out;
    }
    out.columns.resize(static_cast<size_t>(columns));
    size_t from = begin;
    for (int c = 0; c < columns; ++c) {
        const size_t to =
            c + 1 == columns ? end
                             : columnEnd(x, from, end, columnEdge(x0, x1, columns, c + 1, log), x1);
        Column& col = out.columns[static_cast<size_t>(c)];
        col.count = static_cast<uint32_t>(to - from);
        if (to > from) {
            p.range(s.y, from, to, col.min, col.max);
            col.first = s.y[from];
            col.last = s.y[to - 1];
            col.firstX = x[from];
            col.lastX = x[to - 1];
        }
        from = to;
    }
    return out;
}

}  // namespace view
