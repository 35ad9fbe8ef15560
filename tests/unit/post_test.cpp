// HSPICE post files through open and read: every version, form, byte order
// and framing; sweeps, AC, short and damaged files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "internal.h"
#include "post_writer.h"
#include "run_tool.h"

namespace {

using writers::PostFile;
using writers::PostForm;
using writers::PostVersion;

const PostVersion kVersions[] = {PostVersion::v9007, PostVersion::v9601, PostVersion::v2001,
                                 PostVersion::v2013};

const char* versionName(PostVersion v) {
    switch (v) {
        case PostVersion::v9007:
            return "9007";
        case PostVersion::v9601:
            return "9601";
        case PostVersion::v2001:
            return "2001";
        case PostVersion::v2013:
            return "2013";
    }
    return "";
}

uint32_t formatCode(PostVersion v) {
    switch (v) {
        case PostVersion::v9007:
            return kFormatPost9007;
        case PostVersion::v9601:
            return kFormatPost9601;
        case PostVersion::v2001:
            return kFormatPost2001;
        case PostVersion::v2013:
            return kFormatPost2013;
    }
    return 0;
}

// Values with few digits survive the 11-character text fields exactly.
double sample(size_t table, size_t row, size_t column) {
    if (column == 0) return static_cast<double>(row) * 1e-9;
    return 0.25 * static_cast<double>(column) - 0.5 * static_cast<double>(row) +
           static_cast<double>(table);
}

// Fills each table with rows of sample values and the given parameters.
void fillTables(PostFile& f, size_t tables, size_t rows) {
    size_t width = writers::postRowWidth(f);
    f.tables.clear();
    for (size_t t = 0; t < tables; ++t) {
        writers::PostTable table;
        for (size_t k = 0; k < f.sweepNames.size() - (f.sweepNames.size() > 1 ? 1 : 0); ++k) {
            table.params.push_back(static_cast<double>(t + 1) + 0.5 * static_cast<double>(k));
        }
        for (size_t r = 0; r < rows; ++r) {
            for (size_t c = 0; c < width; ++c) table.values.push_back(sample(t, r, c));
        }
        f.tables.push_back(table);
    }
}

PostFile basicFile(PostVersion version, PostForm form, bool bigEndian = false) {
    PostFile f;
    f.version = version;
    f.form = form;
    f.bigEndian = bigEndian;
    f.blockSize = 37;  // values and fields straddle blocks
    f.headerBlockSize = 150;
    f.signals = {{"v(in)"}, {"v(out)"}, {"i(vdd)", 8, true}};
    fillTables(f, 1, 20);
    return f;
}

class PostTest : public testing::Test {
  protected:
    struct Opened {
        WaveformDataset* ds = nullptr;
        uint32_t status = 0;
        std::string message;
    };

    std::string write(const PostFile& f, const std::string& name = "wave.tr0") {
        auto path = (dir_ / name).string();
        writers::writePostFile(path, f);
        return path;
    }
    std::string writeRaw(const std::string& bytes, const std::string& name = "raw.tr0") {
        auto path = (dir_ / name).string();
        testkit::writeFile(path, bytes);
        return path;
    }
    Opened open(const std::string& path) {
        Opened o;
        o.ds = wfxOpen(path.c_str(), WFX_DETECT_FORMAT, WFX_DETECT_MODE, &o.status);
        o.message = wfxLastErrorText();
        datasets_.push_back(o.ds);
        return o;
    }
    WaveformValues read(WaveformDataset* ds) {
        WaveformValues v{};
        EXPECT_EQ(wfxRead(ds, &v), 1) << wfxLastErrorText();
        values_.push_back(v);
        return v;
    }
    void TearDown() override {
        for (auto& v : values_) wfxReleaseValues(&v);
        for (auto* ds : datasets_) wfxClose(ds);
    }

