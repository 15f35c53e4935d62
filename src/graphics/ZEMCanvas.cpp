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

// 32-bit pixels: blue, green and red inverted, alpha kept, so that an inverted pixel stays as
// visible as it was (and XOR drawn twice still gives the picture back).
void XorColours(uint8_t* p, size_t count) {
    const uint32_t mask = Pattern<uint32_t>(0x00FFFFFFu);
    for (size_t i = 0; i < count; ++i) {
        uint32_t pixel;
        std::memcpy(&pixel, p + 4 * i, 4);
        pixel ^= mask;
        std::memcpy(p + 4 * i, &pixel, 4);
    }
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

// Pixels set one by one at the start of a long span; memcpy copies them on from there.
const size_t HEAD_PIXELS = 16;
// The largest block copied at once: small enough to stay in the first-level cache while it is
// the source, and a whole number of pixels of 2, 3 and 4 bytes, so that every copy starts on a
// pixel.
const size_t REPLICA_BYTES = 12 * 1024;

// Repeats the first filled bytes of p up to total bytes. The bulk of a long fill goes through
// memcpy, which stores faster than a loop of pixel stores.
void Replicate(uint8_t* p, size_t filled, size_t total) {
    while (filled < total) {
        const size_t n = std::min(std::min(filled, REPLICA_BYTES), total - filled);
        std::memcpy(p + filled, p, n);
        filled += n;
    }
}

void FillDeep(uint8_t* p, size_t count, unsigned bytes, unsigned color) {
    switch (bytes) {
    case 2:
        return FillWords<uint16_t>(p, count, color);
    case 3:
        return Fill24(p, count, color);
    default:
        return FillWords<uint32_t>(p, count, color);
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
    size_t count = size_t(right - x + 1);
    if (x == 0 && count * bytes == pitch) {
        // Whole rows lie one after another: one fill serves them all.
        count *= size_t(bottom - y + 1);
        bottom = y;
    }
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
    if (xorMode && bytes == 4) return XorColours(p, count);
    if (xorMode) return XorBytes(p, count * bytes, XorByte(bytes, color));
    if (bytes == 1 || color == 0) {
        std::memset(p, int(color & 0xFF), count * bytes);
        return;
    }
    const size_t head = std::min(count, HEAD_PIXELS);
    FillDeep(p, head, bytes, color);
    Replicate(p, head * bytes, count * bytes);
}

} // namespace Draw
} // namespace ZEM
