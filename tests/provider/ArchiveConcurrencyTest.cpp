// Two editors and a reader in three processes on one archive at once, round after round: every
// edit of both editors is kept, and the reader only ever sees whole members.
#include "ArchiveTestSupport.h"
#include "ZEMChildProcess.h"
#include "ZEMTestSupport.h"

#include <zem/provider.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace archtest;
using zemtest::ChildProcess;
using zemtest::ReadFile;
using zemtest::WriteFile;

namespace {

constexpr unsigned NO_INDEX = 0xFFFFFFFFu;

// Bytes that tell whether they are whole: "origin|version|" and a filler that depends on both,
// of 1 to 16 KB.
std::string Content(const std::string& origin, int version) {
    const std::string head = origin + "|" + std::to_string(version) + "|";
    size_t seed = std::hash<std::string>()(head);
    return head + Bytes(1024 + seed % (15 * 1024), char(seed));
}

bool IsWhole(const std::string& bytes) {
    const size_t first = bytes.find('|');
    const size_t second = first == std::string::npos ? first : bytes.find('|', first + 1);
    if (second == std::string::npos) return false;
    return bytes == Content(bytes.substr(0, first), std::stoi(bytes.substr(first + 1)));
}

std::unique_ptr<ZEMArchive> NewArchive(bool pak) {
    if (pak) return std::make_unique<ZEMArchPAK>();
    return std::make_unique<ZEMArchZEM>();
}

// Adds two members, one edit each.
bool AddTwo(const char* path, bool pak, int round) {
    std::unique_ptr<ZEMArchive> archive = NewArchive(pak);
    if (!archive->Open(path)) return false;
    for (const char* suffix : {"x", "y"}) {
        const std::string name = "a" + std::to_string(round) + suffix;
        WriteFile("src-" + name, Content(name, 0));
        if (archive->AddFile(("src-" + name).c_str(), name.c_str()) == NO_INDEX) return false;
    }
    return true;
}

// Removes m1, replaces m2 by its version 1 and renames m3 to r3, one edit each.
bool Rework(const char* path, bool pak, int round) {
    std::unique_ptr<ZEMArchive> archive = NewArchive(pak);
    if (!archive->Open(path)) return false;
    const std::string source = "m2-" + std::to_string(round);
    WriteFile(source, Content("m2", 1));
    return archive->RemoveFile(archive->FindFile("m1")) &&
           archive->UpdateFile(archive->FindFile("m2"), source.c_str()) &&
           archive->RenameFile(archive->FindFile("m3"), "r3");
}

// Opens the archive again and again and reads every member, and extracts it once.
bool ReadAlong(const char* path, bool pak, int round) {
    for (int pass = 0; pass < 6; ++pass) {
        std::unique_ptr<ZEMArchive> archive = NewArchive(pak);
        if (!archive->Open(path)) return false;
        for (unsigned i = 0; i < archive->NbFiles(); ++i) {
            if (!IsWhole(Member(*archive, i))) return false;
        }
        if (pass != 2) continue;
        const std::string folder = "out" + std::to_string(round);
        std::filesystem::create_directory(folder);
        if (!archive->ExtractAll(folder.c_str())) return false;
        for (unsigned i = 0; i < archive->NbFiles(); ++i) {
            if (!IsWhole(ReadFile(folder + "/" + archive->FileName(i)))) return false;
        }
    }
    return true;
}

// The words of a child job on an archive: path, format and round.
std::vector<std::string> JobWords(const std::string& path, bool pak, int round) {
    return {path, pak ? "pak" : "zem", std::to_string(round)};
}

// A child job of these words that runs work(path, pak, round); exit code 0 when it went well.
template <bool (*work)(const char*, bool, int)>
int ArchiveJob(const std::vector<std::string>& args) {
    return work(args.at(0).c_str(), args.at(1) == "pak", std::stoi(args.at(2))) ? 0 : 1;
}
const zemtest::ChildJobName ADD_JOB("archive add two", ArchiveJob<AddTwo>);
const zemtest::ChildJobName REWORK_JOB("archive rework", ArchiveJob<Rework>);
const zemtest::ChildJobName READ_JOB("archive read along", ArchiveJob<ReadAlong>);

// Waits until the file name exists; false after a minute.
bool AwaitFile(const char* name) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!std::filesystem::exists(name)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Child job (no words): holds the editor's lock of a.zem inside an add, from the moment it writes
// the file "holding" until the file "release" appears.
int HoldLock(const std::vector<std::string>&) {
    ZEMArchZEM other;
    other.SetLockTimeout(0);
    if (!other.Open("a.zem")) return 1;
    WriteFile("slow", std::string(1, 's'));
    // The callback runs while the lock is held.
    const char* paths[] = {"slow"};
    bool released = false;
    other.AddFiles(paths, nullptr, 1, [&](unsigned, unsigned) {
        if (released) return;
        WriteFile("holding", "");
        released = AwaitFile("release");
    });
    return released ? 0 : 2;
}
const zemtest::ChildJobName HOLD_JOB("archive hold lock", HoldLock);

// Child job (path, rounds): rebuilds the archive again and again, each time through a new
// object, as many editors one after another would: every rebuild puts a new file in its place.
int CompactLoop(const std::vector<std::string>& args) {
    for (int round = 0; round < std::stoi(args.at(1)); ++round) {
        ZEMArchZEM archive;
        if (!archive.Open(args.at(0).c_str()) || !archive.Compact()) return 1;
    }
    return 0;
}
const zemtest::ChildJobName COMPACT_JOB("archive compact loop", CompactLoop);

// Child job (path, count[, prefix]): adds count members one at a time, each through a new object;
// with a prefix, all through one object that stays open, as an editor of a game's data would.
int AddLoop(const std::vector<std::string>& args) {
    const bool keep = args.size() > 2;
    const std::string prefix = keep ? args[2] : "add";
    ZEMArchZEM kept;
    if (keep && !kept.Open(args.at(0).c_str())) return 1;
    for (int i = 0; i < std::stoi(args.at(1)); ++i) {
        const std::string name = prefix + std::to_string(i);
        WriteFile(name, Content(name, 0));
        ZEMArchZEM fresh;
        ZEMArchZEM& archive = keep ? kept : fresh;
        if ((!keep && !archive.Open(args.at(0).c_str())) ||
            archive.AddFile(name.c_str(), nullptr) == NO_INDEX) {
            std::fprintf(stderr, "add %d: %s\n", i, archive.LastError());
            return 1;
        }
    }
    return 0;
}
const zemtest::ChildJobName ADD_LOOP_JOB("archive add loop", AddLoop);

std::map<std::string, std::string> Members(const char* path, bool pak) {
    std::map<std::string, std::string> members;
    std::unique_ptr<ZEMArchive> archive = NewArchive(pak);
    if (!archive->Open(path)) return members;
    for (unsigned i = 0; i < archive->NbFiles(); ++i)
        members[archive->FileName(i)] = Member(*archive, i);
    return members;
}

} // namespace

