// A resource finder over a folder and an archive made of arbitrary bytes: any name may be asked of
// it, and a member's name gives a stream that reads no more than the archive holds.
#include <zem/core/ZEMLog.h>
#include <zem/provider/ZEMArchive.h>
#include <zem/resource/ZEMResFinder.h>
#include <zem/stream/ZEMResFile.h>

#include "FuzzScratch.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

std::string folder;

std::string InFolder(const char* name) {
    return folder + "/" + name;
}

void RemoveFolder() {
    for (const char* name : {"data.arc", "file.txt"})
        remove(InFolder(name).c_str());
    rmdir(folder.c_str());
}

// Reads a stream to its end; the number of bytes.
size_t Drain(ZEMResFile* stream) {
    std::unique_ptr<ZEMResFile> owned(stream);
    size_t total = 0;
    char buffer[4096];
    while (stream) {
        const unsigned n = stream->Read(buffer, sizeof buffer);
        if (n == 0) break;
        total += n;
    }
    return total;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZEM::SetLogLevel(0);
    folder = MakeScratchFolder("zemfuzz-finder");
    atexit(RemoveFolder);
    FILE* file = fopen(InFolder("file.txt").c_str(), "wb");
    if (!file) abort();
    fputs("a file in the folder", file);
    fclose(file);
    return 0;
}

// The first byte gives the length of the name to look for; the rest is the archive's bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t nameLength = data[0] < size - 1 ? data[0] : size - 1;
    const std::string name(reinterpret_cast<const char*>(data + 1), nameLength);
    const std::string archivePath = InFolder("data.arc");
    FILE* file = fopen(archivePath.c_str(), "wb");
    if (!file) abort();
    const size_t rest = size - 1 - nameLength;
    if (rest && fwrite(data + 1 + nameLength, 1, rest, file) != rest) abort();
    fclose(file);

    ZEMResFinder finder;
    if (!finder.AddSource(folder.c_str(), false)) abort();
    const bool archived = finder.AddSource(archivePath.c_str(), true);
    if (archived != (finder.NbSources() == 2)) abort();
    Drain(finder.FindRes(name.c_str()));
    if (archived) {
        const ZEMArchive* archive = static_cast<const ZEMArchive*>(finder.GetSource(0));
        for (unsigned i = 0; i < archive->NbFiles() && i < 64; ++i) {
            if (Drain(finder.FindRes(archive->FileName(i))) > rest) abort();
        }
        if (!finder.RemoveSource(archivePath.c_str())) abort();
    }
    return 0;
}