    // Compares every table of f with what read returned.
    void expectValues(const PostFile& f, const WaveformDataset* ds, const WaveformValues& v) {
        size_t width = writers::postRowWidth(f);
        ASSERT_EQ(v.sweepCount, static_cast<int32_t>(f.tables.size()));
        for (size_t s = 0; s < f.tables.size(); ++s) {
            const auto& table = f.tables[s];
            size_t rows = table.values.size() / width;
            ASSERT_EQ(v.counts[0][s], rows) << "sweep " << s;
            for (size_t k = 0; k < table.params.size(); ++k) {
                EXPECT_EQ(v.sweepValues[s][k], static_cast<float>(table.params[k]));
            }
            for (size_t r = 0; r < rows; ++r) {
                const double* row = &table.values[r * width];
                EXPECT_EQ(v.axis[0][s][r], static_cast<float>(row[0])) << "row " << r;
                size_t c = 1;
                for (int32_t i = 0; i < ds->signalCount; ++i) {
                    EXPECT_EQ(v.real[i][s][r], static_cast<float>(row[c++]))
                        << "signal " << i << " row " << r;
                    if (ds->variables[ds->firstSignalIndex + i].kind == kKindComplex) {
                        EXPECT_EQ(v.imag[i][s][r], static_cast<float>(row[c++])) << "signal " << i;
                    }
                }
            }
        }
    }

    std::string name(const WaveformDataset* ds, int32_t position) const {
        return wfxName(ds, ds->variables[position].nameOffset);
    }

