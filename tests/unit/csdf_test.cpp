// CSDF files through open and read: layouts, key quirks, damage.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "csdf_writer.h"
#include "run_tool.h"
#include "wfx.h"

namespace {

using writers::CsdfFile;
using writers::CsdfPoint;

// An open dataset and the values read from it, released on destruction.
class Opened {
  public:
    explicit Opened(const std::string& path, uint32_t format = WFX_DETECT_FORMAT) {
        ds_ = wfxOpen(path.c_str(), format, WFX_DETECT_MODE, &status_);
        message_ = wfxLastErrorText();
    }
    ~Opened() {
        wfxReleaseValues(&values_);
        if (ds_ != nullptr) wfxClose(ds_);
    }
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;

    bool read() {
        int ok = wfxRead(ds_, &values_);
        message_ = wfxLastErrorText();
        return ok == 1;
    }
    WaveformDataset* ds() const { return ds_; }
    const WaveformValues& values() const { return values_; }
    uint32_t status() const { return status_; }
    const std::string& message() const { return message_; }
    std::vector<std::string> names() const {
        std::vector<std::string> all;
        for (int32_t i = 0; i < ds_->variableCount; ++i) {
            all.emplace_back(wfxName(ds_, ds_->variables[i].nameOffset));
        }
        return all;
    }
    std::vector<uint32_t> typeCodes() const {
        std::vector<uint32_t> all;
        for (int32_t i = 0; i < ds_->variableCount; ++i) all.push_back(ds_->variables[i].typeCode);
        return all;
    }
    std::vector<uint32_t> kinds() const {
        std::vector<uint32_t> all;
        for (int32_t i = 0; i < ds_->variableCount; ++i) all.push_back(ds_->variables[i].kind);
        return all;
    }
    std::vector<float> axis(int32_t sweep) const {
        const float* x = values_.axis[0][sweep];
        return {x, x + values_.counts[0][sweep]};
    }
    std::vector<float> real(int32_t signal, int32_t sweep) const {
        const float* v = values_.real[signal][sweep];
        return {v, v + values_.counts[0][sweep]};
    }
    std::vector<float> imag(int32_t signal, int32_t sweep) const {
        const float* v = values_.imag[signal][sweep];
        return {v, v + values_.counts[0][sweep]};
    }

