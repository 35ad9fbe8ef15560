// Measurement table headers, reached only with format code 4.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "measure_table_writer.h"
#include "run_tool.h"
#include "wfx.h"

namespace {

using writers::MeasureTable;

class Table {
  public:
    explicit Table(const std::string& path) {
        ds_ = wfxOpen(path.c_str(), kFormatMeasureTable, WFX_DETECT_MODE, &status_);
        message_ = wfxLastErrorText();
    }
    ~Table() {
        if (ds_ != nullptr) wfxClose(ds_);
    }
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;
    WaveformDataset* ds() const { return ds_; }
    uint32_t status() const { return status_; }
    const std::string& message() const { return message_; }
    std::vector<std::string> names() const {
        std::vector<std::string> all;
        for (int32_t i = 0; i < ds_->variableCount; ++i) {
            all.emplace_back(wfxName(ds_, ds_->variables[i].nameOffset));
            EXPECT_EQ(ds_->variables[i].kind, 9u);
            EXPECT_EQ(ds_->variables[i].typeCode, 9u);
        }
        return all;
    }

  private:
    WaveformDataset* ds_ = nullptr;
    uint32_t status_ = 0;
    std::string message_;
};

class MeasureTableTest : public testing::Test {
  protected:
    std::string write(const std::string& name, const MeasureTable& table, bool gzip = false) {
        auto path = (dir_ / name).string();
        writers::writeMeasureTable(path, table, gzip);
        return path;
    }
    std::string text(const std::string& name, const std::string& bytes) {
        auto path = (dir_ / name).string();
        testkit::writeFile(path, bytes);
        return path;
    }
    testkit::ScratchDir dir_;
};

TEST_F(MeasureTableTest, PlainTables) {
    MeasureTable table;
    table.columns = {"index", "delay", "power", "temper#", "alter#"};
    table.rows = {{1, 2, 3, 4, 1}};
    for (bool gzip : {false, true}) {
        Table t(write(gzip ? "m.mt0.gz" : "m.mt0", table, gzip));
        ASSERT_EQ(t.status(), static_cast<uint32_t>(kOpenOk)) << t.message();
        EXPECT_EQ(t.ds()->dataFormat, static_cast<uint32_t>(kFormatMeasureTable));
        EXPECT_EQ(t.ds()->analysisKind, static_cast<uint32_t>(kAnalysisMeasureTable));
        EXPECT_STREQ(t.ds()->version, "2013.03");
        EXPECT_STREQ(t.ds()->title, "'generated measurements'\n");
        // The names stop at temper#: alter# on the same line is not taken.
        EXPECT_EQ(t.names(), (std::vector<std::string>{"index", "delay", "power", "temper#"}));
        EXPECT_EQ(t.ds()->signalCount, 3);
        EXPECT_EQ(t.ds()->firstSignalIndex, 1);
        EXPECT_EQ(t.ds()->lineNumber, 3u);
        // There is no data reader for tables.
        WaveformValues values{};
        EXPECT_EQ(wfxRead(t.ds(), &values), 0);
        EXPECT_EQ(t.ds()->lastError, static_cast<uint32_t>(kErrorNone));
        EXPECT_EQ(values.real, nullptr);
    }
    {  // Names on several lines, each ending in a blank, stay apart.
        table.columns = {"index", "delay", "power", "alter#"};
        table.columnsPerLine = 2;
        Table t(write("lines.mt0", table));
        EXPECT_EQ(t.names(), (std::vector<std::string>{"index", "delay", "power", "alter#"}));
        EXPECT_EQ(t.ds()->lineNumber, 4u);
    }
    {  // A bare line break glues a name to the next line's first one; the
       // title line may come after other lines, and is cut to 99 characters.
        Table t(text("glued.mt0", "VERSION='1'\nnot yet\n.TITLE " + std::string(150, 't') +
                                      "\nindex delay\npower alter# \n0\n"));
        EXPECT_EQ(t.names(), (std::vector<std::string>{"index", "delaypower", "alter#"}));
        EXPECT_EQ(std::string(t.ds()->title), std::string(99, 't'));
        EXPECT_EQ(t.ds()->lineNumber, 6u);
    }
    {  // A version of exactly 32 characters fits.
        Table t(text("v32.mt0", "VERSION='" + std::string(32, '9') + "'\n.TITLE x\na# 1\n"));
        EXPECT_EQ(std::string(t.ds()->version), std::string(32, '9'));
        EXPECT_EQ(t.ds()->signalCount, 0);
    }
}

TEST_F(MeasureTableTest, OptionTables) {
    MeasureTable table;
    table.option = true;
    // The first name never ends the list; the whole long line is read.
    table.columns = {"first#"};
    for (int i = 0; i < 300; ++i) table.columns.push_back("column" + std::to_string(i));
    table.columns.push_back("last#");
    table.columns.push_back("ignored");
    table.rows = {};
    for (bool gzip : {false, true}) {
        Table t(write(gzip ? "o.mt0.gz" : "o.mt0", table, gzip));
        ASSERT_EQ(t.status(), static_cast<uint32_t>(kOpenOk)) << t.message();
        auto names = t.names();
        ASSERT_EQ(names.size(), 302u);
        EXPECT_EQ(names.front(), "first#");
        EXPECT_EQ(names[300], "column299");
        EXPECT_EQ(names.back(), "last#");
        EXPECT_EQ(t.ds()->signalCount, 301);
        EXPECT_EQ(t.ds()->lineNumber, 4u);
    }
    {  // Lines between $OPTION and the title are skipped and counted.
        Table t(text("skip.mt0", "VERSION='1'\n$OPTION\nnote\n\n.TITLE x\n a,b\tc alter#\n"));
        EXPECT_EQ(t.names(), (std::vector<std::string>{"a", "b", "c", "alter#"}));
        EXPECT_STREQ(t.ds()->title, "x\n");
        EXPECT_EQ(t.ds()->lineNumber, 6u);
    }
}

TEST_F(MeasureTableTest, MalformedTables) {
    auto expectFails = [&](const std::string& name, const std::string& bytes,
                           const std::string& message) {
        auto path = text(name, bytes);
        Table t(path);
        EXPECT_EQ(t.status(), static_cast<uint32_t>(kOpenNoReader)) << name;
        std::string expected = message;
        auto at = expected.find("<path>");
        if (at != std::string::npos) expected.replace(at, 6, path);
        EXPECT_EQ(t.message(), expected) << name;
    };
    {  // First and second lines.
        expectFails("no-version.mt0", "$DATA1 SOURCE='x'\n.TITLE t\na alter# 1\n",
                    "Incorrect header near line 0 in file <path> !!");
        expectFails("no-quote.mt0", "VERSION=1\n.TITLE t\na alter# 1\n",
                    "Incorrect header near line 0 in file <path> !!");
        expectFails("open-quote.mt0", "VERSION='1\n.TITLE t\na alter# 1\n",
                    "Incorrect header near line 0 in file <path> !!");
        expectFails("v33.mt0", "VERSION='" + std::string(33, '9') + "'\n.TITLE t\na alter# 1\n",
                    "Incorrect header at line 0 of <path> !!");
        expectFails("one-line.mt0", "VERSION='1'\n", "Incorrect header at line 2 of <path> !!");
    }
    {  // Title search and names.
        expectFails("no-title.mt0", "VERSION='1'\nnone\nstill none\n",
                    "Incorrect header at line 3 of <path> !!");
        expectFails("no-third.mt0", "VERSION='1'\n$OPTION\n",
                    "Incorrect header at line 2 of <path> !!");
        expectFails("no-names.mt0", "VERSION='1'\n.TITLE t\n", "No data found in <path> !!");
        expectFails("no-last.mt0", "VERSION='1'\n.TITLE t\na b c \n", "No data found in <path> !!");
        expectFails("no-value.mt0", "VERSION='1'\n.TITLE t\na b alter# \n",
                    "No data found in <path> !!");
        expectFails("option-no-names.mt0", "VERSION='1'\n$OPTION\n.TITLE t\n",
                    "No data found in <path> !!");
        expectFails("option-empty.mt0", "VERSION='1'\n$OPTION\n.TITLE t\n , \t\n", "");
    }
    {  // A compressed file that holds nothing.
        auto path = (dir_ / "empty.mt0.gz").string();
        writers::writeMeasureTable(path, MeasureTable{}, true, 0);
        Table t(path);
        EXPECT_EQ(t.status(), static_cast<uint32_t>(kOpenNoReader));
        EXPECT_EQ(t.message(), "Empty file " + path + " !!");
    }
}

TEST_F(MeasureTableTest, TruncatedAnywhereFailsCleanly) {
    for (bool option : {false, true}) {
        MeasureTable table;
        table.option = option;
        table.columns = {"index", "delay", "alter#"};
        table.rows = {{1, 2e-9, 1}, {2, 3e-9, 2}};
        const std::string full = writers::measureTableText(table);
        auto path = (dir_ / "cut.mt0").string();
        for (size_t cut = 1; cut <= full.size(); ++cut) {
            writers::writeMeasureTable(path, table, false, cut);
            Table t(path);
            SCOPED_TRACE(testing::Message() << "cut at " << cut << (option ? " ($OPTION)" : ""));
            if (t.ds() != nullptr) {
                EXPECT_EQ(t.names(), (std::vector<std::string>{"index", "delay", "alter#"}));
            } else {
                EXPECT_EQ(t.status(), static_cast<uint32_t>(kOpenNoReader));
            }
        }
    }
}

}  // namespace
