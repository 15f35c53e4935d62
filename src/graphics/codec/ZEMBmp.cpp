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
constexpr uint32_t V4_HEADER_SIZE = 108;
constexpr uint32_t FILE_HEADER_SIZE = 14;
constexpr uint32_t LARGEST_HEADER_SIZE = 124;
constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;
constexpr uint32_t BI_JPEG = 4;
constexpr uint32_t BI_PNG = 5;
constexpr uint32_t BI_ALPHABITFIELDS = 6;
// OS/2 2.x headers give compressions 3 and 4 meanings of their own.
constexpr uint32_t OS2_HUFFMAN = 3;
constexpr uint32_t OS2_RLE24 = 4;
// The colour space that the 108-byte header names: sRGB, written as the letters "sRGB".
constexpr uint32_t LCS_SRGB = 0x73524742;
// Rows and columns run-length data can reach per byte: a 4-byte delta moves at most 255 rows
// up, a 2-byte run at most 255 columns on. Pixels beyond are never written.
constexpr uint64_t RLE_ROWS_PER_BYTE = 64;
constexpr uint64_t RLE_COLUMNS_PER_BYTE = 128;
// Runs write at most 255 pixels per 2 bytes; deltas and the end code leave the rest at index 0.
// A picture twice as large as its runs can write is mostly unwritten: it is taken for damage, so
// that a few bytes cannot ask for a buffer of any size.
constexpr uint64_t RLE_PIXELS_PER_BYTE = 256;

enum Colour { RED, GREEN, BLUE, ALPHA };

struct BmpHeader {
    uint32_t dataOffset = 0;
    uint32_t headerSize = 0;
    int32_t width = 0;
    int32_t height = 0; // negative: rows stored top first
    uint16_t bitCount = 0;
    uint32_t compression = BI_RGB;
    uint32_t coloursUsed = 0;
    uint32_t masks[4] = {}; // with bit fields: red, green, blue, alpha
    uint32_t maskBytes = 0; // bytes of masks after a 40-byte header
};

uint16_t Get16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

uint32_t Get32(const uint8_t* p) {
    return Get16(p) | uint32_t(Get16(p + 2)) << 16;
}

uint64_t Padded4(uint64_t bytes) {
    return (bytes + 3) & ~uint64_t(3);
}

// Bytes of one row of pixels in the file, before padding.
uint64_t FileRowBytes(uint32_t width, unsigned bitCount) {
    return (uint64_t(width) * bitCount + 7) / 8;
}

// The 12-byte OS/2 1.x header, the Windows headers (40 bytes, 52 and 56 with bit fields, 108 and
// 124), and OS/2 2.x headers, which may leave out any of their last fields (16 to 64 bytes).
bool KnownHeaderSize(uint32_t size) {
    return size == OS2_HEADER_SIZE || (size >= 16 && size <= 64) || size == 108 || size == 124;
}

// Logs a header that is not a BMP's, or is damaged; false.
bool BadHeader() {
    ZEM::LOG("BMP: bad file header\n");
    return false;
}

bool IsOs2v2(uint32_t size) {
    return size >= 16 && size <= 64 && size != 40 && size != 52 && size != 56;
}

bool HasBitFields(const BmpHeader& h) {
    return h.compression == BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS;
}

bool IsRle(const BmpHeader& h) {
    return h.compression == BI_RLE8 || h.compression == BI_RLE4;
}

// Logs why the file's compression is not read; false then.
bool CheckCompression(const BmpHeader& h) {
    const unsigned bits = h.bitCount;
    const char* problem = nullptr;
    if (IsOs2v2(h.headerSize) && h.compression == OS2_HUFFMAN) {
        problem = "BMP: OS/2 Huffman-coded data is not supported\n";
    } else if (IsOs2v2(h.headerSize) && h.compression == OS2_RLE24) {
        problem = "BMP: OS/2 RLE24 data is not supported\n";
    } else if (IsOs2v2(h.headerSize) && h.compression > BI_RLE4) {
        problem = "BMP: compressed data not supported.\n";
    } else if (h.compression == BI_RLE8 && bits != 8) {
        problem = "BMP: RLE8 data must have 8 bits per pixel\n";
    } else if (h.compression == BI_RLE4 && bits != 4) {
        problem = "BMP: RLE4 data must have 4 bits per pixel\n";
    } else if (HasBitFields(h) && bits != 16 && bits != 32) {
        problem = "BMP: bit fields need 16 or 32 bits per pixel\n";
    } else if (h.compression == BI_JPEG) {
        problem = "BMP: JPEG data inside BMP is not supported\n";
    } else if (h.compression == BI_PNG) {
        problem = "BMP: PNG data inside BMP is not supported\n";
    } else if (h.compression > BI_ALPHABITFIELDS) {
        problem = "BMP: compressed data not supported.\n";
    }
    if (problem) ZEM::LOG("%s", problem);
    return !problem;
}

