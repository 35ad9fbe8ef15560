// Block framing of the binary formats and the text post form's field readers.
#include "block_layer.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../failure.h"
#include "../growth.h"

namespace {

constexpr int kByteFramedPrefix = 0x04;  // first and sixth byte of a block prefix
constexpr int kContinuedPiece = 0x81;    // 128 bytes, another piece follows
constexpr int kByteFramedEnd = 0x82;     // end of a byte-framed file
constexpr int32_t kContinuedLength = 128;

// Fields that span blocks are joined here. It starts at the block size and
// grows only as joined bytes actually arrive, so a huge requested length
// cannot make it allocate more than the file holds. One per thread, so two
// threads can read two files at once.
struct Scratch {
    char* bytes = nullptr;
    size_t capacity = 0;
    size_t used = 0;
    ~Scratch() { std::free(bytes); }
};
thread_local Scratch scratch;

bool appendScratch(const uint8_t* bytes, size_t n) {
    if (!growByDoubling(scratch.bytes, scratch.capacity, scratch.used + n, WFX_BLOCK_SIZE)) {
        return false;
    }
    if (n > 0) std::memcpy(scratch.bytes + scratch.used, bytes, n);
    scratch.used += n;
    return true;
}

char* malformed(WaveformDataset* ds) {
    reportFailure(ds, Failure::kMalformed);
    return nullptr;
}

char* notCompleted(WaveformDataset* ds) {
    reportFailure(ds, Failure::kNotCompleted);
    return nullptr;
}

// Joining a field cannot go on without memory; the read reports that as out of
// memory, so the converter says so.
char* outOfMemory(WaveformDataset* ds) {
    reportFailure(ds, Failure::kOutOfMemory);
    return nullptr;
}

int readByte(WaveformDataset* ds) {
    return gzgetc(ds->stream);
}

bool readExactly(WaveformDataset* ds, void* dest, unsigned n) {
    return gzread(ds->stream, dest, n) == static_cast<int>(n);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Hands n bytes out as readBlockField's arguments ask: in place, or copied
// to dest (trimmed and terminated when asked).
char* copyFieldOut(char* source, char* dest, int32_t n, bool trim, bool inPlace) {
    if (inPlace) return source;
    if (dest == nullptr) return source;
    if (!trim) {
        std::memcpy(dest, source, static_cast<size_t>(n));
        return dest;
    }
    int32_t first = 0;
    int32_t last = n;
    while (first < last && isBlank(source[first])) first++;
    while (last > first && isBlank(source[last - 1])) last--;
    std::memmove(dest, source + first, static_cast<size_t>(last - first));
    dest[last - first] = '\0';
    return dest;
}

// Marks the block used up and consumes its closing word or byte.
bool finishBlock(WaveformDataset* ds) {
    ds->blockLength = 0;
    ds->blockPosition = 0;
    return readBlockTrailer(ds) >= 0;
}

thread_local char dummyField[1];

}  // namespace

int32_t readBlockHeader(WaveformDataset* ds) {
    if (ds->framingMode == kFramingUndecided) {
        int first = readByte(ds);
        if (first == -1) return -1;
        if (first == kByteFramedMark) {
            ds->framingMode = kFramingBytes;
        } else {
            if (gzseek(ds->stream, 0, SEEK_SET) != 0) return -1;
            ds->framingMode = kFramingWords;
        }
    }

    if (ds->framingMode == kFramingLengthPrefixed) {
        uint8_t head[8];
        if (!readExactly(ds, head, sizeof head)) return -1;
        // A big-endian marker has the value in its last byte; the others are not examined.
        if (head[3] == ds->framingValue) {
            ds->fileMode |= kModeBigEndian;
        } else if (head[0] != ds->framingValue) {
            return -1;
        }
        return decodeInt32(head + 4, blockSwapped(ds));
    }

    if (ds->framingMode == kFramingBytes) {
        int c = readByte(ds);
        if (c == -1) return -1;
        if (c == kByteFramedEnd) return 0;
        if (ds->blockContinuation != 0) {
            if (c == kContinuedPiece) return kContinuedLength;
            ds->blockContinuation = 0;
            return c;
        }
        uint8_t prefix[6];
        if (c != kByteFramedPrefix || !readExactly(ds, prefix, 6)) return -1;
        if (prefix[4] != kByteFramedPrefix) return -1;
        int length = prefix[5];
        if (length == kContinuedPiece) {
            ds->blockContinuation = kRecordContinues;
            return kContinuedLength;
        }
        return length;
    }

    const uint8_t framingValue = ds->framingValue;
    uint8_t header[16];
    if (!readExactly(ds, header, 16)) return -1;
    if (header[0] != framingValue && header[3] != framingValue) return -1;
    if (header[8] != framingValue && header[11] != framingValue) return -1;
    if (header[3] == framingValue) ds->fileMode |= kModeBigEndian;
    return decodeInt32(header + 12, blockSwapped(ds));
}

int32_t readBlockTrailer(WaveformDataset* ds) {
    if (ds->framingMode == kFramingLengthPrefixed) return 0;
    uint8_t trailer[4];
    unsigned size = ds->framingMode == kFramingBytes ? 1 : 4;
    return readExactly(ds, trailer, size) ? static_cast<int32_t>(size) : -1;
}

int32_t loadBlock(WaveformDataset* ds, int32_t limit) {
    ds->blockLength = 0;
    ds->blockPosition = 0;
    int32_t length = readBlockHeader(ds);
    // The buffer has a fixed size: a longer block is damage, not data.
    if (length < 1 || length > limit || ds->blockBuffer == nullptr) {
        malformed(ds);
        return 0;
    }
    int got = gzread(ds->stream, ds->blockBuffer, static_cast<unsigned>(length));
    // Length-prefixed blocks are the unit the saved state describes: one cut
    // short is damage rather than the end of the data.
    if (got <= 0 || (got < length && ds->framingMode == kFramingLengthPrefixed)) {
        malformed(ds);
        return 0;
    }
    // A short read keeps what arrived; the next read then finds the end.
    ds->blockLength = got;
    return got;
}

char* readBlockField(WaveformDataset* ds, char* dest, int32_t n, bool trim, bool inPlace) {
    if (n <= 0) return dest;
    if (ds->blockLength == 0 && loadBlock(ds, kBlockFieldLimit) == 0) return nullptr;

    char* block = reinterpret_cast<char*>(ds->blockBuffer);
    int32_t left = ds->blockLength - ds->blockPosition;
    if (left >= n) {
        char* field = block + ds->blockPosition;
        ds->blockPosition += n;
        if (ds->blockPosition == ds->blockLength) {
            // The closing word is consumed now, so the field bytes in the
            // buffer stay valid: nothing is loaded over them.
            if (!finishBlock(ds)) return malformed(ds);
        }
        return copyFieldOut(field, dest, n, trim, inPlace);
    }

    // The field runs into the following blocks: join it in the scratch area.
    scratch.used = 0;
    if (left > 0 &&
        !appendScratch(ds->blockBuffer + ds->blockPosition, static_cast<size_t>(left))) {
        return outOfMemory(ds);
    }
    for (;;) {
        if (!finishBlock(ds)) return malformed(ds);
        if (loadBlock(ds, kBlockFieldLimit) == 0) return nullptr;
        auto missing = static_cast<int32_t>(static_cast<size_t>(n) - scratch.used);
        int32_t take = ds->blockLength >= missing ? missing : ds->blockLength;
        if (!appendScratch(ds->blockBuffer, static_cast<size_t>(take))) {
            return outOfMemory(ds);
        }
        if (take == missing) {
            ds->blockPosition = take;
            break;
        }
    }
    return copyFieldOut(scratch.bytes, dest, n, trim, inPlace);
}

char* readBlockWord(WaveformDataset* ds) {
    for (;;) {
        if (ds->blockLength == 0 && loadBlock(ds, kBlockWordLimit) == 0) return nullptr;
        // A block loaded for fields may fill the whole buffer, leaving no
        // room for the terminator of a word that reaches its end.
        if (ds->blockLength > kBlockWordLimit) return malformed(ds);
        char* block = reinterpret_cast<char*>(ds->blockBuffer);
        int32_t position = ds->blockPosition;
        int32_t length = ds->blockLength;
        char* word = block + position;
        while (position < length && block[position] != ' ') position++;
        int32_t wordEnd = position;
        while (position < length && block[position] == ' ') position++;
        // A word cut by the block end is terminated one byte past the data,
        // which the word limit keeps inside the buffer.
        block[wordEnd] = '\0';
        bool empty = word[0] == '\0';
        ds->blockPosition = position;
        if (position < length) {
            if (!empty) return word;
            continue;
        }
        if (!finishBlock(ds)) return malformed(ds);
        if (!empty) return word;
    }
}

char* readTextField(WaveformDataset* ds, char* dest, int32_t n) {
    int32_t counted = 0;
    int32_t stored = 0;
    while (counted < n) {
        int c = gzgetc(ds->stream);
        if (c == -1) return notCompleted(ds);
        if (c == '\r') continue;
        if (c == '\n') {
            ds->lineNumber++;
            continue;
        }
        counted++;
        if (stored == 0 && isBlank(static_cast<char>(c))) continue;
        if (dest != nullptr) dest[stored] = static_cast<char>(c);
        stored++;
    }
    if (dest == nullptr) return dummyField;
    while (stored > 0 && isBlank(dest[stored - 1])) stored--;
    dest[stored] = '\0';
    return dest;
}

char* readNumberField(WaveformDataset* ds, char* dest, int32_t n) {
    int32_t gathered = 0;
    while (gathered < n) {
        int c = gzgetc(ds->stream);
        if (c == -1) return notCompleted(ds);
        if (c == '\r' || c == '\n') {
            if (c == '\n') ds->lineNumber++;
            gathered = 0;
            continue;
        }
        if (dest != nullptr) dest[gathered] = static_cast<char>(c);
        gathered++;
    }
    return dest != nullptr ? dest : dummyField;
}

void saveBlockState(WaveformDataset* ds) {
    int32_t length = ds->blockLength;
    if (length < 0) length = 0;
    if (length > WFX_BLOCK_SIZE) length = WFX_BLOCK_SIZE;
    std::memcpy(ds->savedBlock, ds->blockBuffer, static_cast<size_t>(length));
    ds->savedLength = ds->blockLength;
    ds->savedPosition = ds->blockPosition;
    ds->savedFileMode = ds->fileMode;
}

void restoreSavedBlock(WaveformDataset* ds) {
    int32_t length = ds->savedLength;
    if (length < 0 || length > WFX_BLOCK_SIZE || ds->blockBuffer == nullptr) length = 0;
    if (length > 0) std::memcpy(ds->blockBuffer, ds->savedBlock, static_cast<size_t>(length));
    ds->blockLength = length;
    ds->blockPosition = ds->savedPosition;
    if (ds->blockPosition < 0 || ds->blockPosition > length) ds->blockPosition = length;
    ds->blockContinuation = 0;
    // A damaged block may have set the swapped flag during an earlier read;
    // every read starts from the byte order the header left.
    ds->fileMode = ds->savedFileMode;
}

bool isAllSpaces(const char* text) {
    if (text == nullptr || *text == '\0') return false;
    for (; *text != '\0'; ++text) {
        if (*text != ' ') return false;
    }
    return true;
}
