// The wavtrex Python module: the reader's datasets as Waveform objects and
// its value arrays as NumPy arrays, without copying real-valued data.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "wfx.h"

namespace py = pybind11;

namespace {

PyObject* errorType = nullptr;  // wavtrex.Error, made at import

// Names are bytes in the file; undecodable bytes survive as surrogates, so a
// name read from .signals always finds its signal again.
py::str text(const char* bytes) {
    PyObject* s =
        PyUnicode_DecodeUTF8(bytes, static_cast<Py_ssize_t>(std::strlen(bytes)), "surrogateescape");
    if (s == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(s);
}

std::string typeName(py::handle value) {
    return Py_TYPE(value.ptr())->tp_name;
}

// A name as the file spells it: str through the same surrogate escape.
std::string fileSpelling(py::handle name) {
    if (py::isinstance<py::bytes>(name)) return name.cast<std::string>();
    if (!py::isinstance<py::str>(name))
        throw py::type_error("a signal name is str or bytes, not " + typeName(name));
    PyObject* bytes = PyUnicode_AsEncodedString(py::str(name).ptr(), "utf-8", "surrogateescape");
    if (bytes == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::bytes>(bytes).cast<std::string>();
}

// An int argument, or anything with __index__ (NumPy's integers), but no
// float or str. Values past long long's range are clamped to it.
long long integerArgument(py::handle value, const char* what) {
    if (!PyIndex_Check(value.ptr()))
        throw py::type_error(std::string(what) + " must be an int, not " + typeName(value));
    auto index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!index) throw py::error_already_set();
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (overflow != 0) return overflow > 0 ? LLONG_MAX : LLONG_MIN;
    return number;
}

// path is None for standard input.
[[noreturn]] void raiseReaderError(uint32_t status, const std::string& message,
                                   const py::object& path) {
    py::object error = py::handle(errorType)(status, text(message.c_str()), path);
    error.attr("status") = status;
    PyErr_SetObject(errorType, error.ptr());
    throw py::error_already_set();
}

uint32_t formatCode(const py::object& format) {
    // Raw files and the Xyce/PSpice CSDF dialect are detected too.
    if (format.is_none()) return WFX_DETECT_ALL;
    if (py::isinstance<py::str>(format)) {
        std::string name = format.cast<std::string>();
        for (uint32_t code = 0; code < 32; ++code) {
            const char* known = wfxFormatName(code);
            if (known != nullptr && name == known) return code;
        }
        throw py::value_error("unknown format name '" + name + "'");
    }
    if (!PyIndex_Check(format.ptr()))
        throw py::type_error("format must be a str name or an int code, not " + typeName(format));
    const long long code = integerArgument(format, "format");
    if (code < 0 || code >= WFX_DETECT_ALL) throw py::value_error("format code out of range");
    return static_cast<uint32_t>(code);
}

// Hands a malloc'ed array of count floats to NumPy; the capsule frees it.
// ---- arrays ------------------------------------------------------------------

// What a read's arrays hold: what the file stores (float64 where it stores
// doubles, each array on its own), or float32 or float64 throughout.
enum class Precision { kStored, k32, k64 };

Precision precisionOf(const py::object& dtype) {
    if (dtype.is_none()) return Precision::kStored;
    const auto asked = py::dtype::from_args(dtype);
    if (asked.kind() == 'f' && asked.itemsize() == 4) return Precision::k32;
    if (asked.kind() == 'f' && asked.itemsize() == 8) return Precision::k64;
    throw py::value_error("dtype must be None, numpy.float32 or numpy.float64, not " +
                          py::str(dtype).cast<std::string>());
}

// Hands a malloc'ed array of count values to NumPy; the capsule frees it.
template <typename T>
py::array_t<T> adopt(T*& data, uint32_t count) {
    T* owned = data;
    data = nullptr;
    if (count == 0 || owned == nullptr) {
        std::free(owned);
        return py::array_t<T>(0);
    }
    // Arrays grow by doubling while reading: give the unused tail back, so a
    // result holds about the file's data and no more.
    if (auto* fitted = static_cast<T*>(std::realloc(owned, count * sizeof(T)))) owned = fitted;
    py::capsule owner(owned, [](void* p) { std::free(p); });
    return py::array_t<T>({static_cast<py::ssize_t>(count)}, owned, owner);
}

// A double array as floats in its own memory: each float lands at or before
// the bytes of the double it comes from, so no second array is needed.
float* narrowInPlace(double*& data, uint32_t count) {
    auto* bytes = reinterpret_cast<unsigned char*>(data);
    data = nullptr;
    for (uint32_t p = 0; bytes != nullptr && p < count; ++p) {
        double wide = 0;
        std::memcpy(&wide, bytes + p * sizeof(double), sizeof wide);
        const auto narrow = static_cast<float>(wide);
        std::memcpy(bytes + p * sizeof(float), &narrow, sizeof narrow);
    }
    return reinterpret_cast<float*>(bytes);
}

// One array of a read for NumPy: as read, or narrowed to float32.
template <typename T>
py::array adoptArray(T*& data, uint32_t count, bool narrow) {
    if constexpr (std::is_same_v<T, double>) {
        if (narrow) {
            float* floats = narrowInPlace(data, count);
            return adopt(floats, count);
        }
    }
    return adopt(data, count);
}

template <typename T>
py::array emptyArray(bool narrow) {
    if (narrow) return py::array_t<float>(0);
    return py::array_t<T>(0);
}

// The reader keeps real and imaginary parts apart; complex values interleave
// them, so this is the one copy. Both source arrays are freed at once.
template <typename Out, typename In>
py::array_t<std::complex<Out>> joinComplex(In*& real, In*& imag, uint32_t count) {
    py::array_t<std::complex<Out>> joined(real != nullptr ? count : 0);
    std::complex<Out>* out = joined.mutable_data();
    for (uint32_t p = 0; p < static_cast<uint32_t>(joined.size()); ++p) {
        out[p] = {static_cast<Out>(real[p]), imag != nullptr ? static_cast<Out>(imag[p]) : Out{}};
    }
    std::free(real);
    std::free(imag);
    real = imag = nullptr;
    return joined;
}

struct Values {
    WaveformValues v{};
    ~Values() { wfxReleaseValues(&v); }
};

struct Values64 {
    WaveformValues64 v{};
    ~Values64() { wfxReleaseValues64(&v); }
};

// A copy of one streamed piece in arrays of its own (the reader fills its
// arrays again for the next piece), shaped like a read of one sweep. Returns
// false when memory ran out; copy is then released by its owner.
bool copyPiece(const WaveformValues& piece, WaveformValues& copy) {
    const uint32_t count = piece.counts[0][0];
    bool ok = true;
    auto dup = [&](float*** set, int32_t entries) -> float*** {
        if (set == nullptr) return nullptr;
        auto** entry =
            static_cast<float***>(std::calloc(static_cast<size_t>(entries), sizeof(float**)));
        ok = ok && entry != nullptr;
        for (int32_t i = 0; ok && i < entries; ++i) {
            if (set[i] == nullptr || set[i][0] == nullptr) continue;
            entry[i] = static_cast<float**>(std::calloc(1, sizeof(float*)));
            if (entry[i] != nullptr)
                entry[i][0] = static_cast<float*>(std::malloc(count * sizeof(float)));
            ok = entry[i] != nullptr && entry[i][0] != nullptr;
            if (ok) std::memcpy(entry[i][0], set[i][0], count * sizeof(float));
        }
        return entry;
    };
    copy.signalCount = piece.signalCount;
    copy.holderCount = 1;
    copy.sweepSlots = copy.sweepCount = 1;
    copy.real = dup(piece.real, piece.signalCount);
    copy.imag = dup(piece.imag, piece.signalCount);
    copy.axis = dup(piece.axis, 1);
    copy.counts = static_cast<uint32_t**>(std::calloc(1, sizeof(uint32_t*)));
    if (copy.counts != nullptr)
        copy.counts[0] = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t)));
    if (!ok || copy.counts == nullptr || copy.counts[0] == nullptr) return false;
    copy.counts[0][0] = count;
    return true;
}

