#include "graphics/ZEMCanvas.h"

#include <algorithm>
#include <cstring>

namespace ZEM {
namespace Draw {

namespace {

// The XOR value of one byte of a pixel: the colour's low byte on 8 bits, else every bit.
uint8_t XorByte(unsigned bytes, unsigned color) {
    return bytes == 1 ? uint8_t(color) : uint8_t(0xFF);
}

void XorBytes(uint8_t* p, size_t count, uint8_t value) {
    for (size_t i = 0; i < count; ++i)
        p[i] ^= value;
}

// The colour's low bytes in pixel order, as one value to store with memcpy.
template <class T>
T Pattern(unsigned color) {
    uint8_t bytes[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i)
        bytes[i] = uint8_t(color >> (8 * i));
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

template <class T>
void FillWords(uint8_t* p, size_t count, unsigned color) {
    const T value = Pattern<T>(color);
    for (size_t i = 0; i < count; ++i)
        std::memcpy(p + i * sizeof(T), &value, sizeof(T));
}

void Fill24(uint8_t* p, size_t count, unsigned color) {
    const uint8_t b0 = uint8_t(color), b1 = uint8_t(color >> 8), b2 = uint8_t(color >> 16);
    for (size_t i = 0; i < count; ++i, p += 3) {
        p[0] = b0;
        p[1] = b1;
        p[2] = b2;
    }
}

} // namespace

Canvas::Canvas(const ZEMImage& image) {
    const unsigned pixelBytes = (image.bpp + 7u) / 8u;
    if (!image.data || pixelBytes == 0 || pixelBytes > 4) return;
    if (uint64_t(image.width) * pixelBytes > image.pitch) return;
    data = image.data;
    pitch = image.pitch;
    bytes = pixelBytes;
    width = image.width;
    height = image.height;
    x1 = std::max<int64_t>(image.clipX1, 0);
    x2 = std::min<int64_t>(image.clipX2, width - 1);
    y1 = std::max<int64_t>(image.clipY1, 0);
    y2 = std::min<int64_t>(image.clipY2, height - 1);
}

void Canvas::Plot(int64_t x, int64_t y, unsigned color, bool xorMode) const {
    if (!Inside(x, y)) return;
    FillRow(At(x, y), 1, bytes, color, xorMode);
}

void Canvas::Span(int64_t x, int64_t y, uint64_t length, unsigned color, bool xorMode) const {
    Fill(x, y, length, 1, color, xorMode);
}

void Canvas::Column(int64_t x, int64_t y, uint64_t length, unsigned color, bool xorMode) const {
    if (length == 0 || x < x1 || x > x2) return;
    int64_t last = y + int64_t(length - 1);
    if (!CutRange(y, last, y1, y2)) return;
    for (uint8_t* p = At(x, y); y <= last; ++y, p += pitch)
        FillRow(p, 1, bytes, color, xorMode);
}

void Canvas::Fill(int64_t x, int64_t y, uint64_t w, uint64_t h, unsigned color,
                  bool xorMode) const {
    if (w == 0 || h == 0) return;
    int64_t right = x + int64_t(w - 1);
    int64_t bottom = y + int64_t(h - 1);
    if (!CutRange(x, right, x1, x2) || !CutRange(y, bottom, y1, y2)) return;
    const size_t count = size_t(right - x + 1);
    for (uint8_t* p = At(x, y); y <= bottom; ++y, p += pitch)
        FillRow(p, count, bytes, color, xorMode);
}

bool CutRange(int64_t& first, int64_t& last, int64_t low, int64_t high) {
    first = std::max(first, low);
    last = std::min(last, high);
    return first <= last;
}

void Store(uint8_t* pixel, unsigned bytes, unsigned color) {
    for (unsigned i = 0; i < bytes; ++i)
        pixel[i] = uint8_t(color >> (8 * i));
}

void FillRow(uint8_t* p, size_t count, unsigned bytes, unsigned color, bool xorMode) {
    if (xorMode) return XorBytes(p, count * bytes, XorByte(bytes, color));
    if (bytes == 1 || color == 0) {
        std::memset(p, int(color & 0xFF), count * bytes);
        return;
    }
    switch (bytes) {
    case 2:
        return FillWords<uint16_t>(p, count, color);
    case 3:
        return Fill24(p, count, color);
    default:
        return FillWords<uint32_t>(p, count, color);
    }
}

} // namespace Draw
} // namespace ZEM
