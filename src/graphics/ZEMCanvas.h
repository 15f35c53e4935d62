#ifndef ZEM_GRAPHICS_ZEMCANVAS_H
#define ZEM_GRAPHICS_ZEMCANVAS_H

// What the drawing and text operations share: the part of an image they may write, and the pixel
// rule. Coordinates are 64-bit so that no sum of a coordinate and a size wraps around.

#include <zem/graphics/ZEMImage.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ZEM {
namespace Draw {

// An image's pixel buffer and layout, with the clip rectangle cut to the picture. It is empty
// (nothing may be drawn) when the image has no buffer, a depth of more than 4 bytes per pixel or
// a pitch too short for its width; the clip fields are public, so they are not trusted either.
struct Canvas {
    explicit Canvas(const ZEMImage& image);

    bool Empty() const { return x1 > x2 || y1 > y2; }
    bool Inside(int64_t x, int64_t y) const { return x >= x1 && x <= x2 && y >= y1 && y <= y2; }
    uint8_t* At(int64_t x, int64_t y) const { return data + size_t(y) * pitch + size_t(x) * bytes; }

    // One pixel, when it lies inside.
    void Plot(int64_t x, int64_t y, unsigned color, bool xorMode) const;
    // The visible part of a row of length pixels from (x, y) to the right.
    void Span(int64_t x, int64_t y, uint64_t length, unsigned color, bool xorMode) const;
    // The visible part of a column of length pixels from (x, y) downward.
    void Column(int64_t x, int64_t y, uint64_t length, unsigned color, bool xorMode) const;
    // The visible part of the w x h rectangle at (x, y).
    void Fill(int64_t x, int64_t y, uint64_t w, uint64_t h, unsigned color, bool xorMode) const;

    uint8_t* data = nullptr;
    size_t pitch = 0;
    unsigned bytes = 0; // bytes per pixel, 1 to 4
    int64_t width = 0;  // the picture's size
    int64_t height = 0;
    int64_t x1 = 0; // the clip rectangle within the picture, inclusive
    int64_t x2 = -1;
    int64_t y1 = 0;
    int64_t y2 = -1;
};

// An inclusive range [first, last] cut to [low, high]; false when nothing is left.
bool CutRange(int64_t& first, int64_t& last, int64_t low, int64_t high);

// The colour's low sizeof(T) bytes in pixel order, as one value to store or compare with memcpy.
template <class T>
T Pattern(unsigned color) {
    uint8_t bytes[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i)
        bytes[i] = uint8_t(color >> (8 * i));
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

// The pixel rule: the colour value stored in the pixel's encoding.
void Store(uint8_t* pixel, unsigned bytes, unsigned color);
// count pixels from p with the pixel rule of the mode.
void FillRow(uint8_t* p, size_t count, unsigned bytes, unsigned color, bool xorMode);

} // namespace Draw
} // namespace ZEM

#endif
