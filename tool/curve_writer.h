// Curve files (.cur) and the curve list file.
#ifndef WAVTREX_TOOL_CURVE_WRITER_H
#define WAVTREX_TOOL_CURVE_WRITER_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "curve_request.h"
#include "wfx.h"

// Longest text formatValue writes ("-1.23456789012e-308" and the like).
inline constexpr std::size_t kMaxValueText = 32;

// Writes value widened to double exactly as printf("%.12g") would, without a
// terminating NUL; out must have kMaxValueText bytes. Returns the end.
char* formatValue(char* out, float value);

// Writes text and a line end to stream and flushes it: one console message.
void printLine(std::FILE* stream, const std::string& text);

struct CurveSamples;

// The independent-variable values of every sweep, formatted once: all signals
// of a post file share one set of times, and formatting dominates a run.
class AxisText {
  public:
    // Formats the times of sweeps 0 to sweepCount - 1 (counts[s] points each;
    // a null array counts as no points).
    AxisText(float* const* axis, const uint32_t* counts, int32_t sweepCount);

    // True when built from these very arrays, for at least sweepCount sweeps.
    bool covers(const CurveSamples& samples) const;
    // The text of point p of sweep s, followed by one blank.
    std::string_view at(int32_t s, uint32_t p) const {
        const Sweep& sweep = sweeps_[static_cast<std::size_t>(s)];
        return std::string_view(sweep.text)
            .substr(sweep.ends[p], sweep.ends[p + 1] - sweep.ends[p]);
    }

  private:
    struct Sweep {
        std::string text;
        std::vector<std::size_t> ends;  // ends[p]..ends[p + 1] is point p
    };
    float* const* axis_;
    const uint32_t* counts_;
    std::vector<Sweep> sweeps_;
};

// One signal's samples, per sweep. Any pointer, and any sweep's array, may be
// null: such a sweep contributes no points.
struct CurveSamples {
    float* const* axis = nullptr;      // independent-variable values of each sweep
    float* const* values = nullptr;    // the signal's values of each sweep
    const uint32_t* counts = nullptr;  // point count of each sweep
    int32_t firstSweep = 0;
    int32_t sweepCount = 0;
    const AxisText* axisText = nullptr;  // used when it covers axis and counts
};

// A console line held back until the lines before it have been printed.
struct ConsoleLine {
    std::FILE* stream;
    std::string text;
};

// Writes the curve of signal `signal` (named `name`) to path, in three steps,
// so that the writing can run on another thread while the console lines and
// the exported set stay in run order: the constructor notes the voltage
// warning and opens the temporary, write() fills and closes it, finish()
// renames it over the path, prints the lines and records the curve. Calling
// finish() in run order makes the last curve of a path the one that stays.
//
// The warning is "Warning: values of <name> are not VOLTAGE." when the type
// code is not kTypeVoltage. The file is written under a temporary name and
// renamed over path once complete (output_file.h). When it cannot be created
// or renamed (or is `refused`, a path the run will not write to), finish()
// prints "Cannot open <path> for writing.  Operation continues."; when a write
// or the close fails, or the temporary vanished, "Cannot write <path>:
// <reason>.  Operation continues." and the temporary is removed. Either way
// `exported` is left alone; it gets name only once the file stands complete
// under its name. Point p of every sweep is written before point p + 1 of any
// sweep; a sweep stops contributing at its own count, and a point whose time
// equals the sweep's previous time is skipped.
class CurveFileJob {
  public:
    CurveFileJob(const WaveformDataset& ds, const std::string& name, int32_t signal,
                 const std::string& path, bool refused = false);
    ~CurveFileJob();
    CurveFileJob(const CurveFileJob&) = delete;
    CurveFileJob& operator=(const CurveFileJob&) = delete;

    bool opened() const { return file_ != nullptr; }
    void write(const CurveSamples& samples);
    void finish(ExportedSignalSet& exported);

    // write() in pieces, for rows that arrive a piece at a time: begin()
    // writes the head and, unless told to keep it open, closes the file, so
    // open files stay few; append() adds lines made by formatSamples
    // (reopening a closed file); end() adds the closing line and closes;
    // finish() then renames as after write(). The first failure is reported
    // as write() would, removes the temporary and ends the curve there.
    void begin(bool keepOpen = false);
    void append(std::string_view lines);
    void end();
    // A later curve of the same file took it over: this one counts as
    // written, as in a run that wrote it in full before the later one.
    void replaced();

  private:
    void fail(const std::error_code& error);

    std::string name_;
    std::string path_;
    std::string temporary_;  // written in place of path_ until complete
    std::FILE* file_ = nullptr;
    std::vector<ConsoleLine> lines_;
    bool complete_ = false;  // every byte is in the temporary, to be renamed
    bool written_ = false;
    bool inPieces_ = false;  // begun and not failed
};

// Writes the curve lines of points 0 .. count - 1 of one sweep to out and
// returns their length: the time text from times (point p at times.at(0, p)),
// the value from values[p]; a point is skipped when skip[p] is nonzero. out
// needs room for count * kMaxLineText bytes.
inline constexpr std::size_t kMaxLineText = 2 * kMaxValueText + 2;
std::size_t formatSamples(char* out, const AxisText& times, const uint8_t* skip,
                          const float* values, uint32_t count);

// The curve list: one signal name per line, written under a temporary name
// and renamed by close(). When the file cannot be opened the names are
// dropped silently after one message; when a write, the close or the rename
// fails, close() reports it like a curve file and removes the temporary.
class CurveListFile {
  public:
    CurveListFile() = default;
    ~CurveListFile();
    CurveListFile(const CurveListFile&) = delete;
    CurveListFile& operator=(const CurveListFile&) = delete;

    // Creates or empties path. Returns false after printing "Cannot open curve
    // list file for writing.  Operation continues." on standard error.
    bool open(const std::string& path);
    void addName(const std::string& name);
    // Closes and places the list, or reports why not; later names are dropped.
    void close();

  private:
    std::FILE* file_ = nullptr;
    std::string path_;
    std::string temporary_;
    std::error_code error_;  // the first failed write or close
};

#endif
