#include "ZEMTestSupport.h"

#include <zem/provider/ZEMFileUtils.h>
#include <zem/stream/ZEMMemFile.h>
#include <zem/text/ZEMText.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#ifndef _WIN32
#include <fcntl.h>
#endif
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <vector>

namespace fs = std::filesystem;

namespace {

using zemtest::ReadFile;
using zemtest::WriteFile;

constexpr unsigned NO_SIZE = 0xFFFFFFFFu;

// The names of a listing, sorted, and the list released.
std::vector<std::string> Names(char**& list, unsigned count) {
    std::vector<std::string> names;
    for (unsigned i = 0; i < count; ++i) {
        names.push_back(list[i]);
    }
    ZEMFileUtils::FreeFileList(list, count);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> List(const char* dir, const char* pattern, unsigned flags = 0) {
    char** list = nullptr;
    unsigned count = ZEMFileUtils::GetFileList(list, dir, pattern, flags);
    if (count == 0) {
        EXPECT_EQ(list, nullptr);
    }
    return Names(list, count);
}

std::string Owned(char* text) {
    std::unique_ptr<char[]> owner(text);
    return text ? std::string(text) : std::string("(null)");
}

class FileUtilsTest : public zemtest::TempDirTest {};

// ---- Attributes and sizes ----

TEST_F(FileUtilsTest, AttributesOfFilesDirectoriesAndDotFiles) {
    WriteFile("a.txt", "abc");
    WriteFile(".hidden", "x");
    fs::create_directories("sub/.hdir");
    WriteFile("sub/inner.txt", "x");

    struct Case {
        const char* path;
        bool exists, dir, hidden;
    } cases[] = {
        {nullptr, false, false, false},
        {"", false, false, false},
        {"a.txt", true, false, false},
        {"missing", false, false, false},
        {"sub", true, true, false},
        {"sub/", true, true, false},
        {"sub\\inner.txt", true, false, false},
        {".hidden", true, false, true},
        {"sub\\.hdir", true, true, true},
        {"sub/.hdir/", true, true, true},
        {".", true, true, false},
        {"..", true, true, false},
        {"sub/..", true, true, false},
        {".nothere", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path ? c.path : "(null)");
        EXPECT_EQ(ZEMFileUtils::FileExist(c.path), c.exists);
        EXPECT_EQ(ZEMFileUtils::IsDir(c.path), c.dir);
        EXPECT_EQ(ZEMFileUtils::IsHidden(c.path), c.hidden);
    }
    EXPECT_TRUE(ZEMFileUtils::FileExist((Dir() + "\\a.txt").c_str()));
}

TEST_F(FileUtilsTest, FileSize) {
    WriteFile("six", std::string(6000, 'x'));
    WriteFile("empty", "");
    EXPECT_EQ(ZEMFileUtils::FileSize("six"), 6000u);
    EXPECT_EQ(ZEMFileUtils::FileSize("empty"), 0u);
    EXPECT_EQ(ZEMFileUtils::FileSize(nullptr), NO_SIZE);
    EXPECT_EQ(ZEMFileUtils::FileSize("missing"), NO_SIZE);
}

TEST_F(FileUtilsTest, FileSizeBeyond32BitsIsNotWrapped) {
    // A sparse file of 4 GiB + 10 bytes would read as 10 when cut to 32 bits.
    { std::ofstream("big"); }
    fs::resize_file("big", (uint64_t(1) << 32) + 10);
    EXPECT_EQ(ZEMFileUtils::FileSize("big"), NO_SIZE);
}

// ---- Remove, create ----

TEST_F(FileUtilsTest, RemoveDeletesFilesOnly) {
    WriteFile("a", "x");
    fs::create_directory("d");
    EXPECT_TRUE(ZEMFileUtils::FileRemove("a"));
    EXPECT_FALSE(fs::exists("a"));
    EXPECT_FALSE(ZEMFileUtils::FileRemove("a"));
    EXPECT_FALSE(ZEMFileUtils::FileRemove("d"));
    EXPECT_TRUE(fs::is_directory("d"));
    EXPECT_FALSE(ZEMFileUtils::FileRemove(nullptr));
}

TEST_F(FileUtilsTest, DirCreateMakesOneLevel) {
    EXPECT_TRUE(ZEMFileUtils::DirCreate("a"));
    EXPECT_TRUE(ZEMFileUtils::DirCreate("a\\b"));
    EXPECT_TRUE(fs::is_directory("a/b"));
    EXPECT_FALSE(ZEMFileUtils::DirCreate("a"));
    EXPECT_FALSE(ZEMFileUtils::DirCreate("x/y"));
    EXPECT_FALSE(ZEMFileUtils::DirCreate(nullptr));
}

// ---- Rename ----

TEST_F(FileUtilsTest, RenameMovesAndRefusesAnExistingTarget) {
    WriteFile("a", "from a");
    WriteFile("b", "from b");
    EXPECT_FALSE(ZEMFileUtils::FileRename("a", "b", false));
    EXPECT_EQ(ReadFile("a"), "from a");
    EXPECT_EQ(ReadFile("b"), "from b");

    EXPECT_TRUE(ZEMFileUtils::FileRename("a", "b", true));
    EXPECT_FALSE(fs::exists("a"));
    EXPECT_EQ(ReadFile("b"), "from a");

    fs::create_directory("sub");
    EXPECT_TRUE(ZEMFileUtils::FileRename("b", "sub\\c", false));
    EXPECT_EQ(ReadFile("sub/c"), "from a");
    EXPECT_TRUE(ZEMFileUtils::FileRename("sub", "moved", false));
    EXPECT_EQ(ReadFile("moved/c"), "from a");
    EXPECT_FALSE(ZEMFileUtils::FileRename(nullptr, "x", true));
    EXPECT_FALSE(ZEMFileUtils::FileRename("moved/c", nullptr, true));
}

TEST_F(FileUtilsTest, RenameWithOverwriteNeverLosesTheTarget) {
    WriteFile("b", "keep me");
    // A missing source: the target must survive the failed move.
    EXPECT_FALSE(ZEMFileUtils::FileRename("missing", "b", true));
    EXPECT_EQ(ReadFile("b"), "keep me");
    // A file renamed onto itself, under its own or another spelling of its name.
    ZEMFileUtils::FileRename("b", "b", true);
    ZEMFileUtils::FileRename("b", "./b", true);
    EXPECT_EQ(ReadFile("b"), "keep me");
    // A directory is not replaced, and a file cannot replace one.
    fs::create_directory("d");
    EXPECT_FALSE(ZEMFileUtils::FileRename("b", "d", true));
    EXPECT_EQ(ReadFile("b"), "keep me");
    EXPECT_TRUE(fs::is_directory("d"));
}

#ifndef _WIN32
// POSIX only: a second file system (/dev/shm), mode bits and nanosecond dates.
// A writable directory on another file system than the test's temporary directory, or "".
std::string OtherFileSystemDir(const std::string& here) {
    struct stat a, b;
    if (stat(here.c_str(), &a) != 0 || stat("/dev/shm", &b) != 0 || a.st_dev == b.st_dev)
        return std::string();
    std::string pattern = "/dev/shm/zemtest-XXXXXX";
    return mkdtemp(&pattern[0]) ? pattern : std::string();
}

class CrossDeviceTest : public FileUtilsTest {
protected:
    void SetUp() override {
        FileUtilsTest::SetUp();
        other_ = OtherFileSystemDir(Dir());
        if (other_.empty()) GTEST_SKIP() << "no second file system at /dev/shm";
    }
    void TearDown() override {
        if (!other_.empty()) fs::remove_all(other_);
        FileUtilsTest::TearDown();
    }
    std::string Other(const std::string& name) const { return other_ + "/" + name; }

    std::string other_;
};

TEST_F(CrossDeviceTest, MoveAcrossFileSystemsCopiesAndDeletes) {
    WriteFile("a", std::string(100000, 'a'));
    chmod("a", 0640);
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    utimensat(AT_FDCWD, "a", times, 0);

    ASSERT_TRUE(ZEMFileUtils::FileRename("a", Other("a").c_str(), false));
    EXPECT_FALSE(fs::exists("a"));
    EXPECT_EQ(ReadFile(Other("a")), std::string(100000, 'a'));
    struct stat st;
    ASSERT_EQ(stat(Other("a").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(st.st_mtime, 1000000000);

    // And back, with a backslash in the source path.
    std::string back = Other("a");
    std::replace(back.begin(), back.end(), '/', '\\');
    EXPECT_TRUE(ZEMFileUtils::FileRename(back.c_str(), "a", false));
    EXPECT_EQ(ReadFile("a"), std::string(100000, 'a'));
    EXPECT_FALSE(fs::exists(Other("a")));
}

TEST_F(CrossDeviceTest, MoveAcrossFileSystemsHonoursTheTarget) {
    WriteFile("a", "new");
    WriteFile(Other("b"), "old");
    EXPECT_FALSE(ZEMFileUtils::FileRename("a", Other("b").c_str(), false));
    EXPECT_EQ(ReadFile("a"), "new");
    EXPECT_EQ(ReadFile(Other("b")), "old");

    EXPECT_FALSE(ZEMFileUtils::FileRename("missing", Other("b").c_str(), true));
    EXPECT_EQ(ReadFile(Other("b")), "old");

    EXPECT_TRUE(ZEMFileUtils::FileRename("a", Other("b").c_str(), true));
    EXPECT_FALSE(fs::exists("a"));
    EXPECT_EQ(ReadFile(Other("b")), "new");
    // No temporary file is left beside the target.
    EXPECT_EQ(std::distance(fs::directory_iterator(other_), fs::directory_iterator()), 1);
}

TEST_F(CrossDeviceTest, DirectoryIsNotMovedAcrossFileSystems) {
    fs::create_directory("d");
    WriteFile("d/f", "x");
    EXPECT_FALSE(ZEMFileUtils::FileRename("d", Other("d").c_str(), false));
    EXPECT_EQ(ReadFile("d/f"), "x");
    EXPECT_FALSE(fs::exists(Other("d")));
}

// ---- Copy ----

TEST_F(FileUtilsTest, CopyKeepsContentModeAndDate) {
    std::string bytes;
    for (int i = 0; i < 200000; ++i) {
        bytes += char(i * 7);
    }
    WriteFile("src", bytes);
    chmod("src", 0604);
    struct timespec times[2] = {{1200000000, 0}, {1200000000, 0}};
    utimensat(AT_FDCWD, "src", times, 0);

    ASSERT_TRUE(ZEMFileUtils::FileCopy("src", "dst", false));
    EXPECT_EQ(ReadFile("dst"), bytes);
    struct stat st;
    ASSERT_EQ(stat("dst", &st), 0);
    EXPECT_EQ(st.st_mtime, 1200000000);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0604u & ~mask);
    // The system's own tool agrees that the files are the same.
    EXPECT_EQ(system("cmp -s src dst"), 0);
}

#endif

TEST_F(FileUtilsTest, CopyHonoursOverwrite) {
    WriteFile("a", "short");
    WriteFile("b", "a much longer old content");
    EXPECT_FALSE(ZEMFileUtils::FileCopy("a", "b", false));
    EXPECT_EQ(ReadFile("b"), "a much longer old content");
    EXPECT_TRUE(ZEMFileUtils::FileCopy("a", "b", true));
    EXPECT_EQ(ReadFile("b"), "short");
    fs::create_directory("sub");
    EXPECT_TRUE(ZEMFileUtils::FileCopy("a", "sub\\c", false));
    EXPECT_EQ(ReadFile("sub/c"), "short");
}

TEST_F(FileUtilsTest, CopyOntoItselfIsRefusedAndKeepsTheFile) {
    WriteFile("x", "precious");
    fs::create_directory("sub");
    fs::create_hard_link("x", "link");
    for (const char* to : {"x", "./x", "sub/../x", "sub\\..\\x", "link"}) {
        SCOPED_TRACE(to);
        EXPECT_FALSE(ZEMFileUtils::FileCopy("x", to, true));
        EXPECT_FALSE(ZEMFileUtils::FileCopy("x", to, false));
        EXPECT_EQ(ReadFile("x"), "precious");
    }
}

TEST_F(FileUtilsTest, CopyFailuresLeaveNoTarget) {
    fs::create_directory("d");
    EXPECT_FALSE(ZEMFileUtils::FileCopy("missing", "t1", true));
    EXPECT_FALSE(ZEMFileUtils::FileCopy("d", "t2", true));
    EXPECT_FALSE(ZEMFileUtils::FileCopy(nullptr, "t3", true));
    EXPECT_FALSE(ZEMFileUtils::FileCopy("d", nullptr, true));
    EXPECT_FALSE(fs::exists("t1"));
    EXPECT_FALSE(fs::exists("t2"));
    WriteFile("a", "x");
    EXPECT_FALSE(ZEMFileUtils::FileCopy("a", "nodir/t", true));
}

// ---- CopyData ----

TEST_F(FileUtilsTest, CopyDataMovesUpToSizeBytes) {
    std::vector<unsigned char> data(6000);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = (unsigned char)(i * 13);
    }
    ZEMMemFile src(6000, ZEMResFile::READ, data.data());
    ZEMMemFile dst(10000, ZEMResFile::WRITE);
    ASSERT_TRUE(src.IsOK() && dst.IsOK());
    EXPECT_EQ(ZEMFileUtils::CopyData(&src, &dst, 10000), 6000u);
    EXPECT_EQ(dst.GetPos(), 6000u);
    EXPECT_EQ(memcmp(dst.GetData(), data.data(), 6000), 0);

    src.SeekStart();
    dst.SeekStart();
    EXPECT_EQ(ZEMFileUtils::CopyData(&src, &dst, 4500), 4500u);
    EXPECT_EQ(src.GetPos(), 4500u);
    EXPECT_EQ(ZEMFileUtils::CopyData(&src, &dst, 0), 0u);
    EXPECT_EQ(ZEMFileUtils::CopyData(nullptr, &dst, 10), 0u);
    EXPECT_EQ(ZEMFileUtils::CopyData(&src, nullptr, 10), 0u);
}

TEST_F(FileUtilsTest, CopyDataCountsOnlyWhatWasWritten) {
    std::vector<unsigned char> data(9000, 7);
    ZEMMemFile src(9000, ZEMResFile::READ, data.data());
    ZEMMemFile dst(5000, ZEMResFile::WRITE);
    EXPECT_EQ(ZEMFileUtils::CopyData(&src, &dst, 9000), 5000u);
}

// ---- Listings ----

class FileListTest : public FileUtilsTest {
protected:
    void SetUp() override {
        FileUtilsTest::SetUp();
        for (const char* name : {"a.txt", "B.TXT", "readme", ".hidden", "c.tx", "ab.txt.bak"}) {
            WriteFile(name, "x");
        }
        fs::create_directory("sub");
        fs::create_directory(".git");
    }
};

TEST_F(FileListTest, PatternsMatchCaseInsensitively) {
    using V = std::vector<std::string>;
    const V all = {".",     "..",         ".git", ".hidden", "B.TXT",
                   "a.txt", "ab.txt.bak", "c.tx", "readme",  "sub"};
    struct Case {
        const char* pattern;
        V names;
    } cases[] = {
        {"*", all},
        {"*.*", all},
        {"*.txt", {"B.TXT", "a.txt"}},
        {"?.TXT", {"B.TXT", "a.txt"}},
        {"*.tx?", {"B.TXT", "a.txt"}},
        {"A*", {"a.txt", "ab.txt.bak"}},
        {"*X*", {"B.TXT", "a.txt", "ab.txt.bak", "c.tx"}},
        {"*.*.*", {"..", "ab.txt.bak"}},
        {"readme", {"readme"}},
        {"READ??", {"readme"}},
        {"read?", {}},
        {".*", {".", "..", ".git", ".hidden"}},
        {"nomatch*", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(List(Dir().c_str(), c.pattern), c.names);
    }
}

TEST_F(FileListTest, FlagsFilterTheListing) {
    using V = std::vector<std::string>;
    using F = ZEMFileUtils;
    struct Case {
        unsigned flags;
        V names;
    } cases[] = {
        {F::FL_NODOTS,
         {".git", ".hidden", "B.TXT", "a.txt", "ab.txt.bak", "c.tx", "readme", "sub"}},
        {F::FL_NODIRS, {".hidden", "B.TXT", "a.txt", "ab.txt.bak", "c.tx", "readme"}},
        {F::FL_NODOTS | F::FL_NODIRS,
         {".hidden", "B.TXT", "a.txt", "ab.txt.bak", "c.tx", "readme"}},
        {F::FL_NOFILES, {".", "..", ".git", "sub"}},
        {F::FL_NOFILES | F::FL_NODOTS, {".git", "sub"}},
        {F::FL_NOHIDDEN, {".", "..", "B.TXT", "a.txt", "ab.txt.bak", "c.tx", "readme", "sub"}},
        {F::FL_NOHIDDEN | F::FL_NODOTS | F::FL_NOFILES, {"sub"}},
        {F::FL_NODIRS | F::FL_NOFILES, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        EXPECT_EQ(List(".", "*", c.flags), c.names);
    }
}

TEST_F(FileListTest, AgreesWithAnIndependentListing) {
    std::vector<std::string> expected = {".", ".."};
    for (const auto& entry : fs::directory_iterator(Dir())) {
        expected.push_back(entry.path().filename().string());
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(List(Dir().c_str(), "*"), expected);
}

TEST_F(FileListTest, DirectoryFormsAndRefusals) {
    WriteFile("sub/one", "x");
    const std::vector<std::string> one = {"one"};
    EXPECT_EQ(List("sub", "*", ZEMFileUtils::FL_NODOTS), one);
    EXPECT_EQ(List("sub/", "*", ZEMFileUtils::FL_NODOTS), one);
    EXPECT_EQ(List("sub\\", "*", ZEMFileUtils::FL_NODOTS), one);
    EXPECT_EQ(List((Dir() + "\\sub").c_str(), "o?e"), one);
    EXPECT_EQ(List("missing", "*"), std::vector<std::string>());
    EXPECT_EQ(List("", "*"), std::vector<std::string>());
    EXPECT_EQ(List(nullptr, "*"), std::vector<std::string>());
    EXPECT_EQ(List("sub", ""), std::vector<std::string>());
    EXPECT_EQ(List("sub", nullptr), std::vector<std::string>());
    EXPECT_EQ(List("a.txt", "*"), std::vector<std::string>());
}

TEST_F(FileUtilsTest, ListingGrowsPastItsFirstArrays) {
    std::vector<std::string> expected;
    for (int i = 0; i < 100; ++i) {
        expected.push_back("f" + std::to_string(1000 + i));
        WriteFile(expected.back(), "");
    }
    EXPECT_EQ(List(".", "*", ZEMFileUtils::FL_NODOTS), expected);
    EXPECT_EQ(List(".", "f100?", ZEMFileUtils::FL_NODOTS).size(), 10u);
}

TEST_F(FileUtilsTest, ListingOfThirtyThreeNames) {
    for (int i = 0; i < 33; ++i) {
        WriteFile("n" + std::to_string(i), "");
    }
    char** list = nullptr;
    unsigned count = ZEMFileUtils::GetFileList(list, ".", "*", ZEMFileUtils::FL_NODOTS);
    ASSERT_EQ(count, 33u);
    ASSERT_NE(list, nullptr);
    std::set<std::string> names(list, list + count);
    EXPECT_EQ(names.size(), 33u);
    ZEMFileUtils::FreeFileList(list, count);
    EXPECT_EQ(list, nullptr);
    ZEMFileUtils::FreeFileList(list, 5);
    EXPECT_EQ(list, nullptr);
}

TEST_F(FileUtilsTest, SearchPathMustFitTheBuffer) {
    // dir + '/' + pattern fills exactly 259 characters with "*", and 260 with "**".
    if (Dir().size() > 250) GTEST_SKIP() << "temporary directory path too long";
    size_t room = 259 - Dir().size() - 3;
    ASSERT_LT(room, 256u);
    std::string dir = Dir() + "/" + std::string(room, 'd');
    fs::create_directory(dir);
    WriteFile(dir + "/f", "");
    ASSERT_EQ(dir.size() + 2, 259u);
    EXPECT_EQ(List(dir.c_str(), "*", ZEMFileUtils::FL_NODOTS), std::vector<std::string>{"f"});
    char* stale[1] = {nullptr};
    char** list = stale;
    EXPECT_EQ(ZEMFileUtils::GetFileList(list, dir.c_str(), "**", 0), 0u);
    EXPECT_EQ(list, nullptr);
}

// ---- Path classes and parts ----

TEST(FileUtilsPaths, RootsAndAbsolutePaths) {
    struct Case {
        const char* path;
        bool root, absolute;
    } cases[] = {
        {nullptr, false, false},  {"", false, false},     {"C:\\", true, true},
        {"/", true, true},        {"\\\\", true, true},   {"\\", false, true},
        {"C:", false, false},     {"C:\\x", false, true}, {"/x", false, true},
        {"\\foo", false, true},   {"C:x", false, false},  {"foo", false, false},
        {"c:\\foo", false, true}, {"//", false, true},    {"1:\\", true, false},
        {"./x", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path ? c.path : "(null)");
        EXPECT_EQ(ZEMFileUtils::IsRoot(c.path), c.root);
        EXPECT_EQ(ZEMFileUtils::IsAbsolute(c.path), c.absolute);
        EXPECT_EQ(ZEMFileUtils::IsRelative(c.path), !c.absolute);
    }
}

TEST(FileUtilsPaths, FileNameAndExtension) {
    struct Case {
        const char* path;
        const char* name;
        const char* ext;
    } cases[] = {
        {"a\\b\\c.txt", "c.txt", "txt"},
        {"c.txt", "c.txt", "txt"},
        {"a/b", "b", nullptr},
        {"dir\\", "", nullptr},
        {"", "", ""},
        {"a\\b.tar.gz", "b.tar.gz", "gz"},
        {".profile", ".profile", nullptr},
        {"..", "..", nullptr},
        {".", ".", nullptr},
        {"dir.b2\\file", "file", "b2\\file"},
        {"x.", "x.", ""},
        {"/home/me/.config/a.b", "a.b", "b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const char* name = ZEMFileUtils::FileName(c.path);
        ASSERT_NE(name, nullptr);
        EXPECT_STREQ(name, c.name);
        EXPECT_EQ(name, c.path + strlen(c.path) - strlen(c.name));
        const char* ext = ZEMFileUtils::FileExtension(c.path);
        if (c.ext) {
            ASSERT_NE(ext, nullptr);
            EXPECT_STREQ(ext, c.ext);
            EXPECT_EQ(ext, c.path + strlen(c.path) - strlen(c.ext));
        } else {
            EXPECT_EQ(ext, nullptr);
        }
    }
    EXPECT_EQ(ZEMFileUtils::FileName(nullptr), nullptr);
    EXPECT_EQ(ZEMFileUtils::FileExtension(nullptr), nullptr);
}

// ---- Working directory and the program ----

TEST_F(FileUtilsTest, WorkingDirectory) {
    const std::string cwd = fs::current_path().string();
    char buffer[300];
    ASSERT_TRUE(ZEMFileUtils::GetCWD(buffer, sizeof(buffer)));
    EXPECT_EQ(cwd, buffer);
    EXPECT_EQ(Owned(ZEMFileUtils::GetCWD()), cwd);

    // A buffer one byte short is refused, not filled with a cut path.
    memset(buffer, 'z', sizeof(buffer));
    EXPECT_FALSE(ZEMFileUtils::GetCWD(buffer, unsigned(cwd.size())));
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[cwd.size()], 'z');
    EXPECT_TRUE(ZEMFileUtils::GetCWD(buffer, unsigned(cwd.size() + 1)));
    EXPECT_FALSE(ZEMFileUtils::GetCWD(nullptr, 10));

    fs::create_directories("sub/inner");
    EXPECT_TRUE(ZEMFileUtils::SetCWD("sub\\inner"));
    EXPECT_EQ(fs::current_path(), fs::path(cwd) / "sub" / "inner");
    EXPECT_TRUE(ZEMFileUtils::SetCWD(".."));
    EXPECT_EQ(fs::current_path(), fs::path(cwd) / "sub");
    EXPECT_FALSE(ZEMFileUtils::SetCWD("missing"));
    EXPECT_FALSE(ZEMFileUtils::SetCWD(""));
    EXPECT_FALSE(ZEMFileUtils::SetCWD(nullptr));
    EXPECT_EQ(fs::current_path(), fs::path(cwd) / "sub");
}

TEST_F(FileUtilsTest, LongWorkingDirectoryIsNotCut) {
    std::string deep = Dir();
    while (deep.size() < 300) {
        deep += char(fs::path::preferred_separator) + std::string(40, 'd');
    }
    fs::create_directories(deep);
    fs::current_path(deep);
    EXPECT_EQ(Owned(ZEMFileUtils::GetCWD()), "");
    char buffer[260];
    EXPECT_FALSE(ZEMFileUtils::GetCWD(buffer, sizeof(buffer)));
    EXPECT_EQ(buffer[0], 0);
    std::vector<char> big(deep.size() + 1);
    EXPECT_TRUE(ZEMFileUtils::GetCWD(big.data(), unsigned(big.size())));
    EXPECT_EQ(deep, big.data());
}

#ifndef _WIN32
// POSIX only: /proc/self/exe, the mount table and the XDG folders (Windows: Win32PlatformTest).
TEST(FileUtilsProgram, ExeDirIsTheDirectoryOfTheTestProgram) {
    const fs::path exe = fs::read_symlink("/proc/self/exe");
    // A program path beyond the 259 characters of the buffer is refused, not cut.
    const std::string expected = exe.string().size() < 260 ? exe.parent_path().string() : "(null)";
    EXPECT_EQ(Owned(ZEMFileUtils::GetExeDir()), expected);
}

TEST_F(FileUtilsTest, ExeDirOfAProgramInADeepDirectory) {
    // A copy of this test program, run from a directory whose path is too long for the buffer.
    std::string deep = Dir();
    while (deep.size() < 270) {
        deep += "/" + std::string(40, 'e');
    }
    fs::create_directories(deep);
    const std::string copy = deep + "/test_copy";
    fs::copy_file(fs::read_symlink("/proc/self/exe"), copy);
    const std::string command =
        "'" + copy + "' --gtest_filter=FileUtilsProgram.ExeDirIsTheDirectoryOfTheTestProgram";
    EXPECT_EQ(system((command + " >/dev/null 2>&1").c_str()), 0);
}

TEST(FileUtilsProgram, NoDrivesAndCdromMountsFromTheSystem) {
    EXPECT_EQ(ZEMFileUtils::DrivesList(), 0u);
    EXPECT_EQ(ZEMFileUtils::DriveType("C:\\"), 1u);
    EXPECT_EQ(ZEMFileUtils::DriveType("/"), 1u);

    // The mount table read independently: device, mount point, type.
    std::vector<std::string> expected;
    std::ifstream mounts("/proc/self/mounts");
    std::string device, point, type, rest;
    while (mounts >> device >> point >> type && std::getline(mounts, rest)) {
        if (type == "iso9660" || type == "udf") expected.push_back(point);
    }
    std::unique_ptr<ZEMText> dirs(ZEMFileUtils::GetCDROMDirs());
    ASSERT_NE(dirs, nullptr);
    ASSERT_EQ(dirs->Length(), expected.size());
    for (unsigned i = 0; i < expected.size(); ++i) {
        // The table escapes blanks as \040; compare the plain names only.
        if (expected[i].find('\\') == std::string::npos) {
            EXPECT_EQ(dirs->GetString(i), expected[i]);
        }
    }
}

// ---- User folders ----
// The folder caches live as long as the process, so each case runs in a child process of its own.

void SetEnv(const char* name, const std::string& value) {
    setenv(name, value.c_str(), 1);
}

void ClearFolderEnvironment(const std::string& home) {
    for (const char* name : {"XDG_DATA_HOME", "XDG_DOCUMENTS_DIR", "XDG_CONFIG_HOME"}) {
        unsetenv(name);
    }
    SetEnv("HOME", home);
}

// Exits 0 when the check holds; gtest reports the exit status of the child.
void ExitWith(bool ok) {
    _exit(ok ? 0 : 1);
}

using FolderTest = FileUtilsTest;

TEST_F(FolderTest, AppDirFromTheEnvironmentIsCached) {
    EXPECT_EXIT(
        {
            ClearFolderEnvironment(Dir());
            SetEnv("XDG_DATA_HOME", "/data/home");
            bool first = std::string(ZEMFileUtils::GetUserAppDir()) == "/data/home";
            SetEnv("XDG_DATA_HOME", "/elsewhere");
            ExitWith(first && std::string(ZEMFileUtils::GetUserAppDir()) == "/data/home");
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(FolderTest, AppDirDefaultsToLocalShareAndRetriesWithoutHome) {
    EXPECT_EXIT(
        {
            ClearFolderEnvironment(Dir());
            unsetenv("HOME");
            SetEnv("XDG_DATA_HOME", "relative/ignored");
            bool empty = *ZEMFileUtils::GetUserAppDir() == 0;
            SetEnv("HOME", Dir());
            ExitWith(empty &&
                     std::string(ZEMFileUtils::GetUserAppDir()) == Dir() + "/.local/share");
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(FolderTest, DocDirFromUserDirsFile) {
    fs::create_directories(".config");
    WriteFile(".config/user-dirs.dirs", "# written by xdg-user-dirs-update\n"
                                        "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                        "XDG_DOCUMENTS_DIR=\"$HOME/My Docs\"\n");
    EXPECT_EXIT(
        {
            ClearFolderEnvironment(Dir());
            ExitWith(std::string(ZEMFileUtils::GetUserDocDir()) == Dir() + "/My Docs");
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(FolderTest, DocDirFromEnvironmentThenHomeDocuments) {
    EXPECT_EXIT(
        {
            ClearFolderEnvironment(Dir());
            SetEnv("XDG_DOCUMENTS_DIR", "/docs");
            ExitWith(std::string(ZEMFileUtils::GetUserDocDir()) == "/docs");
        },
        ::testing::ExitedWithCode(0), "");
    fs::create_directory("Documents");
    EXPECT_EXIT(
        {
            ClearFolderEnvironment(Dir());
            ExitWith(std::string(ZEMFileUtils::GetUserDocDir()) == Dir() + "/Documents");
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(FolderTest, MissingDocDirIsRememberedAsEmpty) {
    EXPECT_EXIT(
        {
            ClearFolderEnvironment(Dir());
            bool empty = *ZEMFileUtils::GetUserDocDir() == 0;
            fs::create_directory("Documents");
            ExitWith(empty && *ZEMFileUtils::GetUserDocDir() == 0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(FolderTest, FolderTooLongForTheCacheIsRefused) {
    EXPECT_EXIT(
        {
            ClearFolderEnvironment(Dir());
            SetEnv("XDG_DATA_HOME", "/" + std::string(300, 'x'));
            bool empty = *ZEMFileUtils::GetUserAppDir() == 0;
            SetEnv("XDG_DATA_HOME", "/short");
            ExitWith(empty && *ZEMFileUtils::GetUserAppDir() == 0);
        },
        ::testing::ExitedWithCode(0), "");
}

#endif

} // namespace
