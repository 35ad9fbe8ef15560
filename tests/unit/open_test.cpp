// Open: status codes and messages of forced codes and modes, standard input.
// What detection makes of files is the info golden run's (tests/info/refusals).
// Failures as the reader reports them: the exact text, filled for file
// "run.tr0", line 12, detail "X" and number 42, and the lastError code it
// leaves (77: the code from before): the out-of-memory ones, which no test
// file reaches, and which codes a few others set or keep. Every other text is
// pinned where a file makes it, in the unit tables and the golden cases.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "file_bytes.h"
#include "internal.h"
#include "reader_fixture.h"

namespace {

using OpenTest = testkit::ReaderFixture;

TEST_F(OpenTest, StatusAndMessage) {
    for (uint32_t code : {3u, 6u, 7u, 18u}) {
        EXPECT_EQ(run("any", code),
                  "open 7: Error: Unknown data format " + std::to_string(code) + " !!");
    }
    // A post code forced on a file too short for the mode sniff.
    EXPECT_EQ(run("abc", kFormatPost9601), "open 7: Error:  Unknown file type 255!!");
    uint32_t status = 0;
    EXPECT_EQ(wfxOpen((dir_ / "in").c_str(), kFormatCsdf, 3, &status), nullptr);
    EXPECT_EQ(status, static_cast<uint32_t>(kOpenUnknown));
    EXPECT_EQ(message(), "Error:  Unknown file type 3!!");
    EXPECT_EQ(wfxOpen((dir_ / "missing").c_str(), WFX_DETECT_FORMAT, 0, &status), nullptr);
    EXPECT_EQ(status, static_cast<uint32_t>(kOpenCannotOpen));
    EXPECT_EQ(wfxOpen("", WFX_DETECT_FORMAT, 0, nullptr), nullptr);
    EXPECT_EQ(message(), "Error:  Open file  failed !!");
    EXPECT_EQ(wfxClose(nullptr), 0);
    EXPECT_EQ(message(), "Error: Null WFX object !!");
}

TEST_F(OpenTest, StandardInput) {
    // Through a pipe, which cannot seek back: plain, compressed and empty.
    const std::string csdf = "#H\nNODES='1' \n#N 'v(a)' \n#C 0 1 4 \n#C 1 1 5 \n#;\n";
    for (const std::string& bytes : {csdf, writers::gzipBytes(csdf), std::string()}) {
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        ASSERT_EQ(write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(ends[1]);
        const int savedInput = dup(0);
        dup2(ends[0], 0);
        close(ends[0]);
        uint32_t status = 0;
        if (ds_ != nullptr) wfxClose(ds_);
        ds_ = wfxOpen(nullptr, WFX_DETECT_FORMAT, WFX_DETECT_MODE, &status);
        dup2(savedInput, 0);
        close(savedInput);
        std::clearerr(stdin);
        EXPECT_EQ(status, bytes.empty() ? kOpenEmpty : kOpenOk) << message();
        if (ds_ == nullptr) continue;
        ASSERT_EQ(read(), 1) << message();
        EXPECT_EQ(curves(), "0=4 1=5");
    }
}

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
    // A silent row leaves the text and lastError; only the reason tells.
    reportFailure(ds, Failure::kNoReader, "end text");
    EXPECT_STREQ(wfxLastErrorText(), "Malformed data file run.tr0 !!");
    EXPECT_STREQ(wfxLastReason(), "end text: no reader for this format");
    EXPECT_EQ(ds->lastError, 77u);
    destroyDataset(ds);
    // Without a dataset only the text is stored; a long one is cut to 1023.
    reportFailure(nullptr, Failure::kDuplicateType, std::string(5000, 'e').c_str());
    EXPECT_EQ(std::string(wfxLastErrorText()).size(), 1023u);
    clearMessage();
    EXPECT_STREQ(wfxLastErrorText(), "");
}

}  // namespace
