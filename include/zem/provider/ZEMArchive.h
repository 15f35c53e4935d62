#ifndef ZEM_PROVIDER_ZEMARCHIVE_H
#define ZEM_PROVIDER_ZEMARCHIVE_H

#include <zem/core/ZEMExport.h>
#include <zem/provider/ZEMFileProvider.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class ZEMFile;
namespace ZEM {
namespace Stream {
class SharedFile;
}
namespace Platform {
class File;
class Folder;
struct FileStatus;
} // namespace Platform
} // namespace ZEM

// CopyFile is declared out of the reach of the macro of <windows.h>, as in ZEMFileProvider.h.
#pragma push_macro("CopyFile")
#undef CopyFile

// The base of the archive formats: a provider whose items are the members of one archive file.
//
// Opening reads the header and the directory under a shared lock and keeps a read handle on that
// very file: members and extraction read the version whose directory the object holds, even when
// another program replaces the archive meanwhile. Member streams hold the handle too, so they
// outlive the archive object.
//
// Edits never lose data: an editor takes an exclusive lock on the file for the whole edit (waiting
// for another editor up to the lock timeout) and first reads the directory again when another
// program changed the file, so that edits by others are kept. Adding appends the new bytes after
// everything the file holds and their records behind the directory when there is room there,
// else a new directory with room to grow; renaming appends a new directory. Both flush to the
// disk before they switch the header (an old directory becomes dead space). Removing, replacing
// (one member or many, in one rebuild) and compacting write a new archive into a temporary file
// beside it, flush it, and rename it over the archive; so do an add or a rename that would leave
// more dead bytes than live ones. A crash at any point leaves the archive as it was before the
// edit or after it, and the next rebuild removes the temporary file that a killed one left.
//
// Threads: an archive object is used by one thread at a time (lookups, member openings and
// LastError change it, const calls included). Objects of their own on several threads may read
// and edit the same file: editors wait for one another's lock, as in different programs. The
// member streams that one object opened may each be read on its own thread at the same time.
class ZEM_API ZEMArchive : public ZEMFileProvider {
public:
    // One member of the directory.
    struct ArchiveEntry : ZEMSortableItem {
        char* name = nullptr; // as stored in the directory, owned
        uint32_t size = 0;    // length in bytes
        uint32_t offset = 0;  // absolute position of the first byte in the archive file
        uint32_t date = 0;    // seconds since 1970-01-01 00:00 UTC; 0 when the format has none
        // Why a record cannot be trusted, as found when the directory was read (see Damage).
        enum class Flaw : uint8_t { NONE, OUTSIDE_FILE, ON_DIRECTORY, ON_MEMBER };
        Flaw flaw = Flaw::NONE;  // NONE for a sound member
        uint32_t overlapped = 0; // for ON_MEMBER: the storage index of a member it overlaps
    };

    // Called by AddFiles after each source: its position in the list given and the new member's
    // storage index, or 0xFFFFFFFF when that source was left out (LastError says why). Not
    // called for the source whose copy found the archive file unwritable, nor after it.
    using AddCallback = std::function<void(unsigned position, unsigned index)>;

    // What became of one member in ExtractMembers.
    enum class ExtractOutcome {
        WRITTEN, // its file was written
        EXISTS,  // its name exists below the folder and was left alone
        FAILED,  // it could not be written (LastError says why)
    };
    // Called by ExtractMembers after each member: its storage index and what became of it.
    using ExtractCallback = std::function<void(unsigned index, ExtractOutcome outcome)>;

    // Format number of the file at path from its first bytes: 0 unknown or unreadable, 1 ZEM,
    // 2 PAK, 4 BIFF, 5 (size rule), 6 Ensemble, 7 "rass", 8 ZIP.
    static int FindArchiveFormat(const char* path);
    // A new, opened archive for formats 1 and 2 (owned by the caller); null otherwise or when it
    // cannot be opened.
    static ZEMArchive* OpenArchive(const char* path);
    // The same; when it gives null, why says so in words (missing, not an archive this library
    // reads, damaged and how).
    static ZEMArchive* OpenArchive(const char* path, std::string& why);

