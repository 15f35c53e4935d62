#include <zem/provider/ZEMArchive.h>

#include <zem/provider/ZEMFileUtils.h>
#include <zem/stream/ZEMResFile.h>

#include "platform/ZEMPlatform.h"
#include "provider/ZEMArchiveInternal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>

using namespace ZEM::ArchiveInternal;
using ZEM::Platform::File;
using ZEM::Platform::Folder;

namespace {

constexpr const char* TOO_LARGE =
    "too large for the format, whose offsets and sizes are 32-bit (4 GiB in all)";

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

// The last component of name; null when name is empty, ends with a separator or its last
// component is "." or "..", which name folders.
const char* BaseName(const char* name) {
    if (!IsSet(name)) return nullptr;
    const char* base = name;
    for (const char* p = name; *p; ++p) {
        if (ZEM::Platform::IsSeparator(*p)) base = p + 1;
    }
    if (!*base || strcmp(base, ".") == 0 || strcmp(base, "..") == 0) return nullptr;
    return base;
}

bool SameRecord(const ZEMArchive::ArchiveEntry* a, const ZEMArchive::ArchiveEntry* b) {
    return strcmp(a->name, b->name) == 0 && a->size == b->size && a->offset == b->offset &&
           a->date == b->date;
}

// Opens a source to store and takes its status; "" when it can be stored, else why not. An empty
// source is refused with emptyRefusal unless that is null.
std::string OpenSource(const char* srcPath, const char* emptyRefusal, File& source,
                       ZEM::Platform::FileStatus& status) {
    if (!IsSet(srcPath) || !source.OpenRead(srcPath)) {
        // A FIFO or a device would block the read or never end: only regular files open.
        const int error = source.Error();
        if (IsSet(srcPath) && (error == EINVAL || error == EISDIR)) {
            return Quoted(srcPath) + " is not a regular file";
        }
        return Quoted(srcPath) + " cannot be read";
    }
    if (!source.Status(status)) return Quoted(srcPath) + " cannot be read";
    if (status.size > UINT32_MAX) return Quoted(srcPath) + " does not fit: " + TOO_LARGE;
    if (status.size == 0 && emptyRefusal) return Quoted(srcPath) + " is empty" + emptyRefusal;
    return std::string();
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

// Bytes on their way to the end of a file, gathered into large writes: new members appended to
// the archive, or the members of a rebuilt one.
struct ZEMArchive::Appender {
    Appender(File& file, uint64_t start) : file(file), start(start) {}

    bool Ready() {
        bytes.reset(new (std::nothrow) char[COPY_BLOCK]);
        return bytes != nullptr;
    }
    uint64_t End() const { return start + fill; }

    // Appends size bytes of source from offset from. False when source could not be read
    // (sourceFailed; its bytes are dropped again) or the file could not be written.
    bool Copy(File& source, uint64_t from, uint32_t size, bool& sourceFailed) {
        const uint64_t at = End();
        sourceFailed = false;
        for (uint32_t done = 0; done < size;) {
            if (fill == COPY_BLOCK && !Flush()) return false;
            const size_t want = std::min<size_t>(size - done, COPY_BLOCK - fill);
            if (!source.ReadAt(from + done, bytes.get() + fill, want)) {
                sourceFailed = true;
                Rewind(at);
                return false;
            }
            fill += want;
            done += uint32_t(want);
        }
        return true;
    }

    bool Flush() {
        const bool written = fill == 0 || file.WriteAt(start, bytes.get(), fill);
        start += fill;
        fill = 0;
        return written;
    }

    // Drops what was appended from at on; the file gives back what reached it.
    void Rewind(uint64_t at) {
        if (at >= start) {
            fill = size_t(at - start);
            return;
        }
        file.Truncate(at);
        start = at;
        fill = 0;
    }

    File& file;

private:
    uint64_t start;
    size_t fill = 0;
    std::unique_ptr<char[]> bytes;
};

// ---- Editing ----

bool ZEMArchive::CreateEmpty(const char* path) {
    return CreateFrom(path, nullptr, nullptr, 0, false);
}

bool ZEMArchive::CreateFrom(const char* path, const char* const* srcPaths,
                            const char* const* storeNames, unsigned count, bool replace,
                            const AddCallback& onFile) {
    lastError.clear();
    if (!path) return Failed("no path given");
    // On Windows a file deleted while a handle holds it keeps its name until that handle goes:
    // the archive this object read may be the one deleted there.
    if (ZEMFileUtils::FileExist(path)) DropReadFile();
    if (ZEMFileUtils::IsDir(path)) return Failed("a folder of that name exists");
    if (!replace && ZEMFileUtils::FileExist(path)) return Failed("the file exists already");
    if (count && !srcPaths) return Failed("no files given");
    Folder folder;
    std::string name;
    if (!folder.OpenParentOf(path, name))
        return Failed(SystemError("cannot enter its folder", folder.Error()));
    // Written aside and then linked under its name: the name never holds a partial archive, and
    // a create that fails or is killed leaves nothing.
    File file;
    if (!file.CreateTemp(folder)) return Failed(SystemError("cannot write it", file.Error()));
    if (replace) file.TakeModeOf(folder, name.c_str());
    Appender out(file, HEADER_SIZE);
    Directory built;
    std::string refusal;
    const Sources sources = {srcPaths, storeNames, count, true, &onFile};
    if (!AppendSources(out, sources, 0, built.entries, refusal)) return false;
    if (count && built.entries.empty()) return Failed(refusal);
    if (!WriteWhole(file, built.entries.data(), built.entries.size(), out.End()) ||
        !Link(file, folder, name, path, replace))
        return false;
    built.state = Written({built.entries.begin(), built.entries.end()}, out.End(), 0);
    Close();
    SetName(path);
    Adopt(built, file);
    lastError = refusal;
    return true;
}

// Writes the directory of the count entries of list at end, then the header, into a new archive
// file, and flushes it.
bool ZEMArchive::WriteWhole(File& file, const ArchiveEntry* const* list, size_t count,
                            uint64_t end) {
    if (end + uint64_t(count) * RecordSize() > UINT32_MAX) return Failed(TOO_LARGE);
    uint8_t header[HEADER_SIZE];
    EncodeHeader(header, uint32_t(end), uint32_t(count));
    if (EncodeDirectory(list, count, WriterAt(file, end)) && file.WriteAt(0, header, HEADER_SIZE) &&
        file.Sync()) {
        return true;
    }
    return Failed(SystemError("cannot write the new archive", file.Error()));
}

// Names the new archive file name in folder, the file at path; with replace, over the file of
// that name, once its editor is done with it (its edit would be lost in a file that has no name
// any more).
bool ZEMArchive::Link(File& file, Folder& folder, const std::string& name, const char* path,
                      bool replace) {
    File old;
    if (replace && old.OpenEdit(path) && !old.Lock(true, lockTimeout))
        return Failed(LockError(old.Error()));
    if (!file.Publish(folder, name.c_str(), replace))
        return Failed(SystemError("cannot write it", file.Error()));
    // The name is linked: the archive is in place even if its folder cannot be flushed.
    folder.Sync();
    return true;
}

// Locks the archive file for this editor and reads its directory as it is now, unless the file is
// the one this object read or wrote last, unchanged since.
bool ZEMArchive::BeginEdit(Edit& edit) {
    lastError.clear();
    if (!archivePath) return Failed("no archive is open");
    // A file replaced while this editor waited for its lock is opened anew, until the lock's
    // time runs out: another editor that merely works makes this one wait, not fail.
    const Deadline deadline(lockTimeout);
    for (;;) {
        if (!edit.file.OpenEdit(archivePath)) return Failed(OpenError(edit.file.Error()));
        if (!edit.file.Lock(true, deadline.Left())) return Failed(LockError(edit.file.Error()));
        if (edit.file.IsAt(archivePath)) break;
        edit.file.Close();
        if (deadline.Passed()) {
            return Failed("replaced by other programs again and again while it was opened");
        }
    }
    edit.unchanged = Unchanged(edit.file);
    if (!edit.unchanged) {
        RemoveStaleTemps();
        if (!ReadDirectory(edit.file, edit.current)) return false;
    }
    return Sound(edit.unchanged ? entries : edit.current.entries);
}

// Whether no member of list is damaged: an edit would copy its bytes into a rebuilt archive.
bool ZEMArchive::Sound(const std::vector<ArchiveEntry*>& list) const {
    for (unsigned i = 0; i < list.size(); ++i) {
        if (list[i]->flaw == ArchiveEntry::Flaw::NONE) continue;
        return Failed("damaged: member " + Quoted(list[i]->name) + ": " + DamageText(list, i) +
                      " (extract the other members into a new archive)");
    }
    return true;
}

// Takes the directory that the file holds when another program changed it since this object read
// it. The count storage indexes given follow their members there: the same name, size and date,
// of the same rank among members of that name.
bool ZEMArchive::Refresh(Edit& edit, unsigned* indexes, size_t count) {
    std::vector<ArchiveEntry*>& current = edit.current.entries;
    if (edit.unchanged ||
        std::equal(entries.begin(), entries.end(), current.begin(), current.end(), SameRecord)) {
        return true;
    }
    bool found = true;
    for (size_t k = 0; k < count && found; ++k) {
        indexes[k] = Follow(current, indexes[k]);
        found = indexes[k] != NO_INDEX;
    }
    Adopt(edit.current, edit.file);
    return found || Failed("another editor changed or removed a member meanwhile");
}

// The storage index in current of the member at index here; NO_INDEX when it is not there.
unsigned ZEMArchive::Follow(const std::vector<ArchiveEntry*>& current, unsigned index) const {
    const ArchiveEntry& wanted = *entries[index];
    unsigned rank = 0;
    for (unsigned i = 0; i < index; ++i)
        rank += strcmp(entries[i]->name, wanted.name) == 0;
    for (unsigned i = 0; i < current.size(); ++i) {
        if (strcmp(current[i]->name, wanted.name) != 0 || rank-- != 0) continue;
        const bool same = current[i]->size == wanted.size && current[i]->date == wanted.date;
        return same ? i : NO_INDEX;
    }
    return NO_INDEX;
}

unsigned ZEMArchive::AddFile(const char* srcPath, const char* storeName) {
    unsigned index = NO_INDEX;
    const AddCallback take = [&index](unsigned, unsigned added) { index = added; };
    if (AddSources({&srcPath, &storeName, 1, false, &take}) != 0) return index;
    Told("cannot add " + Quoted(srcPath));
    return NO_INDEX;
}

unsigned ZEMArchive::AddFiles(const char* const* srcPaths, const char* const* storeNames,
                              unsigned count, const AddCallback& onFile) {
    return AddSources({srcPaths, storeNames, count, true, &onFile});
}

// Appends the sources to out behind kept members; the new entries go to added, the first
// refusal of a source to refusal. False when the archive file could not be written (LastError
// says why).
bool ZEMArchive::AppendSources(Appender& out, const Sources& sources, size_t kept,
                               std::vector<ArchiveEntry*>& added, std::string& refusal) {
    ZEM::Platform::FileStatus self;
    if (!out.file.Status(self)) return Failed(SystemError("cannot read it", out.file.Error()));
    if (!out.Ready()) return Failed("out of memory");
    for (unsigned k = 0; k < sources.count; ++k) {
        const char* storeName = sources.names ? sources.names[k] : nullptr;
        bool writable = true;
        const unsigned index = AppendSource(out, self, sources.paths[k], storeName, sources.asGiven,
                                            kept, added, writable);
        if (!writable) return false;
        if (index == NO_INDEX && refusal.empty()) refusal = lastError;
        if (*sources.onFile) (*sources.onFile)(k, index);
    }
    return out.Flush() || Failed(SystemError("cannot write the archive", out.file.Error()));
}

unsigned ZEMArchive::AddSources(const Sources& sources) {
    Edit edit;
    if (!sources.paths || !BeginEdit(edit) || !Refresh(edit, nullptr, 0)) return 0;
    // New bytes go after everything the file holds: never over a member or the directory.
    uint64_t start = 0;
    if (!edit.file.Size(start)) return Failed(SystemError("cannot read it", edit.file.Error()));
    Appender out(edit.file, start);
    Directory fresh;
    std::vector<ArchiveEntry*>& added = fresh.entries;
    std::string refusal;
    // A source that cannot be read is left out; an archive that cannot be written takes none
    // (and LastError says why).
    const bool writable = AppendSources(out, sources, entries.size(), added, refusal);
    const uint64_t end = out.End();
    if (!writable || added.empty()) {
        edit.file.Truncate(start);
        if (writable) lastError = refusal;
        return 0;
    }
    std::vector<const ArchiveEntry*> list(entries.begin(), entries.end());
    list.insert(list.end(), added.begin(), added.end());
    std::vector<uint32_t> offsets;
    // The records of the new members go behind the directory when there is room: many small
    // adds then cost what their bytes cost. Otherwise a new directory goes behind what the file
    // holds, with room to grow; or, when that would leave more dead bytes than live ones, the
    // archive is rebuilt, the new bytes copied from where they were appended.
    const bool inPlace = RoomBehindDirectory(list.size(), start);
    const bool rebuild = !inPlace && Bloated(list, end);
    const uint64_t at = inPlace ? known.dirOffset : end;
    const size_t from = inPlace ? entries.size() : 0;
    const size_t room = inPlace || entries.size() < GROW_FROM ? 0 : list.size() / 2;
    if (rebuild ? !Repack(edit, list, offsets)
                : !CommitDirectory(edit, list, at, from, room, start)) {
        if (rebuild) edit.file.Truncate(start);
        return 0;
    }
    entries.insert(entries.end(), added.begin(), added.end());
    const unsigned count = unsigned(added.size());
    added.clear();
    EntriesChanged();
    if (rebuild) {
        TakeOffsets(offsets);
    } else {
        dataEnd = uint32_t(end);
        TakeReadFile(edit.file, Written(list, at, from));
    }
    lastError = refusal;
    return count;
}

// Appends one source to out behind kept members; the new entry goes to added. The space of a
// source that could not be copied whole is given back; writable turns false when the archive
// file (whose status is self) could not be written.
unsigned ZEMArchive::AppendSource(Appender& out, const ZEM::Platform::FileStatus& self,
                                  const char* srcPath, const char* storeName, bool asGiven,
                                  size_t kept, std::vector<ArchiveEntry*>& added, bool& writable) {
    File source;
    ZEM::Platform::FileStatus status;
    const bool given = asGiven && storeName;
    const char* name = given ? storeName : BaseName(storeName ? storeName : srcPath);
    if (!name || (given && !IsSafeName(storeName))) {
        Failed("no name to store " + Quoted(srcPath) + " under that stays inside a folder");
        return NO_INDEX;
    }
    // Nothing is cut: two long names would become one.
    const size_t length = strlen(name);
    if (length > NameLength()) {
        Failed(TooLong(name, length) + " to store " + Quoted(srcPath));
        return NO_INDEX;
    }
    const char* emptyRefusal = asGiven ? nullptr : ": AddFile stores no empty file (AddFiles does)";
    const std::string refusal = OpenSource(srcPath, emptyRefusal, source, status);
    if (!refusal.empty()) {
        Failed(refusal);
        return NO_INDEX;
    }
    // Adding the archive to itself would read back what is being written.
    if (ZEM::Platform::SameIdentity(status, self)) {
        Failed(Quoted(srcPath) + " is the archive itself");
        return NO_INDEX;
    }
    // Offsets and the directory must stay addressable in 32 bits.
    const uint64_t records = kept + added.size() + 1;
    const uint32_t size = uint32_t(status.size);
    if (out.End() + size + records * RecordSize() > UINT32_MAX) {
        Failed(Quoted(srcPath) + " does not fit: " + TOO_LARGE);
        return NO_INDEX;
    }
    std::unique_ptr<ArchiveEntry> entry(new (std::nothrow) ArchiveEntry);
    if (!entry || !(entry->name = CopyText(name, length))) {
        Failed("out of memory");
        return NO_INDEX;
    }
    entry->size = size;
    entry->offset = uint32_t(out.End());
    entry->date = StoresDates() ? status.mtime : 0;
    entry->sortIndex = uint32_t(kept + added.size());
    bool sourceFailed = false;
    if (!out.Copy(source, 0, size, sourceFailed)) {
        delete[] entry->name;
        if (sourceFailed) {
            Failed(Quoted(srcPath) + " changed or cannot be read");
        } else {
            Failed(SystemError("cannot write the archive", out.file.Error()));
            writable = false;
        }
        return NO_INDEX;
    }
    added.push_back(entry.release());
    return unsigned(kept + added.size() - 1);
}

// Writes the directory list at offset at and makes it current: flush, header, flush. Before the
// header is written a failure gives back the space from start on, and the file keeps its old
// state; after it, the object takes whatever the file then holds.
bool ZEMArchive::CommitDirectory(Edit& edit, const std::vector<const ArchiveEntry*>& list,
                                 uint64_t at, size_t from, size_t room, uint64_t start) {
    const uint64_t dirEnd = at + uint64_t(list.size()) * RecordSize();
    if (dirEnd + room * RecordSize() > UINT32_MAX) return Failed(TOO_LARGE);
    bool written = EncodeDirectory(list.data() + from, list.size() - from,
                                   WriterAt(edit.file, at + uint64_t(from) * RecordSize()));
    if (room) written = written && edit.file.Truncate(dirEnd + room * RecordSize());
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

// Why a name of length bytes cannot be stored: "the name 'x' is too long (...)", or without the
// name when name is null (the caller shows it already).
std::string ZEMArchive::TooLong(const char* name, size_t length) const {
    return std::string("the name ") + (name ? Quoted(name) + " " : "") + "is too long (" +
           std::to_string(length) + " bytes; the format holds " + std::to_string(NameLength()) +
           ")";
}

bool ZEMArchive::RenameFile(unsigned index, const char* newName) {
    const char* base = BaseName(newName);
    return RenameChecked(index, base, base ? "" : "no file name in " + Quoted(newName), true);
}

bool ZEMArchive::RenameMember(unsigned index, const char* newName) {
    const char* unsafe = UnsafeName(newName);
    return RenameChecked(index, newName, unsafe ? unsafe : "", false);
}

// Renames the member at index to name unless refusal says why not, or the name is too long (and
// named in the message when shown); every refusal is logged.
bool ZEMArchive::RenameChecked(unsigned index, const char* name, const std::string& refusal,
                               bool shown) {
    if (index >= entries.size()) {
        Failed("no such member");
    } else if (!refusal.empty()) {
        Failed(refusal);
    } else if (strlen(name) > NameLength()) {
        Failed(TooLong(shown ? name : nullptr, strlen(name)));
    } else if (Rename(index, name)) {
        return true;
    }
    return Told("cannot rename member " + std::to_string(index));
}

// Gives the member at index the name given.
bool ZEMArchive::Rename(unsigned index, const char* newName) {
    Edit edit;
    if (!BeginEdit(edit) || !Refresh(edit, &index, 1)) return false;
    ArchiveEntry renamed = *entries[index];
    std::unique_ptr<char[]> name(CopyText(newName, strlen(newName)));
    if (!name) return Failed("out of memory");
    renamed.name = name.get();
    uint64_t end = 0;
    if (!edit.file.Size(end)) return Failed(SystemError("cannot read it", edit.file.Error()));
    std::vector<const ArchiveEntry*> list(entries.begin(), entries.end());
    list[index] = &renamed;
    std::vector<uint32_t> offsets;
    // No room for another directory behind the dead space, or more dead bytes than live ones
    // after it: the rebuild drops them.
    if (end + uint64_t(list.size()) * RecordSize() > UINT32_MAX || Bloated(list, end)) {
        if (!Repack(edit, list, offsets)) return false;
        TakeOffsets(offsets);
    } else if (!CommitDirectory(edit, list, end, 0, 0, end)) {
        return false;
    } else {
        TakeReadFile(edit.file, Written(list, end, 0));
    }
    std::swap(entries[index]->name, renamed.name);
    name.release();
    delete[] renamed.name;
    EntriesChanged();
    return true;
}

bool ZEMArchive::RemoveFile(unsigned index) {
    return RemoveFiles(&index, 1);
}

// Copies the count indexes given, or says why they are no members.
bool ZEMArchive::Chosen(const unsigned* indexes, unsigned count,
                        std::vector<unsigned>& chosen) const {
    if (count && !indexes) return Failed("no members given");
    chosen.assign(indexes, indexes + count);
    for (unsigned index : chosen) {
        if (index >= entries.size()) return Failed("no member " + std::to_string(index));
    }
    return true;
}

bool ZEMArchive::RemoveFiles(const unsigned* indexes, unsigned count) {
    std::vector<unsigned> chosen;
    Edit edit;
    if (!Chosen(indexes, count, chosen) || !BeginEdit(edit) ||
        !Refresh(edit, chosen.data(), chosen.size())) {
        return false;
    }
    std::vector<bool> gone(entries.size());
    for (unsigned index : chosen)
        gone[index] = true;
    std::vector<const ArchiveEntry*> list;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!gone[i]) list.push_back(entries[i]);
    }
    std::vector<uint32_t> offsets;
    if (!Repack(edit, list, offsets)) return false;
    size_t kept = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (gone[i]) {
            DeleteEntry(entries[i]);
        } else {
            entries[kept++] = entries[i];
        }
    }
    entries.resize(kept);
    TakeOffsets(offsets);
    EntriesChanged();
    return true;
}

