#include "ZemCli.h"

#include <zem/provider/ZEMArchPAK.h>
#include <zem/provider/ZEMArchZEM.h>
#include <zem/provider/ZEMFileUtils.h>
#include <zem/stream/ZEMResFile.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <sys/stat.h>
#include <utility>
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

// The working folder of the process, as the system reports it; "." when it cannot.
std::string WorkingFolder() {
    std::error_code error;
    const std::string folder = std::filesystem::current_path(error).string();
    return error || folder.empty() ? std::string(".") : folder;
}

// Collects the files named on the command line and those below the folders named there, each
// folder in name order. The paths kept are those the user gave, joined with the names below;
// the member names are those paths (as tar keeps them), or the files' own names with flatten.
class FileGatherer {
public:
    explicit FileGatherer(bool flatten = false) : flatten_(flatten), workDir_(WorkingFolder()) {}

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
        struct stat status;
        std::error_code error;
        std::filesystem::directory_iterator it(folder, error);
        if (error || stat(folder.c_str(), &status) != 0) {
            Warn(Shown(folder) + ": cannot list this folder");
            skipped = true;
            return;
        }
        // A link back into a folder already walked would never end; another way into one would
        // store its files twice.
        if (!walked_.insert({status.st_dev, status.st_ino}).second) {
            Warn(Shown(folder) +
                 ": this folder was taken already by another way (a link), left out");
            skipped = true;
            return;
        }
        // The types come with the listing: no status call per file, except through links.
        std::vector<std::pair<std::string, bool>> children;
        for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
            std::error_code typeError;
            const std::string name = it->path().filename().string();
            if (it->is_directory(typeError) || it->is_regular_file(typeError)) {
                children.emplace_back(name, it->is_directory(typeError));
                continue;
            }
            Warn(Shown(Join(folder, name.c_str())) + (it->is_symlink(typeError)
                                                          ? ": a link that leads nowhere, left out"
                                                          : ": not a regular file, left out"));
            skipped = true;
        }
        if (error) {
            Warn(Shown(folder) + ": cannot list this folder to its end");
            skipped = true;
        }
        std::sort(children.begin(), children.end());
        for (const auto& [name, isFolder] : children) {
            const std::string path = Join(folder, name.c_str());
            if (isFolder) {
                Walk(path);
            } else {
                Keep(path);
            }
        }
    }

    bool flatten_;
    std::string workDir_;
    std::set<std::pair<dev_t, ino_t>> walked_; // the folders walked, by identity
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

// The command line of a command: its operands (the archive's path first) and its options.
struct Line {
    Args args;
    std::set<std::string> flags;               // options without a value, by their long names
    std::map<std::string, std::string> values; // options with a value
    bool verbose = false;

    bool Has(const char* flag) const { return flags.count(flag) != 0; }
    std::string Value(const char* option) const {
        auto found = values.find(option);
        return found == values.end() ? std::string() : found->second;
    }
};

// A command's work. line.args[0] is the archive's path; archive is that archive opened, except
// for 'create', which receives null.
using Run = int (*)(ZEMArchive* archive, const Line& line);

constexpr size_t MANY = ~size_t(0);

struct Command {
    const char* name;
    const char* usage;   // the arguments after the command's name
    const char* summary; // one line for the family's help
    const char* help;    // what --help says below the usage line
    size_t fewest;       // how many operands it takes, at the least
    size_t most;         // and at the most
    const char* flags;   // the options without a value it accepts, each followed by a space
    const char* values;  // the options with a value it accepts, likewise
    Run run;
};

int Create(ZEMArchive*, const Line& line);
int List(ZEMArchive* archive, const Line& line);
int Add(ZEMArchive* archive, const Line& line);
int Remove(ZEMArchive* archive, const Line& line);
int Move(ZEMArchive* archive, const Line& line);
int Update(ZEMArchive* archive, const Line& line);
int Extract(ZEMArchive* archive, const Line& line);
int Cat(ZEMArchive* archive, const Line& line);
int Test(ZEMArchive* archive, const Line& line);

