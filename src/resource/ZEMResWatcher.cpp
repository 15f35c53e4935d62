#include "resource/ZEMResWatcher.h"

#include <algorithm>

namespace {

std::string FileKey(const std::string& folder, const std::string& name) {
    return folder + '\0' + ZEM::Platform::FoldedName(name);
}

} // namespace

bool ZEMResWatcher::Track(const std::string& name, const std::string& file) {
    std::string folderPath, base;
    // One spelling per folder ("a/./b" and "a/b" are one watch): events name it by its id.
    ZEM::Platform::SplitPath(ZEM::Platform::AbsolutePath(file.c_str()), folderPath, base);
    const std::string key = FileKey(folderPath, base);
    auto known = keys.find(name);
    if (known != keys.end()) {
        if (known->second == key) return true;
        Forget(name);
    }
    auto unwatchable = refusedKeys.find(name);
    if (unwatchable != refusedKeys.end() && unwatchable->second == key) return true;
    Folder& folder = folders[folderPath];
    if (folder.id < 0) folder.id = watch.Add(folderPath.c_str());
    if (folder.id < 0) {
        folders.erase(folderPath);
        refused.push_back(name);
        refusedKeys[name] = key;
        return false;
    }
    refusedKeys.erase(name);
    folderPaths[folder.id] = folderPath;
    File& watched = files[key];
    if (watched.resources.empty()) {
        watched.folder = folderPath;
        ++folder.files;
    }
    watched.resources.push_back(name);
    keys[name] = key;
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
    const std::string key = known->second;
    keys.erase(known);
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
        due.insert(due.end(), file.resources.begin(), file.resources.end());
    }
    pending.resize(kept);
}
