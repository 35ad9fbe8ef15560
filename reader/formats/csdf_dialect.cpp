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
#include <vector>

#include "../dataset_tables.h"
#include "../failure.h"
#include "spice_source.h"
#include "spice_text.h"

namespace {

using spice::Scanner;
using spice::takeNumber;
using spice::trim;

constexpr size_t kTitleRoom = 99;  // title, version, date: 100 bytes with the NUL

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
    if (word.empty() || !spice::takeScaledNumber(after, value)) return false;
    *name = std::string(word);
    return true;
}

class DialectReader {
  public:
    DialectReader(WaveformDataset* ds, SpiceSource& source) : ds_(ds), source_(source) {}
    int readHeader();
    int readData(WaveformValues* out);

  private:
    int fail(const std::string& reason) {
        const std::string detail = std::string(ds_->fileName) + ": " + reason;
        return reportFailure(ds_, Failure::kCsdfDialect, detail.c_str());
    }
    std::string blockLabel(size_t b) const { return "block " + std::to_string(b + 1); }
    int closeBlock(const std::map<std::string, std::string>& keys, SourcePlot& plot);
    int describe();
    int readBlock(size_t s, WaveformValues* out);
    bool nextToken(Scanner& in, std::string_view& token);

    WaveformDataset* ds_;
    SpiceSource& source_;
    std::vector<std::map<std::string, std::string>> blockKeys_;
    std::string_view line_;  // the rest of the line tokens are taken from
};

