// CSDF text files with the format code forced, so header and data are
// reached without passing detection.
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "wfx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::runReader(data, size, kFormatCsdf, fuzzing::kDetectMode);
    return 0;
}
