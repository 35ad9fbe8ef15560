// The fuzz targets, one build of this file each. WAVTREX_FUZZ_FORMAT is the
// data format forced on the reader, so header and data are reached without
// passing detection; the open target passes WFX_DETECT_FORMAT and reaches
// every reader. The post target (no WAVTREX_FUZZ_FORMAT) takes the format code
// (low two bits) and the file mode (next two: detect, text, binary, detect)
// from the first input byte; the rest is the file.
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