  private:
    WaveformDataset* ds_ = nullptr;
    WaveformValues values_{};
    uint32_t status_ = 0;
    std::string message_;
};

class CsdfTest : public testing::Test {
  protected:
    std::string write(const std::string& name, const CsdfFile& file, bool gzip = false) {
        auto path = (dir_ / name).string();
        writers::writeCsdf(path, file, gzip);
        return path;
    }
    std::string text(const std::string& name, const std::string& bytes) {
        auto path = (dir_ / name).string();
        testkit::writeFile(path, bytes);
        return path;
    }
    testkit::ScratchDir dir_;
};

// message with "<path>" replaced by path.
std::string withPath(std::string message, const std::string& path) {
    auto at = message.find("<path>");
    if (at != std::string::npos) message.replace(at, 6, path);
    return message;
}

std::vector<CsdfPoint> ramp(int points, int nodes, double step, double scale) {
    std::vector<CsdfPoint> all;
    for (int p = 0; p < points; ++p) {
        CsdfPoint point{p * step, {}, {}};
        for (int i = 0; i < nodes; ++i) {
            point.real.push_back(scale * (p + 1) + i);
            point.imag.push_back(-scale * (p + 1) - i);
        }
        all.push_back(point);
    }
    return all;
}

TEST_F(CsdfTest, UnsweptTransientRoundTrip) {
    CsdfFile file;
    file.nodes = {"v(out)", "i(vdd)", "x1.q"};
    file.sweeps = {ramp(4, 3, 1e-9, 0.25)};
    for (bool gzip : {false, true}) {
        Opened f(write(gzip ? "tran.csd.gz" : "tran.csd", file, gzip));
        ASSERT_EQ(f.status(), static_cast<uint32_t>(kOpenOk)) << f.message();
        EXPECT_EQ(f.ds()->dataFormat, static_cast<uint32_t>(kFormatCsdf));
        EXPECT_EQ(f.ds()->fileMode, kModeText);
        EXPECT_EQ(f.ds()->analysisKind, static_cast<uint32_t>(kAnalysisTransient));
        EXPECT_EQ(f.ds()->firstSignalIndex, 1);
        EXPECT_EQ(f.ds()->sweepCount, 1);
        EXPECT_EQ(f.ds()->sweepParamCount, 0);
        EXPECT_EQ(f.ds()->signalCount, 3);
        EXPECT_STREQ(f.ds()->version, "2001.2");
        EXPECT_STREQ(f.ds()->title, "* generated circuit");
        EXPECT_STREQ(f.ds()->date, "12/06/2026 10:00:00");
        EXPECT_EQ(f.names(), (std::vector<std::string>{"TIME", "v(out)", "i(vdd)", "x1.q"}));
        EXPECT_EQ(f.typeCodes(), (std::vector<uint32_t>{1, 1, 8, 78}));
        EXPECT_EQ(f.kinds(), (std::vector<uint32_t>{9, 9, 9, 9}));

        ASSERT_TRUE(f.read()) << f.message();
        EXPECT_EQ(f.values().holderCount, 1);  // one set of times for every node
        EXPECT_EQ(f.values().counts[0][0], 4u);
        EXPECT_EQ(f.axis(0), (std::vector<float>{0.0f, 1e-9f, 2e-9f, 3e-9f}));
        EXPECT_EQ(f.real(0, 0), (std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f}));
        EXPECT_EQ(f.real(2, 0), (std::vector<float>{2.25f, 2.5f, 2.75f, 3.0f}));
        EXPECT_EQ(f.values().imag, nullptr);
        EXPECT_EQ(f.values().sweepValues, nullptr);
        // Read again: every read starts from the data offset.
        wfxReleaseValues(const_cast<WaveformValues*>(&f.values()));
        ASSERT_TRUE(f.read());
        EXPECT_EQ(f.real(1, 0), (std::vector<float>{1.25f, 1.5f, 1.75f, 2.0f}));
    }
}

TEST_F(CsdfTest, SweptRealAndComplexRoundTrip) {
    CsdfFile file;
    file.nodes = {"v(a)", "v(b)"};
    file.sweeps = {ramp(3, 2, 1.0, 1.0), ramp(1, 2, 1.0, 10.0), ramp(5, 2, 0.5, 100.0)};
    {
        Opened f(write("swept.csd", file));
        ASSERT_EQ(f.status(), static_cast<uint32_t>(kOpenOk)) << f.message();
        EXPECT_EQ(f.ds()->sweepCount, 3);
        EXPECT_EQ(f.ds()->firstSignalIndex, 2);
        EXPECT_EQ(f.ds()->sweepParamCount, 1);
        EXPECT_EQ(f.names(), (std::vector<std::string>{"OUTERSWEEP", "TIME", "v(a)", "v(b)"}));
        EXPECT_EQ(f.typeCodes(), (std::vector<uint32_t>{0, 1, 1, 1}));
        ASSERT_TRUE(f.read()) << f.message();
        EXPECT_EQ(f.values().sweepCount, 3);
        EXPECT_EQ(f.axis(1), (std::vector<float>{0.0f}));
        EXPECT_EQ(f.axis(2), (std::vector<float>{0.0f, 0.5f, 1.0f, 1.5f, 2.0f}));
        EXPECT_EQ(f.real(1, 0), (std::vector<float>{2.0f, 3.0f, 4.0f}));
        EXPECT_EQ(f.real(0, 1), (std::vector<float>{10.0f}));
        EXPECT_EQ(f.real(1, 2), (std::vector<float>{101.0f, 201.0f, 301.0f, 401.0f, 501.0f}));
        // One sweep value per sweep, never filled from the file.
        ASSERT_NE(f.values().sweepValues, nullptr);
        for (int s = 0; s < 3; ++s) EXPECT_EQ(f.values().sweepValues[s][0], 0.0f);
    }
    file.analysis = "AC";
    file.sweepVar = "HERTZ";
    file.complexValues = "YES";
    for (bool gzip : {false, true}) {
        Opened f(write(gzip ? "ac.csd.gz" : "ac.csd", file, gzip));
        ASSERT_EQ(f.status(), static_cast<uint32_t>(kOpenOk)) << f.message();
        EXPECT_EQ(f.ds()->analysisKind, static_cast<uint32_t>(kAnalysisAc));
        EXPECT_EQ(f.kinds(), (std::vector<uint32_t>{9, 9, 10, 10}));
        EXPECT_EQ(f.typeCodes(), (std::vector<uint32_t>{0, 2, 1, 1}));
        ASSERT_TRUE(f.read()) << f.message();
        EXPECT_EQ(f.real(0, 2), (std::vector<float>{100.0f, 200.0f, 300.0f, 400.0f, 500.0f}));
        EXPECT_EQ(f.imag(0, 2), (std::vector<float>{-100.0f, -200.0f, -300.0f, -400.0f, -500.0f}));
        EXPECT_EQ(f.imag(1, 0), (std::vector<float>{-2.0f, -3.0f, -4.0f}));
    }
}

