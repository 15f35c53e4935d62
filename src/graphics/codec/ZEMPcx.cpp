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

namespace {

using ZEM::Codec::Picture;

constexpr uint8_t MAKER = 0x0A;
constexpr uint8_t VERSION = 5;
constexpr uint8_t RLE_ENCODING = 1;
constexpr uint8_t PALETTE_MARK = 0x0C;
constexpr unsigned PALETTE_COLOURS = 256;
constexpr unsigned MAX_RUN = 63;
constexpr uint32_t MAX_SIDE = ZEM::Codec::PCX_MAX_SIDE;

constexpr unsigned HEADER_SIZE = 128;
constexpr unsigned HEADER_PALETTE = 16; // offset of the 16-colour palette, red, green, blue

// The pixel byte that plane p fills. Planes run red, green, blue (then alpha), and pixels hold
// blue, green, red (then the fourth byte).
unsigned PlaneByte(unsigned p, unsigned planes) {
    if (planes == 1) return 0;
    return p < 3 ? 2 - p : p;
}

// The header fields the reader uses.
struct Header {
    uint8_t version;
    unsigned bits; // per pixel and plane
    unsigned planes;
    uint32_t width;
    uint32_t height;
    uint32_t bytesPerLine;
    uint32_t lineBytes; // the bytes of a plane line that hold pixels
    const uint8_t* palette16;
};

// Pictures of fewer than 8 bits: one plane of 1, 2 or 4 bits, or planes of 1 bit that each give
// one bit of the index, as Paintbrush wrote them for 16 colours.
bool IsPacked(const Header& h) {
    return h.bits < 8;
}

const char* Plural(unsigned n) {
    return n == 1 ? "" : "s";
}

// Logs and returns false when the reader has no way to read this mix of bits and planes.
bool CheckVariant(unsigned bits, unsigned planes) {
    const bool packed = (bits == 2 || bits == 4) && planes == 1;
    const bool bitPlanes = bits == 1 && (planes == 1 || planes == 2 || planes == 4);
    const bool bytePlanes = bits == 8 && (planes == 1 || planes == 3 || planes == 4);
    if (packed || bitPlanes || bytePlanes) return true;
    ZEM::LOG("PCX: %u plane%s of %u bit%s %s not supported\n", planes, Plural(planes), bits,
             Plural(bits), planes == 1 ? "is" : "are");
    return false;
}

// Reads and checks the header; false (with the reason logged) when the picture is not one this
// reader takes.
bool ReadHeader(ZEMResFile& file, uint8_t (&raw)[HEADER_SIZE], Header& h) {
    if (file.Read(raw, HEADER_SIZE) != HEADER_SIZE) {
        ZEM::LOG("PCX: header cut short\n");
        return false;
    }
    if (raw[0] != MAKER) {
        ZEM::LOG("PCX: not a PCX file (first byte 0x%02X)\n", unsigned(raw[0]));
        return false;
    }
    if (raw[2] != RLE_ENCODING) {
        ZEM::LOG("PCX: encoding %u is not supported\n", unsigned(raw[2]));
        return false;
    }
    auto i16 = [&](unsigned at) { return int(int16_t(uint16_t(raw[at] | raw[at + 1] << 8))); };
    const int xMin = i16(4), yMin = i16(6), xMax = i16(8), yMax = i16(10);
    if (xMax < xMin || yMax < yMin) {
        ZEM::LOG("PCX: corners (%d, %d) to (%d, %d) leave no picture\n", xMin, yMin, xMax, yMax);
        return false;
    }
    h.version = raw[1];
    h.bits = raw[3];
    h.planes = raw[65];
    h.width = uint32_t(xMax - xMin + 1);
    h.height = uint32_t(yMax - yMin + 1);
    h.bytesPerLine = uint32_t(raw[66] | raw[67] << 8);
    h.palette16 = raw + HEADER_PALETTE;
    if (!CheckVariant(h.bits, h.planes)) return false;
    h.lineBytes = (h.width * h.bits + 7) / 8;
    if (h.bytesPerLine < h.lineBytes) {
        ZEM::LOG("PCX: %u bytes per line cannot hold %u pixels\n", unsigned(h.bytesPerLine),
                 unsigned(h.width));
        return false;
    }
    return true;
}

bool OutOfMemory() {
    ZEM::LOG("PCX: out of memory\n");
    return false;
}

// Decodes one plane line of bytesPerLine positions into line, which keeps the first width of
// them; the rest is padding. False when the data ends first.
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

// Makes one index byte per pixel from the plane lines (one after another) of a packed picture;
// the leftmost pixel is in the high bits, and plane p gives the bits from p x bits up.
void Unpack(const uint8_t* lines, const Header& h, uint8_t* row) {
    const unsigned mask = (1u << h.bits) - 1;
    for (uint32_t x = 0; x < h.width; ++x) {
        const uint32_t bit = x * h.bits;
        const unsigned shift = 8 - h.bits - bit % 8;
        unsigned index = 0;
        for (unsigned p = 0; p < h.planes; ++p)
            index |= (lines[p * h.lineBytes + bit / 8] >> shift & mask) << (p * h.bits);
        row[x] = uint8_t(index);
    }
}

// Decodes the rows into the picture; returns how many were whole before the data ended.
uint32_t DecodeRows(ZEM::Codec::Reader& in, const Header& h, Picture& picture, uint8_t* aside) {
    const bool packed = IsPacked(h);
    for (uint32_t y = 0; y < h.height; ++y) {
        uint8_t* row = picture.Row(y);
        for (unsigned p = 0; p < h.planes; ++p) {
            uint8_t* line = aside ? aside + (packed ? p * h.lineBytes : 0) : row;
            if (!DecodeLine(in, line, h.lineBytes, h.bytesPerLine)) return y;
            if (!packed && aside) Spread(aside, row + PlaneByte(p, h.planes), h.planes, h.width);
        }
        if (packed) Unpack(aside, h, row);
    }
    return h.height;
}

// The rows that the data holds, decoded but not kept: for a file too short for its picture.
uint32_t CountRows(ZEM::Codec::Reader& in, const Header& h) {
    for (uint32_t y = 0; y < h.height; ++y) {
        for (unsigned p = 0; p < h.planes; ++p) {
            if (!DecodeLine(in, nullptr, 0, h.bytesPerLine)) return y;
        }
    }
    return h.height;
}

// The palette of a packed picture: black and white for one bit, as other readers show such
// files whatever their header holds; else the header's 16 colours, as many as the bits index.
bool SetPackedPalette(const Header& h, Picture& picture) {
    const unsigned colours = 1u << (h.bits * h.planes);
    ZEMPal* palette = picture.NewPalette(colours);
    if (!palette) return false;
    if (colours > 2) {
        palette->SetFromRGB(h.palette16, colours, 0);
        return true;
    }
    const uint8_t blackWhite[6] = {0, 0, 0, 255, 255, 255};
    palette->SetFromRGB(blackWhite, colours, 0);
    return true;
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
    uint8_t raw[HEADER_SIZE];
    Header h;
    if (!ReadHeader(file, raw, h)) return false;
    const bool packed = IsPacked(h);
    const unsigned depth = packed ? 8 : 8 * h.planes;
    Codec::Reader in(file);
    // Every plane line takes at least one byte of the file.
    if (uint64_t(h.height) * h.planes > Codec::BytesLeft(file)) {
        Codec::LogCutShort("PCX", CountRows(in, h), h.height);
        return false;
    }
    if (uint64_t(h.width) * h.height * Codec::BytesPerPixel(depth) > MAX_PICTURE_BYTES) {
        ZEM::LOG("PCX: %u x %u pixels are more than a picture may hold\n", unsigned(h.width),
                 unsigned(h.height));
        return false;
    }
    Picture picture;
    // Plane lines that are not the row itself are decoded aside, then spread or unpacked.
    const uint32_t asideBytes = packed ? h.lineBytes * h.planes : h.planes > 1 ? h.width : 0;
    std::unique_ptr<uint8_t[]> aside(asideBytes ? new (std::nothrow) uint8_t[asideBytes] : nullptr);
    if (!picture.Allocate(h.width, h.height, uint16_t(depth)) || (asideBytes && !aside) ||
        (packed && !SetPackedPalette(h, picture))) {
        return OutOfMemory();
    }
    const uint32_t rows = DecodeRows(in, h, picture, aside.get());
    if (rows < h.height) {
        Codec::LogCutShort("PCX", rows, h.height);
        return false;
    }
    if (!packed && h.version == VERSION && !ReadPalette(in, picture)) return OutOfMemory();
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
