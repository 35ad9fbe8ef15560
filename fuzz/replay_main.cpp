// Stand-in for libFuzzer in ordinary builds: runs the target once on every
// file named on the command line, or on every file inside a named folder, so
// the seed corpora and the kept regression inputs replay under CTest. With
// --damage each file is also run cut at every length and with every byte
// flipped in turn: the seeds cover every format variant, so this is the
// damaged-file test of every reader.
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

namespace {

bool damage = false;

void run(const std::vector<char>& bytes) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

bool runFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
        return false;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    run(bytes);
    for (size_t at = 0; damage && at < bytes.size(); ++at) {
        run(std::vector<char>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(at)));
        std::vector<char> flipped = bytes;
        flipped[at] = static_cast<char>(~flipped[at]);
        run(flipped);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int inputs = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path arg = argv[i];
        if (arg == "--damage") {
            damage = true;
            continue;
        }
        std::error_code error;
        if (std::filesystem::is_directory(arg, error)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::directory_iterator(arg)) {
                if (entry.is_regular_file()) files.push_back(entry.path());
            }
            std::sort(files.begin(), files.end());  // a stable order for reproducible logs
            for (const auto& file : files) {
                ok = runFile(file) && ok;
                ++inputs;
            }
        } else if (std::filesystem::exists(arg, error)) {
            ok = runFile(arg) && ok;
            ++inputs;
        }
    }
    std::printf("%d inputs replayed\n", inputs);
    return ok && inputs > 0 ? 0 : 1;
}
