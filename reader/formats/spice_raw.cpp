// SPICE raw reader: see spice_raw.h.
//
// Open walks the whole file: each plot's header, then past its values (a
// seek for binary plots, a count of lines for ASCII ones) to where the next
// header may start. So a cut or miscounted plot is refused at open, and read
// knows every sweep's place before it allocates anything.
#include "spice_raw.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "../dataset_tables.h"
#include "../failure.h"
#include "../format_table.h"
#include "byte_order.h"
#include "spice_source.h"
#include "spice_text.h"

namespace {

using spice::parseInt;
using spice::Scanner;
using spice::takeComplex;
using spice::takeNumber;
using spice::trim;

constexpr bool kHostSwapped = std::endian::native == std::endian::big;
constexpr int64_t kMostVariables = 1 << 24;
constexpr size_t kTitleRoom = 99;                // title, version, date: 100 bytes with the NUL
constexpr size_t kChunkBytes = size_t{1} << 20;  // binary values are read this much at a time
constexpr size_t kCacheBytes = size_t{1} << 18;  // and decoded this much at a time

size_t widthBytes(ValueWidth w) {
    return w == ValueWidth::kFloat32 ? 4 : w == ValueWidth::kFloat64 ? 8 : 16;
}

int64_t rowBytes(const SourcePlot& plot) {
    int64_t bytes = 0;
    for (ValueWidth w : plot.widths) bytes += static_cast<int64_t>(widthBytes(w));
    return bytes;
}

// One plot's header and the file facts it carries.
struct HeaderFacts {
    std::string title, date, version, command;
};

bool isHeaderStart(std::string_view line) {
    for (const char* key : {"Title:", "Plotname:", "Date:", "Command:"}) {
        if (line.starts_with(key)) return true;
    }
    return false;
}

bool hasFlag(const std::string& flags, std::string_view word) {
    size_t at = 0;
    while ((at = flags.find(word, at)) != std::string::npos) {
        bool before = at == 0 || flags[at - 1] == ' ' || flags[at - 1] == '\t';
        size_t after = at + word.size();
        if (before && (after == flags.size() || flags[after] == ' ' || flags[after] == '\t'))
            return true;
        at = after;
    }
    return false;
}

// The next line into line; false at the end of input.
bool nextHeaderLine(Scanner& in, std::string& line) {
    std::string_view next;
    if (!in.line(next)) return false;
    line.assign(next);
    return true;
}

class RawReader {
  public:
    RawReader(WaveformDataset* ds, SpiceSource& source) : ds_(ds), source_(source) {}

    int readHeader();
    int readData(WaveformValues* out);

  private:
    int fail(const std::string& reason) {
        std::string detail = std::string(ds_->fileName) + ": " + reason;
        return reportFailure(ds_, Failure::kSpiceRaw, detail.c_str());
    }
    std::string plotLabel(size_t p) const { return "plot " + std::to_string(p + 1); }

    int readPlotHeader(Scanner& in, std::string_view first, SourcePlot& plot);
    int readVariableLine(std::string_view line, SourcePlot& plot);
    void chooseSimulator(const SourcePlot& plot);
    int setWidths(SourcePlot& plot);
    bool readableAt(int64_t offset);
    int passBinary(size_t p);
    int passAscii(Scanner& in, size_t p, std::vector<double>* axis);
    int readBinaryAxis(const SourcePlot& plot, std::vector<double>& axis);
    void splitSteps(int32_t p, const std::vector<double>& axis);
    int describe();
    double axisValue(double v) const { return source_.timeAxis ? std::fabs(v) : v; }

    int decodeBinaryPlot(size_t s0, size_t s1, WaveformValues* out);
    int decodeFastAccessPlot(size_t s0, size_t s1, WaveformValues* out);
    int decodeAsciiPlot(size_t s0, size_t s1, WaveformValues* out);
    int seekTo(int64_t offset);
    bool wanted(size_t v) const {
        return v == 0 || ds_->wantedSignals == nullptr || ds_->wantedSignals[v - 1] != 0;
    }

