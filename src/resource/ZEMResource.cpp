#include <zem/resource/ZEMResource.h>

#include <zem/core/ZEMLog.h>
#include <zem/stream/ZEMFile.h>

#include "platform/ZEMPlatform.h"

#include <cerrno>
#include <cstdio>
#include <string>

namespace {

// Names tried for the temporary file beside the target, past files that already bear one.
constexpr int TEMP_ATTEMPTS = 16;

} // namespace

ZEMResource::~ZEMResource() = default;

bool ZEMResource::LoadName(const char* name, int format) {
    ZEMFile file(name, ZEMResFile::READ);
    if (name && *name && !file.IsOK()) {
        ZEM::LOG("File: cannot read '%s': %s\n", name, ZEM::Platform::ErrorText(errno).c_str());
    }
    return Load(file, format); // a Load of a stream that is not open fails on its own
}

bool ZEMResource::SaveName(const char* name, int format) {
    if (!name || !*name) return false;
    // A file that may not be written refuses the save, as it would if it were written in place.
    if (ZEM::Platform::Attributes(name) != ZEM::Platform::ATTR_INVALID) {
        ZEMFile probe(name, ZEMResFile::WRITE | ZEMResFile::APPEND);
        if (!probe.IsOK()) return false;
    }
    // The object is written to a fresh file beside the target, whose bytes are copied over the
    // target only once the whole save has worked (the seek to the end writes out what is still
    // buffered): a refused or failed save leaves the old file as it was. The copy writes into the
    // target itself, which keeps its permissions, owner and links as a save in place would.
    for (int attempt = 0; attempt < TEMP_ATTEMPTS; ++attempt) {
        std::string temp = std::string(name) + ".zemtmp" + std::to_string(attempt);
        ZEMFile file(temp.c_str(), ZEMResFile::READ | ZEMResFile::WRITE | ZEMResFile::TRUNCATE |
                                       ZEMResFile::CREATE);
        if (!file.IsOK()) continue; // taken by another file: try the next name
        bool saved = Save(file, format) && file.IsOK() && file.Seek(0, SEEK_END);
        file.Close();
        saved = saved && ZEM::Platform::CopyRegularFile(temp.c_str(), name, false);
        ZEM::Platform::RemoveFile(temp.c_str());
        return saved;
    }
    return false;
}
