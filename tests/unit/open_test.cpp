// Open: status codes, messages, format and file-mode detection, close.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
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
        "x \"QVKversion\" y",                             // property store
        "radix here and #H too",                          // radix wins over CSDF
        "nothing but END",                                // end text
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

// One node, two points.
const std::string kCsdf = "#H\nNODES='1' \n#N 'v(a)' \n#C 0 1 4 \n#C 1 1 5 \n#;\n";

// Reads an opened dataset, checks it holds kCsdf's points, and closes it.
void expectCsdfRead(WaveformDataset* ds) {
    WaveformValues values{};
    ASSERT_EQ(wfxRead(ds, &values), 1) << wfxLastErrorText();
    EXPECT_EQ(values.counts[0][0], 2u);
    EXPECT_EQ(values.real[0][0][1], 5.0f);
    wfxReleaseValues(&values);
    wfxClose(ds);
}

TEST_F(OpenTest, SizeEstimateFromTheNameAsGiven) {
    EXPECT_EQ(estimatedDataSize(nullptr), -1);
    // Deep enough that the name, and its ".gz", lie past the 255-byte copy
    // kept for messages.
    const std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e') + "/";
    std::filesystem::create_directories(dir_ / deep);
    const struct {
        std::string name;
        bool gzip;
    } cases[] = {
        {"a.csd", false}, {"b.csd.gz", true}, {deep + "c.csd", false}, {deep + "d.csd.gz", true}};
    for (const auto& c : cases) {
        const std::string path = c.gzip ? gzFile(c.name, kCsdf) : file(c.name, kCsdf);
        uint32_t status = 0;
        WaveformDataset* ds = wfxOpen(path.c_str(), WFX_DETECT_FORMAT, WFX_DETECT_MODE, &status);
        ASSERT_NE(ds, nullptr) << c.name;
        const auto size = static_cast<int64_t>(std::filesystem::file_size(path));
        EXPECT_EQ(estimatedDataSize(ds), c.gzip ? size * 20 : size) << c.name;
        expectCsdfRead(ds);
    }
}

TEST_F(OpenTest, StandardInput) {
    // Through a pipe, which cannot seek back: plain, compressed and empty.
    const struct {
        std::string bytes;
        uint32_t status;
    } cases[] = {
        {kCsdf, kOpenOk}, {testkit::readFile(gzFile("in.gz", kCsdf)), kOpenOk}, {"", kOpenEmpty}};
    for (const auto& c : cases) {
        int pipeEnds[2];
        ASSERT_EQ(pipe(pipeEnds), 0);
        ASSERT_EQ(write(pipeEnds[1], c.bytes.data(), c.bytes.size()),
                  static_cast<ssize_t>(c.bytes.size()));
        close(pipeEnds[1]);
        const int savedInput = dup(0);
        dup2(pipeEnds[0], 0);
        close(pipeEnds[0]);
        uint32_t status = 0;
        WaveformDataset* ds = wfxOpen(nullptr, WFX_DETECT_FORMAT, WFX_DETECT_MODE, &status);
        dup2(savedInput, 0);
        close(savedInput);
        std::clearerr(stdin);
        EXPECT_EQ(status, c.status) << wfxLastErrorText();
        if (ds != nullptr) expectCsdfRead(ds);
    }
    EXPECT_EQ(message(), "Error:  Open file  failed !!");
}

}  // namespace
