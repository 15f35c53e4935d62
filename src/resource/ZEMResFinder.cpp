#include <zem/resource/ZEMResFinder.h>

#include <zem/core/ZEMLog.h>
#include <zem/provider/ZEMArchive.h>
#include <zem/provider/ZEMDir.h>

#include "platform/ZEMPlatform.h"

#include <cstring>
#include <new>
#include <string>

namespace {

constexpr unsigned NO_INDEX = 0xFFFFFFFFu;

} // namespace

struct ZEMResFinder::SourceState {
    bool archive = false;
    bool readable = true;
    ZEM::Platform::FileStamp stamp;
};

ZEMResFinder::ZEMResFinder() = default;

ZEMResFinder::~ZEMResFinder() {
    for (ZEMFileProvider* source : sources)
        delete source;
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
    if (!name || !*name) return false;
    if (FindSource(name) != NO_INDEX) return true;
    const unsigned attributes = ZEM::Platform::Attributes(name);
    if (attributes == ZEM::Platform::ATTR_INVALID) return false;
    const bool isDir = (attributes & ZEM::Platform::ATTR_DIRECTORY) != 0;

    ZEMFileProvider* source = nullptr;
    SourceState state;
    if (isDir) {
        ZEMDir* dir = new (std::nothrow) ZEMDir();
        if (!dir || !dir->Open(name)) {
            delete dir;
            return false;
        }
        source = dir;
    } else {
        // Stamped before it is read: a change made meanwhile makes the first lookup read it again.
        state.archive = true;
        ZEM::Platform::Stamp(name, state.stamp);
        source = ZEMArchive::OpenArchive(name);
        if (!source) return false;
    }
    try {
        states.reserve(states.size() + 1);
        sources.insert(front ? sources.begin() : sources.end(), source);
    } catch (const std::bad_alloc&) {
        delete source;
        return false;
    }
    states.insert(front ? states.begin() : states.end(), state);
    return true;
}

bool ZEMResFinder::RemoveSource(const char* name) {
    unsigned index = FindSource(name);
    if (index == NO_INDEX) return false;
    delete sources[index];
    sources.erase(sources.begin() + index);
    states.erase(states.begin() + index);
    return true;
}

ZEMResFile* ZEMResFinder::FindRes(const char* name) const {
    return FindRes(name, nullptr);
}

ZEMResFile* ZEMResFinder::FindRes(const char* name, std::string* origin) const {
    if (!name || !*name) return nullptr;
    // A name from a mod or a save file may not lead out of the sources, whichever they are.
    if (!ZEMArchive::IsSafeName(name)) {
        ZEM::LOG("ResFinder: refused the name '%s': absolute or leading out of its sources\n",
                 name);
        return nullptr;
    }
    for (size_t i = 0; i < sources.size(); ++i) {
        if (!IsCurrent(i)) continue;
        ZEMResFile* file = sources[i]->OpenFile(name);
        if (!file) continue;
        if (origin) {
            *origin = sources[i]->Name();
            if (!states[i].archive) *origin = ZEM::Platform::WithSeparator(origin->c_str()) + name;
        }
        return file;
    }
    return nullptr;
}

bool ZEMResFinder::IsCurrent(size_t index) const {
    SourceState& state = states[index];
    if (!state.archive) return true;
    // The archive keeps its path while its file is gone or damaged, so it can be read again.
    ZEM::Platform::FileStamp now;
    if (!ZEM::Platform::Stamp(sources[index]->Name(), now)) now = ZEM::Platform::FileStamp();
    if (now == state.stamp) return state.readable;
    state.stamp = now;
    const std::string path = sources[index]->Name(); // reopening frees the archive's own copy
    state.readable = sources[index]->Open(path.c_str());
    return state.readable;
}

void ZEMResFinder::PrintInfo() const {
    ZEM::LOG("Resource Finder sources (%d):\n", int(sources.size()));
    if (sources.empty()) ZEM::LOG("none.\n");
    for (const ZEMFileProvider* source : sources)
        ZEM::LOG("- %s\n", source->Name() ? source->Name() : "");
}
