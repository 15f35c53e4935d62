#include <zem/provider/ZEMArchive.h>

#include <zem/core/ZEMLog.h>
#include <zem/provider/ZEMArchPAK.h>
#include <zem/provider/ZEMArchZEM.h>
#include <zem/stream/ZEMPackFile.h>

#include "platform/ZEMPlatform.h"
#include "provider/ZEMArchiveInternal.h"
#include "stream/ZEMSharedFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <string_view>

using namespace ZEM::ArchiveInternal;
using ZEM::Platform::File;
using ZEM::Platform::Folder;

std::string ZEM::ArchiveInternal::Escaped(const char* text) {
    std::string shown;
    for (const char* p = text ? text : ""; *p; ++p) {
        const uint8_t c = uint8_t(*p);
        if (c >= 0x20 && c != 0x7F) {
            shown += *p;
            continue;
        }
        char escape[8];
        snprintf(escape, sizeof escape, "\\x%02X", c);
        shown += escape;
    }
    return shown;
}

std::string ZEM::ArchiveInternal::OpenError(int error) {
    if (error == EINVAL) return "not a regular file";
    if (error == EISDIR) return "a folder, not an archive";
    return SystemError("cannot open it", error);
}

std::string ZEM::ArchiveInternal::LockError(int error) {
    if (error == EWOULDBLOCK) return "locked by another editor (waited for it in vain)";
    return SystemError("cannot lock it", error);
}

namespace {

// A member's bytes lie past the header and inside the file; an empty one is at most at its end.
bool InsideFile(const ZEMArchive::ArchiveEntry& entry, uint64_t fileSize) {
    const uint64_t end = uint64_t(entry.offset) + entry.size;
    if (entry.size == 0) return entry.offset <= fileSize;
    return entry.offset >= 12 && end <= fileSize;
}

using Flaw = ZEMArchive::ArchiveEntry::Flaw;

void Mark(ZEMArchive::ArchiveEntry& entry, Flaw flaw, uint32_t other = 0) {
    if (entry.flaw != Flaw::NONE) return;
    entry.flaw = flaw;
    entry.overlapped = other;
}

// Marks the members whose bytes overlap the directory's or another member's: sorted by offset,
// a member overlaps another when it starts before the furthest end of those before it.
void MarkOverlaps(std::vector<ZEMArchive::ArchiveEntry*>& list, uint32_t dirOffset,
                  uint64_t dirBytes) {
    std::vector<uint32_t> order;
    for (uint32_t i = 0; i < list.size(); ++i) {
        if (list[i]->size > 0 && list[i]->flaw == Flaw::NONE) order.push_back(i);
    }
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return list[a]->offset < list[b]->offset; });
    const uint64_t dirEnd = dirOffset + dirBytes;
    uint32_t furthest = NO_INDEX;
    for (uint32_t i : order) {
        ZEMArchive::ArchiveEntry& entry = *list[i];
        if (dirBytes > 0 && entry.offset < dirEnd && MemberEnd(entry) > dirOffset) {
            Mark(entry, Flaw::ON_DIRECTORY);
        }
        if (furthest != NO_INDEX && entry.offset < MemberEnd(*list[furthest])) {
            Mark(entry, Flaw::ON_MEMBER, furthest);
            Mark(*list[furthest], Flaw::ON_MEMBER, i);
        }
        if (furthest == NO_INDEX || MemberEnd(entry) > MemberEnd(*list[furthest])) furthest = i;
    }
}

} // namespace

// ---- Format detection ----

