// The block layer of the binary formats, and the fixed-width field readers of
// the text post form.
//
// Binary files are a sequence of framed blocks. Word-framed block:
//   word framing value | word unused | word framing value | word N | N data bytes | closing word
// Byte-framed files start with 'K'; each block is 0x04, 4 unused bytes, 0x04,
// a length byte, the data and one closing byte. A length byte 0x81 means 128
// bytes and a continuation piece (length byte, data, closing byte) follows;
// 0x82 where a block or continuation piece begins ends the file.
// Length-prefixed blocks (tagged record files) have an 8-byte head, the
// framing value as the first byte of a little-endian or the last of a
// big-endian word, then the length word, and no closing word; a block that
// is shorter than it says is damage.
//
// The callers never see the framing: they ask for the next n bytes, the next
// word or the next n characters. Failures go through reportFailure; only out
// of memory sets lastError (8), the rest is left to the callers.
#ifndef WAVTREX_FORMATS_POST_BLOCK_H
#define WAVTREX_FORMATS_POST_BLOCK_H

#include <cstdint>

#include "../wfx.h"
#include "byte_order.h"

// framingMode: how the blocks of a binary post file are framed.
constexpr int32_t kFramingUndecided = -1;  // the first byte read decides
constexpr int32_t kFramingWords = 0;
constexpr int32_t kFramingBytes = 1;           // the file starts with 'K'
constexpr int32_t kFramingLengthPrefixed = 2;  // set by the format's header reader

// blockContinuation: 0, or this while a byte-framed record goes on in its
// next piece.
constexpr uint32_t kRecordContinues = 2;

// First byte of a byte-framed file ('K').
constexpr int kByteFramedMark = 0x4B;

// Reads the next block header, framed by the dataset's framingValue. Returns
// the block's data length, 0 at the byte-framed end mark, -1 when the header
// cannot be read or is not accepted. While framingMode is -1 it first decides
// the framing from the first byte. A word header whose first word ends in the
// framing value sets the byte-swapped flag, which then holds for the rest of
// the file.
int32_t readBlockHeader(WaveformDataset* ds);

// Reads a block's closing word (4) or byte (1). Returns its size (0 for
// length-prefixed blocks, which have none), or -1.
int32_t readBlockTrailer(WaveformDataset* ds);

// Loads the next block into blockBuffer (blockPosition 0). Returns its length,
// or 0 after storing "Malformed data file %s !!" (blockLength stays 0). A
// declared length above limit is refused rather than overflowing the buffer.
int32_t loadBlock(WaveformDataset* ds, int32_t limit);

// Largest block that fields are read from, and from which words are read
// (a word at the block end is terminated one byte past the data).
constexpr int32_t kBlockFieldLimit = WFX_BLOCK_SIZE;
constexpr int32_t kBlockWordLimit = WFX_BLOCK_SIZE - 1;

// The next n bytes of the block data stream, joined across blocks when needed.
// n <= 0 returns dest and reads nothing. inPlace: returns a pointer to the
// bytes where they lie (blockBuffer or the scratch area, valid until the next
// read), unterminated. Otherwise copies to dest and returns it: trimmed of
// leading and trailing blanks and tabs and NUL-terminated when trim is set
// (dest needs n + 1 bytes), raw otherwise. A NULL dest without inPlace just
// consumes the bytes (the result is then non-NULL but not to be read).
// Returns NULL after storing "Malformed data file %s !!".
char* readBlockField(WaveformDataset* ds, char* dest, int32_t n, bool trim, bool inPlace);

// readBlockField's ways of handing a field out, named at the call.
// The next n bytes where they lie (valid until the next read), or NULL.
inline const char* blockFieldInPlace(WaveformDataset* ds, int32_t n) {
    return readBlockField(ds, nullptr, n, false, true);
}
// The next n bytes copied raw into dest (n bytes, unterminated), or NULL.
inline char* blockFieldRaw(WaveformDataset* ds, char* dest, int32_t n) {
    return readBlockField(ds, dest, n, false, false);
}
// The next n bytes into dest (n + 1 bytes), trimmed and terminated, or NULL.
inline char* blockFieldTrimmed(WaveformDataset* ds, char* dest, int32_t n) {
    return readBlockField(ds, dest, n, true, false);
}
// Consumes the next n bytes; false when they cannot be read.
inline bool skipBlockBytes(WaveformDataset* ds, int32_t n) {
    return readBlockField(ds, nullptr, n, false, true) != nullptr;
}

// The next space-separated word of the block data, NUL-terminated in place
// (valid until the next read), or NULL. A word never continues into the next
// block; only the space separates words.
char* readBlockWord(WaveformDataset* ds);

// The next n characters of the text form: carriage returns and line feeds are
// dropped and not counted (line feeds advance lineNumber), leading blanks and
// tabs are counted but not stored, trailing ones removed. dest needs n + 1
// bytes; a NULL dest discards. Returns dest (a non-NULL dummy for NULL dest),
// or NULL after storing "File %s not completed!!".
char* readTextField(WaveformDataset* ds, char* dest, int32_t n);

// The next n characters of one line, unterminated; a line break throws away
// what was gathered and starts again. dest needs n bytes; NULL discards.
// Returns dest (a non-NULL dummy for NULL dest), or NULL after storing
// "File %s not completed!!".
char* readNumberField(WaveformDataset* ds, char* dest, int32_t n);

// Keeps the block state the header reader left (open calls it), so every
// data read can start from it again.
void saveBlockState(WaveformDataset* ds);

// Puts the block state back as it stood right after the header, for a data
// read that starts again from dataOffset.
void restoreSavedBlock(WaveformDataset* ds);

// True when text is non-empty and made of blanks only (a tab does not count).
bool isAllSpaces(const char* text);

#endif
