// What edits write and in which order, links in the extraction folder, files that are no archive
// files, and names that would drive a terminal.
#include "ArchiveTestSupport.h"
#include "ZEMChildProcess.h"
#include "ZEMTestSupport.h"

#include <zem/provider.h>
#include <zem/stream/ZEMFile.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

using namespace archtest;
using zemtest::ReadFile;
using zemtest::WriteFile;

namespace {

constexpr unsigned NO_INDEX = 0xFFFFFFFFu;

// The changes that edit makes on the disk, one line each, as the platform layer reports them.
template <class Edit>
std::vector<std::string> Trace(Edit edit) {
    fs::remove("trace.txt");
    const std::string plan = "trace:" + (fs::current_path() / "trace.txt").string();
    zemtest::SetEnv("ZEM_FAULT_WRITE", plan.c_str());
    edit();
    zemtest::SetEnv("ZEM_FAULT_WRITE", nullptr);
    std::vector<std::string> lines;
    std::istringstream text(fs::exists("trace.txt") ? zemtest::ReadText("trace.txt") : "");
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    return lines;
}

// How many names below the working folder begin with a dot: temporary files left behind.
size_t HiddenNames() {
    size_t hidden = 0;
    for (const auto& entry : fs::recursive_directory_iterator("."))
        hidden += entry.path().filename().string()[0] == '.';
    return hidden;
}

std::unique_ptr<ZEMArchive> NewArchive(bool pak) {
    if (pak) return std::make_unique<ZEMArchPAK>();
    return std::make_unique<ZEMArchZEM>();
}

} // namespace

class ArchiveSafetyTest : public zemtest::TempDirTest {};

// An add writes only after the end of the file, flushes, and then switches the header with one
// small write, flushed too: nothing the old directory describes is ever overwritten.
TEST_F(ArchiveSafetyTest, AddsAppendFlushAndThenSwitchTheHeader) {
    ZEMArchZEM arch;
    ASSERT_TRUE(arch.Create("a.zem"));
    WriteFile("one", Bytes(3000, '1'));
    WriteFile("two", Bytes(1500000, '2'));
    ASSERT_EQ(arch.AddFile("one", nullptr), 0u);
    const std::string before = ReadFile("a.zem");
    const std::vector<std::string> changes =
        Trace([&] { EXPECT_EQ(arch.AddFile("two", nullptr), 1u); });
    const std::string size = std::to_string(before.size());
    EXPECT_EQ(changes, (std::vector<std::string>{
                           "write " + size + " 1048576",
                           "write " + std::to_string(before.size() + 1048576) + " 451424",
                           "write " + std::to_string(before.size() + 1500000) + " 88", "sync",
                           "write 0 12", "sync"}));
    const std::string after = ReadFile("a.zem");
    EXPECT_EQ(after.substr(12, before.size() - 12), before.substr(12));

    // A rename appends a directory in the same way.
    EXPECT_EQ(Trace([&] { EXPECT_TRUE(arch.RenameFile(0, "first")); }),
              (std::vector<std::string>{"write " + std::to_string(after.size()) + " 88", "sync",
                                        "write 0 12", "sync"}));
}

// Removing and replacing, of one member or of several at once, write one new file, flush it,
// rename it over the archive and flush the folder, in that order.
TEST_F(ArchiveSafetyTest, RebuildsFlushBeforeTheyRenameAndFlushTheFolder) {
    ZEMArchPAK arch;
    ASSERT_TRUE(arch.Create("a.pak"));
    WriteFile("one", "1111");
    WriteFile("two", "22");
    WriteFile("three", "333");
    const char* paths[] = {"one", "two", "three"};
    ASSERT_EQ(arch.AddFiles(paths, nullptr, 3), 3u);
    const unsigned firstTwo[] = {0, 1};
    const std::function<bool()> edits[] = {
        [&] { return arch.UpdateFiles(firstTwo, paths + 1, 2); },
        [&] { return arch.UpdateFile(0, "one"); },
        [&] { return arch.RemoveFiles(firstTwo, 2); },
    };
    for (const auto& edit : edits) {
        std::vector<std::string> changes = Trace([&] { EXPECT_TRUE(edit()); });
        const auto sync = std::find(changes.begin(), changes.end(), "sync");
        ASSERT_NE(sync, changes.begin());
        ASSERT_NE(sync, changes.end());
        for (auto change = changes.begin(); change != sync; ++change)
            EXPECT_EQ(change->rfind("write ", 0), 0u) << *change;
        const std::vector<std::string> publish(sync + 1, changes.end());
#ifdef _WIN32
        // Where the system will not rename over the held archive (Wine), it is renamed aside first.
        const std::vector<std::string> aside = {"rename", "rename aside", "rename", "sync folder"};
        EXPECT_TRUE(publish == std::vector<std::string>({"rename", "sync folder"}) ||
                    publish == aside)
            << ::testing::PrintToString(publish);
#else
        EXPECT_EQ(publish, (std::vector<std::string>{"link", "rename", "sync folder"}));
#endif
    }
    ASSERT_EQ(arch.NbFiles(), 1u);
    EXPECT_EQ(Member(arch, 0), "333");
}

