// Curve file and curve list output; see curve_writer.h.
#include "curve_writer.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>
#include <vector>

#include "output_file.h"

namespace {

constexpr std::size_t kBufferSize = 1 << 20;

// Keeps the first failure of a stream's writes or close, with the system's
// reason; errno is cleared before each checked call.
void noteWrite(std::error_code& first, bool ok) {
    if (ok || first) return;
    // Some C libraries set no errno on a failed write.
    first = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

// Closes file, keeping the first failure in `first`. The flush is checked on
// its own first: Wine's C library loses a failed flush inside fclose.
void closeChecked(std::error_code& first, std::FILE* file) {
    errno = 0;
    noteWrite(first, std::fflush(file) == 0);
    errno = 0;
    noteWrite(first, std::fclose(file) == 0);
}

// Formatting is the hot loop of a conversion: text is gathered in one large
// buffer and handed to the stream in big writes. Once a write fails nothing
// more is written; close() tells whether every byte reached the file.
class BufferedFile {
  public:
    explicit BufferedFile(std::FILE* file) : file_(file), buffer_(new char[kBufferSize]) {}
    ~BufferedFile() { close(); }
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    void put(const char* text, std::size_t length) {
        if (length > kBufferSize - used_) {
            flush();
            if (length > kBufferSize) {
                write(text, length);
                return;
            }
        }
        std::memcpy(buffer_.get() + used_, text, length);
        used_ += length;
    }
    void put(const std::string& text) { put(text.data(), text.size()); }

    // "x y" and the line end, x already formatted with its blank.
    void putSample(std::string_view x, float y) {
        if (kBufferSize - used_ < x.size() + kMaxValueText + 1) flush();
        char* out = buffer_.get() + used_;
        std::memcpy(out, x.data(), x.size());
        out = formatValue(out + x.size(), y);
        *out++ = '\n';
        used_ = static_cast<std::size_t>(out - buffer_.get());
    }

    // "x y" and the line end.
    void putSample(float x, float y) {
        if (kBufferSize - used_ < 2 * kMaxValueText + 2) flush();
        char* out = buffer_.get() + used_;
        out = formatValue(out, x);
        *out++ = ' ';
        out = formatValue(out, y);
        *out++ = '\n';
        used_ = static_cast<std::size_t>(out - buffer_.get());
    }

    // Flushes and closes; the first failure of any write or of the close.
    std::error_code close() {
        if (file_ != nullptr) {
            flush();
            closeChecked(error_, file_);
            file_ = nullptr;
        }
        return error_;
    }

  private:
    void flush() {
        if (used_ > 0) write(buffer_.get(), used_);
        used_ = 0;
    }
    void write(const char* bytes, std::size_t length) {
        if (error_) return;
        errno = 0;
        noteWrite(error_, std::fwrite(bytes, 1, length, file_) == length);
    }

    std::FILE* file_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    std::error_code error_;
};

std::string curveHead(const std::string& name) {
    return "*******Voltage*********\n\n*[Dim=Voltage]\n**************Curve***************\n"
           "n1     n2     blue     " +
           name + ".\n";
}
constexpr std::string_view kCurveEnd = "**************End***************\n";

// A file that could not be written completely: its temporary is removed, so
// nothing partial stays behind.
std::string writeFailureLine(const std::string& path, const std::error_code& error) {
    return "Cannot write " + path + ": " + error.message() + ".  Operation continues.";
}
std::string cannotOpenLine(const std::string& path) {
    return "Cannot open " + path + " for writing.  Operation continues.";
}
constexpr const char* kCannotOpenList =
    "Cannot open curve list file for writing.  Operation continues.";

// Renames a complete temporary over path. A name the file system refuses is
// a file that cannot be opened; a temporary gone meanwhile (its folder
// removed, say) is a failed write. Returns the console line of a failure.
std::string placeOrExplain(std::string& temporary, const std::string& path,
                           const std::string& cannotOpen) {
    bool vanished = false;
    const std::error_code error = placeTemporary(temporary, path, &vanished);
    if (error) removeTemporary(temporary);
    temporary.clear();
    if (!error) return "";
    return vanished ? writeFailureLine(path, error) : cannotOpen;
}

}  // namespace

AxisText::AxisText(float* const* axis, const uint32_t* counts, int32_t sweepCount)
    : axis_(axis), counts_(counts) {
    for (int32_t s = 0; s < sweepCount; ++s) {
        Sweep sweep;
        const uint32_t count =
            axis != nullptr && counts != nullptr && axis[s] != nullptr ? counts[s] : 0;
        sweep.ends.reserve(static_cast<std::size_t>(count) + 1);
        sweep.text.reserve(static_cast<std::size_t>(count) * (kMaxValueText + 1));
        sweep.ends.push_back(0);
        char text[kMaxValueText + 1];
        for (uint32_t p = 0; p < count; ++p) {
            char* end = formatValue(text, axis[s][p]);
            *end++ = ' ';
            sweep.text.append(text, end);
            sweep.ends.push_back(sweep.text.size());
        }
        sweeps_.push_back(std::move(sweep));
    }
}

bool AxisText::covers(const CurveSamples& samples) const {
    return samples.axis == axis_ && samples.counts == counts_ && samples.sweepCount >= 0 &&
           static_cast<std::size_t>(samples.sweepCount) <= sweeps_.size();
}

CurveFileJob::CurveFileJob(const WaveformDataset& ds, const std::string& name, int32_t signal,
                           const std::string& path, bool refused)
    : name_(name), path_(path) {
    const int64_t record = static_cast<int64_t>(ds.firstSignalIndex) + signal;
    if (ds.variables != nullptr && record >= 0 && record < ds.variableCount &&
        ds.variables[record].typeCode != kTypeVoltage) {
        lines_.push_back({stdout, "Warning: values of " + name + " are not VOLTAGE."});
    }
    if (!refused && !refusesOutput(path)) file_ = openTemporary(path, temporary_);
    if (file_ == nullptr) lines_.push_back({stderr, cannotOpenLine(path)});
}

CurveFileJob::~CurveFileJob() {
    if (file_ != nullptr) std::fclose(file_);
    removeTemporary(temporary_);
}

void CurveFileJob::write(const CurveSamples& samples) {
    if (file_ == nullptr) return;
    {
        BufferedFile out(file_);
        file_ = nullptr;
        out.put(curveHead(name_));

        // A sweep without arrays has no points; the loop runs to the longest
        // sweep and each sweep stops at its own count.
        const int32_t first = samples.firstSweep < 0 ? 0 : samples.firstSweep;
        std::vector<uint32_t> counts;
        uint32_t longest = 0;
        for (int32_t s = first; s < samples.sweepCount; ++s) {
            uint32_t count = 0;
            if (samples.axis != nullptr && samples.values != nullptr && samples.counts != nullptr &&
                samples.axis[s] != nullptr && samples.values[s] != nullptr) {
                count = samples.counts[s];
            }
            counts.push_back(count);
            if (count > longest) longest = count;
        }
        const AxisText* axisText = samples.axisText != nullptr && samples.axisText->covers(samples)
                                       ? samples.axisText
                                       : nullptr;
        for (uint32_t p = 0; p < longest; ++p) {
            for (std::size_t k = 0; k < counts.size(); ++k) {
                if (p >= counts[k]) continue;
                const int32_t s = first + static_cast<int32_t>(k);
                const float* axis = samples.axis[s];
                // Compared as floats: a NaN time never repeats.
                if (p > 0 && axis[p] == axis[p - 1]) continue;
                if (axisText != nullptr) {
                    out.putSample(axisText->at(s, p), samples.values[s][p]);
                } else {
                    out.putSample(axis[p], samples.values[s][p]);
                }
            }
        }
        out.put(kCurveEnd.data(), kCurveEnd.size());
        if (const std::error_code error = out.close()) {
            fail(error);
            return;
        }
    }
    complete_ = true;
}

void CurveFileJob::fail(const std::error_code& error) {
    lines_.push_back({stderr, writeFailureLine(path_, error)});
    removeTemporary(temporary_);
    temporary_.clear();
    inPieces_ = false;
}

void CurveFileJob::begin(bool keepOpen) {
    if (file_ == nullptr) return;
    inPieces_ = true;
    const std::string head = curveHead(name_);
    std::error_code error;
    errno = 0;
    noteWrite(error, std::fwrite(head.data(), 1, head.size(), file_) == head.size());
    errno = 0;
    noteWrite(error, std::fflush(file_) == 0);
    if (!keepOpen || error) {
        closeChecked(error, file_);
        file_ = nullptr;
    }
    if (error) fail(error);
}

void CurveFileJob::append(std::string_view lines) {
    if (!inPieces_ || lines.empty()) return;
    std::error_code error;
    if (file_ != nullptr) {
        errno = 0;
        noteWrite(error, std::fwrite(lines.data(), 1, lines.size(), file_) == lines.size());
        errno = 0;
        noteWrite(error, std::fflush(file_) == 0);
        if (error) {
            closeChecked(error, file_);
            file_ = nullptr;
            fail(error);
        }
        return;
    }
    // "r+" rather than "a": a file removed meanwhile is a failure, not a new
    // file without its head.
    errno = 0;
    std::FILE* file = std::fopen(temporary_.c_str(), "r+");
    noteWrite(error, file != nullptr);
    if (file != nullptr) {
        errno = 0;
        noteWrite(error, std::fseek(file, 0, SEEK_END) == 0);
        errno = 0;
        if (!error)
            noteWrite(error, std::fwrite(lines.data(), 1, lines.size(), file) == lines.size());
        closeChecked(error, file);
    }
    if (error) fail(error);
}

void CurveFileJob::replaced() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    removeTemporary(temporary_);
    temporary_.clear();
    written_ = inPieces_;
    inPieces_ = false;
}

