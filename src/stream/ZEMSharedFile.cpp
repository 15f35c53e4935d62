#include "stream/ZEMSharedFile.h"

#include "platform/ZEMPlatform.h"

#include <new>

namespace ZEM {
namespace Stream {

namespace {

// Length of the file, at most what 32-bit offsets can address; 0 when it cannot be told.
uint32_t MeasureLength(FILE* file) {
    if (fseek(file, 0, SEEK_END) != 0) return 0;
    const long length = ftell(file);
    if (length < 0) return 0;
    return uint64_t(length) > UINT32_MAX ? UINT32_MAX : uint32_t(length);
}

} // namespace

SharedFile* SharedFile::Open(const char* path, const char* runtimeMode) {
    FILE* handle = ZEM::Platform::OpenFile(path, runtimeMode);
    if (!handle) return nullptr;
    SharedFile* file = new (std::nothrow) SharedFile(handle, MeasureLength(handle));
    if (!file) fclose(handle);
    return file;
}

void SharedFile::Release() {
    if (users.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

SharedFile::~SharedFile() {
    fclose(handle);
}

} // namespace Stream
} // namespace ZEM
