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

    // Watches file (a path on disk) for the resource name, in place of the file watched for it
    // before. False when the file's folder cannot be watched, once for a name and its file: the
    // name is then kept for TakeRefused.
    bool Track(const std::string& name, const std::string& file);
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
    struct File {
        std::string folder;
        std::vector<std::string> resources;
        Clock::time_point changed;
        bool pending = false; // changed and not yet reported
    };

    void Changed(const std::string& key, Clock::time_point now);
    void Drop(const std::string& key, const std::string& name);

    ZEM::Platform::FolderWatch watch;
    std::unordered_map<std::string, Folder> folders;          // by path
    std::unordered_map<int, std::string> folderPaths;         // by watch id
    std::unordered_map<std::string, File> files;              // by folder, separator, folded name
    std::unordered_map<std::string, std::string> keys;        // file key of each resource name
    std::vector<std::string> pending;                         // keys of files changed, not yet due
    std::vector<std::string> refused;                         // names refused since TakeRefused
    std::unordered_map<std::string, std::string> refusedKeys; // file key of each refused name
    std::vector<ZEM::Platform::FolderWatch::Change> changes;
};

#endif
