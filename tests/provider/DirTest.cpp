#include "ArchiveTestSupport.h"
#include "ZEMTestSupport.h"

#include <zem/provider.h>
#include <zem/stream/ZEMResFile.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utime.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Storage index of a listed name; NbFiles() when it is not listed.
unsigned IndexOf(const ZEMDir& dir, const std::string& name) {
    for (unsigned i = 0; i < dir.NbFiles(); ++i) {
        if (name == dir.FileName(i)) return i;
    }
    return dir.NbFiles();
}

std::vector<std::string> SortedNames(const ZEMDir& dir) {
    std::vector<std::string> names;
    for (unsigned k = 0; k < dir.NbFiles(); ++k)
        names.push_back(dir.FileName(dir.GetItem(k)->sortIndex));
    return names;
}

class DirTest : public zemtest::TempDirTest {};

TEST_F(DirTest, NewDirectoryListsOnlyDotEntries) {
    fs::create_directory("empty");
    ZEMDir dir("empty");
    EXPECT_STREQ(dir.Name(), Path("empty").c_str());
    ASSERT_EQ(dir.NbFiles(), 2u);
    EXPECT_EQ(dir.NbDirs(), 2u);
    EXPECT_TRUE(dir.IsFileDir(IndexOf(dir, ".")));
    EXPECT_TRUE(dir.IsFileDir(IndexOf(dir, "..")));
    EXPECT_TRUE(dir.IsEmpty());

    zemtest::WriteFile("empty/x", "x");
    dir.Update();
    EXPECT_EQ(dir.NbFiles(), 3u);
    EXPECT_FALSE(dir.IsEmpty());
}

TEST_F(DirTest, EntriesCarryStatusHiddenFlagAndStorageIndex) {
    zemtest::WriteFile("data.bin", "12345");
    zemtest::WriteFile(".hidden", "h");
    fs::create_directory("sub");
    utimbuf times{1000000000, 1000000000};
    ASSERT_EQ(utime("data.bin", &times), 0);

    ZEMDir dir(".");
    ASSERT_EQ(dir.NbFiles(), 5u);
    EXPECT_EQ(dir.NbDirs(), 3u);
    for (unsigned i = 0; i < dir.NbFiles(); ++i)
        EXPECT_EQ(dir.GetItem(i)->sortIndex, i);

    unsigned data = IndexOf(dir, "data.bin");
    ASSERT_LT(data, dir.NbFiles());
    EXPECT_EQ(dir.FileSize(data), 5u);
    EXPECT_EQ(dir.FileDate(data), 1000000000ul);
    EXPECT_TRUE(dir.IsFile(data));
    EXPECT_FALSE(dir.IsFileDir(data));
    EXPECT_FALSE(dir.IsFileLink(data));
    EXPECT_TRUE(dir.FileAccess(data, ZEMDir::MODE_FILE | 0x100));
    EXPECT_FALSE(dir.FileAccess(data, ZEMDir::MODE_DIRECTORY));
    EXPECT_FALSE(dir.IsFileHidden(data));

    unsigned sub = IndexOf(dir, "sub");
    EXPECT_TRUE(dir.IsFileDir(sub));
    EXPECT_FALSE(dir.IsFile(sub));

    EXPECT_TRUE(dir.IsFileHidden(IndexOf(dir, ".hidden")));
    EXPECT_FALSE(dir.IsFileHidden(IndexOf(dir, ".")));
    EXPECT_FALSE(dir.IsFileHidden(IndexOf(dir, "..")));
}

TEST_F(DirTest, NamesWhoseStatusCannotBeHadAreLeftOut) {
    zemtest::WriteFile("data.bin", "12345");
    if (!zemtest::PlantSymlink("missing-target", "dangling")) GTEST_SKIP() << zemtest::NO_SYMLINKS;
    ZEMDir dir(".");
    EXPECT_EQ(dir.NbFiles(), 3u);
    EXPECT_EQ(IndexOf(dir, "dangling"), dir.NbFiles());
}

