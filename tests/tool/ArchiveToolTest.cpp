#include "../provider/ArchiveTestSupport.h"
#include "ZEMChildProcess.h"
#include "ZEMTestSupport.h"

#include <zem/provider.h>
#include <zem/stream/ZEMResFile.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <vector>

namespace fs = std::filesystem;

using zemtest::ReadFile;
using zemtest::RunShell;
using zemtest::RunTool;
using zemtest::WriteFile;

namespace {

using Members = std::map<std::string, std::string>;

constexpr const char* PHYSFS_SHELL = "/usr/bin/test_physfs";

// Members of an archive as the library reads them.
Members Read(const std::string& path) {
    Members members;
    std::unique_ptr<ZEMArchive> archive(ZEMArchive::OpenArchive(path.c_str()));
    if (!archive) return members;
    for (unsigned i = 0; i < archive->NbFiles(); ++i) {
        members[archive->FileName(i)] =
            archive->FileSize(i) ? archtest::Member(*archive, i) : std::string();
    }
    return members;
}

#ifndef _WIN32
// Runs the PhysicsFS shell on the commands; its whole output.
std::string PhysfsShell(const std::string& commands) {
    WriteFile("physfs-commands.txt", commands + "quit\n");
    std::string output;
    FILE* pipe = popen((std::string(PHYSFS_SHELL) + " < physfs-commands.txt 2>&1").c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    pclose(pipe);
    return output;
}

// Members of a PAK file as PhysicsFS reads them (text members without newlines only, as the
// shell prints them between its prompts).
Members ReadWithPhysfs(const std::string& pak) {
    const std::string mount = "addarchive " + pak + " 0\n";
    std::string listing = PhysfsShell(mount + "enumerate /\n");
    size_t begin = listing.find("> enumerate /\n");
    size_t end = listing.find("\n total (", begin);
    Members members;
    if (begin == std::string::npos || end == std::string::npos) return members;
    std::vector<std::string> names;
    std::string text = listing.substr(begin + 14, end - begin - 14);
    for (size_t at = 0, next; at < text.size(); at = next + 1) {
        next = text.find('\n', at);
        if (next == std::string::npos) next = text.size();
        if (next > at) names.push_back(text.substr(at, next - at));
    }
    std::string commands = mount;
    for (const std::string& name : names)
        commands += "cat " + name + "\n";
    std::string output = PhysfsShell(commands);
    for (const std::string& name : names) {
        const std::string prompt = "> cat " + name + "\n";
        size_t at = output.find(prompt);
        size_t stop = output.find("\n\n> ", at);
        if (at == std::string::npos || stop == std::string::npos) continue;
        members[name] = output.substr(at + prompt.size(), stop - at - prompt.size());
    }
    return members;
}
#endif

size_t Lines(const std::string& text) {
    return size_t(std::count(text.begin(), text.end(), '\n'));
}

class ArchiveToolTest : public zemtest::TempDirTest {
protected:
    // A folder of sample files, two of them below subfolders.
    void MakeSamples() {
        fs::create_directories("data/maps/deep");
        fs::create_directories("data/sounds");
        WriteFile("data/readme.txt", "read me");
        WriteFile("data/maps/e1m1.bsp", "map one");
        WriteFile("data/maps/deep/e1m2.bsp", "map two");
        WriteFile("data/sounds/jump.wav", "boing");
        WriteFile("data/.hidden", "hidden");
    }

    // The members of an archive of the folder data: named by their paths.
    const Members samples_ = {{"data/.hidden", "hidden"},
                              {"data/maps/e1m1.bsp", "map one"},
                              {"data/maps/deep/e1m2.bsp", "map two"},
                              {"data/sounds/jump.wav", "boing"},
                              {"data/readme.txt", "read me"}};
    // The same, created with --flatten: named by the files' own names.
    const Members flat_ = {{".hidden", "hidden"},
                           {"e1m1.bsp", "map one"},
                           {"e1m2.bsp", "map two"},
                           {"jump.wav", "boing"},
                           {"readme.txt", "read me"}};
};

TEST_F(ArchiveToolTest, HelpForTheFamilyAndEveryCommand) {
    std::string out;
    ASSERT_EQ(RunTool("--help", &out), 0);
    EXPECT_NE(out.find("  archive "), std::string::npos) << out;
    std::string family;
    ASSERT_EQ(RunTool("archive --help", &family), 0);
    EXPECT_EQ(family.rfind("usage: zem archive COMMAND", 0), 0u) << family;
    for (const char* command :
         {"create", "list", "add", "rm", "mv", "update", "extract", "cat", "test"}) {
        EXPECT_NE(family.find(std::string("\n  ") + command + " "), std::string::npos) << command;
        ASSERT_EQ(RunTool(std::string("archive ") + command + " --help", &out), 0) << command;
        EXPECT_EQ(out.rfind(std::string("usage: zem archive ") + command + " ", 0), 0u) << out;
    }
}

TEST_F(ArchiveToolTest, FailuresSayWhatWentWrongOnOneLine) {
    WriteFile("notes.txt", "plain text");
    WriteFile("file.txt", "x");
    WriteFile("zip.zip", std::string("PK\x03\x04", 4) + std::string(30, '\0'));
    WriteFile("cut.zem", "ZEMA" + archtest::Le32(500) + archtest::Le32(3));
    ASSERT_EQ(RunTool("archive create ok.zem file.txt"), 0);
    // Status 2: the command line is wrong; 1: the work could not be done.
    const struct {
        const char* args;
        int status;
        const char* says;
    } cases[] = {
        {"archive", 2, "archive needs a command"},
        {"archive frob", 2, "unknown archive command 'frob'"},
        {"archive create", 2, "usage: zem archive create "},
        {"archive create new.zem", 2, "usage: zem archive create "},
        {"archive create new.zem --format tar file.txt", 2, "unknown format 'tar'"},
        {"archive create new.tar file.txt", 2, "'new.tar' ends in neither .zem nor .pak"},
        {"archive create new.zem --format", 2, "--format needs a value"},
        {"archive create ok.zem file.txt", 1, "'ok.zem' already exists"},
        {"archive create new.zem missing.txt", 1, "'missing.txt': no such file or folder"},
        {"archive list", 2, "usage: zem archive list [-v] [--names] ARCHIVE"},
        {"archive list a b c", 2, "usage: zem archive list [-v] [--names] ARCHIVE"},
        {"archive list --force ok.zem", 2, "archive list takes no option '--force'"},
        {"archive compact ok.zem more", 2, "usage: zem archive compact ARCHIVE"},
        {"archive mv -x ok.zem a b", 2, "archive mv takes no option '-x'"},
        {"archive list missing.zem", 1, "'missing.zem': no such file"},
        {"archive list notes.txt", 1, "'notes.txt' is not a ZEM or PAK archive"},
        {"archive list zip.zip", 1, "'zip.zip' is a ZIP archive"},
        {"archive list cut.zem", 1, "'cut.zem' is a damaged archive"},
        {"archive list .", 1, "'.' is a folder"},
        {"archive cat ok.zem nope", 1, "no member 'nope' in 'ok.zem'"},
        {"archive rm ok.zem file.txt nope", 1, "no member 'nope' in 'ok.zem'"},
        {"archive mv ok.zem nope new", 1, "no member 'nope' in 'ok.zem'"},
        {"archive mv ok.zem file.txt dir/", 1,
         "cannot rename 'file.txt' to 'dir/' in 'ok.zem': its name ends with a separator"},
        {"archive mv ok.zem file.txt ../up", 1,
         "cannot rename 'file.txt' to '../up' in 'ok.zem': its name leads out of the folder"},
        {"archive update ok.zem notes.txt", 1, "no member 'notes.txt' in 'ok.zem'"},
        {"archive add ok.zem missing.txt", 1, "'missing.txt': no such file or folder"},
        {"archive add --replace --skip-existing ok.zem notes.txt", 2, "exclude each other"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(RunTool(c.args, &out), c.status) << c.args;
        EXPECT_EQ(out.rfind(std::string("zem: "), 0), 0u) << c.args << ": " << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << c.args << ": " << out;
        EXPECT_EQ(Lines(out), 1u) << c.args << ": " << out;
    }
    EXPECT_FALSE(fs::exists("new.zem"));
    // The failed commands left the archive as it was.
    EXPECT_EQ(Read("ok.zem"), (Members{{"file.txt", "x"}}));
}

TEST_F(ArchiveToolTest, CreateTakesFoldersRecursivelyUnderTheirPaths) {
    MakeSamples();
    std::string out;
    ASSERT_EQ(RunTool("archive create game.zem data", &out), 0) << out;
    EXPECT_EQ(out, "");
    EXPECT_EQ(Read("game.zem"), samples_);

    // Name order, depth first; the names last on their rows.
    ASSERT_EQ(RunTool("archive list game.zem", &out), 0) << out;
    std::vector<std::string> order;
    for (const char* name : {"data/.hidden", "data/maps/deep/e1m2.bsp", "data/maps/e1m1.bsp",
                             "data/readme.txt", "data/sounds/jump.wav"})
        order.push_back(std::string("  ") + name + "\n");
    size_t last = 0;
    for (const std::string& row : order) {
        size_t at = out.find(row);
        ASSERT_NE(at, std::string::npos) << row << "\n" << out;
        EXPECT_GT(at, last) << row << "\n" << out;
        last = at;
    }
    EXPECT_EQ(out.rfind("      Size  Date                  Offset  Name\n", 0), 0u) << out;
    EXPECT_NE(out.find("\n5 members, 32 bytes\n"), std::string::npos) << out;

    // With --flatten, the files' own names; two files of one name are refused, not doubled.
    ASSERT_EQ(RunTool("archive create flat.zem --flatten data", &out), 0) << out;
    EXPECT_EQ(Read("flat.zem"), flat_);
    WriteFile("data/sounds/readme.txt", "another");
    EXPECT_EQ(RunTool("archive create twice.zem --flatten data", &out), 1);
    EXPECT_EQ(out, "zem: 'data/sounds/readme.txt' and 'data/readme.txt' would both be "
                   "'readme.txt': 'data/sounds/readme.txt' left out\n");
    EXPECT_EQ(Read("twice.zem"), flat_);
    fs::remove("data/sounds/readme.txt");
    // Names longer than the format holds are refused, never cut, each named, before anything
    // is written.
    const std::string longName = "data/" + std::string(30, 'l');
    const std::string longer = "data/" + std::string(31, 'l');
    WriteFile(longName, "long");
    WriteFile(longer, "longer");
    const std::string tooLong = "zem: the name '" + longName + "' of '" + longName +
                                "' is too long (35 bytes; the format holds 31)\n"
                                "zem: the name '" +
                                longer + "' of '" + longer +
                                "' is too long (36 bytes; the format holds 31)\n";
    EXPECT_EQ(RunTool("archive create long.zem data", &out), 1);
    EXPECT_EQ(out, tooLong + "zem: 'long.zem' not written: names too long for the format\n");
    EXPECT_FALSE(fs::exists("long.zem"));
    const std::string before = ReadFile("game.zem");
    EXPECT_EQ(RunTool("archive add game.zem --skip-existing data", &out), 1);
    EXPECT_EQ(out, tooLong + "zem: nothing added to 'game.zem': names too long for the format\n");
    EXPECT_EQ(ReadFile("game.zem"), before);
    fs::remove(longName);
    fs::remove(longer);

    // The format follows --format, else the name.
    ASSERT_EQ(RunTool("archive create game.pak data/maps", &out), 0) << out;
    ASSERT_EQ(RunTool("archive create --format=pak other data/readme.txt", &out), 0) << out;
    ASSERT_EQ(RunTool("archive create third.pak --format zem data/readme.txt", &out), 0) << out;
    EXPECT_EQ(ZEMArchive::FindArchiveFormat("game.zem"), 1);
    EXPECT_EQ(ZEMArchive::FindArchiveFormat("game.pak"), 2);
    EXPECT_EQ(ZEMArchive::FindArchiveFormat("other"), 2);
    EXPECT_EQ(ZEMArchive::FindArchiveFormat("third.pak"), 1);

    // --force replaces an existing archive whole; without it, the archive is kept and named.
    EXPECT_EQ(RunTool("archive create game.zem data/readme.txt", &out), 1);
    EXPECT_EQ(out, "zem: 'game.zem' already exists (use 'zem archive add' to add to it, or --force "
                   "to replace it)\n");
    EXPECT_EQ(Read("game.zem"), samples_);
    ASSERT_EQ(RunTool("archive create --force game.zem data/readme.txt", &out), 0) << out;
    EXPECT_EQ(Read("game.zem"), (Members{{"data/readme.txt", "read me"}}));
}

// Empty files are members of size 0, and come back as empty files.
TEST_F(ArchiveToolTest, EmptyFilesAreStored) {
    fs::create_directory("data");
    WriteFile("data/empty.txt", "");
    WriteFile("data/full.txt", "full");
    std::string out;
    EXPECT_EQ(RunTool("archive create a.zem data", &out), 0) << out;
    EXPECT_EQ(Read("a.zem"), (Members{{"data/empty.txt", ""}, {"data/full.txt", "full"}}));
    EXPECT_EQ(RunTool("archive extract a.zem -C out", &out), 0) << out;
    EXPECT_TRUE(fs::is_regular_file("out/data/empty.txt"));
    EXPECT_EQ(ReadFile("out/data/empty.txt"), "");
    // An empty folder gives no archive: one that stores nothing would only stand in the way.
    fs::create_directory("nothing");
    EXPECT_EQ(RunTool("archive create c.zem nothing", &out), 1) << out;
    EXPECT_EQ(out, "zem: 'c.zem' not written: no file to store\n");
    EXPECT_FALSE(fs::exists("c.zem"));
}

// A link back up the tree must not make the walk endless; links that cannot be stored are named
// and make the status 1, links to files are stored as the files.
TEST_F(ArchiveToolTest, FolderLinksDoNotLoopAndLinksLeftOutAreNamed) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links";
#else
    fs::create_directories("data/sub");
    WriteFile("data/sub/x.txt", "x");
    fs::create_directory_symlink("..", "data/sub/up");
    fs::create_symlink("x.txt", "data/sub/y.txt");
    fs::create_symlink("nowhere", "data/sub/z.txt");
    std::string out;
    ASSERT_EQ(RunTool("archive create a.zem data", &out), 1) << out;
    EXPECT_EQ(
        out,
        "zem: 'data/sub/z.txt': a link that leads nowhere, left out\n"
        "zem: 'data/sub/up': this folder was taken already by another way (a link), left out\n");
    EXPECT_EQ(Read("a.zem"), (Members{{"data/sub/x.txt", "x"}, {"data/sub/y.txt", "x"}}));
#endif
}

// Every edit through the tool leaves a PAK file that PhysicsFS reads with the same names and
// bytes.
TEST_F(ArchiveToolTest, EditedPakMountsInPhysicsFS) {
#ifdef _WIN32
    GTEST_SKIP() << "PhysicsFS is not built for Windows";
#else
    if (access(PHYSFS_SHELL, X_OK) != 0) GTEST_SKIP() << "PhysicsFS shell not installed";
    MakeSamples();
    std::string out;
    // PhysicsFS lists the top folder only: the members are named without folders.
    ASSERT_EQ(RunTool("archive create game.pak --flatten data", &out), 0) << out;
    Members expected = flat_;
    EXPECT_EQ(ReadWithPhysfs("game.pak"), expected);

    WriteFile("extra.cfg", "bind x jump");
    ASSERT_EQ(RunTool("archive add game.pak extra.cfg", &out), 0) << out;
    expected["extra.cfg"] = "bind x jump";
    EXPECT_EQ(ReadWithPhysfs("game.pak"), expected);

    ASSERT_EQ(RunTool("archive mv game.pak readme.txt README", &out), 0) << out;
    expected["README"] = expected["readme.txt"];
    expected.erase("readme.txt");
    EXPECT_EQ(ReadWithPhysfs("game.pak"), expected);

    ASSERT_EQ(RunTool("archive rm game.pak e1m1.bsp .hidden", &out), 0) << out;
    expected.erase("e1m1.bsp");
    expected.erase(".hidden");
    EXPECT_EQ(ReadWithPhysfs("game.pak"), expected);

    fs::create_directory("new");
    WriteFile("new/jump.wav", "a much longer boing sound");
    WriteFile("new/e1m2.bsp", "m2");
    ASSERT_EQ(RunTool("archive update game.pak --flatten new", &out), 0) << out;
    expected["jump.wav"] = "a much longer boing sound";
    expected["e1m2.bsp"] = "m2";
    EXPECT_EQ(ReadWithPhysfs("game.pak"), expected);
    EXPECT_EQ(Read("game.pak"), expected);
#endif
}

// The archive itself and names the archive holds already are left out, and said so (exit 1);
// --replace and --skip-existing choose otherwise.
TEST_F(ArchiveToolTest, AddLeavesOutTheArchiveItselfAndNamesItHolds) {
    fs::create_directory("data");
    WriteFile("data/a.txt", "a");
    ASSERT_EQ(RunTool("archive create data/self.zem data"), 0);
    WriteFile("data/b.txt", "b");
    std::string out;
    EXPECT_EQ(RunTool("archive add data/self.zem data", &out), 1) << out;
    EXPECT_EQ(out, "zem: 'data/self.zem' is the archive itself, left out\n"
                   "zem: 'data/a.txt': the archive holds 'data/a.txt' already (--replace or "
                   "--skip-existing to choose), left out\n");
    EXPECT_EQ(Read("data/self.zem"), (Members{{"data/a.txt", "a"}, {"data/b.txt", "b"}}));

    WriteFile("data/a.txt", "a, second version");
    WriteFile("data/c.txt", "c");
    EXPECT_EQ(RunTool("archive add data/self.zem --skip-existing data/a.txt data/c.txt", &out), 0)
        << out;
    EXPECT_EQ(Read("data/self.zem"),
              (Members{{"data/a.txt", "a"}, {"data/b.txt", "b"}, {"data/c.txt", "c"}}));
    EXPECT_EQ(RunTool("archive add data/self.zem --replace data/a.txt", &out), 0) << out;
    EXPECT_EQ(
        Read("data/self.zem"),
        (Members{{"data/a.txt", "a, second version"}, {"data/b.txt", "b"}, {"data/c.txt", "c"}}));
    // mv onto a name the archive holds is refused too.
    EXPECT_EQ(RunTool("archive mv data/self.zem data/c.txt data/b.txt", &out), 1);
    EXPECT_EQ(out, "zem: 'data/self.zem' holds 'data/b.txt' already\n");
    // mv keeps the folders of the new name, and cuts nothing.
    EXPECT_EQ(RunTool("archive mv data/self.zem data/b.txt sub/dir/x", &out), 0) << out;
    const std::string longName = "sub/" + std::string(28, 'l');
    EXPECT_EQ(RunTool("archive mv data/self.zem data/c.txt " + longName, &out), 1);
    EXPECT_EQ(out, "zem: cannot rename 'data/c.txt' to '" + longName +
                       "' in 'data/self.zem': the name is too long (32 bytes; the format "
                       "holds 31)\n");
    EXPECT_EQ(
        Read("data/self.zem"),
        (Members{{"data/a.txt", "a, second version"}, {"sub/dir/x", "b"}, {"data/c.txt", "c"}}));
}

TEST_F(ArchiveToolTest, CatWritesTheExactBytes) {
    std::string binary("\0\x01\xff\r\n\x1a tail", 10);
    WriteFile("bin.dat", binary);
    WriteFile("hand.pak", archtest::PakFile({{"empty", ""}, {"text", "hello"}}));
    ASSERT_EQ(RunTool("archive create a.zem bin.dat"), 0);
    // Standard output goes to a file, read back byte for byte: no line end is translated.
    ASSERT_EQ(RunTool("archive cat a.zem bin.dat > cat.out"), 0);
    EXPECT_EQ(ReadFile("cat.out"), binary);
    std::string out;
    ASSERT_EQ(RunTool("archive cat hand.pak empty", &out), 0) << out;
    EXPECT_EQ(out, "");
    ASSERT_EQ(RunTool("archive cat hand.pak text", &out), 0) << out;
    EXPECT_EQ(out, "hello");
}

// A folder given by an absolute path or through ".." is stored under its last component, as a
// relative one is; a create that stores nothing leaves no archive behind to block the next try.
TEST_F(ArchiveToolTest, FoldersOutsideAreStoredUnderTheirLastComponent) {
    MakeSamples();
    fs::create_directory("here");
    std::string out;
    for (const std::string& folder : {Path("data"), Path("data/"), std::string("here/../data/.")}) {
        ASSERT_EQ(RunTool("archive create a.zem " + folder, &out), 0) << folder << ": " << out;
        EXPECT_EQ(Read("a.zem"), samples_) << folder;
        fs::remove("a.zem");
    }
    fs::current_path("here");
    ASSERT_EQ(RunTool("archive create a.zem ../data", &out), 0) << out;
    EXPECT_EQ(Read("a.zem"), samples_);
    // Files given one by one by such paths are still refused: nothing stored, no archive.
    EXPECT_EQ(RunTool("archive create b.zem ../data/readme.txt", &out), 1);
    EXPECT_EQ(out, "zem: '../data/readme.txt': give a relative path (or --flatten), left out\n"
                   "zem: 'b.zem' not written: no file could be added\n");
    EXPECT_FALSE(fs::exists("b.zem"));
    ASSERT_EQ(RunTool("archive create b.zem --flatten ../data/readme.txt", &out), 0) << out;
}

// Extracted files get their members' dates; those of a PAK, which stores none, the archive's.
TEST_F(ArchiveToolTest, ExtractRestoresTheStoredDates) {
    MakeSamples();
    Members members = samples_;
    members["data/\xC3\xA9t\xC3\xA9-\xE6\x97\xA5\xE6\x9C\xAC.txt"] = "UTF-8 name";
    const time_t old = 1000000000; // 2001-09-09
    for (const auto& [name, bytes] : members) {
        WriteFile(name, bytes);
        ASSERT_TRUE(zemtest::SetModified(name, old + time_t(bytes.size()))) << name;
    }
    ASSERT_EQ(RunTool("archive create game.zem data"), 0);
    ASSERT_EQ(RunTool("archive create game.pak data"), 0);
    ASSERT_TRUE(zemtest::SetModified("game.pak", old - 50));
    std::string out;
    ASSERT_EQ(RunTool("archive extract game.zem -C z", &out), 0) << out;
    ASSERT_EQ(RunTool("archive extract game.pak -C p", &out), 0) << out;
    for (const auto& [name, bytes] : members) {
        EXPECT_EQ(zemtest::Modified("z/" + name), old + time_t(bytes.size())) << name;
        EXPECT_EQ(zemtest::Modified("p/" + name), old - 50) << name;
    }
}

TEST_F(ArchiveToolTest, ExtractWritesEveryMemberIntoTheFolder) {
    MakeSamples();
    ASSERT_EQ(RunTool("archive create game.zem data"), 0);
    std::string out;
    ASSERT_EQ(RunTool("archive extract game.zem -C out/new", &out), 0) << out;
    for (const auto& [name, bytes] : samples_)
        EXPECT_EQ(ReadFile("out/new/" + name), bytes);

    fs::create_directory("here");
    fs::current_path("here");
    ASSERT_EQ(RunTool("archive extract ../game.zem", &out), 0) << out;
    for (const auto& [name, bytes] : samples_)
        EXPECT_EQ(ReadFile(name), bytes);
}

// The habits of tar users: options anywhere, '--', -v, -C, chosen members, no silent overwrite.
TEST_F(ArchiveToolTest, CommandLinesWorkAsTarUsersExpect) {
    MakeSamples();
    WriteFile("-v", "a file named like an option");
    std::string out;
    ASSERT_EQ(RunTool("archive create game.zem data/maps -v", &out), 0) << out;
    EXPECT_EQ(out, "data/maps/deep/e1m2.bsp\ndata/maps/e1m1.bsp\n");
    ASSERT_EQ(RunTool("archive create --verbose dash.pak -- -v", &out), 0) << out;
    EXPECT_EQ(out, "-v\n");
    EXPECT_EQ(Read("dash.pak"), (Members{{"-v", "a file named like an option"}}));

    ASSERT_EQ(RunTool("archive extract game.zem data/maps/e1m1.bsp -C out -v", &out), 0) << out;
    EXPECT_EQ(out, "data/maps/e1m1.bsp\n");
    EXPECT_EQ(ReadFile("out/data/maps/e1m1.bsp"), "map one");
    EXPECT_FALSE(fs::exists("out/data/maps/deep"));
    // An existing file is kept, and named, unless --force.
    WriteFile("out/data/maps/e1m1.bsp", "mine");
    EXPECT_EQ(RunTool("archive extract -C out game.zem", &out), 1);
    EXPECT_EQ(out, "zem: 'data/maps/e1m1.bsp' not extracted: the file exists (--force to "
                   "overwrite it)\nzem: 1 of 2 members not extracted\n");
    EXPECT_EQ(ReadFile("out/data/maps/e1m1.bsp"), "mine");
    EXPECT_EQ(ReadFile("out/data/maps/deep/e1m2.bsp"), "map two");
    ASSERT_EQ(RunTool("archive extract -C out --force game.zem", &out), 0) << out;
    EXPECT_EQ(ReadFile("out/data/maps/e1m1.bsp"), "map one");
    // A link that leads nowhere is an existing name too: kept, and named.
    fs::remove("out/data/maps/deep/e1m2.bsp");
    const bool linked = zemtest::PlantSymlink("nowhere", "out/data/maps/deep/e1m2.bsp");
    if (linked) {
        EXPECT_EQ(RunTool("archive extract -C out game.zem data/maps/deep/e1m2.bsp", &out), 1);
        EXPECT_EQ(out, "zem: 'data/maps/deep/e1m2.bsp' not extracted: the file exists (--force to "
                       "overwrite it)\nzem: 1 of 1 members not extracted\n");
        EXPECT_TRUE(fs::is_symlink("out/data/maps/deep/e1m2.bsp"));
        EXPECT_FALSE(fs::exists("out/data/maps/deep/nowhere"));
    }
    // A name not in the archive is named; the others are written.
    EXPECT_EQ(RunTool("archive extract game.zem nope data/maps/e1m1.bsp -C other", &out), 1);
    EXPECT_EQ(out, "zem: no member 'nope' in 'game.zem'\n");
    EXPECT_EQ(ReadFile("other/data/maps/e1m1.bsp"), "map one");

    // cat: several members, to standard output or "-", or to a file that must not exist.
    ASSERT_EQ(RunTool("archive cat game.zem data/maps/e1m1.bsp data/maps/deep/e1m2.bsp -o -", &out),
              0);
    EXPECT_EQ(out, "map onemap two");
    ASSERT_EQ(RunTool("archive cat -o one.bin game.zem data/maps/e1m1.bsp", &out), 0) << out;
    EXPECT_EQ(ReadFile("one.bin"), "map one");
    EXPECT_EQ(RunTool("archive cat -o one.bin game.zem data/maps/deep/e1m2.bsp", &out), 1);
    EXPECT_EQ(out, "zem: 'one.bin' already exists (use --force to replace it)\n");
    ASSERT_EQ(RunTool("archive cat --force -o one.bin game.zem data/maps/deep/e1m2.bsp"), 0);
    EXPECT_EQ(ReadFile("one.bin"), "map two");
    if (!linked) GTEST_SKIP() << zemtest::NO_SYMLINKS;
}

// Renames leave dead space, which list -v and test show and compact gives back; the members stay.
TEST_F(ArchiveToolTest, CompactGivesBackTheDeadSpace) {
    MakeSamples();
    std::string out;
    ASSERT_EQ(RunTool("archive create game.zem data/maps", &out), 0) << out;
    ASSERT_EQ(RunTool("archive mv game.zem data/maps/e1m1.bsp e1m1.bsp", &out), 0) << out;
    const Members members = Read("game.zem");
    ASSERT_EQ(RunTool("archive list -v game.zem", &out), 0) << out;
    EXPECT_NE(out.find("\n88 bytes of dead space\n"), std::string::npos) << out;
    ASSERT_EQ(RunTool("archive test game.zem", &out), 0) << out;
    EXPECT_NE(out.find("all whole; 88 bytes of dead space ('zem archive compact' gives them back)"),
              std::string::npos)
        << out;
    ASSERT_EQ(RunTool("archive compact game.zem", &out), 0) << out;
    EXPECT_EQ(out, "'game.zem': 88 bytes of dead space given back\n");
    ASSERT_EQ(RunTool("archive list -v --names game.zem", &out), 0) << out;
    EXPECT_EQ(out, "data/maps/deep/e1m2.bsp\ne1m1.bsp\n0 bytes of dead space\n");
    EXPECT_EQ(Read("game.zem"), members);
}

// The tool rebuilds an archive that this process holds open through an archive object and a
// member stream (on Windows a held file cannot simply be renamed over): the stream goes on
// reading the old bytes, and the object reads the new archive once it opens it again.
TEST_F(ArchiveToolTest, EditsReplaceAnArchiveThatAnotherProcessHoldsOpen) {
    MakeSamples();
    std::string out;
    ASSERT_EQ(RunTool("archive create game.zem data", &out), 0) << out;
    std::unique_ptr<ZEMArchive> held(ZEMArchive::OpenArchive("game.zem"));
    ASSERT_TRUE(held);
    std::unique_ptr<ZEMResFile> stream(held->OpenFile("data/readme.txt"));
    ASSERT_TRUE(stream);
    WriteFile("data/readme.txt", "read me again");
    ASSERT_EQ(RunTool("archive rm game.zem data/sounds/jump.wav", &out), 0) << out;
    ASSERT_EQ(RunTool("archive update game.zem data/readme.txt", &out), 0) << out;
    char bytes[16] = {};
    EXPECT_EQ(stream->Read(bytes, sizeof bytes), 7u);
    EXPECT_STREQ(bytes, "read me");
    Members now = samples_;
    now.erase("data/sounds/jump.wav");
    now["data/readme.txt"] = "read me again";
    EXPECT_EQ(Read("game.zem"), now);
    EXPECT_EQ(held->NbFiles(), 5u);
    ASSERT_TRUE(held->Open("game.zem"));
    EXPECT_EQ(held->NbFiles(), 4u);
}

// Output that cannot be written is a failure, in every command that writes to standard output.
TEST_F(ArchiveToolTest, UnwritableOutputFails) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    MakeSamples();
    ASSERT_EQ(RunTool("archive create game.zem data"), 0);
    for (const char* args : {"archive list game.zem", "archive list --names game.zem",
                             "archive test game.zem", "archive cat game.zem data/readme.txt",
                             "archive extract -v -C out game.zem", "--help", "version"}) {
        std::string out;
        EXPECT_EQ(
            RunShell("{ '" + std::string(ZEM_TOOL_PATH) + "' " + args + " >/dev/full; }", &out), 1)
            << args;
        EXPECT_NE(out.find("zem: cannot write to standard output"), std::string::npos)
            << args << ": " << out;
    }
}

// Sets the time zone of this process, and of the programs it starts, for its lifetime.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        const char* old = std::getenv("TZ");
        if (old) old_ = old;
        had_ = old != nullptr;
        Set(zone);
    }
    ~TimeZone() { Set(had_ ? old_.c_str() : nullptr); }
    TimeZone(const TimeZone&) = delete;
    TimeZone& operator=(const TimeZone&) = delete;

