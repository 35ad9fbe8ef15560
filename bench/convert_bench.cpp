// Conversion speed and memory of a big binary 9601 post file, as ratios to
// baselines measured in the same run:
//   1. convert-all against dd writing as many bytes (both to a finished sync),
//      and against snprintf("%.12g") formatting the same value pairs;
//   2. a .tcc run for 10 signals against a gzread of the file, both reading
//      the file from the disk (evicted from the page cache first), as files of
//      gigabytes are: the median of seven alternating rounds; the figures with
//      the file cached, and those of a gzip copy of the file, are shown too;
//   3. peak memory of both runs, and of convert-all of a 4 GB file (skipped
//      when the disk has not the room its curves take).
// Every run, the gzread baselines too, is a child process: its peak memory is
// its own, and each pays the same for being one (target 2 also shows the
// ratio to a gzread in the bench itself). The files are generated here and
// deleted afterwards. Prints figures; never fails on speed.
//   usage: convert_bench [signals [points]]   (default 1000 x 100000)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "driver.h"
#include "post_writer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr long kChosenSignals = 10;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

float timeAt(long p) {
    return static_cast<float>(p * 1e-9);
}
float valueAt(long p, long s) {
    return static_cast<float>(std::sin(p * 1e-3 + s) * (1 + s % 7));
}

struct Run {
    double seconds = 0;
    double peakMb = 0;
    int exitStatus = -1;
};

// Runs body in a child in folder dir, then (unless told not to) sync; times
// both together.
template <typename Body>
Run inChild(const fs::path& dir, Body body, bool synced = true) {
    std::fflush(stdout);  // or the child prints the parent's pending text again
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(dir.c_str()) != 0) _exit(2);
        body();
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (synced) sync();
    Run run;
    run.seconds = secondsSince(start);
    run.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Drops the file's pages from the page cache, so the next read comes from
// the disk. Everything written before is synced first: writeback of an
// earlier run's curves must not share the disk with the run timed next.
void evict(const std::string& path) {
    sync();
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

double gzreadFile(const std::string& path) {
    const auto start = Clock::now();
    gzFile in = gzopen(path.c_str(), "rb");
    std::vector<char> buffer(1 << 20);
    while (in != nullptr && gzread(in, buffer.data(), static_cast<unsigned>(buffer.size())) > 0) {
    }
    if (in != nullptr) gzclose(in);
    return secondsSince(start);
}

// The value pairs of every curve line, formatted by the C library into memory.
double snprintfPairs(long signals, long points) {
    std::vector<char> buffer(1 << 20);
    std::size_t used = 0;
    const auto start = Clock::now();
    for (long s = 0; s < signals; ++s) {
        for (long p = 0; p < points; ++p) {
            if (buffer.size() - used < 80) used = 0;
            char* out = buffer.data() + used;
            int n = std::snprintf(out, 40, "%.12g", static_cast<double>(timeAt(p)));
            out[n++] = ' ';
            n += std::snprintf(out + n, 40, "%.12g", static_cast<double>(valueAt(p, s)));
            out[n++] = '\n';
            used += static_cast<std::size_t>(n);
        }
    }
    volatile char sink = buffer[used / 2];
    (void)sink;
    return secondsSince(start);
}

long long bytesBelow(const fs::path& dir) {
    long long bytes = 0;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(dir, error)) {
        if (entry.is_regular_file()) bytes += static_cast<long long>(entry.file_size());
    }
    return bytes;
}

void convert(const char* argument) {
    char program[] = "wavtrex";
    std::string copy = argument;
    char* argv[] = {program, copy.data(), nullptr};
    runConversion(2, argv);
}

const char* verdict(bool met) {
    return met ? "met" : "NOT met";
}

double gzreadInChild(const fs::path& dir, const std::string& file) {
    return inChild(
               dir, [&] { gzreadFile(file); }, false)
        .seconds;
}

