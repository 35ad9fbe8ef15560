// HSPICE post file writer for tests, fuzz seeds, the demo and the benchmarks.
#include "post_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace writers {

namespace {

std::string fitted(const std::string& text, size_t width) {
    std::string out = text.substr(0, width);
    out.resize(width, ' ');
    return out;
}

std::string number(const char* format, int value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string word(uint32_t v, bool bigEndian) {
    std::string out;
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(v >> (bigEndian ? 24 - 8 * i : 8 * i)));
    return out;
}

bool isComplexType(int code) {
    static const int kComplex[] = {1, 8, 15, 22, 29, 36, 43, 78, 190, 191, 192, 193};
    return std::find(std::begin(kComplex), std::end(kComplex), code) != std::end(kComplex);
}

// The header bytes; *namesBegin is where the names start (blocks may not cut them).
std::string buildHeader(const PostFile& f, size_t* namesBegin) {
    static const char* const kVersions[] = {"9007", "9601", "2001", "2013"};
    const std::string version = kVersions[static_cast<int>(f.version)];
    bool text = f.form == PostForm::text;
    int main = 1;
    for (const PostVariable& v : f.signals) main += v.probe ? 0 : 1;
    int probes = static_cast<int>(f.signals.size()) + 1 - main;
    std::string h =
        f.countEscape && !text ? word(main | 0x80000000u, false) : number("%04d", main % 10000);
    h += number("%04d", probes % 10000) + number("%04d", static_cast<int>(f.sweepNames.size()));
    h += main >= 10000 && !f.countEscape ? number("%04d", main / 10000) : text ? "0000" : "    ";
    h += f.version >= PostVersion::v2001 ? number("%04d", probes / 10000) + version
                                         : version + "    ";
    h += fitted(f.title, 64) + "12/06/2602:30:00        " + std::string(72, ' ');
    h += number("%4d", f.sweepNames.empty() ? 0 : static_cast<int>(f.tables.size())) +
         std::string(76, ' ') + (text ? "\n" : "");
    h += number("%8d", f.axisTypeCode);
    for (size_t i = 0; i < f.signals.size(); ++i)
        h += (text && (i + 1) % 10 == 0 ? "\n" : "") + number("%8d", f.signals[i].typeCode);
    h += text ? "\n" : "";
    *namesBegin = h.size();
    std::vector<std::string> names{f.axisName};
    for (const PostVariable& v : f.signals) names.push_back(v.name);
    names.insert(names.end(), f.sweepNames.begin(), f.sweepNames.end());
    for (const std::string& name : names) {
        h += f.version == PostVersion::v9007 ? fitted(name, 16) : name + " ";
        if (text && f.version != PostVersion::v9007 && h.size() - h.rfind('\n') > 71) h += "\n";
    }
    return h + (text ? "$&%#\n" : "$&%#    ");
}

}  // namespace

size_t postRowWidth(const PostFile& f) {
    size_t width = 1;
    for (const PostVariable& v : f.signals)
        width += f.axisTypeCode == 2 && !v.probe && isComplexType(v.typeCode) ? 2 : 1;
    return width;
}

// Turns the header and the values into framed bytes.
struct PostStreamWriter::Encoder {
    PostFile f;
    std::string out;      // bytes ready for the file
    std::string pending;  // binary data not yet framed
    int onLine = 0;       // text values on the current line

    explicit Encoder(const PostFile& file) : f(file) {
        size_t namesBegin = 0;
        const std::string h = buildHeader(f, &namesBegin);
        f.tables.clear();
        if (f.form == PostForm::text) {
            out = h;
            return;
        }
        if (f.form == PostForm::byteFramed) out = "K";
        auto limit = static_cast<size_t>(f.headerBlockSize);
        size_t from = 0;
        for (size_t cut = from + limit; h.size() - from > limit; from = cut, cut = from + limit) {
            while (cut > std::max(from + 1, namesBegin) && h[cut - 1] != ' ') cut--;
            if (cut == from + 1) cut = from + limit;
            frame(h.substr(from, cut - from));
        }
        pending = h.substr(from);
        if (f.dataInNewBlock || f.form == PostForm::byteFramed) flush(pending.size());
    }

    // One block: word-framed, or a byte-framed record in pieces of 128 bytes
    // (0x81 where another piece follows).
    void frame(const std::string& data) {
        auto length = static_cast<uint32_t>(data.size());
        if (f.form == PostForm::wordFramed) {
            bool big = f.bigEndian;
            out += word(4, big) + word(0, big) + word(4, big) + word(length, big) + data +
                   word(length, big);
        }
        for (size_t from = 0; f.form == PostForm::byteFramed && from < data.size(); from += 128) {
            if (from == 0) out += std::string("\x04\0\0\0\0\x04", 6);
            size_t piece = std::min<size_t>(data.size() - from, 128);
            char mark = static_cast<char>(data.size() - from > 128 ? 0x81 : piece);
            out += mark + data.substr(from, piece) + mark;
        }
    }

    // Frames the pending data in blocks of `size` while at least `size` bytes are left.
    void flush(size_t size) {
        size_t from = 0;
        for (; size > 0 && pending.size() - from >= size; from += size)
            frame(pending.substr(from, size));
        pending.erase(0, from);
    }

    void put(double v, bool axis) {
        if (f.form == PostForm::text) {
            int width = f.version == PostVersion::v2001 ? 13 : 11;
            char field[64];
            std::snprintf(field, sizeof field, "%*.*E", width, width - 7, v);
            out += field;
            if (++onLine % 7 == 0) out += "\n";
            return;
        }
        bool wide = f.version == PostVersion::v2001 || (axis && f.version >= PostVersion::v2001);
        auto narrowed = static_cast<float>(v);
        std::string bytes(wide ? 8 : 4, '\0');
        std::memcpy(bytes.data(), wide ? static_cast<const void*>(&v) : &narrowed, bytes.size());
        // The tests run on little-endian hosts only.
        if (f.bigEndian && f.form == PostForm::wordFramed) std::reverse(bytes.begin(), bytes.end());
        pending += bytes;
        flush(static_cast<size_t>(f.blockSize));
    }

    void finish() {
        if (f.form == PostForm::text && onLine % 7 != 0) out += "\n";
        flush(pending.size());
        if (f.form == PostForm::byteFramed) out += "\x82";
    }
};

std::string buildPostFile(const PostFile& f) {
    PostStreamWriter::Encoder encoder(f);
    size_t width = postRowWidth(f);
    for (const PostTable& table : f.tables) {
        for (double p : table.params) encoder.put(p, false);
        for (size_t i = 0; i < table.values.size(); ++i)
            encoder.put(table.values[i], i % width == 0);
        if (table.marker) encoder.put(1e30, true);
    }
    encoder.finish();
    return encoder.out;
}

PostStreamWriter::PostStreamWriter(const std::string& path, const PostFile& f)
    : file_(std::fopen(path.c_str(), "wb")), encoder_(std::make_unique<Encoder>(f)) {
    if (file_ == nullptr) throw std::runtime_error("cannot write " + path);
}

PostStreamWriter::~PostStreamWriter() {
    if (file_ != nullptr) std::fclose(file_);
}

void PostStreamWriter::put(double v, bool axis, size_t least) {
    if (least > 0) encoder_->put(v, axis);
    std::string& out = encoder_->out;
    if (out.size() < least) return;
    ok_ = std::fwrite(out.data(), 1, out.size(), file_) == out.size() && ok_;
    out.clear();
}

bool PostStreamWriter::finish() {
    encoder_->finish();
    put(0, false, 0);
    bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok_ && closed;
}

}  // namespace writers
