#include "ZemCli.h"

#include <zem/core/ZEMVersion.h>

#include <cstdio>

int ZemVersion(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) {
        std::printf("usage: zem version\n\nPrints the version of the ZEMBase library.\n");
        return 0;
    }
    if (argc > 1) return zemcli::UsageError("version takes no arguments");
    std::printf("ZEMBase %s\n", ZEM::Versiont());
    return zemcli::Flushed() ? 0 : 1;
}
