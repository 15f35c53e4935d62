#include <zem/provider/ZEMArchive.h>

#include <zem/provider/ZEMFileUtils.h>
#include <zem/stream/ZEMResFile.h>

#include "platform/ZEMPlatform.h"
#include "provider/ZEMArchiveInternal.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <string>

using namespace ZEM::ArchiveInternal;
using ZEM::Platform::File;
using ZEM::Platform::Folder;

// ---- Extraction ----

// Writes the member's bytes to a new temporary file in folder and renames it to name.
bool ZEMArchive::WriteMember(unsigned index, const Folder& folder, const char* name) const {
    const ArchiveEntry& entry = *entries[index];
    std::unique_ptr<ZEMResFile> member(entry.size ? OpenResFile(index) : nullptr);
    if (entry.size && !member) return Failed("cannot read the member from the archive");
    File file;
    if (!file.CreateTemp(folder)) return Failed(SystemError("cannot write", file.Error()));
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[COPY_CHUNK]);
    if (!buffer) return Failed("out of memory");
    uint64_t done = 0;
    while (done < entry.size) {
        const unsigned want = unsigned(std::min<uint64_t>(entry.size - done, COPY_CHUNK));
        const unsigned got = member->Read(buffer.get(), want);
        if (got == 0) return Failed("cannot read the member from the archive");
        if (!file.WriteAt(done, buffer.get(), got)) {
            return Failed(SystemError("cannot write", file.Error()));
        }
        done += got;
    }
    if (!file.Publish(folder, name, true)) return Failed(SystemError("cannot write", file.Error()));
    return true;
}

bool ZEMArchive::ExtractFile(unsigned index, const char* destPath) const {
    lastError.clear();
    if (index >= entries.size() || !IsSet(destPath)) return Failed("no such member or no path");
    // Renaming over the archive itself would replace it by the member.
    if (ZEM::Platform::SameFile(destPath, archivePath)) return Failed("that is the archive itself");
    Folder folder;
    std::string name;
    if (!folder.OpenParentOf(destPath, name)) {
        return Failed(SystemError("cannot enter its folder", folder.Error()));
    }
    return WriteMember(index, folder, name.c_str());
}

bool ZEMArchive::IsSafeName(const char* name) {
    if (!IsSet(name) || ZEMFileUtils::IsAbsolute(name)) return false;
    const char* component = name;
    for (const char* p = name;; ++p) {
        if (uint8_t(*p) < 0x20 && *p) return false;
        if (*p == 0x7F) return false;
        if (*p == ':' && !ZEM::Platform::COLON_IN_NAMES) return false;
        if (*p && !ZEM::Platform::IsSeparator(*p)) continue;
        if (p - component == 2 && component[0] == '.' && component[1] == '.') return false;
        // A name ending with a separator names a folder, not a file.
        if (!*p) return p > component;
        component = p + 1;
    }
}

bool ZEMArchive::ExtractInto(unsigned index, const char* destDir) const {
    lastError.clear();
    if (index >= entries.size() || !IsSet(destDir)) return Failed("no such member or no folder");
    const char* name = entries[index]->name;
    if (!IsSafeName(name)) return Failed("its name leads out of the folder or is no file name");
    if (ZEM::Platform::SameFile((ZEM::Platform::WithSeparator(destDir) + name).c_str(),
                                archivePath)) {
        return Failed("that is the archive itself");
    }
    Folder folder;
    if (!folder.Open(destDir))
        return Failed(SystemError("cannot enter the folder", folder.Error()));
    // Each folder on the way is entered without following a link that may have been put there.
    std::string part;
    for (const char* p = name; *p; ++p) {
        if (!ZEM::Platform::IsSeparator(*p)) {
            part += *p;
            continue;
        }
        if (!part.empty() && part != "." && !folder.Enter(part.c_str())) {
            const int error = folder.Error();
            if (error == ELOOP) return Failed(Quoted(part.c_str()) + " on the way is a link");
            if (error == ENOTDIR) return Failed(Quoted(part.c_str()) + " on the way is no folder");
            return Failed(SystemError("cannot make the folder " + Quoted(part.c_str()), error));
        }
        part.clear();
    }
    return WriteMember(index, folder, part.c_str());
}

bool ZEMArchive::ExtractAll(const char* destDir) const {
    if (!destDir || !ZEMFileUtils::IsDir(destDir)) return false;
    for (unsigned i = 0; i < entries.size(); ++i)
        ExtractInto(i, destDir);
    return true;
}
