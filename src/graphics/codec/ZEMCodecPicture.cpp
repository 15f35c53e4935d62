#include "graphics/codec/ZEMCodecPicture.h"

#include <zem/core/ZEMLog.h>

#include <new>

namespace ZEM {
namespace Codec {

bool Picture::Allocate(uint32_t w, uint32_t h, uint16_t depth) {
    const uint64_t size = uint64_t(w) * h * BytesPerPixel(depth);
    if (size == 0 || size > MAX_PICTURE_BYTES) return false;
    data.reset(new (std::nothrow) uint8_t[size]);
    if (!data) return false;
    width = w;
    height = h;
    bpp = depth;
    return true;
}

ZEMPal* Picture::NewPalette(unsigned n) {
    palette.reset(new (std::nothrow) ZEMPal(n));
    if (palette && palette->nbColors != n) palette.reset();
    return palette.get();
}

void Picture::Commit(uint8_t*& toData, uint32_t& toWidth, uint32_t& toHeight, ZEMPal*& toPalette,
                     uint16_t& toBpp) {
    delete[] toData;
    toData = data.release();
    toWidth = width;
    toHeight = height;
    toBpp = bpp;
    if (palette || dropPalette) {
        delete toPalette;
        toPalette = palette.release();
    }
}

void LogCutShort(const char* format, uint32_t rows, uint32_t height) {
    ZEM::LOG("%s: pixel data cut short after %u of %u rows\n", format, unsigned(rows),
             unsigned(height));
}

} // namespace Codec

const char* PictureSizeProblem(int format, uint32_t width, uint32_t height, unsigned bpp) {
    using Codec::BytesPerPixel;
    using Codec::PCX_MAX_SIDE;
    using Codec::TGA_MAX_SIDE;
    if (format == 0) format = bpp <= 8 ? 2 : 5;
    const bool tga = format == 4 || format == 5;
    if (format != 1 && format != 2 && !tga) return "no picture format of that number is written";
    if (!Codec::IsDepth(bpp)) return "pictures have 8, 15, 16, 24 or 32 bits per pixel";
    if (width == 0 || height == 0) return "the picture is empty";
    if (uint64_t(width) * height * BytesPerPixel(bpp) > MAX_PICTURE_BYTES) {
        return "pictures hold at most 1 GiB of pixels";
    }
    if (format != 1 && BytesPerPixel(bpp) == 2) {
        return "15- and 16-bit pictures are written in BMP only";
    }
    if (format == 2 && (width > PCX_MAX_SIDE || height > PCX_MAX_SIDE)) {
        return "PCX pictures are at most 32768 pixels wide and high";
    }
    if (tga && (width > TGA_MAX_SIDE || height > TGA_MAX_SIDE)) {
        return "TGA pictures are at most 65535 pixels wide and high";
    }
    return nullptr;
}

} // namespace ZEM
