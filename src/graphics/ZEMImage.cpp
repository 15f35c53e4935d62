#include <zem/graphics/ZEMImage.h>

#include "graphics/codec/ZEMCodecPicture.h"
#include "graphics/codec/ZEMCodecReader.h"
#include "graphics/codec/ZEMCodecTable.h"

#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMResFile.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

using ZEM::Codec::BytesPerPixel;
using ZEM::Codec::IsDepth;

// Size of the image record as MemoryUsed counts it.
constexpr unsigned IMAGE_RECORD_SIZE = 36;

// The row size of a picture, false when the row or the whole buffer would not fit in 32 bits.
bool PitchFor(uint32_t width, uint32_t height, unsigned bpp, uint32_t& pitch) {
    uint64_t row = uint64_t(width) * BytesPerPixel(bpp);
    if (row > 0xFFFFFFFFu || row * height > 0xFFFFFFFFu) return false;
    pitch = uint32_t(row);
    return true;
}

// An uninitialised buffer of height x pitch bytes, null when the size does not fit or the memory
// is not there.
uint8_t* NewBuffer(uint32_t width, uint32_t height, unsigned bpp, uint32_t& pitch) {
    if (!PitchFor(width, height, bpp, pitch)) return nullptr;
    return new (std::nothrow) uint8_t[size_t(height) * pitch];
}

// One axis of MoveInside: the block [src, src + len) lands at dst, cut to the picture [0, size)
// for the source and to the clip range [lo, hi] (itself kept inside the picture) for the target.
void ClipAxis(int64_t& src, int64_t& dst, int64_t& len, int64_t lo, int64_t hi, uint32_t size) {
    lo = std::max<int64_t>(lo, 0);
    hi = std::min<int64_t>(hi, int64_t(size) - 1);
    if (lo > dst) {
        len -= lo - dst;
        src += lo - dst;
        dst = lo;
    }
    if (src + len > size) len = size - src;
    if (dst + len - 1 > hi) len = hi + 1 - dst;
}

} // namespace

ZEMImage::ZEMImage(unsigned width, unsigned height, unsigned bpp)
    : width(width), height(height), bpp(uint16_t(bpp)) {
    if (width == 0 || height == 0) return;
    data = NewBuffer(width, height, this->bpp, pitch);
    if (!data) {
        // Too big to address or to allocate: an empty image.
        this->width = this->height = 0;
        pitch = 0;
        return;
    }
    StopClipping();
}

ZEMImage::ZEMImage(ZEMImage* source) {
    if (!source) return;
    width = source->width;
    height = source->height;
    clipX1 = source->clipX1;
    clipX2 = source->clipX2;
    clipY1 = source->clipY1;
    clipY2 = source->clipY2;
    pitch = source->pitch;
    bpp = source->bpp;
    if (source->palette) palette = new (std::nothrow) ZEMPal(source->palette);
    if (!source->data) return;
    size_t size = size_t(height) * pitch;
    data = new (std::nothrow) uint8_t[size];
    if (data) {
        std::memcpy(data, source->data, size);
        return;
    }
    width = height = pitch = 0;
    clipX1 = clipX2 = clipY1 = clipY2 = 0;
}

ZEMImage::~ZEMImage() {
    delete[] data;
    delete palette;
}

void ZEMImage::SetPalette(ZEMPal* source, unsigned first, unsigned count) {
    if (!source || bpp != 8) return;
    uint64_t end = uint64_t(first) + count;
    unsigned wanted = unsigned(std::min<uint64_t>(end, 0xFFFFFFFFu));
    if (!palette) {
        palette = new (std::nothrow) ZEMPal(wanted);
        if (!palette) return;
    } else if (palette->nbColors < end) {
        palette->Resize(wanted);
    }
    uint64_t stop = std::min<uint64_t>(end, palette->nbColors);
    for (uint64_t i = first; i < stop; ++i) {
        unsigned char* to = palette->colors + 4 * i;
        if (i < source->nbColors)
            std::memcpy(to, source->colors + 4 * i, 4);
        else
            std::memset(to, 0, 4);
    }
}

