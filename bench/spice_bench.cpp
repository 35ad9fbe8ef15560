// Reading speed of SPICE raw files: an ngspice binary file and an LTspice
// file of 1000 signals x 100000 points against a gzread of the same bytes,
// an ASCII raw file against a text post file of the same values, per byte,
// and the float64 file read as doubles against its read as floats (time,
// and peak memory per byte of values returned). Prints figures; never fails
// on speed.
//
//   spice_bench [folder]     (default: the temp folder; the files are deleted)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "post_writer.h"
#include "wfx.h"

namespace {

constexpr int kSignals = 1000;
constexpr int kPoints = 100000;
constexpr int kTextSignals = 100;
constexpr int kTextPoints = 20000;
constexpr int kRuns = 2;

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double value(int r, int i) {
    return 0.001 * i + 1e-5 * r;
}

std::string rawHeader(int signals, int points, const char* flags, const char* command,
                      bool binary) {
    std::string h =
        "Title: wavtrex benchmark\nDate: Mon Dec  7 03:20:59 2026\n"
        "Plotname: Transient Analysis\nFlags: " +
        std::string(flags) + "\nNo. Variables: " + std::to_string(signals + 1) +
        "\nNo. Points: " + std::to_string(points) + "\nCommand: " + command +
        "\nVariables:\n\t0\ttime\ttime\n";
    for (int i = 0; i < signals; ++i)
        h += "\t" + std::to_string(i + 1) + "\tv(n" + std::to_string(i) + ")\tvoltage\n";
    return h + (binary ? "Binary:\n" : "Values:\n");
}

// ngspice: every value float64; LTspice: a UTF-16 header, float32 signals.
bool writeBinaryRaw(const std::string& path, bool ltspice) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    std::string header =
        rawHeader(kSignals, kPoints, "real", ltspice ? "LTspice XVII" : "ngspice-36", true);
    if (ltspice) {
        std::string wide;
        for (char c : header) wide += std::string(1, c) + '\0';
        header = wide;
    }
    bool ok = std::fwrite(header.data(), 1, header.size(), out) == header.size();
    std::string row;
    for (int r = 0; ok && r < kPoints; ++r) {
        row.clear();
        const double t = r * 1e-12;
        row.append(reinterpret_cast<const char*>(&t), 8);
        for (int i = 0; i < kSignals; ++i) {
            const double v = value(r, i);
            const auto f = static_cast<float>(v);
            if (ltspice) {
                row.append(reinterpret_cast<const char*>(&f), 4);
            } else {
                row.append(reinterpret_cast<const char*>(&v), 8);
            }
        }
        ok = std::fwrite(row.data(), 1, row.size(), out) == row.size();
    }
    return std::fclose(out) == 0 && ok;
}

bool writeAsciiRaw(const std::string& path) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    const std::string header = rawHeader(kTextSignals, kTextPoints, "real", "ngspice-36", false);
    bool ok = std::fwrite(header.data(), 1, header.size(), out) == header.size();
    for (int r = 0; ok && r < kTextPoints; ++r) {
        ok = std::fprintf(out, "%d\t%.15e\n", r, r * 1e-12) > 0;
        for (int i = 0; ok && i < kTextSignals; ++i)
            ok = std::fprintf(out, "\t%.15e\n", value(r, i)) > 0;
    }
    return std::fclose(out) == 0 && ok;
}

bool writeTextPost(const std::string& path) {
    writers::PostFile f;
    f.form = writers::PostForm::text;
    for (int i = 0; i < kTextSignals; ++i) f.signals.push_back({"v(n" + std::to_string(i) + ")"});
    writers::PostStreamWriter out(path, f);
    for (int r = 0; r < kTextPoints; ++r) {
        out.axis(r * 1e-12);
        for (int i = 0; i < kTextSignals; ++i) out.value(value(r, i));
    }
    out.endTable();
    return out.finish();
}

// The bytes alone: one gzread into one buffer.
double plainRead(const std::string& path) {
    const auto size = static_cast<size_t>(std::filesystem::file_size(path));
    auto start = std::chrono::steady_clock::now();
    gzFile in = gzopen(path.c_str(), "rb");
    if (in == nullptr) return -1;
    gzbuffer(in, 1u << 18);
    std::vector<char> buffer(size + 1);
    size_t total = 0;
    for (int got;
         (got = gzread(in, buffer.data() + total,
                       static_cast<unsigned>(std::min<size_t>(size + 1 - total, 1u << 30)))) > 0;)
        total += static_cast<size_t>(got);
    gzclose(in);
    return total == size ? seconds(std::chrono::steady_clock::now() - start) : -1;
}

// Open and read through the reader, checking one value.
double readerRead(const std::string& path, int signal, int point, double expected) {
    auto start = std::chrono::steady_clock::now();
    uint32_t status = 0;
    WaveformDataset* ds = wfxOpen(path.c_str(), WFX_DETECT_ALL, WFX_DETECT_MODE, &status);
    if (ds == nullptr) {
        std::fprintf(stderr, "open failed: %s\n", wfxLastErrorText());
        return -1;
    }
    WaveformValues values{};
    const int ok = wfxRead(ds, &values);
    const double elapsed = seconds(std::chrono::steady_clock::now() - start);
    const bool right = ok && (std::isnan(expected) ||
                              values.real[signal][0][point] == static_cast<float>(expected));
    if (!ok || !right) std::fprintf(stderr, "read failed: %s\n", wfxLastErrorText());
    wfxReleaseValues(&values);
    wfxClose(ds);
    return ok && right ? elapsed : -1;
}

