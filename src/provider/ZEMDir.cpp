#include <zem/provider/ZEMDir.h>

#include <zem/core/ZEMLog.h>
#include <zem/provider/ZEMFileUtils.h>
#include <zem/stream/ZEMFile.h>

#include "platform/ZEMPlatform.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace Platform = ZEM::Platform;

namespace {

// name itself when it is absolute, else dir and name joined by one separator.
std::string FullPath(const char* dir, const char* name) {
    if (!dir || ZEMFileUtils::IsAbsolute(name)) return name;
    return Platform::WithSeparator(dir) + name;
}

// The parent of an absolute path; the path itself when it has no separator. A root keeps its
// separator ("/home" gives "/", "C:\games" gives "C:\").
std::string ParentPath(const std::string& path) {
    size_t cut = path.find_last_of("/\\");
    if (cut == std::string::npos) return path;
    if (cut < 3) {
        bool driveRoot = path.size() > 2 && path[1] == ':' && Platform::IsSeparator(path[2]);
        if (driveRoot) {
            cut = 3;
        } else if (Platform::IsSeparator(path[0])) {
            cut = path.size() > 1 && Platform::IsSeparator(path[1]) ? 2 : 1;
        }
    }
    return cut < path.size() ? path.substr(0, cut) : path;
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Puts the process's working directory back when it goes out of scope.
class WorkingDirGuard {
public:
    WorkingDirGuard() : saved_(Platform::GetCurrentDir(dir_)) {}
    ~WorkingDirGuard() {
        if (saved_) Platform::SetCurrentDir(dir_.c_str());
    }
    WorkingDirGuard(const WorkingDirGuard&) = delete;
    WorkingDirGuard& operator=(const WorkingDirGuard&) = delete;

    // False when the working directory could not be read, so could not be put back either.
    bool Saved() const { return saved_; }

private:
    std::string dir_;
    bool saved_;
};

} // namespace

ZEMDir::ZEMDir(const char* path) {
    if (!path || !Open(path)) GoCWD();
}

ZEMDir::~ZEMDir() {
    Clear();
}

bool ZEMDir::IsEmpty() const {
    return nbEntries == 2 && IsFileDir(0) && IsFileDir(1);
}

void ZEMDir::Clear() {
    for (uint32_t i = 0; i < nbEntries; ++i)
        delete[] entries[i].name;
    delete[] entries;
    entries = nullptr;
    nbEntries = 0;
    nbDirs = 0;
}

// One pass over the directory into a scratch list, then an array of exactly its size: the
// listing is a consistent snapshot even while files come and go. Entries are looked up by full
// path, so the working directory does not matter.
bool ZEMDir::GetContent() {
    if (!dirPath.Length()) return false;
    Platform::Search search;
    Platform::FindEntry found;
    const bool listed = search.First(FullPath(dirPath, "*").c_str(), found);
    Clear();
    if (!listed) return false;

    struct Listed {
        std::string name;
        uint32_t mode;
        uint32_t size;
        uint32_t date;
    };
    std::vector<Listed> listing;
    Platform::FileStatus status;
    do {
        if (!Platform::Status(FullPath(dirPath, found.name.c_str()).c_str(), status)) continue;
        uint32_t mode = status.mode & 0xFFFF;
        if (found.attributes & Platform::ATTR_HIDDEN) mode |= MODE_HIDDEN;
        uint32_t size = status.size > UINT32_MAX ? UINT32_MAX : uint32_t(status.size);
        listing.push_back({found.name, mode, size, status.mtime});
    } while (search.Next(found));
    search.Close();
    if (listing.empty()) return true;

    entries = new (std::nothrow) DirEntry[listing.size()];
    if (!entries) return false;
    for (const Listed& item : listing) {
        DirEntry& entry = entries[nbEntries];
        entry.name = ZEMString::StringCopy(item.name.c_str());
        if (!entry.name) break;
        entry.sortIndex = nbEntries;
        entry.mode = item.mode;
        entry.size = item.size;
        entry.date = item.date;
        ++nbEntries;
        if (item.mode & MODE_DIRECTORY) ++nbDirs;
    }
    if (autoSort) Sort(autoSort);
    return true;
}

bool ZEMDir::Open(const char* path) {
    if (!path || !*path) return false;
    if (std::strcmp(path, ".") == 0) {
        if (dirPath.Length()) {
            Update();
        } else {
            GoCWD();
        }
        return true;
    }
    // Entering the directory is what resolves the path; the guard puts the process back.
    WorkingDirGuard guard;
    if (!guard.Saved()) return false;
    if (!ZEMFileUtils::IsAbsolute(path) && dirPath.Length()) Platform::SetCurrentDir(dirPath);
    std::string full;
    if (!Platform::SetCurrentDir(path) || !Platform::GetCurrentDir(full)) return false;
    dirPath = full.c_str();
    return GetContent();
}

void ZEMDir::Update() {
    if (ZEMFileUtils::IsDir(dirPath)) GetContent();
}

void ZEMDir::GoUp() {
    if (!dirPath.Length() || ZEMFileUtils::IsRoot(dirPath)) return;
    Open(ParentPath(std::string(dirPath)).c_str());
}

void ZEMDir::GoRoot() {
    const char* path = dirPath;
    if (!path) return;
    if (IsAsciiLetter(path[0])) {
        const char root[] = {path[0], ':', '\\', 0};
        Open(root);
    } else if (Platform::IsSeparator(path[0])) {
        Open(Platform::IsSeparator(path[1]) ? "//" : "/");
    }
}

void ZEMDir::GoCWD() {
    std::string cwd;
    dirPath = Platform::GetCurrentDir(cwd) ? cwd.c_str() : "";
    GetContent();
}

ZEMResFile* ZEMDir::OpenFile(const char* name) const {
    if (!name || !*name) return nullptr;
    const std::string path = FullPath(dirPath, name);
    ZEMFile* file = new (std::nothrow) ZEMFile(path.c_str(), ZEMResFile::READ);
    if (file && file->IsOK()) return file;
    delete file;
    return nullptr;
}

ZEMResFile* ZEMDir::OpenFile(const iterator& it) const {
    unsigned index = it.Index();
    return index < nbEntries ? OpenFile(entries[index].name) : nullptr;
}

// The file utilities' copy opens the target without truncating it and refuses when it is the
// source itself under any name, which a plain open for writing would have emptied first.
bool ZEMDir::CopyFile(const char* name, const char* destPath) const {
    if (!name || !*name || !destPath || !*destPath) return false;
    return ZEMFileUtils::FileCopy(FullPath(dirPath, name).c_str(),
                                  FullPath(dirPath, destPath).c_str(), true);
}

int ZEMDir::CompareFunc(const ZEMSortableItem* a, const ZEMSortableItem* b) const {
    const DirEntry* x = static_cast<const DirEntry*>(a);
    const DirEntry* y = static_cast<const DirEntry*>(b);
    if (sortDirsFirst) {
        bool xDir = (x->mode & MODE_DIRECTORY) != 0;
        bool yDir = (y->mode & MODE_DIRECTORY) != 0;
        if (xDir != yDir) return xDir ? -1 : 1;
    }
    return CompareFields(x->name, x->size, x->date, y->name, y->size, y->date);
}

void ZEMDir::PrintInfo() const {
    ZEM::LOG("Path: %s\nTotal entries : %d  (%d subdirs)\n", Name() ? Name() : "", int(nbEntries),
             int(nbDirs));
    for (uint32_t i = 0; i < nbEntries; ++i) {
        const DirEntry& entry = entries[i];
        ZEM::LOG("  %-40s   %6d bytes   date=%10d   R(%3d)\n", entry.name, int(entry.size),
                 int(entry.date), int(entry.sortIndex));
    }
    ZEM::LOG("\n");
}
