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

void checkIndependentVariable(const WaveformDataset& ds) {
    std::string name = wfxVariableName(&ds, static_cast<int64_t>(ds.firstSignalIndex) - 1);
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

// What a run does once its rows are in: the output folder and the curve list,
// then every curve in run order. Every signal's name goes to the list; when
// the run writes curves, write(name, signal, path, refused) is called for
// each, and folderReady(folder) before each requested curve: false ends the
// walk there. Returns false when the base folder cannot be made.
template <typename Write, typename FolderReady>
bool walkCurves(const WaveformDataset& ds, int32_t signalCount, const std::string& waveformPath,
                std::string& baseFolder, const CurveRequestMap& requests, bool writesCurves,
                CurveListFile& curveList, Write write, FolderReady folderReady) {
    checkIndependentVariable(ds);
    if (baseFolder.empty()) baseFolder = baseNameOf(waveformPath);
    if (!createOutputFolder(baseFolder)) return false;
    curveList.open(joinPath(baseFolder, "wavtrex.curlist"));
    for (int32_t i = 0; i < signalCount; ++i) {
        const std::string name =
            wfxVariableName(&ds, static_cast<int64_t>(ds.firstSignalIndex) + i);
        curveList.addName(name);
        if (!writesCurves) continue;
        if (requests.empty()) {
            // Names come from the file: one that would lead out of the base
            // folder is refused like a name the file system does not allow.
            const std::string file = name + ".cur";
            write(name, i, joinPath(baseFolder, file), leavesFolder(file));
            continue;
        }
        const auto [first, last] = requests.equal_range(name);
        for (auto it = first; it != last; ++it) {
            const std::string folder = joinPath(baseFolder, it->second.subFolder);
            if (!folderReady(folder)) return true;
            write(name, i, joinPath(folder, it->second.curveFileName), false);
        }
    }
    return true;
}

// A run over a one-table post file whose rows stream through in pieces, so
// memory stays the same whatever the file's size. It writes what the run
// that holds all the rows writes, in the same order: a failed read ends
// before the first piece arrives, and every console line waits for its turn.
class StreamedRun {
  public:
    StreamedRun(WaveformDataset& ds, const std::string& waveformPath, std::string baseFolder,
                const CurveRequestMap& requests)
        : ds_(ds),
          waveformPath_(waveformPath),
          baseFolder_(std::move(baseFolder)),
          requests_(requests) {}

    bool run(const uint8_t* wanted) {
        int64_t columns = 1;
        for (int32_t i = 0; i < ds_.signalCount; ++i) columns += wanted == nullptr || wanted[i];
        if (ds_.analysisKind == kAnalysisAc) columns *= 2;
        auto sink = [](const WaveformValues* rows, void* context) {
            auto& run = *static_cast<StreamedRun*>(context);
            if (!run.started_ && !run.start()) return 0;
            run.curves_.append(*rows);
            return 1;
        };
        if (!wfxStreamSignals(&ds_, wanted, rowsPerPiece(columns), sink, this)) {
            reportReadFailure(ds_);
            return false;
        }
        if (!started_ && !start()) return false;
        if (!baseFolderMade_) return false;
        ExportedSignalSet exported;
        curves_.finish(exported);
        curveList_.close();
        return !subFolderFailed_ && reportMissingSignals(requests_, exported);
    }

  private:
    // The output folder, the curve list and every curve, once the first rows
    // are in. Returns false when the read can stop. A sub-folder that cannot
    // be made ends the run after the curves before it, without the
    // missing-signal report.
    bool start() {
        started_ = true;
        baseFolderMade_ = walkCurves(
            ds_, ds_.signalCount, waveformPath_, baseFolder_, requests_, true, curveList_,
            [&](const std::string& name, int32_t signal, const std::string& path, bool refused) {
                curves_.add(ds_, name, signal, path, refused);
            },
            [&](const std::string& folder) {
                if (makeOutputFolder(folder)) return true;
                curves_.addLine(stderr, cannotCreateLine(folder));
                subFolderFailed_ = true;
                return false;
            });
        return baseFolderMade_;
    }

    WaveformDataset& ds_;
    const std::string& waveformPath_;
    std::string baseFolder_;
    const CurveRequestMap& requests_;
    CurveListFile curveList_;
    CurveStream curves_;
    bool started_ = false;
    bool baseFolderMade_ = false;
    bool subFolderFailed_ = false;
};

}  // namespace

