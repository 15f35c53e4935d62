#ifndef ZEM_PROVIDER_ZEMDIR_H
#define ZEM_PROVIDER_ZEMDIR_H

#include <zem/core/ZEMExport.h>
#include <zem/core/ZEMString.h>
#include <zem/provider/ZEMFileProvider.h>

#include <cstdint>

// CopyFile is declared out of the reach of the macro of <windows.h>, as in ZEMFileProvider.h.
#pragma push_macro("CopyFile")
#undef CopyFile

// A directory on disk as a provider: its full path and a snapshot listing of its entries ("." and
// ".." included), files opened relative to it. Open enters the directory to learn its full path,
// so it changes the process's working directory for its duration, and always puts it back.
class ZEM_API ZEMDir : public ZEMFileProvider {
public:
    // One entry of the listing.
    struct DirEntry : ZEMSortableItem {
        char* name = nullptr; // bare name, owned
        uint32_t mode = 0;    // file status mode bits (MODE_DIRECTORY, MODE_FILE, access bits)
                              // plus MODE_HIDDEN
        uint32_t size = 0;    // bytes
        uint32_t date = 0;    // modification time, seconds since 1970-01-01 00:00 UTC
    };

    // Bits of DirEntry::mode.
    static constexpr uint32_t MODE_DIRECTORY = 0x4000;
    static constexpr uint32_t MODE_FILE = 0x8000;
    static constexpr uint32_t MODE_HIDDEN = 0x10000;

    // Opens path; with a null path, or when it cannot be opened, lists the working directory.
    explicit ZEMDir(const char* path = nullptr);
    ~ZEMDir() override;
    ZEMDir(const ZEMDir&) = delete;
    ZEMDir& operator=(const ZEMDir&) = delete;

    // True when the listing is only "." and "..".
    bool IsEmpty() const;
    // Drops the listing; the path stays.
    void Clear();
    // Lists the directory at the current path; false when it cannot be searched (the listing is
    // then empty).
    bool GetContent();
    // Enters path (relative paths start from this directory) and lists it; false leaves path and
    // listing as they were. "." lists the current directory again.
    bool Open(const char* path) override;
    // Lists the current directory again.
    void Update() override;
    // Moves to the parent directory; nothing at a root.
    void GoUp();
    // Moves to the root of the current path.
    void GoRoot();
    // Moves to the process's working directory.
    void GoCWD();

    // Full path of the directory as the system reports it; null before the first listing.
    const char* Name() const override { return dirPath; }
    unsigned NbFiles() const override { return nbEntries; }
    // Number of directories in the listing.
    unsigned NbDirs() const { return nbDirs; }
    // Opens a file of this directory (or an absolute path); the file need not be listed.
    // Directories are refused.
    ZEMResFile* OpenFile(const char* name) const override;
    ZEMResFile* OpenFile(const iterator& it) const override;
    // Copies a file of this directory to destPath (a relative one lands in this directory too);
    // a copy of a file onto itself is refused.
    bool CopyFile(const char* name, const char* destPath) const override;
    void PrintInfo() const override;

    const char* FileName(unsigned index) const override { return entries[index].name; }
    unsigned FileSize(unsigned index) const override { return entries[index].size; }
    unsigned long FileDate(unsigned index) const override { return entries[index].date; }
    bool FileAccess(unsigned index, unsigned mask) const override {
        return (entries[index].mode & mask) == mask;
    }
    bool IsFileHidden(unsigned index) const override {
        return (entries[index].mode & MODE_HIDDEN) != 0;
    }
    bool IsFile(unsigned index) const override { return (entries[index].mode & MODE_FILE) != 0; }
    bool IsFileLink(unsigned) const override { return false; }
    bool IsFileDir(unsigned index) const override {
        return (entries[index].mode & MODE_DIRECTORY) != 0;
    }
    int CompareFunc(const ZEMSortableItem* a, const ZEMSortableItem* b) const override;
    ZEMSortableItem* GetItem(unsigned index) const override { return &entries[index]; }

    // Sort mode applied to every new listing; 0 leaves listings in the system's order.
    int autoSort = 0;

private:
    DirEntry* entries = nullptr;
    uint32_t nbEntries = 0;
    uint32_t nbDirs = 0;
    ZEMString dirPath;
};
#pragma pop_macro("CopyFile")

#endif
