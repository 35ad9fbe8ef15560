// The extraction run; see extract.h.
#include "extract.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "curve_pool.h"
#include "curve_stream.h"
#include "curve_writer.h"
#include "folders.h"
#include "wfx.h"

namespace {

void printLine(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// The name of variable record `record`, or "" when the dataset has no such
// record. Names are taken in full, whatever their length.
std::string recordName(const WaveformDataset& ds, int64_t record) {
    if (ds.variables == nullptr || record < 0 || record >= ds.variableCount) return "";
    const char* name = wfxName(&ds, ds.variables[record].nameOffset);
    return name != nullptr ? name : "";
}

void checkIndependentVariable(const WaveformDataset& ds) {
    std::string name = recordName(ds, static_cast<int64_t>(ds.firstSignalIndex) - 1);
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (name != "time")
        printLine(stdout, "Warning: independent variable of " + name + " is not TIME.");
}

// Owns what open and read hand out, so every path releases them in order:
// the value arrays first, then the dataset.
class OpenedWaveform {
  public:
    explicit OpenedWaveform(WaveformDataset* ds) : ds_(ds) {}
    ~OpenedWaveform() { close(); }
    OpenedWaveform(const OpenedWaveform&) = delete;
    OpenedWaveform& operator=(const OpenedWaveform&) = delete;

    WaveformDataset& dataset() { return *ds_; }
    WaveformValues& values() { return values_; }
    void close() {
        wfxReleaseValues(&values_);
        if (ds_ != nullptr) wfxClose(ds_);
        ds_ = nullptr;
    }

  private:
    WaveformDataset* ds_;
    WaveformValues values_{};
};

// Signal i's samples, against its own times where the format has them.
CurveSamples samplesOf(const WaveformValues& values, int32_t signal) {
    CurveSamples samples;
    const int32_t holder = wfxTimesPerSignal(&values) ? signal : 0;
    if (holder < values.holderCount) {
        if (values.axis != nullptr) samples.axis = values.axis[holder];
        if (values.counts != nullptr) samples.counts = values.counts[holder];
    }
    if (values.real != nullptr && signal < values.signalCount) samples.values = values.real[signal];
    samples.firstSweep = 0;
    samples.sweepCount =
        values.sweepCount < values.sweepSlots ? values.sweepCount : values.sweepSlots;
    return samples;
}

bool isDirectory(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

void reportReadFailure(const WaveformDataset& ds) {
    if (ds.lastError == kErrorOutOfMemory) {
        printLine(stderr, "Out of memory, exiting.");
    } else if (ds.lastError == kErrorDuplicateType) {  // a damaged header
        printLine(stderr, "File reading error, exiting.");
    }
}

// Everything a convert-all run does once the first rows are in: the output
// folder, the curve list, and every signal's curve.
bool startCurves(const WaveformDataset& ds, const std::string& waveformPath,
                 std::string& baseFolder, CurveListFile& curveList, int32_t signalCount,
                 CurveStream& curves) {
    checkIndependentVariable(ds);
    if (baseFolder.empty()) baseFolder = baseNameOf(waveformPath);
    if (!createOutputFolder(baseFolder)) return false;
    curveList.open(joinPath(baseFolder, "wavtrex.curlist"));
    for (int32_t i = 0; i < signalCount; ++i) {
        const std::string name = recordName(ds, static_cast<int64_t>(ds.firstSignalIndex) + i);
        curveList.addName(name);
        const std::string file = name + ".cur";
        curves.add(ds, name, i, joinPath(baseFolder, file), leavesFolder(file));
    }
    return true;
}

// Convert-all of a one-table post file: the rows stream through in pieces,
// so memory stays the same whatever the file's size. The output is that of
// the run that holds all the rows (extractCurves): a failed read ends before
// the first piece arrives, and every console line waits for its turn.
bool convertStreamed(WaveformDataset& ds, const std::string& waveformPath, std::string baseFolder) {
    struct Run {
        WaveformDataset& ds;
        const std::string& waveformPath;
        std::string& baseFolder;
        CurveListFile curveList;
        CurveStream curves;
        bool started = false;
        bool folderMade = false;

        Run(WaveformDataset& d, const std::string& path, std::string& folder)
            : ds(d), waveformPath(path), baseFolder(folder) {}
        bool start() {
            started = true;
            folderMade =
                startCurves(ds, waveformPath, baseFolder, curveList, ds.signalCount, curves);
            return folderMade;
        }
    };
    Run run(ds, waveformPath, baseFolder);
    auto sink = [](const WaveformValues* rows, void* context) {
        Run& r = *static_cast<Run*>(context);
        if (!r.started && !r.start()) return 0;
        r.curves.append(*rows);
        return 1;
    };
    const int64_t columns = int64_t{ds.signalCount} * (ds.analysisKind == kAnalysisAc ? 2 : 1) + 1;
    if (!wfxStreamSignals(&ds, nullptr, rowsPerPiece(columns), sink, &run)) {
        reportReadFailure(ds);
        return false;
    }
    if (!run.started) run.start();
    if (!run.folderMade) return false;
    ExportedSignalSet exported;
    run.curves.finish(exported);
    run.curveList.close();
    return true;
}

}  // namespace

bool extractCurves(const std::string& waveformPath, std::string baseFolder,
                   const CurveRequestMap& requests, bool listOnly, bool convertAll) {
    uint32_t status = 0;
    WaveformDataset* ds =
        wfxOpen(waveformPath.c_str(), WFX_DETECT_FORMAT, WFX_DETECT_MODE, &status);
    if (ds == nullptr) return false;
    OpenedWaveform waveform(ds);
    if (requests.empty() && !listOnly && convertAll && wfxCanStream(ds))
        return convertStreamed(*ds, waveformPath, baseFolder);
    // A run for requested curves stores only the signals it may write.
    std::vector<uint8_t> wanted;
    if (!requests.empty() && !listOnly) {
        wanted.resize(ds->signalCount > 0 ? static_cast<std::size_t>(ds->signalCount) : 0);
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const auto record =
                static_cast<int64_t>(ds->firstSignalIndex) + static_cast<int64_t>(i);
            wanted[i] = requests.count(recordName(*ds, record)) > 0 ? 1 : 0;
        }
    }
    if (!wfxReadSignals(ds, wanted.empty() ? nullptr : wanted.data(), &waveform.values())) {
        reportReadFailure(*ds);
        return false;
    }
    checkIndependentVariable(*ds);

    const WaveformValues& values = waveform.values();
    const int32_t signalCount =
        ds->signalCount < values.signalCount ? ds->signalCount : values.signalCount;

    if (baseFolder.empty()) baseFolder = baseNameOf(waveformPath);
    if (!createOutputFolder(baseFolder)) return false;

    CurveListFile curveList;
    curveList.open(joinPath(baseFolder, "wavtrex.curlist"));

    ExportedSignalSet exported;
    CurvePool pool(exported);
    // Signals that share one set of times share its text, made on first use.
    std::optional<AxisText> axisText;
    auto samplesFor = [&](int32_t signal) {
        CurveSamples samples = samplesOf(values, signal);
        if (!wfxTimesPerSignal(&values)) {
            if (!axisText) axisText.emplace(samples.axis, samples.counts, samples.sweepCount);
            samples.axisText = &*axisText;
        }
        return samples;
    };
    for (int32_t i = 0; i < signalCount; ++i) {
        const std::string name = recordName(*ds, static_cast<int64_t>(ds->firstSignalIndex) + i);
        curveList.addName(name);
        if (listOnly) continue;
        if (requests.empty() && convertAll) {
            // Names come from the file: one that would lead out of the base
            // folder is refused like a name the file system does not allow.
            const std::string file = name + ".cur";
            pool.write(*ds, name, i, samplesFor(i), joinPath(baseFolder, file), leavesFolder(file));
            continue;
        }
        const auto [first, last] = requests.equal_range(name);
        for (auto it = first; it != last; ++it) {
            const std::string folder = joinPath(baseFolder, it->second.subFolder);
            // A folder that cannot be made ends the run at once, without the
            // missing-signal report. Its message, if any, comes after those
            // of the curves before it.
            if (!isDirectory(folder)) pool.finishAll();
            if (!createOutputFolder(folder)) return false;
            pool.write(*ds, name, i, samplesFor(i), joinPath(folder, it->second.curveFileName));
        }
    }
    pool.finishAll();
    waveform.close();
    curveList.close();
    return reportMissingSignals(requests, exported);
}

bool reportMissingSignals(const CurveRequestMap& requests, const ExportedSignalSet& exported) {
    if (requests.size() <= exported.size()) return true;
    printLine(stderr, "The following requested signals are not exported:");
    for (const auto& [node, request] : requests) {
        if (exported.find(node) == exported.end()) printLine(stderr, node);
    }
    return false;
}
