#include "golden.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace golden {

namespace fs = std::filesystem;

Tree readTree(const std::string& root) {
    Tree tree;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const std::string relative = fs::relative(it->path(), root).generic_string();
        if (it->is_directory()) {
            if (fs::is_empty(it->path())) tree[relative + "/"] = "";
        } else if (it->is_regular_file()) {  // not a link to a device such as /dev/full
            tree[relative] = testkit::readFile(it->path());
        }
    }
    return tree;
}

void expectRun(const testkit::ScratchDir& dir, const std::vector<std::string>& args,
               const Expected& expected, const std::string& what) {
    const Tree before = readTree(dir.path().string());
    const testkit::RunResult result = testkit::runTool(WAVTREX_BINARY, args, dir.path());
    Tree produced;
    for (auto& [path, bytes] : readTree(dir.path().string())) {
        auto old = before.find(path);
        if (old == before.end() || old->second != bytes) produced[path] = bytes;
    }
    SCOPED_TRACE(what);
    EXPECT_EQ(result.status, expected.status);
    EXPECT_EQ(result.out, expected.out);
    EXPECT_EQ(result.err, expected.err);
    for (const auto& [path, bytes] : expected.files) {
        auto found = produced.find(path);
        if (found == produced.end()) {
            ADD_FAILURE() << "missing output " << path;
        } else {
            EXPECT_EQ(found->second, bytes) << "in " << path;
        }
    }
    for (const auto& [path, bytes] : produced) {
        if (expected.files.count(path) == 0) ADD_FAILURE() << "unexpected output " << path;
    }
}

std::string curve(const std::string& name, const std::vector<std::string>& samples) {
    std::string text =
        "*******Voltage*********\n\n*[Dim=Voltage]\n**************Curve***************\n"
        "n1     n2     blue     " +
        name + ".\n";
    for (const auto& line : samples) text += line + "\n";
    return text + "**************End***************\n";
}

}  // namespace golden
