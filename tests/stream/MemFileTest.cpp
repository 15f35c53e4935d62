// The memory stream: blocks, seeks at the edges, transfers that stop at the end, the dump.
#include "ZEMTestSupport.h"

#include <zem/stream/ZEMMemFile.h>

#include <cstring>
#include <string>

using zemtest::LogCapture;

class MemFileTest : public zemtest::TempDirTest {};

namespace {

const unsigned RW = ZEMResFile::READ | ZEMResFile::WRITE;

unsigned char* Block(const char* text) {
    const size_t n = strlen(text);
    unsigned char* block = new unsigned char[n];
    memcpy(block, text, n);
    return block;
}

} // namespace

TEST_F(MemFileTest, OpenVariants) {
    unsigned char block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ZEMMemFile f(0, RW, block, false, nullptr);
    EXPECT_EQ(f.GetState(), unsigned(ZEMResFile::ST_CLOSED));
    EXPECT_FALSE(f.Open(0, RW, block, false, nullptr));

    // The stream's own block starts zeroed and is released on close (checked by the sanitizer).
    ASSERT_TRUE(f.Open(16, RW, nullptr, false, nullptr));
    EXPECT_STREQ(f.GetName(), "Memory file");
    EXPECT_EQ(f.GetSize(), 16u);
    EXPECT_EQ(f.Read32(), 0u);
    EXPECT_TRUE(f.IsOK());

    // A caller's block is kept as it is, or zeroed with TRUNCATE or CREATE, never released.
    ASSERT_TRUE(f.Open(8, RW, block, false, "x"));
    EXPECT_EQ(f.GetData(), block);
    EXPECT_EQ(f.Read8(), 1);
    ASSERT_TRUE(f.Open(8, RW | ZEMResFile::TRUNCATE, block, false, "x"));
    EXPECT_STREQ(f.GetName(), "x");
    EXPECT_EQ(block[0], 0);
    EXPECT_EQ(block[7], 0);
    block[3] = 9;
    ASSERT_TRUE(f.Open(8, ZEMResFile::READ | ZEMResFile::CREATE, block, false, nullptr));
    EXPECT_EQ(block[3], 0);

    // A handed-over block is released with the stream.
    ASSERT_TRUE(f.Open(3, ZEMResFile::READ, Block("abc"), true, nullptr));
    EXPECT_EQ(f.Read8(), 'a');
    f.Close();
    EXPECT_EQ(f.GetData(), nullptr);
    EXPECT_EQ(f.GetSize(), 0u);
    EXPECT_EQ(f.GetName(), nullptr);

    // Access 0 opens, but refuses every transfer.
    ASSERT_TRUE(f.Open(8, 0, block, false, nullptr));
    EXPECT_TRUE(f.IsOK());
    char buf[2];
    EXPECT_EQ(f.Read(buf, 1), 0u);
    EXPECT_EQ(f.Write(buf, 1), 0u);
}

TEST_F(MemFileTest, SeeksAtTheEdges) {
    unsigned char block[8] = {};
    ZEMMemFile f(8, RW, block, false, nullptr);
    struct {
        int offset, whence;
        bool ok;
        unsigned pos;
    } cases[] = {
        {3, 0, true, 3},          {8, 0, false, 3},         {0, 2, false, 3},  {-1, 2, true, 7},
        {-8, 2, true, 0},         {-9, 2, false, 0},        {2, 1, true, 2},   {-3, 1, false, 2},
        {6, 1, false, 2},         {5, 1, true, 7},          {-1, 0, false, 7}, {4, 9, true, 4},
        {INT32_MIN, 1, false, 4}, {INT32_MAX, 2, false, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.offset << "," << c.whence);
        EXPECT_EQ(f.Seek(c.offset, c.whence), c.ok);
        EXPECT_EQ(f.GetState(),
                  c.ok ? unsigned(ZEMResFile::ST_OK) : unsigned(ZEMResFile::ST_SEEK_ERROR));
        EXPECT_EQ(f.GetPos(), c.pos);
        EXPECT_FALSE(f.Eof());
    }
}

TEST_F(MemFileTest, SeekEndRefusesTransfersUntilTheNextSeek) {
    unsigned char block[8] = {'a'};
    ZEMMemFile f(8, RW, block, false, nullptr);
    f.SeekEnd();
    EXPECT_EQ(f.GetPos(), 8u);
    EXPECT_TRUE(f.Eof());
    EXPECT_EQ(f.GetState(), unsigned(ZEMResFile::ST_SEEK_ERROR));
    char buf[2];
    EXPECT_EQ(f.Read(buf, 1), 0u);
    EXPECT_EQ(f.Write(buf, 1), 0u);
    f.SeekStart();
    EXPECT_EQ(f.Read8(), 'a');

    // A refused seek stops typed reads too, and so does write-only access.
    EXPECT_FALSE(f.Seek(-1, 0));
    EXPECT_EQ(f.Read8(), 0u);
    EXPECT_EQ(f.GetPos(), 1u);
    ASSERT_TRUE(f.Open(8, ZEMResFile::WRITE, block, false, nullptr));
    EXPECT_EQ(f.Read32(), 0u);
    EXPECT_EQ(f.GetPos(), 0u);
    EXPECT_TRUE(f.IsOK());
}

TEST_F(MemFileTest, WritesStopAtTheEndOfTheBlock) {
    unsigned char block[10] = {};
    ZEMMemFile f(8, RW, block, false, nullptr);
    EXPECT_EQ(f.Write("0123456789", 10), 8u);
    EXPECT_EQ(f.GetState(), unsigned(ZEMResFile::ST_WRITE_END));
    EXPECT_TRUE(f.Eof());
    EXPECT_EQ(f.Write("x", 1), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 10), std::string("01234567\0\0", 10));
    ASSERT_TRUE(f.Seek(-1, 2));
    EXPECT_FALSE(f.Write32(1)); // one byte fits: written, the rest refused
    EXPECT_EQ(block[7], 1);
}

