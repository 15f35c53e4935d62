#include "ZemCli.h"

#include <zem/provider/ZEMArchPAK.h>
#include <zem/provider/ZEMArchZEM.h>
#include <zem/provider/ZEMDir.h>
#include <zem/provider/ZEMFileUtils.h>
#include <zem/stream/ZEMResFile.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr unsigned NO_INDEX = 0xFFFFFFFFu;

using zemcli::Warn;

using ArchivePtr = std::unique_ptr<ZEMArchive>;

// ---- Messages ----

// A name from an archive or the disk, safe to print: control characters would disturb the
// terminal.
std::string Shown(const char* text) {
    return "'" + zemcli::Printable(text) + "'";
}

std::string Shown(const std::string& text) {
    return Shown(text.c_str());
}

bool IsControl(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

// Whether text holds a control character, which a name must not.
bool HasControl(const char* text) {
    for (; *text; ++text) {
        if (IsControl(*text)) return true;
    }
    return false;
}

// ---- Paths ----

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

std::string Join(const std::string& folder, const char* name) {
    if (folder.empty() || IsSeparator(folder.back())) return folder + name;
    return folder + '/' + name;
}

// path made absolute against base.
std::string Absolute(const std::string& base, const std::string& path) {
    return ZEMFileUtils::IsAbsolute(path.c_str()) ? path : Join(base, path.c_str());
}

// path made absolute against base, with "." and ".." components folded away: two spellings of
// one path compare equal.
std::string Normal(const std::string& base, const std::string& path) {
    std::string absolute = Absolute(base, path);
    for (char& c : absolute) {
        if (c == '\\') c = '/';
    }
    return std::filesystem::path(absolute).lexically_normal().string();
}

// Creates path and the folders that lead to it.
bool MakeFolders(const std::string& path) {
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !IsSeparator(path[i])) continue;
        std::string folder = path.substr(0, i);
        if (folder.empty() || ZEMFileUtils::IsDir(folder.c_str())) continue;
        if (!ZEMFileUtils::DirCreate(folder.c_str())) return false;
    }
    return true;
}

// ---- Gathering the files of the command line ----

// The member name of a file at path as given on the command line: its components joined by '/',
// without "." components; "" when the path is absolute or climbs with "..", which no member name
// may.
std::string MemberName(const std::string& path) {
    if (ZEMFileUtils::IsAbsolute(path.c_str())) return std::string();
    std::string name;
    std::string part;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !IsSeparator(path[i])) {
            part += path[i];
            continue;
        }
        if (part == "..") return std::string();
        if (!part.empty() && part != ".") name += (name.empty() ? "" : "/") + part;
        part.clear();
    }
    return name;
}

// A file to store: its path on the disk and the member name it gets.
struct Source {
    std::string path;
    std::string name;
};

// Collects the files named on the command line and those below the folders named there, each
// folder in name order. The paths kept are those the user gave, joined with the names below;
// the member names are those paths (as tar keeps them), or the files' own names with flatten.
class FileGatherer {
public:
    explicit FileGatherer(bool flatten = false)
        : flatten_(flatten), workDir_(dir_.Name() ? dir_.Name() : ".") {}

    // Adds a file, or the files below a folder; false (said) when the path does not exist.
    bool Add(const std::string& path) {
        if (!ZEMFileUtils::FileExist(path.c_str())) {
            Warn(Shown(path) + ": no such file or folder");
            return false;
        }
        if (!flatten_ && MemberName(path).empty() && !ZEMFileUtils::IsDir(path.c_str())) {
            Warn(Shown(path) + ": give a relative path (or --flatten), left out");
            skipped = true;
        } else if (ZEMFileUtils::IsDir(path.c_str())) {
            Walk(path);
        } else {
            Keep(path);
        }
        return true;
    }

    // Working directory of the process, as the system reports it.
    const std::string& WorkDir() const { return workDir_; }

    std::vector<Source> files;
    bool skipped = false; // something below a folder could not be taken

private:
    void Keep(const std::string& path) {
        files.push_back({path, flatten_ ? std::string(ZEMFileUtils::FileName(path.c_str()))
                                        : MemberName(path)});
        if (!files.back().name.empty()) return;
        Warn(Shown(path) + ": its name would lead out of the archive's folder (give a relative "
                           "path, or --flatten), left out");
        files.pop_back();
        skipped = true;
    }

