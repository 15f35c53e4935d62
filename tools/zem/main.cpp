#include "ZemCli.h"

#include <cstdio>
#include <cstring>

namespace {

struct Family {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;
    const char* commands; // every command of the family, as 'zem FAMILY --help' tells them
};

const Family FAMILIES[] = {
    {"version", ZemVersion, "print the library's version", ""},
    {"score", ZemScore, "show score table files", "show"},
    {"lang", ZemLang, "build, list and dump language files", "build list dump"},
    {"config", ZemConfig, "check configuration files", "check"},
    {"archive", ZemArchive, "build, list, edit and extract ZEM and PAK archives",
     "create list add rm mv update extract cat test"},
    {"palette", ZemPalette, "show palette files and convert between their formats", "info convert"},
    {"font", ZemFont, "show bitmap font files, render text in them and build them",
     "info render build"},
    {"image", ZemImage, "show pictures and convert between BMP, PCX, TGA and PNG", "info convert"},
};

int Usage(FILE* out) {
    std::fprintf(out, "usage: zem FAMILY COMMAND [ARGS...]\n\nfamilies:\n");
    for (const Family& family : FAMILIES) {
        std::fprintf(out, "  %-10s %s\n", family.name, family.summary);
        if (*family.commands) std::fprintf(out, "  %-10s   commands: %s\n", "", family.commands);
    }
    std::fprintf(out,
                 "\n'zem FAMILY --help' describes the commands of a family;\n"
                 "'zem --version' prints the version.\n\n"
                 "exit status, for every family:\n"
                 "  0  all done\n"
                 "  1  some inputs left out or a member damaged (each named on standard error),\n"
                 "     or the work failed (standard output could not be written, for one)\n"
                 "  2  the command line is wrong: unknown command or option, missing argument\n");
    return out == stdout ? 0 : 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage(stderr);
    if (zemcli::WantsHelp(argc, argv, 1)) {
        Usage(stdout);
        return zemcli::Flushed() ? 0 : 1;
    }
    if (std::strcmp(argv[1], "--version") == 0) return ZemVersion(1, argv + 1);
    for (const Family& family : FAMILIES) {
        if (std::strcmp(argv[1], family.name) != 0) continue;
        const int status = family.run(argc - 1, argv + 1);
        // Output that did not reach its file is a failure, whatever the command printed.
        return status == 0 && !zemcli::Flushed() ? 1 : status;
    }
    return zemcli::UsageError("unknown family '" + zemcli::Printable(argv[1]) +
                              "' (see 'zem --help')");
}
