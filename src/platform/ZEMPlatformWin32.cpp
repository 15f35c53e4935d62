#include "platform/ZEMFaultInjection.h"
#include "platform/ZEMPlatform.h"
#include "platform/ZEMWideNames.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <cwchar>
#include <new>
#include <thread>

namespace ZEM {
namespace Platform {

namespace {

// Room for a path the system reports, grown when it needs more.
constexpr DWORD PATH_ROOM = MAX_PATH;

// Locks are taken on one byte far beyond any data: Windows locks are mandatory, and a lock on the
// bytes themselves would bar the editor's own read handles from them.
constexpr DWORD LOCK_OFFSET_HIGH = 0x7FFFFFFF;

// Shared so that a file stays readable, writable, renamable and replaceable while we hold it,
// as on POSIX.
constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The extension of the names under which ReplaceHeld puts held files aside.
constexpr const char* ASIDE_EXTENSION = ".old";
// How long an open waits for a file that a running ReplaceHeld is replacing: its two renames take
// a moment, but a busy machine may hold the replacing process back between them for a while.
constexpr ULONGLONG ASIDE_WAIT_MS = 2000;

// The errno value closest to a Win32 error code.
int ErrnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EWOULDBLOCK;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    default:
        return EIO;
    }
}

using ZEM::Platform::Utf8;

std::string Utf8(const WCHAR* name) {
    return Utf8(name, wcslen(name));
}

// Sets errno from the last Win32 error; returns false for chaining.
bool SetErrno() {
    errno = ErrnoOf(GetLastError());
    return false;
}

HANDLE HandleOf(int fd) {
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// A runtime descriptor that owns handle (closed here when none can be made); -1 on failure.
int Adopt(HANDLE handle, int flags) {
    if (handle == INVALID_HANDLE_VALUE) return -1;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) CloseHandle(handle);
    return fd;
}

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return GetFileInformationByHandle(a, &ia) && GetFileInformationByHandle(b, &ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

// A handle on an existing file or folder for its identity only; INVALID_HANDLE_VALUE otherwise.
HANDLE OpenIdentity(const char* path) {
    return CreateFileW(Wide(NativePath(path)).c_str(), 0, SHARE_ALL, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The full path of an open file or folder, without the "\\?\" prefix of the system's answer.
std::string PathOf(HANDLE handle) {
    std::wstring buffer(PATH_ROOM, L'\0');
    DWORD n =
        GetFinalPathNameByHandleW(handle, &buffer[0], DWORD(buffer.size()), FILE_NAME_NORMALIZED);
    if (n >= buffer.size()) {
        buffer.assign(n, L'\0');
        n = GetFinalPathNameByHandleW(handle, &buffer[0], DWORD(buffer.size()),
                                      FILE_NAME_NORMALIZED);
    }
    if (n == 0 || n >= buffer.size()) return std::string();
    std::string path = Utf8(buffer.data(), n);
    if (path.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\" + path.substr(7);
    if (path.compare(0, 4, "\\\\?\\") == 0) return path.substr(4);
    return path;
}

// A name for a temporary file that no one is likely to have chosen: unique to the process, the
// moment and a counter, followed by ending.
std::string TempName(const std::string& ending = ".tmp") {
    static std::atomic<unsigned> counter{0};
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    char name[64];
    snprintf(name, sizeof name, ".zem-%lu-%llx-%u", GetCurrentProcessId(),
             static_cast<unsigned long long>(now), counter++);
    return name + ending;
}

// Whether the change `what` goes ahead under the crash tests' plan; false with the error of a
// full disk when the plan fails it.
bool MayChangeDisk(const char* what) {
    if (MayChange(what)) return true;
    SetLastError(ERROR_DISK_FULL);
    return false;
}

// MoveFileExW as a change that the crash tests' plan counts.
bool Move(const char* what, const std::wstring& from, const std::wstring& to, DWORD flags) {
    return MayChangeDisk(what) && MoveFileExW(from.c_str(), to.c_str(), flags);
}

bool ProcessRuns(DWORD pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;
    const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return runs;
}

// Reads a string value of the user's shell folders; environment references in it are expanded,
// as the shell does.
FolderLookup ReadShellFolder(const char* value, std::string& path) {
    static const WCHAR* const KEYS[] = {
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"};
    HKEY key = nullptr;
    for (const WCHAR* name : KEYS) {
        if (RegOpenKeyExW(HKEY_CURRENT_USER, name, 0, KEY_READ, &key) == ERROR_SUCCESS) break;
        key = nullptr;
    }
    if (!key) return FolderLookup::UNAVAILABLE;
    WCHAR buffer[PATH_ROOM + 1] = {};
    DWORD type = 0;
    DWORD size = (PATH_ROOM - 1) * sizeof(WCHAR);
    LONG read = RegQueryValueExW(key, Wide(value).c_str(), nullptr, &type,
                                 reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || !buffer[0]) {
        return FolderLookup::NO_VALUE;
    }
    if (type == REG_EXPAND_SZ) {
        WCHAR expanded[PATH_ROOM];
        DWORD n = ExpandEnvironmentStringsW(buffer, expanded, PATH_ROOM);
        if (n == 0 || n > PATH_ROOM) return FolderLookup::NO_VALUE;
        path = Utf8(expanded);
    } else {
        path = Utf8(buffer);
    }
    return FolderLookup::FOUND;
}

} // namespace

// ---- File ----

namespace {

// What the folder of the file native holds that ReplaceHeld put aside (".zem-PID-...-NAME.old").
enum class Aside {
    NONE,     // nothing
    PENDING,  // files of replacements under way: a missing name comes back at once
    RESTORED, // the file of native, left by a process that died between its two renames: it is
              // whole, and it is put back under its name here
};

Aside CheckAside(const std::string& native) {
    const size_t cut = native.find_last_of("\\:") + 1;
    const std::string dir = native.substr(0, cut);
    const std::string ending = native.substr(cut) + ASIDE_EXTENSION;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Wide(dir + ".zem-*" + ASIDE_EXTENSION).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return Aside::NONE;
    Aside aside = Aside::PENDING;
    do {
        const std::string name = Utf8(found.cFileName);
        unsigned long pid = 0;
        unsigned long long stamp = 0;
        unsigned counter = 0;
        int length = 0;
        if (sscanf(name.c_str(), ".zem-%lu-%llx-%u-%n", &pid, &stamp, &counter, &length) == 3 &&
            length > 0 && _stricmp(name.c_str() + length, ending.c_str()) == 0 &&
            !ProcessRuns(DWORD(pid)) &&
            MoveFileExW(Wide(dir + name).c_str(), Wide(native).c_str(), MOVEFILE_WRITE_THROUGH)) {
            aside = Aside::RESTORED;
        }
    } while (aside != Aside::RESTORED && FindNextFileW(search, &found));
    FindClose(search);
    return aside;
}

// True, with errno EISDIR as on POSIX, for a folder's attributes: Windows refuses to open a folder
// with "access denied", which tells the user nothing of the cause.
bool RefuseFolder(DWORD attributes) {
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    errno = EISDIR;
    return true;
}

// CreateFileW of native with every share mode. An existing file is waited for while a
// ReplaceHeld is under way: between its two renames the name is missing, and the new file comes
// soon.
HANDLE OpenExisting(const std::string& native, DWORD access, DWORD disposition) {
    const std::wstring wide = Wide(native);
    auto open = [&wide, access, disposition] {
        return CreateFileW(wide.c_str(), access, SHARE_ALL, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE handle = open();
    DWORD error = GetLastError();
    const ULONGLONG deadline = GetTickCount64() + ASIDE_WAIT_MS;
    while (handle == INVALID_HANDLE_VALUE && error == ERROR_FILE_NOT_FOUND &&
           disposition == OPEN_EXISTING && GetTickCount64() < deadline) {
        const Aside aside = CheckAside(native);
        if (aside == Aside::PENDING) Sleep(1);
        handle = open();
        error = GetLastError();
        // Nothing aside: no replacement is under way, or it ended between the first open and
        // the look aside, and the open just made found its new file.
        if (aside == Aside::NONE) break;
    }
    SetLastError(error);
    return handle;
}

// Descriptor of an existing regular file; -1 (errno set) otherwise.
int OpenRegular(const char* path, bool write) {
    if (!path) {
        errno = EINVAL;
        return -1;
    }
    const std::string native = NativePath(path);
    if (RefuseFolder(GetFileAttributesW(Wide(native).c_str()))) return -1;
    HANDLE handle = OpenExisting(native, GENERIC_READ | (write ? GENERIC_WRITE : 0), OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = ErrnoOf(GetLastError());
        return -1;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        errno = EINVAL;
        return -1;
    }
    return Adopt(handle, write ? _O_RDWR : _O_RDONLY);
}

} // namespace

bool File::OpenRead(const char* path) {
    Close();
    fd_ = OpenRegular(path, false);
    return fd_ >= 0 || Fail();
}

bool File::OpenEdit(const char* path) {
    Close();
    fd_ = OpenRegular(path, true);
    return fd_ >= 0 || Fail();
}

bool File::CreateTemp(const Folder& folder) {
    Close();
    const std::string dir = WithSeparator(PathOf(HandleOf(folder.Descriptor())).c_str());
    if (dir.empty()) {
        error_ = ENOENT;
        return false;
    }
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        tempName_ = dir + TempName();
        HANDLE handle = CreateFileW(Wide(tempName_).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    SHARE_ALL, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
        fd_ = Adopt(handle, _O_RDWR);
    }
    if (fd_ >= 0) return true;
    SetErrno();
    tempName_.clear();
    return Fail();
}

namespace {

// Puts the file temp in the place of name in dir while handles hold the file there open: Wine
// refuses to rename over such a file whatever its share modes, and Windows unless each of them
// shares deletion. A held file may be renamed, so the old one steps aside under a unique name
// and is deleted there (it goes with its last handle; readers keep reading it meanwhile). Should
// the process die between the two renames, the old file stays whole under that name, and the
// next open of the file puts it back (CheckAside).
bool ReplaceHeld(const std::string& temp, const std::string& dir, const char* name) {
    const std::string target = dir + name;
    const DWORD attributes = GetFileAttributesW(Wide(target).c_str());
    // A read-only file or a folder is not replaced, as by the rename.
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    const std::string aside = dir + TempName(std::string("-") + name + ASIDE_EXTENSION);
    const std::wstring wideTarget = Wide(target);
    const std::wstring wideAside = Wide(aside);
    if (!Move("rename aside", wideTarget, wideAside, MOVEFILE_WRITE_THROUGH)) return false;
    if (!Move("rename", Wide(temp), wideTarget, MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        MoveFileExW(wideAside.c_str(), wideTarget.c_str(), MOVEFILE_WRITE_THROUGH);
        SetLastError(error);
        return false;
    }
    DeleteFileW(wideAside.c_str());
    return true;
}

} // namespace

bool File::Publish(const Folder& folder, const char* name, bool replace) {
    const std::string dir = PathOf(HandleOf(folder.Descriptor()));
    if (tempName_.empty() || dir.empty() || !name) {
        error_ = EINVAL;
        return false;
    }
    const std::string target = WithSeparator(dir.c_str()) + name;
    // The file is open with FILE_SHARE_DELETE, so it can be renamed while it is held.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!Move(replace ? "rename" : "link", Wide(tempName_), Wide(target), flags) &&
        !(replace && GetLastError() == ERROR_ACCESS_DENIED &&
          ReplaceHeld(tempName_, WithSeparator(dir.c_str()), name))) {
        SetErrno();
        return Fail();
    }
    tempName_.clear();
    return true;
}

namespace {

OVERLAPPED At(uint64_t offset) {
    OVERLAPPED at = {};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    return at;
}

// Transfers are cut to what one call takes.
DWORD Chunk(size_t size) {
    return DWORD(std::min<size_t>(size, 1u << 30));
}

// Up to size bytes of handle at offset; errno tells a failure apart from the end of the file.
size_t ReadHandleAt(HANDLE handle, uint64_t offset, void* buffer, size_t size) {
    char* out = static_cast<char*>(buffer);
    size_t done = 0;
    errno = 0;
    while (done < size) {
        OVERLAPPED at = At(offset + done);
        DWORD n = 0;
        if (!ReadFile(handle, out + done, Chunk(size - done), &n, &at)) {
            if (GetLastError() != ERROR_HANDLE_EOF) SetErrno();
            break;
        }
        if (n == 0) break;
        done += n;
    }
    return done;
}

} // namespace

size_t File::ReadSome(uint64_t offset, void* buffer, size_t size) {
    const size_t done = ReadHandleAt(HandleOf(fd_), offset, buffer, size);
    error_ = done < size ? errno : 0;
    return done;
}

size_t ReadStreamAt(FILE* stream, uint64_t offset, void* buffer, size_t size) {
    return stream ? ReadHandleAt(HandleOf(_fileno(stream)), offset, buffer, size) : 0;
}

bool File::CreateNew(const Folder& folder, const char* name) {
    Close();
    const std::string dir = PathOf(HandleOf(folder.Descriptor()));
    if (dir.empty() || !name) {
        error_ = ENOENT;
        return false;
    }
    const std::string path = WithSeparator(dir.c_str()) + name;
    HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, SHARE_ALL,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        SetErrno();
        return Fail();
    }
    fd_ = Adopt(handle, _O_RDWR);
    return fd_ >= 0 || Fail();
}

bool File::Status(FileStatus& status) {
    struct _stati64 st;
    BY_HANDLE_FILE_INFORMATION info;
    if (_fstati64(fd_, &st) != 0) return Fail();
    if (!GetFileInformationByHandle(HandleOf(fd_), &info)) {
        SetErrno();
        return Fail();
    }
    status.mode = uint32_t(st.st_mode) & 0xFFFF;
    status.size = uint64_t(st.st_size);
    status.mtime = uint32_t(st.st_mtime);
    status.device = info.dwVolumeSerialNumber;
    // A file index of 0 is valid on some file systems: the high bit keeps it from reading as
    // "no identity".
    status.index = (uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow) | (1ull << 63);
    return true;
}

bool File::SetDate(uint32_t mtime) {
    // FILETIME counts 100 ns steps from 1601-01-01.
    const uint64_t ticks = (uint64_t(mtime) + 11644473600ull) * 10000000ull;
    FILETIME when;
    when.dwLowDateTime = DWORD(ticks);
    when.dwHighDateTime = DWORD(ticks >> 32);
    return SetFileTime(HandleOf(fd_), nullptr, &when, &when) || SetErrno() || Fail();
}

bool File::WriteAll(uint64_t offset, const char* bytes, size_t size) {
    size_t done = 0;
    while (done < size) {
        OVERLAPPED at = At(offset + done);
        DWORD n = 0;
        if (!WriteFile(HandleOf(fd_), bytes + done, Chunk(size - done), &n, &at)) return SetErrno();
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}

bool File::Sync() {
    return (MayChangeDisk("sync") && FlushFileBuffers(HandleOf(fd_))) || SetErrno() || Fail();
}

bool File::Truncate(uint64_t size) {
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG(size);
    HANDLE handle = HandleOf(fd_);
    if (SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle)) return true;
    SetErrno();
    return Fail();
}

bool File::Size(uint64_t& size) {
    LARGE_INTEGER length;
    if (!GetFileSizeEx(HandleOf(fd_), &length)) {
        SetErrno();
        return Fail();
    }
    size = uint64_t(length.QuadPart);
    return true;
}

bool File::TakeModeOf(File& other) {
    // The one mode a Windows file carries is read-only, which an edited file cannot bear.
    (void)other;
    return true;
}

bool File::TakeModeOf(const Folder& folder, const char* name) {
    // The one mode a Windows file carries is read-only, and a read-only file is not replaced.
    (void)folder;
    (void)name;
    return true;
}

bool File::Lock(bool exclusive, unsigned timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    std::chrono::milliseconds pause(1);
    for (;;) {
        OVERLAPPED at = {};
        at.OffsetHigh = LOCK_OFFSET_HIGH;
        if (LockFileEx(HandleOf(fd_), flags, 0, 1, 0, &at)) return locked_ = true;
        const DWORD error = GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
            errno = ErrnoOf(error);
            return Fail();
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            error_ = EWOULDBLOCK;
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(8));
    }
}

void File::Unlock() {
    if (fd_ < 0 || !locked_) return;
    locked_ = false;
    OVERLAPPED at = {};
    at.OffsetHigh = LOCK_OFFSET_HIGH;
    UnlockFileEx(HandleOf(fd_), 0, 1, 0, &at);
}

bool File::IsAt(const char* path) {
    HANDLE named = OpenIdentity(path);
    if (named == INVALID_HANDLE_VALUE) {
        SetErrno();
        return Fail();
    }
    const bool same = SameFile(HandleOf(fd_), named);
    CloseHandle(named);
    return same;
}

FILE* File::ReadStream() {
    HANDLE copy = INVALID_HANDLE_VALUE;
    const HANDLE process = GetCurrentProcess();
    if (!DuplicateHandle(process, HandleOf(fd_), process, &copy, GENERIC_READ, FALSE, 0)) {
        SetErrno();
        Fail();
        return nullptr;
    }
    int fd = Adopt(copy, _O_RDONLY);
    if (fd < 0) {
        Fail();
        return nullptr;
    }
    FILE* stream = _fdopen(fd, "rb");
    if (!stream) {
        Fail();
        _close(fd);
    }
    return stream;
}

void File::Close() {
    // A read handle made by ReadStream shares the lock: it is let go explicitly.
    Unlock();
    if (fd_ >= 0) _close(fd_);
    fd_ = -1;
    if (!tempName_.empty()) DeleteFileW(Wide(tempName_).c_str());
    tempName_.clear();
}

void Die() {
    // TerminateProcess, not ExitProcess: no DLL is told and no runtime buffer is flushed, as when
    // the process crashes or is killed from outside.
    TerminateProcess(GetCurrentProcess(), FAULT_KILL_EXIT_CODE);
    _exit(int(FAULT_KILL_EXIT_CODE));
}

// ---- Folder ----

Folder::~Folder() {
    if (fd_ >= 0) _close(fd_);
}

namespace {

// A handle on a folder that keeps it from being renamed or removed while it is held, so that the
// names below it stay where they were checked. With noLink a link (a reparse point) is refused.
HANDLE OpenFolderHandle(const std::string& native, bool noLink, int& error) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (noLink ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    HANDLE handle =
        CreateFileW(Wide(native).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = ErrnoOf(GetLastError());
        return handle;
    }
    BY_HANDLE_FILE_INFORMATION info;
    error = 0;
    if (!GetFileInformationByHandle(handle, &info)) {
        error = EIO;
    } else if (noLink && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        error = ELOOP;
    } else if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = ENOTDIR;
    }
    if (error == 0) return handle;
    CloseHandle(handle);
    return INVALID_HANDLE_VALUE;
}

} // namespace

bool Folder::Open(const char* path) {
    if (fd_ >= 0) _close(fd_);
    fd_ = -1;
    if (!path) {
        error_ = EINVAL;
        return false;
    }
    fd_ = Adopt(OpenFolderHandle(NativePath(path), false, error_), _O_RDONLY);
    return fd_ >= 0;
}

bool Folder::OpenParentOf(const char* path, std::string& name) {
    const std::string native = NativePath(path);
    size_t cut = native.find_last_of("\\:");
    std::string dir = cut == std::string::npos ? std::string() : native.substr(0, cut + 1);
    name = native.substr(dir.size());
    if (name.empty()) {
        error_ = EISDIR;
        return false;
    }
    // "C:name" lies in the drive's working directory.
    if (!dir.empty() && dir.back() == ':') dir += '.';
    return Open(dir.empty() ? "." : dir.c_str());
}

bool Folder::Enter(const char* name) {
    const std::string child = WithSeparator(PathOf(HandleOf(fd_)).c_str()) + (name ? name : "");
    if (!name || child.size() <= strlen(name)) {
        error_ = ENOENT;
        return false;
    }
    if (!CreateDirectoryW(Wide(child).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        error_ = ErrnoOf(GetLastError());
        return false;
    }
    int fd = Adopt(OpenFolderHandle(child, true, error_), _O_RDONLY);
    if (fd < 0) return false;
    _close(fd_);
    fd_ = fd;
    return true;
}

bool Folder::Duplicate(const Folder& other) {
    if (fd_ >= 0) _close(fd_);
    fd_ = -1;
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (other.fd_ < 0 ||
        !DuplicateHandle(GetCurrentProcess(), HandleOf(other.fd_), GetCurrentProcess(), &copy, 0,
                         FALSE, DUPLICATE_SAME_ACCESS)) {
        error_ = other.fd_ < 0 ? EBADF : ErrnoOf(GetLastError());
        return false;
    }
    fd_ = Adopt(copy, _O_RDONLY);
    if (fd_ < 0) error_ = EMFILE;
    return fd_ >= 0;
}

bool Folder::Remove(const char* name) {
    const std::string dir = PathOf(HandleOf(fd_));
    if (!dir.empty() && name && DeleteFileW(Wide(WithSeparator(dir.c_str()) + name).c_str())) {
        return true;
    }
    error_ = ErrnoOf(GetLastError());
    return false;
}

bool Folder::Sync() {
    // Windows offers no flush of a folder's entries; MOVEFILE_WRITE_THROUGH carries renames. The
    // step is still counted, so that a plan names the same change on every system.
    if (MayChange("sync folder")) return true;
    error_ = ENOSPC;
    return false;
}

void Folder::RemoveDeadTemps() {
    const std::string dir = WithSeparator(PathOf(HandleOf(fd_)).c_str());
    if (dir.empty()) return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Wide(dir + ".zem-*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = Utf8(found.cFileName);
        const long pid = TempOwner(name.c_str());
        if (pid > 0 && !ProcessRuns(DWORD(pid))) DeleteFileW(Wide(dir + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::string ErrorText(int error) {
    switch (error) {
    case EWOULDBLOCK:
        return "Resource temporarily unavailable";
    case ELOOP:
        return "Too many levels of symbolic links";
    default:
        return strerror(error);
    }
}

std::string NativePath(const char* path) {
    std::string native = path ? path : "";
    std::replace(native.begin(), native.end(), '/', '\\');
    return native;
}

// fopen's own handles refuse to be renamed or removed while open: a rebuilt archive could not
// replace one that a reader holds. The handle is made here with every share mode instead.
FILE* OpenFile(const char* path, const char* mode) {
    if (!path || !mode || !strchr("rwa", mode[0])) return nullptr;
    const bool update = strchr(mode, '+') != nullptr;
    DWORD access = 0;
    DWORD disposition = OPEN_EXISTING;
    int flags = strchr(mode, 'b') ? _O_BINARY : _O_TEXT;
    switch (mode[0]) {
    case 'r':
        access = GENERIC_READ | (update ? GENERIC_WRITE : 0);
        flags |= update ? _O_RDWR : _O_RDONLY;
        break;
    case 'w':
        access = GENERIC_WRITE | (update ? GENERIC_READ : 0);
        disposition = CREATE_ALWAYS;
        flags |= update ? _O_RDWR : _O_WRONLY;
        break;
    default:
        access = GENERIC_WRITE | (update ? GENERIC_READ : 0);
        disposition = OPEN_ALWAYS;
        flags |= _O_APPEND | (update ? _O_RDWR : _O_WRONLY);
        break;
    }
    const std::string native = NativePath(path);
    const DWORD attributes = GetFileAttributesW(Wide(native).c_str());
    if (RefuseFolder(attributes)) return nullptr;
    // Windows refuses to write a read-only file, but Wine lets its root user do it.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        (access & GENERIC_WRITE)) {
        errno = EACCES;
        return nullptr;
    }
    HANDLE handle = OpenExisting(native, access, disposition);
    if (handle == INVALID_HANDLE_VALUE) {
        SetErrno();
        return nullptr;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* file = _fdopen(fd, mode);
    if (!file) _close(fd);
    return file;
}

bool StreamSize(FILE* file, uint64_t& size) {
    struct _stati64 st;
    if (!file || _fstati64(_fileno(file), &st) != 0) return false;
    size = uint64_t(st.st_size);
    return true;
}

bool SeekStream(FILE* file, uint64_t offset) {
    return file && _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
}

unsigned Attributes(const char* path) {
    if (!path) return ATTR_INVALID;
    const DWORD attributes = GetFileAttributesW(Wide(NativePath(path)).c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ? ATTR_INVALID : unsigned(attributes);
}

bool Status(const char* path, FileStatus& status) {
    if (!path) return false;
    std::string native = NativePath(path);
    // The runtime refuses a folder named with a trailing separator, but for a drive root.
    while (native.size() > 1 && native.back() == '\\' && native[native.size() - 2] != ':')
        native.pop_back();
    struct _stati64 st;
    if (_wstati64(Wide(native).c_str(), &st) != 0) return false;
    status.mode = uint32_t(st.st_mode) & 0xFFFF;
    status.size = uint64_t(st.st_size);
    status.mtime = uint32_t(st.st_mtime);
    return true;
}

bool Stamp(const char* path, FileStamp& stamp) {
    if (!path) return false;
    HANDLE file = OpenIdentity(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!known) return false;
    stamp.identity = uint64_t(info.dwVolumeSerialNumber) << 32 ^
                     (uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow);
    stamp.size = uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    stamp.modified =
        uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32 | info.ftLastWriteTime.dwLowDateTime;
    stamp.changed = 0;
    return true;
}

bool SameFile(const char* a, const char* b) {
    if (!a || !b) return false;
    HANDLE ha = OpenIdentity(a);
    HANDLE hb = OpenIdentity(b);
    const bool same = ha != INVALID_HANDLE_VALUE && hb != INVALID_HANDLE_VALUE && SameFile(ha, hb);
    if (ha != INVALID_HANDLE_VALUE) CloseHandle(ha);
    if (hb != INVALID_HANDLE_VALUE) CloseHandle(hb);
    return same;
}

bool RemoveFile(const char* path) {
    if (!path) return false;
    return DeleteFileW(Wide(NativePath(path)).c_str());
}

bool MovePath(const char* from, const char* to) {
    if (!from || !to) return false;
    // Without MOVEFILE_REPLACE_EXISTING an existing target makes the move fail; across volumes the
    // system copies and deletes, and a failed copy leaves no target.
    return MoveFileExW(Wide(NativePath(from)).c_str(), Wide(NativePath(to)).c_str(),
                       MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH);
}

bool MoveReplace(const char* from, const char* to) {
    if (!from || !to) return false;
    return MoveFileExW(Wide(NativePath(from)).c_str(), Wide(NativePath(to)).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH);
}

bool MayWriteFile(const char* path) {
    if (!path) {
        errno = EINVAL;
        return false;
    }
    const DWORD attributes = GetFileAttributesW(Wide(NativePath(path)).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return SetErrno();
    if (!(attributes & FILE_ATTRIBUTE_READONLY)) return true;
    errno = EACCES;
    return false;
}

bool CopyRegularFile(const char* from, const char* to, bool failIfExists) {
    if (!from || !to) return false;
    const unsigned attributes = Attributes(from);
    if (attributes == ATTR_INVALID || (attributes & ATTR_DIRECTORY)) return false;
    // CopyFileW onto the source itself would empty it under some names (links, 8.3 forms).
    if (SameFile(from, to)) return false;
    return CopyFileW(Wide(NativePath(from)).c_str(), Wide(NativePath(to)).c_str(), failIfExists);
}

bool MakeDirectory(const char* path) {
    if (!path) return false;
    return CreateDirectoryW(Wide(NativePath(path)).c_str(), nullptr);
}

Search::~Search() {
    Close();
}

void Search::Close() {
    if (dir_) FindClose(static_cast<HANDLE>(dir_));
    dir_ = nullptr;
}

namespace {

// True (entry filled) when the found name matches pattern.
bool TakeEntry(const WIN32_FIND_DATAW& found, const std::string& pattern, FindEntry& entry) {
    std::string name = Utf8(found.cFileName);
    if (!MatchPattern(pattern.c_str(), name.c_str())) return false;
    entry.name = std::move(name);
    entry.attributes = found.dwFileAttributes ? unsigned(found.dwFileAttributes) : ATTR_NORMAL;
    return true;
}

} // namespace

// The system lists every name of the folder and the library's own matcher picks, so that a pattern
// means the same on every system (FindFirstFile has rules of its own for "*.*.*" or "*.").
bool Search::First(const char* pattern, FindEntry& entry) {
    Close();
    if (!pattern) return false;
    const std::string native = NativePath(pattern);
    const size_t cut = native.find_last_of("\\:") + 1;
    pattern_ = native.substr(cut);
    if (pattern_.empty()) return false;
    WIN32_FIND_DATAW found;
    HANDLE handle = FindFirstFileW(Wide(native.substr(0, cut) + "*").c_str(), &found);
    if (handle == INVALID_HANDLE_VALUE) return false;
    dir_ = handle;
    return TakeEntry(found, pattern_, entry) || Next(entry);
}

bool Search::Next(FindEntry& entry) {
    if (!dir_) return false;
    WIN32_FIND_DATAW found;
    while (FindNextFileW(static_cast<HANDLE>(dir_), &found)) {
        if (TakeEntry(found, pattern_, entry)) return true;
    }
    Close();
    return false;
}

// The wide call: the ANSI one is held to MAX_PATH characters.
bool GetCurrentDir(std::string& dir) {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return false;
    std::wstring wide(n, L'\0');
    n = GetCurrentDirectoryW(DWORD(wide.size()), &wide[0]);
    if (n == 0 || n >= wide.size()) return false;
    dir = Utf8(wide.data(), n);
    return !dir.empty();
}

std::string AbsolutePath(const char* path) {
    const std::string native = NativePath(path);
    if (native.empty()) {
        std::string dir;
        return GetCurrentDir(dir) ? dir : native;
    }
    // GetFullPathNameW folds "." and ".." by text, as on POSIX; doubled separators are folded
    // first, but for the "\\server" start.
    std::string single = native.substr(0, 2);
    for (size_t i = single.size(); i < native.size(); ++i) {
        if (native[i] != '\\' || single.back() != '\\') single += native[i];
    }
    const std::wstring wide = Wide(single);
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return native;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(wide.c_str(), DWORD(full.size()), &full[0], nullptr);
    if (n == 0 || n >= full.size()) return native;
    std::string buffer = Utf8(full.data(), n);
    // A trailing separator is dropped but for a root, so that spellings compare equal.
    if (buffer.size() > 3 && buffer.back() == '\\') buffer.pop_back();
    return buffer;
}

bool SetCurrentDir(const char* path) {
    if (!path || !*path) return false;
    return SetCurrentDirectoryW(Wide(NativePath(path)).c_str());
}

std::string ResolvedPath(const char* path) {
    if (!path) return std::string();
    HANDLE handle = OpenIdentity(path);
    if (handle == INVALID_HANDLE_VALUE) return std::string();
    std::string resolved = PathOf(handle);
    CloseHandle(handle);
    return resolved;
}

bool ExecutablePath(std::string& path) {
    std::wstring buffer(PATH_ROOM, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &buffer[0], DWORD(buffer.size()));
        if (n == 0) return false;
        if (n < buffer.size()) {
            path = Utf8(buffer.data(), n);
            return true;
        }
        if (buffer.size() > 32768) return false;
        buffer.resize(buffer.size() * 2);
    }
}

unsigned DriveMask() {
    return unsigned(GetLogicalDrives());
}

unsigned DriveTypeOf(const char* root) {
    if (!root) return DRIVE_TYPE_NO_ROOT;
    return unsigned(GetDriveTypeW(Wide(NativePath(root)).c_str()));
}

std::vector<std::string> OpticalMounts() {
    std::vector<std::string> roots;
    const unsigned mask = DriveMask();
    for (int letter = 0; letter < 26; ++letter) {
        if (!(mask & (1u << letter))) continue;
        const std::string root = std::string(1, char('A' + letter)) + ":\\";
        if (DriveTypeOf(root.c_str()) == DRIVE_TYPE_CDROM) roots.push_back(root);
    }
    return roots;
}

FolderLookup FindUserFolder(UserFolder folder, std::string& path) {
    return ReadShellFolder(folder == UserFolder::DOCUMENTS ? "Personal" : "AppData", path);
}

// ---- Watching folders ----

namespace {

// Names created, deleted or renamed, and bytes written.
constexpr DWORD WATCHED_CHANGES = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE |
                                  FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_CREATION;

// Room for the notifications that gather between two polls of one folder.
constexpr DWORD NOTIFY_ROOM = 16 * 1024;

// Reads of one folder's changes that one poll takes at most.
constexpr int READS_PER_POLL = 16;

} // namespace

// One folder with its read of changes outstanding: the system fills the buffer meanwhile, and a
// poll only looks whether it has.
struct FolderWatch::Watched {
    HANDLE folder = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped = {};
    DWORD buffer[NOTIFY_ROOM / sizeof(DWORD)]; // notifications are DWORD-aligned

    bool Arm() {
        overlapped = OVERLAPPED{};
        return ReadDirectoryChangesW(folder, buffer, sizeof buffer, FALSE, WATCHED_CHANGES, nullptr,
                                     &overlapped, nullptr) != 0;
    }
    // Appends the changes of the completed read, as the changes of the folder id.
    void Take(int id, std::vector<Change>& changes) {
        DWORD bytes = 0;
        // Too many changes for the buffer come as an empty read or as ERROR_NOTIFY_ENUM_DIR.
        if (!GetOverlappedResult(folder, &overlapped, &bytes, FALSE) &&
            GetLastError() != ERROR_NOTIFY_ENUM_DIR)
            return;
        if (bytes == 0) changes.push_back(Change{LOST, std::string()});
        const char* at = reinterpret_cast<const char*>(buffer);
        constexpr DWORD HEAD = offsetof(FILE_NOTIFY_INFORMATION, FileName);
        for (DWORD offset = 0; bytes >= HEAD && offset <= bytes - HEAD;) {
            FILE_NOTIFY_INFORMATION info;
            std::memcpy(&info, at + offset, HEAD);
            if (info.FileNameLength > bytes - HEAD - offset) break;
            const WCHAR* name = reinterpret_cast<const WCHAR*>(at + offset + HEAD);
            changes.push_back(Change{id, Utf8(name, info.FileNameLength / sizeof(WCHAR))});
            if (info.NextEntryOffset == 0 || info.NextEntryOffset > bytes - offset) break;
            offset += info.NextEntryOffset;
        }
    }
    ~Watched() {
        // CancelIo would leave a read armed by another thread running, and the wait below
        // would last until the folder next changed.
        CancelIoEx(folder, &overlapped);
        DWORD ignored = 0;
        GetOverlappedResult(folder, &overlapped, &ignored, TRUE); // the buffer is ours again
        CloseHandle(folder);
    }
};

FolderWatch::~FolderWatch() {
    for (Watched* watched : watched_)
        delete watched;
}

int FolderWatch::Add(const char* folder) {
    if (!folder) {
        error_ = EINVAL;
        return -1;
    }
    HANDLE handle =
        CreateFileW(Wide(NativePath(folder)).c_str(), FILE_LIST_DIRECTORY, SHARE_ALL, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error_ = ErrnoOf(GetLastError());
        return -1;
    }
    Watched* watched = new (std::nothrow) Watched;
    if (!watched) {
        CloseHandle(handle);
        error_ = ENOMEM;
        return -1;
    }
    watched->folder = handle;
    if (!watched->Arm()) {
        error_ = ErrnoOf(GetLastError());
        CloseHandle(handle);
        watched->folder = INVALID_HANDLE_VALUE;
        delete watched;
        return -1;
    }
    watched_.push_back(watched);
    return int(watched_.size() - 1);
}

void FolderWatch::Remove(int id) {
    if (id < 0 || size_t(id) >= watched_.size()) return;
    delete watched_[size_t(id)];
    watched_[size_t(id)] = nullptr;
}

void FolderWatch::Read(std::vector<Change>& changes) {
    for (size_t id = 0; id < watched_.size(); ++id) {
        // A read armed again completes at once with the changes queued since the last one: those
        // are taken too, so that a poll sees what happened before it (a few rounds at most, so
        // that a folder written without pause cannot hold the poll).
        for (int round = 0; round < READS_PER_POLL; ++round) {
            Watched* watched = watched_[id];
            if (!watched || !HasOverlappedIoCompleted(&watched->overlapped)) break;
            watched->Take(int(id), changes);
            if (watched->Arm()) continue;
            // The folder is gone or refuses: its watch ends, and what it held may have changed.
            Remove(int(id));
            changes.push_back(Change{int(id), std::string()});
            changes.push_back(Change{LOST, std::string()});
        }
    }
}

std::string FoldedName(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return folded;
}

} // namespace Platform
} // namespace ZEM
