// Text drawing of ZEMImage in a bitmap font: one colour, shades for 2-bit fonts, or the colour
// mixed over the picture by each glyph pixel's coverage.
#include <zem/graphics/ZEMImage.h>

#include "graphics/ZEMCanvas.h"

#include <cstring>

using ZEM::Draw::Canvas;
using ZEM::Draw::CutRange;

namespace {

const unsigned char SPACE = ' ';
const unsigned char TAB = '\t';

int64_t Baseline(const ZEMFont& font, int64_t y, ZEMFont::FontAlign align) {
    switch (align) {
    case ZEMFont::ALIGN_TOP:
        return y + font.ascent - 1;
    case ZEMFont::ALIGN_BOTTOM:
        return y - font.descent;
    default:
        return y;
    }
}

// How the glyph pixels are coloured: colors[v] for a pixel of value v in a shaded (2-bit) font,
// colors[3] for any non-zero pixel otherwise; or, when full is not 0, colors[3] mixed over the
// picture by the pixel's coverage, value / full.
struct Ink {
    const uint32_t* colors;
    bool shaded;
    unsigned full = 0;

    unsigned Color(const uint8_t* pixel) const {
        if (!shaded) return colors[3];
        // A 2-bit font holds 0 to 3; a larger value is taken as the strongest shade.
        return colors[pixel[0] < 3 ? pixel[0] : 3];
    }

    void Put(uint8_t* target, unsigned bytes, const uint8_t* pixel) const {
        if (full == 0) return ZEM::Draw::Store(target, bytes, Color(pixel));
        const unsigned cover = pixel[0] >= full ? 255u : pixel[0] * 255u / full;
        // Each byte moves toward the colour's by the coverage, rounded to the nearest level.
        for (unsigned i = 0; i < bytes; ++i) {
            const unsigned ink = (colors[3] >> (8 * i)) & 0xFFu;
            target[i] = uint8_t((target[i] * (255u - cover) + ink * cover + 127u) / 255u);
        }
    }
};

bool Blank(const uint8_t* pixel, unsigned bytes) {
    for (unsigned i = 0; i < bytes; ++i)
        if (pixel[i] != 0) return false;
    return true;
}

// Bytes per glyph bitmap pixel: one up to 8 bits, more for deeper fonts, whose pixels are drawn
// where any of their bytes is not zero.
unsigned GlyphBytes(const ZEMFont& font) {
    return font.format > 8 ? (font.format + 7u) / 8u : 1u;
}

// The glyph's rectangle lies inside the bitmap; one that does not is never drawn.
bool InBitmap(const ZEMFont& font, const ZEMChar& glyph) {
    return font.bitmap && uint64_t(glyph.x) + glyph.width <= font.bitmapWidth &&
           uint64_t(glyph.y) + glyph.height <= font.bitmapHeight;
}

// Draws the glyph with its left column at pen on the baseline.
void DrawGlyph(const Canvas& canvas, const ZEMFont& font, const ZEMChar& glyph, int64_t pen,
               int64_t baseline, const Ink& ink) {
    if (!InBitmap(font, glyph)) return;
    int64_t left = pen, right = pen + glyph.width - 1;
    int64_t top = baseline - glyph.height + glyph.offset + 1, bottom = baseline + glyph.offset;
    const int64_t firstLeft = left, firstTop = top;
    if (!CutRange(left, right, canvas.x1, canvas.x2)) return;
    if (!CutRange(top, bottom, canvas.y1, canvas.y2)) return;
    const unsigned bytes = GlyphBytes(font);
    const size_t rowBytes = size_t(font.bitmapWidth) * bytes;
    for (int64_t y = top; y <= bottom; ++y) {
        const size_t sourceRow = size_t(glyph.y + (y - firstTop));
        const uint8_t* source =
            font.bitmap + sourceRow * rowBytes + size_t(glyph.x + (left - firstLeft)) * bytes;
        uint8_t* target = canvas.At(left, y);
        for (int64_t x = left; x <= right; ++x, source += bytes, target += canvas.bytes) {
            if (!Blank(source, bytes)) ink.Put(target, canvas.bytes, source);
        }
    }
}

// Lays out and draws the text: the pen moves by the advance of every character plus the spacing.
void DrawLine(const ZEMImage& image, int64_t x, int64_t y, const char* text, int len,
              const ZEMFont* font, ZEMFont::FontAlign align, const Ink& ink) {
    if (!font || !text) return;
    const Canvas canvas(image);
    if (canvas.Empty() || x > canvas.x2) return;
    const int64_t baseline = Baseline(*font, y, align);
    if (baseline - font->ascent > canvas.y2 || baseline + font->descent < canvas.y1) return;
    const size_t count = len < 0 ? std::strlen(text) : size_t(len);
    int64_t pen = x;
    for (size_t i = 0; i < count && pen <= canvas.x2; ++i) {
        const unsigned char code = static_cast<unsigned char>(text[i]);
        // Blanks only advance; CharWidth knows how far.
        if (code != SPACE && code != TAB && font->chars && code >= font->firstChar &&
            code <= font->lastChar) {
            const ZEMChar& glyph = font->chars[code - font->firstChar];
            if (glyph.width != 0 && pen + glyph.width > canvas.x1)
                DrawGlyph(canvas, *font, glyph, pen, baseline, ink);
        }
        pen += font->CharWidth(code) + font->spacing;
    }
}

} // namespace

void ZEMImage::DrawText(int x, int y, const char* text, unsigned color, ZEMFont* font,
                        ZEMFont::FontAlign align, int len) {
    const uint32_t colors[4] = {color, color, color, color};
    DrawLine(*this, x, y, text, len, font, align, Ink{colors, false});
}

void ZEMImage::DrawTextEx(int x, int y, const char* text, ZEMFont::FontParams& params, int len) {
    const ZEMFont* font = params.font;
    const bool shaded = font && font->format == 2;
    DrawLine(*this, x, y, text, len, font, params.align, Ink{params.textColors, shaded});
}

void ZEMImage::BlendText(int x, int y, const char* text, unsigned color, ZEMFont* font,
                         ZEMFont::FontAlign align, int len) {
    // Coverage needs one byte per glyph pixel and room for levels in the picture's pixels.
    const bool levels = font && font->format <= 8 && (bpp == 24 || bpp == 32);
    if (!levels) return DrawText(x, y, text, color, font, align, len);
    const uint32_t colors[4] = {color, color, color, color};
    const unsigned full = font->format == 8 ? 255u : font->format == 2 ? 3u : 1u;
    DrawLine(*this, x, y, text, len, font, align, Ink{colors, false, full});
}