// ---- what open finds ---------------------------------------------------------

const char* wordsOr(uint32_t of, uint32_t code, const char* fallback) {
    const char* words = wfxWords(of, code);
    return words != nullptr ? words : fallback;
}

// A variable's codes and, from the reader's table, what they stand for.
struct SignalType {
    uint32_t kind = 0;
    uint32_t typeCode = 0;
    std::string quantity;   // "voltage", "current", "time", ...; "unknown" when the code has none
    std::string valueType;  // "real", "complex"
    std::string units;      // "V", "A", "s", "Hz", or ""

    static SignalType ofSignal(const VariableRecord& record) {
        return {record.kind, record.typeCode, wordsOr(kWordsType, record.typeCode, "unknown"),
                wordsOr(kWordsKind, record.kind, "unknown"),
                wordsOr(kWordsTypeUnit, record.typeCode, "")};
    }
    // The independent variable's codes mean an analysis: its words go by that.
    static SignalType ofAxis(const VariableRecord& record, uint32_t analysis) {
        return {record.kind, record.typeCode, wordsOr(kWordsAxis, analysis, "unknown"),
                wordsOr(kWordsKind, record.kind, "unknown"), wordsOr(kWordsAxisUnit, analysis, "")};
    }
};

PyObject* plotType = nullptr;  // wavtrex.Plot, a named tuple made at import