TEST_F(CsdfTest, ComplexKinds) {
    CsdfFile file;
    file.nodes = {"v(a)"};
    file.sweeps = {ramp(2, 1, 1.0, 3.0)};
    {  // Complex values in a transient file: the imaginary parts are dropped.
        file.complexValues = "YES";
        Opened f(write("tran-complex.csd", file));
        EXPECT_EQ(f.kinds(), (std::vector<uint32_t>{9, 10}));
        ASSERT_TRUE(f.read()) << f.message();
        EXPECT_EQ(f.values().imag, nullptr);
        EXPECT_EQ(f.real(0, 0), (std::vector<float>{3.0f, 6.0f}));
    }
    {  // Without COMPLEXVALUES the nodes have kind 0 and are read as real.
        file.complexValues = "";
        file.analysis = "AC";
        Opened f(write("no-key.csd", file));
        EXPECT_EQ(f.kinds(), (std::vector<uint32_t>{9, 0}));
        ASSERT_TRUE(f.read()) << f.message();
        ASSERT_NE(f.values().imag, nullptr);
        EXPECT_EQ(f.values().imag[0], nullptr);
        EXPECT_EQ(f.real(0, 0), (std::vector<float>{3.0f, 6.0f}));
    }
    {  // Blanks and line breaks around the slash.
        Opened f(text("slash.csd",
                      "#H\nANALYSIS='AC' \nCOMPLEXVALUES='YES' \nNODES='3' \n#N 'a' 'b' 'c' \n"
                      "#C 1 3 1.5 / 2.5 3.5/4.5 5.\n5\n/\n6.5 \n#;\n"));
        ASSERT_TRUE(f.read()) << f.message();
        EXPECT_EQ(f.real(0, 0), (std::vector<float>{1.5f}));
        EXPECT_EQ(f.imag(0, 0), (std::vector<float>{2.5f}));
        EXPECT_EQ(f.real(1, 0), (std::vector<float>{3.5f}));
        EXPECT_EQ(f.imag(1, 0), (std::vector<float>{4.5f}));
        EXPECT_EQ(f.real(2, 0), (std::vector<float>{5.5f}));
        EXPECT_EQ(f.imag(2, 0), (std::vector<float>{6.5f}));
    }
}

