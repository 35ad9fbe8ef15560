// Runs a test body with a scratch folder as the working directory, since the
// tool's stages write relative to it.
#ifndef WAVTREX_TESTS_TOOL_IN_FOLDER_H
#define WAVTREX_TESTS_TOOL_IN_FOLDER_H

#include <filesystem>

#include "run_tool.h"

class InScratchFolder {
  public:
    InScratchFolder() : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir_.path());
    }
    ~InScratchFolder() { std::filesystem::current_path(previous_); }
    InScratchFolder(const InScratchFolder&) = delete;
    InScratchFolder& operator=(const InScratchFolder&) = delete;

    const std::filesystem::path& path() const { return dir_.path(); }

  private:
    testkit::ScratchDir dir_;
    std::filesystem::path previous_;
};

#endif
