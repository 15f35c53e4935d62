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

constexpr uint32_t OS2_HEADER_SIZE = 12;
constexpr uint32_t WINDOWS_HEADER_SIZE = 40;
constexpr uint32_t FILE_HEADER_SIZE = 14;
constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_BITFIELDS = 3;
// Rows and columns an RLE8 file can reach per byte of data: a 4-byte delta moves at most 255
// rows up, a 2-byte run at most 255 columns on. Pixels beyond are never written.
constexpr uint64_t RLE8_ROWS_PER_BYTE = 64;
constexpr uint64_t RLE8_COLUMNS_PER_BYTE = 128;

struct BmpHeader {
    uint32_t dataOffset = 0;
    uint32_t headerSize = 0;
    int32_t width = 0;
    int32_t height = 0; // negative: rows stored top first
    uint16_t bitCount = 0;
    uint32_t compression = BI_RGB;
};

uint32_t Padded4(uint64_t bytes) {
    return uint32_t((bytes + 3) & ~uint64_t(3));
}

// Bytes of one row of pixels in the file, before padding.
uint64_t FileRowBytes(uint32_t width, unsigned bitCount) {
    return (uint64_t(width) * bitCount + 7) / 8;
}

enum class Masks { PLAIN, RGB565, OTHER };

// Bit fields that place the colours where uncompressed pixels have them (5-5-5 in 16 bits, one
// byte each in 32 bits) describe an uncompressed file, as many programs write them; 5-6-5 has no
// image depth of its own. The masks follow the first 40 bytes of the header, inside a larger one
// or after the 40-byte one.
Masks ReadMasks(ZEMResFile& file, unsigned bitCount) {
    const uint32_t red = file.Read32();
    const uint32_t green = file.Read32();
    const uint32_t blue = file.Read32();
    if (bitCount == 16 && red == 0x7C00 && green == 0x03E0 && blue == 0x001F) return Masks::PLAIN;
    if (bitCount == 16 && red == 0xF800 && green == 0x07E0 && blue == 0x001F) return Masks::RGB565;
    if (bitCount == 32 && red == 0xFF0000 && green == 0xFF00 && blue == 0xFF) return Masks::PLAIN;
    return Masks::OTHER;
}

bool ReadHeader(ZEMResFile& file, BmpHeader& h) {
    uint8_t head[10];
    if (file.Read(head, sizeof head) != sizeof head || head[0] != 'B' || head[1] != 'M') {
        ZEM::LOG("BMP: bad file header\n");
        return false;
    }
    h.dataOffset = file.Read32();
    h.headerSize = file.Read32();
    // Every Windows header (40, 52, 56, 108, 124 bytes) begins with the same 40 bytes; the rest
    // is passed over through the data offset. Only the 12-byte OS/2 header differs.
    if (h.headerSize >= WINDOWS_HEADER_SIZE) {
        h.width = int32_t(file.Read32());
        h.height = int32_t(file.Read32());
        file.Read16(); // planes
        h.bitCount = file.Read16();
        h.compression = file.Read32();
        for (int i = 0; i < 5; ++i)
            file.Read32(); // image size, resolutions, colour counts
        const Masks masks =
            h.compression == BI_BITFIELDS ? ReadMasks(file, h.bitCount) : Masks::OTHER;
        if (masks == Masks::RGB565) {
            ZEM::LOG("BMP: 16-bit 5-6-5 pictures are not supported\n");
            return false;
        }
        if (masks == Masks::PLAIN) h.compression = BI_RGB;
        if (h.compression != BI_RGB && !(h.compression == BI_RLE8 && h.bitCount == 8)) {
            ZEM::LOG("BMP: compressed data not supported.\n");
            return false;
        }
    } else {
        h.width = file.Read16();
        h.height = file.Read16();
        file.Read16(); // planes
        h.bitCount = file.Read16();
    }
    const unsigned bits = h.bitCount;
    const bool knownDepth =
        bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    if (!file.IsOK() || !knownDepth || h.width <= 0 || h.height == 0 || h.height == INT32_MIN) {
        ZEM::LOG("BMP: bad file header\n");
        return false;
    }
    return true;
}