TEST_F(CsdfTest, HeaderKeyLines) {
    {  // DATE cuts the line but ANALYSIS is looked for in the copy; TITLE
       // then DATE: DATE is no longer found; the last VERSION wins, cut to 33.
        Opened f(text("keys.csd",
                      "#H\nVERSION='old' \nSWEEPVAR='vin' DATE='d1' ANALYSIS='DC' \n"
                      "TITLE='the title' DATE='lost' \nVERSION='" +
                          std::string(40, 'v') + "' \nNODES='1' \n#N 'v(a)' \n#C 0 1 1 \n#;\n"));
        ASSERT_EQ(f.status(), static_cast<uint32_t>(kOpenOk)) << f.message();
        EXPECT_STREQ(f.ds()->date, "d1");
        EXPECT_STREQ(f.ds()->title, "the title");
        EXPECT_EQ(std::string(f.ds()->version), std::string(33, 'v'));
        EXPECT_EQ(f.ds()->analysisKind, static_cast<uint32_t>(kAnalysisDc));
        EXPECT_EQ(f.names(), (std::vector<std::string>{"vin", "v(a)"}));
        EXPECT_EQ(f.typeCodes(), (std::vector<uint32_t>{3, 1}));
    }
    {  // COMPLEXVALUES cuts the line, so NODES is taken from the next one;
       // no ANALYSIS leaves the kind unset and the type code 0; titles and
       // dates keep 99 characters.
        Opened f(text("cut.csd", "#H\nTITLE='" + std::string(150, 't') + "' \nDATE='" +
                                     std::string(120, 'd') +
                                     "' \nCOMPLEXVALUES='NO' NODES='7' \nNODES='1' \n#N 'q' \n"));
        ASSERT_EQ(f.status(), static_cast<uint32_t>(kOpenOk)) << f.message();
        EXPECT_EQ(f.ds()->signalCount, 1);
        EXPECT_EQ(f.ds()->analysisKind, 0xFFFFFFFFu);
        EXPECT_EQ(std::string(f.ds()->title), std::string(99, 't'));
        EXPECT_EQ(std::string(f.ds()->date), std::string(99, 'd'));
        EXPECT_EQ(f.names(), (std::vector<std::string>{"", "q"}));
        EXPECT_EQ(f.typeCodes(), (std::vector<uint32_t>{0, 78}));
        EXPECT_EQ(f.kinds(), (std::vector<uint32_t>{9, 9}));
    }
    {  // A node list that does not follow NODES: no variables and no signals,
       // and nothing to read.
        Opened f(text("nolist.csd", "#H\nNODES='5' \n\n#N 'a' \n"));
        ASSERT_EQ(f.status(), static_cast<uint32_t>(kOpenOk)) << f.message();
        EXPECT_EQ(f.ds()->variableCount, 0);
        EXPECT_EQ(f.ds()->signalCount, 0);
        EXPECT_FALSE(f.read());
        EXPECT_EQ(f.message(),
                  "Error: File " + (dir_ / "nolist.csd").string() + " is incompleted !!");
    }
    {  // Negative node counts mean no nodes; names keep 255 characters, and a
       // name without its closing quote runs to the end of its token.
        Opened f(text("names.csd", "#H\nNODES='-4' \n#N\n#C 1 0 \n#;\n"));
        EXPECT_EQ(f.ds()->signalCount, 0);
        EXPECT_EQ(f.names(), (std::vector<std::string>{""}));
        ASSERT_TRUE(f.read()) << f.message();
        EXPECT_EQ(f.axis(0), (std::vector<float>{1.0f}));
        Opened g(
            text("long.csd", "#H\nNODES='2' \n#N '" + std::string(300, 'v') + "' 'open \n#;\n"));
        EXPECT_EQ(g.names(), (std::vector<std::string>{"", std::string(255, 'v'), "open"}));
    }
}

