#include "ZemCli.h"

#include <zem/text/ZEMConfigMgr.h>

#include <cstdio>
#include <string>

namespace {

int Help() {
    std::printf("usage: zem config check FILE\n\n"
                "Shows each line of a configuration file as the configuration manager reads it:\n"
                "the line number, the parameter name and the value text. Empty lines and comment\n"
                "lines (starting with #) are skipped; a line longer than %u characters is read\n"
                "as several lines.\n",
                ZEMConfigMgr::MAX_LINE);
    return 0;
}

void ShowLine(unsigned line, const char* name, const char* value, void* count) {
    ++*static_cast<unsigned*>(count);
    if (*value) {
        std::printf("line %u: name \"%s\", value \"%s\"\n", line, zemcli::Printable(name).c_str(),
                    zemcli::Printable(value).c_str());
    } else {
        std::printf("line %u: name \"%s\", no value\n", line, zemcli::Printable(name).c_str());
    }
}

int Check(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) return Help();
    if (argc != 2)
        return zemcli::UsageError("config check takes one FILE (see 'zem config --help')");
    unsigned count = 0;
    if (!ZEMConfigMgr::ScanFile(argv[1], ShowLine, &count)) {
        return zemcli::Fail(std::string("cannot read '") + argv[1] + "'");
    }
    if (count == 0) std::printf("%s: no parameter lines\n", argv[1]);
    return 0;
}

} // namespace

int ZemConfig(int argc, char** argv) {
    const zemcli::Command commands[] = {{"check", Check}};
    return zemcli::RunCommand("config", commands, Help, argc, argv);
}
