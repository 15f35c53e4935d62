#include <zem/graphics/ZEMFont.h>

#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMCodec.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMFile.h>
#include <zem/stream/ZEMResFile.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <utility>

namespace {

const char MAGIC[4] = {'Z', 'E', 'M', 'F'};
constexpr uint8_t VERSION = 2;
constexpr uint32_t INFO_OFFSET = 17; // right after the header
constexpr int GLYPH_OFFSET_AT = 9;   // after the magic, the version and the info offset
constexpr size_t MAX_NAME = 254;     // the length byte counts the terminator too
constexpr unsigned MAX_CODE = 255;
constexpr unsigned char SPACE = ' ';
constexpr unsigned char TAB = '\t';
constexpr unsigned TAB_SPACES = 8;
constexpr uint32_t READ_CHUNK = 1u << 16;

// Little-endian fields of a font file; remembers whether a read came up short, which a memory
// stream at its end reports by the byte count alone.
class FieldReader {
public:
    explicit FieldReader(ZEMResFile& file) : file_(file) {}

    bool Bytes(void* buffer, unsigned size) {
        if (ok_ && file_.Read(buffer, size) == size) return true;
        ok_ = false;
        return false;
    }
    uint8_t U8() {
        uint8_t b = 0;
        Bytes(&b, 1);
        return b;
    }
    uint16_t U16() {
        uint8_t b[2] = {0, 0};
        Bytes(b, sizeof b);
        return uint16_t(b[0] | b[1] << 8);
    }
    uint32_t U32() {
        uint8_t b[4] = {0, 0, 0, 0};
        Bytes(b, sizeof b);
        return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
    // Logs when a field of the step came up short.
    bool Complete() const {
        if (!ok_) ZEM::LOG("Font: file cut short\n");
        return ok_;
    }
    // Moves to a block offset counted from the start of the stream.
    bool SeekTo(uint32_t offset) {
        if (offset <= uint32_t(INT_MAX) && file_.Seek(int(offset), SEEK_SET)) return true;
        ZEM::LOG("Font: block offset %u lies past the end of the file\n", offset);
        return false;
    }
    ZEMResFile& File() { return file_; }

private:
    ZEMResFile& file_;
    bool ok_ = true;
};

struct BlockOffsets {
    uint32_t info = 0;
    uint32_t glyphs = 0;
    uint32_t bitmap = 0;
};

// The glyph bitmap of a file, one byte per pixel for formats up to 8 (packed rows unpacked).
struct Bitmap {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t format = 0;
    uint8_t* pixels = nullptr;

