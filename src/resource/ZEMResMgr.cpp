#include <zem/resource/ZEMResMgr.h>

#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMFont.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/resource/ZEMResFinder.h>
#include <zem/resource/ZEMResource.h>
#include <zem/stream/ZEMResFile.h>
#include <zem/text/ZEMText.h>

#include "core/ZEMBisect.h"

#include <cstring>
#include <new>

namespace {

constexpr uint32_t FIRST_CAPACITY = 4;

// What every default loader does with its new object: let it read itself from the stream, and
// give it up when that fails. The manager deletes the stream.
ZEMResource* LoadInto(ZEMResource* object, ZEMResFile* file, int format, bool& keepFile) {
    keepFile = false;
    if (object && file && object->Load(*file, format)) return object;
    delete object;
    return nullptr;
}

ZEMResource* LoadImage(ZEMResFile* file, const char*, int format, bool& keepFile) {
    return LoadInto(new (std::nothrow) ZEMImage(0, 0, 8), file, format, keepFile);
}

ZEMResource* LoadPalette(ZEMResFile* file, const char*, int format, bool& keepFile) {
    return LoadInto(new (std::nothrow) ZEMPal(0u), file, format, keepFile);
}

ZEMResource* LoadFont(ZEMResFile* file, const char*, int format, bool& keepFile) {
    return LoadInto(new (std::nothrow) ZEMFont(nullptr), file, format, keepFile);
}

ZEMResource* LoadText(ZEMResFile* file, const char*, int format, bool& keepFile) {
    return LoadInto(new (std::nothrow) ZEMText(0u), file, format, keepFile);
}

bool IsEmpty(const char* name) {
    return !name || !*name;
}

} // namespace

ZEMResMgr::ZEMResMgr(const ZEMResFinder& resFinder)
    : entries(new (std::nothrow) ResEntry[FIRST_CAPACITY]()), loaders{LoadImage, LoadPalette,
                                                                      LoadFont, LoadText},
      finder(&resFinder) {
    if (entries) capacity = FIRST_CAPACITY;
}

ZEMResMgr::~ZEMResMgr() {
    for (uint32_t i = 0; i < count; ++i) {
        delete[] entries[i].name;
        delete entries[i].resource;
    }
    delete[] entries;
}

ZEMResource* ZEMResMgr::Load(unsigned type, const char* name, int format, bool add) {
    if (IsEmpty(name) || type >= loaders.size()) return nullptr;
    unsigned index = 0;
    if (FindRes(name, index)) {
        ResEntry& entry = entries[index];
        if (entry.type != type) return nullptr;
        ++entry.users;
        return entry.resource;
    }
    ZEMResFile* file = finder->FindRes(name);
    if (!file) return nullptr;
    bool keepFile = false;
    ZEMResource* resource = loaders[type](file, name, format, keepFile);
    if (!resource) {
        ZEM::WARNING("ResMgr: cannot load %s (type %d)\n", name, int(type));
        delete file;
        return nullptr;
    }
    if (!keepFile) delete file;
    if (add && !PrivateAdd(index, type, name, resource)) {
        delete resource; // not cached, and the caller expects the manager to own it
        return nullptr;
    }
    return resource;
}

ZEMResource* ZEMResMgr::Get(const char* name) {
    unsigned index = 0;
    if (!FindRes(name, index)) return nullptr;
    ++entries[index].users;
    return entries[index].resource;
}

bool ZEMResMgr::Add(unsigned type, const char* name, ZEMResource* resource) {
    unsigned index = 0;
    if (IsEmpty(name) || FindRes(name, index)) return false;
    return PrivateAdd(index, type, name, resource);
}

bool ZEMResMgr::Release(const char* name) {
    unsigned index = 0;
    if (count == 0 || !FindRes(name, index)) return false;
    Drop(index);
    return true;
}

bool ZEMResMgr::Release(ZEMResource* resource) {
    if (!resource) return false;
    for (uint32_t i = 0; i < count; ++i) {
        if (entries[i].resource == resource) {
            Drop(i);
            return true;
        }
    }
    return false;
}

bool ZEMResMgr::Reload(const char* name) {
    unsigned index = 0;
    if (count == 0 || !FindRes(name, index)) return false;
    return ReloadEntry(entries[index]);
}

bool ZEMResMgr::ReloadType(unsigned type) {
    if (type >= loaders.size()) return false;
    bool all = true;
    for (uint32_t i = 0; i < count; ++i) {
        if (entries[i].type == type && entries[i].resource && !ReloadEntry(entries[i])) {
            all = false;
        }
    }
    return all;
}

unsigned ZEMResMgr::RegisterLoader(ResLoader loader) {
    if (!loader) return NO_INDEX;
    loaders.push_back(loader);
    return unsigned(loaders.size() - 1);
}

bool ZEMResMgr::ChangeLoader(unsigned type, ResLoader loader) {
    if (type >= loaders.size() || !loader) return false;
    loaders[type] = loader;
    return true;
}

bool ZEMResMgr::FindRes(const char* name, unsigned& index) const {
    if (IsEmpty(name)) return false;
    if (lastFound < count && std::strcmp(name, entries[lastFound].name) == 0) {
        index = lastFound;
        return true;
    }
    const bool found = ZEM::Bisect(
        count, [&](uint32_t i) { return std::strcmp(name, entries[i].name); }, index);
    if (found) lastFound = index;
    return found;
}

void ZEMResMgr::PrintContent() const {
    ZEM::LOG("Resource Manager : (%d entries, %d alloc)\n", int(count), int(capacity));
    for (uint32_t i = 0; i < count; ++i) {
        const ResEntry& entry = entries[i];
        ZEM::LOG("- %3d [type %2d] %s (%d)\n", int(i), int(entry.type), entry.name,
                 int(entry.users));
    }
}

bool ZEMResMgr::PrivateAdd(unsigned index, unsigned type, const char* name, ZEMResource* resource) {
    if (count == capacity) {
        if (capacity > UINT32_MAX / 2) return false;
        const uint32_t grown = capacity ? capacity * 2 : FIRST_CAPACITY;
        ResEntry* table = new (std::nothrow) ResEntry[grown]();
        if (!table) return false;
        if (count) std::memcpy(table, entries, count * sizeof(ResEntry));
        delete[] entries;
        entries = table;
        capacity = grown;
    }
    const size_t size = std::strlen(name) + 1;
    char* copy = new (std::nothrow) char[size];
    if (!copy) return false;
    std::memcpy(copy, name, size);
    if (index > count) index = count;
    std::memmove(entries + index + 1, entries + index, (count - index) * sizeof(ResEntry));
    entries[index] = ResEntry{type, 1, copy, resource};
    ++count;
    return true;
}

void ZEMResMgr::PrivateRemove(unsigned index, bool deleteResource) {
    ResEntry& entry = entries[index];
    delete[] entry.name;
    if (deleteResource) delete entry.resource;
    entry = ResEntry{};
    --count;
    std::memmove(entries + index, entries + index + 1, (count - index) * sizeof(ResEntry));
    entries[count] = ResEntry{};
}

void ZEMResMgr::Drop(unsigned index) {
    if (--entries[index].users == 0) PrivateRemove(index, true);
}

bool ZEMResMgr::ReloadEntry(const ResEntry& entry) const {
    if (!entry.resource) return false;
    ZEMResFile* file = finder->FindRes(entry.name);
    if (!file) return false;
    const bool loaded = entry.resource->Load(*file, 0);
    delete file;
    return loaded;
}
