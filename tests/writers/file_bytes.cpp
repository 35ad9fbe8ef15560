#include "file_bytes.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace writers {

std::string gzipBytes(const std::string& bytes) {
    z_stream z{};
    std::string out(compressBound(static_cast<uLong>(bytes.size())) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    // Window bits 15 + 16: a gzip wrapper instead of zlib's.
    bool ok = deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) ==
                  Z_OK &&
              deflate(&z, Z_FINISH) == Z_STREAM_END;
    if (deflateEnd(&z) != Z_OK || !ok) throw std::runtime_error("deflate failed");
    out.resize(z.total_out);
    return out;
}

void writeBytes(const std::string& path, const std::string& bytes, bool gzip) {
    std::string data = gzip ? gzipBytes(bytes) : bytes;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool ok = file != nullptr && std::fwrite(data.data(), 1, data.size(), file) == data.size();
    if (file != nullptr && std::fclose(file) != 0) ok = false;
    if (!ok) throw std::runtime_error("cannot write " + path);
}

std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

ScratchDir::ScratchDir(const std::filesystem::path& base) {
    std::string pattern = (base / "wavtrex-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
    path = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

}  // namespace writers
