// Writes HSPICE post files of every version, form, byte order and framing.
//
// Quick use:
//   writers::PostFile f;                       // binary 9601, little-endian, word-framed
//   f.signals = {{"v(1)"}, {"v(2)"}};          // node voltages (type code 1)
//   f.tables = {{{}, {0.0, 1.0, 2.0, 1e-9, 1.5, 2.5}}};  // one sweep, two rows
//   writers::writePostFile(path, f);           // end markers are added
//
// Rows are given flat, in file order: for each row the independent value,
// then each signal's value, complex signals (AC, main variables of a complex
// type code) taking two: real part then imaginary part. postRowWidth(f) tells
// how many values one row has.
//
// Big files: PostStreamWriter writes the same bytes straight to a file, one
// value at a time, without holding the data in memory.
#ifndef WAVTREX_TESTS_WRITERS_POST_WRITER_H
#define WAVTREX_TESTS_WRITERS_POST_WRITER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "file_bytes.h"

namespace writers {

enum class PostVersion { v9007, v9601, v2001, v2013 };

// Text (fixed-width characters), word-framed binary blocks, or the
// byte-framed binary variant that starts with 'K'.
enum class PostForm { text, wordFramed, byteFramed };

struct PostVariable {
    std::string name;
    int typeCode = 1;    // 1: node voltage
    bool probe = false;  // probe variables are always real; list them after the main ones
};

struct PostTable {
    std::vector<double> params;  // sweep parameter values of this table
    std::vector<double> values;  // rows, flat (see postRowWidth)
    bool marker = true;          // close the table with the 1e30 end marker
};

struct PostFile {
    PostVersion version = PostVersion::v9601;
    PostForm form = PostForm::wordFramed;
    bool bigEndian = false;  // word-framed only: swapped framing words and numbers

    // Data bytes per block (word-framed) or per record (byte-framed records are
    // cut into 128-byte pieces with 0x81 continuations). Values straddle blocks
    // freely.
    int blockSize = 4000;
    // Bytes per header block; 0 means one block when the header fits in 8000
    // bytes, else blocks of 8000. Cuts are moved back to just after a blank so
    // that names are never split.
    int headerBlockSize = 0;
    // Start the data in a block of its own; otherwise the data fills the
    // header's last block first. (Byte-framed data that continues the header's
    // record is not readable: the continuation state restarts with the data.)
    bool dataInNewBlock = true;

    std::string title = "wavtrex test circuit";
    std::string date = "12/06/26";
    std::string time = "02:30:00";

    int axisTypeCode = 1;  // 1 transient, 2 AC, 3 DC sweep
    std::string axisName = "TIME";
    std::vector<PostVariable> signals;
    std::vector<std::string> sweepNames;  // none: no outer sweep
    // -1: the number of tables when swept, else 0 (PostStreamWriter: set it)
    int sweepCountField = -1;
    std::vector<PostTable> tables;  // one per sweep

    // Binary only: write the main count with the top-bit escape instead of digits.
    bool countEscape = false;
    // Raw header bytes put over the generated ones, at offsets of the header
    // bytes before framing and before textBreaks are inserted (0 = main count
    // field; the text form has a line break at 264, after the fixed part, and
    // after the type codes), applied in order. For damaged headers.
    std::vector<std::pair<size_t, std::string>> headerPatches;
    // Text only: line breaks inserted at these offsets (at most 264, the fixed
    // part) of the header; offsets ascending.
    std::vector<size_t> textBreaks;
    int textValuesPerLine = 7;

    bool endMark = true;           // byte-framed: close the file with 0x82
    size_t truncateAt = SIZE_MAX;  // keep only this many bytes (before gzip)
    bool gzip = false;             // writePostFile compresses
};

// Values per row of f: the independent value, one per signal, two per complex one.
size_t postRowWidth(const PostFile& f);

// True for the type codes that make a main variable complex in an AC file.
bool isComplexPostType(int typeCode);

// Main count as written: the independent variable and the non-probe signals.
int postMainCount(const PostFile& f);

// The complete file bytes (uncompressed, truncated when asked).
std::string buildPostFile(const PostFile& f);

// Writes buildPostFile(f) to path, gzip-compressed when f.gzip is set.
void writePostFile(const std::string& path, const PostFile& f);

// Word-framed blocks around each chunk: framing words of framingValue, the
// data length, the data and a closing word holding the length again.
std::string frameWordBlocks(const std::vector<std::string>& chunks, bool bigEndian,
                            uint8_t framingValue = 4);

// The byte-framed variant: 'K', then each record in pieces of at most 128
// bytes (0x81 continuations), then 0x82 when endMark is set.
std::string frameByteRecords(const std::vector<std::string>& records, bool endMark = true);

// Streams a post file to disk: the header from f (f.tables is ignored), then
// the values as they are given. Not for truncated or patched files.
class PostStreamWriter {
  public:
    PostStreamWriter(const std::string& path, const PostFile& f);
    ~PostStreamWriter();
    PostStreamWriter(const PostStreamWriter&) = delete;
    PostStreamWriter& operator=(const PostStreamWriter&) = delete;

    void param(double v);  // a sweep parameter value
    void axis(double v);   // the independent value that starts a row
    void value(double v);  // a signal value (or real or imaginary part)
    void endTable();       // the end marker
    // Flushes the last block and the end mark; returns false on a write error.
    bool finish();

    struct Encoder;  // shared with buildPostFile

  private:
    Encoder* encoder_;
    std::FILE* file_;
    bool ok_ = true;
};

}  // namespace writers

#endif
