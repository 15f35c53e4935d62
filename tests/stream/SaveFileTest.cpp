// The safe whole-file writer, and every writer of the library that goes through it, broken at
// every change it makes on the disk, on a full disk and where the system refuses.
#include <zem/graphics/ZEMFont.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMSaveFile.h>
#include <zem/text/ZEMConfigMgr.h>
#include <zem/text/ZEMLangWriter.h>
#include <zem/text/ZEMScore.h>
#include <zem/text/ZEMText.h>

#include "ZEMChildProcess.h"
#include "ZEMTestSupport.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using zemtest::Listing;
using zemtest::ReadFile;
using zemtest::WriteFile;

namespace {

// Why Windows skips a case.
[[maybe_unused]] constexpr const char* NO_SIZE_LIMIT =
    "Windows has no file-size limit to stand for a full disk";

bool Save(const char* name, bool replace, const std::string& bytes, std::string* error = nullptr) {
    ZEMSaveFile file(name, replace);
    const bool done =
        file.Write(bytes.data(), unsigned(bytes.size())) == bytes.size() && file.Commit();
    if (error) *error = file.LastError();
    return done;
}

class SaveFileTest : public zemtest::TempDirTest {};

TEST_F(SaveFileTest, CommitPutsTheWholeFileInPlaceAndNothingBefore) {
    WriteFile("keep.bin", "old content");
    {
        ZEMSaveFile file("keep.bin", true);
        ASSERT_TRUE(file.IsOK()) << file.LastError();
        EXPECT_EQ(file.Write("new", 3), 3u);
        file.Flush();
        EXPECT_EQ(ReadFile("keep.bin"), "old content");
        // Dropped without Commit: the target stays, and nothing else is left.
    }
    EXPECT_EQ(ReadFile("keep.bin"), "old content");
    EXPECT_EQ(Listing(), std::set<std::string>{"keep.bin"});
    std::string error = "?";
    EXPECT_TRUE(Save("keep.bin", true, "new", &error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(ReadFile("keep.bin"), "new");
    EXPECT_TRUE(Save("fresh.bin", false, "made"));
    EXPECT_EQ(ReadFile("fresh.bin"), "made");
    EXPECT_EQ(Listing(), (std::set<std::string>{"fresh.bin", "keep.bin"}));
}

// Writers go back to fill in sizes; small and large pieces meet in the buffer.
TEST_F(SaveFileTest, SeeksBackOverBufferedAndWrittenBytes) {
    std::string expected;
    ZEMSaveFile file("out.bin", true);
    for (int i = 0; i < 5000; ++i) {
        const std::string piece = std::to_string(i) + ",";
        ASSERT_EQ(file.Write(piece.data(), unsigned(piece.size())), piece.size());
        expected += piece;
    }
    const std::string large(200000, 'L');
    ASSERT_EQ(file.Write(large.data(), unsigned(large.size())), large.size());
    expected += large;
    EXPECT_EQ(file.GetPos(), expected.size());
    ASSERT_TRUE(file.Seek(2, SEEK_SET));
    ASSERT_TRUE(file.Write32(0x44434241));
    expected.replace(2, 4, "ABCD");
    EXPECT_EQ(file.GetPos(), 6u);
    ASSERT_TRUE(file.Seek(-3, SEEK_END));
    ASSERT_EQ(file.Write("xyz!", 4), 4u);
    expected.replace(expected.size() - 3, 3, "xyz!");
    EXPECT_FALSE(file.Seek(-1, SEEK_SET));
    EXPECT_EQ(file.GetState(), ZEMResFile::ST_SEEK_ERROR);
    file.SeekEnd();
    EXPECT_EQ(file.GetPos(), expected.size());
    char byte;
    EXPECT_EQ(file.Read(&byte, 1), 0u); // for writing only
    ASSERT_TRUE(file.Commit()) << file.LastError();
    EXPECT_EQ(ReadFile("out.bin"), expected);
}

TEST_F(SaveFileTest, WithoutReplaceAnExistingNameIsRefused) {
    WriteFile("taken.bin", "mine");
    std::string error;
    EXPECT_FALSE(Save("taken.bin", false, "theirs", &error));
    EXPECT_EQ(error, "File exists");
    // A file that appears under the name while the save is written is not replaced either.
    ZEMSaveFile file("late.bin", false);
    ASSERT_TRUE(file.IsOK());
    file.Write("theirs", 6);
    WriteFile("late.bin", "mine");
    EXPECT_FALSE(file.Commit());
    EXPECT_STREQ(file.LastError(), "File exists");
    EXPECT_EQ(ReadFile("taken.bin"), "mine");
    EXPECT_EQ(ReadFile("late.bin"), "mine");
    EXPECT_EQ(Listing(), (std::set<std::string>{"late.bin", "taken.bin"}));
}

TEST_F(SaveFileTest, FailuresSayTheSystemsWords) {
    fs::create_directory("dir");
    struct Case {
        const char* name;
        const char* error;
    };
    const Case cases[] = {
        {"dir", "Is a directory"},
        {"no/such/folder/x.bin", "No such file or directory"},
        {"", "no file name"},
#ifndef _WIN32
        {"/dev/null", "not a regular file"},
#endif
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(Save(c.name, true, "x", &error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
    EXPECT_TRUE(fs::is_directory("dir"));
    EXPECT_EQ(Listing(), std::set<std::string>{"dir"});
    // The library's log says it too.
    zemtest::LogCapture log;
    EXPECT_FALSE(Save("dir", true, "x"));
    EXPECT_EQ(log.Text(), "File: cannot write 'dir': Is a directory\n");
}

#ifndef _WIN32
// Runs check in a child process as an ordinary user when the tests run as root, whom the system
// lets write anything; the working directory is opened to that user. Returns check's result.
bool AsOrdinaryUser(const std::function<bool()>& check) {
    if (geteuid() != 0) return check();
    chmod(".", 0777);
    pid_t child = fork();
    if (child == 0) {
        const uid_t nobody = 65534;
        if (setgid(nobody) != 0 || setuid(nobody) != 0) _exit(2);
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}
#endif

TEST_F(SaveFileTest, ReadOnlyFilesAndFoldersAreRefusedAndKept) {
    WriteFile("locked.bin", "old");
    // Mode 0444; the read-only attribute on Windows.
    const fs::perms writable =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions("locked.bin", writable, fs::perm_options::remove);
    const auto refused = [](const char* name) {
        std::string error;
        return !Save(name, true, "new", &error) && error == "Permission denied";
    };
#ifdef _WIN32
    EXPECT_TRUE(refused("locked.bin"));
    EXPECT_EQ(ReadFile("locked.bin"), "old");
    EXPECT_EQ(Listing(), std::set<std::string>{"locked.bin"});
    // The attribute would keep the temporary folder from being removed.
    fs::permissions("locked.bin", writable, fs::perm_options::add);
    GTEST_SKIP() << "a read-only folder takes new files on Windows";
#else
    fs::create_directory("shut");
    WriteFile("shut/open.bin", "old");
    chmod("shut/open.bin", 0666);
    chmod("shut", 0555);
    EXPECT_TRUE(AsOrdinaryUser([&] { return refused("locked.bin") && refused("shut/open.bin"); }));
    EXPECT_EQ(ReadFile("locked.bin"), "old");
    EXPECT_EQ(ReadFile("shut/open.bin"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator("shut"), {}), 1);
    chmod("shut", 0755);
#endif
}

TEST_F(SaveFileTest, ReplacedFileKeepsItsPermissionBits) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows files have no POSIX mode bits";
#else
    WriteFile("mode.bin", "old");
    chmod("mode.bin", 0640);
    ASSERT_TRUE(Save("mode.bin", true, "new"));
    struct stat st;
    ASSERT_EQ(stat("mode.bin", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // A new file has the mode that a file made by the process gets.
    const mode_t mask = umask(022);
    ASSERT_TRUE(Save("new.bin", true, "new"));
    umask(mask);
    ASSERT_EQ(stat("new.bin", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
#endif
}

// How a child process ended.
enum class End { SAVED, FAILED, KILLED, BROKEN };

// Bytes that a save in a child writes.
std::string ChildBytes() {
    return std::string(300000, 'n');
}

// Child job (name, fault plan, expected error): saves ChildBytes over name under the plan of the
// platform layer (see ZEM_FAULT_WRITE); exits with 0 when saved, 1 when refused with the
// expected error, 2 otherwise.
int SaveJob(const std::vector<std::string>& args) {
    zemtest::SetEnv("ZEM_FAULT_WRITE", args.at(1).c_str());
    std::string error;
    if (Save(args.at(0).c_str(), true, ChildBytes(), &error)) return 0;
    return error == args.at(2) ? 1 : 2;
}
const zemtest::ChildJobName SAVE_JOB("save under a fault plan", SaveJob);

End SaveInChild(const char* name, const std::string& plan, const char* expectedError) {
    int code = -1;
    switch (zemtest::RunChild("save under a fault plan", {name, plan, expectedError}, &code)) {
    case zemtest::ChildProcess::End::KILLED:
        return End::KILLED;
    case zemtest::ChildProcess::End::EXITED:
        return code == 0 ? End::SAVED : code == 1 ? End::FAILED : End::BROKEN;
    default:
        return End::BROKEN;
    }
}

// Hidden temporary files in the working directory.
int Leftovers() {
    int found = 0;
    for (const std::string& name : Listing())
        found += name.rfind(".zem-", 0) == 0 ? 1 : 0;
    return found;
}

// Every change (write, flush, link, rename, folder flush) fails in turn as on a full disk: the
// old file stays whole and no temporary remains, until the save gets through.
TEST_F(SaveFileTest, FailureAtEveryChangeKeepsTheOldFile) {
    WriteFile("keep.bin", "old content");
    int failures = 0;
    for (int n = 1; n < 100; ++n) {
        SCOPED_TRACE(n);
        const End end =
            SaveInChild("keep.bin", std::to_string(n) + ":fail", "No space left on device");
        ASSERT_NE(end, End::BROKEN);
        EXPECT_EQ(Leftovers(), 0);
        if (end == End::SAVED) break;
        ++failures;
        EXPECT_EQ(ReadFile("keep.bin"), "old content");
    }
    // The writes, the flush and the rename, and on POSIX the link before the rename.
#ifdef _WIN32
    EXPECT_GE(failures, 3);
#else
    EXPECT_GE(failures, 4);
#endif
    EXPECT_EQ(ReadFile("keep.bin"), ChildBytes());
}

// The process dies at every change, or halfway through a write: the file is the old one or the
// new one, whole. A temporary named just before the rename is removed by the next save.
TEST_F(SaveFileTest, KillAtEveryChangeLeavesTheOldOrTheNewFile) {
    const std::string bytes = ChildBytes();
    for (const char* how : {"", ":torn"}) {
        WriteFile("keep.bin", "old content");
        int kills = 0;
        for (int n = 1; n < 100; ++n) {
            SCOPED_TRACE(std::to_string(n) + how);
            const End end = SaveInChild("keep.bin", std::to_string(n) + how, "");
            ASSERT_TRUE(end == End::KILLED || end == End::SAVED);
            const std::string now = ReadFile("keep.bin");
            EXPECT_TRUE(now == "old content" || now == bytes);
            if (end == End::SAVED) break;
            ++kills;
            EXPECT_LE(Leftovers(), 1);
            if (Leftovers() == 0) continue;
            ASSERT_TRUE(Save("other.bin", true, "swept"));
            EXPECT_EQ(Leftovers(), 0);
        }
        EXPECT_GE(kills, 4);
        EXPECT_EQ(ReadFile("keep.bin"), bytes);
    }
}

// One writer of each family of the library, each writing more than the file size limit.
struct Family {
    const char* name;
    std::function<bool(const char*)> save;
};

std::vector<Family> Families() {
    return {
        {"picture",
         [](const char* path) {
             ZEMImage image(64, 64, 24);
             return image.SaveName(path, 1);
         }},
        {"palette",
         [](const char* path) {
             ZEMPal pal(256u);
             return pal.SaveName(path, 3);
         }},
        {"font",
         [](const char* path) {
             ZEMImage bitmap(64, 64, 8);
             ZEMFont font("big", 32, 127, &bitmap, 8);
             return font.SaveName(path, 0);
         }},
        {"string array",
         [](const char* path) {
             ZEMText text(1);
             text.SetString(0, std::string(500, 's').c_str());
             return text.SaveName(path, 2); // plain text
         }},
        {"language",
         [](const char* path) {
             ZEMLangWriter writer;
             return writer.SetName("N") && writer.Add(std::string(500, 'l').c_str()) &&
                    writer.Save(path);
         }},
        {"score table",
         [](const char* path) {
             ZEMScore score(50, ZEMScore::SCORE_HIGH_FIRST, 0);
             return score.Save(path, false);
         }},
        {"configuration",
         [](const char* path) {
             ZEMConfigMgr config(4);
             ZEMConfigMgr::CfgValue value;
             value.intValue = 1;
             for (int i = 0; i < 40; ++i) {
                 const std::string name = "parameter" + std::to_string(i);
                 config.AddParameter(name.c_str(), ZEMConfigMgr::TYPE_INT, value);
             }
             return config.Save(path, "a header");
         }},
    };
}

#ifndef _WIN32
// Saves one family's file in a child process whose files may not grow past limit bytes, with
// SIGXFSZ ignored (the write fails with EFBIG) or at its default (the process is killed).
End SaveUnderSizeLimit(const Family& family, const char* path, rlim_t limit, bool ignoreSignal) {
    pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, ignoreSignal ? SIG_IGN : SIG_DFL);
        rlimit sizes{limit, limit};
        setrlimit(RLIMIT_FSIZE, &sizes);
        _exit(family.save(path) ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return End::BROKEN;
    if (WIFSIGNALED(status)) return WTERMSIG(status) == SIGXFSZ ? End::KILLED : End::BROKEN;
    return WEXITSTATUS(status) == 0 ? End::SAVED : End::FAILED;
}

// A file of the family saved over an old one and under a new name, both on a full disk.
void ExpectFullDiskKeepsTheOldFile(const Family& family) {
    for (bool ignore : {true, false}) {
        WriteFile("keep", "old content");
        EXPECT_EQ(SaveUnderSizeLimit(family, "keep", 100, ignore),
                  ignore ? End::FAILED : End::KILLED);
        EXPECT_EQ(ReadFile("keep"), "old content");
        EXPECT_EQ(SaveUnderSizeLimit(family, "absent", 100, ignore),
                  ignore ? End::FAILED : End::KILLED);
        EXPECT_EQ(Listing(), std::set<std::string>{"keep"});
    }
}
#endif

TEST_F(SaveFileTest, FullDiskKeepsTheOldFileOfEveryFamily) {
    for (const Family& family : Families()) {
        SCOPED_TRACE(family.name);
#ifndef _WIN32
        ExpectFullDiskKeepsTheOldFile(family);
#endif
        // With room, each of them writes its file.
        ASSERT_TRUE(family.save("keep"));
        EXPECT_GT(ReadFile("keep").size(), 100u);
        EXPECT_EQ(Listing(), std::set<std::string>{"keep"});
    }
#ifdef _WIN32
    GTEST_SKIP() << NO_SIZE_LIMIT;
#endif
}

TEST_F(SaveFileTest, WriteFailureIsLoggedWithItsCause) {
#ifdef _WIN32
    GTEST_SKIP() << NO_SIZE_LIMIT;
#else
    WriteFile("keep.bmp", "old content");
    pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit sizes{100, 100};
        setrlimit(RLIMIT_FSIZE, &sizes);
        zemtest::LogCapture log;
        ZEMImage image(64, 64, 24);
        const bool saved = image.SaveName("keep.bmp", 1);
        const std::string cause = "File: cannot write 'keep.bmp': File too large\n";
        _exit(!saved && log.Text().find(cause) != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadFile("keep.bmp"), "old content");
#endif
}

} // namespace