    Bitmap() = default;
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
    ~Bitmap() { delete[] pixels; }
    uint8_t* Take() { return std::exchange(pixels, nullptr); }
};

unsigned BytesPerPixel(unsigned format) {
    return (format + 7) / 8;
}

bool IsFontFormat(unsigned format) {
    return format == 1 || format == 2 || format == 8;
}

bool IsPackedFormat(unsigned format) {
    return format == 1 || format == 2;
}

// Bytes of one stored row: packed for formats 1 and 2.
uint64_t RowBytes(uint32_t width, unsigned format) {
    if (!IsPackedFormat(format)) return uint64_t(width) * BytesPerPixel(format);
    unsigned perByte = 8 / format;
    return (uint64_t(width) + perByte - 1) / perByte;
}

char* CopyName(const char* text) {
    if (!text) return nullptr;
    size_t size = std::strlen(text) + 1;
    char* copy = new (std::nothrow) char[size];
    if (copy) std::memcpy(copy, text, size);
    return copy;
}

// size bytes of the stream in a new block (a block of 0 bytes for 0); null when the stream ends
// first or memory is short. The block grows only as bytes arrive, so a forged size cannot claim
// more memory than the file holds.
uint8_t* ReadBlock(ZEMResFile& file, uint32_t size) {
    uint32_t capacity = std::min(size, READ_CHUNK);
    uint8_t* block = new (std::nothrow) uint8_t[capacity];
    uint32_t got = 0;
    while (block && got < size) {
        if (got == capacity) {
            capacity = uint32_t(std::min<uint64_t>(size, uint64_t(capacity) * 2));
            uint8_t* grown = new (std::nothrow) uint8_t[capacity];
            if (grown) std::memcpy(grown, block, got);
            delete[] block;
            block = grown;
            if (!block) break;
        }
        unsigned want = capacity - got;
        if (file.Read(block + got, want) != want) break;
        got = capacity;
    }
    if (block && got == size) return block;
    delete[] block;
    return nullptr;
}

// Packed rows of 1 or 2 bits per pixel, the leftmost pixel in the top bits, to one byte each.
void Unpack(const uint8_t* packed, uint32_t width, uint32_t height, unsigned format, uint8_t* out) {
    const unsigned perByte = 8 / format;
    const unsigned mask = (1u << format) - 1;
    const size_t rowBytes = size_t(RowBytes(width, format));
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = packed + y * rowBytes;
        for (uint32_t x = 0; x < width; ++x) {
            unsigned shift = 8 - format * (x % perByte + 1);
            *out++ = uint8_t(row[x / perByte] >> shift & mask);
        }
    }
}

bool ReadMagic(FieldReader& in) {
    char magic[sizeof MAGIC];
    return in.Bytes(magic, sizeof magic) && std::memcmp(magic, MAGIC, sizeof magic) == 0;
}

// Checks the magic and the version and reads the block offsets. A wrong magic fails silently, as
// it is simply another kind of file.
bool ReadHeader(FieldReader& in, BlockOffsets& offsets) {
    if (!ReadMagic(in)) return false;
    uint8_t version = in.U8();
    if (!in.Complete()) return false;
    if (version != VERSION) {
        ZEM::LOG("Font: unknown format version %d\n", int(version));
        return false;
    }
    offsets.info = in.U32();
    offsets.glyphs = in.U32();
    offsets.bitmap = in.U32();
    return in.Complete();
}

// The bitmap block at the stream's position. Fonts take formats 1, 2 and 8; the picture loader
// also 24 and 32.
bool ReadBitmap(FieldReader& in, bool deepAllowed, Bitmap& bitmap) {
    bitmap.width = in.U32();
    bitmap.height = in.U32();
    bitmap.format = in.U8();
    if (!in.Complete()) return false;
    const unsigned format = bitmap.format;
    if (!IsFontFormat(format) && !(deepAllowed && (format == 24 || format == 32))) {
        ZEM::LOG("Font: unknown bitmap format %d\n", int(format));
        return false;
    }
    const uint64_t pixels = uint64_t(bitmap.width) * bitmap.height;
    if (pixels > UINT32_MAX / BytesPerPixel(format)) {
        ZEM::LOG("Font: bitmap of %u x %u pixels is too large\n", bitmap.width, bitmap.height);
        return false;
    }
    // Stored rows are never larger than the unpacked ones, so the size fits as well.
    uint8_t* stored =
        ReadBlock(in.File(), uint32_t(RowBytes(bitmap.width, format) * bitmap.height));
    if (!stored) {
        ZEM::LOG("Font: bitmap cut short\n");
        return false;
    }
    // An empty bitmap has no rows worth walking, however many a zero width claims.
    if (!IsPackedFormat(format) || pixels == 0) {
        bitmap.pixels = stored;
        return true;
    }
    bitmap.pixels = new (std::nothrow) uint8_t[size_t(pixels)];
    if (bitmap.pixels) Unpack(stored, bitmap.width, bitmap.height, format, bitmap.pixels);
    delete[] stored;
    return bitmap.pixels != nullptr;
}

// The info block: name, range and metrics. The name must end within its stored length and the
// range must lie within 0..255, not reversed.
bool ReadInfo(FieldReader& in, ZEMFont& font) {
    const uint8_t size = in.U8();
    font.name = new (std::nothrow) char[std::max<unsigned>(size, 1)];
    if (!font.name) return false;
    if (in.Bytes(font.name, size) && !std::memchr(font.name, 0, size)) {
        ZEM::LOG("Font: name not terminated within its %u bytes\n", unsigned(size));
        return false;
    }
    font.firstChar = in.U32();
    font.lastChar = in.U32();
    font.whiteSize = in.U8();
    font.spacing = in.U8();
    font.ascent = int16_t(in.U16());
    font.descent = int16_t(in.U16());
    if (!in.Complete()) return false;
    if (font.lastChar < font.firstChar || font.lastChar > MAX_CODE) {
        ZEM::LOG("Font: bad character range %u to %u\n", font.firstChar, font.lastChar);
        return false;
    }
    return true;
}

bool ReadGlyphs(FieldReader& in, ZEMFont& font) {
    const unsigned count = font.lastChar - font.firstChar + 1;
    font.chars = new (std::nothrow) ZEMChar[count]();
    if (!font.chars) return false;
    for (unsigned i = 0; i < count; ++i) {
        ZEMChar& glyph = font.chars[i];
        glyph.x = in.U16();
        glyph.y = in.U16();
        glyph.width = in.U8();
        glyph.height = in.U8();
        glyph.offset = int16_t(in.U16());
    }
    return in.Complete();
}

bool ReadFontBitmap(FieldReader& in, ZEMFont& font) {
    Bitmap bitmap;
    if (!ReadBitmap(in, false, bitmap)) return false;
    font.bitmapWidth = bitmap.width;
    font.bitmapHeight = bitmap.height;
    font.format = bitmap.format;
    font.bitmap = bitmap.Take();
    return true;
}

// Every glyph must lie inside the bitmap, so that measuring and drawing never leave it.
bool GlyphsInside(const ZEMFont& font) {
    for (unsigned code = font.firstChar; code <= font.lastChar; ++code) {
        const ZEMChar& glyph = font.chars[code - font.firstChar];
        if (uint32_t(glyph.x) + glyph.width > font.bitmapWidth ||
            uint32_t(glyph.y) + glyph.height > font.bitmapHeight) {
            ZEM::LOG("Font: glyph of code %u lies outside the bitmap\n", code);
            return false;
        }
    }
    return true;
}

void SwapContent(ZEMFont& a, ZEMFont& b) {
    std::swap(a.name, b.name);
    std::swap(a.bitmap, b.bitmap);
    std::swap(a.bitmapWidth, b.bitmapWidth);
    std::swap(a.bitmapHeight, b.bitmapHeight);
    std::swap(a.firstChar, b.firstChar);
    std::swap(a.lastChar, b.lastChar);
    std::swap(a.chars, b.chars);
    std::swap(a.ascent, b.ascent);
    std::swap(a.descent, b.descent);
    std::swap(a.spacing, b.spacing);
    std::swap(a.whiteSize, b.whiteSize);
    std::swap(a.format, b.format);
}

// Reads a whole font into a scratch font and swaps it in only when every block was sound, so that
// a refused file leaves the font as it was. Version 1 holds the blocks in sequence after the
// magic; version 2 has a version byte and the blocks' offsets.
bool LoadFont(ZEMFont& font, ZEMResFile& file, int kind, bool versioned) {
    if ((kind != 0 && kind != 1) || !file.IsOK()) return false;
    FieldReader in(file);
    ZEMFont loaded(nullptr);
    if (versioned) {
        BlockOffsets offsets;
        if (!ReadHeader(in, offsets)) return false;
        if (!in.SeekTo(offsets.info) || !ReadInfo(in, loaded) || !in.SeekTo(offsets.glyphs) ||
            !ReadGlyphs(in, loaded) || !in.SeekTo(offsets.bitmap) || !ReadFontBitmap(in, loaded)) {
            return false;
        }
    } else {
        if (!ReadMagic(in) || !ReadInfo(in, loaded) || !ReadGlyphs(in, loaded) ||
            !ReadFontBitmap(in, loaded)) {
            return false;
        }
    }
    if (!GlyphsInside(loaded)) return false;
    SwapContent(font, loaded);
    return true;
}

// Rows of 1 or 2 bits per pixel, packed as the loader unpacks them: a non-zero byte sets the bit
// of a 1-bit pixel, the low two bits of a byte are a 2-bit pixel.
bool WritePacked(ZEMResFile& file, const uint8_t* pixels, uint32_t width, uint32_t height,
                 unsigned format) {
    const unsigned perByte = 8 / format;
    const unsigned mask = (1u << format) - 1;
    const size_t rowBytes = size_t(RowBytes(width, format));
    if (rowBytes == 0) return true; // rows of no bytes, however many
    uint8_t* row = new (std::nothrow) uint8_t[rowBytes];
    if (!row) return false;
    for (uint32_t y = 0; y < height; ++y) {
        std::memset(row, 0, rowBytes);
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t pixel = *pixels++;
            unsigned value = format == 1 ? pixel != 0 : pixel & mask;
            row[x / perByte] |= uint8_t(value << (8 - format * (x % perByte + 1)));
        }
        file.Write(row, unsigned(rowBytes));
    }
    delete[] row;
    return true;
}