bool ZEMArchive::Compact() {
    Edit edit;
    if (!BeginEdit(edit) || !Refresh(edit, nullptr, 0)) return false;
    std::vector<const ArchiveEntry*> list(entries.begin(), entries.end());
    std::vector<uint32_t> offsets;
    if (!Repack(edit, list, offsets)) return false;
    TakeOffsets(offsets);
    return true;
}

// Whether the records of a directory of count members fit in place of the current one and the
// free bytes behind it, which no member uses, up to end (the end of the file).
bool ZEMArchive::RoomBehindDirectory(size_t count, uint64_t end) const {
    if (!known.valid || known.count != entries.size() || known.dirOffset < HEADER_SIZE) {
        return false;
    }
    const uint64_t dirEnd = known.dirOffset + uint64_t(known.count) * RecordSize();
    uint64_t free = end;
    for (const ArchiveEntry* entry : entries) {
        if (entry->size && MemberEnd(*entry) > known.dirOffset) {
            free = std::min<uint64_t>(free, entry->offset);
        }
    }
    return free >= dirEnd && known.dirOffset + uint64_t(count) * RecordSize() <= free;
}

// Whether a directory of list written at end would leave more dead bytes in the file than live
// ones (the header, the members and the directory).
bool ZEMArchive::Bloated(const std::vector<const ArchiveEntry*>& list, uint64_t end) const {
    const uint64_t live = LiveBytes(list.data(), list.size());
    return end + uint64_t(list.size()) * RecordSize() > 2 * live;
}

