// HSPICE post file writer for tests, fuzz seeds, the demo and the benchmark.
#include "post_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>

namespace writers {

namespace {

constexpr size_t kFixedHeaderSize = 264;
constexpr size_t kDefaultHeaderBlock = 8000;

bool isWordVersion(PostVersion v) {
    return v != PostVersion::v9007;
}

const char* versionText(PostVersion v) {
    switch (v) {
        case PostVersion::v9007:
            return "9007";
        case PostVersion::v9601:
            return "9601";
        case PostVersion::v2001:
            return "2001";
        case PostVersion::v2013:
            return "2013";
    }
    return "9601";
}

std::string fitted(const std::string& text, size_t width) {
    std::string out = text.substr(0, width);
    out.resize(width, ' ');
    return out;
}

std::string digits(int value, int width) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
    return buffer;
}

std::string rightAligned(long long value, int width) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%*lld", width, value);
    return buffer;
}

void putWord(std::string& out, uint32_t v, bool bigEndian) {
    for (int i = 0; i < 4; ++i) {
        int shift = bigEndian ? 24 - 8 * i : 8 * i;
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
    }
}

void putNumber(std::string& out, double v, int width, bool bigEndian) {
    unsigned char bytes[8];
    if (width == 8) {
        std::memcpy(bytes, &v, 8);
    } else {
        float narrowed = static_cast<float>(v);
        std::memcpy(bytes, &narrowed, 4);
    }
    // Host order is little-endian on every platform the tests run on.
    if (bigEndian) std::reverse(bytes, bytes + width);
    out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(width));
}

std::string textNumber(double v, int width) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*E", width - 7, v);
    std::string text = buffer;
    if (text.size() < static_cast<size_t>(width))
        text.insert(0, static_cast<size_t>(width) - text.size(), ' ');
    return text;
}

// Where header block cuts may not fall: inside a name of the word versions.
struct Header {
    std::string bytes;
    size_t namesBegin = 0;
    size_t namesEnd = 0;
};

Header buildHeader(const PostFile& f) {
    bool text = f.form == PostForm::text;
    int main = postMainCount(f);
    int probes = static_cast<int>(f.signals.size()) + 1 - main;
    int sweepNames = static_cast<int>(f.sweepNames.size());
    bool newVersion = f.version == PostVersion::v2001 || f.version == PostVersion::v2013;

    std::string h;
    if (f.countEscape && !text) {
        putWord(h, static_cast<uint32_t>(main) | 0x80000000u, false);
    } else {
        h += digits(main % 10000, 4);
    }
    h += digits(probes % 10000, 4);
    h += digits(sweepNames, 4);
    if (main >= 10000 && !f.countEscape) {
        h += digits(main / 10000, 4);
    } else {
        h += text ? "0000" : "    ";
    }
    if (newVersion) {
        h += digits(probes / 10000, 4);
        h += versionText(f.version);
    } else {
        h += versionText(f.version);
        h += "    ";
    }
    h += fitted(f.title, 64);
    h += fitted(f.date, 8);
    h += fitted(f.time, 16);
    h += std::string(72, ' ');
    int sweeps = f.sweepCountField;
    if (sweeps < 0) sweeps = f.sweepNames.empty() ? 0 : static_cast<int>(f.tables.size());
    h += rightAligned(sweeps, 4);
    h += std::string(76, ' ');

    std::string codes = rightAligned(f.axisTypeCode, 8);
    for (size_t i = 0; i < f.signals.size(); ++i) {
        if (text && (i + 1) % 10 == 0) codes += "\n";
        codes += rightAligned(f.signals[i].typeCode, 8);
    }

    std::vector<std::string> names{f.axisName};
    for (const PostVariable& v : f.signals) names.push_back(v.name);
    for (const std::string& s : f.sweepNames) names.push_back(s);
    std::string nameBytes;
    size_t lineLength = 0;
    for (const std::string& name : names) {
        if (!isWordVersion(f.version)) {
            nameBytes += fitted(name, 16);
            continue;
        }
        nameBytes += name + " ";
        lineLength += name.size() + 1;
        if (text && lineLength > 70) {
            nameBytes += "\n";
            lineLength = 0;
        }
    }

    Header header;
    std::string& bytes = header.bytes;
    bytes = h;
    if (text) bytes += "\n";
    bytes += codes;
    if (text) bytes += "\n";
    header.namesBegin = bytes.size();
    bytes += nameBytes;
    header.namesEnd = bytes.size();
    bytes += text ? "$&%#\n" : "$&%#    ";
    for (const auto& [offset, raw] : f.headerPatches) {
        if (offset >= bytes.size()) continue;
        bytes.replace(offset, std::min(raw.size(), bytes.size() - offset), raw);
    }
    if (text) {
        // Line breaks inside the fixed part are skipped by the reader.
        size_t inserted = 0;
        for (size_t at : f.textBreaks) {
            if (at > kFixedHeaderSize) continue;
            bytes.insert(at + inserted, "\n");
            inserted++;
        }
        header.namesBegin += inserted;
        header.namesEnd += inserted;
    }
    return header;
}

}  // namespace

