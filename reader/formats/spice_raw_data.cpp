// SPICE raw reader, values: see spice_raw.h. One decoder serves float and
// double holders; a float holder gets each stored double narrowed once.
#include <algorithm>
#include <bit>
#include <cmath>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "../dataset_tables.h"
#include "../text_scanner.h"
#include "byte_order.h"
#include "spice_raw.h"
#include "spice_raw_parts.h"

namespace {

using raw::fail;
using raw::plotLabel;
using raw::rowBytes;
using raw::widthBytes;
using scan::Scanner;
using scan::trim;

constexpr bool kHostSwapped = std::endian::native == std::endian::big;
constexpr size_t kChunkBytes = size_t{1} << 20;  // binary values are read this much at a time
constexpr size_t kCacheBytes = size_t{1} << 18;  // and decoded this much at a time

// Stores n values of column v, stride bytes apart from p on, at points k to
// k + n - 1 of sweep s: one loop per width, so none branches per value.
template <typename Values>
struct ColumnSink {
    using V = ValueOf<Values>;
    Values* out;
    const SpiceSource& source;

    void axis(size_t s, size_t k, const unsigned char* p, size_t stride, size_t n,
              ValueWidth w) const {
        V* x = out->axis[0][s] + k;
        // A complex axis keeps its real part: ngspice leaves garbage in the other.
        if (w == ValueWidth::kFloat32) {
            for (size_t r = 0; r < n; ++r) x[r] = stored(decodeFloat(p + r * stride, kHostSwapped));
            return;
        }
        for (size_t r = 0; r < n; ++r) x[r] = stored(decodeDouble(p + r * stride, kHostSwapped));
    }
    V stored(double t) const { return static_cast<V>(source.timeAxis ? std::fabs(t) : t); }

    void store(size_t v, size_t s, size_t k, const unsigned char* p, size_t stride, size_t n,
               ValueWidth w) const {
        const int64_t signal = signalOfColumn(source, v);
        if (signal < 0) return axis(s, k, p, stride, n, w);
        const auto i = static_cast<size_t>(signal);
        V* re = out->real[i][s] + k;
        if (w == ValueWidth::kFloat32) {
            for (size_t r = 0; r < n; ++r) re[r] = decodeFloat(p + r * stride, kHostSwapped);
            return;
        }
        for (size_t r = 0; r < n; ++r)
            re[r] = static_cast<V>(decodeDouble(p + r * stride, kHostSwapped));
        if (w != ValueWidth::kComplex128 || out->imag == nullptr || out->imag[i] == nullptr) return;
        V* im = out->imag[i][s] + k;
        for (size_t r = 0; r < n; ++r)
            im[r] = static_cast<V>(decodeDouble(p + r * stride + 8, kHostSwapped));
    }
};

template <typename Values>
class Decoder {
  public:
    Decoder(WaveformDataset* ds, const SpiceSource& source, Values* out)
        : ds_(ds), source_(source), out_(out), sink_{out, source}, in_(ds->stream, source.utf16) {}
    int run();

  private:
    int binaryPlot(size_t s0, size_t s1);
    int fastAccessPlot(size_t s0, size_t s1);
    int asciiPlot(size_t s0, size_t s1);
    int asciiValue(size_t p, int64_t point, size_t v, std::string_view line, size_t s, size_t k);
    void numberPoints(size_t s0, size_t s1);
    bool wanted(size_t v) const {
        const int64_t signal = signalOfColumn(source_, v);
        return signal < 0 || ds_->wantedSignals == nullptr ||
               ds_->wantedSignals[static_cast<size_t>(signal)] != 0;
    }
    const SourcePlot& plotOf(size_t s) const {
        return source_.plots[static_cast<size_t>(source_.sweeps[s].plot)];
    }
    int endsEarly(size_t s) {
        return fail(
            ds_, plotLabel(static_cast<size_t>(source_.sweeps[s].plot)) + ": the data ends early");
    }