// Masks whose bits run together and share no bit with another mask.
bool MasksAreSound(const uint32_t (&masks)[4]) {
    uint32_t seen = 0;
    for (const uint32_t mask : masks) {
        if (mask & seen) return false;
        seen |= mask;
        uint32_t run = mask;
        while (run && !(run & 1))
            run >>= 1;
        if (run & (run + 1)) return false;
    }
    return true;
}

// Bit fields lie inside a header of 52 bytes or more (the alpha mask from 56 on), or follow the
// 40-byte one: three masks, four with BI_ALPHABITFIELDS.
bool ReadMasks(ZEMResFile& file, const uint8_t* info, BmpHeader& h) {
    if (!HasBitFields(h)) return true;
    const uint8_t* from = info + 36;
    unsigned count = h.headerSize >= 56 ? 4 : 3;
    uint8_t after[16];
    if (h.headerSize == WINDOWS_HEADER_SIZE) {
        count = h.compression == BI_ALPHABITFIELDS ? 4 : 3;
        h.maskBytes = 4 * count;
        if (file.Read(after, h.maskBytes) != h.maskBytes) return BadHeader();
        from = after;
    }
    for (unsigned i = 0; i < count; ++i)
        h.masks[i] = Get32(from + 4 * i);
    if (MasksAreSound(h.masks)) return true;
    ZEM::LOG("BMP: bit fields that overlap or have gaps are not supported\n");
    return false;
}

bool ReadHeader(ZEMResFile& file, BmpHeader& h) {
    uint8_t head[18];
    if (file.Read(head, sizeof head) != sizeof head || head[0] != 'B' || head[1] != 'M') {
        return BadHeader();
    }
    h.dataOffset = Get32(head + 10);
    h.headerSize = Get32(head + 14);
    if (!KnownHeaderSize(h.headerSize)) {
        ZEM::LOG("BMP: a header of %u bytes belongs to no BMP version\n", unsigned(h.headerSize));
        return false;
    }
    // Fields that a short OS/2 2.x header leaves out are 0.
    uint8_t info[LARGEST_HEADER_SIZE - 4] = {};
    const unsigned infoBytes = h.headerSize - 4;
    if (file.Read(info, infoBytes) != infoBytes) return BadHeader();
    if (h.headerSize == OS2_HEADER_SIZE) {
        h.width = Get16(info);
        h.height = Get16(info + 2);
        h.bitCount = Get16(info + 6);
    } else {
        h.width = int32_t(Get32(info));
        h.height = int32_t(Get32(info + 4));
        h.bitCount = Get16(info + 10);
        h.compression = Get32(info + 12);
        h.coloursUsed = Get32(info + 28);
    }
    if (!CheckCompression(h) || !ReadMasks(file, info, h)) return false;
    const unsigned bits = h.bitCount;
    const bool knownDepth =
        bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    if (!knownDepth || h.width <= 0 || h.height == 0 || h.height == INT32_MIN) return BadHeader();
    return true;
}

// How the file's pixels become the picture's.
enum class Pixels {
    INDEXED,  // 1 to 8 bits: one index a byte
    COPY,     // rows as they are: 5-5-5 in 16 bits, 24 bits, 32 bits with their alpha
    RESERVED, // 32 bits whose fourth byte is reserved: opaque when it is 0 throughout
    OPAQUE,   // 32 bits laid out as ours, with a mask that leaves the fourth byte out
    MASKED,   // other bit fields: each colour scaled to 8 bits, 24 bits or 32 with alpha
};