// Rebuilds the archive of the members of list, whose bytes lie in the archive file at their
// offsets; their new offsets go to offsets.
bool ZEMArchive::Repack(Edit& edit, const std::vector<const ArchiveEntry*>& list,
                        std::vector<uint32_t>& offsets) {
    std::vector<Part> parts;
    for (const ArchiveEntry* entry : list)
        parts.push_back({*entry, nullptr, entry->offset});
    if (!Rebuild(edit, parts, nullptr)) return false;
    offsets.clear();
    for (const Part& part : parts)
        offsets.push_back(part.entry.offset);
    return true;
}

// The members, in storage order, take the offsets that Repack gave them.
void ZEMArchive::TakeOffsets(const std::vector<uint32_t>& offsets) {
    for (size_t i = 0; i < entries.size() && i < offsets.size(); ++i)
        entries[i]->offset = offsets[i];
}

// Removes the temporary files that killed rebuilds left beside the archive.
void ZEMArchive::RemoveStaleTemps() const {
    const std::string target = ZEM::Platform::ResolvedPath(archivePath);
    Folder folder;
    std::string name;
    if (!target.empty() && folder.OpenParentOf(target.c_str(), name)) folder.RemoveDeadTemps();
}

bool ZEMArchive::UpdateFile(unsigned index, const char* srcPath) {
    return UpdateSources(&index, &srcPath, 1,
                         ": UpdateFile stores no empty file (UpdateFiles does)");
}

