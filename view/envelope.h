// What one pixel column of a plot shows of a series: the extremes and the
// end samples of every sample whose x falls in it. Columns are x ranges (a
// simulator's steps are irregular), so a one-sample spike anywhere in the
// window reaches its column's minimum or maximum at any zoom.
#ifndef WAVTREX_VIEW_ENVELOPE_H
#define WAVTREX_VIEW_ENVELOPE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace view {

// One curve of one sweep: x non-decreasing (float64, so picoseconds stay
// apart at milliseconds), y as float32 to halve the memory of large files.
struct Series {
    std::shared_ptr<const std::vector<double>> x;  // shared by the signals of one time axis
    std::vector<float> y;
};

// Minimum and maximum over blocks of kLeaf samples, then over runs of kFan
// blocks, up to one block: about n/8 bytes for n samples, 1/32 of the values.
// The wide fan keeps a query to a few cache lines per level.
class Pyramid {
  public:
    static constexpr size_t kLeaf = 128;
    static constexpr size_t kFan = 16;
    explicit Pyramid(const std::vector<float>& y);
    // Minimum and maximum of y[begin, end), NaN ignored (NaN when all are).
    void range(const std::vector<float>& y, size_t begin, size_t end, float& lo, float& hi) const;
    size_t bytes() const;

  private:
    std::vector<std::vector<float>> mins_, maxs_;  // level k: blocks of kLeaf * kFan^k samples
};

struct Column {
    uint32_t count = 0;         // samples in the column; the rest is unset when 0
    float min = 0, max = 0;     // NaN ignored, NaN when every sample is NaN
    float first = 0, last = 0;  // the column's first and last sample
    double firstX = 0, lastX = 0;
};

struct Envelope {
    bool raw = false;              // fewer samples than columns: the samples themselves
    std::vector<size_t> rawIndex;  // raw: the window's samples and one on each side
    std::vector<Column> columns;   // else one per column
};

// Left edge of column c of `columns` over [x0, x1], evenly spaced in x or,
// for a log axis (0 < x0), in log x: column c holds the samples with
// edge(c) <= x < edge(c + 1), the last one also x == x1.
double columnEdge(double x0, double x1, int columns, int c, bool log = false);

// Samples with x0 <= x <= x1, as [begin, end) of the series' indices.
void windowIndices(const std::vector<double>& x, double x0, double x1, size_t& begin, size_t& end);

// The envelope of s over [x0, x1] in `columns` columns (x0 <= x1, columns > 0).
Envelope envelope(const Series& s, const Pyramid& p, double x0, double x1, int columns,
                  bool log = false);

}  // namespace view

#endif  // WAVTREX_VIEW_ENVELOPE_H
