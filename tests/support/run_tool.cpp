#include "run_tool.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testkit {

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "wavtrex-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace testkit