// Checks a block's names against NODES and keeps what its keys say.
int DialectReader::closeBlock(const std::map<std::string, std::string>& keys, SourcePlot& plot) {
    const size_t b = source_.plots.size();
    const std::string nodes = key(keys, "NODES");
    if (!nodes.empty() && nodes != std::to_string(plot.variableNames.size() - 1))
        return fail(blockLabel(b) + ": NODES='" + nodes + "' but " +
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
    source_.plots.push_back(plot);
    blockKeys_.push_back(keys);
    return 1;
}

int DialectReader::readHeader() {
    enum class State { kStart, kHeader, kNames, kData, kClosed };
    Scanner in(ds_->stream, false);
    State state = State::kStart;
    std::map<std::string, std::string> keys;
    SourcePlot plot;
    std::string_view line;
    for (int64_t lineStart = in.tell(); in.line(line); lineStart = in.tell()) {
        const std::string_view text = trim(line);
        if (text.starts_with("#H") && state != State::kHeader && state != State::kNames) {
            if (state == State::kData)
                return fail(blockLabel(source_.plots.size()) + " ends without #;");
            state = State::kHeader;
            keys.clear();
            plot = SourcePlot();
            plot.variableNames.assign(1, "");
            takePairs(text.substr(2), keys);
            continue;
        }
        switch (state) {
            case State::kStart:
                if (!text.empty()) return fail("no #H line at the start");
                break;
            case State::kHeader:
                if (text.starts_with("#N")) {
                    state = State::kNames;
                    takeNames(text.substr(2), plot.variableNames);
                } else {
                    takePairs(text, keys);
                }
                break;
            case State::kNames:
                if (!text.starts_with("#C") && !text.starts_with("#;")) {
                    takeNames(text, plot.variableNames);
                    break;
                }
                state = State::kData;
                plot.dataOffset = lineStart;
                [[fallthrough]];
            case State::kData:
                plot.points += pointMarks(text);
                if (text.find("#;") != std::string_view::npos) {
                    if (!closeBlock(keys, plot)) return 0;
                    state = State::kClosed;
                }
                break;
            case State::kClosed:
                break;  // text after a block that starts no other is left
        }
        if (state == State::kClosed && !text.empty() && !text.starts_with("#")) break;
    }
    if (state == State::kStart) return fail("no #H line at the start");
    if (state == State::kHeader || state == State::kNames)
        return fail(blockLabel(source_.plots.size()) + " ends in its header");
    if (state == State::kData) return fail(blockLabel(source_.plots.size()) + " ends without #;");
    return describe();
}

// Blocks of the first block's names become its sweeps; the step is named by
// SWEEP2PARM, else by the SUBTITLE's "name = value", else numbered.
int DialectReader::describe() {
    const SourcePlot& first = source_.plots[0];
    const auto& firstKeys = blockKeys_[0];
    std::string paramName = "step";
    const std::string sweep2 = key(firstKeys, "SWEEP2PARM");
    double ignored = 0.0;
    std::string subtitleName;
    const bool bySubtitle = subtitleParameter(key(firstKeys, "SUBTITLE"), &subtitleName, &ignored);
    if (!sweep2.empty()) {
        paramName = sweep2;
    } else if (bySubtitle) {
        paramName = subtitleName;
    }
    for (size_t b = 0; b < source_.plots.size(); ++b) {
        SourcePlot& plot = source_.plots[b];
        if (plot.variableNames != first.variableNames || plot.complex != first.complex) continue;
        double parameter = static_cast<double>(source_.sweeps.size() + 1);
        std::string_view text;
        std::string name;
        if (!sweep2.empty()) {
            const std::string value = key(blockKeys_[b], "SWEEP2VALUE");
            text = value;
            if (!takeNumber(text, &parameter)) parameter = NAN;
        } else if (bySubtitle &&
                   !subtitleParameter(key(blockKeys_[b], "SUBTITLE"), &name, &parameter)) {
            parameter = NAN;
        }
        if (plot.points > static_cast<int64_t>(UINT32_MAX))
            return fail(blockLabel(b) + ": more points than a sweep holds");
        plot.firstSweep = static_cast<int32_t>(source_.sweeps.size());
        source_.sweeps.push_back({static_cast<int32_t>(b), 0, plot.points, parameter});
    }
    const std::string sim = key(firstKeys, "SOURCE");
    source_.simulator = sim.empty() ? "unknown" : sim;
    source_.encoding = "text";
    std::string date = key(firstKeys, "DATE");
    const std::string time = key(firstKeys, "TIME");
    if (!time.empty()) date += (date.empty() ? "" : " ") + time;
    const int room = static_cast<int>(kTitleRoom);
    std::snprintf(ds_->title, sizeof ds_->title, "%.*s", room, key(firstKeys, "TITLE").c_str());
    std::snprintf(ds_->date, sizeof ds_->date, "%.*s", room, date.c_str());
    std::snprintf(ds_->version, sizeof ds_->version, "%.*s", room,
                  key(firstKeys, "VERSION").c_str());
    ds_->fileMode = kModeText;
    // The analysis word ("TR", "Transient Analysis", ...) names the plot for this.
    SourcePlot& main = source_.plots[0];
    const std::string name = main.name;
    main.name = key(firstKeys, "ANALYSIS");
    const int described = describeSweeps(ds_, source_, 0, paramName);
    main.name = name;
    return described != 0 ? 1 : reportFailure(ds_, Failure::kOutOfMemory);
}

bool DialectReader::nextToken(Scanner& in, std::string_view& token) {
    for (;;) {
        const size_t start = line_.find_first_not_of(" \t\r\f\v");
        if (start != std::string_view::npos) {
            const size_t end = std::min(line_.find_first_of(" \t\r\f\v", start), line_.size());
            token = line_.substr(start, end - start);
            line_ = line_.substr(end);
            return true;
        }
        if (!in.line(line_)) return false;
    }
}

int DialectReader::readBlock(size_t s, WaveformValues* out) {
    const SourceSweep& sweep = source_.sweeps[s];
    const auto b = static_cast<size_t>(sweep.plot);
    const SourcePlot& plot = source_.plots[b];
    const std::string label = blockLabel(b);
    const bool hex = source_.simulator.find("PSpice") != std::string::npos;
    const size_t nodes = plot.variableNames.size() - 1;
    Scanner in(ds_->stream, false);
    if (!in.seek(plot.dataOffset)) return fail(label + ": cannot seek to its points");
    line_ = {};
    std::string_view token;
    int64_t base = -1;
    for (int64_t p = 0;; ++p) {
        if (!nextToken(in, token)) return fail(label + " ends without #;");
        if (token == "#;") return p == sweep.count ? 1 : fail(label + ": the points changed");
        if (token != "#C" || p >= sweep.count)
            return fail(label + ": \"" + std::string(token.substr(0, 40)) +
                        "\" where a point starts");
        double x = 0.0;
        double n = 0.0;
        std::string_view number;
        if (!nextToken(in, number) || !takeNumber(number, &x) || !number.empty())
            return fail(label + ": point " + std::to_string(p + 1) + " has no independent value");
        if (!nextToken(in, number) || !takeNumber(number, &n) || !number.empty() || n < 0 ||
            n > static_cast<double>(nodes))
            return fail(label + ": point " + std::to_string(p + 1) + " has no value count");
        out->axis[0][s][p] = static_cast<float>(x);
        for (int64_t k = 0; k < static_cast<int64_t>(n); ++k) {
            const std::string where =
                label + ": point " + std::to_string(p + 1) + ", value " + std::to_string(k + 1);
            if (!nextToken(in, token)) return fail(where + ": the file ends");
            const size_t colon = token.rfind(':');
            if (colon == std::string_view::npos) return fail(where + " has no :index");
            const std::string indexText(token.substr(colon + 1));
            char* end = nullptr;
            const long long index = std::strtoll(indexText.c_str(), &end, hex ? 16 : 10);
            if (indexText.empty() || *end != '\0')
                return fail(where + ": index \"" += indexText + "\" is no number");
            // Indices count from 0 or from 1: the block's first says which.
            if (base < 0) base = index == 0 ? 0 : 1;
            const long long node = index - base;
            if (node < 0 || node >= static_cast<long long>(nodes))
                return fail(where + ": index " += indexText + " names no node");
            const auto i = static_cast<size_t>(node);
            if (out->real[i] == nullptr) continue;
            std::string_view value = token.substr(0, colon);
            double re = 0.0;
            double im = 0.0;
            const size_t slash = plot.complex ? value.find('/') : std::string_view::npos;
            std::string_view imText =
                slash == std::string_view::npos ? "0" : value.substr(slash + 1);
            if (slash != std::string_view::npos) value = value.substr(0, slash);
            if (!takeNumber(value, &re) || !value.empty() || !takeNumber(imText, &im))
                return fail(where + ": \"" + std::string(token.substr(0, 40)) + "\" is no value");
            out->real[i][s][p] = static_cast<float>(re);
            if (out->imag != nullptr && out->imag[i] != nullptr)
                out->imag[i][s][p] = static_cast<float>(im);
        }
    }
}

int DialectReader::readData(WaveformValues* out) {
    if (requireDataSize(ds_) == 0) return 0;
    if (!allocateSweeps(ds_, source_, out)) return reportFailure(ds_, Failure::kOutOfMemory);
    // A node that a point leaves out has no value there.
    for (int32_t i = 0; i < out->signalCount; ++i) {
        for (size_t s = 0; out->real[i] != nullptr && s < source_.sweeps.size(); ++s) {
            const auto count = static_cast<size_t>(source_.sweeps[s].count);
            for (size_t p = 0; p < count; ++p) out->real[i][s][p] = NAN;
            const bool imaginary = out->imag != nullptr && out->imag[i] != nullptr;
            for (size_t p = 0; imaginary && p < count; ++p) out->imag[i][s][p] = NAN;
        }
    }
    for (size_t s = 0; s < source_.sweeps.size(); ++s) {
        if (!readBlock(s, out)) return 0;
    }
    return 1;
}

}  // namespace