// Members added one at a time cost what their bytes and records cost: the records of a new
// member go behind the directory when there is room, a directory that must move leaves room to
// grow, and the dead space is given back only when it outweighs the live bytes, not every other
// add.
TEST_F(ArchiveSafetyTest, ManySmallAddsStayLinear) {
    for (bool pak : {false, true}) {
        SCOPED_TRACE(pak ? "PAK" : "ZEM");
        std::unique_ptr<ZEMArchive> arch = NewArchive(pak);
        const std::string path = pak ? "a.pak" : "a.zem";
        ASSERT_TRUE(arch->Create(path.c_str()));
        uint64_t written = 0;
        size_t rebuilds = 0;
        for (int i = 0; i < 200; ++i) {
            const std::string name = "m" + std::to_string(i);
            WriteFile(name, Bytes(10, char(i)));
            // An add that renames is a rebuild, however many renames it takes (Windows tries
            // one over the held archive, then puts it aside).
            bool rebuilt = false;
            for (const std::string& change :
                 Trace([&] { ASSERT_EQ(arch->AddFile(name.c_str(), nullptr), unsigned(i)); })) {
                std::istringstream words(change);
                std::string what;
                uint64_t offset = 0, size = 0;
                words >> what >> offset >> size;
                written += what == "write" ? size : 0;
                rebuilt = rebuilt || what == "rename";
            }
            rebuilds += rebuilt;
        }
        const uint64_t live = 12 + 200 * (10 + uint64_t(pak ? 64 : 44));
        EXPECT_LE(written, 12 * live) << "written in all; the file holds " << live << " live";
        EXPECT_LE(rebuilds, 16u); // a few, as the archive doubles; not one every other add
        EXPECT_LE(fs::file_size(path), 3 * live);
        std::unique_ptr<ZEMArchive> again(ZEMArchive::OpenArchive(path.c_str()));
        ASSERT_TRUE(again);
        ASSERT_EQ(again->NbFiles(), 200u);
        for (unsigned i = 0; i < 200; i += 37)
            EXPECT_EQ(Member(*again, i), Bytes(10, char(i)));
    }
}

// A ZEM file of another program whose directory comes before the member data: new members go
// after everything, and every old member keeps its bytes.
TEST_F(ArchiveSafetyTest, ADirectoryBeforeTheDataIsNeverOverwritten) {
    WriteFile("t.zem", "ZEMA" + Le32(12) + Le32(2) + ZemRecord("one", 3, 100, 5) +
                           ZemRecord("two", 4, 103, 6) + "111" + "2222");
    ZEMArchZEM arch;
    ASSERT_TRUE(arch.Open("t.zem"));
    WriteFile("three", Bytes(200, '3'));
    ASSERT_EQ(arch.AddFile("three", nullptr), 2u);
    ZEMArchZEM again;
    ASSERT_TRUE(again.Open("t.zem"));
    ASSERT_EQ(again.NbFiles(), 3u);
    EXPECT_EQ(Member(again, 0), "111");
    EXPECT_EQ(Member(again, 1), "2222");
    EXPECT_EQ(Member(again, 2), Bytes(200, '3'));
    EXPECT_EQ(ReadFile("t.zem").substr(0, 107), "ZEMA" + Le32(307) + Le32(3) +
                                                    ZemRecord("one", 3, 100, 5) +
                                                    ZemRecord("two", 4, 103, 6) + "111" + "2222");
}