    void Walk(const std::string& folder) {
        if (!dir_.Open(Absolute(workDir_, folder).c_str())) {
            Warn(Shown(folder) + ": cannot list this folder");
            skipped = true;
            return;
        }
        // A link back into a folder already walked would never end.
        if (!walked_.insert(dir_.Name()).second) return;
        dir_.Sort(ZEMFileProvider::SORT_NAME | ZEMFileProvider::SORT_CASE);
        std::vector<std::pair<std::string, bool>> children;
        for (unsigned k = 0; k < dir_.NbFiles(); ++k) {
            unsigned i = dir_.GetItem(k)->sortIndex;
            const char* name = dir_.FileName(i);
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            std::string path = Join(folder, name);
            if (dir_.IsFileDir(i) || dir_.IsFile(i)) {
                children.emplace_back(path, dir_.IsFileDir(i));
            } else {
                Warn(Shown(path) + ": not a regular file, left out");
                skipped = true;
            }
        }
        for (const auto& [path, isFolder] : children) {
            if (isFolder) {
                Walk(path);
            } else {
                Keep(path);
            }
        }
    }

    bool flatten_;
    ZEMDir dir_; // reused for every folder
    std::string workDir_;
    std::set<std::string> walked_;
};

// Gathers every path of args; false when one does not exist.
bool Gather(const std::vector<std::string>& paths, FileGatherer& gatherer) {
    bool all = true;
    for (const std::string& path : paths)
        all = gatherer.Add(path) && all;
    return all;
}

// ---- Archives ----

// Why an archive could not be opened, as one line; archive is the object that failed to open
// it, null when the format is not one zem reads.
std::string OpenFailure(const char* path, const ZEMArchive* archive) {
    if (!ZEMFileUtils::FileExist(path)) return Shown(path) + ": no such file";
    if (ZEMFileUtils::IsDir(path)) return Shown(path) + " is a folder, not an archive";
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return Shown(path) + " is not a regular file";
    }
    if (archive) {
        const std::string why = archive->LastError();
        const std::string damaged = "damaged: ";
        if (why.compare(0, damaged.size(), damaged) == 0) {
            return Shown(path) + " is a damaged archive: " + why.substr(damaged.size());
        }
        return Shown(path) + ": " + why;
    }
    switch (ZEMArchive::FindArchiveFormat(path)) {
    case 0:
        return Shown(path) + " is not a ZEM or PAK archive";
    case 8:
        return Shown(path) + " is a ZIP archive, which zem does not read";
    default:
        return Shown(path) + " is an archive of a kind that zem recognises but does not read";
    }
}

// The archive at path, opened; null (said) when it cannot be opened.
ArchivePtr OpenOrSay(const std::string& path) {
    ArchivePtr archive;
    switch (ZEMArchive::FindArchiveFormat(path.c_str())) {
    case 1:
        archive.reset(new ZEMArchZEM);
        break;
    case 2:
        archive.reset(new ZEMArchPAK);
        break;
    default:
        break;
    }
    if (archive && archive->Open(path.c_str())) return archive;
    Warn(OpenFailure(path.c_str(), archive.get()));
    return nullptr;
}

// Leaves out of files the archive itself, which cannot be a member of itself; false (said) when
// it was among them.
bool DropArchive(const ZEMArchive& archive, const std::string& workDir,
                 std::vector<Source>& files) {
    const std::string self = Normal(workDir, archive.Name());
    bool absent = true;
    for (size_t i = files.size(); i-- > 0;) {
        if (Normal(workDir, files[i].path) != self) continue;
        Warn(Shown(files[i].path) + " is the archive itself, left out");
        files.erase(files.begin() + long(i));
        absent = false;
    }
    return absent;
}

// What to do with a file whose member name the archive holds already.
enum class Existing { REFUSE, REPLACE, SKIP };

// Leaves out of files those whose names the archive holds already or an earlier file takes, and
// moves those to replace into replaced (with existing REPLACE); false (said) when one was
// refused.
bool DropDuplicates(const ZEMArchive& archive, Existing existing, std::vector<Source>& files,
                    std::vector<Source>& replaced) {
    std::map<std::string, std::string> taken; // member name, and the file that takes it
    std::vector<Source> kept;
    bool all = true;
    for (Source& file : files) {
        auto [earlier, added] = taken.emplace(file.name, file.path);
        if (!added) {
            Warn(Shown(file.path) + " and " + Shown(earlier->second) + " would both be " +
                 Shown(file.name) + ": " + Shown(file.path) + " left out");
            all = false;
        } else if (archive.FindFile(file.name.c_str()) == NO_INDEX) {
            kept.push_back(std::move(file));
        } else if (existing == Existing::REPLACE) {
            replaced.push_back(std::move(file));
        } else if (existing == Existing::REFUSE) {
            Warn(Shown(file.path) + ": the archive holds " + Shown(file.name) +
                 " already (--replace or --skip-existing to choose), left out");
            all = false;
        }
    }
    files.swap(kept);
    return all;
}

