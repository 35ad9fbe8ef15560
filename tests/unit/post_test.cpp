// HSPICE post files through open and read: counts and blocks at their limits;
// damaged headers give their exact messages. Every version, form, byte order
// and sweep shape is the seed corpus's: its values are checked by the Python
// test (corpus_values.txt), cuts and flips at every byte by the corpus replay.
#include <gtest/gtest.h>

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

using PostTest = testkit::ReaderFixture;

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
        const std::string path = (dir_ / "wave.tr0").string();
        writers::writeBytes(path, bytes, false);
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
