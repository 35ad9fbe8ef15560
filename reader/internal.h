// Reader library internals shared by the core and the format readers.
#ifndef WAVTREX_READER_INTERNAL_H
#define WAVTREX_READER_INTERNAL_H

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <limits>

#include "wfx.h"

// ---- shared rules and growth ----------------------------------------------------

// Type codes whose variables are complex in an AC analysis: every seventh code
// from 1 to 43 (1 is a node voltage). HSPICE post files add 78 and 190 to 193.
inline bool isComplexTypeCode(int64_t code, bool postExtras) {
    if (code >= 1 && code <= 43 && (code - 1) % 7 == 0) return true;
    return postExtras && (code == 78 || (code >= 190 && code <= 193));
}

// The capacity that holds needed elements, doubling from capacity (first when
// it is 0). 0 when that would pass limit.
inline size_t doubledCapacity(size_t capacity, size_t needed, size_t first,
                              size_t limit = SIZE_MAX / 2) {
    size_t grown = capacity > 0 ? capacity : first;
    while (grown < needed) {
        if (grown > limit / 2) return 0;
        grown *= 2;
    }
    return grown > limit ? 0 : grown;
}

// Grows array to hold needed elements, doubling its capacity (from first).
// False when out of memory; the array and capacity are then unchanged.
template <typename T, typename N>
bool growByDoubling(T*& array, N& capacity, size_t needed, size_t first) {
    if (needed <= static_cast<size_t>(capacity)) return true;
    constexpr size_t kByCount = static_cast<size_t>(std::numeric_limits<N>::max());
    constexpr size_t kByBytes = SIZE_MAX / sizeof(T);
    size_t grown = doubledCapacity(static_cast<size_t>(capacity), needed, first,
                                   kByCount < kByBytes ? kByCount : kByBytes);
    if (grown == 0) return false;
    void* bigger = std::realloc(array, grown * sizeof(T));
    if (bigger == nullptr) return false;
    array = static_cast<T*>(bigger);
    capacity = static_cast<N>(grown);
    return true;
}

// ---- dataset tables (dataset.cpp) -------------------------------------------

constexpr uint16_t kVariableNameSpace = 7;
constexpr int kTypeNameSpaceBase = 13;  // types live in 13 + parentType

// Allocates a dataset with every field at its initial value. Returns NULL
// after storing "Error: Out of memory !!" when an allocation fails.
WaveformDataset* createDataset();

// Releases the core's tables and buffers and the dataset; not the stream, nor what
// a format reader left (its row's release function frees that).
void destroyDataset(WaveformDataset* ds);

// Bucket of a name: h = h * 33 + (signed char) byte, masked to 13 bits.
uint32_t nameHash(const char* name);

// Finds the name in nameSpace, or adds it when create is set. Returns the
// record (valid until the next add) or NULL; *added tells whether it is new.
// On allocation failure: lastError 8, "Error: Out of memory !!", NULL.
SymbolRecord* findOrAddName(WaveformDataset* ds, const char* name, uint16_t nameSpace, int create,
                            int* added);

// Appends name and its NUL to namePool. Returns its offset or -1 (out of memory).
int32_t addNameToPool(WaveformDataset* ds, const char* name);

// Appends a VariableRecord. Returns its position, the position of the first
// variable of the same name when there is one, or -1 (out of memory).
int32_t addVariable(WaveformDataset* ds, const char* name, uint32_t typeCode, uint32_t kind);

// Appends a TypeRecord under parentType. Returns its index, or -1 on a name
// already defined in that name space (lastError 9) or out of memory.
int32_t addType(WaveformDataset* ds, const char* name, int32_t parentType);

// ---- failures and diagnostics (diagnostics.cpp) -----------------------------

constexpr int kLastErrorSize = 1024;

// Every way a reader operation fails. Each has one row in the failure table
// (diagnostics.cpp): its message and the lastError code it sets.
enum class Failure : uint8_t {
    // out of memory, in the wordings of the places that run out
    kOutOfMemory,           // tables, data arrays, joined block fields
    kOutOfMemoryHolders,    // read's value holders, open's block buffers
    kOutOfMemoryTypeCodes,  // post header type codes
    kOutOfMemoryEvents,     // framed event header, tagged record room table
    kOutOfMemoryScopes,     // tagged record header and scope tree
    kOutOfMemoryGrowth,     // growing a per-signal array
    kDuplicateType,         // detail: the type name
    // open, read and close
    kOpenFailed,  // detail: the name as passed to open
    kUnknownFormat,
    kUnknownMode,  // number: the file mode
    kUnknownCode,  // number: the data format code
    kNullDataset,
    kEmptyData,  // the data read finds no bytes to read (lastError 3)
    kNoSignals,  // the same words when no signal is there to read
    // binary blocks and fixed-width fields
    kMalformed,
    kMalformedRecord,
    kNotCompleted,
    // HSPICE post text header
    kPostSyntax,
    // CSDF
    kCsdfNotCsdf,
    kCsdfIncomplete,
    kIncorrectHeader,
    kIncorrectNodes,
    kCsdfAnalysis,  // detail: the analysis value
    kCsdfSyntax,
    // measurement table
    kMeasureEmpty,
    kMeasureBadHeader,
    kMeasureNoData,
    // tagged record scope tree
    kScopeParentMissing,
};

