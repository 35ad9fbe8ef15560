// The failure table, the last-error text and the fatal reporter.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "failure.h"

namespace {

// Per thread, so a failure on one thread never overwrites another's message.
thread_local char lastErrorText[kLastErrorSize];
// The reason of the latest failure: its message, or the words of a silent row.
thread_local char lastReason[kLastErrorSize];
thread_local char fatalText[512];

// Every message the reader stores. The texts are the system's own and are
// kept byte for byte, doubled blanks, misspellings ("defintion", "Intenal",
// "Out out", "incompleted", "Unsupport") and the trailing blank of the NODES
// variant included: callers and tests compare them exactly.
constexpr FailureRow kFailures[] = {
    {Failure::kOutOfMemory, kErrorOutOfMemory, FailureArgs::kNone, "Error: Out of memory !!"},
    {Failure::kOutOfMemoryHolders, kErrorOutOfMemory, FailureArgs::kNone, "Error: out of memory!!"},
    {Failure::kOutOfMemoryTypeCodes, kErrorOutOfMemory, FailureArgs::kNone, "Not enough memory !!"},
    {Failure::kOutOfMemoryEvents, kErrorOutOfMemory, FailureArgs::kNone, "Error: out of memory"},
    {Failure::kOutOfMemoryScopes, kErrorOutOfMemory, FailureArgs::kNone, "Error: Out of memory"},
    {Failure::kOutOfMemoryGrowth, kErrorOutOfMemory, FailureArgs::kNone, "Error: Out out memory"},
    {Failure::kDuplicateType, kErrorDuplicateType, FailureArgs::kDetail,
     "Error: Duplicate type defintion %s !!"},
    {Failure::kOpenFailed, kErrorUnchanged, FailureArgs::kDetail, "Error:  Open file %s failed !!"},
    {Failure::kOpenSpecialFile, kErrorUnchanged, FailureArgs::kDetail,
     "Error:  Open file %s failed !! It is not a regular file (a FIFO, device or socket)."},
    {Failure::kUnknownFormat, kErrorUnchanged, FailureArgs::kNone, "Error:  Unknown file format!!"},
    {Failure::kUnknownMode, kErrorUnchanged, FailureArgs::kNumber,
     "Error:  Unknown file type %d!!"},
    {Failure::kUnknownCode, kErrorUnchanged, FailureArgs::kNumber,
     "Error: Unknown data format %d !!"},
    {Failure::kNullDataset, kErrorUnchanged, FailureArgs::kNone, "Error: Null WFX object !!"},
    {Failure::kCannotStream, kErrorUnchanged, FailureArgs::kNone,
     "Error: the file cannot be read a piece at a time"},
    {Failure::kNoSuchPlot, kErrorUnchanged, FailureArgs::kNumber,
     "Error: the file has no plot %d to select"},
    {Failure::kEmptyData, kErrorEmptyFile, FailureArgs::kFile, "Error: Empty file %s !!"},
    {Failure::kNoSignals, kErrorUnchanged, FailureArgs::kFile, "Error: Empty file %s !!"},
    {Failure::kMalformed, kErrorUnchanged, FailureArgs::kFile, "Malformed data file %s !!"},
    {Failure::kMalformedRecord, kErrorUnchanged, FailureArgs::kNone, "Error: malformed data file"},
    {Failure::kNotCompleted, kErrorUnchanged, FailureArgs::kFile, "File %s not completed!!"},
    {Failure::kPostSyntax, kErrorUnchanged, FailureArgs::kLineAndFile,
     "Syntax error near line %d in file %s !!"},
    {Failure::kCsdfNotCsdf, kErrorUnchanged, FailureArgs::kFile,
     "Error: File %s is not valid CSDF format !!"},
    {Failure::kCsdfIncomplete, kErrorUnchanged, FailureArgs::kFile,
     "Error: File %s is incompleted !!"},
    {Failure::kIncorrectHeader, kErrorUnchanged, FailureArgs::kLineAndFile,
     "Incorrect header near line %d in file %s !!"},
    {Failure::kIncorrectNodes, kErrorUnchanged, FailureArgs::kLineAndFile,
     "Incorrect header near line %d in file %s !! "},
    {Failure::kCsdfAnalysis, kErrorUnchanged, FailureArgs::kDetail,
     "Error:Unsupport analysis in csdf format %s !!"},
    {Failure::kCsdfSyntax, kErrorUnchanged, FailureArgs::kLineAndFile,
     "Error: Syntax error near line %d in %s !!"},
    {Failure::kMeasureEmpty, kErrorUnchanged, FailureArgs::kFile, "Empty file %s !!"},
    {Failure::kMeasureBadHeader, kErrorUnchanged, FailureArgs::kLineAndFile,
     "Incorrect header at line %d of %s !!"},
    {Failure::kMeasureNoData, kErrorUnchanged, FailureArgs::kFile, "No data found in %s !!"},
    {Failure::kScopeParentMissing, kErrorUnchanged, FailureArgs::kNone, "Error: Intenal Error"},
    {Failure::kSpiceRaw, kErrorUnchanged, FailureArgs::kDetail, "Error: SPICE raw file %s"},
    {Failure::kCsdfDialect, kErrorUnchanged, FailureArgs::kDetail, "Error: CSDF file %s"},
    // The words of the silent rows are the library's own, for the reason only.
    {Failure::kNoReader, kErrorUnchanged, FailureArgs::kDetail, "%s: no reader for this format",
     true},
    {Failure::kHeaderOnly, kErrorUnchanged, FailureArgs::kDetail,
     "%s: this format has a header only", true},
    {Failure::kNamesEnded, kErrorUnchanged, FailureArgs::kNone, "the header ends among the names",
     true},
    {Failure::kFieldTooLong, kErrorUnchanged, FailureArgs::kNone,
     "a header field is longer than 8192 bytes", true},
    {Failure::kTextLength, kErrorUnchanged, FailureArgs::kNone,
     "a name or title has a negative or too long length", true},
    {Failure::kScopeWithoutDot, kErrorUnchanged, FailureArgs::kNone, "a scope name holds no \".\"",
     true},
    {Failure::kEmptyNames, kErrorUnchanged, FailureArgs::kNone,
     "the names line of the table is empty", true},
};

// Rows are looked up by position, so their order must follow the enum's.
constexpr bool rowsInEnumOrder() {
    for (size_t i = 0; i < std::size(kFailures); ++i) {
        if (static_cast<size_t>(kFailures[i].failure) != i) return false;
    }
    return std::size(kFailures) == static_cast<size_t>(Failure::kEmptyNames) + 1;
}
static_assert(rowsInEnumOrder(), "one failure row per Failure, in enum order");

// The texts come from the table above, whose conversions the failure test
// checks against each row's arguments.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
void formatRow(char* text, const FailureRow& row, const WaveformDataset* ds, const char* detail,
               int number) {
    const char* file = ds != nullptr ? ds->fileName : "";
    int line = ds != nullptr ? static_cast<int>(ds->lineNumber) : 0;
    // snprintf cuts a longer message to 1023 characters and the NUL.
    switch (row.args) {
        case FailureArgs::kNone:
            std::snprintf(text, kLastErrorSize, "%s", row.text);
            break;
        case FailureArgs::kFile:
            std::snprintf(text, kLastErrorSize, row.text, file);
            break;
        case FailureArgs::kLineAndFile:
            std::snprintf(text, kLastErrorSize, row.text, line, file);
            break;
        case FailureArgs::kDetail:
            std::snprintf(text, kLastErrorSize, row.text, detail != nullptr ? detail : "");
            break;
        case FailureArgs::kNumber:
            std::snprintf(text, kLastErrorSize, row.text, number);
            break;
    }
}
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

}  // namespace

