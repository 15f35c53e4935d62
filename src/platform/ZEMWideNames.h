#ifndef ZEM_PLATFORM_ZEMWIDENAMES_H
#define ZEM_PLATFORM_ZEMWIDENAMES_H

// Names between the library (bytes, UTF-8) and the Windows wide calls. Header-only, so that the
// zem tool, which reaches no internal symbol of the DLL, converts names exactly as the library.

#include <windows.h>

#include <string>

namespace ZEM {
namespace Platform {

// The library's names are bytes, taken as UTF-8 and given to the wide calls, so that any name the
// file system holds can be reached whatever the ANSI code page. Bytes that are not UTF-8 (names
// from older archives) are read in the ANSI code page, as the ANSI calls did.
inline std::wstring Wide(const std::string& name) {
    if (name.empty()) return std::wstring();
    const int length = int(name.size());
    UINT page = CP_UTF8;
    int n = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, name.data(), length, nullptr, 0);
    if (n <= 0) {
        page = CP_ACP;
        n = MultiByteToWideChar(page, 0, name.data(), length, nullptr, 0);
    }
    std::wstring wide(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(page, 0, name.data(), length, &wide[0], n);
    return wide;
}

// A name the system gives, as UTF-8.
inline std::string Utf8(const WCHAR* name, size_t length) {
    if (length == 0) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, name, int(length), nullptr, 0, nullptr, nullptr);
    std::string narrow(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, name, int(length), &narrow[0], n, nullptr, nullptr);
    return narrow;
}

} // namespace Platform
} // namespace ZEM

#endif
