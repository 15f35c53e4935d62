#include "ArchiveTestSupport.h"
#include "ZEMTestSupport.h"

#include <zem/provider.h>

#if ZEM_TEST_PHYSFS
#include <physfs.h>
#endif

#include <filesystem>
#include <map>

using namespace archtest;
using zemtest::ReadFile;
using zemtest::WriteFile;

namespace {

constexpr unsigned NO_INDEX = 0xFFFFFFFFu;

ZEMArchive::ArchiveEntry& Entry(ZEMArchive& arch, unsigned index) {
    return *static_cast<ZEMArchive::ArchiveEntry*>(arch.GetItem(index));
}

#if ZEM_TEST_PHYSFS
// What PhysicsFS, which reads PAK files on its own, finds in an archive: every file and its bytes.
std::map<std::string, std::string> ReadWithPhysFS(const std::string& path) {
    std::map<std::string, std::string> files;
    if (!PHYSFS_init(nullptr)) return files;
    if (PHYSFS_mount(path.c_str(), nullptr, 0)) {
        char** names = PHYSFS_enumerateFiles("");
        for (char** name = names; name && *name; ++name) {
            PHYSFS_File* file = PHYSFS_openRead(*name);
            std::string bytes(size_t(PHYSFS_fileLength(file)), '\0');
            PHYSFS_readBytes(file, bytes.data(), bytes.size());
            PHYSFS_close(file);
            files[*name] = bytes;
        }
        PHYSFS_freeList(names);
    }
    PHYSFS_deinit();
    return files;
}

#endif

} // namespace

class ArchivePAKTest : public zemtest::TempDirTest {
protected:
    ZEMArchPAK arch;
};

TEST_F(ArchivePAKTest, CreateAndAddWriteTheQuakeLayout) {
    ASSERT_TRUE(arch.Create("a.pak"));
    EXPECT_EQ(ReadFile("a.pak"), "PACK" + Le32(12) + Le32(0));
    EXPECT_STREQ(arch.FormatInfo(), "Id Software Quake 1/2 Archive.");
    std::filesystem::create_directory("maps");
    WriteFile("maps/e1m1.bsp", "map!");
    ASSERT_EQ(arch.AddFile("maps\\e1m1.bsp", nullptr), 0u);
    // A name of exactly 56 bytes fills its field; a longer one is refused, never cut.
    std::string sixty(56, 's');
    WriteFile("x", "xy");
    EXPECT_EQ(arch.AddFile("x", (sixty + "sss").c_str()), NO_INDEX);
    ASSERT_EQ(arch.AddFile("x", sixty.c_str()), 1u);
    EXPECT_EQ(arch.FileDate(0), 0ul);
    // The second add left the first directory as dead space.
    EXPECT_EQ(ReadFile("a.pak"),
              "PACK" + Le32(82) + Le32(128) + "map!" + PakRecord("e1m1.bsp", 12, 4) + "xy" +
                  PakRecord("e1m1.bsp", 12, 4) + PakRecord(sixty.substr(0, 56), 80, 2));
    // A name that fills its field is read whole.
    ZEMArchPAK again;
    ASSERT_TRUE(again.Open("a.pak"));
    EXPECT_EQ(std::string(again.FileName(1)), sixty.substr(0, 56));
    EXPECT_EQ(again.FindFile(sixty.substr(0, 56).c_str()), 1u);
}

