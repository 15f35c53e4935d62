#include "platform/ZEMFaultInjection.h"
#include "platform/ZEMPlatform.h"

#include <dirent.h>
#include <fcntl.h>
#include <mntent.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __EMSCRIPTEN__
#include <emscripten/emscripten.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

namespace ZEM {
namespace Platform {

namespace {

// Buffer of one read/write round of a file copy.
constexpr size_t COPY_CHUNK = 64 * 1024;

bool IsSet(const char* s) {
    return s && *s;
}

// The directory part of a native path, with its trailing '/', or "" for a bare name.
std::string DirectoryPart(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool CopyContents(int in, int out) {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[COPY_CHUNK]);
    if (!buffer) return false;
    for (;;) {
        ssize_t n = read(in, buffer.get(), COPY_CHUNK);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (!WriteAll(out, buffer.get(), size_t(n))) return false;
    }
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Copies the regular file `from` to `to` (both native). With createNew, `to` must not exist;
// otherwise an existing `to` is overwritten, unless it is `from` itself. A target that this call
// created is removed again when the copy fails.
bool CopyNative(const std::string& from, const std::string& to, bool createNew) {
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat src;
    if (fstat(in, &src) != 0 || !S_ISREG(src.st_mode)) {
        close(in);
        return false;
    }
    const int flags = O_WRONLY | O_CLOEXEC;
    int out = open(to.c_str(), flags | O_CREAT | O_EXCL, src.st_mode & 07777);
    const bool created = out >= 0;
    if (!created && errno == EEXIST && !createNew) out = open(to.c_str(), flags);
    if (out < 0) {
        close(in);
        return false;
    }
    // An existing target is emptied only once it is known not to be the source.
    struct stat dst;
    bool ok = fstat(out, &dst) == 0 && !SameFile(src, dst) && ftruncate(out, 0) == 0 &&
              CopyContents(in, out);
    if (ok) {
        struct timespec times[2] = {src.st_atim, src.st_mtim};
        futimens(out, times);
    }
    close(in);
    if (close(out) != 0) ok = false;
    if (!ok && created) unlink(to.c_str());
    return ok;
}

// A name beside `to` that no file bears yet, created empty; "" when none could be made.
std::string CreateTempBeside(const std::string& to) {
    std::string pattern = DirectoryPart(to) + ".zem-move-XXXXXX";
    int fd = mkstemp(&pattern[0]);
    if (fd < 0) return std::string();
    close(fd);
    return pattern;
}

// A move between file systems: copy, then delete the source. Regular files only, as a rename of
// a directory across file systems is not offered either.
bool MoveAcross(const std::string& from, const std::string& to, bool replace) {
    std::string fromDir = DirectoryPart(from);
    if (access(fromDir.empty() ? "." : fromDir.c_str(), W_OK) != 0) return false;
    if (!replace) {
        if (!CopyNative(from, to, true)) return false;
        if (unlink(from.c_str()) == 0) return true;
        unlink(to.c_str());
        return false;
    }
    std::string temp = CreateTempBeside(to);
    if (temp.empty()) return false;
    // The temporary file exists now; CopyNative in overwrite mode fills it.
    struct stat src;
    if (stat(from.c_str(), &src) != 0 || !CopyNative(from, temp, false) ||
        chmod(temp.c_str(), src.st_mode & 07777) != 0 || rename(temp.c_str(), to.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return unlink(from.c_str()) == 0;
}

bool ReadEnvPath(const char* name, std::string& path) {
    const char* value = getenv(name);
    // Relative values are invalid by the XDG rules and are ignored.
    if (!value || value[0] != '/') return false;
    path = value;
    return true;
}

// The value of `key` in an xdg user-dirs file: KEY="$HOME/dir" or KEY="/abs/dir".
bool ReadUserDirsFile(const std::string& file, const char* key, const std::string& home,
                      std::string& path) {
    FILE* f = fopen(file.c_str(), "r");
    if (!f) return false;
    const size_t keyLength = strlen(key);
    char line[1024];
    bool found = false;
    while (!found && fgets(line, sizeof(line), f)) {
        const char* p = line;
        while (*p == ' ' || *p == '\t')
            ++p;
        if (strncmp(p, key, keyLength) != 0 || p[keyLength] != '=' || p[keyLength + 1] != '"')
            continue;
        p += keyLength + 2;
        std::string value;
        if (strncmp(p, "$HOME", 5) == 0 && (p[5] == '/' || p[5] == '"')) {
            value = home;
            p += 5;
        } else if (*p != '/') {
            continue;
        }
        for (; *p && *p != '"'; ++p) {
            if (*p == '\\' && p[1]) ++p;
            value += *p;
        }
        if (*p != '"') continue;
        path = value;
        found = true;
    }
    fclose(f);
    return found;
}

// Attribute bits of an entry from its kind and its name.
unsigned AttributesOf(bool isDir, const char* name) {
    unsigned attributes = isDir ? ATTR_DIRECTORY : 0;
    if (IsHiddenName(name)) attributes |= ATTR_HIDDEN;
    return attributes ? attributes : ATTR_NORMAL;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FolderLookup FindDocuments(std::string& path) {
    if (ReadEnvPath("XDG_DOCUMENTS_DIR", path)) return FolderLookup::FOUND;
    const char* home = getenv("HOME");
    if (!IsSet(home)) return FolderLookup::UNAVAILABLE;
    std::string config;
    if (!ReadEnvPath("XDG_CONFIG_HOME", config)) config = std::string(home) + "/.config";
    if (ReadUserDirsFile(config + "/user-dirs.dirs", "XDG_DOCUMENTS_DIR", home, path))
        return FolderLookup::FOUND;
    std::string documents = std::string(home) + "/Documents";
    if (!IsDirectory(documents)) return FolderLookup::NO_VALUE;
    path = documents;
    return FolderLookup::FOUND;
}

FolderLookup FindAppData(std::string& path) {
    if (ReadEnvPath("XDG_DATA_HOME", path)) return FolderLookup::FOUND;
    const char* home = getenv("HOME");
    if (!IsSet(home)) return FolderLookup::UNAVAILABLE;
    path = std::string(home) + "/.local/share";
    return FolderLookup::FOUND;
}

// ---- Fault injection for crash tests ----

// Runs a change unless the plan kills the process or fails it first (errno ENOSPC, -1).
template <class Change>
int Counted(const char* what, Change change) {
    if (MayChange(what)) return change();
    errno = ENOSPC;
    return -1;
}

// A name for a temporary file that no one is likely to have chosen: hidden, and unique to the
// process, the moment and a counter.
std::string TempName() {
    static std::atomic<unsigned> counter{0};
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    char name[64];
    snprintf(name, sizeof name, ".zem-%ld-%llx-%u.tmp", long(getpid()),
             static_cast<unsigned long long>(now), counter++);
    return name;
}

// In the browser (Emscripten) the files live in memory and one program reaches them: locks and
// flushes to the disk are no-ops there, and the calls that it lacks (hard links, renameat2) give
// way to a test, then a rename, which no other program can race.
#ifdef __EMSCRIPTEN__
constexpr bool IN_BROWSER = true;
#else
constexpr bool IN_BROWSER = false;
#endif

// renameat2 with RENAME_NOREPLACE; ENOSYS where the system lacks it.
int RenameNoReplace(int fromDir, const char* from, int toDir, const char* to) {
#ifdef __EMSCRIPTEN__
    (void)fromDir, (void)from, (void)toDir, (void)to;
    errno = ENOSYS;
    return -1;
#else
    return renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE);
#endif
}

// Names the file fromDir/from also toDir/to, failing (EEXIST) when to exists. Without hard links
// the file moves to its new name instead.
int LinkNoReplace(int fromDir, const char* from, int toDir, const char* to) {
    if (!IN_BROWSER) return linkat(fromDir, from, toDir, to, 0);
    struct stat st;
    if (fstatat(toDir, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return renameat(fromDir, from, toDir, to);
}

#ifdef __EMSCRIPTEN__
// Its dup opens the file again by the name it was opened under, which a rename may have given to
// another file, or none (then O_CREAT makes a new one): the copy is made from the open stream.
// clang-format off
EM_JS(int, CloneStream, (int fd), {
    var old = FS.getStream(fd);
    if (!old) return -1;
    return FS.createStream({node: old.node, path: old.path, flags: old.flags & ~(64 | 128 | 512),
                            seekable: old.seekable, position: 0, stream_ops: old.stream_ops,
                            ungotten: [], error: false}).fd;
});
// clang-format on
#endif

// A second descriptor on the same open file, closed on exec.
int DuplicateDescriptor(int fd) {
#ifdef __EMSCRIPTEN__
    const int copy = CloneStream(fd);
    if (copy < 0) errno = EBADF;
    return copy;
#else
    return fcntl(fd, F_DUPFD_CLOEXEC, 0);
#endif
}

bool HasProcFd() {
    static const bool present = access("/proc/self/fd", X_OK) == 0;
    return present;
}

} // namespace

void Die() {
    raise(SIGKILL);
    _exit(int(FAULT_KILL_EXIT_CODE));
}

// ---- File ----

namespace {

// fd of an existing regular file; -1 (errno set) otherwise. O_NONBLOCK keeps a FIFO from
// blocking the open.
int OpenRegular(const char* path, int access) {
    if (!path) {
        errno = EINVAL;
        return -1;
    }
    int fd = open(NativePath(path).c_str(), access | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat st;
    int error = fstat(fd, &st) != 0 ? errno : 0;
    if (!error && !S_ISREG(st.st_mode)) error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    if (!error) return fd;
    close(fd);
    errno = error;
    return -1;
}

} // namespace

bool File::OpenRead(const char* path) {
    Close();
    fd_ = OpenRegular(path, O_RDONLY);
    return fd_ >= 0 || Fail();
}

bool File::OpenEdit(const char* path) {
    Close();
    fd_ = OpenRegular(path, O_RDWR);
    return fd_ >= 0 || Fail();
}

bool File::CreateTemp(const Folder& folder) {
    Close();
    const int dir = folder.Descriptor();
    if (HasProcFd()) {
        fd_ = openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (fd_ >= 0) return true;
    }
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        tempName_ = TempName();
        fd_ = openat(dir, tempName_.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        tempName_.clear();
        return Fail();
    }
    tempDir_ = dup(dir);
    return true;
}

bool File::Publish(const Folder& folder, const char* name, bool replace) {
    const int dir = folder.Descriptor();
    if (!tempName_.empty()) {
        // A named temporary file: renamed over the name, or linked where the name is free.
        int done = Counted(replace ? "rename" : "link", [&] {
            return replace ? renameat(tempDir_, tempName_.c_str(), dir, name)
                           : LinkNoReplace(tempDir_, tempName_.c_str(), dir, name);
        });
        if (done != 0) return Fail();
        if (!replace) unlinkat(tempDir_, tempName_.c_str(), 0);
        tempName_.clear();
        return true;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    auto link = [&](const char* as) {
        return Counted("link",
                       [&] { return linkat(AT_FDCWD, self.c_str(), dir, as, AT_SYMLINK_FOLLOW); });
    };
    if (!replace) return link(name) == 0 || Fail();
    // An unnamed file cannot replace a name in one step: it gets a unique name first.
    std::string temp;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = TempName();
        if (link(temp.c_str()) == 0) break;
        if (errno != EEXIST) return Fail();
        temp.clear();
    }
    if (temp.empty()) return Fail();
    if (Counted("rename", [&] { return renameat(dir, temp.c_str(), dir, name); }) == 0) return true;
    Fail();
    unlinkat(dir, temp.c_str(), 0);
    return false;
}

bool File::CreateNew(const Folder& folder, const char* name) {
    Close();
    fd_ = openat(folder.Descriptor(), name,
                 O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_CLOEXEC | O_NOCTTY, 0666);
    return fd_ >= 0 || Fail();
}

namespace {

// Up to size bytes of fd at offset; errno tells a failure apart from the end of the file.
size_t PreadSome(int fd, uint64_t offset, void* buffer, size_t size) {
    char* out = static_cast<char*>(buffer);
    size_t done = 0;
    errno = 0;
    while (done < size) {
        ssize_t n = pread(fd, out + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    return done;
}

} // namespace

size_t File::ReadSome(uint64_t offset, void* buffer, size_t size) {
    const size_t done = PreadSome(fd_, offset, buffer, size);
    error_ = done < size ? errno : 0;
    return done;
}

size_t ReadStreamAt(FILE* stream, uint64_t offset, void* buffer, size_t size) {
    return stream ? PreadSome(fileno(stream), offset, buffer, size) : 0;
}

bool File::WriteAll(uint64_t offset, const char* bytes, size_t size) {
    while (size > 0) {
        ssize_t n = pwrite(fd_, bytes, size, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= size_t(n);
        offset += uint64_t(n);
    }
    return true;
}

bool File::Sync() {
    return Counted("sync", [&] { return fdatasync(fd_); }) == 0 || Fail();
}

bool File::Truncate(uint64_t size) {
    return ftruncate(fd_, off_t(size)) == 0 || Fail();
}

bool File::Size(uint64_t& size) {
    struct stat st;
    if (fstat(fd_, &st) != 0) return Fail();
    size = uint64_t(st.st_size);
    return true;
}

bool File::Status(FileStatus& status) {
    struct stat st;
    if (fstat(fd_, &st) != 0) return Fail();
    status.mode = uint32_t(st.st_mode) & 0xFFFF;
    status.size = uint64_t(st.st_size);
    status.mtime = uint32_t(st.st_mtime);
    status.device = uint64_t(st.st_dev);
    status.index = uint64_t(st.st_ino);
    return true;
}

bool File::SetDate(uint32_t mtime) {
    const struct timespec times[2] = {{time_t(mtime), 0}, {time_t(mtime), 0}};
    return futimens(fd_, times) == 0 || Fail();
}

bool File::TakeModeOf(File& other) {
    struct stat st;
    if (fstat(other.fd_, &st) != 0) return Fail();
    return fchmod(fd_, st.st_mode & 07777) == 0 || Fail();
}

bool File::TakeModeOf(const Folder& folder, const char* name) {
    struct stat st;
    if (fstatat(folder.Descriptor(), name, &st, 0) != 0) return errno == ENOENT || Fail();
    if (fchown(fd_, st.st_uid, st.st_gid) != 0 && fchown(fd_, uid_t(-1), st.st_gid) != 0) {
        // Only root gives files away, and a group is given only by its members: the file then
        // belongs to us, as a new one would.
    }
    return fchmod(fd_, st.st_mode & 07777) == 0 || Fail();
}

bool File::Lock(bool exclusive, unsigned timeoutMs) {
    if (IN_BROWSER) return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::chrono::milliseconds pause(1);
    for (;;) {
        if (flock(fd_, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return locked_ = true;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) return Fail();
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(8));
    }
}

void File::Unlock() {
    if (fd_ >= 0 && locked_ && !IN_BROWSER) flock(fd_, LOCK_UN);
    locked_ = false;
}

bool File::IsAt(const char* path) {
    struct stat mine, named;
    if (fstat(fd_, &mine) != 0) return Fail();
    if (stat(NativePath(path).c_str(), &named) != 0) return Fail();
    return SameFile(mine, named);
}

FILE* File::ReadStream() {
    int copy = DuplicateDescriptor(fd_);
    if (copy < 0) {
        Fail();
        return nullptr;
    }
    FILE* stream = fdopen(copy, "rb");
    if (!stream) {
        Fail();
        close(copy);
    }
    return stream;
}

void File::Close() {
    // A read handle made by ReadStream shares the lock: it is let go explicitly.
    Unlock();
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!tempName_.empty()) unlinkat(tempDir_, tempName_.c_str(), 0);
    tempName_.clear();
    if (tempDir_ >= 0) close(tempDir_);
    tempDir_ = -1;
}

// ---- Folder ----

Folder::~Folder() {
    if (fd_ >= 0) close(fd_);
}

bool Folder::Open(const char* path) {
    if (fd_ >= 0) close(fd_);
    fd_ = path ? open(NativePath(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (fd_ < 0) error_ = path ? errno : EINVAL;
    return fd_ >= 0;
}

bool Folder::OpenParentOf(const char* path, std::string& name) {
    const std::string native = NativePath(path);
    const std::string dir = DirectoryPart(native);
    name = native.substr(dir.size());
    if (name.empty()) {
        error_ = EISDIR;
        return false;
    }
    return Open(dir.empty() ? "." : dir.c_str());
}

bool Folder::Enter(const char* name) {
    constexpr int CHILD = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int child = openat(fd_, name, CHILD);
    // Made only when missing: most folders on the way exist already.
    if (child < 0 && errno == ENOENT) {
        if (mkdirat(fd_, name, 0777) != 0 && errno != EEXIST) {
            error_ = errno;
            return false;
        }
        child = openat(fd_, name, CHILD);
    }
    if (child < 0) {
        error_ = errno;
        struct stat st;
        if (fstatat(fd_, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
            error_ = ELOOP;
        }
        return false;
    }
    close(fd_);
    fd_ = child;
    return true;
}

bool Folder::Duplicate(const Folder& other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.fd_ >= 0 ? fcntl(other.fd_, F_DUPFD_CLOEXEC, 0) : -1;
    if (fd_ < 0) error_ = other.fd_ >= 0 ? errno : EBADF;
    return fd_ >= 0;
}

bool Folder::Remove(const char* name) {
    if (unlinkat(fd_, name, 0) == 0) return true;
    error_ = errno;
    return false;
}

bool Folder::Sync() {
    if (Counted("sync folder", [&] { return fsync(fd_); }) == 0) return true;
    error_ = errno;
    return false;
}

void Folder::RemoveDeadTemps() {
    const int copy = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    DIR* dir = copy >= 0 ? fdopendir(copy) : nullptr;
    if (!dir) {
        if (copy >= 0) close(copy);
        return;
    }
    while (struct dirent* entry = readdir(dir)) {
        const long pid = TempOwner(entry->d_name);
        if (pid > 0 && kill(pid_t(pid), 0) != 0 && errno == ESRCH) {
            unlinkat(fd_, entry->d_name, 0);
        }
    }
    closedir(dir);
}

std::string ErrorText(int error) {
    return strerror(error);
}

std::string NativePath(const char* path) {
    std::string native = path ? path : "";
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    return native;
}

FILE* OpenFile(const char* path, const char* mode) {
    if (!path || !mode) return nullptr;
    FILE* file = fopen(NativePath(path).c_str(), mode);
    struct stat st;
    if (file && fstat(fileno(file), &st) == 0 && S_ISDIR(st.st_mode)) {
        fclose(file);
        errno = EISDIR;
        return nullptr;
    }
    return file;
}

bool StreamSize(FILE* file, uint64_t& size) {
    struct stat st;
    if (!file || fstat(fileno(file), &st) != 0) return false;
    size = uint64_t(st.st_size);
    return true;
}

bool SeekStream(FILE* file, uint64_t offset) {
    return file && fseeko(file, off_t(offset), SEEK_SET) == 0;
}

unsigned Attributes(const char* path) {
    if (!path) return ATTR_INVALID;
    struct stat st;
    if (stat(NativePath(path).c_str(), &st) != 0) return ATTR_INVALID;
    return AttributesOf(S_ISDIR(st.st_mode), path);
}

bool Status(const char* path, FileStatus& status) {
    if (!path) return false;
    struct stat st;
    if (stat(NativePath(path).c_str(), &st) != 0) return false;
    status.mode = uint32_t(st.st_mode) & 0xFFFF;
    status.size = uint64_t(st.st_size);
    status.mtime = uint32_t(st.st_mtime);
    return true;
}

bool Stamp(const char* path, FileStamp& stamp) {
    struct stat st;
    if (!path || stat(NativePath(path).c_str(), &st) != 0) return false;
    stamp.identity = uint64_t(st.st_dev) << 40 ^ uint64_t(st.st_ino);
    stamp.size = uint64_t(st.st_size);
    stamp.modified = uint64_t(st.st_mtim.tv_sec) * 1000000000u + uint64_t(st.st_mtim.tv_nsec);
    stamp.changed = uint64_t(st.st_ctim.tv_sec) * 1000000000u + uint64_t(st.st_ctim.tv_nsec);
    return true;
}

bool SameFile(const char* a, const char* b) {
    if (!a || !b) return false;
    struct stat sa, sb;
    return stat(NativePath(a).c_str(), &sa) == 0 && stat(NativePath(b).c_str(), &sb) == 0 &&
           SameFile(sa, sb);
}

bool RemoveFile(const char* path) {
    if (!path) return false;
    return unlink(NativePath(path).c_str()) == 0;
}

bool MovePath(const char* from, const char* to) {
    if (!from || !to) return false;
    const std::string f = NativePath(from), t = NativePath(to);
    if (RenameNoReplace(AT_FDCWD, f.c_str(), AT_FDCWD, t.c_str()) == 0) return true;
    int error = errno;
    if (error == EINVAL || error == ENOSYS || error == ENOTSUP) {
        // A file system without the no-replace flag: test, then rename.
        struct stat st;
        if (lstat(t.c_str(), &st) == 0) return false;
        if (rename(f.c_str(), t.c_str()) == 0) return true;
        error = errno;
    }
    return error == EXDEV && MoveAcross(f, t, false);
}

bool MoveReplace(const char* from, const char* to) {
    if (!from || !to) return false;
    const std::string f = NativePath(from), t = NativePath(to);
    if (rename(f.c_str(), t.c_str()) == 0) return true;
    return errno == EXDEV && MoveAcross(f, t, true);
}

bool MayWriteFile(const char* path) {
    if (!path) {
        errno = EINVAL;
        return false;
    }
    return faccessat(AT_FDCWD, NativePath(path).c_str(), W_OK, AT_EACCESS) == 0;
}

bool CopyRegularFile(const char* from, const char* to, bool failIfExists) {
    if (!from || !to) return false;
    return CopyNative(NativePath(from), NativePath(to), failIfExists);
}

bool MakeDirectory(const char* path) {
    if (!path) return false;
    return mkdir(NativePath(path).c_str(), 0777) == 0;
}

Search::~Search() {
    Close();
}

void Search::Close() {
    if (dir_) closedir(static_cast<DIR*>(dir_));
    dir_ = nullptr;
}

bool Search::First(const char* pattern, FindEntry& entry) {
    Close();
    if (!pattern) return false;
    const std::string native = NativePath(pattern);
    dirPath_ = DirectoryPart(native);
    pattern_ = native.substr(dirPath_.size());
    if (pattern_.empty()) return false;
    dir_ = opendir(dirPath_.empty() ? "." : dirPath_.c_str());
    return dir_ && Next(entry);
}

bool Search::Next(FindEntry& entry) {
    DIR* dir = static_cast<DIR*>(dir_);
    if (!dir) return false;
    while (struct dirent* found = readdir(dir)) {
        if (!MatchPattern(pattern_.c_str(), found->d_name)) continue;
        bool isDir = found->d_type == DT_DIR;
        if (found->d_type == DT_UNKNOWN || found->d_type == DT_LNK) {
            isDir = IsDirectory(dirPath_ + found->d_name);
        }
        entry.name = found->d_name;
        entry.attributes = AttributesOf(isDir, found->d_name);
        return true;
    }
    Close();
    return false;
}

bool GetCurrentDir(std::string& dir) {
    std::string buffer(256, '\0');
    for (;;) {
        if (getcwd(&buffer[0], buffer.size())) {
            dir.assign(buffer.c_str());
            return true;
        }
        if (errno != ERANGE || buffer.size() > (1u << 20)) return false;
        buffer.resize(buffer.size() * 2);
    }
}

std::string AbsolutePath(const char* path) {
    std::string full;
    const std::string native = NativePath(path);
    if (native.empty() || native[0] != '/') {
        if (!GetCurrentDir(full)) return native;
        full += '/';
    }
    full += native;
    std::string folded;
    size_t start = 0;
    while (start <= full.size()) {
        size_t end = full.find('/', start);
        if (end == std::string::npos) end = full.size();
        const std::string part = full.substr(start, end - start);
        if (part == "..") {
            folded.erase(folded.empty() ? 0 : folded.rfind('/'));
        } else if (!part.empty() && part != ".") {
            folded += '/' + part;
        }
        start = end + 1;
    }
    return folded.empty() ? "/" : folded;
}

bool SetCurrentDir(const char* path) {
    if (!IsSet(path)) return false;
    return chdir(NativePath(path).c_str()) == 0;
}

std::string ResolvedPath(const char* path) {
    if (!path) return std::string();
    char* resolved = realpath(NativePath(path).c_str(), nullptr);
    if (!resolved) return std::string();
    std::string result = resolved;
    free(resolved);
    return result;
}

bool ExecutablePath(std::string& path) {
    std::string buffer(256, '\0');
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", &buffer[0], buffer.size());
        if (n < 0) return false;
        if (size_t(n) < buffer.size()) {
            path.assign(buffer.data(), size_t(n));
            return true;
        }
        if (buffer.size() > (1u << 20)) return false;
        buffer.resize(buffer.size() * 2);
    }
}

unsigned DriveMask() {
    return 0;
}

unsigned DriveTypeOf(const char*) {
    return DRIVE_TYPE_NO_ROOT;
}

std::vector<std::string> OpticalMounts() {
    std::vector<std::string> mounts;
    FILE* table = setmntent("/proc/self/mounts", "r");
    if (!table) return mounts;
    struct mntent entry;
    char strings[4096];
    while (getmntent_r(table, &entry, strings, sizeof(strings))) {
        if (strcmp(entry.mnt_type, "iso9660") == 0 || strcmp(entry.mnt_type, "udf") == 0) {
            mounts.push_back(entry.mnt_dir);
        }
    }
    endmntent(table);
    return mounts;
}

FolderLookup FindUserFolder(UserFolder folder, std::string& path) {
    return folder == UserFolder::DOCUMENTS ? FindDocuments(path) : FindAppData(path);
}

// ---- Watching folders ----

namespace {

// Every way an entry's content or the name's target can change: written and closed, created,
// deleted, renamed in or out, its attributes or its bytes changed.
constexpr uint32_t WATCHED_EVENTS =
    IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

// One read takes many events at once; a longer queue is left for the next read.
constexpr size_t EVENT_ROOM = 64 * (sizeof(inotify_event) + NAME_MAX + 1);

} // namespace

FolderWatch::~FolderWatch() {
    if (fd_ >= 0) close(fd_);
}

int FolderWatch::Add(const char* folder) {
    if (fd_ < 0) fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0 || !folder) {
        error_ = folder ? errno : EINVAL;
        return -1;
    }
    const int id = inotify_add_watch(fd_, NativePath(folder).c_str(), WATCHED_EVENTS | IN_ONLYDIR);
    if (id < 0) error_ = errno;
    return id;
}

void FolderWatch::Remove(int id) {
    if (fd_ >= 0 && id >= 0) inotify_rm_watch(fd_, id);
}

void FolderWatch::Read(std::vector<Change>& changes) {
    if (fd_ < 0) return;
    if (buffer_.empty()) buffer_.resize(EVENT_ROOM);
    for (;;) {
        const ssize_t got = read(fd_, buffer_.data(), buffer_.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return;
        for (ssize_t at = 0; at < got;) {
            inotify_event event;
            std::memcpy(&event, buffer_.data() + at, sizeof event);
            const char* name = buffer_.data() + at + sizeof event;
            at += ssize_t(sizeof event + event.len);
            if (event.mask & IN_Q_OVERFLOW) {
                changes.push_back(Change{LOST, std::string()});
            } else if (event.len > 0) {
                changes.push_back(Change{event.wd, std::string(name, strnlen(name, event.len))});
            } else if (event.mask & IN_IGNORED) {
                changes.push_back(Change{event.wd, std::string()});
            }
        }
    }
}

std::string FoldedName(const std::string& name) {
    return name;
}

} // namespace Platform
} // namespace ZEM
