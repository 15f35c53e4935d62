#include <zem/graphics/ZEMCodec.h>

#include "graphics/codec/ZEMCodecPicture.h"
#include "graphics/codec/ZEMCodecReader.h"

#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMResFile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

using ZEM::Codec::Picture;

constexpr uint8_t MAKER = 0x0A;
constexpr uint8_t VERSION = 5;
constexpr uint8_t RLE_ENCODING = 1;
constexpr uint8_t PALETTE_MARK = 0x0C;
constexpr unsigned PALETTE_COLOURS = 256;
constexpr unsigned MAX_RUN = 63;
constexpr uint32_t MAX_SIDE = ZEM::Codec::PCX_MAX_SIDE;

// The pixel byte that plane p fills. Planes run red, green, blue (then alpha), and pixels hold
// blue, green, red (then the fourth byte); pictures of one or two planes keep the planes' order
// reversed.
unsigned PlaneByte(unsigned p, unsigned planes) {
    if (planes < 3) return planes - 1 - p;
    return p < 3 ? 2 - p : p;
}

// Decodes one plane line of bytesPerLine positions into line, which holds width bytes; positions
// from width on are padding. False when the data ends first.
bool DecodeLine(ZEM::Codec::Reader& in, uint8_t* line, uint32_t width, uint32_t bytesPerLine) {
    uint32_t x = 0;
    while (x < bytesPerLine) {
        uint8_t value = in.Get();
        uint32_t count = 1;
        if (value >= 0xC0) {
            count = value & 0x3F;
            if (count == 0) count = bytesPerLine - x; // a run of 0 fills the line
            value = in.Get();
        }
        if (in.Short()) return false;
        const uint32_t end = x + std::min(count, bytesPerLine - x);
        if (x < width) std::memset(line + x, value, std::min(end, width) - x);
        x = end;
    }
    return true;
}

// Puts the width bytes of a plane line into every stride-th byte of to.
void Spread(const uint8_t* line, uint8_t* to, unsigned stride, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x)
        to[x * stride] = line[x];
}

bool ReadPalette(ZEM::Codec::Reader& in, Picture& picture) {
    for (;;) {
        if (in.AtEnd()) return true; // no palette: the image keeps its own
        if (in.Get() == PALETTE_MARK) break;
    }
    uint8_t rgb[PALETTE_COLOURS * 3] = {};
    in.Read(rgb, sizeof rgb);
    ZEMPal* palette = picture.NewPalette(PALETTE_COLOURS);
    if (!palette) return false;
    palette->SetFromRGB(rgb, PALETTE_COLOURS, 0);
    return true;
}

// Appends the run (value, count) to out in the file's coding.
uint8_t* PutRun(uint8_t* out, uint8_t value, unsigned count) {
    if (count == 0) return out;
    if (count > 1 || value >= 0xC0) *out++ = uint8_t(0xC0 | count);
    *out++ = value;
    return out;
}

// Codes the width bytes at every stride-th byte of from into out; returns the end of the code.
uint8_t* EncodeLine(const uint8_t* from, unsigned stride, uint32_t width, uint8_t* out) {
    uint8_t value = from[0];
    unsigned count = 1;
    for (uint32_t x = 1; x < width; ++x) {
        const uint8_t b = from[x * stride];
        if (b == value) {
            if (++count == MAX_RUN) {
                out = PutRun(out, value, count);
                count = 0;
            }
        } else {
            out = PutRun(out, value, count);
            value = b;
            count = 1;
        }
    }
    out = PutRun(out, value, count);
    if (width & 1) *out++ = 0;
    return out;
}

bool WriteHeader(ZEMResFile& file, const ZEMImage& image, unsigned planes) {
    const uint8_t zeros[58] = {};
    file.Write8(MAKER);
    file.Write8(VERSION);
    file.Write8(RLE_ENCODING);
    file.Write8(8);
    file.Write16(0);
    file.Write16(0);
    file.Write16(uint16_t(image.width - 1));
    file.Write16(uint16_t(image.height - 1));
    file.Write16(72);
    file.Write16(72);
    file.Write(zeros, 49); // 16-colour palette and reserved byte
    file.Write8(uint8_t(planes));
    file.Write16(uint16_t((image.width + 1) & ~1u));
    file.Write16(1);
    file.Write(zeros, 58);
    return file.IsOK();
}

