#include <zem/graphics/ZEMFontBuilder.h>

#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMFont.h>
#include <zem/stream/ZEMFile.h>
#include <zem/stream/ZEMResFile.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr unsigned char SPACE = ' ';
constexpr unsigned MAX_GLYPH = 255;            // width and height of a glyph record
constexpr unsigned MAX_BITMAP_SIDE = 65535;    // glyph positions are 16 bits
constexpr unsigned MAX_FONT_FILE = 256u << 20; // larger font files are refused unread
constexpr size_t MAX_NAME = 254;               // the name's length byte counts its terminator
constexpr unsigned COVERAGE_MAX = 255;

// One glyph rendered and waiting for its place in the glyph bitmap: its record without the
// position, and its pixels (width x height, already at the font's levels) in the staging buffer.
struct Cell {
    ZEMChar glyph = {};
    size_t pixels = 0;
};

bool IsFontFormat(unsigned format) {
    return format == 1 || format == 2 || format == 8;
}

FT_Int32 LoadFlags(unsigned format) {
    return format == 1 ? FT_LOAD_RENDER | FT_LOAD_TARGET_MONO : FT_LOAD_RENDER;
}

// Whole pixels of a 26.6 length, rounded up.
long CeilPixels(FT_Pos value) {
    return (value + 63) >> 6;
}

// The coverage (0 to 255) of one pixel of a rendered glyph.
unsigned Coverage(const FT_Bitmap& bitmap, unsigned x, unsigned y) {
    const long pitch = bitmap.pitch;
    const unsigned char* row =
        bitmap.buffer + (pitch >= 0 ? long(y) * pitch : long(bitmap.rows - 1 - y) * -pitch);
    switch (bitmap.pixel_mode) {
    case FT_PIXEL_MODE_MONO:
        return (row[x / 8] >> (7 - x % 8) & 1) ? COVERAGE_MAX : 0;
    case FT_PIXEL_MODE_GRAY2:
        return (row[x / 4] >> (6 - 2 * (x % 4)) & 3) * 85;
    case FT_PIXEL_MODE_GRAY4:
        return (row[x / 2] >> (4 - 4 * (x % 2)) & 15) * 17;
    default:
        return bitmap.num_grays > 1 ? row[x] * COVERAGE_MAX / (bitmap.num_grays - 1u) : 0;
    }
}

bool IsReadableMode(unsigned char mode) {
    return mode == FT_PIXEL_MODE_MONO || mode == FT_PIXEL_MODE_GRAY ||
           mode == FT_PIXEL_MODE_GRAY2 || mode == FT_PIXEL_MODE_GRAY4;
}

// A coverage at the font's pixel format: 0 or 1, four levels 0 to 3, or the coverage itself.
uint8_t Level(unsigned coverage, unsigned format) {
    if (format == 1) return coverage != 0;
    if (format == 2) return uint8_t((coverage * 3 + COVERAGE_MAX / 2) / COVERAGE_MAX);
    return uint8_t(coverage);
}

// Selects the pixel size, or for a face without outlines its strike nearest to it.
bool SelectSize(FT_Face face, unsigned size) {
    if (FT_IS_SCALABLE(face)) return FT_Set_Pixel_Sizes(face, 0, size) == 0;
    if (face->num_fixed_sizes <= 0) return false;
    int nearest = 0;
    long nearestGap = -1;
    for (int i = 0; i < face->num_fixed_sizes; ++i) {
        const long gap = std::labs(CeilPixels(face->available_sizes[i].y_ppem) - long(size));
        if (nearestGap < 0 || gap < nearestGap) {
            nearest = i;
            nearestGap = gap;
        }
    }
    return FT_Select_Size(face, nearest) == 0;
}

// A damaged font may give a glyph a size but no pixels.
bool HasInk(const FT_Bitmap& bitmap) {
    return bitmap.width != 0 && bitmap.rows != 0 && bitmap.buffer;
}

// The cell of the glyph in the slot: as wide as its advance, so that text advances as FreeType
// lays it out, and widened where the ink reaches out of the advance (a record has no bearing).
// The ink lies at column inkX of the cell.
bool MakeCell(const FT_GlyphSlot slot, unsigned code, Cell& cell, long& inkX) {
    const FT_Bitmap& bitmap = slot->bitmap;
    const long advance = (slot->advance.x + 32) >> 6;
    const bool inked = HasInk(bitmap);
    const long inkLeft = inked ? slot->bitmap_left : 0;
    const long left = std::min(0L, inkLeft);
    const long right = std::max(advance, inked ? inkLeft + long(bitmap.width) : 0L);
    const long height = inked ? long(bitmap.rows) : 0;
    if (right - left > long(MAX_GLYPH) || height > long(MAX_GLYPH)) {
        ZEM::LOG("FontBuilder: glyph of code %u is larger than %u pixels\n", code, MAX_GLYPH);
        return false;
    }
    const long offset = inked ? height - long(slot->bitmap_top) : 0;
    if (offset < INT16_MIN || offset > INT16_MAX) {
        ZEM::LOG("FontBuilder: glyph of code %u lies %ld rows off the baseline\n", code, offset);
        return false;
    }
    cell.glyph.width = uint8_t(right - left);
    cell.glyph.height = uint8_t(height);
    cell.glyph.offset = int16_t(offset);
    inkX = inkLeft - left;
    return true;
}

