// Token and line readers over gzip streams, and the last-error text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "internal.h"
#include "run_tool.h"

namespace {

// Opens text as a gz stream through a scratch file.
class TextStream {
  public:
    explicit TextStream(const std::string& text) {
        testkit::writeFile(dir_ / "input.txt", text);
        stream_ = gzopen((dir_ / "input.txt").c_str(), "rb");
    }
    ~TextStream() { gzclose(stream_); }
    gzFile get() const { return stream_; }

  private:
    testkit::ScratchDir dir_;
    gzFile stream_ = nullptr;
};

struct Token {
    std::string text;
    uint32_t lines;
    bool operator==(const Token&) const = default;
    friend void PrintTo(const Token& t, std::ostream* os) {
        *os << '"' << t.text << "\"/" << t.lines;
    }
};

std::vector<Token> allTokens(const std::string& input, const char* separators) {
    TextStream stream(input);
    std::vector<Token> tokens;
    for (;;) {
        uint32_t lines = 99;
        char* token = nextToken(stream.get(), separators, &lines);
        tokens.push_back({token != nullptr ? token : "<none>", lines});
        if (token == nullptr) return tokens;
    }
}

TEST(TokenReader, SplitsJoinsAndCountsLines) {
    EXPECT_EQ(allTokens("abc def", " "),
              (std::vector<Token>{{"abc", 0}, {"def", 0}, {"<none>", 0}}));
    // A newline inside a token joins its halves and is counted by that call.
    EXPECT_EQ(allTokens("ab\ncd ef", " "),
              (std::vector<Token>{{"abcd", 1}, {"ef", 0}, {"<none>", 0}}));
    // CR LF is one newline; a lone CR inside a token is dropped.
    EXPECT_EQ(allTokens("a\rb\r\nc", " "), (std::vector<Token>{{"abc", 1}, {"<none>", 0}}));
    // Only separators and newlines: none, with every newline counted.
    EXPECT_EQ(allTokens(" \n \n\n ", " "), (std::vector<Token>{{"<none>", 3}}));
    // The default set splits on commas and tabs; a newline never ends a token,
    // even though it is in the set.
    EXPECT_EQ(allTokens("a,b\tc\n\nd", nullptr),
              (std::vector<Token>{{"a", 0}, {"b", 0}, {"cd", 2}, {"<none>", 0}}));
    EXPECT_EQ(allTokens("", ""), (std::vector<Token>{{"<none>", 0}}));
    // Two carriage returns in a row: only the first is dropped.
    EXPECT_EQ(allTokens("a\r\rb", " "), (std::vector<Token>{{"a\rb", 0}, {"<none>", 0}}));
}

TEST(TokenReader, NewlineBeforeSeparatorIsCountedOnce) {
    // The newline ends "ab"'s skip; the next call consumes and counts it.
    EXPECT_EQ(allTokens("ab \n cd", " "),
              (std::vector<Token>{{"ab", 0}, {"cd", 1}, {"<none>", 0}}));
}

TEST(TokenReader, LongToken) {
    std::string big(301, 'q');
    auto tokens = allTokens(big + " z", " ");
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[0].text, big);
}

TEST(LineReader, ReturnsWholeLinesOnly) {
    TextStream stream("a\nb");
    char* line = nextLine(stream.get());
    ASSERT_NE(line, nullptr);
    EXPECT_STREQ(line, "a\n");
    free(line);
    EXPECT_EQ(nextLine(stream.get()), nullptr);

    std::string big(2000, 'x');
    TextStream longLine(big + "\r\n");
    line = nextLine(longLine.get());
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(std::string(line), big + "\r\n");
    free(line);
}

TEST(DiagnosticsDeathTest, FatalErrorPrintsAndExits) {
    EXPECT_EXIT(fatalError("not enough %s", "memory"), testing::ExitedWithCode(1),
                "^ERROR: not enough memory\n$");
    EXPECT_EXIT(nextToken(nullptr, " ", nullptr), testing::ExitedWithCode(1),
                "ERROR: Null file pointer!!");
}

}  // namespace
