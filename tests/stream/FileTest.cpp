// The disk-file stream: open modes, messages, paths, line reading, the dump.
#include "ZEMTestSupport.h"

#include <zem/core/ZEMLog.h>
#include <zem/stream/ZEMFile.h>
#include <zem/stream/ZEMPackFile.h>

#include <algorithm>
#include <filesystem>
#include <random>
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
    EXPECT_EQ(log.Text(), "File: cannot open missing.dat in mode 'rb'\n"
                          "File: bad open mode (old.bin)\n"
                          "File: open error: file already exists (CREATE) old.bin\n"
                          "File: cannot open nodir/x.bin in mode 'w+b'\n");
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

namespace {

// What a read/write disk file must show: the bytes, the position, the state and the end flag
// (set once a read has run into the end), kept by hand from the rules of the stream.
struct FileModel {
    std::string bytes;
    size_t pos = 0;
    unsigned state = ZEMResFile::ST_OK;
    bool eof = false;

    // Takes n bytes for a read; fewer at the end (state ST_READ_END, end flag set).
    std::string Take(size_t n) {
        if (state != ZEMResFile::ST_OK) return "";
        const std::string got = bytes.substr(std::min(pos, bytes.size()), n);
        pos += got.size();
        if (got.size() < n) {
            state = ZEMResFile::ST_READ_END;
            eof = true;
        }
        return got;
    }
    uint32_t Value(size_t n, bool bigEndian) {
        const std::string got = Take(n);
        if (got.size() < n) return 0;
        uint32_t value = 0;
        for (size_t i = 0; i < n; i++)
            value |= uint32_t(uint8_t(got[bigEndian ? n - 1 - i : i])) << (8 * i);
        return value;
    }
    void Put(const std::string& data) {
        if (state != ZEMResFile::ST_OK) return;
        if (bytes.size() < pos + data.size()) bytes.resize(pos + data.size());
        bytes.replace(pos, data.size(), data);
        pos += data.size();
    }
    // GetLine(buffer, room, '\n'): the line's result and text.
    unsigned Line(unsigned room, std::string& text) {
        text.clear();
        if (state != ZEMResFile::ST_OK || eof) return 0;
        bool consumed = false;
        while (text.size() < room - 1) {
            if (pos >= bytes.size()) {
                eof = true; // a byte was asked for and none came
                break;
            }
            consumed = true;
            const char c = bytes[pos++];
            if (c == '\n') break;
            text += c;
        }
        if (!consumed) return 0;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        return unsigned(text.size() + 1);
    }
};

} // namespace

// Typed reads take their bytes from the runtime's buffer; mixed at random with plain reads, line
// reads, seeks, writes, flushes and position queries over several buffers' worth of bytes, every
// result must be the one the stream's rules give.
TEST_F(FileTest, TypedReadsMixedWithEveryOtherOperation) {
    std::mt19937 random(21);
    FileModel model;
    for (size_t i = 0; i < 3 * 4096 + 123; i++)
        model.bytes += random() % 16 == 0 ? '\n' : char(random());
    WriteFile("data.bin", model.bytes);
    ZEMFile f("data.bin", RW);
    ASSERT_TRUE(f.IsOK());
    for (int step = 0; step < 20000; step++) {
        const unsigned op = random() % 100;
        SCOPED_TRACE(testing::Message() << "step " << step << " op " << op << " pos " << model.pos);
        if (op < 30) {
            ASSERT_EQ(f.Read8(), model.Value(1, false));
        } else if (op < 45) {
            ASSERT_EQ(f.Read32(), model.Value(4, false));
        } else if (op < 55) {
            ASSERT_EQ(f.ReadBE32(), model.Value(4, true));
        } else if (op < 60) {
            ASSERT_EQ(f.ReadBE16(), model.Value(2, true));
        } else if (op < 65) {
            char buf[300];
            const unsigned n = 1 + random() % 300;
            const std::string want = model.Take(n);
            ASSERT_EQ(f.Read(buf, n), want.size());
            ASSERT_EQ(std::string(buf, want.size()), want);
        } else if (op < 72) {
            char buf[64];
            std::string want;
            const unsigned room = 1 + random() % 64;
            ASSERT_EQ(f.GetLine(buf, room, '\n'), model.Line(room, want));
            if (!want.empty()) {
                ASSERT_EQ(std::string(buf, want.size()), want);
            }
        } else if (op < 80) {
            const size_t target = random() % (model.bytes.size() + 1);
            ASSERT_TRUE(f.Seek(int(target), 0));
            model.pos = target;
            model.state = ZEMResFile::ST_OK;
            model.eof = false;
        } else if (op < 85) {
            const std::string data(1 + random() % 9, char('A' + random() % 26));
            ASSERT_EQ(f.Write(data.data(), unsigned(data.size())),
                      model.state == ZEMResFile::ST_OK ? data.size() : 0u);
            model.Put(data);
        } else if (op < 88) {
            f.Flush();
        } else if (model.state == ZEMResFile::ST_OK) {
            ASSERT_EQ(f.GetPos(), model.pos);
        }
        ASSERT_EQ(f.GetState(), model.state);
        ASSERT_EQ(f.Eof(), model.eof);
    }
    f.Close();
    EXPECT_EQ(ReadFile("data.bin"), model.bytes);
}

// The runtime's buffer may hold bytes from before another writer changed the file: reads go on
// into bytes appended meanwhile, and a seek sees a truncated file's new end.
TEST_F(FileTest, TypedReadsFollowAFileThatChangedSize) {
    WriteFile("data.bin", std::string(100, 'a'));
    ZEMFile f("data.bin", R);
    EXPECT_EQ(f.Read32(), 0x61616161u);
    {
        FILE* other = fopen("data.bin", "ab");
        ASSERT_NE(other, nullptr);
        fputs("\x01\x02\x03\x04", other);
        fclose(other);
    }
    for (int i = 1; i < 25; i++)
        ASSERT_EQ(f.Read32(), 0x61616161u) << i;
    EXPECT_EQ(f.ReadBE32(), 0x01020304u);
    EXPECT_EQ(f.Read8(), 0u);
    EXPECT_EQ(f.GetState(), unsigned(ZEMResFile::ST_READ_END));

    std::filesystem::resize_file("data.bin", 10);
    f.SeekEnd();
    EXPECT_EQ(f.GetPos(), 10u);
    ASSERT_TRUE(f.Seek(8, 0));
    EXPECT_EQ(f.Read16(), 0x6161u);
    EXPECT_EQ(f.Read8(), 0u);
    EXPECT_TRUE(f.Eof());
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
    ZEMFile f(nullptr, R);
    LogCapture log;
    f.PrintInfo();
    EXPECT_EQ(log.Text(), "File info : (null)\nFILE* : " + zemtest::PointerText(nullptr) +
                              "\nMode  : 0 (error)\n"
                              "State : 16 (file closed)\nEOF   : yes\n");
}

TEST_F(FileTest, PrintInfoAfterBadMode) {
    ZEMFile f("x.bin", 0);
    LogCapture log;
    f.PrintInfo();
    EXPECT_EQ(log.Text(), "File info : x.bin\nFILE* : " + zemtest::PointerText(nullptr) +
                              "\nMode  : 0 (error)\n"
                              "State : 32 (bad open mode)\nEOF   : yes\n");
}