    WaveformDataset* ds_;
    SpiceSource& source_;
    HeaderFacts facts_;
};

int RawReader::readVariableLine(std::string_view line, SourcePlot& plot) {
    std::vector<std::string_view> words;
    for (size_t at = 0; at < line.size();) {
        size_t start = line.find_first_not_of(" \t", at);
        if (start == std::string_view::npos) break;
        size_t end = std::min(line.find_first_of(" \t", start), line.size());
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    int64_t index = -1;
    const size_t position = plot.variableNames.size();
    if (words.size() < 3 || !parseInt(words[0], &index) || index != static_cast<int64_t>(position))
        return fail("variable line " + std::to_string(position) + " is not \"index name type\"");
    plot.variableNames.emplace_back(words[1]);
    plot.variableTypes.emplace_back(words[2]);
    return 1;
}

// Reads one plot's header, from its first line to its Binary: or Values:
// line; the stream then stands at its first value.
int RawReader::readPlotHeader(Scanner& in, std::string_view first, SourcePlot& plot) {
    int64_t declaredVariables = -1;
    int64_t declaredPoints = -1;
    bool inVariables = false;
    std::string line(first);
    for (bool have = true; have; have = nextHeaderLine(in, line)) {
        std::string_view text = line;
        if (inVariables) {
            std::string_view body = trim(text);
            if (!text.empty() && (text[0] == ' ' || text[0] == '\t') && !body.empty() &&
                body[0] >= '0' && body[0] <= '9') {
                if (!readVariableLine(body, plot)) return 0;
                continue;
            }
            inVariables = false;
        }
        if (trim(text).empty()) continue;
        if (text.starts_with(".param") || text.starts_with(".PARAM")) {
            std::string_view rest = trim(text.substr(6));
            size_t eq = rest.find('=');
            double value = 0.0;
            std::string_view after = eq == std::string_view::npos ? "" : rest.substr(eq + 1);
            if (eq != std::string_view::npos && spice::takeScaledNumber(after, &value)) {
                plot.params.emplace_back(std::string(trim(rest.substr(0, eq))), value);
            }
            continue;
        }
        if (text[0] == '.') continue;  // .alias and other dot lines name no values
        size_t colon = text.find(':');
        if (colon == std::string_view::npos)
            return fail(plotLabel(source_.plots.size()) + ": header line \"" +
                        std::string(text.substr(0, 40)) + "\" is no \"Key: value\" line");
        std::string_view key = trim(text.substr(0, colon));
        std::string_view value = trim(text.substr(colon + 1));
        if (key == "Title") {
            facts_.title.assign(value);
        } else if (key == "Date") {
            facts_.date.assign(value);
        } else if (key == "Command") {
            facts_.command.assign(value);
        } else if (key == "Version") {
            facts_.version.assign(value);
        } else if (key == "Plotname") {
            plot.name.assign(value);
        } else if (key == "Flags") {
            plot.flags.assign(value);
        } else if (key == "No. Variables") {
            if (!parseInt(value, &declaredVariables) || declaredVariables < 1 ||
                declaredVariables > kMostVariables)
                return fail(plotLabel(source_.plots.size()) + ": No. Variables is \"" +
                            std::string(value) + "\"");
        } else if (key == "No. Points") {
            if (!parseInt(value, &declaredPoints) || declaredPoints < 0)
                return fail(plotLabel(source_.plots.size()) + ": No. Points is \"" +
                            std::string(value) + "\"");
        } else if (key == "Variables") {
            plot.variableNames.clear();
            plot.variableTypes.clear();
            inVariables = true;
            if (!value.empty() && !readVariableLine(value, plot)) return 0;
        } else if (key == "Binary" || key == "Values") {
            plot.binary = key == "Binary";
            // ASCII values may start on the Values: line itself: read from the line's start then.
            plot.dataOffset = in.tell();
            const std::string label = plotLabel(source_.plots.size());
            if (declaredVariables < 0) return fail(label + ": no No. Variables line");
            if (declaredPoints < 0) return fail(label + ": no No. Points line");
            if (plot.variableNames.size() != static_cast<size_t>(declaredVariables))
                return fail(label + ": " + std::to_string(plot.variableNames.size()) +
                            " variable lines for No. Variables " +
                            std::to_string(declaredVariables));
            plot.points = declaredPoints;
            plot.complex = hasFlag(plot.flags, "complex");
            plot.fastAccess = plot.binary && hasFlag(plot.flags, "fastaccess");
            return 1;
        }
    }
    return fail(plotLabel(source_.plots.size()) +
                ": the header ends before its Binary: or Values: line");
}

void RawReader::chooseSimulator(const SourcePlot& plot) {
    const std::string& c = facts_.command;
    // Only LTspice writes UTF-16 headers and the fastaccess and double flags.
    const bool ltspiceMarks =
        source_.utf16 || hasFlag(plot.flags, "fastaccess") || hasFlag(plot.flags, "double");
    for (const char* name : {"LTspice", "ngspice", "Xyce", "QSPICE", "Qspice"}) {
        if (c.find(name) == std::string::npos) continue;
        source_.simulator = std::string(name) == "Qspice" ? "QSPICE" : name;
        return;
    }
    if (ltspiceMarks) source_.simulator = "LTspice";
}

bool RawReader::readableAt(int64_t offset) {
    unsigned char byte = 0;
    return offset >= 0 && gzseek(ds_->stream, offset, SEEK_SET) == offset &&
           gzread(ds_->stream, &byte, 1) == 1;
}

// The value widths of a binary plot. Where the header leaves two layouts
// open (complex values, no simulator named: ngspice's complex axis or
// QSPICE's real one), the one whose data ends at the file's end or at a
// further header wins.
int RawReader::setWidths(SourcePlot& plot) {
    const size_t n = plot.variableNames.size();
    const std::string& sim = source_.simulator;
    auto fill = [&](ValueWidth axis, ValueWidth rest) {
        plot.widths.assign(n, rest);
        plot.widths[0] = axis;
    };
    using W = ValueWidth;
    if (sim == "LTspice") {
        if (plot.complex) {
            fill(W::kComplex128, W::kComplex128);
        } else {
            fill(W::kFloat64, hasFlag(plot.flags, "double") ? W::kFloat64 : W::kFloat32);
        }
    } else if (sim == "QSPICE" && plot.complex) {
        fill(W::kFloat64, W::kComplex128);
    } else if (!plot.complex) {
        fill(W::kFloat64, W::kFloat64);
    } else {
        fill(W::kComplex128, W::kComplex128);
        if (sim == "unknown" && n > 0 && plot.points > 0) {
            auto endsAt = [&](int64_t end) {
                if (!readableAt(end - 1)) return false;
                Scanner probe(ds_->stream, false);
                std::string_view next;
                return !probe.seek(end) || !probe.nextFilled(next) || isHeaderStart(trim(next));
            };
            const int64_t wide = rowBytes(plot);
            const int64_t narrow = wide - 8;
            if (plot.points <= INT64_MAX / wide && !endsAt(plot.dataOffset + plot.points * wide) &&
                endsAt(plot.dataOffset + plot.points * narrow)) {
                plot.widths[0] = W::kFloat64;
            }
        }
    }
    return 1;
}

int RawReader::passBinary(size_t p) {
    SourcePlot& plot = source_.plots[p];
    if (!setWidths(plot)) return 0;
    const int64_t row = rowBytes(plot);
    if (plot.points > (INT64_MAX - plot.dataOffset) / row)
        return fail(plotLabel(p) + ": No. Points " + std::to_string(plot.points) + " is too many");
    const int64_t end = plot.dataOffset + plot.points * row;
    if (plot.points > 0 && !readableAt(end - 1))
        return fail(plotLabel(p) + ": the file ends before its " + std::to_string(plot.points) +
                    " points");
    return 1;
}

// Walks an ASCII plot's values: a point is one line per variable (the first
// begun by the point's index), blank lines apart. Keeps the independent
// values in *axis when asked.
int RawReader::passAscii(Scanner& in, size_t p, std::vector<double>* axis) {
    const SourcePlot& plot = source_.plots[p];
    const size_t n = plot.variableNames.size();
    std::string_view line;
    for (int64_t point = 0; point < plot.points; ++point) {
        for (size_t v = 0; v < n; ++v) {
            if (!in.nextFilled(line))
                return fail(plotLabel(p) + ": the file ends in point " + std::to_string(point + 1) +
                            " of its " + std::to_string(plot.points));
            if (v > 0) continue;
            std::string_view rest = trim(line);
            size_t end = rest.find_first_of(" \t");
            int64_t index = 0;
            double value = 0.0;
            std::string_view number =
                rest.substr(end == std::string_view::npos ? rest.size() : end);
            if (end == std::string_view::npos || !parseInt(rest.substr(0, end), &index) ||
                !takeNumber(number, &value))
                return fail(plotLabel(p) + ": point " + std::to_string(point + 1) +
                            " does not start with its index and a value");
            if (axis != nullptr) axis->push_back(axisValue(value));
        }
    }
    return 1;
}

// Reads bytes from the stream's position on; 0 when the file ends first.
int readAll(gzFile in, void* into, size_t bytes) {
    auto* at = static_cast<char*>(into);
    while (bytes > 0) {
        const auto piece = static_cast<unsigned>(std::min<size_t>(bytes, size_t{1} << 30));
        const int n = gzread(in, at, piece);
        if (n <= 0) return 0;
        at += n;
        bytes -= static_cast<size_t>(n);
    }
    return 1;
}

int RawReader::seekTo(int64_t offset) {
    if (gzseek(ds_->stream, offset, SEEK_SET) == offset) return 1;
    return fail("cannot seek to byte " + std::to_string(offset));
}

double realAt(const unsigned char* p, ValueWidth w) {
    return w == ValueWidth::kFloat32 ? decodeFloat(p, kHostSwapped) : decodeDouble(p, kHostSwapped);
}

int RawReader::readBinaryAxis(const SourcePlot& plot, std::vector<double>& axis) {
    const size_t width = widthBytes(plot.widths[0]);
    const auto stride =
        static_cast<size_t>(plot.fastAccess ? static_cast<int64_t>(width) : rowBytes(plot));
    const size_t perChunk = std::max<size_t>(1, kChunkBytes / stride);
    std::vector<unsigned char> bytes(perChunk * stride);
    if (!seekTo(plot.dataOffset)) return 0;
    for (int64_t done = 0; done < plot.points;) {
        const auto rows = static_cast<size_t>(
            std::min<int64_t>(static_cast<int64_t>(perChunk), plot.points - done));
        if (!readAll(ds_->stream, bytes.data(), rows * stride)) return fail("the data ends early");
        for (size_t r = 0; r < rows; ++r)
            axis.push_back(axisValue(realAt(bytes.data() + r * stride, plot.widths[0])));
        done += static_cast<int64_t>(rows);
    }
    return 1;
}

// A stepped plot's steps start where the axis comes back to its first value.
void RawReader::splitSteps(int32_t p, const std::vector<double>& axis) {
    SourceSweep sweep{p, 0, 0, 1.0};
    for (size_t k = 1; k <= axis.size(); ++k) {
        if (k == axis.size() || axis[k] == axis[0]) {
            sweep.count = static_cast<int64_t>(k) - sweep.first;
            source_.sweeps.push_back(sweep);
            sweep.first = static_cast<int64_t>(k);
            sweep.parameter += 1.0;
        }
    }
    if (axis.empty()) source_.sweeps.push_back(sweep);
}

int RawReader::readHeader() {
    unsigned char head[4] = {0, 0, 0, 0};
    const int got = gzread(ds_->stream, head, 4);
    gzseek(ds_->stream, 0, SEEK_SET);
    source_.utf16 = got == 4 && head[0] != 0 && head[1] == 0 && head[3] == 0;
    Scanner in(ds_->stream, source_.utf16);
    std::string_view line;
    if (!in.nextFilled(line) || !isHeaderStart(trim(line))) return fail("no header at the start");
    for (;;) {
        SourcePlot plot;
        if (!source_.plots.empty()) {
            // Xyce starts further plots at Plotname: what they leave out holds on.
            plot.flags = source_.plots.back().flags;
        }
        if (!readPlotHeader(in, trim(line), plot)) return 0;
        const size_t p = source_.plots.size();
        if (p == 0) chooseSimulator(plot);
        source_.plots.push_back(plot);
        if (source_.plots[p].binary) {
            if (!passBinary(p)) return 0;
            const SourcePlot& done = source_.plots[p];
            if (!in.seek(done.dataOffset + done.points * rowBytes(done))) break;
        } else if (!passAscii(in, p, nullptr)) {
            return 0;
        }
        if (!in.nextFilled(line) || !isHeaderStart(trim(line))) break;  // trailing text is left
    }
    return describe();
}

bool sameVariables(const SourcePlot& a, const SourcePlot& b) {
    return a.complex == b.complex && a.variableNames == b.variableNames;
}

// Plots of the main plot's variables become its sweeps; a stepped plot's
// steps do too. The main plot is the first that is no operating point (Xyce
// writes one before each AC plot), or the first.
int RawReader::describe() {
    auto& plots = source_.plots;
    size_t main = 0;
    for (size_t p = 0; p < plots.size(); ++p) {
        if (plots[p].name.find("Operating Point") == std::string::npos) {
            main = p;
            break;
        }
    }
    const SourcePlot& m = plots[main];
    source_.timeAxis = m.variableTypes[0] == "time";
    std::string paramName = "step";
    if (hasFlag(m.flags, "stepped")) {
        std::vector<double> axis;
        if (m.binary) {
            if (!readBinaryAxis(m, axis)) return 0;
        } else {
            Scanner in(ds_->stream, source_.utf16);
            if (!in.seek(m.dataOffset)) return fail("cannot seek to the values");
            if (!passAscii(in, main, &axis)) return 0;
        }
        splitSteps(static_cast<int32_t>(main), axis);
    } else {
        for (size_t p = 0; p < plots.size(); ++p) {
            if (!sameVariables(plots[p], m)) continue;
            const double step = static_cast<double>(source_.sweeps.size() + 1);
            source_.sweeps.push_back({static_cast<int32_t>(p), 0, plots[p].points, step});
        }
        // A .param whose value differs from plot to plot names the sweep.
        if (source_.sweeps.size() > 1) {
            const SourcePlot& a = plots[static_cast<size_t>(source_.sweeps[0].plot)];
            const SourcePlot& b = plots[static_cast<size_t>(source_.sweeps[1].plot)];
            for (const auto& param : a.params) {
                const std::string& name = param.first;
                auto other = std::find_if(b.params.begin(), b.params.end(),
                                          [&](const auto& q) { return q.first == name; });
                if (other == b.params.end() || other->second == param.second) continue;
                paramName = name;
                for (SourceSweep& sweep : source_.sweeps) {
                    sweep.parameter = NAN;
                    for (const auto& q : plots[static_cast<size_t>(sweep.plot)].params) {
                        if (q.first == name) sweep.parameter = q.second;
                    }
                }
                break;
            }
        }
    }
    for (size_t s = 0; s < source_.sweeps.size(); ++s) {
        const SourceSweep& sweep = source_.sweeps[s];
        if (sweep.count > static_cast<int64_t>(UINT32_MAX))
            return fail(plotLabel(static_cast<size_t>(sweep.plot)) +
                        ": more points than a sweep holds");
        SourcePlot& plot = plots[static_cast<size_t>(sweep.plot)];
        if (plot.firstSweep < 0) plot.firstSweep = static_cast<int32_t>(s);
    }
    std::snprintf(ds_->title, sizeof ds_->title, "%.*s", static_cast<int>(kTitleRoom),
                  facts_.title.c_str());
    std::snprintf(ds_->date, sizeof ds_->date, "%.*s", static_cast<int>(kTitleRoom),
                  facts_.date.c_str());
    const std::string& version = facts_.version.empty() ? facts_.command : facts_.version;
    std::snprintf(ds_->version, sizeof ds_->version, "%.*s", static_cast<int>(kTitleRoom),
                  version.c_str());
    ds_->fileMode = m.binary ? kModeBinary : kModeText;
    source_.encoding = m.binary ? "binary" : "ASCII";
    if (source_.utf16) source_.encoding += ", UTF-16 header";
    if (!describeSweeps(ds_, source_, static_cast<int32_t>(main), paramName))
        return reportFailure(ds_, Failure::kOutOfMemory);
    return 1;
}

// Stores n values of variable v, stride bytes apart from p on, at points
// k to k + n - 1 of sweep s: one loop per width, so none branches per value.
struct ValueSink {
    WaveformValues* out;
    bool timeAxis;
    void store(size_t v, size_t s, size_t k, const unsigned char* p, size_t stride, size_t n,
               ValueWidth w) const {
        if (v == 0) {
            float* x = out->axis[0][s] + k;
            // A complex axis keeps its real part: ngspice leaves garbage in the other.
            const ValueWidth real = w == ValueWidth::kFloat32 ? w : ValueWidth::kFloat64;
            for (size_t r = 0; r < n; ++r) {
                const double t = realAt(p + r * stride, real);
                x[r] = static_cast<float>(timeAxis ? std::fabs(t) : t);
            }
            return;
        }
        float* re = out->real[v - 1][s] + k;
        if (w == ValueWidth::kFloat32) {
            for (size_t r = 0; r < n; ++r) re[r] = decodeFloat(p + r * stride, kHostSwapped);
            return;
        }
        for (size_t r = 0; r < n; ++r)
            re[r] = static_cast<float>(decodeDouble(p + r * stride, kHostSwapped));
        if (w != ValueWidth::kComplex128 || out->imag == nullptr || out->imag[v - 1] == nullptr)
            return;
        float* im = out->imag[v - 1][s] + k;
        for (size_t r = 0; r < n; ++r)
            im[r] = static_cast<float>(decodeDouble(p + r * stride + 8, kHostSwapped));
    }
};

// Point after point: a chunk of rows is read, then each wanted column is
// taken from it, so every output array is written in order.
int RawReader::decodeBinaryPlot(size_t s0, size_t s1, WaveformValues* out) {
    const SourcePlot& plot = source_.plots[static_cast<size_t>(source_.sweeps[s0].plot)];
    const auto row = static_cast<size_t>(rowBytes(plot));
    if (row == 0)
        return fail(plotLabel(static_cast<size_t>(source_.sweeps[s0].plot)) + " has no variables");
    std::vector<size_t> columns;
    std::vector<size_t> offsets(plot.widths.size());
    for (size_t v = 0, at = 0; v < plot.widths.size(); at += widthBytes(plot.widths[v]), ++v) {
        offsets[v] = at;
        if (wanted(v)) columns.push_back(v);
    }
    const size_t perChunk = std::max<size_t>(1, kChunkBytes / row);
    const size_t perBlock = std::max<size_t>(1, kCacheBytes / row);
    std::vector<unsigned char> bytes(perChunk * row);
    const ValueSink sink{out, source_.timeAxis};
    for (size_t s = s0; s < s1; ++s) {
        const SourceSweep& sweep = source_.sweeps[s];
        if (!seekTo(plot.dataOffset + sweep.first * static_cast<int64_t>(row))) return 0;
        for (int64_t done = 0; done < sweep.count;) {
            const auto rows = static_cast<size_t>(
                std::min<int64_t>(static_cast<int64_t>(perChunk), sweep.count - done));
            if (!readAll(ds_->stream, bytes.data(), rows * row))
                return fail(plotLabel(static_cast<size_t>(sweep.plot)) + ": the data ends early");
            // A few rows at a time, so the rows stay in the cache while every
            // column takes its part of them.
            for (size_t first = 0; first < rows; first += perBlock) {
                const size_t last = std::min(rows, first + perBlock);
                for (size_t v : columns) {
                    sink.store(v, s, static_cast<size_t>(done) + first,
                               &bytes[first * row + offsets[v]], row, last - first, plot.widths[v]);
                }
            }
            done += static_cast<int64_t>(rows);
        }
    }
    return 1;
}

// Variable after variable: only the wanted columns' bytes are read.
int RawReader::decodeFastAccessPlot(size_t s0, size_t s1, WaveformValues* out) {
    const SourcePlot& plot = source_.plots[static_cast<size_t>(source_.sweeps[s0].plot)];
    std::vector<unsigned char> bytes(kChunkBytes);
    const ValueSink sink{out, source_.timeAxis};
    int64_t column = plot.dataOffset;
    for (size_t v = 0; v < plot.widths.size(); ++v) {
        const ValueWidth w = plot.widths[v];
        const size_t width = widthBytes(w);
        if (wanted(v)) {
            for (size_t s = s0; s < s1; ++s) {
                const SourceSweep& sweep = source_.sweeps[s];
                if (!seekTo(column + sweep.first * static_cast<int64_t>(width))) return 0;
                for (int64_t done = 0; done < sweep.count;) {
                    const auto n = static_cast<size_t>(std::min<int64_t>(
                        static_cast<int64_t>(kChunkBytes / width), sweep.count - done));
                    if (!readAll(ds_->stream, bytes.data(), n * width))
                        return fail(plotLabel(static_cast<size_t>(sweep.plot)) +
                                    ": the data ends early");
                    sink.store(v, s, static_cast<size_t>(done), bytes.data(), width, n, w);
                    done += static_cast<int64_t>(n);
                }
            }
        }
        column += plot.points * static_cast<int64_t>(width);
    }
    return 1;
}

int RawReader::decodeAsciiPlot(size_t s0, size_t s1, WaveformValues* out) {
    const auto p = static_cast<size_t>(source_.sweeps[s0].plot);
    const SourcePlot& plot = source_.plots[p];
    Scanner in(ds_->stream, source_.utf16);
    if (!in.seek(plot.dataOffset)) return fail("cannot seek to the values");
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
            if (!in.nextFilled(line))
                return fail(plotLabel(p) + ": the file ends in point " + std::to_string(point + 1));
            if (!wanted(v)) continue;
            std::string_view text = trim(line);
            if (v == 0) text.remove_prefix(std::min(text.size(), text.find_first_of(" \t")));
            double re = 0.0;
            double im = 0.0;
            const bool ok =
                plot.complex && v > 0 ? takeComplex(text, &re, &im) : takeNumber(text, &re);
            if (!ok)
                return fail(plotLabel(p) + ": point " + std::to_string(point + 1) + ", " +
                            plot.variableNames[v] + ": \"" + std::string(trim(line).substr(0, 40)) +
                            "\" is no value");
            const auto at = static_cast<size_t>(k);
            if (v == 0) {
                out->axis[0][s][at] = static_cast<float>(axisValue(re));
                continue;
            }
            out->real[v - 1][s][at] = static_cast<float>(re);
            if (out->imag != nullptr && out->imag[v - 1] != nullptr)
                out->imag[v - 1][s][at] = static_cast<float>(im);
        }
    }
    return 1;
}