const Command COMMANDS[] = {
    {"create", "[-v] [--format zem|pak] [--flatten] ARCHIVE PATH...",
     "new archive of files and of everything below folders",
     "Writes a new archive holding the files given and every file below the folders given\n"
     "(in name order). Members are named by their paths as given, with '/' between folders\n"
     "(data/maps/e1m1.bsp), or by the files' own names with --flatten. A name may have at most\n"
     "31 bytes in a ZEM archive, 56 in a PAK; longer names and two files of one name are\n"
     "refused, never cut or doubled. The format is that of --format, else that of ARCHIVE's\n"
     "extension (.zem or .pak; another extension needs --format). ARCHIVE must not exist yet.\n"
     "-v names each member as it is added.\n",
     2, MANY, "--flatten -v ", "--format ", Create},
    {"list", "[--names] ARCHIVE", "table of the members",
     "Shows the members of a ZEM or PAK archive: size, date (\"-\" when the format keeps\n"
     "none), offset in the file and name. With --names, only the names, one a line, for\n"
     "scripts (control characters as \\xHH).\n",
     1, 1, "--names ", "", List},
    {"add", "[-v] [--flatten] [--replace|--skip-existing] ARCHIVE PATH...",
     "append files and folders",
     "Appends the files given and every file below the folders given, named as 'create'\n"
     "names them. A file whose name the archive holds already is refused, unless --replace\n"
     "replaces that member by it or --skip-existing leaves it out quietly.\n",
     2, MANY, "--flatten --replace --skip-existing -v ", "", Add},
    {"rm", "[-v] ARCHIVE MEMBER...", "remove members",
     "Removes the members of these names (the first of each name). Nothing is removed when\n"
     "a name is not in the archive. The archive is rebuilt in a temporary file beside it,\n"
     "which then takes its place: the archive's folder must be writable.\n",
     2, MANY, "-v ", "", Remove},
    {"mv", "ARCHIVE MEMBER NEWNAME", "rename a member",
     "Renames a member to NEWNAME, folders included (sub/dir/x). A name that the archive\n"
     "holds already, that leads out of a folder or that is longer than the format allows is\n"
     "refused.\n",
     3, 3, "", "", Move},
    {"update", "[-v] [--flatten] ARCHIVE PATH...", "replace members by files of the same name",
     "Replaces each member named as 'add' would name a file given (or a file below a folder\n"
     "given) by that file's bytes; the member keeps its place. A file without such a member\n"
     "is an error: add it with 'zem archive add'.\n",
     2, MANY, "--flatten -v ", "", Update},
    {"extract", "[-v] [--force] [-C DIR] ARCHIVE [MEMBER...]", "write members into a folder",
     "Writes the members named (every member when none is named) into DIR (the working\n"
     "folder by default), creating DIR and the folders that names such as maps/e1m1.bsp\n"
     "need. An existing file is not overwritten, and is reported, unless --force is given. A\n"
     "member whose name is absolute or climbs out with '..' is not written, and is reported.\n",
     1, MANY, "--force -v ", "-C ", Extract},
    {"cat", "[-o FILE|-] [--force] ARCHIVE MEMBER...", "write members to standard output",
     "Writes the bytes of the members, one after another, to standard output, or to FILE\n"
     "with -o (\"-\" is standard output; an existing FILE needs --force).\n",
     2, MANY, "--force ", "-o ", Cat},
    {"test", "ARCHIVE", "check that every member reads whole",
     "Checks the directory (every member inside the file) and reads every member to its end;\n"
     "exits 1 at the first damage, naming it.\n",
     1, 1, "", "", Test},
};

const Command* FindCommand(const char* name) {
    for (const Command& command : COMMANDS) {
        if (std::strcmp(command.name, name) == 0) return &command;
    }
    return nullptr;
}

int Help() {
    std::printf("usage: zem archive COMMAND [OPTIONS] ARCHIVE [ARGS...]\n\n"
                "Builds, lists, edits and extracts ZEM and PAK archives.\n\ncommands:\n");
    for (const Command& command : COMMANDS)
        std::printf("  %-8s %s\n", command.name, command.summary);
    std::printf("\nOptions may stand anywhere after the command; '--' ends them.\n"
                "'zem archive COMMAND --help' describes a command.\n");
    return 0;
}

