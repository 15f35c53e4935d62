#ifndef ZEM_RESOURCE_ZEMRESFINDER_H
#define ZEM_RESOURCE_ZEMRESFINDER_H

#include <zem/core/ZEMExport.h>

#include <string>
#include <vector>

class ZEMFileProvider;
class ZEMResFile;
namespace ZEM {
namespace Platform {
class FolderWatch;
}
} // namespace ZEM

// The ordered list of places where a program's data files are looked for: directories and
// archives, each held as a provider that the finder owns. A name is asked of each source in turn
// and the first that has it wins, so a source added at the front hides the same name behind it.
//
// An archive that another program changed since it was read (members updated, added or removed,
// or a new file renamed over it) is read again before it is asked for a name; one that is gone or
// can no longer be read answers no name until its file changes again.
//
// Threads: a finder is used by one thread at a time, as lookups read changed archives again;
// finders of their own on several threads may look in the same folders and archives while those
// are rewritten. Adding a folder source moves the process's working directory for a moment, which
// other threads would see: add folders before starting threads.
class ZEM_API ZEMResFinder {
public:
    ZEMResFinder();
    ~ZEMResFinder();
    ZEMResFinder(const ZEMResFinder&) = delete;
    ZEMResFinder& operator=(const ZEMResFinder&) = delete;

    // Index of the first source whose Name() is exactly name (a directory's full path, an
    // archive's absolute path) or, for an archive, the absolute path that name stands for;
    // 0xFFFFFFFF when there is none or name is null or empty.
    unsigned FindSource(const char* name) const;
    // Adds the directory or archive at name, at the front of the search order or at its end.
    // True when added or already there; false when the path does not exist, is no archive the
    // library reads, or cannot be opened, with one line in the log that says which.
    bool AddSource(const char* name, bool front);
    // Removes and deletes the source that FindSource(name) finds; false, with a line in the log,
    // when there is none.
    bool RemoveSource(const char* name);
    // Number of sources.
    unsigned NbSources() const { return static_cast<unsigned>(sources.size()); }
    // The source at a search position (0 is asked first); null past the end.
    const ZEMFileProvider* GetSource(unsigned index) const {
        return index < sources.size() ? sources[index] : nullptr;
    }
    // A new stream (owned by the caller) on the file of that name from the first source that
    // has it; null when none has (with a line in the log when an archive among the sources can
    // no longer be read, and why). Names that ZEMArchive::IsSafeName refuses (absolute, with a
    // ".." component, or a device name such as "nul.txt" on Windows) are refused in every source,
    // with a message in the log.
    ZEMResFile* FindRes(const char* name) const;
    // The same, and when found, origin is set to the disk file that holds it: the file in a
    // folder source, or the archive file.
    ZEMResFile* FindRes(const char* name, std::string* origin) const;
    // Writes the sources in search order to the log.
    void PrintInfo() const;

private:
    struct SourceState;
    // Watches the folder of the archive at index, so that lookups need not look at its file.
    void WatchArchive(size_t index);
    // Notes the archives whose folders told of a change to them.
    void TakeChanges() const;
    // Whether the source at index may be asked: an archive file changed since it was read is
    // read again first.
    bool IsCurrent(size_t index) const;

    std::vector<ZEMFileProvider*> sources;
    // Beside each source: whether it is an archive, and what its file was when it was read.
    mutable std::vector<SourceState> states;
    // The folders of the archives, watched; made with the first archive.
    ZEM::Platform::FolderWatch* archiveWatch = nullptr;
};

#endif
