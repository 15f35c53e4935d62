// Kills an edit at every change it makes on the disk and checks that the archive then opens with
// every member from before the edit or every member from after it, byte for byte. The edits run
// in a child process that the platform layer kills (or fails) at its Nth write, flush, link or
// rename, as ZEM_FAULT_WRITE tells it.
#include "ArchiveTestSupport.h"
#include "ZEMChildProcess.h"
#include "ZEMTestSupport.h"

#include <zem/provider.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

using namespace archtest;
using zemtest::ChildProcess;
using zemtest::ReadFile;
using zemtest::WriteFile;

namespace {

// The members of an archive in storage order: name and bytes.
using Members = std::vector<std::pair<std::string, std::string>>;

// How a child ended.
enum class End { DONE, REFUSED, KILLED, BROKEN };

std::unique_ptr<ZEMArchive> NewArchive(bool pak) {
    if (pak) return std::make_unique<ZEMArchPAK>();
    return std::make_unique<ZEMArchZEM>();
}

// Members of the archive at path; "<does not open>" as the only name when it does not open.
Members Read(const std::string& path, bool pak) {
    std::unique_ptr<ZEMArchive> archive = NewArchive(pak);
    if (!archive->Open(path.c_str())) return {{"<does not open>", archive->LastError()}};
    Members members;
    for (unsigned i = 0; i < archive->NbFiles(); ++i)
        members.emplace_back(archive->FileName(i), Member(*archive, i));
    return members;
}

Members Read(const ZEMArchive& archive) {
    Members members;
    for (unsigned i = 0; i < archive.NbFiles(); ++i)
        members.emplace_back(archive.FileName(i), Member(archive, i));
    return members;
}

// One kind of edit: what it does to an opened archive, and the members it leaves.
struct EditKind {
    const char* name;
    std::function<bool(ZEMArchive&)> edit;
    std::function<Members(Members)> after;
};

// The edits of every kind, on the sources that WriteSources leaves in the working directory.
std::vector<EditKind> EditKinds() {
    const std::string added = Bytes(9000, 'N'), added2 = Bytes(3000, 'O');
    const std::string bigger = Bytes(16000, 'B');
    return {
        {"add", [](ZEMArchive& a) { return a.AddFile("new.dat", nullptr) != 0xFFFFFFFFu; },
         [added](Members m) {
             m.emplace_back("new.dat", added);
             return m;
         }},
        {"add two",
         [](ZEMArchive& a) {
             const char* paths[] = {"new.dat", "new2.dat"};
             return a.AddFiles(paths, nullptr, 2) == 2;
         },
         [added, added2](Members m) {
             m.emplace_back("new.dat", added);
             m.emplace_back("new2.dat", added2);
             return m;
         }},
        {"rename", [](ZEMArchive& a) { return a.RenameFile(3, "renamed.dat"); },
         [](Members m) {
             m[3].first = "renamed.dat";
             return m;
         }},
        {"remove", [](ZEMArchive& a) { return a.RemoveFile(5); },
         [](Members m) {
             m.erase(m.begin() + 5);
             return m;
         }},
        {"update", [](ZEMArchive& a) { return a.UpdateFile(2, "bigger"); },
         [bigger](Members m) {
             m[2].second = bigger;
             return m;
         }},
        {"update three",
         [](ZEMArchive& a) {
             const unsigned indexes[] = {9, 2, 6};
             const char* paths[] = {"new.dat", "bigger", "new2.dat"};
             return a.UpdateFiles(indexes, paths, 3);
         },
         [added, added2, bigger](Members m) {
             m[9].second = added;
             m[2].second = bigger;
             m[6].second = added2;
             return m;
         }},
        {"remove three",
         [](ZEMArchive& a) {
             const unsigned indexes[] = {11, 0, 5};
             return a.RemoveFiles(indexes, 3);
         },
         [](Members m) {
             m.erase(m.begin() + 11);
             m.erase(m.begin() + 5);
             m.erase(m.begin());
             return m;
         }},
        {"compact", [](ZEMArchive& a) { return a.Compact(); }, [](Members m) { return m; }},
    };
}

void WriteSources() {
    WriteFile("new.dat", Bytes(9000, 'N'));
    WriteFile("new2.dat", Bytes(3000, 'O'));
    WriteFile("bigger", Bytes(16000, 'B'));
}

const char* FormatWord(bool pak) {
    return pak ? "pak" : "zem";
}

#ifdef _WIN32
constexpr bool NAMED_TEMPS = true;
#else
constexpr bool NAMED_TEMPS = false;
#endif

// Exit codes of the children.
constexpr int EDIT_DONE = 0, EDIT_REFUSED = 1, NOT_OPENED = 3, MEMORY_DIFFERS = 4;

// Child job (path, format, edit kind, fault plan): runs the edit under the plan and checks that
// the directory in memory is the one the file holds, whatever the edit's outcome.
int EditJob(const std::vector<std::string>& args) {
    const bool pak = args.at(1) == FormatWord(true);
    std::unique_ptr<ZEMArchive> archive = NewArchive(pak);
    if (!archive->Open(args.at(0).c_str())) return NOT_OPENED;
    for (const EditKind& kind : EditKinds()) {
        if (kind.name != args.at(2)) continue;
        zemtest::SetEnv("ZEM_FAULT_WRITE", args.at(3).c_str());
        const bool done = kind.edit(*archive);
        zemtest::SetEnv("ZEM_FAULT_WRITE", nullptr);
        if (Read(*archive) != Read(args.at(0), pak)) return MEMORY_DIFFERS;
        return done ? EDIT_DONE : EDIT_REFUSED;
    }
    return NOT_OPENED;
}
const zemtest::ChildJobName EDIT_JOB("archive crash edit", EditJob);

// The sources of a create from files, as WriteSources leaves them.
const char* const CREATE_SOURCES[] = {"new.dat", "new2.dat", "bigger"};

// Child job (path, format, fault plan, sources, replace): creates the archive under the plan,
// empty or of that many CREATE_SOURCES, over an existing file when replace is "1".
int CreateJob(const std::vector<std::string>& args) {
    std::unique_ptr<ZEMArchive> archive = NewArchive(args.at(1) == FormatWord(true));
    zemtest::SetEnv("ZEM_FAULT_WRITE", args.at(2).c_str());
    const unsigned sources = unsigned(std::stoul(args.at(3)));
    const bool done = sources == 0 && args.at(4) != "1"
                          ? archive->Create(args.at(0).c_str())
                          : archive->CreateFrom(args.at(0).c_str(), CREATE_SOURCES, nullptr,
                                                sources, args.at(4) == "1");
    return done ? EDIT_DONE : EDIT_REFUSED;
}
const zemtest::ChildJobName CREATE_JOB("archive crash create", CreateJob);

// The ways a change is broken in an archive of that format and layout: killed before it happens,
// torn halfway, or failed as on a full disk. Each child is a new process of the test program on
// Windows, which costs over half a second under emulation: there the ZEM archive that is edited
// in place is killed and torn at every change, the one that is rebuilt and renamed over the held
// file is failed at every change (AReaderHoldingTheArchiveReadsOnThroughAKilledRebuild kills it
// at every change), and the PAK archives are killed at every change.
std::vector<const char*> Modes(bool pak, bool bloated) {
#ifdef _WIN32
    if (pak) return {""};
    if (bloated) return {":fail"};
    return {"", ":torn"};
#else
    (void)pak, (void)bloated;
    return {"", ":torn", ":fail"};
#endif
}

// How a child ended.
End EndOf(ChildProcess::End end, int code) {
    if (end == ChildProcess::End::KILLED) return End::KILLED;
    if (end != ChildProcess::End::EXITED) return End::BROKEN;
    if (code == EDIT_DONE) return End::DONE;
    return code == EDIT_REFUSED ? End::REFUSED : End::BROKEN;
}

// Runs the edit of that kind on the archive at path in a child process with the fault plan.
End RunEdit(const std::string& path, bool pak, const EditKind& kind, const std::string& plan) {
    int code = -1;
    const ChildProcess::End end =
        zemtest::RunChild("archive crash edit", {path, FormatWord(pak), kind.name, plan}, &code);
    return EndOf(end, code);
}

// Hidden temporary files that a killed rebuild left in the folder; removed.
int SweepLeftovers() {
    int found = 0;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".zem-", 0) != 0) continue;
        std::filesystem::remove(entry.path());
        ++found;
    }
    return found;
}

} // namespace

