#include <zem/resource/ZEMResMgr.h>

#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMFont.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/provider/ZEMArchive.h>
#include <zem/resource/ZEMResFinder.h>
#include <zem/resource/ZEMResource.h>
#include <zem/stream/ZEMResFile.h>
#include <zem/text/ZEMText.h>

#include "core/ZEMBisect.h"
#include "core/ZEMLogHold.h"
#include "platform/ZEMPlatform.h"
#include "resource/ZEMResWatcher.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <string>

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

// Every load failure is one warning that names the resource and the cause.
ZEMResource* LoadFailed(const char* name, unsigned type, const std::string& cause) {
    ZEM::WARNING("ResMgr: can not load %s (type %d): %s\n", name, int(type), cause.c_str());
    return nullptr;
}

bool ReloadFailed(const ZEMResMgr::ResEntry& entry, const std::string& cause) {
    ZEM::WARNING("ResMgr: can not reload %s (type %d): %s\n", entry.name, int(entry.type),
                 cause.c_str());
    return false;
}

bool NotAdded(const char* name, const char* why) {
    ZEM::LOG("ResMgr: cannot add %s: %s\n", name, why);
    return false;
}

// Where a file of that name would hide origin: the same name in each folder searched before it.
// Archives searched first are left out: every edit of one would read as a change of each
// resource behind it.
void AddHidingPlaces(const ZEMResFinder& finder, const char* name, const std::string& origin,
                     std::vector<std::string>& paths) {
    for (unsigned i = 0; i < finder.NbSources(); ++i) {
        const ZEMFileProvider* source = finder.GetSource(i);
        if (!source->Name()) continue;
        if (dynamic_cast<const ZEMArchive*>(source)) {
            if (origin == source->Name()) return;
            continue;
        }
        const std::string path = ZEM::Platform::WithSeparator(source->Name()) + name;
        if (path == origin) return;
        paths.push_back(path);
    }
}

// The cause of a file the finder did not give: what the finder said (the name refused, an
// archive no longer readable), else that no source has it.
std::string Missing(const ZEMResFinder& finder, ZEM::LogHold& hold) {
    const std::string reason = hold.Take();
    if (!reason.empty()) return "missing: " + reason;
    return "missing: none of the " + std::to_string(finder.NbSources()) + " sources has it";
}

// The cause of a failed read: what the resource's own reader said, held back from the log.
std::string Damaged(const std::string& what, ZEM::LogHold& hold) {
    const std::string reason = hold.Take();
    return reason.empty() ? what : what + ": " + reason;
}

// What a loader of the type reads, in words.
std::string KindName(unsigned type) {
    static const char* const NAMES[] = {"picture", "palette", "font", "string array"};
    if (type < sizeof NAMES / sizeof NAMES[0]) return NAMES[type];
    return "resource of type " + std::to_string(type);
}

// The one form in which names are cached and asked of the finder: '/' for either separator.
const char* NormalName(const char* name, std::string& scratch) {
    if (!std::strchr(name, '\\')) return name;
    scratch = name;
    std::replace(scratch.begin(), scratch.end(), '\\', '/');
    return scratch.c_str();
}

} // namespace

ZEMResMgr::ZEMResMgr(const ZEMResFinder& resFinder)
    : entries(new (std::nothrow) ResEntry[FIRST_CAPACITY]()), loaders{LoadImage, LoadPalette,
                                                                      LoadFont, LoadText},
      finder(&resFinder) {
    if (entries) capacity = FIRST_CAPACITY;
}

ZEMResMgr::~ZEMResMgr() {
    delete watcher;
    for (uint32_t i = 0; i < count; ++i) {
        delete[] entries[i].name;
        delete entries[i].resource;
    }
    delete[] entries;
}

