// The line and token scanner of the SPICE raw and CSDF dialect readers, and
// the number rules of their values (text_scanner.cpp). The converter's formats
// read through text_reader.h, whose token rules their files are written for.
#ifndef WAVTREX_READER_TEXT_SCANNER_H
#define WAVTREX_READER_TEXT_SCANNER_H

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace scan {

// Reads the stream through a buffer and keeps the stream position of every
// byte, so a plot's data offset is known exactly. UTF-16LE text is decoded
// to UTF-8 as lines are taken. Views it hands out hold until its next call.
class Scanner {
  public:
    Scanner(gzFile in, bool utf16);

    int64_t tell() const { return base_ + static_cast<int64_t>(pos_); }

    // Moves to a stream position; false when the stream cannot go there.
    bool seek(int64_t offset);

    // The next line without its LF (and a CR before it); a last line without
    // LF counts, and lineEnded() then says false. A line longer than the
    // buffer comes back in pieces. False at the end of input.
    bool line(std::string_view& out);
    bool lineEnded() const { return lineEnded_; }

    // True when a next non-blank line exists; it is left in out.
    bool nextFilled(std::string_view& out);

    // The next blank-separated word, across lines; false at the end of input.
    bool token(std::string_view& out);

    // Reads bytes from the position on; false when the file ends first.
    bool read(void* into, size_t bytes);

    // True when the stream holds a byte at offset (the scanner then stands
    // after it).
    bool readableAt(int64_t offset);

  private:
    bool fill();
    bool narrowLine(std::string_view& out);
    bool wideLine(std::string_view& out);

    gzFile in_;
    bool utf16_;
    std::vector<char> buffer_;
    size_t pos_ = 0, length_ = 0;
    int64_t base_ = 0;
    bool ended_ = false;
    bool lineEnded_ = true;
    std::string decoded_;
    std::string_view rest_;  // what token() has not taken of the current line
};

std::string_view trim(std::string_view s);

// A whole decimal integer (blanks around and a leading '+' allowed).
bool parseInt(std::string_view s, int64_t* value);

// A value token: the whole of s must be one number as C writes a double
// (sign, digits, point, exponent; "inf" and "nan" too). Magnitudes beyond
// double read as +-inf, below it as 0. False for anything else: "1.2.3",
// "1e", "0x10", "1.5abc", "".
bool wholeNumber(std::string_view s, double* value);

// A complex value token pair: "re,im", "re, im" or "re,<TAB>im", each a
// whole number.
bool wholeComplex(std::string_view s, double* re, double* im);

// A number at the start of s (blanks skipped), with SPICE's scale suffix
// ("1k", "2.2meg", "10u"), as .param lines and step names write them; s
// moves past the number.
bool takeScaledNumber(std::string_view& s, double* value);

}  // namespace scan

#endif  // WAVTREX_READER_TEXT_SCANNER_H
