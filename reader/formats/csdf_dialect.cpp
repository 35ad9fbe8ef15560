// CSDF dialect reader: see csdf_dialect.h.
//
// Open walks the whole file once, block by block, and counts each block's
// points, so read knows every array's size before it allocates.
#include "csdf_dialect.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "../dataset_tables.h"
#include "../failure.h"
#include "../text_scanner.h"
#include "spice_source.h"

namespace {

using scan::Scanner;
using scan::trim;
using scan::wholeNumber;

bool isKeyChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// Length of " KEY='" at s[at] (blanks, a key, "='"), or 0.
size_t keyStartAt(std::string_view s, size_t at) {
    size_t i = at;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    const size_t key = i;
    while (i < s.size() && isKeyChar(s[i])) ++i;
    if (i == key || i + 1 >= s.size() || s[i] != '=' || s[i + 1] != '\'') return 0;
    return i + 2 - at;
}

// Takes every KEY='value' pair of a line. A value ends at the quote that is
// followed by the line's end or by the next KEY=', so quotes inside a TITLE
// stay in it.
void takePairs(std::string_view line, std::map<std::string, std::string>& keys) {
    size_t at = 0;
    for (;;) {
        const size_t lead = keyStartAt(line, at);
        if (lead == 0) return;
        const size_t keyBegin = line.find_first_not_of(" \t", at);
        const size_t valueBegin = at + lead;
        const std::string key(line.substr(keyBegin, valueBegin - 2 - keyBegin));
        size_t end = std::string_view::npos;
        for (size_t q = line.find('\'', valueBegin); q != std::string_view::npos;
             q = line.find('\'', q + 1)) {
            if (trim(line.substr(q + 1)).empty() || keyStartAt(line, q + 1) != 0) {
                end = q;
                break;
            }
        }
        if (end == std::string_view::npos) {
            keys[key] = std::string(line.substr(valueBegin));  // no closing quote: the rest
            return;
        }
        keys[key] = std::string(line.substr(valueBegin, end - valueBegin));
        at = end + 1;
    }
}

// The quoted names of a #N line (or of its continuation lines).
void takeNames(std::string_view line, std::vector<std::string>& names) {
    for (size_t open = line.find('\''); open != std::string_view::npos;) {
        const size_t close = line.find('\'', open + 1);
        if (close == std::string_view::npos) {
            names.emplace_back(line.substr(open + 1));
            return;
        }
        names.emplace_back(line.substr(open + 1, close - open - 1));
        open = line.find('\'', close + 1);
    }
}

// Number of "#C" markers that start a token in line.
int64_t pointMarks(std::string_view line) {
    int64_t marks = 0;
    for (size_t at = line.find("#C"); at != std::string_view::npos; at = line.find("#C", at + 2)) {
        if (at == 0 || line[at - 1] == ' ' || line[at - 1] == '\t') ++marks;
    }
    return marks;
}

std::string key(const std::map<std::string, std::string>& keys, const char* name) {
    auto found = keys.find(name);
    return found != keys.end() ? found->second : std::string();
}

// The independent variable's type from SWEEPVAR, as a raw file names it.
std::string axisTypeOf(const std::string& sweepVar) {
    std::string lower;
    for (char c : sweepVar) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (lower.starts_with("time")) return "time";
    if (lower.starts_with("freq")) return "frequency";
    return "";
}

// "Step 2: R1 = 1.5k" and the like: the name before the last '=' and the number after it.
bool subtitleParameter(const std::string& subtitle, std::string* name, double* value) {
    const size_t eq = subtitle.rfind('=');
    if (eq == std::string::npos) return false;
    std::string_view before = trim(std::string_view(subtitle).substr(0, eq));
    const size_t space = before.find_last_of(" \t:");
    std::string_view word = space == std::string_view::npos ? before : before.substr(space + 1);
    std::string_view after = std::string_view(subtitle).substr(eq + 1);
    if (word.empty() || !scan::takeScaledNumber(after, value)) return false;
    *name = std::string(word);
    return true;
}

using Keys = std::map<std::string, std::string>;

int fail(WaveformDataset* ds, const std::string& reason) {
    const std::string detail = std::string(ds->fileName) + ": " + reason;
    return reportFailure(ds, Failure::kCsdfDialect, detail.c_str());
}

std::string blockLabel(size_t b) {
    return "block " + std::to_string(b + 1);
}

// The block's step: SWEEP2PARM and SWEEP2VALUE, else the SUBTITLE's
// "name = value"; kept as the plot's one parameter (NaN when unreadable).
void takeStep(const Keys& keys, SourcePlot& plot) {
    const std::string sweep2 = key(keys, "SWEEP2PARM");
    double value = NAN;
    std::string name;
    if (!sweep2.empty()) {
        if (!wholeNumber(trim(key(keys, "SWEEP2VALUE")), &value)) value = NAN;
        plot.params.emplace_back(sweep2, value);
    } else if (subtitleParameter(key(keys, "SUBTITLE"), &name, &value)) {
        plot.params.emplace_back(name, value);
    }
}

// Checks a block's names against NODES and keeps what its keys say.
int closeBlock(WaveformDataset* ds, SpiceSource& source, const Keys& keys, SourcePlot& plot) {
    const size_t b = source.plots.size();
    const std::string nodes = key(keys, "NODES");
    if (!nodes.empty() && nodes != std::to_string(plot.variableNames.size() - 1))
        return fail(ds, blockLabel(b) + ": NODES='" + nodes + "' but " +
                            std::to_string(plot.variableNames.size() - 1) + " names");
    const std::string complex = key(keys, "COMPLEXVALUES");
    plot.complex = !complex.empty() && complex != "NO";
    plot.flags = plot.complex ? "complex" : "real";
    const std::string subtitle = key(keys, "SUBTITLE");
    plot.name = subtitle.empty() ? key(keys, "ANALYSIS") : subtitle;
    const std::string sweepVar = key(keys, "SWEEPVAR");
    plot.variableNames[0] = sweepVar;
    plot.variableTypes.assign(plot.variableNames.size(), "");
    plot.variableTypes[0] = axisTypeOf(sweepVar);
    // The analysis word ("TR", "Transient Analysis", ...) tells the analysis.
    plot.analysis = analysisOf(key(keys, "ANALYSIS"), plot.variableTypes[0], plot.complex);
    takeStep(keys, plot);
    source.plots.push_back(plot);
    return 1;
}

void copyFacts(WaveformDataset* ds, SpiceSource& source, const Keys& keys) {
    source.simulator = simulatorIn(key(keys, "SOURCE"));
    source.encoding = "text";
    std::string date = key(keys, "DATE");
    const std::string time = key(keys, "TIME");
    if (!time.empty()) date += (date.empty() ? "" : " ") + time;
    std::snprintf(ds->title, sizeof ds->title, "%s", key(keys, "TITLE").c_str());
    std::snprintf(ds->date, sizeof ds->date, "%s", date.c_str());
    std::snprintf(ds->version, sizeof ds->version, "%s", key(keys, "VERSION").c_str());
    ds->fileMode = kModeText;
}

// Walks the blocks line by line: #H and its keys, #N and the names, the
// points up to "#;".
class HeaderWalk {
  public:
    HeaderWalk(WaveformDataset* ds, SpiceSource& source) : ds_(ds), source_(source) {}
    int run();

