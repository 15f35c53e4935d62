#ifndef ZEM_PROVIDER_ZEMFILEPROVIDER_H
#define ZEM_PROVIDER_ZEMFILEPROVIDER_H

#include <zem/core/ZEMExport.h>
#include <zem/provider/ZEMSortableItem.h>

#include <cstdint>

class ZEMResFile;

// <windows.h> renames CopyFile to CopyFileA or CopyFileW wherever it is seen: the name is declared
// out of its reach, the program keeps its macro, and the A and W names take a program's calls
// that the macro renamed. A provider that overrides CopyFile where <windows.h> is seen declares
// it between the same pragmas.
#pragma push_macro("CopyFile")
#undef CopyFile

// A place from which files can be listed and opened as streams: an archive or a directory.
// Items are addressed by storage index (0 to NbFiles() - 1); sorting never moves them but writes a
// permutation into their sortIndex fields: the k-th item in sorted order is the item at storage
// index GetItem(k)->sortIndex.
class ZEM_API ZEMFileProvider {
public:
    // Sort modes: a key in the low three bits plus option bits.
    enum SortMode {
        SORT_NONE = 0,          // reset the permutation to storage order
        SORT_NAME = 1,          // by name
        SORT_SIZE = 2,          // by size, then by name
        SORT_DATE = 3,          // by date, then by name
        SORT_EXT = 4,           // by extension, then by name
        SORT_DESCENDING = 0x10, // the whole order reversed (not the directory grouping)
        SORT_CASE = 0x20,       // names and extensions compared case-sensitively
        SORT_DIRS_FIRST = 0x40, // directories before everything else (directory providers only)
    };

    // A cursor designating one file of a listing by its storage index.
    class ZEM_API iterator {
    public:
        // Designates the file at storage index index.
        explicit iterator(unsigned index = 0) : index_(index) {}
        virtual ~iterator() = default;

        // Storage index of the designated file.
        virtual unsigned Index() const { return index_; }
        // Moves to the next storage index.
        iterator& operator++() {
            ++index_;
            return *this;
        }
        // Whether both designate the same storage index.
        bool operator==(const iterator& other) const { return Index() == other.Index(); }
        // Whether they designate different storage indexes.
        bool operator!=(const iterator& other) const { return Index() != other.Index(); }

    protected:
        unsigned index_; // storage index of the designated file
    };

    ZEMFileProvider() = default;
    virtual ~ZEMFileProvider() = default;

    // Opens the directory or archive at path, replacing what was open; true on success.
    virtual bool Open(const char* path) = 0;
    // Path of what is open; null when nothing is.
    virtual const char* Name() const = 0;
    // Number of items.
    virtual unsigned NbFiles() const = 0;
    // Brings the listing up to date with the disk; nothing by default.
    virtual void Update() {}
    // A new stream on the file of that name (owned by the caller); null when there is none.
    virtual ZEMResFile* OpenFile(const char* name) const = 0;
    // A new stream on the item at it.Index(); null when the index is out of range.
    virtual ZEMResFile* OpenFile(const iterator& it) const = 0;
    // Sorts the listing by mode (SortMode bits); see the class comment.
    virtual void Sort(int mode);
    // Copies the file of that name to the disk file destPath; true when all of it was copied.
    virtual bool CopyFile(const char* name, const char* destPath) const = 0;
    // CopyFile under the names <windows.h> gives it.
    bool CopyFileA(const char* name, const char* destPath) const {
        return CopyFile(name, destPath);
    }
    bool CopyFileW(const char* name, const char* destPath) const {
        return CopyFile(name, destPath);
    }
    // Dumps the provider and its items to the log.
    virtual void PrintInfo() const = 0;

    // Per-item queries by storage index; the index is not checked.
    virtual const char* FileName(unsigned index) const = 0;
    virtual unsigned FileSize(unsigned index) const = 0;
    // Seconds since 1970-01-01 00:00 UTC.
    virtual unsigned long FileDate(unsigned index) const = 0;
    // True when every bit of mask is set in the item's mode bits.
    virtual bool FileAccess(unsigned index, unsigned mask) const = 0;
    // Whether the item is hidden, a regular file, a symbolic link, a directory.
    virtual bool IsFileHidden(unsigned index) const = 0;
    virtual bool IsFile(unsigned index) const = 0;
    virtual bool IsFileLink(unsigned index) const = 0;
    virtual bool IsFileDir(unsigned index) const = 0;
    // Negative when a sorts before b under the current sort state, positive when after.
    virtual int CompareFunc(const ZEMSortableItem* a, const ZEMSortableItem* b) const = 0;
    // The item at a storage index.
    virtual ZEMSortableItem* GetItem(unsigned index) const = 0;

protected:
    // The comparison rule every provider shares once directory grouping is settled: the sort key,
    // then the names, the result negated when descending.
    int CompareFields(const char* nameA, uint32_t sizeA, uint32_t dateA, const char* nameB,
                      uint32_t sizeB, uint32_t dateB) const;

    // Sort state, kept from one sort to the next.
    uint8_t sortKey = 0;
    bool sortDirsFirst = false;
    bool sortDescending = false;
    bool sortCaseSensitive = false;

private:
    // Quicksort of the sorted positions lo to hi (inclusive) of the permutation.
    void Sort(int lo, int hi);
};
#pragma pop_macro("CopyFile")

#endif