// Links that are already in the destination are replaced or refused, never written through.
TEST_F(ArchiveSafetyTest, ExtractionNeverWritesThroughLinks) {
    WriteFile("a.pak", PakFile({{"a.txt", "member a"},
                                {"b.txt", "member b"},
                                {"maps/e1m1.bsp", "map"},
                                {"h.txt", "member h"},
                                {"deep/er/c.txt", "member c"}}));
    fs::create_directories("dest/deep");
    const bool linked = MakeLinkTrap() && zemtest::PlantSymlink("../../outside", "dest/deep/er");

    ZEMArchPAK arch;
    ASSERT_TRUE(arch.Open("a.pak"));
    // A hard link is replaced, never written through.
    EXPECT_TRUE(arch.ExtractInto(3, "dest"));
    EXPECT_EQ(ReadFile("outside/hard.txt"), "hard");
    EXPECT_EQ(ReadFile("dest/h.txt"), "member h");
    // A file in the way of a folder is no folder.
    fs::create_directory("dest2");
    WriteFile("dest2/maps", "a file");
    EXPECT_FALSE(arch.ExtractInto(2, "dest2"));
    EXPECT_EQ(std::string(arch.LastError()), "'maps' on the way is no folder");
    EXPECT_EQ(HiddenNames(), 0u);
    if (!linked) GTEST_SKIP() << zemtest::NO_SYMLINKS;

    EXPECT_TRUE(arch.ExtractInto(0, "dest"));
    EXPECT_TRUE(arch.ExtractInto(1, "dest"));
    EXPECT_FALSE(arch.ExtractInto(2, "dest"));
    EXPECT_EQ(std::string(arch.LastError()), "'maps' on the way is a link");
    EXPECT_FALSE(arch.ExtractInto(4, "dest"));
    EXPECT_EQ(std::string(arch.LastError()), "'er' on the way is a link");

    EXPECT_EQ(ReadFile("outside/canary.txt"), "canary");
    EXPECT_FALSE(fs::exists("outside/new.txt"));
    EXPECT_FALSE(fs::exists("outside/e1m1.bsp"));
    EXPECT_FALSE(fs::exists("outside/c.txt"));
    EXPECT_FALSE(fs::is_symlink("dest/a.txt"));
    EXPECT_EQ(ReadFile("dest/a.txt"), "member a");
    EXPECT_EQ(ReadFile("dest/b.txt"), "member b");
    EXPECT_TRUE(fs::is_symlink("dest/maps"));

    // A direct extraction onto a link replaces the link too.
    ASSERT_TRUE(zemtest::PlantSymlink("outside/canary.txt", "link.txt"));
    EXPECT_TRUE(arch.ExtractFile(0, "link.txt"));
    EXPECT_FALSE(fs::is_symlink("link.txt"));
    EXPECT_EQ(ReadFile("outside/canary.txt"), "canary");
    // Nothing is left behind but what was extracted.
    EXPECT_EQ(HiddenNames(), 0u);
}

