// Writes HSPICE post files of every version, form, byte order and framing.
//   writers::PostFile f;                       // binary 9601, little-endian, word-framed
//   f.signals = {{"v(1)"}, {"v(2)"}};          // node voltages (type code 1)
//   f.tables = {{{}, {0.0, 1.0, 2.0, 1e-9, 1.5, 2.5}}};  // one table, two rows
//   std::string bytes = writers::buildPostFile(f);       // end markers are added
//
// Rows are flat: the independent value, then each signal's value; a complex
// signal (a main variable of a complex type code in an AC file) takes two.
#ifndef WAVTREX_TESTS_WRITERS_POST_WRITER_H
#define WAVTREX_TESTS_WRITERS_POST_WRITER_H

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "file_bytes.h"

namespace writers {

enum class PostVersion { v9007, v9601, v2001, v2013 };

// Text, word-framed binary blocks, or the byte-framed variant starting with 'K'.
enum class PostForm { text, wordFramed, byteFramed };

struct PostVariable {
    std::string name;
    int typeCode = 1;    // 1: node voltage
    bool probe = false;  // probes are always real; list them after the main variables
};

struct PostTable {
    std::vector<double> params;  // the sweep parameter values of this table
    std::vector<double> values;  // rows, flat
    bool marker = true;          // close the table with the end marker
};

struct PostFile {
    PostVersion version = PostVersion::v9601;
    PostForm form = PostForm::wordFramed;
    bool bigEndian = false;  // word-framed only
    // Data bytes per block (byte-framed: per record, cut into pieces of 128).
    int blockSize = 4000;
    // Header bytes per block; a cut among the names moves back after a blank.
    int headerBlockSize = 8000;
    // Word-framed only: false starts the data in the header's last block.
    bool dataInNewBlock = true;
    std::string title = "wavtrex test circuit";
    int axisTypeCode = 1;  // 1 transient, 2 AC, 3 to 7 DC sweep
    std::string axisName = "TIME";
    std::vector<PostVariable> signals;
    std::vector<std::string> sweepNames;  // none: not swept
    int sweepCountField = -1;             // -1: the number of tables when swept, else 0
    std::vector<PostTable> tables;
    bool countEscape = false;  // binary: the main count as a word with the top bit set
};

// Values per row of f.
size_t postRowWidth(const PostFile& f);

// The complete file bytes.
std::string buildPostFile(const PostFile& f);

// Streams the header of f (not its tables) and then the values given to a file.
class PostStreamWriter {
  public:
    PostStreamWriter(const std::string& path, const PostFile& f);
    ~PostStreamWriter();
    PostStreamWriter(const PostStreamWriter&) = delete;
    PostStreamWriter& operator=(const PostStreamWriter&) = delete;

    void axis(double v);   // the independent value that starts a row
    void value(double v);  // a signal value (or real or imaginary part)
    void endTable();       // the end marker
    bool finish();         // flushes the last block; false on a write error

    struct Encoder;  // shared with buildPostFile

  private:
    std::FILE* file_;
    bool ok_ = true;
    std::unique_ptr<Encoder> encoder_;
};

}  // namespace writers

#endif
