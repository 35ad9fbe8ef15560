#include "envelope.h"

#include <algorithm>
#include <cmath>

namespace view {

namespace {

// std::fmin and std::fmax ignore a NaN operand, and are NaN for two.
std::vector<float> combine(const std::vector<float>& below, bool lower) {
    std::vector<float> level((below.size() + 1) / 2);
    for (size_t j = 0; j < level.size(); ++j) {
        const float a = below[2 * j];
        const float b = 2 * j + 1 < below.size() ? below[2 * j + 1] : a;
        level[j] = lower ? std::fmin(a, b) : std::fmax(a, b);
    }
    return level;
}

void scan(const std::vector<float>& y, size_t begin, size_t end, float& lo, float& hi) {
    for (size_t i = begin; i < end; ++i) {
        lo = std::fmin(lo, y[i]);
        hi = std::fmax(hi, y[i]);
    }
}

}  // namespace

Pyramid::Pyramid(const std::vector<float>& y) {
    const size_t blocks = y.size() / kLeaf;  // whole blocks only; a tail is scanned
    if (blocks == 0) return;
    std::vector<float> lo(blocks), hi(blocks);
    for (size_t b = 0; b < blocks; ++b) {
        lo[b] = hi[b] = NAN;
        scan(y, b * kLeaf, (b + 1) * kLeaf, lo[b], hi[b]);
    }
    mins_.push_back(std::move(lo));
    maxs_.push_back(std::move(hi));
    while (mins_.back().size() > 1) {
        mins_.push_back(combine(mins_.back(), true));
        maxs_.push_back(combine(maxs_.back(), false));
    }
}

size_t Pyramid::bytes() const {
    size_t n = 0;
    for (const auto& level : mins_) n += 2 * level.size() * sizeof(float);
    return n;
}

// Partial blocks at the ends are scanned; whole blocks climb the levels as
// in a bottom-up segment tree: O(kLeaf + log n).
void Pyramid::range(const std::vector<float>& y, size_t begin, size_t end, float& lo,
                    float& hi) const {
    lo = hi = NAN;
    size_t b = (begin + kLeaf - 1) / kLeaf, e = end / kLeaf;
    if (b >= e || mins_.empty()) {
        scan(y, begin, end, lo, hi);
        return;
    }
    scan(y, begin, b * kLeaf, lo, hi);
    scan(y, e * kLeaf, end, lo, hi);
    for (size_t level = 0; b < e; ++level, b /= 2, e /= 2) {
        if (b & 1) {
            lo = std::fmin(lo, mins_[level][b]);
            hi = std::fmax(hi, maxs_[level][b]);
            ++b;
        }
        if (e & 1) {
            --e;
            lo = std::fmin(lo, mins_[level][e]);
            hi = std::fmax(hi, maxs_[level][e]);
        }
    }
}

double columnEdge(double x0, double x1, int columns, int c) {
    return x0 + (x1 - x0) * (static_cast<double>(c) / columns);
}

void windowIndices(const std::vector<double>& x, double x0, double x1, size_t& begin, size_t& end) {
    begin = static_cast<size_t>(std::lower_bound(x.begin(), x.end(), x0) - x.begin());
    end = static_cast<size_t>(
        std::upper_bound(x.begin() + static_cast<ptrdiff_t>(begin), x.end(), x1) - x.begin());
}

Envelope envelope(const Series& s, const Pyramid& p, double x0, double x1, int columns) {
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
            c + 1 == columns
                ? end
                : static_cast<size_t>(std::lower_bound(x.begin() + static_cast<ptrdiff_t>(from),
                                                       x.begin() + static_cast<ptrdiff_t>(end),
                                                       columnEdge(x0, x1, columns, c + 1)) -
                                      x.begin());
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
