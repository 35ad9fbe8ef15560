#include "store.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numeric>

namespace view {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPartNames[] = {"value", "db", "degrees", "real", "imaginary"};

std::string folded(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Voltages and currents by the simulator's type code (HSPICE post files)
// or, elsewhere, by the name's v( or i( prefix.
std::string unitOf(const std::string& name, uint32_t format, uint32_t typeCode) {
    const bool post = format == kFormatPost9007 || format == kFormatPost9601 ||
                      format == kFormatPost2001 || format == kFormatPost2013;
    const std::string f = folded(name);
    if (f.rfind("i(", 0) == 0 || (post && typeCode == 8)) return "A";
    if (f.rfind("v(", 0) == 0 || (post && typeCode == 1)) return "V";
    return "";
}

// Values come from the reader in the file's own precision (floats widened
// exactly), so times keep picoseconds at milliseconds; values are kept as
// floats, computed parts from the doubles.
float partOf(Part part, double re, double im) {
    switch (part) {
        case Part::db:
            return static_cast<float>(20 * std::log10(std::hypot(re, im)));
        case Part::degrees:
            return static_cast<float>(std::atan2(im, re) * 180 / M_PI);
        case Part::imaginary:
            return static_cast<float>(im);
        default:
            return static_cast<float>(re);
    }
}

// Orders a series by x (a sweep read backwards, say); stable, so equal
// times keep the file's order.
void sortByTime(Series& s) {
    const std::vector<double>& x = *s.x;
    if (std::is_sorted(x.begin(), x.end())) return;
    std::vector<size_t> order(x.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return x[a] < x[b]; });
    auto sortedX = std::make_shared<std::vector<double>>(x.size());
    std::vector<float> sortedY(x.size());
    for (size_t i = 0; i < order.size(); ++i) {
        (*sortedX)[i] = x[order[i]];
        sortedY[i] = s.y[order[i]];
    }
    s.x = std::move(sortedX);
    s.y = std::move(sortedY);
}

}  // namespace

bool partFromName(const std::string& name, Part& part) {
    for (size_t i = 0; i < std::size(kPartNames); ++i) {
        if (name == kPartNames[i]) {
            part = static_cast<Part>(i);
            return true;
        }
    }
    return false;
}

const Pyramid& Curves::pyramid(size_t sweep) {
    if (pyramids.size() != sweeps.size()) pyramids.resize(sweeps.size());
    if (!pyramids[sweep]) pyramids[sweep] = std::make_unique<Pyramid>(sweeps[sweep].y);
    return *pyramids[sweep];
}

Run::~Run() {
    if (ds_ != nullptr) wfxClose(ds_);
}

std::string Run::stamp() const {
    std::error_code error;
    std::string text;
    auto add = [&](const fs::path& p) {
        const auto size = fs::file_size(p, error);
        const auto time = fs::last_write_time(p, error).time_since_epoch().count();
        text += std::to_string(size) + ":" + std::to_string(time) + ";";
    };
    if (!folder_) {
        add(path_);
        return text;
    }
    for (const std::string& file : curveFiles_) add(file);
    add(fs::path(path_) / "wavtrex.curlist");
    return text;
}

// Makes the run's plot the one the dataset describes and reads.
bool Run::selectPlot() {
    WfxPlotFacts plot{};
    plotName_.clear();
    if (plot_ < 0) return true;
    if (!wfxSelectPlot(ds_, plot_) || !wfxPlotFacts(ds_, plot_, &plot)) {
        reason_ = wfxLastReason();
        if (reason_.empty()) reason_ = "no such plot";
        return false;
    }
    plotName_ = plot.name != nullptr ? plot.name : "";
    return true;
}

int Run::plotCount() const {
    WfxSourceFacts facts{};
    return ds_ != nullptr && wfxSourceFacts(ds_, &facts) ? facts.plotCount : 0;
}

bool Run::changed() const {
    return stamp() != stamp_;
}