    testkit::ScratchDir dir_;
    std::vector<WaveformDataset*> datasets_;
    std::vector<WaveformValues> values_;
};

TEST_F(PostTest, EveryVariantReadsBack) {
    struct Form {
        PostForm form;
        bool bigEndian;
        uint8_t mode;
    };
    const Form forms[] = {{PostForm::text, false, kModeText},
                          {PostForm::wordFramed, false, kModeBinary},
                          {PostForm::wordFramed, true, kModeBinary | kModeSwapped},
                          {PostForm::byteFramed, false, kModeBinary}};
    for (PostVersion version : kVersions) {
        for (const Form& form : forms) {
            for (bool gzip : {false, true}) {
                SCOPED_TRACE(std::string(versionName(version)) + " form " +
                             std::to_string(static_cast<int>(form.form)) +
                             (form.bigEndian ? " big" : "") + (gzip ? " gz" : ""));
                PostFile f = basicFile(version, form.form, form.bigEndian);
                f.gzip = gzip;
                Opened o = open(write(f, gzip ? "wave.tr0.gz" : "wave.tr0"));
                ASSERT_NE(o.ds, nullptr) << o.message;
                EXPECT_EQ(o.ds->dataFormat, formatCode(version));
                EXPECT_EQ(o.ds->fileMode, form.mode);
                EXPECT_EQ(o.ds->framingMode, form.form == PostForm::byteFramed ? 1 : 0);
                EXPECT_STREQ(o.ds->version, versionName(version));
                EXPECT_STREQ(o.ds->title, "wavtrex test circuit");
                EXPECT_STREQ(o.ds->date, "12/06/2602:30:00");
                EXPECT_EQ(o.ds->analysisKind, static_cast<uint32_t>(kAnalysisTransient));
                EXPECT_EQ(o.ds->mainCount, 3);
                EXPECT_EQ(o.ds->probeCount, 1);
                EXPECT_EQ(o.ds->signalCount, 3);
                EXPECT_EQ(o.ds->firstSignalIndex, 1);
                EXPECT_EQ(o.ds->sweepCount, 1);
                ASSERT_EQ(o.ds->variableCount, 4);
                EXPECT_EQ(name(o.ds, 0), "TIME");
                EXPECT_EQ(name(o.ds, 3), "i(vdd)");
                EXPECT_EQ(o.ds->variables[3].typeCode, 8u);
                WaveformValues v = read(o.ds);
                expectValues(f, o.ds, v);
                // A second read starts again from the first value.
                WaveformValues again = read(o.ds);
                EXPECT_EQ(again.counts[0][0], 20u);
                EXPECT_EQ(again.real[2][0][19], v.real[2][0][19]);
            }
        }
    }
}

TEST_F(PostTest, HeaderAndDataShareBlocks) {
    for (PostVersion version : kVersions) {
        {
            SCOPED_TRACE(versionName(version));
            PostFile f = basicFile(version, PostForm::wordFramed);
            f.dataInNewBlock = false;
            f.headerBlockSize = 0;
            f.blockSize = 1000;
            fillTables(f, 1, 300);
            Opened o = open(write(f));
            ASSERT_NE(o.ds, nullptr) << o.message;
            expectValues(f, o.ds, read(o.ds));
        }
    }
}

TEST_F(PostTest, Sweeps) {
    for (PostVersion version : kVersions) {
        for (PostForm form : {PostForm::text, PostForm::wordFramed}) {
            SCOPED_TRACE(versionName(version));
            {
                PostFile f = basicFile(version, form);
                f.sweepNames = {"temper"};
                fillTables(f, 3, 7);
                Opened o = open(write(f));
                ASSERT_NE(o.ds, nullptr) << o.message;
                EXPECT_EQ(o.ds->sweepCount, 3);
                EXPECT_EQ(o.ds->sweepParamCount, 1);
                EXPECT_EQ(o.ds->firstSignalIndex, 2);
                ASSERT_EQ(o.ds->variableCount, 5);
                EXPECT_EQ(name(o.ds, 0), "temper");
                EXPECT_EQ(o.ds->variables[0].kind, static_cast<uint32_t>(kKindReal));
                EXPECT_EQ(o.ds->variables[0].typeCode, 0u);
                EXPECT_EQ(name(o.ds, 1), "TIME");
                EXPECT_EQ(name(o.ds, 2), "v(in)");
                // The symbols follow the records to their new positions.
                int added = 0;
                EXPECT_EQ(findOrAddName(o.ds, "temper", kVariableNameSpace, 0, &added)->ownerIndex,
                          0);
                EXPECT_EQ(findOrAddName(o.ds, "v(out)", kVariableNameSpace, 0, &added)->ownerIndex,
                          3);
                expectValues(f, o.ds, read(o.ds));
            }
            {
                PostFile f = basicFile(version, form);
                f.sweepNames = {"tab", "w", "l"};
                fillTables(f, 2, 5);
                Opened o = open(write(f));
                ASSERT_NE(o.ds, nullptr) << o.message;
                EXPECT_EQ(o.ds->sweepParamCount, 2);
                EXPECT_EQ(name(o.ds, 0), "datum(tab");
                const VariableRecord& sweep = o.ds->variables[0];
                EXPECT_EQ(sweep.kind, static_cast<uint32_t>(kKindCompound));
                EXPECT_EQ(sweep.memberCount, 2u);
                ASSERT_EQ(o.ds->typeCount, 3);
                const TypeRecord& compound = o.ds->types[sweep.typeCode];
                EXPECT_EQ(std::string(wfxName(o.ds, compound.nameOffset)), "datum(tab");
                EXPECT_EQ(compound.kind, kKindCompound);
                EXPECT_EQ(compound.memberCount, 2);
                EXPECT_EQ(std::string(wfxName(o.ds, o.ds->types[2].nameOffset)), "l");
                EXPECT_EQ(o.ds->types[2].kind, kKindReal);
                EXPECT_EQ(o.ds->types[2].parentType, static_cast<int32_t>(sweep.typeCode));
                expectValues(f, o.ds, read(o.ds));
            }
        }
    }
    {
        // Two names: one parameter, a compound with one member. A sweep count
        // of 0 leaves one sweep.
        PostFile f = basicFile(PostVersion::v9601, PostForm::wordFramed);
        f.sweepNames = {"tab", "w"};
        f.sweepCountField = 0;
        fillTables(f, 1, 3);
        Opened o = open(write(f));
        ASSERT_NE(o.ds, nullptr) << o.message;
        EXPECT_EQ(o.ds->sweepParamCount, 1);
        EXPECT_EQ(o.ds->sweepCount, 1);
        EXPECT_EQ(o.ds->variables[0].memberCount, 1u);
        expectValues(f, o.ds, read(o.ds));
    }
}

TEST_F(PostTest, AcComplexSignals) {
    for (PostVersion version : kVersions) {
        for (PostForm form : {PostForm::text, PostForm::wordFramed, PostForm::byteFramed}) {
            SCOPED_TRACE(versionName(version));
            PostFile f = basicFile(version, form, false);
            f.axisTypeCode = 2;
            f.axisName = "HERTZ";
            // Main: complex node voltage, real code 9, complex code 190;
            // probe of code 1 stays real.
            f.signals = {{"v(1)", 1}, {"x9", 9}, {"x190", 190}, {"v(2)", 1, true}};
            fillTables(f, 1, 12);
            Opened o = open(write(f));
            ASSERT_NE(o.ds, nullptr) << o.message;
            EXPECT_EQ(o.ds->analysisKind, static_cast<uint32_t>(kAnalysisAc));
            const uint32_t kinds[] = {kKindReal, kKindComplex, kKindReal, kKindComplex, kKindReal};
            for (int p = 0; p < 5; ++p) EXPECT_EQ(o.ds->variables[p].kind, kinds[p]) << p;
            WaveformValues v = read(o.ds);
            ASSERT_NE(v.imag, nullptr);
            ASSERT_NE(v.imag[1], nullptr);
            EXPECT_NE(v.imag[1][0], nullptr);  // real signals get unfilled arrays too
            expectValues(f, o.ds, v);
        }
    }
}

TEST_F(PostTest, EndMarkers) {
    PostFile f = basicFile(PostVersion::v9601, PostForm::wordFramed);
    f.signals = {{"a"}, {"b"}};
    f.tables = {{{}, {0, 1, 2, 1e-9, 1.5, 2.5, 9.999e29, 1e30, 3}}};
    Opened o = open(write(f));
    ASSERT_NE(o.ds, nullptr) << o.message;
    WaveformValues v = read(o.ds);
    ASSERT_EQ(v.counts[0][0], 3u);
    EXPECT_EQ(v.axis[0][0][1], 1e-9f);
    EXPECT_EQ(v.axis[0][0][2], 9.999e29f);
    EXPECT_EQ(v.real[0][0][2], 1e30f);
    for (PostVersion version : {PostVersion::v2001, PostVersion::v2013}) {
        // Doubles just below the marker are points once narrowed.
        f.version = version;
        f.tables = {{{}, {0, 1, 2, 9.9989e29, 1, 2}}};
        Opened wide = open(write(f, "wide.tr0"));
        ASSERT_NE(wide.ds, nullptr);
        EXPECT_EQ(read(wide.ds).counts[0][0], 2u);
    }
}

TEST_F(PostTest, ShortFiles) {
    for (PostForm form : {PostForm::text, PostForm::wordFramed, PostForm::byteFramed}) {
        SCOPED_TRACE(static_cast<int>(form));
        PostFile f = basicFile(PostVersion::v9601, form);
        f.sweepNames = {"temper"};
        f.sweepCountField = 3;
        fillTables(f, 2, 6);
        {
            // Three sweeps declared, two complete tables.
            Opened o = open(write(f));
            ASSERT_NE(o.ds, nullptr) << o.message;
            WaveformValues v = read(o.ds);
            EXPECT_EQ(o.ds->sweepCount, 2);
            expectValues(f, o.ds, v);
        }
        {
            // Cut inside the second table: it keeps the rows read.
            PostFile cut = f;
            cut.tables[1].marker = false;
            cut.tables[1].values.resize(cut.tables[1].values.size() - 2);
            Opened o = open(write(cut));
            ASSERT_NE(o.ds, nullptr) << o.message;
            WaveformValues v = read(o.ds);
            EXPECT_EQ(v.sweepCount, 2);
            ASSERT_EQ(v.counts[0][1], 6u);
            EXPECT_EQ(v.real[0][1][5], static_cast<float>(sample(1, 5, 1)));
            EXPECT_EQ(v.real[2][1][5], 0.0f);  // not in the file
            EXPECT_FALSE(std::string(wfxLastErrorText()).empty());
        }
    }
    {
        // The first table's parameter missing: no sweep at all.
        PostFile f = basicFile(PostVersion::v9601, PostForm::wordFramed);
        f.sweepNames = {"temper"};
        f.sweepCountField = 2;
        f.tables.clear();
        Opened o = open(write(f));
        ASSERT_NE(o.ds, nullptr) << o.message;
        WaveformValues v = read(o.ds);
        EXPECT_EQ(v.sweepCount, 0);
    }
}

TEST_F(PostTest, HeaderCounts) {
    {
        // Main count 4 with four blanks as its high part, probe count 2.
        PostFile f = basicFile(PostVersion::v9601, PostForm::wordFramed);
        f.signals = {{"a"}, {"b"}, {"c"}, {"d", 1, true}, {"e", 1, true}};
        fillTables(f, 1, 2);
        Opened o = open(write(f));
        ASSERT_NE(o.ds, nullptr);
        EXPECT_EQ(o.ds->mainCount, 4);
        EXPECT_EQ(o.ds->probeCount, 2);
        EXPECT_EQ(o.ds->signalCount, 5);
        EXPECT_EQ(o.ds->variableCount, 6);
    }
    {
        // 10000 main variables: with a high part, and with the count escape
        // (which ignores the high part field).
        PostFile f = basicFile(PostVersion::v9601, PostForm::wordFramed);
        f.signals.clear();
        for (int i = 0; i < 9999; ++i) f.signals.push_back({"n" + std::to_string(i)});
        f.tables = {{{}, std::vector<double>(10000, 0.5)}};
        for (bool escape : {false, true}) {
            f.countEscape = escape;
            if (escape) f.headerPatches = {{12, "0007"}};
            Opened o = open(write(f));
            ASSERT_NE(o.ds, nullptr) << o.message;
            EXPECT_EQ(o.ds->mainCount, 10000);
            EXPECT_EQ(o.ds->signalCount, 9999);
            EXPECT_EQ(name(o.ds, 9999), "n9998");
            EXPECT_EQ(read(o.ds).real[9998][0][0], 0.5f);
        }
    }
    {
        // 2001: probe count "0005" with high part "0001".
        PostFile f = basicFile(PostVersion::v2001, PostForm::text);
        f.signals.clear();
        for (int i = 0; i < 10005; ++i) f.signals.push_back({"p" + std::to_string(i), 1, true});
        f.tables = {{{}, std::vector<double>(10006, 1.0)}};
        Opened o = open(write(f));
        ASSERT_NE(o.ds, nullptr) << o.message;
        EXPECT_EQ(o.ds->probeCount, 10005);
        EXPECT_EQ(o.ds->mainCount, 1);
    }
    {
        // DC sweep codes 3 to 7.
        PostFile f = basicFile(PostVersion::v9007, PostForm::text);
        f.axisTypeCode = 7;
        Opened o = open(write(f));
        ASSERT_NE(o.ds, nullptr) << o.message;
        EXPECT_EQ(o.ds->analysisKind, static_cast<uint32_t>(kAnalysisDc));
    }
}

TEST_F(PostTest, TextLineBreaks) {
    {
        // Breaks inside the title and between type codes count as lines only.
        PostFile f = basicFile(PostVersion::v9601, PostForm::text);
        f.textBreaks = {30, 100};
        f.headerPatches = {};
        Opened o = open(write(f));
        ASSERT_NE(o.ds, nullptr) << o.message;
        EXPECT_STREQ(o.ds->title, "wavtrex test circuit");
        expectValues(f, o.ds, read(o.ds));
    }
    {
        // A break inside the sweep count: the digits before it are the count.
        PostFile f = basicFile(PostVersion::v9601, PostForm::text);
        f.sweepNames = {"temper"};
        f.sweepCountField = 2;
        fillTables(f, 2, 3);
        std::string bytes = writers::buildPostFile(f);
        ASSERT_EQ(bytes.substr(184, 4), "   2");
        bytes.replace(184, 4, "2\n");
        Opened o = open(writeRaw(bytes));
        ASSERT_NE(o.ds, nullptr) << o.message;
        EXPECT_EQ(o.ds->sweepCount, 2);
        expectValues(f, o.ds, read(o.ds));
    }
}

TEST_F(PostTest, MalformedHeaders) {
    auto expectFailure = [&](const std::string& path, const std::string& message) {
        Opened o = open(path);
        EXPECT_EQ(o.ds, nullptr);
        EXPECT_EQ(o.status, static_cast<uint32_t>(kOpenNoReader));
        EXPECT_EQ(o.message, message);
    };
    auto binary = [&](const std::vector<std::pair<size_t, std::string>>& patches) {
        PostFile f = basicFile(PostVersion::v9601, PostForm::wordFramed);
        f.headerPatches = patches;
        return write(f, "bad.tr0");
    };
    auto text = [&](const std::vector<std::pair<size_t, std::string>>& patches,
                    size_t truncate = SIZE_MAX) {
        PostFile f = basicFile(PostVersion::v9601, PostForm::text);
        f.headerPatches = patches;
        f.truncateAt = truncate;
        return write(f, "bad.txt");
    };
    std::string dir = dir_.path().string();
    std::string malformed = "Malformed data file " + dir + "/bad.tr0 !!";
    auto syntax = [&](int line) {
        return "Syntax error near line " + std::to_string(line) + " in file " + dir + "/bad.txt !!";
    };
    std::string notCompleted = "File " + dir + "/bad.txt not completed!!";
    {
        // Counts, sweep count and type codes that are not decimal; first type codes out of range.
        expectFailure(binary({{0, "abcd"}}), malformed);
        expectFailure(binary({{4, "x"}}), malformed);
        expectFailure(binary({{12, "ab  "}}), malformed);
        expectFailure(binary({{184, "  x "}}), malformed);
        expectFailure(binary({{264, "       x"}}), malformed);
        expectFailure(binary({{264, "       0"}}), malformed);
        expectFailure(binary({{264, "       8"}}), malformed);
        expectFailure(binary({{0, "0000"}, {4, "0000"}}), malformed);
        expectFailure(binary({{0, "0000"}, {4, "-001"}}), malformed);
    }
    {
        // The terminator missing from the 8 bytes after the names.
        PostFile f = basicFile(PostVersion::v9601, PostForm::wordFramed);
        std::string bytes = writers::buildPostFile(f);
        size_t at = bytes.find("$&%#");
        bytes.replace(at, 4, "$&%-");
        expectFailure(writeRaw(bytes, "bad.tr0"), malformed);
    }
    {
        // Binary files cut inside the header, and a block longer than the buffer.
        std::string bytes =
            writers::buildPostFile(basicFile(PostVersion::v9601, PostForm::wordFramed));
        for (size_t cut : {40, 100, 300, 330})
            expectFailure(writeRaw(bytes.substr(0, cut), "bad.tr0"), malformed);
        PostFile big = basicFile(PostVersion::v9601, PostForm::wordFramed);
        big.title = std::string(64, 'T');
        big.headerBlockSize = 20000;
        big.signals.clear();
        for (int i = 0; i < 1200; ++i) big.signals.push_back({"s" + std::to_string(i)});
        big.tables.clear();
        expectFailure(write(big, "bad.tr0"), malformed);
    }
    {
        // Text: counts that are not decimal, a bad first type code, the terminator.
        expectFailure(text({{0, "x   "}}), syntax(0));
        expectFailure(text({{12, "    "}}), syntax(0));
        expectFailure(text({{184, "\n   "}}), syntax(0));
        expectFailure(text({{184, " x  "}}), syntax(0));
        expectFailure(text({{265, "      x"}}), syntax(1));
        expectFailure(text({{265, "      9"}}), syntax(1));
        PostFile f = basicFile(PostVersion::v9601, PostForm::text);
        std::string bytes = writers::buildPostFile(f);
        size_t at = bytes.find("$&%#");
        expectFailure(writeRaw(bytes.substr(0, at) + "$&%x\n", "bad.txt"), syntax(1));
        expectFailure(writeRaw(bytes.substr(0, at) + "$&%#", "bad.txt"), syntax(1));
        expectFailure(writeRaw(bytes.substr(0, at), "bad.txt"), syntax(1));
    }
    {
        // Text cut in a count field, in the title, in the type codes, among the names.
        expectFailure(text({}, 22), notCompleted);
        expectFailure(text({}, 50), notCompleted);
        expectFailure(text({}, 280), notCompleted);
        PostFile f = basicFile(PostVersion::v9601, PostForm::text);
        std::string bytes = writers::buildPostFile(f);
        expectFailure(writeRaw(bytes.substr(0, bytes.find("v(out)")), "bad.txt"), "");
        f.version = PostVersion::v9007;
        bytes = writers::buildPostFile(f);
        expectFailure(writeRaw(bytes.substr(0, bytes.find("v(out)")), "bad.txt"), notCompleted);
    }
    {
        // Duplicate sweep member names.
        PostFile f = basicFile(PostVersion::v9601, PostForm::wordFramed);
        f.sweepNames = {"tab", "w", "w"};
        expectFailure(write(f, "bad.tr0"), "Error: Duplicate type defintion w !!");
    }
    {
        // A file of a few bytes that still looks like a binary post file.
        std::string tiny = writers::frameWordBlocks({std::string("00010001000000009601")}, false);
        tiny.resize(16 + 20);
        tiny[12] = 100;  // declares more than the file holds
        expectFailure(writeRaw(tiny, "bad.tr0"), malformed);
    }
}

TEST_F(PostTest, HostileCounts) {
    {
        // A count escape claiming 2^31 - 1 variables: the type codes run out
        // with the file, long before anything of that size is allocated.
        PostFile f = basicFile(PostVersion::v9601, PostForm::wordFramed);
        f.headerPatches = {{0, std::string("\xFF\xFF\xFF\xFF", 4)}};
        Opened o = open(write(f));
        EXPECT_EQ(o.ds, nullptr);
        EXPECT_EQ(o.message, "Malformed data file " + (dir_ / "wave.tr0").string() + " !!");
    }
    {
        // 9999 empty tables over 3000 signals: the sweep slots alone would
        // take far more memory than the file could fill, so the read is refused.
        PostFile f = basicFile(PostVersion::v9601, PostForm::wordFramed);
        f.signals.clear();
        for (int i = 0; i < 3000; ++i) f.signals.push_back({"s" + std::to_string(i)});
        f.sweepNames = {"temper"};
        f.tables.assign(9999, writers::PostTable{{1.0}, {}, true});
        Opened o = open(write(f));
        ASSERT_NE(o.ds, nullptr) << o.message;
        EXPECT_EQ(o.ds->sweepCount, 9999);
        WaveformValues v{};
        EXPECT_EQ(wfxRead(o.ds, &v), 0);
        EXPECT_EQ(std::string(wfxLastErrorText()),
                  "Malformed data file " + (dir_ / "wave.tr0").string() + " !!");
        // The same tables over three signals are read.
        f.signals.resize(3);
        Opened small = open(write(f, "small.tr0"));
        ASSERT_NE(small.ds, nullptr);
        WaveformValues values = read(small.ds);
        EXPECT_EQ(values.sweepCount, 9999);
        EXPECT_EQ(values.counts[0][9998], 0u);
        EXPECT_EQ(values.sweepValues[9998][0], 1.0f);
    }
}

}  // namespace
