// wavtrex-info: what the reader library makes of each waveform file, or why
// it refuses it. Uses only the library's public interface.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "wfx.h"

namespace {

// Rows shown without --signals: enough to recognise a file at a glance.
constexpr size_t kShortTable = 8;

struct SignalFacts {
    std::string name;
    uint32_t kind = 0;
    uint32_t typeCode = 0;
    uint64_t points = 0;  // over all sweeps
};

// A plot of a SPICE raw or CSDF dialect file.
struct PlotFacts {
    std::string name;
    uint32_t analysis = 0;
    int32_t variables = 0;
    int64_t points = 0;
    int32_t firstSweep = -1;  // -1 when only listed
};

// Everything reported for one file. A failed open fills only the status and
// the error; a failed read keeps the header facts.
struct FileFacts {
    std::string path;
    uint32_t openStatus = 0;
    bool readOk = false;
    uint32_t ending = kEndingComplete;  // how the read found the data's end
    uint32_t missingValues = 0;
    uint32_t lastError = 0;  // the dataset's DatasetError after a failed read
    std::string error;       // the reason of the failure (wfxLastReason)

    uint32_t format = 0;
    std::string version;
    uint8_t mode = 0;
    int32_t framingMode = 0;
    bool gzip = false;
    uint32_t analysis = 0;
    std::string title;
    std::string date;
    int32_t sweepCount = 0;
    std::vector<uint64_t> pointsPerSweep;  // the largest count of each sweep
    std::optional<std::string> axisName;
    std::optional<double> axisMin, axisMax;
    int valueBits = 32, axisBits = 32;  // what the file stores per value
    std::vector<SignalFacts> signals;
    // SPICE raw and CSDF dialect files: what the file says of itself.
    std::optional<std::string> simulator, encoding, flags;
    std::vector<PlotFacts> plots;
};

// The library's words for a code, or the fallback when it has none.
const char* words(uint32_t of, uint32_t code, const char* fallback) {
    const char* text = wfxWords(of, code);
    return text != nullptr ? text : fallback;
}

void collectHeader(const WaveformDataset& ds, FileFacts& f) {
    f.format = ds.dataFormat;
    f.version = ds.version;
    f.mode = ds.fileMode;
    f.framingMode = ds.framingMode;
    f.gzip = wfxIsCompressed(&ds) != 0;
    f.analysis = ds.analysisKind;
    f.title = ds.title;
    f.date = ds.date;
    f.sweepCount = ds.sweepCount;
    f.valueBits = wfxStoredBits(&ds, 0);
    f.axisBits = wfxStoredBits(&ds, 1);
    WfxSourceFacts source{};
    if (wfxSourceFacts(&ds, &source)) {
        f.simulator = source.simulator;
        f.encoding = source.encoding;
        f.flags = source.flags;
        for (int32_t p = 0; p < source.plotCount; ++p) {
            WfxPlotFacts plot{};
            if (!wfxPlotFacts(&ds, p, &plot)) continue;
            f.plots.push_back({plot.name, plot.analysisKind, plot.variableCount, plot.pointCount,
                               plot.firstSweep});
        }
    }
    int64_t axis = static_cast<int64_t>(ds.firstSignalIndex) - 1;
    if (axis >= 0 && axis < ds.variableCount) f.axisName = wfxVariableName(&ds, axis);
    for (int32_t i = 0; i < ds.signalCount; ++i) {
        int64_t record = static_cast<int64_t>(ds.firstSignalIndex) + i;
        if (record >= ds.variableCount) break;
        const VariableRecord& v = ds.variables[record];
        f.signals.push_back({wfxVariableName(&ds, record), v.kind, v.typeCode, 0});
    }
}

// Point counts and the independent variable's range, over every holder: one
// for formats with shared times, one per signal otherwise.
void collectValues(const WaveformValues64& values, FileFacts& f) {
    f.sweepCount = values.sweepCount;
    f.pointsPerSweep.assign(static_cast<size_t>(std::max(values.sweepCount, 0)), 0);
    for (int32_t h = 0; h < values.holderCount; ++h) {
        if (values.counts == nullptr || values.counts[h] == nullptr) continue;
        for (int32_t s = 0; s < values.sweepCount; ++s) {
            uint32_t n = values.counts[h][s];
            f.pointsPerSweep[s] = std::max<uint64_t>(f.pointsPerSweep[s], n);
            if (values.holderCount == 1) {
                for (SignalFacts& signal : f.signals) signal.points += n;
            } else if (static_cast<size_t>(h) < f.signals.size()) {
                f.signals[h].points += n;
            }
            const double* x =
                values.axis != nullptr && values.axis[h] != nullptr ? values.axis[h][s] : nullptr;
            for (uint32_t p = 0; x != nullptr && p < n; ++p) {
                if (std::isnan(x[p])) continue;
                if (!f.axisMin || x[p] < *f.axisMin) f.axisMin = x[p];
                if (!f.axisMax || x[p] > *f.axisMax) f.axisMax = x[p];
            }
        }
    }
}

FileFacts examine(const std::string& path) {
    FileFacts f;
    f.path = path;
    // "-" is standard input, which the reader takes in place of a file name.
    const char* name = path == "-" ? nullptr : path.c_str();
    WaveformDataset* ds = wfxOpen(name, WFX_DETECT_ALL, WFX_DETECT_MODE, &f.openStatus);
    if (ds == nullptr) {
        f.error = wfxLastReason();
        return f;
    }
    collectHeader(*ds, f);
    // Only the times and counts are looked at. Where the signals share one
    // set of them the read keeps no signal and needs little memory however
    // big the file; other formats keep every signal's own times.
    std::vector<uint8_t> none;
    if (wfxSharedTimes(ds) != 0) {
        none.assign(static_cast<size_t>(std::max(ds->signalCount, 0)), 0);
    }
    // Doubles, so the range shows what a float64 axis holds.
    WaveformValues64 values{};
    f.readOk = wfxReadSignals64(ds, none.empty() ? nullptr : none.data(), &values) != 0;
    if (f.readOk) {
        f.ending = ds->readEnding;
        f.missingValues = ds->missingValues;
        collectValues(values, f);
    } else {
        f.lastError = ds->lastError;
        f.error = wfxLastReason();
    }
    wfxReleaseValues64(&values);
    wfxClose(ds);
    return f;
}

// ---- text and JSON forms ------------------------------------------------------

// The shortest text that reads back as the value the file stores: a float's
// when it stores floats, else a double's (steps of 1 ps at 1 ms stay apart).
std::string number(double value, int bits) {
    char text[32];
    const auto written = bits == 64
                             ? std::to_chars(text, text + sizeof text, value)
                             : std::to_chars(text, text + sizeof text, static_cast<float>(value));
    return std::string(text, written.ptr);
}

std::string fileKind(const FileFacts& f) {
    if (f.encoding) return *f.encoding + (f.gzip ? ", gzip" : ", not compressed");
    std::string kind = (f.mode & kModeBinary) != 0 ? "binary" : "text";
    if ((f.mode & kModeBinary) != 0) {
        kind += (f.mode & kModeBigEndian) != 0 ? ", big-endian" : ", little-endian";
        if (f.framingMode == 2) {
            kind += ", length-prefixed blocks";
        } else {
            kind += f.framingMode == 1 ? ", byte-framed" : ", word-framed";
        }
    }
    return kind + (f.gzip ? ", gzip" : ", not compressed");
}

std::string formatName(uint32_t format) {
    const char* name = wfxFormatName(format);
    return name != nullptr ? name : "unknown";
}

// How a file that ends early ends: "no end marker", or "last row cut short,
// N missing" (values of the row, read as 0).
std::string endingText(const FileFacts& f) {
    std::string text = words(kWordsReadEnding, f.ending, "unknown");
    if (f.ending == kEndingRowCutShort) text += ", " + std::to_string(f.missingValues) + " missing";
    return text;
}

// A plot's line: what it holds, and how to read it on its own.
std::string plotText(const PlotFacts& plot, size_t index) {
    std::string line = plot.name + " (" + words(kWordsAnalysis, plot.analysis, "unknown") + "), " +
                       std::to_string(plot.variables) + " variables, " +
                       std::to_string(plot.points) + " points, ";
    line += plot.firstSweep >= 0 ? "read as sweep " + std::to_string(plot.firstSweep)
                                 : std::string("listed only");
    return line + "; wavtrex.open(path, plot=" + std::to_string(index) + ")";
}

// A code and its words, as the signal table shows them: "10 complex".
std::string coded(uint32_t of, uint32_t code) {
    return std::to_string(code) + " " + words(of, code, "unknown");
}

std::string pointsText(const FileFacts& f) {
    if (f.pointsPerSweep.empty()) return "none";
    bool same = true;
    for (uint64_t n : f.pointsPerSweep) same = same && n == f.pointsPerSweep[0];
    if (same) return std::to_string(f.pointsPerSweep[0]) + " per sweep";
    std::string text;
    for (uint64_t n : f.pointsPerSweep) text += (text.empty() ? "" : ", ") + std::to_string(n);
    return text + " (by sweep)";
}

void printText(const FileFacts& f, bool allSignals) {
    std::printf("%s\n", f.path.c_str());
    if (f.openStatus != kOpenOk) return;
    std::printf("  format       %s (%u)%s%s\n", formatName(f.format).c_str(), f.format,
                f.version.empty() ? "" : ", version ", f.version.c_str());
    std::printf("  file         %s\n", fileKind(f).c_str());
    if (f.simulator) {
        std::printf("  simulator    %s\n", f.simulator->c_str());
        std::printf("  flags        %s\n", f.flags->c_str());
        for (size_t p = 0; p < f.plots.size(); ++p)
            std::printf("  plot %-7zu %s\n", p, plotText(f.plots[p], p).c_str());
    }
    std::printf("  analysis     %s (%d)\n", words(kWordsAnalysis, f.analysis, "unknown"),
                static_cast<int>(f.analysis));
    std::printf("  title        %s\n", f.title.c_str());
    std::printf("  date         %s\n", f.date.c_str());
    std::printf("  signals      %zu\n", f.signals.size());
    std::printf("  precision    float%d values, float%d independent\n", f.valueBits, f.axisBits);
    if (!f.readOk) return;
    std::printf("  sweeps       %d\n", f.sweepCount);
    std::printf("  points       %s\n", pointsText(f).c_str());
    if (f.ending != kEndingComplete) std::printf("  ends early   %s\n", endingText(f).c_str());
    if (f.axisName) {
        std::printf("  independent  %s", f.axisName->c_str());
        if (f.axisMin)
            std::printf(", %s to %s", number(*f.axisMin, f.axisBits).c_str(),
                        number(*f.axisMax, f.axisBits).c_str());
        std::printf("\n");
    }
    if (f.signals.empty()) return;
    std::printf("  %6s %-12s %-12s %10s  %s\n", "#", "kind", "type", "points", "name");
    size_t rows = allSignals ? f.signals.size() : std::min(f.signals.size(), kShortTable);
    for (size_t i = 0; i < rows; ++i) {
        const SignalFacts& s = f.signals[i];
        std::printf("  %6zu %-12s %-12s %10llu  %s\n", i, coded(kWordsKind, s.kind).c_str(),
                    coded(kWordsType, s.typeCode).c_str(),
                    static_cast<unsigned long long>(s.points), s.name.c_str());
    }
    if (rows < f.signals.size())
        std::printf("  ... %zu more (--signals lists them all)\n", f.signals.size() - rows);
}

// Failures go to standard error, one line each, so the report stays readable.
void printFailure(const FileFacts& f) {
    const char* text = f.error.empty() ? "(no reason given)" : f.error.c_str();
    if (f.openStatus != kOpenOk) {
        std::fprintf(stderr, "wavtrex-info: %s: open failed, status %u (%s): %s\n", f.path.c_str(),
                     f.openStatus, words(kWordsOpenStatus, f.openStatus, "unknown status"), text);
    } else {
        std::fprintf(stderr, "wavtrex-info: %s: read failed, error code %u: %s\n", f.path.c_str(),
                     f.lastError, text);
    }
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);  // bytes above 0x7F pass as the file has them
        }
    }
    return out + "\"";
}