// A .tcc run against a gzread of the file it reads, each from the disk, in
// seven rounds taken in turn: the median seconds of each, and the median of
// the rounds' ratios, which drift of the disk's speed between rounds leaves
// alone. The gzread runs in a child like the .tcc run, so both pay the same
// for being one; a gzread in the bench itself, which pays nothing of the
// kind, is timed in each round too and its ratio shown beside. Each run
// writes a folder of its own, removed only after the last: overwriting an
// earlier run's curves would time the freeing of their blocks too, which
// the gzread does not have.
struct ColdPair {
    double gzread = 0;
    Run chosen;
    double ratio = 0;
    double ratioInProcess = 0;
};
ColdPair coldPair(const fs::path& dir, const std::string& file, const std::string& tcc) {
    constexpr int kRounds = 7;
    std::vector<double> gzreads;
    std::vector<Run> runs;
    std::vector<double> ratios;
    std::vector<double> ratiosInProcess;
    for (int i = 0; i < kRounds; ++i) {
        const fs::path folder = dir / ("cold-" + std::to_string(i));
        fs::create_directories(folder);
        std::ofstream(folder / "run.tcc") << tcc;
        evict(file);
        const double inProcess = gzreadFile(file);
        evict(file);
        gzreads.push_back(gzreadInChild(dir, file));
        evict(file);
        runs.push_back(inChild(
            folder, [] { convert("run.tcc"); }, false));
        ratios.push_back(runs.back().seconds / gzreads.back());
        ratiosInProcess.push_back(runs.back().seconds / inProcess);
    }
    for (int i = 0; i < kRounds; ++i) fs::remove_all(dir / ("cold-" + std::to_string(i)));
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::sort(runs.begin(), runs.end(),
              [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    return {median(gzreads), runs[kRounds / 2], median(ratios), median(ratiosInProcess)};
}

std::string tccFor(const std::string& file, long signals) {
    std::string tcc = "<CurveExtraction FileName=\"" + file + "\">\n<VoltageCurveList>\n";
    for (long k = 0; k < kChosenSignals && k < signals; ++k) {
        const long s = k * signals / kChosenSignals;
        tcc += "<Curve Node=\"v" + std::to_string(s) + "\" CurveFileName=\"c" + std::to_string(s) +
               ".cur\"/>\n";
    }
    return tcc + "</VoltageCurveList>\n</CurveExtraction>\n";
}

// A gzip copy of the file, at zlib's fastest level.
void gzipCopy(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    gzFile out = gzopen(to.c_str(), "wb1");
    std::vector<char> buffer(1 << 20);
    while (out != nullptr && in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())),
           in.gcount() > 0) {
        gzwrite(out, buffer.data(), static_cast<unsigned>(in.gcount()));
    }
    if (out != nullptr) gzclose(out);
}

