// Curve files that grow piece by piece while a one-table post file streams in.
#ifndef WAVTREX_TOOL_CURVE_STREAM_H
#define WAVTREX_TOOL_CURVE_STREAM_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "curve_writer.h"

// Rows per piece of a streamed read of a file with `columns` values a row:
// about 64 MB of floats, so memory no longer grows with the file.
uint32_t rowsPerPiece(int64_t columns);

// The curves of a streamed read. Every curve file is started up front (head
// written, then closed, so that only one file is open at a time per
// thread); each piece of rows is formatted and appended to every file by a
// few threads; console lines wait until finish() and come out in the order
// of add(), as a run that held all the rows would print them.
class CurveStream {
  public:
    // threads 0 means one per hardware thread.
    explicit CurveStream(unsigned threads = 0);

    // writeCurveFile's opening for signal `signal` of ds, at path.
    void add(const WaveformDataset& ds, const std::string& name, int32_t signal,
             const std::string& path, bool refused = false);
    // Appends the rows of one piece (sweep 0 of rows) to every curve.
    void append(const WaveformValues& rows);
    // Ends every curve, prints the console lines and records what was written.
    void finish(ExportedSignalSet& exported);

  private:
    struct Curve {
        std::unique_ptr<CurveFileJob> file;
        int32_t signal = 0;
        bool replaced = false;  // a later curve took over its file
    };

    std::vector<Curve> curves_;
    std::map<std::string, std::size_t> byPath_;  // the curve now owning each file
    unsigned threads_;
    bool havePrevious_ = false;  // rows handed so far; the last time seen
    float previousTime_ = 0;
};

#endif
