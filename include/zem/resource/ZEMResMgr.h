#ifndef ZEM_RESOURCE_ZEMRESMGR_H
#define ZEM_RESOURCE_ZEMRESMGR_H

#include <zem/core/ZEMExport.h>

#include <cstdint>
#include <vector>

class ZEMResFile;
class ZEMResFinder;
class ZEMResource;

// Loads named resources through loaders chosen by a type number, caches each under its name with
// a count of its users, hands the same object to every later request of that name, reloads
// resources in place and deletes one when its last user releases it. Files are found through one
// resource finder, which must outlive the manager.
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
    };

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
    // Reads the cached resource of that name again from its file, in place (format 0): users'
    // pointers stay valid.
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
    unsigned Capacity() const { return capacity; }
    unsigned NbLoaders() const { return unsigned(loaders.size()); }
    // The cached entry at a table position (in name order); null past the end.
    const ResEntry* GetEntry(unsigned index) const {
        return index < count ? &entries[index] : nullptr;
    }

    // Writes the cache, in name order, with types and use counts, to the log.
    void PrintContent() const;

private:
    // Inserts an entry with one user at index (count when past it), growing the table by
    // doubling; false, with nothing taken, when memory is short.
    bool PrivateAdd(unsigned index, unsigned type, const char* name, ZEMResource* resource);
    // Removes the entry at index, deleting its resource when deleteResource is true.
    void PrivateRemove(unsigned index, bool deleteResource);
    // Lowers the use count of the entry at index; the last user removes it.
    void Drop(unsigned index);
    // Reads the resource of an entry again from its file.
    bool ReloadEntry(const ResEntry& entry) const;

    uint32_t count = 0;
    uint32_t capacity = 0;
    // The index FindRes found last, tried (by its name) before the bisection: a Release or Get
    // mostly names what was just loaded. Entries that move since only make it miss.
    mutable uint32_t lastFound = NO_INDEX;
    ResEntry* entries = nullptr;
    std::vector<ResLoader> loaders;
    const ZEMResFinder* finder;
};

#endif
