#ifndef ZEM_PLATFORM_ZEMPLATFORM_H
#define ZEM_PLATFORM_ZEMPLATFORM_H

// The one place where paths meet the operating system. Nothing else in the library calls the
// system's file, directory or environment functions directly.
//
// Every path argument may use '\' or '/' as separator; a null path is refused (false, null or
// ATTR_INVALID). Paths that the layer reports (working directory, executable, folders, mount
// points) are in the system's own form, e.g. /home/me/game or C:\games\data. The names stay clear
// of the Win32 macros (CopyFile, MoveFile, ...) so that the Win32 implementation may include
// <windows.h>.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace ZEM {
namespace Platform {

// ---- Paths ----

// The separator of the paths that the library builds.
#ifdef _WIN32
constexpr char SEPARATOR = '\\';
#else
constexpr char SEPARATOR = '/';
#endif

// The end of a line in the text files that the library writes, as the system's text mode has it.
#ifdef _WIN32
constexpr const char* LINE_END = "\r\n";
#else
constexpr const char* LINE_END = "\n";
#endif

// Both '/' and '\' end a path component.
inline bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// Whether file names follow Windows' rules: no ':' (a drive or a data stream), none of <>"|?*,
// no device name such as "CON" or "nul.txt" as a component, and no component ending with a dot
// or a space (which the system drops, so that "a." would open "a").
#ifdef _WIN32
constexpr bool WINDOWS_NAMES = true;
#else
constexpr bool WINDOWS_NAMES = false;
#endif

// dir ready for a name to be appended: with SEPARATOR at its end unless it ends with a separator
// already. An empty dir stays empty.
inline std::string WithSeparator(const char* dir) {
    std::string path = dir ? dir : "";
    if (!path.empty() && !IsSeparator(path.back())) path += SEPARATOR;
    return path;
}

// The folder part of a path (without its last separator, but "/" for a file in the root) and the
// name that follows it.
inline void SplitPath(const std::string& path, std::string& folder, std::string& name) {
    size_t at = path.size();
    while (at > 0 && !IsSeparator(path[at - 1]))
        --at;
    folder = path.substr(0, at > 1 ? at - 1 : at);
    name = path.substr(at);
}

// The path as the system takes it: '\' and '/' are both separators.
std::string NativePath(const char* path);

// fopen on the native form of the path; null for a null path and for a directory, which POSIX
// would open but which holds no bytes to read (as on platforms that refuse it).
FILE* OpenFile(const char* path, const char* mode);

// Size of the file behind an open runtime handle, without reading through the handle (which
// would fill its buffer with bytes that may change before they are read).
bool StreamSize(FILE* file, uint64_t& size);

// Places a runtime handle at an absolute offset, past 2 GiB too (fseek takes a long, which has
// 32 bits on Windows and on 32-bit systems).
bool SeekStream(FILE* file, uint64_t offset);

// ---- Attributes and status ----

// Attribute bits, with the values of the original platform.
constexpr unsigned ATTR_HIDDEN = 0x2;     // hidden (POSIX: the name begins with '.')
constexpr unsigned ATTR_DIRECTORY = 0x10; // a directory (symbolic links are followed)
constexpr unsigned ATTR_NORMAL = 0x80;    // none of the others: a plain file
constexpr unsigned ATTR_INVALID = 0xFFFFFFFFu;

// Attribute bits of an existing file or directory; ATTR_INVALID when it cannot be reached.
unsigned Attributes(const char* path);

// True when the last component of the path names a hidden entry (".x", not "." or "..").
bool IsHiddenName(const char* name);

// Mode bits as reported by the file status (st_mode & 0xFFFF).
constexpr uint32_t MODE_DIRECTORY = 0x4000;
constexpr uint32_t MODE_REGULAR = 0x8000;
constexpr uint32_t MODE_TYPE_MASK = 0xF000;

struct FileStatus {
    uint32_t mode = 0;  // st_mode & 0xFFFF: type (MODE_*) and access bits
    uint64_t size = 0;  // size in bytes
    uint32_t mtime = 0; // modification time, seconds since 1970-01-01 UTC (32-bit wrap)
    // The file's identity: the same device and index mean the same file. Filled by File::Status
    // only (0 otherwise).
    uint64_t device = 0;
    uint64_t index = 0;
};

// True when two statuses that File::Status filled describe the same file.
inline bool SameIdentity(const FileStatus& a, const FileStatus& b) {
    return a.index != 0 && a.device == b.device && a.index == b.index;
}

// File status by path (symbolic links followed); false when the path cannot be reached.
bool Status(const char* path, FileStatus& status);

// True when both paths reach the same existing file, whatever the names (links, "..", case).
bool SameFile(const char* a, const char* b);

// What a file is now: which file the name reaches, its size and its last change. Two stamps of
// one path differ once a program wrote the file, appended to it or renamed another over it.
struct FileStamp {
    uint64_t identity = 0; // the file the name reaches (device and inode, or creation time)
    uint64_t size = 0;
    uint64_t modified = 0; // last write, in the system's finest unit
    uint64_t changed = 0;  // last change of the file or its status, where the system tells it

