// The disk-file stream: open modes, messages, paths, line reading, the dump.
#include "ZEMTestSupport.h"

#include <zem/core/ZEMLog.h>
#include <zem/stream/ZEMFile.h>
#include <zem/stream/ZEMPackFile.h>

#include <filesystem>
#include <sys/stat.h>

using zemtest::LogCapture;
using zemtest::ReadFile;
using zemtest::WriteFile;

class FileTest : public zemtest::TempDirTest {};

namespace {

const unsigned R = ZEMResFile::READ;
const unsigned W = ZEMResFile::WRITE;
const unsigned RW = ZEMResFile::READ | ZEMResFile::WRITE;

struct OpenCase {
    const char* what;
    unsigned mode;
    bool exists;         // "data.bin" holds "old" before the open
    bool ok;             // Open's result
    unsigned state;      // state after the open
    const char* written; // written after the open (when ok)
    const char* after;   // contents after closing; null: the file does not exist
};

const OpenCase OPEN_CASES[] = {
    {"read missing", R, false, false, ZEMResFile::ST_OPEN_ERROR, "", nullptr},
    {"read existing", R, true, true, ZEMResFile::ST_OK, "", "old"},
    {"write empties", W, true, true, ZEMResFile::ST_OK, "new", "new"},
    {"write creates", W, false, true, ZEMResFile::ST_OK, "new", "new"},
    {"write appends", W | ZEMResFile::APPEND, true, true, ZEMResFile::ST_OK, "+", "old+"},
    {"read/write keeps", RW, true, true, ZEMResFile::ST_OK, "N", "Nld"},
    {"read/write creates", RW, false, true, ZEMResFile::ST_OK, "new", "new"},
    {"read/write truncate", RW | ZEMResFile::TRUNCATE, true, true, ZEMResFile::ST_OK, "N", "N"},
    {"read/write append", RW | ZEMResFile::APPEND, true, true, ZEMResFile::ST_OK, "+", "old+"},
    {"create existing", W | ZEMResFile::CREATE, true, false, ZEMResFile::ST_OPEN_ERROR, "", "old"},
    {"create missing", W | ZEMResFile::CREATE, false, true, ZEMResFile::ST_OK, "new", "new"},
    {"read/write create existing", RW | ZEMResFile::CREATE, true, false, ZEMResFile::ST_OPEN_ERROR,
     "", "old"},
    {"read create ignored", R | ZEMResFile::CREATE, true, true, ZEMResFile::ST_OK, "", "old"},
    {"access 0", 0, true, false, ZEMResFile::ST_BAD_MODE, "", "old"},
    {"options only", ZEMResFile::TRUNCATE | ZEMResFile::APPEND, true, false,
     ZEMResFile::ST_BAD_MODE, "", "old"},
};

bool Exists(const char* path) {
    struct stat st;
    return stat(path, &st) == 0;
}

} // namespace

TEST_F(FileTest, OpenModes) {
    for (const OpenCase& c : OPEN_CASES) {
        SCOPED_TRACE(c.what);
        std::remove("data.bin");
        if (c.exists) WriteFile("data.bin", "old");
        {
            ZEMFile f("data.bin", c.mode);
            EXPECT_EQ(f.IsOK(), c.ok);
            EXPECT_EQ(f.GetState(), c.state);
            EXPECT_EQ(f.GetMode(), c.mode & 3);
            ASSERT_NE(f.GetName(), nullptr); // kept until the next Close, even after a failure
            EXPECT_STREQ(f.GetName(), "data.bin");
            const unsigned n = unsigned(strlen(c.written));
            if (n) {
                EXPECT_EQ(f.Write(c.written, n), n);
            }
        }
        if (c.after) {
            EXPECT_EQ(ReadFile("data.bin"), c.after);
        } else {
            EXPECT_FALSE(Exists("data.bin"));
        }
    }
}

TEST_F(FileTest, AppendWritesGoToTheEndAfterSeeks) {
    WriteFile("data.bin", "abc");
    ZEMFile f("data.bin", RW | ZEMResFile::APPEND);
    ASSERT_TRUE(f.IsOK());
    char buf[4] = {};
    EXPECT_EQ(f.Read(buf, 2), 2u);
    EXPECT_STREQ(buf, "ab");
    ASSERT_TRUE(f.Seek(0, 0));
    EXPECT_TRUE(f.Write8('d'));
    f.Flush();
    EXPECT_EQ(ReadFile("data.bin"), "abcd");
}

