// Every failure as the reader reports it: its exact text, misspellings and
// doubled blanks included, filled for file "run.tr0", line 12, detail "X" and
// number 42, and the lastError code it leaves (77: the code from before).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "internal.h"

namespace {

TEST(Failures, EveryTextAndCode) {
    using F = Failure;
    const struct {
        Failure failure;
        uint32_t lastError;
        const char* text;
    } rows[] = {
        {F::kOutOfMemory, 8, "Error: Out of memory !!"},
        {F::kOutOfMemoryHolders, 8, "Error: out of memory!!"},
        {F::kOutOfMemoryTypeCodes, 8, "Not enough memory !!"},
        {F::kOutOfMemoryEvents, 8, "Error: out of memory"},
        {F::kOutOfMemoryScopes, 8, "Error: Out of memory"},
        {F::kOutOfMemoryGrowth, 8, "Error: Out out memory"},
        {F::kDuplicateType, 9, "Error: Duplicate type defintion X !!"},
        {F::kOpenFailed, 77, "Error:  Open file X failed !!"},
        {F::kUnknownFormat, 77, "Error:  Unknown file format!!"},
        {F::kUnknownMode, 77, "Error:  Unknown file type 42!!"},
        {F::kUnknownCode, 77, "Error: Unknown data format 42 !!"},
        {F::kNullDataset, 77, "Error: Null WFX object !!"},
        {F::kEmptyData, 3, "Error: Empty file run.tr0 !!"},
        {F::kNoSignals, 77, "Error: Empty file run.tr0 !!"},
        {F::kMalformed, 77, "Malformed data file run.tr0 !!"},
        {F::kMalformedRecord, 77, "Error: malformed data file"},
        {F::kNotCompleted, 77, "File run.tr0 not completed!!"},
        {F::kPostSyntax, 77, "Syntax error near line 12 in file run.tr0 !!"},
        {F::kCsdfNotCsdf, 77, "Error: File run.tr0 is not valid CSDF format !!"},
        {F::kCsdfIncomplete, 77, "Error: File run.tr0 is incompleted !!"},
        {F::kIncorrectHeader, 77, "Incorrect header near line 12 in file run.tr0 !!"},
        {F::kIncorrectNodes, 77, "Incorrect header near line 12 in file run.tr0 !! "},
        {F::kCsdfAnalysis, 77, "Error:Unsupport analysis in csdf format X !!"},
        {F::kCsdfSyntax, 77, "Error: Syntax error near line 12 in run.tr0 !!"},
        {F::kMeasureEmpty, 77, "Empty file run.tr0 !!"},
        {F::kMeasureBadHeader, 77, "Incorrect header at line 12 of run.tr0 !!"},
        {F::kMeasureNoData, 77, "No data found in run.tr0 !!"},
        {F::kScopeParentMissing, 77, "Error: Intenal Error"},
    };
    static_assert(std::size(rows) == static_cast<size_t>(F::kScopeParentMissing) + 1);
    WaveformDataset* ds = createDataset();
    ASSERT_NE(ds, nullptr);
    std::snprintf(ds->fileName, sizeof ds->fileName, "%s", "run.tr0");
    ds->lineNumber = 12;
    for (const auto& row : rows) {
        ds->lastError = 77;
        EXPECT_EQ(reportFailure(ds, row.failure, "X", 42), 0);
        EXPECT_STREQ(wfxLastErrorText(), row.text);
        EXPECT_EQ(ds->lastError, row.lastError) << row.text;
    }
    destroyDataset(ds);
    // Without a dataset only the text is stored; a long one is cut to 1023.
    reportFailure(nullptr, Failure::kDuplicateType, std::string(5000, 'e').c_str());
    EXPECT_EQ(std::string(wfxLastErrorText()).size(), 1023u);
    clearMessage();
    EXPECT_STREQ(wfxLastErrorText(), "");
}

}  // namespace