// Every plot of a SPICE raw or CSDF dialect file, as the default read groups
// them: sweeps are the sweep numbers read from each plot, () for one that is
// not read unless chosen with open(plot=...).
py::list listPlots(const WaveformDataset* ds) {
    std::vector<WfxPlotFacts> plots;
    for (WfxPlotFacts facts{}; wfxPlotFacts(ds, static_cast<int32_t>(plots.size()), &facts);)
        plots.push_back(facts);
    py::list listed;
    for (size_t p = 0; p < plots.size(); ++p) {
        int32_t end = ds->sweepCount;  // a plot's sweeps end where the next read plot's start
        for (const WfxPlotFacts& other : plots) {
            if (other.firstSweep > plots[p].firstSweep && other.firstSweep < end)
                end = other.firstSweep;
        }
        py::list sweeps;
        for (int32_t s = plots[p].firstSweep; s >= 0 && s < end; ++s) sweeps.append(s);
        const char* analysis = plots[p].analysisKind == WFX_ANALYSIS_UNSET
                                   ? nullptr
                                   : wfxWords(kWordsAnalysis, plots[p].analysisKind);
        listed.append(
            py::handle(plotType)(p, text(plots[p].name),
                                 analysis != nullptr ? py::object(py::str(analysis)) : py::none(),
                                 plots[p].variableCount, plots[p].pointCount, py::tuple(sweeps)));
    }
    return listed;
}

// ---- reading -----------------------------------------------------------------

struct Sweep {
    py::object independent;  // shared independent values, None when per signal
    py::dict axes;           // name -> that signal's independent values
    py::dict values;         // name -> its values
    py::object sweepValues;  // parameter values of this sweep, or None
};

// Which arrays of a float64 read become float32: those the file stores so.
struct Narrowing {
    bool values = false;
    bool axis = false;
};

// The signals a read turns into sweeps, in file order.
struct Layout {
    const std::vector<py::object>& names;
    const std::vector<SignalType>& types;
    uint32_t sweepParams;
};

// Signal i's values in sweep s: count of them, complex when the signal is.
template <typename V>
py::object signalValues(V& v, const Layout& layout, int32_t i, int32_t s, uint32_t count,
                        bool narrow) {
    using T = std::remove_pointer_t<std::remove_pointer_t<std::remove_pointer_t<decltype(v.real)>>>;
    auto** real = v.real != nullptr ? v.real[i] : nullptr;
    auto** imag = v.imag != nullptr ? v.imag[i] : nullptr;
    if (real == nullptr) return emptyArray<T>(narrow);
    if (imag != nullptr && layout.types[static_cast<size_t>(i)].kind == kKindComplex) {
        if (narrow) return joinComplex<float>(real[s], imag[s], count);
        return joinComplex<T>(real[s], imag[s], count);
    }
    return adoptArray(real[s], count, narrow);
}

// Sweep s of a read: its arrays pass to NumPy, or are copied once (complex).
template <typename V>
Sweep sweepOf(V& v, const Layout& layout, const std::vector<uint8_t>& wanted, int32_t s,
              Narrowing narrow) {
    using T = std::remove_pointer_t<std::remove_pointer_t<std::remove_pointer_t<decltype(v.axis)>>>;
    const bool perSignal = v.holderCount > 1;  // as wfxTimesPerSignal tells
    const auto signals = static_cast<int32_t>(std::min<size_t>(layout.names.size(), v.signalCount));
    Sweep sweep;
    std::map<int32_t, py::object> axes;  // holder -> its array, made once
    auto axisOf = [&](int32_t holder) -> py::object {
        auto found = axes.find(holder);
        if (found != axes.end()) return found->second;
        py::object axis = py::none();
        if (holder < v.holderCount && v.axis != nullptr && v.axis[holder] != nullptr)
            axis = adoptArray(v.axis[holder][s], v.counts[holder][s], narrow.axis);
        return axes[holder] = axis;
    };
    sweep.independent = perSignal ? py::none() : axisOf(0);
    for (int32_t i = 0; i < signals; ++i) {
        const py::object& name = layout.names[static_cast<size_t>(i)];
        // A name given twice stands for its first signal.
        if (!wanted[static_cast<size_t>(i)] || sweep.values.contains(name)) continue;
        const int32_t holder = perSignal ? i : 0;
        py::object axis = axisOf(holder);
        uint32_t count = 0;
        if (!axis.is_none() && v.real != nullptr && v.real[i] != nullptr && v.real[i][s] != nullptr)
            count = v.counts[holder][s];
        if (axis.is_none()) axis = emptyArray<T>(narrow.axis);
        count = std::min(count, static_cast<uint32_t>(py::len(axis)));
        sweep.axes[name] = axis;
        sweep.values[name] = signalValues(v, layout, i, s, count, narrow.values);
    }
    sweep.sweepValues = py::none();
    if (v.sweepValues != nullptr && layout.sweepParams > 0)
        sweep.sweepValues = adoptArray(v.sweepValues[s], layout.sweepParams, narrow.axis);
    return sweep;
}