Pixels PixelsOf(const BmpHeader& h) {
    if (h.bitCount <= 8) return Pixels::INDEXED;
    if (!HasBitFields(h)) return h.bitCount == 32 ? Pixels::RESERVED : Pixels::COPY;
    const uint32_t* m = h.masks;
    const bool rgb555 = m[RED] == 0x7C00 && m[GREEN] == 0x03E0 && m[BLUE] == 0x001F;
    if (h.bitCount == 16 && rgb555 && m[ALPHA] == 0) return Pixels::COPY;
    const bool rgb888 = m[RED] == 0xFF0000 && m[GREEN] == 0xFF00 && m[BLUE] == 0xFF;
    if (h.bitCount == 32 && rgb888 && m[ALPHA] == 0) return Pixels::OPAQUE;
    if (h.bitCount == 32 && rgb888 && m[ALPHA] == 0xFF000000) return Pixels::COPY;
    return Pixels::MASKED;
}

uint16_t DepthOf(const BmpHeader& h, Pixels pixels) {
    if (pixels == Pixels::INDEXED) return 8;
    if (pixels == Pixels::MASKED) return h.masks[ALPHA] ? 32 : 24;
    return h.bitCount;
}

// Where the colour table and the pixels lie, and how many colours the table holds.
struct Places {
    uint64_t table = 0;
    unsigned colours = 0;
    unsigned entryBytes = 4;
    uint64_t pixels = 0;
};

Places PlacesOf(const BmpHeader& h) {
    Places at;
    at.table = FILE_HEADER_SIZE + h.headerSize + h.maskBytes;
    at.entryBytes = h.headerSize == OS2_HEADER_SIZE ? 3 : 4;
    if (h.bitCount <= 8) {
        const unsigned full = 1u << h.bitCount;
        at.colours = h.coloursUsed > 0 && h.coloursUsed < full ? h.coloursUsed : full;
    }
    const uint64_t tableEnd = at.table + uint64_t(at.colours) * at.entryBytes;
    // An offset into the header, or onto a table that an indexed picture needs, was written
    // without the table: the pixels follow it.
    if (h.dataOffset < at.table || (at.colours && h.dataOffset == at.table)) {
        at.pixels = tableEnd;
        return at;
    }
    // Otherwise the table stops at the pixels: OS/2 files often hold fewer colours than 2^bits.
    at.pixels = h.dataOffset;
    if (at.pixels < tableEnd) at.colours = unsigned((at.pixels - at.table) / at.entryBytes);
    return at;
}

// False, and says so, when the bytes after the pixel offset cannot make the picture, so that
// nothing is allocated for a file that does not hold it.
bool DataFits(const BmpHeader& h, uint32_t width, uint32_t height, uint64_t bytes) {
    if (IsRle(h)) {
        if (height <= bytes * RLE_ROWS_PER_BYTE && width <= bytes * RLE_COLUMNS_PER_BYTE &&
            uint64_t(width) * height <= bytes * RLE_PIXELS_PER_BYTE) {
            return true;
        }
        ZEM::LOG("BMP: %s data of %u bytes cannot fill %u x %u pixels\n",
                 h.compression == BI_RLE8 ? "RLE8" : "RLE4", unsigned(bytes), unsigned(width),
                 unsigned(height));
        return false;
    }
    const uint64_t rowBytes = FileRowBytes(width, h.bitCount);
    const uint64_t rows = bytes < rowBytes ? 0 : (bytes - rowBytes) / Padded4(rowBytes) + 1;
    if (rows >= height) return true;
    ZEM::Codec::LogCutShort("BMP", uint32_t(rows), height);
    return false;
}

bool ReadColourTable(ZEMResFile& file, const Places& at, Picture& picture) {
    ZEMPal* palette = picture.NewPalette(at.colours);
    if (!palette) return false;
    uint8_t table[256 * 4] = {};
    file.Read(table, at.colours * at.entryBytes);
    for (unsigned i = 0; i < at.colours; ++i) {
        const uint8_t* entry = table + i * at.entryBytes;
        uint8_t* colour = palette->colors + i * 4;
        colour[0] = entry[2];
        colour[1] = entry[1];
        colour[2] = entry[0];
        colour[3] = at.entryBytes == 4 ? entry[3] : 0;
    }
    return true;
}

// The picture row that the file's row number n (in file order) holds.
uint32_t PictureRow(const BmpHeader& h, uint32_t n, uint32_t height) {
    return h.height < 0 ? n : height - 1 - n;
}

// Unpacks 1-, 2- or 4-bit indexes, the most significant bits first, one byte per pixel.
void Unpack(const uint8_t* from, uint8_t* to, uint32_t width, unsigned bits) {
    const unsigned perByte = 8 / bits;
    const uint8_t mask = uint8_t((1u << bits) - 1);
    for (uint32_t x = 0; x < width; ++x) {
        const unsigned shift = 8 - bits * (x % perByte + 1);
        to[x] = uint8_t(from[x / perByte] >> shift) & mask;
    }
}

