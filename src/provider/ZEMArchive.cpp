#include <zem/provider/ZEMArchive.h>

#include <zem/core/ZEMLog.h>
#include <zem/provider/ZEMArchPAK.h>
#include <zem/provider/ZEMArchZEM.h>
#include <zem/provider/ZEMFileUtils.h>
#include <zem/stream/ZEMFile.h>
#include <zem/stream/ZEMPackFile.h>

#include "platform/ZEMPlatform.h"
#include "stream/ZEMSharedFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <exception>
#include <memory>
#include <new>
#include <string>

using ZEM::Platform::File;
using ZEM::Platform::Folder;

namespace {

constexpr unsigned NO_INDEX = 0xFFFFFFFFu;
// Records encoded or decoded per transfer.
constexpr unsigned RECORDS_PER_BLOCK = 64;
constexpr unsigned MAX_RECORD_SIZE = 64;
// Bytes moved per read and write when member data is copied.
constexpr unsigned COPY_CHUNK = 64 * 1024;
// How often a file replaced under an opening or an edit is opened again before giving up.
constexpr int MAX_ATTEMPTS = 20;
constexpr const char* TOO_LARGE =
    "too large for the format, whose offsets and sizes are 32-bit (4 GiB in all)";

bool IsSet(const char* s) {
    return s && *s;
}

// Whether the bytes written so far reached the file: a seek writes out what is buffered and
// fails when that fails.
bool Flushed(ZEMResFile& file) {
    return file.Seek(0, 1);
}

// Positions file at an absolute offset of up to 4 GiB.
bool SeekTo(ZEMResFile& file, uint32_t offset) {
    if (offset <= uint32_t(INT_MAX)) return file.Seek(int(offset), 0);
    return file.Seek(INT_MAX, 0) && file.Seek(int(offset - uint32_t(INT_MAX)), 1);
}

// A name as messages and listings show it: control characters as \xHH escapes, which would
// otherwise drive the terminal.
std::string Escaped(const char* text) {
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

std::string Quoted(const char* text) {
    return "'" + Escaped(text) + "'";
}

std::string SystemError(const std::string& what, int error) {
    return error ? what + ": " + ZEM::Platform::ErrorText(error) : what;
}

std::string OpenError(int error) {
    if (error == EINVAL) return "not a regular file";
    if (error == EISDIR) return "a folder, not an archive";
    return SystemError("cannot open it", error);
}

std::string LockError(int error) {
    if (error == EWOULDBLOCK) return "locked by another editor (waited for it in vain)";
    return SystemError("cannot lock it", error);
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

// A member's end in the file, kept within 32 bits for a hostile size.
uint32_t MemberEnd(const ZEMArchive::ArchiveEntry& entry) {
    uint64_t end = uint64_t(entry.offset) + entry.size;
    return end > UINT32_MAX ? UINT32_MAX : uint32_t(end);
}

// A member's bytes lie past the header and inside the file; an empty one is at most at its end.
bool InsideFile(const ZEMArchive::ArchiveEntry& entry, uint64_t fileSize) {
    const uint64_t end = uint64_t(entry.offset) + entry.size;
    if (entry.size == 0) return entry.offset <= fileSize;
    return entry.offset >= 12 && end <= fileSize;
}

bool SameRecord(const ZEMArchive::ArchiveEntry* a, const ZEMArchive::ArchiveEntry* b) {
    return strcmp(a->name, b->name) == 0 && a->size == b->size && a->offset == b->offset &&
           a->date == b->date;
}

// Opens a source to store and takes its size and date; "" when it can be stored, else why not.
// An empty source is refused unless allowEmpty.
std::string OpenSource(const char* srcPath, bool allowEmpty, ZEMFile& source, uint32_t& size,
                       uint32_t& date) {
    ZEM::Platform::FileStatus status;
    if (!IsSet(srcPath) || !ZEM::Platform::Status(srcPath, status)) {
        return Quoted(srcPath) + " cannot be read";
    }
    // A FIFO or a device would block the read or never end.
    if ((status.mode & ZEM::Platform::MODE_TYPE_MASK) != ZEM::Platform::MODE_REGULAR) {
        return Quoted(srcPath) + " is not a regular file";
    }
    if (status.size > UINT32_MAX) return Quoted(srcPath) + " does not fit: " + TOO_LARGE;
    if (status.size == 0 && !allowEmpty) return Quoted(srcPath) + " is empty";
    // A source that opens but fails to read is caught by the copy, which gives its space back.
    if (!source.Open(srcPath, ZEMResFile::READ)) return Quoted(srcPath) + " cannot be read";
    size = uint32_t(status.size);
    date = status.mtime;
    return source.IsOK() ? std::string() : Quoted(srcPath) + " cannot be read";
}

// A sink for EncodeDirectory: the blocks go to file one after another from position on.
auto WriterAt(File& file, uint64_t position) {
    return [&file, position](const uint8_t* bytes, unsigned n) mutable {
        if (!file.WriteAt(position, bytes, n)) return false;
        position += n;
        return true;
    };
}

} // namespace

// A directory as read from an archive file; owns its entries until they are taken.
struct ZEMArchive::Directory {
    std::vector<ArchiveEntry*> entries;
    uint32_t offset = 0;   // of the records
    uint64_t fileSize = 0; // of the file it was read from
    Directory() = default;
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;
    ~Directory() {
        for (ArchiveEntry* entry : entries)
            DeleteEntry(entry);
    }
};

// An edit in progress: the archive file, locked for this editor, and its directory as the file
// holds it.
struct ZEMArchive::Edit {
    File file;
    Directory current;
};

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

bool ZEMArchive::Failed(const std::string& why) const {
    lastError = why;
    return false;
}

void ZEMArchive::TakeReadFile(File& file) const {
    DropReadFile();
    readFile = ZEM::Stream::SharedFile::Adopt(file.ReadStream());
}

bool ZEMArchive::CreateEmpty(const char* path) {
    lastError.clear();
    if (!path) return Failed("no path given");
    if (ZEMFileUtils::FileExist(path)) return Failed("the file exists already");
    Folder folder;
    std::string name;
    if (!folder.OpenParentOf(path, name))
        return Failed(SystemError("cannot enter its folder", folder.Error()));
    // Written aside and then linked under its name, which fails if the name was taken meanwhile:
    // the name never holds a partial archive.
    File file;
    uint8_t header[HEADER_SIZE];
    EncodeHeader(header, HEADER_SIZE, 0);
    if (!file.CreateTemp(folder) || !file.WriteAt(0, header, HEADER_SIZE) || !file.Sync() ||
        !file.Publish(folder, name.c_str(), false)) {
        return Failed(SystemError("cannot write it", file.Error()));
    }
    folder.Sync();
    Close();
    SetName(path);
    TakeReadFile(file);
    return true;
}

bool ZEMArchive::Load(const char* path) {
    lastError.clear();
    if (!IsSet(path)) return Failed("no path given");
    // A file replaced while this waited for the lock is read anew.
    for (int attempt = 0; attempt < MAX_ATTEMPTS; ++attempt) {
        File file;
        if (!file.OpenRead(path)) return Failed(OpenError(file.Error()));
        if (!file.Lock(false, lockTimeout)) return Failed(LockError(file.Error()));
        Directory directory;
        if (!ReadDirectory(file, directory)) return false;
        if (!file.IsAt(path)) continue;
        file.Unlock();
        Close();
        SetName(path);
        Adopt(directory, file);
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
    const unsigned recordSize = RecordSize();
    uint8_t block[RECORDS_PER_BLOCK * MAX_RECORD_SIZE];
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned slot = i % RECORDS_PER_BLOCK;
        if (slot == 0) {
            const uint32_t records = std::min<uint32_t>(count - i, RECORDS_PER_BLOCK);
            if (!file.ReadAt(directory.offset + uint64_t(i) * recordSize, block,
                             records * recordSize)) {
                return Failed(SystemError("cannot read its directory", file.Error()));
            }
        }
        const uint8_t* record = block + slot * recordSize;
        std::unique_ptr<ArchiveEntry> entry(new (std::nothrow) ArchiveEntry);
        if (!entry) return Failed("out of memory for its directory");
        entry->name = CopyText(reinterpret_cast<const char*>(record), DecodeRecord(record, *entry));
        entry->sortIndex = i;
        if (!entry->name) return Failed("out of memory for its directory");
        list.push_back(entry.release());
        const ArchiveEntry& added = *list.back();
        if (!InsideFile(added, directory.fileSize)) {
            return Failed("damaged: member " + std::to_string(i) + " " + Quoted(added.name) +
                          " (offset " + std::to_string(added.offset) + ", " +
                          std::to_string(added.size) + " bytes) does not lie inside the file (" +
                          std::to_string(directory.fileSize) + " bytes, header " +
                          std::to_string(HEADER_SIZE) + ")");
        }
    }
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
    TakeReadFile(file);
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

ZEMResFile* ZEMArchive::OpenResFile(unsigned index) const {
    if (index >= entries.size()) return nullptr;
    const ArchiveEntry& entry = *entries[index];
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

// ---- Editing ----

// Locks the archive file for this editor and reads its directory as it is now.
bool ZEMArchive::BeginEdit(Edit& edit) {
    lastError.clear();
    if (!archivePath) return Failed("no archive is open");
    for (int attempt = 0; attempt < MAX_ATTEMPTS; ++attempt) {
        if (!edit.file.OpenEdit(archivePath)) return Failed(OpenError(edit.file.Error()));
        if (!edit.file.Lock(true, lockTimeout)) return Failed(LockError(edit.file.Error()));
        // Another editor may have replaced the file while this one waited.
        if (edit.file.IsAt(archivePath)) return ReadDirectory(edit.file, edit.current);
        edit.file.Close();
    }
    return Failed("replaced by other programs again and again while it was opened");
}

// Takes the directory that the file holds when another program changed it since this object read
// it. index, when given, follows its member there: the same name, size and date, of the same rank
// among members of that name.
bool ZEMArchive::Refresh(Edit& edit, unsigned* index) {
    std::vector<ArchiveEntry*>& current = edit.current.entries;
    if (std::equal(entries.begin(), entries.end(), current.begin(), current.end(), SameRecord)) {
        return true;
    }
    if (index) {
        const ArchiveEntry& wanted = *entries[*index];
        unsigned rank = 0;
        for (unsigned i = 0; i < *index; ++i)
            rank += strcmp(entries[i]->name, wanted.name) == 0;
        unsigned found = NO_INDEX;
        for (unsigned i = 0; i < current.size() && found == NO_INDEX; ++i) {
            if (strcmp(current[i]->name, wanted.name) != 0) continue;
            if (rank-- == 0 && current[i]->size == wanted.size && current[i]->date == wanted.date) {
                found = i;
            }
        }
        if (found == NO_INDEX) {
            Adopt(edit.current, edit.file);
            return Failed("another editor changed or removed the member meanwhile");
        }
        *index = found;
    }
    Adopt(edit.current, edit.file);
    return true;
}

unsigned ZEMArchive::AddFile(const char* srcPath, const char* storeName) {
    unsigned index = NO_INDEX;
    const AddCallback take = [&index](unsigned, unsigned added) { index = added; };
    return AddSources(&srcPath, &storeName, 1, take, false) == 0 ? NO_INDEX : index;
}

unsigned ZEMArchive::AddFiles(const char* const* srcPaths, const char* const* storeNames,
                              unsigned count, const AddCallback& onFile) {
    return AddSources(srcPaths, storeNames, count, onFile, true);
}

unsigned ZEMArchive::AddSources(const char* const* srcPaths, const char* const* storeNames,
                                unsigned count, const AddCallback& onFile, bool asGiven) {
    Edit edit;
    if (!srcPaths || !BeginEdit(edit) || !Refresh(edit, nullptr)) return 0;
    // New bytes go after everything the file holds: never over a member or the directory.
    uint64_t start = 0;
    if (!edit.file.Size(start)) return Failed(SystemError("cannot read it", edit.file.Error()));
    uint64_t end = start;
    std::vector<ArchiveEntry*> added;
    std::string refusal;
    bool writable = true;
    for (unsigned k = 0; k < count && writable; ++k) {
        const char* storeName = storeNames ? storeNames[k] : nullptr;
        unsigned index = AppendSource(edit, end, srcPaths[k], storeName, asGiven, added, writable);
        if (!writable) break;
        if (index == NO_INDEX && refusal.empty()) refusal = lastError;
        if (onFile) onFile(k, index);
    }
    // A source that cannot be read is left out; an archive that cannot be written takes none
    // (and LastError says why).
    if (!writable || added.empty()) {
        for (ArchiveEntry* entry : added)
            DeleteEntry(entry);
        edit.file.Truncate(start);
        if (writable) lastError = refusal;
        return 0;
    }
    std::vector<const ArchiveEntry*> list(entries.begin(), entries.end());
    list.insert(list.end(), added.begin(), added.end());
    if (!CommitDirectory(edit, list, end, start)) {
        for (ArchiveEntry* entry : added)
            DeleteEntry(entry);
        return 0;
    }
    entries.insert(entries.end(), added.begin(), added.end());
    EntriesChanged();
    dataEnd = uint32_t(end);
    TakeReadFile(edit.file);
    lastError = refusal;
    return unsigned(added.size());
}

// Copies one source to end, which then moves past it; the new entry goes to added. The space of
// a source that could not be copied whole is given back; writable turns false when the archive
// file could not be written.
unsigned ZEMArchive::AppendSource(Edit& edit, uint64_t& end, const char* srcPath,
                                  const char* storeName, bool asGiven,
                                  std::vector<ArchiveEntry*>& added, bool& writable) {
    ZEMFile source(nullptr, 0);
    uint32_t size = 0;
    uint32_t date = 0;
    unsigned length = 0;
    const char* base = asGiven && storeName ? storeName
                                            : BaseName(storeName ? storeName : srcPath,
                                                       asGiven ? UINT_MAX : NameLength(), length);
    if (!base || (asGiven && storeName && !IsSafeName(storeName))) {
        Failed("no name to store " + Quoted(srcPath) + " under that stays inside a folder");
        return NO_INDEX;
    }
    if (asGiven) {
        length = unsigned(strlen(base));
        // Nothing is cut: two long names would become one.
        if (length > NameLength()) {
            Failed("the name " + Quoted(base) + " of " + Quoted(srcPath) + " is too long (" +
                   std::to_string(length) + " bytes; the format holds " +
                   std::to_string(NameLength()) + ")");
            return NO_INDEX;
        }
    }
    const std::string refusal = OpenSource(srcPath, asGiven, source, size, date);
    if (!refusal.empty()) {
        Failed(refusal);
        return NO_INDEX;
    }
    // Adding the archive to itself would read back what is being written.
    if (ZEM::Platform::SameFile(srcPath, archivePath)) {
        Failed(Quoted(srcPath) + " is the archive itself");
        return NO_INDEX;
    }
    // Offsets and the directory must stay addressable in 32 bits.
    const uint64_t records = entries.size() + added.size() + 1;
    if (end + size + records * RecordSize() > UINT32_MAX) {
        Failed(Quoted(srcPath) + " does not fit: " + TOO_LARGE);
        return NO_INDEX;
    }
    std::unique_ptr<ArchiveEntry> entry(new (std::nothrow) ArchiveEntry);
    if (!entry || !(entry->name = CopyText(base, length))) {
        Failed("out of memory");
        return NO_INDEX;
    }
    entry->size = size;
    entry->offset = uint32_t(end);
    entry->date = StoresDates() ? date : 0;
    entry->sortIndex = uint32_t(entries.size() + added.size());
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[COPY_CHUNK]);
    bool copied = buffer != nullptr;
    for (uint32_t done = 0; done < size && copied;) {
        const unsigned want = unsigned(std::min<uint32_t>(size - done, COPY_CHUNK));
        copied = source.Read(buffer.get(), want) == want;
        if (!copied) {
            Failed(Quoted(srcPath) + " changed or cannot be read");
        } else if (!(copied = edit.file.WriteAt(end + done, buffer.get(), want))) {
            Failed(SystemError("cannot write the archive", edit.file.Error()));
            writable = false;
        }
        done += want;
    }
    if (!copied) {
        delete[] entry->name;
        edit.file.Truncate(end);
        return NO_INDEX;
    }
    end += size;
    added.push_back(entry.release());
    return unsigned(entries.size() + added.size() - 1);
}

// Writes the directory list at offset at and makes it current: flush, header, flush. Before the
// header is written a failure gives back the space from start on, and the file keeps its old
// state; after it, the object takes whatever the file then holds.
bool ZEMArchive::CommitDirectory(Edit& edit, const std::vector<const ArchiveEntry*>& list,
                                 uint64_t at, uint64_t start) {
    if (at + uint64_t(list.size()) * RecordSize() > UINT32_MAX) return Failed(TOO_LARGE);
    bool written = EncodeDirectory(list.data(), list.size(), WriterAt(edit.file, at));
    if (!written || !edit.file.Sync()) {
        const std::string why = SystemError("cannot write the archive", edit.file.Error());
        edit.file.Truncate(start);
        return Failed(why);
    }
    uint8_t header[HEADER_SIZE];
    EncodeHeader(header, uint32_t(at), uint32_t(list.size()));
    if (edit.file.WriteAt(0, header, HEADER_SIZE) && edit.file.Sync()) return true;
    const std::string why = SystemError("cannot write the archive header", edit.file.Error());
    Directory now;
    if (ReadDirectory(edit.file, now)) Adopt(now, edit.file);
    return Failed(why);
}

bool ZEMArchive::RenameFile(unsigned index, const char* newName) {
    unsigned length = 0;
    const char* base = BaseName(newName, NameLength(), length);
    if (index >= entries.size() || !base) return Failed("no such member or no new name");
    return Rename(index, base, length);
}

bool ZEMArchive::RenameMember(unsigned index, const char* newName) {
    if (index >= entries.size() || !IsSafeName(newName)) {
        return Failed("no such member, or a name that leads out of a folder");
    }
    const size_t length = strlen(newName);
    if (length > NameLength()) {
        return Failed("the name " + Quoted(newName) + " is too long (" + std::to_string(length) +
                      " bytes; the format holds " + std::to_string(NameLength()) + ")");
    }
    return Rename(index, newName, unsigned(length));
}

// Gives the member at index the first length bytes of base as its name.
bool ZEMArchive::Rename(unsigned index, const char* base, unsigned length) {
    Edit edit;
    if (!BeginEdit(edit) || !Refresh(edit, &index)) return false;
    ArchiveEntry renamed = *entries[index];
    std::unique_ptr<char[]> name(CopyText(base, length));
    if (!name) return Failed("out of memory");
    renamed.name = name.get();
    uint64_t end = 0;
    if (!edit.file.Size(end)) return Failed(SystemError("cannot read it", edit.file.Error()));
    std::vector<const ArchiveEntry*> list(entries.begin(), entries.end());
    list[index] = &renamed;
    if (end + uint64_t(list.size()) * RecordSize() > UINT32_MAX) {
        // No room for another directory behind the dead space: the rebuild drops it.
        std::vector<Part> parts;
        for (const ArchiveEntry* entry : list)
            parts.push_back({*entry, nullptr, entry->offset});
        if (!Rebuild(edit, parts)) return false;
        for (size_t i = 0; i < entries.size(); ++i)
            entries[i]->offset = parts[i].entry.offset;
    } else if (!CommitDirectory(edit, list, end, end)) {
        return false;
    } else {
        TakeReadFile(edit.file);
    }
    std::swap(entries[index]->name, renamed.name);
    name.release();
    delete[] renamed.name;
    EntriesChanged();
    return true;
}

bool ZEMArchive::RemoveFile(unsigned index) {
    if (index >= entries.size()) return Failed("no such member");
    Edit edit;
    if (!BeginEdit(edit) || !Refresh(edit, &index)) return false;
    std::vector<Part> parts;
    for (unsigned i = 0; i < entries.size(); ++i) {
        if (i != index) parts.push_back({*entries[i], nullptr, entries[i]->offset});
    }
    if (!Rebuild(edit, parts)) return false;
    DeleteEntry(entries[index]);
    entries.erase(entries.begin() + index);
    for (size_t i = 0; i < entries.size(); ++i)
        entries[i]->offset = parts[i].entry.offset;
    EntriesChanged();
    return true;
}

bool ZEMArchive::UpdateFile(unsigned index, const char* srcPath) {
    if (index >= entries.size() || !IsSet(srcPath)) return Failed("no such member or no source");
    ZEMFile source(nullptr, 0);
    uint32_t size = 0;
    uint32_t date = 0;
    const std::string refusal = OpenSource(srcPath, false, source, size, date);
    if (!refusal.empty()) return Failed(refusal);
    if (ZEM::Platform::SameFile(srcPath, archivePath)) {
        return Failed(Quoted(srcPath) + " is the archive itself");
    }
    Edit edit;
    if (!BeginEdit(edit) || !Refresh(edit, &index)) return false;
    std::vector<Part> parts;
    for (const ArchiveEntry* entry : entries)
        parts.push_back({*entry, nullptr, entry->offset});
    parts[index].source = &source;
    parts[index].entry.size = size;
    parts[index].entry.date = StoresDates() ? date : 0;
    if (!Rebuild(edit, parts)) return false;
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i]->offset = parts[i].entry.offset;
        entries[i]->size = parts[i].entry.size;
        entries[i]->date = parts[i].entry.date;
    }
    EntriesChanged();
    return true;
}

// Writes the archive of parts into a new temporary file beside the archive, members back to back
// from the header on, flushes it and renames it over the archive. Sets the parts' new offsets.
// The object's directory is left for the caller to change.
bool ZEMArchive::Rebuild(Edit& edit, std::vector<Part>& parts) {
    uint64_t end = HEADER_SIZE;
    for (Part& part : parts) {
        part.entry.offset = uint32_t(std::min<uint64_t>(end, UINT32_MAX));
        end += part.entry.size;
    }
    if (end + uint64_t(parts.size()) * RecordSize() > UINT32_MAX) return Failed(TOO_LARGE);
    // The archive's own folder, links resolved, so that a link to the archive stays a link.
    const std::string target = ZEM::Platform::ResolvedPath(archivePath);
    Folder folder;
    std::string name;
    if (target.empty() || !folder.OpenParentOf(target.c_str(), name)) {
        return Failed(SystemError("cannot enter the archive's folder", folder.Error()));
    }
    File temp;
    if (!temp.CreateTemp(folder)) {
        return Failed(SystemError("cannot make a temporary file beside the archive", temp.Error()));
    }
    temp.TakeModeOf(edit.file);
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[COPY_CHUNK]);
    if (!buffer) return Failed("out of memory");
    uint8_t header[HEADER_SIZE];
    EncodeHeader(header, uint32_t(end), uint32_t(parts.size()));
    bool written = temp.WriteAt(0, header, HEADER_SIZE);
    for (const Part& part : parts) {
        const ArchiveEntry& entry = part.entry;
        for (uint32_t done = 0; done < entry.size && written;) {
            const unsigned want = unsigned(std::min<uint32_t>(entry.size - done, COPY_CHUNK));
            const bool read =
                part.source ? part.source->Read(buffer.get(), want) == want
                            : edit.file.ReadAt(uint64_t(part.from) + done, buffer.get(), want);
            if (!read) return Failed("cannot read " + Quoted(entry.name) + " to copy it");
            written = temp.WriteAt(uint64_t(entry.offset) + done, buffer.get(), want);
            done += want;
        }
    }
    std::vector<const ArchiveEntry*> list;
    for (const Part& part : parts)
        list.push_back(&part.entry);
    written = written && EncodeDirectory(list.data(), list.size(), WriterAt(temp, end));
    if (!written || !temp.Sync() || !temp.Publish(folder, name.c_str(), true)) {
        return Failed(SystemError("cannot write the new archive", temp.Error()));
    }
    // The rename is done: the new archive is in place even if its folder cannot be flushed.
    folder.Sync();
    dataEnd = uint32_t(end);
    TakeReadFile(temp);
    return true;
}