// Without replace, every name that exists at a member's path is left as it is, links that lead
// nowhere and folders included, and reported; the other members are written in the same run.
TEST_F(ArchiveSafetyTest, ExtractionWithoutReplaceLeavesExistingNamesAlone) {
    WriteFile("a.pak", PakFile({{"a.txt", "member a"},
                                {"b.txt", "member b"},
                                {"new/n.txt", "member n"},
                                {"h.txt", "member h"},
                                {"sub", "member sub"},
                                {"n.txt", "member n2"}}));
    const bool linked = MakeLinkTrap();
    fs::create_directory("dest/sub");
    ZEMArchPAK arch;
    ASSERT_TRUE(arch.Open("a.pak"));
    using Outcome = ZEMArchive::ExtractOutcome;
    std::vector<std::pair<unsigned, Outcome>> heard;
    const unsigned order[] = {0, 1, 2, 3, 4, 5};
    EXPECT_FALSE(arch.ExtractMembers(order, 6, "dest", false, [&](unsigned index, Outcome outcome) {
        heard.emplace_back(index, outcome);
    }));
    // Where no link could be planted, its member is simply written.
    const Outcome link = linked ? Outcome::EXISTS : Outcome::WRITTEN;
    EXPECT_EQ(heard, (std::vector<std::pair<unsigned, Outcome>>{{0, link},
                                                                {1, link},
                                                                {2, Outcome::WRITTEN},
                                                                {3, Outcome::EXISTS},
                                                                {4, Outcome::EXISTS},
                                                                {5, Outcome::WRITTEN}}));
    EXPECT_EQ(fs::is_symlink("dest/a.txt"), linked);
    EXPECT_EQ(fs::is_symlink("dest/b.txt"), linked);
    EXPECT_FALSE(fs::exists("outside/new.txt"));
    EXPECT_EQ(ReadFile("outside/canary.txt"), "canary");
    EXPECT_EQ(ReadFile("dest/h.txt"), "hard");
    EXPECT_TRUE(fs::is_directory("dest/sub"));
    EXPECT_EQ(ReadFile("dest/new/n.txt"), "member n");
    EXPECT_EQ(ReadFile("dest/n.txt"), "member n2");

    // With replace the links themselves are replaced; a folder cannot be.
    heard.clear();
    EXPECT_FALSE(arch.ExtractMembers(order, 6, "dest", true, [&](unsigned index, Outcome outcome) {
        heard.emplace_back(index, outcome);
    }));
    EXPECT_EQ(heard[4], std::make_pair(4u, Outcome::FAILED));
    EXPECT_EQ(ReadFile("dest/b.txt"), "member b");
    EXPECT_FALSE(fs::is_symlink("dest/b.txt"));
    EXPECT_FALSE(fs::exists("outside/new.txt"));
    EXPECT_EQ(ReadFile("outside/hard.txt"), "hard");
    if (!linked) GTEST_SKIP() << zemtest::NO_SYMLINKS;
}

// Extraction reads the version of the archive the object opened, even after another editor
// rebuilt it with every member at another place.
TEST_F(ArchiveSafetyTest, ExtractionReadsOneVersionOfTheFile) {
    ZEMArchZEM arch;
    ASSERT_TRUE(arch.Create("a.zem"));
    std::vector<std::string> names;
    for (int i = 0; i < 20; ++i) {
        names.push_back("m" + std::to_string(i));
        WriteFile(names.back(), Bytes(500 + i * 100, char(i)));
    }
    std::vector<const char*> paths;
    for (const std::string& name : names)
        paths.push_back(name.c_str());
    ASSERT_EQ(arch.AddFiles(paths.data(), nullptr, 20), 20u);
    ZEMArchZEM other;
    ASSERT_TRUE(other.Open("a.zem"));
    ASSERT_TRUE(other.RemoveFile(0));
    fs::create_directory("out");
    EXPECT_TRUE(arch.ExtractAll("out"));
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(ReadFile("out/" + names[i]), Bytes(500 + i * 100, char(i))) << names[i];
    // Opened again, it sees the new version.
    ASSERT_TRUE(arch.Open("a.zem"));
    EXPECT_EQ(arch.NbFiles(), 19u);
    EXPECT_EQ(Member(arch, 0), Bytes(600, char(1)));
}

// A FIFO, a device or a folder is no archive: refused at once, never waited on.
TEST_F(ArchiveSafetyTest, OnlyRegularFilesOpenAsArchives) {
#ifdef _WIN32
    // Windows opens its devices under these names in every folder, whatever the extension.
    const char* const devices[] = {"NUL", "nul.zem"};
#else
    ASSERT_EQ(mkfifo("pipe.zem", 0600), 0);
    const char* const devices[] = {"pipe.zem", "/dev/zero", "/dev/null"};
#endif
    for (const char* path : devices) {
        EXPECT_EQ(ZEMArchive::FindArchiveFormat(path), 0) << path;
        EXPECT_EQ(ZEMArchive::OpenArchive(path), nullptr) << path;
        ZEMArchZEM zem;
        EXPECT_FALSE(zem.Open(path));
        EXPECT_STREQ(zem.LastError(), "not a regular file") << path;
        ZEMArchPAK pak;
        EXPECT_FALSE(pak.Open(path));
    }
    ZEMArchZEM zem;
    EXPECT_FALSE(zem.Open("."));
    EXPECT_STREQ(zem.LastError(), "a folder, not an archive");
}

