// A font built from DejaVu Sans in full coverage, saved and loaded back as a game would ship it,
// captions the drawing scene with smooth text written in UTF-8.
#include "Tour.h"

#include <zem/ZEMConfig.h>
#include <zem/core.h>
#include <zem/graphics.h>
#include <zem/provider.h>
#include <zem/text.h>

#include <memory>
#include <string>

namespace {

const char DEJAVU[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char FONT_FILE[] = "sans16.zfn";
const char SCENE[] = "drawing32.bmp"; // written by the drawing stop
const char CAPTIONED[] = "caption32.bmp";
const unsigned WIDTH = 320, HEIGHT = 200;

// The drawing stop's picture, or a plain dusk sky when it is not there.
std::unique_ptr<ZEMImage> Scene() {
    auto scene = std::make_unique<ZEMImage>(WIDTH, HEIGHT, 32);
    if (scene->LoadName(SCENE, 0) && scene->bpp == 32) {
        ZEM::LOG("  captioning %s\n", SCENE);
        return scene;
    }
    scene->NewFormat(WIDTH, HEIGHT, 32);
    scene->Gradient(0, 0, WIDTH, HEIGHT, 0xFF000050, 0xFF70C8FF, 0, ZEMImage::DRAW_COPY);
    return scene;
}

#if ZEM_HAS_FREETYPE

// Builds DejaVu Sans 16 px, Latin-1, with 256 coverage levels, and writes it as a font file.
bool WriteFont() {
    if (!ZEMFileUtils::FileExist(DEJAVU)) {
        ZEM::LOG("  %s is not installed: no font to build\n", DEJAVU);
        return false;
    }
    ZEMFontBuilder builder;
    ZEMFontBuilder::Options options;
    options.format = 8;
    options.last = 255;
    ZEMFont font(nullptr);
    if (!builder.Open(DEJAVU) || !builder.Build(options, font) || !font.SaveName(FONT_FILE, 0))
        return false;
    ZEM::LOG("  built \"%s\": codes %u to %u, ascent %d, descent %d, bitmap %ux%u, into %s\n",
             font.name, font.firstChar, font.lastChar, font.ascent, font.descent, font.bitmapWidth,
             font.bitmapHeight, FONT_FILE);
    return true;
}

#else

bool WriteFont() {
    ZEM::LOG("  this library was built without FreeType: no font to build\n");
    return false;
}

#endif

} // namespace

void TourFontBuild() {
    ZEM::LOG("== Font building: DejaVu Sans rasterised into a bitmap font that captions the "
             "scene\n");
    if (!WriteFont()) return;
    ZEMFont font(FONT_FILE);
    auto scene = Scene();
    const unsigned panel = 0xFF303040;
    // Text from a UTF-8 source becomes the Latin-1 codes the font holds.
    const char utf8[] = "Hello, World! \xC3\x80 bient\xC3\xB4t, ZEMBase.";
    std::string caption;
    ZEMLatin1::FromUtf8(utf8, sizeof utf8 - 1, caption);
    const unsigned width = font.TextWidth(caption.c_str(), ~0u);
    const int height = font.ascent + font.descent;
    scene->Rectangle(8, 156, width + 12, unsigned(height) + 8, panel, ZEMImage::DRAW_COPY);
    scene->BlendText(14, 160, caption.c_str(), 0xFFFFFFFF, &font, ZEMFont::ALIGN_TOP);
    if (scene->SaveName(CAPTIONED, 1))
        ZEM::LOG("  wrote %s\n", CAPTIONED);
    else
        ZEM::LOG("  could not write %s\n", CAPTIONED);
}
