// Open: status codes and messages, formats without a reader, standard input.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "file_bytes.h"
#include "reader_fixture.h"

namespace {

using OpenTest = testkit::ReaderFixture;

TEST_F(OpenTest, StatusAndMessage) {
    const struct {
        std::string bytes;  // "-": no file
        uint32_t format;
        uint8_t mode;
        uint32_t status;
        std::string message;
    } rows[] = {
        {"", WFX_DETECT_FORMAT, 0, kOpenEmpty, "Error:  Open file @ failed !!"},
        {"-", WFX_DETECT_FORMAT, 0, kOpenCannotOpen, "Error:  Open file @ failed !!"},
        {"nothing to see here", WFX_DETECT_FORMAT, 0, kOpenUnknown,
         "Error:  Unknown file format!!"},
        // A post code forced on a file too short for the mode sniff.
        {"abc", kFormatPost9601, 0, kOpenUnknown, "Error:  Unknown file type 255!!"},
        {"some bytes", kFormatCsdf, 3, kOpenUnknown, "Error:  Unknown file type 3!!"},
        {"some bytes", 3, 0, kOpenUnknown, "Error: Unknown data format 3 !!"},
        {"some bytes", 6, 0, kOpenUnknown, "Error: Unknown data format 6 !!"},
        {"some bytes", 7, 0, kOpenUnknown, "Error: Unknown data format 7 !!"},
        {"some bytes", 16, 0, kOpenUnknown, "Error: Unknown data format 16 !!"},
        // Formats without a reader: no message.
        {"x \"QVKversion\" y", WFX_DETECT_FORMAT, 0, kOpenNoReader, ""},
        {"radix here and #H too", WFX_DETECT_FORMAT, 0, kOpenNoReader, ""},
        {"nothing but END", WFX_DETECT_FORMAT, 0, kOpenNoReader, ""},
        {std::string("\x07\0\0\0xxxx\x07\0\0\0yyyy", 16), WFX_DETECT_FORMAT, 0, kOpenNoReader, ""},
        {"QVKversion", WFX_DETECT_FORMAT, 0, kOpenUnknown, "Error:  Unknown file format!!"},
    };
    const std::string path = (dir_ / "in").string();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        std::remove(path.c_str());
        if (row.bytes != "-") save(row.bytes);
        uint32_t status = 0;
        WaveformDataset* ds = wfxOpen(path.c_str(), row.format, row.mode, &status);
        EXPECT_EQ(status, row.status);
        EXPECT_EQ(ds, nullptr);
        std::string text = message();
        if (text.find(path) != std::string::npos) text.replace(text.find(path), path.size(), "@");
        EXPECT_EQ(text, row.message);
    }
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