ZEMResource* ZEMResMgr::Load(unsigned type, const char* name, int format, bool add) {
    if (IsEmpty(name)) return LoadFailed("a resource without a name", type, "no name given");
    std::string scratch;
    name = NormalName(name, scratch);
    if (type >= loaders.size()) {
        return LoadFailed(
            name, type, "no loader has that type (" + std::to_string(loaders.size()) + " loaders)");
    }
    const uint32_t slot = Slot(name);
    if (slot != NO_INDEX) {
        ResEntry& entry = entries[slot];
        if (entry.type != type) {
            return LoadFailed(name, type,
                              "wrong type: it is loaded as type " + std::to_string(entry.type));
        }
        ++entry.users;
        return entry.resource;
    }
    ZEM::LogHold hold;
    std::string origin;
    ZEMResFile* file = finder->FindRes(name, watcher && add ? &origin : nullptr);
    if (!file) return LoadFailed(name, type, Missing(*finder, hold));
    bool keepFile = false;
    ZEMResource* resource = loaders[type](file, name, format, keepFile);
    if (!resource) {
        delete file;
        return LoadFailed(name, type,
                          Damaged("not a " + KindName(type) + " file, or damaged", hold));
    }
    if (!keepFile) delete file;
    if (!add) return resource;
    if (!PrivateAdd(type, name, resource, format)) {
        delete resource; // not cached, and the caller expects the manager to own it
        return LoadFailed(name, type, "out of memory for the cache");
    }
    if (watcher) Watch(entries[count - 1], origin);
    return resource;
}

ZEMResource* ZEMResMgr::Get(const char* name) {
    if (IsEmpty(name)) return nullptr;
    std::string scratch;
    const uint32_t slot = Slot(NormalName(name, scratch));
    if (slot == NO_INDEX) return nullptr;
    ++entries[slot].users;
    return entries[slot].resource;
}

bool ZEMResMgr::Add(unsigned type, const char* name, ZEMResource* resource) {
    if (IsEmpty(name)) return NotAdded("", "no name given");
    std::string scratch;
    name = NormalName(name, scratch);
    if (Slot(name) != NO_INDEX) return NotAdded(name, "that name is cached already");
    if (!PrivateAdd(type, name, resource, 0)) return NotAdded(name, "out of memory");
    if (watcher) Watch(entries[count - 1], std::string());
    return true;
}

bool ZEMResMgr::Release(const char* name) {
    if (IsEmpty(name)) return false;
    std::string scratch;
    name = NormalName(name, scratch);
    const uint32_t slot = Slot(name);
    if (slot == NO_INDEX) {
        ZEM::LOG("ResMgr: cannot release %s: not loaded\n", name);
        return false;
    }
    Drop(slot);
    return true;
}

bool ZEMResMgr::Release(ZEMResource* resource) {
    for (uint32_t i = 0; resource && i < count; ++i) {
        if (entries[i].resource == resource) {
            Drop(i);
            return true;
        }
    }
    ZEM::LOG("ResMgr: cannot release a resource that the manager does not hold\n");
    return false;
}