class ArchiveConcurrencyTest : public zemtest::TempDirTest {};

TEST_F(ArchiveConcurrencyTest, TwoEditorsAndAReaderKeepEveryEdit) {
    // A round starts three processes, which a fork makes cheap; on Windows each is a new process
    // of the test program, over half a second under emulation.
#ifdef _WIN32
    constexpr int ROUNDS = 20;
#else
    constexpr int ROUNDS = 100;
#endif
    int passed = 0;
    for (int round = 0; round < ROUNDS; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const bool pak = round % 2 == 1;
        const std::string path = "r" + std::to_string(round) + (pak ? ".pak" : ".zem");
        std::map<std::string, std::string> expected;
        {
            std::unique_ptr<ZEMArchive> archive = NewArchive(pak);
            ASSERT_TRUE(archive->Create(path.c_str()));
            std::vector<std::string> names;
            for (int i = 0; i < 6; ++i) {
                names.push_back("m" + std::to_string(i));
                WriteFile(names.back(), Content(names.back(), 0));
                expected[names.back()] = Content(names.back(), 0);
            }
            std::vector<const char*> paths;
            for (const std::string& name : names)
                paths.push_back(name.c_str());
            ASSERT_EQ(archive->AddFiles(paths.data(), nullptr, 6), 6u);
        }
        const char* file = path.c_str();
        const std::vector<std::string> words = JobWords(path, pak, round);
        ChildProcess reader, adder, reworker;
        ASSERT_TRUE(reader.Start("archive read along", words));
        ASSERT_TRUE(adder.Start("archive add two", words));
        ASSERT_TRUE(reworker.Start("archive rework", words));
        EXPECT_TRUE(adder.Succeeded());
        EXPECT_TRUE(reworker.Succeeded());
        EXPECT_TRUE(reader.Succeeded());

        expected.erase("m1");
        expected["m2"] = Content("m2", 1);
        expected["r3"] = expected["m3"];
        expected.erase("m3");
        for (const char* suffix : {"x", "y"}) {
            const std::string name = "a" + std::to_string(round) + suffix;
            expected[name] = Content(name, 0);
        }
        EXPECT_EQ(Members(file, pak), expected);
        passed += !HasFailure();
        if (HasFailure()) break;
    }
    std::printf("[ figures  ] %d of %d rounds of two editors and a reader passed\n", passed,
                ROUNDS);
}

