// The scanner and number rules of text_scanner.h.
#include "text_scanner.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace scan {

namespace {

constexpr size_t kScanBuffer = size_t{1} << 16;
constexpr const char* kBlanks = " \t\r\f\v";

std::string_view trimCr(std::string_view s) {
    return !s.empty() && s.back() == '\r' ? s.substr(0, s.size() - 1) : s;
}

// Appends a UTF-16 unit as UTF-8. Surrogate halves are kept one by one:
// names stay readable.
void appendUtf8(std::string& to, unsigned unit) {
    if (unit < 0x80) {
        to += static_cast<char>(unit);
    } else if (unit < 0x800) {
        to += static_cast<char>(0xC0 | (unit >> 6));
        to += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
        to += static_cast<char>(0xE0 | (unit >> 12));
        to += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        to += static_cast<char>(0x80 | (unit & 0x3F));
    }
}

}  // namespace

Scanner::Scanner(gzFile in, bool utf16) : in_(in), utf16_(utf16), buffer_(kScanBuffer) {}

bool Scanner::seek(int64_t offset) {
    pos_ = length_ = 0;
    base_ = offset;
    ended_ = false;
    rest_ = {};
    return gzseek(in_, offset, SEEK_SET) == offset;
}

bool Scanner::line(std::string_view& out) {
    return utf16_ ? wideLine(out) : narrowLine(out);
}

bool Scanner::nextFilled(std::string_view& out) {
    while (line(out)) {
        if (out.find_first_not_of(kBlanks) != std::string_view::npos) return true;
    }
    return false;
}

bool Scanner::token(std::string_view& out) {
    for (;;) {
        const size_t start = rest_.find_first_not_of(kBlanks);
        if (start != std::string_view::npos) {
            const size_t end = std::min(rest_.find_first_of(kBlanks, start), rest_.size());
            out = rest_.substr(start, end - start);
            rest_ = rest_.substr(end);
            return true;
        }
        if (!line(rest_)) return false;
    }
}

bool Scanner::read(void* into, size_t bytes) {
    auto* at = static_cast<char*>(into);
    const size_t buffered = std::min(bytes, length_ - pos_);
    std::memcpy(at, buffer_.data() + pos_, buffered);
    pos_ += buffered;
    at += buffered;
    bytes -= buffered;
    while (bytes > 0) {
        const auto piece = static_cast<unsigned>(std::min<size_t>(bytes, size_t{1} << 30));
        const int n = gzread(in_, at, piece);
        if (n <= 0) return false;
        base_ += n;
        at += n;
        bytes -= static_cast<size_t>(n);
    }
    return true;
}

bool Scanner::readableAt(int64_t offset) {
    unsigned char byte = 0;
    return offset >= 0 && seek(offset) && read(&byte, 1);
}

// Moves the unread bytes to the front and reads more; false when none came.
bool Scanner::fill() {
    if (pos_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + pos_, length_ - pos_);
        base_ += static_cast<int64_t>(pos_);
        length_ -= pos_;
        pos_ = 0;
    }
    if (ended_ || length_ == buffer_.size()) return false;
    const int n =
        gzread(in_, buffer_.data() + length_, static_cast<unsigned>(buffer_.size() - length_));
    if (n <= 0) {
        ended_ = true;
        return false;
    }
    length_ += static_cast<size_t>(n);
    return true;
}

bool Scanner::narrowLine(std::string_view& out) {
    lineEnded_ = true;
    for (size_t searched = 0;;) {
        const char* start = buffer_.data() + pos_;
        const void* lf = std::memchr(start + searched, '\n', length_ - pos_ - searched);
        if (lf != nullptr) {
            const auto n = static_cast<size_t>(static_cast<const char*>(lf) - start);
            out = trimCr(std::string_view(start, n));
            pos_ += n + 1;
            return true;
        }
        searched = length_ - pos_;
        if (!fill()) {
            if (pos_ == length_) return false;
            out = trimCr(std::string_view(buffer_.data() + pos_, length_ - pos_));
            lineEnded_ = !ended_;  // a full buffer goes on in the next piece
            pos_ = length_;
            return true;
        }
        searched = std::min(searched, length_ - pos_);
    }
}

bool Scanner::wideLine(std::string_view& out) {
    decoded_.clear();
    lineEnded_ = true;
    bool any = false;
    for (;;) {
        if (length_ - pos_ < 2 && !fill() && length_ - pos_ < 2) {
            pos_ = length_;  // an odd last byte is no character
            lineEnded_ = false;
            out = trimCr(decoded_);
            return any;
        }
        any = true;
        const auto unit = static_cast<unsigned>(static_cast<unsigned char>(buffer_[pos_])) |
                          static_cast<unsigned>(static_cast<unsigned char>(buffer_[pos_ + 1])) << 8;
        pos_ += 2;
        if (unit == '\n') break;
        if (decoded_.size() < kScanBuffer) appendUtf8(decoded_, unit);  // an endless line is cut
    }
    out = trimCr(decoded_);
    return true;
}

std::string_view trim(std::string_view s) {
    const size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

bool parseInt(std::string_view s, int64_t* value) {
    s = trim(s);
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), *value);
    return error == std::errc() && end == s.data() + s.size();
}

bool wholeNumber(std::string_view s, double* value) {
    const bool plus = !s.empty() && s[0] == '+';
    if (plus) s.remove_prefix(1);
    if (s.empty() || (plus && s[0] == '-')) return false;
    auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), *value);
    if (end != s.data() + s.size()) return false;
    if (error == std::errc::result_out_of_range) {
        // from_chars leaves the value: strtod gives +-inf beyond double and 0 below it.
        *value = std::strtod(std::string(s).c_str(), nullptr);
        return true;
    }
    return error == std::errc();
}

bool wholeComplex(std::string_view s, double* re, double* im) {
    const size_t comma = s.find(',');
    return comma != std::string_view::npos && wholeNumber(trim(s.substr(0, comma)), re) &&
           wholeNumber(trim(s.substr(comma + 1)), im);
}

bool takeScaledNumber(std::string_view& s, double* value) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i < s.size() && s[i] == '+') ++i;
    auto [end, error] = std::from_chars(s.data() + i, s.data() + s.size(), *value);
    if (error != std::errc()) return false;
    s.remove_prefix(static_cast<size_t>(end - s.data()));
    std::string suffix;
    for (char c : s.substr(0, 3)) suffix += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (suffix.starts_with("meg")) {
        *value *= 1e6;
        return true;
    }
    static constexpr struct {
        char letter;
        double scale;
    } kScales[] = {{'f', 1e-15}, {'p', 1e-12}, {'n', 1e-9}, {'u', 1e-6},
                   {'m', 1e-3},  {'k', 1e3},   {'g', 1e9},  {'t', 1e12}};
    for (const auto& scale : kScales) {
        if (!suffix.empty() && suffix[0] == scale.letter) *value *= scale.scale;
    }
    return true;
}

}  // namespace scan
