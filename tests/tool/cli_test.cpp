// The command-line forms, run through the real binary.
#include <gtest/gtest.h>

#include <regex>

#include "run_tool.h"

namespace {

testkit::RunResult run(const std::vector<std::string>& args, const testkit::ScratchDir& dir) {
    return testkit::runTool(WAVTREX_BINARY, args, dir.path());
}

const std::string kUsage = std::string("Usage: ") + WAVTREX_BINARY + " <tcc file> | [-t] <tr0 file>\n";

TEST(CommandLine, Banner) {
    testkit::ScratchDir dir;
    auto r = run({"-v"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(std::regex_match(
        r.out, std::regex("Wavtrex Version [0-9.]+, built on [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4}, "
                          "[0-9]{2}:[0-9]{2}:[0-9]{2}\nCopyright .+ All rights reserved\\.\n")))
        << r.out;
}

TEST(CommandLine, NoArgumentExitsOneSilently) {
    testkit::ScratchDir dir;
    auto r = run({}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

TEST(CommandLine, UsageForOtherForms) {
    testkit::ScratchDir dir;
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-v", "x"}, {"a", "b"}, {"-t", "a", "b"}, {"x", "y", "z"}}) {
        auto r = run(args, dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, kUsage);
    }
}

TEST(CommandLine, WaveformNamesThatDoNotExistFailTheRun) {
    testkit::ScratchDir dir;
    // Not the banner, not a configuration: each is a waveform file name.
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-V"}, {"--v"}, {"a.t"}, {"config.TCC"}, {"-t", "config.tcc"}, {""}}) {
        auto r = run(args, dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "Unable to complete conversion.\n") << args[0];
    }
}

}  // namespace
