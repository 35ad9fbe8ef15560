// A test fixture that opens one waveform file through the reader and keeps the
// dataset and the values read for the checks; it releases both at the end.
#ifndef WAVTREX_TESTS_READER_FIXTURE_H
#define WAVTREX_TESTS_READER_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "run_tool.h"
#include "wfx.h"

namespace testkit {

class ReaderFixture : public testing::Test {
  protected:
    ~ReaderFixture() override {
        wfxReleaseValues(&values_);
        if (ds_ != nullptr) wfxClose(ds_);
    }

    // Opens path with detection; returns the open status.
    uint32_t open(const std::string& path) {
        if (ds_ != nullptr) wfxClose(ds_);
        uint32_t status = 0;
        ds_ = wfxOpen(path.c_str(), WFX_DETECT_FORMAT, WFX_DETECT_MODE, &status);
        return status;
    }

    int read() {
        wfxReleaseValues(&values_);
        return wfxRead(ds_, &values_);
    }

    std::string name(int32_t position) const {
        return wfxName(ds_, ds_->variables[position].nameOffset);
    }
    std::string signalName(int32_t i) const { return name(ds_->firstSignalIndex + i); }

    // Points of signal i in sweep s as "time=value" pairs, for signals that
    // carry their own times.
    std::string points(int32_t i, int32_t s = 0) const {
        std::string text;
        for (uint32_t k = 0; k < values_.counts[i][s]; ++k) {
            char pair[64];
            std::snprintf(pair, sizeof pair, "%s%g=%g", text.empty() ? "" : " ",
                          static_cast<double>(values_.axis[i][s][k]),
                          static_cast<double>(values_.real[i][s][k]));
            text += pair;
        }
        return text;
    }

    std::string message() const { return wfxLastErrorText(); }

    ScratchDir dir_;
    WaveformDataset* ds_ = nullptr;
    WaveformValues values_ = {};
};

}  // namespace testkit

#endif
