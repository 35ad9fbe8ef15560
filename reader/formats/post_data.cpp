// HSPICE post file data: one table per sweep, each closed by an end marker.
#include "post_data.h"

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "../dataset_tables.h"
#include "../failure.h"
#include "../format_table.h"
#include "block_layer.h"

namespace {

constexpr double kEndMarker = 9.999e29;  // an independent value above it ends a table
constexpr int kTextFieldSize = 32;       // room for a value of the text form
constexpr int32_t kFirstSweepSlots = 16;
// Rows whose pages are touched ahead, array by array (64 KiB of each).
constexpr size_t kTouchRows = 16384;
constexpr size_t kFloatsPerPage = 1024;

bool isText(const WaveformDataset* ds) {
    return (ds->fileMode & kModeText) != 0;
}

int outOfMemoryMessage(WaveformDataset* ds) {
    return reportFailure(ds, Failure::kOutOfMemory);
}

// Grows an array of pointer slots (or counts) to newSlots, zeroing the new ones.
template <typename T>
bool growSlots(T*& slots, int32_t oldSlots, int32_t newSlots) {
    if (slots == nullptr) return true;
    auto* grown = static_cast<T*>(std::realloc(slots, static_cast<size_t>(newSlots) * sizeof(T)));
    if (grown == nullptr) return false;
    std::memset(grown + oldSlots, 0, static_cast<size_t>(newSlots - oldSlots) * sizeof(T));
    slots = grown;
    return true;
}

template <typename T>
T* allocSlots(int32_t slots) {
    return static_cast<T*>(std::calloc(static_cast<size_t>(slots), sizeof(T)));
}

// Everything one read works with: the column layout of a row, the capacity
// of the sweep being read, and its destinations.
template <typename Values>
struct TableReader {
    using V = ValueOf<Values>;
    WaveformDataset* ds;
    Values* out;
    const PostTraits& post;
    int32_t columns = 0;     // values per row, the independent one included
    V*** holders = nullptr;  // per column: the slot array it is stored in
    V** rowDst = nullptr;    // per column: the array of the current sweep
    // The stored columns after the independent one, in row order: a
    // selective read decodes only these and steps over the rest.
    int32_t* kept = nullptr;
    int32_t keptCount = 0;
    // Values per array of the sweep being read. Every sweep starts at the
    // first capacity and doubles on its own: a long table does not make every
    // short one before or after it as long, which could ask for far more
    // memory than the file holds values.
    size_t firstCapacity = 0;
    size_t capacity = 0;
    size_t touchedRows = 0;  // rows of the current arrays already paged in
    int64_t estimate = 0;    // file size as estimated for the first capacity
    // A streamed read keeps one piece of rows: full pieces go to the sink and
    // the arrays are used again.
    RowStream* stream = nullptr;
    uint64_t rowsHanded = 0;  // rows of the table already handed over

    ~TableReader() {
        std::free(holders);
        std::free(rowDst);
        std::free(kept);
    }

    // Slot pointers a file may cost: a table with rows holds at least 4 bytes
    // per pointer it needs, so only runs of empty tables over many signals
    // pass this, and they are refused rather than allocated.
    bool slotsPlausible(int32_t wanted) const {
        int64_t entries =
            static_cast<int64_t>(out->signalCount) * (out->imag != nullptr ? 2 : 1) + 3;
        return entries * wanted * static_cast<int64_t>(sizeof(void*)) <= 8 * estimate + (1 << 20);
    }

    // Makes room for sweep s in every entry. Returns 0 when out of memory,
    // -1 when the file cannot back that many sweeps.
    int ensureSlots(int32_t s) {
        int32_t slots = out->sweepSlots;
        if (s < slots) return 1;
        int32_t wanted = slots * 2 > s + 1 ? slots * 2 : s + 1;
        if (wanted > ds->sweepCount && ds->sweepCount > s) wanted = ds->sweepCount;
        if (!slotsPlausible(wanted)) {
            wanted = s + 1;
            if (!slotsPlausible(wanted)) return -1;
        }
        for (int32_t i = 0; i < out->signalCount; ++i) {
            if (!growSlots(out->real[i], slots, wanted)) return 0;
            if (out->imag != nullptr && !growSlots(out->imag[i], slots, wanted)) return 0;
        }
        if (!growSlots(out->axis[0], slots, wanted) || !growSlots(out->counts[0], slots, wanted) ||
            !growSlots(out->sweepValues, slots, wanted)) {
            return 0;
        }
        out->sweepSlots = wanted;
        return 1;
    }