TEST_F(CsdfTest, PointLayouts) {
    const std::string head = "#H\nNODES='2' \n#N 'v(a)' 'v(b)' ";
    {  // A whole point on one line; tokens after the values are skipped.
        Opened f(
            text("one-line.csd", head + "\n#C 1.0e-09 2 0.5 1.2 junk more \n#C 2e-9 2 3 4 \n#;\n"));
        ASSERT_TRUE(f.read()) << f.message();
        EXPECT_EQ(f.axis(0), (std::vector<float>{1e-9f, 2e-9f}));
        EXPECT_EQ(f.real(0, 0), (std::vector<float>{0.5f, 3.0f}));
        EXPECT_EQ(f.real(1, 0), (std::vector<float>{1.2f, 4.0f}));
    }
    {  // The count token glued to the first value by a bare line break.
        Opened f(text("glued.csd", head + "\n#C 1 2\n1.0 7 8 \n#;\n"));
        ASSERT_TRUE(f.read()) << f.message();
        EXPECT_EQ(f.real(0, 0), (std::vector<float>{7.0f}));
        EXPECT_EQ(f.real(1, 0), (std::vector<float>{8.0f}));
    }
    {  // The last name glued to the first "#C": that point's marker is lost,
       // its values still take point 0, and the count holds marked points only.
        Opened f(text("lost.csd", "#H\nNODES='1' \n#N 'v(a)'\n#C 1 1 \n5 \n#C 2 1 6 \n#;\n"));
        EXPECT_EQ(f.names(), (std::vector<std::string>{"", "v(a)"}));
        ASSERT_TRUE(f.read()) << f.message();
        EXPECT_EQ(f.values().counts[0][0], 1u);
        EXPECT_EQ(f.values().axis[0][0][1], 2.0f);
        EXPECT_EQ(f.values().real[0][0][1], 6.0f);
    }
    {  // Markers without values never count more points than were read.
        Opened f(text("markers.csd", head + "\n#C 1 #C 2 2 5 6 #C 3 #;\n"));
        ASSERT_TRUE(f.read()) << f.message();
        EXPECT_EQ(f.axis(0), (std::vector<float>{2.0f}));
        EXPECT_EQ(f.real(1, 0), (std::vector<float>{6.0f}));
    }
    {  // Times and values are decimal only: hexadecimal, inf and nan
       // spellings give the decimal number they start with, or 0.
        const std::pair<const char*, float> tokens[] = {
            {"0x10", 0},   {"-0X1p3", -0.0f},  {"inf", 0},   {"-Infinity", 0},       {"nan", 0},
            {"NAN(1)", 0}, {"+1.5e3", 1500},   {".5", 0.5f}, {"-2.5E-3x", -2.5e-3f}, {"1e", 1},
            {"12abc", 12}, {"1e400", INFINITY}};
        std::string points;
        std::vector<float> expected;
        for (const auto& [token, value] : tokens) {
            points += std::string("#C ") + token + " 1 " + token + " \n";
            expected.push_back(value);
        }
        Opened f(text("decimal.csd", "#H\nNODES='1' \n#N 'v(a)' \n" + points + "#;\n"));
        ASSERT_TRUE(f.read()) << f.message();
        EXPECT_EQ(f.axis(0), expected);
        EXPECT_EQ(f.real(0, 0), expected);
    }
    {  // "#;" glued to the next section's "#H" still ends a sweep.
        Opened f(text("joined.csd",
                      "#H\nNODES='1' \n#N 'v(a)' \n#C 0 1 4 \n#;\n#H\nNODES='1' \n"
                      "#N 'v(a)' \n#C 0 1 9 \n#;"));
        EXPECT_EQ(f.ds()->sweepCount, 2);
        ASSERT_TRUE(f.read()) << f.message();
        EXPECT_EQ(f.real(0, 0), (std::vector<float>{4.0f}));
        EXPECT_EQ(f.real(0, 1), (std::vector<float>{9.0f}));
    }
}

TEST_F(CsdfTest, ArraysGrowPastTheFirstEstimate) {
    // Single-digit values make the file small for its point count, so the
    // arrays sized from the file must double several times.
    CsdfFile file;
    for (int i = 0; i < 12; ++i) file.nodes.push_back("v(n" + std::to_string(i) + ")");
    std::vector<CsdfPoint> points;
    for (int p = 0; p < 3000; ++p) {
        CsdfPoint point{static_cast<double>(p), std::vector<double>(12, p % 10), {}};
        points.push_back(point);
    }
    file.sweeps = {points, points};
    Opened f(write("big.csd", file));
    ASSERT_TRUE(f.read()) << f.message();
    for (int s = 0; s < 2; ++s) {
        ASSERT_EQ(f.values().counts[0][s], 3000u);
        EXPECT_EQ(f.values().axis[0][s][2999], 2999.0f);
        EXPECT_EQ(f.values().real[11][s][2999], 9.0f);
        EXPECT_EQ(f.values().real[5][s][1234], 4.0f);
    }
}

