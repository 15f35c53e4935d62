#ifndef ZEM_PROVIDER_ZEMARCHIVEINTERNAL_H
#define ZEM_PROVIDER_ZEMARCHIVEINTERNAL_H

// What the archive's reading, editing and extraction share.

#include <zem/provider/ZEMArchive.h>

#include "platform/ZEMPlatform.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace ZEM {
namespace ArchiveInternal {

constexpr unsigned NO_INDEX = 0xFFFFFFFFu;
// Records encoded or decoded per transfer.
constexpr unsigned RECORDS_PER_BLOCK = 64;
constexpr unsigned MAX_RECORD_SIZE = 64;
// Bytes of member data read or written at once when members are copied or extracted: members
// that follow one another move in one transfer.
constexpr size_t COPY_BLOCK = 1024 * 1024;
// Below this many members before an add, the add writes the whole directory anew and leaves no
// room behind it: the directory is small, and one batch into an empty archive has no dead space.
constexpr size_t GROW_FROM = 8;

// The end of the time given to wait for a lock.
class Deadline {
public:
    explicit Deadline(unsigned milliseconds)
        : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds)) {}
    bool Passed() const { return std::chrono::steady_clock::now() >= end_; }
    // Milliseconds left; 0 once passed.
    unsigned Left() const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end_ - std::chrono::steady_clock::now());
        return left.count() > 0 ? unsigned(left.count()) : 0;
    }

private:
    std::chrono::steady_clock::time_point end_;
};

inline bool IsSet(const char* s) {
    return s && *s;
}

// A name as messages and listings show it: control characters as \xHH escapes, which would
// otherwise drive the terminal.
std::string Escaped(const char* text);

inline std::string Quoted(const char* text) {
    return "'" + Escaped(text) + "'";
}

inline std::string SystemError(const std::string& what, int error) {
    return error ? what + ": " + Platform::ErrorText(error) : what;
}

std::string OpenError(int error);

// Why the member at index in list is damaged, "" when it is not.
std::string DamageText(const std::vector<ZEMArchive::ArchiveEntry*>& list, unsigned index);

// Why a member name cannot be extracted safely into a folder here; null when it can.
const char* UnsafeName(const char* name);
std::string LockError(int error);

inline char* CopyText(const char* text, size_t length) {
    char* copy = new (std::nothrow) char[length + 1];
    if (!copy) return nullptr;
    memcpy(copy, text, length);
    copy[length] = 0;
    return copy;
}

inline void DeleteEntry(ZEMArchive::ArchiveEntry* entry) {
    if (!entry) return;
    delete[] entry->name;
    delete entry;
}

// A member's end in the file, kept within 32 bits for a hostile size.
inline uint32_t MemberEnd(const ZEMArchive::ArchiveEntry& entry) {
    uint64_t end = uint64_t(entry.offset) + entry.size;
    return end > UINT32_MAX ? UINT32_MAX : uint32_t(end);
}

} // namespace ArchiveInternal
} // namespace ZEM

// A directory as read from an archive file; owns its entries until they are taken.
struct ZEMArchive::Directory {
    std::vector<ArchiveEntry*> entries;
    uint32_t offset = 0;   // of the records
    uint64_t fileSize = 0; // of the file it was read from
    FileState state;       // the header and the records the entries were read from
    Directory() = default;
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;
    ~Directory() {
        for (ArchiveEntry* entry : entries)
            ZEM::ArchiveInternal::DeleteEntry(entry);
    }
};

// Files to append: their paths, the names to store them under (either array may hold nulls),
// whether names are kept as given (folders included) or cut to their last component, and who
// hears of each file.
struct ZEMArchive::Sources {
    const char* const* paths;
    const char* const* names;
    unsigned count;
    bool asGiven;
    const AddCallback* onFile;
};

// An edit in progress: the archive file, locked for this editor, and its directory as the file
// holds it.
struct ZEMArchive::Edit {
    ZEM::Platform::File file;
    Directory current;
    bool unchanged = false; // the file is as this object left it: current was not read
};

#endif
