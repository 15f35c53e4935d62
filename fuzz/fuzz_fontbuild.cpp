// Builds a font from arbitrary bytes taken as a font file (BDF, PCF, TrueType ...). Whatever
// builds must hold only glyphs inside its bitmap with pixels of its format, draw without leaving
// the picture, and save and load back.
#include <zem/ZEMConfig.h>
#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMFont.h>
#include <zem/graphics/ZEMFontBuilder.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/stream/ZEMMemFile.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#if ZEM_HAS_FREETYPE

namespace {

const unsigned char FORMATS[] = {1, 2, 8};

void Check(ZEMFont& font) {
    const unsigned top = font.format == 1 ? 1 : font.format == 2 ? 3 : 255;
    for (unsigned i = 0; i <= font.lastChar - font.firstChar; ++i) {
        const ZEMChar& g = font.chars[i];
        if (g.x + g.width > font.bitmapWidth || g.y + g.height > font.bitmapHeight) abort();
        for (unsigned y = g.y; y < unsigned(g.y) + g.height; ++y)
            for (unsigned x = g.x; x < unsigned(g.x) + g.width; ++x)
                if (font.bitmap[size_t(y) * font.bitmapWidth + x] > top) abort();
    }
    char text[257];
    for (unsigned i = 0; i < 256; ++i)
        text[i] = char(i + 1);
    text[256] = '\0';
    ZEMImage image(64, 32, 8);
    image.DrawText(-20, 16, text, 1, &font, ZEMFont::ALIGN_BASELINE, -1);

    // The header, the largest info block, the glyph table and the unpacked bitmap.
    const size_t bytes = 17 + 270 + 8 * 256 + 9 + size_t(font.bitmapWidth) * font.bitmapHeight;
    ZEMMemFile out(unsigned(bytes), ZEMResFile::READ | ZEMResFile::WRITE);
    if (!font.Save(out, 0)) abort();
    out.SeekStart();
    ZEMFont again(nullptr);
    if (!again.Load(out, 0)) abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZEM::SetLogLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 20)) return 0;
    std::vector<unsigned char> bytes(data, data + size);
    ZEMMemFile file(unsigned(size), ZEMResFile::READ, bytes.data());
    ZEMFontBuilder builder;
    if (!builder.Open(file)) return 0;
    ZEMFontBuilder::Options options;
    options.size = 4 + unsigned(size % 29);
    options.format = FORMATS[size % 3];
    options.first = 0;
    options.last = 255;
    ZEMFont font(nullptr);
    if (builder.Build(options, font)) Check(font);
    return 0;
}

#else

extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) {
    return 0;
}

#endif
