#include "ArchiveTestSupport.h"
#include "ZEMTestSupport.h"

#include <zem/core/ZEMLog.h>
#include <zem/provider.h>

#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace archtest;
using zemtest::ReadFile;
using zemtest::WriteFile;

namespace {

constexpr unsigned NO_INDEX = 0xFFFFFFFFu;

} // namespace

class ArchiveTest : public zemtest::TempDirTest {};

TEST_F(ArchiveTest, FormatsAreKnownByTheirFirstBytes) {
    struct Case {
        const char* what;
        std::string bytes;
        int format;
    } cases[] = {
        {"empty", "", 0},
        {"three bytes", "ZEM", 0},
        {"ZEM", "ZEMA" + Le32(12) + Le32(0), 1},
        {"PAK", "PACK" + Le32(12) + Le32(0), 2},
        {"rass", "rass....", 7},
        {"BIFF", "BIFFV1  rest", 4},
        {"BIFF without its blanks", "BIFFV1", 0},
        {"ZIP", "PK\x03\x04 rest", 8},
        {"Ensemble", "Copyright (c) 1997 Ensemble Studios", 6},
        {"size rule", std::string("\x01\x00\x0A\x00\x00\x00", 6) + std::string(22, 'x'), 5},
        {"size rule off by one", std::string("\x01\x00\x0A\x00\x00\x00", 6) + std::string(23, 'x'),
         0},
        // 12 * 65535 + 6 + 0xFFF4000C wraps to 6 in 32 bits.
        {"size rule wrapping", std::string("\xFF\xFF\x0C\x00\xF4\xFF", 6), 5},
        {"text", "hello, world", 0},
    };
    for (const Case& c : cases) {
        WriteFile("f", c.bytes);
        EXPECT_EQ(ZEMArchive::FindArchiveFormat("f"), c.format) << c.what;
    }
    EXPECT_EQ(ZEMArchive::FindArchiveFormat("missing"), 0);
    EXPECT_EQ(ZEMArchive::FindArchiveFormat(nullptr), 0);

    // A file that begins with "ZEMA" and also meets the size rule is a ZEM file.
    std::string both = std::string("ZEMA\xFD\xFF", 6);
    both.resize(33163, 'z');
    uint32_t count = uint32_t(uint8_t(both[0])) | uint32_t(uint8_t(both[1])) << 8;
    ASSERT_EQ(12 * count + 6 + GetLe32(both, 2), uint32_t(both.size()));
    WriteFile("f", both);
    EXPECT_EQ(ZEMArchive::FindArchiveFormat("f"), 1);
}

// A zip file written by the zip tool is recognised and not opened: the one checked in (made by
// `zip -q zip-tool.zip member.txt`) and, where the tool runs, one made now.
TEST_F(ArchiveTest, ZipFromTheZipToolIsFormat8AndStaysClosed) {
    std::vector<std::string> zips{zemtest::DataPath("zip-tool.zip")};
    if (zemtest::PEERS_RUN) {
        WriteFile("member.txt", "zip me");
        ASSERT_EQ(zemtest::RunProgram({"zip", "-q", "out.zip", "member.txt"}), 0)
            << "the zip tool is needed";
        zips.push_back("out.zip");
    }
    for (const std::string& zip : zips) {
        EXPECT_EQ(ZEMArchive::FindArchiveFormat(zip.c_str()), 8) << zip;
        EXPECT_EQ(ZEMArchive::OpenArchive(zip.c_str()), nullptr) << zip;
    }
}

TEST_F(ArchiveTest, OpenArchiveMakesTheRightClass) {
    ZEMArchZEM zem;
    ASSERT_TRUE(zem.Create("a.zem"));
    WriteFile("a.pak", PakFile({{"x", "1"}}));
    std::unique_ptr<ZEMArchive> first(ZEMArchive::OpenArchive("a.zem"));
    std::unique_ptr<ZEMArchive> second(ZEMArchive::OpenArchive("a.pak"));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(dynamic_cast<ZEMArchZEM*>(first.get()), nullptr);
    EXPECT_NE(dynamic_cast<ZEMArchPAK*>(second.get()), nullptr);
    EXPECT_EQ(second->NbFiles(), 1u);
    // Known magic, broken header.
    WriteFile("bad.zem", "ZEMA" + Le32(500) + Le32(3));
    EXPECT_EQ(ZEMArchive::OpenArchive("bad.zem"), nullptr);
    EXPECT_EQ(ZEMArchive::OpenArchive("missing"), nullptr);
}