private:
    static void Set(const char* zone) {
#ifdef _WIN32
        _putenv_s("TZ", zone ? zone : "");
        _tzset();
#else
        if (zone)
            setenv("TZ", zone, 1);
        else
            unsetenv("TZ");
        tzset();
#endif
    }

    std::string old_;
    bool had_;
};

// The table: ISO dates in local time, "-" where the format keeps none, sizes unsigned, the names
// last so that long and UTF-8 names keep the columns.
TEST_F(ArchiveToolTest, ListShowsIsoDatesAndAlignedColumns) {
    const std::string utf8 = "data/\xC3\xA9t\xC3\xA9-\xE6\x97\xA5\xE6\x9C\xAC.txt";
    fs::create_directory("data");
    WriteFile(utf8, "summer");
    WriteFile("data/a.txt", "a");
    for (const std::string& name : {std::string("data/a.txt"), utf8})
        ASSERT_TRUE(zemtest::SetModified(name, 1796911410)) << name; // 2026-12-10 14:03:30 UTC
    // Five hours east of Greenwich, where that is 19:03.
    const TimeZone east("ZEM-5");
    ASSERT_EQ(RunTool("archive create a.zem data"), 0);
    ASSERT_EQ(RunTool("archive create a.pak data"), 0);
    std::string out;
    ASSERT_EQ(RunTool("archive list a.zem", &out), 0) << out;
    EXPECT_EQ(out, "      Size  Date                  Offset  Name\n"
                   "         1  2026-12-10 19:03          12  data/a.txt\n"
                   "         6  2026-12-10 19:03          13  " +
                       utf8 +
                       "\n"
                       "2 members, 7 bytes\n");
    ASSERT_EQ(RunTool("archive list a.pak", &out), 0);
    EXPECT_EQ(out, "      Size  Date                  Offset  Name\n"
                   "         1  -                         12  data/a.txt\n"
                   "         6  -                         13  " +
                       utf8 +
                       "\n"
                       "2 members, 7 bytes\n");
}

