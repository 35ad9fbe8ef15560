#include "fuzz_input.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "wfx.h"

namespace fuzzing {
namespace {

// A folder of this process's own under /dev/shm when there is one (no disk
// traffic per input), else under the system temp folder; removed at exit.
struct ScratchFile {
    std::filesystem::path folder;

    ScratchFile() {
        std::error_code error;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, error)) {
            base = std::filesystem::temp_directory_path(error);
        }
        folder = base / ("wavtrex-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder, error);
    }
    ~ScratchFile() {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
};

std::string writeInput(const uint8_t* data, size_t size) {
    static ScratchFile scratch;
    bool gzip = size >= 2 && data[0] == 0x1f && data[1] == 0x8b;
    std::string path = (scratch.folder / (gzip ? "input.gz" : "input.w")).string();
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        std::perror(path.c_str());
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, out) != size) std::abort();
    std::fclose(out);
    return path;
}

// Touches every value the holders claim to hold, so a count that runs past
// its array shows up under AddressSanitizer.
float sumValues(const WaveformDataset* ds, const WaveformValues& v) {
    float sum = 0;
    for (int32_t s = 0; s < v.sweepCount; ++s) {
        for (int32_t h = 0; h < v.holderCount; ++h) {
            if (v.counts == nullptr || v.counts[h] == nullptr) continue;
            uint32_t n = v.counts[h][s];
            if (v.axis != nullptr && v.axis[h] != nullptr && v.axis[h][s] != nullptr) {
                for (uint32_t k = 0; k < n; ++k) sum += v.axis[h][s][k];
            }
            // With one holder (post and CSDF files) every signal shares its count.
            int32_t first = v.holderCount == 1 ? 0 : h;
            int32_t last = v.holderCount == 1 ? v.signalCount : h + 1;
            for (int32_t i = first; i < last && i < v.signalCount; ++i) {
                if (v.real != nullptr && v.real[i] != nullptr && v.real[i][s] != nullptr) {
                    for (uint32_t k = 0; k < n; ++k) sum += v.real[i][s][k];
                }
                if (v.imag != nullptr && v.imag[i] != nullptr && v.imag[i][s] != nullptr) {
                    for (uint32_t k = 0; k < n; ++k) sum += v.imag[i][s][k];
                }
            }
        }
        if (v.sweepValues != nullptr && v.sweepValues[s] != nullptr) {
            for (int32_t k = 0; k < ds->sweepParamCount; ++k) sum += v.sweepValues[s][k];
        }
    }
    return sum;
}

// True when `some`, read for the wanted signals only, holds exactly what
// `all` holds for them (bit for bit, as far as the counts go) and nothing for
// the others. Imaginary arrays are compared for complex signals only: the
// others' stay unfilled.
bool sameSignals(const WaveformDataset* ds, const WaveformValues& all, const WaveformValues& some,
                 const std::vector<uint8_t>& wanted) {
    if (some.signalCount != all.signalCount || some.holderCount != all.holderCount ||
        some.sweepCount != all.sweepCount) {
        return false;
    }
    auto sameArray = [](const float* a, const float* b, uint32_t n) {
        if (a == nullptr || b == nullptr) return a == b;
        return std::memcmp(a, b, n * sizeof(float)) == 0;
    };
    auto sameEntry = [&](float*** a, float*** b, int32_t i, const uint32_t* counts, bool kept) {
        if (a == nullptr || b == nullptr) return a == b;
        if (!kept) return b[i] == nullptr;
        if (a[i] == nullptr || b[i] == nullptr) return a[i] == b[i];
        for (int32_t s = 0; s < all.sweepCount; ++s) {
            if (!sameArray(a[i][s], b[i][s], counts[s])) return false;
        }
        return true;
    };
    for (int32_t i = 0; i < all.signalCount; ++i) {
        const int32_t h = all.holderCount == 1 ? 0 : i;
        const bool kept = wanted[static_cast<size_t>(i)] != 0;
        if (h >= all.holderCount || all.counts == nullptr || all.counts[h] == nullptr) continue;
        const uint32_t* counts = all.counts[h];
        if (all.holderCount > 1 || i == 0) {
            const bool holderKept = all.holderCount == 1 || kept;
            if (some.counts == nullptr) return false;
            if (!holderKept) {
                if (some.counts[h] != nullptr) return false;
            } else if (some.counts[h] == nullptr ||
                       std::memcmp(counts, some.counts[h],
                                   static_cast<size_t>(all.sweepCount) * sizeof(uint32_t)) != 0 ||
                       !sameEntry(all.axis, some.axis, h, counts, holderKept)) {
                return false;
            }
        }
        const int64_t record = static_cast<int64_t>(ds->firstSignalIndex) + i;
        const bool complex =
            record < ds->variableCount && ds->variables[record].kind == kKindComplex;
        if (!sameEntry(all.real, some.real, i, counts, kept) ||
            (complex && !sameEntry(all.imag, some.imag, i, counts, kept))) {
            return false;
        }
    }
    return true;
}

// Touches every name the tables hold.
size_t nameLengths(const WaveformDataset* ds) {
    size_t total = 0;
    for (int32_t i = 0; i < ds->variableCount; ++i) {
        total += std::strlen(wfxName(ds, ds->variables[i].nameOffset));
    }
    for (int32_t i = 0; i < ds->typeCount; ++i) {
        total += std::strlen(wfxName(ds, ds->types[i].nameOffset));
    }
    return total;
}

}  // namespace

void runReader(const uint8_t* data, size_t size, uint32_t format, uint8_t mode) {
    if (size > kMaxInput) return;
    std::string path = writeInput(data, size);
    uint32_t status = 0;
    WaveformDataset* ds = wfxOpen(path.c_str(), format, mode, &status);
    if (ds == nullptr) {
        if (status == kOpenOk) std::abort();  // a failed open must say why
        return;
    }
    volatile size_t names = nameLengths(ds);
    (void)names;
    // The second read keeps every other signal: it must give exactly what
    // the full read gave for those, and nothing for the rest.
    // A short file lowers sweepCount during a read, and the tagged record
    // reader's running time carries over from one read to the next; both
    // reads start from the state the header left.
    const int32_t headerSweeps = ds->sweepCount;
    const double startTime = ds->runningValue;
    WaveformValues all;
    std::memset(&all, 0, sizeof all);
    if (wfxRead(ds, &all) != 0) {
        ds->sweepCount = headerSweeps;
        ds->runningValue = startTime;
        volatile float sum = sumValues(ds, all);
        (void)sum;
        std::vector<uint8_t> wanted(static_cast<size_t>(all.signalCount));
        for (size_t i = 0; i < wanted.size(); ++i) wanted[i] = i % 2;
        WaveformValues some;
        std::memset(&some, 0, sizeof some);
        if (wfxReadSignals(ds, wanted.data(), &some) == 0 || !sameSignals(ds, all, some, wanted)) {
            std::abort();
        }
        wfxReleaseValues(&some);
        wfxReleaseValues(&all);
    }
    wfxClose(ds);
}

}  // namespace fuzzing