// Control characters in names: refused for extraction, escaped in the dumps.
TEST_F(ArchiveSafetyTest, ControlCharactersAreRefusedAndEscaped) {
    for (const char* name :
         {"esc\x1B[2J.txt", "bell\a", "new\nline", "tab\tbed", "del\x7F", "dir/\x01x"}) {
        EXPECT_FALSE(ZEMArchive::IsSafeName(name)) << name;
    }
    EXPECT_TRUE(ZEMArchive::IsSafeName("caf\xC3\xA9.txt"));
    EXPECT_FALSE(ZEMArchive::IsSafeName("maps/"));

    WriteFile("a.pak", PakFile({{"esc\x1B[2J", "e"}, {"new\nline", "n"}, {"fine", "f"}}));
    ZEMArchPAK arch;
    ASSERT_TRUE(arch.Open("a.pak"));
    fs::create_directory("out");
    EXPECT_TRUE(arch.ExtractAll("out"));
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator("out"))
        written.push_back(entry.path().filename().string());
    EXPECT_EQ(written, std::vector<std::string>{"fine"});

    zemtest::LogCapture capture;
    arch.PrintContent();
    arch.PrintInfo();
    const std::string text = capture.Text();
    EXPECT_EQ(text.find('\x1B'), std::string::npos);
    EXPECT_NE(text.find("| esc\\x1B[2J "), std::string::npos) << text;
    EXPECT_NE(text.find("  new\\x0Aline "), std::string::npos) << text;
}

// Sizes past 2 GiB are listed as the unsigned numbers they are.
TEST_F(ArchiveSafetyTest, DumpsShowSizesUnsigned) {
    const uint32_t big = 0x90000000u;
    WriteFile("a.zem", "ZEMA" + Le32(12) + Le32(1) + ZemRecord("big", 0, 12, 0));
    ZEMArchZEM arch;
    ASSERT_TRUE(arch.Open("a.zem"));
    // No test file holds 2 GiB: the size is given in memory only.
    static_cast<ZEMArchive::ArchiveEntry*>(arch.GetItem(0))->size = big;
    zemtest::LogCapture capture;
    arch.PrintContent();
    EXPECT_NE(capture.Text().find("| 2415919104 |"), std::string::npos) << capture.Text();
    EXPECT_NE(capture.Text().find("Total: 1 files, 2415919104 bytes."), std::string::npos);
}

// Overlapping members are damage: 300 records over the same bytes and one over the directory
// extract nothing, each named, unless overlaps are allowed; then each is written whole.
TEST_F(ArchiveSafetyTest, OverlappingMembersAreNotExtractedUnlessAllowed) {
    const std::string bytes = Bytes(4096, 'o');
    WriteFile("over.zem", OverlappingZem(300, bytes));
    ZEMArchZEM arch;
    ASSERT_TRUE(arch.Open("over.zem"));
    ASSERT_EQ(arch.NbFiles(), 301u);
    for (unsigned i = 0; i < 300; ++i)
        EXPECT_EQ(arch.Damage(i).rfind("its bytes overlap those of 'm", 0), 0u) << arch.Damage(i);
    EXPECT_EQ(arch.Damage(300), "its bytes overlap the directory");
    std::vector<unsigned> all(301);
    for (unsigned i = 0; i < all.size(); ++i)
        all[i] = i;
    std::filesystem::create_directory("out");
    unsigned refused = 0;
    EXPECT_FALSE(arch.ExtractMembers(all.data(), all.size(), "out", false,
                                     [&](unsigned index, ZEMArchive::ExtractOutcome outcome) {
                                         refused += outcome == ZEMArchive::ExtractOutcome::FAILED;
                                         EXPECT_EQ(arch.LastError(),
                                                   "damaged: " + arch.Damage(index));
                                     }));
    EXPECT_EQ(refused, 301u);
    EXPECT_TRUE(FilesBelow("out").empty());
    EXPECT_FALSE(arch.ExtractFile(7, "one"));
    EXPECT_FALSE(std::filesystem::exists("one"));
    arch.SetExtractOverlaps(true);
    EXPECT_TRUE(arch.ExtractMembers(all.data(), all.size(), "out", false));
    const auto written = FilesBelow("out");
    EXPECT_EQ(written.size(), 301u);
    EXPECT_EQ(written.at("m299"), bytes);
}

