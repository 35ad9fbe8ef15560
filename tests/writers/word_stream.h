// The byte stream of the binary event formats: 32-bit words in one byte
// order, cut into framed blocks afterwards. Tests damage a file by editing
// the stream or the framed string. Every add returns the stream, so calls chain.
#ifndef WAVTREX_TESTS_WRITERS_WORD_STREAM_H
#define WAVTREX_TESTS_WRITERS_WORD_STREAM_H

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

namespace writers {

template <typename Self>
class WordStream {
  public:
    explicit WordStream(bool big = false) : big_(big) {}
    bool big() const { return big_; }
    const std::string& bytes() const { return bytes_; }

    Self& uint32(uint32_t value) {
        for (int k = 0; k < 4; ++k)
            bytes_ += static_cast<char>(value >> (big_ ? 24 - 8 * k : 8 * k));
        return self();
    }
    Self& int32(int32_t value) { return uint32(static_cast<uint32_t>(value)); }
    Self& float32(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        return uint32(bits);
    }
    Self& floats(std::initializer_list<float> values) {
        for (float v : values) float32(v);
        return self();
    }
    Self& raw(const std::string& text) {
        bytes_ += text;
        return self();
    }
    // An int length, then the text.
    Self& counted(const std::string& text) {
        return int32(static_cast<int32_t>(text.size())).raw(text);
    }
    // Exactly width bytes: the text cut or padded.
    Self& padded(const std::string& text, size_t width, char pad) {
        std::string field = text.substr(0, width);
        field.resize(width, pad);
        return raw(field);
    }

    // The stream in blocks of at most blockSize bytes, each behind the head
    // words and its length, and followed by its length again when asked.
    std::string blocks(size_t blockSize, std::initializer_list<uint32_t> head, bool tail) const {
        Self out(big_);
        for (size_t start = 0; start < bytes_.size(); start += blockSize) {
            auto length = static_cast<uint32_t>(std::min(blockSize, bytes_.size() - start));
            for (uint32_t word : head) out.uint32(word);
            out.uint32(length).raw(bytes_.substr(start, length));
            if (tail) out.uint32(length);
        }
        return out.bytes();
    }

  private:
    Self& self() { return static_cast<Self&>(*this); }
    bool big_;
    std::string bytes_;
};

}  // namespace writers

#endif
