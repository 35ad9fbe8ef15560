// HSPICE post files through open and read: every variant must read back what
// was written; counts and blocks at their limits; damaged headers give their
// exact messages. Cuts and flips at every byte are the corpus replay's part.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "internal.h"
#include "post_writer.h"
#include "reader_fixture.h"

namespace {

using writers::PostFile;
using writers::PostForm;
using writers::PostTable;
using writers::PostVersion;
constexpr PostForm kText = PostForm::text;
constexpr PostForm kWords = PostForm::wordFramed;
constexpr PostVersion k9601 = PostVersion::v9601;

class PostTest : public testkit::ReaderFixture {
  protected:
    std::string save(const std::string& bytes, bool gzip = false) {
        std::string path = (dir_ / (gzip ? "wave.tr0.gz" : "wave.tr0")).string();
        writers::writeBytes(path, bytes, gzip);
        return path;
    }
    // Row by row: the table's parameters, then the row.
    std::vector<float> valuesRead() const {
        std::vector<float> v;
        for (int32_t s = 0; s < values_.sweepCount; ++s) {
            for (uint32_t r = 0; r < values_.counts[0][s]; ++r) {
                for (int32_t k = 0; k < ds_->sweepParamCount; ++k)
                    v.push_back(values_.sweepValues[s][k]);
                v.push_back(values_.axis[0][s][r]);
                for (int32_t i = 0; i < values_.signalCount; ++i) {
                    v.push_back(values_.real[i][s][r]);
                    if (ds_->variables[ds_->firstSignalIndex + i].kind == kKindComplex)
                        v.push_back(values_.imag[i][s][r]);
                }
            }
        }
        return v;
    }
};

// Byte layouts; each is written for every version, sweep shape, analysis and ending.
// shared: word-framed data starting in the header's last block; broken: text
// with CRLF line ends and line breaks in the title and the sweep count.
struct Layout {
    const char* name;
    PostForm form;
    bool bigEndian, shared, broken;
    uint8_t mode;
} const kLayouts[] = {
    {"text", kText, false, false, false, kModeText},
    {"text broken", kText, false, false, true, kModeText},
    {"little", kWords, false, false, false, kModeBinary},
    {"big", kWords, true, false, false, kModeBinary | kModeSwapped},
    {"little shared", kWords, false, true, false, kModeBinary},
    {"byte-framed", PostForm::byteFramed, false, false, false, kModeBinary},
};

TEST_F(PostTest, EveryVariantReadsBack) {
    const std::vector<std::string> sweeps[] = {{}, {"temper"}, {"tab", "w", "l"}};
    const int64_t codes[] = {kFormatPost9007, kFormatPost9601, kFormatPost2001, kFormatPost2013};
    const int analyses[] = {1, 2, 7};  // transient, AC, DC
    enum Ending { kPlain, kGzip, kCut };
    for (int variant = 0; variant < 4 * 3 * 3 * 3 * std::ssize(kLayouts); ++variant) {
        int version = variant % 4;
        const std::vector<std::string>& sweepNames = sweeps[variant / 4 % 3];
        int analysis = analyses[variant / 12 % 3];
        auto ending = static_cast<Ending>(variant / 36 % 3);
        const Layout& layout = kLayouts[variant / 108];
        SCOPED_TRACE(std::string(layout.name) + " version " + std::to_string(version) +
                     " sweep names " + std::to_string(sweepNames.size()) + " analysis " +
                     std::to_string(analysis) + " ending " + std::to_string(ending));
        PostFile f;
        f.version = static_cast<PostVersion>(version);
        f.form = layout.form;
        f.bigEndian = layout.bigEndian;
        f.dataInNewBlock = !layout.shared;
        // Small blocks: values, fields and records straddle them.
        f.blockSize = layout.shared ? 1000 : 37;
        f.headerBlockSize = layout.shared ? 8000 : 150;
        f.axisTypeCode = analysis;
        f.axisName = analysis == 2 ? "HERTZ" : "TIME";
        // In AC files codes 1 and 190 make a main variable complex, 9 does not; probes are real.
        f.signals = {{"v(in)"}, {"v(out)"}, {"x9", 9}, {"x190", 190}, {"i(vdd)", 1, true}};
        f.sweepNames = sweepNames;
        size_t params = sweepNames.size() - (sweepNames.size() > 1 ? 1 : 0);
        size_t tables = sweepNames.empty() ? 1 : 3;
        f.sweepCountField = sweepNames.empty() ? 0 : 4;  // one table more than the file holds
        size_t width = writers::postRowWidth(f);
        std::vector<float> expected;  // row by row: the table's parameters, then the row
        for (size_t t = 0; t < tables; ++t) {
            f.tables.emplace_back();
            for (size_t k = 0; k < params; ++k) f.tables[t].params.push_back(t + 1 + 0.5 * k);
            // Few digits, so that text fields hold them exactly; the last independent
            // value is just below the end marker.
            for (size_t r = 0; r < 20; ++r) {
                expected.insert(expected.end(), f.tables[t].params.begin(),
                                f.tables[t].params.end());
                for (size_t c = 0; c < width; ++c)
                    f.tables[t].values.push_back(c > 0     ? 0.25 * c - 0.5 * r + t
                                                 : r == 19 ? 9.999e29
                                                           : r * 1e-9);
                expected.insert(expected.end(), f.tables[t].values.end() - width,
                                f.tables[t].values.end());
            }
        }
        if (ending == kCut) {
            // Cut inside the last row: it keeps its point, the values missing read as 0.
            f.tables.back().marker = false;
            f.tables.back().values.resize(f.tables.back().values.size() - 2);
            expected.end()[-1] = expected.end()[-2] = 0;
        }
        std::string bytes = writers::buildPostFile(f);
        if (layout.broken) {
            bytes.replace(184, 4, std::to_string(f.sweepCountField) + "\n");
            bytes.insert(30, "\n");
            for (size_t at = 0; (at = bytes.find('\n', at)) != std::string::npos; at += 2)
                bytes.insert(at, "\r");
        }
        ASSERT_EQ(open(save(bytes, ending == kGzip)), static_cast<uint32_t>(kOpenOk)) << message();
        // format, mode, framing, analysis, main, probes, signals, sweeps, parameters, variables
        EXPECT_EQ(
            (std::vector<int64_t>{ds_->dataFormat, ds_->fileMode, ds_->framingMode,
                                  ds_->analysisKind, ds_->mainCount, ds_->probeCount,
                                  ds_->signalCount, ds_->sweepCount, ds_->sweepParamCount,
                                  ds_->variableCount}),
            (std::vector<int64_t>{codes[version], layout.mode, layout.form == PostForm::byteFramed,
                                  analysis == 7 ? 3 : analysis, 5, 1, 5, sweepNames.empty() ? 1 : 4,
                                  static_cast<int64_t>(params), sweepNames.empty() ? 6 : 7}));
        EXPECT_EQ(std::string(ds_->version),
                  std::string("9007960120012013").substr(4 * version, 4));
        EXPECT_EQ(std::string(ds_->title) + "|" + ds_->date,
                  "wavtrex test circuit|12/06/2602:30:00");
        std::string names;  // complex variables marked ~, compound ones *
        for (int32_t p = 0; p < ds_->variableCount; ++p) {
            uint32_t kind = ds_->variables[p].kind;
            names += name(p) + (kind == kKindComplex ? "~ " : kind == kKindCompound ? "* " : " ");
        }
        const char* sweepName[] = {"", "temper ", "datum(tab* "};
        EXPECT_EQ(names, sweepName[std::min<size_t>(sweepNames.size(), 2)] + f.axisName +
                             (analysis == 2 ? " v(in)~ v(out)~ x9 x190~ i(vdd) "
                                            : " v(in) v(out) x9 x190 i(vdd) "));
        for (int pass = 0; pass < 2; ++pass) {  // a second read starts again from the start
            ASSERT_EQ(read(), 1) << message();
            EXPECT_EQ(values_.sweepCount, static_cast<int32_t>(tables));
            EXPECT_EQ(valuesRead(), expected);
            EXPECT_TRUE(ending != kCut || !message().empty());
        }
    }
}

TEST_F(PostTest, CountsAndBlocksAtTheirLimits) {
    struct Case {
        const char* what;
        PostVersion version;
        PostForm form;
        int mains, probes, blockSize;
        bool escape;
        int tables, rows, rowsRead;  // more than one table: swept, each but the last empty
    } const cases[] = {
        {"main count with a high part", k9601, kWords, 9999, 0, 4000, false, 1, 2, 2},
        {"count escape, high part ignored", k9601, kWords, 9999, 0, 4000, true, 1, 2, 2},
        {"text main count with a high part", k9601, kText, 9999, 0, 4000, false, 1, 2, 2},
        {"probe count with a high part", PostVersion::v2001, kText, 0, 10005, 4000, false, 1, 2, 2},
        {"only the independent variable", k9601, kWords, 0, 0, 4000, false, 1, 3, 3},
        {"data blocks filling the buffer", k9601, kWords, 4, 0, WFX_BLOCK_SIZE, false, 1, 500, 500},
        {"data blocks one byte longer", k9601, kWords, 4, 0, WFX_BLOCK_SIZE + 1, false, 1, 500, 0},
        {"empty tables over few signals", k9601, kWords, 3, 0, 4000, false, 9999, 2, 2},
        // The sweep slots alone would take far more memory than the file could fill.
        {"empty tables over many signals", k9601, kWords, 3000, 0, 4000, false, 9999, 2, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PostFile f;
        f.version = c.version;
        f.form = c.form;
        f.countEscape = c.escape;
        f.blockSize = c.blockSize;
        for (int i = 0; i < c.mains + c.probes; ++i)
            f.signals.push_back({"n" + std::to_string(i), 1, i >= c.mains});
        if (c.tables > 1) f.sweepNames = {"temper"};
        f.tables.assign(c.tables, PostTable{{1.0}, {}, true});
        if (c.tables == 1) f.tables[0].params.clear();
        for (int r = 0; r < c.rows; ++r) {
            f.tables.back().values.push_back(r * 1e-9);
            f.tables.back().values.resize(f.tables.back().values.size() + f.signals.size(), 0.5);
        }
        std::string bytes = writers::buildPostFile(f);
        if (c.escape) bytes.replace(16 + 12, 4, "0007");
        const std::string path = save(bytes);
        ASSERT_EQ(open(path), static_cast<uint32_t>(kOpenOk)) << message();
        EXPECT_EQ(std::make_pair(ds_->mainCount, ds_->probeCount),
                  std::make_pair(c.mains + 1, c.probes));
        EXPECT_EQ(name(ds_->variableCount - 1), f.signals.empty() ? "TIME" : f.signals.back().name);
        ASSERT_EQ(read(), c.rowsRead < 0 ? 0 : 1);
        EXPECT_EQ(message(), c.rowsRead == c.rows ? "" : "Malformed data file " + path + " !!");
        if (c.rowsRead < 0) continue;
        EXPECT_EQ(values_.sweepCount, c.tables);
        EXPECT_EQ(values_.counts[0][c.tables - 1], static_cast<uint32_t>(c.rowsRead));
        if (c.rowsRead > 0 && !f.signals.empty()) {
            EXPECT_EQ(values_.real[f.signals.size() - 1][c.tables - 1][c.rowsRead - 1], 0.5f);
        }
    }
}

TEST_F(PostTest, DamagedHeaders) {
    // The file of a version and form with `put` written at byte `at` (or over
    // the first `find`), cut right after it when `cut` is set. Binary header
    // fields start at 16, after the block's framing words.
    struct Damage {
        PostVersion version;
        PostForm form;
        size_t at;
        const char* find;
        std::string put;
        bool cut;
        const char* message;  // after "open 2: "; "@" is the file's path
        int shape;            // 1: a header block longer than the buffer; 2: sweep names twice
    };
    const char* malformed = "Malformed data file @ !!";
    const char* notCompleted = "File @ not completed!!";
    const char* line0 = "Syntax error near line 0 in file @ !!";
    const char* line1 = "Syntax error near line 1 in file @ !!";
    const Damage rows[] = {
        // Counts, sweep count and type codes not decimal; analysis codes out of range.
        {k9601, kWords, 16 + 0, nullptr, "abcd", false, malformed, 0},
        {k9601, kWords, 16 + 4, nullptr, "x", false, malformed, 0},
        {k9601, kWords, 16 + 12, nullptr, "ab  ", false, malformed, 0},
        {k9601, kWords, 16 + 184, nullptr, "  x ", false, malformed, 0},
        {k9601, kWords, 16 + 264, nullptr, "       x", false, malformed, 0},
        {k9601, kWords, 16 + 264, nullptr, "       0", false, malformed, 0},
        {k9601, kWords, 16 + 264, nullptr, "       8", false, malformed, 0},
        // No variable, negative probes, 2^31 - 1 main variables by the count
        // escape, a probe high part of 9999, a first block of 2 GB.
        {k9601, kWords, 16 + 0, nullptr, "00000000", false, malformed, 0},
        {k9601, kWords, 16 + 0, nullptr, "0000-001", false, malformed, 0},
        {k9601, kWords, 16 + 0, nullptr, "\xFF\xFF\xFF\xFF", false, malformed, 0},
        {PostVersion::v2001, kWords, 16 + 16, nullptr, "9999", false, malformed, 0},
        {k9601, kWords, 12, nullptr, "\xFF\xFF\xFF\x7F", false, malformed, 0},
        // The terminator wrong, the file cut inside the header.
        {k9601, kWords, 0, "$&%#", "$&%-", false, malformed, 0},
        {k9601, kWords, 40, nullptr, "", true, malformed, 0},
        {k9601, kWords, 300, nullptr, "", true, malformed, 0},
        {k9601, kWords, 0, "v(out)", "", true, malformed, 0},
        {k9601, kWords, 0, nullptr, "", false, malformed, 1},
        {k9601, kWords, 0, nullptr, "", false, "Error: Duplicate type defintion w !!", 2},
        // Text: counts not decimal, a bad first type code, the terminator.
        {k9601, kText, 0, nullptr, "x   ", false, line0, 0},
        {k9601, kText, 12, nullptr, "    ", false, line0, 0},
        {k9601, kText, 184, nullptr, "\n   ", false, line0, 0},
        {k9601, kText, 184, nullptr, " x  ", false, line0, 0},
        {k9601, kText, 265, nullptr, "      x", false, line1, 0},
        {k9601, kText, 265, nullptr, "      9", false, line1, 0},
        {k9601, kText, 0, "$&%#", "$&%x\n", true, line1, 0},
        {k9601, kText, 0, "$&%#", "$&%#", true, line1, 0},
        {k9601, kText, 0, "$&%#", "", true, line1, 0},
        // Text cut in a count field, in the title, in the type codes, among the names.
        {k9601, kText, 22, nullptr, "", true, notCompleted, 0},
        {k9601, kText, 50, nullptr, "", true, notCompleted, 0},
        {k9601, kText, 280, nullptr, "", true, notCompleted, 0},
        {k9601, kText, 0, "v(out)", "", true, "", 0},
        {PostVersion::v9007, kText, 0, "v(out)", "", true, notCompleted, 0},
    };
    for (const Damage& d : rows) {
        PostFile f;
        f.version = d.version;
        f.form = d.form;
        f.signals = {{"v(in)"}, {"v(out)"}, {"i(vdd)", 8, true}};
        f.tables = {{{}, {0, 1, 2, 3}}};
        for (int i = 0; d.shape == 1 && i < 1200; ++i)
            f.signals.push_back({"s" + std::to_string(i)});
        if (d.shape == 1) f.headerBlockSize = WFX_BLOCK_SIZE + 1;
        if (d.shape == 2) f.sweepNames = {"tab", "w", "w"};
        std::string bytes = writers::buildPostFile(f);
        size_t at = d.find != nullptr ? bytes.find(d.find) : d.at;
        SCOPED_TRACE(std::to_string(at) + " " + d.put);
        bytes.replace(at, d.put.size(), d.put);
        if (d.cut) bytes.resize(at + d.put.size());
        EXPECT_EQ(run(bytes), std::string("open 2: ") + d.message);
    }
}

}  // namespace
