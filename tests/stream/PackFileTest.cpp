// The window stream: ranges of a container, seeks relative to the window, the dump.
#include "ZEMTestSupport.h"

#include <zem/core/ZEMLog.h>
#include <zem/stream/ZEMPackFile.h>

#include <filesystem>
#include <fstream>

using zemtest::LogCapture;
using zemtest::ReadFile;
using zemtest::WriteFile;

class PackFileTest : public zemtest::TempDirTest {
protected:
    void SetUp() override {
        zemtest::TempDirTest::SetUp();
        WriteFile("box.dat", Container());
    }
    // 120 bytes: "0123456789" twelve times.
    static std::string Container() {
        std::string bytes;
        for (int i = 0; i < 12; i++)
            bytes += "0123456789";
        return bytes;
    }
};

namespace {
const unsigned R = ZEMResFile::READ;
const unsigned RW = ZEMResFile::READ | ZEMResFile::WRITE;
} // namespace

TEST_F(PackFileTest, WindowPastTheEndIsShortened) {
    ZEMPackFile f("box.dat", 100, 150, R, "member");
    ASSERT_TRUE(f.IsOK());
    EXPECT_EQ(f.GetEnd(), 120u);
    EXPECT_TRUE(f.Seek(0, 2));
    EXPECT_EQ(f.GetPos(), 20u);
    EXPECT_TRUE(f.Eof());
    EXPECT_STREQ(f.GetName(), "member");
    EXPECT_STREQ(f.GetFileName(), "box.dat");
}

TEST_F(PackFileTest, OpenFailures) {
    ZEM::SetLogLevel(200);
    LogCapture log;
    ZEMPackFile empty("box.dat", 120, 150, R);
    EXPECT_EQ(empty.GetState(), unsigned(ZEMResFile::ST_OPEN_ERROR));
    ZEMPackFile inverted("box.dat", 50, 40, R);
    EXPECT_EQ(inverted.GetState(), unsigned(ZEMResFile::ST_OPEN_ERROR));
    ZEMPackFile bad("box.dat", 0, 10, 0);
    EXPECT_EQ(bad.GetState(), unsigned(ZEMResFile::ST_BAD_MODE));
    ZEMPackFile missing("missing.dat", 0, 10, ZEMResFile::WRITE | ZEMResFile::CREATE);
    EXPECT_EQ(missing.GetState(), unsigned(ZEMResFile::ST_OPEN_ERROR));
    EXPECT_EQ(log.Text(), "PackFile: invalid offset (start=120, end=120) box.dat\n"
                          "PackFile: invalid offset (start=50, end=40) box.dat\n"
                          "PackFile: bad open mode (box.dat)\n"
                          "PackFile: cannot open missing.dat in mode 'r+b'\n");
    // The container is never created.
    EXPECT_EQ(ReadFile("missing.dat"), "");
    char buf[4];
    EXPECT_EQ(empty.Read(buf, 1), 0u);
    EXPECT_FALSE(empty.Seek(0, 0));

    // Below the debug level nothing is written.
    ZEM::SetLogLevel(100);
    ZEMPackFile quiet("missing.dat", 0, 10, R);
    EXPECT_EQ(log.Text().find("missing.dat in mode 'rb'"), std::string::npos);

    ZEMPackFile none(nullptr, 0, 10, R);
    EXPECT_EQ(none.GetState(), unsigned(ZEMResFile::ST_CLOSED));
    ZEMPackFile open("box.dat", 0, 10, R);
    EXPECT_FALSE(open.Open("", 0, 10, R));
    EXPECT_TRUE(open.IsOK());
}

// Archives reach 4 GiB: a window past 2 GiB is read where a long has 32 bits too (Windows, 32-bit
// systems). The file is sparse, so it takes no room on the disk.
TEST_F(PackFileTest, WindowPastTwoGiB) {
    const uint64_t far = 0x80000000u + 0x1000u;
    {
        std::fstream big("big.dat", std::ios::out | std::ios::binary);
        ASSERT_TRUE(big.good());
    }
    std::filesystem::resize_file("big.dat", far);
    {
        std::fstream big("big.dat",
                         std::ios::in | std::ios::out | std::ios::binary | std::ios::ate);
        big << "far bytes";
        ASSERT_TRUE(big.good());
    }
    ZEMPackFile f("big.dat", unsigned(far), unsigned(far + 9), R, "far");
    ASSERT_TRUE(f.IsOK());
    char buf[9] = {};
    ASSERT_EQ(f.Read(buf, 9), 9u);
    EXPECT_EQ(std::string(buf, 9), "far bytes");
    EXPECT_TRUE(f.Seek(4, SEEK_SET));
    EXPECT_EQ(f.Read(buf, 5), 5u);
    EXPECT_EQ(std::string(buf, 5), "bytes");
}

TEST_F(PackFileTest, SeeksAreRelativeToTheWindow) {
    ZEMPackFile f("box.dat", 30, 40, R);
    struct {
        int offset, whence;
        bool ok;
        unsigned pos;
    } cases[] = {
        {10, 0, false, 0},  {9, 0, true, 9},   {-1, 0, false, 9},        {-3, 2, true, 7},
        {-10, 2, false, 7}, {1, 2, false, 7},  {0, 2, true, 10},         {0, 1, true, 10},
        {-10, 1, true, 0},  {-1, 1, false, 0}, {5, 1, true, 5},          {5, 1, false, 5},
        {4, 1, true, 9},    {3, 7, true, 3},   {INT32_MIN, 1, false, 3}, {INT32_MIN, 2, false, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.offset << "," << c.whence);
        EXPECT_EQ(f.Seek(c.offset, c.whence), c.ok);
        EXPECT_EQ(f.GetState(),
                  c.ok ? unsigned(ZEMResFile::ST_OK) : unsigned(ZEMResFile::ST_SEEK_ERROR));
        EXPECT_EQ(f.GetPos(), c.pos);
    }
    ASSERT_TRUE(f.Seek(9, 0));
    EXPECT_EQ(f.Read8(), '9');
    f.SeekEnd();
    EXPECT_EQ(f.GetPos(), 10u);
    EXPECT_EQ(f.GetState(), unsigned(ZEMResFile::ST_SEEK_ERROR));
    EXPECT_TRUE(f.Eof());
    f.SeekStart();
    EXPECT_TRUE(f.IsOK());
    EXPECT_EQ(f.Read8(), '0');
}

