#include <zem/resource/ZEMResource.h>

#include <zem/core/ZEMLog.h>
#include <zem/stream/ZEMFile.h>
#include <zem/stream/ZEMSaveFile.h>

#include "platform/ZEMPlatform.h"

#include <cerrno>

ZEMResource::~ZEMResource() = default;

bool ZEMResource::LoadName(const char* name, int format) {
    ZEMFile file(name, ZEMResFile::READ);
    if (name && *name && !file.IsOK()) {
        ZEM::LOG("File: cannot read '%s': %s\n", name, ZEM::Platform::ErrorText(errno).c_str());
    }
    return Load(file, format); // a Load of a stream that is not open fails on its own
}

bool ZEMResource::SaveName(const char* name, int format) {
    // Written aside and put in place whole: a failed save leaves the old file as it was.
    ZEMSaveFile file(name, true);
    return Save(file, format) && file.Commit();
}
