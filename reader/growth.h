// Array growth by doubling, shared by the core and the format readers.
#ifndef WAVTREX_READER_GROWTH_H
#define WAVTREX_READER_GROWTH_H

#include <cstdint>
#include <cstdlib>
#include <limits>

// The capacity that holds needed elements, doubling from capacity (first when
// it is 0). 0 when that would pass limit.
inline size_t doubledCapacity(size_t capacity, size_t needed, size_t first,
                              size_t limit = SIZE_MAX / 2) {
    size_t grown = capacity > 0 ? capacity : first;
    while (grown < needed) {
        if (grown > limit / 2) return 0;
        grown *= 2;
    }
    return grown > limit ? 0 : grown;
}

// Grows array to hold needed elements, doubling its capacity (from first).
// False when out of memory; the array and capacity are then unchanged.
template <typename T, typename N>
bool growByDoubling(T*& array, N& capacity, size_t needed, size_t first) {
    if (needed <= static_cast<size_t>(capacity)) return true;
    constexpr size_t kByCount = static_cast<size_t>(std::numeric_limits<N>::max());
    constexpr size_t kByBytes = SIZE_MAX / sizeof(T);
    size_t grown = doubledCapacity(static_cast<size_t>(capacity), needed, first,
                                   kByCount < kByBytes ? kByCount : kByBytes);
    if (grown == 0) return false;
    void* bigger = std::realloc(array, grown * sizeof(T));
    if (bigger == nullptr) return false;
    array = static_cast<T*>(bigger);
    capacity = static_cast<N>(grown);
    return true;
}

#endif  // WAVTREX_READER_GROWTH_H