bool ZEMArchive::UpdateFiles(const unsigned* indexes, const char* const* srcPaths, unsigned count) {
    return UpdateSources(indexes, srcPaths, count, nullptr);
}

// Replaces the members at indexes by the files srcPaths in one rebuild; an empty file is refused
// with emptyRefusal unless that is null.
bool ZEMArchive::UpdateSources(const unsigned* indexes, const char* const* srcPaths, unsigned count,
                               const char* emptyRefusal) {
    std::vector<unsigned> chosen;
    if (!Chosen(indexes, count, chosen)) return false;
    if (count && !srcPaths) return Failed("no sources given");
    for (unsigned k = 0; k < count; ++k) {
        if (!IsSet(srcPaths[k])) return Failed("no source given for member " + std::to_string(k));
    }
    Edit edit;
    if (!BeginEdit(edit) || !Refresh(edit, chosen.data(), chosen.size())) return false;
    std::vector<Part> parts;
    for (const ArchiveEntry* entry : entries)
        parts.push_back({*entry, nullptr, entry->offset});
    for (unsigned k = 0; k < count; ++k) {
        Part& part = parts[chosen[k]];
        if (part.path) return Failed(Quoted(part.entry.name) + " is given twice");
        part.path = srcPaths[k];
    }
    if (!Rebuild(edit, parts, emptyRefusal)) return false;
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i]->offset = parts[i].entry.offset;
        entries[i]->size = parts[i].entry.size;
        entries[i]->date = parts[i].entry.date;
    }
    EntriesChanged();
    return true;
}