namespace {

// The signals a run reads: a run for requested curves stores only those it
// may write; a list-only run needs the read's verdict and none of its
// values. Empty for every signal.
std::vector<uint8_t> signalsToKeep(const WaveformDataset& ds, const CurveRequestMap& requests,
                                   bool listOnly) {
    const std::size_t signals = ds.signalCount > 0 ? static_cast<std::size_t>(ds.signalCount) : 0;
    std::vector<uint8_t> wanted;
    if (listOnly) {
        wanted.assign(signals, 0);
    } else if (!requests.empty()) {
        wanted.resize(signals);
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const auto record = static_cast<int64_t>(ds.firstSignalIndex) + static_cast<int64_t>(i);
            wanted[i] = requests.count(wfxVariableName(&ds, record)) > 0 ? 1 : 0;
        }
    }
    return wanted;
}

// Writes the curve list and the curves from values the read holds whole.
bool writeHeldRun(OpenedWaveform& waveform, const std::string& waveformPath,
                  std::string& baseFolder, const CurveRequestMap& requests, bool writesCurves) {
    WaveformDataset& ds = waveform.dataset();
    const WaveformValues& values = waveform.values();
    const int32_t signalCount =
        ds.signalCount < values.signalCount ? ds.signalCount : values.signalCount;
    CurveListFile curveList;
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
    bool folderFailed = false;
    const bool walked = walkCurves(
        ds, signalCount, waveformPath, baseFolder, requests, writesCurves, curveList,
        [&](const std::string& name, int32_t signal, const std::string& path, bool refused) {
            pool.write(ds, name, signal, samplesFor(signal), path, refused);
        },
        [&](const std::string& folder) {
            // A folder that cannot be made ends the run at once, without the
            // missing-signal report. Its message, if any, comes after those
            // of the curves before it.
            if (!isDirectory(folder)) pool.finishAll();
            folderFailed = !createOutputFolder(folder);
            return !folderFailed;
        });
    if (!walked || folderFailed) return false;
    pool.finishAll();
    waveform.close();
    curveList.close();
    return reportMissingSignals(requests, exported);
}

}  // namespace

bool extractCurves(const std::string& waveformPath, std::string baseFolder,
                   const CurveRequestMap& requests, bool listOnly, bool convertAll) {
    uint32_t status = 0;
    WaveformDataset* ds =
        wfxOpen(waveformPath.c_str(), WFX_DETECT_FORMAT, WFX_DETECT_MODE, &status);
    if (ds == nullptr) return false;
    OpenedWaveform waveform(ds);
    const std::vector<uint8_t> wanted = signalsToKeep(*ds, requests, listOnly);
    const bool writesCurves = !listOnly && (!requests.empty() || convertAll);
    if (writesCurves && wfxCanStream(ds)) {
        StreamedRun run(*ds, waveformPath, baseFolder, requests);
        return run.run(wanted.empty() ? nullptr : wanted.data());
    }
    if (!wfxReadSignals(ds, wanted.empty() ? nullptr : wanted.data(), &waveform.values())) {
        reportReadFailure(*ds);
        return false;
    }
    return writeHeldRun(waveform, waveformPath, baseFolder, requests, writesCurves);
}

bool reportMissingSignals(const CurveRequestMap& requests, const ExportedSignalSet& exported) {
    if (requests.size() <= exported.size()) return true;
    printLine(stderr, "The following requested signals are not exported:");
    for (const auto& [node, request] : requests) {
        if (exported.find(node) == exported.end()) printLine(stderr, node);
    }
    return false;
}
