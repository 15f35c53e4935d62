#ifndef ZEM_PLATFORM_ZEMPLATFORM_H
#define ZEM_PLATFORM_ZEMPLATFORM_H

// The one place where paths meet the operating system. Nothing else in the library calls the
// system's file, directory or environment functions directly.

#include <cstdio>
#include <string>

namespace ZEM {
namespace Platform {

// The path as the system takes it: '\' and '/' are both separators.
std::string NativePath(const char* path);

// fopen on the native form of the path; null for a null path.
FILE* OpenFile(const char* path, const char* mode);

} // namespace Platform
} // namespace ZEM

#endif