// Replaces members by files of their names; false (said) at the first that fails.
bool ReplaceAll(ZEMArchive& archive, const std::vector<Source>& files) {
    zemcli::Progress progress("updating", files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        const unsigned index = archive.FindFile(files[i].name.c_str());
        if (index == NO_INDEX || !archive.UpdateFile(index, files[i].path.c_str())) {
            Warn("cannot replace " + Shown(files[i].name) + " by " + Shown(files[i].path) + ": " +
                 (index == NO_INDEX ? "no such member" : archive.LastError()));
            return false;
        }
        progress.Step(i + 1);
    }
    return true;
}

// Appends files to the archive with one directory write; false (said) when one was not added.
bool AddAll(ZEMArchive& archive, const std::vector<Source>& files) {
    std::vector<const char*> paths;
    std::vector<const char*> names;
    paths.reserve(files.size());
    names.reserve(files.size());
    for (const Source& file : files) {
        paths.push_back(file.path.c_str());
        names.push_back(file.name.c_str());
    }
    // Each source left out, and why.
    std::vector<std::pair<unsigned, std::string>> refused;
    zemcli::Progress progress("adding", files.size());
    unsigned added = archive.AddFiles(paths.data(), names.data(), unsigned(paths.size()),
                                      [&](unsigned position, unsigned index) {
                                          if (index == NO_INDEX) {
                                              refused.emplace_back(position, archive.LastError());
                                          }
                                          progress.Step(position + 1);
                                      });
    if (added == 0 && refused.size() < files.size()) {
        Warn("cannot add to " + Shown(archive.Name()) + ": " + archive.LastError());
        return false;
    }
    for (const auto& refusal : refused)
        Warn(refusal.second + ", left out");
    return refused.empty();
}

// ---- Commands ----

using Args = std::vector<std::string>;

// A command's work. args[0] is the archive's path; archive is that archive opened, except for
// 'create', which receives null.
using Run = int (*)(ZEMArchive* archive, const Args& args);

constexpr size_t MANY = ~size_t(0);

struct Command {
    const char* name;
    const char* usage;   // the arguments after the command's name
    const char* summary; // one line for the family's help
    const char* help;    // what --help says below the usage line
    size_t fewest;       // how many arguments it takes, at the least
    size_t most;         // and at the most
    Run run;
};

int Create(ZEMArchive*, const Args& args);
int List(ZEMArchive* archive, const Args& args);
int Add(ZEMArchive* archive, const Args& args);
int Remove(ZEMArchive* archive, const Args& args);
int Move(ZEMArchive* archive, const Args& args);
int Update(ZEMArchive* archive, const Args& args);
int Extract(ZEMArchive* archive, const Args& args);
int Cat(ZEMArchive* archive, const Args& args);
int Test(ZEMArchive* archive, const Args& args);

