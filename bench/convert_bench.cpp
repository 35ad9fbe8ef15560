// Times a convert-all run of a big binary 9601 post file against two floors
// measured in the same run: reading the file's bytes through gzread, and
// formatting the same number of value pairs with snprintf("%.12g").
//   usage: convert_bench [signals [points]]   (default 1000 x 100000)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "extract.h"
#include "post_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

float timeAt(long p) {
    return static_cast<float>(p * 1e-9);
}
float valueAt(long p, long s) {
    return static_cast<float>(std::sin(p * 1e-3 + s) * (1 + s % 7));
}

double readFloor(const std::string& path, long long& bytes) {
    const auto start = Clock::now();
    gzFile in = gzopen(path.c_str(), "rb");
    std::vector<char> buffer(1 << 20);
    bytes = 0;
    int n;
    while (in != nullptr &&
           (n = gzread(in, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0) {
        bytes += n;
    }
    if (in != nullptr) gzclose(in);
    return secondsSince(start);
}

double formatFloor(long signals, long points, long long& bytes) {
    std::vector<char> buffer(1 << 20);
    std::size_t used = 0;
    bytes = 0;
    const auto start = Clock::now();
    for (long s = 0; s < signals; ++s) {
        for (long p = 0; p < points; ++p) {
            if (buffer.size() - used < 80) {
                bytes += static_cast<long long>(used);
                used = 0;
            }
            char* out = buffer.data() + used;
            int n = std::snprintf(out, 40, "%.12g", static_cast<double>(timeAt(p)));
            out[n++] = ' ';
            n += std::snprintf(out + n, 40, "%.12g", static_cast<double>(valueAt(p, s)));
            out[n++] = '\n';
            used += static_cast<std::size_t>(n);
        }
    }
    bytes += static_cast<long long>(used);
    return secondsSince(start);
}

}  // namespace

int main(int argc, char** argv) {
    const long signals = argc > 1 ? std::atol(argv[1]) : 1000;
    const long points = argc > 2 ? std::atol(argv[2]) : 100000;
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("wavtrex-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "bench.tr0").string();

    auto start = Clock::now();
    {
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
            return 1;
        }
    }
    std::printf("convert_bench: %ld signals x %ld points, binary 9601 (generated in %.2f s)\n",
                signals, points, secondsSince(start));

    long long fileBytes = 0, textBytes = 0;
    const double readSeconds = readFloor(path, fileBytes);
    const double formatSeconds = formatFloor(signals, points, textBytes);

    // The conversion runs in a child so its peak memory is its own.
    start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(dir.c_str()) != 0) _exit(2);
        _exit(extractCurves("bench.tr0", "", {}, false, true) ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double convertSeconds = secondsSince(start);

    long long written = 0;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(dir / "bench", error)) {
        if (entry.is_regular_file()) written += static_cast<long long>(entry.file_size());
    }
    const double floor = readSeconds + formatSeconds;
    std::printf("  floor a, gzread of the file:       %8.2f s  (%.1f MB)\n", readSeconds,
                fileBytes / 1e6);
    std::printf("  floor b, snprintf %%.12g pairs:     %8.2f s  (%.1f MB of text)\n", formatSeconds,
                textBytes / 1e6);
    std::printf("  convert-all run:                   %8.2f s  (%.1f MB written, exit %d)\n",
                convertSeconds, written / 1e6, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    std::printf("  run / (a + b):                     %8.2f   (%s)\n", convertSeconds / floor,
                convertSeconds < floor ? "below the floors' sum" : "ABOVE the floors' sum");
    std::printf("  cpu time of the run:               %8.2f s user, %.2f s system\n",
                usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6,
                usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6);
    std::printf("  peak memory of the run:            %8.1f MB\n", usage.ru_maxrss / 1024.0);
    fs::remove_all(dir, error);
    return 0;
}