// The palette's colours, zeros up to 256; a grey scale for a picture without one, whose indexes
// are then its levels.
bool WritePalette(ZEMResFile& file, const ZEMPal* palette) {
    if (!file.Write8(PALETTE_MARK)) return false;
    const unsigned own = palette ? std::min(palette->nbColors, PALETTE_COLOURS) : 0;
    for (unsigned i = 0; i < PALETTE_COLOURS; ++i) {
        uint8_t rgb[3] = {};
        if (i < own) std::memcpy(rgb, palette->colors + 4 * i, 3);
        if (!palette) std::memset(rgb, int(i), 3);
        if (file.Write(rgb, 3) != 3) {
            ZEM::LOG("PCX: error writing color index %d\n", int(i));
            return false;
        }
    }
    return true;
}

} // namespace

namespace ZEM {

bool PCXLoad(ZEMResFile& file, uint8_t*& data, uint32_t& width, uint32_t& height, ZEMPal*& palette,
             uint16_t& bpp) {
    if (!file.IsOK()) return false;
    if (file.Read8() != MAKER) return false;
    const uint8_t version = file.Read8();
    if (file.Read8() != RLE_ENCODING) return false;
    const unsigned bits = file.Read8();
    if (bits != 8) {
        std::fprintf(stderr, "PCX: format not supported, %u bits per pixel.\n", bits);
        return false;
    }
    const int xMin = int16_t(file.Read16());
    const int yMin = int16_t(file.Read16());
    const int xMax = int16_t(file.Read16());
    const int yMax = int16_t(file.Read16());
    uint8_t skipped[60];
    file.Read(skipped, 53);
    const unsigned planes = file.Read8();
    const uint32_t bytesPerLine = file.Read16();
    file.Read(skipped, 60);
    if (!file.IsOK() || xMax < xMin || yMax < yMin || planes < 1 || planes > 4 ||
        bytesPerLine == 0) {
        return false;
    }

    // Every plane line takes at least one byte of the file.
    const uint32_t w = uint32_t(xMax - xMin + 1);
    const uint32_t h = uint32_t(yMax - yMin + 1);
    Picture picture;
    if (uint64_t(h) * planes > Codec::BytesLeft(file) ||
        !picture.Allocate(w, h, uint16_t(8 * planes))) {
        return false;
    }
    // Pixels past the bytes per line are never coded.
    if (w > bytesPerLine) std::memset(picture.data.get(), 0, uint64_t(picture.Pitch()) * h);
    // The lines of pictures of several planes are decoded aside, then spread over their pixel
    // bytes; positions past the bytes per line stay 0 there too.
    std::unique_ptr<uint8_t[]> aside(planes > 1 ? new (std::nothrow) uint8_t[w]() : nullptr);
    if (planes > 1 && !aside) return false;
    Codec::Reader in(file);
    for (uint32_t y = 0; y < h; ++y) {
        uint8_t* row = picture.Row(y);
        for (unsigned p = 0; p < planes; ++p) {
            if (!DecodeLine(in, aside ? aside.get() : row, w, bytesPerLine)) {
                Codec::LogCutShort("PCX", y, h);
                return false;
            }
            if (aside) Spread(aside.get(), row + PlaneByte(p, planes), planes, w);
        }
    }
    if (version == VERSION && !ReadPalette(in, picture)) return false;
    return picture.Commit(data, width, height, palette, bpp);
}

bool PCXSave(ZEMResFile& file, const ZEMImage& image) {
    if (!file.IsOK()) return false;
    const unsigned planes = Codec::BytesPerPixel(image.bpp);
    if (planes == 2 || planes > 4 || !image.data || image.width == 0 || image.height == 0 ||
        image.width > MAX_SIDE || image.height > MAX_SIDE) {
        return false;
    }
    if (!WriteHeader(file, image, planes)) {
        ZEM::LOG("PCX: Error writing header\n");
        return false;
    }
    // The worst line: every byte a run of its own with a count byte, and the padding byte.
    std::unique_ptr<uint8_t[]> line(new (std::nothrow) uint8_t[2 * uint64_t(image.width) + 1]);
    if (!line) return false;
    for (uint32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = image.data + uint64_t(y) * image.pitch;
        for (unsigned p = 0; p < planes; ++p) {
            const uint8_t* end =
                EncodeLine(row + PlaneByte(p, planes), planes, image.width, line.get());
            const unsigned size = unsigned(end - line.get());
            if (file.Write(line.get(), size) != size) return false;
        }
    }
    return image.bpp > 8 || WritePalette(file, image.palette);
}

} // namespace ZEM