const Command COMMANDS[] = {
    {"create", "ARCHIVE [--format zem|pak] [--flatten] PATH...",
     "new archive of files and of everything below folders",
     "Writes a new archive holding the files given and every file below the folders given\n"
     "(in name order). Members are named by their paths as given, with '/' between folders\n"
     "(data/maps/e1m1.bsp), or by the files' own names with --flatten. A name may have at most\n"
     "31 bytes in a ZEM archive, 56 in a PAK; longer names and two files of one name are\n"
     "refused, never cut or doubled. The format is PAK when --format says so or ARCHIVE ends\n"
     "in .pak, ZEM otherwise. ARCHIVE must not exist yet.\n",
     2, MANY, Create},
    {"list", "ARCHIVE [--names]", "table of the members",
     "Shows the members of a ZEM or PAK archive: name, size, offset in the file and date.\n"
     "With --names, only the names, one a line, for scripts (control characters as \\xHH).\n",
     1, 2, List},
    {"add", "ARCHIVE [--flatten] [--replace|--skip-existing] PATH...", "append files and folders",
     "Appends the files given and every file below the folders given, named as 'create'\n"
     "names them. A file whose name the archive holds already is refused, unless --replace\n"
     "replaces that member by it or --skip-existing leaves it out quietly.\n",
     2, MANY, Add},
    {"rm", "ARCHIVE MEMBER...", "remove members",
     "Removes the members of these names (the first of each name). Nothing is removed when\n"
     "a name is not in the archive. The archive is rebuilt in a temporary file beside it,\n"
     "which then takes its place: the archive's folder must be writable.\n",
     2, MANY, Remove},
    {"mv", "ARCHIVE MEMBER NEWNAME", "rename a member",
     "Renames a member to NEWNAME, folders included (sub/dir/x). A name that the archive\n"
     "holds already, that leads out of a folder or that is longer than the format allows is\n"
     "refused.\n",
     3, 3, Move},
    {"update", "ARCHIVE [--flatten] PATH...", "replace members by files of the same name",
     "Replaces each member named as 'add' would name a file given (or a file below a folder\n"
     "given) by that file's bytes; the member keeps its place. A file without such a member\n"
     "is an error: add it with 'zem archive add'.\n",
     2, MANY, Update},
    {"extract", "ARCHIVE [DIR]", "write every member into a folder",
     "Writes every member into DIR (the working folder by default), creating DIR and the\n"
     "folders that names such as maps/e1m1.bsp need. Existing files are overwritten. A member\n"
     "whose name is absolute or climbs out with '..' is not written, and is reported.\n",
     1, 2, Extract},
    {"cat", "ARCHIVE MEMBER", "write a member to standard output",
     "Writes the bytes of a member to standard output.\n", 2, 2, Cat},
    {"test", "ARCHIVE", "check that every member reads whole",
     "Checks the directory (every member inside the file) and reads every member to its end;\n"
     "exits 1 at the first damage, naming it.\n",
     1, 1, Test},
};

const Command* FindCommand(const char* name) {
    for (const Command& command : COMMANDS) {
        if (std::strcmp(command.name, name) == 0) return &command;
    }
    return nullptr;
}

int Help() {
    std::printf("usage: zem archive COMMAND [ARGS...]\n\n"
                "Builds, lists, edits and extracts ZEM and PAK archives.\n\ncommands:\n");
    for (const Command& command : COMMANDS)
        std::printf("  %-8s %s\n", command.name, command.summary);
    std::printf("\n'zem archive COMMAND --help' describes a command.\n");
    return 0;
}

int CommandHelp(const Command& command) {
    std::printf("usage: zem archive %s %s\n\n%s", command.name, command.usage, command.help);
    return 0;
}

int Usage(const Command& command) {
    return zemcli::Fail(std::string("usage: zem archive ") + command.name + " " + command.usage +
                        " (see 'zem archive " + command.name + " --help')");
}

// Storage index of the first member of that name; NO_INDEX (said) when there is none.
unsigned FindMember(const ZEMArchive& archive, const Args& args, const std::string& member) {
    unsigned index = archive.FindFile(member.c_str());
    if (index == NO_INDEX) Warn("no member " + Shown(member) + " in " + Shown(args[0]));
    return index;
}

// The files named after the archive's path, the archive itself left out; false (said) when a
// path does not exist.
bool GatherFor(const ZEMArchive& archive, const Args& args, FileGatherer& gatherer) {
    if (!Gather({args.begin() + 1, args.end()}, gatherer)) return false;
    if (!DropArchive(archive, gatherer.WorkDir(), gatherer.files)) gatherer.skipped = true;
    return true;
}

// Takes the option flag out of args; whether it was there.
bool TakeFlag(Args& args, const char* flag) {
    auto found = std::find(args.begin() + 1, args.end(), flag);
    if (found == args.end()) return false;
    args.erase(found);
    return true;
}