    bool operator==(const FileStamp& other) const {
        return identity == other.identity && size == other.size && modified == other.modified &&
               changed == other.changed;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

// The stamp of the file at path (links followed); false when it cannot be reached.
bool Stamp(const char* path, FileStamp& stamp);

// ---- File operations ----

// Deletes one file (not a directory).
bool RemoveFile(const char* path);

// Moves or renames a file or directory. Fails when `to` exists (never replaces it). Across file
// systems a regular file is copied (mode and date kept) and the source deleted; the move then
// fails as a whole, leaving no partial target, when either step fails.
bool MovePath(const char* from, const char* to);

// Moves or renames, replacing an existing `to` atomically: `to` is never lost, whatever fails.
// Across file systems the copy goes to a temporary file beside `to` and is then renamed over it.
bool MoveReplace(const char* from, const char* to);

// Whether this process may write the existing file path; false (errno EACCES, EROFS, ...) when
// not.
bool MayWriteFile(const char* path);

// Copies a regular file (mode and modification date kept). With failIfExists an existing `to`
// makes it fail (exclusive create); otherwise `to` is overwritten. A copy of a file onto itself
// (the same file under any name) is refused and leaves it untouched.
bool CopyRegularFile(const char* from, const char* to, bool failIfExists);

// Creates one directory level (mode 0777 before the umask).
bool MakeDirectory(const char* path);

// ---- Files that the library edits ----

// Every change that an edit makes on the disk (a write, a flush to the disk, a link or a rename)
// passes one count. Crash tests set ZEM_FAULT_WRITE in a child process: "N" kills the process at
// the Nth change before it happens (SIGKILL; on Windows TerminateProcess with exit code 137),
// "N:torn" writes the first half of that write (whole 512-byte sectors) and then kills, "N:fail"
// makes that change fail as on a full disk, and "trace:PATH" appends one line per change to the
// file PATH ("write OFFSET SIZE", "sync", "link", "rename", "sync folder"; on Windows a file
// replaced while it is held is first renamed aside: "rename", "rename aside", "rename"). Unset,
// nothing changes.

// How long editors and readers wait for a lock held by another editor by default.
constexpr unsigned LOCK_WAIT_MS = 30000;

class Folder;

// A file opened by descriptor, read and written at absolute offsets. Only regular files open,
// and opening never blocks (a FIFO or a device is refused at once).
class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // An existing regular file, for reading, or for reading and writing.
    bool OpenRead(const char* path);
    bool OpenEdit(const char* path);
    // A new empty file in folder that no other program can find (unnamed where the system
    // allows, else under a unique hidden name), until Publish names it. Closing it unpublished
    // removes it.
    bool CreateTemp(const Folder& folder);
    // Names the temporary file name in its folder, replacing a file of that name (never
    // following a link there) or, without replace, failing when the name exists.
    bool Publish(const Folder& folder, const char* name, bool replace);
    // A new file name in folder, for writing; fails (EEXIST) when the name exists in any form, a
    // link that leads nowhere included, and never follows a link.
    bool CreateNew(const Folder& folder, const char* name);

    bool IsOpen() const { return fd_ >= 0; }
    // Exactly size bytes from offset; false at the end of the file or on an error.
    bool ReadAt(uint64_t offset, void* buffer, size_t size);
    // Up to size bytes from offset; the count read.
    size_t ReadSome(uint64_t offset, void* buffer, size_t size);
    // All size bytes at offset.
    bool WriteAt(uint64_t offset, const void* data, size_t size);
    // Flushes the file's bytes to the disk.
    bool Sync();
    bool Truncate(uint64_t size);
    bool Size(uint64_t& size);
    // The open file's status, its identity included.
    bool Status(FileStatus& status);
    // Sets the modification date, in seconds since 1970-01-01 UTC.
    bool SetDate(uint32_t mtime);
    // Mode bits of the file (st_mode & 07777) given to this one.
    bool TakeModeOf(File& other);
    // Mode bits of the file name in folder given to this one, and its owner and group where the
    // system lets us give them; true when there is no such file.
    bool TakeModeOf(const Folder& folder, const char* name);
    // A lock that other File objects (in this process or another) respect: shared for readers,
    // exclusive for an editor. Waits up to timeoutMs; false (error EWOULDBLOCK) after it.
    bool Lock(bool exclusive, unsigned timeoutMs);
    void Unlock();
    // True while path still names this very file (not a file that replaced it).
    bool IsAt(const char* path);
    // A new runtime handle for reading the same file; null when none can be made.
    FILE* ReadStream();
    // errno of the last failure.
    int Error() const { return error_; }
    void Close();

private:
    bool Fail();
    // The system's write of all size bytes at offset, without the fault plan; errno on failure.
    bool WriteAll(uint64_t offset, const char* bytes, size_t size);

    int fd_ = -1;
    int error_ = 0;
    bool locked_ = false;
    int tempDir_ = -1;     // folder of a named temporary file
    std::string tempName_; // its name while it is not published
};

// A folder held open, so that names below it are reached without following links put there
// meanwhile.
class Folder {
public:
    Folder() = default;
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // An existing folder; links in the path given are followed, as the user chose it.
    bool Open(const char* path);
    // The folder that holds the file path; its last component is left in name.
    bool OpenParentOf(const char* path, std::string& name);
    // Moves down into the child folder name, created when missing; refused (ELOOP) when name is
    // a link and (ENOTDIR) when it is something else than a folder.
    bool Enter(const char* name);
    // The folder that other holds, under a handle of its own.
    bool Duplicate(const Folder& other);
    // Removes the file name in the folder.
    bool Remove(const char* name);
    // Flushes the folder's entries to the disk.
    bool Sync();
    // Removes the temporary files that File::CreateTemp named here for processes that no longer
    // run: a process killed between naming its temporary file and renaming it leaves one.
    void RemoveDeadTemps();
    int Descriptor() const { return fd_; }
    int Error() const { return error_; }

private:
    int fd_ = -1;
    int error_ = 0;
};

// The process that File::CreateTemp named the temporary file name for (".zem-PID-...tmp"); 0
// for any other name.
long TempOwner(const char* name);

// Up to size bytes at offset of the file behind a runtime handle, read without the handle's
// buffer; the count read. The handle's position is undefined afterwards.
size_t ReadStreamAt(FILE* stream, uint64_t offset, void* buffer, size_t size);

// The system's text for an errno value.
std::string ErrorText(int error);

// ---- Pattern search ----

// One entry found by a search.
struct FindEntry {
    std::string name;        // the bare name, without the directory
    unsigned attributes = 0; // ATTR_* bits (ATTR_DIRECTORY, ATTR_HIDDEN, or ATTR_NORMAL)
};

// A search of one directory by pattern: the last path component may hold '*' (any run of
// characters) and '?' (one character), matched ASCII case-insensitively; "*.*" matches every name.
// "." and ".." are reported like any other entry, in the order the system lists the directory.
// "data/*.png" searches data, "*" the working directory, "/*" the root.
class Search {
public:
    Search() = default;
    ~Search();
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;