// The best of kRuns of (a) and (b), run in turn.
// The text post form keeps fewer digits than were written: its values go unchecked.
bool measure(const std::string& path, bool baseline, double* plain, double* reader,
             bool check = true) {
    *plain = *reader = 1e300;
    for (int run = 0; run < kRuns; ++run) {
        const double b = readerRead(path, 7, 1234, check ? value(1234, 7) : NAN);
        const double a = baseline ? plainRead(path) : 1.0;
        if (a < 0 || b < 0) return false;
        *plain = std::min(*plain, a);
        *reader = std::min(*reader, b);
    }
    return true;
}

// One read of path in a child process, as floats or as doubles: its time
// and the growth of the child's peak memory over the bytes of values it
// returned. False when the read fails.
bool childRead(const std::string& path, bool doubles, double* time, double* memoryPerByte) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return false;
    const pid_t child = fork();
    if (child == 0) {
        double result[2] = {-1, -1};
        uint32_t status = 0;
        WaveformDataset* ds = wfxOpen(path.c_str(), WFX_DETECT_ALL, WFX_DETECT_MODE, &status);
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const auto start = std::chrono::steady_clock::now();
        WaveformValues floats{};
        WaveformValues64 wide{};
        const int ok = ds != nullptr &&
                       (doubles ? wfxReadSignals64(ds, nullptr, &wide) : wfxRead(ds, &floats));
        result[0] = seconds(std::chrono::steady_clock::now() - start);
        getrusage(RUSAGE_SELF, &after);
        const double values = (ds != nullptr ? ds->signalCount + 1.0 : 0.0) * kPoints *
                              (doubles ? sizeof(double) : sizeof(float));
        result[1] = static_cast<double>(after.ru_maxrss - before.ru_maxrss) * 1024 / values;
        const bool written =
            ok && write(pipeEnds[1], result, sizeof result) == static_cast<ssize_t>(sizeof result);
        _exit(written ? 0 : 1);
    }
    close(pipeEnds[1]);
    double result[2] = {-1, -1};
    const bool got = child > 0 && read(pipeEnds[0], result, sizeof result) ==
                                      static_cast<ssize_t>(sizeof result);
    close(pipeEnds[0]);
    int status = 1;
    if (child > 0) waitpid(child, &status, 0);
    *time = result[0];
    *memoryPerByte = result[1];
    return got && status == 0;
}

// The float64 file read as doubles against the same read as floats, the
// best of kRuns each.
bool doubleRatio(const std::string& path) {
    double time[2] = {1e300, 1e300}, memory[2] = {1e300, 1e300};
    for (int run = 0; run < kRuns; ++run) {
        for (int doubles : {0, 1}) {
            double t = 0, m = 0;
            if (!childRead(path, doubles != 0, &t, &m)) return false;
            time[doubles] = std::min(time[doubles], t);
            memory[doubles] = std::min(memory[doubles], m);
        }
    }
    std::printf(
        "  float64 read as doubles: time ratio %.2f, peak memory per value byte %.2f against "
        "%.2f, ratio %.2f (targets <= 1.1)\n",
        time[1] / time[0], memory[1], memory[0], memory[1] / memory[0]);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder =
        argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
    std::printf("spice_bench: raw files of %d signals x %d points\n", kSignals, kPoints);
    for (bool ltspice : {false, true}) {
        const std::string path = (folder / "wavtrex_spice_bench.raw").string();
        if (!writeBinaryRaw(path, ltspice)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        const double mb = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
        double plain = 0, reader = 0;
        const bool ok = measure(path, true, &plain, &reader) && (ltspice || doubleRatio(path));
        std::filesystem::remove(path);
        if (!ok) return 1;
        std::printf(
            "  %-24s %7.1f MB: gzread %.3f s, open + read %.3f s, ratio %.2f (target <= 1.3)\n",
            ltspice ? "LTspice float32 binary" : "ngspice float64 binary", mb, plain, reader,
            reader / plain);
    }
    const std::string raw = (folder / "wavtrex_spice_bench_ascii.raw").string();
    const std::string post = (folder / "wavtrex_spice_bench.tr0").string();
    if (!writeAsciiRaw(raw) || !writeTextPost(post)) {
        std::fprintf(stderr, "cannot write the text files\n");
        return 1;
    }
    const double rawMb = static_cast<double>(std::filesystem::file_size(raw)) / 1e6;
    const double postMb = static_cast<double>(std::filesystem::file_size(post)) / 1e6;
    double unused = 0, rawTime = 0, postTime = 0;
    const bool ok =
        measure(raw, false, &unused, &rawTime) && measure(post, false, &unused, &postTime, false);
    std::filesystem::remove(raw);
    std::filesystem::remove(post);
    if (!ok) return 1;
    const double rawSpeed = rawMb / rawTime, postSpeed = postMb / postTime;
    std::printf(
        "  ASCII raw %.1f MB at %.1f MB/s, text post %.1f MB at %.1f MB/s: "
        "ratio %.2f (target <= 2)\n",
        rawMb, rawSpeed, postMb, postSpeed, postSpeed / rawSpeed);
    return 0;
}
