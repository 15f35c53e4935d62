#include <zem/graphics/ZEMCodec.h>

#include "graphics/codec/ZEMCodecPicture.h"
#include "graphics/codec/ZEMCodecReader.h"

#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMResFile.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace {

using ZEM::Codec::BytesLeft;
using ZEM::Codec::BytesPerPixel;
using ZEM::Codec::IsDepth;
using ZEM::Codec::LogCutShort;
using ZEM::Codec::Picture;

constexpr uint8_t TYPE_MAPPED = 1;
constexpr uint8_t TYPE_TRUE_COLOUR = 2;
constexpr uint8_t TYPE_GREY = 3;
constexpr uint8_t TYPE_RLE = 8; // added to a type for run-length packing
constexpr uint8_t RIGHT_FIRST = 0x10;
constexpr uint8_t TOP_FIRST = 0x20;
constexpr unsigned MAX_INDEXES = 256; // the colours an 8-bit pixel reaches
constexpr unsigned MAX_PACKET = 128;
constexpr uint32_t MAX_SIDE = ZEM::Codec::TGA_MAX_SIDE;

struct TgaHeader {
    uint8_t idLength = 0;
    uint8_t mapType = 0;
    uint8_t type = 0;
    uint16_t mapFirst = 0;
    uint16_t mapLength = 0;
    uint8_t mapBits = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t depth = 0;
    uint8_t descriptor = 0;
};

void ReadHeader(ZEMResFile& file, TgaHeader& h) {
    h.idLength = file.Read8();
    h.mapType = file.Read8();
    h.type = file.Read8();
    h.mapFirst = file.Read16();
    h.mapLength = file.Read16();
    h.mapBits = file.Read8();
    file.Read16(); // x origin
    file.Read16(); // y origin
    h.width = file.Read16();
    h.height = file.Read16();
    h.depth = file.Read8();
    h.descriptor = file.Read8();
}

uint8_t Widen5(unsigned v) {
    v &= 31;
    return uint8_t(v << 3 | v >> 2);
}

// A colour map entry of 2 bytes (5-5-5), 3 or 4 bytes (blue, green, red, a fourth byte that is
// dropped) as a palette colour; alpha 0, as every colour built from three components.
void PutEntry(const uint8_t* entry, unsigned bytes, uint8_t* colour) {
    if (bytes == 2) {
        const unsigned word = unsigned(entry[0]) | unsigned(entry[1]) << 8;
        colour[0] = Widen5(word >> 10);
        colour[1] = Widen5(word >> 5);
        colour[2] = Widen5(word);
    } else {
        colour[0] = entry[2];
        colour[1] = entry[1];
        colour[2] = entry[0];
    }
    colour[3] = 0;
}

// Skips n bytes that stand before the pixel data; a file that ends first holds no pixels.
bool SkipToPixels(ZEMResFile& file, uint32_t n, uint32_t height) {
    if (n == 0 || (n < BytesLeft(file) && file.Seek(int(n), 1))) return true;
    LogCutShort("TGA", 0, height);
    return false;
}

// The map holds the colours of the indexes first .. first + length - 1, and pixels are absolute
// indexes: the colours below first are black. Colours past 255 are skipped, as no 8-bit pixel
// reaches them.
bool ReadColourMap(ZEMResFile& file, const TgaHeader& h, Picture& picture) {
    if (h.mapLength == 0) {
        picture.dropPalette = true;
        return true;
    }
    const unsigned entryBytes = BytesPerPixel(h.mapBits);
    if (entryBytes < 2 || entryBytes > 4) {
        ZEM::LOG("TGA: %d-bit colour map entries are not supported\n", int(h.mapBits));
        return false;
    }
    const unsigned end = std::min(unsigned(h.mapFirst) + h.mapLength, MAX_INDEXES);
    ZEMPal* palette = picture.NewPalette(end);
    if (!palette) {
        ZEM::LOG("TGA: not enough memory\n");
        return false;
    }
    std::memset(palette->colors, 0, 4 * size_t(end));
    const unsigned kept = end > h.mapFirst ? end - h.mapFirst : 0;
    for (unsigned i = 0; i < kept; ++i) {
        uint8_t entry[4];
        if (file.Read(entry, entryBytes) != entryBytes) {
            ZEM::LOG("TGA: Error reading palette\n");
            return false;
        }
        PutEntry(entry, entryBytes, palette->colors + 4 * (h.mapFirst + i));
    }
    return SkipToPixels(file, (h.mapLength - kept) * entryBytes, h.height);
}

