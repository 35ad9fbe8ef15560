// Curve files that grow piece by piece while a one-table post file streams in.
#ifndef WAVTREX_TOOL_CURVE_STREAM_H
#define WAVTREX_TOOL_CURVE_STREAM_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "curve_writer.h"

// Rows per piece of a streamed read of a file with `columns` values a row:
// about 48 MB of floats (held twice: the reader's piece and the copy being
// written), so memory no longer grows with the file; 4096 rows when the
// columns are few.
uint32_t rowsPerPiece(int64_t columns);

// The curves of a streamed read. Every curve file is started up front (head
// written, then closed, so that each thread has one file open at a time).
// append() copies a piece of rows and returns; worker threads format it and
// append it to every file while the reader goes on to the next piece. Console
// lines wait until finish() and come out in the order of add() and addLine(),
// as a run that held all the rows would print them.
class CurveStream {
  public:
    // threads 0 means one per hardware thread.
    explicit CurveStream(unsigned threads = 0);
    ~CurveStream();
    CurveStream(const CurveStream&) = delete;
    CurveStream& operator=(const CurveStream&) = delete;

    // A CurveFileJob's opening for signal `signal` of ds, at path.
    void add(const WaveformDataset& ds, const std::string& name, int32_t signal,
             const std::string& path, bool refused = false);
    // A console line to print after those of the curves added before it.
    void addLine(std::FILE* stream, const std::string& text);
    // Hands over the rows of one piece (sweep 0 of rows) for every curve.
    void append(const WaveformValues& rows);
    // Ends every curve, prints the console lines and records what was written.
    void finish(ExportedSignalSet& exported);

  private:
    struct Curve {
        std::unique_ptr<CurveFileJob> file;  // null for a held console line
        ConsoleLine line;
        int32_t signal = 0;
        bool replaced = false;  // a later curve took over its file
    };
    // The piece being written: the rows copied out of the reader's arrays.
    struct Piece {
        uint32_t count = 0;
        std::vector<float> times;
        std::vector<uint8_t> skip;  // a time that repeats the one before it
        std::mutex timeMutex;
        std::unique_ptr<AxisText> timeText;            // made by the first worker to need it
        std::map<int32_t, std::vector<float>> values;  // by signal
    };

    void work();
    // A thread's text of one curve's piece, kept from piece to piece.
    struct TextBuffer {
        std::unique_ptr<char[]> bytes;
        std::size_t capacity = 0;
        char* room(std::size_t size);
    };

    void writePiece(TextBuffer& text);
    const AxisText& timeText();
    void waitIdle();

    std::vector<Curve> curves_;
    std::map<std::string, std::size_t> byPath_;  // the curve now owning each file
    Piece piece_;
    bool havePrevious_ = false;  // rows handed so far; the last time seen
    float previousTime_ = 0;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    uint64_t generation_ = 0;  // pieces handed to the workers
    unsigned busy_ = 0;        // workers still on the current piece
    bool stopping_ = false;
    std::atomic<std::size_t> next_{0};  // the next curve to write
    std::vector<std::thread> workers_;
    TextBuffer readerText_;  // the reader's text when it helps
};

#endif
