#include "platform/ZEMPlatform.h"

namespace ZEM {
namespace Platform {

std::string NativePath(const char* path) {
    std::string native = path ? path : "";
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    return native;
}

FILE* OpenFile(const char* path, const char* mode) {
    if (!path || !mode) return nullptr;
    return fopen(NativePath(path).c_str(), mode);
}

} // namespace Platform
} // namespace ZEM