// Every folder and file below root by its name there ('/' between components), with the bytes
// of the files.
Members Tree(const std::string& root) {
    Members tree;
    const fs::path top = fs::u8path(root);
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
        const std::string name = entry.path().lexically_relative(top).generic_u8string();
        tree[name] = entry.is_directory() ? "(folder)" : ReadFile(entry.path().u8string());
    }
    return tree;
}

// A tree of awkward names goes through create, test, list and extract in both formats and comes
// back whole: spaces, UTF-8 (in and out of Latin-1), empty files, nested folders holding files of
// one name.
TEST_F(ArchiveToolTest, TreesComeBackIdentical) {
    const std::string utf8 = "t/\xC3\xA9t\xC3\xA9 \xE6\x97\xA5";
    for (const std::string& folder : {std::string("t/a b/a b"), utf8, std::string("t/x/x/x")}) {
        fs::create_directories(fs::u8path(folder));
        WriteFile(folder + "/same name.txt", folder);
        WriteFile(folder + "/empty", "");
    }
    WriteFile("t/x/same name.txt", std::string("\0\xFF binary", 9));
    for (const char* format : {"zem", "pak"}) {
        const std::string archive = std::string("tree.") + format;
        std::string out;
        ASSERT_EQ(RunTool("archive create " + archive + " t", &out), 0) << out;
        ASSERT_EQ(RunTool("archive test " + archive, &out), 0) << out;
        ASSERT_EQ(RunTool("archive list --names " + archive, &out), 0) << out;
        EXPECT_EQ(Lines(out), 7u) << out;
        const std::string into = std::string("out-") + format;
        ASSERT_EQ(RunTool("archive extract " + archive + " -C " + into, &out), 0) << out;
        EXPECT_EQ(Tree(into + "/t"), Tree("t")) << format;
#ifndef _WIN32
        EXPECT_EQ(RunShell("diff -r t " + into + "/t", &out), 0) << format << ": " << out;
#endif
    }
}

