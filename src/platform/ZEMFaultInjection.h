#ifndef ZEM_PLATFORM_ZEMFAULTINJECTION_H
#define ZEM_PLATFORM_ZEMFAULTINJECTION_H

// The crash tests' hook (ZEM_FAULT_WRITE, see ZEMPlatform.h), shared by the platform layers: the
// plan is read and the changes are counted here; each layer carries the change out, or not.

#include <cstddef>
#include <cstdint>

namespace ZEM {
namespace Platform {

enum class Fault { NONE, KILL, TORN, FAIL };

// The exit code of a process that the plan killed where the system has no signal to tell it
// (Windows); the shell's code for a SIGKILL.
constexpr unsigned FAULT_KILL_EXIT_CODE = 137;

// What happens to the change being made now: `what` is its line in a trace ("sync", "rename").
Fault NextChange(const char* what);
// The same for a write of size bytes at offset.
Fault NextWrite(uint64_t offset, size_t size);
// Whether the change `what` (not a write) goes ahead: false when the plan fails it, and no
// return at all when the plan kills the process there.
bool MayChange(const char* what);
// The bytes that a torn write of size bytes lays down before the kill: the whole 512-byte
// sectors of its first half.
size_t TornSize(size_t size);

// Ends the process at once, as a crash would: no destructor runs and no buffer is flushed.
// Each platform layer has its own.
[[noreturn]] void Die();

} // namespace Platform
} // namespace ZEM

#endif