TEST_F(ArchivePAKTest, OpenReadsWholeRecordsWithinTheFile) {
    struct Case {
        const char* what;
        std::string bytes;
        bool opens;
        unsigned members;
    } cases[] = {
        {"empty archive", "PACK" + Le32(12) + Le32(0), true, 0},
        {"directory at 0, length 0", "PACK" + Le32(0) + Le32(0), true, 0},
        {"remainder ignored",
         "PACK" + Le32(16) + Le32(130) + "abcd" + PakRecord("a", 12, 2) + PakRecord("b", 14, 2) +
             "zz",
         true, 2},
        {"directory past the end", "PACK" + Le32(16) + Le32(64) + "abcd", false, 0},
        {"offset past the end", "PACK" + Le32(100) + Le32(0), false, 0},
        {"length overflows", "PACK" + Le32(12) + Le32(0xFFFFFFC0u) + PakRecord("a", 0, 0), false,
         0},
        {"header cut short", "PACK" + Le32(12), false, 0},
        {"ZEM magic", "ZEMA" + Le32(12) + Le32(0), false, 0},
    };
    for (const Case& c : cases) {
        WriteFile("t.pak", c.bytes);
        ZEMArchPAK fresh;
        ASSERT_EQ(fresh.Open("t.pak"), c.opens) << c.what;
        EXPECT_EQ(fresh.NbFiles(), c.members) << c.what;
    }
}

// Another program put the directory before the member data: new members go behind the last one.
TEST_F(ArchivePAKTest, DirectoryBeforeTheDataIsKeptApart) {
    WriteFile("t.pak", "PACK" + Le32(12) + Le32(128) + PakRecord("one", 140, 3) +
                           PakRecord("two", 143, 4) + "111" + "2222");
    ASSERT_TRUE(arch.Open("t.pak"));
    EXPECT_EQ(Member(arch, 1), "2222");
    WriteFile("three", "33333");
    ASSERT_EQ(arch.AddFile("three", nullptr), 2u);
    EXPECT_EQ(Entry(arch, 2).offset, 147u);
    EXPECT_EQ(ReadFile("t.pak").substr(4, 8), Le32(152) + Le32(192));
    ZEMArchPAK again;
    ASSERT_TRUE(again.Open("t.pak"));
    EXPECT_EQ(Member(again, 0), "111");
    EXPECT_EQ(Member(again, 1), "2222");
    EXPECT_EQ(Member(again, 2), "33333");
}

// A record that claims bytes past the end of the file, or in the header, makes the file refused
// as damaged, with the member named.
TEST_F(ArchivePAKTest, RecordsOutsideTheFileAreMarkedDamaged) {
    for (const auto& [record, says] :
         {std::pair<std::string, const char*>{PakRecord("far", 100000, 50), "offset 100000, 50"},
          {PakRecord("tail", 143, 3), "offset 143, 3"},
          {PakRecord("head", 4, 4), "offset 4, 4"}}) {
        WriteFile("t.pak",
                  "PACK" + Le32(16) + Le32(128) + "abcd" + PakRecord("ok", 12, 4) + record);
        ZEMArchPAK fresh;
        ASSERT_TRUE(fresh.Open("t.pak")) << says;
        EXPECT_EQ(fresh.Damage(1), "its bytes (" + std::string(says) +
                                       " bytes) do not lie inside the file past its header");
        EXPECT_EQ(fresh.Damage(0), "");
    }
    // The directory itself must lie past the header.
    WriteFile("t.pak", "PACK" + Le32(4) + Le32(64) + PakRecord("x", 12, 1));
    EXPECT_FALSE(arch.Open("t.pak"));
    EXPECT_NE(std::string(arch.LastError()).find("overlaps the header"), std::string::npos);
}

// Removing and replacing on a file laid out by another program give a sound, packed archive.
TEST_F(ArchivePAKTest, EditingAnotherLayoutPacksTheMembers) {
    WriteFile("t.pak", "PACK" + Le32(12) + Le32(192) + PakRecord("one", 221, 3) +
                           PakRecord("two", 208, 4) + PakRecord("three", 212, 5) + "gap!" + "2222" +
                           "33333" + "...." + "111");
    ASSERT_TRUE(arch.Open("t.pak"));
    WriteFile("new", "NEW");
    ASSERT_TRUE(arch.UpdateFile(2, "new"));
    ASSERT_TRUE(arch.RemoveFile(1));
    EXPECT_EQ(ReadFile("t.pak"), "PACK" + Le32(18) + Le32(128) + "111NEW" +
                                     PakRecord("one", 12, 3) + PakRecord("three", 15, 3));
}