class ArchiveCrashTest : public zemtest::TempDirTest {
protected:
    // An archive of 12 members of 1 to 16 KB, written at once, then one more added by itself so
    // that the file also holds a dead directory.
    void MakeBase(bool pak) {
        std::unique_ptr<ZEMArchive> archive = NewArchive(pak);
        std::filesystem::remove("base");
        ASSERT_TRUE(archive->Create("base"));
        std::vector<std::string> names;
        for (int i = 0; i < 12; ++i) {
            names.push_back("m" + std::to_string(i) + ".dat");
            WriteFile(names.back(), Bytes(1024 + size_t(i) * 1300, char('a' + i)));
        }
        std::vector<const char*> paths;
        for (const std::string& name : names)
            paths.push_back(name.c_str());
        ASSERT_EQ(archive->AddFiles(paths.data(), nullptr, unsigned(paths.size())), 12u);
        WriteFile("late.dat", Bytes(5000, 'L'));
        ASSERT_NE(archive->AddFile("late.dat", nullptr), 0xFFFFFFFFu);
        base_ = Read("base", pak);
    }

    // The base with more dead bytes behind its directory than live ones, as another program may
    // leave it: adds and renames rebuild it.
    void Bloat() {
        const std::string bytes = ReadFile("base");
        WriteFile("base", bytes + Bytes(2 * bytes.size(), 'X'));
    }