bool SetGreyScale(Picture& picture) {
    ZEMPal* palette = picture.NewPalette(MAX_INDEXES);
    if (!palette) {
        ZEM::LOG("TGA: not enough memory\n");
        return false;
    }
    for (unsigned i = 0; i < MAX_INDEXES; ++i) {
        uint8_t* colour = palette->colors + 4 * i;
        colour[0] = colour[1] = colour[2] = uint8_t(i);
        colour[3] = 0;
    }
    return true;
}

unsigned BaseType(const TgaHeader& h) {
    return h.type & ~TYPE_RLE;
}

// False, with the reason logged, for the files this reader does not take.
bool IsReadable(ZEMResFile& file, const TgaHeader& h) {
    if (h.mapType > 1) {
        ZEM::LOG("TGA: bad format\n");
        return false;
    }
    const unsigned base = BaseType(h);
    if (base < TYPE_MAPPED || base > TYPE_GREY) {
        ZEM::LOG("TGA: unsupported type %d\n", int(h.type));
        return false;
    }
    if (!file.IsOK() || !IsDepth(h.depth)) {
        ZEM::LOG("TGA: bad format\n");
        return false;
    }
    if (h.width == 0 || h.height == 0) {
        ZEM::LOG("TGA: empty picture of %u x %u pixels\n", unsigned(h.width), unsigned(h.height));
        return false;
    }
    if (base == TYPE_MAPPED && h.depth != 8) {
        ZEM::LOG("TGA: %d-bit colour-map indexes are not supported\n", int(h.depth));
        return false;
    }
    if (base == TYPE_GREY && h.depth != 8 && h.depth != 16) {
        ZEM::LOG("TGA: %d-bit grey pictures are not supported\n", int(h.depth));
        return false;
    }
    return true;
}

// Skips the ID field and reads the colour map, or skips it where the pixels are no indexes; an
// 8-bit grey picture gets a grey scale so that it shows grey wherever it goes.
bool ReadUpToPixels(ZEMResFile& file, const TgaHeader& h, Picture& picture) {
    if (!SkipToPixels(file, h.idLength, h.height)) return false;
    const unsigned base = BaseType(h);
    if (h.mapType == 1) {
        const bool read =
            base == TYPE_MAPPED
                ? ReadColourMap(file, h, picture)
                : SkipToPixels(file, uint32_t(h.mapLength) * BytesPerPixel(h.mapBits), h.height);
        if (!read) return false;
    }
    return base != TYPE_GREY || h.depth != 8 || SetGreyScale(picture);
}

// Whether the file can hold the pixels, checked before they are allocated: whole, or packed at
// most 128 to a packet of 2 bytes or more.
bool HoldsPixels(ZEMResFile& file, const TgaHeader& h) {
    const uint64_t left = BytesLeft(file);
    const uint64_t rowBytes = uint64_t(h.width) * BytesPerPixel(h.depth);
    if (!(h.type & TYPE_RLE)) {
        if (rowBytes * h.height <= left) return true;
        LogCutShort("TGA", uint32_t(left / rowBytes), h.height);
        return false;
    }
    if (rowBytes * h.height <= left * MAX_PACKET) return true;
    ZEM::LOG("TGA: file too short for %u x %u pixels\n", unsigned(h.width), unsigned(h.height));
    return false;
}

// count copies of one pixel of size bytes.
void FillPixels(uint8_t* to, const uint8_t* pixel, unsigned size, uint32_t count) {
    if (size == 1) {
        std::memset(to, pixel[0], count);
        return;
    }
    for (uint32_t i = 0; i < count; ++i)
        std::memcpy(to + i * size, pixel, size);
}

// The picture row that the file's row n holds.
uint32_t PictureRow(const TgaHeader& h, uint32_t n) {
    return (h.descriptor & TOP_FIRST) ? n : h.height - 1u - n;
}

bool ReadPlain(ZEMResFile& file, const TgaHeader& h, Picture& picture) {
    const uint32_t pitch = picture.Pitch();
    for (uint32_t n = 0; n < h.height; ++n) {
        if (file.Read(picture.Row(PictureRow(h, n)), pitch) != pitch) {
            LogCutShort("TGA", n, h.height);
            return false;
        }
    }
    return true;
}

