// SPICE raw reader, header pass and plot selection: see spice_raw.h.
//
// Open walks the whole file: each plot's header, then past its values (a
// seek for binary plots, a count of lines for ASCII ones) to where the next
// header may start. So a cut or miscounted plot is refused at open, and read
// knows every sweep's place before it allocates anything.
#include "spice_raw.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "../dataset_tables.h"
#include "../text_scanner.h"
#include "byte_order.h"
#include "spice_raw_parts.h"

namespace {

using raw::fail;
using raw::plotLabel;
using raw::rowBytes;
using raw::widthBytes;
using scan::parseInt;
using scan::Scanner;
using scan::trim;

constexpr bool kHostSwapped = std::endian::native == std::endian::big;
constexpr int64_t kMostVariables = 1 << 24;
constexpr size_t kChunkBytes = size_t{1} << 20;  // a stepped axis is read this much at a time

bool isHeaderStart(std::string_view line) {
    for (const char* key : {"Title:", "Plotname:", "Date:", "Command:"}) {
        if (line.starts_with(key)) return true;
    }
    return false;
}

bool hasFlag(const std::string& flags, std::string_view word) {
    size_t at = 0;
    while ((at = flags.find(word, at)) != std::string::npos) {
        const bool before = at == 0 || flags[at - 1] == ' ' || flags[at - 1] == '\t';
        const size_t after = at + word.size();
        if (before && (after == flags.size() || flags[after] == ' ' || flags[after] == '\t'))
            return true;
        at = after;
    }
    return false;
}

// The file facts the plot headers carry.
struct HeaderFacts {
    std::string title, date, version, command;
};

// One plot header as it is read: what its lines set so far.
struct PlotHeader {
    SourcePlot& plot;
    HeaderFacts& facts;
    size_t index;            // the plot's place in the file
    int64_t variables = -1;  // No. Variables, -1 until given
    int64_t points = -1;     // No. Points
    bool inVariables = false;
};

// Reads the header lines of every plot and what they lead to.
class HeaderPass {
  public:
    HeaderPass(WaveformDataset* ds, SpiceSource& source)
        : ds_(ds), source_(source), in_(ds->stream, false) {}
    int run();
    const HeaderFacts& facts() const { return facts_; }

  private:
    int readPlotHeader(std::string_view first, SourcePlot& plot);
    int headerLine(std::string_view text, PlotHeader& header);
    int closeHeader(PlotHeader& header, bool binary);
    void chooseSimulator(const SourcePlot& plot);
    int setWidths(SourcePlot& plot);
    bool complexAxisFits(const SourcePlot& plot);
    int passBinary(size_t p);
    std::string label() const { return plotLabel(source_.plots.size()); }

