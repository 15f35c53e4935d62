#ifndef ZEM_GRAPHICS_ZEMKEYEDROW_H
#define ZEM_GRAPHICS_ZEMKEYEDROW_H

// One row of a colour-key copy: every source pixel that is not the key replaces the destination
// pixel. A pixel is compared through a mask of the bits that count (all of them, or the colour
// without alpha), with a key already cut by that mask. With SSE2 (every x86-64) the row goes 16
// bytes at a time: one compare gives the mask, and the store writes the destination's own pixels
// back where the source holds the key. Both paths give the same pixels.

#include "graphics/ZEMRowBlocks.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ZEM {
namespace Draw {

// The pixel of sizeof(T) bytes at p, as one value in memory order.
template <class T>
T LoadPixel(const uint8_t* p) {
    T value;
    std::memcpy(&value, p, sizeof(T));
    return value;
}

// Pixels [first, last) of the row, one by one; downward from last - 1 when backward.
template <class T>
void KeyedPixels(uint8_t* d, const uint8_t* s, size_t first, size_t last, T key, T mask,
                 bool backward) {
    for (size_t k = first; k < last; ++k) {
        const size_t i = backward ? last - 1 - (k - first) : k;
        const T source = LoadPixel<T>(s + i * sizeof(T));
        const T pixel = (source & mask) == key ? LoadPixel<T>(d + i * sizeof(T)) : source;
        std::memcpy(d + i * sizeof(T), &pixel, sizeof(T));
    }
}

// The row pixel by pixel, on every target. backward: from the end, for a destination that
// overlaps its source further right in one buffer.
template <class T>
void KeyedRowPlain(uint8_t* d, const uint8_t* s, size_t n, T key, T mask, bool backward) {
    KeyedPixels(d, s, 0, n, key, mask, backward);
}

#if defined(__SSE2__)

template <class T>
__m128i Splat(T value) {
    if (sizeof(T) == 1) return _mm_set1_epi8(char(value));
    if (sizeof(T) == 2) return _mm_set1_epi16(short(value));
    return _mm_set1_epi32(int(value));
}

template <class T>
__m128i KeyMask(__m128i pixels, __m128i key) {
    if (sizeof(T) == 1) return _mm_cmpeq_epi8(pixels, key);
    if (sizeof(T) == 2) return _mm_cmpeq_epi16(pixels, key);
    return _mm_cmpeq_epi32(pixels, key);
}

// 16 bytes from s to d but the key's pixels. Source and destination are read before the store,
// so an overlapping pair gives what the pixel by pixel copy gives. Blocks of wider pixels that
// hold no key are stored whole and those of key only are left alone, so the destination is read
// only at a shape's edges; 16 one-byte pixels are mixed so often that the tests would cost more
// than they save.
template <class T>
void KeyedBlock(uint8_t* d, const uint8_t* s, __m128i key, __m128i bits) {
    const __m128i source = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i mask = KeyMask<T>(_mm_and_si128(source, bits), key);
    const int keyed = sizeof(T) == 1 ? 1 : _mm_movemask_epi8(mask);
    if (keyed == 0xFFFF) return;
    __m128i pixels = source;
    if (keyed != 0) {
        const __m128i target = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
        pixels = _mm_or_si128(_mm_and_si128(mask, target), _mm_andnot_si128(mask, source));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), pixels);
}

#endif

// The row, 16 bytes at a time where the target has SSE2, the rest pixel by pixel.
template <class T>
void KeyedRow(uint8_t* d, const uint8_t* s, size_t n, T key, T mask, bool backward) {
#if defined(__SSE2__)
    const __m128i wide = Splat(key);
    const __m128i bits = Splat(mask);
    ForBlocks(
        n, 16 / sizeof(T), backward,
        [&](size_t i) { KeyedBlock<T>(d + i * sizeof(T), s + i * sizeof(T), wide, bits); },
        [&](size_t first, size_t last) { KeyedPixels(d, s, first, last, key, mask, backward); });
#else
    KeyedRowPlain(d, s, n, key, mask, backward);
#endif
}

} // namespace Draw
} // namespace ZEM

#endif