  private:
    enum class State { kStart, kHeader, kNames, kData, kClosed };
    int step(std::string_view text, int64_t lineStart);
    int ending() const;

    WaveformDataset* ds_;
    SpiceSource& source_;
    State state_ = State::kStart;
    Keys keys_;
    SourcePlot plot_;
};

// One line; 0 after a failure.
int HeaderWalk::step(std::string_view text, int64_t lineStart) {
    if (text.starts_with("#H") && state_ != State::kHeader && state_ != State::kNames) {
        if (state_ == State::kData)
            return fail(ds_, blockLabel(source_.plots.size()) + " ends without #;");
        state_ = State::kHeader;
        keys_.clear();
        plot_ = SourcePlot();
        plot_.variableNames.assign(1, "");
        takePairs(text.substr(2), keys_);
        return 1;
    }
    switch (state_) {
        case State::kStart:
            return text.empty() ? 1 : fail(ds_, "no #H line at the start");
        case State::kHeader:
            if (!text.starts_with("#N")) {
                takePairs(text, keys_);
                return 1;
            }
            state_ = State::kNames;
            takeNames(text.substr(2), plot_.variableNames);
            return 1;
        case State::kNames:
            if (!text.starts_with("#C") && !text.starts_with("#;")) {
                takeNames(text, plot_.variableNames);
                return 1;
            }
            state_ = State::kData;
            plot_.dataOffset = lineStart;
            [[fallthrough]];
        case State::kData:
            plot_.points += pointMarks(text);
            if (text.find("#;") == std::string_view::npos) return 1;
            if (source_.plots.empty()) copyFacts(ds_, source_, keys_);
            state_ = State::kClosed;
            return closeBlock(ds_, source_, keys_, plot_);
        case State::kClosed:
            return 1;  // text after a block that starts no other is left
    }
    return 1;
}

int HeaderWalk::ending() const {
    const std::string label = blockLabel(source_.plots.size());
    switch (state_) {
        case State::kStart:
            return fail(ds_, "no #H line at the start");
        case State::kHeader:
        case State::kNames:
            return fail(ds_, label + " ends in its header");
        case State::kData:
            return fail(ds_, label + " ends without #;");
        case State::kClosed:
            break;
    }
    return 1;
}

int HeaderWalk::run() {
    Scanner in(ds_->stream, false);
    std::string_view line;
    for (int64_t lineStart = in.tell(); in.line(line); lineStart = in.tell()) {
        const std::string_view text = trim(line);
        if (!step(text, lineStart)) return 0;
        if (state_ == State::kClosed && !text.empty() && !text.starts_with("#")) break;
    }
    return ending();
}

// Blocks of the main block's names and analysis become its sweeps, named by its step.
int describe(WaveformDataset* ds, SpiceSource& source, int32_t main) {
    const SourcePlot& first = source.plots[static_cast<size_t>(main)];
    const std::string paramName = first.params.empty() ? "step" : first.params[0].first;
    for (size_t b = 0; b < source.plots.size(); ++b) {
        const SourcePlot& plot = source.plots[b];
        if (!sameVariables(first, plot)) continue;
        double parameter = static_cast<double>(source.sweeps.size() + 1);
        if (!first.params.empty()) {
            const bool same = !plot.params.empty() && plot.params[0].first == paramName;
            parameter = same ? plot.params[0].second : NAN;
        }
        if (plot.points > static_cast<int64_t>(UINT32_MAX)) {
            source.sweeps.clear();
            return fail(ds, blockLabel(b) + ": more points than a sweep holds");
        }
        source.sweeps.push_back({static_cast<int32_t>(b), 0, plot.points, parameter});
    }
    source.timeAxis = false;
    if (!describeSweeps(ds, source, main, paramName))
        return reportFailure(ds, Failure::kOutOfMemory);
    return 1;
}

// Reads the points of each sweep's block into the holders.
template <typename Values>
class BlockReader {
  public:
    BlockReader(WaveformDataset* ds, const SpiceSource& source, Values* out)
        : ds_(ds), source_(source), out_(out), in_(ds->stream, false) {}
    int run();