void writePost(const std::string& path, long signals, long points) {
    writers::PostFile file;
    for (long s = 0; s < signals; ++s) file.signals.push_back({"v" + std::to_string(s)});
    writers::PostStreamWriter out(path, file);
    for (long p = 0; p < points; ++p) {
        out.axis(timeAt(p));
        for (long s = 0; s < signals; ++s) out.value(valueAt(p, s));
    }
    out.endTable();
    if (!out.finish()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

// Convert-all of a 4 GB file: its peak memory must not grow with the file.
// Its curves take about 8 times the file's size.
void convertHuge(const fs::path& dir) {
    constexpr long kSignals = 1000, kPoints = 1000000;
    const double needGb = 40;
    const double freeGb = static_cast<double>(fs::space(dir).available) / 1e9;
    if (freeGb < needGb) {
        std::printf("  4 GB case skipped: %.0f GB free, %.0f GB needed\n", freeGb, needGb);
        return;
    }
    const auto start = Clock::now();
    writePost((dir / "huge.tr0").string(), kSignals, kPoints);
    const double made = secondsSince(start);
    const double fileGb = static_cast<double>(fs::file_size(dir / "huge.tr0")) / 1e9;
    const Run huge = inChild(
        dir, [] { convert("huge.tr0"); }, false);
    const double outGb = static_cast<double>(bytesBelow(dir / "huge")) / 1e9;
    fs::remove_all(dir / "huge");
    fs::remove(dir / "huge.tr0");
    std::printf(
        "  convert-all of %.1f GB (made in %.0f s), %.1f GB of curves: %.1f s  peak %6.1f MB"
        "  exit %d\n",
        fileGb, made, outGb, huge.seconds, huge.peakMb, huge.exitStatus);
    std::printf("     4 GB file peak memory:   %5.1f MB  (target <= 256: %s)\n", huge.peakMb,
                verdict(huge.peakMb <= 256 && huge.exitStatus == 0));
}

}  // namespace

int main(int argc, char** argv) {
    const long signals = argc > 1 ? std::atol(argv[1]) : 1000;
    const long points = argc > 2 ? std::atol(argv[2]) : 100000;
    const fs::path dir = fs::temp_directory_path() / ("wavtrex-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "bench.tr0").string();

    auto start = Clock::now();
    writePost(path, signals, points);
    std::ofstream(dir / "bench.tcc") << tccFor("bench.tr0", signals);
    const std::string zipped = (dir / "zipped.tr0.gz").string();
    gzipCopy(path, zipped);
    const double fileMb = static_cast<double>(fs::file_size(path)) / 1e6;
    std::printf("convert_bench: %ld signals x %ld points, binary 9601, %.1f MB (made in %.1f s)\n",
                signals, points, fileMb, secondsSince(start));
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) > 0) {
        std::printf("  machine load %.2f on %u cores (shared: ratios, not seconds, compare)\n",
                    load[0], std::thread::hardware_concurrency());
    }

    // Baselines and runs, in one session.
    const double gzreadSeconds = gzreadInChild(dir, path);
    const Run chosenWarm = inChild(
        dir, [] { convert("bench.tcc"); }, false);
    const Run listOnly = inChild(
        dir,
        [] {
            char program[] = "wavtrex", flag[] = "-t", file[] = "bench.tr0";
            char* argv[] = {program, flag, file, nullptr};
            runConversion(3, argv);
        },
        false);
    const ColdPair cold = coldPair(dir, path, tccFor("../bench.tr0", signals));
    const ColdPair gzip = coldPair(dir, zipped, tccFor("../zipped.tr0.gz", signals));
    const Run& chosen = cold.chosen;
    const double gzreadCold = cold.gzread;
    fs::remove_all(dir / "bench");
    fs::remove(zipped);
    const double snprintfSeconds = snprintfPairs(signals, points);
    const Run all = inChild(dir, [] { convert("bench.tr0"); });
    const long long outBytes = bytesBelow(dir / "bench");
    fs::remove_all(dir / "bench");
    const std::string ddCommand = "dd if=/dev/zero of=" + (dir / "dd.out").string() +
                                  " bs=1048576 count=" + std::to_string(outBytes >> 20) +
                                  " status=none";
    const Run dd = inChild(dir, [&] { _exit(std::system(ddCommand.c_str()) == 0 ? 0 : 1); });
    fs::remove(dir / "dd.out");
    fs::remove(path);

    std::printf("  baseline gzread of the file from disk:  %7.3f s  (cached: %.3f s)\n", gzreadCold,
                gzreadSeconds);
    std::printf("  baseline snprintf %%.12g of the pairs:    %7.2f s\n", snprintfSeconds);
    std::printf("  baseline dd of %6.0f MB, to sync:       %7.2f s\n", outBytes / 1e6, dd.seconds);
    std::printf("  convert-all, to sync:                   %7.2f s  peak %6.1f MB  exit %d\n",
                all.seconds, all.peakMb, all.exitStatus);
    std::printf(
        "  .tcc run, %ld signals, file from disk:  %7.3f s  peak %6.1f MB  exit %d"
        "  (cached: %.3f s)\n",
        kChosenSignals, chosen.seconds, chosen.peakMb, chosen.exitStatus, chosenWarm.seconds);
    std::printf("  1. convert-all / dd:        %5.2f  (target <= 1.3: %s)\n",
                all.seconds / dd.seconds, verdict(all.seconds <= 1.3 * dd.seconds));
    std::printf("     snprintf / convert-all:  %5.2f  (target >= 5: %s)\n",
                snprintfSeconds / all.seconds, verdict(snprintfSeconds >= 5 * all.seconds));
    std::printf(
        "  2. .tcc run / gzread:       %5.2f  (target <= 1.2: %s; gzread in the bench process"
        " %.2f; cached %.2f; gzip copy %.2f, %.2f s / %.2f s)\n",
        cold.ratio, verdict(cold.ratio <= 1.2), cold.ratioInProcess,
        chosenWarm.seconds / gzreadSeconds, gzip.ratio, gzip.chosen.seconds, gzip.gzread);
    std::printf("     .tcc run peak memory:    %5.1f MB  (target <= 72: %s)\n", chosen.peakMb,
                verdict(chosen.peakMb <= 72));
    std::printf("  3. convert-all peak memory: %5.1f MB  (target <= 256: %s)\n", all.peakMb,
                verdict(all.peakMb <= 256));
    std::printf("  list-only run (-t), cached:  %5.2f s  peak %5.1f MB  (keeps no values)\n",
                listOnly.seconds, listOnly.peakMb);
    if (argc <= 1) convertHuge(dir);
    fs::remove_all(dir);
    return 0;
}