// Names from other programs' archives may hold folders, or try to leave the destination.
TEST_F(ArchiveToolTest, ExtractMakesSubfoldersAndNeverWritesOutside) {
    const std::string absolute = "/tmp/zem-extract-abs-" + std::to_string(getpid());
    WriteFile("hostile.pak", archtest::PakFile({{"maps/e1m1.bsp", "map"},
                                                {"../escaped.txt", "out"},
                                                {"maps/../../escaped2.txt", "out"},
                                                {"..\\escaped3.txt", "out"},
                                                {absolute, "abs"},
                                                {"sub\\dir\\x.txt", "x"},
                                                {"ok.txt", "ok"}}));
    std::string out;
    EXPECT_EQ(RunTool("archive extract hostile.pak -C dest", &out), 1);
    EXPECT_EQ(ReadFile("dest/maps/e1m1.bsp"), "map");
    EXPECT_EQ(ReadFile("dest/sub/dir/x.txt"), "x");
    EXPECT_EQ(ReadFile("dest/ok.txt"), "ok");
    EXPECT_FALSE(fs::exists("escaped.txt"));
    EXPECT_FALSE(fs::exists("escaped2.txt"));
    EXPECT_FALSE(fs::exists("escaped3.txt"));
    EXPECT_FALSE(fs::exists(absolute));
    for (const std::string& name :
         {std::string("../escaped.txt"), std::string("maps/../../escaped2.txt"), absolute}) {
        EXPECT_NE(out.find("zem: '" + name + "' not extracted: its name leads out of the folder"),
                  std::string::npos)
            << out;
    }
    EXPECT_NE(out.find("zem: 4 of 7 members not extracted\n"), std::string::npos) << out;
    EXPECT_EQ(Lines(out), 5u) << out;
}