int ZEMArchive::FindArchiveFormat(const char* path) {
    // Only regular files: a FIFO or a device would block the read or never end.
    File file;
    uint8_t head[30] = {};
    uint64_t size = 0;
    if (!file.OpenRead(path) || !file.Size(size) || file.ReadSome(0, head, sizeof head) == 0) {
        return 0;
    }
    file.Close();
    static const struct {
        const char* magic;
        size_t length;
        int format;
    } MAGICS[] = {
        {"ZEMA", 4, 1},     {"PACK", 4, 2},       {"rass", 4, 7},
        {"BIFFV1  ", 8, 4}, {"PK\x03\x04", 4, 8}, {"Copyright (c) 1997 Ensemble", 27, 6},
    };
    for (const auto& known : MAGICS) {
        if (memcmp(head, known.magic, known.length) == 0) return known.format;
    }
    uint32_t count = uint32_t(head[0]) | uint32_t(head[1]) << 8;
    if (uint32_t(size) == 12 * count + 6 + GetLE32(head + 2) && size <= UINT32_MAX) return 5;
    return 0;
}

ZEMArchive* ZEMArchive::OpenArchive(const char* path) {
    std::string why;
    return OpenArchive(path, why);
}

ZEMArchive* ZEMArchive::OpenArchive(const char* path, std::string& why) {
    ZEMArchive* archive = nullptr;
    const int format = FindArchiveFormat(path);
    switch (format) {
    case 1:
        archive = new (std::nothrow) ZEMArchZEM;
        break;
    case 2:
        archive = new (std::nothrow) ZEMArchPAK;
        break;
    case 0:
        why = "not an archive this library reads (ZEM or PAK), or unreadable";
        return nullptr;
    default:
        why = "an archive of a kind this library knows but does not read (format " +
              std::to_string(format) + ")";
        return nullptr;
    }
    if (!archive) {
        why = "out of memory";
        return nullptr;
    }
    if (!archive->Open(path)) {
        why = archive->LastError();
        delete archive;
        return nullptr;
    }
    return archive;
}

// ---- Life cycle ----

ZEMArchive::ZEMArchive(int format) : format(format) {}

ZEMArchive::~ZEMArchive() {
    ClearEntries();
    delete[] archivePath;
    DropReadFile();
}

void ZEMArchive::Close() {
    DropReadFile();
    delete[] archivePath;
    archivePath = nullptr;
    ClearEntries();
    dataEnd = HEADER_SIZE;
}

void ZEMArchive::ClearEntries() {
    for (ArchiveEntry* entry : entries)
        DeleteEntry(entry);
    entries.clear();
    entries.shrink_to_fit();
    EntriesChanged();
}

void ZEMArchive::SetName(const char* path) {
    if (!IsSet(path)) return;
    const std::string absolute = ZEM::Platform::AbsolutePath(path);
    char* copy = CopyText(absolute.c_str(), absolute.size());
    if (!copy) return;
    DropReadFile();
    delete[] archivePath;
    archivePath = copy;
}

void ZEMArchive::DropReadFile() const {
    if (readFile) readFile->Release();
    readFile = nullptr;
    known.valid = false;
}

bool ZEMArchive::Failed(const std::string& why) const {
    lastError = why;
    return false;
}

bool ZEMArchive::Told(const std::string& what) const {
    ZEM::LOG("ZEMArchive: %s: %s\n", what.c_str(), lastError.c_str());
    return false;
}

void ZEMArchive::TakeReadFile(File& file, FileState state) const {
    DropReadFile();
    readFile = ZEM::Stream::SharedFile::Adopt(file.ReadStream());
    known = std::move(state);
}

namespace {

// The dirBytes bytes at offset in file, read into records (false when they cannot be).
bool ReadRecords(File& file, uint64_t offset, uint64_t dirBytes, std::vector<uint8_t>& records) {
    uint64_t size = 0;
    if (!file.Size(size) || offset + dirBytes > size) return false;
    try {
        records.resize(size_t(dirBytes));
    } catch (const std::exception&) {
        return false;
    }
    return dirBytes == 0 || file.ReadAt(offset, records.data(), records.size());
}

} // namespace