// One colour of bit-field pixels, scaled to 8 bits over its full range (a channel of n bits
// at its top value gives 255); an empty mask gives 0.
class Field {
public:
    explicit Field(uint32_t mask) : mask_(mask) {
        if (!mask) return;
        while (!(mask >> shift_ & 1))
            ++shift_;
        top_ = mask >> shift_;
        for (uint32_t v = 0; v <= std::min<uint32_t>(top_, 255); ++v)
            small_[v] = Scale(v);
    }
    uint8_t operator()(uint32_t pixel) const {
        const uint32_t v = (pixel & mask_) >> shift_;
        return top_ < 256 ? small_[v] : Scale(v);
    }

private:
    uint8_t Scale(uint32_t v) const { return uint8_t((uint64_t(v) * 255 + top_ / 2) / top_); }

    uint32_t mask_;
    unsigned shift_ = 0;
    uint32_t top_ = 0;
    uint8_t small_[256] = {};
};

// Turns a row of 16- or 32-bit bit-field pixels into blue, green, red and, with an alpha mask,
// alpha bytes.
class FieldRow {
public:
    explicit FieldRow(const BmpHeader& h)
        : fields_{Field(h.masks[RED]), Field(h.masks[GREEN]), Field(h.masks[BLUE]),
                  Field(h.masks[ALPHA])},
          bytes_(h.bitCount / 8), alpha_(h.masks[ALPHA] != 0) {}

    void Convert(const uint8_t* from, uint8_t* to, uint32_t width) const {
        for (uint32_t x = 0; x < width; ++x, from += bytes_) {
            const uint32_t pixel = bytes_ == 2 ? Get16(from) : Get32(from);
            *to++ = fields_[BLUE](pixel);
            *to++ = fields_[GREEN](pixel);
            *to++ = fields_[RED](pixel);
            if (alpha_) *to++ = fields_[ALPHA](pixel);
        }
    }

private:
    Field fields_[4];
    unsigned bytes_;
    bool alpha_;
};

// True when the fourth byte of every 32-bit pixel is 0.
bool AlphaIsZero(const uint8_t* pixels, uint64_t size) {
    for (uint64_t i = 3; i < size; i += 4) {
        if (pixels[i]) return false;
    }
    return true;
}

// Alpha of 255 in every pixel of a 32-bit picture, or only where the fourth byte is 0 in every
// pixel when reserved is set: such a file stores no alpha there.
void SetOpaque(Picture& picture, bool reserved) {
    uint8_t* const data = picture.data.get();
    const uint64_t size = uint64_t(picture.Pitch()) * picture.height;
    if (reserved && !AlphaIsZero(data, size)) return;
    for (uint64_t i = 3; i < size; i += 4)
        data[i] = 255;
}

bool ReadRows(ZEMResFile& file, const BmpHeader& h, Pixels pixels, Picture& picture) {
    const uint32_t rowBytes = uint32_t(FileRowBytes(picture.width, h.bitCount));
    const uint32_t padding = uint32_t(Padded4(rowBytes) - rowBytes);
    const bool converted = pixels == Pixels::MASKED || h.bitCount < 8;
    std::unique_ptr<uint8_t[]> fileRow(converted ? new (std::nothrow) uint8_t[rowBytes] : nullptr);
    if (converted && !fileRow) {
        ZEM::LOG("BMP: cannot allocate image\n");
        return false;
    }
    const FieldRow fields(h);
    for (uint32_t n = 0; n < picture.height; ++n) {
        uint8_t* row = picture.Row(PictureRow(h, n, picture.height));
        uint8_t* into = converted ? fileRow.get() : row;
        if (file.Read(into, rowBytes) != rowBytes) {
            ZEM::Codec::LogCutShort("BMP", n, picture.height);
            return false;
        }
        if (pixels == Pixels::MASKED) {
            fields.Convert(into, row, picture.width);
        } else if (converted) {
            Unpack(into, row, picture.width, h.bitCount);
        }
        if (padding && n + 1 < picture.height) file.Seek(int(padding), 1);
    }
    if (pixels == Pixels::OPAQUE || pixels == Pixels::RESERVED) {
        SetOpaque(picture, pixels == Pixels::RESERVED);
    }
    return true;
}

