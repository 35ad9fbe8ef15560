// The one fixture that opens a waveform file of any format through the reader
// and keeps the dataset and the values read for the checks; it releases both.
// expectRows() runs tables of files, each outcome told as one line.
#ifndef WAVTREX_TESTS_READER_FIXTURE_H
#define WAVTREX_TESTS_READER_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "file_bytes.h"
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

    std::string name(int32_t position) const {
        return wfxName(ds_, ds_->variables[position].nameOffset);
    }
    // The last-error text, or the reason in brackets when a failure kept the
    // text silent.
    std::string message() const {
        const std::string text = wfxLastErrorText();
        const std::string reason = wfxLastReason();
        return text.empty() && !reason.empty() ? "[" + reason + "]" : text;
    }

    // Points of signal i in sweep s as "time=value" (complex: "time=re,im").
    std::string points(int32_t i, int32_t s = 0) const {
        const int32_t h = values_.holderCount == 1 ? 0 : i;
        std::ostringstream text;
        for (uint32_t k = 0; k < values_.counts[h][s]; ++k) {
            text << (k > 0 ? " " : "") << values_.axis[h][s][k] << "=" << values_.real[i][s][k];
            if (values_.imag != nullptr && values_.imag[i] != nullptr)
                text << "," << values_.imag[i][s][k];
        }
        return text.str();
    }

    // Every signal's points, sweeps apart by " / ", signals by "; ".
    std::string curves() const {
        std::string text;
        for (int32_t i = 0; i < values_.signalCount; ++i) {
            for (int32_t s = 0; s < values_.sweepCount; ++s)
                text += (s > 0 ? " / " : i > 0 ? "; " : "") + points(i, s);
        }
        return text;
    }

    // "format mode analysis sweeps firstSignal|version|title|date", then the
    // sweep values when there are several ("|sweeps 1 2") and what the file
    // tells of its source ("|simulator encoding flags|plot variables points
    // firstSweep, ...").
    std::string header() const {
        char text[400];
        std::snprintf(text, sizeof text, "%u %u %d %d %d|%s|%s|%s", ds_->dataFormat,
                      unsigned{ds_->fileMode}, static_cast<int>(ds_->analysisKind), ds_->sweepCount,
                      ds_->firstSignalIndex, ds_->version, ds_->title, ds_->date);
        std::ostringstream more;
        const bool swept = values_.sweepValues != nullptr && values_.sweepCount > 1;
        for (int32_t s = 0; swept && s < values_.sweepCount; ++s) {
            if (values_.sweepValues[s] != nullptr)
                more << (s == 0 ? "|sweeps " : " ") << values_.sweepValues[s][0];
        }
        WfxSourceFacts source{};
        if (wfxSourceFacts(ds_, &source) == 1) {
            more << "|" << source.simulator << " " << source.encoding << " " << source.flags << "|";
            WfxPlotFacts plot{};
            for (int32_t p = 0; wfxPlotFacts(ds_, p, &plot) == 1; ++p) {
                more << (p > 0 ? ", " : "") << plot.name << " " << plot.variableCount << " "
                     << plot.pointCount << " " << plot.firstSweep;
            }
        }
        return text + more.str();
    }

    // The open dataset read into doubles: "bits value/axis | t0 t1 ... | values
    // of signal 0". Checks on the way that each value of the float read() made
    // first is the double narrowed.
    std::string readDoubles() {
        WaveformValues64 v{};
        if (wfxReadSignals64(ds_, nullptr, &v) != 1)
            return std::string("read64: ") + wfxLastReason();
        std::string text = std::to_string(wfxStoredBits(ds_, 0)) + "/" +
                           std::to_string(wfxStoredBits(ds_, 1)) + " |";
        char number[40];
        for (uint32_t k = 0; k < v.counts[0][0]; ++k) {
            std::snprintf(number, sizeof number, " %.17g", v.axis[0][0][k]);
            text += number;
            EXPECT_EQ(values_.axis[0][0][k], static_cast<float>(v.axis[0][0][k]));
        }
        text += " |";
        for (uint32_t k = 0; v.signalCount > 0 && k < v.counts[0][0]; ++k) {
            std::snprintf(number, sizeof number, " %.17g", v.real[0][0][k]);
            text += number;
            EXPECT_EQ(values_.real[0][0][k], static_cast<float>(v.real[0][0][k]));
        }
        wfxReleaseValues64(&v);
        return text;
    }

    // Writes bytes, opens and reads them: "open <status>: <message>", or every
    // variable as "name:typeCode:kind", then " | read <lastError>: <message>"
    // or " | <curves>". The file's path reads "@".
    std::string run(const std::string& bytes, uint32_t format = WFX_DETECT_FORMAT) {
        const std::string path = (dir_ / "in").string();
        writers::writeBytes(path, bytes, false);
        const uint32_t status = open(path, format);
        std::string text =
            status != kOpenOk ? "open " + std::to_string(status) + ": " + message() : "";
        for (int32_t v = 0; status == kOpenOk && v < ds_->variableCount; ++v) {
            text += (v > 0 ? " " : "") + name(v) + ":" +
                    std::to_string(ds_->variables[v].typeCode) + ":" +
                    std::to_string(ds_->variables[v].kind);
        }
        if (status == kOpenOk) {
            text += read() == 1 ? " | " + curves()
                                : " | read " + std::to_string(ds_->lastError) + ": " + message();
        }
        for (size_t at; (at = text.find(path)) != std::string::npos;)
            text.replace(at, path.size(), "@");
        return text;
    }

    // A table row: the bytes, what run() tells of them (only its tail after a
    // "*"), and header() after it when given.
    struct Row {
        std::string bytes, expected, header = {};
    };
    void expectRows(const std::vector<Row>& rows, uint32_t format = WFX_DETECT_FORMAT) {
        for (const Row& row : rows) {
            SCOPED_TRACE("row " + std::to_string(&row - rows.data()));
            const std::string got = run(row.bytes, format);
            if (row.expected.starts_with("*")) {
                EXPECT_TRUE(got.ends_with(row.expected.substr(1)))
                    << got << "\nwants " << row.expected;
            } else {
                EXPECT_EQ(got, row.expected);
            }
            if (!row.header.empty()) {
                EXPECT_EQ(header(), row.header);
            }
        }
    }

    writers::ScratchDir dir_;
    WaveformDataset* ds_ = nullptr;
    WaveformValues values_ = {};
};

}  // namespace testkit

#endif