// The names that would leave the folder, open a device or lose their last dot are refused one by
// one, each named with its reason, and the rest is extracted under their own names.
TEST_F(ArchiveToolTest, ExtractRefusesHostileNamesAndSaysWhy) {
    WriteFile("hostile.zem", archtest::ZemFile(archtest::HostileMembers()));
    std::string out;
    EXPECT_EQ(zemtest::RunToolArgs({"archive", "extract", "hostile.zem", "-C", "out"}, &out), 1);
    EXPECT_EQ(archtest::FilesBelow("out"), archtest::HostileLandings());
    size_t refused = 0;
    for (const archtest::HostileName& hostile : archtest::HostileNames()) {
        if (!archtest::RefusedHere(hostile)) continue;
        ++refused;
        // Control characters are shown as '?'.
        std::string shown = hostile.name;
        std::replace_if(
            shown.begin(), shown.end(), [](char c) { return uint8_t(c) < 0x20; }, '?');
        EXPECT_NE(out.find("zem: '" + shown + "' not extracted: " + hostile.why + "\n"),
                  std::string::npos)
            << out;
    }
    EXPECT_NE(out.find("zem: " + std::to_string(refused) + " of " +
                       std::to_string(archtest::HostileNames().size()) +
                       " members not extracted\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(Lines(out), refused + 1) << out;
}

// Links already in the destination are replaced or refused, never followed.
TEST_F(ArchiveToolTest, ExtractNeverWritesThroughLinks) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links";
#else
    WriteFile("a.pak", archtest::PakFile({{"a.txt", "member a"},
                                          {"b.txt", "member b"},
                                          {"maps/e1m1.bsp", "map"},
                                          {"h.txt", "member h"}}));
    archtest::MakeLinkTrap();
    std::string out;
    EXPECT_EQ(RunTool("archive extract --force a.pak -C dest", &out), 1);
    EXPECT_EQ(out, "zem: 'maps/e1m1.bsp' not extracted: 'maps' on the way is a link\n"
                   "zem: 1 of 4 members not extracted\n");
    EXPECT_EQ(ReadFile("outside/canary.txt"), "canary");
    EXPECT_EQ(ReadFile("outside/hard.txt"), "hard");
    EXPECT_FALSE(fs::exists("outside/new.txt"));
    EXPECT_FALSE(fs::exists("outside/e1m1.bsp"));
    EXPECT_EQ(ReadFile("dest/a.txt"), "member a");
    EXPECT_EQ(ReadFile("dest/b.txt"), "member b");
    EXPECT_EQ(ReadFile("dest/h.txt"), "member h");
#endif
}

// Names with control characters are listed escaped and not extracted; a FIFO is no archive and
// does not block; a member outside the file is named.
TEST_F(ArchiveToolTest, HostileFilesAndNamesAreRefusedClearly) {
    WriteFile("names.pak", archtest::PakFile({{"esc\x1B[2J", "e"}, {"bell\a", "b"}, {"ok", "o"}}));
    std::string out;
    ASSERT_EQ(RunTool("archive list names.pak", &out), 0);
    EXPECT_EQ(out.find('\x1B'), std::string::npos);
    EXPECT_EQ(out.find('\a'), std::string::npos);
    EXPECT_NE(out.find("  esc\\x1B[2J\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  bell\\x07\n"), std::string::npos) << out;
    EXPECT_EQ(RunTool("archive extract names.pak -C out", &out), 1);
    EXPECT_NE(out.find("not extracted: its name holds control characters"), std::string::npos)
        << out;
    EXPECT_EQ(ReadFile("out/ok"), "o");
    EXPECT_EQ(std::distance(fs::directory_iterator("out"), fs::directory_iterator()), 1);

#ifndef _WIN32
    ASSERT_EQ(mkfifo("pipe.zem", 0600), 0);
    EXPECT_EQ(RunTool("archive list pipe.zem", &out), 1);
    EXPECT_EQ(out, "zem: 'pipe.zem' is not a regular file\n");
#endif

    WriteFile("far.pak", "PACK" + archtest::Le32(16) + archtest::Le32(128) + "abcd" +
                             archtest::PakRecord("ok", 12, 4) +
                             archtest::PakRecord("far", 100000, 50));
    const std::string far = "its bytes (offset 100000, 50 bytes) do not lie inside the file past "
                            "its header";
    ASSERT_EQ(RunTool("archive list far.pak", &out), 0);
    EXPECT_NE(out.find("  far  (damaged: " + far + ")\n"), std::string::npos) << out;
    EXPECT_EQ(RunTool("archive extract far.pak -C far", &out), 1);
    EXPECT_EQ(out, "zem: 'far' not extracted: damaged: " + far +
                       "\nzem: 1 of 2 members not extracted\n");
    EXPECT_EQ(ReadFile("far/ok"), "abcd");

    // 300 members over the same bytes and one over the directory: 'test' names each, 'extract'
    // refuses each and writes nothing, unless --force.
    WriteFile("over.zem", archtest::OverlappingZem(300, "the same bytes"));
    EXPECT_EQ(RunTool("archive test over.zem", &out), 1);
    EXPECT_NE(out.find("zem: 'over.zem': member 'm0' is damaged: its bytes overlap those of 'm"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("zem: 'over.zem': member 'dir' is damaged: its bytes overlap the "
                       "directory\nzem: 'over.zem' is damaged: 301 of 301 members\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(RunTool("archive extract over.zem -C over", &out), 1);
    EXPECT_NE(out.find("zem: 'm299' not extracted: damaged: its bytes overlap those of 'm"),
              std::string::npos)
        << out;
    EXPECT_TRUE(archtest::FilesBelow("over").empty());
    EXPECT_EQ(RunTool("archive extract over.zem --force -C over", &out), 0) << out;
    EXPECT_EQ(archtest::FilesBelow("over").size(), 301u);
}

// A full disk (here: a file size limit) is named as the reason, and the archive stays as it was.
TEST_F(ArchiveToolTest, EditsThatRunOutOfSpaceSaySo) {
#ifdef _WIN32
    GTEST_SKIP() << "no file size limit (RLIMIT_FSIZE) to stand for a full disk on Windows";
#else
    WriteFile("one", "first member");
    WriteFile("two", "second member");
    ASSERT_EQ(RunTool("archive create a.zem one two"), 0);
    const std::string before = ReadFile("a.zem");
    fs::create_directory("new");
    WriteFile("new/one", std::string(50000, 'x'));
    WriteFile("big", std::string(50000, 'y'));
    rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit lowered = old;
    lowered.rlim_cur = before.size() + 1000;
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &lowered);
    std::string add, update, create;
    const int createStatus = RunTool("archive create b.zem big", &create);
    const int addStatus = RunTool("archive add a.zem big", &add);
    const int updateStatus = RunTool("archive update a.zem --flatten new/one", &update);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(createStatus, 1);
    EXPECT_EQ(create, "zem: cannot create 'b.zem': cannot write the archive: File too large\n");
    EXPECT_FALSE(fs::exists("b.zem"));
    EXPECT_EQ(addStatus, 1);
    EXPECT_EQ(add, "zem: cannot add to '" + Path("a.zem") +
                       "': cannot write the archive: File too large\n");
    EXPECT_EQ(updateStatus, 1);
    EXPECT_EQ(update, "zem: nothing replaced in 'a.zem': cannot write the new archive: File too "
                      "large\n");
    EXPECT_EQ(ReadFile("a.zem"), before);
#endif
}

// The commands that change several members, and create, killed by the fault plan at every
// change they make: the archive holds every member from before or every member from after, and
// a create leaves nothing or the whole archive.
TEST_F(ArchiveToolTest, CommandsOnManyMembersAreAllOrNothingWhenKilled) {
#ifdef _WIN32
    const int killed = 137; // the exit code of a process the fault plan terminates
#else
    const int killed = -1; // killed by a signal: the runner's "did not exit"
#endif
    fs::create_directory("new");
    std::vector<std::string> create = {"archive", "create", "base.zem"};
    Members before;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "m" + std::to_string(i);
        WriteFile(name, archtest::Bytes(2000 + i * 900, char('a' + i)));
        before[name] = archtest::Bytes(2000 + i * 900, char('a' + i));
        create.push_back(name);
        if (i % 3 == 0) WriteFile("new/" + name, archtest::Bytes(5000 + i, char('A' + i)));
    }
    ASSERT_EQ(zemtest::RunToolArgs(create), 0);
    Members updated = before;
    for (int i = 0; i < 12; i += 3)
        updated["m" + std::to_string(i)] = archtest::Bytes(5000 + i, char('A' + i));
    Members removed = before;
    for (const char* name : {"m1", "m4", "m10"})
        removed.erase(name);
    const struct {
        std::vector<std::string> args;
        Members after;
    } commands[] = {
        {{"archive", "update", "a.zem", "--flatten", "new"}, updated},
        {{"archive", "rm", "a.zem", "m1", "m4", "m10"}, removed},
        {{"archive", "create", "--force", "a.zem", "m0", "m1", "m2", "m3", "m4", "m5", "m6", "m7",
          "m8", "m9", "m10", "m11"},
         before},
    };
    for (const auto& command : commands) {
        int kills = 0;
        for (int n = 1;; ++n) {
            SCOPED_TRACE(command.args[1] + " killed at change " + std::to_string(n));
            WriteFile("a.zem", ReadFile("base.zem"));
            // The create starts from an archive that holds another member.
            if (command.args[1] == "create") {
                ASSERT_EQ(RunTool("archive rm a.zem m5"), 0);
            }
            const Members old = Read("a.zem");
            std::string out;
            zemtest::SetEnv("ZEM_FAULT_WRITE", std::to_string(n).c_str());
            const int status = zemtest::RunToolArgs(command.args, &out);
            zemtest::SetEnv("ZEM_FAULT_WRITE", nullptr);
            const Members now = Read("a.zem");
            if (status == 0) {
                EXPECT_EQ(now, command.after);
                break;
            }
            ASSERT_EQ(status, killed) << out;
            ++kills;
            EXPECT_TRUE(now == old || now == command.after) << now.size();
            ASSERT_LT(n, 100);
        }
        EXPECT_GE(kills, 4);
    }
}

namespace {

// A child's job: zem run with the child's words; its output must be empty.
int RunZem(const std::vector<std::string>& args) {
    std::string out;
    const int status = zemtest::RunToolArgs(args, &out);
    return status == 0 && out.empty() ? 0 : 1;
}
const zemtest::ChildJobName ZEM_JOB("zem", RunZem);

} // namespace

// Two adds and a removal started at once through the tool all take effect.

TEST_F(ArchiveToolTest, EditorsStartedAtOnceKeepEveryEdit) {
#ifdef _WIN32
    const int rounds = 3; // each child is a new process, slow to start under emulation
#else
    const int rounds = 10;
#endif
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        fs::remove("a.pak");
        Members expected;
        std::vector<std::string> create = {"archive", "create", "a.pak"};
        for (int i = 0; i < 20; ++i) {
            const std::string name = "m" + std::to_string(i);
            WriteFile(name, archtest::Bytes(1000 + i * 700, char(i)));
            expected[name] = archtest::Bytes(1000 + i * 700, char(i));
            create.push_back(name);
        }
        ASSERT_EQ(zemtest::RunToolArgs(create), 0);
        WriteFile("x", "added by the first");
        WriteFile("y", "added by the second");
        zemtest::ChildProcess editors[3];
        ASSERT_TRUE(editors[0].Start("zem", {"archive", "add", "a.pak", "x"}));
        ASSERT_TRUE(editors[1].Start("zem", {"archive", "add", "a.pak", "y"}));
        ASSERT_TRUE(editors[2].Start("zem", {"archive", "rm", "a.pak", "m7", "m12"}));
        for (zemtest::ChildProcess& editor : editors)
            EXPECT_TRUE(editor.Succeeded());
        expected["x"] = "added by the first";
        expected["y"] = "added by the second";
        expected.erase("m7");
        expected.erase("m12");
        EXPECT_EQ(Read("a.pak"), expected);
    }
}

// 'list --names' gives one name a line for scripts; 'test' reads every member and names damage.
TEST_F(ArchiveToolTest, NamesForScriptsAndATestOfEveryMember) {
    WriteFile("names.pak", archtest::PakFile({{"maps/e1m1.bsp", "map"}, {"new\nline", "n"}}));
    std::string out;
    ASSERT_EQ(RunTool("archive list names.pak --names", &out), 0) << out;
    EXPECT_EQ(out, "maps/e1m1.bsp\nnew\\x0Aline\n");
    EXPECT_EQ(RunTool("archive list names.pak --sizes", &out), 2);
    ASSERT_EQ(RunTool("archive test names.pak", &out), 0) << out;
    EXPECT_EQ(out, "'names.pak': 2 members, 4 bytes, all whole\n");
    WriteFile("far.pak", "PACK" + archtest::Le32(16) + archtest::Le32(64) + "abcd" +
                             archtest::PakRecord("far", 100, 4));
    EXPECT_EQ(RunTool("archive test far.pak", &out), 1);
    EXPECT_EQ(out, "zem: 'far.pak': member 'far' is damaged: its bytes (offset 100, 4 bytes) do "
                   "not lie inside the file past its header\nzem: 'far.pak' is damaged: 1 of 1 "
                   "members\n");
}

} // namespace
