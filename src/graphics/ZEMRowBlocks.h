#ifndef ZEM_GRAPHICS_ZEMROWBLOCKS_H
#define ZEM_GRAPHICS_ZEMROWBLOCKS_H

#include <cstddef>

namespace ZEM {
namespace Draw {

// Walks a row of n pixels as whole blocks of `per` pixels, block(first pixel), and the n % per
// others one by one, pixels(first, last). Backward, the blocks go from the end and the head comes
// last, so that a destination overlapping its source further right in one buffer reads each
// source pixel before it changes (a block reads all its pixels before it stores any).
template <class Block, class Pixels>
void ForBlocks(size_t n, size_t per, bool backward, Block block, Pixels pixels) {
    const size_t blocks = n / per;
    if (backward) {
        for (size_t b = blocks; b > 0; --b)
            block(n - (blocks - b + 1) * per);
        return pixels(0, n - blocks * per);
    }
    for (size_t b = 0; b < blocks; ++b)
        block(b * per);
    pixels(blocks * per, n);
}

} // namespace Draw
} // namespace ZEM

#endif