  private:
    int block(size_t s);
    int point(size_t s, int64_t p, size_t nodes);
    int value(size_t s, int64_t p, int64_t k, size_t nodes);
    int failAt(int64_t p, const std::string& reason) const {
        return fail(ds_, label_ + ": point " + std::to_string(p + 1) + reason);
    }

    WaveformDataset* ds_;
    const SpiceSource& source_;
    Values* out_;
    Scanner in_;
    std::string label_;
    bool hex_ = false;
    bool complex_ = false;
    int64_t base_ = -1;  // indices count from 0 or from 1: the block's first says which
};

template <typename Values>
int BlockReader<Values>::value(size_t s, int64_t p, int64_t k, size_t nodes) {
    const std::string where = ", value " + std::to_string(k + 1);
    std::string_view token;
    if (!in_.token(token)) return failAt(p, where + ": the file ends");
    const size_t colon = token.rfind(':');
    if (colon == std::string_view::npos) return failAt(p, where + " has no :index");
    const std::string indexText(token.substr(colon + 1));
    char* end = nullptr;
    const long long index = std::strtoll(indexText.c_str(), &end, hex_ ? 16 : 10);
    if (indexText.empty() || *end != '\0')
        return failAt(p, where + ": index \"" + indexText + "\" is no number");
    if (base_ < 0) base_ = index == 0 ? 0 : 1;
    const long long node = index - base_;
    if (node < 0 || node >= static_cast<long long>(nodes))
        return failAt(p, where + ": index " + indexText + " names no node");
    const auto i = static_cast<size_t>(node);
    if (out_->real[i] == nullptr) return 1;
    std::string_view text = token.substr(0, colon);
    double re = 0.0;
    double im = 0.0;
    const size_t slash = complex_ ? text.find('/') : std::string_view::npos;
    const std::string_view imText = slash == std::string_view::npos ? "0" : text.substr(slash + 1);
    if (!wholeNumber(text.substr(0, slash), &re) || !wholeNumber(imText, &im))
        return failAt(p, where + ": \"" + std::string(token.substr(0, 40)) + "\" is no value");
    out_->real[i][s][p] = static_cast<ValueOf<Values>>(re);
    if (out_->imag != nullptr && out_->imag[i] != nullptr)
        out_->imag[i][s][p] = static_cast<ValueOf<Values>>(im);
    return 1;
}

// "x n" after a point's #C, then its n values.
template <typename Values>
int BlockReader<Values>::point(size_t s, int64_t p, size_t nodes) {
    double x = 0.0;
    double n = 0.0;
    std::string_view number;
    if (!in_.token(number) || !wholeNumber(number, &x))
        return failAt(p, " has no independent value");
    if (!in_.token(number) || !wholeNumber(number, &n) || !(n >= 0) ||
        n > static_cast<double>(nodes) || n != std::floor(n))
        return failAt(p, " has no value count");
    out_->axis[0][s][p] = static_cast<ValueOf<Values>>(x);
    for (int64_t k = 0; k < static_cast<int64_t>(n); ++k) {
        if (!value(s, p, k, nodes)) return 0;
    }
    return 1;
}

template <typename Values>
int BlockReader<Values>::block(size_t s) {
    const SourceSweep& sweep = source_.sweeps[s];
    const SourcePlot& plot = source_.plots[static_cast<size_t>(sweep.plot)];
    label_ = blockLabel(static_cast<size_t>(sweep.plot));
    complex_ = plot.complex;
    base_ = -1;
    if (!in_.seek(plot.dataOffset)) return fail(ds_, label_ + ": cannot seek to its points");
    std::string_view token;
    for (int64_t p = 0;; ++p) {
        if (!in_.token(token)) return fail(ds_, label_ + " ends without #;");
        if (token == "#;") return p == sweep.count ? 1 : fail(ds_, label_ + ": the points changed");
        if (token != "#C" || p >= sweep.count)
            return fail(ds_, label_ + ": \"" + std::string(token.substr(0, 40)) +
                                 "\" where a point starts");
        if (!point(s, p, plot.variableNames.size() - 1)) return 0;
    }
}

template <typename Values>
int BlockReader<Values>::run() {
    if (requireDataSize(ds_) == 0) return 0;
    if (!allocateSweeps(ds_, source_, out_)) return reportFailure(ds_, Failure::kOutOfMemory);
    hex_ = source_.simulator == Simulator::kPspice;
    // A node that a point leaves out has no value there.
    for (int32_t i = 0; i < out_->signalCount; ++i) {
        for (size_t s = 0; out_->real[i] != nullptr && s < source_.sweeps.size(); ++s) {
            const auto count = static_cast<size_t>(source_.sweeps[s].count);
            std::fill_n(out_->real[i][s], count, NAN);
            if (out_->imag != nullptr && out_->imag[i] != nullptr)
                std::fill_n(out_->imag[i][s], count, NAN);
        }
    }
    for (size_t s = 0; s < source_.sweeps.size(); ++s) {
        if (!block(s)) return 0;
    }
    return 1;
}

template <typename Values>
int readBlocks(WaveformDataset* ds, Values* out) {
    const SpiceSource* source = sourceOf(ds);
    if (source == nullptr || source->sweeps.empty()) return reportFailure(ds, Failure::kNoSignals);
    BlockReader<Values> reader(ds, *source, out);
    return reader.run();
}

// "#C x n value:index" from the first #C on: the dialect's point.
bool startsDialectPoint(std::string_view rest) {
    for (int word = 0; word < 3; ++word) {
        const size_t start = rest.find_first_not_of(" \t\r\n");
        if (start == std::string_view::npos) return false;
        const size_t end = std::min(rest.find_first_of(" \t\r\n", start), rest.size());
        if (word == 2) return rest.substr(start, end - start).find(':') != std::string_view::npos;
        rest = rest.substr(end);
    }
    return false;
}

// The first point of a header longer than the first bytes: the "#C" line
// (within a bound of header lines) and the two after it, as values wrap.
bool firstPointFurther(gzFile stream) {
    constexpr int kMostHeaderLines = 4096;
    Scanner in(stream, false);
    std::string_view line;
    std::string point;
    int taken = 0;
    for (int n = 0; n < kMostHeaderLines + 2 && taken < 3 && in.line(line); ++n) {
        const std::string_view text = trim(line);
        if (taken == 0 && (!text.starts_with("#C") || n >= kMostHeaderLines)) continue;
        point.append(text).append("\n");
        ++taken;
    }
    in.seek(0);
    return taken > 0 && startsDialectPoint(std::string_view(point).substr(2));
}

}  // namespace

