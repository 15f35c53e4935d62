// What holds on Windows only: drives, backslash paths, the registry's user folders and the hidden
// attribute.
#ifdef _WIN32

#include "ZEMTestSupport.h"

#include <zem/provider.h>
#include <zem/stream/ZEMFile.h>
#include <zem/text/ZEMText.h>

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

using zemtest::ReadFile;
using zemtest::WriteFile;

constexpr unsigned DRIVE_C = 1u << 2;

unsigned IndexOf(const ZEMDir& dir, const char* name) {
    for (unsigned i = 0; i < dir.NbFiles(); ++i) {
        if (std::string(dir.FileName(i)) == name) return i;
    }
    return dir.NbFiles();
}

class Win32PlatformTest : public zemtest::TempDirTest {};

TEST(Win32Drives, DrivesListAndTypesFollowTheSystem) {
    const unsigned drives = ZEMFileUtils::DrivesList();
    ASSERT_NE(drives & DRIVE_C, 0u);
    EXPECT_EQ(ZEMFileUtils::DriveType("C:\\"), unsigned(DRIVE_FIXED));
    EXPECT_EQ(ZEMFileUtils::DriveType("C:/"), unsigned(DRIVE_FIXED));
    // A letter without a drive has no root directory.
    for (int letter = 25; letter >= 0; --letter) {
        if (drives & (1u << letter)) continue;
        const std::string root = std::string(1, char('A' + letter)) + ":\\";
        EXPECT_EQ(ZEMFileUtils::DriveType(root.c_str()), unsigned(DRIVE_NO_ROOT_DIR)) << root;
        break;
    }
    // CD-ROM roots are drives of type 5, in letter order, as "X:\".
    std::unique_ptr<ZEMText> cdroms(ZEMFileUtils::GetCDROMDirs());
    ASSERT_NE(cdroms, nullptr);
    for (unsigned i = 0; i < cdroms->Length(); ++i) {
        const std::string root = cdroms->GetString(i);
        ASSERT_EQ(root.size(), 3u);
        EXPECT_EQ(root.substr(1), ":\\");
        EXPECT_NE(drives & (1u << (root[0] - 'A')), 0u);
        EXPECT_EQ(ZEMFileUtils::DriveType(root.c_str()), 5u);
    }
}

TEST_F(Win32PlatformTest, PathsAreReportedWithDrivesAndBackslashes) {
    char* cwd = ZEMFileUtils::GetCWD();
    const std::string here = cwd;
    delete[] cwd;
    ASSERT_GE(here.size(), 3u);
    EXPECT_EQ(here.substr(1, 2), ":\\");
    EXPECT_EQ(here.find('/'), std::string::npos);
    EXPECT_TRUE(ZEMFileUtils::IsAbsolute(here.c_str()));
    EXPECT_TRUE(ZEMFileUtils::IsRoot(here.substr(0, 3).c_str()));

    // The program's folder, without a trailing backslash, holds the program.
    char* exeDir = ZEMFileUtils::GetExeDir();
    ASSERT_NE(exeDir, nullptr);
    const std::string exe = exeDir;
    delete[] exeDir;
    EXPECT_EQ(exe.find('/'), std::string::npos);
    EXPECT_NE(exe.back(), '\\');
    EXPECT_TRUE(ZEMFileUtils::FileExist((exe + "\\test_provider.exe").c_str()));
}

TEST_F(Win32PlatformTest, BackslashAndSlashNameTheSameFiles) {
    fs::create_directories("data\\maps");
    WriteFile("data\\maps\\e1m1.bsp", "map");
    EXPECT_TRUE(ZEMFileUtils::IsDir("data\\maps"));
    EXPECT_TRUE(ZEMFileUtils::IsDir("data/maps"));
    EXPECT_EQ(ZEMFileUtils::FileSize("data/maps\\e1m1.bsp"), 3u);
    ZEMFile file("data/maps/e1m1.bsp", ZEMResFile::READ);
    EXPECT_TRUE(file.IsOK());

    char** list = nullptr;
    ASSERT_EQ(ZEMFileUtils::GetFileList(list, "data\\maps", "*.BSP", 0), 1u);
    EXPECT_STREQ(list[0], "e1m1.bsp");
    ZEMFileUtils::FreeFileList(list, 1);

    EXPECT_TRUE(ZEMFileUtils::FileCopy("data\\maps\\e1m1.bsp", "data/copy.bsp", false));
    EXPECT_FALSE(ZEMFileUtils::FileCopy("data/copy.bsp", "data\\maps\\e1m1.bsp", false));
    EXPECT_TRUE(ZEMFileUtils::FileRename("data/copy.bsp", "data\\moved.bsp", false));
    EXPECT_EQ(ReadFile("data/moved.bsp"), "map");
}

TEST_F(Win32PlatformTest, DirectoryWalksUpToTheDriveRoot) {
    fs::create_directories("games\\data");
    ZEMDir dir((Dir() + "\\games\\data").c_str());
    EXPECT_LT(IndexOf(dir, ".."), dir.NbFiles());
    dir.GoUp();
    EXPECT_EQ(std::string(dir.Name()), Dir() + "\\games");
    for (int i = 0; i < 64 && std::string(dir.Name()).size() > 3; ++i)
        dir.GoUp();
    const std::string root = Dir().substr(0, 3);
    EXPECT_EQ(std::string(dir.Name()), root);
    dir.GoUp();
    EXPECT_EQ(std::string(dir.Name()), root);

    ASSERT_TRUE(dir.Open((Dir() + "\\games\\data").c_str()));
    dir.GoRoot();
    EXPECT_EQ(std::string(dir.Name()), root);
    EXPECT_EQ(fs::current_path().string(), Dir());
}

