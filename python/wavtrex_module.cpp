// The wavtrex Python module: the reader's datasets as Waveform objects and
// its value arrays as NumPy arrays, without copying real-valued data.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

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
py::array_t<float> adoptFloats(float*& data, uint32_t count) {
    float* owned = data;
    data = nullptr;
    if (count == 0 || owned == nullptr) {
        std::free(owned);
        return py::array_t<float>(0);
    }
    // Arrays grow by doubling while reading: give the unused tail back, so a
    // result holds about the file's float data and no more.
    if (auto* fitted = static_cast<float*>(std::realloc(owned, count * sizeof(float)))) {
        owned = fitted;
    }
    py::capsule owner(owned, [](void* p) { std::free(p); });
    return py::array_t<float>({static_cast<py::ssize_t>(count)}, owned, owner);
}

// The reader keeps real and imaginary parts apart; complex64 interleaves
// them, so this is the one copy. Both source arrays are freed at once.
py::array_t<std::complex<float>> joinComplex(float*& real, float*& imag, uint32_t count) {
    py::array_t<std::complex<float>> joined(real != nullptr ? count : 0);
    std::complex<float>* out = joined.mutable_data();
    for (uint32_t p = 0; p < static_cast<uint32_t>(joined.size()); ++p) {
        out[p] = {real[p], imag != nullptr ? imag[p] : 0.0f};
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

struct SignalType {
    uint32_t kind;
    uint32_t typeCode;
};

struct Sweep {
    py::object independent;  // shared independent values, None when per signal
    py::dict axes;           // name -> that signal's independent values
    py::dict values;         // name -> float32 or complex64 values
    py::object sweepValues;  // parameter values of this sweep, or None
};

class Waveform {
  public:
    Waveform(const py::object& path, const py::object& format) {
        if (!path.is_none()) {
            py::bytes encoded = py::module_::import("os").attr("fsencode")(path);
            path_ = encoded.cast<std::string>();
        }
        if (path_.find('\0') != std::string::npos) throw py::value_error("embedded null byte");
        // None or "-": the reader copies standard input and reads the copy.
        standardInput_ = path.is_none() || path_ == "-";
        const uint32_t code = formatCode(format);
        uint32_t status = 0;
        std::string message;
        {
            py::gil_scoped_release unlocked;
            ds_ = wfxOpen(standardInput_ ? nullptr : path_.c_str(), code, WFX_DETECT_MODE, &status);
            if (ds_ == nullptr) message = wfxLastReason();
        }
        if (ds_ == nullptr) {
            std::error_code ignored;
            if (status == kOpenCannotOpen && !standardInput_ &&
                !std::filesystem::exists(path_, ignored)) {
                PyErr_SetObject(PyExc_FileNotFoundError,
                                py::make_tuple(ENOENT, std::strerror(ENOENT), path).ptr());
                throw py::error_already_set();
            }
            raiseReaderError(status, message, filename());
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

    py::list read(const py::object& signals) {
        refuseInStream();
        std::vector<uint8_t> wanted = wantedOf(signals);
        Values values;
        uint32_t lastError = 0;
        std::string message;
        bool closed = false;
        int ok = 0;
        {
            py::gil_scoped_release unlocked;
            std::lock_guard<std::mutex> lock(mutex_);
            closed = ds_ == nullptr;
            if (!closed) {
                coverEverySignal(wanted, signals.is_none());
                // A selection is decoded and held for the named signals only.
                ok = signals.is_none() ? wfxRead(ds_, &values.v)
                                       : wfxReadSignals(ds_, wanted.data(), &values.v);
                lastError = ds_->lastError;
                if (ok) noteEnding();
                if (!ok) message = wfxLastReason();
            }
        }
        if (closed) throw py::value_error("read of a closed waveform");
        if (!ok) raiseReaderError(lastError, message, filename());
        return sweeps(values.v, wanted);
    }

    // Settled at open, so no lock is needed: a stream in another thread holds
    // the dataset until its end.
    bool streamable() const {
        refuseInStream();
        return streamable_;
    }

    // Hands the rows to callback one piece at a time; see the docstring.
    bool stream(const py::object& callback, const py::object& signals, const py::object& rows) {
        refuseInStream();
        if (!PyCallable_Check(callback.ptr()))
            throw py::type_error("callback must be callable, not " + typeName(callback));
        const long long asked = integerArgument(rows, "rows");
        if (asked < 1) throw py::value_error("rows must be at least 1");
        std::vector<uint8_t> wanted = wantedOf(signals);
        struct Context {
            const Waveform& self;
            const py::object& callback;
            const std::vector<uint8_t>& wanted;
            bool failed = false;   // the callback raised, or a copy found no memory
            bool stopped = false;  // the callback returned False
        } context{*this, callback, wanted};
        auto sink = [](const WaveformValues* piece, void* opaque) {
            auto& c = *static_cast<Context*>(opaque);
            py::gil_scoped_acquire locked;
            try {
                Values copy;
                if (!copyPiece(*piece, copy.v)) throw std::bad_alloc();
                const py::object sweep = c.self.sweeps(copy.v, c.wanted)[0];
                const py::object result = c.callback(sweep);
                c.stopped = !result.is_none() && !py::bool_(result);
            } catch (py::error_already_set& error) {
                error.restore();
                c.failed = true;
            } catch (const std::bad_alloc&) {
                PyErr_NoMemory();
                c.failed = true;
            }
            return c.failed || c.stopped ? 0 : 1;
        };
        uint32_t lastError = 0;
        std::string message;
        int ok = 0;
        bool closed = false, streamable = false;
        {
            py::gil_scoped_release unlocked;
            std::lock_guard<std::mutex> lock(mutex_);
            closed = ds_ == nullptr;
            streamable = wfxCanStream(ds_) != 0;
            if (streamable) {
                coverEverySignal(wanted, signals.is_none());
                streamer_ = std::this_thread::get_id();
                ok = wfxStreamSignals(ds_, wanted.data(), pieceRows(asked), sink, &context);
                streamer_ = std::thread::id();
                lastError = ds_->lastError;
                if (ok) noteEnding();
                if (!ok) message = wfxLastReason();
            }
        }
        if (closed) throw py::value_error("stream of a closed waveform");
        if (!streamable)
            throw py::value_error("stream reads one-table HSPICE post files only; use read()");
        if (context.failed) throw py::error_already_set();
        if (!ok) raiseReaderError(lastError, message, filename());
        return !context.stopped;
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

  private:
    // The path for OSError.filename; None for standard input.
    py::object filename() const {
        return standardInput_ ? py::object(py::none()) : py::object(text(path_.c_str()));
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
        const int64_t first = ds_->firstSignalIndex;
        const int32_t signals = ds_->signalCount > 0 ? ds_->signalCount : 0;
        auto name = [&](int64_t record) {
            return text(wfxName(ds_, ds_->variables[record].nameOffset));
        };
        if (first < 1 || first + signals > ds_->variableCount) return;
        // A compound sweep variable stands for its type's members.
        for (int64_t v = 0; v + 1 < first; ++v) {
            const VariableRecord& record = ds_->variables[v];
            if (record.kind != kKindCompound) {
                sweepParameters_.push_back(name(v));
                continue;
            }
            for (int32_t t = 0; t < ds_->typeCount; ++t) {
                if (ds_->types[t].parentType == static_cast<int32_t>(record.typeCode)) {
                    sweepParameters_.push_back(text(wfxName(ds_, ds_->types[t].nameOffset)));
                }
            }
        }
        independent_ = name(first - 1);
        for (int32_t i = 0; i < signals; ++i) {
            const VariableRecord& record = ds_->variables[first + i];
            names_.push_back(name(first + i));
            types_.push_back({record.kind, record.typeCode});
            // A name given twice stands for its first signal, as in the reader.
            positions_.emplace(wfxName(ds_, record.nameOffset), i);
        }
    }

    py::list sweeps(WaveformValues& v, const std::vector<uint8_t>& wanted) const {
        const bool perSignal = wfxTimesPerSignal(&v) != 0;
        const int32_t sweepCount = v.sweepCount < v.sweepSlots ? v.sweepCount : v.sweepSlots;
        const auto signals = static_cast<int32_t>(std::min<size_t>(names_.size(), v.signalCount));
        py::list result;
        for (int32_t s = 0; s < sweepCount; ++s) {
            Sweep sweep;
            std::map<int32_t, py::object> axes;  // holder -> its array, made once
            auto axisOf = [&](int32_t holder) -> py::object {
                auto found = axes.find(holder);
                if (found != axes.end()) return found->second;
                py::object axis = py::none();
                if (holder < v.holderCount && v.axis != nullptr && v.axis[holder] != nullptr) {
                    axis = adoptFloats(v.axis[holder][s], v.counts[holder][s]);
                }
                return axes[holder] = axis;
            };
            sweep.independent = perSignal ? py::none() : axisOf(0);
            for (int32_t i = 0; i < signals; ++i) {
                // A name given twice stands for its first signal.
                if (!wanted[static_cast<size_t>(i)] || sweep.values.contains(names_[i])) continue;
                const int32_t holder = perSignal ? i : 0;
                py::object axis = axisOf(holder);
                float** real = v.real != nullptr ? v.real[i] : nullptr;
                float** imag = v.imag != nullptr ? v.imag[i] : nullptr;
                uint32_t count = 0;
                if (!axis.is_none() && real != nullptr && real[s] != nullptr) {
                    count = v.counts[holder][s];
                }
                if (axis.is_none()) axis = py::array_t<float>(0);
                if (py::len(axis) < count) count = static_cast<uint32_t>(py::len(axis));
                sweep.axes[names_[i]] = axis;
                if (imag != nullptr && types_[static_cast<size_t>(i)].kind == kKindComplex) {
                    sweep.values[names_[i]] = joinComplex(real[s], imag[s], count);
                } else {
                    sweep.values[names_[i]] = real != nullptr
                                                  ? py::object(adoptFloats(real[s], count))
                                                  : py::array_t<float>(0);
                }
            }
            sweep.sweepValues = py::none();
            if (v.sweepValues != nullptr && sweepParamCount_ > 0) {
                sweep.sweepValues = adoptFloats(v.sweepValues[s], sweepParamCount_);
            }
            result.append(py::cast(std::move(sweep)));
        }
        return result;
    }

    WaveformDataset* ds_ = nullptr;
    std::mutex mutex_;
    std::atomic<std::thread::id> streamer_;  // the thread in stream(), if any
    std::atomic<bool> streamable_{false};    // until close
    bool standardInput_ = false;
    py::object independent_ = py::none();
    std::vector<py::object> names_;
    std::vector<SignalType> types_;
    std::unordered_map<std::string, int32_t> positions_;
};

}  // namespace

PYBIND11_MODULE(_core, m) {
    m.doc() = R"doc(Circuit-simulation waveform files as NumPy arrays.

Reads HSPICE post files of every version (text, binary in either byte
order, byte-framed), CSDF files and the framed event and tagged record formats,
any of them gzip-compressed, with the reader of the wavtrex converter.

    with wavtrex.open("run.tr0") as wf:
        sweep = wf.read(["v(out)"])[0]
        t, v = sweep.axes["v(out)"], sweep["v(out)"]
)doc";
    m.attr("__version__") = "1.0.0";

    // NumPy's API table is looked up once, here: looked up on first use, two
    // threads could meet in its guarded initialiser, one holding the GIL and
    // the other importing NumPy and waiting for it.
    py::detail::npy_api::get();

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

    py::class_<SignalType>(m, "SignalType", "A signal's kind and simulator type code.")
        .def_readonly("kind", &SignalType::kind,
                      "9 real, 10 complex, 0 CSDF node, 11 and 13 tagged record signals")
        .def_readonly("type_code", &SignalType::typeCode,
                      "the simulator's type code as the file gives it (1 a node voltage)")
        .def("__repr__", [](const SignalType& t) {
            return "SignalType(kind=" + std::to_string(t.kind) +
                   ", type_code=" + std::to_string(t.typeCode) + ")";
        });

    py::class_<Sweep>(m, "Sweep", R"(The values of one sweep, as read returns them.

independent   the independent-variable values (float32), or None for the event
              formats, where every signal has its own
axes          signal name -> the independent-variable values of that signal
              (the same array for every signal unless the format has times per
              signal)
values        signal name -> float32 values, complex64 for complex signals
sweep_values  float32 parameter values of this sweep, None without an outer sweep
sweep[name]   the same as sweep.values[name])")
        .def_readonly("independent", &Sweep::independent)
        .def_readonly("axes", &Sweep::axes)
        .def_readonly("values", &Sweep::values)
        .def_readonly("sweep_values", &Sweep::sweepValues)
        .def("__getitem__", [](const Sweep& s, const py::object& name) { return s.values[name]; })
        .def("__contains__",
             [](const Sweep& s, const py::object& name) { return s.values.contains(name); })
        .def("__len__", [](const Sweep& s) { return py::len(s.values); })
        .def("__iter__", [](const Sweep& s) { return py::iter(s.values); });

    py::class_<Waveform>(m, "Waveform", R"(An opened waveform file; use open() to make one.

The header is read at open and stays readable after close. A Waveform is a
context manager that closes itself.)")
        // The package's Waveform derives from this one and opens through it.
        .def(py::init([](const py::object& path, const py::object& format) {
                 return new Waveform(path, format);
             }),
             py::arg("path"), py::arg("format") = py::none())
        .def_property_readonly(
            "format", [](const Waveform& w) { return w.format_; },
            "data format code (0, 9, 14, 15 HSPICE post, 2 CSDF, 4 measurement table, 11 framed\n"
            "event, 13 tagged record)")
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
                if (w.analysis_ == 0xFFFFFFFFu) return py::none();
                if (const char* name = wfxWords(kWordsAnalysis, w.analysis_)) return py::str(name);
                return py::int_(w.analysis_);
            },
            "'transient', 'AC', 'DC sweep', 'operating point', 'measurement table', or None")
        .def_property_readonly(
            "complete",
            [](const Waveform& w) -> py::object {
                if (!w.ending_) return py::none();
                return py::bool_(*w.ending_ == kEndingComplete);
            },
            "after a read: False when the file ended before its last table's end marker, "
            "else True; None before")
        .def_property_readonly(
            "ending",
            [](const Waveform& w) -> py::object {
                if (!w.ending_) return py::none();
                const char* words = wfxWords(kWordsReadEnding, *w.ending_);
                std::string text = words != nullptr ? words : "unknown";
                if (*w.ending_ == kEndingRowCutShort)
                    text += ", " + std::to_string(w.missingValues_) + " missing";
                return py::str(text);
            },
            "after a read: 'complete', 'no end marker', or 'last row cut short, N "
            "missing' (read as 0); None before")
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
        .def_property_readonly("signals", &Waveform::signalNames, "signal names in file order")
        .def_property_readonly("signal_types", &Waveform::signalTypes,
                               "signal name -> SignalType(kind, type_code)")
        .def("read", &Waveform::read, py::arg("signals") = py::none(), R"(Reads the values.

Returns a list with one Sweep per sweep. signals, a name or a list of names,
keeps only those signals (KeyError for a name the file does not have): only
they are decoded and held, the others are skipped in the file. Real values are the
reader's own arrays (no copy); complex values are copied once, since the
reader keeps real and imaginary parts apart and complex64 interleaves them.
The GIL is released while the file is read. Raises wavtrex.Error when the
reader fails, ValueError after close.)")
        .def_property_readonly("streamable", &Waveform::streamable,
                               "True when stream() can read the file: a one-table HSPICE "
                               "post file (no outer sweep); False after close")
        .def("stream", &Waveform::stream, py::arg("callback"), py::arg("signals") = py::none(),
             py::arg("rows") = 65536, R"(Reads the values a piece at a time.

Calls callback(sweep) for every piece of at most rows rows, in file order,
with a Sweep as read() gives for the piece's rows (copies: memory holds about
one piece whatever the size of the file; rows is cut to what the file's size
could hold). signals is as for read(). callback returning False ends the read
there; an exception it raises ends the read and is raised again. Returns True
when the whole file was read. Only one-table HSPICE post files stream (see
streamable); ValueError for others, after close, and from the callback
(which cannot read, stream or close the waveform it is called for). The GIL
is released between pieces.)")
        .def("close", &Waveform::close, "Releases the file; attributes stay readable.")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](Waveform& w, const py::args&) { w.close(); });

    m.def(
        "open",
        [](const py::object& path, const py::object& format) { return new Waveform(path, format); },
        py::arg("path"), py::arg("format") = py::none(),
        R"(Opens a waveform file and reads its header.

path is a str, bytes or path-like object; None or '-' reads standard input
to its end (a pipe too; the reader keeps a temporary copy). format, a code or
a name (see Waveform.format and format_name), skips detection; a measurement
table (4, 'measurement table') opens only this way, and its header is all it
has. The GIL is released while the header is read. Raises FileNotFoundError
for a missing file, wavtrex.Error (status 5) for a FIFO, device or socket,
which could block or never end, and wavtrex.Error when the reader refuses
the file; TypeError for a format that is neither str nor int.)");
}
