#include "ZemCli.h"

#include <zem/text/ZEMScore.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Help() {
    std::printf("usage: zem score show FILE\n\n"
                "Shows the rows of a score table file: rank, player name, level and score.\n");
    return 0;
}

int Show(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) return Help();
    if (argc != 2) return zemcli::UsageError("score show takes one FILE (see 'zem score --help')");
    const char* path = argv[1];
    ZEMScore table(0, ZEMScore::SCORE_HIGH_FIRST, 0);
    if (!table.Load(path)) {
        return zemcli::Fail(std::string("cannot load the score table '") + path +
                            "' (missing, not a score file, or cut short)");
    }
    const bool lowFirst = table.order == ZEMScore::SCORE_LOW_FIRST;
    std::printf("%s: %u rows, %u taken, %s score first\n", path, table.nbEntries, table.Length(),
                lowFirst ? "lowest" : "highest");
    std::printf("rank  %-19s  %6s  %11s\n", "name", "level", "score");
    for (uint32_t i = 0; i < table.nbEntries; ++i) {
        const ZEMScoreEntry& row = table.entries[i];
        const std::string name(row.name, strnlen(row.name, sizeof row.name));
        std::printf("%4u  %-19s  %6d  %11d\n", i + 1,
                    name.empty() ? "-" : zemcli::Printable(name.c_str()).c_str(), row.level,
                    row.score);
    }
    return 0;
}

} // namespace

int ZemScore(int argc, char** argv) {
    const zemcli::Command commands[] = {{"show", Show}};
    return zemcli::RunCommand("score", commands, Help, argc, argv);
}