TEST_F(ArchiveTest, NameIsTheAbsolutePath) {
    std::filesystem::create_directory("sub");
    WriteFile("member", "bytes");
    ZEMArchZEM arch;
    EXPECT_EQ(arch.Name(), nullptr);
    ASSERT_TRUE(arch.Create("sub\\data.zem"));
    EXPECT_EQ(std::string(arch.Name()), Path("sub/data.zem"));
    ASSERT_EQ(arch.AddFile("member", nullptr), 0u);
    // The archive is still found once the working directory has moved.
    std::filesystem::current_path("/");
    EXPECT_EQ(Member(arch, 0), "bytes");
    ZEMArchZEM other;
    ASSERT_TRUE(other.Open(Path("sub/data.zem").c_str()));
    EXPECT_EQ(std::string(other.Name()), Path("sub/data.zem"));
    arch.Close();
    EXPECT_EQ(arch.Name(), nullptr);
    EXPECT_EQ(arch.NbFiles(), 0u);
}

TEST_F(ArchiveTest, FindFileIsExactAndGivesTheLowestIndex) {
    WriteFile("a.pak", PakFile({{"A.TXT", "1"},
                                {"maps/e1m1.bsp", "22"},
                                {"a.txt", "333"},
                                {"a.txt", "4444"},
                                {"", "5"}}));
    ZEMArchPAK arch;
    ASSERT_TRUE(arch.Open("a.pak"));
    EXPECT_EQ(arch.FindFile("a.txt"), 2u);
    EXPECT_EQ(arch.FindFile("A.TXT"), 0u);
    EXPECT_EQ(arch.FindFile("A.txt"), NO_INDEX);
    EXPECT_EQ(arch.FindFile("maps/e1m1.bsp"), 1u);
    EXPECT_EQ(arch.FindFile("e1m1.bsp"), NO_INDEX);
    EXPECT_EQ(arch.FindFile(nullptr), NO_INDEX);
    EXPECT_EQ(Drain(arch.OpenFile("a.txt")), "333");
    EXPECT_EQ(arch.OpenFile("nothing"), nullptr);
    EXPECT_EQ(Drain(arch.OpenFile(ZEMFileProvider::iterator(3))), "4444");
    EXPECT_EQ(arch.OpenFile(ZEMFileProvider::iterator(5)), nullptr);

    // The lookup follows every edit of the directory.
    ASSERT_TRUE(arch.RenameFile(2, "b.txt"));
    EXPECT_EQ(arch.FindFile("a.txt"), 3u);
    ASSERT_TRUE(arch.RemoveFile(0));
    EXPECT_EQ(arch.FindFile("a.txt"), 2u);
    EXPECT_EQ(arch.FindFile("b.txt"), 1u);
    WriteFile("new", "n");
    ASSERT_EQ(arch.AddFile("new", "a.txt"), 4u);
    EXPECT_EQ(arch.FindFile("a.txt"), 2u);
    ASSERT_TRUE(arch.RemoveFile(2));
    EXPECT_EQ(arch.FindFile("a.txt"), 3u);
    EXPECT_EQ(Drain(arch.OpenFile("a.txt")), "n");
}

TEST_F(ArchiveTest, MemberStreamsOutliveTheArchive) {
    WriteFile("a.pak", PakFile({{"x", "hello"}}));
    std::unique_ptr<ZEMArchive> arch(ZEMArchive::OpenArchive("a.pak"));
    ASSERT_NE(arch, nullptr);
    ZEMResFile* stream = arch->OpenFile("x");
    arch.reset();
    EXPECT_EQ(Drain(stream), "hello");
}

TEST_F(ArchiveTest, CopyAndExtract) {
    WriteFile("a.pak", PakFile({{"x", "hello"}, {"empty", ""}}));
    ZEMArchPAK arch;
    ASSERT_TRUE(arch.Open("a.pak"));
    EXPECT_TRUE(arch.CopyFile("x", "copy"));
    EXPECT_EQ(ReadFile("copy"), "hello");
    EXPECT_FALSE(arch.CopyFile("y", "copy2"));
    EXPECT_FALSE(std::filesystem::exists("copy2"));
    EXPECT_FALSE(arch.ExtractFile(2, "out"));
    EXPECT_FALSE(arch.ExtractFile(0, ""));
    EXPECT_FALSE(arch.ExtractFile(0, "no/such/dir/out"));
    EXPECT_TRUE(arch.ExtractFile(1, "out"));
    EXPECT_EQ(ReadFile("out"), "");

    // The archive itself is no target, under any of its names: it would be emptied.
    const std::string before = ReadFile("a.pak");
    std::filesystem::create_hard_link("a.pak", "alias.pak");
    EXPECT_FALSE(arch.ExtractFile(0, "a.pak"));
    EXPECT_FALSE(arch.CopyFile("x", "alias.pak"));
    EXPECT_EQ(ReadFile("a.pak"), before);
    EXPECT_EQ(Drain(arch.OpenFile("x")), "hello");

    // Extracted beside itself, an archive that holds a member of its own name stays whole.
    WriteFile("self.pak", PakFile({{"self.pak", "inner"}, {"y", "why"}}));
    ZEMArchPAK self;
    ASSERT_TRUE(self.Open("self.pak"));
    const std::string whole = ReadFile("self.pak");
    EXPECT_TRUE(self.ExtractAll("."));
    EXPECT_EQ(ReadFile("self.pak"), whole);
    EXPECT_EQ(ReadFile("y"), "why");
}

