// HSPICE post files with the version forced: the first input byte picks the
// format code (low two bits) and the file mode (next two bits: detect, text,
// binary, detect); the rest is the file.
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "wfx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const uint32_t kCodes[] = {kFormatPost9601, kFormatPost9007, kFormatPost2001,
                                      kFormatPost2013};
    static const uint8_t kModes[] = {fuzzing::kDetectMode, kModeText, kModeBinary,
                                     fuzzing::kDetectMode};
    fuzzing::runReader(data + 1, size - 1, kCodes[data[0] & 3], kModes[(data[0] >> 2) & 3]);
    return 0;
}