void CurveFileJob::end() {
    append(kCurveEnd);
    if (file_ != nullptr) {
        std::error_code error;
        closeChecked(error, file_);
        file_ = nullptr;
        if (error) fail(error);
    }
    complete_ = inPieces_;
    inPieces_ = false;
}

std::size_t formatSamples(char* out, const AxisText& times, const uint8_t* skip,
                          const float* values, uint32_t count) {
    char* end = out;
    for (uint32_t p = 0; p < count; ++p) {
        if (skip[p] != 0) continue;
        const std::string_view x = times.at(0, p);
        std::memcpy(end, x.data(), x.size());
        end = formatValue(end + x.size(), values[p]);
        *end++ = '\n';
    }
    return static_cast<std::size_t>(end - out);
}

void CurveFileJob::finish(ExportedSignalSet& exported) {
    // Renamed here, in run order: of two curves of one file the later wins.
    if (complete_) {
        const std::string failure = placeOrExplain(temporary_, path_, cannotOpenLine(path_));
        if (failure.empty()) {
            written_ = true;
        } else {
            lines_.push_back({stderr, failure});
        }
        complete_ = false;
    }
    for (const ConsoleLine& line : lines_) printLine(line.stream, line.text);
    lines_.clear();
    if (written_) exported.insert(name_);
    written_ = false;
}

CurveListFile::~CurveListFile() {
    close();
}

bool CurveListFile::open(const std::string& path) {
    if (!refusesOutput(path)) file_ = openTemporary(path, temporary_);
    if (file_ == nullptr) {
        printLine(stderr, kCannotOpenList);
        return false;
    }
    path_ = path;
    return true;
}

void CurveListFile::addName(const std::string& name) {
    if (file_ == nullptr || error_) return;
    errno = 0;
    noteWrite(error_, std::fwrite(name.data(), 1, name.size(), file_) == name.size() &&
                          std::fputc('\n', file_) != EOF);
}

void CurveListFile::close() {
    if (file_ == nullptr) return;
    closeChecked(error_, file_);
    file_ = nullptr;
    if (error_) {
        printLine(stderr, writeFailureLine(path_, error_));
        removeTemporary(temporary_);
        temporary_.clear();
        return;
    }
    const std::string failure = placeOrExplain(temporary_, path_, kCannotOpenList);
    if (!failure.empty()) printLine(stderr, failure);
}

void printLine(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}