// The header of file and the records of the directory it names.
ZEMArchive::FileState ZEMArchive::Stamp(File& file) const {
    FileState state;
    uint64_t dirBytes = 0;
    std::string why;
    state.valid = file.ReadAt(0, state.header, HEADER_SIZE) &&
                  DecodeHeader(state.header, state.dirOffset, dirBytes, state.count, why) &&
                  ReadRecords(file, state.dirOffset, dirBytes, state.records);
    return state;
}

// Whether file holds, under the same header, the records this object read or wrote last: then no
// other program changed a member since. Identities, sizes and dates of files can come back after
// a change; the records themselves tell.
bool ZEMArchive::Unchanged(File& file) const {
    const FileState now = Stamp(file);
    return known.valid && now.valid && memcmp(now.header, known.header, HEADER_SIZE) == 0 &&
           now.records == known.records;
}

bool ZEMArchive::Load(const char* path) {
    lastError.clear();
    if (!IsSet(path)) return Failed("no path given");
    // A file replaced while this waited for the lock is read anew, until the lock's time runs out.
    const Deadline deadline(lockTimeout);
    for (bool first = true; first || !deadline.Passed(); first = false) {
        File file;
        if (!file.OpenRead(path)) return Failed(OpenError(file.Error()));
        if (!file.Lock(false, deadline.Left())) return Failed(LockError(file.Error()));
        Directory directory;
        if (!ReadDirectory(file, directory)) return false;
        if (!file.IsAt(path)) continue;
        file.Unlock();
        Close();
        SetName(path);
        Adopt(directory, file);
        LogDamage();
        return true;
    }
    return Failed("replaced by other programs again and again while it was read");
}

// Reads the header and the directory from file and checks the layout.
bool ZEMArchive::ReadDirectory(File& file, Directory& directory) const {
    uint8_t header[HEADER_SIZE];
    uint32_t count = 0;
    std::string why;
    if (!file.Size(directory.fileSize)) return Failed(SystemError("cannot read it", file.Error()));
    if (directory.fileSize < HEADER_SIZE || !file.ReadAt(0, header, HEADER_SIZE)) {
        return Failed("too short for an archive header");
    }
    uint64_t dirBytes = 0;
    if (!DecodeHeader(header, directory.offset, dirBytes, count, why)) return Failed(why);
    if (directory.offset + dirBytes > directory.fileSize) {
        return Failed("damaged: its directory (" + std::to_string(dirBytes) + " bytes at offset " +
                      std::to_string(directory.offset) + ") does not lie inside the file (" +
                      std::to_string(directory.fileSize) + " bytes)");
    }
    if (count > 0 && directory.offset < HEADER_SIZE) {
        return Failed("damaged: its directory overlaps the header");
    }
    std::vector<ArchiveEntry*>& list = directory.entries;
    try {
        list.reserve(count);
    } catch (const std::exception&) {
        return Failed("out of memory for its directory");
    }
    // The bytes the entries come from are kept: an edit compares them with what the file holds
    // then, to tell whether another program changed it meanwhile.
    FileState& state = directory.state;
    memcpy(state.header, header, HEADER_SIZE);
    state.dirOffset = directory.offset;
    state.count = count;
    if (!ReadRecords(file, directory.offset, dirBytes, state.records)) {
        return Failed(SystemError("cannot read its directory", file.Error()));
    }
    state.valid = true;
    const unsigned recordSize = RecordSize();
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* record = state.records.data() + uint64_t(i) * recordSize;
        std::unique_ptr<ArchiveEntry> entry(new (std::nothrow) ArchiveEntry);
        if (!entry) return Failed("out of memory for its directory");
        entry->name = CopyText(reinterpret_cast<const char*>(record), DecodeRecord(record, *entry));
        entry->sortIndex = i;
        if (!entry->name) return Failed("out of memory for its directory");
        list.push_back(entry.release());
        if (!InsideFile(*list.back(), directory.fileSize)) {
            list.back()->flaw = ArchiveEntry::Flaw::OUTSIDE_FILE;
        }
    }
    MarkOverlaps(list, directory.offset, dirBytes);
    return true;
}

