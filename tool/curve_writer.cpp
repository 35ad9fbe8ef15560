// Curve file and curve list output; see curve_writer.h.
#include "curve_writer.h"

#include <charconv>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t kVoltageType = 1;
constexpr std::size_t kBufferSize = 1 << 20;

// Formatting is the hot loop of a conversion: text is gathered in one large
// buffer and handed to the stream in big writes.
class BufferedFile {
  public:
    explicit BufferedFile(std::FILE* file) : file_(file), buffer_(new char[kBufferSize]) {}
    ~BufferedFile() {
        flush();
        std::fclose(file_);
    }
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    void put(const char* text, std::size_t length) {
        if (length > kBufferSize - used_) {
            flush();
            if (length > kBufferSize) {
                std::fwrite(text, 1, length, file_);
                return;
            }
        }
        std::memcpy(buffer_.get() + used_, text, length);
        used_ += length;
    }
    void put(const std::string& text) { put(text.data(), text.size()); }
    void putLine(const char* text) {
        put(text, std::strlen(text));
        put("\n", 1);
    }

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

  private:
    void flush() {
        if (used_ > 0) std::fwrite(buffer_.get(), 1, used_, file_);
        used_ = 0;
    }

    std::FILE* file_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};

void printLine(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

}  // namespace

char* formatValue(char* out, float value) {
    // std::to_chars with a precision gives the digits, exponent form and
    // spelling of "%.12g" (nan, -nan, inf, -0 included) without locale cost.
    return std::to_chars(out, out + kMaxValueText, static_cast<double>(value),
                         std::chars_format::general, 12)
        .ptr;
}

AxisText::AxisText(float* const* axis, const uint32_t* counts, int32_t sweepCount)
    : axis_(axis), counts_(counts) {
    for (int32_t s = 0; s < sweepCount; ++s) {
        Sweep sweep;
        const uint32_t count =
            axis != nullptr && counts != nullptr && axis[s] != nullptr ? counts[s] : 0;
        sweep.ends.reserve(static_cast<std::size_t>(count) + 1);
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

void writeCurveFile(const WaveformDataset& ds, const std::string& name, int32_t signal,
                    const CurveSamples& samples, const std::string& path,
                    ExportedSignalSet& exported) {
    const int64_t record = static_cast<int64_t>(ds.firstSignalIndex) + signal;
    if (ds.variables != nullptr && record >= 0 && record < ds.variableCount &&
        ds.variables[record].typeCode != kVoltageType) {
        printLine(stdout, "Warning: values of " + name + " are not VOLTAGE.");
    }

    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        printLine(stderr, "Cannot open " + path + " for writing.  Operation continues.");
        return;
    }
    {
        BufferedFile out(file);
        out.putLine("*******Voltage*********");
        out.putLine("");
        out.putLine("*[Dim=Voltage]");
        out.putLine("**************Curve***************");
        out.put("n1     n2     blue     ", 23);
        out.put(name);
        out.put(".\n", 2);

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
        out.putLine("**************End***************");
    }
    exported.insert(name);
}

CurveListFile::~CurveListFile() {
    if (file_ != nullptr) std::fclose(file_);
}

bool CurveListFile::open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) {
        printLine(stderr, "Cannot open curve list file for writing.  Operation continues.");
        return false;
    }
    return true;
}

void CurveListFile::addName(const std::string& name) {
    if (file_ == nullptr) return;
    std::fwrite(name.data(), 1, name.size(), file_);
    std::fputc('\n', file_);
}
