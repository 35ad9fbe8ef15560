// The files the viewer was started with, each a run: headers at open, a
// signal's values read (selectively) when first asked for and kept as
// float32 values over float64 times.
#ifndef WAVTREX_VIEW_STORE_H
#define WAVTREX_VIEW_STORE_H

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "envelope.h"
#include "wfx.h"

namespace view {

// What of a signal is shown: its values, or a part of a complex (AC) one.
enum class Part { value, db, degrees, real, imaginary };
bool partFromName(const std::string& name, Part& part);

struct Signal {
    std::string name;
    std::string unit;  // "V", "A" or ""
    bool complex = false;
};

// The values of one signal (or part) in every sweep, with their pyramids.
struct Curves {
    std::vector<Series> sweeps;
    std::vector<std::unique_ptr<Pyramid>> pyramids;  // built on first use
    const Pyramid& pyramid(size_t sweep);
};

class Run {
  public:
    // plot >= 0 reads that plot of a SPICE raw or CSDF file of several.
    explicit Run(std::string path, int plot = -1) : path_(std::move(path)), plot_(plot) {}
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // (Re)opens the headers, forgetting every value read; false keeps the
    // reader's reason in reason().
    bool open();
    // Plots of an open SPICE raw or CSDF file, else 0.
    int plotCount() const;
    // True when the file (or folder) changed since it was opened.
    bool changed() const;
    // The curves of a signal, read on first use; nullptr with a reason.
    Curves* curves(int signal, Part part, std::string& reason);
    // The run's description as a JSON object.
    std::string describe(int index) const;

    const std::vector<Signal>& signals() const { return signals_; }
    const std::string& path() const { return path_; }
    std::mutex lock;  // one request at a time works on a run

  private:
    bool openFolder();
    bool selectPlot();
    bool readSignal(int signal, Part part, Curves& out);
    template <typename Values>
    bool readAs(int signal, Part part, Curves& out);
    bool readCurveFile(int signal, Curves& out);
    std::string stamp() const;

    std::string path_, reason_, format_, analysis_, axisName_, axisUnit_, stamp_, plotName_;
    int plot_ = -1;
    WaveformDataset* ds_ = nullptr;
    bool folder_ = false, stepped_ = false;
    uint32_t ending_ = kEndingComplete;
    int generation_ = 0;
    std::vector<Signal> signals_;
    std::vector<std::string> curveFiles_;  // folder: one per signal
    std::vector<std::string> sweepNames_, sweepLabels_;
    std::vector<std::shared_ptr<const std::vector<double>>> sharedTimes_;  // per sweep
    std::map<std::pair<int, Part>, Curves> curves_;
};

// JSON text of a string, with its quotes.
std::string jsonString(const std::string& text);
// JSON text of a number: shortest round-trip form, null for NaN and infinities.
std::string jsonNumber(double value);
std::string jsonNumber(float value);

}  // namespace view

#endif  // WAVTREX_VIEW_STORE_H