template <typename V>
py::list sweepsOf(V& v, const Layout& layout, const std::vector<uint8_t>& wanted,
                  Narrowing narrow = {}) {
    const int32_t sweepCount = std::min(v.sweepCount, v.sweepSlots);
    py::list result;
    for (int32_t s = 0; s < sweepCount; ++s)
        result.append(py::cast(sweepOf(v, layout, wanted, s, narrow)));
    return result;
}

class Waveform;

// What a stream's sink needs of its caller.
struct StreamContext {
    const Waveform& self;
    const py::object& callback;
    const std::vector<uint8_t>& wanted;
    bool failed = false;   // the callback raised, or a copy found no memory
    bool stopped = false;  // the callback returned False
};

int streamSink(const WaveformValues* piece, void* opaque);

class Waveform {
  public:
    Waveform(const py::object& path, const py::object& format, const py::object& plot) {
        if (!path.is_none()) {
            py::bytes encoded = py::module_::import("os").attr("fsencode")(path);
            path_ = encoded.cast<std::string>();
        }
        if (path_.find('\0') != std::string::npos) throw py::value_error("embedded null byte");
        // None or "-": the reader copies standard input and reads the copy.
        standardInput_ = path.is_none() || path_ == "-";
        const uint32_t code = formatCode(format);
        if (!plot.is_none()) {
            const long long asked = integerArgument(plot, "plot");
            plot_ = static_cast<int32_t>(std::clamp<long long>(asked, -1, INT32_MAX));
        }
        open(path, code);
        plots_ = listPlots(ds_);
        if (plot_ && !wfxSelectPlot(ds_, *plot_)) {
            const std::string reason = wfxLastReason();
            wfxClose(ds_);
            ds_ = nullptr;
            throw py::value_error(path_ + ": " + reason);
        }
        describe();
    }
    ~Waveform() { wfxClose(ds_); }

    void close() {
        refuseInStream();
        py::gil_scoped_release unlocked;
        std::lock_guard<std::mutex> lock(mutex_);
        wfxClose(ds_);
        ds_ = nullptr;
        streamable_ = false;
    }

    py::list read(const py::object& signals, const py::object& dtype) {
        refuseInStream();
        const Precision precision = precisionOf(dtype);
        std::vector<uint8_t> wanted = wantedOf(signals);
        const Layout layout{names_, types_, sweepParamCount_};
        // A float64 read where any array is asked for or stored as doubles;
        // those the file stores as floats narrow again, in place.
        const bool wide = precision == Precision::k64 || (precision == Precision::kStored &&
                                                          (valueBits_ == 64 || axisBits_ == 64));
        const bool stored = precision == Precision::kStored;
        const Narrowing narrow{stored && valueBits_ != 64, stored && axisBits_ != 64};
        Values values;
        Values64 wideValues;
        withDataset("read", [&] {
            coverEverySignal(wanted, signals.is_none());
            // A selection is decoded and held for the named signals only.
            const uint8_t* keep = signals.is_none() ? nullptr : wanted.data();
            return wide ? wfxReadSignals64(ds_, keep, &wideValues.v)
                        : wfxReadSignals(ds_, keep, &values.v);
        });
        return wide ? sweepsOf(wideValues.v, layout, wanted, narrow)
                    : sweepsOf(values.v, layout, wanted);
    }

    // Settled at open, so no lock is needed: a stream in another thread holds
    // the dataset until its end.
    bool streamable() const {
        refuseInStream();
        return streamable_;
    }

    // Hands the rows to callback one piece at a time (float32, as streamed).
    bool stream(const py::object& callback, const py::object& signals, const py::object& rows) {
        refuseInStream();
        if (!PyCallable_Check(callback.ptr()))
            throw py::type_error("callback must be callable, not " + typeName(callback));
        const long long asked = integerArgument(rows, "rows");
        if (asked < 1) throw py::value_error("rows must be at least 1");
        std::vector<uint8_t> wanted = wantedOf(signals);
        StreamContext context{*this, callback, wanted};
        bool streamable = true;
        withDataset("stream", [&] {
            streamable = wfxCanStream(ds_) != 0;
            if (!streamable) return -1;
            coverEverySignal(wanted, signals.is_none());
            streamer_ = std::this_thread::get_id();
            const int ok =
                wfxStreamSignals(ds_, wanted.data(), pieceRows(asked), streamSink, &context);
            streamer_ = std::thread::id();
            return ok;
        });
        if (!streamable)
            throw py::value_error("stream reads one-table HSPICE post files only; use read()");
        if (context.failed) throw py::error_already_set();
        return !context.stopped;
    }

