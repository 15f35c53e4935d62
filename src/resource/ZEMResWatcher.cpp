#include "resource/ZEMResWatcher.h"

#include <algorithm>

namespace {

std::string FileKey(const std::string& folder, const std::string& name) {
    return folder + '\0' + ZEM::Platform::FoldedName(name);
}

} // namespace

// One spelling per folder ("a/./b" and "a/b" are one watch): events name it by its id.
ZEMResWatcher::Place ZEMResWatcher::PlaceOf(const std::string& path) {
    Place place;
    std::string base;
    ZEM::Platform::SplitPath(ZEM::Platform::AbsolutePath(path.c_str()), place.folder, base);
    place.key = FileKey(place.folder, base);
    return place;
}

bool ZEMResWatcher::Track(const std::string& name, const std::vector<std::string>& paths) {
    if (paths.empty()) return true;
    std::vector<Place> places;
    std::vector<std::string> wanted;
    for (const std::string& path : paths) {
        places.push_back(PlaceOf(path));
        wanted.push_back(places.back().key);
    }
    auto known = keys.find(name);
    if (known != keys.end()) {
        if (known->second == wanted) return true;
        Forget(name);
    }
    auto unwatchable = refusedKeys.find(name);
    if (unwatchable != refusedKeys.end() && unwatchable->second == wanted[0]) return true;
    if (!Add(name, places[0])) {
        refused.push_back(name);
        refusedKeys[name] = wanted[0];
        return false;
    }
    refusedKeys.erase(name);
    for (size_t i = 1; i < places.size(); ++i)
        Add(name, places[i]);
    return true;
}

bool ZEMResWatcher::Add(const std::string& name, const Place& place) {
    Folder& folder = folders[place.folder];
    if (folder.id < 0) folder.id = watch.Add(place.folder.c_str());
    if (folder.id < 0) {
        folders.erase(place.folder);
        return false;
    }
    folderPaths[folder.id] = place.folder;
    File& watched = files[place.key];
    if (watched.resources.empty()) {
        watched.folder = place.folder;
        ++folder.files;
    }
    watched.resources.push_back(name);
    keys[name].push_back(place.key);
    return true;
}

void ZEMResWatcher::TakeRefused(std::vector<std::string>& names) {
    names.insert(names.end(), refused.begin(), refused.end());
    refused.clear();
}

void ZEMResWatcher::Forget(const std::string& name) {
    refusedKeys.erase(name);
    auto known = keys.find(name);
    if (known == keys.end()) return;
    const std::vector<std::string> watched = known->second;
    keys.erase(known);
    for (const std::string& key : watched)
        Drop(key, name);
}

// Takes name off the file's list; the last one off ends the file's watch, the last file of a
// folder the folder's.
void ZEMResWatcher::Drop(const std::string& key, const std::string& name) {
    auto found = files.find(key);
    if (found == files.end()) return;
    std::vector<std::string>& resources = found->second.resources;
    resources.erase(std::remove(resources.begin(), resources.end(), name), resources.end());
    if (!resources.empty()) return;
    const std::string folderPath = found->second.folder;
    files.erase(found);
    auto folder = folders.find(folderPath);
    if (folder == folders.end() || --folder->second.files > 0) return;
    watch.Remove(folder->second.id);
    folderPaths.erase(folder->second.id);
    folders.erase(folder);
}

void ZEMResWatcher::Changed(const std::string& key, Clock::time_point now) {
    auto found = files.find(key);
    if (found == files.end()) return;
    found->second.changed = now;
    if (found->second.pending) return;
    found->second.pending = true;
    pending.push_back(key);
}

void ZEMResWatcher::Poll(Clock::time_point now, Clock::duration quiet,
                         std::vector<std::string>& due) {
    changes.clear();
    watch.Read(changes);
    for (const ZEM::Platform::FolderWatch::Change& change : changes) {
        if (change.id == ZEM::Platform::FolderWatch::LOST) {
            for (const auto& file : files)
                Changed(file.first, now);
            continue;
        }
        auto folder = folderPaths.find(change.id);
        if (folder != folderPaths.end()) Changed(FileKey(folder->second, change.name), now);
    }
    if (pending.empty()) return;
    // Files still being written stay pending; the others are due, in the order they changed.
    size_t kept = 0;
    for (const std::string& key : pending) {
        auto found = files.find(key);
        if (found == files.end() || !found->second.pending) continue; // forgotten meanwhile
        File& file = found->second;
        if (now - file.changed < quiet) {
            pending[kept++] = key;
            continue;
        }
        file.pending = false;
        // A resource whose file and hiding place both changed is due once.
        for (const std::string& name : file.resources) {
            if (std::find(due.begin(), due.end(), name) == due.end()) due.push_back(name);
        }
    }
    pending.resize(kept);
}
