// Open: status codes, messages, format and file-mode detection, close.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "internal.h"
#include "run_tool.h"

namespace {

class OpenTest : public testing::Test {
protected:
    std::string file(const std::string& name, const std::string& bytes) {
        auto path = (dir_ / name).string();
        testkit::writeFile(path, bytes);
        return path;
    }
    std::string gzFile(const std::string& name, const std::string& bytes) {
        auto path = (dir_ / name).string();
        gzFile_s* out = gzopen(path.c_str(), "wb");
        gzwrite(out, bytes.data(), static_cast<unsigned>(bytes.size()));
        gzclose(out);
        return path;
    }
    // Opens with the given codes; returns the status and closes any dataset.
    uint32_t openStatus(const std::string& path, uint32_t format = WFX_DETECT_FORMAT,
                        uint8_t mode = WFX_DETECT_MODE) {
        uint32_t status = 0;
        WaveformDataset* ds = wfxOpen(path.c_str(), format, mode, &status);
        EXPECT_EQ(ds != nullptr, status == kOpenOk);
        if (ds != nullptr) wfxClose(ds);
        return status;
    }
    std::string message() const { return wfxLastErrorText(); }

    testkit::ScratchDir dir_;
};

TEST_F(OpenTest, Failures) {
    {
        auto path = file("empty.tr0", "");
        EXPECT_EQ(openStatus(path), static_cast<uint32_t>(kOpenEmpty));
        EXPECT_EQ(message(), "Error:  Open file " + path + " failed !!");
    }
    {
        auto path = (dir_ / "missing.tr0").string();
        EXPECT_EQ(openStatus(path), static_cast<uint32_t>(kOpenCannotOpen));
        EXPECT_EQ(message(), "Error:  Open file " + path + " failed !!");
        EXPECT_EQ(openStatus(""), static_cast<uint32_t>(kOpenCannotOpen));
        EXPECT_EQ(message(), "Error:  Open file  failed !!");
    }
    {
        EXPECT_EQ(openStatus(file("plain.txt", "nothing to see here")),
                  static_cast<uint32_t>(kOpenUnknown));
        EXPECT_EQ(message(), "Error:  Unknown file format!!");
    }
    {
        // A post code forced on a file too short for the mode sniff.
        EXPECT_EQ(openStatus(file("short", "abc"), kFormatPost9601),
                  static_cast<uint32_t>(kOpenUnknown));
        EXPECT_EQ(message(), "Error:  Unknown file type 255!!");
    }
    {
        auto path = file("any", "some bytes here");
        for (uint32_t code : {3u, 6u, 7u, 16u, 1000u}) {
            EXPECT_EQ(openStatus(path, code), static_cast<uint32_t>(kOpenUnknown)) << code;
            EXPECT_EQ(message(), "Error: Unknown data format " + std::to_string(code) + " !!");
        }
    }
    {
        EXPECT_EQ(openStatus(file("mode", "some bytes"), kFormatCsdf, 3),
                  static_cast<uint32_t>(kOpenUnknown));
        EXPECT_EQ(message(), "Error:  Unknown file type 3!!");
    }
}

TEST_F(OpenTest, FormatsWithoutReaderFailWithStatus2AndNoMessage) {
    const std::string cases[] = {
        "x \"QVKversion\" y",                 // property store
        "radix here and #H too",              // radix wins over CSDF
        "nothing but END",                    // end text
        std::string("\x07\0\0\0xxxx\x07\0\0\0yyyy", 16),  // framed by 7
    };
    for (const auto& bytes : cases) {
        EXPECT_EQ(openStatus(file("case", bytes)), static_cast<uint32_t>(kOpenNoReader)) << bytes;
        EXPECT_EQ(message(), "");
    }
    // Unquoted keyword is not the property store.
    EXPECT_EQ(openStatus(file("case", "QVKversion")), static_cast<uint32_t>(kOpenUnknown));
}

TEST_F(OpenTest, CloseOfNothing) {
    EXPECT_EQ(wfxClose(nullptr), 0);
    EXPECT_EQ(message(), "Error: Null WFX object !!");
}

TEST_F(OpenTest, EstimatedDataSize) {
    EXPECT_EQ(estimatedDataSize(nullptr), -1);
    // Checked on a dataset filled by hand, independent of any format reader.
    WaveformDataset* ds = createDataset();
    std::snprintf(ds->fileName, sizeof ds->fileName, "%s", file("a.tr0", "12345").c_str());
    EXPECT_EQ(estimatedDataSize(ds), 5);
    std::snprintf(ds->fileName, sizeof ds->fileName, "%s", gzFile("b.tr0.gz", "12345").c_str());
    int64_t compressed = static_cast<int64_t>(std::filesystem::file_size(ds->fileName));
    EXPECT_EQ(estimatedDataSize(ds), compressed * 20);
    std::snprintf(ds->fileName, sizeof ds->fileName, "%s", (dir_ / "none").c_str());
    EXPECT_EQ(estimatedDataSize(ds), -1);
    destroyDataset(ds);
}

}  // namespace
