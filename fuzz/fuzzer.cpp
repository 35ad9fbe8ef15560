// The fuzz targets, one build of this file each with the data format forced
// on the reader in WAVTREX_FUZZ_FORMAT (WFX_DETECT_FORMAT: detection too).
// Without it, the post target: the first input byte picks the format code (low
// two bits) and the file mode (next two: detect, text, binary, detect).
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "wfx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#ifndef WAVTREX_FUZZ_FORMAT
    if (size < 1) return 0;
    static const uint32_t kCodes[] = {kFormatPost9601, kFormatPost9007, kFormatPost2001,
                                      kFormatPost2013};
    static const uint8_t kModes[] = {0, kModeText, kModeBinary, 0};
    fuzzing::runReader(data + 1, size - 1, kCodes[data[0] & 3], kModes[(data[0] >> 2) & 3]);
#else
    fuzzing::runReader(data, size, WAVTREX_FUZZ_FORMAT, 0);
#endif
    return 0;
}