bool IsPrintable(unsigned code) {
    return code >= 32 && code <= 127;
}

// One line of PrintInfo for a character code, with the character itself when it is printable.
void PrintCode(const char* label, unsigned code) {
    if (IsPrintable(code)) {
        ZEM::LOG("%s%d [%c]\n", label, int(code), int(code));
    } else {
        ZEM::LOG("%s%d\n", label, int(code));
    }
}

// Sets the colours that a glyph picture of format 1, 2 or 8 is shown with: black to white.
bool SetGreyPalette(ZEMPal*& palette, unsigned format) {
    static const unsigned char TWO[] = {0, 0, 0, 0, 255, 255, 255, 0};
    static const unsigned char FOUR[] = {0,   0,   0,   0, 85,  85,  85,  0,
                                         170, 170, 170, 0, 255, 255, 255, 0};
    const unsigned count = format == 1 ? 2 : format == 2 ? 4 : 256;
    if (!palette) {
        palette = new (std::nothrow) ZEMPal(count);
        if (!palette) return false;
    } else if (format != 8) {
        palette->Resize(count);
    }
    if (format == 8) {
        palette->GenerateGreyScale(count);
    } else {
        palette->SetFromRGBA(format == 1 ? TWO : FOUR, count, 0);
    }
    return true;
}

} // namespace

