// Binary numbers in a dataset's byte order, for every binary format reader:
// the post block layer and its users, and the tagged record reader.
#ifndef WAVTREX_FORMATS_BYTE_ORDER_H
#define WAVTREX_FORMATS_BYTE_ORDER_H

#include <bit>
#include <cstdint>
#include <cstring>

#include "../wfx.h"

// Binary numbers in the dataset's byte order: little-endian, or big-endian
// when the byte-swapped flag is set. Format readers decode through these and
// never swap bytes themselves.
inline bool blockSwapped(const WaveformDataset* ds) {
    // The file order differs from the host order when exactly one is big-endian.
    bool bigFile = (ds->fileMode & kModeBigEndian) != 0;
    return bigFile != (std::endian::native == std::endian::big);
}

// Shift forms that compilers turn into a single byte-swap instruction.
inline uint32_t swapBytes32(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

inline uint64_t swapBytes64(uint64_t v) {
    return (static_cast<uint64_t>(swapBytes32(static_cast<uint32_t>(v))) << 32) |
           swapBytes32(static_cast<uint32_t>(v >> 32));
}

inline uint32_t decodeWord(const void* p, bool swapped) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return swapped ? swapBytes32(v) : v;
}

inline uint64_t decodeLong(const void* p, bool swapped) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return swapped ? swapBytes64(v) : v;
}

inline int32_t decodeInt32(const void* p, bool swapped) {
    return static_cast<int32_t>(decodeWord(p, swapped));
}

inline float decodeFloat(const void* p, bool swapped) {
    return std::bit_cast<float>(decodeWord(p, swapped));
}

inline double decodeDouble(const void* p, bool swapped) {
    return std::bit_cast<double>(decodeLong(p, swapped));
}

#endif
