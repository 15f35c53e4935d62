#include <zem/provider/ZEMArchive.h>

#include <zem/core/ZEMLog.h>
#include <zem/provider/ZEMFileUtils.h>

#include "platform/ZEMPlatform.h"
#include "provider/ZEMArchiveInternal.h"
#include "stream/ZEMSharedFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <vector>

using namespace ZEM::ArchiveInternal;
using ZEM::Platform::File;
using ZEM::Platform::Folder;

// ---- Names ----

namespace {

constexpr const char* LEADS_OUT = "its name leads out of the folder";

// Names that Windows takes for devices in every folder, whatever follows a dot: "nul.txt" opens
// the null device. The superscript digits are UTF-8.
constexpr const char* DEVICE_NAMES[] = {
    "CON",         "PRN",        "AUX",         "NUL",         "CONIN$",      "CONOUT$",
    "COM0",        "COM1",       "COM2",        "COM3",        "COM4",        "COM5",
    "COM6",        "COM7",       "COM8",        "COM9",        "LPT0",        "LPT1",
    "LPT2",        "LPT3",       "LPT4",        "LPT5",        "LPT6",        "LPT7",
    "LPT8",        "LPT9",       "COM\xC2\xB9", "COM\xC2\xB2", "COM\xC2\xB3", "LPT\xC2\xB9",
    "LPT\xC2\xB2", "LPT\xC2\xB3"};

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool IsAsciiLetter(char c) {
    return AsciiUpper(c) >= 'A' && AsciiUpper(c) <= 'Z';
}

bool SameLetters(const char* a, const char* b, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

// Whether a component of length bytes names a device: its part before the first dot, without
// the spaces at its end, in any case.
bool IsDeviceName(const char* component, size_t length) {
    size_t stem = 0;
    while (stem < length && component[stem] != '.')
        ++stem;
    while (stem > 0 && component[stem - 1] == ' ')
        --stem;
    return std::any_of(std::begin(DEVICE_NAMES), std::end(DEVICE_NAMES), [&](const char* device) {
        return std::strlen(device) == stem && SameLetters(component, device, stem);
    });
}

// Why a component (not "." or "..") cannot be a file name on Windows; null when it can.
const char* WindowsRefuses(const char* component, size_t length) {
    if (IsDeviceName(component, length)) return "its name is a device on Windows";
    const char last = component[length - 1];
    if (last == '.' || last == ' ')
        return "its name ends with a dot or a space, which Windows drops";
    return nullptr;
}

// "X:" at the start names a drive, or a data stream on other systems' disks: never a folder's
// member on any system.
bool NamesDrive(const char* name) {
    return IsAsciiLetter(name[0]) && name[1] == ':';
}

} // namespace

const char* ZEM::ArchiveInternal::UnsafeName(const char* name) {
    if (!IsSet(name)) return "it has no name";
    if (ZEMFileUtils::IsAbsolute(name) || NamesDrive(name)) return LEADS_OUT;
    const char* component = name;
    for (const char* p = name;; ++p) {
        if ((uint8_t(*p) < 0x20 && *p) || *p == 0x7F) return "its name holds control characters";
        if (ZEM::Platform::WINDOWS_NAMES && *p && std::strchr("<>:\"|?*", *p)) {
            return "its name holds a character that Windows refuses in names";
        }
        if (*p && !ZEM::Platform::IsSeparator(*p)) continue;
        const size_t length = size_t(p - component);
        const bool dot = length == 1 && component[0] == '.';
        if (length == 2 && component[0] == '.' && component[1] == '.') return LEADS_OUT;
        if (ZEM::Platform::WINDOWS_NAMES && length > 0 && !dot) {
            if (const char* why = WindowsRefuses(component, length)) return why;
        }
        if (!*p && dot) return "its name ends with '.', which names a folder: it is no file";
        if (!*p) return length > 0 ? nullptr : "its name ends with a separator: it is no file";
        component = p + 1;
    }
}

// ---- Extraction ----

// One extraction run: the folders on the way to the current member held open (a run of members
// in one folder enters it once), and the archive's bytes read ahead in large blocks.
struct ZEMArchive::Extractor {
    explicit Extractor(const ZEMArchive& archive) : archive(archive) {}

    bool Start();
    ExtractOutcome Into(unsigned index, const char* destDir, bool replace);
    ExtractOutcome Write(unsigned index, Folder& folder, const char* name, bool replace,
                         const std::string& path);

