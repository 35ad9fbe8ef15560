// Runs the built binary on generated inputs and compares everything it
// produced with expectations written out literally in the test.
#ifndef WAVTREX_TESTS_GOLDEN_H
#define WAVTREX_TESTS_GOLDEN_H

#include <map>
#include <string>
#include <vector>

#include "run_tool.h"

namespace golden {

// Relative path ("run/volt/out.cur", "/" separated) -> file bytes. An empty
// folder appears as its path with a trailing "/" and empty bytes.
using Tree = std::map<std::string, std::string>;

struct Expected {
    std::string out;  // standard output, exactly
    std::string err;  // standard error, exactly
    Tree files;       // every file the run created or changed, and nothing else
    int status = 0;
};

// Every regular file and empty folder below root.
Tree readTree(const std::string& root);

// Runs wavtrex with args in dir and checks the exit status, both streams and
// the files and empty folders that are new or changed since before the run.
// Reports every difference as a gtest failure naming `what`.
void expectRun(const testkit::ScratchDir& dir, const std::vector<std::string>& args,
               const Expected& expected, const std::string& what = "");

// The curve file text for `name` holding `samples` ("x y" lines, each
// without its line end), in the layout every curve file has.
std::string curve(const std::string& name, const std::vector<std::string>& samples);

}  // namespace golden

#endif
