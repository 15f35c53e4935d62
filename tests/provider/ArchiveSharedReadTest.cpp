// Members of one archive read through the handle they share: every stream keeps its own position
// and end flag, outlives the archive, and members opened after an edit read the edited file.
#include "ArchiveTestSupport.h"
#include "ZEMTestSupport.h"

#include <zem/core/ZEMLog.h>
#include <zem/provider.h>
#include <zem/stream/ZEMFile.h>
#include <zem/stream/ZEMPackFile.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace archtest;
using zemtest::LogCapture;
using zemtest::ReadFile;
using zemtest::WriteFile;

namespace {

using Members = std::vector<std::pair<std::string, std::string>>;
using Stream = std::unique_ptr<ZEMResFile>;

// n bytes read from stream in one call.
std::string Take(ZEMResFile& stream, unsigned n) {
    std::string bytes(n, '\0');
    bytes.resize(stream.Read(&bytes[0], n));
    return bytes;
}

} // namespace

class ArchiveSharedReadTest : public zemtest::TempDirTest {
protected:
    // The ZEM archive a.zem of the given members, added at once from disk files of their names:
    // their bytes lie back to back from the header on.
    void Build(const Members& members) {
        ASSERT_TRUE(archive.Create("a.zem"));
        std::vector<const char*> paths;
        for (const auto& [name, bytes] : members) {
            WriteFile(name, bytes);
            paths.push_back(name.c_str());
        }
        ASSERT_EQ(archive.AddFiles(paths.data(), nullptr, unsigned(paths.size())), paths.size());
    }
    Stream Open(const char* name) const { return Stream(archive.OpenFile(name)); }

    ZEMArchZEM archive;
};

TEST_F(ArchiveSharedReadTest, InterleavedStreamsReadTheirOwnBytes) {
    // Small members lie in one buffer of the runtime; large ones span several.
    const std::string s1 = Bytes(50, 'a'), s2 = Bytes(70, 'b');
    const std::string big1 = Bytes(9000, 'c'), big2 = Bytes(9000, 'd');
    Build({{"s1", s1}, {"s2", s2}, {"big1", big1}, {"big2", big2}});

    Stream a = Open("s1"), b = Open("s2");
    ASSERT_TRUE(a && b);
    std::string gotA, gotB;
    for (int i = 0; i < 70; ++i) {
        if (i < 50) gotA += char(a->Read8());
        gotB += char(b->Read8());
    }
    EXPECT_EQ(gotA, s1);
    EXPECT_EQ(gotB, s2);
    // Each end flag and state is the stream's own.
    EXPECT_TRUE(a->Eof());
    EXPECT_EQ(a->Read8(), 0u);
    EXPECT_EQ(a->GetState(), unsigned(ZEMResFile::ST_OK));
    EXPECT_TRUE(b->Seek(-10, 2));
    EXPECT_FALSE(b->Eof());
    EXPECT_EQ(Take(*b, 20), s2.substr(60));
    EXPECT_EQ(b->GetState(), unsigned(ZEMResFile::ST_READ_END));
    a->SeekStart();
    EXPECT_TRUE(a->IsOK());
    EXPECT_EQ(Take(*a, 5), s1.substr(0, 5));

    Stream c = Open("big1"), d = Open("big2");
    ASSERT_TRUE(c && d);
    EXPECT_EQ(Take(*c, 1000), big1.substr(0, 1000));
    EXPECT_EQ(Take(*d, 3000), big2.substr(0, 3000));
    EXPECT_EQ(Take(*a, 5), s1.substr(5, 5));
    EXPECT_EQ(Take(*c, 5000), big1.substr(1000, 5000));
    ASSERT_TRUE(d->Seek(-500, 1));
    ASSERT_TRUE(c->Seek(8000, 0));
    EXPECT_EQ(Take(*d, 600), big2.substr(2500, 600));
    EXPECT_EQ(Take(*c, 2000), big1.substr(8000));
    EXPECT_TRUE(c->Eof());
    EXPECT_EQ(d->GetPos(), 3100u);
    EXPECT_EQ(Drain(d.release()), big2.substr(3100));
}

