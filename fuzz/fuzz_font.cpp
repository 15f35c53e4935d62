// Loads arbitrary bytes as a font file of either version. Whatever loads must hold a sound range
// and only glyphs inside its bitmap, measure without leaving it, and save and load back to the
// same font.
#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMFont.h>
#include <zem/stream/ZEMMemFile.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool SameGlyph(const ZEMChar& a, const ZEMChar& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height &&
           a.offset == b.offset;
}

bool SameFont(const ZEMFont& a, const ZEMFont& b) {
    if (std::strcmp(a.name, b.name) != 0 || a.firstChar != b.firstChar ||
        a.lastChar != b.lastChar || a.ascent != b.ascent || a.descent != b.descent ||
        a.spacing != b.spacing || a.whiteSize != b.whiteSize || a.format != b.format ||
        a.bitmapWidth != b.bitmapWidth || a.bitmapHeight != b.bitmapHeight) {
        return false;
    }
    for (unsigned i = 0; i <= a.lastChar - a.firstChar; ++i) {
        if (!SameGlyph(a.chars[i], b.chars[i])) return false;
    }
    size_t pixels = size_t(a.bitmapWidth) * a.bitmapHeight;
    return pixels == 0 || std::memcmp(a.bitmap, b.bitmap, pixels) == 0;
}

void Check(ZEMFont& font) {
    if (font.lastChar < font.firstChar || font.lastChar > 255 || !font.chars || !font.bitmap) {
        abort();
    }
    for (unsigned i = 0; i <= font.lastChar - font.firstChar; ++i) {
        const ZEMChar& g = font.chars[i];
        if (g.x + g.width > font.bitmapWidth || g.y + g.height > font.bitmapHeight) abort();
    }
    // Reading every glyph pixel lets the sanitizer see that it lies in the bitmap.
    unsigned sum = 0;
    for (unsigned i = 0; i <= font.lastChar - font.firstChar; ++i) {
        const ZEMChar& g = font.chars[i];
        for (unsigned y = g.y; y < unsigned(g.y) + g.height; ++y)
            for (unsigned x = g.x; x < unsigned(g.x) + g.width; ++x)
                sum += font.bitmap[size_t(y) * font.bitmapWidth + x];
    }
    char text[257];
    for (unsigned i = 0; i < 256; ++i)
        text[i] = char(i + 1);
    text[256] = '\0';
    unsigned width, height;
    font.TextSize(text, width, height, 0xFFFFFFFFu);
    font.PrintInfo(sum % 2 == 0);

    // The writer needs at most the header, the largest info block, the glyph table and the
    // unpacked bitmap.
    size_t size = 17 + 270 + 8 * 256 + 9 + size_t(font.bitmapWidth) * font.bitmapHeight;
    ZEMMemFile out(unsigned(size), ZEMResFile::READ | ZEMResFile::WRITE);
    if (!font.Save(out, 0)) abort();
    out.SeekStart();
    ZEMFont again(nullptr);
    if (!again.Load(out, 0) || !SameFont(font, again)) abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZEM::SetLogLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 0xFFFFFFFFu) return 0;
    std::vector<unsigned char> bytes(data, data + size);
    for (bool versioned : {true, false}) {
        ZEMMemFile file(unsigned(size), ZEMResFile::READ, bytes.data());
        ZEMFont font(nullptr);
        if (versioned ? font.Load(file, 0) : font.LoadV1(file, 1)) Check(font);
    }
    return 0;
}