TEST_F(DirTest, OpenResolvesRelativePathsAgainstItsDirectoryAndRestoresTheWorkingDirectory) {
    fs::create_directories("a/sub");
    fs::create_directories("sub");
    const fs::path before = fs::current_path();

    ZEMDir dir("a");
    ASSERT_TRUE(dir.Open("sub"));
    EXPECT_STREQ(dir.Name(), Path("a/sub").c_str());
    ASSERT_TRUE(dir.Open(".."));
    EXPECT_STREQ(dir.Name(), Path("a").c_str());
    ASSERT_TRUE(dir.Open("..\\a\\sub"));
    EXPECT_STREQ(dir.Name(), Path("a/sub").c_str());
    ASSERT_TRUE(dir.Open(Path("a").c_str()));
    EXPECT_EQ(fs::current_path(), before);

    // A failed open keeps the path and the listing.
    unsigned count = dir.NbFiles();
    EXPECT_FALSE(dir.Open("missing"));
    EXPECT_FALSE(dir.Open(""));
    EXPECT_FALSE(dir.Open(nullptr));
    EXPECT_STREQ(dir.Name(), Path("a").c_str());
    EXPECT_EQ(dir.NbFiles(), count);
    EXPECT_EQ(fs::current_path(), before);

    // A file is no directory to enter.
    zemtest::WriteFile("a/file", "f");
    EXPECT_FALSE(dir.Open("file"));
    EXPECT_STREQ(dir.Name(), Path("a").c_str());
}

TEST_F(DirTest, DotListsAgainAndConstructorFallsBackToTheWorkingDirectory) {
    ZEMDir dir("does-not-exist");
    EXPECT_STREQ(dir.Name(), Dir().c_str());
    EXPECT_EQ(IndexOf(dir, "late"), dir.NbFiles());

    zemtest::WriteFile("late", "x");
    EXPECT_TRUE(dir.Open("."));
    EXPECT_LT(IndexOf(dir, "late"), dir.NbFiles());
}

TEST_F(DirTest, GoUpAndGoRootWalkSlashPaths) {
    fs::create_directories("a/b");
    const fs::path before = fs::current_path();
    ZEMDir dir("a/b");
    dir.GoUp();
    EXPECT_STREQ(dir.Name(), Path("a").c_str());

    // Climbing all the way ends at the root ("/", or the drive's "C:\\"), which keeps its
    // separator and goes no higher.
    const fs::path here(Dir());
    const std::string root = here.root_path().string();
    const std::string top = root + here.relative_path().begin()->string();
    for (int i = 0; i < 64 && top != dir.Name(); ++i)
        dir.GoUp();
    ASSERT_STREQ(dir.Name(), top.c_str());
    dir.GoUp();
    EXPECT_STREQ(dir.Name(), root.c_str());
#ifndef _WIN32
    // A POSIX root lists its own "..", a drive's root lists none.
    EXPECT_LT(IndexOf(dir, ".."), dir.NbFiles());
#endif
    dir.GoUp();
    EXPECT_STREQ(dir.Name(), root.c_str());

    ASSERT_TRUE(dir.Open(Path("a/b").c_str()));
    dir.GoRoot();
    EXPECT_STREQ(dir.Name(), root.c_str());
    EXPECT_EQ(fs::current_path(), before);
}

TEST_F(DirTest, GoCWDListsTheWorkingDirectory) {
    fs::create_directory("elsewhere");
    ZEMDir dir("elsewhere");
    dir.GoCWD();
    EXPECT_STREQ(dir.Name(), Dir().c_str());
    EXPECT_LT(IndexOf(dir, "elsewhere"), dir.NbFiles());
}

TEST_F(DirTest, AutoSortPutsDirectoriesFirstInEveryNewListing) {
    fs::create_directory("d");
    fs::create_directories("zdir");
    zemtest::WriteFile("d/b.txt", "b");
    zemtest::WriteFile("d/A.txt", "a");
    fs::create_directory("d/m");

    ZEMDir dir;
    dir.autoSort = ZEMFileProvider::SORT_NAME | ZEMFileProvider::SORT_DIRS_FIRST;
    ASSERT_TRUE(dir.Open("d"));
    EXPECT_EQ(SortedNames(dir), (std::vector<std::string>{".", "..", "m", "A.txt", "b.txt"}));

    dir.Sort(ZEMFileProvider::SORT_NAME | ZEMFileProvider::SORT_DIRS_FIRST |
             ZEMFileProvider::SORT_DESCENDING);
    EXPECT_EQ(SortedNames(dir), (std::vector<std::string>{"m", "..", ".", "b.txt", "A.txt"}));

    zemtest::WriteFile("d/0.txt", "0");
    dir.Update();
    EXPECT_EQ(SortedNames(dir),
              (std::vector<std::string>{".", "..", "m", "0.txt", "A.txt", "b.txt"}));
}