int CommandHelp(const Command& command) {
    std::printf("usage: zem archive %s %s\n\n%s", command.name, command.usage, command.help);
    return 0;
}

int Usage(const Command& command) {
    return zemcli::UsageError(std::string("usage: zem archive ") + command.name + " " +
                              command.usage + " (see 'zem archive " + command.name + " --help')");
}

// Whether list, a run of words each followed by a space, holds word.
bool Lists(const char* list, const std::string& word) {
    const std::string words = std::string(" ") + list;
    return words.find(" " + word + " ") != std::string::npos;
}

// The command line of the command after its name; false (said) on an option it does not take.
bool ParseLine(const Command& command, int argc, char** argv, Line& line) {
    bool options = true;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (!options || arg == "-" || arg.empty() || arg[0] != '-') {
            line.args.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options = false;
            continue;
        }
        if (arg == "--verbose") arg = "-v";
        std::string value;
        const size_t equals = arg.find('=');
        const bool joined = arg.compare(0, 2, "--") == 0 && equals != std::string::npos;
        if (joined) {
            value = arg.substr(equals + 1);
            arg.resize(equals);
        }
        if (Lists(command.values, arg)) {
            if (!joined && i + 1 >= argc) {
                zemcli::UsageError(arg + " needs a value");
                return false;
            }
            line.values[arg] = joined ? value : argv[++i];
        } else if (Lists(command.flags, arg) && !joined) {
            line.flags.insert(arg);
        } else {
            zemcli::UsageError("archive " + std::string(command.name) + " takes no option " +
                               Shown(arg) + " (see 'zem archive " + command.name + " --help')");
            return false;
        }
    }
    line.verbose = line.Has("-v");
    return true;
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

// Names each file on standard output, as -v asks.
void Tell(const Line& line, const std::vector<Source>& files) {
    if (!line.verbose) return;
    for (const Source& file : files)
        std::printf("%s\n", Escaped(file.name.c_str()).c_str());
}

int Create(ZEMArchive*, const Line& line) {
    const Args& args = line.args;
    const std::string& path = args[0];
    std::string format = line.Value("--format");
    if (format.empty()) {
        const char* extension = ZEMFileUtils::FileExtension(path.c_str());
        std::string lower = extension ? extension : "";
        for (char& c : lower)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        if (lower != "pak" && lower != "zem") {
            return zemcli::UsageError(Shown(path) + " ends in neither .zem nor .pak: give "
                                                    "--format zem or --format pak");
        }
        format = lower;
    }
    if (format != "zem" && format != "pak") {
        return zemcli::UsageError("unknown format " + Shown(format) + " (zem or pak)");
    }
    if (ZEMFileUtils::FileExist(path.c_str())) {
        return zemcli::Fail(Shown(path) + " already exists (use 'zem archive add' to add to it)");
    }
    FileGatherer gatherer(line.Has("--flatten"));
    if (!Gather({args.begin() + 1, args.end()}, gatherer)) return 1;
    ArchivePtr archive(format == "pak" ? static_cast<ZEMArchive*>(new ZEMArchPAK)
                                       : static_cast<ZEMArchive*>(new ZEMArchZEM));
    if (!archive->Create(path.c_str())) return zemcli::Fail("cannot create " + Shown(path));
    std::vector<Source> none;
    const bool unique = DropDuplicates(*archive, Existing::REFUSE, gatherer.files, none);
    if (!AddAll(*archive, gatherer.files) && archive->NbFiles() == 0 && !gatherer.files.empty()) {
        ZEMFileUtils::FileRemove(path.c_str());
        return zemcli::Fail(Shown(path) + " not written: no file could be added");
    }
    Tell(line, gatherer.files);
    if (!zemcli::Flushed()) return 1;
    return !unique || gatherer.skipped || archive->NbFiles() < gatherer.files.size() ? 1 : 0;
}