// Writes the archive of parts into a new temporary file beside the archive, members back to back
// from the header on, flushes it and renames it over the archive. Sets the parts' new offsets,
// and the sizes and dates of those that come from files. The object's directory is left for the
// caller to change.
bool ZEMArchive::Rebuild(Edit& edit, std::vector<Part>& parts, const char* emptyRefusal) {
    // The archive's own folder, links resolved, so that a link to the archive stays a link.
    const std::string target = ZEM::Platform::ResolvedPath(archivePath);
    Folder folder;
    std::string name;
    if (target.empty() || !folder.OpenParentOf(target.c_str(), name)) {
        return Failed(SystemError("cannot enter the archive's folder", folder.Error()));
    }
    folder.RemoveDeadTemps();
    File temp;
    if (!temp.CreateTemp(folder)) {
        return Failed(SystemError("cannot make a temporary file beside the archive", temp.Error()));
    }
    temp.TakeModeOf(edit.file);
    ZEM::Platform::FileStatus self;
    if (!edit.file.Status(self)) return Failed(SystemError("cannot read it", edit.file.Error()));
    Appender out(temp, HEADER_SIZE);
    if (!out.Ready()) return Failed("out of memory");
    for (Part& part : parts) {
        if (!CopyPart(edit, out, self, part, emptyRefusal)) return false;
    }
    if (!out.Flush()) return Failed(SystemError("cannot write the new archive", temp.Error()));
    std::vector<const ArchiveEntry*> list;
    for (const Part& part : parts)
        list.push_back(&part.entry);
    if (!WriteWhole(temp, list.data(), list.size(), out.End())) return false;
    if (!temp.Publish(folder, name.c_str(), true)) {
        return Failed(SystemError("cannot write the new archive", temp.Error()));
    }
    // The rename is done: the new archive is in place even if its folder cannot be flushed.
    folder.Sync();
    dataEnd = uint32_t(out.End());
    TakeReadFile(temp, Written(list, out.End(), 0));
    return true;
}