// The errors say what happened.
TEST_F(ArchiveSafetyTest, ErrorsSayWhatHappened) {
    ZEMArchZEM arch;
    EXPECT_FALSE(arch.Open("missing.zem"));
    EXPECT_STREQ(arch.LastError(), "cannot open it: No such file or directory");
    WriteFile("text.zem", "plain text, no archive");
    EXPECT_FALSE(arch.Open("text.zem"));
    EXPECT_STREQ(arch.LastError(), "not a ZEM archive");
    WriteFile("cut.zem", "ZEMA" + Le32(500) + Le32(3));
    EXPECT_FALSE(arch.Open("cut.zem"));
    EXPECT_STREQ(arch.LastError(), "damaged: its directory (132 bytes at offset 500) does not lie "
                                   "inside the file (12 bytes)");
    ASSERT_TRUE(arch.Create("a.zem"));
    EXPECT_EQ(arch.AddFile("missing", nullptr), NO_INDEX);
    EXPECT_STREQ(arch.LastError(), "'missing' cannot be read");
    WriteFile("empty", "");
    EXPECT_EQ(arch.AddFile("empty", nullptr), NO_INDEX);
    EXPECT_STREQ(arch.LastError(),
                 "'empty' is empty: AddFile stores no empty file (AddFiles does)");
#ifdef _WIN32
    const std::string device = "NUL";
#else
    const std::string device = "fifo";
    ASSERT_EQ(mkfifo("fifo", 0600), 0);
#endif
    EXPECT_EQ(arch.AddFile(device.c_str(), nullptr), NO_INDEX);
    EXPECT_EQ(arch.LastError(), "'" + device + "' is not a regular file");
    EXPECT_FALSE(arch.Create("a.zem"));
    EXPECT_STREQ(arch.LastError(), "the file exists already");
    WriteFile("x", "x");
    ASSERT_EQ(arch.AddFile("x", nullptr), 0u);
    EXPECT_STREQ(arch.LastError(), "");
}

// A rename whose new directory would not fit below 4 GiB behind the old one rebuilds the archive
// instead, which drops the dead space.
TEST_F(ArchiveSafetyTest, RenameNearTheFormatLimitRebuilds) {
    const uint32_t dirOffset = 0xFFFFFFF0u - 44;
    const uint32_t memberOffset = dirOffset - 10;
    {
        // A sparse file: only the header, the member and the directory take room.
        ZEMFile file("big.zem", ZEMResFile::WRITE);
        ASSERT_TRUE(file.IsOK());
        const std::string header = "ZEMA" + Le32(dirOffset) + Le32(1);
        ASSERT_EQ(file.Write(header.data(), 12), 12u);
        ASSERT_TRUE(file.Seek(int(memberOffset / 2), 0) && file.Seek(int(memberOffset / 2), 1));
        const std::string tail = "0123456789" + ZemRecord("m", 10, memberOffset, 7);
        ASSERT_EQ(file.Write(tail.data(), unsigned(tail.size())), tail.size());
    }
    ZEMArchZEM arch;
    ASSERT_TRUE(arch.Open("big.zem")) << arch.LastError();
    ASSERT_TRUE(arch.RenameFile(0, "renamed")) << arch.LastError();
    EXPECT_EQ(ReadFile("big.zem"),
              "ZEMA" + Le32(22) + Le32(1) + "0123456789" + ZemRecord("renamed", 10, 12, 7));
    EXPECT_EQ(Member(arch, 0), "0123456789");
}

// AddFiles stores names as given, folders included, refuses what does not fit instead of cutting
// it, and stores empty files; AddFile keeps its base-name rule.
TEST_F(ArchiveSafetyTest, AddFilesStoresNamesAsGivenAndNeverCutsThem) {
    ZEMArchZEM arch;
    ASSERT_TRUE(arch.Create("a.zem"));
    fs::create_directories("data/maps");
    WriteFile("data/maps/e1m1.bsp", "map");
    WriteFile("empty", "");
    const std::string longName(32, 'n');
    WriteFile(longName, "long");
    const char* paths[] = {"data/maps/e1m1.bsp", "empty", longName.c_str(), "empty", "empty"};
    const char* names[] = {"maps/e1m1.bsp", nullptr, nullptr, "../up", "ok/"};
    std::vector<std::string> refusals;
    EXPECT_EQ(arch.AddFiles(paths, names, 5,
                            [&](unsigned, unsigned index) {
                                if (index == NO_INDEX) refusals.push_back(arch.LastError());
                            }),
              2u);
    ASSERT_EQ(arch.NbFiles(), 2u);
    EXPECT_STREQ(arch.FileName(0), "maps/e1m1.bsp");
    EXPECT_STREQ(arch.FileName(1), "empty");
    EXPECT_EQ(arch.FileSize(1), 0u);
    EXPECT_EQ(refusals,
              (std::vector<std::string>{
                  "the name '" + longName +
                      "' is too long (32 bytes; the format holds 31) to store '" + longName + "'",
                  "no name to store 'empty' under that stays inside a folder",
                  "no name to store 'empty' under that stays inside a folder"}));
    // The member of size 0 extracts as an empty file.
    fs::create_directory("out");
    EXPECT_TRUE(arch.ExtractAll("out"));
    EXPECT_EQ(ReadFile("out/maps/e1m1.bsp"), "map");
    EXPECT_TRUE(fs::exists("out/empty"));
    EXPECT_EQ(ReadFile("out/empty"), "");
    // AddFile stores the base name.
    EXPECT_EQ(arch.AddFile(longName.c_str(), "dir/x"), 2u);
    EXPECT_STREQ(arch.FileName(2), "x");
}