    // A closed archive of the given format number (1 ZEM, 2 PAK).
    explicit ZEMArchive(int format);
    ~ZEMArchive() override;
    ZEMArchive(const ZEMArchive&) = delete;
    ZEMArchive& operator=(const ZEMArchive&) = delete;

    // Absolute path of the archive file; null when closed.
    const char* Name() const override { return archivePath; }
    unsigned NbFiles() const override { return static_cast<unsigned>(entries.size()); }
    // The member of that name (exact bytes) as a new stream; null when there is none.
    ZEMResFile* OpenFile(const char* name) const override;
    ZEMResFile* OpenFile(const iterator& it) const override;
    bool CopyFile(const char* name, const char* destPath) const override;
    void PrintInfo() const override;

    const char* FileName(unsigned index) const override { return entries[index]->name; }
    unsigned FileSize(unsigned index) const override { return entries[index]->size; }
    unsigned long FileDate(unsigned index) const override { return entries[index]->date; }
    bool FileAccess(unsigned, unsigned) const override { return true; }
    bool IsFileHidden(unsigned) const override { return false; }
    bool IsFile(unsigned) const override { return true; }
    bool IsFileLink(unsigned) const override { return false; }
    bool IsFileDir(unsigned) const override { return false; }
    int CompareFunc(const ZEMSortableItem* a, const ZEMSortableItem* b) const override;
    ZEMSortableItem* GetItem(unsigned index) const override { return entries[index]; }

