#include "ZemArchiveFamily.h"
#include "ZemCli.h"

#include <zem/provider/ZEMArchPAK.h>
#include <zem/provider/ZEMArchZEM.h>
#include <zem/provider/ZEMFileUtils.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using zemcli::Warn;

namespace {

bool IsControl(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

} // namespace

namespace zemarchive {

std::string Shown(const char* text) {
    return "'" + zemcli::Printable(text) + "'";
}

std::string Shown(const std::string& text) {
    return Shown(text.c_str());
}

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

// Storage index of the first member of that name; NO_INDEX (said) when there is none.
unsigned FindMember(const ZEMArchive& archive, const Args& args, const std::string& member) {
    unsigned index = archive.FindFile(member.c_str());
    if (index == NO_INDEX) Warn("no member " + Shown(member) + " in " + Shown(args[0]));
    return index;
}

} // namespace zemarchive

namespace {

using namespace zemarchive;

// ---- Archives ----

// Why an archive could not be opened, as one line; archive is the object that failed to open
// it, null when the format is not one zem reads.
std::string OpenFailure(const char* path, const ZEMArchive* archive) {
    if (!ZEMFileUtils::FileExist(path)) return Shown(path) + ": no such file";
    if (ZEMFileUtils::IsDir(path)) return Shown(path) + " is a folder, not an archive";
    std::error_code error;
    if (!std::filesystem::is_regular_file(zemcli::FsPath(path), error)) {
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

// ---- Commands ----

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

const Command COMMANDS[] = {
    {"create", "[-v] [--force] [--format zem|pak] [--flatten] ARCHIVE PATH...",
     "new archive of files and of everything below folders",
     "Writes a new archive holding the files given and every file below the folders given\n"
     "(in name order). Members are named by their paths as given, with '/' between folders\n"
     "(data/maps/e1m1.bsp), or by the files' own names with --flatten; a folder given by an\n"
     "absolute path or one with '..' names its files below its last component, as a relative\n"
     "one does (/home/me/game/data: data/maps/e1m1.bsp). A name may have at most\n"
     "31 bytes in a ZEM archive, 56 in a PAK: longer names are each named and nothing is\n"
     "written; two files of one name are refused, never doubled. The format is that of\n"
     "--format, else that of ARCHIVE's extension (.zem or .pak; another extension needs\n"
     "--format). ARCHIVE must not exist yet; --force replaces it. The archive is built under\n"
     "a temporary name beside ARCHIVE and takes its name at the end: a create that fails, is\n"
     "killed or adds no file leaves nothing (and an archive replaced whole). -v names each\n"
     "member as it is added.\n",
     2, MANY, "--flatten --force -v ", "--format ", Create},
    {"list", "[-v] [--names] ARCHIVE", "table of the members",
     "Shows the members of a ZEM or PAK archive: size, date (\"-\" when the format keeps\n"
     "none), offset in the file and name. With --names, only the names, one a line, for\n"
     "scripts (control characters as \\xHH). -v adds the bytes of dead space: directories\n"
     "and members that edits left behind, which 'zem archive compact' gives back. A damaged\n"
     "member is marked \"(damaged: why)\" after its name.\n",
     1, 1, "--names -v ", "", List},
    {"add", "[-v] [--flatten] [--replace|--skip-existing] ARCHIVE PATH...",
     "append files and folders",
     "Appends the files given and every file below the folders given, named as 'create'\n"
     "names them. A file whose name the archive holds already is refused, unless --replace\n"
     "replaces that member by it or --skip-existing leaves it out quietly. The new files are\n"
     "appended in one edit; with --replace, the members replaced are rebuilt in a second:\n"
     "a kill leaves each of the two whole or not done.\n",
     2, MANY, "--flatten --replace --skip-existing -v ", "", Add},
    {"rm", "[-v] ARCHIVE MEMBER...", "remove members",
     "Removes the members of these names (the first of each name; a name given twice, the\n"
     "first two). Nothing is removed when a name is not in the archive. The archive is\n"
     "rebuilt once, in a temporary file beside it, which then takes its place: the archive's\n"
     "folder must be writable, and a command that fails or is killed removes no member.\n",
     2, MANY, "-v ", "", Remove},
    {"mv", "ARCHIVE MEMBER NEWNAME", "rename a member",
     "Renames a member to NEWNAME, folders included (sub/dir/x). A name that the archive\n"
     "holds already, that leads out of a folder or that is longer than the format allows is\n"
     "refused.\n",
     3, 3, "", "", Move},
    {"compact", "ARCHIVE", "give back the dead space that edits left",
     "Rewrites the archive without the directories and members that edits left behind (an\n"
     "add or a rename that would leave more dead bytes than live ones does so by itself).\n"
     "The archive is rebuilt in a temporary file beside it, which then takes its place.\n",
     1, 1, "", "", Compact},
    {"update", "[-v] [--flatten] ARCHIVE PATH...", "replace members by files of the same name",
     "Replaces each member named as 'add' would name a file given (or a file below a folder\n"
     "given) by that file's bytes; the member keeps its place. A file without such a member\n"
     "is an error: add it with 'zem archive add'. All members are replaced in one rebuild: a\n"
     "command that fails or is killed replaces none.\n",
     2, MANY, "--flatten -v ", "", Update},
    {"extract", "[-v] [--force] [-C DIR] ARCHIVE [MEMBER...]", "write members into a folder",
     "Writes the members named (every member when none is named) into DIR (the working\n"
     "folder by default), creating DIR and the folders that names such as maps/e1m1.bsp\n"
     "need. A name that exists already (a file, a folder or a link, even one that leads\n"
     "nowhere) is left alone, and reported, unless --force replaces it; a link is replaced,\n"
     "never written through. A member whose name is absolute, names a drive (C:x), climbs\n"
     "out with '..' or holds control characters is not written, and is reported; on Windows\n"
     "also one that the system would not keep as given: a device (CON, nul.txt, COM1), a\n"
     "name ending with a dot or a space, or one of :<>\"|?*. Each file gets its member's\n"
     "stored date (a PAK stores none: the archive's date). A damaged member is not written,\n"
     "and is reported; the others are. Members whose bytes overlap another's or the\n"
     "directory are damaged too, as they would write the same bytes again and again: --force\n"
     "writes them (members that lie outside the file never).\n",
     1, MANY, "--force -v ", "-C ", Extract},
    {"cat", "[-o FILE|-] [--force] ARCHIVE MEMBER...", "write members to standard output",
     "Writes the bytes of the members, one after another, to standard output, or to FILE\n"
     "with -o (\"-\" is standard output; an existing FILE needs --force).\n",
     2, MANY, "--force ", "-o ", Cat},
    {"test", "ARCHIVE", "check that every member reads whole",
     "Checks the archive's structure: every member inside the file, past the header, and\n"
     "overlapping neither the directory nor another member (each damaged member is named),\n"
     "then reads every member to its end; exits 1 at the first damage. ZEM and PAK\n"
     "archives hold no checksums: bytes changed inside a member go unseen.\n",
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

} // namespace

int ZemArchive(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) return Help();
    if (argc < 2) return zemcli::UsageError("archive needs a command (see 'zem archive --help')");
    const Command* command = FindCommand(argv[1]);
    if (!command) {
        std::vector<std::string> names;
        for (const Command& known : COMMANDS)
            names.push_back(known.name);
        return zemcli::UsageError("unknown archive command " + Shown(argv[1]) +
                                  zemcli::DidYouMean(argv[1], names) +
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
    // The library logs what LastError holds: the command says it once, in its own line.
    zemcli::LogCatcher log;
    if (command->run == Create) return Create(nullptr, line);
    ArchivePtr archive = OpenOrSay(line.args[0]);
    if (!archive) return 1;
    return command->run(archive.get(), line);
}