ZEMFont::ZEMFont(const char* fileName) {
    if (!fileName) return;
    ZEMFile file(fileName, ZEMResFile::READ);
    if (!file.IsOK() || !Load(file, 0)) ZEM::LOG("Font: bad file %s\n", fileName);
}

ZEMFont::ZEMFont(ZEMResFile& file, int) {
    if (!file.IsOK() || !Load(file, 0)) ZEM::LOG("Font: bad resource file\n");
}

ZEMFont::ZEMFont(const char* fontName, unsigned first, unsigned last, ZEMImage* image,
                 unsigned char bitmapFormat) {
    name = CopyName(fontName);
    format = bitmapFormat;
    if (first > last) std::swap(first, last);
    first = std::min(first, MAX_CODE);
    last = std::min(std::max(last, first), MAX_CODE);
    firstChar = first;
    lastChar = last;
    chars = new (std::nothrow) ZEMChar[last - first + 1]();
    SetImage(image, bitmapFormat);
}

ZEMFont::~ZEMFont() {
    Free();
}

void ZEMFont::Free() {
    delete[] name;
    delete[] chars;
    delete[] bitmap;
    name = nullptr;
    chars = nullptr;
    bitmap = nullptr;
    bitmapWidth = bitmapHeight = 0;
    firstChar = lastChar = 0;
    spacing = whiteSize = 0;
    ascent = descent = 0;
}

