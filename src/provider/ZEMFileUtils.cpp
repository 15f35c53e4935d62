#include <zem/provider/ZEMFileUtils.h>

#include <zem/stream/ZEMResFile.h>
#include <zem/text/ZEMText.h>

#include "platform/ZEMPlatform.h"

#include <cstring>
#include <new>
#include <string>

namespace {

using namespace ZEM::Platform;

// The platform's path limit, terminator included.
constexpr size_t PATH_BUFFER = 260;
// Size of the user folder caches. Their second byte is UNASKED until a lookup has been made, and
// FAILED once a lookup found no value, so that it is not asked again.
constexpr size_t FOLDER_BUFFER = 264;
constexpr char UNASKED = 12;
constexpr char FAILED = 13;

constexpr unsigned COPY_CHUNK = 4000;
constexpr unsigned FIRST_LIST_SIZE = 32;

bool IsSet(const char* s) {
    return s && *s;
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDot(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// A new array holding text; null when out of memory.
char* NewCopy(const std::string& text) {
    char* copy = new (std::nothrow) char[text.size() + 1];
    if (copy) memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

unsigned ExistingAttributes(const char* path) {
    return IsSet(path) ? Attributes(path) : ATTR_INVALID;
}

const char* CachedFolder(char* buffer, UserFolder folder) {
    if (buffer[1] != UNASKED) return buffer;
    std::string path;
    FolderLookup found = FindUserFolder(folder, path);
    if (found == FolderLookup::UNAVAILABLE) return buffer;
    // A folder path that the buffer cannot hold is refused like a missing value.
    if (found == FolderLookup::FOUND && path.size() < PATH_BUFFER) {
        memcpy(buffer, path.c_str(), path.size() + 1);
    } else {
        buffer[0] = 0;
        buffer[1] = FAILED;
    }
    return buffer;
}

bool Keep(const FindEntry& entry, unsigned flags) {
    if ((flags & ZEMFileUtils::FL_NOHIDDEN) && (entry.attributes & ATTR_HIDDEN)) return false;
    if (entry.attributes & ATTR_DIRECTORY) {
        if (flags & ZEMFileUtils::FL_NODIRS) return false;
        return !((flags & ZEMFileUtils::FL_NODOTS) && IsDot(entry.name.c_str()));
    }
    return !(flags & ZEMFileUtils::FL_NOFILES);
}

// Appends a copy of name to list, doubling its room from FIRST_LIST_SIZE when it is full.
bool AppendName(char**& list, unsigned& count, unsigned& room, const std::string& name) {
    if (count == room) {
        unsigned newRoom = room ? room * 2 : FIRST_LIST_SIZE;
        if (newRoom < room) return false;
        char** grown = new (std::nothrow) char*[newRoom];
        if (!grown) return false;
        for (unsigned i = 0; i < count; ++i) {
            grown[i] = list[i];
        }
        delete[] list;
        list = grown;
        room = newRoom;
    }
    char* copy = NewCopy(name);
    if (!copy) return false;
    list[count++] = copy;
    return true;
}

} // namespace

bool ZEMFileUtils::FileExist(const char* path) {
    return ExistingAttributes(path) != ATTR_INVALID;
}

bool ZEMFileUtils::IsDir(const char* path) {
    unsigned attributes = ExistingAttributes(path);
    return attributes != ATTR_INVALID && (attributes & ATTR_DIRECTORY);
}

bool ZEMFileUtils::IsHidden(const char* path) {
    unsigned attributes = ExistingAttributes(path);
    return attributes != ATTR_INVALID && (attributes & ATTR_HIDDEN);
}

unsigned ZEMFileUtils::FileSize(const char* path) {
    FileStatus status;
    if (!Status(path, status) || status.size > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    return unsigned(status.size);
}

bool ZEMFileUtils::FileRemove(const char* path) {
    return RemoveFile(path);
}

bool ZEMFileUtils::FileRename(const char* from, const char* to, bool overwrite) {
    if (MovePath(from, to)) return true;
    if (!overwrite) return false;
    // Only an existing file is replaced, and in one step: a failed move never costs the target.
    unsigned target = ExistingAttributes(to);
    if (target == ATTR_INVALID || (target & ATTR_DIRECTORY)) return false;
    return MoveReplace(from, to);
}

bool ZEMFileUtils::FileCopy(const char* from, const char* to, bool overwrite) {
    return CopyRegularFile(from, to, !overwrite);
}

unsigned ZEMFileUtils::CopyData(ZEMResFile* src, ZEMResFile* dst, unsigned size) {
    if (!src || !dst) return 0;
    char buffer[COPY_CHUNK];
    unsigned total = 0;
    while (size != 0) {
        unsigned got = src->Read(buffer, size < COPY_CHUNK ? size : COPY_CHUNK);
        if (got == 0) break;
        total += dst->Write(buffer, got);
        size -= got;
    }
    return total;
}

unsigned ZEMFileUtils::GetFileList(char**& list, const char* dir, const char* pattern,
                                   unsigned flags) {
    list = nullptr;
    if (!IsSet(dir) || !IsSet(pattern)) return 0;
    const std::string searchPath = WithSeparator(dir) + pattern;
    if (searchPath.size() >= PATH_BUFFER) return 0;

    Search search;
    FindEntry entry;
    unsigned count = 0, room = 0;
    for (bool found = search.First(searchPath.c_str(), entry); found; found = search.Next(entry)) {
        if (!Keep(entry, flags)) continue;
        if (!AppendName(list, count, room, entry.name)) {
            FreeFileList(list, count);
            return 0;
        }
    }
    return count;
}

void ZEMFileUtils::FreeFileList(char**& list, unsigned count) {
    if (!list) return;
    for (unsigned i = 0; i < count; ++i) {
        delete[] list[i];
    }
    delete[] list;
    list = nullptr;
}

bool ZEMFileUtils::IsRoot(const char* path) {
    if (!IsSet(path)) return false;
    if (path[1] == ':' && path[2] == '\\' && path[3] == 0) return true;
    if (path[0] == '/' && path[1] == 0) return true;
    return path[0] == '\\' && path[1] == '\\' && path[2] == 0;
}

bool ZEMFileUtils::IsAbsolute(const char* path) {
    if (!path) return false;
    if (IsAsciiLetter(path[0])) return path[1] == ':' && path[2] == '\\';
    return path[0] == '/' || path[0] == '\\';
}

bool ZEMFileUtils::IsRelative(const char* path) {
    return !IsAbsolute(path);
}

bool ZEMFileUtils::GetCWD(char* buffer, unsigned size) {
    if (!buffer || size == 0) return false;
    buffer[0] = 0;
    std::string dir;
    if (!GetCurrentDir(dir) || dir.size() >= size) return false;
    memcpy(buffer, dir.c_str(), dir.size() + 1);
    return true;
}

char* ZEMFileUtils::GetCWD() {
    std::string dir;
    if (!GetCurrentDir(dir) || dir.size() >= PATH_BUFFER) dir.clear();
    return NewCopy(dir);
}

bool ZEMFileUtils::SetCWD(const char* path) {
    return SetCurrentDir(path);
}

char* ZEMFileUtils::GetExeDir() {
    std::string path;
    if (!ExecutablePath(path) || path.size() >= PATH_BUFFER) return nullptr;
    size_t end = path.size();
    while (end > 1 && !IsSeparator(path[end - 1]))
        --end;
    if (end > 1) return NewCopy(path.substr(0, end - 1));
    // The program lies in the root directory.
    return NewCopy(IsSeparator(path[0]) ? std::string(1, SEPARATOR) : std::string());
}

const char* ZEMFileUtils::GetUserDocDir() {
    static char buffer[FOLDER_BUFFER] = {0, UNASKED};
    return CachedFolder(buffer, UserFolder::DOCUMENTS);
}

const char* ZEMFileUtils::GetUserAppDir() {
    static char buffer[FOLDER_BUFFER] = {0, UNASKED};
    return CachedFolder(buffer, UserFolder::APP_DATA);
}

ZEMText* ZEMFileUtils::GetCDROMDirs() {
    ZEMText* dirs = new (std::nothrow) ZEMText(3);
    if (!dirs) return nullptr;
    unsigned index = 0;
    for (const std::string& mount : OpticalMounts()) {
        dirs->SetString(index++, mount.c_str());
    }
    return dirs;
}

bool ZEMFileUtils::DirCreate(const char* path) {
    return MakeDirectory(path);
}

const char* ZEMFileUtils::FileName(const char* path) {
    if (!path) return nullptr;
    const char* end = path + strlen(path);
    while (end > path && !IsSeparator(end[-1]))
        --end;
    return end;
}

const char* ZEMFileUtils::FileExtension(const char* path) {
    if (!path) return nullptr;
    if (*path == 0) return path;
    if (IsDot(path)) return nullptr;
    const char* dot = strrchr(path, '.');
    return (dot && dot != path) ? dot + 1 : nullptr;
}

unsigned ZEMFileUtils::DrivesList() {
    return DriveMask();
}

unsigned ZEMFileUtils::DriveType(const char* path) {
    return DriveTypeOf(path);
}