int readCsdfDialectHeader(WaveformDataset* ds, const FormatEntry& /*row*/) {
    SpiceSource* source = sourceOf(ds);
    if (source == nullptr) return reportFailure(ds, Failure::kOutOfMemory);
    HeaderWalk walk(ds, *source);
    if (!walk.run()) return 0;
    source->selected = defaultPlot(*source);
    return describe(ds, *source, source->selected);
}

int readCsdfDialectData(WaveformDataset* ds, WaveformValues* out, const FormatEntry& /*row*/) {
    return readBlocks(ds, out);
}

int readCsdfDialectData64(WaveformDataset* ds, WaveformValues64* out, const FormatEntry& /*row*/) {
    return readBlocks(ds, out);
}

int selectCsdfDialectPlot(WaveformDataset* ds, int32_t plot) {
    SpiceSource* source = sourceOf(ds);
    if (source == nullptr) return reportFailure(ds, Failure::kNoSuchPlot, nullptr, plot);
    if (!startSelection(ds, *source, plot)) return 0;
    return describe(ds, *source, plot);
}

bool looksLikeCsdfDialect(const FormatEntry& /*row*/, const Sniffed& first) {
    const std::string_view text(first.text);
    const size_t header = text.find("#H");
    if (header == std::string_view::npos) return false;
    // SOURCE='Xyce' or 'PSpice' in any letter case.
    std::string lower;
    for (char c : text) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (lower.find("source='xyce'") != std::string::npos ||
        lower.find("source='pspice'") != std::string::npos)
        return true;
    // Otherwise the first value of the first point: "#C x n value:index".
    const size_t mark = text.find("#C");
    if (mark != std::string_view::npos) return startsDialectPoint(text.substr(mark + 2));
    return first.stream != nullptr && firstPointFurther(first.stream);
}
