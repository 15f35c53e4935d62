#ifndef ZEM_GRAPHICS_ZEMBLENDROW_H
#define ZEM_GRAPHICS_ZEMBLENDROW_H

// One row of a blended copy: 32-bit source pixels (blue, green, red, alpha) laid over 24- or
// 32-bit destination pixels, source over. Each colour byte becomes (s x a + d x (255 - a) + 127)
// / 255, the exact mix rounded to the nearest level, so alpha 0 keeps the destination and 255
// gives the source; a 32-bit destination's alpha becomes a + dA x (255 - a) / 255, the same mix
// with 255 in place of the source byte. With SSE2 (every x86-64) the row goes 4 pixels at a
// time, skipping blocks that are wholly transparent and storing wholly opaque ones as they are.
// Both paths give the same pixels.

#include "graphics/ZEMRowBlocks.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ZEM {
namespace Draw {

inline uint8_t Mix(unsigned source, unsigned target, unsigned alpha) {
    return uint8_t((source * alpha + target * (255u - alpha) + 127u) / 255u);
}

// Pixels [first, last) of the row, one by one; downward from last - 1 when backward. Bytes is
// the destination's pixel size, 3 or 4.
template <unsigned Bytes>
void BlendPixels(uint8_t* d, const uint8_t* s, size_t first, size_t last, bool backward) {
    for (size_t k = first; k < last; ++k) {
        const size_t i = backward ? last - 1 - (k - first) : k;
        const uint8_t* source = s + i * 4;
        uint8_t* target = d + i * Bytes;
        const unsigned alpha = source[3];
        if (alpha == 0) continue;
        for (unsigned c = 0; c < 3; ++c)
            target[c] = Mix(source[c], target[c], alpha);
        if (Bytes == 4) target[3] = Mix(255u, target[3], alpha);
    }
}

// The row pixel by pixel, on every target. backward: from the end, for a destination that
// overlaps its source further right in one buffer.
template <unsigned Bytes>
void BlendRowPlain(uint8_t* d, const uint8_t* s, size_t n, bool backward) {
    BlendPixels<Bytes>(d, s, 0, n, backward);
}

#if defined(__SSE2__)

// Two pixels widened to 16 bits per byte, mixed as Mix does: the quotient by 255 of a sum below
// 65,153 is (t + 1 + (t >> 8)) >> 8.
inline __m128i MixHalf(__m128i source, __m128i target) {
    const __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(source, 0xFF), 0xFF);
    const __m128i full = _mm_set_epi16(255, 0, 0, 0, 255, 0, 0, 0);
    const __m128i ones = _mm_set1_epi16(255);
    __m128i t = _mm_add_epi16(_mm_mullo_epi16(_mm_or_si128(source, full), alpha),
                              _mm_mullo_epi16(target, _mm_sub_epi16(ones, alpha)));
    t = _mm_add_epi16(t, _mm_set1_epi16(127));
    t = _mm_add_epi16(_mm_add_epi16(t, _mm_set1_epi16(1)), _mm_srli_epi16(t, 8));
    return _mm_srli_epi16(t, 8);
}

// Four source pixels over four destination pixels (the fourth bytes of a 24-bit destination's
// are don't-cares, as are the results' then).
inline __m128i MixFour(__m128i source, __m128i target) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = MixHalf(_mm_unpacklo_epi8(source, zero), _mm_unpacklo_epi8(target, zero));
    const __m128i high = MixHalf(_mm_unpackhi_epi8(source, zero), _mm_unpackhi_epi8(target, zero));
    return _mm_packus_epi16(low, high);
}

// Whether the alpha bytes of all four pixels equal those of value.
inline bool AllAlpha(__m128i source, __m128i value) {
    return (_mm_movemask_epi8(_mm_cmpeq_epi8(source, value)) & 0x8888) == 0x8888;
}

// Four 3-byte pixels as four 32-bit lanes, and back; a store leaves the bytes around alone.
inline __m128i LoadThree(const uint8_t* d) {
    uint32_t w[3];
    std::memcpy(w, d, 12);
    return _mm_set_epi32(int(w[2] >> 8), int((w[1] >> 16) | (w[2] << 16)),
                         int((w[0] >> 24) | (w[1] << 8)), int(w[0]));
}

inline void StoreThree(uint8_t* d, __m128i pixels) {
    uint32_t p[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), pixels);
    const uint32_t w[3] = {(p[0] & 0xFFFFFFu) | (p[1] << 24),
                           ((p[1] >> 8) & 0xFFFFu) | (p[2] << 16),
                           ((p[2] >> 16) & 0xFFu) | (p[3] << 8)};
    std::memcpy(d, w, 12);
}

template <unsigned Bytes>
__m128i LoadFour(const uint8_t* d) {
    if (Bytes == 3) return LoadThree(d);
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
}

template <unsigned Bytes>
void StoreFour(uint8_t* d, __m128i pixels) {
    if (Bytes == 3) return StoreThree(d, pixels);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), pixels);
}

// Four pixels: source and destination are read before the store, so an overlapping pair gives
// what the pixel by pixel blend gives.
template <unsigned Bytes>
void BlendBlock(uint8_t* d, const uint8_t* s) {
    const __m128i source = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    if (AllAlpha(source, _mm_setzero_si128())) return;
    if (AllAlpha(source, _mm_set1_epi8(-1))) return StoreFour<Bytes>(d, source);
    StoreFour<Bytes>(d, MixFour(source, LoadFour<Bytes>(d)));
}

#endif

// The row, 4 pixels at a time where the target has SSE2, the rest pixel by pixel.
template <unsigned Bytes>
void BlendRow(uint8_t* d, const uint8_t* s, size_t n, bool backward) {
#if defined(__SSE2__)
    ForBlocks(
        n, 4, backward, [&](size_t i) { BlendBlock<Bytes>(d + i * Bytes, s + i * 4); },
        [&](size_t first, size_t last) { BlendPixels<Bytes>(d, s, first, last, backward); });
#else
    BlendRowPlain<Bytes>(d, s, n, backward);
#endif
}

} // namespace Draw
} // namespace ZEM

#endif