TEST_F(CsdfTest, MalformedFiles) {
    auto expectOpenFails = [&](const std::string& name, const std::string& bytes,
                               const std::string& message) {
        auto path = text(name, bytes);
        Opened f(path);
        EXPECT_EQ(f.status(), static_cast<uint32_t>(kOpenNoReader)) << name;
        EXPECT_EQ(f.ds(), nullptr) << name;
        EXPECT_EQ(f.message(), withPath(message, path)) << name;
    };
    auto expectReadFails = [&](const std::string& name, const std::string& bytes,
                               const std::string& message, uint32_t lastError = kErrorNone) {
        auto path = text(name, bytes);
        Opened f(path);
        ASSERT_EQ(f.status(), static_cast<uint32_t>(kOpenOk)) << name << ": " << f.message();
        EXPECT_FALSE(f.read()) << name;
        EXPECT_EQ(f.ds()->lastError, lastError) << name;
        EXPECT_EQ(f.values().real, nullptr) << name;
        EXPECT_EQ(f.message(), withPath(message, path)) << name;
    };
    {  // Header half.
        expectOpenFails("first.csd", "title line\n#H\nNODES='1' \n",
                        "Error: File <path> is not valid CSDF format !!");
        expectOpenFails("quote.csd", "#H\nVERSION='1' \nTITLE=none\nNODES='1' \n",
                        "Incorrect header near line 3 in file <path> !!");
        expectOpenFails("unclosed.csd", "#H\nTITLE='" + std::string(300, 't') + "' \nNODES='1' \n",
                        "Incorrect header near line 2 in file <path> !!");
        expectOpenFails("nodes.csd", "#H\nTITLE='t' \nNODES=2\n",
                        "Incorrect header near line 3 in file <path> !! ");
        expectOpenFails("analysis.csd", "#H\nANALYSIS='NOISE' \nNODES='1' \n",
                        "Error:Unsupport analysis in csdf format NOISE !!");
        expectOpenFails("keys-end.csd", "#H\nTITLE='t' \n", "Error: File <path> is incompleted !!");
        expectOpenFails("names-end.csd", "#H\nNODES='3' \n#N 'a' 'b' \n",
                        "Error: File <path> is incompleted !!");
    }
    {  // Data half.
        const std::string one = "#H\nNODES='1' \n#N 'v(a)' \n";
        expectReadFails("no-end.csd", one + "#C 0 1 \n1 \n",
                        "Error: File <path> is incompleted !!");
        expectReadFails("no-x.csd", one + "#C", "Error: File <path> is incompleted !!");
        expectReadFails("no-value.csd", "#H\nNODES='2' \n#N 'a' 'b' \n#C 0 2 \n1 \n",
                        "Error: File <path> is incompleted !!");
        expectReadFails("no-data.csd", one, "Error: File <path> is incompleted !!");
        const std::string complex =
            "#H\nANALYSIS='AC' \nCOMPLEXVALUES='YES' \nNODES='1' \n#N 'v(a)' \n";
        expectReadFails("no-slash.csd", complex + "#C 1 1 \n2.0 \n",
                        "Error: Syntax error near line 7 in <path> !!");
        expectReadFails("no-imag.csd", complex + "#C 1 1 \n2.0/ \n",
                        "Error: Syntax error near line 7 in <path> !!");
        expectReadFails("long-real.csd",
                        complex + "#C 1 1 \n" + std::string(300, '1') + "/2 \n#;\n",
                        "Error: Syntax error near line 6 in <path> !!");
        expectReadFails("no-next.csd", one + "#C 0 1 1 \n#;\n#H \nNODES='1' \n",
                        "Error: File <path> is incompleted !!");
        // Hundreds of sections holding nothing but "#H", against hundreds of
        // nodes: far more arrays than the file could fill.
        std::string names;
        for (int i = 0; i < 300; ++i) names += "'n" + std::to_string(i) + "' ";
        std::string sections;
        for (int i = 0; i < 300; ++i) sections += "#H\n";
        expectReadFails("pairs.csd", "#H\nNODES='300' \n#N " + names + "\n#C 0 0 \n#;\n" + sections,
                        "Error: Out of memory !!", kErrorOutOfMemory);
    }
}

}  // namespace
