// Source facts of the SPICE raw and CSDF dialect readers: see spice_source.h.
#include "spice_source.h"

#include <cstdlib>
#include <new>

#include "../dataset_tables.h"

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
    if (type == "voltage" || (type.empty() && (name[0] == 'V' || name[0] == 'v'))) return 1;
    if (type == "current" || (type.empty() && (name[0] == 'I' || name[0] == 'i'))) return 8;
    return 78;
}

}  // namespace

uint32_t analysisOf(const std::string& plotName, const std::string& axisType, bool complex) {
    // Only an AC read gets imaginary parts, so complex values decide.
    if (complex || axisType == "frequency") return kAnalysisAc;
    if (axisType == "time") return kAnalysisTransient;
    if (contains(plotName, "Operating") || plotName == "OP") return kAnalysisOperatingPoint;
    if (plotName.starts_with("Tran") || plotName.starts_with("TR")) return kAnalysisTransient;
    if (plotName.starts_with("AC")) return kAnalysisAc;
    if (plotName.starts_with("DC") || axisType == "voltage" || axisType == "current") {
        return kAnalysisDc;
    }
    return 0xFFFFFFFFu;
}

int describeSweeps(WaveformDataset* ds, const SpiceSource& source, int32_t main,
                   const std::string& paramName) {
    const SourcePlot& plot = source.plots[static_cast<size_t>(main)];
    const bool swept = source.sweeps.size() > 1;
    const std::string axisType = plot.variableTypes.empty() ? "" : plot.variableTypes[0];
    ds->analysisKind = analysisOf(plot.name, axisType, plot.complex);
    ds->signalCount = static_cast<int32_t>(plot.variableNames.size()) - 1;
    ds->sweepCount = static_cast<int32_t>(source.sweeps.size());
    ds->firstSignalIndex = swept ? 2 : 1;
    ds->sweepParamCount = swept ? 1 : 0;
    if (swept && addVariable(ds, paramName.c_str(), 0, kKindReal) < 0) return 0;
    const uint32_t axisCode = ds->analysisKind <= kAnalysisOperatingPoint ? ds->analysisKind : 0;
    if (addVariable(ds, plot.variableNames[0].c_str(), axisCode, kKindReal) < 0) return 0;
    for (size_t v = 1; v < plot.variableNames.size(); ++v) {
        const std::string& name = plot.variableNames[v];
        const std::string type = v < plot.variableTypes.size() ? plot.variableTypes[v] : "";
        const uint32_t kind = plot.complex ? kKindComplex : kKindReal;
        if (addVariable(ds, name.c_str(), typeCodeOf(type, name), kind) < 0) return 0;
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
float* allocValues(size_t count) {
    return static_cast<float*>(std::malloc((count > 0 ? count : 1) * sizeof(float)));
}

}  // namespace

int allocateSweeps(WaveformDataset* ds, const SpiceSource& source, WaveformValues* out) {
    const size_t sweeps = source.sweeps.size();
    const SourcePlot& main = source.plots[static_cast<size_t>(source.sweeps[0].plot)];
    const bool imaginary = out->imag != nullptr && main.complex;
    out->axis[0] = allocZeroed<float*>(sweeps);
    out->counts[0] = allocZeroed<uint32_t>(sweeps);
    if (out->axis[0] == nullptr || out->counts[0] == nullptr) return 0;
    for (size_t s = 0; s < sweeps; ++s) {
        const auto count = static_cast<size_t>(source.sweeps[s].count);
        out->counts[0][s] = static_cast<uint32_t>(count);
        out->axis[0][s] = allocValues(count);
        if (out->axis[0][s] == nullptr) return 0;
    }
    for (size_t i = 0; i < static_cast<size_t>(out->signalCount); ++i) {
        if (ds->wantedSignals != nullptr && ds->wantedSignals[i] == 0) continue;
        out->real[i] = allocZeroed<float*>(sweeps);
        if (out->real[i] == nullptr) return 0;
        if (imaginary && (out->imag[i] = allocZeroed<float*>(sweeps)) == nullptr) return 0;
        for (size_t s = 0; s < sweeps; ++s) {
            const auto count = static_cast<size_t>(source.sweeps[s].count);
            if ((out->real[i][s] = allocValues(count)) == nullptr) return 0;
            if (imaginary && (out->imag[i][s] = allocValues(count)) == nullptr) return 0;
        }
    }
    if (ds->sweepParamCount > 0) {
        out->sweepValues = allocZeroed<float*>(sweeps);
        if (out->sweepValues == nullptr) return 0;
        for (size_t s = 0; s < sweeps; ++s) {
            if ((out->sweepValues[s] = allocZeroed<float>(1)) == nullptr) return 0;
            out->sweepValues[s][0] = static_cast<float>(source.sweeps[s].parameter);
        }
    }
    return 1;
}

int wfxSourceFacts(const WaveformDataset* ds, WfxSourceFacts* facts) {
    if (ds == nullptr || facts == nullptr || ds->sourceFacts == nullptr) return 0;
    const SpiceSource& source = *sourceOf(ds);
    facts->simulator = source.simulator.c_str();
    facts->encoding = source.encoding.c_str();
    facts->flags = "";
    for (const SourcePlot& plot : source.plots) {
        if (plot.firstSweep == 0) facts->flags = plot.flags.c_str();
    }
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
    return 1;
}
