#include <zem/resource/ZEMResFinder.h>

#include <zem/core/ZEMLog.h>
#include <zem/provider/ZEMArchive.h>
#include <zem/provider/ZEMDir.h>

#include "platform/ZEMPlatform.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr unsigned NO_INDEX = 0xFFFFFFFFu;

// Logs why the source name was not added; false.
bool Refused(const char* name, const char* why) {
    ZEM::LOG("ResFinder: cannot add the source '%s': %s\n", name, why);
    return false;
}

} // namespace

// An archive's file is looked at when its folder told of a change to it, and on every lookup
// when its folder cannot be watched.
struct ZEMResFinder::SourceState {
    bool archive = false;
    bool readable = true;
    std::string why;      // why it cannot be read, when it cannot
    bool changed = false; // its folder told of a change since its file was looked at
    int watch = -1;       // the watch of its folder; -1 when there is none
    std::string base;     // its file's name in that folder, as the system compares names
    ZEM::Platform::FileStamp stamp;
};

ZEMResFinder::ZEMResFinder() = default;

ZEMResFinder::~ZEMResFinder() {
    for (ZEMFileProvider* source : sources)
        delete source;
    delete archiveWatch;
}

// A directory is known by its full path as the system reports it, so the relative path it was
// added by does not find it; an archive is also found by the name it was added by, made absolute.
unsigned ZEMResFinder::FindSource(const char* name) const {
    if (!name || !*name) return NO_INDEX;
    const std::string archiveName = ZEM::Platform::AbsolutePath(name);
    for (size_t i = 0; i < sources.size(); ++i) {
        const char* sourceName = sources[i]->Name();
        if (!sourceName) continue;
        if (std::strcmp(sourceName, name) == 0) return unsigned(i);
        bool isArchive = dynamic_cast<const ZEMArchive*>(sources[i]) != nullptr;
        if (isArchive && archiveName == sourceName) return unsigned(i);
    }
    return NO_INDEX;
}

bool ZEMResFinder::AddSource(const char* name, bool front) {
    if (!name || !*name) return Refused("", "no path given");
    if (FindSource(name) != NO_INDEX) return true;
    const unsigned attributes = ZEM::Platform::Attributes(name);
    if (attributes == ZEM::Platform::ATTR_INVALID) return Refused(name, "missing");
    const bool isDir = (attributes & ZEM::Platform::ATTR_DIRECTORY) != 0;

    ZEMFileProvider* source = nullptr;
    SourceState state;
    if (isDir) {
        ZEMDir* dir = new (std::nothrow) ZEMDir();
        if (!dir || !dir->Open(name)) {
            delete dir;
            return Refused(name, "a folder that cannot be entered or listed");
        }
        source = dir;
    } else {
        // Stamped before it is read: a change made meanwhile makes the first lookup read it again.
        state.archive = true;
        ZEM::Platform::Stamp(name, state.stamp);
        std::string why;
        source = ZEMArchive::OpenArchive(name, why);
        if (!source) return Refused(name, why.c_str());
    }
    try {
        states.reserve(states.size() + 1);
        sources.insert(front ? sources.begin() : sources.end(), source);
    } catch (const std::bad_alloc&) {
        delete source;
        return Refused(name, "out of memory");
    }
    states.insert(front ? states.begin() : states.end(), state);
    if (state.archive) WatchArchive(front ? 0 : states.size() - 1);
    return true;
}

bool ZEMResFinder::RemoveSource(const char* name) {
    unsigned index = FindSource(name);
    if (index == NO_INDEX) {
        ZEM::LOG("ResFinder: cannot remove the source '%s': no source has that name\n",
                 name ? name : "");
        return false;
    }
    delete sources[index];
    sources.erase(sources.begin() + index);
    const int watch = states[index].watch;
    states.erase(states.begin() + index);
    // Archives of one folder may share its watch.
    const bool shared =
        std::any_of(states.begin(), states.end(),
                    [watch](const SourceState& other) { return other.watch == watch; });
    if (watch >= 0 && !shared) archiveWatch->Remove(watch);
    return true;
}