// Extraction stays inside the destination: absolute names and ".." climbs are skipped, and
// the folders that names hold are made.
TEST_F(ArchiveTest, ExtractAllStaysInsideTheDestination) {
    WriteFile("a.pak", PakFile({{"top.txt", "t"},
                                {"maps/e1m1.bsp", "map"},
                                {"maps\\sub\\deep.txt", "deep"},
                                {"../escape.txt", "no"},
                                {"maps/../../escape2.txt", "no"},
                                {"..\\escape3.txt", "no"},
                                {"/tmp/zem-absolute.txt", "no"},
                                {"", "no"},
                                {"..", "no"},
                                {"dots..ok", "fine"}}));
    ZEMArchPAK arch;
    ASSERT_TRUE(arch.Open("a.pak"));
    std::filesystem::create_directories("out/inner");
    EXPECT_TRUE(arch.ExtractAll("out/inner"));
    EXPECT_EQ(ReadFile("out/inner/top.txt"), "t");
    EXPECT_EQ(ReadFile("out/inner/maps/e1m1.bsp"), "map");
    EXPECT_EQ(ReadFile("out/inner/maps/sub/deep.txt"), "deep");
    EXPECT_EQ(ReadFile("out/inner/dots..ok"), "fine");
    EXPECT_FALSE(std::filesystem::exists("out/escape.txt"));
    EXPECT_FALSE(std::filesystem::exists("out/escape2.txt"));
    EXPECT_FALSE(std::filesystem::exists("out/escape3.txt"));
    EXPECT_FALSE(std::filesystem::exists("escape2.txt"));
    EXPECT_FALSE(std::filesystem::exists("/tmp/zem-absolute.txt"));

    size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(".")) {
        files += entry.is_regular_file();
    }
    EXPECT_EQ(files, 5u); // a.pak and the four members that stay inside

    EXPECT_FALSE(arch.ExtractAll("a.pak"));
    {
        // The folder that is not there is named, with the system's reason.
        zemtest::LogCapture capture;
        EXPECT_FALSE(arch.ExtractAll("missing"));
        EXPECT_STREQ(arch.LastError(),
                     "cannot enter the folder 'missing': No such file or directory");
        EXPECT_EQ(capture.Text(), "ZEMArchive: cannot extract '" + Path("a.pak") +
                                      "': cannot enter the folder 'missing': No such file or "
                                      "directory\n");
    }
    EXPECT_FALSE(arch.ExtractAll(nullptr));
    EXPECT_TRUE(arch.ExtractAll("out/"));
    EXPECT_EQ(ReadFile("out/top.txt"), "t");
}

TEST_F(ArchiveTest, SafeNamesAndExtractingOneMember) {
    const struct {
        const char* name;
        bool safe;
    } cases[] = {{"a.txt", true},     {"maps/e1m1.bsp", true}, {"maps\\x", true},
                 {"dots..ok", true},  {"a/..b/c", true},       {"", false},
                 {"..", false},       {"../x", false},         {"a/../../x", false},
                 {"a\\..\\x", false}, {"/abs", false},         {"\\abs", false},
                 {"C:\\x", false}};
    for (const auto& c : cases)
        EXPECT_EQ(ZEMArchive::IsSafeName(c.name), c.safe) << c.name;
    EXPECT_FALSE(ZEMArchive::IsSafeName(nullptr));

    WriteFile("a.pak", PakFile({{"maps/e1m1.bsp", "map"}, {"../up", "no"}}));
    ZEMArchPAK arch;
    ASSERT_TRUE(arch.Open("a.pak"));
    std::filesystem::create_directory("out");
    EXPECT_TRUE(arch.ExtractInto(0, "out"));
    EXPECT_EQ(ReadFile("out/maps/e1m1.bsp"), "map");
    EXPECT_FALSE(arch.ExtractInto(1, "out"));
    EXPECT_FALSE(std::filesystem::exists("up"));
    EXPECT_FALSE(arch.ExtractInto(2, "out"));
    EXPECT_FALSE(arch.ExtractInto(0, nullptr));
}