    Members base_;
};

// Every change of every edit kind, in both formats, on an archive with a little dead space and
// on one with more dead bytes than live ones, killed before it happens, torn halfway, or failed
// as on a full disk (see Modes).
TEST_F(ArchiveCrashTest, EveryEditSurvivesAKillAtEveryWrite) {
    int kills = 0, checked = 0, leftovers = 0, failures = 0;
    for (bool pak : {false, true}) {
        for (bool bloated : {false, true}) {
            MakeBase(pak);
            if (bloated) Bloat();
            WriteSources();
            for (const EditKind& kind : EditKinds()) {
                const Members after = kind.after(base_);
                for (const char* mode : Modes(pak, bloated)) {
                    for (int n = 1;; ++n) {
                        SCOPED_TRACE(std::string(pak ? "PAK " : "ZEM ") +
                                     (bloated ? "bloated " : "") + kind.name + " at change " +
                                     std::to_string(n) + mode);
                        WriteFile("a.arc", ReadFile("base"));
                        const End end = RunEdit("a.arc", pak, kind, std::to_string(n) + mode);
                        ASSERT_NE(end, End::BROKEN);
                        const Members now = Read("a.arc", pak);
                        ++checked;
                        leftovers += SweepLeftovers();
                        if (end == End::DONE) {
                            EXPECT_EQ(now, after);
                            break;
                        }
                        ASSERT_TRUE(now == base_ || now == after) << now.front().first;
                        if (end == End::KILLED) ++kills;
                        if (end == End::REFUSED) ++failures;
                        ASSERT_LT(n, 200) << "the edit never ends";
                    }
                }
            }
        }
    }
    // The figures of the run, for the record.
    RecordProperty("kills", kills);
    RecordProperty("archives_checked", checked);
    std::printf("[ figures  ] %d kills, %d failed writes, %d archives checked, %d leftover "
                "temporary files\n",
                kills, failures, checked, leftovers);
    EXPECT_GT(kills, 100);
}

// A reader holds the archive open while each edit, which rebuilds the bloated archive and
// renames the new file over the one the reader holds, is killed at every change: the reader goes
// on reading whole members, and the next open finds the old archive or the new one.
TEST_F(ArchiveCrashTest, AReaderHoldingTheArchiveReadsOnThroughAKilledRebuild) {
    MakeBase(false);
    Bloat();
    WriteSources();
    int kills = 0;
    for (const EditKind& kind : EditKinds()) {
        const Members after = kind.after(base_);
        for (int n = 1;; ++n) {
            SCOPED_TRACE(std::string(kind.name) + " at change " + std::to_string(n));
            WriteFile("a.arc", ReadFile("base"));
            ZEMArchZEM reader;
            ASSERT_TRUE(reader.Open("a.arc"));
            const End end = RunEdit("a.arc", false, kind, std::to_string(n));
            ASSERT_NE(end, End::BROKEN);
            const Members held = Read(reader);
            EXPECT_TRUE(held == base_ || held == after) << held.front().first;
            const Members now = Read("a.arc", false);
            reader.Close();
            SweepLeftovers();
            if (end == End::DONE) {
                EXPECT_EQ(now, after);
                break;
            }
            ASSERT_TRUE(now == base_ || now == after) << now.front().first;
            kills += end == End::KILLED;
            ASSERT_LT(n, 200) << "the edit never ends";
        }
    }
    EXPECT_GT(kills, 20);
}