bool ReadColourTable(ZEMResFile& file, const BmpHeader& h, Picture& picture) {
    const unsigned count = 1u << h.bitCount;
    ZEMPal* palette = picture.NewPalette(count);
    if (!palette) return false;
    const unsigned entryBytes = h.headerSize == OS2_HEADER_SIZE ? 3 : 4;
    uint8_t table[256 * 4] = {};
    file.Read(table, count * entryBytes);
    for (unsigned i = 0; i < count; ++i) {
        const uint8_t* entry = table + i * entryBytes;
        uint8_t* colour = palette->colors + i * 4;
        colour[0] = entry[2];
        colour[1] = entry[1];
        colour[2] = entry[0];
        colour[3] = entryBytes == 4 ? entry[3] : 0;
    }
    return true;
}

// The picture row that the file's row number n (in file order) holds.
uint32_t PictureRow(const BmpHeader& h, uint32_t n, uint32_t height) {
    return h.height < 0 ? n : height - 1 - n;
}

// Unpacks 1- or 4-bit indexes, the most significant bits first, one byte per pixel.
void Unpack(const uint8_t* from, uint8_t* to, uint32_t width, unsigned bits) {
    const unsigned perByte = 8 / bits;
    const uint8_t mask = uint8_t((1u << bits) - 1);
    for (uint32_t x = 0; x < width; ++x) {
        const unsigned shift = 8 - bits * (x % perByte + 1);
        to[x] = uint8_t(from[x / perByte] >> shift) & mask;
    }
}

bool ReadRows(ZEMResFile& file, const BmpHeader& h, Picture& picture) {
    const uint32_t rowBytes = uint32_t(FileRowBytes(picture.width, h.bitCount));
    const uint32_t padding = Padded4(rowBytes) - rowBytes;
    const bool packed = h.bitCount < 8;
    std::unique_ptr<uint8_t[]> packedRow(packed ? new (std::nothrow) uint8_t[rowBytes] : nullptr);
    if (packed && !packedRow) return false;
    for (uint32_t n = 0; n < picture.height; ++n) {
        uint8_t* row = picture.Row(PictureRow(h, n, picture.height));
        if (packed) {
            // A row cut short reads as zeros, as the end-of-file check below reports.
            const unsigned got = file.Read(packedRow.get(), rowBytes);
            std::memset(packedRow.get() + got, 0, rowBytes - got);
            Unpack(packedRow.get(), row, picture.width, h.bitCount);
        } else if (file.Read(row, rowBytes) != rowBytes) {
            ZEM::LOG("BMP: error reading data\n");
            return false;
        }
        const bool rowsLeft = n + 1 < picture.height;
        if (rowsLeft && padding) file.Seek(int(padding), 1);
        if (rowsLeft && file.Eof()) {
            ZEM::LOG("BMP: unexpected EOF\n");
            return false;
        }
    }
    return true;
}

// Writes count pixels of one index from column x of file row n, cut to the row.
void Fill(const BmpHeader& h, Picture& picture, uint32_t x, uint32_t n, unsigned count,
          uint8_t index) {
    if (n >= picture.height || x >= picture.width) return;
    const uint32_t end = std::min<uint64_t>(uint64_t(x) + count, picture.width);
    std::memset(picture.Row(PictureRow(h, n, picture.height)) + x, index, end - x);
}

// False when the data ends before the last row is full, without the end-of-picture code.
bool ReadRle8(ZEMResFile& file, const BmpHeader& h, Picture& picture) {
    std::memset(picture.data.get(), 0, uint64_t(picture.Pitch()) * picture.height);
    ZEM::Codec::Reader in(file);
    uint32_t x = 0;
    uint32_t n = 0; // row in file order
    while (n < picture.height) {
        // A file may stop right after the last pixel without its end codes.
        if (n + 1 == picture.height && x >= picture.width && in.AtEnd()) return true;
        const uint32_t rowsDone = n;
        const uint8_t count = in.Get();
        const uint8_t code = in.Get();
        if (count > 0) {
            Fill(h, picture, x, n, count, code);
            x += count;
        } else if (code == 0) {
            x = 0;
            ++n;
        } else if (code == 1) {
            break;
        } else if (code == 2) {
            x += in.Get();
            n += in.Get();
        } else {
            for (unsigned i = 0; i < code; ++i)
                Fill(h, picture, x + i, n, 1, in.Get());
            x += code;
            if (code & 1) in.Get();
        }
        if (in.Short()) {
            ZEM::Codec::LogCutShort("BMP", rowsDone, picture.height);
            return false;
        }
    }
    return true;
}

} // namespace