// An editor that cannot get the lock in time says so and leaves the archive alone.
TEST_F(ArchiveConcurrencyTest, ALockHeldTooLongIsReported) {
    ZEMArchZEM archive;
    ASSERT_TRUE(archive.Create("a.zem"));
    WriteFile("x", "x");
    ASSERT_EQ(archive.AddFile("x", nullptr), 0u);
    // Another process holds the editor's lock for a while, as a long edit would.
    ChildProcess holder;
    ASSERT_TRUE(holder.Start("archive hold lock", {}));
    ASSERT_TRUE(AwaitFile("holding"));
    archive.SetLockTimeout(100);
    EXPECT_FALSE(archive.RenameFile(0, "renamed"));
    EXPECT_NE(std::string(archive.LastError()).find("locked by another editor"), std::string::npos)
        << archive.LastError();
    ZEMArchZEM reader;
    reader.SetLockTimeout(100);
    EXPECT_FALSE(reader.Open("a.zem"));
    EXPECT_NE(std::string(reader.LastError()).find("locked by another editor"), std::string::npos);
    WriteFile("release", "");
    EXPECT_TRUE(holder.Succeeded());
    // Once the lock is free, the edit waits for nothing and keeps the other editor's member.
    EXPECT_TRUE(archive.RenameFile(0, "renamed"));
    ASSERT_EQ(archive.NbFiles(), 2u);
    EXPECT_STREQ(archive.FileName(1), "slow");
    EXPECT_EQ(Member(archive, 1), "s");
}

// An editor that finds the archive replaced while it waited for the lock opens it again and
// waits on, within the lock's time: while another editor replaces the archive again and again,
// no open and no add fails. An editor that stays open sees every change of the others, though a
// rebuild may give the file its old name, size, date and even identity back.
TEST_F(ArchiveConcurrencyTest, EditorsWaitForEachOtherInsteadOfFailing) {
    {
        ZEMArchZEM archive;
        ASSERT_TRUE(archive.Create("a.zem"));
        WriteFile("m", Content("m", 0));
        ASSERT_EQ(archive.AddFile("m", nullptr), 0u);
    }
    // Three rebuilders in turn replace the file all the time.
    ChildProcess compactors[3], adder, keepers[2];
    for (ChildProcess& compactor : compactors)
        ASSERT_TRUE(compactor.Start("archive compact loop", {"a.zem", "150"}));
    ASSERT_TRUE(adder.Start("archive add loop", {"a.zem", "60"}));
    ASSERT_TRUE(keepers[0].Start("archive add loop", {"a.zem", "60", "p"}));
    ASSERT_TRUE(keepers[1].Start("archive add loop", {"a.zem", "60", "q"}));
    EXPECT_TRUE(adder.Succeeded());
    for (ChildProcess& keeper : keepers)
        EXPECT_TRUE(keeper.Succeeded());
    for (ChildProcess& compactor : compactors)
        EXPECT_TRUE(compactor.Succeeded());
    const std::map<std::string, std::string> members = Members("a.zem", false);
    ASSERT_EQ(members.size(), 181u);
    for (const auto& [name, bytes] : members)
        EXPECT_TRUE(IsWhole(bytes)) << name;
}