TEST_F(PackFileTest, TransfersNeverLeaveTheWindow) {
    ZEMPackFile f("box.dat", 5, 15, RW);
    char buf[21] = {};
    EXPECT_EQ(f.Read(buf, 20), 10u);
    EXPECT_STREQ(buf, "5678901234");
    EXPECT_EQ(f.GetState(), unsigned(ZEMResFile::ST_READ_END));
    EXPECT_TRUE(f.Eof());

    ASSERT_TRUE(f.Seek(-2, 2));
    EXPECT_EQ(f.Write("ABCD", 4), 2u);
    EXPECT_EQ(f.GetState(), unsigned(ZEMResFile::ST_WRITE_END));
    f.SeekStart();
    EXPECT_TRUE(f.Write16(0x5958)); // "XY"
    f.Flush();
    std::string expected = Container();
    expected.replace(5, 2, "XY");
    expected.replace(13, 2, "AB");
    EXPECT_EQ(ReadFile("box.dat"), expected);

    // Reading after writing on the same handle sees the new bytes.
    f.SeekStart();
    EXPECT_EQ(f.ReadBE16(), 0x5859);
    EXPECT_EQ(f.Read8(), '7');
}

TEST_F(PackFileTest, WindowsOnOneContainerAreIndependent) {
    ZEMPackFile a("box.dat", 0, 10, R);
    ZEMPackFile b("box.dat", 110, 120, R, "b");
    EXPECT_EQ(a.Read8(), '0');
    EXPECT_EQ(b.Read8(), '0');
    ASSERT_TRUE(b.Seek(5, 0));
    EXPECT_EQ(a.Read8(), '1');
    EXPECT_EQ(b.Read8(), '5');
    std::remove("box.dat"); // open handles keep the data
    EXPECT_EQ(a.Read8(), '2');
}

TEST_F(PackFileTest, GetLineExamples) {
    WriteFile("text.dat", "xxab\ncd\r\n\n--after");
    ZEMPackFile f("text.dat", 2, 7, R);
    char buf[10];
    EXPECT_EQ(f.GetLine(buf, 10, '\n'), 4u);
    EXPECT_STREQ(buf, "ab");
    EXPECT_EQ(f.GetLine(buf, 10, '\n'), 3u);
    EXPECT_STREQ(buf, "cd");
    EXPECT_EQ(f.GetLine(buf, 10, '\n'), 0u);

    ZEMPackFile g("text.dat", 2, 10, R);
    ASSERT_TRUE(g.Seek(3, 0));
    EXPECT_EQ(g.GetLine(buf, 10, '\n'), 4u); // "cd\r\n": the '\r' is not counted
    EXPECT_STREQ(buf, "cd");
    EXPECT_EQ(g.GetLine(buf, 10, '\n'), 2u); // an empty line
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(g.GetLine(buf, 10, '\n'), 0u);

    ZEMString line;
    g.SeekStart();
    EXPECT_EQ(g.GetLine(line, 0xFFFFFFFF, '\n'), 3u);
    EXPECT_STREQ(line, "ab");
    EXPECT_EQ(g.GetLine(line, 2, '\n'), 2u);
    EXPECT_STREQ(line, "cd");
    EXPECT_EQ(g.GetLine(line, 0xFFFFFFFF, '\n'), 2u);
    EXPECT_EQ(line.Length(), 0u);
    EXPECT_EQ(g.GetLine(line, 0xFFFFFFFF, '\n'), 1u);
    EXPECT_EQ(g.GetLine(line, 0xFFFFFFFF, '\n'), 0u);
    EXPECT_EQ(g.GetLine(buf, 1, '\n'), 0u);
}

TEST_F(PackFileTest, PrintInfo) {
    ZEMPackFile f("box.dat", 10, 20, R);
    f.Read32();
    LogCapture log;
    f.PrintInfo();
    const std::string text = log.Text();
    char handle[32];
    ASSERT_EQ(sscanf(text.c_str(), "PackFile info :\nFile  :box.dat\nName  : box.dat\nFILE* : %31s",
                     handle),
              1);
    EXPECT_EQ(text, std::string("PackFile info :\nFile  :box.dat\nName  : box.dat\nFILE* : ") +
                        handle +
                        "\nMode  : 1 (read only)\nState : 1 (OK)\nStart : 10\nPos.  : 14\n"
                        "End   : 20\nEOF   : no\n");
}

TEST_F(PackFileTest, PrintInfoOfAClosedStream) {
    ZEMPackFile f("box.dat", 10, 20, R, "m");
    f.Close();
    LogCapture log;
    f.PrintInfo();
    EXPECT_EQ(log.Text(), "PackFile info :\nFile  :(null)\nName  : (null)\nFILE* : " +
                              zemtest::PointerText(nullptr) +
                              "\n"
                              "Mode  : 0 (error)\nState : 16 (file closed)\nStart : 0\nPos.  : 0\n"
                              "End   : 0\nEOF   : yes\n");
}
