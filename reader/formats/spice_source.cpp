// Source facts of the SPICE raw and CSDF dialect readers: see spice_source.h.
#include "spice_source.h"

#include <cstdlib>
#include <iterator>
#include <new>
#include <type_traits>

#include "../dataset_tables.h"
#include "../failure.h"

SpiceSource* sourceOf(WaveformDataset* ds) {
    if (ds->sourceFacts == nullptr) ds->sourceFacts = new (std::nothrow) SpiceSource;
    return static_cast<SpiceSource*>(ds->sourceFacts);
}

const SpiceSource* sourceOf(const WaveformDataset* ds) {
    return static_cast<const SpiceSource*>(ds->sourceFacts);
}

void releaseSpiceSource(WaveformDataset* ds) {
    delete static_cast<SpiceSource*>(ds->sourceFacts);
    ds->sourceFacts = nullptr;
}

namespace {

bool contains(const std::string& text, const char* word) {
    return text.find(word) != std::string::npos;
}

// Voltages and currents get the type codes the other readers give them.
uint32_t typeCodeOf(const std::string& type, const std::string& name) {
    const char first = name.empty() ? '\0' : name[0];
    if (type == "voltage" || (type.empty() && (first == 'V' || first == 'v'))) return kTypeVoltage;
    if (type == "current" || (type.empty() && (first == 'I' || first == 'i'))) return kTypeCurrent;
    return kTypeOther;
}

constexpr const char* kSimulatorNames[] = {"unknown", "ngspice", "LTspice",
                                           "Xyce",    "QSPICE",  "PSpice"};

std::string lowerCase(const std::string& text) {
    std::string lower;
    for (char c : text) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return lower;
}

}  // namespace

const char* simulatorName(Simulator simulator) {
    return kSimulatorNames[static_cast<size_t>(simulator)];
}

Simulator simulatorIn(const std::string& text) {
    const std::string lower = lowerCase(text);
    for (size_t s = 1; s < std::size(kSimulatorNames); ++s) {
        if (contains(lower, lowerCase(kSimulatorNames[s]).c_str()))
            return static_cast<Simulator>(s);
    }
    return Simulator::kUnknown;
}

bool sameVariables(const SourcePlot& a, const SourcePlot& b) {
    return a.analysis == b.analysis && a.complex == b.complex && a.variableNames == b.variableNames;
}

int32_t defaultPlot(const SpiceSource& source) {
    for (size_t p = 0; p < source.plots.size(); ++p) {
        if (source.plots[p].analysis != kAnalysisOperatingPoint) return static_cast<int32_t>(p);
    }
    return 0;
}

int startSelection(WaveformDataset* ds, SpiceSource& source, int32_t plot) {
    if (plot < 0 || static_cast<size_t>(plot) >= source.plots.size())
        return reportFailure(ds, Failure::kNoSuchPlot, nullptr, plot);
    // Until the plot is described, the dataset describes none: reads fail.
    clearVariables(ds);
    ds->signalCount = 0;
    ds->sweepCount = 0;
    source.sweeps.clear();
    for (SourcePlot& p : source.plots) p.firstSweep = -1;
    source.selected = plot;
    return 1;
}

int sourceStoredBits(const WaveformDataset* ds, int which) {
    const SpiceSource* source = sourceOf(ds);
    if (source == nullptr || source->plots.empty()) return 32;
    const SourcePlot& plot = source->plots[static_cast<size_t>(source->selected)];
    if (!plot.binary) return 64;
    const size_t column = which == 1 || plot.widths.size() < 2 ? 0 : 1;
    if (column >= plot.widths.size()) return 64;
    return plot.widths[column] == ValueWidth::kFloat32 ? 32 : 64;
}

uint32_t analysisOf(const std::string& plotName, const std::string& axisType, bool complex) {
    // Xyce names its operating points' first variable as the plot after them.
    if (contains(plotName, "Operating") || plotName == "OP") return kAnalysisOperatingPoint;
    // Only an AC read gets imaginary parts, so complex values decide.
    if (complex || axisType == "frequency") return kAnalysisAc;
    if (axisType == "time") return kAnalysisTransient;
    if (plotName.starts_with("Tran") || plotName.starts_with("TR")) return kAnalysisTransient;
    if (plotName.starts_with("AC")) return kAnalysisAc;
    if (plotName.starts_with("DC") || axisType == "voltage" || axisType == "current") {
        return kAnalysisDc;
    }
    return WFX_ANALYSIS_UNSET;
}

