// Shared by every test-file writer: bytes to a file, plain or gzip-compressed.
#ifndef WAVTREX_TESTS_WRITERS_FILE_BYTES_H
#define WAVTREX_TESTS_WRITERS_FILE_BYTES_H

#include <string>

namespace writers {

// Writes bytes to path, gzip-compressed when asked. Throws when it cannot.
void writeBytes(const std::string& path, const std::string& bytes, bool gzip);

// gzip-compresses bytes in memory.
std::string gzipBytes(const std::string& bytes);

}  // namespace writers

#endif