// The table of the members: size, date, offset, name; the name last, so that no length of name
// breaks the columns.
void PrintTable(const ZEMArchive& archive) {
    const bool dated = dynamic_cast<const ZEMArchPAK*>(&archive) == nullptr;
    // localtime_r does not read the time zone on each call as localtime does.
    tzset();
    std::printf("%10s  %-16s  %10s  %s\n", "Size", "Date", "Offset", "Name");
    uint64_t total = 0;
    for (unsigned i = 0; i < archive.NbFiles(); ++i) {
        char date[32] = "-";
        const time_t when = time_t(archive.FileDate(i));
        struct tm local;
        if (dated && localtime_r(&when, &local)) {
            std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &local);
        }
        const auto* entry = static_cast<const ZEMArchive::ArchiveEntry*>(archive.GetItem(i));
        std::printf("%10u  %-16s  %10u  %s\n", entry->size, date, entry->offset,
                    Escaped(entry->name).c_str());
        total += archive.FileSize(i);
    }
    std::printf("%u members, %llu bytes\n", archive.NbFiles(),
                static_cast<unsigned long long>(total));
}

int List(ZEMArchive* archive, const Line& line) {
    if (line.Has("--names")) {
        for (unsigned i = 0; i < archive->NbFiles(); ++i)
            std::printf("%s\n", Escaped(archive->FileName(i)).c_str());
    } else {
        PrintTable(*archive);
    }
    return zemcli::Flushed() ? 0 : 1;
}

int Test(ZEMArchive* archive, const Line& line) {
    const Args& args = line.args;
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
    return zemcli::Flushed() ? 0 : 1;
}

int Add(ZEMArchive* archive, const Line& line) {
    FileGatherer gatherer(line.Has("--flatten"));
    Existing existing = Existing::REFUSE;
    if (line.Has("--replace") && line.Has("--skip-existing")) {
        return zemcli::UsageError("--replace and --skip-existing exclude each other");
    }
    if (line.Has("--replace")) existing = Existing::REPLACE;
    if (line.Has("--skip-existing")) existing = Existing::SKIP;
    if (!GatherFor(*archive, line.args, gatherer)) return 1;
    std::vector<Source> replaced;
    const bool unique = DropDuplicates(*archive, existing, gatherer.files, replaced);
    const bool added = AddAll(*archive, gatherer.files);
    const bool updated = ReplaceAll(*archive, replaced);
    Tell(line, gatherer.files);
    Tell(line, replaced);
    return zemcli::Flushed() && unique && added && updated && !gatherer.skipped ? 0 : 1;
}

int Remove(ZEMArchive* archive, const Line& line) {
    const Args& args = line.args;
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
        if (line.verbose) std::printf("%s\n", Escaped(args[i].c_str()).c_str());
        progress.Step(i);
    }
    return zemcli::Flushed() ? 0 : 1;
}