void ZEMImage::ReplacePalette(ZEMPal* newPalette) {
    if (bpp != 8) return;
    if (newPalette == palette) return; // already ours: deleting it would leave it dangling
    delete palette;
    palette = newPalette;
}

void ZEMImage::SetClipping(int x1, int y1, int x2, int y2) {
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::max(x2, 0);
    y2 = std::max(y2, 0);
    if (unsigned(x1) >= width || unsigned(y1) >= height) return;
    x2 = int(std::min<unsigned>(unsigned(x2), width - 1));
    y2 = int(std::min<unsigned>(unsigned(y2), height - 1));
    clipX1 = int16_t(x1);
    clipX2 = int16_t(x2);
    clipY1 = int16_t(y1);
    clipY2 = int16_t(y2);
}

bool ZEMImage::IsClipping() const {
    return !(clipX1 == 0 && clipY1 == 0 && clipX2 == int16_t(width - 1) &&
             clipY2 == int16_t(height - 1));
}

void ZEMImage::StopClipping() {
    clipX1 = 0;
    clipY1 = 0;
    clipX2 = width ? int16_t(width - 1) : 0;
    clipY2 = height ? int16_t(height - 1) : 0;
}

unsigned ZEMImage::GetPixel(int x, int y) const {
    if (!data || x < 0 || y < 0 || unsigned(x) >= width || unsigned(y) >= height) return 0;
    const uint8_t* p = data + size_t(y) * pitch + size_t(x) * BytesPerPixel(bpp);
    switch (bpp) {
    case 8:
        return p[0];
    case 15:
    case 16:
        return unsigned(p[0]) | unsigned(p[1]) << 8;
    case 24:
        return unsigned(p[0]) | unsigned(p[1]) << 8 | unsigned(p[2]) << 16;
    case 32:
        return unsigned(p[0]) | unsigned(p[1]) << 8 | unsigned(p[2]) << 16 | unsigned(p[3]) << 24;
    default:
        return 0;
    }
}

void ZEMImage::VFlip() {
    if (!data || height < 2) return;
    uint8_t* top = data;
    uint8_t* bottom = data + size_t(height - 1) * pitch;
    for (; top < bottom; top += pitch, bottom -= pitch)
        std::swap_ranges(top, top + pitch, bottom);
}

void ZEMImage::MoveInside(int x, int y, unsigned w, unsigned h, int dx, int dy) {
    if (!data || dx > clipX2 || dy > clipY2) return;
    if (x < 0 || y < 0 || unsigned(x) >= width || unsigned(y) >= height) return;
    int64_t sx = x, sy = y, tx = dx, ty = dy, cw = w, ch = h;
    ClipAxis(sx, tx, cw, clipX1, clipX2, width);
    ClipAxis(sy, ty, ch, clipY1, clipY2, height);
    if (cw <= 0 || ch <= 0) return;
    size_t bytes = size_t(cw) * BytesPerPixel(bpp);
    size_t sourceX = size_t(sx) * BytesPerPixel(bpp);
    size_t targetX = size_t(tx) * BytesPerPixel(bpp);
    // Rows go in the order that never overwrites a source row before it is moved.
    bool downwards = sy > ty;
    for (int64_t row = 0; row < ch; ++row) {
        int64_t r = downwards ? row : ch - 1 - row;
        std::memmove(data + size_t(ty + r) * pitch + targetX,
                     data + size_t(sy + r) * pitch + sourceX, bytes);
    }
}

bool ZEMImage::Resize(unsigned newWidth, unsigned newHeight) {
    if (newWidth == 0 || newHeight == 0) return false;
    uint32_t newPitch = 0;
    uint8_t* buffer = NewBuffer(newWidth, newHeight, bpp, newPitch);
    if (!buffer) return false;
    if (data) {
        uint32_t keepHeight = std::min(height, uint32_t(newHeight));
        size_t keepBytes = size_t(std::min(width, uint32_t(newWidth))) * BytesPerPixel(bpp);
        for (uint32_t row = 0; row < keepHeight; ++row) {
            uint8_t* to = buffer + size_t(row) * newPitch;
            std::memcpy(to, data + size_t(row) * pitch, keepBytes);
            std::memset(to + keepBytes, 0, newPitch - keepBytes);
        }
        std::memset(buffer + size_t(keepHeight) * newPitch, 0,
                    size_t(newHeight - keepHeight) * newPitch);
        delete[] data;
    }
    data = buffer;
    width = newWidth;
    height = newHeight;
    pitch = newPitch;
    StopClipping();
    return true;
}