ZEMResFile* ZEMResFinder::FindRes(const char* name) const {
    return FindRes(name, nullptr);
}

ZEMResFile* ZEMResFinder::FindRes(const char* name, std::string* origin) const {
    if (!name || !*name) return nullptr;
    // A name from a mod or a save file may not lead out of the sources, whichever they are.
    if (!ZEMArchive::IsSafeName(name)) {
        ZEM::LOG(
            "ResFinder: refused the name '%s': absolute, leading out of its sources or no file "
            "name here\n",
            name);
        return nullptr;
    }
    TakeChanges();
    size_t unreadable = sources.size();
    for (size_t i = 0; i < sources.size(); ++i) {
        if (!IsCurrent(i)) {
            unreadable = std::min(unreadable, i);
            continue;
        }
        ZEMResFile* file = sources[i]->OpenFile(name);
        if (!file) continue;
        if (origin) {
            *origin = sources[i]->Name();
            if (!states[i].archive) *origin = ZEM::Platform::WithSeparator(origin->c_str()) + name;
        }
        return file;
    }
    // The name may be in the archive that can no longer be read: that is the likelier cause.
    if (unreadable < sources.size()) {
        ZEM::LOG("ResFinder: cannot read the source '%s' any more: %s\n",
                 sources[unreadable]->Name(), states[unreadable].why.c_str());
    }
    return nullptr;
}

void ZEMResFinder::WatchArchive(size_t index) {
    if (!archiveWatch) archiveWatch = new (std::nothrow) ZEM::Platform::FolderWatch;
    if (!archiveWatch) return;
    std::string folder, base;
    ZEM::Platform::SplitPath(sources[index]->Name(), folder, base);
    SourceState& state = states[index];
    state.base = ZEM::Platform::FoldedName(base);
    state.watch = archiveWatch->Add(folder.c_str());
    state.changed = true; // a change before the watch began is seen by the first lookup
}

void ZEMResFinder::TakeChanges() const {
    if (!archiveWatch) return;
    std::vector<ZEM::Platform::FolderWatch::Change> changes;
    archiveWatch->Read(changes);
    for (const ZEM::Platform::FolderWatch::Change& change : changes) {
        const std::string base = ZEM::Platform::FoldedName(change.name);
        for (SourceState& state : states) {
            if (change.id == ZEM::Platform::FolderWatch::LOST) {
                state.changed = true;
            } else if (state.watch == change.id && change.name.empty()) {
                state.watch = -1; // the folder went away: its archives are looked at each time
            } else if (state.watch == change.id && state.base == base) {
                state.changed = true;
            }
        }
    }
}

bool ZEMResFinder::IsCurrent(size_t index) const {
    SourceState& state = states[index];
    if (!state.archive) return true;
    if (state.watch >= 0 && !state.changed) return state.readable;
    state.changed = false;
    // The archive keeps its path while its file is gone or damaged, so it can be read again.
    ZEM::Platform::FileStamp now;
    if (!ZEM::Platform::Stamp(sources[index]->Name(), now)) now = ZEM::Platform::FileStamp();
    if (now == state.stamp) return state.readable;
    state.stamp = now;
    const std::string path = sources[index]->Name(); // reopening frees the archive's own copy
    state.readable = sources[index]->Open(path.c_str());
    state.why = static_cast<const ZEMArchive*>(sources[index])->LastError();
    return state.readable;
}

void ZEMResFinder::PrintInfo() const {
    ZEM::LOG("Resource Finder sources (%d):\n", int(sources.size()));
    if (sources.empty()) ZEM::LOG("none.\n");
    for (const ZEMFileProvider* source : sources)
        ZEM::LOG("- %s\n", source->Name() ? source->Name() : "");
}
