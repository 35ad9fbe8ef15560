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

enum class PostVersion { v9007, v9601, v2001, v2013 };  // 2001 on: wider header and axis

enum class PostForm { text, wordFramed, byteFramed };  // byte-framed files start with 'K'

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
    bool bigEndian = false;      // word-framed only
    int blockSize = 4000;        // data bytes per block (byte-framed: per record)
    int headerBlockSize = 8000;  // header bytes per block; names are never cut
    bool dataInNewBlock = true;  // false: the data starts in the header's last block
    std::string title = "wavtrex test circuit";
    int axisTypeCode = 1;  // 1 transient, 2 AC, 3 to 7 DC sweep
    std::string axisName = "TIME";
    std::vector<PostVariable> signals;
    std::vector<std::string> sweepNames;  // none: not swept (sweep count 0, else the tables)
    std::vector<PostTable> tables;
    bool countEscape = false;  // binary: the main count as a word with the top bit set
};

size_t postRowWidth(const PostFile& f);        // values per row
std::string buildPostFile(const PostFile& f);  // the file's bytes

// Streams the header of f (not its tables) and then the values given to a file.
class PostStreamWriter {
  public:
    PostStreamWriter(const std::string& path, const PostFile& f);
    ~PostStreamWriter();
    PostStreamWriter(const PostStreamWriter&) = delete;
    PostStreamWriter& operator=(const PostStreamWriter&) = delete;

    void axis(double v) { put(v, true); }    // the independent value that starts a row
    void value(double v) { put(v, false); }  // a signal value (or real or imaginary part)
    void endTable() { put(1e30, true); }     // the end marker
    bool finish();                           // false on a write error

    struct Encoder;  // shared with buildPostFile

  private:
    // Encodes v (unless least is 0), then writes once at least `least` bytes wait.
    void put(double v, bool axis, size_t least = size_t{1} << 20);
    std::FILE* file_;
    bool ok_ = true;
    std::unique_ptr<Encoder> encoder_;
};

}  // namespace writers

#endif
