#ifndef ZEM_GRAPHICS_ZEMCHAR_H
#define ZEM_GRAPHICS_ZEMCHAR_H

#include <cstdint>

// One glyph record of a bitmap font, 8 bytes in memory and in font files (little-endian). A record
// of all zeros is an empty glyph.
struct ZEMChar {
    uint16_t x;     // left column of the glyph in the font's glyph bitmap
    uint16_t y;     // top row of the glyph in the glyph bitmap
    uint8_t width;  // width in pixels, also the glyph's advance
    uint8_t height; // height in pixels
    int16_t offset; // rows of the glyph below the baseline: it covers the rows
                    // baseline - height + offset + 1 to baseline + offset
};

static_assert(sizeof(ZEMChar) == 8, "a glyph record is 8 bytes");

#endif