    // A constant description of the format.
    virtual const char* FormatInfo() const = 0;
    // The longest member name the format holds, in bytes (31 ZEM, 56 PAK).
    unsigned MaxNameLength() const { return NameLength(); }
    // Writes a new, empty archive at path (which must not exist) and opens it.
    virtual bool Create(const char* path) = 0;
    // Forgets the archive: no path, no entries.
    virtual void Close();
    // A new read-only stream over the member's bytes (owned by the caller); null when index is
    // out of range or the member cannot be opened (an empty member cannot).
    virtual ZEMResFile* OpenResFile(unsigned index) const;
    // Appends the disk file srcPath as a member named after the last path component of storeName
    // (of srcPath when storeName is null): "sub/e.txt" is stored as "e.txt". The new storage
    // index; 0xFFFFFFFF on failure, with why in LastError and the log: an empty file is refused,
    // and so is a name longer than MaxNameLength, never cut. AddFiles keeps folders in names and
    // stores empty files.
    virtual unsigned AddFile(const char* srcPath, const char* storeName);
    // Storage index of the first member named exactly name; 0xFFFFFFFF when there is none.
    virtual unsigned FindFile(const char* name) const;
    // Removes a member; the later members move down one storage index.
    virtual bool RemoveFile(unsigned index);
    // Removes the members at the count storage indexes given (one given twice is removed once)
    // in one edit: one rebuild, after which all are gone, or, when it fails or is killed, none.
    bool RemoveFiles(const unsigned* indexes, unsigned count);
    // Renames a member after the last path component of newName; a name longer than
    // MaxNameLength is refused (LastError and the log say why), never cut.
    virtual bool RenameFile(unsigned index, const char* newName);
    // Renames a member to newName as given, folders included (e.g. "maps/e1m1.bsp"), when
    // IsSafeName takes it; a name longer than the format holds is refused, never cut.
    bool RenameMember(unsigned index, const char* newName);
    // Replaces a member's bytes by the disk file srcPath; name and storage index stay. An empty
    // file is refused.
    virtual bool UpdateFile(unsigned index, const char* srcPath);
    // Replaces the members at the count storage indexes given by the disk files srcPaths (empty
    // files too) in one edit: one rebuild, after which every member is new, or, when it fails or
    // is killed, none is. A member given twice is refused.
    bool UpdateFiles(const unsigned* indexes, const char* const* srcPaths, unsigned count);
    // Writes a member's bytes to the disk file destPath (not the archive file itself); true when
    // all were written. A new name is created for the member; an existing one is replaced by a
    // temporary file in destPath's folder renamed over it: a link or a hard link of that name is
    // replaced, never written through. The file takes the member's date when the format keeps
    // one; a file written in part is removed.
    virtual bool ExtractFile(unsigned index, const char* destPath) const;
    // Extracts every member into the existing directory destDir, creating the subdirectories
    // that member names hold and replacing files of their names; names that IsSafeName refuses
    // are skipped. Each member left out is named in the log with the reason.
    virtual bool ExtractAll(const char* destDir) const;
    // Extracts one member below destDir as ExtractAll does; false for a name that is not
    // IsSafeName, for a folder on the way that is a link (never followed) or no folder, or when
    // the file cannot be written.
    bool ExtractInto(unsigned index, const char* destDir) const;
    // Extracts the members at the storage indexes given below the existing directory destDir in
    // one run, each as ExtractInto does, except that a name that exists there in any form (a
    // file, a folder, a link, one that leads nowhere included) is left alone unless replace.
    // The folders on the way are entered once for a run of members in them, and members that
    // follow one another in the archive file are read in large blocks. onMember hears of each
    // member; true when every member was written.
    bool ExtractMembers(const unsigned* indexes, size_t count, const char* destDir, bool replace,
                        const ExtractCallback& onMember = ExtractCallback()) const;
    // True when a member name stays inside any folder it is extracted to and makes a plain file
    // name there: not empty, not absolute, no drive ("C:x"), no component is "..", it does not
    // end with a separator, and it holds no control characters. On Windows it also holds none of
    // :<>"|?*, no component is a device name in any case and with any extension ("CON",
    // "nul.txt", "com1"), and none ends with a dot or a space, which Windows would drop.
    static bool IsSafeName(const char* name);
    // Why a member is damaged, "" when it is not: its bytes do not lie inside the file past the
    // header, or they overlap the directory or another member's (300 records may point at the
    // same bytes, and each would be extracted anew). A damaged member leaves the rest of the
    // archive readable: opening logs the damage and succeeds. A member outside the file does not
    // open; extraction refuses every damaged member, those that only overlap others too unless
    // SetExtractOverlaps(true), so that it never writes more than the archive's distinct bytes
    // unless told. Edits refuse a damaged archive: extract its other members into a new one.
    std::string Damage(unsigned index) const;
    // Whether extraction writes members that overlap other members or the directory (false at
    // first); members outside the file are never extracted.
    void SetExtractOverlaps(bool allow) { extractOverlaps = allow; }
    // Sum of the member sizes (32-bit).
    virtual unsigned TotalSize() const;
    // Bytes of the archive file that neither the header, the directory nor a member uses: the
    // directories and members that edits left behind.
    uint64_t DeadSpace() const;
    // Rewrites the archive without dead space, as RemoveFile rebuilds it: into a temporary file
    // beside it, flushed and then renamed over it.
    bool Compact();

    // Appends many disk files at once and writes the directory a single time, which keeps
    // building large archives linear. Unlike AddFile, a store name is stored as given (folders
    // included, e.g. "maps/e1m1.bsp") when IsSafeName takes it; storeNames may be null, and so
    // may any of its entries (the source's base name is stored then). A name longer than the
    // format holds is refused, never cut; empty files are stored. Members are appended in the
    // order given; a source that cannot be stored is skipped. Returns the number of members
    // added; 0 when the archive file could not be written (LastError says why), the archive then
    // keeping the members it had.
    unsigned AddFiles(const char* const* srcPaths, const char* const* storeNames, unsigned count,
                      const AddCallback& onFile = AddCallback());
    // Writes a new archive of these files at path and opens it, the files stored as AddFiles
    // stores them. The archive is built under a temporary name beside path and linked under
    // path at the end: a create that fails or is killed leaves nothing. An existing file at path
    // is refused unless replace, which replaces it whole (after its editor, if any, is done).
    // False (LastError says why) when path could not be written, or when count files were given
    // and none could be stored.
    bool CreateFrom(const char* path, const char* const* srcPaths, const char* const* storeNames,
                    unsigned count, bool replace, const AddCallback& onFile = AddCallback());
    // Writes the directory at the end of the member data, then the header, into file (an archive
    // open for writing); true when every byte was written. Members opened afterwards read the
    // archive file anew.
    bool WriteDirectory(ZEMResFile& file) const;
    // Dumps the directory as a table to the log. Control characters in names are shown as
    // \xHH escapes.
    void PrintContent() const;