TEST_F(FileTest, OpenFailuresAreLoggedAtDebugLevelOnly) {
    WriteFile("old.bin", "x");
    LogCapture log;
    {
        ZEMFile missing("missing.dat", R);
        ZEMFile bad("old.bin", 0);
        ZEMFile create("old.bin", W | ZEMResFile::CREATE);
    }
    EXPECT_EQ(log.Text(), "");
    ZEM::SetLogLevel(200);
    {
        ZEMFile missing("missing.dat", R);
        ZEMFile bad("old.bin", 0);
        ZEMFile create("old.bin", W | ZEMResFile::CREATE);
        ZEMFile dir("nodir/x.bin", RW);
    }
    EXPECT_EQ(log.Text(), "File: Can not open missing.dat in mode 'rb'\n"
                          "File: bad open mode (old.bin)\n"
                          "File: open error: file already exists (CREATE) old.bin\n"
                          "File: Can not open nodir/x.bin in mode 'w+b'\n");
}

TEST_F(FileTest, FailedOpenRefusesTransfers) {
    ZEMFile f("missing.dat", R);
    char buf[4];
    EXPECT_EQ(f.Read(buf, 4), 0u);
    EXPECT_EQ(f.Read32(), 0u);
    EXPECT_FALSE(f.Seek(0, 0));
    EXPECT_EQ(f.GetState(), unsigned(ZEMResFile::ST_OPEN_ERROR));
    EXPECT_EQ(f.GetPos(), 0u);
    EXPECT_FALSE(f.Eof());
}

TEST_F(FileTest, DirectoryIsNoFileToOpen) {
    ASSERT_TRUE(std::filesystem::create_directory("folder"));
    for (unsigned mode : {R, RW}) {
        ZEMFile f("folder", mode);
        EXPECT_EQ(f.GetState(), unsigned(ZEMResFile::ST_OPEN_ERROR)) << mode;
    }
    ZEMPackFile window("folder", 0, 0xFFFFFFFF, R);
    EXPECT_FALSE(window.IsOK());
}

TEST_F(FileTest, NullOrEmptyNameLeavesAnOpenFileOpen) {
    WriteFile("data.bin", "abc");
    ZEMFile f("data.bin", R);
    EXPECT_FALSE(f.Open(nullptr, R));
    EXPECT_FALSE(f.Open("", R));
    EXPECT_TRUE(f.IsOK());
    EXPECT_EQ(f.Read8(), 'a');

    ZEMFile none(nullptr, R);
    EXPECT_EQ(none.GetState(), unsigned(ZEMResFile::ST_CLOSED));
    EXPECT_TRUE(none.Open("data.bin", R)); // a stream can be reopened
    EXPECT_EQ(none.Read8(), 'a');
}

TEST_F(FileTest, BackslashAndSlashPathsOpenTheSameFile) {
    ASSERT_TRUE(std::filesystem::create_directory("sub"));
    {
        ZEMFile f("sub\\x.dat", W);
        ASSERT_TRUE(f.IsOK());
        EXPECT_TRUE(f.Write32(0x01020304));
    }
    EXPECT_EQ(ReadFile("sub/x.dat"), "\x04\x03\x02\x01");
    ZEMFile f("sub/x.dat", R);
    EXPECT_EQ(f.ReadBE32(), 0x04030201u);
    EXPECT_STREQ(f.GetName(), "sub/x.dat");
}

TEST_F(FileTest, SeeksAndEndFlag) {
    WriteFile("data.bin", "0123456789");
    ZEMFile f("data.bin", R);
    EXPECT_FALSE(f.Eof());
    ASSERT_TRUE(f.Seek(-3, 2));
    EXPECT_EQ(f.GetPos(), 7u);
    ASSERT_TRUE(f.Seek(1, 1));
    EXPECT_EQ(f.Read8(), '8');
    EXPECT_FALSE(f.Seek(-100, 1));
    EXPECT_EQ(f.GetState(), unsigned(ZEMResFile::ST_SEEK_ERROR));
    EXPECT_EQ(f.Read8(), 0);
    EXPECT_FALSE(f.Seek(0, 7)); // not an origin
    f.SeekEnd();
    EXPECT_TRUE(f.IsOK());
    EXPECT_EQ(f.GetPos(), 10u);
    EXPECT_FALSE(f.Eof()); // nothing has run into the end yet
    char buf[2];
    EXPECT_EQ(f.Read(buf, 1), 0u);
    EXPECT_TRUE(f.Eof());
    f.SeekStart();
    EXPECT_FALSE(f.Eof());
    f.Close();
    EXPECT_FALSE(f.Eof()); // no handle, although the end flag is set
}