bool ZEMArchive::WriteDirectory(ZEMResFile& file) const {
    // file may be the archive's own: what the shared handle has buffered may be out of date.
    DropReadFile();
    bool written = SeekTo(file, dataEnd);
    written = written && EncodeDirectory(entries.data(), entries.size(),
                                         [&file](const uint8_t* bytes, unsigned n) {
                                             return file.Write(bytes, n) == n;
                                         });
    // The header last: if the records did not all reach the file, it keeps the old directory.
    if (!written) return false;
    uint8_t header[HEADER_SIZE];
    EncodeHeader(header, dataEnd, uint32_t(entries.size()));
    return file.Seek(0, 0) && file.Write(header, HEADER_SIZE) == HEADER_SIZE && Flushed(file);
}

// Encodes the records of list block by block and hands each block to sink; false as soon as the
// sink refuses one.
template <class Sink>
bool ZEMArchive::EncodeDirectory(const ArchiveEntry* const* list, size_t count, Sink sink) const {
    const unsigned recordSize = RecordSize();
    uint8_t block[RECORDS_PER_BLOCK * MAX_RECORD_SIZE];
    for (size_t i = 0; i < count; i += RECORDS_PER_BLOCK) {
        const size_t records = std::min<size_t>(count - i, RECORDS_PER_BLOCK);
        for (size_t k = 0; k < records; ++k)
            EncodeRecord(*list[i + k], block + k * recordSize);
        if (!sink(block, unsigned(records * recordSize))) return false;
    }
    return true;
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
