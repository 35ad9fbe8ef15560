// Reads into doubles (wfxReadSignals64), the stored precision and the plot
// selection: the core's calls for values as the file holds them.
//
// A row with a double reader fills the double holders itself; the others
// store floats, which are read as wfxReadSignals reads them and widened one
// array at a time.
#include <cstdlib>
#include <cstring>

#include "failure.h"
#include "format_table.h"
#include "value_holders.h"
#include "wfx.h"

namespace {

template <typename T>
T* allocEntries(int32_t count) {
    const size_t n = count > 0 ? static_cast<size_t>(count) : 1;
    return static_cast<T*>(std::calloc(n, sizeof(T)));
}

// The holder tables of a read in the row's shape, as wfxRead makes them.
int allocateTables(WaveformDataset* ds, const FormatEntry& format, WaveformValues64* out) {
    const int32_t signals = ds->signalCount > 0 ? ds->signalCount : 0;
    out->signalCount = signals;
    out->holderCount = format.shape == ValueShape::kAxisPerSignal ? signals : 1;
    out->sweepSlots = ds->sweepCount > 0 ? ds->sweepCount : 0;
    out->sweepCount = out->sweepSlots;
    out->real = allocEntries<double**>(signals);
    out->axis = allocEntries<double**>(out->holderCount);
    out->counts = allocEntries<uint32_t*>(out->holderCount);
    if (out->real == nullptr || out->axis == nullptr || out->counts == nullptr) return 0;
    if (format.imaginaryParts && ds->analysisKind == kAnalysisAc) {
        out->imag = allocEntries<double**>(signals);
        if (out->imag == nullptr) return 0;
    }
    return 1;
}

int readNative(WaveformDataset* ds, const FormatEntry& format, WaveformValues64* out) {
    ds->readEnding = kEndingComplete;
    ds->missingValues = 0;
    if (!allocateTables(ds, format, out)) {
        wfxReleaseValues64(out);
        return reportFailure(ds, Failure::kOutOfMemoryHolders);
    }
    if (!format.data64(ds, out, format)) {
        wfxReleaseValues64(out);
        return 0;
    }
    out->sweepCount = ds->sweepCount;
    return 1;
}

// Entry i of a float holder set as doubles, sweep by sweep, each float
// array freed once copied; counts[s] values each. NULL when out of memory.
double** widenEntry(float** from, const uint32_t* counts, int32_t sweeps, int32_t slots) {
    auto** into = allocEntries<double*>(slots);
    for (int32_t s = 0; into != nullptr && s < slots; ++s) {
        if (from[s] == nullptr || s >= sweeps) continue;
        const uint32_t n = counts != nullptr ? counts[s] : 0;
        into[s] = static_cast<double*>(std::malloc((n > 0 ? n : 1) * sizeof(double)));
        if (into[s] == nullptr) {
            for (int32_t k = 0; k < s; ++k) std::free(into[k]);
            std::free(into);
            return nullptr;
        }
        for (uint32_t k = 0; k < n; ++k) into[s][k] = from[s][k];
        std::free(from[s]);
        from[s] = nullptr;
    }
    return into;
}

// Moves a float read into double holders.
int widenValues(WaveformValues* from, WaveformValues64* out, int32_t sweepParams) {
    *out = {nullptr,           nullptr,           nullptr,          from->counts,    nullptr,
            from->signalCount, from->holderCount, from->sweepSlots, from->sweepCount};
    from->counts = nullptr;
    out->real = allocEntries<double**>(from->signalCount);
    out->axis = allocEntries<double**>(from->holderCount);
    if (from->imag != nullptr) out->imag = allocEntries<double**>(from->signalCount);
    if (out->real == nullptr || out->axis == nullptr || (from->imag && out->imag == nullptr))
        return 0;
    const int32_t slots = from->sweepSlots;
    const int32_t sweeps = from->sweepCount;
    for (int32_t h = 0; h < from->holderCount; ++h) {
        if (from->axis[h] == nullptr) continue;
        out->axis[h] = widenEntry(from->axis[h], out->counts[h], sweeps, slots);
        if (out->axis[h] == nullptr) return 0;
    }
    for (int32_t i = 0; i < from->signalCount; ++i) {
        const uint32_t* counts = out->counts[from->holderCount > 1 ? i : 0];
        if (from->real[i] != nullptr &&
            (out->real[i] = widenEntry(from->real[i], counts, sweeps, slots)) == nullptr)
            return 0;
        if (from->imag != nullptr && from->imag[i] != nullptr &&
            (out->imag[i] = widenEntry(from->imag[i], counts, sweeps, slots)) == nullptr)
            return 0;
    }
    if (from->sweepValues == nullptr) return 1;
    const uint32_t params = sweepParams > 0 ? static_cast<uint32_t>(sweepParams) : 0;
    const uint32_t perSweep[] = {params};
    out->sweepValues = allocEntries<double*>(slots);
    for (int32_t s = 0; out->sweepValues != nullptr && s < slots; ++s) {
        auto* one = &from->sweepValues[s];
        if (*one == nullptr) continue;
        double** widened = widenEntry(one, perSweep, 1, 1);
        if (widened == nullptr) return 0;
        out->sweepValues[s] = widened[0];
        std::free(widened);
    }
    return out->sweepValues != nullptr;
}

int readWidened(WaveformDataset* ds, const uint8_t* wanted, WaveformValues64* out) {
    WaveformValues floats;
    if (!wfxReadSignals(ds, wanted, &floats)) return 0;
    const int ok = widenValues(&floats, out, ds->sweepParamCount);
    wfxReleaseValues(&floats);
    if (ok) return 1;
    wfxReleaseValues64(out);
    return reportFailure(ds, Failure::kOutOfMemoryHolders);
}

}  // namespace

int wfxReadSignals64(WaveformDataset* ds, const uint8_t* wanted, WaveformValues64* out) {
    if (ds == nullptr || out == nullptr) return reportFailure(nullptr, Failure::kNullDataset);
    std::memset(out, 0, sizeof *out);
    const FormatEntry* format = findFormat(ds->dataFormat);
    if (format == nullptr || format->data64 == nullptr) return readWidened(ds, wanted, out);
    ds->wantedSignals = wanted;
    const int ok = readNative(ds, *format, out);
    ds->wantedSignals = nullptr;
    if (!ok || wanted == nullptr) return ok;
    for (int32_t i = 0; i < out->signalCount; ++i) {
        if (wanted[i] != 0) continue;
        releaseEntry(out->real, i, out->sweepSlots);
        releaseEntry(out->imag, i, out->sweepSlots);
    }
    return 1;
}

void wfxReleaseValues64(WaveformValues64* values) {
    releaseHolders(values);
}

int wfxStoredBits(const WaveformDataset* ds, int which) {
    if (ds == nullptr) return 0;
    const FormatEntry* format = findFormat(ds->dataFormat);
    // Without a double reader the values come as floats, whatever the file holds.
    if (format == nullptr || format->data64 == nullptr) return 32;
    if (format->storedBits != nullptr) return format->storedBits(ds, which);
    if ((ds->fileMode & kModeText) != 0) return 64;
    return which == 1 ? format->axisBits : format->valueBits;
}

int wfxSelectPlot(WaveformDataset* ds, int32_t plot) {
    if (ds == nullptr) return reportFailure(nullptr, Failure::kNullDataset);
    const FormatEntry* format = findFormat(ds->dataFormat);
    if (format == nullptr || format->selectPlot == nullptr)
        return reportFailure(ds, Failure::kNoSuchPlot, nullptr, plot);
    return format->selectPlot(ds, plot);
}
