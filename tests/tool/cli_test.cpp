// The version banner, whose build date no golden case can hold; the other
// command-line forms are golden cases.
#include <gtest/gtest.h>

#include <regex>

#include "run_tool.h"

namespace {

TEST(CommandLine, Banner) {
    testkit::ScratchDir dir;
    auto r = testkit::runTool(WAVTREX_BINARY, {"-v"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(std::regex_match(
        r.out, std::regex("Wavtrex Version [0-9.]+, built on [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4}, "
                          "[0-9]{2}:[0-9]{2}:[0-9]{2}\nCopyright .+ All rights reserved\\.\n")))
        << r.out;
}

}  // namespace