TEST_F(FileTest, GetLineExamples) {
    WriteFile("a.txt", "abc\r\ndef");
    ZEMFile a("a.txt", R);
    char buf[10];
    EXPECT_EQ(a.GetLine(buf, 10, '\n'), 4u);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(a.GetLine(buf, 10, '\n'), 4u);
    EXPECT_STREQ(buf, "def");
    EXPECT_TRUE(a.Eof());
    EXPECT_EQ(a.GetLine(buf, 10, '\n'), 0u);

    WriteFile("b.txt", "abcd\n");
    ZEMFile b("b.txt", R);
    EXPECT_EQ(b.GetLine(buf, 3, '\n'), 3u);
    EXPECT_STREQ(buf, "ab");
    EXPECT_EQ(b.GetLine(buf, 3, '\n'), 3u);
    EXPECT_STREQ(buf, "cd");
    EXPECT_EQ(b.GetLine(buf, 3, '\n'), 1u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(b.GetLine(buf, 3, '\n'), 0u);
    b.SeekStart();
    EXPECT_EQ(b.GetLine(buf, 1, '\n'), 0u); // no room: nothing is read
    EXPECT_EQ(b.GetLine(buf, 0, '\n'), 0u);
    EXPECT_EQ(b.GetLine(static_cast<char*>(nullptr), 5, '\n'), 0u);
    EXPECT_EQ(b.GetPos(), 0u);

    WriteFile("c.txt", "ab\r\n\n");
    ZEMFile c("c.txt", R);
    ZEMString line;
    EXPECT_EQ(c.GetLine(line, 0xFFFFFFFF, '\n'), 4u);
    EXPECT_STREQ(line, "ab");
    EXPECT_EQ(c.GetLine(line, 0xFFFFFFFF, '\n'), 1u);
    EXPECT_EQ(line.Length(), 0u);
    EXPECT_EQ(c.GetLine(line, 0xFFFFFFFF, '\n'), 0u);
}

TEST_F(FileTest, WriteOnlyAndReadOnlyRefuseTheOtherWay) {
    WriteFile("data.bin", "abc");
    ZEMFile r("data.bin", R);
    EXPECT_EQ(r.Write("x", 1), 0u);
    EXPECT_FALSE(r.Write8('x'));
    EXPECT_TRUE(r.IsOK());
    ZEMFile w("out.bin", W);
    char buf[4];
    EXPECT_EQ(w.Read(buf, 1), 0u);
    EXPECT_EQ(w.GetLine(buf, 4, '\n'), 0u);
    EXPECT_TRUE(w.IsOK());
}

TEST_F(FileTest, ReadAfterWriteOnOneHandle) {
    ZEMFile f("data.bin", RW);
    ASSERT_TRUE(f.IsOK());
    EXPECT_TRUE(f.WriteBE32(0xCAFEBABE));
    f.SeekStart();
    EXPECT_EQ(f.Read32(), 0xBEBAFECAu);
    EXPECT_EQ(f.GetPos(), 4u);
}

TEST_F(FileTest, PrintInfo) {
    WriteFile("data.bin", "ab");
    ZEMFile f("data.bin", R);
    char buf[4];
    f.Read(buf, 3);
    LogCapture log;
    f.PrintInfo();
    char handle[32];
    // The handle is printed as %p; take it from the dump's own second line.
    const std::string text = log.Text();
    ASSERT_EQ(sscanf(text.c_str(), "File info : data.bin\nFILE* : %31s", handle), 1);
    EXPECT_EQ(text, std::string("File info : data.bin\nFILE* : ") + handle +
                        "\nMode  : 1 (read only)\nState : 7 (read at end)\nEOF   : yes\n");
}

TEST_F(FileTest, PrintInfoOfAClosedStream) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows runtime prints a null %p as zeros, not (nil)";
#else
    ZEMFile f(nullptr, R);
    LogCapture log;
    f.PrintInfo();
    EXPECT_EQ(log.Text(), "File info : (null)\nFILE* : (nil)\nMode  : 0 (error)\n"
                          "State : 16 (file closed)\nEOF   : yes\n");
#endif
}

TEST_F(FileTest, PrintInfoAfterBadMode) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows runtime prints a null %p as zeros, not (nil)";
#else
    ZEMFile f("x.bin", 0);
    LogCapture log;
    f.PrintInfo();
    EXPECT_EQ(log.Text(), "File info : x.bin\nFILE* : (nil)\nMode  : 0 (error)\n"
                          "State : 32 (bad open mode)\nEOF   : yes\n");
#endif
}