    WaveformDataset* ds_;
    SpiceSource& source_;
    Scanner in_;
    HeaderFacts facts_;
};

int readVariableLine(WaveformDataset* ds, std::string_view line, SourcePlot& plot) {
    std::vector<std::string_view> words;
    for (size_t at = 0; at < line.size();) {
        const size_t start = line.find_first_not_of(" \t", at);
        if (start == std::string_view::npos) break;
        const size_t end = std::min(line.find_first_of(" \t", start), line.size());
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    int64_t index = -1;
    const size_t position = plot.variableNames.size();
    if (words.size() < 3 || !parseInt(words[0], &index) || index != static_cast<int64_t>(position))
        return fail(ds,
                    "variable line " + std::to_string(position) + " is not \"index name type\"");
    plot.variableNames.emplace_back(words[1]);
    plot.variableTypes.emplace_back(words[2]);
    return 1;
}

// A .param line's name and value, kept when the value is a number.
void takeParam(std::string_view text, SourcePlot& plot) {
    const std::string_view rest = trim(text.substr(6));
    const size_t eq = rest.find('=');
    if (eq == std::string_view::npos) return;
    std::string_view after = rest.substr(eq + 1);
    double value = 0.0;
    if (scan::takeScaledNumber(after, &value))
        plot.params.emplace_back(std::string(trim(rest.substr(0, eq))), value);
}

int countField(WaveformDataset* ds, PlotHeader& h, std::string_view v, const char* key, int64_t* to,
               int64_t least, int64_t most) {
    if (parseInt(v, to) && *to >= least && *to <= most) return 1;
    return fail(ds, plotLabel(h.index) + ": " + key + " is \"" + std::string(v) + "\"");
}

// Each header key and what it sets; Binary: and Values: end the header.
using KeySetter = int (*)(WaveformDataset*, PlotHeader&, std::string_view);
struct HeaderKey {
    std::string_view key;
    KeySetter set;
};
constexpr HeaderKey kHeaderKeys[] = {
    {"Title",
     [](WaveformDataset*, PlotHeader& h, std::string_view v) {
         h.facts.title.assign(v);
         return 1;
     }},
    {"Date",
     [](WaveformDataset*, PlotHeader& h, std::string_view v) {
         h.facts.date.assign(v);
         return 1;
     }},
    {"Command",
     [](WaveformDataset*, PlotHeader& h, std::string_view v) {
         h.facts.command.assign(v);
         return 1;
     }},
    {"Version",
     [](WaveformDataset*, PlotHeader& h, std::string_view v) {
         h.facts.version.assign(v);
         return 1;
     }},
    {"Plotname",
     [](WaveformDataset*, PlotHeader& h, std::string_view v) {
         h.plot.name.assign(v);
         return 1;
     }},
    {"Flags",
     [](WaveformDataset*, PlotHeader& h, std::string_view v) {
         h.plot.flags.assign(v);
         return 1;
     }},
    {"No. Variables",
     [](WaveformDataset* ds, PlotHeader& h, std::string_view v) {
         return countField(ds, h, v, "No. Variables", &h.variables, 1, kMostVariables);
     }},
    {"No. Points",
     [](WaveformDataset* ds, PlotHeader& h, std::string_view v) {
         return countField(ds, h, v, "No. Points", &h.points, 0, INT64_MAX);
     }},
    {"Variables",
     [](WaveformDataset* ds, PlotHeader& h, std::string_view v) {
         h.plot.variableNames.clear();
         h.plot.variableTypes.clear();
         h.inVariables = true;
         return v.empty() ? 1 : readVariableLine(ds, v, h.plot);
     }},
};

// One header line: a variable line, a .param or other dot line, or a key.
// 1 to go on, 0 failed, 2 at the Binary: or Values: line.
int HeaderPass::headerLine(std::string_view text, PlotHeader& h) {
    if (h.inVariables) {
        const std::string_view body = trim(text);
        if (!text.empty() && (text[0] == ' ' || text[0] == '\t') && !body.empty() &&
            body[0] >= '0' && body[0] <= '9')
            return readVariableLine(ds_, body, h.plot);
        h.inVariables = false;
    }
    if (trim(text).empty()) return 1;
    if (text.starts_with(".param") || text.starts_with(".PARAM")) takeParam(text, h.plot);
    if (text[0] == '.') return 1;  // .alias and other dot lines name no values
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return fail(ds_, label() + ": header line \"" + std::string(text.substr(0, 40)) +
                             "\" is no \"Key: value\" line");
    const std::string_view key = trim(text.substr(0, colon));
    const std::string_view value = trim(text.substr(colon + 1));
    if (key == "Binary" || key == "Values") return closeHeader(h, key == "Binary") != 0 ? 2 : 0;
    for (const HeaderKey& entry : kHeaderKeys) {
        if (entry.key == key) return entry.set(ds_, h, value);
    }
    return 1;  // other keys (Offset, Backannotation, ...) say nothing the reader needs
}

// Checks the counts at the Binary: or Values: line; the scanner then stands
// at the plot's first value (ASCII values may start on the Values: line).
int HeaderPass::closeHeader(PlotHeader& h, bool binary) {
    SourcePlot& plot = h.plot;
    plot.binary = binary;
    plot.dataOffset = in_.tell();
    if (h.variables < 0) return fail(ds_, label() + ": no No. Variables line");
    if (h.points < 0) return fail(ds_, label() + ": no No. Points line");
    if (plot.variableNames.size() != static_cast<size_t>(h.variables))
        return fail(ds_, label() + ": " + std::to_string(plot.variableNames.size()) +
                             " variable lines for No. Variables " + std::to_string(h.variables));
    plot.points = h.points;
    plot.complex = hasFlag(plot.flags, "complex");
    plot.fastAccess = plot.binary && hasFlag(plot.flags, "fastaccess");
    plot.analysis = analysisOf(plot.name, plot.variableTypes[0], plot.complex);
    return 1;
}

// Reads one plot's header, from its first line to its Binary: or Values: line.
int HeaderPass::readPlotHeader(std::string_view first, SourcePlot& plot) {
    PlotHeader header{plot, facts_, source_.plots.size()};
    std::string line(first);
    for (;;) {
        const int done = headerLine(line, header);
        if (done != 1) return done == 2 ? 1 : 0;
        std::string_view next;
        if (!in_.line(next)) break;
        line.assign(next);
    }
    return fail(ds_, label() + ": the header ends before its Binary: or Values: line");
}

void HeaderPass::chooseSimulator(const SourcePlot& plot) {
    source_.simulator = simulatorIn(facts_.command);
    // Only LTspice writes UTF-16 headers and the fastaccess and double flags.
    const bool ltspiceMarks =
        source_.utf16 || hasFlag(plot.flags, "fastaccess") || hasFlag(plot.flags, "double");
    if (source_.simulator == Simulator::kUnknown && ltspiceMarks)
        source_.simulator = Simulator::kLtspice;
}

// Where no simulator is named, complex values leave two layouts open:
// ngspice's complex axis or QSPICE's real one. The one whose data ends at the
// file's end or at a further header wins.
bool HeaderPass::complexAxisFits(const SourcePlot& plot) {
    auto endsAt = [&](int64_t end) {
        Scanner probe(ds_->stream, false);
        if (!probe.readableAt(end - 1)) return false;
        std::string_view next;
        return !probe.nextFilled(next) || isHeaderStart(trim(next));
    };
    const int64_t wide = rowBytes(plot);
    const int64_t narrow = wide - 8;
    return plot.points > INT64_MAX / wide || endsAt(plot.dataOffset + plot.points * wide) ||
           !endsAt(plot.dataOffset + plot.points * narrow);
}

// The value widths of a binary plot.
int HeaderPass::setWidths(SourcePlot& plot) {
    using W = ValueWidth;
    const size_t n = plot.variableNames.size();
    const Simulator sim = source_.simulator;
    W axis = W::kComplex128;
    W rest = W::kComplex128;
    if (sim == Simulator::kLtspice && !plot.complex) {
        axis = W::kFloat64;
        rest = hasFlag(plot.flags, "double") ? W::kFloat64 : W::kFloat32;
    } else if (sim == Simulator::kQspice && plot.complex) {
        axis = W::kFloat64;
    } else if (!plot.complex) {
        axis = rest = W::kFloat64;
    }
    plot.widths.assign(n, rest);
    plot.widths[0] = axis;
    if (sim == Simulator::kUnknown && plot.complex && n > 0 && plot.points > 0 &&
        !complexAxisFits(plot))
        plot.widths[0] = W::kFloat64;
    return 1;
}

int HeaderPass::passBinary(size_t p) {
    SourcePlot& plot = source_.plots[p];
    if (!setWidths(plot)) return 0;
    const int64_t row = rowBytes(plot);
    if (plot.points > (INT64_MAX - plot.dataOffset) / row)
        return fail(ds_,
                    plotLabel(p) + ": No. Points " + std::to_string(plot.points) + " is too many");
    const int64_t end = plot.dataOffset + plot.points * row;
    Scanner probe(ds_->stream, false);
    if (plot.points > 0 && !probe.readableAt(end - 1))
        return fail(ds_, plotLabel(p) + ": the file ends before its " +
                             std::to_string(plot.points) + " points");
    return 1;
}

// Walks an ASCII plot's values: a point is one line per variable (the first
// begun by the point's index), blank lines apart. Keeps the independent
// values in *axis when asked.
int passAscii(WaveformDataset* ds, Scanner& in, const SpiceSource& source, size_t p,
              std::vector<double>* axis) {
    const SourcePlot& plot = source.plots[p];
    const size_t n = plot.variableNames.size();
    std::string_view line;
    for (int64_t point = 0; point < plot.points; ++point) {
        for (size_t v = 0; v < n; ++v) {
            if (!in.nextFilled(line))
                return fail(ds, plotLabel(p) + ": the file ends in point " +
                                    std::to_string(point + 1) + " of its " +
                                    std::to_string(plot.points));
            if (v > 0) continue;
            const std::string_view rest = trim(line);
            const size_t end = rest.find_first_of(" \t");
            int64_t index = 0;
            if (end == std::string_view::npos || !parseInt(rest.substr(0, end), &index))
                return fail(ds, plotLabel(p) + ": point " + std::to_string(point + 1) +
                                    " does not start with its index and a value");
            if (axis == nullptr) continue;
            const std::string_view text = trim(rest.substr(end));
            double value = 0.0;
            double ignored = 0.0;
            if (!scan::wholeNumber(text, &value) && !scan::wholeComplex(text, &value, &ignored))
                return fail(ds, raw::noValue(plot, p, point, 0, text));
            axis->push_back(source.timeAxis ? std::fabs(value) : value);
        }
    }
    return 1;
}

int HeaderPass::run() {
    unsigned char head[4] = {0, 0, 0, 0};
    const bool got = in_.read(head, 4);
    source_.utf16 = got && head[0] != 0 && head[1] == 0 && head[3] == 0;
    in_ = Scanner(ds_->stream, source_.utf16);
    std::string_view line;
    if (!in_.seek(0) || !in_.nextFilled(line) || !isHeaderStart(trim(line)))
        return fail(ds_, "no header at the start");
    for (;;) {
        SourcePlot plot;
        // Xyce starts further plots at Plotname: what they leave out holds on.
        if (!source_.plots.empty()) plot.flags = source_.plots.back().flags;
        if (!readPlotHeader(trim(line), plot)) return 0;
        const size_t p = source_.plots.size();
        if (p == 0) chooseSimulator(plot);
        source_.plots.push_back(plot);
        const SourcePlot& done = source_.plots[p];
        if (done.binary) {
            if (!passBinary(p)) return 0;
            if (!in_.seek(done.dataOffset + done.points * rowBytes(done))) break;
        } else if (!passAscii(ds_, in_, source_, p, nullptr)) {
            return 0;
        }
        if (!in_.nextFilled(line) || !isHeaderStart(trim(line))) break;  // trailing text is left
    }
    return 1;
}

double realAt(const unsigned char* p, ValueWidth w) {
    return w == ValueWidth::kFloat32 ? decodeFloat(p, kHostSwapped) : decodeDouble(p, kHostSwapped);
}

// A stepped plot's independent values, to split its steps by.
int readAxis(WaveformDataset* ds, const SpiceSource& source, size_t p, std::vector<double>& axis) {
    const SourcePlot& plot = source.plots[p];
    Scanner in(ds->stream, source.utf16);
    if (!in.seek(plot.dataOffset)) return fail(ds, "cannot seek to the values");
    if (!plot.binary) return passAscii(ds, in, source, p, &axis);
    const size_t width = widthBytes(plot.widths[0]);
    const auto stride =
        static_cast<size_t>(plot.fastAccess ? static_cast<int64_t>(width) : rowBytes(plot));
    if (stride == 0) return fail(ds, plotLabel(p) + " has no variables");
    const size_t perChunk = std::max<size_t>(1, kChunkBytes / stride);
    std::vector<unsigned char> bytes(perChunk * stride);
    for (int64_t done = 0; done < plot.points;) {
        const auto rows = static_cast<size_t>(
            std::min<int64_t>(static_cast<int64_t>(perChunk), plot.points - done));
        if (!in.read(bytes.data(), rows * stride)) return fail(ds, "the data ends early");
        for (size_t r = 0; r < rows; ++r) {
            const double t = realAt(bytes.data() + r * stride, plot.widths[0]);
            axis.push_back(source.timeAxis ? std::fabs(t) : t);
        }
        done += static_cast<int64_t>(rows);
    }
    return 1;
}

// A stepped plot's steps start where the axis comes back to its first value.
void splitSteps(SpiceSource& source, int32_t p, const std::vector<double>& axis) {
    SourceSweep sweep{p, 0, 0, 1.0};
    for (size_t k = 1; k <= axis.size(); ++k) {
        if (k == axis.size() || axis[k] == axis[0]) {
            sweep.count = static_cast<int64_t>(k) - sweep.first;
            source.sweeps.push_back(sweep);
            sweep.first = static_cast<int64_t>(k);
            sweep.parameter += 1.0;
        }
    }
    if (axis.empty()) source.sweeps.push_back(sweep);
}

// The name of a .param whose value differs between the first two sweeps'
// plots, each sweep's parameter set to its value; "step" when none does.
std::string namedParameter(SpiceSource& source) {
    if (source.sweeps.size() < 2) return "step";
    const auto& plots = source.plots;
    const SourcePlot& a = plots[static_cast<size_t>(source.sweeps[0].plot)];
    const SourcePlot& b = plots[static_cast<size_t>(source.sweeps[1].plot)];
    for (const auto& param : a.params) {
        const std::string& name = param.first;
        auto other = std::find_if(b.params.begin(), b.params.end(),
                                  [&](const auto& q) { return q.first == name; });
        if (other == b.params.end() || other->second == param.second) continue;
        for (SourceSweep& sweep : source.sweeps) {
            sweep.parameter = NAN;
            for (const auto& q : plots[static_cast<size_t>(sweep.plot)].params) {
                if (q.first == name) sweep.parameter = q.second;
            }
        }
        return name;
    }
    return "step";
}

// The sweeps of plot main: its steps when it is stepped, else every plot of
// its variables. Returns the sweep parameter's name, or "" after a failure.
std::string findSweeps(WaveformDataset* ds, SpiceSource& source, size_t main) {
    const SourcePlot& m = source.plots[main];
    if (hasFlag(m.flags, "stepped")) {
        std::vector<double> axis;
        if (!readAxis(ds, source, main, axis)) return "";
        splitSteps(source, static_cast<int32_t>(main), axis);
        return "step";
    }
    for (size_t p = 0; p < source.plots.size(); ++p) {
        if (!sameVariables(source.plots[p], m)) continue;
        const double step = static_cast<double>(source.sweeps.size() + 1);
        source.sweeps.push_back({static_cast<int32_t>(p), 0, source.plots[p].points, step});
    }
    return namedParameter(source);
}

// Makes plot main (with its sweeps) the one the dataset describes.
int describe(WaveformDataset* ds, SpiceSource& source, int32_t main) {
    const auto m = static_cast<size_t>(main);
    source.timeAxis = source.plots[m].variableTypes[0] == "time";
    const std::string paramName = findSweeps(ds, source, m);
    if (paramName.empty()) return 0;
    for (const SourceSweep& sweep : source.sweeps) {
        if (sweep.count <= static_cast<int64_t>(UINT32_MAX)) continue;
        source.sweeps.clear();
        return fail(
            ds, plotLabel(static_cast<size_t>(sweep.plot)) + ": more points than a sweep holds");
    }
    const SourcePlot& plot = source.plots[m];
    ds->fileMode = plot.binary ? kModeBinary : kModeText;
    source.encoding = plot.binary ? "binary" : "ASCII";
    if (source.utf16) source.encoding += ", UTF-16 header";
    if (!describeSweeps(ds, source, main, paramName))
        return reportFailure(ds, Failure::kOutOfMemory);
    return 1;
}

void copyFacts(WaveformDataset* ds, const HeaderFacts& facts) {
    std::snprintf(ds->title, sizeof ds->title, "%s", facts.title.c_str());
    std::snprintf(ds->date, sizeof ds->date, "%s", facts.date.c_str());
    const std::string& version = facts.version.empty() ? facts.command : facts.version;
    std::snprintf(ds->version, sizeof ds->version, "%s", version.c_str());
}

}  // namespace

int readSpiceRawHeader(WaveformDataset* ds, const FormatEntry& /*row*/) {
    SpiceSource* source = sourceOf(ds);
    if (source == nullptr) return reportFailure(ds, Failure::kOutOfMemory);
    HeaderPass pass(ds, *source);
    if (!pass.run()) return 0;
    copyFacts(ds, pass.facts());
    source->selected = defaultPlot(*source);
    return describe(ds, *source, source->selected);
}

int selectSpiceRawPlot(WaveformDataset* ds, int32_t plot) {
    SpiceSource* source = sourceOf(ds);
    if (source == nullptr) return reportFailure(ds, Failure::kNoSuchPlot, nullptr, plot);
    if (!startSelection(ds, *source, plot)) return 0;
    return describe(ds, *source, plot);
}

bool looksLikeSpiceRaw(const FormatEntry& /*row*/, const Sniffed& first) {
    const unsigned char* bytes = first.bytes;
    const int count = first.count;
    std::string text;
    const bool wide = count >= 4 && bytes[0] != 0 && bytes[1] == 0 && bytes[3] == 0;
    for (int i = 0; i < count; i += wide ? 2 : 1) text += static_cast<char>(bytes[i]);
    return isHeaderStart(trim(text));
}