int RawReader::readData(WaveformValues* out) {
    if (requireDataSize(ds_) == 0) return 0;
    if (!allocateSweeps(ds_, source_, out)) return reportFailure(ds_, Failure::kOutOfMemory);
    for (size_t s0 = 0; s0 < source_.sweeps.size();) {
        size_t s1 = s0 + 1;
        while (s1 < source_.sweeps.size() && source_.sweeps[s1].plot == source_.sweeps[s0].plot)
            ++s1;
        const SourcePlot& plot = source_.plots[static_cast<size_t>(source_.sweeps[s0].plot)];
        int ok = 0;
        if (!plot.binary) {
            ok = decodeAsciiPlot(s0, s1, out);
        } else if (plot.fastAccess) {
            ok = decodeFastAccessPlot(s0, s1, out);
        } else {
            ok = decodeBinaryPlot(s0, s1, out);
        }
        if (!ok) return 0;
        s0 = s1;
    }
    return 1;
}

}  // namespace

int readSpiceRawHeader(WaveformDataset* ds, const FormatEntry& /*row*/) {
    SpiceSource* source = sourceOf(ds);
    if (source == nullptr) return reportFailure(ds, Failure::kOutOfMemory);
    RawReader reader(ds, *source);
    return reader.readHeader();
}

int readSpiceRawData(WaveformDataset* ds, WaveformValues* out, const FormatEntry& /*row*/) {
    SpiceSource* source = sourceOf(ds);
    if (source == nullptr || source->sweeps.empty()) return reportFailure(ds, Failure::kNoSignals);
    RawReader reader(ds, *source);
    return reader.readData(out);
}

bool looksLikeSpiceRaw(const FormatEntry& /*row*/, const Sniffed& first) {
    const unsigned char* bytes = first.bytes;
    const int count = first.count;
    std::string text;
    const bool wide = count >= 4 && bytes[0] != 0 && bytes[1] == 0 && bytes[3] == 0;
    for (int i = 0; i < count; i += wide ? 2 : 1) text += static_cast<char>(bytes[i]);
    std::string_view start = trim(text);
    return isHeaderStart(start);
}
