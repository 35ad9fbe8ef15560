// The failure table, and the failure paths behind each lastError code.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <utility>

#include "internal.h"
#include "run_tool.h"

namespace {

// The conversions of a printf text, in order ("%d" and "%s" only).
std::string conversions(const char* text) {
    std::string found;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '%' && p[1] != '\0') found += *++p;
    }
    return found;
}

std::string expectedConversions(FailureArgs args) {
    switch (args) {
        case FailureArgs::kNone:
            return "";
        case FailureArgs::kFile:
            return "s";
        case FailureArgs::kLineAndFile:
            return "ds";
        case FailureArgs::kDetail:
            return "s";
        case FailureArgs::kNumber:
            return "d";
    }
    return "?";
}

// Every row: its conversions are the ones its arguments fill (a mismatch
// would format garbage), no two rows say the same with the same code, and the
// report stores the filled text and sets the row's code.
TEST(Failures, EveryRowFormatsAndSetsItsCode) {
    WaveformDataset* ds = createDataset();
    ASSERT_NE(ds, nullptr);
    std::snprintf(ds->fileName, sizeof ds->fileName, "%s", "run.tr0");
    ds->lineNumber = 12;
    std::set<std::pair<std::string, uint32_t>> seen;
    for (int i = 0; i <= static_cast<int>(Failure::kScopeParentMissing); ++i) {
        const auto failure = static_cast<Failure>(i);
        const FailureRow& row = failureRow(failure);
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.failure, failure);
        EXPECT_EQ(conversions(row.text), expectedConversions(row.args));
        EXPECT_TRUE(seen.insert({row.text, row.lastError}).second);

        ds->lastError = 77;
        EXPECT_EQ(reportFailure(ds, failure, "X", 42), 0);
        EXPECT_EQ(ds->lastError, row.lastError == kErrorUnchanged ? 77u : row.lastError);
        std::string text = row.text;
        auto fill = [&](const std::string& conversion, const std::string& value) {
            text.replace(text.find(conversion), conversion.size(), value);
        };
        switch (row.args) {
            case FailureArgs::kNone:
                break;
            case FailureArgs::kFile:
                fill("%s", "run.tr0");
                break;
            case FailureArgs::kLineAndFile:
                fill("%d", "12"), fill("%s", "run.tr0");
                break;
            case FailureArgs::kDetail:
                fill("%s", "X");
                break;
            case FailureArgs::kNumber:
                fill("%d", "42");
                break;
        }
        EXPECT_EQ(wfxLastErrorText(), text);
    }
    destroyDataset(ds);

    // Without a dataset only the text is stored; a long one is cut to 1023.
    reportFailure(nullptr, Failure::kDuplicateType, std::string(5000, 'e').c_str());
    EXPECT_EQ(std::string(wfxLastErrorText()).size(), 1023u);
    clearMessage();
    EXPECT_STREQ(wfxLastErrorText(), "");
}

// A read that fails leaves the code its failure row gives: 8 when the arrays
// would outgrow the file (CSDF sweeps), and the code from before for damage.
// (Code 3 needs a file sized below 1 byte at open, which open refuses; code 9
// comes only from a header.)
TEST(Failures, ReadFailuresLeaveTheirCodes) {
    testkit::ScratchDir dir;
    struct Case {
        const char* name;
        std::string bytes;
        uint32_t lastError;
        std::string message;  // "%s" stands for the path
    };
    std::string manySweeps;
    for (int i = 0; i < 70000; ++i) manySweeps += "#H\n";
    manySweeps = "#H\nNODES='4'\n#N 'a' 'b' 'c' 'd'\n" + manySweeps;
    const Case cases[] = {
        {"sweeps.csdf", manySweeps, kErrorOutOfMemory, "Error: Out of memory !!"},
        {"cut.csdf", "#H\nNODES='1'\n#N 'v'\n#C 0 1", kErrorNone,
         "Error: File %s is incompleted !!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = (dir / c.name).string();
        testkit::writeFile(path, c.bytes);
        uint32_t status = 0;
        WaveformDataset* ds = wfxOpen(path.c_str(), WFX_DETECT_FORMAT, WFX_DETECT_MODE, &status);
        ASSERT_NE(ds, nullptr) << wfxLastErrorText();
        WaveformValues values{};
        EXPECT_EQ(wfxRead(ds, &values), 0);
        EXPECT_EQ(ds->lastError, c.lastError);
        std::string message = c.message;
        if (message.find("%s") != std::string::npos) message.replace(message.find("%s"), 2, path);
        EXPECT_EQ(wfxLastErrorText(), message);
        wfxClose(ds);
    }
}

}  // namespace
