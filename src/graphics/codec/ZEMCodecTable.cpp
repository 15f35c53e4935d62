#include "graphics/codec/ZEMCodecTable.h"

#include "graphics/codec/ZEMCodecPicture.h"

#include <zem/graphics/ZEMCodec.h>
#include <zem/graphics/ZEMImage.h>

#include <cstring>
#include <string>

namespace ZEM {
namespace Codec {
namespace {

bool Begins(const uint8_t* head, unsigned size, const char* magic) {
    const size_t n = std::strlen(magic);
    return size >= n && std::memcmp(head, magic, n) == 0;
}

bool IsBmp(const uint8_t* head, unsigned size) {
    return Begins(head, size, "BM");
}

bool IsGif(const uint8_t* head, unsigned size) {
    return Begins(head, size, "GIF");
}

bool IsFont(const uint8_t* head, unsigned size) {
    return Begins(head, size, "ZEMF");
}

// Maker 10, a version that was ever written, run-length or plain data, 1 to 8 bits per plane.
bool IsPcx(const uint8_t* head, unsigned size) {
    if (size < 4 || head[0] != 0x0A) return false;
    const uint8_t version = head[1];
    const uint8_t bits = head[3];
    return (version == 0 || (version >= 2 && version <= 5)) && head[2] <= 1 &&
           (bits == 1 || bits == 2 || bits == 4 || bits == 8);
}

// TGA has no magic: a header whose fields all hold values the format defines stands for one.
// Text, JPEG and random bytes fail it.
bool IsTga(const uint8_t* head, unsigned size) {
    if (size < DETECT_BYTES) return false;
    const uint8_t mapType = head[1];
    const uint8_t type = head[2];
    const uint8_t entryBits = head[7];
    const unsigned width = head[12] | head[13] << 8;
    const unsigned height = head[14] | head[15] << 8;
    const uint8_t depth = head[16];
    const bool knownType = (type & ~8u) >= 1 && (type & ~8u) <= 3;
    const bool mapped = (type & ~8u) == 1;
    if (mapType > 1 || !knownType || (mapped && mapType != 1)) return false;
    if (mapType == 1 && entryBits != 15 && entryBits != 16 && entryBits != 24 && entryBits != 32)
        return false;
    return width > 0 && height > 0 && IsDepth(depth);
}

constexpr char TGA_TOO_LARGE[] = "TGA pictures are at most 65535 pixels wide and high";

// Rows with a magic come first: detection tries the rows in order, and TGA's header test is the
// weakest.
const Format FORMATS[] = {
    {ZEMImage::FORMAT_BMP, "BMP", IsBmp, BMPLoad, BMPSave, 0xFFFFFFFFu, nullptr, true},
    {ZEMImage::FORMAT_GIF, "GIF", IsGif, GIFLoad, nullptr, 0, nullptr, false},
    {ZEMImage::FORMAT_PCX, "PCX", IsPcx, PCXLoad, PCXSave, PCX_MAX_SIDE,
     "PCX pictures are at most 32768 pixels wide and high", false},
    {ZEMImage::FORMAT_FONT, "ZEM font", IsFont, FontImageLoad, nullptr, 0, nullptr, false},
    {ZEMImage::FORMAT_TGA, "TGA", IsTga, TGALoad, TGASave, TGA_MAX_SIDE, TGA_TOO_LARGE, false},
    {ZEMImage::FORMAT_TGA_RLE, "TGA", nullptr, nullptr, TGASaveRLE, TGA_MAX_SIDE, TGA_TOO_LARGE,
     false},
};

} // namespace

const Format* FormatNumbered(int number) {
    for (const Format& format : FORMATS) {
        if (format.number == number) return &format;
    }
    return nullptr;
}

const Format* DetectFormat(const uint8_t* head, unsigned size) {
    for (const Format& format : FORMATS) {
        if (format.detect && format.detect(head, size)) return &format;
    }
    return nullptr;
}

int DefaultSaveFormat(unsigned bpp) {
    return bpp <= 8 ? ZEMImage::FORMAT_PCX : ZEMImage::FORMAT_TGA_RLE;
}

const char* ReadFormatNames() {
    static const std::string names = [] {
        std::string list;
        for (const Format& format : FORMATS) {
            if (!format.load) continue;
            if (!list.empty()) list += ", ";
            list += format.name;
        }
        return list;
    }();
    return names.c_str();
}

} // namespace Codec
} // namespace ZEM
