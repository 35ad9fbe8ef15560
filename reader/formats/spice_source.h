// What the SPICE raw and CSDF dialect readers keep of a file beyond the
// dataset's fields: the simulator, the encoding and every plot, for
// wfxSourceFacts and wfxPlotFacts, and where each sweep's values lie.
#ifndef WAVTREX_READER_FORMATS_SPICE_SOURCE_H
#define WAVTREX_READER_FORMATS_SPICE_SOURCE_H

#include <cstdint>
#include <string>
#include <vector>

#include "../format_table.h"
#include "../wfx.h"

// How one variable's values are stored in a binary plot.
enum class ValueWidth : uint8_t { kFloat32, kFloat64, kComplex128 };

struct SourcePlot {
    std::string name;                        // Plotname, or the CSDF block's subtitle
    std::string flags;                       // the Flags line as written
    std::vector<std::string> variableNames;  // independent first
    std::vector<std::string> variableTypes;
    std::vector<ValueWidth> widths;                      // binary plots only
    std::vector<std::pair<std::string, double>> params;  // .param lines
    int64_t points = 0;                                  // as the header declares
    int64_t dataOffset = -1;                             // stream position of the first value
    bool binary = false;
    bool complex = false;
    bool fastAccess = false;                 // binary, variable after variable
    int32_t firstSweep = -1;                 // first sweep read from it, -1 when not read
    uint32_t analysis = WFX_ANALYSIS_UNSET;  // AnalysisKind, from its name and axis
};

// One sweep as the data reader finds it: points [first, first + count) of a plot.
struct SourceSweep {
    int32_t plot = 0;
    int64_t first = 0;
    int64_t count = 0;
    double parameter = 0.0;
};

// The simulators a file may name; simulatorName gives each its words.
enum class Simulator : uint8_t { kUnknown, kNgspice, kLtspice, kXyce, kQspice, kPspice };

// "ngspice", "LTspice", "Xyce", "QSPICE", "PSpice" or "unknown".
const char* simulatorName(Simulator simulator);

// The simulator a text names (any letter case), or kUnknown.
Simulator simulatorIn(const std::string& text);

struct SpiceSource {
    Simulator simulator = Simulator::kUnknown;
    std::string encoding;
    std::vector<SourcePlot> plots;
    std::vector<SourceSweep> sweeps;
    int32_t selected = 0;    // the plot read (wfxSelectPlot), with its sweeps
    bool timeAxis = false;   // the independent variable is time: its sign is dropped
    bool pointPlot = false;  // an operating point is read: every variable is a signal
    bool utf16 = false;
};

// Whether plot b is a sweep of plot a: the same variables, real or complex
// alike, of the same analysis (an operating point naming a transient's
// variables is none).
bool sameVariables(const SourcePlot& a, const SourcePlot& b);

// The first plot that is no operating point, or 0: the plot open selects.
int32_t defaultPlot(const SpiceSource& source);

// Empties what a selection made (the dataset's variables, the sweeps) and
// checks that plot exists; 1, or 0 after reporting Failure::kNoSuchPlot.
int startSelection(WaveformDataset* ds, SpiceSource& source, int32_t plot);

// Bits a plot's binary values hold: the StoredBits of both rows.
int sourceStoredBits(const WaveformDataset* ds, int which);

// The dataset's source facts, made on first use; NULL when out of memory.
SpiceSource* sourceOf(WaveformDataset* ds);
const SpiceSource* sourceOf(const WaveformDataset* ds);

// Frees the source facts: the release function of both formats.
void releaseSpiceSource(WaveformDataset* ds);

// Fills the dataset's variables and counts from the read sweeps of plot main:
// the independent variable and signals, and before them the sweep parameter
// named paramName when there is more than one sweep. An operating point
// plot gets a point number for independent variable and every variable as a
// signal. 1, or 0 out of memory.
int describeSweeps(WaveformDataset* ds, SpiceSource& source, int32_t main,
                   const std::string& paramName);

// Allocates out's arrays for every sweep of source: the axis and counts, the
// wanted signals' values (imaginary parts too when the plot is complex and
// out has their holder), and one sweep value each when there are several,
// filled from the sweeps' parameters. 1, or 0 out of memory.
// Instantiated for WaveformValues and WaveformValues64.
template <typename Values>
int allocateSweeps(WaveformDataset* ds, const SpiceSource& source, Values* out);

// The signal a plot's column v holds, or -1 for the independent variable.
inline int64_t signalOfColumn(const SpiceSource& source, size_t v) {
    return static_cast<int64_t>(v) - (source.pointPlot ? 0 : 1);
}

// The analysis kind a plot name or independent variable suggests.
uint32_t analysisOf(const std::string& plotName, const std::string& axisType, bool complex);

#endif  // WAVTREX_READER_FORMATS_SPICE_SOURCE_H
