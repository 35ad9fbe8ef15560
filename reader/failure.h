// Failures and diagnostics (diagnostics.cpp): the failure table, the
// last-error text and the fatal reporter.
#ifndef WAVTREX_READER_FAILURE_H
#define WAVTREX_READER_FAILURE_H

#include <cstdint>

#include "wfx.h"

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
    kOpenFailed,       // detail: the name as passed to open
    kOpenSpecialFile,  // detail: the name; a FIFO, device or socket
    kUnknownFormat,
    kUnknownMode,  // number: the file mode
    kUnknownCode,  // number: the data format code
    kNullDataset,
    kCannotStream,  // a stream asked of a file that cannot be streamed
    kNoSuchPlot,    // number: the plot asked of wfxSelectPlot
    kEmptyData,     // the data read finds no bytes to read (lastError 3)
    kNoSignals,     // the same words when no signal is there to read
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
    // SPICE raw and CSDF dialect: detail is "file: reason"
    kSpiceRaw,
    kCsdfDialect,
    // Failures the format descriptions keep silent: the last-error text stays
    // as it is, and only the reason (wfxLastReason) says why.
    kNoReader,         // detail: the format's name
    kHeaderOnly,       // detail: the format's name
    kNamesEnded,       // the text post header ends among the names
    kFieldTooLong,     // a tagged record field longer than the reader takes
    kTextLength,       // a tagged record name or title of a bad length
    kScopeWithoutDot,  // a tagged record scope name without "."
    kEmptyNames,       // an empty names line in a measurement table
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
    bool silent = false;  // text is the reason only; the last-error text is left alone
};

// The row of a failure.
const FailureRow& failureRow(Failure failure);

// The one way a reader reports a failure: stores the row's message in the
// last-error text and as the reason (a silent row: as the reason only) and
// sets ds->lastError as the row says (ds may be NULL: only the message is
// stored). detail and number fill the rows that take them. Returns 0, so
// int-returning callers can return it.
int reportFailure(WaveformDataset* ds, Failure failure, const char* detail = nullptr,
                  int number = 0);

// Empties the last-error text and the reason.
void clearMessage();

// Writes "ERROR: " and the message to standard error and exits with status 1.
[[noreturn]] void fatalError(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

#endif  // WAVTREX_READER_FAILURE_H
