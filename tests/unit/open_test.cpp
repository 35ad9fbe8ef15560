// Open: status codes and messages, formats without a reader, standard input.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "file_bytes.h"
#include "reader_fixture.h"

namespace {

using OpenTest = testkit::ReaderFixture;

TEST_F(OpenTest, StatusAndMessage) {
    const std::string unknown = "open 7: Error:  Unknown file format!!";
    for (uint32_t code : {3u, 6u, 7u, 16u}) {
        EXPECT_EQ(run("any", code),
                  "open 7: Error: Unknown data format " + std::to_string(code) + " !!");
    }
    // A post code forced on a file too short for the mode sniff.
    EXPECT_EQ(run("abc", kFormatPost9601), "open 7: Error:  Unknown file type 255!!");
    expectRows({
        {"", "open 3: Error:  Open file @ failed !!"},
        {"nothing to see here", unknown},
        {"QVKversion", unknown},  // not quoted
        // Formats without a reader: no message.
        {"x \"QVKversion\" y", "open 2: "},
        {"radix here and #H too", "open 2: "},
        {"nothing but END", "open 2: "},
        {std::string("\x07\0\0\0xxxx\x07\0\0\0yyyy", 16), "open 2: "},
    });
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

}  // namespace