// A rebuild killed between naming its temporary file and renaming it leaves that file beside the
// archive; the next edit removes it, and keeps the temporaries of processes that still run.
TEST_F(ArchiveCrashTest, TheNextEditRemovesTheTemporaryOfAKilledRebuild) {
    MakeBase(false);
    WriteSources();
    const EditKind remove = EditKinds()[3];
    // The temporary file of a process that runs: this one.
    const std::string alive = ".zem-" + std::to_string(getpid()) + "-1-0.tmp";
    int found = 0;
    for (int n = 1; n < 40; ++n) {
        WriteFile("a.arc", ReadFile("base"));
        WriteFile(alive, "another process's");
        if (RunEdit("a.arc", false, remove, std::to_string(n)) != End::KILLED) break;
        int left = 0;
        for (const auto& entry : std::filesystem::directory_iterator("."))
            left += entry.path().filename().string().rfind(".zem-", 0) == 0;
        if (left < 2) continue;
        ++found;
        ZEMArchZEM archive;
        ASSERT_TRUE(archive.Open("a.arc"));
        ASSERT_TRUE(archive.Compact());
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator("."))
            if (entry.path().filename().string().rfind(".zem-", 0) == 0)
                names.push_back(entry.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{alive}) << "killed at change " << n;
    }
    EXPECT_GT(found, 0) << "no kill left a temporary file";
}

// Creating an archive killed at any change, torn or failed there leaves nothing (or the archive
// it was to replace, whole) or the whole new archive, never a part: empty, from files, and from
// files over an existing archive.
TEST_F(ArchiveCrashTest, CreateLeavesNothingOrTheWholeArchive) {
    WriteSources();
    const Members created = {{"new.dat", Bytes(9000, 'N')},
                             {"new2.dat", Bytes(3000, 'O')},
                             {"bigger", Bytes(16000, 'B')}};
    int kills = 0;
    for (bool pak : {false, true}) {
        MakeBase(pak);
        const struct {
            unsigned sources;
            bool replace;
            Members after;
        } kinds[] = {{0, false, {}}, {3, false, created}, {3, true, created}};
        for (const auto& kind : kinds) {
            for (const char* mode : Modes(pak, false)) {
                for (int n = 1;; ++n) {
                    SCOPED_TRACE(std::string(FormatWord(pak)) + " " + std::to_string(kind.sources) +
                                 " files" + (kind.replace ? " over the base" : "") + " at change " +
                                 std::to_string(n) + mode);
                    std::filesystem::remove("c.arc");
                    if (kind.replace) WriteFile("c.arc", ReadFile("base"));
                    int code = -1;
                    const ChildProcess::End end =
                        zemtest::RunChild("archive crash create",
                                          {"c.arc", FormatWord(pak), std::to_string(n) + mode,
                                           std::to_string(kind.sources), kind.replace ? "1" : "0"},
                                          &code);
                    ASSERT_NE(end, ChildProcess::End::BROKEN);
                    const bool done = end == ChildProcess::End::EXITED && code == EDIT_DONE;
                    // Read before the sweep: on Windows a replace killed between its two renames
                    // leaves the old archive aside, and the next open puts it back.
                    const Members now = Read("c.arc", pak);
                    // The new file has no name until it is linked where the system allows it;
                    // a replace links it aside first, and Windows names it from the start: the
                    // next edit in the folder removes what a kill left there.
                    const int left = SweepLeftovers();
                    EXPECT_TRUE(left == 0 || kind.replace || NAMED_TEMPS) << left;
                    if (done || std::filesystem::exists("c.arc")) {
                        EXPECT_TRUE(now == kind.after || (kind.replace && !done && now == base_))
                            << (now.empty() ? "" : now.front().first);
                    } else {
                        EXPECT_FALSE(kind.replace) << "the archive replaced is gone";
                    }
                    if (done) break;
                    kills += end == ChildProcess::End::KILLED;
                    ASSERT_LT(n, 200) << "the create never ends";
                }
            }
        }
    }
    EXPECT_GT(kills, 20);
}