TEST_F(ArchiveSharedReadTest, StreamsOutliveTheArchive) {
    Build({{"x", "hello"}, {"y", "world!"}});
    Stream x = Open("x"), y = Open("y");
    EXPECT_EQ(Take(*x, 2), "he");
    archive.Close();
    EXPECT_EQ(Take(*y, 3), "wor");
    EXPECT_EQ(Take(*x, 10), "llo");
    EXPECT_EQ(Drain(y.release()), "ld!");

    std::unique_ptr<ZEMArchive> other(ZEMArchive::OpenArchive("a.zem"));
    ASSERT_NE(other, nullptr);
    Stream z = Stream(other->OpenFile("y"));
    other.reset();
    EXPECT_EQ(Drain(z.release()), "world!");
}

// A member stream tells the same name, bounds, states and dump as a window opened by name.
TEST_F(ArchiveSharedReadTest, MemberStreamLooksLikeAWindowOpenedByName) {
    Build({{"first", "0123456789"}, {"second", "abcdefghij"}});
    Stream member = Open("second");
    ASSERT_TRUE(member);
    ZEMPackFile* window = dynamic_cast<ZEMPackFile*>(member.get());
    ASSERT_NE(window, nullptr);
    EXPECT_STREQ(window->GetName(), "second");
    EXPECT_EQ(std::string(window->GetFileName()), Path("a.zem"));
    EXPECT_EQ(window->GetStart(), 22u);
    EXPECT_EQ(window->GetEnd(), 32u);
    EXPECT_EQ(window->GetMode(), unsigned(ZEMResFile::READ));
    EXPECT_EQ(window->Write("x", 1), 0u);
    window->Read32();

    LogCapture log;
    window->PrintInfo();
    const std::string text = log.Text();
    const std::string head = "PackFile info :\nFile  :" + Path("a.zem") + "\nName  : second\n";
    ASSERT_EQ(text.compare(0, head.size(), head), 0) << text;
    char handle[32];
    ASSERT_EQ(sscanf(text.c_str() + head.size(), "FILE* : %31s", handle), 1);
    EXPECT_EQ(text, head + "FILE* : " + handle +
                        "\nMode  : 1 (read only)\nState : 1 (OK)\nStart : 22\nPos.  : 26\n"
                        "End   : 32\nEOF   : no\n");
    window->SeekEnd();
    EXPECT_EQ(window->GetState(), unsigned(ZEMResFile::ST_SEEK_ERROR));
    EXPECT_TRUE(window->Eof());
}

// Hostile records: a member running past the end of the file, or starting at its end, is marked
// damaged when the archive opens and does not open; the other members do.
TEST_F(ArchiveSharedReadTest, MemberRangesAreCheckedAgainstTheFile) {
    const std::string data = "ABCDEFGH";
    const std::string records =
        ZemRecord("ok", 4, 12, 0) + ZemRecord("long", 1000, 16, 0) + ZemRecord("after", 5, 152, 0);
    const std::string file = "ZEMA" + Le32(20) + Le32(3) + data + records;
    ASSERT_EQ(file.size(), 152u);
    WriteFile("h.zem", file);
    ASSERT_TRUE(archive.Open("h.zem"));
    EXPECT_NE(archive.Damage(1), "");
    EXPECT_NE(archive.Damage(2), "");
    EXPECT_EQ(archive.OpenFile("long"), nullptr);
    EXPECT_EQ(archive.OpenFile("after"), nullptr);
    EXPECT_EQ(Drain(archive.OpenFile("ok")), "ABCD");
}

// Members read the version of the file that the archive opened, even once it is gone.
TEST_F(ArchiveSharedReadTest, MembersOutliveTheArchiveFile) {
    Build({{"x", "hello"}});
    std::remove("a.zem");
    EXPECT_EQ(Drain(archive.OpenFile("x")), "hello");
}

