#include <zem/resource/ZEMResource.h>

#include <zem/stream/ZEMFile.h>
#include <zem/stream/ZEMSaveFile.h>

ZEMResource::~ZEMResource() = default;

bool ZEMResource::LoadName(const char* name, int format) {
    ZEMFile file(name, ZEMResFile::READ);
    return Load(file, format);
}

bool ZEMResource::SaveName(const char* name, int format) {
    // Written aside and put in place whole: a failed save leaves the old file as it was.
    ZEMSaveFile file(name, true);
    return Save(file, format) && file.Commit();
}
