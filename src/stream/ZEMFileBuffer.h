#ifndef ZEM_STREAM_ZEMFILEBUFFER_H
#define ZEM_STREAM_ZEMFILEBUFFER_H

// The bytes that a runtime file handle has buffered and not yet handed out: what getc_unlocked
// would deliver next without a system call. Taking bytes from there and moving the handle's read
// pointer past them leaves the handle exactly as a read of those bytes would. The GNU runtime
// shows its buffer; elsewhere the buffer is reported empty and callers read through the runtime.

#include <cstdint>
#include <cstdio>

namespace ZEM {
namespace Stream {

// Sets [next, end) to the buffered bytes of file; both null when the runtime does not show them.
inline void BufferedBytes(FILE* file, uint8_t*& next, const uint8_t*& end) {
#if defined(__GLIBC__)
    next = reinterpret_cast<uint8_t*>(file->_IO_read_ptr);
    end = reinterpret_cast<const uint8_t*>(file->_IO_read_end);
    if (next < end) return;
    end = next;
#else
    (void)file;
    next = nullptr;
    end = nullptr;
#endif
}

// Marks the buffered bytes before next as read; next comes from BufferedBytes of the same
// buffer.
inline void ConsumeTo(FILE* file, const uint8_t* next) {
#if defined(__GLIBC__)
    file->_IO_read_ptr = reinterpret_cast<char*>(const_cast<uint8_t*>(next));
#else
    (void)file;
    (void)next;
#endif
}

} // namespace Stream
} // namespace ZEM

#endif
