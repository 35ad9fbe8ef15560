// Scratch folders and whole-file reads for the tests (writes: file_bytes.h).
#ifndef WAVTREX_TESTS_RUN_TOOL_H
#define WAVTREX_TESTS_RUN_TOOL_H

#include <filesystem>
#include <string>

namespace testkit {

// A fresh folder under the system temp folder, removed on destruction.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);

}  // namespace testkit

#endif