bool ZEMImage::NewFormat(unsigned newWidth, unsigned newHeight, unsigned newBpp) {
    if (!IsDepth(newBpp)) return false;
    if (newWidth == width && newHeight == height && newBpp == bpp) return true;
    uint8_t* buffer = nullptr;
    uint32_t newPitch = 0;
    if (newWidth && newHeight) {
        buffer = NewBuffer(newWidth, newHeight, newBpp, newPitch);
        if (!buffer) return false;
    } else {
        newWidth = newHeight = newBpp = 0;
    }
    delete[] data;
    data = buffer;
    width = newWidth;
    height = newHeight;
    bpp = uint16_t(newBpp);
    pitch = newPitch;
    StopClipping();
    return true;
}

unsigned ZEMImage::MemoryUsed() const {
    return height * pitch + IMAGE_RECORD_SIZE;
}

int ZEMImage::FindFormat(ZEMResFile& file) {
    using ZEM::Codec::DETECT_BYTES;
    uint8_t head[DETECT_BYTES];
    const unsigned size =
        file.Read(head, unsigned(std::min<uint64_t>(DETECT_BYTES, ZEM::Codec::BytesLeft(file))));
    if (size < 4) {
        ZEM::LOG("Image: cannot read the file header\n");
        return 0;
    }
    file.Seek(-int(size), 1);
    if (const ZEM::Codec::Format* format = ZEM::Codec::DetectFormat(head, size)) {
        return format->number;
    }
    ZEM::LOG("Image: not a picture ZEMBase reads (%s)\n", ZEM::Codec::ReadFormatNames());
    return 0;
}

bool ZEMImage::Load(ZEMResFile& file, int format) {
    if (!file.IsOK()) return false;
    if (format == FORMAT_DETECT) format = FindFormat(file);
    const ZEM::Codec::Format* codec = ZEM::Codec::FormatNumbered(format);
    if (!codec || !codec->load) return false;
    // The codec fills temporaries, which replace the picture only once it has read it whole: a
    // failed load leaves the image as it was. It starts from a copy of the palette, which some
    // formats keep when the file has no colour map.
    uint8_t* newData = nullptr;
    uint32_t newWidth = width, newHeight = height, newPitch = 0;
    uint16_t newBpp = bpp;
    ZEMPal* newPalette = palette ? new (std::nothrow) ZEMPal(palette) : nullptr;
    bool loaded = codec->load(file, newData, newWidth, newHeight, newPalette, newBpp) &&
                  PitchFor(newWidth, newHeight, newBpp, newPitch) &&
                  (newData || uint64_t(newHeight) * newPitch == 0);
    if (!loaded) {
        delete[] newData;
        delete newPalette;
        return false;
    }
    std::swap(data, newData);
    std::swap(palette, newPalette);
    delete[] newData;
    delete newPalette;
    width = newWidth;
    height = newHeight;
    bpp = newBpp;
    pitch = newPitch;
    StopClipping();
    return true;
}

bool ZEMImage::Save(ZEMResFile& file, int format) {
    if (!file.IsOK()) return false;
    if (format == FORMAT_DETECT) format = ZEM::Codec::DefaultSaveFormat(bpp);
    const ZEM::Codec::Format* codec = ZEM::Codec::FormatNumbered(format);
    return codec && codec->save && codec->save(file, *this);
}

void ZEMImage::PrintInfo() const {
    ZEM::LOG("Image: %d x %d x %d bpp, pitch: %d", int(width), int(height), int(bpp), int(pitch));
    if (palette) ZEM::LOG(", palette: %d colors", int(palette->nbColors));
    ZEM::LOG("\n");
}