int describeSweeps(WaveformDataset* ds, SpiceSource& source, int32_t main,
                   const std::string& paramName) {
    const SourcePlot& plot = source.plots[static_cast<size_t>(main)];
    const bool swept = source.sweeps.size() > 1;
    source.pointPlot = plot.analysis == kAnalysisOperatingPoint;
    const size_t firstSignal = source.pointPlot ? 0 : 1;
    ds->analysisKind = plot.analysis;
    ds->signalCount = static_cast<int32_t>(plot.variableNames.size() - firstSignal);
    ds->sweepCount = static_cast<int32_t>(source.sweeps.size());
    ds->firstSignalIndex = swept ? 2 : 1;
    ds->sweepParamCount = swept ? 1 : 0;
    if (swept && addVariable(ds, paramName.c_str(), 0, kKindReal) < 0) return 0;
    const uint32_t axisCode = ds->analysisKind <= kAnalysisOperatingPoint ? ds->analysisKind : 0;
    const char* axisName = source.pointPlot ? "point" : plot.variableNames[0].c_str();
    if (addVariable(ds, axisName, axisCode, kKindReal) < 0) return 0;
    for (size_t v = firstSignal; v < plot.variableNames.size(); ++v) {
        const std::string& name = plot.variableNames[v];
        const std::string type = v < plot.variableTypes.size() ? plot.variableTypes[v] : "";
        const uint32_t kind = plot.complex ? kKindComplex : kKindReal;
        if (addVariable(ds, name.c_str(), typeCodeOf(type, name), kind) < 0) return 0;
    }
    for (size_t s = 0; s < source.sweeps.size(); ++s) {
        SourcePlot& read = source.plots[static_cast<size_t>(source.sweeps[s].plot)];
        if (read.firstSweep < 0) read.firstSweep = static_cast<int32_t>(s);
    }
    return 1;
}

namespace {

template <typename T>
T* allocZeroed(size_t count) {
    return static_cast<T*>(std::calloc(count > 0 ? count : 1, sizeof(T)));
}

// Value arrays are written in full by the readers: zeroing them first would
// cost as much as a second pass over the output.
template <typename T>
T* allocValues(size_t count) {
    return static_cast<T*>(std::malloc((count > 0 ? count : 1) * sizeof(T)));
}

}  // namespace

template <typename Values>
int allocateSweeps(WaveformDataset* ds, const SpiceSource& source, Values* out) {
    using Value = ValueOf<Values>;
    const size_t sweeps = source.sweeps.size();
    const SourcePlot& main = source.plots[static_cast<size_t>(source.sweeps[0].plot)];
    const bool imaginary = out->imag != nullptr && main.complex;
    out->axis[0] = allocZeroed<Value*>(sweeps);
    out->counts[0] = allocZeroed<uint32_t>(sweeps);
    if (out->axis[0] == nullptr || out->counts[0] == nullptr) return 0;
    for (size_t s = 0; s < sweeps; ++s) {
        const auto count = static_cast<size_t>(source.sweeps[s].count);
        out->counts[0][s] = static_cast<uint32_t>(count);
        out->axis[0][s] = allocValues<Value>(count);
        if (out->axis[0][s] == nullptr) return 0;
    }
    for (size_t i = 0; i < static_cast<size_t>(out->signalCount); ++i) {
        if (ds->wantedSignals != nullptr && ds->wantedSignals[i] == 0) continue;
        out->real[i] = allocZeroed<Value*>(sweeps);
        if (out->real[i] == nullptr) return 0;
        if (imaginary && (out->imag[i] = allocZeroed<Value*>(sweeps)) == nullptr) return 0;
        for (size_t s = 0; s < sweeps; ++s) {
            const auto count = static_cast<size_t>(source.sweeps[s].count);
            if ((out->real[i][s] = allocValues<Value>(count)) == nullptr) return 0;
            if (imaginary && (out->imag[i][s] = allocValues<Value>(count)) == nullptr) return 0;
        }
    }
    if (ds->sweepParamCount > 0) {
        out->sweepValues = allocZeroed<Value*>(sweeps);
        if (out->sweepValues == nullptr) return 0;
        for (size_t s = 0; s < sweeps; ++s) {
            if ((out->sweepValues[s] = allocZeroed<Value>(1)) == nullptr) return 0;
            out->sweepValues[s][0] = static_cast<Value>(source.sweeps[s].parameter);
        }
    }
    return 1;
}

template int allocateSweeps(WaveformDataset*, const SpiceSource&, WaveformValues*);
template int allocateSweeps(WaveformDataset*, const SpiceSource&, WaveformValues64*);

int wfxSourceFacts(const WaveformDataset* ds, WfxSourceFacts* facts) {
    if (ds == nullptr || facts == nullptr || ds->sourceFacts == nullptr) return 0;
    const SpiceSource& source = *sourceOf(ds);
    facts->simulator = simulatorName(source.simulator);
    facts->encoding = source.encoding.c_str();
    facts->flags = "";
    if (!source.plots.empty())
        facts->flags = source.plots[static_cast<size_t>(source.selected)].flags.c_str();
    facts->plotCount = static_cast<int32_t>(source.plots.size());
    return 1;
}

int wfxPlotFacts(const WaveformDataset* ds, int32_t plot, WfxPlotFacts* facts) {
    if (ds == nullptr || facts == nullptr || ds->sourceFacts == nullptr || plot < 0) return 0;
    const SpiceSource& source = *sourceOf(ds);
    if (static_cast<size_t>(plot) >= source.plots.size()) return 0;
    const SourcePlot& p = source.plots[static_cast<size_t>(plot)];
    facts->name = p.name.c_str();
    facts->flags = p.flags.c_str();
    facts->variableCount = static_cast<int32_t>(p.variableNames.size());
    facts->pointCount = p.points;
    facts->firstSweep = p.firstSweep;
    facts->analysisKind = p.analysis;
    return 1;
}
