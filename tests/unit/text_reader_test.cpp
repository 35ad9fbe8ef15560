// The token reader over gzip streams, and the fatal reporter. (The line
// reader is read through measurement tables.)
#include <gtest/gtest.h>

#include <string>

#include "file_bytes.h"
#include "internal.h"

namespace {

// Every token of input as "text/lines", then "-/lines" for the end.
std::string tokens(const std::string& input, const char* separators) {
    writers::ScratchDir dir;
    writers::writeBytes((dir / "in").string(), input, false);
    gzFile stream = gzopen((dir / "in").c_str(), "rb");
    std::string all;
    for (;;) {
        uint32_t lines = 99;
        const char* token = nextToken(stream, separators, &lines);
        all += std::string(token != nullptr ? token : "-") + "/" + std::to_string(lines) + " ";
        if (token == nullptr) break;
    }
    gzclose(stream);
    return all;
}

TEST(TokenReader, SplitsJoinsAndCountsLines) {
    const struct {
        std::string input;
        const char* separators;
        std::string expected;
    } rows[] = {
        {"abc def", " ", "abc/0 def/0 -/0 "},
        // A newline inside a token joins its halves and is counted there.
        {"ab\ncd ef", " ", "abcd/1 ef/0 -/0 "},
        // CR LF is one newline; a lone CR inside a token is dropped, only the
        // first of two.
        {"a\rb\r\nc", " ", "abc/1 -/0 "},
        {"a\r\rb", " ", "a\rb/0 -/0 "},
        {" \n \n\n ", " ", "-/3 "},
        // The default set splits on commas and tabs; a newline never ends a token.
        {"a,b\tc\n\nd", nullptr, "a/0 b/0 cd/2 -/0 "},
        {"", "", "-/0 "},
        // The newline ends "ab"'s skip; the next call counts it.
        {"ab \n cd", " ", "ab/0 cd/1 -/0 "},
        {std::string(301, 'q') + " z", " ", std::string(301, 'q') + "/0 z/0 -/0 "},
    };
    for (const auto& row : rows) EXPECT_EQ(tokens(row.input, row.separators), row.expected);
}

TEST(DiagnosticsDeathTest, FatalErrorPrintsAndExits) {
    EXPECT_EXIT(fatalError("not enough %s", "memory"), testing::ExitedWithCode(1),
                "^ERROR: not enough memory\n$");
    EXPECT_EXIT(nextToken(nullptr, " ", nullptr), testing::ExitedWithCode(1),
                "ERROR: Null file pointer!!");
}

}  // namespace