int Create(ZEMArchive*, const Args& given) {
    Args args = given;
    const bool flatten = TakeFlag(args, "--flatten");
    std::string format;
    std::vector<std::string> paths;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--format" && i + 1 < args.size()) {
            format = args[++i];
        } else if (args[i].compare(0, 9, "--format=") == 0) {
            format = args[i].substr(9);
        } else {
            paths.push_back(args[i]);
        }
    }
    if (paths.empty()) return Usage(*FindCommand("create"));
    const std::string& path = args[0];
    if (format.empty()) {
        const char* extension = ZEMFileUtils::FileExtension(path.c_str());
        std::string lower = extension ? extension : "";
        for (char& c : lower)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        format = lower == "pak" ? "pak" : "zem";
    }
    if (format != "zem" && format != "pak") {
        return zemcli::Fail("unknown format '" + format + "' (zem or pak)");
    }
    if (ZEMFileUtils::FileExist(path.c_str())) {
        return zemcli::Fail(Shown(path) + " already exists (use 'zem archive add' to add to it)");
    }
    FileGatherer gatherer(flatten);
    if (!Gather(paths, gatherer)) return 1;
    ArchivePtr archive(format == "pak" ? static_cast<ZEMArchive*>(new ZEMArchPAK)
                                       : static_cast<ZEMArchive*>(new ZEMArchZEM));
    if (!archive->Create(path.c_str())) return zemcli::Fail("cannot create " + Shown(path));
    std::vector<Source> none;
    const bool unique = DropDuplicates(*archive, Existing::REFUSE, gatherer.files, none);
    if (!AddAll(*archive, gatherer.files) && archive->NbFiles() == 0 && !gatherer.files.empty()) {
        ZEMFileUtils::FileRemove(path.c_str());
        return zemcli::Fail(Shown(path) + " not written: no file could be added");
    }
    return !unique || gatherer.skipped || archive->NbFiles() < gatherer.files.size() ? 1 : 0;
}

// The name with control characters as \xHH escapes: one name, one line.
std::string Escaped(const char* name) {
    std::string shown;
    for (; *name; ++name) {
        if (!IsControl(*name)) {
            shown += *name;
            continue;
        }
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(*name));
        shown += escape;
    }
    return shown;
}

int List(ZEMArchive* archive, const Args& args) {
    if (args.size() == 2 && args[1] != "--names") return Usage(*FindCommand("list"));
    if (args.size() == 1) {
        archive->PrintContent();
        return 0;
    }
    for (unsigned i = 0; i < archive->NbFiles(); ++i)
        std::printf("%s\n", Escaped(archive->FileName(i)).c_str());
    if (std::fflush(stdout) != 0) return zemcli::Fail("cannot write to standard output");
    return 0;
}

int Test(ZEMArchive* archive, const Args& args) {
    char buffer[64 * 1024];
    uint64_t total = 0;
    for (unsigned i = 0; i < archive->NbFiles(); ++i) {
        uint64_t got = 0;
        std::unique_ptr<ZEMResFile> stream(archive->FileSize(i) ? archive->OpenResFile(i)
                                                                : nullptr);
        while (stream) {
            const unsigned n = stream->Read(buffer, sizeof buffer);
            if (n == 0) break;
            got += n;
        }
        if (got != archive->FileSize(i)) {
            return zemcli::Fail(Shown(args[0]) + " is damaged: member " +
                                Shown(archive->FileName(i)) + " reads " + std::to_string(got) +
                                " of its " + std::to_string(archive->FileSize(i)) + " bytes");
        }
        total += got;
    }
    std::printf("%s: %u members, %llu bytes, all whole\n", Shown(args[0]).c_str(),
                archive->NbFiles(), static_cast<unsigned long long>(total));
    return 0;
}

int Add(ZEMArchive* archive, const Args& given) {
    Args args = given;
    FileGatherer gatherer(TakeFlag(args, "--flatten"));
    Existing existing = Existing::REFUSE;
    if (TakeFlag(args, "--replace")) existing = Existing::REPLACE;
    if (TakeFlag(args, "--skip-existing")) existing = Existing::SKIP;
    if (args.size() < 2) return Usage(*FindCommand("add"));
    if (!GatherFor(*archive, args, gatherer)) return 1;
    std::vector<Source> replaced;
    const bool unique = DropDuplicates(*archive, existing, gatherer.files, replaced);
    const bool added = AddAll(*archive, gatherer.files);
    const bool updated = ReplaceAll(*archive, replaced);
    return unique && added && updated && !gatherer.skipped ? 0 : 1;
}

int Remove(ZEMArchive* archive, const Args& args) {
    for (size_t i = 1; i < args.size(); ++i) {
        if (FindMember(*archive, args, args[i]) == NO_INDEX) return 1;
    }
    zemcli::Progress progress("removing", args.size() - 1);
    for (size_t i = 1; i < args.size(); ++i) {
        // The same name given twice removes two members of that name.
        unsigned index = FindMember(*archive, args, args[i]);
        if (index == NO_INDEX) return 1;
        if (!archive->RemoveFile(index)) {
            return zemcli::Fail("cannot remove " + Shown(args[i]) + " from " + Shown(args[0]) +
                                ": " + archive->LastError());
        }
        progress.Step(i);
    }
    return 0;
}

