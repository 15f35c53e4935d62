#ifndef ZEM_FUZZ_FUZZARCHIVE_H
#define ZEM_FUZZ_FUZZARCHIVE_H

// Shared body of the archive fuzz targets: arbitrary bytes as an archive file, read member by
// member, then edited. A model follows every edit that succeeds; after each edit the object and
// the file opened anew must hold exactly the model's members, byte for byte.

#include <zem/core/ZEMLog.h>
#include <zem/provider/ZEMArchive.h>
#include <zem/stream/ZEMResFile.h>

#include "FuzzScratch.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fuzzarch {

// What the file "source" holds.
constexpr const char* SOURCE = "added by the fuzzer";

inline std::string& ScratchFolder() {
    static std::string folder;
    return folder;
}

inline void RemoveScratchFolder() {
    for (const char* name : {"fuzz.arc", "source", "extracted"})
        remove(name);
    if (chdir("/") == 0) rmdir(ScratchFolder().c_str());
}

// Works in a private folder, where the rebuilds write their temporary files beside the archive.
inline void EnterScratchFolder() {
    ZEM::SetLogLevel(0);
    ScratchFolder() = MakeScratchFolder("zemfuzz");
    if (chdir(ScratchFolder().c_str()) != 0) abort();
    atexit(RemoveScratchFolder);
    FILE* source = fopen("source", "wb");
    if (!source) abort();
    fputs(SOURCE, source);
    fclose(source);
}

inline void WriteBytes(const char* path, const uint8_t* data, size_t size) {
    FILE* file = fopen(path, "wb");
    if (!file) abort();
    if (size) fwrite(data, 1, size, file);
    fclose(file);
}

// The members as the archive hands them out: name and bytes, in storage order.
using Model = std::vector<std::pair<std::string, std::string>>;

inline std::string MemberBytes(const ZEMArchive& archive, unsigned index) {
    std::string bytes;
    std::unique_ptr<ZEMResFile> stream(archive.OpenResFile(index));
    char buffer[4096];
    while (stream) {
        unsigned got = stream->Read(buffer, sizeof buffer);
        if (got == 0) break;
        bytes.append(buffer, got);
    }
    return bytes;
}

inline Model Read(const ZEMArchive& archive) {
    Model model;
    for (unsigned i = 0; i < archive.NbFiles(); ++i) {
        // Opening marked every member that does not lie inside the file: the others read whole.
        model.emplace_back(archive.FileName(i), MemberBytes(archive, i));
        if (archive.Damage(i).empty() && model.back().second.size() != archive.FileSize(i)) abort();
        if (archive.FindFile(archive.FileName(i)) > i) abort();
    }
    return model;
}

// The archive object and the file, opened anew, both hold exactly the members of the model.
template <class Archive>
void Check(const Archive& archive, const Model& model) {
    Archive again;
    if (!again.Open("fuzz.arc")) abort();
    if (Read(archive) != model || Read(again) != model) abort();
}

template <class Archive>
int Run(const uint8_t* data, size_t size) {
    WriteBytes("fuzz.arc", data, size);
    Archive archive;
    if (!archive.Open("fuzz.arc")) return 0;
    Model model = Read(archive);
    archive.Sort(size ? data[size - 1] : 0);
    archive.TotalSize();
    archive.ExtractFile(0, "extracted");
    if (archive.RenameFile(0, "renamed")) model[0].first = "renamed";
    Check(archive, model);
    if (archive.AddFile("source", nullptr) != 0xFFFFFFFFu) model.emplace_back("source", SOURCE);
    Check(archive, model);
    if (archive.RemoveFile(0)) model.erase(model.begin());
    Check(archive, model);
    if (archive.UpdateFile(0, "source")) model[0].second = SOURCE;
    Check(archive, model);
    return 0;
}

} // namespace fuzzarch

#endif
