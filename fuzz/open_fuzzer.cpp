// Any bytes through detection, open, read and close: reaches every reader.
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "wfx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::runReader(data, size, WFX_DETECT_FORMAT, fuzzing::kDetectMode);
    return 0;
}
