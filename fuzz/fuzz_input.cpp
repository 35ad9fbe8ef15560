#include "fuzz_input.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "wfx.h"

namespace fuzzing {
namespace {

namespace fs = std::filesystem;

// Each input goes to a folder of this process's own, in memory under
// /dev/shm when there is one (no disk traffic per input); removed at exit.
std::string writeInput(const uint8_t* data, size_t size) {
    static const writers::ScratchDir scratch(
        fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path());
    const bool gzip = size >= 2 && data[0] == 0x1f && data[1] == 0x8b;
    const std::string path = (scratch / (gzip ? "input.gz" : "input.w")).string();
    // Throws, and so ends the run, when it cannot.
    writers::writeBytes(path, std::string(reinterpret_cast<const char*>(data), size), false);
    return path;
}

// The float and the double read hold their counts alike.
template <typename Values>
uint32_t countAt(const Values& v, int32_t h, int32_t s) {
    return v.counts != nullptr && v.counts[h] != nullptr ? v.counts[h][s] : 0;
}
float* const* row(float*** arrays, int32_t i) {
    return arrays != nullptr ? arrays[i] : nullptr;
}
const float* arrayAt(float*** arrays, int32_t i, int32_t s) {
    float* const* r = row(arrays, i);
    return r != nullptr ? r[s] : nullptr;
}
bool complexAt(const WaveformDataset* ds, int32_t i) {
    const int64_t record = static_cast<int64_t>(ds->firstSignalIndex) + i;
    return record < ds->variableCount && ds->variables[record].kind == kKindComplex;
}
// The n floats of arrays[i][s], or "-" when there is no such array.
std::string floats(float*** arrays, int32_t i, int32_t s, uint32_t n) {
    const float* a = arrayAt(arrays, i, s);
    return a != nullptr ? std::string(reinterpret_cast<const char*>(a), n * sizeof(float)) : "-";
}

// True when `some`, read for the wanted signals only, holds exactly what
// `all` holds for them (bit for bit, as far as the counts go) and nothing for
// the others; shared times are always kept. Imaginary parts are compared for
// complex signals only: the others' stay unfilled. Comparing reads every
// value a count claims, so one that runs past its array shows up under
// AddressSanitizer.
bool sameSignals(const WaveformDataset* ds, const WaveformValues& all, const WaveformValues& some,
                 const std::vector<uint8_t>& wanted) {
    if (some.signalCount != all.signalCount || some.holderCount != all.holderCount ||
        some.sweepCount != all.sweepCount) {
        return false;
    }
    const auto params = static_cast<size_t>(ds->sweepParamCount > 0 ? ds->sweepParamCount : 0);
    for (int32_t s = 0; all.sweepValues != nullptr && s < all.sweepCount; ++s) {
        const float *a = all.sweepValues[s], *b = some.sweepValues ? some.sweepValues[s] : nullptr;
        if (a == nullptr || b == nullptr ? a != b : std::memcmp(a, b, params * sizeof(float)) != 0)
            return false;
    }
    for (int32_t i = 0; i < all.signalCount; ++i) {
        const int32_t h = all.holderCount == 1 ? 0 : i;  // the holder of i's times and counts
        if (h >= all.holderCount) continue;
        const bool kept = wanted[static_cast<size_t>(i)] != 0;
        const bool timesKept = all.holderCount == 1 || kept;
        const bool complex = complexAt(ds, i);
        if ((!kept && (row(some.real, i) != nullptr || row(some.imag, i) != nullptr)) ||
            (!timesKept && (row(some.axis, h) != nullptr ||
                            (some.counts != nullptr && some.counts[h] != nullptr)))) {
            return false;
        }
        for (int32_t s = 0; s < all.sweepCount; ++s) {
            const uint32_t n = countAt(all, h, s);
            if ((timesKept && (countAt(some, h, s) != n ||
                               floats(all.axis, h, s, n) != floats(some.axis, h, s, n))) ||
                (kept && floats(all.real, i, s, n) != floats(some.real, i, s, n)) ||
                (kept && complex && floats(all.imag, i, s, n) != floats(some.imag, i, s, n))) {
                return false;
            }
        }
    }
    return true;
}

// The rows a streamed read hands over, joined again column by column: the
// times, then every signal's values and, when complex, imaginary parts.
struct Joined {
    const WaveformDataset* ds;
    std::vector<std::vector<float>> columns;
};

int joinRows(const WaveformValues* rows, void* context) {
    auto& joined = *static_cast<Joined*>(context);
    const uint32_t n = rows->counts[0][0];
    if (n == 0 || n > 3) std::abort();
    joined.columns.resize(1 + 2 * static_cast<size_t>(rows->signalCount));
    auto add = [&](size_t c, const float* from) {
        if (from != nullptr) joined.columns[c].insert(joined.columns[c].end(), from, from + n);
    };
    add(0, arrayAt(rows->axis, 0, 0));
    for (int32_t i = 0; i < rows->signalCount; ++i) {
        add(1 + 2 * static_cast<size_t>(i), arrayAt(rows->real, i, 0));
        if (complexAt(joined.ds, i)) add(2 + 2 * static_cast<size_t>(i), arrayAt(rows->imag, i, 0));
    }
    return 1;
}

// True when a streamed read of ds, three rows a piece, gives the rows of all.
bool sameStreamed(WaveformDataset* ds, const WaveformValues& all) {
    Joined joined{ds, {}};
    if (wfxStreamSignals(ds, nullptr, 3, joinRows, &joined) == 0) return false;
    const uint32_t n = countAt(all, 0, 0);
    auto same = [&](size_t c, const float* expected) {
        if (expected == nullptr || n == 0)
            return c >= joined.columns.size() || joined.columns[c].empty();
        return c < joined.columns.size() && joined.columns[c].size() == n &&
               std::memcmp(joined.columns[c].data(), expected, n * sizeof(float)) == 0;
    };
    bool ok = same(0, arrayAt(all.axis, 0, 0));
    for (int32_t i = 0; i < all.signalCount; ++i) {
        ok = ok && same(1 + 2 * static_cast<size_t>(i), arrayAt(all.real, i, 0)) &&
             (!complexAt(ds, i) || same(2 + 2 * static_cast<size_t>(i), arrayAt(all.imag, i, 0)));
    }
    return ok;
}

// True when arrays f[i][s] hold d[i][s] narrowed, bit for bit, for n values;
// a NaN only as a NaN, since widening a stored signalling NaN quiets it.
bool narrowed(float*** f, double*** d, int32_t i, int32_t s, uint32_t n) {
    const float* a = arrayAt(f, i, s);
    const double* b = d != nullptr && d[i] != nullptr ? d[i][s] : nullptr;
    if (a == nullptr || b == nullptr) return a == nullptr && b == nullptr;
    for (uint32_t k = 0; k < n; ++k) {
        const float x = static_cast<float>(b[k]);
        if (std::isnan(x) && std::isnan(a[k])) continue;
        if (std::memcmp(&x, &a[k], sizeof x) != 0) return false;
    }
    return true;
}

// True when a read into doubles gives the float read's values, each one the
// double narrowed, with the same counts.
bool sameAsDoubles(WaveformDataset* ds, const WaveformValues& all) {
    WaveformValues64 wide{};
    if (wfxReadSignals64(ds, nullptr, &wide) == 0) return false;
    const int bits = wfxStoredBits(ds, 0) + wfxStoredBits(ds, 1);
    bool ok = wide.signalCount == all.signalCount && wide.holderCount == all.holderCount &&
              wide.sweepCount == all.sweepCount && bits >= 64 && bits <= 128;
    for (int32_t h = 0; ok && h < all.holderCount; ++h) {
        for (int32_t s = 0; ok && s < all.sweepCount; ++s) {
            const uint32_t n = countAt(all, h, s);
            ok = countAt(wide, h, s) == n && narrowed(all.axis, wide.axis, h, s, n);
        }
    }
    for (int32_t i = 0; ok && i < all.signalCount; ++i) {
        const int32_t h = all.holderCount == 1 ? 0 : i;
        for (int32_t s = 0; ok && s < all.sweepCount; ++s) {
            const uint32_t n = countAt(all, h, s);
            ok = narrowed(all.real, wide.real, i, s, n) &&
                 (!complexAt(ds, i) || narrowed(all.imag, wide.imag, i, s, n));
        }
    }
    wfxReleaseValues64(&wide);
    return ok;
}

// Selects each plot of a file that has plots, and reads it both ways.
void selectEveryPlot(WaveformDataset* ds) {
    WfxSourceFacts facts{};
    const int32_t plots = wfxSourceFacts(ds, &facts) != 0 ? facts.plotCount : 0;
    if (wfxSelectPlot(ds, plots) != 0 || wfxLastReason()[0] == '\0') std::abort();
    for (int32_t p = 0; p < plots && p < 4; ++p) {
        if (wfxSelectPlot(ds, p) == 0) {
            if (wfxLastReason()[0] == '\0') std::abort();
            continue;
        }
        WaveformValues all{};
        if (wfxRead(ds, &all) != 0 && !sameAsDoubles(ds, all)) std::abort();
        wfxReleaseValues(&all);
    }
}

}  // namespace

void runReader(const uint8_t* data, size_t size, uint32_t format, uint8_t mode) {
    if (size > (1u << 20)) return;  // large inputs add run time, not coverage
    const std::string path = writeInput(data, size);
    uint32_t status = 0;
    WaveformDataset* ds = wfxOpen(path.c_str(), format, mode, &status);
    // A refusal always has a reason: the message, or where the format
    // description keeps the message silent, the library's own words.
    if (ds == nullptr) {
        if (status == kOpenOk || wfxLastReason()[0] == '\0') std::abort();
        return;
    }
    size_t nameLengths = 0;  // touches every name the tables hold
    for (int32_t i = 0; i < ds->variableCount; ++i) {
        nameLengths += std::strlen(wfxName(ds, ds->variables[i].nameOffset));
    }
    for (int32_t i = 0; i < ds->typeCount; ++i) {
        nameLengths += std::strlen(wfxName(ds, ds->types[i].nameOffset));
    }
    volatile size_t names = nameLengths;
    (void)names;
    // A short file lowers sweepCount during a read, and the tagged record
    // reader's running time carries over from one read to the next; every
    // read starts from the state the header left.
    const int32_t headerSweeps = ds->sweepCount;
    const double startTime = ds->runningValue;
    WaveformValues all{};
    if (wfxRead(ds, &all) != 0) {
        // Reads of the odd and of the even signals compare every value.
        for (size_t odd : {1, 0}) {
            ds->sweepCount = headerSweeps;
            ds->runningValue = startTime;
            std::vector<uint8_t> wanted(static_cast<size_t>(all.signalCount));
            for (size_t i = 0; i < wanted.size(); ++i) wanted[i] = i % 2 == odd;
            WaveformValues some{};
            if (wfxReadSignals(ds, wanted.data(), &some) == 0 ||
                !sameSignals(ds, all, some, wanted)) {
                std::abort();
            }
            wfxReleaseValues(&some);
        }
        ds->sweepCount = headerSweeps;
        if (wfxCanStream(ds) && !sameStreamed(ds, all)) std::abort();
        ds->sweepCount = headerSweeps;
        ds->runningValue = startTime;
        if (!sameAsDoubles(ds, all)) std::abort();
        wfxReleaseValues(&all);
    } else if (wfxLastReason()[0] == '\0') {
        std::abort();
    }
    selectEveryPlot(ds);
    wfxClose(ds);
}

}  // namespace fuzzing