unsigned ZEMFont::MemoryUsed() const {
    unsigned nameLength = name ? unsigned(std::strlen(name)) : 0;
    return bitmapWidth * bitmapHeight + nameLength + 40 + 8 * (lastChar - firstChar + 1);
}

bool ZEMFont::Load(ZEMResFile& file, int kind) {
    return LoadFont(*this, file, kind, true);
}

bool ZEMFont::LoadV1(ZEMResFile& file, int kind) {
    return LoadFont(*this, file, kind, false);
}

bool ZEMFont::Save(ZEMResFile& file, int kind) {
    if ((kind != 0 && kind != 1) || !file.IsOK() || !name) return false;
    // Refused before anything is written: a font the file cannot hold leaves no half file.
    const size_t nameLength = std::strlen(name);
    if (nameLength > MAX_NAME) {
        ZEM::LOG("Font: a name of %u characters is too long to save (at most 254)\n",
                 unsigned(nameLength));
        return false;
    }
    if (!chars || !bitmap || !IsFontFormat(format)) return false;

    file.Write(MAGIC, sizeof MAGIC);
    file.Write8(VERSION);
    file.Write32(INFO_OFFSET);
    file.Write32(0);
    file.Write32(0);
    file.Write8(uint8_t(nameLength + 1));
    file.Write(name, unsigned(nameLength + 1));
    file.Write32(firstChar);
    file.Write32(lastChar);
    file.Write8(whiteSize);
    file.Write8(spacing);
    file.Write16(uint16_t(ascent));
    file.Write16(uint16_t(descent));

    const unsigned glyphsAt = file.GetPos();
    for (unsigned i = 0; i <= lastChar - firstChar; ++i) {
        file.Write16(chars[i].x);
        file.Write16(chars[i].y);
        file.Write8(chars[i].width);
        file.Write8(chars[i].height);
        file.Write16(uint16_t(chars[i].offset));
    }
    const unsigned bitmapAt = file.GetPos();
    file.Write32(bitmapWidth);
    file.Write32(bitmapHeight);
    file.Write8(format);
    if (IsPackedFormat(format)) {
        if (!WritePacked(file, bitmap, bitmapWidth, bitmapHeight, format)) return false;
    } else {
        file.Write(bitmap, bitmapWidth * bitmapHeight);
    }

    // The seek back clears a short write's state: note it first.
    const bool written = file.IsOK();
    file.Seek(GLYPH_OFFSET_AT, SEEK_SET);
    file.Write32(glyphsAt);
    file.Write32(bitmapAt);
    return written && file.IsOK();
}

void ZEMFont::SetFirstChar(unsigned char code) {
    if (!chars || code > lastChar || code == firstChar) return;
    ZEMChar* table = new (std::nothrow) ZEMChar[lastChar - code + 1]();
    if (!table) return;
    for (unsigned c = std::max<unsigned>(code, firstChar); c <= lastChar; ++c) {
        table[c - code] = chars[c - firstChar];
    }
    delete[] chars;
    chars = table;
    firstChar = code;
}

void ZEMFont::SetLastChar(unsigned char code) {
    if (!chars || code < firstChar || code == lastChar) return;
    ZEMChar* table = new (std::nothrow) ZEMChar[code - firstChar + 1]();
    if (!table) return;
    for (unsigned c = firstChar; c <= std::min<unsigned>(code, lastChar); ++c) {
        table[c - firstChar] = chars[c - firstChar];
    }
    delete[] chars;
    chars = table;
    lastChar = code;
}

void ZEMFont::SetChar(unsigned char code, ZEMChar* glyph) {
    if (!chars || code < firstChar || code > lastChar || code == SPACE) return;
    chars[code - firstChar] = glyph ? *glyph : ZEMChar{};
}

