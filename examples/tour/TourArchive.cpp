#include "Tour.h"

#include <zem/core.h>
#include <zem/provider.h>
#include <zem/resource.h>
#include <zem/stream.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const char* const SAMPLES = "tour-archive-samples";
const char* const MOD = "tour-archive-mod";
const char* const ARCHIVE = "tour-archive.zem";

void WriteText(const std::string& path, const char* text) {
    ZEMFile out(path.c_str(), ZEMResFile::WRITE);
    out.WriteStr(ZEMString(text), 0xFFFFFFFF);
}

void MakeFolder(const char* path) {
    if (!ZEMFileUtils::IsDir(path)) ZEMFileUtils::DirCreate(path);
}

// The regular files of a folder, as the directory provider lists them, in name order.
std::vector<std::string> FilesOf(const char* folder) {
    ZEMDir dir(folder);
    dir.Sort(ZEMFileProvider::SORT_NAME);
    std::vector<std::string> paths;
    for (unsigned k = 0; k < dir.NbFiles(); ++k) {
        unsigned i = dir.GetItem(k)->sortIndex;
        if (dir.IsFile(i)) paths.push_back(std::string(folder) + "/" + dir.FileName(i));
    }
    return paths;
}

// The first line of what the finder returns for name.
void Show(const ZEMResFinder& finder, const char* name) {
    std::unique_ptr<ZEMResFile> file(finder.FindRes(name));
    if (!file) {
        ZEM::LOG("  %-12s -> not found in any source\n", name);
        return;
    }
    char line[80] = "";
    file->GetLine(line, sizeof line, '\n');
    ZEM::LOG("  %-12s -> \"%s\"\n", name, line);
}

} // namespace

void TourArchive() {
    ZEM::LOG("== Archives: a folder packed into one file, then searched behind a mod folder\n");
    MakeFolder(SAMPLES);
    WriteText(std::string(SAMPLES) + "/title.txt", "Title screen, from the archive\n");
    WriteText(std::string(SAMPLES) + "/level1.map", "Level 1, from the archive\n");
    WriteText(std::string(SAMPLES) + "/credits.txt", "Credits, from the archive\n");

    // A new archive of every sample file, its directory written once.
    ZEMFileUtils::FileRemove(ARCHIVE);
    ZEMArchZEM archive;
    archive.Create(ARCHIVE);
    std::vector<std::string> files = FilesOf(SAMPLES);
    std::vector<const char*> paths;
    for (const std::string& file : files)
        paths.push_back(file.c_str());
    unsigned added = archive.AddFiles(paths.data(), nullptr, unsigned(paths.size()));
    ZEM::LOG("  %s (%s): %u files from %s/, %u bytes of data\n", ARCHIVE, archive.FormatInfo(),
             added, SAMPLES, archive.TotalSize());
    archive.PrintContent();

    // A mod folder put in front of the archive replaces one file and leaves the others.
    MakeFolder(MOD);
    WriteText(std::string(MOD) + "/title.txt", "Title screen, from the mod folder\n");
    ZEMResFinder finder;
    finder.AddSource(ARCHIVE, false);
    finder.AddSource(MOD, true);
    finder.PrintInfo();
    for (const char* name : {"title.txt", "level1.map", "credits.txt", "intro.avi"})
        Show(finder, name);
}