    const ZEMArchive& archive;
    Folder base;
    std::vector<std::string> names;            // the folders of the current path below base
    std::vector<std::unique_ptr<Folder>> path; // and their handles

private:
    ExtractOutcome Failed(const std::string& why) {
        archive.Failed(why);
        return ExtractOutcome::FAILED;
    }
    const char* Bytes(uint64_t offset, size_t size);
    bool Follow(const std::vector<std::string>& folders);

    std::unique_ptr<char[]> window;
    uint64_t windowStart = 0;
    size_t windowLength = 0;
};

bool ZEMArchive::Extractor::Start() {
    window.reset(new (std::nothrow) char[COPY_BLOCK]);
    if (!window) return archive.Failed("out of memory");
    // After WriteDirectory by a caller the file is read anew.
    if (!archive.readFile) {
        archive.readFile = ZEM::Stream::SharedFile::Open(archive.archivePath, "rb");
    }
    return archive.readFile || archive.Failed("cannot read the archive");
}

// size bytes (at most COPY_BLOCK) of the archive at offset; null when they cannot be read.
const char* ZEMArchive::Extractor::Bytes(uint64_t offset, size_t size) {
    if (offset >= windowStart && offset + size <= windowStart + windowLength) {
        return window.get() + (offset - windowStart);
    }
    ZEM::Stream::SharedFile& file = *archive.readFile;
    const uint64_t length = file.Length();
    if (offset + size > length) return nullptr;
    const size_t want = size_t(std::min<uint64_t>(COPY_BLOCK, length - offset));
    ZEM::Stream::SharedFile::Lock lock(file);
    windowStart = offset;
    windowLength = ZEM::Platform::ReadStreamAt(file.Handle(), offset, window.get(), want);
    // The member streams place the handle again before they read.
    file.user = nullptr;
    return windowLength >= size ? window.get() : nullptr;
}

// Makes path the folders below base, keeping those that the last member's path shares with it;
// the missing ones are made, a link or something else than a folder on the way is refused.
bool ZEMArchive::Extractor::Follow(const std::vector<std::string>& folders) {
    size_t kept = 0;
    while (kept < names.size() && kept < folders.size() && names[kept] == folders[kept])
        ++kept;
    names.resize(kept);
    path.resize(kept);
    for (size_t i = kept; i < folders.size(); ++i) {
        const std::string& part = folders[i];
        std::unique_ptr<Folder> child(new (std::nothrow) Folder);
        if (!child) return archive.Failed("out of memory");
        if (!child->Duplicate(path.empty() ? base : *path.back())) {
            return archive.Failed(SystemError("cannot enter the folder", child->Error()));
        }
        if (!child->Enter(part.c_str())) {
            const int error = child->Error();
            if (error == ELOOP)
                return archive.Failed(Quoted(part.c_str()) + " on the way is a link");
            if (error == ENOTDIR) {
                return archive.Failed(Quoted(part.c_str()) + " on the way is no folder");
            }
            return archive.Failed(
                SystemError("cannot make the folder " + Quoted(part.c_str()), error));
        }
        names.push_back(part);
        path.push_back(std::move(child));
    }
    return true;
}

ZEMArchive::ExtractOutcome ZEMArchive::Extractor::Into(unsigned index, const char* destDir,
                                                       bool replace) {
    const char* name = archive.entries[index]->name;
    const std::string damage = archive.Unextractable(index);
    if (!damage.empty()) return Failed(damage);
    if (const char* why = UnsafeName(name)) return Failed(why);
    std::vector<std::string> folders;
    std::string part;
    for (const char* p = name; *p; ++p) {
        if (!ZEM::Platform::IsSeparator(*p)) {
            part += *p;
            continue;
        }
        if (!part.empty() && part != ".") folders.push_back(part);
        part.clear();
    }
    if (!Follow(folders)) return ExtractOutcome::FAILED;
    return Write(index, path.empty() ? base : *path.back(), part.c_str(), replace,
                 ZEM::Platform::WithSeparator(destDir) + name);
}

// Writes the member's bytes to name in folder: a new name is created directly; an existing one
// is replaced (when replace) by a temporary file renamed over it, so that it is never seen half
// written and a link there is replaced, never written through. path is name's path, for the
// check that it is not the archive itself.
ZEMArchive::ExtractOutcome ZEMArchive::Extractor::Write(unsigned index, Folder& folder,
                                                        const char* name, bool replace,
                                                        const std::string& path) {
    const ArchiveEntry& entry = *archive.entries[index];
    File file;
    const bool fresh = file.CreateNew(folder, name);
    if (!fresh) {
        if (file.Error() != EEXIST) return Failed(SystemError("cannot write", file.Error()));
        if (!replace) {
            archive.Failed("a file, a folder or a link of that name exists");
            return ExtractOutcome::EXISTS;
        }
        // Renaming over the archive itself would replace it by the member.
        if (ZEM::Platform::SameFile(path.c_str(), archive.archivePath)) {
            return Failed("that is the archive itself");
        }
        if (!file.CreateTemp(folder)) return Failed(SystemError("cannot write", file.Error()));
    }
    std::string why;
    for (uint32_t done = 0; done < entry.size && why.empty();) {
        const size_t piece = std::min<size_t>(entry.size - done, COPY_BLOCK);
        const char* bytes = Bytes(uint64_t(entry.offset) + done, piece);
        if (!bytes) {
            why = "cannot read the member from the archive";
        } else if (!file.WriteAt(done, bytes, piece)) {
            why = SystemError("cannot write", file.Error());
        }
        done += uint32_t(piece);
    }
    // A date that cannot be set leaves the file whole: it is not worth a failure.
    if (why.empty() && entry.date) file.SetDate(entry.date);
    if (why.empty() && !fresh && !file.Publish(folder, name, true)) {
        why = SystemError("cannot write", file.Error());
    }
    if (why.empty()) return ExtractOutcome::WRITTEN;
    file.Close();
    // A new name written in part is taken away; an unpublished temporary goes with its handle.
    if (fresh) folder.Remove(name);
    return Failed(why);
}

bool ZEMArchive::ExtractFile(unsigned index, const char* destPath) const {
    lastError.clear();
    if (index >= entries.size() || !IsSet(destPath)) return Failed("no such member or no path");
    // Renaming over the archive itself would replace it by the member.
    if (ZEM::Platform::SameFile(destPath, archivePath)) return Failed("that is the archive itself");
    const std::string damage = Unextractable(index);
    if (!damage.empty()) return Failed(damage);
    Extractor run(*this);
    std::string name;
    if (!run.base.OpenParentOf(destPath, name)) {
        return Failed(SystemError("cannot enter its folder", run.base.Error()));
    }
    return run.Start() &&
           run.Write(index, run.base, name.c_str(), true, destPath) == ExtractOutcome::WRITTEN;
}

std::string ZEMArchive::Unextractable(unsigned index) const {
    const ArchiveEntry::Flaw flaw = entries[index]->flaw;
    if (flaw == ArchiveEntry::Flaw::NONE) return "";
    if (flaw != ArchiveEntry::Flaw::OUTSIDE_FILE && extractOverlaps) return "";
    return "damaged: " + Damage(index);
}

bool ZEMArchive::IsSafeName(const char* name) {
    return !UnsafeName(name);
}

bool ZEMArchive::ExtractMembers(const unsigned* indexes, size_t count, const char* destDir,
                                bool replace, const ExtractCallback& onMember) const {
    lastError.clear();
    if (!IsSet(destDir) || (count && !indexes)) return Failed("no folder or no members");
    Extractor run(*this);
    if (!run.base.Open(destDir)) {
        return Failed(SystemError("cannot enter the folder", run.base.Error()));
    }
    if (count && !run.Start()) return false;
    bool all = true;
    for (size_t k = 0; k < count; ++k) {
        const unsigned index = indexes[k];
        ExtractOutcome outcome = ExtractOutcome::FAILED;
        if (index < entries.size()) {
            outcome = run.Into(index, destDir, replace);
        } else {
            Failed("no such member");
        }
        all = all && outcome == ExtractOutcome::WRITTEN;
        if (onMember) onMember(index, outcome);
    }
    if (all) lastError.clear();
    return all;
}

bool ZEMArchive::ExtractInto(unsigned index, const char* destDir) const {
    return ExtractMembers(&index, 1, destDir, true);
}

bool ZEMArchive::ExtractAll(const char* destDir) const {
    lastError.clear();
    Folder folder;
    if (!IsSet(destDir) || !folder.Open(destDir)) {
        Failed(SystemError("cannot enter the folder " + Quoted(destDir), folder.Error()));
        return Told("cannot extract " + Quoted(archivePath));
    }
    std::vector<unsigned> all(entries.size());
    for (unsigned i = 0; i < all.size(); ++i)
        all[i] = i;
    // The caller hears only that the folder was there: the log names each member left out.
    ExtractMembers(all.data(), all.size(), destDir, true,
                   [this](unsigned index, ExtractOutcome outcome) {
                       if (outcome == ExtractOutcome::WRITTEN) return;
                       ZEM::LOG("ZEMArchive: %s not extracted: %s\n",
                                Quoted(entries[index]->name).c_str(), lastError.c_str());
                   });
    return true;
}