// Column x moved on by count, kept at the width at most.
uint32_t Advance(uint32_t x, unsigned count, uint32_t width) {
    return uint32_t(std::min<uint64_t>(uint64_t(x) + count, width));
}

// Writes count pixels from column x of file row n, cut to the row: the index of byte for 8 bits;
// for 4 bits the indexes of its high and its low half in turn.
void Run(const BmpHeader& h, Picture& picture, uint32_t x, uint32_t n, unsigned count,
         uint8_t byte) {
    if (n >= picture.height || x >= picture.width) return;
    const uint32_t end = Advance(x, count, picture.width);
    uint8_t* row = picture.Row(PictureRow(h, n, picture.height));
    if (h.bitCount == 8) {
        std::memset(row + x, byte, end - x);
        return;
    }
    const uint8_t halves[2] = {uint8_t(byte >> 4), uint8_t(byte & 15)};
    for (uint32_t i = x; i < end; ++i)
        row[i] = halves[(i - x) & 1];
}

// RLE8 and RLE4 data. Pixels that the codes pass over keep index 0. False when the data ends
// before the last row is full, without the end-of-picture code.
bool ReadRle(ZEMResFile& file, const BmpHeader& h, Picture& picture) {
    std::memset(picture.data.get(), 0, uint64_t(picture.Pitch()) * picture.height);
    const unsigned perByte = 8 / h.bitCount;
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
            Run(h, picture, x, n, count, code);
            x = Advance(x, count, picture.width);
        } else if (code == 0) {
            x = 0;
            ++n;
        } else if (code == 1) {
            break;
        } else if (code == 2) {
            x = Advance(x, in.Get(), picture.width);
            n += in.Get();
        } else {
            // Absolute run: code pixels, their bytes padded to an even count.
            const unsigned bytes = (code + perByte - 1) / perByte;
            for (unsigned i = 0; i < bytes; ++i) {
                const unsigned done = i * perByte;
                Run(h, picture, Advance(x, done, picture.width), n, std::min(perByte, code - done),
                    in.Get());
            }
            x = Advance(x, code, picture.width);
            if (bytes & 1) in.Get();
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
    const Pixels pixels = PixelsOf(h);
    const Places at = PlacesOf(h);
    const uint64_t size = Codec::BytesLeft(file) + file.GetPos() - start;
    if (!DataFits(h, w, rows, size > at.pixels ? size - at.pixels : 0)) return false;
    Codec::Picture picture;
    if (!picture.Allocate(w, rows, DepthOf(h, pixels))) {
        ZEM::LOG("BMP: cannot allocate image\n");
        return false;
    }
    file.Seek(int(start + at.table), 0);
    if (pixels == Pixels::INDEXED && !ReadColourTable(file, at, picture)) return false;
    if (!file.Seek(int(start + at.pixels), 0)) {
        ZEM::LOG("BMP: error reading data\n");
        return false;
    }
    const bool read = IsRle(h) ? ReadRle(file, h, picture) : ReadRows(file, h, pixels, picture);
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
    // Behind the 40-byte header, a fourth byte of 0 throughout reads as reserved (opaque): a
    // picture that is transparent all over gets the header with an alpha mask instead.
    const bool alphaMask =
        image.bpp == 32 && AlphaIsZero(image.data, uint64_t(image.height) * image.pitch);
    const uint32_t headerSize = alphaMask ? V4_HEADER_SIZE : WINDOWS_HEADER_SIZE;
    const uint32_t dataOffset = FILE_HEADER_SIZE + headerSize + 4 * colours;

    file.Write("BM", 2);
    file.Write32(0); // file size, set below
    file.Write32(0);
    file.Write32(dataOffset);
    file.Write32(headerSize);
    file.Write32(image.width);
    file.Write32(image.height);
    file.Write16(1);
    file.Write16(uint16_t(8 * bytesPerPixel));
    file.Write32(alphaMask ? BI_BITFIELDS : BI_RGB);
    file.Write32(image.height * image.pitch);
    file.Write32(0);
    file.Write32(0);
    file.Write32(colours);
    file.Write32(colours);
    if (alphaMask) {
        for (uint32_t field : {0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u, LCS_SRGB})
            file.Write32(field);
        const uint8_t endpointsAndGamma[48] = {};
        file.Write(endpointsAndGamma, sizeof endpointsAndGamma);
    }
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
    const uint32_t padding = uint32_t(Padded4(image.pitch) - image.pitch);
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