bool isComplexPostType(int typeCode) {
    static const int kComplex[] = {1, 8, 15, 22, 29, 36, 43, 78, 190, 191, 192, 193};
    return std::find(std::begin(kComplex), std::end(kComplex), typeCode) != std::end(kComplex);
}

int postMainCount(const PostFile& f) {
    int main = 1;
    for (const PostVariable& v : f.signals) {
        if (!v.probe) main++;
    }
    return main;
}

size_t postRowWidth(const PostFile& f) {
    size_t width = 1;
    for (const PostVariable& v : f.signals) {
        width += (f.axisTypeCode == 2 && !v.probe && isComplexPostType(v.typeCode)) ? 2 : 1;
    }
    return width;
}

// Turns header and values into framed bytes, handed to a sink in pieces.
struct PostStreamWriter::Encoder {
    using Sink = std::function<void(const std::string&)>;

    PostFile f;
    Sink sink;
    std::string block;  // binary data not yet framed
    std::string line;   // text data not yet written
    int fieldsOnLine = 0;

    Encoder(const PostFile& file, Sink out) : f(file), sink(std::move(out)) {
        if (f.sweepCountField < 0)
            f.sweepCountField = f.sweepNames.empty() ? 0 : static_cast<int>(f.tables.size());
        f.tables.clear();
        if (f.blockSize < 1) f.blockSize = 1;
    }

    bool text() const { return f.form == PostForm::text; }
    bool big() const { return f.form == PostForm::wordFramed && f.bigEndian; }

    void emitRecord(const std::string& data) {
        if (data.empty()) return;
        if (f.form == PostForm::wordFramed) {
            sink(frameWordBlocks({data}, big()));
        } else {
            std::string framed = frameByteRecords({data}, false);
            sink(framed.substr(1));  // the 'K' is written once, at the start
        }
    }

    void begin() {
        Header header = buildHeader(f);
        if (text()) {
            sink(header.bytes);
            return;
        }
        if (f.form == PostForm::byteFramed) sink("K");
        size_t limit =
            f.headerBlockSize > 0 ? static_cast<size_t>(f.headerBlockSize) : kDefaultHeaderBlock;
        size_t from = 0;
        const std::string& h = header.bytes;
        while (h.size() - from > limit) {
            size_t cut = from + limit;
            if (isWordVersion(f.version) && cut > header.namesBegin && cut < header.namesEnd) {
                size_t back = cut;
                while (back > from + 1 && h[back - 1] != ' ') back--;
                if (back > from + 1) cut = back;
            }
            emitRecord(h.substr(from, cut - from));
            from = cut;
        }
        if (f.dataInNewBlock) {
            emitRecord(h.substr(from));
        } else {
            block = h.substr(from);
            flushFull();
        }
    }

    void flushFull() {
        auto size = static_cast<size_t>(f.blockSize);
        size_t from = 0;
        while (block.size() - from >= size) {
            emitRecord(block.substr(from, size));
            from += size;
        }
        block.erase(0, from);
    }

