#include "graphics/codec/ZEMCodecPicture.h"

#include "graphics/codec/ZEMCodecTable.h"

#include <zem/core/ZEMLog.h>

#include <algorithm>
#include <cstring>
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

namespace {

constexpr unsigned INDEXES = 256;

// The pixels' bits ORed together, 8 bytes at a time: no index is larger, and it costs a fraction
// of a decode.
uint8_t IndexBits(const uint8_t* pixels, size_t count) {
    uint64_t bits = 0;
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t word;
        std::memcpy(&word, pixels + i, 8);
        bits |= word;
    }
    for (; i < count; ++i)
        bits |= pixels[i];
    bits |= bits >> 32;
    bits |= bits >> 16;
    bits |= bits >> 8;
    return uint8_t(bits);
}

// Grows the palette with black entries until every index of the pixels has a colour.
bool CoverIndexes(ZEMPal& palette, const uint8_t* pixels, size_t count) {
    const unsigned had = palette.nbColors;
    if (had >= INDEXES || IndexBits(pixels, count) < had) return true;
    uint8_t highest = 0;
    for (size_t i = 0; i < count; ++i)
        highest = std::max(highest, pixels[i]);
    if (highest < had) return true;
    palette.Resize(highest + 1u);
    if (palette.nbColors <= highest) return false;
    std::memset(palette.colors + 4 * size_t(had), 0, 4 * size_t(palette.nbColors - had));
    return true;
}

} // namespace

bool Picture::Commit(uint8_t*& toData, uint32_t& toWidth, uint32_t& toHeight, ZEMPal*& toPalette,
                     uint16_t& toBpp) {
    ZEMPal* kept = palette ? palette.get() : dropPalette ? nullptr : toPalette;
    if (bpp == 8 && kept && !CoverIndexes(*kept, data.get(), size_t(width) * height)) return false;
    delete[] toData;
    toData = data.release();
    toWidth = width;
    toHeight = height;
    toBpp = bpp;
    if (palette || dropPalette) {
        delete toPalette;
        toPalette = palette.release();
    }
    return true;
}

void LogCutShort(const char* format, uint32_t rows, uint32_t height) {
    ZEM::LOG("%s: pixel data cut short after %u of %u rows\n", format, unsigned(rows),
             unsigned(height));
}

} // namespace Codec

const char* PictureSizeProblem(int number, uint32_t width, uint32_t height, unsigned bpp) {
    using Codec::BytesPerPixel;
    if (number == 0) number = Codec::DefaultSaveFormat(bpp);
    const Codec::Format* format = Codec::FormatNumbered(number);
    if (!format || !format->save) return "no picture format of that number is written";
    if (!Codec::IsDepth(bpp)) return "pictures have 8, 15, 16, 24 or 32 bits per pixel";
    if (width == 0 || height == 0) return "the picture is empty";
    if (uint64_t(width) * height * BytesPerPixel(bpp) > MAX_PICTURE_BYTES) {
        return "pictures hold at most 1 GiB of pixels";
    }
    if (!format->savesTwoBytePixels && BytesPerPixel(bpp) == 2) {
        return "15- and 16-bit pictures are written in BMP only";
    }
    if (width > format->maxSide || height > format->maxSide) return format->tooLarge;
    return nullptr;
}

} // namespace ZEM
