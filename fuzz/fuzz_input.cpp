#include "fuzz_input.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

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
    for (int pass = 0; pass < 2; ++pass) {
        WaveformValues values;
        std::memset(&values, 0, sizeof values);
        if (wfxRead(ds, &values) == 0) break;
        volatile float sum = sumValues(ds, values);
        (void)sum;
        wfxReleaseValues(&values);
    }
    wfxClose(ds);
}

}  // namespace fuzzing
