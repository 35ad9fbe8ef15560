// Shared by every test-file writer and test: bytes to and from files, plain or
// gzip-compressed, in scratch folders.
#ifndef WAVTREX_TESTS_WRITERS_FILE_BYTES_H
#define WAVTREX_TESTS_WRITERS_FILE_BYTES_H

#include <filesystem>
#include <string>

namespace writers {

// Writes bytes to path, gzip-compressed when asked. Throws when it cannot.
void writeBytes(const std::string& path, const std::string& bytes, bool gzip);

// gzip-compresses bytes in memory.
std::string gzipBytes(const std::string& bytes);

std::string readBytes(const std::filesystem::path& path);

// A fresh folder under base, by default the system temp folder; removed on
// destruction.
struct ScratchDir {
    explicit ScratchDir(const std::filesystem::path& base = std::filesystem::temp_directory_path());
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    std::filesystem::path operator/(const std::string& name) const { return path / name; }
    std::filesystem::path path;
};

}  // namespace writers

#endif
