// Identifier map and array growth of per-signal formats; see per_signal.h.
#include "per_signal.h"

#include <cstdlib>

namespace {

constexpr int64_t kSignalIdFloor = 1 << 16;
constexpr int64_t kSignalIdCeiling = int64_t{1} << 30;
constexpr int64_t kRoomStep = 100;

}  // namespace

int64_t signalIdLimit(const WaveformDataset* ds) {
    int64_t limit = estimatedDataSize(ds);
    if (limit < kSignalIdFloor) limit = kSignalIdFloor;
    if (limit > kSignalIdCeiling) limit = kSignalIdCeiling;
    return limit;
}

bool makeSignalIdMap(WaveformDataset* ds, int64_t entries, int32_t fill, Failure outOfMemory) {
    auto* map = static_cast<int32_t*>(std::malloc(static_cast<size_t>(entries) * sizeof(int32_t)));
    if (map == nullptr) {
        reportFailure(ds, outOfMemory);
        return false;
    }
    for (int64_t k = 0; k < entries; ++k) map[k] = fill;
    ds->signalIdMap = map;
    ds->signalIdMapSize = static_cast<int32_t>(entries);
    return true;
}

int64_t grownSignalRoom(int64_t room) {
    return room + (room / 2 > kRoomStep ? room / 2 : kRoomStep);
}

bool growSignalArrays(WaveformDataset* ds, float** const* arrays, int count, int64_t grown,
                      int64_t* room) {
    auto bytes = static_cast<size_t>(grown) * sizeof(float);
    for (int k = 0; k < count; ++k) {
        auto* bigger = static_cast<float*>(std::realloc(*arrays[k], bytes));
        if (bigger == nullptr) {
            reportFailure(ds, Failure::kOutOfMemoryGrowth);
            return false;
        }
        *arrays[k] = bigger;
    }
    *room = grown;
    return true;
}