    // A streamed piece as a Sweep, for the sink.
    py::object pieceSweep(WaveformValues& piece, const std::vector<uint8_t>& wanted) const {
        return sweepsOf(piece, Layout{names_, types_, sweepParamCount_}, wanted)[0];
    }

    py::object independent() const { return independent_; }
    const std::vector<py::object>& signalNames() const { return names_; }
    py::dict signalTypes() const {
        py::dict types;
        for (size_t i = 0; i < names_.size(); ++i) {
            // A name given twice stands for its first signal.
            if (!types.contains(names_[i])) types[names_[i]] = py::cast(types_[i]);
        }
        return types;
    }
    py::object dtypeOf(int which) const {
        return py::dtype((which == 0 ? valueBits_ : axisBits_) == 64 ? "float64" : "float32");
    }

    std::string path_;
    uint32_t format_ = 0;
    std::string version_, title_, date_;
    uint32_t analysis_ = 0;
    // How the latest read found the data's end; none before the first read.
    std::optional<uint32_t> ending_;
    uint32_t missingValues_ = 0;
    void noteEnding() {
        ending_ = ds_->readEnding;
        missingValues_ = ds_->missingValues;
    }
    uint8_t fileMode_ = 0;
    int32_t sweepCount_ = 0;
    uint32_t sweepParamCount_ = 0;
    std::vector<py::object> sweepParameters_;
    std::optional<int32_t> plot_;  // the plot chosen at open
    py::list plots_;
    std::optional<SignalType> independentType_;

  private:
    // The path for OSError.filename; None for standard input.
    py::object filename() const {
        return standardInput_ ? py::object(py::none()) : py::object(text(path_.c_str()));
    }

    // Opens the file with the GIL released; raises what a refusal calls for.
    void open(const py::object& path, uint32_t code) {
        uint32_t status = 0;
        std::string message;
        {
            py::gil_scoped_release unlocked;
            ds_ = wfxOpen(standardInput_ ? nullptr : path_.c_str(), code, WFX_DETECT_MODE, &status);
            if (ds_ == nullptr) message = wfxLastReason();
        }
        if (ds_ != nullptr) return;
        std::error_code ignored;
        if (status == kOpenCannotOpen && !standardInput_ &&
            !std::filesystem::exists(path_, ignored)) {
            PyErr_SetObject(PyExc_FileNotFoundError,
                            py::make_tuple(ENOENT, std::strerror(ENOENT), path).ptr());
            throw py::error_already_set();
        }
        raiseReaderError(status, message, filename());
    }

    // Runs work with the GIL released and the dataset locked. work returns
    // the reader's 1 or 0, or -1 when it read nothing. Raises ValueError
    // after close and wavtrex.Error for a failure.
    template <typename Work>
    void withDataset(const char* what, Work&& work) {
        uint32_t lastError = 0;
        std::string message;
        bool closed = false;
        int ok = 0;
        {
            py::gil_scoped_release unlocked;
            std::lock_guard<std::mutex> lock(mutex_);
            closed = ds_ == nullptr;
            if (!closed) {
                ok = work();
                lastError = ds_->lastError;
                if (ok > 0) noteEnding();
                if (ok == 0) message = wfxLastReason();
            }
        }
        if (closed) throw py::value_error(std::string(what) + " of a closed waveform");
        if (ok == 0) raiseReaderError(lastError, message, filename());
    }

    // Every value takes at least 4 bytes of the file and a row holds the
    // independent value and every signal's, so a piece never needs more rows
    // than the file's size allows. Called with the dataset locked.
    uint32_t pieceRows(long long asked) const {
        const int64_t columns = 1 + (ds_->signalCount > 0 ? ds_->signalCount : 0);
        const int64_t fits = ds_->sizeEstimate / (4 * columns) + 1;
        return static_cast<uint32_t>(std::min<long long>({asked, fits, UINT32_MAX}));
    }

    // The stream's callback runs while the stream holds the dataset: a
    // close, read or stream from inside it would wait for itself.
    void refuseInStream() const {
        if (streamer_ == std::this_thread::get_id())
            throw py::value_error("the waveform is being streamed");
    }

    // A header whose names could not all be listed still has signalCount
    // signals for the reader to look up: wanted gets an entry for each. Called
    // with the dataset locked.
    void coverEverySignal(std::vector<uint8_t>& wanted, bool all) const {
        const auto count = static_cast<size_t>(ds_->signalCount > 0 ? ds_->signalCount : 0);
        if (wanted.size() < count) wanted.resize(count, all ? 1 : 0);
    }

