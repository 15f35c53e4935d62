// Loads arbitrary bytes as a language file. Whatever loads must hand out only strings that end
// inside the file's bytes, and never more strings than the file has room to describe.
#include <zem/core/ZEMLog.h>
#include <zem/text/ZEMTranslator.h>

#include "FuzzScratch.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

const FuzzScratch input("lang.lng");

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZEM::SetLogLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    input.Write(data, size);
    ZEMTranslator translator;

    char* name = translator.CheckLang(input.Path());
    if (name && std::strlen(name) >= 255) abort();
    delete[] name;

    if (!translator.Load(input.Path(), 0)) return 0;
    if (translator.NbStrings() > size / 2) abort();
    if (!translator.GetCurName() || std::strlen(translator.GetCurName()) >= 255) abort();
    size_t total = 0;
    for (unsigned i = 0; i < translator.NbStrings(); ++i) {
        const char* s = translator.GetString(i);
        if (s) total += std::strlen(s) + 1; // reads up to the terminator, inside the data
    }
    if (total > size) abort();
    translator.PrintInfo(true);
    return 0;
}
