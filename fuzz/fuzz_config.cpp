// Reads arbitrary text as a configuration file and, split at line ends, as a command line, into
// a manager with a parameter of every type; then saves it and reads the saved file back.
#include <zem/core/ZEMLog.h>
#include <zem/text/ZEMConfigMgr.h>

#include "FuzzScratch.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const FuzzScratch input("in.cfg");
const FuzzScratch output("out.cfg");

void Declare(ZEMConfigMgr& cfg) {
    ZEMConfigMgr::CfgValue zero;
    std::memset(&zero, 0, sizeof zero);
    const char* names[] = {"b", "i", "f", "s", "c", "d", "x"};
    const int types[] = {1, 2, 3, 4, 5, 6, 9};
    for (int k = 0; k < 7; ++k) {
        if (!cfg.AddParameter(names[k], types[k], zero)) abort();
    }
}

void CountLine(unsigned line, const char* name, const char* value, void* last) {
    unsigned& previous = *static_cast<unsigned*>(last);
    if (line <= previous || std::strlen(name) + std::strlen(value) > ZEMConfigMgr::MAX_LINE)
        abort();
    previous = line;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Dumps are formatted in full but written nowhere.
    ZEM::SetLogTarget(2, "/dev/null");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    input.Write(data, size);
    unsigned last = 0;
    if (!ZEMConfigMgr::ScanFile(input.Path(), CountLine, &last)) abort();

    ZEMConfigMgr cfg(4);
    Declare(cfg);
    cfg.ParseFile(input.Path());

    // The same bytes as arguments, one per line; a zero byte ends an argument early.
    std::vector<std::string> args(1, "prog");
    std::string text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        args.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    cfg.ParseCL(static_cast<int>(argv.size()), argv.data());
    cfg.PrintInfo();

    if (!cfg.Save(output.Path(), "fuzz")) abort();
    ZEMConfigMgr again(4);
    Declare(again);
    again.ParseFile(output.Path());
    return 0;
}
