#include "Tour.h"

#include <zem/core.h>
#include <zem/provider.h>
#include <zem/stream.h>

#include <string>

namespace {

void Touch(const std::string& path, const char* text) {
    ZEMFile file(path.c_str(), ZEMResFile::WRITE);
    file.Write(text, unsigned(std::string(text).size()));
}

// Lists dir with the pattern and flags, one line of names.
void Show(const char* dir, const char* pattern, unsigned flags, const char* label) {
    char** list = nullptr;
    unsigned n = ZEMFileUtils::GetFileList(list, dir, pattern, flags);
    std::string names;
    for (unsigned i = 0; i < n; ++i) {
        names += std::string(" ") + list[i];
    }
    ZEMFileUtils::FreeFileList(list, n);
    ZEM::LOG("  %-28s %u:%s\n", label, n, names.c_str());
}

} // namespace

void TourFiles() {
    const char* dir = "tour-files";
    ZEMFileUtils::DirCreate(dir);
    ZEMFileUtils::DirCreate("tour-files\\levels");
    Touch("tour-files/title.bmp", "BM");
    Touch("tour-files/readme.txt", "read me");
    Touch("tour-files/.settings", "hidden");
    ZEMFileUtils::FileCopy("tour-files/readme.txt", "tour-files/README.bak", true);

    ZEM::LOG("== Files: listing %s (system order, names unsorted)\n", dir);
    Show(dir, "*", 0, "\"*\":");
    Show(dir, "*", ZEMFileUtils::FL_NODOTS | ZEMFileUtils::FL_NOHIDDEN, "NODOTS|NOHIDDEN:");
    Show(dir, "*", ZEMFileUtils::FL_NODIRS, "NODIRS (files only):");
    Show(dir, "*", ZEMFileUtils::FL_NOFILES | ZEMFileUtils::FL_NODOTS, "NOFILES|NODOTS (dirs):");
    Show(dir, "*.TXT", 0, "\"*.TXT\" (any case):");
    Show(dir, "readme.???", 0, "\"readme.???\":");

    char* cwd = ZEMFileUtils::GetCWD();
    ZEM::LOG("  working directory %s; %s is %u bytes, extension \"%s\"\n", cwd, "title.bmp",
             ZEMFileUtils::FileSize("tour-files/title.bmp"),
             ZEMFileUtils::FileExtension("tour-files\\title.bmp"));
    delete[] cwd;
}
