// The streamed curves; see curve_stream.h.
#include "curve_stream.h"

#include <filesystem>

namespace {

constexpr int64_t kPieceBytes = int64_t{48} << 20;
constexpr int64_t kFewestRows = 1024;
// The first curves keep their files open from piece to piece; the others
// are reopened for each piece, so open files stay few with any signal count.
constexpr std::size_t kKeptOpen = 32;
constexpr int64_t kMostRows = 16384;  // pieces come often enough to overlap reading
constexpr uint32_t kFewColumnRows = 4096;

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

const float* sweepZero(float*** set, int32_t entry) {
    return set != nullptr && set[entry] != nullptr ? set[entry][0] : nullptr;
}

}  // namespace

uint32_t rowsPerPiece(int64_t columns) {
    // A run of so few columns keeps every curve file open, so a piece costs
    // little beyond its rows: small ones stay in the cache on their way from
    // the reader to the writers, and the writing starts sooner.
    if (columns <= static_cast<int64_t>(kKeptOpen) + 1) return kFewColumnRows;
    const int64_t rows = kPieceBytes / (4 * (columns > 0 ? columns : 1));
    return static_cast<uint32_t>(rows < kFewestRows ? kFewestRows
                                 : rows > kMostRows ? kMostRows
                                                    : rows);
}

CurveStream::CurveStream(unsigned threads) {
    // The reader's thread helps with the piece it waits for, so it counts as
    // one of the threads.
    if (threads == 0) threads = std::thread::hardware_concurrency();
    if (threads > 1) --threads;
    for (unsigned t = 0; t < threads; ++t) workers_.emplace_back([this] { work(); });
}

CurveStream::~CurveStream() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void CurveStream::add(const WaveformDataset& ds, const std::string& name, int32_t signal,
                      const std::string& path, bool refused) {
    Curve curve;
    curve.file = std::make_unique<CurveFileJob>(ds, name, signal, path, refused);
    curve.signal = signal;
    if (curve.file->opened()) {
        // A later curve of a file an earlier one is growing will be renamed
        // over it: the earlier one stops here.
        const auto [owner, fresh] = byPath_.try_emplace(fileKey(path), curves_.size());
        if (!fresh) {
            curves_[owner->second].replaced = true;
            curves_[owner->second].file->replaced();
            owner->second = curves_.size();
        }
        piece_.values[signal];
    }
    curve.file->begin(curves_.size() < kKeptOpen);
    curves_.push_back(std::move(curve));
}

void CurveStream::addLine(std::FILE* stream, const std::string& text) {
    Curve held;
    held.line = {stream, text};
    curves_.push_back(std::move(held));
}

void CurveStream::append(const WaveformValues& rows) {
    const uint32_t count = rows.counts[0][0];
    const float* axis = sweepZero(rows.axis, 0);
    if (count == 0 || axis == nullptr) return;
    waitIdle();
    Piece& piece = piece_;
    piece.count = count;
    piece.times.assign(axis, axis + count);
    // A point whose time repeats the one before it is left out, across
    // pieces too.
    piece.skip.resize(count);
    piece.skip[0] = havePrevious_ && axis[0] == previousTime_ ? 1 : 0;
    for (uint32_t p = 1; p < count; ++p) piece.skip[p] = axis[p] == axis[p - 1] ? 1 : 0;
    havePrevious_ = true;
    previousTime_ = axis[count - 1];
    for (auto& [signal, values] : piece.values) {
        const float* from = signal < rows.signalCount ? sweepZero(rows.real, signal) : nullptr;
        if (from != nullptr) {
            values.assign(from, from + count);
        } else {
            values.clear();
        }
    }
    piece.timeText.reset();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        next_ = 0;
        busy_ = static_cast<unsigned>(workers_.size());
        ++generation_;
    }
    wake_.notify_all();
}

void CurveStream::waitIdle() {
    if (generation_ != 0) writePiece(readerText_);
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return busy_ == 0; });
}

void CurveStream::work() {
    TextBuffer text;
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) return;
        seen = generation_;
        lock.unlock();
        writePiece(text);
        lock.lock();
        if (--busy_ == 0) idle_.notify_all();
    }
}

// The times' text is made by the first worker to need it rather than by the
// reader, whose thread is the one the whole run waits on.
const AxisText& CurveStream::timeText() {
    std::lock_guard<std::mutex> lock(piece_.timeMutex);
    if (piece_.timeText == nullptr) {
        float* times[] = {piece_.times.data()};
        const uint32_t counts[] = {piece_.count};
        piece_.timeText = std::make_unique<AxisText>(times, counts, 1);
    }
    return *piece_.timeText;
}

char* CurveStream::TextBuffer::room(std::size_t size) {
    // Left uninitialised: zeroing it would touch pages a short text never uses.
    if (size > capacity) {
        bytes.reset(new char[size]);
        capacity = size;
    }
    return bytes.get();
}

void CurveStream::writePiece(TextBuffer& text) {
    const Piece& piece = piece_;
    for (std::size_t k = next_++; k < curves_.size(); k = next_++) {
        const Curve& curve = curves_[k];
        if (curve.file == nullptr || curve.replaced) continue;
        const auto values = piece.values.find(curve.signal);
        if (values == piece.values.end() || values->second.empty()) continue;
        char* out = text.room(piece.count * kMaxLineText);
        const std::size_t length =
            formatSamples(out, timeText(), piece.skip.data(), values->second.data(), piece.count);
        curve.file->append({out, length});
    }
}

void CurveStream::finish(ExportedSignalSet& exported) {
    waitIdle();
    for (Curve& curve : curves_) {
        if (curve.file == nullptr) {
            std::fwrite(curve.line.text.data(), 1, curve.line.text.size(), curve.line.stream);
            std::fputc('\n', curve.line.stream);
            std::fflush(curve.line.stream);
            continue;
        }
        if (!curve.replaced) curve.file->end();
        curve.file->finish(exported);
    }
    curves_.clear();
    byPath_.clear();
}
