// Base names and one-level folder creation.
#include "folders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "extract.h"
#include "in_folder.h"

namespace {

TEST(Folders, BaseNameOf) {
    EXPECT_EQ(baseNameOf("C:\\sim\\run.tr0"), "run");
    EXPECT_EQ(baseNameOf("run.tr0.gz"), "run.tr0");
    EXPECT_EQ(baseNameOf("/tmp/a.b/run"), "run");
    EXPECT_EQ(baseNameOf("d:run.tr0"), "run");
    EXPECT_EQ(baseNameOf("dir\\sub/file.x\\name"), "name");
    EXPECT_EQ(baseNameOf("1:run.tr0"), "1:run");
    EXPECT_EQ(baseNameOf(".tr0"), "");
    EXPECT_EQ(baseNameOf("dir/"), "");
    EXPECT_EQ(baseNameOf(""), "");
    // Each part is limited to 255 characters.
    EXPECT_EQ(baseNameOf(std::string(255, 'n') + ".tr0"), std::string(255, 'n'));
    EXPECT_EQ(baseNameOf(std::string(256, 'n') + ".tr0"), "");
    EXPECT_EQ(baseNameOf("run." + std::string(254, 'e')), "run");
    EXPECT_EQ(baseNameOf("run." + std::string(255, 'e')), "");
    EXPECT_EQ(baseNameOf(std::string(254, 'd') + "/run.tr0"), "run");
    EXPECT_EQ(baseNameOf(std::string(255, 'd') + "/run.tr0"), "");
}

TEST(Folders, CreateOutputFolder) {
    InScratchFolder here;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(createOutputFolder("out"));
    EXPECT_TRUE(createOutputFolder("out"));
    EXPECT_TRUE(createOutputFolder("out/."));
    EXPECT_TRUE(std::filesystem::is_directory("out"));
    testkit::writeFile("file", "x");
    EXPECT_FALSE(createOutputFolder("file"));
    EXPECT_FALSE(createOutputFolder("a/b"));
    EXPECT_FALSE(createOutputFolder(""));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Cannot create file directory.\nCannot create a/b directory.\n"
              "Cannot create  directory.\n");
}

TEST(Folders, LeavesFolder) {
    // Drives, roots and the backslash only lead elsewhere on Windows.
    const bool windows = kPathSeparator == '\\';
    const struct {
        const char* relative;
        bool leaves;
    } cases[] = {{"../x.cur", true},     {"a/../../x.cur", true}, {"...cur", false},
                 {"a..b/c.cur", false},  {"a/b.cur", false},      {"/x.cur", windows},
                 {"..\\x.cur", windows}, {"C:x.cur", windows}};
    for (const auto& c : cases) EXPECT_EQ(leavesFolder(c.relative), c.leaves) << c.relative;
}

TEST(Folders, MissingSignalReportCountsFirst) {
    CurveRequestMap requests{{"b", {".", "b1"}}, {"a", {".", "a"}}, {"b", {".", "b2"}}};
    testing::internal::CaptureStderr();
    // As many written curves as requests: nothing is said, whatever the names.
    EXPECT_TRUE(reportMissingSignals(requests, {"x", "y", "z"}));
    EXPECT_FALSE(reportMissingSignals(requests, {"a"}));
    EXPECT_FALSE(reportMissingSignals(requests, {"a", "b"}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "The following requested signals are not exported:\nb\nb\n"
              "The following requested signals are not exported:\n");
}

}  // namespace