TEST_F(ArchiveTest, SortingAnArchiveIgnoresDirectoryGrouping) {
    WriteFile("a.pak", PakFile({{"b", "22"}, {"a", "333"}, {"c", "1"}}));
    ZEMArchPAK arch;
    ASSERT_TRUE(arch.Open("a.pak"));
    arch.Sort(ZEMFileProvider::SORT_SIZE | ZEMFileProvider::SORT_DIRS_FIRST);
    EXPECT_EQ(arch.GetItem(0)->sortIndex, 2u);
    EXPECT_EQ(arch.GetItem(1)->sortIndex, 0u);
    EXPECT_EQ(arch.GetItem(2)->sortIndex, 1u);
    // Every date is 0 in a PAK file: sorting by date falls back to the names.
    arch.Sort(ZEMFileProvider::SORT_DATE);
    EXPECT_EQ(arch.GetItem(0)->sortIndex, 1u);
    EXPECT_EQ(arch.GetItem(2)->sortIndex, 2u);
    EXPECT_EQ(arch.TotalSize(), 6u);
    EXPECT_TRUE(arch.IsFile(0));
    EXPECT_TRUE(arch.FileAccess(0, 0xFFFF));
    EXPECT_FALSE(arch.IsFileDir(0) || arch.IsFileHidden(0) || arch.IsFileLink(0));
}

TEST_F(ArchiveTest, DumpsOfAnEmptyArchive) {
    ZEMArchZEM arch;
    ASSERT_TRUE(arch.Create("e.zem"));
    zemtest::LogCapture capture;
    arch.PrintContent();
    EXPECT_EQ(capture.Text(), "No files in archive.\n");
    EXPECT_EQ(arch.TotalSize(), 0u);
    arch.PrintInfo();
    EXPECT_EQ(capture.Text(),
              "No files in archive.\nArchive " + Path("e.zem") + " (0 entries)\n\n");
}

TEST_F(ArchiveTest, DumpsListEveryMember) {
    WriteFile("one", std::string(100, 'x'));
    WriteFile("two", "22");
    ZEMArchZEM arch;
    ASSERT_TRUE(arch.Create("a.zem"));
    ASSERT_EQ(arch.AddFile("one", nullptr), 0u);
    ASSERT_EQ(arch.AddFile("two", nullptr), 1u);
    time_t date = arch.FileDate(0);
    struct tm local = *localtime(&date);
    char dateText[64];
    snprintf(dateText, sizeof dateText, "%2d/%2d/%4d %2d:%02d", local.tm_mday, local.tm_mon + 1,
             local.tm_year + 1900, local.tm_hour, local.tm_min);
    zemtest::LogCapture capture;
    arch.PrintContent();
    const std::string line = "+" + std::string(42, '-') + "+" + std::string(12, '-') + "+" +
                             std::string(12, '-') + "+" + std::string(18, '-') + "+\n";
    std::string expected = line +
                           "|                  Files                   |     Size   |    Start   |"
                           "       Date       |\n" +
                           line;
    char row[200];
    snprintf(row, sizeof row, "| %-40s | %10d | %10d | %s |\n", "one", 100, 12, dateText);
    expected += row;
    time_t date2 = arch.FileDate(1);
    local = *localtime(&date2);
    snprintf(dateText, sizeof dateText, "%2d/%2d/%4d %2d:%02d", local.tm_mday, local.tm_mon + 1,
             local.tm_year + 1900, local.tm_hour, local.tm_min);
    // Behind the first member and the first directory, now dead space.
    snprintf(row, sizeof row, "| %-40s | %10d | %10d | %s |\n", "two", 2, 156, dateText);
    expected += row + line + "  Total: 2 files, 102 bytes.\n";
    EXPECT_EQ(capture.Text(), expected);

    zemtest::LogCapture info;
    arch.Sort(ZEMFileProvider::SORT_NAME | ZEMFileProvider::SORT_DESCENDING);
    arch.PrintInfo();
    char lines[400];
    snprintf(lines, sizeof lines,
             "Archive %s (2 entries)\n  %-40s   %6d bytes   date=%10d   R(%3d)\n"
             "  %-40s   %6d bytes   date=%10d   R(%3d)\n\n",
             Path("a.zem").c_str(), "one", 100, int(arch.FileDate(0)), 1, "two", 2,
             int(arch.FileDate(1)), 0);
    EXPECT_EQ(info.Text(), lines);
}