TEST_F(MemFileTest, TypedReadsFromTheBlockKeepStateAndEndFlag) {
    unsigned char block[7] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE};
    ZEMMemFile f(7, ZEMResFile::READ, block, false, nullptr);
    ZEMResFile& base = f;
    EXPECT_EQ(f.Read16(), 0x3412);
    EXPECT_EQ(base.ReadBE16(), 0x5678);
    EXPECT_EQ(f.Read32(), 0u); // three bytes left: consumed, 0, state 7
    EXPECT_EQ(f.GetPos(), 7u);
    EXPECT_EQ(f.GetState(), unsigned(ZEMResFile::ST_READ_END));
    f.SeekStart();
    EXPECT_EQ(f.ReadBE32(), 0x12345678u);
    EXPECT_EQ(f.Read8(), 0x9A);
    EXPECT_EQ(f.ReadBE16(), 0xBCDE);
    EXPECT_TRUE(f.Eof());
    EXPECT_EQ(f.Read8(), 0u);
    EXPECT_TRUE(f.IsOK()); // refused at the end flag, not a short read
    EXPECT_EQ(f.ReadFl(), 0.0f);
    EXPECT_EQ(f.ReadDbl(), 0.0);
}

TEST_F(MemFileTest, GetLineExamples) {
    unsigned char text[] = {'a', 'b', '\n', 'c', 'd'};
    ZEMMemFile f(5, ZEMResFile::READ, text, false, nullptr);
    char buf[10];
    EXPECT_EQ(f.GetLine(buf, 10, '\n'), 3u);
    EXPECT_STREQ(buf, "ab");
    EXPECT_EQ(f.GetLine(buf, 10, '\n'), 3u);
    EXPECT_STREQ(buf, "cd");
    EXPECT_EQ(f.GetLine(buf, 10, '\n'), 0u);

    unsigned char lines[] = {'\n', 'x'};
    ASSERT_TRUE(f.Open(2, ZEMResFile::READ, lines, false, nullptr));
    ZEMString line("old");
    EXPECT_EQ(f.GetLine(line, 0xFFFFFFFF, '\n'), 1u);
    EXPECT_EQ(line.Length(), 0u);
    EXPECT_EQ(f.GetLine(line, 0xFFFFFFFF, '\n'), 1u);
    EXPECT_STREQ(line, "x");
    EXPECT_EQ(f.GetLine(line, 0xFFFFFFFF, '\n'), 0u);
}

TEST_F(MemFileTest, GetLineWithoutRoomReadsNothing) {
    unsigned char text[] = {'a', '\n'};
    ZEMMemFile f(2, ZEMResFile::READ, text, false, nullptr);
    char buf[1] = {'z'};
    // A one-byte buffer has room for the terminator only: 0, so that a loop reading until 0
    // ends instead of getting empty lines for ever.
    EXPECT_EQ(f.GetLine(buf, 1, '\n'), 0u);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(f.GetPos(), 0u);
}

TEST_F(MemFileTest, LineLimitCountsBytesAndZeroBytesAreKept) {
    unsigned char text[] = {'a', 0, 'b', 'c', '\r', '\n', 'd', 0, 0, '\n', 0};
    ZEMMemFile f(sizeof text, ZEMResFile::READ, text, false, nullptr);
    ZEMString line;
    EXPECT_EQ(f.GetLine(line, 3, '\n'), 3u);
    EXPECT_EQ(std::string(line, line.Length()), std::string("a\0b", 3));
    EXPECT_EQ(f.GetLine(line, 100, '\n'), 3u);
    EXPECT_STREQ(line, "c");
    EXPECT_EQ(f.GetLine(line, 100, '\n'), 4u);
    EXPECT_EQ(std::string(line, line.Length()), std::string("d\0\0", 3));
    EXPECT_EQ(f.GetLine(line, 100, '\n'), 1u); // a line of one zero byte
    EXPECT_EQ(std::string(line, line.Length()), std::string(1, '\0'));
    EXPECT_EQ(f.GetLine(line, 0, '\n'), 0u);

    char buf[8];
    f.SeekStart();
    EXPECT_EQ(f.GetLine(buf, 8, '\n'), 5u); // the character form keeps the zero byte
    EXPECT_EQ(std::string(buf, 5), std::string("a\0bc\0", 5));
}

TEST_F(MemFileTest, PrintInfo) {
    ZEMMemFile f(16, ZEMResFile::READ | ZEMResFile::WRITE, nullptr, false, nullptr);
    f.Write32(5);
    LogCapture log;
    f.PrintInfo();
    char address[32];
    const std::string text = log.Text();
    ASSERT_EQ(sscanf(text.c_str(), "MemFile info:\nAddress: %31s", address), 1);
    EXPECT_EQ(text, std::string("MemFile info:\nAddress: ") + address +
                        "\nMode  : 3 (read/write)\nState : 1 (OK)\nSize : 16\nPos.  : 4\n"
                        "EOF   : no\nOwn data: yes\n");
}

TEST_F(MemFileTest, PrintInfoOfAClosedStream) {
    ZEMMemFile f(0, ZEMResFile::READ, nullptr, false, nullptr);
    LogCapture log;
    f.PrintInfo();
    EXPECT_EQ(log.Text(), "MemFile info:\nAddress: " + zemtest::PointerText(nullptr) +
                              "\nMode  : 0 (error)\n"
                              "State : 16 (file closed)\nSize : 0\nPos.  : 0\nEOF   : yes\n"
                              "Own data: no\n");
}
