// Stand-in for libFuzzer in ordinary builds: runs the target on every named
// file and every file in a named folder (missing names are skipped). With
// --damage each file is also run cut at every length and with every byte
// flipped in turn: over the seeds, the damaged-file test of every reader.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    bool damage = false;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        if (std::string(argv[i]) == "--damage") {
            damage = true;
        } else if (fs::is_directory(argv[i], error)) {
            const auto first = static_cast<std::ptrdiff_t>(files.size());
            for (const auto& entry : fs::directory_iterator(argv[i])) {
                if (entry.is_regular_file()) files.push_back(entry.path());
            }
            std::sort(files.begin() + first, files.end());  // a stable order for reproducible logs
        } else if (fs::exists(argv[i], error)) {
            files.emplace_back(argv[i]);
        }
    }
    std::vector<char> bytes;
    auto run = [&bytes](size_t size) {
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), size);
    };
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        run(bytes.size());
        for (size_t at = 0; damage && at < bytes.size(); ++at) {
            run(at);
            bytes[at] = static_cast<char>(~bytes[at]);
            run(bytes.size());
            bytes[at] = static_cast<char>(~bytes[at]);
        }
    }
    std::printf("%zu inputs replayed\n", files.size());
    return files.empty() ? 1 : 0;
}