bool ZEMResMgr::Reload(const char* name) {
    if (IsEmpty(name)) return false;
    std::string scratch;
    name = NormalName(name, scratch);
    const uint32_t slot = Slot(name);
    if (slot == NO_INDEX) {
        ZEM::WARNING("ResMgr: can not reload %s: not loaded\n", name);
        return false;
    }
    return ReloadEntry(entries[slot]);
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

uint32_t ZEMResMgr::Slot(const char* name) const {
    auto found = slots.find(name);
    return found == slots.end() ? NO_INDEX : found->second;
}

bool ZEMResMgr::Sorted() const {
    if (orderValid) return true;
    try {
        order.resize(count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [this](uint32_t a, uint32_t b) {
        return std::strcmp(entries[a].name, entries[b].name) < 0;
    });
    orderValid = true;
    return true;
}

bool ZEMResMgr::FindRes(const char* name, unsigned& index) const {
    if (IsEmpty(name) || !Sorted()) return false;
    std::string scratch;
    name = NormalName(name, scratch);
    return ZEM::Bisect(
        count, [&](uint32_t i) { return std::strcmp(name, entries[order[i]].name); }, index);
}

const ZEMResMgr::ResEntry* ZEMResMgr::GetEntry(unsigned index) const {
    return index < count && Sorted() ? &entries[order[index]] : nullptr;
}

void ZEMResMgr::PrintContent() const {
    ZEM::LOG("Resource Manager : (%d entries, %d alloc)\n", int(count), int(capacity));
    for (uint32_t i = 0; i < count; ++i) {
        const ResEntry& entry = *GetEntry(i);
        ZEM::LOG("- %3d [type %2d] %s (%d)\n", int(i), int(entry.type), entry.name,
                 int(entry.users));
    }
}

bool ZEMResMgr::PrivateAdd(unsigned type, const char* name, ZEMResource* resource, int format) {
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
    try {
        slots.emplace(std::string_view(copy, size - 1), count);
    } catch (const std::bad_alloc&) {
        delete[] copy;
        return false;
    }
    entries[count] = ResEntry{type, 1, copy, resource, format};
    ++count;
    orderValid = false;
    return true;
}

void ZEMResMgr::PrivateRemove(uint32_t slot, bool deleteResource) {
    ResEntry& entry = entries[slot];
    if (watcher) watcher->Forget(entry.name);
    slots.erase(entry.name);
    delete[] entry.name;
    if (deleteResource) delete entry.resource;
    --count;
    if (slot != count) {
        entry = entries[count];
        slots.find(entry.name)->second = slot;
    }
    entries[count] = ResEntry{};
    orderValid = false;
}

void ZEMResMgr::Drop(uint32_t slot) {
    if (--entries[slot].users == 0) PrivateRemove(slot, true);
}

bool ZEMResMgr::ReloadEntry(const ResEntry& entry, std::string* from) {
    if (!entry.resource) return ReloadFailed(entry, "no object is cached under that name");
    ZEM::LogHold hold;
    std::string origin;
    ZEMResFile* file = finder->FindRes(entry.name, watcher || from ? &origin : nullptr);
    if (!file) return ReloadFailed(entry, Missing(*finder, hold));
    const bool loaded = entry.resource->Load(*file, entry.format);
    delete file;
    const std::string cause = loaded ? std::string() : Damaged("damaged", hold);
    // The name may come from another source now (a member gone from an archive, found in a
    // folder): its new file is the one watched.
    if (watcher) Watch(entry, origin);
    if (from) *from = origin;
    return loaded || ReloadFailed(entry, cause);
}

void ZEMResMgr::Watch(const ResEntry& entry, const std::string& origin) {
    std::string file = origin;
    if (file.empty()) {
        delete finder->FindRes(entry.name, &file);
        if (file.empty()) return; // no source has it: nothing to watch
    }
    std::vector<std::string> paths{file};
    AddHidingPlaces(*finder, entry.name, file, paths);
    if (watcher->Track(entry.name, paths)) return;
    ZEM::WARNING("ResMgr: can not watch %s (%s)\n", entry.name,
                 ZEM::Platform::ErrorText(watcher->Error()).c_str());
}

void ZEMResMgr::SetWatching(bool on) {
    if (on == (watcher != nullptr)) return;
    if (!on) {
        delete watcher;
        watcher = nullptr;
        return;
    }
    watcher = new (std::nothrow) ZEMResWatcher;
    if (!watcher) return;
    for (uint32_t i = 0; i < count; ++i)
        Watch(entries[i], std::string());
}

unsigned ZEMResMgr::PollChanges(ChangeReport* report) {
    if (report) *report = ChangeReport();
    if (!watcher) return 0;
    std::vector<std::string> due;
    watcher->Poll(ZEMResWatcher::Clock::now(), std::chrono::milliseconds(quietTime), due);
    std::vector<std::string> refused;
    watcher->TakeRefused(report ? report->unwatched : refused);
    unsigned reloaded = 0;
    for (const std::string& name : due) {
        const uint32_t slot = Slot(name.c_str());
        if (slot == NO_INDEX) continue;
        const ResEntry& entry = entries[slot];
        std::string origin;
        const bool loaded = ReloadEntry(entry, &origin);
        if (!loaded) {
            if (report) report->failed.push_back(name);
            continue;
        }
        ++reloaded;
        if (!report) continue;
        report->reloaded.push_back(name);
        report->origins.push_back(origin);
    }
    return reloaded;
}
