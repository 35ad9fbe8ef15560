// Token and line readers over the dataset's gzip stream.
#include "text_reader.h"

#include <cstdlib>
#include <cstring>

#include "failure.h"
#include "growth.h"

namespace {

// One token buffer per thread: reading a file allocates nothing per token,
// the buffer only ever grows, and two threads can read two files at once.
struct TokenBuffer {
    char* text = nullptr;
    int32_t capacity = 300;
    ~TokenBuffer() { std::free(text); }
};
thread_local TokenBuffer token;

// Next character with one carriage return dropped, -1 at the end of input.
inline int readTokenChar(gzFile stream) {
    int c = gzgetc(stream);
    if (c == '\r') c = gzgetc(stream);
    return c;
}

// Byte lookup for the separator set, so the inner loop tests one table entry.
struct SeparatorSet {
    bool member[256] = {};
    explicit SeparatorSet(const char* separators) {
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(separators); *p; ++p) {
            member[*p] = true;
        }
    }
    bool has(int c) const { return c >= 0 && member[c]; }
};

// Reads past separators, counting the newlines among them; returns the first
// other character, or -1 at the end.
int skipSeparators(gzFile stream, const SeparatorSet& set, uint32_t* lines) {
    int c;
    while (set.has(c = readTokenChar(stream))) {
        if (c == '\n') ++*lines;
    }
    return c;
}

// Appends c to the token text, doubling its room when full.
void appendTokenChar(int32_t* length, int c) {
    if (*length >= token.capacity) {
        int32_t grown = token.capacity * 2;
        auto* bigger = static_cast<char*>(std::realloc(token.text, static_cast<size_t>(grown) + 1));
        if (bigger == nullptr) fatalError("not enough memory");
        token.text = bigger;
        token.capacity = grown;
    }
    token.text[(*length)++] = static_cast<char>(c);
}

}  // namespace

char* nextToken(gzFile stream, const char* separators, uint32_t* lineCount) {
    uint32_t lines = 0;
    if (lineCount != nullptr) *lineCount = 0;
    if (stream == nullptr) fatalError("Null file pointer!!");
    if (separators == nullptr || *separators == '\0') separators = ", \t\r\n";
    if (token.text == nullptr) {
        token.text = static_cast<char*>(std::malloc(static_cast<size_t>(token.capacity) + 1));
        if (token.text == nullptr) fatalError("not enough memory");
    }
    const SeparatorSet set(separators);

    int c = skipSeparators(stream, set, &lines);
    if (c == -1) {
        if (lineCount != nullptr) *lineCount = lines;
        return nullptr;
    }
    gzungetc(c, stream);

    int32_t length = 0;
    for (;;) {
        c = readTokenChar(stream);
        if (c == '\n') {
            // A newline joins the two halves of a token broken across lines.
            lines++;
            continue;
        }
        if (c == -1) break;
        if (set.has(c)) {
            c = skipSeparators(stream, set, &lines);
            if (c != -1) gzungetc(c, stream);
            if (length > 0) break;
            if (c == -1) break;
            continue;
        }
        appendTokenChar(&length, c);
    }
    token.text[length] = '\0';
    if (lineCount != nullptr) *lineCount = lines;
    return length > 0 ? token.text : nullptr;
}

char* nextLine(gzFile stream) {
    size_t size = 1024;
    auto* line = static_cast<char*>(std::malloc(size));
    if (line == nullptr) return nullptr;
    size_t length = 0;
    for (;;) {
        int c = gzgetc(stream);
        if (c == -1) {
            std::free(line);
            return nullptr;
        }
        // Out of memory reads like the end of input: the caller reports it.
        if (!growByDoubling(line, size, length + 2, size)) {
            std::free(line);
            return nullptr;
        }
        line[length++] = static_cast<char>(c);
        if (c == '\n') {
            line[length] = '\0';
            return line;
        }
    }
}

bool nextBoundedLine(gzFile stream, char* line) {
    return gzgets(stream, line, kBoundedLineSize) != nullptr;
}
