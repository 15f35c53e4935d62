#include "Tour.h"

#include <zem/core.h>
#include <zem/graphics.h>
#include <zem/resource.h>
#include <zem/stream.h>

#include <cstring>

namespace {

// Glyphs of 'H' and 'I', three pixels wide, side by side with one free column between them.
const char* const GLYPH_ROWS[] = {
    "#.#.###", //
    "#.#..#.", //
    "###..#.", //
    "#.#..#.", //
    "#.#.###", //
};
constexpr unsigned GLYPH_WIDTH = 7;
constexpr unsigned GLYPH_HEIGHT = 5;

void WritePalette(const char* path) {
    const char text[] = "GIMP Palette\n"
                        "Name: Sunset\n"
                        "Columns: 4\n"
                        "#\n"
                        " 20  12  48\tnight\n"
                        "120  40  90\tdusk\n"
                        "250 120  60\tsun\n"
                        "255 220 150\tglow\n";
    ZEMFile file(path, ZEMResFile::READ | ZEMResFile::WRITE | ZEMResFile::TRUNCATE);
    file.Write(text, unsigned(std::strlen(text)));
}

// A 1-bit font built in memory from the glyph picture above.
ZEMFont* BuildFont() {
    ZEMImage picture(GLYPH_WIDTH, GLYPH_HEIGHT, 8);
    for (unsigned y = 0; y < GLYPH_HEIGHT; ++y) {
        for (unsigned x = 0; x < GLYPH_WIDTH; ++x)
            picture.data[y * picture.pitch + x] = GLYPH_ROWS[y][x] == '#';
    }
    ZEMFont* font = new ZEMFont("Tiny", 'H', 'I', &picture, 1);
    ZEMChar h = {0, 0, 3, 5, 0};
    ZEMChar i = {4, 0, 3, 5, 0};
    font->SetChar('H', &h);
    font->SetChar('I', &i);
    font->ascent = 5;
    font->spacing = 1;
    font->whiteSize = 3;
    return font;
}

// Prints text with the font's glyphs, one text row per bitmap row.
void ShowText(const ZEMFont& font, const char* text) {
    for (unsigned row = 0; row < GLYPH_HEIGHT; ++row) {
        ZEM::LOG("    ");
        for (const char* c = text; *c; ++c) {
            const unsigned code = static_cast<unsigned char>(*c);
            if (code < font.firstChar || code > font.lastChar) {
                for (unsigned n = 0; n < font.CharWidth(code) + font.spacing; ++n)
                    ZEM::LOG(" ");
                continue;
            }
            const ZEMChar& glyph = font.chars[code - font.firstChar];
            for (unsigned x = 0; x < glyph.width; ++x) {
                const uint8_t pixel = font.bitmap[(glyph.y + row) * font.bitmapWidth + glyph.x + x];
                ZEM::LOG("%c", pixel ? '#' : ' ');
            }
            ZEM::LOG(" ");
        }
        ZEM::LOG("\n");
    }
}

} // namespace

void TourGraphics() {
    ZEM::LOG("== Graphics: a GIMP palette and a font built in memory, served by the resource "
             "manager\n");
    WritePalette("sunset.gpl");
    ZEMResFinder finder;
    finder.AddSource(".", false);
    ZEMResMgr manager(finder);

    // The palette is loaded once; the second request shares the same object.
    auto* palette =
        static_cast<ZEMPal*>(manager.Load(ZEMResMgr::RES_PALETTE, "sunset.gpl", 0, true));
    if (!palette) {
        ZEM::LOG("  could not load sunset.gpl\n");
        return;
    }
    ZEMResource* again = manager.Load(ZEMResMgr::RES_PALETTE, "sunset.gpl", 0, true);
    ZEM::LOG("  sunset.gpl: %u colours (Name, Columns and comment lines skipped), the second "
             "Load gives the %s object\n",
             palette->nbColors, again == palette ? "same" : "another");
    for (unsigned i = 0; i < palette->nbColors; ++i) {
        const unsigned char* c = palette->colors + 4 * i;
        ZEM::LOG("    [%u] #%02X%02X%02X\n", i, c[0], c[1], c[2]);
    }

    // A font made by the program is handed to the manager, which owns it from then on.
    manager.Add(ZEMResMgr::RES_FONT, "tiny", BuildFont());
    auto* font = static_cast<ZEMFont*>(manager.Get("tiny"));
    ZEM::LOG("  font \"%s\": \"HI HI\" is %u pixels wide\n", font->name,
             font->TextWidth("HI HI", 0xFFFFFFFFu));
    ShowText(*font, "HI HI");

    manager.PrintContent();
    manager.Release(palette);
    manager.Release("sunset.gpl");
    manager.Release(font);
    ZEM::LOG("  after two releases of the palette and one of the font:\n");
    manager.PrintContent();
}