bool ZEMFont::SetImage(ZEMImage* image, unsigned char bitmapFormat) {
    if (!image || BytesPerPixel(bitmapFormat) != BytesPerPixel(image->bpp)) return false;
    const size_t size = size_t(image->height) * image->pitch;
    if (size && !image->data) return false;
    uint8_t* copy = new (std::nothrow) uint8_t[size];
    if (!copy) return false;
    if (size) std::memcpy(copy, image->data, size);
    delete[] bitmap;
    bitmap = copy;
    bitmapWidth = image->width;
    bitmapHeight = image->height;
    format = bitmapFormat;
    return true;
}

unsigned ZEMFont::CharWidth(unsigned char code) const {
    if (code == SPACE) return whiteSize;
    if (code == TAB) return TAB_SPACES * whiteSize;
    if (!chars || code < firstChar || code > lastChar) return 0;
    return chars[code - firstChar].width;
}

unsigned ZEMFont::CharHeight(unsigned char code) const {
    if (!chars || code == SPACE || code < firstChar || code > lastChar) return 0;
    return chars[code - firstChar].height;
}

unsigned ZEMFont::TextWidth(const char* text, unsigned maxChars) const {
    if (!name || !text) return 0;
    unsigned total = 0;
    for (unsigned i = 0; i < maxChars && text[i]; ++i) {
        total += CharWidth(static_cast<unsigned char>(text[i])) + spacing;
    }
    return total ? total - spacing : 0;
}

void ZEMFont::TextSize(const char* text, unsigned& width, unsigned& height,
                       unsigned maxChars) const {
    width = TextWidth(text, maxChars);
    height = 0;
    if (!name || !text || !chars) return;
    int above = 0; // rows at or above the baseline
    int below = 0;
    for (unsigned i = 0; i < maxChars && text[i]; ++i) {
        const unsigned char code = static_cast<unsigned char>(text[i]);
        if (code == SPACE || code == TAB || code < firstChar || code > lastChar) continue;
        const ZEMChar& glyph = chars[code - firstChar];
        above = std::max(above, int(glyph.height) - glyph.offset);
        below = std::max(below, int(glyph.offset));
    }
    height = unsigned(above + below);
}

void ZEMFont::PrintInfo(bool withChars) const {
    if (!name) {
        ZEM::LOG("Font not defined\n");
        return;
    }
    ZEM::LOG("Font name       : %s\n", name);
    PrintCode("First char      : ", firstChar);
    PrintCode("Last char       : ", lastChar);
    ZEM::LOG("  Total         : %d\nChar spacing    : %d\nWhite char size : %d\n",
             int(lastChar - firstChar + 1), int(spacing), int(whiteSize));
    ZEM::LOG("Ascent          : %d\nDescent         : %d\nFormat (bpp)    : %d\n", int(ascent),
             int(descent), int(format));
    if (!withChars || !chars) return;
    ZEM::LOG("------------------- Characters :\n");
    for (unsigned code = firstChar; code <= lastChar; ++code) {
        const ZEMChar& glyph = chars[code - firstChar];
        ZEM::LOG("Char %d [%c] : %3d %3d %3d %3d %d\n", int(code),
                 IsPrintable(code) ? int(code) : ' ', int(glyph.x), int(glyph.y), int(glyph.width),
                 int(glyph.height), int(glyph.offset));
    }
}

namespace ZEM {

bool FontImageLoad(ZEMResFile& file, uint8_t*& data, uint32_t& width, uint32_t& height,
                   ZEMPal*& palette, uint16_t& bpp) {
    if (!file.IsOK()) return false;
    FieldReader in(file);
    BlockOffsets offsets;
    Bitmap bitmap;
    if (!ReadHeader(in, offsets) || !in.SeekTo(offsets.bitmap) || !ReadBitmap(in, true, bitmap)) {
        return false;
    }
    if (bitmap.format <= 8 && !SetGreyPalette(palette, bitmap.format)) return false;
    delete[] data;
    // An empty picture has no buffer.
    data = bitmap.width && bitmap.height ? bitmap.Take() : nullptr;
    width = bitmap.width;
    height = bitmap.height;
    bpp = uint16_t(bitmap.format <= 8 ? 8 : bitmap.format);
    return true;
}

} // namespace ZEM