std::string jsonNumber(std::optional<double> value, int bits) {
    return value && std::isfinite(*value) ? number(*value, bits) : "null";
}

// Words for a code as JSON: a string, or null when the code has none.
std::string jsonWords(uint32_t of, uint32_t code) {
    const char* text = wfxWords(of, code);
    return text != nullptr ? jsonString(text) : "null";
}

std::string jsonPlot(const PlotFacts& plot, size_t index) {
    return "\n    {\"plot\": " + std::to_string(index) + ", \"name\": " + jsonString(plot.name) +
           ", \"analysis\": " + std::to_string(static_cast<int>(plot.analysis)) +
           ", \"analysisName\": " + jsonWords(kWordsAnalysis, plot.analysis) +
           ", \"variables\": " + std::to_string(plot.variables) +
           ", \"points\": " + std::to_string(plot.points) + ", \"firstSweep\": " +
           (plot.firstSweep >= 0 ? std::to_string(plot.firstSweep) : "null") + "}";
}

// What a SPICE raw or CSDF dialect file says of itself, and its plots.
std::string jsonSource(const FileFacts& f) {
    std::string j = ",\n   \"simulator\": " + jsonString(*f.simulator) +
                    ", \"encoding\": " + jsonString(*f.encoding) +
                    ", \"flags\": " + jsonString(*f.flags) + ", \"plots\": [";
    // Appended piece by piece: GCC 12 -Wrestrict misfires on literal + temporary.
    for (size_t p = 0; p < f.plots.size(); ++p) {
        if (p > 0) j += ",";
        j += jsonPlot(f.plots[p], p);
    }
    return j + "]";
}