    // Starts a search and gives its first entry; false when the directory cannot be read or
    // nothing matches (the search is then closed). A running search is closed first.
    bool First(const char* pattern, FindEntry& entry);
    // The next entry; false when there are no more.
    bool Next(FindEntry& entry);
    // Ends the search (also done by the destructor and by a failed First or Next).
    void Close();

private:
    void* dir_ = nullptr; // the open directory stream
    std::string dirPath_; // directory being searched, with a trailing separator (or empty)
    std::string pattern_; // the pattern of the last component
};

// Whether a name matches a search pattern as described for Search.
bool MatchPattern(const char* pattern, const char* name);

// ---- Watching folders ----

// Changes to the entries of watched folders, read without ever waiting: no thread is started,
// the caller polls. One watch serves a whole folder.
class FolderWatch {
public:
    // A change to the entry name of the folder with that id. An empty name tells that the
    // folder's watch ended (the folder was removed or moved away); an id of LOST, that changes
    // were lost (too many at once), so that anything watched may have changed.
    struct Change {
        int id;
        std::string name;
    };
    static constexpr int LOST = -1;

    FolderWatch() = default;
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Starts watching a folder; its id (0 or more), or -1 with Error() set when the system
    // refuses (no such folder, no right to read it, too many watches). The same folder added
    // twice may get the same id.
    int Add(const char* folder);
    // Stops watching the folder of that id.
    void Remove(int id);
    // Appends the changes that arrived since the last call; returns at once when there are none.
    void Read(std::vector<Change>& changes);
    // errno of the last failure.
    int Error() const { return error_; }

private:
    int error_ = 0;
#ifdef _WIN32
    struct Watched;
    std::vector<Watched*> watched_; // by id; null where a watch was removed
#else
    int fd_ = -1;              // the inotify descriptor, made by the first Add
    std::vector<char> buffer_; // room for the events of one read
#endif
};

// A file name as the system compares names in a folder: unchanged where names are
// case-sensitive, lower-cased (ASCII) where they are not.
std::string FoldedName(const std::string& name);

// ---- Process ----

// The working directory.
bool GetCurrentDir(std::string& dir);
// The path made absolute against the working directory, in the system's form, with "." and ".."
// components and doubled separators folded away by text (links are not followed), so that two
// spellings of one path compare equal.
std::string AbsolutePath(const char* path);
bool SetCurrentDir(const char* path);
// The path with every link resolved (realpath); "" when it cannot be reached.
std::string ResolvedPath(const char* path);

// Full path of the running program's executable (/proc/self/exe, GetModuleFileNameA), not of
// this library.
bool ExecutablePath(std::string& path);

// ---- Drives ----

// Drive types, with the values of the original platform.
constexpr unsigned DRIVE_TYPE_NO_ROOT = 1;
constexpr unsigned DRIVE_TYPE_CDROM = 5;

// Bit mask of the drives (bit 0 = A:); there are none on POSIX, so 0.
unsigned DriveMask();
// Type of the drive whose root is given; DRIVE_TYPE_NO_ROOT on POSIX.
unsigned DriveTypeOf(const char* root);

// Mount points of the mounted CD/DVD file systems (iso9660, udf), in the order the system lists
// them; empty when there are none or the system does not tell. Windows: the CD-ROM drive roots.
std::vector<std::string> OpticalMounts();

// ---- User folders ----

enum class UserFolder { DOCUMENTS, APP_DATA };

// Outcome of a user folder lookup.
enum class FolderLookup {
    FOUND,       // the folder is in `path`
    NO_VALUE,    // the user has no such folder: asking again gives the same answer
    UNAVAILABLE, // the user's settings cannot be read now (e.g. no home): ask again later
};

// The user's documents folder (XDG_DOCUMENTS_DIR from the environment, else from
// ~/.config/user-dirs.dirs, else $HOME/Documents when it exists) or application-data folder
// ($XDG_DATA_HOME, else $HOME/.local/share). Windows: the "Personal" and "AppData" shell folders
// of the current user in the registry, environment references expanded. Not cached here.
FolderLookup FindUserFolder(UserFolder folder, std::string& path);

} // namespace Platform
} // namespace ZEM

#endif
