#ifndef ZEM_CORE_ZEMRANDOM_H
#define ZEM_CORE_ZEMRANDOM_H

#include <zem/core/ZEMExport.h>

// A seedable linear congruential generator. Each thread has its own state, 1 until seeded.
namespace ZEM {

// Seeds this thread's generator; 0 seeds with the current time in seconds.
ZEM_API void RandomInit(unsigned seed);

// The next raw value, 0..32767.
ZEM_API unsigned Randomi();

// The next value scaled to 0..n - 1 (0 when n is 0).
ZEM_API unsigned Randomi(unsigned n);

// The next value in [0, 1), at most 32767/32768.
ZEM_API float Randomf();

// Randomf() * x.
ZEM_API float Randomf(float x);

} // namespace ZEM

#endif
