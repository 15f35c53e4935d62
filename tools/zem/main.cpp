#include "ZemCli.h"

#include <cstdio>
#include <cstring>

namespace {

struct Family {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;
};

const Family FAMILIES[] = {
    {"version", ZemVersion, "print the library's version"},
    {"score", ZemScore, "show score table files"},
    {"lang", ZemLang, "build, list and dump language files"},
    {"config", ZemConfig, "check configuration files"},
    {"archive", ZemArchive, "build, list, edit and extract ZEM and PAK archives"},
    {"palette", ZemPalette, "show palette files and convert between their formats"},
    {"font", ZemFont, "show bitmap font files and render text in them"},
    {"image", ZemImage, "show pictures and convert between BMP, PCX, TGA and PNG"},
};

int Usage(FILE* out) {
    std::fprintf(out, "usage: zem FAMILY COMMAND [ARGS...]\n\nfamilies:\n");
    for (const Family& family : FAMILIES) {
        std::fprintf(out, "  %-10s %s\n", family.name, family.summary);
    }
    std::fprintf(out, "\n'zem FAMILY --help' describes the commands of a family.\n");
    return out == stdout ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage(stderr);
    if (zemcli::WantsHelp(argc, argv, 1)) return Usage(stdout);
    for (const Family& family : FAMILIES) {
        if (std::strcmp(argv[1], family.name) == 0) return family.run(argc - 1, argv + 1);
    }
    return zemcli::Fail(std::string("unknown family '") + argv[1] + "' (see 'zem --help')");
}