int readCsdfDialectHeader(WaveformDataset* ds, const FormatEntry& /*row*/) {
    SpiceSource* source = sourceOf(ds);
    if (source == nullptr) return reportFailure(ds, Failure::kOutOfMemory);
    DialectReader reader(ds, *source);
    return reader.readHeader();
}

int readCsdfDialectData(WaveformDataset* ds, WaveformValues* out, const FormatEntry& /*row*/) {
    SpiceSource* source = sourceOf(ds);
    if (source == nullptr || source->sweeps.empty()) return reportFailure(ds, Failure::kNoSignals);
    DialectReader reader(ds, *source);
    return reader.readData(out);
}

bool looksLikeCsdfDialect(const FormatEntry& /*row*/, const Sniffed& first) {
    const std::string_view text(first.text);
    if (text.find("#H") == std::string_view::npos) return false;
    if (text.find("SOURCE='Xyce'") != std::string_view::npos ||
        text.find("SOURCE='PSpice'") != std::string_view::npos)
        return true;
    // Otherwise the first value of the first point: "#C x n value:index".
    const size_t mark = text.find("#C");
    if (mark == std::string_view::npos) return false;
    std::string_view rest = text.substr(mark + 2);
    for (int word = 0; word < 3; ++word) {
        const size_t start = rest.find_first_not_of(" \t\r\n");
        if (start == std::string_view::npos) return false;
        const size_t end = std::min(rest.find_first_of(" \t\r\n", start), rest.size());
        if (word == 2) return rest.substr(start, end - start).find(':') != std::string_view::npos;
        rest = rest.substr(end);
    }
    return false;
}