// Members opened after an edit read the file as edited, although the shared handle had the old
// file buffered whole; a stream opened before keeps reading its own member.
TEST_F(ArchiveSharedReadTest, MembersOpenedAfterAnEditReadTheNewFile) {
    const std::string a = Bytes(40, 'a'), b = Bytes(60, 'b'), c = Bytes(30, 'c');
    const std::string longer = Bytes(90, 'n');
    struct Case {
        const char* what;
        std::function<bool(ZEMArchive&)> edit;
        Members after; // member names and bytes read through the archive after the edit
    } cases[] = {
        // The new member is written where the directory was.
        {"add",
         [](ZEMArchive& arch) { return arch.AddFile("c", nullptr) == 2; },
         {{"a", a}, {"b", b}, {"c", c}}},
        {"rename",
         [](ZEMArchive& arch) { return arch.RenameFile(1, "renamed"); },
         {{"a", a}, {"renamed", b}}},
        {"remove", [](ZEMArchive& arch) { return arch.RemoveFile(0); }, {{"b", b}}},
        {"update",
         [](ZEMArchive& arch) { return arch.UpdateFile(0, "longer"); },
         {{"a", longer}, {"b", b}}},
        {"edit by another object, then open again",
         [](ZEMArchive& arch) {
             ZEMArchZEM other;
             return other.Open("a.zem") && other.RemoveFile(0) && arch.Open("a.zem");
         },
         {{"b", b}}},
        // The caller changes bytes of its own, then has the directory written.
        {"directory written by the caller",
         [](ZEMArchive& arch) {
             ZEMFile file("a.zem", ZEMResFile::READ | ZEMResFile::WRITE);
             return file.Seek(12 + 40, 0) && file.Write("XYZ", 3) == 3 && arch.WriteDirectory(file);
         },
         {{"a", a}, {"b", "XYZ" + b.substr(3)}}},
    };
    WriteFile("c", c);
    WriteFile("longer", longer);
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        std::remove("a.zem");
        Build({{"a", a}, {"b", b}});
        Stream before = Open("b");
        ASSERT_TRUE(before);
        EXPECT_EQ(Take(*before, 10), b.substr(0, 10));
        ASSERT_TRUE(test.edit(archive));
        for (const auto& [name, bytes] : test.after)
            EXPECT_EQ(Drain(archive.OpenFile(name.c_str())), bytes) << name;
        EXPECT_EQ(Drain(before.release()), b.substr(10));
    }
}

// Rebuilds replace the archive while other objects hold it open (Windows lets a file be renamed
// but not be replaced while a handle holds it): those keep reading the old file until they open
// the archive again, and nothing is left beside it once the last of them lets go.
TEST_F(ArchiveSharedReadTest, RebuildsReplaceAnArchiveThatOthersHoldOpen) {
    const std::string a = Bytes(40, 'a'), b = Bytes(60, 'b'), c = Bytes(30, 'c');
    Build({{"a", a}, {"b", b}});
    WriteFile("c", c);
    ZEMArchZEM other;
    ASSERT_TRUE(other.Open("a.zem"));
    Stream held = Stream(other.OpenFile("b"));
    ASSERT_TRUE(held);
    EXPECT_EQ(Take(*held, 10), b.substr(0, 10));
    // Twice: the second rebuild replaces a file that this object holds, while the first one's
    // old file still waits for its holders.
    ASSERT_TRUE(archive.UpdateFile(0, "c")) << archive.LastError();
    ASSERT_TRUE(archive.RemoveFile(1)) << archive.LastError();
    ASSERT_EQ(archive.NbFiles(), 1u);
    EXPECT_EQ(Drain(archive.OpenFile("a")), c);
    EXPECT_EQ(Drain(held.release()), b.substr(10));
    EXPECT_EQ(Drain(other.OpenFile("b")), b);
    // The other object edits the archive that this one holds, after reading it again.
    ASSERT_TRUE(other.Open("a.zem"));
    ASSERT_TRUE(other.UpdateFile(0, "a")) << other.LastError();
    EXPECT_EQ(Drain(archive.OpenFile("a")), c);
    ASSERT_TRUE(archive.Open("a.zem"));
    EXPECT_EQ(Drain(archive.OpenFile("a")), a);
    archive.Close();
    other.Close();
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("."))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "a.zem", "b", "c"}));
}

// A holder that does not share deletion (the C runtime's own handles on Windows) keeps the
// archive from being replaced there: the rebuild fails whole and the archive stays as it was.
TEST_F(ArchiveSharedReadTest, ARebuildThatCannotReplaceTheArchiveChangesNothing) {
    const std::string a = Bytes(40, 'a'), b = Bytes(60, 'b');
    Build({{"a", a}, {"b", b}});
    const std::string before = ReadFile("a.zem");
    {
        std::ifstream holder("a.zem", std::ios::binary);
        ASSERT_TRUE(holder);
        const bool removed = archive.RemoveFile(0);
#ifdef _WIN32
        EXPECT_FALSE(removed);
        EXPECT_STRNE(archive.LastError(), "");
        EXPECT_EQ(ReadFile("a.zem"), before);
        ASSERT_EQ(archive.NbFiles(), 2u);
        EXPECT_EQ(Drain(archive.OpenFile("a")), a);
        EXPECT_EQ(Drain(archive.OpenFile("b")), b);
#else
        // POSIX replaces a file whatever holds it.
        EXPECT_TRUE(removed) << archive.LastError();
#endif
    }
    // Once the holder let go, a rebuild goes through.
    ASSERT_TRUE(archive.Compact()) << archive.LastError();
    EXPECT_EQ(Drain(archive.OpenFile("b")), b);
    archive.Close();
    for (const auto& entry : std::filesystem::directory_iterator("."))
        EXPECT_EQ(entry.path().filename().string().rfind(".zem-", 0), std::string::npos);
}