    // Which signals a read keeps: all for None, else the named ones (a name
    // or a list of names; KeyError for one the file does not have).
    std::vector<uint8_t> wantedOf(const py::object& signals) const {
        std::vector<uint8_t> wanted(names_.size(), signals.is_none() ? 1 : 0);
        if (signals.is_none()) return wanted;
        py::object names = py::isinstance<py::str>(signals) ? py::make_tuple(signals) : signals;
        for (py::handle name : names) {
            auto found = positions_.find(fileSpelling(name));
            if (found == positions_.end()) throw py::key_error(py::repr(name).cast<std::string>());
            wanted[static_cast<size_t>(found->second)] = 1;
        }
        return wanted;
    }

    // Copies the header's description, so it stays readable after close.
    void describe() {
        streamable_ = wfxCanStream(ds_) != 0;
        format_ = ds_->dataFormat;
        version_ = ds_->version;
        title_ = ds_->title;
        date_ = ds_->date;
        analysis_ = ds_->analysisKind;
        fileMode_ = ds_->fileMode;
        sweepCount_ = ds_->sweepCount;
        sweepParamCount_ =
            ds_->sweepParamCount > 0 ? static_cast<uint32_t>(ds_->sweepParamCount) : 0;
        valueBits_ = wfxStoredBits(ds_, 0);
        axisBits_ = wfxStoredBits(ds_, 1);
        const int64_t first = ds_->firstSignalIndex;
        const int32_t signals = ds_->signalCount > 0 ? ds_->signalCount : 0;
        if (first < 1 || first + signals > ds_->variableCount) return;
        describeSweepParameters(first - 1);
        independent_ = text(wfxName(ds_, ds_->variables[first - 1].nameOffset));
        independentType_ = SignalType::ofAxis(ds_->variables[first - 1], analysis_);
        for (int32_t i = 0; i < signals; ++i) {
            const VariableRecord& record = ds_->variables[first + i];
            names_.push_back(text(wfxName(ds_, record.nameOffset)));
            types_.push_back(SignalType::ofSignal(record));
            // A name given twice stands for its first signal, as in the reader.
            positions_.emplace(wfxName(ds_, record.nameOffset), i);
        }
    }

    // The names of the records before the independent variable; a compound
    // sweep variable stands for its type's members.
    void describeSweepParameters(int64_t records) {
        for (int64_t v = 0; v < records; ++v) {
            const VariableRecord& record = ds_->variables[v];
            if (record.kind != kKindCompound) {
                sweepParameters_.push_back(text(wfxName(ds_, record.nameOffset)));
                continue;
            }
            for (int32_t t = 0; t < ds_->typeCount; ++t) {
                if (ds_->types[t].parentType == static_cast<int32_t>(record.typeCode))
                    sweepParameters_.push_back(text(wfxName(ds_, ds_->types[t].nameOffset)));
            }
        }
    }

    WaveformDataset* ds_ = nullptr;
    std::mutex mutex_;
    std::atomic<std::thread::id> streamer_;  // the thread in stream(), if any
    std::atomic<bool> streamable_{false};    // until close
    bool standardInput_ = false;
    int valueBits_ = 32, axisBits_ = 32;  // what the file stores, per value
    py::object independent_ = py::none();
    std::vector<py::object> names_;
    std::vector<SignalType> types_;
    std::unordered_map<std::string, int32_t> positions_;
};

int streamSink(const WaveformValues* piece, void* opaque) {
    auto& c = *static_cast<StreamContext*>(opaque);
    py::gil_scoped_acquire locked;
    try {
        Values copy;
        if (!copyPiece(*piece, copy.v)) throw std::bad_alloc();
        const py::object result = c.callback(c.self.pieceSweep(copy.v, c.wanted));
        c.stopped = !result.is_none() && !py::bool_(result);
    } catch (py::error_already_set& error) {
        error.restore();
        c.failed = true;
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
        c.failed = true;
    }
    return c.failed || c.stopped ? 0 : 1;
}

// ---- the module --------------------------------------------------------------

// The format names open() takes, from the reader's table.
std::string formatNames() {
    std::string names;
    for (uint32_t code = 0; code < 32; ++code) {
        if (const char* name = wfxFormatName(code))
            names += (names.empty() ? "" : ", ") + std::to_string(code) + " '" + name + "'";
    }
    return names;
}

void bindError(py::module_& m) {
    errorType = PyErr_NewExceptionWithDoc(
        "wavtrex.Error",
        "A waveform file the reader refused. status (also errno) is the reader's code: the\n"
        "open status (2 no reader or a bad header, 3 empty file, 5 cannot open, 7 unknown\n"
        "format, file mode or code, 8 out of memory) or, for read, the dataset's error\n"
        "(8 out of memory, 3 empty file, otherwise 0); strerror is the reader's reason\n"
        "and filename the path; str() gives both.",
        PyExc_OSError, nullptr);
    if (errorType == nullptr) throw py::error_already_set();
    // Reads like the reader's own refusal rather than a system call's errno.
    py::handle(errorType).attr("__str__") = py::cpp_function(
        [](py::handle self) {
            return py::str("{}: {}").format(self.attr("filename"), self.attr("strerror"));
        },
        py::name("__str__"), py::is_method(py::handle(errorType)));
    m.attr("Error") = py::handle(errorType);
}