// Copies the rendered ink into the cell's pixels at the font's levels.
void StageInk(const FT_Bitmap& bitmap, unsigned format, long inkX, unsigned cellWidth,
              uint8_t* pixels) {
    if (!HasInk(bitmap)) return;
    for (unsigned y = 0; y < bitmap.rows; ++y) {
        uint8_t* row = pixels + size_t(y) * cellWidth + inkX;
        for (unsigned x = 0; x < bitmap.width; ++x)
            row[x] = Level(Coverage(bitmap, x, y), format);
    }
}

// The glyph bitmap's width: about square, at least the widest cell, a whole number of bytes in
// 1-bit rows.
unsigned BitmapWidth(const std::vector<Cell>& cells) {
    uint64_t area = 0;
    unsigned widest = 1;
    for (const Cell& cell : cells) {
        area += uint64_t(cell.glyph.width + 1) * (cell.glyph.height + 1);
        widest = std::max<unsigned>(widest, cell.glyph.width);
    }
    const unsigned side = unsigned(std::ceil(std::sqrt(double(area))));
    return (std::max(widest, side) + 7) / 8 * 8;
}

// Places the cells in rows, left to right with one pixel between them; returns the bitmap's
// height. Cells without rows take no room.
unsigned PackCells(std::vector<Cell>& cells, unsigned width) {
    unsigned x = 0, y = 0, rowHeight = 0;
    for (Cell& cell : cells) {
        if (cell.glyph.height == 0) continue;
        if (x + cell.glyph.width > width) {
            x = 0;
            y += rowHeight + 1;
            rowHeight = 0;
        }
        cell.glyph.x = uint16_t(x);
        cell.glyph.y = uint16_t(y);
        x += cell.glyph.width + 1u;
        rowHeight = std::max<unsigned>(rowHeight, cell.glyph.height);
    }
    return std::max(1u, y + rowHeight);
}

// The name given, or the face's family, style and size; cut to what a font file holds.
char* MakeName(const char* given, FT_Face face, unsigned size) {
    char text[MAX_NAME + 1];
    if (given) {
        std::snprintf(text, sizeof text, "%s", given);
    } else {
        std::snprintf(text, sizeof text, "%s %s %u", face->family_name ? face->family_name : "Font",
                      face->style_name ? face->style_name : "", size);
    }
    const size_t length = std::strlen(text) + 1;
    char* name = new (std::nothrow) char[length];
    if (name) std::memcpy(name, text, length);
    return name;
}

bool CheckOptions(const ZEMFontBuilder::Options& options) {
    if (!IsFontFormat(options.format)) {
        ZEM::LOG("FontBuilder: format %u is not 1, 2 or 8\n", unsigned(options.format));
        return false;
    }
    if (options.size == 0 || options.size > ZEMFontBuilder::MAX_SIZE) {
        ZEM::LOG("FontBuilder: size %u is not 1 to %u\n", options.size, ZEMFontBuilder::MAX_SIZE);
        return false;
    }
    if (options.first > options.last) {
        ZEM::LOG("FontBuilder: range %u-%u is empty\n", unsigned(options.first),
                 unsigned(options.last));
        return false;
    }
    if (options.spaceWidth > int(MAX_GLYPH)) {
        ZEM::LOG("FontBuilder: space width %d is above %u\n", options.spaceWidth, MAX_GLYPH);
        return false;
    }
    return true;
}

// The advance of a space: given, else the space glyph's, else a third of the size.
uint8_t SpaceWidth(FT_Face face, const ZEMFontBuilder::Options& options, unsigned size) {
    if (options.spaceWidth >= 0) return uint8_t(options.spaceWidth);
    const FT_UInt index = FT_Get_Char_Index(face, SPACE);
    if (index == 0 || FT_Load_Glyph(face, index, LoadFlags(options.format)) != 0) {
        return uint8_t(std::min(MAX_GLYPH, (size + 2) / 3));
    }
    return uint8_t(std::min<long>(MAX_GLYPH, (face->glyph->advance.x + 32) >> 6));
}

int16_t ClampedMetric(long pixels) {
    return int16_t(std::clamp(pixels, 0L, 32767L));
}

} // namespace

struct ZEMFontBuilder::Face {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    uint8_t* data = nullptr; // the font file, which FreeType reads in place while the face lives

    Face() = default;
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;
    ~Face() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
        delete[] data;
    }
};

ZEMFontBuilder::ZEMFontBuilder() = default;

ZEMFontBuilder::~ZEMFontBuilder() {
    Close();
}

