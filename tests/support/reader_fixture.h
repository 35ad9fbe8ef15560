// The one fixture that opens a waveform file of any format through the reader
// and keeps the dataset and the values read for the checks; it releases both.
// run() does it all on bytes and tells the outcome as one line, for tables.
#ifndef WAVTREX_TESTS_READER_FIXTURE_H
#define WAVTREX_TESTS_READER_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "run_tool.h"
#include "wfx.h"

namespace testkit {

class ReaderFixture : public testing::Test {
  protected:
    ~ReaderFixture() override {
        wfxReleaseValues(&values_);
        if (ds_ != nullptr) wfxClose(ds_);
    }

    // Opens path (the format detected unless named); returns the open status.
    uint32_t open(const std::string& path, uint32_t format = WFX_DETECT_FORMAT) {
        if (ds_ != nullptr) wfxClose(ds_);
        uint32_t status = 0;
        ds_ = wfxOpen(path.c_str(), format, WFX_DETECT_MODE, &status);
        return status;
    }

    int read() {
        wfxReleaseValues(&values_);
        return wfxRead(ds_, &values_);
    }

    std::string save(const std::string& bytes, const std::string& name = "in") {
        writeFile(dir_ / name, bytes);
        return (dir_ / name).string();
    }

    std::string name(int32_t position) const {
        return wfxName(ds_, ds_->variables[position].nameOffset);
    }
    std::string signalName(int32_t i) const { return name(ds_->firstSignalIndex + i); }

    // Every variable as "name:typeCode:kind".
    std::string variables() const {
        std::string text;
        for (int32_t v = 0; v < ds_->variableCount; ++v) {
            text += (v > 0 ? " " : "") + name(v) + ":" +
                    std::to_string(ds_->variables[v].typeCode) + ":" +
                    std::to_string(ds_->variables[v].kind);
        }
        return text;
    }

    // Points of signal i in sweep s as "time=value" (complex: "time=re,im").
    std::string points(int32_t i, int32_t s = 0) const {
        const int32_t h = values_.holderCount == 1 ? 0 : i;
        const bool complex = values_.imag != nullptr && values_.imag[i] != nullptr;
        std::string text;
        for (uint32_t k = 0; k < values_.counts[h][s]; ++k) {
            char pair[80];
            std::snprintf(pair, sizeof pair, "%s%g=%g", text.empty() ? "" : " ",
                          static_cast<double>(values_.axis[h][s][k]),
                          static_cast<double>(values_.real[i][s][k]));
            text += pair;
            if (!complex) continue;
            std::snprintf(pair, sizeof pair, ",%g", static_cast<double>(values_.imag[i][s][k]));
            text += pair;
        }
        return text;
    }

    // Every signal's points, sweeps apart by " / ", signals by "; ".
    std::string curves() const {
        std::string text;
        for (int32_t i = 0; i < values_.signalCount; ++i) {
            if (i > 0) text += "; ";
            for (int32_t s = 0; s < values_.sweepCount; ++s)
                text += (s > 0 ? " / " : "") + points(i, s);
        }
        return text;
    }

    std::string message() const { return wfxLastErrorText(); }

    // "format mode analysis sweeps firstSignal|version|title|date".
    std::string header() const {
        char text[400];
        std::snprintf(text, sizeof text, "%u %u %d %d %d|%s|%s|%s", ds_->dataFormat,
                      unsigned{ds_->fileMode}, static_cast<int>(ds_->analysisKind), ds_->sweepCount,
                      ds_->firstSignalIndex, ds_->version, ds_->title, ds_->date);
        return text;
    }

    // Opens and reads bytes: "open <status>: <message>", or the variables, then
    // "| read <lastError>: <message>" or "| <curves>". The file's path reads "@".
    std::string run(const std::string& bytes, uint32_t format = WFX_DETECT_FORMAT,
                    const std::string& file = "in") {
        const std::string path = save(bytes, file);
        const uint32_t status = open(path, format);
        std::string text = status != kOpenOk ? "open " + std::to_string(status) + ": " + message()
                           : read() != 1     ? variables() + " | read " +
                                               std::to_string(ds_->lastError) + ": " + message()
                                         : variables() + " | " + curves();
        for (size_t at; (at = text.find(path)) != std::string::npos;)
            text.replace(at, path.size(), "@");
        return text;
    }

    // run(bytes) against expected, or only against its tail after a "*".
    void expectRun(const std::string& bytes, const std::string& expected,
                   uint32_t format = WFX_DETECT_FORMAT) {
        const std::string got = run(bytes, format);
        if (expected.starts_with("*")) {
            EXPECT_TRUE(got.ends_with(expected.substr(1)))
                << got << "\nwants the tail " << expected;
        } else {
            EXPECT_EQ(got, expected);
        }
    }

    // A table row: the bytes, what run() tells of them, and header() after it
    // when given.
    struct Row {
        Row(std::string b, std::string e, std::string h = {})
            : bytes(std::move(b)), expected(std::move(e)), header(std::move(h)) {}
        std::string bytes, expected, header;
    };
    void expectRows(const std::vector<Row>& rows, uint32_t format = WFX_DETECT_FORMAT) {
        for (const Row& row : rows) {
            SCOPED_TRACE("row " + std::to_string(&row - rows.data()));
            expectRun(row.bytes, row.expected, format);
            if (!row.header.empty()) {
                EXPECT_EQ(header(), row.header);
            }
        }
    }

    ScratchDir dir_;
    WaveformDataset* ds_ = nullptr;
    WaveformValues values_ = {};
};

}  // namespace testkit

#endif
