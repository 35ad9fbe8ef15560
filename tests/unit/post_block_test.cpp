// Block framing and field readers: joins across blocks, byte order, the
// byte-framed variant, words, text fields and damaged blocks.
#include "formats/post_block.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <string>

#include "internal.h"
#include "post_writer.h"
#include "run_tool.h"

namespace {

class PostBlockTest : public testing::Test {
  protected:
    // A dataset reading bytes from a file, as open leaves it for a binary post file.
    WaveformDataset* open(const std::string& bytes, uint8_t mode = kModeBinary) {
        close();
        path_ = (dir_ / "blocks.bin").string();
        testkit::writeFile(path_, bytes);
        ds_ = createDataset();
        ds_->stream = gzopen(path_.c_str(), "rb");
        std::snprintf(ds_->fileName, sizeof ds_->fileName, "%s", path_.c_str());
        ds_->fileMode = mode;
        ds_->dataFormat = kFormatPost9601;
        ds_->framingMode = -1;
        ds_->blockBuffer = static_cast<uint8_t*>(std::malloc(WFX_BLOCK_SIZE));
        ds_->savedBlock = static_cast<uint8_t*>(std::malloc(WFX_BLOCK_SIZE));
        return ds_;
    }
    void close() {
        if (ds_ == nullptr) return;
        gzclose(ds_->stream);
        ds_->stream = nullptr;
        destroyDataset(ds_);
        ds_ = nullptr;
    }
    void TearDown() override { close(); }

    std::string field(int n) {
        std::string out(static_cast<size_t>(n), '\0');
        char* got = readBlockField(ds_, out.data(), n, false, false);
        return got == nullptr ? "<null>" : out;
    }
    std::string malformed() const { return "Malformed data file " + path_ + " !!"; }

    testkit::ScratchDir dir_;
    std::string path_;
    WaveformDataset* ds_ = nullptr;
};

std::string letters(size_t n, char first) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(first + i % 26));
    return s;
}

TEST_F(PostBlockTest, FieldsAcrossBlocks) {
    {
        // A field ending exactly at the block end is handed out in place and
        // the closing word is consumed with it.
        std::string bytes = writers::frameWordBlocks({"abcdEFGH", "ijkl"}, false);
        open(bytes);
        EXPECT_EQ(field(4), "abcd");
        char* inPlace = readBlockField(ds_, nullptr, 4, false, true);
        ASSERT_NE(inPlace, nullptr);
        EXPECT_EQ(inPlace, reinterpret_cast<char*>(ds_->blockBuffer) + 4);
        EXPECT_EQ(std::string(inPlace, 4), "EFGH");
        EXPECT_EQ(ds_->blockLength, 0);
        EXPECT_EQ(gztell(ds_->stream), 16 + 8 + 4);
        EXPECT_EQ(field(4), "ijkl");
        EXPECT_EQ(ds_->framingMode, 0);
        EXPECT_EQ(ds_->fileMode & kModeSwapped, 0);
    }
    {
        // 64 bytes from 10 before the end of a block over blocks of 20 and 100.
        std::string first = letters(50, 'a');
        std::string second = letters(20, 'A');
        std::string third = letters(100, 'a');
        open(writers::frameWordBlocks({first, second, third}, false));
        EXPECT_EQ(field(40), first.substr(0, 40));
        char* joined = readBlockField(ds_, nullptr, 64, false, true);
        ASSERT_NE(joined, nullptr);
        EXPECT_EQ(std::string(joined, 64), first.substr(40) + second + third.substr(0, 34));
        EXPECT_EQ(ds_->blockPosition, 34);
        EXPECT_EQ(ds_->blockLength, 100);
        EXPECT_EQ(field(66), third.substr(34));
    }
    {
        // Trimmed copies drop blanks and tabs on both sides and terminate.
        open(writers::frameWordBlocks({" \tab c\t ", "  "}, false));
        char dest[16];
        ASSERT_NE(readBlockField(ds_, dest, 10, true, false), nullptr);
        EXPECT_STREQ(dest, "ab c");
        ASSERT_NE(readBlockField(ds_, dest, 0, true, false), nullptr);
    }
}

TEST_F(PostBlockTest, BigEndianFlagSticks) {
    // The second block's framing words look little-endian; its length and
    // the numbers are still read big-endian.
    std::string first = writers::frameWordBlocks({std::string("\x00\x00\x00\x07", 4)}, true);
    std::string second = writers::frameWordBlocks({std::string("\x3F\x80\x00\x00", 4)}, false);
    second.replace(12, 4, std::string("\x00\x00\x00\x04", 4));
    open(first + second);
    char* number = readBlockField(ds_, nullptr, 4, false, true);
    ASSERT_NE(number, nullptr);
    EXPECT_NE(ds_->fileMode & kModeSwapped, 0);
    EXPECT_EQ(decodeInt32(number, blockSwapped(ds_)), 7);
    number = readBlockField(ds_, nullptr, 4, false, true);
    ASSERT_NE(number, nullptr);
    EXPECT_EQ(decodeFloat(number, blockSwapped(ds_)), 1.0f);
}

TEST_F(PostBlockTest, ByteFramedPieces) {
    std::string record = letters(300, 'a');
    std::string bytes = writers::frameByteRecords({record, "xyz"});
    // Pieces of 128, 128 and 44 bytes with their length bytes.
    ASSERT_EQ(static_cast<unsigned char>(bytes[7]), 0x81u);
    ASSERT_EQ(static_cast<unsigned char>(bytes[8 + 128 + 1]), 0x81u);
    ASSERT_EQ(static_cast<unsigned char>(bytes[8 + 128 + 1 + 1 + 128 + 1]), 0x2Cu);
    open(bytes);
    EXPECT_EQ(field(300), record);
    EXPECT_EQ(ds_->framingMode, 1);
    EXPECT_EQ(field(3), "xyz");
    // The 0x82 end mark stands where the next block would begin.
    EXPECT_EQ(field(1), "<null>");
    EXPECT_EQ(wfxLastErrorText(), malformed());
    EXPECT_EQ(ds_->blockLength, 0);
}

