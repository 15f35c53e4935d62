// One scene of every drawing operation per depth, compared byte for byte with the raw pixels in
// tests/data/draw-scene-<bpp>.raw (48 x 32, rows top first, no header). The references were
// checked by eye; ZEM_UPDATE_GOLDEN=1 writes them anew from the current code.
#include "DrawFixtures.h"
#include "ZEMTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using drawtest::Blank;
using drawtest::Bytes;
using drawtest::COPY;
using drawtest::DEPTHS;
using drawtest::PlainFont;
using drawtest::TestFont;
using drawtest::XOR;

namespace {

// A colour of that depth: 3-3-2 bits on 8, 5-5-5 on 15, 5-6-5 on 16, 0xRRGGBB deeper.
unsigned Rgb(unsigned bpp, unsigned r, unsigned g, unsigned b) {
    switch (bpp) {
    case 8:
        return (r >> 5) << 5 | (g >> 5) << 2 | b >> 6;
    case 15:
        return (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
    case 16:
        return (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
    default:
        return r << 16 | g << 8 | b;
    }
}

void DrawScene(ZEMImage& image) {
    const unsigned bpp = image.bpp;
    image.Gradient(0, 0, 48, 20, Rgb(bpp, 0, 0, 96), Rgb(bpp, 0, 192, 255), 0, COPY);
    image.Gradient(0, 20, 48, 12, Rgb(bpp, 64, 128, 0), Rgb(bpp, 160, 96, 32), 1, COPY);
    image.Frame(1, 1, 46, 30, Rgb(bpp, 255, 255, 255), COPY);
    image.Rectangle(30, 4, 10, 6, Rgb(bpp, 255, 0, 0), COPY);
    image.Rectangle(34, 7, 10, 6, Rgb(bpp, 255, 255, 255), XOR);
    image.Line(2, 29, 45, 2, Rgb(bpp, 255, 255, 0), COPY);
    image.Circle(12, 12, 8, Rgb(bpp, 255, 255, 255), COPY);
    image.Disk(12, 12, 5, Rgb(bpp, 255, 128, 0), COPY);
    image.Disk(47, 31, 6, Rgb(bpp, 0, 255, 0), COPY); // cut at the bottom right corner

    // A sprite with a hole copied across the left edge, then plainly below.
    auto sprite = Blank(6, 6, bpp);
    sprite->Rectangle(0, 0, 6, 6, Rgb(bpp, 255, 0, 255), COPY);
    sprite->Rectangle(2, 2, 2, 2, 0, COPY);
    image.TCopyImage(-3, 22, 0, sprite.get(), 0, 0, 6, 6);
    image.CopyImage(20, 24, sprite.get(), 0, 0, 6, 6);
    image.CopyImage(22, 27, &image, 20, 24, 6, 6); // within the picture, overlapping

    auto font = PlainFont();
    image.SetClipping(0, 0, 40, 31);
    image.DrawText(28, 20, "AB CA", Rgb(bpp, 255, 255, 255), font.get(), ZEMFont::ALIGN_TOP);
    auto shaded = TestFont(2, {{'A', 0, {"123", "321", "1.3"}}});
    ZEMFont::FontParams params;
    params.font = shaded.get();
    params.align = ZEMFont::ALIGN_BASELINE;
    params.textColors[1] = Rgb(bpp, 85, 85, 85);
    params.textColors[2] = Rgb(bpp, 170, 170, 170);
    params.textColors[3] = Rgb(bpp, 255, 255, 255);
    image.DrawTextEx(36, 30, "AAA", params);
    image.StopClipping();
}

TEST(DrawSceneTest, EveryDepthMatchesItsReference) {
    const bool update = std::getenv("ZEM_UPDATE_GOLDEN") != nullptr;
    for (unsigned bpp : DEPTHS) {
        SCOPED_TRACE(std::to_string(bpp) + " bits");
        auto image = Blank(48, 32, bpp);
        DrawScene(*image);
        const auto bytes = Bytes(*image);
        const std::string drawn(bytes.begin(), bytes.end());
        const std::string path = zemtest::DataPath("draw-scene-" + std::to_string(bpp) + ".raw");
        if (update) zemtest::WriteFile(path, drawn);
        EXPECT_TRUE(zemtest::ReadFile(path) == drawn) << path << " differs";
    }
}

} // namespace
