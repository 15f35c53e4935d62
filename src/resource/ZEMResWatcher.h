#ifndef ZEM_RESOURCE_ZEMRESWATCHER_H
#define ZEM_RESOURCE_ZEMRESWATCHER_H

#include "platform/ZEMPlatform.h"

#include <chrono>
#include <string>
#include <unordered_map>
#include <vector>

// Tells the resource manager which of its resources' files changed and have since been left
// alone for a quiet time. Files are watched through their folders, one watch per folder; several
// resources may share a file (the members of one archive).
class ZEMResWatcher {
public:
    using Clock = std::chrono::steady_clock;

    // Watches files (paths on disk) for the resource name, in place of those watched for it
    // before: the first is the file it was read from, the others are where a file would hide
    // that one (in folders searched first), whose appearance is a change too. False when the
    // first file's folder cannot be watched, once for a name and its file: the name is then kept
    // for TakeRefused. A hiding place whose folder cannot be watched is left out.
    bool Track(const std::string& name, const std::vector<std::string>& paths);
    // Moves the names whose file could not be watched since the last call to names.
    void TakeRefused(std::vector<std::string>& names);
    // Stops watching for the resource name.
    void Forget(const std::string& name);
    // Reads the changes that arrived, without waiting, and appends to due the resources whose
    // file changed and has been quiet for quiet since, each once.
    void Poll(Clock::time_point now, Clock::duration quiet, std::vector<std::string>& due);
    // Why the last Track failed.
    int Error() const { return watch.Error(); }

private:
    struct Folder {
        int id = -1;
        unsigned files = 0; // watched files in it
    };
    // A file as the watch knows it: its folder, and the key of the file in it.
    struct Place {
        std::string folder;
        std::string key;
    };
    struct File {
        std::string folder;
        std::vector<std::string> resources;
        Clock::time_point changed;
        bool pending = false; // changed and not yet reported
    };

    static Place PlaceOf(const std::string& path);
    // Adds name to the watched file at place; false when its folder cannot be watched.
    bool Add(const std::string& name, const Place& place);
    void Changed(const std::string& key, Clock::time_point now);
    void Drop(const std::string& key, const std::string& name);

    ZEM::Platform::FolderWatch watch;
    std::unordered_map<std::string, Folder> folders;  // by path
    std::unordered_map<int, std::string> folderPaths; // by watch id
    std::unordered_map<std::string, File> files;      // by folder, separator, folded name
    std::unordered_map<std::string, std::vector<std::string>> keys; // file keys of each name
    std::vector<std::string> pending;                         // keys of files changed, not yet due
    std::vector<std::string> refused;                         // names refused since TakeRefused
    std::unordered_map<std::string, std::string> refusedKeys; // file key of each refused name
    std::vector<ZEM::Platform::FolderWatch::Change> changes;
};

#endif
