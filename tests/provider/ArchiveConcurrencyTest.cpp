// Two editors and a reader in three processes on one archive at once, round after round: every
// edit of both editors is kept, and the reader only ever sees whole members.
#include "ArchiveTestSupport.h"
#include "ZEMTestSupport.h"

#include <zem/provider.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace archtest;
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

// Runs work in a child process; its pid.
template <class Work>
pid_t Spawn(Work work) {
    pid_t child = fork();
    if (child == 0) _exit(work() ? 0 : 1);
    return child;
}

bool Succeeded(pid_t child) {
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
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
    constexpr int ROUNDS = 100;
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
        pid_t reader = Spawn([&] { return ReadAlong(file, pak, round); });
        pid_t adder = Spawn([&] { return AddTwo(file, pak, round); });
        pid_t reworker = Spawn([&] { return Rework(file, pak, round); });
        EXPECT_TRUE(Succeeded(adder));
        EXPECT_TRUE(Succeeded(reworker));
        EXPECT_TRUE(Succeeded(reader));

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
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    // Another process holds the editor's lock for a while, as a long edit would.
    pid_t holder = fork();
    if (holder == 0) {
        ZEMArchZEM other;
        other.SetLockTimeout(0);
        if (!other.Open("a.zem")) _exit(1);
        WriteFile("slow", std::string(1, 's'));
        // Locks, then waits inside the edit: the callback runs while the lock is held.
        const char* paths[] = {"slow"};
        other.AddFiles(paths, nullptr, 1, [&](unsigned, unsigned) {
            char go = 1;
            if (write(ready[1], &go, 1) != 1) _exit(2);
            usleep(600 * 1000);
        });
        _exit(0);
    }
    char go = 0;
    ASSERT_EQ(read(ready[0], &go, 1), 1);
    archive.SetLockTimeout(100);
    EXPECT_FALSE(archive.RenameFile(0, "renamed"));
    EXPECT_NE(std::string(archive.LastError()).find("locked by another editor"), std::string::npos)
        << archive.LastError();
    ZEMArchZEM reader;
    reader.SetLockTimeout(100);
    EXPECT_FALSE(reader.Open("a.zem"));
    EXPECT_NE(std::string(reader.LastError()).find("locked by another editor"), std::string::npos);
    EXPECT_TRUE(Succeeded(holder));
    close(ready[0]);
    close(ready[1]);
    // Once the lock is free, the edit waits for nothing and keeps the other editor's member.
    EXPECT_TRUE(archive.RenameFile(0, "renamed"));
    ASSERT_EQ(archive.NbFiles(), 2u);
    EXPECT_STREQ(archive.FileName(1), "slow");
    EXPECT_EQ(Member(archive, 1), "s");
}
