#include "stream/ZEMSharedFile.h"

#include "platform/ZEMPlatform.h"

#include <new>

namespace ZEM {
namespace Stream {

namespace {

// Length of the file, at most what 32-bit offsets can address; 0 when it cannot be told.
uint32_t MeasureLength(FILE* file) {
    uint64_t length = 0;
    if (!ZEM::Platform::StreamSize(file, length)) return 0;
    return length > UINT32_MAX ? UINT32_MAX : uint32_t(length);
}

} // namespace

SharedFile* SharedFile::Open(const char* path, const char* runtimeMode) {
    return Adopt(ZEM::Platform::OpenFile(path, runtimeMode));
}

SharedFile* SharedFile::Adopt(FILE* handle) {
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