TEST_F(DirTest, OpenFileGoesToTheDiskRelativeToTheDirectory) {
    fs::create_directories("d/sub");
    zemtest::WriteFile("d/listed.txt", "listed");
    zemtest::WriteFile("outside.txt", "outside");
    ZEMDir dir("d");

    zemtest::WriteFile("d/late.txt", "late");
    EXPECT_EQ(archtest::Drain(dir.OpenFile("late.txt")), "late");
    EXPECT_EQ(archtest::Drain(dir.OpenFile("sub/../listed.txt")), "listed");
    EXPECT_EQ(archtest::Drain(dir.OpenFile("sub\\..\\listed.txt")), "listed");
    EXPECT_EQ(archtest::Drain(dir.OpenFile(Path("outside.txt").c_str())), "outside");
    EXPECT_EQ(dir.OpenFile("outside.txt"), nullptr);
    EXPECT_EQ(dir.OpenFile("missing"), nullptr);
    EXPECT_EQ(dir.OpenFile(""), nullptr);
    EXPECT_EQ(dir.OpenFile(static_cast<const char*>(nullptr)), nullptr);
    // On POSIX a directory opens for reading; it is still no file.
    EXPECT_EQ(dir.OpenFile("sub"), nullptr);

    unsigned listed = IndexOf(dir, "listed.txt");
    EXPECT_EQ(archtest::Drain(dir.OpenFile(ZEMFileProvider::iterator(listed))), "listed");
    EXPECT_EQ(dir.OpenFile(ZEMFileProvider::iterator(dir.NbFiles())), nullptr);
}

TEST_F(DirTest, CopyFileWritesRelativeDestinationsIntoTheDirectory) {
    fs::create_directory("d");
    zemtest::WriteFile("d/src.txt", "source bytes");
    zemtest::WriteFile("d/old.txt", "a much longer old content");
    ZEMDir dir("d");

    EXPECT_TRUE(dir.CopyFile("src.txt", "copy.txt"));
    EXPECT_EQ(zemtest::ReadFile("d/copy.txt"), "source bytes");
    EXPECT_FALSE(fs::exists("copy.txt"));

    EXPECT_TRUE(dir.CopyFile("src.txt", "old.txt"));
    EXPECT_EQ(zemtest::ReadFile("d/old.txt"), "source bytes");

    EXPECT_TRUE(dir.CopyFile("src.txt", Path("abs.txt").c_str()));
    EXPECT_EQ(zemtest::ReadFile("abs.txt"), "source bytes");

    EXPECT_FALSE(dir.CopyFile("missing", "x.txt"));
    EXPECT_FALSE(fs::exists("d/x.txt"));
}

// Opening the target for writing would empty the source before it is read.
TEST_F(DirTest, CopyFileOntoItselfIsRefusedAndKeepsTheFile) {
    fs::create_directories("d/sub");
    zemtest::WriteFile("d/keep.txt", "precious");
    fs::create_hard_link("d/keep.txt", "d/link.txt");
    ZEMDir dir("d");

    for (const char* target : {"keep.txt", "./keep.txt", "sub/../keep.txt", "link.txt"}) {
        EXPECT_FALSE(dir.CopyFile("keep.txt", target)) << target;
        EXPECT_EQ(zemtest::ReadFile("d/keep.txt"), "precious") << target;
    }
}

TEST_F(DirTest, PrintInfoDumpsPathCountsAndEntries) {
    fs::create_directory("d");
    zemtest::WriteFile("d/f.txt", "12345");
    utimbuf times{1234567890, 1234567890};
    ASSERT_EQ(utime("d/f.txt", &times), 0);
    ZEMDir dir("d");

    zemtest::LogCapture log;
    dir.PrintInfo();
    const std::string text = log.Text();
    EXPECT_EQ(text.rfind("Path: " + Path("d") + "\nTotal entries : 3  (2 subdirs)\n", 0), 0u)
        << text;
    char line[128];
    std::snprintf(line, sizeof line, "  %-40s   %6d bytes   date=%10d   R(%3d)\n", "f.txt", 5,
                  1234567890, int(IndexOf(dir, "f.txt")));
    EXPECT_NE(text.find(line), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
}

} // namespace