bool ReadPacked(ZEMResFile& file, const TgaHeader& h, Picture& picture) {
    ZEM::Codec::Reader in(file);
    const unsigned pixelBytes = BytesPerPixel(h.depth);
    const uint32_t pitch = picture.Pitch();
    uint32_t n = 0;
    uint32_t offset = 0; // byte offset within the row
    uint8_t* row = picture.Row(PictureRow(h, 0));
    // Packets run on across rows; pixels past the last row are dropped.
    while (n < h.height) {
        const uint8_t head = in.Get();
        const bool run = (head & 0x80) != 0;
        uint32_t left = (head & 0x7Fu) + 1u;
        uint8_t pixel[4];
        if (run && in.Read(pixel, pixelBytes) != pixelBytes) break;
        while (left > 0 && n < h.height) {
            const uint32_t take = std::min(left, (pitch - offset) / pixelBytes);
            uint8_t* to = row + offset;
            if (run) {
                FillPixels(to, pixel, pixelBytes, take);
            } else if (in.Read(to, take * pixelBytes) != take * pixelBytes) {
                break;
            }
            offset += take * pixelBytes;
            left -= take;
            if (offset == pitch) {
                offset = 0;
                if (++n < h.height) row = picture.Row(PictureRow(h, n));
            }
        }
        if (in.Short()) break;
    }
    if (n == h.height) return true;
    LogCutShort("TGA", n, h.height);
    return false;
}

// Turns every row end for end, for files that store their rows right to left.
void MirrorRows(Picture& picture) {
    const unsigned bytes = BytesPerPixel(picture.bpp);
    for (uint32_t y = 0; y < picture.height; ++y) {
        uint8_t* left = picture.Row(y);
        uint8_t* right = left + uint64_t(picture.width - 1) * bytes;
        for (; left < right; left += bytes, right -= bytes)
            std::swap_ranges(left, left + bytes, right);
    }
}

// Grey and alpha byte pairs become 32-bit pixels: the grey as blue, green and red, then alpha.
bool ExpandGreyAlpha(Picture& picture) {
    Picture deep;
    if (!deep.Allocate(picture.width, picture.height, 32)) return false;
    const uint8_t* from = picture.data.get();
    uint8_t* to = deep.data.get();
    const uint64_t n = uint64_t(picture.width) * picture.height;
    for (uint64_t i = 0; i < n; ++i, from += 2, to += 4) {
        to[0] = to[1] = to[2] = from[0];
        to[3] = from[1];
    }
    picture.data = std::move(deep.data);
    picture.bpp = 32;
    return true;
}

bool ReadPixels(ZEMResFile& file, const TgaHeader& h, Picture& picture) {
    if (!picture.Allocate(h.width, h.height, h.depth)) {
        ZEM::LOG("TGA: not enough memory\n");
        return false;
    }
    const bool read =
        (h.type & TYPE_RLE) ? ReadPacked(file, h, picture) : ReadPlain(file, h, picture);
    if (!read) return false;
    if (h.descriptor & RIGHT_FIRST) MirrorRows(picture);
    if (BaseType(h) != TYPE_GREY || h.depth != 16 || ExpandGreyAlpha(picture)) return true;
    ZEM::LOG("TGA: not enough memory\n");
    return false;
}

void WriteHeader(ZEMResFile& file, const ZEMImage& image, bool packed) {
    const bool mapped = image.palette && image.bpp == 8;
    // An 8-bit picture without a palette holds grey levels.
    const uint8_t type = mapped ? TYPE_MAPPED : image.bpp == 8 ? TYPE_GREY : TYPE_TRUE_COLOUR;
    file.Write8(0);
    file.Write8(mapped ? 1 : 0);
    file.Write8(uint8_t(type + (packed ? TYPE_RLE : 0)));
    file.Write16(0);
    file.Write16(uint16_t(mapped ? image.palette->nbColors : 0));
    file.Write8(mapped ? 24 : 0);
    file.Write16(0);
    file.Write16(0);
    file.Write16(uint16_t(image.width));
    file.Write16(uint16_t(image.height));
    file.Write8(uint8_t(image.bpp));
    file.Write8(image.bpp == 32 ? 8 : 0);
    if (!mapped) return;
    for (uint32_t i = 0; i < image.palette->nbColors; ++i) {
        const uint8_t* c = image.palette->colors + 4 * i;
        const uint8_t bgr[3] = {c[2], c[1], c[0]};
        file.Write(bgr, 3);
    }
}

