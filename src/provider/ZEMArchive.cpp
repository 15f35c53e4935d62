#include <zem/provider/ZEMArchive.h>

#include <zem/core/ZEMLog.h>
#include <zem/provider/ZEMArchPAK.h>
#include <zem/provider/ZEMArchZEM.h>
#include <zem/provider/ZEMFileUtils.h>
#include <zem/stream/ZEMFile.h>
#include <zem/stream/ZEMPackFile.h>

#include "platform/ZEMPlatform.h"
#include "stream/ZEMSharedFile.h"

#include <climits>
#include <cstring>
#include <ctime>
#include <exception>
#include <memory>
#include <new>
#include <string>

namespace {

constexpr unsigned NO_INDEX = 0xFFFFFFFFu;
// The fixed file through which removing and replacing rebuild an archive, in the working
// directory.
constexpr const char* TEMP_NAME = "ZEMARCH.TMP";
// Records encoded or decoded per transfer.
constexpr unsigned RECORDS_PER_BLOCK = 64;
constexpr unsigned MAX_RECORD_SIZE = 64;

bool IsSet(const char* s) {
    return s && *s;
}

// Whether the bytes written so far reached the file: a seek writes out what is buffered and
// fails when that fails.
bool Flushed(ZEMResFile& file) {
    return file.Seek(0, 1);
}

// The last component of name cut to limit characters; null when name is empty or ends with a
// separator.
const char* BaseName(const char* name, unsigned limit, unsigned& length) {
    if (!IsSet(name)) return nullptr;
    const char* base = name;
    for (const char* p = name; *p; ++p) {
        if (ZEM::Platform::IsSeparator(*p)) base = p + 1;
    }
    if (!*base) return nullptr;
    length = static_cast<unsigned>(strnlen(base, limit));
    return base;
}

char* CopyText(const char* text, size_t length) {
    char* copy = new (std::nothrow) char[length + 1];
    if (!copy) return nullptr;
    memcpy(copy, text, length);
    copy[length] = 0;
    return copy;
}

void DeleteEntry(ZEMArchive::ArchiveEntry* entry) {
    if (!entry) return;
    delete[] entry->name;
    delete entry;
}

// Creates the folders that lead to the file path, below its first `keep` characters.
void MakeParents(const std::string& path, size_t keep) {
    for (size_t i = keep; i < path.size(); ++i) {
        if (!ZEM::Platform::IsSeparator(path[i])) continue;
        std::string dir = path.substr(0, i);
        if (!ZEMFileUtils::IsDir(dir.c_str())) ZEMFileUtils::DirCreate(dir.c_str());
    }
}

// A member's end in the file, kept within 32 bits for a hostile size.
uint32_t MemberEnd(const ZEMArchive::ArchiveEntry& entry) {
    uint64_t end = uint64_t(entry.offset) + entry.size;
    return end > UINT32_MAX ? UINT32_MAX : uint32_t(end);
}

// Size and date of a source to add, opened and checked to hold at least one byte.
bool OpenSource(const char* srcPath, ZEMFile& source, uint32_t& size, uint32_t& date) {
    ZEM::Platform::FileStatus status;
    if (!IsSet(srcPath) || !ZEM::Platform::Status(srcPath, status)) return false;
    if (status.size > UINT32_MAX) return false;
    uint8_t first;
    if (!source.Open(srcPath, ZEMResFile::READ) || source.Read(&first, 1) != 1) return false;
    source.SeekStart();
    size = uint32_t(status.size);
    date = status.mtime;
    return source.IsOK();
}

} // namespace

// ---- Format detection ----

int ZEMArchive::FindArchiveFormat(const char* path) {
    ZEMFile file(path, ZEMResFile::READ);
    if (!file.IsOK()) return 0;
    uint8_t head[30] = {};
    if (file.Read(head, sizeof head) == 0) return 0;
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
    if (ZEMFileUtils::FileSize(path) == 12 * count + 6 + GetLE32(head + 2)) return 5;
    return 0;
}

