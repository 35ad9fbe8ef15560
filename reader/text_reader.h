// The token and line readers of the text formats (text_reader.cpp).
#ifndef WAVTREX_READER_TEXT_READER_H
#define WAVTREX_READER_TEXT_READER_H

#include <zlib.h>

#include <cstdint>

// Next token separated by any byte of separators (NULL or "" means ", \t\r\n").
// A newline inside a token is dropped and joins the two halves. *lineCount is
// set to the newlines consumed. Returns this thread's token buffer (valid
// until the next call) or NULL at the end of input.
char* nextToken(gzFile stream, const char* separators, uint32_t* lineCount);

// Next whole line with its newline, malloc'ed and owned by the caller; NULL at
// the end of input (a last line without newline is dropped) or out of memory.
char* nextLine(gzFile stream);

// Bytes of a bounded line: 255 characters and the NUL.
constexpr int kBoundedLineSize = 256;

// The next line, or its next 255 characters when it is longer (the rest comes
// with the next call), into line (kBoundedLineSize bytes), newline kept.
// False at the end of input.
bool nextBoundedLine(gzFile stream, char* line);

#endif  // WAVTREX_READER_TEXT_READER_H