TEST_F(ArchivePAKTest, EmptyMembersAreListedButCannotBeOpened) {
    WriteFile("t.pak", "PACK" + Le32(14) + Le32(128) + "ab" + PakRecord("empty", 14, 0) +
                           PakRecord("ab", 12, 2));
    ASSERT_TRUE(arch.Open("t.pak"));
    ASSERT_EQ(arch.NbFiles(), 2u);
    EXPECT_EQ(arch.OpenFile("empty"), nullptr);
    EXPECT_TRUE(arch.ExtractFile(0, "out"));
    EXPECT_TRUE(std::filesystem::exists("out"));
    EXPECT_EQ(ReadFile("out"), "");
    EXPECT_EQ(Drain(arch.OpenFile("ab")), "ab");
}

TEST_F(ArchivePAKTest, UpdateOfTheFirstMemberMovesTheOthers) {
    ASSERT_TRUE(arch.Create("a.pak"));
    for (const char* name : {"a", "b", "c"}) {
        WriteFile(name, Bytes(20, name[0]));
        ASSERT_NE(arch.AddFile(name, nullptr), NO_INDEX);
    }
    WriteFile("longer", Bytes(30, 'L'));
    ASSERT_TRUE(arch.UpdateFile(0, "longer"));
    EXPECT_EQ(Entry(arch, 0).offset, 12u);
    EXPECT_EQ(Entry(arch, 1).offset, 42u);
    EXPECT_EQ(Entry(arch, 2).offset, 62u);
    EXPECT_EQ(arch.FileDate(0), 0ul);
    ZEMArchPAK again;
    ASSERT_TRUE(again.Open("a.pak"));
    EXPECT_EQ(Member(again, 0), Bytes(30, 'L'));
    EXPECT_EQ(Member(again, 2), Bytes(20, 'c'));
}

// A PAK file written and edited here reads the same in PhysicsFS.
TEST_F(ArchivePAKTest, PhysicsFSReadsWhatWeWrite) {
#if !ZEM_TEST_PHYSFS
    GTEST_SKIP()
        << "built without PhysicsFS (none for Windows, none for i386 beside the native one)";
#else
    std::map<std::string, std::string> expected;
    ASSERT_TRUE(arch.Create("game.pak"));
    for (int i = 0; i < 12; ++i) {
        std::string name = "file" + std::to_string(i) + ".dat";
        WriteFile(name, Bytes(100 + i * 997, char(i)));
        ASSERT_EQ(arch.AddFile(name.c_str(), nullptr), unsigned(i));
        expected[name] = Bytes(100 + i * 997, char(i));
    }
    EXPECT_EQ(ReadWithPhysFS(Path("game.pak")), expected);

    ASSERT_TRUE(arch.RenameFile(3, "renamed.bin"));
    expected["renamed.bin"] = expected["file3.dat"];
    expected.erase("file3.dat");
    ASSERT_TRUE(arch.RemoveFile(5));
    expected.erase("file5.dat");
    WriteFile("update", Bytes(5000, 'u'));
    ASSERT_TRUE(arch.UpdateFile(0, "update"));
    expected["file0.dat"] = Bytes(5000, 'u');
    WriteFile("late", "added after the edits");
    ASSERT_NE(arch.AddFile("late", "late.txt"), NO_INDEX);
    expected["late.txt"] = "added after the edits";
    EXPECT_EQ(ReadWithPhysFS(Path("game.pak")), expected);

    // And we read every member as PhysicsFS does.
    std::unique_ptr<ZEMArchive> reopened(ZEMArchive::OpenArchive("game.pak"));
    ASSERT_NE(reopened, nullptr);
    std::map<std::string, std::string> ours;
    for (unsigned i = 0; i < reopened->NbFiles(); ++i) {
        ours[reopened->FileName(i)] = Member(*reopened, i);
    }
    EXPECT_EQ(ours, expected);
#endif
}
