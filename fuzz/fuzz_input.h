// Shared driver of the fuzz targets: the reader opens files by path, so each
// input is written to one scratch file per process and run through open,
// read, selective reads of the odd and of the even signals, release and close.
#ifndef WAVTREX_FUZZ_INPUT_H
#define WAVTREX_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>

namespace fuzzing {

// Runs the bytes through the reader with the given data format
// (WFX_DETECT_FORMAT for detection) and file mode (0 detects). Inputs that
// start with the gzip magic get a ".gz" name, which the readers take into
// account when they size their arrays.
void runReader(const uint8_t* data, size_t size, uint32_t format, uint8_t mode);

}  // namespace fuzzing

#endif