    // Every array of sweep s, at the first capacity. The imaginary holder
    // gives every signal its arrays; only complex signals fill them.
    bool allocateSweep(int32_t s) {
        capacity = firstCapacity;
        size_t bytes = capacity * sizeof(V);
        auto give = [&](V**& slot) {
            slot[s] = static_cast<V*>(std::malloc(bytes));
            return slot[s] != nullptr;
        };
        if (!give(out->axis[0])) return false;
        for (int32_t i = 0; i < out->signalCount; ++i) {
            if (out->real[i] == nullptr) continue;  // not wanted
            if (!give(out->real[i])) return false;
            if (out->imag != nullptr && !give(out->imag[i])) return false;
        }
        return true;
    }

    // Grows every array of sweep s to hold needed values.
    bool grow(size_t needed, int32_t s) {
        size_t grown = capacity;
        while (grown < needed) {
            if (grown > SIZE_MAX / (4 * sizeof(V))) return false;
            grown *= 2;
        }
        size_t bytes = grown * sizeof(V);
        auto resize = [&](V** slots) {
            auto* bigger = static_cast<V*>(std::realloc(slots[s], bytes));
            if (bigger == nullptr) return false;
            slots[s] = bigger;
            return true;
        };
        if (!resize(out->axis[0])) return false;
        for (int32_t i = 0; i < out->signalCount; ++i) {
            if (out->real[i] == nullptr) continue;
            if (!resize(out->real[i])) return false;
            if (out->imag != nullptr && !resize(out->imag[i])) return false;
        }
        capacity = grown;
        return true;
    }

    // The slot array each column is stored in, in row order.
    void pointHolders() {
        int32_t c = 0;
        holders[c++] = out->axis[0];
        for (int32_t i = 0; i < out->signalCount; ++i) {
            holders[c++] = out->real[i];
            if (out->imag != nullptr &&
                ds->variables[ds->firstSignalIndex + i].kind == kKindComplex) {
                holders[c++] = out->imag[i];
            }
        }
        keptCount = 0;
        for (c = 1; c < columns; ++c) {
            if (holders[c] != nullptr) kept[keptCount++] = c;
        }
    }

    void pointRowAt(int32_t s, size_t row) {
        for (int32_t c = 0; c < columns; ++c)
            rowDst[c] = holders[c] != nullptr ? holders[c][s] : nullptr;
        touchedRows = row;
    }

