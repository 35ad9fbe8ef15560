// HSPICE measurement tables with the format code forced: detection never
// picks them. There is no data half, so only the header is reached.
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "wfx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::runReader(data, size, kFormatMeasureTable, fuzzing::kDetectMode);
    return 0;
}