TEST_F(Win32PlatformTest, HiddenComesFromTheAttributeNotTheName) {
    WriteFile("secret.txt", "s");
    WriteFile("plain.txt", "p");
    ASSERT_TRUE(SetFileAttributesA("secret.txt", FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(ZEMFileUtils::IsHidden("secret.txt"));
    EXPECT_FALSE(ZEMFileUtils::IsHidden("plain.txt"));

    ZEMDir dir(Dir().c_str());
    ASSERT_LT(IndexOf(dir, "secret.txt"), dir.NbFiles());
    EXPECT_TRUE(dir.IsFileHidden(IndexOf(dir, "secret.txt")));
    EXPECT_FALSE(dir.IsFileHidden(IndexOf(dir, "plain.txt")));

    char** list = nullptr;
    const unsigned count =
        ZEMFileUtils::GetFileList(list, Dir().c_str(), "*", ZEMFileUtils::FL_NOHIDDEN);
    ASSERT_EQ(count, 3u); // ".", ".." and "plain.txt"
    for (unsigned i = 0; i < count; ++i)
        EXPECT_STRNE(list[i], "secret.txt");
    ZEMFileUtils::FreeFileList(list, count);
    SetFileAttributesA("secret.txt", FILE_ATTRIBUTE_NORMAL);
}

// make test-windows sets the user's shell folders in its Wine prefix: documents as a reference
// to the profile (REG_EXPAND_SZ), application data as a plain path.
TEST(Win32Folders, UserFoldersComeFromTheRegistry) {
    if (!std::getenv("ZEM_TEST_WINE_FOLDERS"))
        GTEST_SKIP() << "the shell folders are only known in the Wine prefix of make test-windows";
    const char* profile = std::getenv("USERPROFILE");
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(std::string(ZEMFileUtils::GetUserDocDir()), std::string(profile) + "\\ZEM Documents");
    EXPECT_STREQ(ZEMFileUtils::GetUserAppDir(), "C:\\ZEM AppData");
    // Cached: the same buffer again.
    EXPECT_EQ(ZEMFileUtils::GetUserAppDir(), ZEMFileUtils::GetUserAppDir());
}

// Names are UTF-8: what the library makes, std::filesystem finds under the same name, and the
// other way round, in Latin-1 ("é") and out of it ("日").
TEST_F(Win32PlatformTest, NamesAreUtf8BothWays) {
    const std::string summer = "\xC3\xA9t\xC3\xA9.txt";
    const std::string day = "\xE6\x97\xA5";
    ZEMFile("x", ZEMResFile::WRITE).Close();
    ASSERT_TRUE(ZEMFileUtils::FileCopy("x", summer.c_str(), false));
    ASSERT_TRUE(ZEMFileUtils::DirCreate(day.c_str()));
    EXPECT_TRUE(fs::is_regular_file(fs::u8path(summer)));
    EXPECT_TRUE(fs::is_directory(fs::u8path(day)));

    WriteFile(day + "/" + summer, "summer");
    const std::string inside = day + "\\" + summer;
    EXPECT_TRUE(ZEMFileUtils::FileExist(inside.c_str()));
    EXPECT_EQ(ZEMFileUtils::FileSize(inside.c_str()), 6u);
    ZEMFile in(inside.c_str(), ZEMResFile::READ);
    EXPECT_TRUE(in.IsOK());
    ZEMDir dir(day.c_str());
    EXPECT_LT(IndexOf(dir, summer.c_str()), dir.NbFiles());
    ASSERT_TRUE(ZEMFileUtils::SetCWD(day.c_str()));
    const std::unique_ptr<char[]> cwd(ZEMFileUtils::GetCWD());
    EXPECT_EQ(fs::u8path(cwd.get()), fs::current_path());
}

// Extraction under Windows: members with either separator land in folders below the target.
TEST_F(Win32PlatformTest, ArchivesExtractIntoBackslashFolders) {
    WriteFile("one.txt", "first");
    ZEMArchZEM arch;
    ASSERT_TRUE(arch.Create((Dir() + "\\a.zem").c_str()));
    // AddFile keeps the base name only; AddFiles stores folders, with either separator.
    const char* const sources[] = {"one.txt", "one.txt"};
    const char* const names[] = {"maps\\one.txt", "maps/two.txt"};
    ASSERT_EQ(arch.AddFiles(sources, names, 2), 2u);
    fs::create_directory("out");
    EXPECT_TRUE(arch.ExtractAll((Dir() + "\\out").c_str()));
    EXPECT_EQ(ReadFile("out/maps/one.txt"), "first");
    EXPECT_EQ(ReadFile("out/maps/two.txt"), "first");
    // A colon names a drive or a data stream: such members are not written.
    const unsigned evil = arch.AddFile("one.txt", "C:evil.txt");
    if (evil != 0xFFFFFFFFu) {
        EXPECT_FALSE(arch.ExtractInto(evil, (Dir() + "\\out").c_str()));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator("out"), fs::directory_iterator()), 1);
}

} // namespace

#endif