// No name is ever cut: two long names would become one, and the finder would find neither under
// its own. AddFile, RenameFile and RenameMember refuse them, and every refusal says why in
// LastError and the log.
TEST_F(ArchiveSafetyTest, NoNameIsEverCutAndRefusalsSayWhy) {
    for (bool pak : {false, true}) {
        SCOPED_TRACE(pak ? "PAK" : "ZEM");
        std::unique_ptr<ZEMArchive> arch = NewArchive(pak);
        const unsigned limit = arch->MaxNameLength();
        EXPECT_EQ(limit, pak ? 56u : 31u);
        ASSERT_TRUE(arch->Create(pak ? "a.pak" : "a.zem"));
        const std::string fits(limit, 'f');
        const std::string longer = std::string(limit, 'n') + "-one.txt";
        const std::string other = std::string(limit, 'n') + "-two.txt";
        for (const std::string& name : {fits, longer, other})
            WriteFile(name, name);
        WriteFile("empty", "");
        ASSERT_EQ(arch->AddFile(fits.c_str(), nullptr), 0u);
        const std::string limitText = " bytes; the format holds " + std::to_string(limit) + ")";
        const struct {
            std::function<bool()> refused;
            std::string why;
        } cases[] = {
            {[&] { return arch->AddFile(longer.c_str(), nullptr) == NO_INDEX; },
             "cannot add '" + longer + "': the name '" + longer + "' is too long (" +
                 std::to_string(longer.size()) + limitText + " to store '" + longer + "'"},
            {[&] { return arch->AddFile("empty", nullptr) == NO_INDEX; },
             "cannot add 'empty': 'empty' is empty: AddFile stores no empty file (AddFiles does)"},
            {[&] { return !arch->RenameFile(0, ("dir/" + other).c_str()); },
             "cannot rename member 0: the name '" + other + "' is too long (" +
                 std::to_string(other.size()) + limitText},
            {[&] { return !arch->RenameFile(0, "dir/"); },
             "cannot rename member 0: no file name in 'dir/'"},
            {[&] { return !arch->RenameFile(3, "x"); }, "cannot rename member 3: no such member"},
            {[&] { return !arch->RenameMember(0, other.c_str()); },
             "cannot rename member 0: the name is too long (" + std::to_string(other.size()) +
                 limitText},
            {[&] { return !arch->RenameMember(0, "../up"); },
             "cannot rename member 0: its name leads out of the folder"},
            {[&] { return !arch->RenameMember(0, "sub/."); },
             "cannot rename member 0: its name ends with '.', which names a folder: it is no "
             "file"},
            {[&] { return !arch->RenameMember(0, "bell\a"); },
             "cannot rename member 0: its name holds control characters"},
        };
        for (const auto& c : cases) {
            zemtest::LogCapture capture;
            EXPECT_TRUE(c.refused()) << c.why;
            const std::string why = c.why.substr(c.why.find(": ") + 2);
            EXPECT_EQ(arch->LastError(), why);
            EXPECT_EQ(capture.Text(), "ZEMArchive: " + c.why + "\n");
        }
        ASSERT_EQ(arch->NbFiles(), 1u);
        EXPECT_EQ(arch->FindFile(fits.c_str()), 0u);
    }
}