    WaveformDataset* ds_;
    const SpiceSource& source_;
    Values* out_;
    ColumnSink<Values> sink_;
    Scanner in_;
};

// Point after point: a chunk of rows is read, then each wanted column is
// taken from it, so every output array is written in order.
template <typename Values>
int Decoder<Values>::binaryPlot(size_t s0, size_t s1) {
    const SourcePlot& plot = plotOf(s0);
    const auto row = static_cast<size_t>(rowBytes(plot));
    if (row == 0)
        return fail(ds_,
                    plotLabel(static_cast<size_t>(source_.sweeps[s0].plot)) + " has no variables");
    std::vector<size_t> columns;
    std::vector<size_t> offsets(plot.widths.size());
    for (size_t v = 0, at = 0; v < plot.widths.size(); at += widthBytes(plot.widths[v]), ++v) {
        offsets[v] = at;
        if (wanted(v)) columns.push_back(v);
    }
    const size_t perChunk = std::max<size_t>(1, kChunkBytes / row);
    const size_t perBlock = std::max<size_t>(1, kCacheBytes / row);
    std::vector<unsigned char> bytes(perChunk * row);
    for (size_t s = s0; s < s1; ++s) {
        const SourceSweep& sweep = source_.sweeps[s];
        if (!in_.seek(plot.dataOffset + sweep.first * static_cast<int64_t>(row)))
            return endsEarly(s);
        for (int64_t done = 0; done < sweep.count;) {
            const auto rows = static_cast<size_t>(
                std::min<int64_t>(static_cast<int64_t>(perChunk), sweep.count - done));
            if (!in_.read(bytes.data(), rows * row)) return endsEarly(s);
            // A few rows at a time, so the rows stay in the cache while every
            // column takes its part of them.
            for (size_t first = 0; first < rows; first += perBlock) {
                const size_t last = std::min(rows, first + perBlock);
                for (size_t v : columns) {
                    sink_.store(v, s, static_cast<size_t>(done) + first,
                                &bytes[first * row + offsets[v]], row, last - first,
                                plot.widths[v]);
                }
            }
            done += static_cast<int64_t>(rows);
        }
    }
    return 1;
}

// Variable after variable: only the wanted columns' bytes are read.
template <typename Values>
int Decoder<Values>::fastAccessPlot(size_t s0, size_t s1) {
    const SourcePlot& plot = plotOf(s0);
    std::vector<unsigned char> bytes(kChunkBytes);
    int64_t column = plot.dataOffset;
    for (size_t v = 0; v < plot.widths.size(); ++v) {
        const ValueWidth w = plot.widths[v];
        const size_t width = widthBytes(w);
        for (size_t s = s0; s < s1 && wanted(v); ++s) {
            const SourceSweep& sweep = source_.sweeps[s];
            if (!in_.seek(column + sweep.first * static_cast<int64_t>(width))) return endsEarly(s);
            for (int64_t done = 0; done < sweep.count;) {
                const auto n = static_cast<size_t>(std::min<int64_t>(
                    static_cast<int64_t>(kChunkBytes / width), sweep.count - done));
                if (!in_.read(bytes.data(), n * width)) return endsEarly(s);
                sink_.store(v, s, static_cast<size_t>(done), bytes.data(), width, n, w);
                done += static_cast<int64_t>(n);
            }
        }
        column += plot.points * static_cast<int64_t>(width);
    }
    return 1;
}

// One ASCII value line of column v: the whole token must be a number (a
// complex pair in a complex plot; the axis keeps its real part).
template <typename Values>
int Decoder<Values>::asciiValue(size_t p, int64_t point, size_t v, std::string_view line, size_t s,
                                size_t k) {
    const SourcePlot& plot = source_.plots[p];
    std::string_view text = trim(line);
    if (v == 0) text = trim(text.substr(std::min(text.size(), text.find_first_of(" \t"))));
    double re = 0.0;
    double im = 0.0;
    const bool ok =
        plot.complex ? scan::wholeComplex(text, &re, &im) : scan::wholeNumber(text, &re);
    if (!ok && !(v == 0 && scan::wholeNumber(text, &re)))
        return fail(ds_, raw::noValue(plot, p, point, v, trim(line)));
    using V = ValueOf<Values>;
    const int64_t signal = signalOfColumn(source_, v);
    if (signal < 0) {
        out_->axis[0][s][k] = sink_.stored(re);
        return 1;
    }
    const auto i = static_cast<size_t>(signal);
    out_->real[i][s][k] = static_cast<V>(re);
    if (out_->imag != nullptr && out_->imag[i] != nullptr) out_->imag[i][s][k] = static_cast<V>(im);
    return 1;
}

template <typename Values>
int Decoder<Values>::asciiPlot(size_t s0, size_t s1) {
    const auto p = static_cast<size_t>(source_.sweeps[s0].plot);
    const SourcePlot& plot = source_.plots[p];
    if (!in_.seek(plot.dataOffset)) return fail(ds_, "cannot seek to the values");
    const size_t n = plot.variableNames.size();
    size_t s = s0;
    int64_t k = 0;
    std::string_view line;
    for (int64_t point = 0; point < plot.points; ++point, ++k) {
        while (s + 1 < s1 && k >= source_.sweeps[s].count) {
            ++s;
            k = 0;
        }
        for (size_t v = 0; v < n; ++v) {
            if (!in_.nextFilled(line))
                return fail(ds_,
                            plotLabel(p) + ": the file ends in point " + std::to_string(point + 1));
            if (wanted(v) && !asciiValue(p, point, v, line, s, static_cast<size_t>(k))) return 0;
        }
    }
    // A last value the file cuts off reads as its digits say, and the read says so.
    if (plot.points > 0 && !in_.lineEnded()) ds_->readEnding = kEndingValueCut;
    return 1;
}

// An operating point's independent variable: the point's number.
template <typename Values>
void Decoder<Values>::numberPoints(size_t s0, size_t s1) {
    for (size_t s = s0; s < s1; ++s) {
        for (int64_t k = 0; k < source_.sweeps[s].count; ++k)
            out_->axis[0][s][k] = static_cast<ValueOf<Values>>(k);
    }
}

template <typename Values>
int Decoder<Values>::run() {
    if (requireDataSize(ds_) == 0) return 0;
    if (!allocateSweeps(ds_, source_, out_)) return reportFailure(ds_, Failure::kOutOfMemory);
    for (size_t s0 = 0; s0 < source_.sweeps.size();) {
        size_t s1 = s0 + 1;
        while (s1 < source_.sweeps.size() && source_.sweeps[s1].plot == source_.sweeps[s0].plot)
            ++s1;
        const SourcePlot& plot = plotOf(s0);
        if (source_.pointPlot) numberPoints(s0, s1);
        int ok = 0;
        if (!plot.binary) {
            ok = asciiPlot(s0, s1);
        } else if (plot.fastAccess) {
            ok = fastAccessPlot(s0, s1);
        } else {
            ok = binaryPlot(s0, s1);
        }
        if (!ok) return 0;
        s0 = s1;
    }
    return 1;
}

template <typename Values>
int readRaw(WaveformDataset* ds, Values* out) {
    const SpiceSource* source = sourceOf(ds);
    if (source == nullptr || source->sweeps.empty()) return reportFailure(ds, Failure::kNoSignals);
    Decoder<Values> decoder(ds, *source, out);
    return decoder.run();
}

}  // namespace

int readSpiceRawData(WaveformDataset* ds, WaveformValues* out, const FormatEntry& /*row*/) {
    return readRaw(ds, out);
}

int readSpiceRawData64(WaveformDataset* ds, WaveformValues64* out, const FormatEntry& /*row*/) {
    return readRaw(ds, out);
}
