#ifndef ZEM_TESTS_GRAPHICS_DRAWFIXTURES_H
#define ZEM_TESTS_GRAPHICS_DRAWFIXTURES_H

// What the drawing tests share: blank pictures of every depth, pictures written as text, and a
// small font built in memory.

#include <zem/graphics/ZEMFont.h>
#include <zem/graphics/ZEMImage.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace drawtest {

const unsigned DEPTHS[] = {8, 15, 16, 24, 32};

// The colour value as a pixel of that depth holds it (and GetPixel returns it).
inline unsigned Encoded(unsigned bpp, unsigned color) {
    switch ((bpp + 7) / 8) {
    case 1:
        return color & 0xFF;
    case 2:
        return color & 0xFFFF;
    case 3:
        return color & 0xFFFFFF;
    default:
        return color;
    }
}

// A picture of zero bytes.
inline std::unique_ptr<ZEMImage> Blank(unsigned width, unsigned height, unsigned bpp) {
    auto image = std::make_unique<ZEMImage>(width, height, bpp);
    std::memset(image->data, 0, size_t(image->height) * image->pitch);
    return image;
}

inline std::vector<uint8_t> Bytes(const ZEMImage& image) {
    return std::vector<uint8_t>(image.data, image.data + size_t(image.height) * image.pitch);
}

// The picture as text, one line per row: '.' for 0, the value in hexadecimal up to 15, '#'
// above.
inline std::string Picture(const ZEMImage& image) {
    std::string text;
    for (unsigned y = 0; y < image.height; ++y) {
        for (unsigned x = 0; x < image.width; ++x) {
            const unsigned v = image.GetPixel(int(x), int(y));
            text += v == 0 ? '.' : v < 16 ? "0123456789ABCDEF"[v] : '#';
        }
        text += '\n';
    }
    return text;
}

// Joins rows into the form Picture gives.
inline std::string Rows(std::initializer_list<const char*> rows) {
    std::string text;
    for (const char* row : rows)
        text += std::string(row) + "\n";
    return text;
}

const ZEMImage::DrawMode COPY = ZEMImage::DRAW_COPY;
const ZEMImage::DrawMode XOR = ZEMImage::DRAW_XOR;

// A clip rectangle, inclusive.
struct Window {
    int x1, y1, x2, y2;
};

// Clipping only hides pixels: draw on a blank picture clipped to the window gives the pixels of
// the same drawing unclipped inside the window and nothing outside.
inline void ExpectClipped(const std::function<void(ZEMImage&)>& draw, unsigned width,
                          unsigned height, unsigned bpp, const Window& w) {
    SCOPED_TRACE("window " + std::to_string(w.x1) + "," + std::to_string(w.y1) + " to " +
                 std::to_string(w.x2) + "," + std::to_string(w.y2));
    auto whole = Blank(width, height, bpp);
    draw(*whole);
    auto image = Blank(width, height, bpp);
    image->SetClipping(w.x1, w.y1, w.x2, w.y2);
    draw(*image);
    for (int y = 0; y < int(height); ++y)
        for (int x = 0; x < int(width); ++x) {
            const bool inside = x >= w.x1 && x <= w.x2 && y >= w.y1 && y <= w.y2;
            ASSERT_EQ(image->GetPixel(x, y), inside ? whole->GetPixel(x, y) : 0u)
                << "at " << x << "," << y;
        }
}

// Glyphs written as rows of pixel values ('.' is 0).
struct GlyphArt {
    unsigned char code;
    int offset;
    std::vector<std::string> rows;
};

// A font over the glyphs laid side by side in one glyph picture, with ascent 5, descent 2,
// spacing 1 and spaces 3 wide. 'D' has an empty record.
inline std::unique_ptr<ZEMFont> TestFont(unsigned char format,
                                         const std::vector<GlyphArt>& glyphs) {
    unsigned width = 0, height = 0;
    for (const GlyphArt& glyph : glyphs) {
        width += unsigned(glyph.rows[0].size());
        height = std::max(height, unsigned(glyph.rows.size()));
    }
    auto picture = Blank(width, height, 8);
    unsigned left = 0;
    for (const GlyphArt& glyph : glyphs) {
        for (size_t y = 0; y < glyph.rows.size(); ++y) {
            for (size_t x = 0; x < glyph.rows[y].size(); ++x) {
                const char c = glyph.rows[y][x];
                picture->data[y * picture->pitch + left + x] = c == '.' ? 0 : uint8_t(c - '0');
            }
        }
        left += unsigned(glyph.rows[0].size());
    }
    auto font = std::make_unique<ZEMFont>("test", 'A', 'D', picture.get(), format);
    left = 0;
    for (const GlyphArt& glyph : glyphs) {
        ZEMChar record = {uint16_t(left), 0, uint8_t(glyph.rows[0].size()),
                          uint8_t(glyph.rows.size()), int16_t(glyph.offset)};
        font->SetChar(glyph.code, &record);
        left += record.width;
    }
    font->ascent = 5;
    font->descent = 2;
    font->spacing = 1;
    font->whiteSize = 3;
    return font;
}

// 'A' 3 x 5 standing on the baseline, 'B' 4 x 3 reaching one row below it, 'C' 2 x 2 floating
// two rows above it.
inline std::unique_ptr<ZEMFont> PlainFont() {
    return TestFont(1, {{'A', 0, {"1.1", "111", "1.1", "111", "11."}},
                        {'B', 1, {"1..1", ".11.", "1111"}},
                        {'C', -3, {"1.", ".1"}}});
}

} // namespace drawtest

#endif
