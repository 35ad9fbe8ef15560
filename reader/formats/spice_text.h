// Text reading shared by the SPICE raw and CSDF dialect readers: a buffered
// line reader over the gzip stream that knows each byte's stream position,
// and the number parsers.
#ifndef WAVTREX_READER_FORMATS_SPICE_TEXT_H
#define WAVTREX_READER_FORMATS_SPICE_TEXT_H

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace spice {

constexpr size_t kScanBuffer = size_t{1} << 16;

// Reads the stream through a buffer and keeps the stream position of every
// byte, so a plot's data offset is known exactly. UTF-16LE text is decoded
// to UTF-8 as lines are taken.
class Scanner {
  public:
    Scanner(gzFile in, bool utf16) : in_(in), utf16_(utf16), buffer_(kScanBuffer) {}

    int64_t tell() const { return base_ + static_cast<int64_t>(pos_); }

    bool seek(int64_t offset) {
        pos_ = length_ = 0;
        base_ = offset;
        ended_ = false;
        return gzseek(in_, offset, SEEK_SET) == offset;
    }

    // The next line without its LF (and a CR before it); a last line without
    // LF counts. A line longer than the buffer comes back in pieces. False at
    // the end of input.
    bool line(std::string_view& out) { return utf16_ ? wideLine(out) : narrowLine(out); }

    // True when a next non-blank line exists; it is left in out.
    bool nextFilled(std::string_view& out) {
        while (line(out)) {
            if (out.find_first_not_of(" \t\r\f\v") != std::string_view::npos) return true;
        }
        return false;
    }

  private:
    // Moves the unread bytes to the front and reads more; false when none came.
    bool fill() {
        if (pos_ > 0) {
            std::memmove(buffer_.data(), buffer_.data() + pos_, length_ - pos_);
            base_ += static_cast<int64_t>(pos_);
            length_ -= pos_;
            pos_ = 0;
        }
        if (ended_ || length_ == buffer_.size()) return false;
        int n =
            gzread(in_, buffer_.data() + length_, static_cast<unsigned>(buffer_.size() - length_));
        if (n <= 0) {
            ended_ = true;
            return false;
        }
        length_ += static_cast<size_t>(n);
        return true;
    }

    static std::string_view trimCr(std::string_view s) {
        return !s.empty() && s.back() == '\r' ? s.substr(0, s.size() - 1) : s;
    }

    bool narrowLine(std::string_view& out) {
        for (size_t searched = 0;;) {
            const char* start = buffer_.data() + pos_;
            const void* lf = std::memchr(start + searched, '\n', length_ - pos_ - searched);
            if (lf != nullptr) {
                size_t n = static_cast<size_t>(static_cast<const char*>(lf) - start);
                out = trimCr(std::string_view(start, n));
                pos_ += n + 1;
                return true;
            }
            searched = length_ - pos_;
            if (!fill()) {
                if (pos_ == length_) return false;
                out = trimCr(std::string_view(buffer_.data() + pos_, length_ - pos_));
                pos_ = length_;
                return true;
            }
            searched = std::min(searched, length_ - pos_);
        }
    }

    bool wideLine(std::string_view& out) {
        decoded_.clear();
        bool any = false;
        for (;;) {
            if (length_ - pos_ < 2 && !fill() && length_ - pos_ < 2) {
                pos_ = length_;  // an odd last byte is no character
                out = trimCr(decoded_);
                return any;
            }
            any = true;
            auto unit = static_cast<unsigned>(static_cast<unsigned char>(buffer_[pos_])) |
                        static_cast<unsigned>(static_cast<unsigned char>(buffer_[pos_ + 1])) << 8;
            pos_ += 2;
            if (unit == '\n') break;
            if (decoded_.size() >= kScanBuffer) continue;  // an endless line is cut
            if (unit < 0x80) {
                decoded_ += static_cast<char>(unit);
            } else if (unit < 0x800) {
                decoded_ += static_cast<char>(0xC0 | (unit >> 6));
                decoded_ += static_cast<char>(0x80 | (unit & 0x3F));
            } else {
                // Surrogate halves are kept one by one: names stay readable.
                decoded_ += static_cast<char>(0xE0 | (unit >> 12));
                decoded_ += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
                decoded_ += static_cast<char>(0x80 | (unit & 0x3F));
            }
        }
        out = trimCr(decoded_);
        return true;
    }

    gzFile in_;
    bool utf16_;
    std::vector<char> buffer_;
    size_t pos_ = 0, length_ = 0;
    int64_t base_ = 0;
    bool ended_ = false;
    std::string decoded_;
};

inline std::string_view trim(std::string_view s) {
    size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

inline bool parseInt(std::string_view s, int64_t* value) {
    s = trim(s);
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), *value);
    return error == std::errc() && end == s.data() + s.size();
}

// A number at the start of s (blanks skipped); s moves past it.
inline bool takeNumber(std::string_view& s, double* value) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i < s.size() && s[i] == '+') ++i;
    auto [end, error] = std::from_chars(s.data() + i, s.data() + s.size(), *value);
    if (error != std::errc()) {
        // from_chars refuses magnitudes beyond double; the value is then lost either way.
        if (error != std::errc::result_out_of_range) return false;
        *value = 0.0;
    }
    s.remove_prefix(static_cast<size_t>(end - s.data()));
    return true;
}

// A number with SPICE's scale suffix ("1k", "2.2meg", "10u"), as .param
// lines and step names write them.
inline bool takeScaledNumber(std::string_view& s, double* value) {
    if (!takeNumber(s, value)) return false;
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

// A complex value: "re,im", "re, im" or "re,<TAB>im".
inline bool takeComplex(std::string_view& s, double* re, double* im) {
    if (!takeNumber(s, re)) return false;
    s = trim(s);
    if (s.empty() || s[0] != ',') return false;
    s.remove_prefix(1);
    return takeNumber(s, im);
}

}  // namespace spice

#endif  // WAVTREX_READER_FORMATS_SPICE_TEXT_H