    // Why the last operation that failed did so ("" after a success): the file, the disk, the
    // lock or the format, in words.
    const char* LastError() const { return lastError.c_str(); }
    // How long an edit or an opening waits for the lock of another editor before it fails, the
    // reopening of a file that the other editor replaced meanwhile included.
    void SetLockTimeout(unsigned milliseconds) { lockTimeout = milliseconds; }

protected:
    // Bytes of every format's header: a magic and two 32-bit fields.
    static constexpr uint32_t HEADER_SIZE = 12;

    // Sets the archive's path, made absolute against the working directory; an empty or null
    // path keeps the old one.
    void SetName(const char* path);
    // Must follow every change of entries or of an entry's name: drops the lookup index.
    void EntriesChanged() { nameIndexValid = false; }

    // What a format tells the shared code about its files.
    virtual unsigned NameLength() const = 0; // longest name a record holds
    virtual unsigned RecordSize() const = 0; // bytes per directory record (at most 64)
    virtual bool StoresDates() const = 0;    // whether members keep their source's date
    // The 12-byte header for a directory at dirOffset with count records.
    virtual void EncodeHeader(uint8_t* out, uint32_t dirOffset, uint32_t count) const = 0;
    // One directory record.
    virtual void EncodeRecord(const ArchiveEntry& entry, uint8_t* out) const = 0;
    // Fills entry's fields from one directory record, all but the name; returns the length of
    // the name, which starts the record.
    virtual unsigned DecodeRecord(const uint8_t* in, ArchiveEntry& entry) const = 0;