// The directory read from file becomes the object's, and file its read handle.
void ZEMArchive::Adopt(Directory& directory, File& file) {
    ClearEntries();
    entries.swap(directory.entries);
    EntriesChanged();
    dataEnd = HEADER_SIZE;
    for (const ArchiveEntry* entry : entries)
        dataEnd = std::max(dataEnd, MemberEnd(*entry));
    TakeReadFile(file, std::move(directory.state));
}

std::string ZEM::ArchiveInternal::DamageText(const std::vector<ZEMArchive::ArchiveEntry*>& list,
                                             unsigned index) {
    const ZEMArchive::ArchiveEntry& entry = *list[index];
    switch (entry.flaw) {
    case Flaw::NONE:
        break;
    case Flaw::OUTSIDE_FILE:
        return "its bytes (offset " + std::to_string(entry.offset) + ", " +
               std::to_string(entry.size) + " bytes) do not lie inside the file past its header";
    case Flaw::ON_DIRECTORY:
        return "its bytes overlap the directory";
    case Flaw::ON_MEMBER:
        return "its bytes overlap those of " + Quoted(list[entry.overlapped]->name);
    }
    return "";
}

std::string ZEMArchive::Damage(unsigned index) const {
    return index < entries.size() ? DamageText(entries, index) : "";
}

// One line for the damaged members of an archive just opened: how many, and the first.
void ZEMArchive::LogDamage() const {
    size_t damaged = 0;
    unsigned first = 0;
    for (unsigned i = unsigned(entries.size()); i-- > 0;) {
        if (entries[i]->flaw == Flaw::NONE) continue;
        ++damaged;
        first = i;
    }
    if (damaged == 0) return;
    ZEM::LOG("ZEMArchive: %s: %u of %u members damaged, the first %s: %s\n",
             Quoted(archivePath).c_str(), unsigned(damaged), NbFiles(),
             Quoted(entries[first]->name).c_str(), Damage(first).c_str());
}

// ---- Listing ----

int ZEMArchive::CompareFunc(const ZEMSortableItem* a, const ZEMSortableItem* b) const {
    const ArchiveEntry* x = static_cast<const ArchiveEntry*>(a);
    const ArchiveEntry* y = static_cast<const ArchiveEntry*>(b);
    return CompareFields(x->name, x->size, x->date, y->name, y->size, y->date);
}

namespace {

size_t HashName(const char* name) {
    return std::hash<std::string_view>()(std::string_view(name));
}

} // namespace

void ZEMArchive::BuildIndex() const {
    size_t slots = 16;
    while (slots < 2 * entries.size())
        slots *= 2;
    nameIndex.assign(slots, NO_INDEX);
    const size_t mask = slots - 1;
    for (size_t i = 0; i < entries.size(); ++i) {
        const char* name = entries[i]->name;
        size_t slot = HashName(name) & mask;
        while (nameIndex[slot] != NO_INDEX && strcmp(entries[nameIndex[slot]]->name, name) != 0)
            slot = (slot + 1) & mask;
        // A name stored twice keeps its first storage index.
        if (nameIndex[slot] == NO_INDEX) nameIndex[slot] = uint32_t(i);
    }
    nameIndexValid = true;
}

unsigned ZEMArchive::FindFile(const char* name) const {
    if (!name) return NO_INDEX;
    if (!nameIndexValid) {
        try {
            BuildIndex();
        } catch (const std::bad_alloc&) {
            nameIndex.clear();
            for (size_t i = 0; i < entries.size(); ++i) {
                if (strcmp(entries[i]->name, name) == 0) return unsigned(i);
            }
            return NO_INDEX;
        }
    }
    const size_t mask = nameIndex.size() - 1;
    for (size_t slot = HashName(name) & mask;; slot = (slot + 1) & mask) {
        const uint32_t index = nameIndex[slot];
        if (index == NO_INDEX || strcmp(entries[index]->name, name) == 0) return index;
    }
}

