// Releasing the value holders of a read: the float and the double holders
// share one layout, so one template frees either.
#ifndef WAVTREX_READER_VALUE_HOLDERS_H
#define WAVTREX_READER_VALUE_HOLDERS_H

#include <cstdint>
#include <cstdlib>
#include <cstring>

// Frees entry i of a holder set, every sweep slot of it.
template <typename T>
void releaseEntry(T*** set, int32_t i, int32_t slots) {
    if (set == nullptr || set[i] == nullptr) return;
    for (int32_t s = 0; s < slots; ++s) std::free(set[i][s]);
    std::free(set[i]);
    set[i] = nullptr;
}

// Frees every array of *values and clears it. Data readers may leave any
// entry NULL; every sweep slot is freed.
template <typename Values>
void releaseHolders(Values* values) {
    if (values == nullptr) return;
    auto releaseSet = [&](auto*** set, int32_t entries) {
        if (set == nullptr) return;
        for (int32_t i = 0; i < entries; ++i) releaseEntry(set, i, values->sweepSlots);
        std::free(set);
    };
    releaseSet(values->real, values->signalCount);
    releaseSet(values->imag, values->signalCount);
    releaseSet(values->axis, values->holderCount);
    if (values->counts != nullptr) {
        for (int32_t i = 0; i < values->holderCount; ++i) std::free(values->counts[i]);
        std::free(values->counts);
    }
    if (values->sweepValues != nullptr) {
        for (int32_t s = 0; s < values->sweepSlots; ++s) std::free(values->sweepValues[s]);
        std::free(values->sweepValues);
    }
    std::memset(values, 0, sizeof *values);
}

#endif  // WAVTREX_READER_VALUE_HOLDERS_H