void bindKinds(py::module_& m) {
    m.attr("KIND_CSDF_NODE") = static_cast<int>(kKindCsdfNode);
    m.attr("KIND_REAL") = static_cast<int>(kKindReal);
    m.attr("KIND_COMPLEX") = static_cast<int>(kKindComplex);
    m.attr("KIND_TAGGED_AXIS") = static_cast<int>(kKindTaggedAxis);
    m.attr("KIND_TAGGED_CODE23") = static_cast<int>(kKindTaggedCode23);
    m.attr("KIND_COMPOUND") = static_cast<int>(kKindCompound);
}

void bindPlot(py::module_& m) {
    py::object type = py::module_::import("collections")
                          .attr("namedtuple")("Plot", "index name analysis variables points sweeps",
                                              py::arg("module") = "wavtrex");
    type.attr("__doc__") =
        "A plot of a SPICE raw or CSDF dialect file: its number (open(path, plot=index) reads\n"
        "it), Plotname, analysis ('AC', ..., or None), variables (the independent one\n"
        "included) and points as its header declares, and the sweeps of the default read\n"
        "that come from it (() when it is read only when chosen).";
    plotType = type.release().ptr();
    m.attr("Plot") = py::handle(plotType);
}

void bindSignalType(py::module_& m) {
    py::class_<SignalType>(m, "SignalType", "A variable's kind and simulator type code.")
        .def_readonly("kind", &SignalType::kind,
                      "the VariableKind: KIND_REAL, KIND_COMPLEX, KIND_CSDF_NODE (real), ...")
        .def_readonly("type_code", &SignalType::typeCode,
                      "the simulator's type code as the file gives it (1 a node voltage)")
        .def_readonly("quantity", &SignalType::quantity,
                      "'voltage', 'current', 'other', or 'unknown' for a signal; 'time', "
                      "'frequency' or 'swept source' for the independent variable")
        .def_readonly("value_type", &SignalType::valueType, "'real' or 'complex'")
        .def_readonly("units", &SignalType::units, "'V', 'A', 's', 'Hz', or '' when unknown")
        .def("__repr__", [](const SignalType& t) {
            return "SignalType(kind=" + std::to_string(t.kind) +
                   ", type_code=" + std::to_string(t.typeCode) + ")";
        });
}

void bindSweep(py::module_& m) {
    py::class_<Sweep>(m, "Sweep", R"(The values of one sweep, as read returns them.

independent   the independent-variable values, or None for the event formats,
              where every signal has its own
axes          signal name -> the independent-variable values of that signal
              (the same array for every signal unless the format has times per
              signal)
values        signal name -> its values, complex for complex signals
sweep_values  parameter values of this sweep, None without an outer sweep
sweep[name]   the same as sweep.values[name]

Arrays are float64 where the file stores doubles, float32 where it stores
floats, unless read() was given a dtype.)")
        .def_readonly("independent", &Sweep::independent)
        .def_readonly("axes", &Sweep::axes)
        .def_readonly("values", &Sweep::values)
        .def_readonly("sweep_values", &Sweep::sweepValues)
        .def("__getitem__", [](const Sweep& s, const py::object& name) { return s.values[name]; })
        .def("__contains__",
             [](const Sweep& s, const py::object& name) { return s.values.contains(name); })
        .def("__len__", [](const Sweep& s) { return py::len(s.values); })
        .def("__iter__", [](const Sweep& s) { return py::iter(s.values); });
}

// What the header says: readable after close too.
void bindWaveformHeader(py::class_<Waveform>& c) {
    c.def_property_readonly(
         "format", [](const Waveform& w) { return w.format_; }, "data format code")
        .def_property_readonly(
            "format_name", [](const Waveform& w) { return wfxFormatName(w.format_); },
            "the format's name, as open() takes it")
        .def_property_readonly("version",
                               [](const Waveform& w) { return text(w.version_.c_str()); })
        .def_property_readonly("title", [](const Waveform& w) { return text(w.title_.c_str()); })
        .def_property_readonly("date", [](const Waveform& w) { return text(w.date_.c_str()); })
        .def_property_readonly(
            "analysis",
            [](const Waveform& w) -> py::object {
                if (w.analysis_ == WFX_ANALYSIS_UNSET) return py::none();
                if (const char* name = wfxWords(kWordsAnalysis, w.analysis_)) return py::str(name);
                return py::int_(w.analysis_);
            },
            "'transient', 'AC', 'DC sweep', 'operating point', 'measurement table', or None")
        .def_property_readonly("binary",
                               [](const Waveform& w) { return (w.fileMode_ & kModeBinary) != 0; })
        .def_property_readonly(
            "big_endian", [](const Waveform& w) { return (w.fileMode_ & kModeBigEndian) != 0; })
        .def_property_readonly(
            "sweep_count", [](const Waveform& w) { return w.sweepCount_; },
            "sweeps the header declares; read() returns fewer when the file ends early")
        .def_property_readonly(
            "sweep_parameters", [](const Waveform& w) { return w.sweepParameters_; },
            "names of the outer sweep's parameters, in the order of Sweep.sweep_values")
        .def_property_readonly("independent", &Waveform::independent,
                               "name of the independent variable (time, frequency, ...)")
        .def_property_readonly(
            "independent_type", [](const Waveform& w) { return w.independentType_; },
            "the independent variable's SignalType, None when the header has none")
        .def_property_readonly("signals", &Waveform::signalNames, "signal names in file order")
        .def_property_readonly("signal_types", &Waveform::signalTypes,
                               "signal name -> SignalType(kind, type_code)");
}