    void number(double v, int binaryWidth) {
        if (text()) {
            int width = f.version == PostVersion::v2001 ? 13 : 11;
            line += textNumber(v, width);
            if (++fieldsOnLine == f.textValuesPerLine) {
                line += "\n";
                fieldsOnLine = 0;
                sink(line);
                line.clear();
            }
            return;
        }
        putNumber(block, v, binaryWidth, big());
        if (block.size() >= static_cast<size_t>(f.blockSize)) flushFull();
    }

    int axisWidth() const {
        return f.version == PostVersion::v2001 || f.version == PostVersion::v2013 ? 8 : 4;
    }
    int valueWidth() const { return f.version == PostVersion::v2001 ? 8 : 4; }

    void finish() {
        if (text()) {
            if (!line.empty()) sink(line + "\n");
            line.clear();
            return;
        }
        emitRecord(block);
        block.clear();
        if (f.form == PostForm::byteFramed && f.endMark) sink(std::string(1, '\x82'));
    }
};

std::string buildPostFile(const PostFile& f) {
    std::string out;
    PostStreamWriter::Encoder encoder(f, [&out](const std::string& bytes) { out += bytes; });
    encoder.begin();
    for (const PostTable& table : f.tables) {
        for (double p : table.params) encoder.number(p, encoder.valueWidth());
        size_t width = postRowWidth(f);
        for (size_t i = 0; i < table.values.size(); ++i) {
            encoder.number(table.values[i], i % width == 0
                                                ? encoder.axisWidth()
                                                : (f.version == PostVersion::v2001 ? 8 : 4));
        }
        if (table.marker) encoder.number(1e30, encoder.axisWidth());
    }
    encoder.finish();
    if (f.truncateAt < out.size()) out.resize(f.truncateAt);
    return out;
}

void writePostFile(const std::string& path, const PostFile& f) {
    writeBytes(path, buildPostFile(f), f.gzip);
}

std::string frameWordBlocks(const std::vector<std::string>& chunks, bool bigEndian,
                            uint8_t framingValue) {
    std::string out;
    for (const std::string& chunk : chunks) {
        auto length = static_cast<uint32_t>(chunk.size());
        putWord(out, framingValue, bigEndian);
        putWord(out, 0, bigEndian);
        putWord(out, framingValue, bigEndian);
        putWord(out, length, bigEndian);
        out += chunk;
        putWord(out, length, bigEndian);
    }
    return out;
}

std::string frameByteRecords(const std::vector<std::string>& records, bool endMark) {
    std::string out = "K";
    for (const std::string& record : records) {
        size_t from = 0;
        bool first = true;
        do {
            size_t left = record.size() - from;
            size_t piece = std::min<size_t>(left, 128);
            bool more = left > 128;
            if (first) out += std::string("\x04\0\0\0\0\x04", 6);
            out.push_back(static_cast<char>(more ? 0x81 : piece));
            out += record.substr(from, piece);
            out.push_back(static_cast<char>(more ? 0x81 : piece));
            from += piece;
            first = false;
        } while (from < record.size());
    }
    if (endMark) out.push_back('\x82');
    return out;
}

PostStreamWriter::PostStreamWriter(const std::string& path, const PostFile& f)
    : encoder_(nullptr), file_(std::fopen(path.c_str(), "wb")) {
    if (file_ == nullptr) throw std::runtime_error("cannot write " + path);
    encoder_ = new Encoder(f, [this](const std::string& bytes) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) ok_ = false;
    });
    encoder_->begin();
}

PostStreamWriter::~PostStreamWriter() {
    delete encoder_;
    if (file_ != nullptr) std::fclose(file_);
}

void PostStreamWriter::param(double v) {
    encoder_->number(v, encoder_->valueWidth());
}
void PostStreamWriter::axis(double v) {
    encoder_->number(v, encoder_->axisWidth());
}
void PostStreamWriter::value(double v) {
    encoder_->number(v, encoder_->valueWidth());
}
void PostStreamWriter::endTable() {
    encoder_->number(1e30, encoder_->axisWidth());
}

bool PostStreamWriter::finish() {
    encoder_->finish();
    bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok_ && closed;
}

}  // namespace writers