int Move(ZEMArchive* archive, const Line& line) {
    const Args& args = line.args;
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

int Update(ZEMArchive* archive, const Line& line) {
    FileGatherer gatherer(line.Has("--flatten"));
    if (!GatherFor(*archive, line.args, gatherer)) return 1;
    for (const Source& file : gatherer.files) {
        if (FindMember(*archive, line.args, file.name) == NO_INDEX) return 1;
    }
    const bool replaced = ReplaceAll(*archive, gatherer.files);
    Tell(line, gatherer.files);
    return zemcli::Flushed() && replaced && !gatherer.skipped ? 0 : 1;
}

// The storage indexes of the members named after the archive's path, or of every member when
// none is named; false (said) when a name is not in the archive.
bool Chosen(const ZEMArchive& archive, const Args& args, std::vector<unsigned>& indexes) {
    if (args.size() == 1) {
        for (unsigned i = 0; i < archive.NbFiles(); ++i)
            indexes.push_back(i);
        return true;
    }
    bool all = true;
    for (size_t i = 1; i < args.size(); ++i) {
        const unsigned index = FindMember(archive, args, args[i]);
        if (index == NO_INDEX) {
            all = false;
        } else {
            indexes.push_back(index);
        }
    }
    return all;
}

int Extract(ZEMArchive* archive, const Line& line) {
    std::string folder = line.Value("-C");
    if (folder.empty()) folder = ".";
    std::vector<unsigned> indexes;
    const bool found = Chosen(*archive, line.args, indexes);
    if (!MakeFolders(folder) || !ZEMFileUtils::IsDir(folder.c_str())) {
        return zemcli::Fail("cannot create the folder " + Shown(folder));
    }
    if (!IsSeparator(folder.back())) folder += '/';
    const bool force = line.Has("--force");
    size_t missed = 0;
    zemcli::Progress progress("extracting", indexes.size());
    for (size_t k = 0; k < indexes.size(); ++k) {
        const unsigned i = indexes[k];
        const char* name = archive->FileName(i);
        if (!ZEMArchive::IsSafeName(name)) {
            Warn(Shown(name) + " not extracted: " +
                 (HasControl(name) ? "its name holds control characters"
                                   : "its name leads out of the folder"));
            ++missed;
        } else if (!force && ZEMFileUtils::FileExist((folder + name).c_str())) {
            Warn(Shown(name) + " not extracted: the file exists (--force to overwrite it)");
            ++missed;
        } else if (!archive->ExtractInto(i, folder.c_str())) {
            Warn(Shown(name) + " not extracted: " + archive->LastError());
            ++missed;
        } else if (line.verbose) {
            std::printf("%s\n", Escaped(name).c_str());
        }
        progress.Step(k + 1);
    }
    if (!zemcli::Flushed()) return 1;
    if (missed == 0) return found ? 0 : 1;
    return zemcli::Fail(std::to_string(missed) + " of " + std::to_string(indexes.size()) +
                        " members not extracted");
}

// Copies a member to out; false (said) when it could not be read or written whole.
bool CopyMember(const ZEMArchive& archive, unsigned index, const Args& args,
                const std::function<bool(const char*, unsigned)>& put) {
    const std::string member = Shown(archive.FileName(index));
    // An empty member has no bytes to open.
    if (archive.FileSize(index) == 0) return true;
    std::unique_ptr<ZEMResFile> stream(archive.OpenResFile(index));
    if (!stream) {
        Warn("cannot read " + member + " in " + Shown(args[0]));
        return false;
    }
    char buffer[64 * 1024];
    uint64_t total = 0;
    while (unsigned got = stream->Read(buffer, sizeof buffer)) {
        if (!put(buffer, got)) return false;
        total += got;
    }
    if (total < archive.FileSize(index)) {
        Warn(member + " is cut short: the archive ends inside it");
        return false;
    }
    return true;
}

int Cat(ZEMArchive* archive, const Line& line) {
    std::vector<unsigned> indexes;
    if (!Chosen(*archive, line.args, indexes)) return 1;
    auto copyAll = [&](const std::function<bool(const char*, unsigned)>& put) {
        for (unsigned index : indexes) {
            if (!CopyMember(*archive, index, line.args, put)) return false;
        }
        return true;
    };
    const std::string path = line.Value("-o");
    if (!path.empty() && path != "-") {
        // Written aside and put in place whole: a member that cannot be read leaves nothing.
        const bool force = line.Has("--force");
        if (!zemcli::MayWrite(path, force)) return 1;
        return zemcli::WriteOutput(
            path, force,
            [&](ZEMResFile& file) {
                return copyAll(
                    [&](const char* bytes, unsigned n) { return file.Write(bytes, n) == n; });
            },
            " (a member could not be read)");
    }
    const bool whole = copyAll(
        [](const char* bytes, unsigned n) { return std::fwrite(bytes, 1, n, stdout) == n; });
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return zemcli::Fail("cannot write to standard output");
    return whole ? 0 : 1;
}

} // namespace

int ZemArchive(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) return Help();
    if (argc < 2) return zemcli::UsageError("archive needs a command (see 'zem archive --help')");
    const Command* command = FindCommand(argv[1]);
    if (!command) {
        return zemcli::UsageError("unknown archive command " + Shown(argv[1]) +
                                  " (see 'zem archive --help')");
    }
    for (int i = 2; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (zemcli::WantsHelp(argc, argv, i)) return CommandHelp(*command);
    }
    Line line;
    if (!ParseLine(*command, argc - 2, argv + 2, line)) return 2;
    if (line.args.size() < command->fewest || line.args.size() > command->most) {
        return Usage(*command);
    }
    if (command->run == Create) return Create(nullptr, line);
    ArchivePtr archive = OpenOrSay(line.args[0]);
    if (!archive) return 1;
    return command->run(archive.get(), line);
}