// What fills a message's conversions, in order.
enum class FailureArgs : uint8_t {
    kNone,
    kFile,         // %s: the dataset's fileName
    kLineAndFile,  // %d %s: lineNumber, fileName
    kDetail,       // %s: the caller's detail text
    kNumber,       // %d: the caller's number
};

constexpr uint32_t kErrorUnchanged = 0xFFFFFFFFu;  // the row leaves lastError as it is

struct FailureRow {
    Failure failure;
    uint32_t lastError;  // DatasetError, or kErrorUnchanged
    FailureArgs args;
    const char* text;
};

// The row of a failure.
const FailureRow& failureRow(Failure failure);

// The one way a reader reports a failure: stores the row's message in the
// last-error text and sets ds->lastError as the row says (ds may be NULL:
// only the message is stored). detail and number fill the rows that take
// them. Returns 0, so int-returning callers can return it.
int reportFailure(WaveformDataset* ds, Failure failure, const char* detail = nullptr,
                  int number = 0);

// Empties the last-error text.
void clearMessage();

// Writes "ERROR: " and the message to standard error and exits with status 1.
[[noreturn]] void fatalError(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// ---- text readers (text_reader.cpp) ------------------------------------------

// Next token separated by any byte of separators (NULL or "" means ", \t\r\n").
// A newline inside a token is dropped and joins the two halves. *lineCount is
// set to the newlines consumed. Returns this thread's token buffer (valid
// until the next call) or NULL at the end of input.
char* nextToken(gzFile stream, const char* separators, uint32_t* lineCount);

// Current capacity of the token buffer (starts at 300, doubles).
int32_t tokenCapacity();

// Next whole line with its newline, malloc'ed and owned by the caller; NULL at
// the end of input (a last line without newline is dropped) or out of memory.
char* nextLine(gzFile stream);

// Bytes of a bounded line: 255 characters and the NUL.
constexpr int kBoundedLineSize = 256;

// The next line, or its next 255 characters when it is longer (the rest comes
// with the next call), into line (kBoundedLineSize bytes), newline kept.
// False at the end of input.
bool nextBoundedLine(gzFile stream, char* line);

// ---- open support (open.cpp) ---------------------------------------------------

// Size of the file in bytes as open found it (times 20 for ".gz" names), or -1
// when ds is NULL. Used to size the data readers' first buffers.
int64_t estimatedDataSize(const WaveformDataset* ds);

// The estimated data size when it is at least 1. Otherwise reports
// Failure::kEmptyData and returns 0: every data reader starts here.
int64_t requireDataSize(WaveformDataset* ds);

// Puts the block state back as it stood right after the header, for a data
// read that starts again from dataOffset.
void restoreSavedBlock(WaveformDataset* ds);

// A streamed read in progress (wfxStreamSignals): the data reader hands its
// rows to sink a piece at a time instead of keeping them.
struct RowStream {
    WfxRowSink sink;
    void* context;
    uint32_t rowsPerPiece;
    bool stopped = false;  // the sink ended the read
};

// ---- the format table (format_table.cpp) ---------------------------------------

// Reads the header into the dataset; 1, or 0 after reporting the failure.
using HeaderReader = int (*)(WaveformDataset*);
// Reads every value into the holders; 1, or 0 after reporting the failure.
using DataReader = int (*)(WaveformDataset*, WaveformValues*);
// Releases what the format's header reader left in the dataset.
using FormatRelease = void (*)(WaveformDataset*);

// How open settles the file mode when the caller asks for detection.
enum class ModeRule : uint8_t {
    kText,
    kBinary,
    kFirstBytes,  // binary when the first 4 bytes show framing, else text
};

// Whether open gives the dataset blockBuffer and savedBlock.
enum class BlockUse : uint8_t { kNone, kWhenBinary, kAlways };

// The shape of the independent-variable and point-count holders.
enum class ValueShape : uint8_t {
    kSharedAxis,     // one entry, shared by every signal
    kAxisPerSignal,  // entry i for signal i: every signal has its own times
};

// One row per known data format code: everything the core knows about it.
// A row without a header reader is a recognised format that has no reader.
struct FormatEntry {
    uint32_t code;
    const char* name;
    ModeRule mode;
    BlockUse blocks;
    uint8_t framingValue;  // framing word value of its blocks, 0 without post blocks
    ValueShape shape;
    bool imaginaryParts;  // an AC read gets the imaginary-part holder
    HeaderReader header;
    DataReader data;
    FormatRelease release;  // NULL when the format leaves nothing in the dataset
};

// The row of a data format code, or NULL for a code without one.
const FormatEntry* findFormat(uint32_t code);

#endif  // WAVTREX_READER_INTERNAL_H
