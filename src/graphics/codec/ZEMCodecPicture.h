#ifndef ZEM_GRAPHICS_CODEC_ZEMCODECPICTURE_H
#define ZEM_GRAPHICS_CODEC_ZEMCODECPICTURE_H

#include <zem/graphics/ZEMCodec.h>
#include <zem/graphics/ZEMPal.h>

#include <cstdint>
#include <memory>

namespace ZEM {
namespace Codec {

// Bytes that one pixel of bpp bits takes.
constexpr unsigned BytesPerPixel(unsigned bpp) {
    return (bpp + 7) / 8;
}

// The depths a picture may have.
constexpr bool IsDepth(unsigned bpp) {
    return bpp == 8 || bpp == 15 || bpp == 16 || bpp == 24 || bpp == 32;
}

// The widest and highest pictures that the PCX header (signed 16-bit corners) and the TGA header
// (16-bit sizes) hold.
constexpr uint32_t PCX_MAX_SIDE = 32768;
constexpr uint32_t TGA_MAX_SIDE = 0xFFFF;

// A picture being decoded. A load function fills one and hands it to the image's fields only
// once the whole file has been read, so a failed load changes nothing and leaks nothing.
struct Picture {
    // Sets the size and depth and allocates the pixels (uninitialised). False when the size is
    // zero, the buffer would be larger than MAX_PICTURE_BYTES, or memory runs out.
    bool Allocate(uint32_t w, uint32_t h, uint16_t depth);
    // A new palette of n colours, which replaces the image's one on Commit.
    ZEMPal* NewPalette(unsigned n);
    // Pixel bytes per row.
    uint32_t Pitch() const { return width * BytesPerPixel(bpp); }
    uint8_t* Row(uint32_t y) const { return data.get() + uint64_t(y) * Pitch(); }

    // Hands the picture over to the image's fields, freeing what they held. An 8-bit picture's
    // palette (its own, or the one it keeps) first grows with black entries to cover every index
    // the pixels use; false, with nothing handed over, when there is no memory for that.
    [[nodiscard]] bool Commit(uint8_t*& toData, uint32_t& toWidth, uint32_t& toHeight,
                              ZEMPal*& toPalette, uint16_t& toBpp);

    std::unique_ptr<uint8_t[]> data;
    std::unique_ptr<ZEMPal> palette;
    bool dropPalette = false; // the image is to lose its palette
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bpp = 0;
};

// Logs that the pixel data of a picture in the named format ended after rows of its height.
void LogCutShort(const char* format, uint32_t rows, uint32_t height);

} // namespace Codec
} // namespace ZEM

#endif