TEST_F(PostBlockTest, Words) {
    {
        // A word reaching the block end is cut there; only blanks separate.
        open(writers::frameWordBlocks({"v(1)  v(o", "ut) x\ty ", "   ", "last"}, false));
        const char* expected[] = {"v(1)", "v(o", "ut)", "x\ty", "last"};
        for (const char* word : expected) {
            char* got = readBlockWord(ds_);
            ASSERT_NE(got, nullptr);
            EXPECT_STREQ(got, word);
        }
        EXPECT_EQ(readBlockWord(ds_), nullptr);
        EXPECT_EQ(wfxLastErrorText(), malformed());
    }
    {
        // A block that fills the whole buffer leaves no room for a terminator.
        std::string full(WFX_BLOCK_SIZE, 'w');
        open(writers::frameWordBlocks({full}, false));
        EXPECT_EQ(readBlockWord(ds_), nullptr);
        EXPECT_EQ(wfxLastErrorText(), malformed());
        open(writers::frameWordBlocks({full}, false));
        EXPECT_EQ(field(WFX_BLOCK_SIZE), full);
    }
}

TEST_F(PostBlockTest, DamagedBlocks) {
    auto expectMalformed = [&](const std::string& bytes, int n) {
        open(bytes);
        EXPECT_EQ(field(n), "<null>");
        EXPECT_EQ(wfxLastErrorText(), malformed());
        EXPECT_EQ(ds_->blockLength, 0);
    };
    {
        // Longer than the buffer: refused, never overflowed.
        expectMalformed(writers::frameWordBlocks({std::string(WFX_BLOCK_SIZE + 1, 'x')}, false), 4);
        std::string declared = writers::frameWordBlocks({"abcd"}, false);
        declared.replace(12, 4, std::string("\xFF\xFF\xFF\x7F", 4));
        expectMalformed(declared, 4);
    }
    {
        // Negative or zero lengths, wrong framing words, a short header.
        std::string negative = writers::frameWordBlocks({"abcd"}, false);
        negative.replace(12, 4, std::string("\xFF\xFF\xFF\xFF", 4));
        expectMalformed(negative, 4);
        expectMalformed(writers::frameWordBlocks({""}, false), 4);
        std::string wrong = writers::frameWordBlocks({"abcd"}, false);
        wrong[8] = 3;
        expectMalformed(wrong, 4);
        expectMalformed(std::string("\x04\x00\x00\x00\x00", 5), 4);
    }
    {
        // The data, then the closing word, cut short.
        std::string bytes = writers::frameWordBlocks({"abcdefgh"}, false);
        open(bytes.substr(0, bytes.size() - 2));
        EXPECT_EQ(field(4), "abcd");
        EXPECT_EQ(field(4), "<null>");
        EXPECT_EQ(wfxLastErrorText(), malformed());
        expectMalformed(bytes.substr(0, 16), 4);
        // A short block keeps what arrived; the missing closing word then fails.
        open(bytes.substr(0, 20));
        EXPECT_EQ(field(2), "ab");
        EXPECT_EQ(field(2), "<null>");
    }
    {
        // Byte-framed prefixes that do not hold 0x04, and an empty file.
        std::string bytes = writers::frameByteRecords({"abc"});
        bytes[6] = 5;
        expectMalformed(bytes, 3);
        expectMalformed("K", 1);
        expectMalformed(std::string("K\x82", 2), 1);
    }
}

TEST_F(PostBlockTest, TextFields) {
    {
        open("  v(o\nut)        abc\r\n   9\n", kModeText);
        char dest[32];
        ASSERT_NE(readTextField(ds_, dest, 16), nullptr);
        EXPECT_STREQ(dest, "v(out)");
        EXPECT_EQ(ds_->lineNumber, 1u);
        ASSERT_NE(readTextField(ds_, dest, 3), nullptr);
        EXPECT_STREQ(dest, "abc");
        ASSERT_NE(readTextField(ds_, nullptr, 2), nullptr);
        ASSERT_NE(readTextField(ds_, dest, 2), nullptr);
        EXPECT_STREQ(dest, "9");
        EXPECT_EQ(readTextField(ds_, dest, 1), nullptr);
        EXPECT_EQ(wfxLastErrorText(), "File " + path_ + " not completed!!");
    }
    {
        // A number field restarts after a line break.
        open("1.234\n 5.6789E-01 7.0000E+00\r\n1", kModeText);
        char dest[12] = {};
        ASSERT_NE(readNumberField(ds_, dest, 11), nullptr);
        EXPECT_EQ(std::string(dest, 11), " 5.6789E-01");
        EXPECT_EQ(ds_->lineNumber, 1u);
        ASSERT_NE(readNumberField(ds_, nullptr, 11), nullptr);
        EXPECT_EQ(readNumberField(ds_, dest, 11), nullptr);
        EXPECT_EQ(ds_->lineNumber, 2u);
        EXPECT_EQ(wfxLastErrorText(), "File " + path_ + " not completed!!");
    }
    {
        EXPECT_TRUE(isAllSpaces("    "));
        EXPECT_FALSE(isAllSpaces(""));
        EXPECT_FALSE(isAllSpaces("  \t "));
        EXPECT_FALSE(isAllSpaces(" 1  "));
    }
}

}  // namespace
