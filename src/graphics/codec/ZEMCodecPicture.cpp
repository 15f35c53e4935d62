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
} // namespace ZEM