// What a read gives: precision and plots.
void bindWaveformPrecision(py::class_<Waveform>& c) {
    c.def_property_readonly(
         "dtype", [](const Waveform& w) { return w.dtypeOf(0); },
         "what the file stores the signals' values as: float64 or float32 (complex "
         "signals read as complex of it)")
        .def_property_readonly(
            "axis_dtype", [](const Waveform& w) { return w.dtypeOf(1); },
            "what the file stores the independent variable as: float64 or float32")
        .def_property_readonly(
            "plots", [](const Waveform& w) { return w.plots_.attr("copy")(); },
            "every plot of a SPICE raw or CSDF dialect file, as Plot tuples; [] for others")
        .def_property_readonly(
            "plot", [](const Waveform& w) { return w.plot_; },
            "the plot chosen at open, None for the default");
}

// What the latest read found, and the reads themselves.
void bindWaveformReads(py::class_<Waveform>& c) {
    c.def_property_readonly(
         "complete",
         [](const Waveform& w) -> py::object {
             if (!w.ending_) return py::none();
             return py::bool_(*w.ending_ == kEndingComplete);
         },
         "after a read: False when the file ended before its end, else True; None before")
        .def_property_readonly(
            "ending",
            [](const Waveform& w) -> py::object {
                if (!w.ending_) return py::none();
                std::string text = wordsOr(kWordsReadEnding, *w.ending_, "unknown");
                if (*w.ending_ == kEndingRowCutShort)
                    text += ", " + std::to_string(w.missingValues_) + " missing";
                return py::str(text);
            },
            "after a read: 'complete', 'no end marker', or 'last row cut short, N "
            "missing' (read as 0); None before")
        .def_property_readonly("streamable", &Waveform::streamable,
                               "True when stream() can read the file: a one-table HSPICE "
                               "post file (no outer sweep); False after close")
        // The package's Waveform documents these two and resolves the names.
        .def("read", &Waveform::read, py::arg("signals") = py::none(),
             py::arg("dtype") = py::none(), "See wavtrex.Waveform.read.")
        .def("stream", &Waveform::stream, py::arg("callback"), py::arg("signals") = py::none(),
             py::arg("rows") = 65536, "See wavtrex.Waveform.stream.")
        .def("close", &Waveform::close, "Releases the file; attributes stay readable.")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](Waveform& w, const py::args&) { w.close(); });
}

void bindWaveform(py::module_& m) {
    py::class_<Waveform> c(m, "Waveform", R"(An opened waveform file; use open() to make one.

The header is read at open and stays readable after close. A Waveform is a
context manager that closes itself.)");
    // The package's Waveform derives from this one and opens through it.
    c.def(py::init([](const py::object& path, const py::object& format, const py::object& plot) {
              return new Waveform(path, format, plot);
          }),
          py::arg("path"), py::arg("format") = py::none(), py::arg("plot") = py::none());
    bindWaveformHeader(c);
    bindWaveformPrecision(c);
    bindWaveformReads(c);
}

}  // namespace

PYBIND11_MODULE(_core, m) {
    m.doc() =
        "The compiled half of wavtrex: the reader's datasets as Waveform objects and\n"
        "its value arrays as NumPy arrays. Format codes and names: " +
        formatNames() + ".";
    m.attr("__version__") = "1.0.0";
    m.attr("FORMAT_NAMES") = formatNames();
    // NumPy's API table is looked up once, here: looked up on first use, two
    // threads could meet in its guarded initialiser, one holding the GIL and
    // the other importing NumPy and waiting for it.
    py::detail::npy_api::get();
    bindError(m);
    bindKinds(m);
    bindPlot(m);
    bindSignalType(m);
    bindSweep(m);
    bindWaveform(m);
}