    // A row writes one value into every column's array, so fresh pages would
    // be first touched in an interleaved order across hundreds of arrays,
    // which some systems fault in far more slowly than a sequential run.
    // Touching the next pages of each array in turn keeps the faults
    // sequential; the values are written over them right after.
    void touchAhead(size_t row) {
        size_t end = row + kTouchRows < capacity ? row + kTouchRows : capacity;
        for (int32_t c = 0; c < columns; ++c) {
            V* array = rowDst[c];
            if (array == nullptr) continue;
            for (size_t j = row; j < end; j += kFloatsPerPage) array[j] = 0;
        }
        touchedRows = end;
    }
};

template <typename V, typename T, bool Swapped>
inline V decodeAs(const uint8_t* p) {
    if constexpr (sizeof(T) == 8) {
        return static_cast<V>(decodeDouble(p, Swapped));
    } else {
        return decodeFloat(p, Swapped);
    }
}

// Reads the next value in the file's form and version (text fields as atof
// takes them; binary doubles as V takes them: a float narrows each once);
// axis tells an independent value, which some versions keep wider. Returns
// 1, or 0 when it cannot be read.
template <typename V>
int readPostValue(WaveformDataset* ds, const PostTraits& post, bool axis, V* value) {
    if (isText(ds)) {
        char field[kTextFieldSize];
        const int width = post.textWidth < kTextFieldSize ? post.textWidth : kTextFieldSize - 1;
        if (readNumberField(ds, field, width) == nullptr) return 0;
        field[width] = '\0';
        *value = static_cast<V>(std::strtod(field, nullptr));
        return 1;
    }
    const bool wide = (axis ? post.axisBytes : post.valueBytes) == 8;
    const char* field = blockFieldInPlace(ds, wide ? 8 : 4);
    if (field == nullptr) return 0;
    *value = wide ? static_cast<V>(decodeDouble(field, blockSwapped(ds)))
                  : decodeFloat(field, blockSwapped(ds));
    return 1;
}

// Reads columns 1 .. columns-1 of a binary row. Values that lie wholly inside
// the current block are converted straight from it; only a value that reaches
// the block end (whose closing word must be read) or straddles two blocks
// goes through the field reader. Returns the columns filled (all of them
// unless a value cannot be read).
template <typename Values, typename T, bool Swapped>
int readBinaryRow(TableReader<Values>& t, size_t row) {
    using V = ValueOf<Values>;
    WaveformDataset* ds = t.ds;
    constexpr int32_t width = sizeof(T);
    const bool everyColumn = t.keptCount == t.columns - 1;
    int32_t k = 0;  // the next kept column at or after c
    int32_t c = 1;
    while (c < t.columns) {
        int32_t left = ds->blockLength - ds->blockPosition;
        if (left > width) {
            int32_t n = (left - 1) / width;
            if (n > t.columns - c) n = t.columns - c;
            const uint8_t* p = ds->blockBuffer + ds->blockPosition;
            if (everyColumn) {
                V** dst = t.rowDst + c;
                for (int32_t j = 0; j < n; ++j)
                    dst[j][row] = decodeAs<V, T, Swapped>(p + ptrdiff_t{j} * width);
            } else {
                while (k < t.keptCount && t.kept[k] < c) ++k;
                for (; k < t.keptCount && t.kept[k] < c + n; ++k) {
                    const int32_t j = t.kept[k] - c;
                    t.rowDst[t.kept[k]][row] = decodeAs<V, T, Swapped>(p + ptrdiff_t{j} * width);
                }
            }
            ds->blockPosition += n * width;
            c += n;
            if (c == t.columns) break;
        }
        const char* field = blockFieldInPlace(ds, width);
        if (field == nullptr) return c;
        if (t.rowDst[c] != nullptr)
            t.rowDst[c][row] = decodeAs<V, T, Swapped>(reinterpret_cast<const uint8_t*>(field));
        c++;
    }
    return c;
}

template <typename Values>
int readTextRow(TableReader<Values>& t, size_t row) {
    for (int32_t c = 1; c < t.columns; ++c) {
        ValueOf<Values> v;
        if (!readPostValue(t.ds, t.post, false, &v)) return c;
        if (t.rowDst[c] != nullptr) t.rowDst[c][row] = v;
    }
    return t.columns;
}

template <typename Values>
using RowReader = int (*)(TableReader<Values>&, size_t);

template <typename Values>
RowReader<Values> chooseRowReader(const WaveformDataset* ds, const PostTraits& post) {
    if (isText(ds)) return readTextRow<Values>;
    bool swapped = blockSwapped(ds);
    if (post.valueBytes == 8) {
        return swapped ? readBinaryRow<Values, double, true> : readBinaryRow<Values, double, false>;
    }
    return swapped ? readBinaryRow<Values, float, true> : readBinaryRow<Values, float, false>;
}

// First capacity, in values per array. The rule of thumb divides the file
// among the signals of every sweep; it is capped by what one table could hold
// if the whole file were that table (4 bytes being the narrowest value), so a
// file with few signals does not reserve four times its size. At least one
// value, so that doubling always makes progress.
size_t firstCapacity(const WaveformDataset* ds, int64_t estimate, int32_t columns) {
    int64_t signals = ds->signalCount;
    int64_t divisor = (signals > 1 ? signals - 1 : signals) * ds->sweepCount;
    if (divisor < 1) divisor = 1;
    int64_t byRule = estimate / divisor;
    int64_t byFile = estimate / (4 * static_cast<int64_t>(columns)) + 1;
    int64_t values = byRule < byFile ? byRule : byFile;
    return values < 1 ? 1 : static_cast<size_t>(values);
}

// The columns of a row and the first sweep slots of every entry. Slots for
// the sweeps grow as sweeps are reached, so a header that promises many
// sweeps costs nothing until their data arrives. The entries are still empty,
// so the slot count may be chosen afresh. Returns 1, or 0 out of memory.
template <typename Values>
int prepareTables(TableReader<Values>& t, int64_t estimate) {
    using V = ValueOf<Values>;
    WaveformDataset* ds = t.ds;
    Values* out = t.out;
    t.columns = 1;
    for (int32_t i = 0; i < out->signalCount; ++i) {
        const VariableRecord& v = ds->variables[ds->firstSignalIndex + i];
        t.columns += (out->imag != nullptr && v.kind == kKindComplex) ? 2 : 1;
    }
    t.holders = static_cast<V***>(std::malloc(static_cast<size_t>(t.columns) * sizeof(V**)));
    t.rowDst = static_cast<V**>(std::malloc(static_cast<size_t>(t.columns) * sizeof(V*)));
    t.kept = static_cast<int32_t*>(std::malloc(static_cast<size_t>(t.columns) * sizeof(int32_t)));
    if (t.holders == nullptr || t.rowDst == nullptr || t.kept == nullptr)
        return outOfMemoryMessage(ds);
    t.firstCapacity =
        t.stream != nullptr ? t.stream->rowsPerPiece : firstCapacity(ds, estimate, t.columns);
    t.estimate = estimate;

    int32_t slots = ds->sweepCount < kFirstSweepSlots ? ds->sweepCount : kFirstSweepSlots;
    while (slots > 1 && !t.slotsPlausible(slots)) slots /= 2;
    out->sweepSlots = slots;
    // A selective read leaves the signals it skips without slots: their
    // columns are read past, never stored.
    for (int32_t i = 0; i < out->signalCount; ++i) {
        if (ds->wantedSignals != nullptr && ds->wantedSignals[i] == 0) continue;
        if ((out->real[i] = allocSlots<V*>(slots)) == nullptr) return outOfMemoryMessage(ds);
        if (out->imag != nullptr && (out->imag[i] = allocSlots<V*>(slots)) == nullptr) {
            return outOfMemoryMessage(ds);
        }
    }
    if ((out->axis[0] = allocSlots<V*>(slots)) == nullptr) return outOfMemoryMessage(ds);
    if ((out->counts[0] = allocSlots<uint32_t>(slots)) == nullptr) return outOfMemoryMessage(ds);
    if (ds->sweepParamCount > 0 && (out->sweepValues = allocSlots<V*>(slots)) == nullptr) {
        return outOfMemoryMessage(ds);
    }
    return 1;
}

// What reading a sweep's parameter values came to.
enum class SweepValues { kRead, kFileEnded, kOutOfMemory };

template <typename Values>
SweepValues readSweepValues(WaveformDataset* ds, const PostTraits& post, Values* out, int32_t s) {
    using V = ValueOf<Values>;
    out->sweepValues[s] =
        static_cast<V*>(std::malloc(static_cast<size_t>(ds->sweepParamCount) * sizeof(V)));
    if (out->sweepValues[s] == nullptr) return SweepValues::kOutOfMemory;
    for (int32_t k = 0; k < ds->sweepParamCount; ++k) {
        if (!readPostValue(ds, post, false, &out->sweepValues[s][k]))
            return SweepValues::kFileEnded;
    }
    return SweepValues::kRead;
}

// Gives the rows read so far to the stream's sink and empties the piece.
// Returns false when the sink ends the read.
// Only float reads are streamed.
bool handOver(TableReader<WaveformValues>& t, int32_t s) {
    uint32_t& count = t.out->counts[0][s];
    if (t.stream->sink(t.out, t.stream->context) == 0) t.stream->stopped = true;
    t.rowsHanded += count;
    count = 0;
    return !t.stream->stopped;
}

template <typename Values>
bool handPiece(TableReader<Values>& t, int32_t s) {
    if constexpr (std::is_same_v<Values, WaveformValues>) {
        return handOver(t, s);
    } else {
        return false;  // a double read has no stream
    }
}

// The rows of sweep s, up to its end marker or the end of the file. A table
// without rows keeps its arrays unallocated (NULL, count 0), so a header
// promising many sweeps over many signals cannot make a short file allocate
// for tables it does not hold. Returns 1, or 0 out of memory.
template <typename Values>
int readTableRows(TableReader<Values>& t, RowReader<Values> readRow, int32_t s) {
    WaveformDataset* ds = t.ds;
    uint32_t& count = t.out->counts[0][s];
    ValueOf<Values> axis;
    int got = readPostValue(ds, t.post, true, &axis);
    while (got) {
        // A streamed table ends where a kept one would, and a double read where
        // a float one does: the marker is tested on the axis value as a float.
        const auto asFloat = static_cast<double>(static_cast<float>(axis));
        if (asFloat > kEndMarker || t.rowsHanded + count == UINT32_MAX) break;
        size_t row = count;
        if (t.out->axis[0][s] == nullptr) {
            if (!t.allocateSweep(s)) return outOfMemoryMessage(ds);
            t.pointRowAt(s, row);
        }
        if (row + 1 > t.capacity) {
            if (t.stream != nullptr) {
                if (!handPiece(t, s)) break;
                row = 0;
                t.pointRowAt(s, row);
                t.touchedRows = t.capacity;  // paged in by the first piece
            } else {
                if (!t.grow(row + 1, s)) return outOfMemoryMessage(ds);
                t.pointRowAt(s, row);
            }
        }
        if (row >= t.touchedRows) t.touchAhead(row);
        t.rowDst[0][row] = axis;
        count++;
        // A row cut short keeps its point; the values not read are set to 0.
        const int32_t filled = readRow(t, row);
        for (int32_t c = filled; c < t.columns; ++c) {
            if (t.rowDst[c] != nullptr) t.rowDst[c][row] = 0;
        }
        if (filled < t.columns) {
            ds->readEnding = kEndingRowCutShort;
            ds->missingValues = static_cast<uint32_t>(t.columns - filled);
        }
        got = readPostValue(ds, t.post, true, &axis);
    }
    // The file ended where an independent value or the end marker belongs.
    if (!got && ds->readEnding == kEndingComplete) ds->readEnding = kEndingNoEndMarker;
    if (t.stream != nullptr && count > 0 && !t.stream->stopped) handPiece(t, s);
    return 1;
}

template <typename Values>
int readPost(WaveformDataset* ds, Values* out, const FormatEntry& row) {
    if (row.post == nullptr) return reportFailure(ds, Failure::kMalformed);
    if (gzseek(ds->stream, ds->dataOffset, SEEK_SET) < 0)
        return reportFailure(ds, Failure::kMalformed);
    if (!isText(ds)) restoreSavedBlock(ds);

    int64_t estimate = requireDataSize(ds);
    if (estimate < 1) return 0;
    if (ds->sweepCount < 1 || out->axis == nullptr || out->counts == nullptr ||
        out->real == nullptr)
        return reportFailure(ds, Failure::kMalformed);

    TableReader<Values> t{ds, out, *row.post};
    t.stream = static_cast<RowStream*>(ds->rowStream);
    if (!prepareTables(t, estimate)) return 0;
    RowReader<Values> readRow = chooseRowReader<Values>(ds, *row.post);
    int32_t holderSlots = -1;
    for (int32_t s = 0; s < ds->sweepCount; ++s) {
        int room = t.ensureSlots(s);
        if (room == 0) return outOfMemoryMessage(ds);
        if (room < 0) return reportFailure(ds, Failure::kMalformed);
        if (holderSlots != out->sweepSlots) {
            // Growing the slots moves the slot arrays.
            t.pointHolders();
            holderSlots = out->sweepSlots;
        }
        if (ds->sweepParamCount > 0) {
            SweepValues values = readSweepValues(ds, *row.post, out, s);
            if (values == SweepValues::kOutOfMemory) return outOfMemoryMessage(ds);
            if (values == SweepValues::kFileEnded) {
                // The file ends before this table: the tables before it stand.
                ds->sweepCount = s;
                break;
            }
        }
        if (!readTableRows(t, readRow, s)) return 0;
    }
    return 1;
}

}  // namespace

int readPostData(WaveformDataset* ds, WaveformValues* out, const FormatEntry& row) {
    return readPost(ds, out, row);
}

int readPostData64(WaveformDataset* ds, WaveformValues64* out, const FormatEntry& row) {
    return readPost(ds, out, row);
}