// Appends the bytes of part to out: from the archive file (whose status is self), or from its
// source file, whose size and date it takes.
bool ZEMArchive::CopyPart(Edit& edit, Appender& out, const ZEM::Platform::FileStatus& self,
                          Part& part, const char* emptyRefusal) {
    File source;
    if (part.path) {
        ZEM::Platform::FileStatus status;
        const std::string refusal = OpenSource(part.path, emptyRefusal, source, status);
        if (!refusal.empty()) return Failed(refusal);
        // Replacing a member by the archive itself would read back what is being written.
        if (ZEM::Platform::SameIdentity(status, self)) {
            return Failed(Quoted(part.path) + " is the archive itself");
        }
        part.entry.size = uint32_t(status.size);
        part.entry.date = StoresDates() ? status.mtime : 0;
        part.from = 0;
    }
    if (out.End() + part.entry.size > UINT32_MAX) return Failed(TOO_LARGE);
    part.entry.offset = uint32_t(out.End());
    bool readFailed = false;
    if (out.Copy(part.path ? source : edit.file, part.from, part.entry.size, readFailed)) {
        return true;
    }
    if (readFailed) {
        return Failed("cannot read " + Quoted(part.path ? part.path : part.entry.name) +
                      " to copy it");
    }
    return Failed(SystemError("cannot write the new archive", out.file.Error()));
}

// What the file holds once this object wrote the directory of list at offset at, the records
// before index from being those it knew there: reading them back would cost every add the whole
// directory.
ZEMArchive::FileState ZEMArchive::Written(const std::vector<const ArchiveEntry*>& list, uint64_t at,
                                          size_t from) const {
    FileState state;
    const size_t kept = std::min(known.records.size(), from * RecordSize());
    try {
        state.records.assign(known.records.begin(), known.records.begin() + kept);
        EncodeDirectory(list.data() + from, list.size() - from,
                        [&state](const uint8_t* bytes, unsigned size) {
                            state.records.insert(state.records.end(), bytes, bytes + size);
                            return true;
                        });
    } catch (const std::exception&) {
        return FileState(); // not valid: the next edit reads the directory again
    }
    EncodeHeader(state.header, uint32_t(at), uint32_t(list.size()));
    state.dirOffset = uint32_t(at);
    state.count = uint32_t(list.size());
    state.valid = true;
    return state;
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