namespace ZEM {

bool BMPLoad(ZEMResFile& file, uint8_t*& data, uint32_t& width, uint32_t& height, ZEMPal*& palette,
             uint16_t& bpp) {
    if (!file.IsOK()) return false;
    const unsigned start = file.GetPos();
    BmpHeader h;
    if (!ReadHeader(file, h)) return false;

    const uint32_t w = uint32_t(h.width);
    const uint32_t rows = h.height < 0 ? uint32_t(-h.height) : uint32_t(h.height);
    const uint16_t depth = h.bitCount < 8 ? 8 : h.bitCount;
    // The data must be there: whole rows, or what RLE8 packing can unpack to.
    const uint64_t left = Codec::BytesLeft(file) + file.GetPos() - start;
    const uint64_t dataLeft = left > h.dataOffset ? left - h.dataOffset : 0;
    const uint64_t rowBytes = FileRowBytes(w, h.bitCount);
    const bool fits =
        h.compression == BI_RLE8
            ? rows <= dataLeft * RLE8_ROWS_PER_BYTE && w <= dataLeft * RLE8_COLUMNS_PER_BYTE
            : (rows - 1) * uint64_t(Padded4(rowBytes)) + rowBytes <= dataLeft;
    if (!fits) {
        ZEM::LOG("BMP: unexpected EOF\n");
        return false;
    }
    Codec::Picture picture;
    if (!picture.Allocate(w, rows, depth)) {
        ZEM::LOG("BMP: cannot allocate image\n");
        return false;
    }
    // The colour table follows the header, whatever its size.
    file.Seek(int(start + FILE_HEADER_SIZE + h.headerSize), 0);
    if (depth == 8 && !ReadColourTable(file, h, picture)) return false;
    if (!file.Seek(int(start + h.dataOffset), 0)) {
        ZEM::LOG("BMP: error reading data\n");
        return false;
    }
    const bool read =
        h.compression == BI_RLE8 ? ReadRle8(file, h, picture) : ReadRows(file, h, picture);
    if (!read) return false;
    return picture.Commit(data, width, height, palette, bpp);
}

bool BMPSave(ZEMResFile& file, const ZEMImage& image) {
    if (!file.IsOK() || image.width == 0 || image.height == 0 || !image.data) return false;
    const unsigned start = file.GetPos();
    const unsigned bytesPerPixel = Codec::BytesPerPixel(image.bpp);
    // The colour table: the palette, at most 256 colours, which is all a reader takes; an 8-bit
    // picture without one gets a grey scale, since readers take the table as a given there.
    const ZEMPal* pal = image.palette;
    const unsigned colours = pal ? std::min(pal->nbColors, 256u) : image.bpp <= 8 ? 256 : 0;
    const uint32_t dataOffset = FILE_HEADER_SIZE + WINDOWS_HEADER_SIZE + 4 * colours;

    file.Write("BM", 2);
    file.Write32(0); // file size, set below
    file.Write32(0);
    file.Write32(dataOffset);
    file.Write32(WINDOWS_HEADER_SIZE);
    file.Write32(image.width);
    file.Write32(image.height);
    file.Write16(1);
    file.Write16(uint16_t(8 * bytesPerPixel));
    file.Write32(BI_RGB);
    file.Write32(image.height * image.pitch);
    file.Write32(0);
    file.Write32(0);
    file.Write32(colours);
    file.Write32(colours);
    for (unsigned i = 0; i < colours; ++i) {
        uint8_t entry[4] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
        if (pal && pal->colors) {
            const uint8_t* c = pal->colors + 4 * i;
            entry[0] = c[2];
            entry[1] = c[1];
            entry[2] = c[0];
            entry[3] = c[3];
        }
        file.Write(entry, 4);
    }

    const uint8_t zeros[3] = {};
    const uint32_t padding = Padded4(image.pitch) - image.pitch;
    for (uint32_t n = 0; n < image.height; ++n) {
        const uint8_t* row = image.data + uint64_t(image.height - 1 - n) * image.pitch;
        if (file.Write(row, image.pitch) != image.pitch ||
            (padding && file.Write(zeros, padding) != padding)) {
            ZEM::LOG("BMP: error writing data, line %d\n", int(n));
            return false;
        }
    }
    const unsigned size = file.GetPos() - start;
    if (!file.Seek(int(start + 2), 0) || !file.Write32(size)) {
        ZEM::LOG("BMP: error writing size\n");
        return false;
    }
    return true;
}

} // namespace ZEM