const FailureRow& failureRow(Failure failure) {
    return kFailures[static_cast<size_t>(failure)];
}

int reportFailure(WaveformDataset* ds, Failure failure, const char* detail, int number) {
    const FailureRow& row = failureRow(failure);
    formatRow(lastReason, row, ds, detail, number);
    if (!row.silent) std::memcpy(lastErrorText, lastReason, sizeof lastErrorText);
    if (ds != nullptr && row.lastError != kErrorUnchanged) ds->lastError = row.lastError;
    return 0;
}

void clearMessage() {
    lastErrorText[0] = '\0';
    lastReason[0] = '\0';
}

const char* wfxLastErrorText(void) {
    return lastErrorText;
}

const char* wfxLastReason(void) {
    return lastReason;
}

const char* wfxWords(uint32_t of, uint32_t code) {
    struct Words {
        uint32_t of;
        uint32_t code;
        const char* words;
    };
    static constexpr Words kWords[] = {
        {kWordsOpenStatus, kOpenOk, "opened"},
        {kWordsOpenStatus, kOpenRefused, "no reader, or the header was refused"},
        {kWordsOpenStatus, kOpenEmpty, "empty file"},
        {kWordsOpenStatus, kOpenCannotOpen, "cannot open"},
        {kWordsOpenStatus, kOpenUnknown, "unknown format, file mode or format code"},
        {kWordsOpenStatus, kOpenOutOfMemory, "out of memory"},
        {kWordsAnalysis, kAnalysisTransient, "transient"},
        {kWordsAnalysis, kAnalysisAc, "AC"},
        {kWordsAnalysis, kAnalysisDc, "DC sweep"},
        {kWordsAnalysis, kAnalysisOperatingPoint, "operating point"},
        {kWordsAnalysis, kAnalysisMeasureTable, "measurement table"},
        {kWordsAnalysis, 0xFFFFFFFFu, "not set"},
        {kWordsReadEnding, kEndingComplete, "complete"},
        {kWordsReadEnding, kEndingNoEndMarker, "no end marker"},
        {kWordsReadEnding, kEndingRowCutShort, "last row cut short"},
        {kWordsReadEnding, kEndingValueCut, "cut inside the last value"},
    };
    for (const Words& w : kWords) {
        if (w.of == of && w.code == code) return w.words;
    }
    return nullptr;
}

void fatalError(const char* format, ...) {
    std::fputs("ERROR: ", stderr);
    va_list args;
    va_start(args, format);
    // va_start is the line above; the checker loses it across glibc's va_list.
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    std::vsnprintf(fatalText, sizeof fatalText, format, args);
    va_end(args);
    std::fputs(fatalText, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    std::exit(1);
}