std::string jsonSignals(const FileFacts& f) {
    std::string j = ",\n   \"signals\": [";
    for (size_t i = 0; i < f.signals.size(); ++i) {
        const SignalFacts& s = f.signals[i];
        j += std::string(i ? "," : "") + "\n    {\"name\": " + jsonString(s.name) +
             ", \"kind\": " + std::to_string(s.kind) +
             ", \"kindName\": " + jsonWords(kWordsKind, s.kind) +
             ", \"type\": " + std::to_string(s.typeCode) +
             ", \"typeName\": " + jsonWords(kWordsType, s.typeCode) +
             (f.readOk ? ", \"points\": " + std::to_string(s.points) : "") + "}";
    }
    return j + "]";
}

void printJson(const FileFacts& f, bool last) {
    std::string j = "  {\"file\": " + jsonString(f.path);
    j += ", \"ok\": " + std::string(f.openStatus == kOpenOk && f.readOk ? "true" : "false");
    j += ", \"openStatus\": " + std::to_string(f.openStatus);
    if (f.openStatus == kOpenOk) {
        if (!f.readOk) j += ", \"lastError\": " + std::to_string(f.lastError);
        j += ",\n   \"format\": " + std::to_string(f.format) +
             ", \"formatName\": " + jsonString(formatName(f.format)) +
             ", \"version\": " + jsonString(f.version);
        j += ",\n   \"binary\": " + std::string((f.mode & kModeBinary) != 0 ? "true" : "false") +
             ", \"bigEndian\": " + ((f.mode & kModeBigEndian) != 0 ? "true" : "false") +
             ", \"byteFramed\": " + (f.framingMode == 1 ? "true" : "false") +
             ", \"gzip\": " + (f.gzip ? "true" : "false");
        if (f.simulator) j += jsonSource(f);
        j += ",\n   \"analysis\": " + std::to_string(static_cast<int>(f.analysis)) +
             ", \"analysisName\": " + jsonWords(kWordsAnalysis, f.analysis) +
             ", \"title\": " + jsonString(f.title) + ", \"date\": " + jsonString(f.date);
        j += ",\n   \"signalCount\": " + std::to_string(f.signals.size()) +
             ", \"valueBits\": " + std::to_string(f.valueBits) +
             ", \"independentBits\": " + std::to_string(f.axisBits);
        if (f.readOk) {
            j += ", \"complete\": " + std::string(f.ending == kEndingComplete ? "true" : "false");
            if (f.ending != kEndingComplete) {
                j += ", \"ending\": " + jsonString(words(kWordsReadEnding, f.ending, "unknown")) +
                     ", \"missingValues\": " + std::to_string(f.missingValues);
            }
            j += ", \"sweepCount\": " + std::to_string(f.sweepCount) + ", \"pointsPerSweep\": [";
            for (size_t s = 0; s < f.pointsPerSweep.size(); ++s)
                j += (s ? ", " : "") + std::to_string(f.pointsPerSweep[s]);
            j += "]";
        }
        j += ",\n   \"independent\": " + (f.axisName ? jsonString(*f.axisName) : "null") +
             ", \"independentMin\": " + jsonNumber(f.axisMin, f.axisBits) +
             ", \"independentMax\": " + jsonNumber(f.axisMax, f.axisBits);
        j += jsonSignals(f);
    }
    if (!(f.openStatus == kOpenOk && f.readOk)) j += ",\n   \"error\": " + jsonString(f.error);
    j += last ? "}\n" : "},\n";
    std::fputs(j.c_str(), stdout);
}

