#ifndef ZEM_RESOURCE_ZEMRESMGR_H
#define ZEM_RESOURCE_ZEMRESMGR_H

#include <zem/core/ZEMExport.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class ZEMResFile;
class ZEMResFinder;
class ZEMResource;
class ZEMResWatcher;

// Loads named resources through loaders chosen by a type number, caches each under its name with
// a count of its users, hands the same object to every later request of that name, reloads
// resources in place and deletes one when its last user releases it. Files are found through one
// resource finder, which must outlive the manager.
//
// Names are taken in one form: '\\' and '/' both separate folders, so "sub\\a.gpl" and "sub/a.gpl"
// are one resource, cached, listed and asked of the finder as "sub/a.gpl". Case is kept.
//
// With watching turned on, the manager watches the files of its resources (through their
// folders) and PollChanges, called from the program's loop, reloads in place those that changed.
// A file of the same name that appears in a folder searched before a resource's file (a mod
// folder added at the front) is a change too: the resource is read from it, and read from the
// old file again when it goes.
//
// Threads: a manager and its finder are used by one thread at a time; each thread may have its
// own pair over the same files.
class ZEM_API ZEMResMgr {
public:
    // Type numbers of the default loaders; a host's first loader gets 4.
    enum ResType { RES_IMAGE = 0, RES_PALETTE = 1, RES_FONT = 2, RES_TEXT = 3 };

    // Builds a resource from the stream the finder opened on name, handing format on to its Load.
    // Sets keepFile: true when the resource keeps the stream and deletes it itself, false when
    // the manager is to delete it. Returns a new object, or null when the stream cannot be read.
    using ResLoader = ZEMResource* (*)(ZEMResFile* file, const char* name, int format,
                                       bool& keepFile);

    // One cached resource.
    struct ResEntry {
        uint32_t type;         // the type number it was loaded or added under
        uint32_t users;        // the use count, at least 1
        char* name;            // owned copy of the name
        ZEMResource* resource; // owned
        int32_t format;        // the format it was loaded with, which reloads use again
    };

    // What one PollChanges did, by resource name.
    struct ChangeReport {
        // Reloaded from their changed file, or from a file that now hides it in a folder searched
        // first (or that one gone, from the file it hid).
        std::vector<std::string> reloaded;
        // Beside each of reloaded, the file it was read from: a folder's file, or an archive.
        std::vector<std::string> origins;
        // Their file changed but could not be read (damaged, or gone): they keep their content
        // and are tried again when the file changes again.
        std::vector<std::string> failed;
        // Loaded since the last poll from a source that cannot be watched (its folder refuses a
        // watch, or the system has no more): reported once; Reload still serves them.
        std::vector<std::string> unwatched;
    };

    // No index: the result of RegisterLoader for a null loader.
    static constexpr unsigned NO_INDEX = 0xFFFFFFFFu;

    // An empty cache over the finder, with the default loaders for images, palettes, fonts and
    // string arrays.
    explicit ZEMResMgr(const ZEMResFinder& finder);
    // Deletes every cached resource, whatever its use count.
    ~ZEMResMgr();
    ZEMResMgr(const ZEMResMgr&) = delete;
    ZEMResMgr& operator=(const ZEMResMgr&) = delete;

    // The cached resource of that name with one more user; else, when the finder has the file,
    // a new one built by the loader of type, cached with one user when add is true (when it is
    // false the caller owns it). Null for an unknown type, a name cached under another type, a
    // missing file or a loader that fails.
    ZEMResource* Load(unsigned type, const char* name, int format, bool add);
    // The cached resource of that name, whatever its type, with one more user; never loads.
    ZEMResource* Get(const char* name);
    // Caches an object the caller built, with one user; the manager owns it from then on. False,
    // taking nothing, when name is null, empty or already cached.
    bool Add(unsigned type, const char* name, ZEMResource* resource);
    // One user gives the resource up; the last one deletes it. False when it is not cached.
    bool Release(const char* name);
    bool Release(ZEMResource* resource);
    // Reads the cached resource of that name again from its file, in place, with the format it
    // was loaded with: users' pointers stay valid. An archive that another program changed is
    // read anew first; a file that is gone leaves the resource as it was.
    bool Reload(const char* name);
    // Reloads every cached resource of that type; false when one of them failed.
    bool ReloadType(unsigned type);

    // Adds a loader; its index is the new type number. NO_INDEX for null.
    unsigned RegisterLoader(ResLoader loader);
    // Replaces the loader of an existing type number.
    bool ChangeLoader(unsigned type, ResLoader loader);

    // Bisection of the cache by name (byte order): true with the entry's index when cached, else
    // false with the index at which it would be inserted. False, index untouched, for an empty
    // name.
    bool FindRes(const char* name, unsigned& index) const;

    // Number of cached resources, the table's allocated size, and the number of loaders.
    unsigned NbEntries() const { return count; }
    // Entries allocated in the table.
    unsigned Capacity() const { return capacity; }
    // Loaders registered: the type numbers are 0 to NbLoaders() - 1.
    unsigned NbLoaders() const { return unsigned(loaders.size()); }
    // The cached entry at a table position (in name order); null past the end.
    const ResEntry* GetEntry(unsigned index) const;

    // Writes the cache, in name order, with types and use counts, to the log.
    void PrintContent() const;

    // Turns watching the files of the cached resources on or off. Off by default, and then it
    // costs nothing. Turning it on watches the resources cached already.
    void SetWatching(bool on);
    // Whether watching is on.
    bool IsWatching() const { return watcher != nullptr; }
    // How long a changed file must be left alone before it is reloaded: editors write a file in
    // several steps. 100 ms by default.
    void SetQuietTime(unsigned milliseconds) { quietTime = milliseconds; }
    // Reloads in place, without ever waiting, every watched resource whose file changed and has
    // been quiet for the quiet time since. Returns how many were reloaded; report, when given,
    // is filled with the names. Does nothing when watching is off.
    unsigned PollChanges(ChangeReport* report = nullptr);

private:
    // Inserts an entry with one user, growing the table by doubling; false, with nothing taken,
    // when memory is short.
    bool PrivateAdd(unsigned type, const char* name, ZEMResource* resource, int format);
    // Removes the entry in a slot, deleting its resource when deleteResource is true.
    void PrivateRemove(uint32_t slot, bool deleteResource);
    // Lowers the use count of the entry in a slot; the last user removes it.
    void Drop(uint32_t slot);
    // The slot of a name in its normal form; NO_INDEX when it is not cached.
    uint32_t Slot(const char* name) const;
    // Reads the resource of an entry again from its file; from, when given, is set to that file.
    bool ReloadEntry(const ResEntry& entry, std::string* from = nullptr);
    // Watches the file of an entry when watching is on and a source has it.
    void Watch(const ResEntry& entry, const std::string& origin);
    // Sorts the name order of the table when entries changed since.
    bool Sorted() const;

    uint32_t count = 0;
    uint32_t capacity = 0;
    // Entries live in slots in the order they came (a removal moves the last one into the gap);
    // lookups go through a hash of the names, and the name order that listings show is sorted
    // when asked for.
    ResEntry* entries = nullptr;
    std::unordered_map<std::string_view, uint32_t> slots; // names (the entries' own) to slots
    mutable std::vector<uint32_t> order;                  // slots in name order
    mutable bool orderValid = true;
    std::vector<ResLoader> loaders;
    const ZEMResFinder* finder;
    ZEMResWatcher* watcher = nullptr; // owned; null while watching is off
    unsigned quietTime = 100;
};

#endif
