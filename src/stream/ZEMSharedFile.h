#ifndef ZEM_STREAM_ZEMSHAREDFILE_H
#define ZEM_STREAM_ZEMSHAREDFILE_H

// A runtime file handle that several window streams read through: counted, and closed by its last
// user. The handle holds one position for all of them, so it remembers which stream placed it
// last; a stream places it again before a transfer when another one moved it since. A stream
// holds the handle's lock while it places the handle and transfers, so streams on different
// threads do not mix their positions.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>

#if __has_include(<sys/single_threaded.h>)
#include <sys/single_threaded.h>
#endif

namespace ZEM {
namespace Stream {

class SharedFile {
public:
    // Opens path with the runtime mode; null when it cannot be opened. The caller holds the
    // first reference.
    static SharedFile* Open(const char* path, const char* runtimeMode);
    // Takes over an open handle (closed here when it cannot be taken); null for null.
    static SharedFile* Adopt(FILE* handle);

    SharedFile(const SharedFile&) = delete;
    SharedFile& operator=(const SharedFile&) = delete;

    void Retain() { users.fetch_add(1, std::memory_order_relaxed); }
    // Drops one reference; the last one closes the handle and deletes the object.
    void Release();

    FILE* Handle() const { return handle; }
    // Length of the file when it was opened, at most what 32-bit offsets can address.
    uint32_t Length() const { return length; }

    // The handle's lock for the lifetime of the object; none is taken while the process runs a
    // single thread, which cannot start another before the lock would be let go. A mutex of its
    // own rather than the runtime's lock on the handle, which thread checkers do not see.
    class Lock {
    public:
        explicit Lock(SharedFile& file) : mutex(MayRunThreads() ? &file.mutex : nullptr) {
            if (mutex) mutex->lock();
        }
        ~Lock() {
            if (mutex) mutex->unlock();
        }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        static bool MayRunThreads() {
#if __has_include(<sys/single_threaded.h>)
            return !__libc_single_threaded;
#else
            return true;
#endif
        }

        std::mutex* mutex;
    };

    // The stream whose position the handle holds; null when no stream placed it. Read and
    // written only under the lock.
    const void* user = nullptr;

private:
    SharedFile(FILE* handle, uint32_t length) : handle(handle), length(length) {}
    ~SharedFile();

    FILE* handle;
    uint32_t length;
    std::atomic<unsigned> users{1};
    std::mutex mutex;
};

} // namespace Stream
} // namespace ZEM

#endif
