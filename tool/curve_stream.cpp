// The streamed curves; see curve_stream.h.
#include "curve_stream.h"

#include <atomic>
#include <filesystem>
#include <thread>

namespace {

constexpr int64_t kPieceBytes = int64_t{64} << 20;
constexpr int64_t kFewestRows = 1024;
constexpr int64_t kMostRows = 65536;

// One spelling for every path of one file, as far as the names alone tell:
// "./a.cur" and "a.cur" are one file, and on Windows so are "A.cur" and
// "a.cur".
std::string fileKey(const std::string& path) {
    std::string key = std::filesystem::path(path).lexically_normal().generic_string();
#ifdef _WIN32
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
#endif
    return key;
}

}  // namespace

uint32_t rowsPerPiece(int64_t columns) {
    const int64_t rows = kPieceBytes / (4 * (columns > 0 ? columns : 1));
    return static_cast<uint32_t>(rows < kFewestRows ? kFewestRows
                                 : rows > kMostRows ? kMostRows
                                                    : rows);
}

CurveStream::CurveStream(unsigned threads) : threads_(threads) {
    if (threads_ == 0) threads_ = std::thread::hardware_concurrency();
    if (threads_ == 0) threads_ = 1;
}

void CurveStream::add(const WaveformDataset& ds, const std::string& name, int32_t signal,
                      const std::string& path, bool refused) {
    Curve curve;
    curve.file = std::make_unique<CurveFileJob>(ds, name, signal, path, refused);
    curve.signal = signal;
    if (curve.file->opened()) {
        // Opening emptied the file an earlier curve was growing.
        const auto [owner, fresh] = byPath_.try_emplace(fileKey(path), curves_.size());
        if (!fresh) {
            curves_[owner->second].replaced = true;
            curves_[owner->second].file->replaced();
            owner->second = curves_.size();
        }
    }
    curve.file->begin();
    curves_.push_back(std::move(curve));
}

void CurveStream::append(const WaveformValues& rows) {
    const uint32_t count = rows.counts[0][0];
    if (count == 0 || rows.axis[0][0] == nullptr) return;
    // A point whose time repeats the one before it is left out, across
    // pieces too.
    const float* axis = rows.axis[0][0];
    std::vector<uint8_t> skip(count);
    skip[0] = havePrevious_ && axis[0] == previousTime_ ? 1 : 0;
    for (uint32_t p = 1; p < count; ++p) skip[p] = axis[p] == axis[p - 1] ? 1 : 0;
    havePrevious_ = true;
    previousTime_ = axis[count - 1];

    const AxisText times(rows.axis[0], rows.counts[0], 1);
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        std::unique_ptr<char[]> text(new char[count * kMaxLineText]);
        for (std::size_t k = next++; k < curves_.size(); k = next++) {
            const Curve& curve = curves_[k];
            if (curve.replaced || curve.signal >= rows.signalCount) continue;
            const float* const* values = rows.real[curve.signal];
            if (values == nullptr || values[0] == nullptr) continue;
            curve.file->append(
                {text.get(), formatSamples(text.get(), times, skip.data(), values[0], count)});
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads_; ++t) helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
}

void CurveStream::finish(ExportedSignalSet& exported) {
    for (Curve& curve : curves_) {
        if (!curve.replaced) curve.file->end();
        curve.file->finish(exported);
    }
    curves_.clear();
    byPath_.clear();
}