const char kUsage[] =
    "Usage: wavtrex-info [--signals] [--json] FILE...\n"
    "Describes each waveform file as the wavtrex reader sees it, or why it is refused;\n"
    "a FILE of - is standard input.\n"
    "  --signals  list every signal (the text form shows the first 8)\n"
    "  --json     one JSON array on standard output, for scripts\n"
    "Exit status: 0 when every file was read, 1 otherwise, 2 for a wrong command line.\n";

}  // namespace

int main(int argc, char** argv) {
    bool allSignals = false;
    bool json = false;
    std::vector<std::string> files;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && arg == "--signals") {
            allSignals = true;
        } else if (options && arg == "--json") {
            json = true;
        } else if (options && (arg == "-h" || arg == "--help")) {
            std::fputs(kUsage, stdout);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "wavtrex-info: unknown option %s\n%s", arg.c_str(), kUsage);
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    bool allRead = true;
    if (json) std::fputs("[\n", stdout);
    for (size_t i = 0; i < files.size(); ++i) {
        FileFacts f = examine(files[i]);
        bool ok = f.openStatus == kOpenOk && f.readOk;
        allRead = allRead && ok;
        if (json) {
            printJson(f, i + 1 == files.size());
        } else {
            if (i > 0) std::fputs("\n", stdout);
            printText(f, allSignals);
            // Keep the report and the failure line in the order they happened.
            std::fflush(stdout);
            if (!ok) printFailure(f);
        }
    }
    if (json) std::fputs("]\n", stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "wavtrex-info: cannot write the report: %s\n", std::strerror(errno));
        return 1;
    }
    return allRead ? 0 : 1;
}
