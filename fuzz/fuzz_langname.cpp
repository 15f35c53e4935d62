// Language files made of arbitrary bytes, listed by a translator and loaded by the names they
// declare: a name that is listed loads as that language, any other name loads nothing.
#include <zem/core/ZEMLog.h>
#include <zem/text/ZEMTranslator.h>

#include "FuzzScratch.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string folder;
constexpr int FILES = 3;

std::string FilePath(int i) {
    return folder + "/l" + std::to_string(i) + ".lng";
}

void RemoveFolder() {
    for (int i = 0; i < FILES; ++i)
        remove(FilePath(i).c_str());
    rmdir(folder.c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZEM::SetLogLevel(0);
    folder = MakeScratchFolder("zemfuzz-lang");
    atexit(RemoveFolder);
    return 0;
}

// The input is cut into three files at its first two bytes 0xFF 0xFE; the bytes after the last
// cut also serve as a name to load.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t start = 0;
    for (int i = 0; i < FILES; ++i) {
        size_t end = start;
        while (i < FILES - 1 && end + 1 < size && !(data[end] == 0xFF && data[end + 1] == 0xFE))
            ++end;
        if (i == FILES - 1 || end + 1 >= size) end = size;
        FILE* file = fopen(FilePath(i).c_str(), "wb");
        if (!file) abort();
        if (end > start && fwrite(data + start, 1, end - start, file) != end - start) abort();
        fclose(file);
        start = end + 2 < size ? end + 2 : size;
    }
    ZEMTranslator translator;
    const int listed = translator.Init(folder.c_str(), ".lng");
    if (listed < 0 || listed > FILES) abort();
    for (int i = 0; i < listed; ++i) {
        const char* name = translator.GetLangName(unsigned(i));
        if (!name) abort();
        const std::string wanted = name;
        if (translator.LoadName(wanted.c_str())) {
            if (!translator.GetCurName() || wanted != translator.GetCurName()) abort();
            for (unsigned id = 0; id < translator.NbStrings(); ++id)
                translator.GetString(id);
        }
    }
    const std::string tail(reinterpret_cast<const char*>(data), size < 40 ? size : 40);
    translator.LoadName(tail.c_str());
    translator.LoadName(nullptr);
    return 0;
}