ZEMArchive* ZEMArchive::OpenArchive(const char* path) {
    ZEMArchive* archive = nullptr;
    switch (FindArchiveFormat(path)) {
    case 1:
        archive = new (std::nothrow) ZEMArchZEM;
        break;
    case 2:
        archive = new (std::nothrow) ZEMArchPAK;
        break;
    default:
        return nullptr;
    }
    if (archive && !archive->Open(path)) {
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
}

bool ZEMArchive::CreateEmpty(const char* path) {
    if (!path || ZEMFileUtils::FileExist(path)) return false;
    ZEMFile file(path, ZEMResFile::WRITE);
    if (!file.IsOK()) return false;
    uint8_t header[HEADER_SIZE];
    EncodeHeader(header, HEADER_SIZE, 0);
    bool written = file.Write(header, HEADER_SIZE) == HEADER_SIZE && Flushed(file);
    file.Close();
    if (!written) {
        ZEMFileUtils::FileRemove(path);
        return false;
    }
    Close();
    SetName(path);
    return true;
}

bool ZEMArchive::ReadHeader(ZEMFile& file, const char* path, const char* magic, uint32_t& first,
                            uint32_t& second, uint64_t& fileSize) {
    uint8_t header[HEADER_SIZE];
    // A header cut short is refused rather than read as zeros.
    if (!IsSet(path) || !file.Open(path, ZEMResFile::READ) ||
        file.Read(header, HEADER_SIZE) != HEADER_SIZE || memcmp(header, magic, 4) != 0) {
        return false;
    }
    first = GetLE32(header + 4);
    second = GetLE32(header + 8);
    file.SeekEnd();
    fileSize = file.GetPos();
    return true;
}

bool ZEMArchive::LoadDirectory(ZEMResFile& file, uint32_t count, const char* path) {
    const unsigned recordSize = RecordSize();
    std::vector<ArchiveEntry*> loaded;
    try {
        loaded.reserve(count);
    } catch (const std::exception&) {
        return false;
    }
    uint8_t block[RECORDS_PER_BLOCK * MAX_RECORD_SIZE];
    bool complete = true;
    for (uint32_t i = 0; i < count && complete; ++i) {
        unsigned slot = i % RECORDS_PER_BLOCK;
        if (slot == 0) {
            uint32_t records = count - i < RECORDS_PER_BLOCK ? count - i : RECORDS_PER_BLOCK;
            unsigned got = file.Read(block, records * recordSize);
            // Bytes that cannot be read count as zeros.
            memset(block + got, 0, records * recordSize - got);
        }
        const uint8_t* record = block + slot * recordSize;
        ArchiveEntry* entry = new (std::nothrow) ArchiveEntry;
        if (entry) {
            entry->name =
                CopyText(reinterpret_cast<const char*>(record), DecodeRecord(record, *entry));
            entry->sortIndex = i;
        }
        complete = entry && entry->name;
        if (complete) {
            loaded.push_back(entry);
        } else {
            DeleteEntry(entry);
        }
    }
    if (!complete) {
        for (ArchiveEntry* entry : loaded)
            DeleteEntry(entry);
        return false;
    }
    Close();
    entries.swap(loaded);
    SetName(path);
    return true;
}

// ---- Listing ----

int ZEMArchive::CompareFunc(const ZEMSortableItem* a, const ZEMSortableItem* b) const {
    const ArchiveEntry* x = static_cast<const ArchiveEntry*>(a);
    const ArchiveEntry* y = static_cast<const ArchiveEntry*>(b);
    return CompareFields(x->name, x->size, x->date, y->name, y->size, y->date);
}

void ZEMArchive::BuildIndex() const {
    nameIndex.clear();
    nameIndex.reserve(entries.size());
    // emplace keeps the first storage index of a name that is stored twice.
    for (size_t i = 0; i < entries.size(); ++i)
        nameIndex.emplace(entries[i]->name, uint32_t(i));
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
    auto found = nameIndex.find(name);
    return found == nameIndex.end() ? NO_INDEX : found->second;
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

// ---- Members ----

bool ZEMArchive::SeekTo(ZEMResFile& file, uint32_t offset) {
    if (offset <= uint32_t(INT_MAX)) return file.Seek(int(offset), 0);
    return file.Seek(INT_MAX, 0) && file.Seek(int(offset - uint32_t(INT_MAX)), 1);
}

ZEMResFile* ZEMArchive::OpenResFile(unsigned index) const {
    if (index >= entries.size()) return nullptr;
    const ArchiveEntry& entry = *entries[index];
    // A handle per member would cost an open, a status and a close for every member read.
    if (!readFile) readFile = ZEM::Stream::SharedFile::Open(archivePath, "rb");
    ZEMPackFile* stream = new (std::nothrow) ZEMPackFile(nullptr, 0, 0, 0);
    if (stream &&
        !stream->OpenShared(readFile, archivePath, entry.offset, MemberEnd(entry), entry.name)) {
        delete stream;
        return nullptr;
    }
    return stream;
}

bool ZEMArchive::ExtractFile(unsigned index, const char* destPath) const {
    if (index >= entries.size() || !IsSet(destPath)) return false;
    // Opening the archive itself for writing would empty it before the member is read.
    if (ZEM::Platform::SameFile(destPath, archivePath)) return false;
    ZEMFile dest(destPath, ZEMResFile::WRITE);
    if (!dest.IsOK()) return false;
    const ArchiveEntry& entry = *entries[index];
    ZEMFile archive(archivePath, ZEMResFile::READ);
    SeekTo(archive, entry.offset);
    return ZEMFileUtils::CopyData(&archive, &dest, entry.size) == entry.size;
}

bool ZEMArchive::IsSafeName(const char* name) {
    if (!IsSet(name) || ZEMFileUtils::IsAbsolute(name)) return false;
    const char* component = name;
    for (const char* p = name;; ++p) {
        if (*p && !ZEM::Platform::IsSeparator(*p)) continue;
        if (p - component == 2 && component[0] == '.' && component[1] == '.') return false;
        if (!*p) return true;
        component = p + 1;
    }
}

bool ZEMArchive::ExtractInto(unsigned index, const char* destDir) const {
    if (index >= entries.size() || !IsSet(destDir) || !IsSafeName(entries[index]->name)) {
        return false;
    }
    std::string target = ZEM::Platform::WithSeparator(destDir);
    const size_t keep = target.size();
    target += entries[index]->name;
    MakeParents(target, keep);
    return ExtractFile(index, target.c_str());
}

bool ZEMArchive::ExtractAll(const char* destDir) const {
    if (!destDir || !ZEMFileUtils::IsDir(destDir)) return false;
    for (unsigned i = 0; i < entries.size(); ++i)
        ExtractInto(i, destDir);
    return true;
}

// ---- Editing ----

bool ZEMArchive::OpenForEdit(ZEMFile& archive) const {
    // Opening for reading and writing would create a vanished archive anew.
    if (!ZEMFileUtils::FileExist(archivePath)) return false;
    return archive.Open(archivePath, ZEMResFile::READ | ZEMResFile::WRITE);
}

unsigned ZEMArchive::AddFile(const char* srcPath, const char* storeName) {
    unsigned index = NO_INDEX;
    if (AddFiles(&srcPath, &storeName, 1, [&index](unsigned, unsigned added) { index = added; }) ==
        0) {
        return NO_INDEX;
    }
    return index;
}

unsigned ZEMArchive::AddFiles(const char* const* srcPaths, const char* const* storeNames,
                              unsigned count, const AddCallback& onFile) {
    if (!srcPaths) return 0;
    const size_t oldCount = entries.size();
    const uint32_t oldEnd = dataEnd;
    ZEMFile archive(nullptr, 0);
    bool opened = false;
    unsigned added = 0;
    for (unsigned k = 0; k < count; ++k) {
        const char* storeName = storeNames ? storeNames[k] : nullptr;
        unsigned index = AppendFile(archive, opened, srcPaths[k], storeName);
        if (index != NO_INDEX) ++added;
        if (onFile) onFile(k, index);
    }
    if (!opened) return added;
    // The directory goes behind the new members, over whatever a failed copy left there.
    if (WriteDirectory(archive)) return added;
    // Put back the directory that the new members overwrote.
    for (size_t i = oldCount; i < entries.size(); ++i)
        DeleteEntry(entries[i]);
    entries.resize(oldCount);
    EntriesChanged();
    dataEnd = oldEnd;
    WriteDirectory(archive);
    return 0;
}

// Copies one source behind the member data; the directory is left for the caller to write.
unsigned ZEMArchive::AppendFile(ZEMFile& archive, bool& opened, const char* srcPath,
                                const char* storeName) {
    ZEMFile source(nullptr, 0);
    uint32_t size = 0;
    uint32_t date = 0;
    unsigned length = 0;
    const char* base = BaseName(storeName ? storeName : srcPath, NameLength(), length);
    if (!base || !archivePath || !OpenSource(srcPath, source, size, date)) return NO_INDEX;
    // Adding the archive to itself would read back what is being written.
    if (ZEM::Platform::SameFile(srcPath, archivePath)) return NO_INDEX;
    // Offsets and the directory must stay addressable in 32 bits.
    uint64_t end = uint64_t(dataEnd) + size + uint64_t(entries.size() + 1) * RecordSize();
    if (end > UINT32_MAX) return NO_INDEX;
    if (!opened && !(opened = OpenForEdit(archive))) return NO_INDEX;

    std::unique_ptr<ArchiveEntry> entry(new (std::nothrow) ArchiveEntry);
    if (!entry) return NO_INDEX;
    entry->name = CopyText(base, length);
    entry->size = size;
    entry->offset = dataEnd;
    entry->date = StoresDates() ? date : 0;
    entry->sortIndex = uint32_t(entries.size());
    if (!entry->name || !SeekTo(archive, entry->offset) ||
        ZEMFileUtils::CopyData(&source, &archive, size) != size) {
        delete[] entry->name;
        return NO_INDEX;
    }
    entries.push_back(entry.release());
    EntriesChanged();
    dataEnd += size;
    return unsigned(entries.size() - 1);
}

bool ZEMArchive::RenameFile(unsigned index, const char* newName) {
    unsigned length = 0;
    const char* base = BaseName(newName, NameLength(), length);
    if (index >= entries.size() || !base) return false;
    char* name = CopyText(base, length);
    ZEMFile archive(nullptr, 0);
    if (!name || !OpenForEdit(archive)) {
        delete[] name;
        return false;
    }
    ArchiveEntry& entry = *entries[index];
    std::swap(entry.name, name);
    EntriesChanged();
    if (WriteDirectory(archive)) {
        delete[] name;
        return true;
    }
    // The file keeps the old name, and so does the directory in memory.
    std::swap(entry.name, name);
    delete[] name;
    WriteDirectory(archive);
    return false;
}

bool ZEMArchive::RemoveFile(unsigned index) {
    if (index >= entries.size()) return false;
    return Rebuild(index, nullptr, 0, 0);
}

bool ZEMArchive::UpdateFile(unsigned index, const char* srcPath) {
    if (index >= entries.size() || !IsSet(srcPath)) return false;
    // The rebuild empties the temporary file first: it cannot be the source.
    if (ZEM::Platform::SameFile(srcPath, TEMP_NAME)) return false;
    ZEMFile source(nullptr, 0);
    uint32_t size = 0;
    uint32_t date = 0;
    if (!OpenSource(srcPath, source, size, date)) return false;
    return Rebuild(index, &source, size, StoresDates() ? date : 0);
}

// Rebuilds the archive in the temporary file with the member at index left out (source null) or
// replaced by source, then moves it over the archive. Members are copied one by one in storage
// order, back to back from the header on, which for the archives the library writes gives the
// same file as copying the runs before and after the member. The directory in memory changes
// only once the new file has taken the archive's place.
bool ZEMArchive::Rebuild(unsigned index, ZEMResFile* source, uint32_t size, uint32_t date) {
    if (!archivePath || ZEM::Platform::SameFile(TEMP_NAME, archivePath)) return false;
    ZEMFile archive(archivePath, ZEMResFile::READ);
    if (!archive.IsOK()) return false;
    ZEMFile temp(TEMP_NAME, ZEMResFile::WRITE);
    if (!temp.IsOK()) return false;

    std::vector<ArchiveEntry> next;
    std::vector<const ArchiveEntry*> list;
    next.reserve(entries.size());
    list.reserve(entries.size());
    bool copied = ZEMFileUtils::CopyData(&archive, &temp, HEADER_SIZE) == HEADER_SIZE;
    uint64_t end = HEADER_SIZE;
    for (unsigned i = 0; i < entries.size() && copied; ++i) {
        if (i == index && !source) continue;
        ArchiveEntry member = *entries[i];
        member.offset = uint32_t(end);
        if (i == index) {
            member.size = size;
            member.date = date;
            copied = ZEMFileUtils::CopyData(source, &temp, size) == size;
        } else {
            copied = SeekTo(archive, entries[i]->offset) &&
                     ZEMFileUtils::CopyData(&archive, &temp, member.size) == member.size;
        }
        end += member.size;
        next.push_back(member);
    }
    for (const ArchiveEntry& member : next)
        list.push_back(&member);
    archive.Close();
    copied = copied && end + uint64_t(list.size()) * RecordSize() <= UINT32_MAX &&
             WriteRecords(temp, list.data(), list.size(), uint32_t(end));
    temp.Close();
    if (!copied) {
        ZEMFileUtils::FileRemove(TEMP_NAME);
        return false;
    }
    DropReadFile();
    // A failed move leaves the archive as it was and the rebuilt one in the temporary file.
    if (!ZEMFileUtils::FileRename(TEMP_NAME, archivePath, true)) return false;

    if (!source) {
        DeleteEntry(entries[index]);
        entries.erase(entries.begin() + index);
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i]->offset = next[i].offset;
        entries[i]->size = next[i].size;
        entries[i]->date = next[i].date;
    }
    EntriesChanged();
    dataEnd = uint32_t(end);
    return true;
}

bool ZEMArchive::WriteDirectory(ZEMResFile& file) const {
    // file may be the archive's own: what the shared handle has buffered may be out of date.
    DropReadFile();
    return WriteRecords(file, entries.data(), entries.size(), dataEnd);
}

bool ZEMArchive::WriteRecords(ZEMResFile& file, const ArchiveEntry* const* list, size_t count,
                              uint32_t end) const {
    const unsigned recordSize = RecordSize();
    uint8_t block[RECORDS_PER_BLOCK * MAX_RECORD_SIZE];
    bool written = SeekTo(file, end);
    for (size_t i = 0; i < count && written; i += RECORDS_PER_BLOCK) {
        size_t records = count - i < RECORDS_PER_BLOCK ? count - i : RECORDS_PER_BLOCK;
        for (size_t k = 0; k < records; ++k)
            EncodeRecord(*list[i + k], block + k * recordSize);
        unsigned bytes = unsigned(records * recordSize);
        written = file.Write(block, bytes) == bytes;
    }
    // The header last: if the records did not all reach the file, it keeps the old directory.
    if (!written) return false;
    uint8_t header[HEADER_SIZE];
    EncodeHeader(header, end, uint32_t(count));
    return file.Seek(0, 0) && file.Write(header, HEADER_SIZE) == HEADER_SIZE && Flushed(file);
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
        ZEM::LOG("| %-40s | %10d | %10d | %2d/%2d/%4d %2d:%02d |\n", entry->name, int(entry->size),
                 int(entry->offset), local.tm_mday, local.tm_mon + 1, local.tm_year + 1900,
                 local.tm_hour, local.tm_min);
    }
    ZEM::LOG("%s\n", separator);
    ZEM::LOG("  Total: %d files, %d bytes.\n", int(entries.size()), int(TotalSize()));
}

void ZEMArchive::PrintInfo() const {
    ZEM::LOG("Archive %s (%d entries)\n", archivePath ? archivePath : "(null)", int(NbFiles()));
    for (const ArchiveEntry* entry : entries) {
        ZEM::LOG("  %-40s   %6d bytes   date=%10d   R(%3d)\n", entry->name, int(entry->size),
                 int(entry->date), int(entry->sortIndex));
    }
    ZEM::LOG("\n");
}