    // Shared by the formats' Create: writes an empty archive at path and opens it.
    bool CreateEmpty(const char* path);
    // Shared by the formats' Open: reads the header and directory of the archive at path, checks
    // that the directory lies inside the file, past the header, and marks damaged members.
    bool Load(const char* path);
    // Reads a header: false (with why) when it does not begin with the format's magic; else the
    // directory's offset, its length in bytes and its number of records.
    virtual bool DecodeHeader(const uint8_t* header, uint32_t& dirOffset, uint64_t& dirBytes,
                              uint32_t& count, std::string& why) const = 0;
    // Little-endian fields of the archive headers and records.
    static uint32_t GetLE32(const uint8_t* p) {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    static void PutLE32(uint8_t* p, uint32_t value) {
        p[0] = uint8_t(value);
        p[1] = uint8_t(value >> 8);
        p[2] = uint8_t(value >> 16);
        p[3] = uint8_t(value >> 24);
    }

    char* archivePath = nullptr; // absolute path of the archive file, owned; null when closed
    std::vector<ArchiveEntry*> entries; // the directory in storage order, owned
    int format;                         // format number, as FindArchiveFormat gives it
    uint32_t dataEnd = 0;               // end of the member data, where the directory is written

private:
    struct Directory;
    struct Edit;
    struct Extractor;
    // A member of a rebuilt archive: its entry, and where its bytes come from: the disk file
    // path, or the archive file at offset from when path is null.
    struct Part {
        ArchiveEntry entry;
        const char* path;
        uint32_t from;
    };
    struct Appender;
    struct Sources;
    // What an archive file was when this object last read or wrote it.
    struct FileState {
        bool valid = false;
        uint8_t header[HEADER_SIZE] = {};
        uint32_t dirOffset = 0;       // of the directory the header names
        uint32_t count = 0;           // of its records
        std::vector<uint8_t> records; // as the file holds them
    };

    bool ReadDirectory(ZEM::Platform::File& file, Directory& directory) const;
    // Why extraction leaves the member out for its record, "" when it does not.
    std::string Unextractable(unsigned index) const;
    void Adopt(Directory& directory, ZEM::Platform::File& file);
    void LogDamage() const;
    bool BeginEdit(Edit& edit);
    bool Sound(const std::vector<ArchiveEntry*>& list) const;
    bool Refresh(Edit& edit, unsigned* indexes, size_t count);
    unsigned Follow(const std::vector<ArchiveEntry*>& current, unsigned index) const;
    bool Chosen(const unsigned* indexes, unsigned count, std::vector<unsigned>& chosen) const;
    bool UpdateSources(const unsigned* indexes, const char* const* srcPaths, unsigned count,
                       const char* emptyRefusal);
    bool CopyPart(Edit& edit, Appender& out, const ZEM::Platform::FileStatus& self, Part& part,
                  const char* emptyRefusal);
    unsigned AddSources(const Sources& sources);
    bool AppendSources(Appender& out, const Sources& sources, size_t kept,
                       std::vector<ArchiveEntry*>& added, std::string& refusal);
    unsigned AppendSource(Appender& out, const ZEM::Platform::FileStatus& self, const char* srcPath,
                          const char* storeName, bool asGiven, size_t kept,
                          std::vector<ArchiveEntry*>& added, bool& writable);
    bool WriteWhole(ZEM::Platform::File& file, const ArchiveEntry* const* list, size_t count,
                    uint64_t end);
    bool Link(ZEM::Platform::File& file, ZEM::Platform::Folder& folder, const std::string& name,
              const char* path, bool replace);
    bool Rename(unsigned index, const char* newName);
    bool RenameChecked(unsigned index, const char* name, const std::string& refusal, bool shown);
    std::string TooLong(const char* name, size_t length) const;
    // Logs "ZEMArchive: what: " and LastError; false.
    bool Told(const std::string& what) const;
    bool CommitDirectory(Edit& edit, const std::vector<const ArchiveEntry*>& list, uint64_t at,
                         size_t from, size_t room, uint64_t start);
    bool RoomBehindDirectory(size_t count, uint64_t end) const;
    bool Rebuild(Edit& edit, std::vector<Part>& parts, const char* emptyRefusal);
    bool Repack(Edit& edit, const std::vector<const ArchiveEntry*>& list,
                std::vector<uint32_t>& offsets);
    void TakeOffsets(const std::vector<uint32_t>& offsets);
    bool Bloated(const std::vector<const ArchiveEntry*>& list, uint64_t end) const;
    uint64_t LiveBytes(const ArchiveEntry* const* list, size_t count) const;
    void RemoveStaleTemps() const;
    template <class Sink>
    bool EncodeDirectory(const ArchiveEntry* const* list, size_t count, Sink sink) const;
    bool Failed(const std::string& why) const;
    void ClearEntries();
    void BuildIndex() const;
    // Lets go of the shared read handle, for the file changed or is no longer the archive's.
    void DropReadFile() const;
    // Takes a new read handle on file, which holds what state says.
    void TakeReadFile(ZEM::Platform::File& file, FileState state) const;
    FileState Stamp(ZEM::Platform::File& file) const;
    FileState Written(const std::vector<const ArchiveEntry*>& list, uint64_t at, size_t from) const;
    bool Unchanged(ZEM::Platform::File& file) const;

    // Lookup index: a table of storage indexes addressed by the hash of their names (linear
    // probing, 0xFFFFFFFF marks a free slot, at most half the slots taken), each distinct name
    // once with the lowest storage index that bears it.
    mutable std::vector<uint32_t> nameIndex;
    mutable bool nameIndexValid = false;
    // The read handle that member streams share; opened by the first member.
    mutable ZEM::Stream::SharedFile* readFile = nullptr;
    mutable FileState known;
    mutable std::string lastError;
    unsigned lockTimeout = 30000;
    bool extractOverlaps = false;
};
#pragma pop_macro("CopyFile")

#endif