ZEMResFile* ZEMArchive::OpenFile(const char* name) const {
    unsigned index = FindFile(name);
    return index == NO_INDEX ? nullptr : OpenResFile(index);
}

ZEMResFile* ZEMArchive::OpenFile(const iterator& it) const {
    return OpenResFile(it.Index());
}

bool ZEMArchive::CopyFile(const char* name, const char* destPath) const {
    unsigned index = FindFile(name);
    return index != NO_INDEX && ExtractFile(index, destPath);
}

unsigned ZEMArchive::TotalSize() const {
    uint32_t total = 0;
    for (const ArchiveEntry* entry : entries)
        total += entry->size;
    return total;
}

uint64_t ZEMArchive::LiveBytes(const ArchiveEntry* const* list, size_t count) const {
    uint64_t live = HEADER_SIZE + uint64_t(count) * RecordSize();
    for (size_t i = 0; i < count; ++i)
        live += list[i]->size;
    return live;
}

uint64_t ZEMArchive::DeadSpace() const {
    if (!archivePath) return 0;
    if (!readFile) readFile = ZEM::Stream::SharedFile::Open(archivePath, "rb");
    if (!readFile) return 0;
    const uint64_t live = LiveBytes(entries.data(), entries.size());
    return readFile->Length() > live ? readFile->Length() - live : 0;
}

// ---- Members ----

ZEMResFile* ZEMArchive::OpenResFile(unsigned index) const {
    if (index >= entries.size()) return nullptr;
    const ArchiveEntry& entry = *entries[index];
    if (entry.flaw == Flaw::OUTSIDE_FILE) return nullptr;
    // After WriteDirectory by a caller the file is read anew.
    if (!readFile) readFile = ZEM::Stream::SharedFile::Open(archivePath, "rb");
    ZEMPackFile* stream = new (std::nothrow) ZEMPackFile(nullptr, 0, 0, 0);
    if (stream &&
        !stream->OpenShared(readFile, archivePath, entry.offset, MemberEnd(entry), entry.name)) {
        delete stream;
        return nullptr;
    }
    return stream;
}

// ---- Dumps ----

void ZEMArchive::PrintContent() const {
    if (entries.empty()) {
        ZEM::LOG("No files in archive.\n");
        return;
    }
    const char* separator = "+------------------------------------------+------------+-----------"
                            "-+------------------+";
    ZEM::LOG("%s\n", separator);
    ZEM::LOG("|                  Files                   |     Size   |    Start   |       Date"
             "       |\n");
    ZEM::LOG("%s\n", separator);
    for (const ArchiveEntry* entry : entries) {
        time_t date = entry->date;
        struct tm local = {};
        if (struct tm* converted = localtime(&date)) local = *converted;
        ZEM::LOG("| %-40s | %10u | %10u | %2d/%2d/%4d %2d:%02d |\n", Escaped(entry->name).c_str(),
                 entry->size, entry->offset, local.tm_mday, local.tm_mon + 1, local.tm_year + 1900,
                 local.tm_hour, local.tm_min);
    }
    ZEM::LOG("%s\n", separator);
    ZEM::LOG("  Total: %u files, %u bytes.\n", unsigned(entries.size()), TotalSize());
}

void ZEMArchive::PrintInfo() const {
    ZEM::LOG("Archive %s (%d entries)\n", archivePath ? archivePath : "(null)", int(NbFiles()));
    for (const ArchiveEntry* entry : entries) {
        ZEM::LOG("  %-40s   %6u bytes   date=%10u   R(%3u)\n", Escaped(entry->name).c_str(),
                 entry->size, entry->date, entry->sortIndex);
    }
    ZEM::LOG("\n");
}
