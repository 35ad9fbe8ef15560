// Runs the built wavtrex binary in a scratch folder and captures everything.
#ifndef WAVTREX_TESTS_RUN_TOOL_H
#define WAVTREX_TESTS_RUN_TOOL_H

#include <filesystem>
#include <string>
#include <vector>

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

struct RunResult {
    int status = -1;  // exit status; -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Runs binary with args (each passed as one argument, argv[0] = binary) in workDir.
RunResult runTool(const std::string& binary, const std::vector<std::string>& args,
                  const std::filesystem::path& workDir);

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace testkit

#endif
