// The failure table, the last-error text and the fatal reporter.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "failure.h"

namespace {

// Per thread, so a failure on one thread never overwrites another's message.
thread_local char lastErrorText[kLastErrorSize];
thread_local char fatalText[512];

using F = Failure;
using A = FailureArgs;

// Every message the reader stores. The texts are the system's own and are
// kept byte for byte, doubled blanks, misspellings ("defintion", "Intenal",
// "Out out", "incompleted", "Unsupport") and the trailing blank of the NODES
// variant included: callers and tests compare them exactly.
constexpr FailureRow kFailures[] = {
    {F::kOutOfMemory, kErrorOutOfMemory, A::kNone, "Error: Out of memory !!"},
    {F::kOutOfMemoryHolders, kErrorOutOfMemory, A::kNone, "Error: out of memory!!"},
    {F::kOutOfMemoryTypeCodes, kErrorOutOfMemory, A::kNone, "Not enough memory !!"},
    {F::kOutOfMemoryEvents, kErrorOutOfMemory, A::kNone, "Error: out of memory"},
    {F::kOutOfMemoryScopes, kErrorOutOfMemory, A::kNone, "Error: Out of memory"},
    {F::kOutOfMemoryGrowth, kErrorOutOfMemory, A::kNone, "Error: Out out memory"},
    {F::kDuplicateType, kErrorDuplicateType, A::kDetail, "Error: Duplicate type defintion %s !!"},
    {F::kOpenFailed, kErrorUnchanged, A::kDetail, "Error:  Open file %s failed !!"},
    {F::kOpenSpecialFile, kErrorUnchanged, A::kDetail,
     "Error:  Open file %s failed !! It is not a regular file (a FIFO, device or socket)."},
    {F::kUnknownFormat, kErrorUnchanged, A::kNone, "Error:  Unknown file format!!"},
    {F::kUnknownMode, kErrorUnchanged, A::kNumber, "Error:  Unknown file type %d!!"},
    {F::kUnknownCode, kErrorUnchanged, A::kNumber, "Error: Unknown data format %d !!"},
    {F::kNullDataset, kErrorUnchanged, A::kNone, "Error: Null WFX object !!"},
    {F::kEmptyData, kErrorEmptyFile, A::kFile, "Error: Empty file %s !!"},
    {F::kNoSignals, kErrorUnchanged, A::kFile, "Error: Empty file %s !!"},
    {F::kMalformed, kErrorUnchanged, A::kFile, "Malformed data file %s !!"},
    {F::kMalformedRecord, kErrorUnchanged, A::kNone, "Error: malformed data file"},
    {F::kNotCompleted, kErrorUnchanged, A::kFile, "File %s not completed!!"},
    {F::kPostSyntax, kErrorUnchanged, A::kLineAndFile, "Syntax error near line %d in file %s !!"},
    {F::kCsdfNotCsdf, kErrorUnchanged, A::kFile, "Error: File %s is not valid CSDF format !!"},
    {F::kCsdfIncomplete, kErrorUnchanged, A::kFile, "Error: File %s is incompleted !!"},
    {F::kIncorrectHeader, kErrorUnchanged, A::kLineAndFile,
     "Incorrect header near line %d in file %s !!"},
    {F::kIncorrectNodes, kErrorUnchanged, A::kLineAndFile,
     "Incorrect header near line %d in file %s !! "},
    {F::kCsdfAnalysis, kErrorUnchanged, A::kDetail,
     "Error:Unsupport analysis in csdf format %s !!"},
    {F::kCsdfSyntax, kErrorUnchanged, A::kLineAndFile, "Error: Syntax error near line %d in %s !!"},
    {F::kMeasureEmpty, kErrorUnchanged, A::kFile, "Empty file %s !!"},
    {F::kMeasureBadHeader, kErrorUnchanged, A::kLineAndFile,
     "Incorrect header at line %d of %s !!"},
    {F::kMeasureNoData, kErrorUnchanged, A::kFile, "No data found in %s !!"},
    {F::kScopeParentMissing, kErrorUnchanged, A::kNone, "Error: Intenal Error"},
    {F::kSpiceRaw, kErrorUnchanged, A::kDetail, "Error: SPICE raw file %s"},
    {F::kCsdfDialect, kErrorUnchanged, A::kDetail, "Error: CSDF file %s"},
};

// Rows are looked up by position, so their order must follow the enum's.
constexpr bool rowsInEnumOrder() {
    for (size_t i = 0; i < std::size(kFailures); ++i) {
        if (static_cast<size_t>(kFailures[i].failure) != i) return false;
    }
    return std::size(kFailures) == static_cast<size_t>(Failure::kCsdfDialect) + 1;
}
static_assert(rowsInEnumOrder(), "one failure row per Failure, in enum order");

// The texts come from the table above, whose conversions the failure test
// checks against each row's arguments.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
void formatRow(const FailureRow& row, const WaveformDataset* ds, const char* detail, int number) {
    const char* file = ds != nullptr ? ds->fileName : "";
    int line = ds != nullptr ? static_cast<int>(ds->lineNumber) : 0;
    // snprintf cuts a longer message to 1023 characters and the NUL.
    switch (row.args) {
        case A::kNone:
            std::snprintf(lastErrorText, sizeof lastErrorText, "%s", row.text);
            break;
        case A::kFile:
            std::snprintf(lastErrorText, sizeof lastErrorText, row.text, file);
            break;
        case A::kLineAndFile:
            std::snprintf(lastErrorText, sizeof lastErrorText, row.text, line, file);
            break;
        case A::kDetail:
            std::snprintf(lastErrorText, sizeof lastErrorText, row.text,
                          detail != nullptr ? detail : "");
            break;
        case A::kNumber:
            std::snprintf(lastErrorText, sizeof lastErrorText, row.text, number);
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
    formatRow(row, ds, detail, number);
    if (ds != nullptr && row.lastError != kErrorUnchanged) ds->lastError = row.lastError;
    return 0;
}

void clearMessage() {
    lastErrorText[0] = '\0';
}

const char* wfxLastErrorText(void) {
    return lastErrorText;
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
