// Reading speed and memory of a large binary post file: the reader against a
// plain gzread of the same bytes. Prints figures; never fails on speed.
//
//   read_bench [file] [--keep]
// The file (default: in the temp folder) is generated, measured and deleted
// unless --keep is given.
#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "post_writer.h"
#include "wfx.h"

namespace {

constexpr int kSignals = 1000;
constexpr int kPoints = 100000;
constexpr int kRuns = 2;

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Peak resident set so far, in bytes (VmHWM; ru_maxrss when /proc is absent).
long long peakResident() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atoll(line.c_str() + 6) * 1024;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<long long>(usage.ru_maxrss) * 1024;
}

bool generate(const std::string& path) {
    writers::PostFile f;
    f.version = writers::PostVersion::v9601;
    f.form = writers::PostForm::wordFramed;
    f.blockSize = 4096;
    for (int i = 0; i < kSignals; ++i) f.signals.push_back({"v(n" + std::to_string(i) + ")"});
    writers::PostStreamWriter out(path, f);
    for (int r = 0; r < kPoints; ++r) {
        out.axis(r * 1e-12);
        for (int i = 0; i < kSignals; ++i) out.value(0.001 * i + 1e-5 * r);
    }
    out.endTable();
    return out.finish();
}

// (a) the bytes alone: one gzread into one buffer.
double plainRead(const std::string& path, size_t size) {
    auto start = std::chrono::steady_clock::now();
    gzFile in = gzopen(path.c_str(), "rb");
    if (in == nullptr) return -1;
    gzbuffer(in, 1u << 18);
    auto* buffer = static_cast<char*>(std::malloc(size + 1));
    size_t total = 0;
    int got = 0;
    while (buffer != nullptr &&
           (got = gzread(in, buffer + total, static_cast<unsigned>(size + 1 - total))) > 0) {
        total += static_cast<size_t>(got);
    }
    gzclose(in);
    volatile char sink = buffer != nullptr && total > 0 ? buffer[total / 2] : 0;
    (void)sink;
    std::free(buffer);
    double elapsed = seconds(std::chrono::steady_clock::now() - start);
    return total == size ? elapsed : -1;
}

// (b) open and read through the reader.
double readerRead(const std::string& path, uint32_t* points) {
    auto start = std::chrono::steady_clock::now();
    uint32_t status = 0;
    WaveformDataset* ds = wfxOpen(path.c_str(), WFX_DETECT_FORMAT, WFX_DETECT_MODE, &status);
    if (ds == nullptr) {
        std::fprintf(stderr, "open failed: %s\n", wfxLastErrorText());
        return -1;
    }
    WaveformValues values{};
    int ok = wfxRead(ds, &values);
    double elapsed = seconds(std::chrono::steady_clock::now() - start);
    *points = ok ? values.counts[0][0] : 0;
    wfxReleaseValues(&values);
    wfxClose(ds);
    return ok ? elapsed : -1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string path;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--keep") == 0) {
            keep = true;
        } else {
            path = argv[i];
        }
    }
    if (path.empty())
        path = (std::filesystem::temp_directory_path() / "wavtrex_read_bench.tr0").string();

    std::printf("read_bench: binary 9601 post file, %d signals x %d points\n", kSignals, kPoints);
    auto start = std::chrono::steady_clock::now();
    if (!generate(path)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    auto size = static_cast<size_t>(std::filesystem::file_size(path));
    double floatBytes = static_cast<double>(kSignals + 1) * kPoints * sizeof(float);
    std::printf("  generated %.1f MB in %.1f s: %s\n", size / 1e6,
                seconds(std::chrono::steady_clock::now() - start), path.c_str());

    // The reader runs first so that the peak resident set is its own.
    double best[2] = {1e300, 1e300};
    long long peak = 0;
    uint32_t points = 0;
    for (int run = 0; run < kRuns; ++run) {
        double b = readerRead(path, &points);
        if (run == 0) peak = peakResident();
        double a = plainRead(path, size);
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "read failed\n");
            if (!keep) std::filesystem::remove(path);
            return 1;
        }
        best[0] = std::min(best[0], a);
        best[1] = std::min(best[1], b);
    }
    if (!keep) std::filesystem::remove(path);

    double memoryLimit = 1.1 * (floatBytes + 64e6);
    std::printf("  (a) gzread into one buffer: %.3f s\n", best[0]);
    std::printf("  (b) open + read:            %.3f s (%u points), ratio %.2f (target <= 1.5)\n",
                best[1], points, best[1] / best[0]);
    std::printf("  peak resident %.1f MB; float data %.1f MB + 64 MB, x1.1 = %.1f MB (%s)\n",
                peak / 1e6, floatBytes / 1e6, memoryLimit / 1e6,
                peak <= memoryLimit ? "within" : "over");
    return 0;
}