int Move(ZEMArchive* archive, const Args& args) {
    unsigned index = FindMember(*archive, args, args[1]);
    if (index == NO_INDEX) return 1;
    // A name that ends with a separator names a folder: the library refuses it as it stands.
    const std::string newName = IsSeparator(args[2].back()) ? args[2] : MemberName(args[2]);
    const unsigned existing = archive->FindFile(newName.c_str());
    if (existing != NO_INDEX && existing != index) {
        return zemcli::Fail(Shown(args[0]) + " holds " + Shown(newName) + " already");
    }
    if (!archive->RenameMember(index, newName.c_str())) {
        return zemcli::Fail("cannot rename " + Shown(args[1]) + " to " + Shown(args[2]) + " in " +
                            Shown(args[0]) + ": " + archive->LastError());
    }
    return 0;
}

int Update(ZEMArchive* archive, const Args& given) {
    Args args = given;
    FileGatherer gatherer(TakeFlag(args, "--flatten"));
    if (args.size() < 2) return Usage(*FindCommand("update"));
    if (!GatherFor(*archive, args, gatherer)) return 1;
    for (const Source& file : gatherer.files) {
        if (FindMember(*archive, args, file.name) == NO_INDEX) return 1;
    }
    return ReplaceAll(*archive, gatherer.files) && !gatherer.skipped ? 0 : 1;
}

int Extract(ZEMArchive* archive, const Args& args) {
    std::string folder = args.size() == 2 ? args[1] : ".";
    if (!MakeFolders(folder) || !ZEMFileUtils::IsDir(folder.c_str())) {
        return zemcli::Fail("cannot create the folder " + Shown(folder));
    }
    if (!IsSeparator(folder.back())) folder += '/';
    unsigned missed = 0;
    zemcli::Progress progress("extracting", archive->NbFiles());
    for (unsigned i = 0; i < archive->NbFiles(); ++i) {
        const char* name = archive->FileName(i);
        if (!ZEMArchive::IsSafeName(name)) {
            Warn(Shown(name) + " not extracted: " +
                 (HasControl(name) ? "its name holds control characters"
                                   : "its name leads out of the folder"));
            ++missed;
        } else if (!archive->ExtractInto(i, folder.c_str())) {
            Warn(Shown(name) + " not extracted: " + archive->LastError());
            ++missed;
        }
        progress.Step(i + 1);
    }
    if (missed == 0) return 0;
    return zemcli::Fail(std::to_string(missed) + " of " + std::to_string(archive->NbFiles()) +
                        " members not extracted");
}

int Cat(ZEMArchive* archive, const Args& args) {
    unsigned index = FindMember(*archive, args, args[1]);
    if (index == NO_INDEX) return 1;
    // An empty member has no bytes to open.
    if (archive->FileSize(index) == 0) return 0;
    std::unique_ptr<ZEMResFile> stream(archive->OpenResFile(index));
    if (!stream) return zemcli::Fail("cannot read " + Shown(args[1]) + " in " + Shown(args[0]));
    char buffer[64 * 1024];
    unsigned total = 0;
    while (unsigned got = stream->Read(buffer, sizeof buffer)) {
        if (std::fwrite(buffer, 1, got, stdout) != got) {
            return zemcli::Fail("cannot write to standard output");
        }
        total += got;
    }
    if (std::fflush(stdout) != 0) return zemcli::Fail("cannot write to standard output");
    if (total < archive->FileSize(index)) {
        return zemcli::Fail(Shown(args[1]) + " is cut short: the archive ends inside it");
    }
    return 0;
}

} // namespace

int ZemArchive(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) return Help();
    if (argc < 2) return zemcli::Fail("archive needs a command (see 'zem archive --help')");
    const Command* command = FindCommand(argv[1]);
    if (!command) {
        return zemcli::Fail(std::string("unknown archive command '") + argv[1] +
                            "' (see 'zem archive --help')");
    }
    if (zemcli::WantsHelp(argc, argv, 2)) return CommandHelp(*command);
    const Args args(argv + 2, argv + argc);
    if (args.size() < command->fewest || args.size() > command->most) return Usage(*command);
    if (command->run == Create) return Create(nullptr, args);
    ArchivePtr archive = OpenOrSay(args[0]);
    if (!archive) return 1;
    return command->run(archive.get(), args);
}
