#include "platform/ZEMPlatform.h"
#include "platform/ZEMFaultInjection.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

// The parts of the platform layer that are the same on every system.

namespace ZEM {
namespace Platform {

namespace {

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

} // namespace

bool IsHiddenName(const char* name) {
    if (!name) return false;
    size_t end = strlen(name);
    while (end > 0 && IsSeparator(name[end - 1]))
        --end;
    size_t start = end;
    while (start > 0 && !IsSeparator(name[start - 1]))
        --start;
    size_t length = end - start;
    if (length == 0 || name[start] != '.') return false;
    return !(length == 1 || (length == 2 && name[start + 1] == '.'));
}

bool MatchPattern(const char* pattern, const char* name) {
    if (!pattern || !name) return false;
    if (strcmp(pattern, "*.*") == 0) return true;
    // Greedy match with one backtrack point: the last '*' seen.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || (*pattern && LowerAscii(*pattern) == LowerAscii(*name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == 0;
}

long TempOwner(const char* name) {
    long pid = 0;
    unsigned long long stamp = 0;
    unsigned counter = 0;
    int length = 0;
    if (!name || sscanf(name, ".zem-%ld-%llx-%u.tmp%n", &pid, &stamp, &counter, &length) != 3) {
        return 0;
    }
    return name[length] == '\0' ? pid : 0;
}

// ---- File ----

File::~File() {
    Close();
}

bool File::Fail() {
    error_ = errno;
    return false;
}

bool File::ReadAt(uint64_t offset, void* buffer, size_t size) {
    if (ReadSome(offset, buffer, size) == size) return true;
    if (error_ == 0) error_ = EIO;
    return false;
}

bool File::WriteAt(uint64_t offset, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    switch (NextWrite(offset, size)) {
    case Fault::NONE:
        return WriteAll(offset, bytes, size) || Fail();
    case Fault::FAIL:
        error_ = ENOSPC;
        return false;
    case Fault::TORN:
        WriteAll(offset, bytes, TornSize(size));
        break;
    case Fault::KILL:
        break;
    }
    Die();
}

} // namespace Platform
} // namespace ZEM