TEST_F(ArchiveSharedReadTest, LinesAndTypedValuesThroughSharedStreams) {
    Build({{"t1", "ab\ncd\r\nlast"},
           {"t2", "xy\n\nzz"},
           {"n", std::string("\x12\x34\x56\x78\x9A\xBC\xDE\xF0", 8)}});
    Stream t1 = Open("t1"), t2 = Open("t2"), n = Open("n");
    ASSERT_TRUE(t1 && t2 && n);
    char buf[16];
    ZEMString line;
    EXPECT_EQ(t1->GetLine(buf, sizeof buf, '\n'), 4u);
    EXPECT_STREQ(buf, "ab");
    EXPECT_EQ(t2->GetLine(line, 0xFFFFFFFF, '\n'), 3u);
    EXPECT_STREQ(line, "xy");
    EXPECT_EQ(n->Read32(), 0x78563412u);
    EXPECT_EQ(t1->GetLine(line, 0xFFFFFFFF, '\n'), 4u);
    EXPECT_STREQ(line, "cd");
    EXPECT_EQ(t2->GetLine(buf, sizeof buf, '\n'), 2u); // an empty line
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(n->ReadBE16(), 0x9ABCu);
    EXPECT_EQ(t1->GetLine(buf, 3, '\n'), 3u); // in pieces
    EXPECT_STREQ(buf, "la");
    EXPECT_EQ(t2->GetLine(buf, sizeof buf, '\n'), 3u);
    EXPECT_STREQ(buf, "zz");
    EXPECT_EQ(t1->GetLine(buf, sizeof buf, '\n'), 3u);
    EXPECT_STREQ(buf, "st");
    EXPECT_EQ(n->Read32(), 0u); // two bytes left: a short read
    EXPECT_EQ(n->GetState(), unsigned(ZEMResFile::ST_READ_END));
    EXPECT_EQ(t1->GetLine(buf, sizeof buf, '\n'), 0u);
    EXPECT_EQ(t2->GetLine(line, 0xFFFFFFFF, '\n'), 0u);
    EXPECT_TRUE(t1->Eof() && t2->Eof() && n->Eof());
}

// Streams of one archive used on two threads at once still read their own bytes.
TEST_F(ArchiveSharedReadTest, StreamsOnTwoThreads) {
    const std::string one = Bytes(3000, '1'), two = Bytes(3000, '2');
    Build({{"one", one}, {"two", two}});
    std::atomic<int> ready{0};
    auto readMany = [&ready](ZEMResFile* stream, const std::string* expected, int* wrong) {
        // Both threads start reading together.
        ++ready;
        while (ready < 2) {
        }
        for (int pass = 0; pass < 1000; ++pass) {
            stream->SeekStart();
            std::string got;
            char chunk[7];
            while (unsigned n = stream->Read(chunk, sizeof chunk))
                got.append(chunk, n);
            if (got != *expected) ++*wrong;
        }
    };
    Stream a = Open("one"), b = Open("two");
    int wrongA = 0, wrongB = 0;
    std::thread first(readMany, a.get(), &one, &wrongA);
    std::thread second(readMany, b.get(), &two, &wrongB);
    first.join();
    second.join();
    EXPECT_EQ(wrongA, 0);
    EXPECT_EQ(wrongB, 0);
}

// A window opened by name with write access still writes the container's bytes.
TEST_F(ArchiveSharedReadTest, WriteWindowOnTheArchiveFile) {
    Build({{"x", "hello"}, {"y", "world"}});
    ZEMPackFile window("a.zem", 17, 22, ZEMResFile::READ | ZEMResFile::WRITE, "y");
    ASSERT_TRUE(window.IsOK());
    EXPECT_EQ(window.Write("WORLD!", 6), 5u);
    EXPECT_EQ(window.GetState(), unsigned(ZEMResFile::ST_WRITE_END));
    window.Flush();
    EXPECT_EQ(ReadFile("a.zem").substr(12, 10), "helloWORLD");
    EXPECT_EQ(Drain(archive.OpenFile("y")), "WORLD");
}
