// Writing generated waveform bytes to disk, plain or gzip-compressed.
#include "file_bytes.h"

#include <zlib.h>

#include <cstdio>
#include <stdexcept>

namespace writers {

std::string gzipBytes(const std::string& bytes) {
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string out(deflateBound(&z, static_cast<uLong>(bytes.size())) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int result = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (result != Z_STREAM_END) throw std::runtime_error("deflate failed");
    return out;
}

void writeBytes(const std::string& path, const std::string& bytes, bool gzip) {
    std::string data = gzip ? gzipBytes(bytes) : bytes;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot write " + path);
    size_t written = std::fwrite(data.data(), 1, data.size(), file);
    bool closed = std::fclose(file) == 0;
    if (written != data.size() || !closed) throw std::runtime_error("cannot write " + path);
}

}  // namespace writers
