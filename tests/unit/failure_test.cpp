// Failures as the reader reports them: the exact text, filled for file
// "run.tr0", line 12, detail "X" and number 42, and the lastError code it
// leaves (77: the code from before): the out-of-memory ones, which no test
// file reaches, and which codes a few others set or keep. Every other text is
// pinned where a file makes it, in the unit tables and the golden cases.
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
        {F::kEmptyData, 3, "Error: Empty file run.tr0 !!"},
        {F::kNoSignals, 77, "Error: Empty file run.tr0 !!"},
        {F::kMalformed, 77, "Malformed data file run.tr0 !!"},
    };
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