bool Run::open() {
    if (ds_ != nullptr) wfxClose(ds_);
    ds_ = nullptr;
    ++generation_;
    curves_.clear();
    signals_.clear();
    sharedTimes_.clear();
    sweepNames_.clear();
    sweepLabels_.clear();
    reason_.clear();
    ending_ = kEndingComplete;
    std::error_code error;
    folder_ = fs::is_directory(path_, error);
    if (folder_) return openFolder();
    stamp_ = stamp();
    uint32_t status = 0;
    ds_ = wfxOpen(path_.c_str(), WFX_DETECT_ALL, WFX_DETECT_MODE, &status);
    if (ds_ == nullptr) {
        reason_ = wfxLastReason();
        if (reason_.empty()) reason_ = "cannot open";
        return false;
    }
    if (!selectPlot()) return false;
    const char* format = wfxFormatName(ds_->dataFormat);
    format_ = format != nullptr ? format : "";
    const char* analysis = wfxWords(kWordsAnalysis, ds_->analysisKind);
    analysis_ = analysis != nullptr ? analysis : "";
    stepped_ = ds_->dataFormat == kFormatFramedEvent || ds_->dataFormat == kFormatTaggedRecord;
    const int64_t first = ds_->firstSignalIndex;
    axisName_ = wfxVariableName(ds_, first - 1);
    const std::string axis = folded(axisName_);
    axisUnit_ = ds_->analysisKind == kAnalysisTransient || axis.find("time") != std::string::npos
                    ? "s"
                : ds_->analysisKind == kAnalysisAc || axis.find("freq") != std::string::npos ? "Hz"
                                                                                             : "";
    for (int32_t i = 0; i < ds_->signalCount && first + i < ds_->variableCount; ++i) {
        const VariableRecord& v = ds_->variables[first + i];
        Signal s{wfxVariableName(ds_, first + i),
                 unitOf(wfxVariableName(ds_, first + i), ds_->dataFormat, v.typeCode),
                 v.kind == kKindComplex && ds_->analysisKind == kAnalysisAc};
        signals_.push_back(std::move(s));
    }
    for (int64_t v = 0; v + 1 < first && v < ds_->variableCount; ++v) {
        sweepNames_.push_back(wfxVariableName(ds_, v));
    }
    return true;
}

// A converter output folder: its curve list names the signals, whose curve
// files lie below it (in the configuration's group folders, perhaps).
bool Run::openFolder() {
    curveFiles_.clear();
    std::error_code error;
    if (!fs::exists(fs::path(path_) / "wavtrex.curlist", error)) {
        reason_ = "a folder without wavtrex.curlist";
        return false;
    }
    for (fs::recursive_directory_iterator it(path_, error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().extension() == ".cur") curveFiles_.push_back(it->path().string());
    }
    std::sort(curveFiles_.begin(), curveFiles_.end());
    for (const std::string& file : curveFiles_) {
        const std::string name = fs::relative(file, path_, error).replace_extension().string();
        signals_.push_back({name, unitOf(name, kFormatCsdf, 0), false});
    }
    format_ = "curve files";
    analysis_ = "transient";
    axisName_ = "TIME";
    axisUnit_ = "s";
    stamp_ = stamp();
    return true;
}

Curves* Run::curves(int signal, Part part, std::string& reason) {
    if (!reason_.empty()) {
        reason = reason_;
        return nullptr;
    }
    const auto key = std::make_pair(signal, part);
    auto found = curves_.find(key);
    if (found != curves_.end()) return &found->second;
    Curves c;
    if (!(folder_ ? readCurveFile(signal, c) : readSignal(signal, part, c))) {
        reason = wfxLastReason();
        if (reason.empty()) reason = "cannot read the signal";
        return nullptr;
    }
    for (Series& s : c.sweeps) sortByTime(s);
    return &curves_.emplace(key, std::move(c)).first->second;
}

namespace {

int readInto(WaveformDataset* ds, const uint8_t* wanted, WaveformValues& v) {
    return wfxReadSignals(ds, wanted, &v);
}
int readInto(WaveformDataset* ds, const uint8_t* wanted, WaveformValues64& v) {
    return wfxReadSignals64(ds, wanted, &v);
}
void release(WaveformValues& v) {
    wfxReleaseValues(&v);
}
void release(WaveformValues64& v) {
    wfxReleaseValues64(&v);
}

}  // namespace

// A float widens to a double exactly, so a file that stores no doubles is
// read by the quicker float read.
bool Run::readSignal(int signal, Part part, Curves& out) {
    if (wfxStoredBits(ds_, 0) == 64 || wfxStoredBits(ds_, 1) == 64) {
        return readAs<WaveformValues64>(signal, part, out);
    }
    return readAs<WaveformValues>(signal, part, out);
}

