#ifndef ZEM_FUZZ_FUZZARCHIVE_H
#define ZEM_FUZZ_FUZZARCHIVE_H

// Shared body of the archive fuzz targets: arbitrary bytes as an archive file, read member by
// member, then edited; every edit that succeeds must leave an archive that opens again with the
// directory the object holds.

#include <zem/core/ZEMLog.h>
#include <zem/provider/ZEMArchive.h>
#include <zem/stream/ZEMResFile.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

namespace fuzzarch {

inline char* ScratchFolder() {
    static char folder[] = "/tmp/zemfuzz-XXXXXX";
    return folder;
}

inline void RemoveScratchFolder() {
    for (const char* name : {"fuzz.arc", "source", "extracted", "ZEMARCH.TMP"})
        remove(name);
    if (chdir("/") == 0) rmdir(ScratchFolder());
}

// Works in a private folder: the rebuilds write their temporary file into the working directory.
inline void EnterScratchFolder() {
    ZEM::SetLogLevel(0);
    if (!mkdtemp(ScratchFolder()) || chdir(ScratchFolder()) != 0) abort();
    atexit(RemoveScratchFolder);
    FILE* source = fopen("source", "wb");
    if (!source) abort();
    fputs("added by the fuzzer", source);
    fclose(source);
}

inline void WriteBytes(const char* path, const uint8_t* data, size_t size) {
    FILE* file = fopen(path, "wb");
    if (!file) abort();
    if (size) fwrite(data, 1, size, file);
    fclose(file);
}

inline void ReadMembers(const ZEMArchive& archive) {
    char buffer[4096];
    for (unsigned i = 0; i < archive.NbFiles() && i < 64; ++i) {
        std::unique_ptr<ZEMResFile> stream(archive.OpenResFile(i));
        if (stream) {
            while (stream->Read(buffer, sizeof buffer) == sizeof buffer) {
            }
        }
        if (archive.FindFile(archive.FileName(i)) > i) abort();
    }
}

template <class Archive>
void CheckReopens(const Archive& archive) {
    Archive again;
    if (!again.Open("fuzz.arc") || again.NbFiles() != archive.NbFiles()) abort();
    for (unsigned i = 0; i < archive.NbFiles(); ++i) {
        if (strcmp(again.FileName(i), archive.FileName(i)) != 0 ||
            again.FileSize(i) != archive.FileSize(i)) {
            abort();
        }
    }
}

template <class Archive>
int Run(const uint8_t* data, size_t size) {
    WriteBytes("fuzz.arc", data, size);
    Archive archive;
    if (!archive.Open("fuzz.arc")) return 0;
    ReadMembers(archive);
    archive.Sort(size ? data[size - 1] : 0);
    archive.TotalSize();
    archive.ExtractFile(0, "extracted");
    if (archive.RenameFile(0, "renamed")) CheckReopens(archive);
    if (archive.AddFile("source", nullptr) != 0xFFFFFFFFu) CheckReopens(archive);
    if (archive.RemoveFile(0)) CheckReopens(archive);
    if (archive.UpdateFile(0, "source")) CheckReopens(archive);
    ReadMembers(archive);
    return 0;
}

} // namespace fuzzarch

#endif