// Checks shared by both writers; false for what the format cannot hold.
bool CanWrite(ZEMResFile& file, const ZEMImage& image) {
    if (!file.IsOK()) return false;
    const unsigned pixelBytes = BytesPerPixel(image.bpp);
    if (pixelBytes == 2) {
        ZEM::LOG("TGA: cannot handle 16 bits image.\n");
        return false;
    }
    return image.data && image.width > 0 && image.height > 0 && image.width <= MAX_SIDE &&
           image.height <= MAX_SIDE && (pixelBytes == 1 || pixelBytes == 3 || pixelBytes == 4);
}

uint32_t PixelAt(const uint8_t* p, unsigned bytes) {
    switch (bytes) {
    case 1:
        return p[0];
    case 3:
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    default:
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
}

// Packs a row of n pixels into out; returns the end of the packed bytes. A raw packet takes the
// pixels that differ from their successor (the last one of a row that all differ goes into the
// next packet); a run packet takes the pixels equal to the first.
uint8_t* PackRow(const uint8_t* row, uint32_t n, unsigned bytes, uint8_t* out) {
    uint32_t i = 0;
    while (i < n) {
        uint32_t raw = 0;
        if (n - i == 1) {
            raw = 1;
        } else {
            while (raw < MAX_PACKET && i + raw + 1 < n &&
                   PixelAt(row + (i + raw) * bytes, bytes) !=
                       PixelAt(row + (i + raw + 1) * bytes, bytes)) {
                ++raw;
            }
        }
        if (raw > 0) {
            *out++ = uint8_t(raw - 1);
            std::memcpy(out, row + i * bytes, raw * bytes);
            out += raw * bytes;
            i += raw;
            continue;
        }
        const uint32_t first = PixelAt(row + i * bytes, bytes);
        uint32_t count = 1;
        while (count < MAX_PACKET && i + count < n &&
               PixelAt(row + (i + count) * bytes, bytes) == first) {
            ++count;
        }
        *out++ = uint8_t(0x80 | (count - 1));
        std::memcpy(out, row + i * bytes, bytes);
        out += bytes;
        i += count;
    }
    return out;
}

bool WriteRows(ZEMResFile& file, const ZEMImage& image, bool packed) {
    const unsigned bytes = BytesPerPixel(image.bpp);
    // Room for a packed row: the pixels plus one header byte each at worst.
    std::unique_ptr<uint8_t[]> packedRow;
    if (packed) {
        packedRow.reset(new (std::nothrow) uint8_t[uint64_t(image.pitch) + image.width]);
        if (!packedRow) return false;
    }
    for (uint32_t n = 0; n < image.height; ++n) {
        const uint8_t* row = image.data + uint64_t(image.height - 1 - n) * image.pitch;
        if (!packed) {
            file.Write(row, image.pitch);
            continue;
        }
        const uint8_t* end = PackRow(row, image.width, bytes, packedRow.get());
        file.Write(packedRow.get(), unsigned(end - packedRow.get()));
    }
    return file.IsOK();
}

bool Save(ZEMResFile& file, const ZEMImage& image, bool packed) {
    if (!CanWrite(file, image)) return false;
    WriteHeader(file, image, packed);
    return WriteRows(file, image, packed);
}

} // namespace

namespace ZEM {

bool TGALoad(ZEMResFile& file, uint8_t*& data, uint32_t& width, uint32_t& height, ZEMPal*& palette,
             uint16_t& bpp) {
    if (!file.IsOK()) return false;
    TgaHeader h;
    ReadHeader(file, h);
    Picture picture;
    if (!IsReadable(file, h) || !ReadUpToPixels(file, h, picture) || !HoldsPixels(file, h) ||
        !ReadPixels(file, h, picture)) {
        return false;
    }
    return picture.Commit(data, width, height, palette, bpp);
}

bool TGASave(ZEMResFile& file, const ZEMImage& image) {
    return Save(file, image, false);
}

bool TGASaveRLE(ZEMResFile& file, const ZEMImage& image) {
    return Save(file, image, true);
}

} // namespace ZEM
