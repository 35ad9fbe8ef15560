// The last-error text and the fatal reporter.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "internal.h"

namespace {

char lastErrorText[kLastErrorSize];
char fatalText[512];

}  // namespace

void storeMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    // vsnprintf cuts a longer message to 1023 characters and the NUL.
    std::vsnprintf(lastErrorText, sizeof lastErrorText, format, args);
    va_end(args);
}

void clearMessage() { lastErrorText[0] = '\0'; }

const char* wfxLastErrorText(void) { return lastErrorText; }

void fatalError(const char* format, ...) {
    std::fputs("ERROR: ", stderr);
    va_list args;
    va_start(args, format);
    std::vsnprintf(fatalText, sizeof fatalText, format, args);
    va_end(args);
    std::fputs(fatalText, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    std::exit(1);
}