template <typename Values>
bool Run::readAs(int signal, Part part, Curves& out) {
    std::vector<uint8_t> wanted(static_cast<size_t>(ds_->signalCount), 0);
    wanted[static_cast<size_t>(signal)] = 1;
    Values v{};
    if (!readInto(ds_, wanted.data(), v)) return false;
    ending_ = ds_->readEnding;
    const int32_t sweeps = std::min(v.sweepCount, v.sweepSlots);
    const size_t h = v.holderCount > 1 ? static_cast<size_t>(signal) : 0;
    const bool shared = wfxSharedTimes(ds_) != 0;
    if (shared) sharedTimes_.resize(static_cast<size_t>(std::max(sweeps, 0)));
    sweepLabels_.clear();
    for (int32_t s = 0; s < sweeps; ++s) {
        const uint32_t n = v.counts[h][s];
        Series series;
        if (shared && sharedTimes_[s] && sharedTimes_[s]->size() == n) {
            series.x = sharedTimes_[s];
        } else {
            series.x = std::make_shared<const std::vector<double>>(v.axis[h][s], v.axis[h][s] + n);
            if (shared) sharedTimes_[s] = series.x;
        }
        const auto* re = v.real[signal][s];
        const auto* im =
            v.imag != nullptr && v.imag[signal] != nullptr ? v.imag[signal][s] : nullptr;
        series.y.resize(n);
        for (uint32_t i = 0; i < n; ++i) series.y[i] = partOf(part, re[i], im ? im[i] : 0.0);
        out.sweeps.push_back(std::move(series));
        std::string label;
        for (size_t k = 0; v.sweepValues != nullptr && k < sweepNames_.size(); ++k) {
            label += (k ? ", " : "") + sweepNames_[k] + "=" +
                     jsonNumber(static_cast<double>(v.sweepValues[s][k]));
        }
        sweepLabels_.push_back(label);
    }
    release(v);
    return true;
}

// A curve file: '*' header lines, the name line, then "time value" lines.
bool Run::readCurveFile(int signal, Curves& out) {
    std::ifstream in(curveFiles_[static_cast<size_t>(signal)]);
    if (!in) return false;
    auto x = std::make_shared<std::vector<double>>();
    Series s;
    std::string line;
    while (std::getline(in, line)) {
        double t = 0, value = 0;
        if (line.empty() || line[0] == '*' || std::sscanf(line.c_str(), "%lf %lf", &t, &value) != 2)
            continue;
        x->push_back(t);
        s.y.push_back(static_cast<float>(value));
    }
    s.x = std::move(x);
    out.sweeps.push_back(std::move(s));
    return true;
}

std::string Run::describe(int index) const {
    std::string j = "{\"index\": " + std::to_string(index) + ", \"path\": " + jsonString(path_) +
                    ", \"generation\": " + std::to_string(generation_);
    if (!reason_.empty()) return j + ", \"reason\": " + jsonString(reason_) + "}";
    const char* ending = wfxWords(kWordsReadEnding, ending_);
    j += ", \"plot\": " + jsonString(plotName_) + ", \"format\": " + jsonString(format_) +
         ", \"analysis\": " + jsonString(analysis_) + ", \"axis\": " + jsonString(axisName_) +
         ", \"axisUnit\": " + jsonString(axisUnit_) +
         ", \"stepped\": " + (stepped_ ? "true" : "false") +
         ", \"ending\": " + jsonString(ending != nullptr ? ending : "") +
         ", \"endsEarly\": " + (ending_ != kEndingComplete ? "true" : "false") + ", \"sweeps\": [";
    for (size_t s = 0; s < sweepLabels_.size(); ++s)
        j += (s ? ", " : "") + jsonString(sweepLabels_[s]);
    j += "], \"signals\": [";
    for (size_t i = 0; i < signals_.size(); ++i) {
        j += std::string(i ? ", " : "") + "{\"name\": " + jsonString(signals_[i].name) +
             ", \"unit\": " + jsonString(signals_[i].unit) +
             ", \"complex\": " + (signals_[i].complex ? "true" : "false") + "}";
    }
    return j + "]}";
}

std::string jsonString(const std::string& text) {
    std::string j = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            j += '\\';
            j += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            j += escape;
        } else {
            j += c;
        }
    }
    return j + "\"";
}

template <typename T>
static std::string shortest(T value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}
std::string jsonNumber(double value) {
    return shortest(value);
}
std::string jsonNumber(float value) {
    return shortest(value);
}

}  // namespace view
