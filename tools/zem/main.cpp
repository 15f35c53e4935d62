#include "ZemCli.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#ifdef _WIN32
#include "platform/ZEMWideNames.h"

#include <cstdlib>
#include <cwchar>
#endif

namespace {

struct Family {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* commands; // every command of the family, as 'zem FAMILY --help' tells them
    const char* subject;
};

const Family FAMILIES[] = {
    {"version", ZemVersion, "", "print the library's version"},
    {"score", ZemScore, "show", "score table files"},
    {"lang", ZemLang, "build, list, dump", "language files"},
    {"config", ZemConfig, "check", "configuration files"},
    {"archive", ZemArchive, "create, list, add, rm, mv, compact, update, extract, cat, test",
     "ZEM and PAK archives"},
    {"palette", ZemPalette, "info, convert", "palette files, between their formats"},
    {"font", ZemFont, "info, render, build", "bitmap font files"},
    {"image", ZemImage, "info, convert", "pictures, between BMP, PCX, TGA and PNG"},
};

int Usage(FILE* out) {
    std::fprintf(out, "usage: zem FAMILY COMMAND [ARGS...]\n\nfamilies:\n");
    for (const Family& family : FAMILIES) {
        std::fprintf(out, "  %-10s %s%s%s\n", family.name, family.commands,
                     *family.commands ? ": " : "", family.subject);
    }
    std::fprintf(out,
                 "\n'zem FAMILY --help' (or 'zem help FAMILY') describes the commands of a\n"
                 "family;\n"
                 "'zem --version' prints the version.\n\n"
                 "exit status, for every family:\n"
                 "  0  all done\n"
                 "  1  some inputs left out or a member damaged (each named on standard error),\n"
                 "     or the work failed (standard output could not be written, for one)\n"
                 "  2  the command line is wrong: unknown command or option, missing argument\n");
    return out == stdout ? 0 : 2;
}

int Run(int argc, char** argv);

// "zem help [FAMILY [COMMAND]]" gives what "zem [FAMILY [COMMAND]] --help" gives.
int Help(int argc, char** argv) {
    if (argc < 3) {
        Usage(stdout);
        return zemcli::Flushed() ? 0 : 1;
    }
    static char helpOption[] = "--help";
    std::vector<char*> args = {argv[0]};
    args.insert(args.end(), argv + 2, argv + argc);
    args.push_back(helpOption);
    return Run(int(args.size()), args.data());
}

int Run(int argc, char** argv) {
    if (argc < 2) return Usage(stderr);
    if (zemcli::WantsHelp(argc, argv, 1) || std::strcmp(argv[1], "help") == 0)
        return Help(argc, argv);
    if (std::strcmp(argv[1], "--version") == 0) return ZemVersion(1, argv + 1);
    for (const Family& family : FAMILIES) {
        if (std::strcmp(argv[1], family.name) != 0) continue;
        const int status = family.run(argc - 1, argv + 1);
        // Output that did not reach its file is a failure, whatever the command printed.
        return status == 0 && !zemcli::Flushed() ? 1 : status;
    }
    std::vector<std::string> names = {"help"};
    for (const Family& family : FAMILIES)
        names.push_back(family.name);
    return zemcli::UsageError("unknown family '" + zemcli::Printable(argv[1]) + "'" +
                              zemcli::DidYouMean(argv[1], names) + " (see 'zem --help')");
}

} // namespace

#ifdef _WIN32
namespace {

UINT consolePage = 0;

void RestoreConsolePage() {
    SetConsoleOutputCP(consolePage);
}

// The tool writes UTF-8: a console shows it as such only in that code page, and gets the user's
// own back when the tool ends. Pipes and files take the bytes as they are.
void ConsoleInUtf8() {
    consolePage = GetConsoleOutputCP(); // 0 without a console
    if (consolePage == 0 || consolePage == CP_UTF8) return;
    SetConsoleOutputCP(CP_UTF8);
    std::atexit(RestoreConsolePage);
}

} // namespace

// Windows hands the command line over in UTF-16; the families take UTF-8, as the library takes
// names, so that a name or text outside the ANSI code page reaches them whole.
int wmain(int argc, wchar_t** wide) {
    ConsoleInUtf8();
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(ZEM::Platform::Utf8(wide[i], std::wcslen(wide[i])));
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    return Run(argc, argv.data());
}
#else
int main(int argc, char** argv) {
    return Run(argc, argv);
}
#endif