bool ZEMFontBuilder::Open(const char* fileName) {
    Close();
    if (!fileName) return false;
    ZEMFile file(fileName, ZEMResFile::READ);
    if (!file.IsOK()) {
        ZEM::LOG("FontBuilder: cannot open %s\n", fileName);
        return false;
    }
    return Open(file);
}

bool ZEMFontBuilder::Open(ZEMResFile& file) {
    Close();
    if (!file.IsOK()) return false;
    const unsigned start = file.GetPos();
    file.SeekEnd();
    const unsigned end = file.GetPos();
    if (end <= start || end - start > MAX_FONT_FILE || !file.Seek(int(start), SEEK_SET)) {
        ZEM::LOG("FontBuilder: font file empty or too large\n");
        return false;
    }
    const unsigned size = end - start;
    Face* face = new (std::nothrow) Face;
    if (!face) return false;
    face->data = new (std::nothrow) uint8_t[size];
    if (!face->data || file.Read(face->data, size) != size ||
        FT_Init_FreeType(&face->library) != 0 ||
        FT_New_Memory_Face(face->library, face->data, FT_Long(size), 0, &face->face) != 0) {
        ZEM::LOG("FontBuilder: not a font file that FreeType reads\n");
        delete face;
        return false;
    }
    // Codes are Latin-1, which is the start of Unicode; a face without a Unicode map is read
    // through its first map, whatever its codes are.
    if (FT_Select_Charmap(face->face, FT_ENCODING_UNICODE) != 0 && face->face->num_charmaps > 0)
        FT_Set_Charmap(face->face, face->face->charmaps[0]);
    face_ = face;
    return true;
}

void ZEMFontBuilder::Close() {
    delete face_;
    face_ = nullptr;
}

bool ZEMFontBuilder::IsOpen() const {
    return face_ != nullptr;
}

bool ZEMFontBuilder::Build(const Options& options, ZEMFont& font) {
    if (!face_) {
        ZEM::LOG("FontBuilder: no font file open\n");
        return false;
    }
    if (!CheckOptions(options)) return false;
    FT_Face face = face_->face;
    if (!SelectSize(face, options.size)) {
        ZEM::LOG("FontBuilder: size %u is not available\n", options.size);
        return false;
    }
    const unsigned size = face->size->metrics.y_ppem;

    std::vector<Cell> cells;
    std::vector<uint8_t> staged;
    cells.reserve(options.last - options.first + 1u);
    for (unsigned code = options.first; code <= options.last; ++code) {
        Cell cell;
        const FT_UInt index = code == SPACE ? 0 : FT_Get_Char_Index(face, code);
        if (index == 0) {
            cells.push_back(cell);
            continue;
        }
        if (FT_Load_Glyph(face, index, LoadFlags(options.format)) != 0 ||
            !IsReadableMode(face->glyph->bitmap.pixel_mode)) {
            ZEM::LOG("FontBuilder: glyph of code %u cannot be rendered; left empty\n", code);
            cells.push_back(cell);
            continue;
        }
        long inkX = 0;
        if (!MakeCell(face->glyph, code, cell, inkX)) return false;
        cell.pixels = staged.size();
        staged.resize(staged.size() + size_t(cell.glyph.width) * cell.glyph.height);
        StageInk(face->glyph->bitmap, options.format, inkX, cell.glyph.width,
                 staged.data() + cell.pixels);
        cells.push_back(cell);
    }

    const unsigned width = BitmapWidth(cells);
    const unsigned height = PackCells(cells, width);
    if (width > MAX_BITMAP_SIDE || height > MAX_BITMAP_SIDE) {
        ZEM::LOG("FontBuilder: glyph bitmap of %ux%u pixels is too large\n", width, height);
        return false;
    }
    uint8_t* bitmap = new (std::nothrow) uint8_t[size_t(width) * height]();
    ZEMChar* chars = new (std::nothrow) ZEMChar[cells.size()]();
    char* name = MakeName(options.name, face, size);
    if (!bitmap || !chars || !name) {
        delete[] bitmap;
        delete[] chars;
        delete[] name;
        return false;
    }
    for (size_t i = 0; i < cells.size(); ++i) {
        const ZEMChar& glyph = cells[i].glyph;
        chars[i] = glyph;
        for (unsigned y = 0; y < glyph.height; ++y) {
            std::memcpy(bitmap + size_t(glyph.y + y) * width + glyph.x,
                        staged.data() + cells[i].pixels + size_t(y) * glyph.width, glyph.width);
        }
    }

    font.Free();
    font.name = name;
    font.bitmap = bitmap;
    font.bitmapWidth = width;
    font.bitmapHeight = height;
    font.firstChar = options.first;
    font.lastChar = options.last;
    font.chars = chars;
    font.ascent = ClampedMetric(CeilPixels(face->size->metrics.ascender));
    font.descent = ClampedMetric(CeilPixels(-face->size->metrics.descender));
    font.spacing = options.spacing;
    font.whiteSize = SpaceWidth(face, options, size);
    font.format = options.format;
    builtSize_ = size;
    return true;
}
