// Depth conversion: every pair of depths on colours that all depths hold exactly, the rounding of
// 5-bit levels and the fate of alpha, the nearest palette colour, and failures that change
// nothing.
#include "DrawFixtures.h"

#include <zem/graphics/ZEMPal.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using drawtest::Blank;
using drawtest::Bytes;
using drawtest::DEPTHS;

namespace {

// Colours whose bytes are all 5-bit levels widened (0, 8, 66, 132, 255 are the levels 0, 1, 8,
// 16, 31), with their 5-5-5 words; in 8 bits each is its own index.
struct Reference {
    unsigned rgb;
    unsigned word;
};
const Reference COLORS[] = {{0x000000, 0x0000}, {0xFFFFFF, 0x7FFF}, {0xFF0000, 0x7C00},
                            {0x008400, 0x0200}, {0x0842FF, 0x051F}, {0x840842, 0x4028}};
const unsigned NB_COLORS = sizeof COLORS / sizeof COLORS[0];

std::unique_ptr<ZEMPal> Palette(const std::vector<unsigned>& rgbs) {
    auto palette = std::make_unique<ZEMPal>(unsigned(rgbs.size()));
    for (size_t i = 0; i < rgbs.size(); ++i) {
        const uint8_t color[4] = {uint8_t(rgbs[i] >> 16), uint8_t(rgbs[i] >> 8), uint8_t(rgbs[i]),
                                  0};
        std::memcpy(palette->colors + 4 * i, color, 4);
    }
    return palette;
}

std::unique_ptr<ZEMPal> ReferencePalette() {
    std::vector<unsigned> rgbs;
    for (const Reference& c : COLORS)
        rgbs.push_back(c.rgb);
    return Palette(rgbs);
}

unsigned PixelOf(unsigned bpp, unsigned i) {
    switch (bpp) {
    case 8:
        return i;
    case 15:
    case 16:
        return COLORS[i].word;
    case 24:
        return COLORS[i].rgb;
    default:
        return 0xFF000000u | COLORS[i].rgb;
    }
}

// One row of the reference colours, the second row the same backward.
std::unique_ptr<ZEMImage> ReferencePicture(unsigned bpp) {
    auto image = Blank(NB_COLORS, 2, bpp);
    for (unsigned i = 0; i < NB_COLORS; ++i) {
        image->HLine(int(i), 0, 1, PixelOf(bpp, i), ZEMImage::DRAW_COPY);
        image->HLine(int(NB_COLORS - 1 - i), 1, 1, PixelOf(bpp, i), ZEMImage::DRAW_COPY);
    }
    if (bpp == 8) image->ReplacePalette(ReferencePalette().release());
    return image;
}

// A 1 x 1 picture of that depth and pixel.
std::unique_ptr<ZEMImage> Pixel(unsigned bpp, unsigned pixel, ZEMPal* palette = nullptr) {
    auto image = Blank(1, 1, bpp);
    image->HLine(0, 0, 1, pixel, ZEMImage::DRAW_COPY);
    if (palette) image->ReplacePalette(palette);
    return image;
}

std::vector<uint8_t> PaletteBytes(const ZEMPal& palette) {
    return std::vector<uint8_t>(palette.colors, palette.colors + 4 * palette.nbColors);
}

TEST(ConvertTest, EveryDepthPairKeepsTheColours) {
    const auto palette = ReferencePalette();
    for (unsigned from : DEPTHS) {
        for (unsigned to : DEPTHS) {
            SCOPED_TRACE(std::to_string(from) + " to " + std::to_string(to) + " bits");
            auto image = ReferencePicture(from);
            image->SetClipping(1, 0, 4, 1);
            ASSERT_TRUE(image->ConvertTo(to, to == 8 ? palette.get() : nullptr));
            const auto expected = ReferencePicture(to);
            EXPECT_EQ(image->bpp, to);
            EXPECT_EQ(image->pitch, expected->pitch);
            EXPECT_EQ(Bytes(*image), Bytes(*expected));
            EXPECT_EQ(image->clipX1, 1);
            EXPECT_EQ(image->clipX2, 4);
            if (to != 8) {
                EXPECT_EQ(image->palette, nullptr);
                continue;
            }
            ASSERT_NE(image->palette, nullptr);
            EXPECT_NE(image->palette, palette.get()); // a copy of its own
            EXPECT_EQ(PaletteBytes(*image->palette), PaletteBytes(*palette));
        }
    }
}

TEST(ConvertTest, LevelsRoundAndAlphaGoesOnlyTo32Bits) {
    // Widening repeats a 5-bit level's top bits; narrowing takes the nearest level,
    // (c x 31 + 127) / 255: 4 -> 0, 5 -> 1, 135 -> 16, 136 -> 17, 250 -> 30, 251 -> 31.
    struct Case {
        unsigned from, pixel, to, expected;
    };
    const Case cases[] = {
        {32, 0x40AABBCC, 24, 0xAABBCC}, {24, 0xAABBCC, 32, 0xFFAABBCC},
        {16, 0x8421, 32, 0xFF080808},   {15, 0x7FFF, 24, 0xFFFFFF},
        {16, 0x4210, 24, 0x848484},     {24, 0x878805, 16, 0x4221},
        {24, 0xFAFB04, 15, 0x7BE0},     {32, 0x00FFFFFF, 15, 0x7FFF},
        {16, 0xFFFF, 15, 0x7FFF},       {32, 0x12345678, 16, 0x194F},
    };
    for (const Case& c : cases) {
        auto image = Pixel(c.from, c.pixel);
        ASSERT_TRUE(image->ConvertTo(c.to));
        EXPECT_EQ(image->GetPixel(0, 0), c.expected)
            << std::hex << c.pixel << " from " << std::dec << c.from << " to " << c.to;
    }
    // Palette colours carry alpha 0 and still give opaque pixels; an index past the palette is
    // black.
    for (unsigned index : {1u, 5u}) {
        auto image = Pixel(8, index, Palette({0x000000, 0x0A141E}).release());
        ASSERT_TRUE(image->ConvertTo(32));
        EXPECT_EQ(image->GetPixel(0, 0), index == 1 ? 0xFF0A141Eu : 0xFF000000u);
    }
}

TEST(ConvertTest, EightBitsTakeTheNearestOfTheFirst256Colours) {
    // Black, white, red, a blue, red again: a tie goes to the lowest index.
    auto palette = Palette({0x000000, 0xFFFFFF, 0xFF0000, 0x0000C8, 0xFF0000});
    const std::pair<unsigned, unsigned> cases[] = {
        {0x000000, 0}, {0xF0F0F0, 1}, {0xC01010, 2}, {0x0000FF, 3},
        {0x800000, 2}, {0x7F0000, 0}, {0x000064, 0}, {0xFF0000, 2},
    };
    for (const auto& c : cases) {
        auto image = Pixel(24, c.first);
        ASSERT_TRUE(image->ConvertTo(8, palette.get()));
        EXPECT_EQ(image->GetPixel(0, 0), c.second) << std::hex << c.first;
    }

    // Only the first 256 colours are indexes: black past them is not chosen.
    std::vector<unsigned> whites(300, 0xFFFFFF);
    whites[280] = 0x000000;
    auto large = Palette(whites);
    auto black = Pixel(32, 0xFF000000u);
    ASSERT_TRUE(black->ConvertTo(8, large.get()));
    EXPECT_EQ(black->GetPixel(0, 0), 0u);
    EXPECT_EQ(black->palette->nbColors, 300u);

    // Without a palette given, the picture's own serves (a codec may leave one on 24 bits).
    auto own = Pixel(24, 0xFF0000);
    own->palette = Palette({0x000000, 0xFF0000}).release();
    ASSERT_TRUE(own->ConvertTo(8));
    EXPECT_EQ(own->GetPixel(0, 0), 1u);
    EXPECT_EQ(own->palette->nbColors, 2u);
}

TEST(ConvertTest, EightBitsMapOntoAnotherPalette) {
    auto image = Blank(2, 1, 8);
    image->data[1] = 1;
    image->ReplacePalette(Palette({0xFF0000, 0x000000}).release());
    auto other = Palette({0x000000, 0xFA0000});
    ASSERT_TRUE(image->ConvertTo(8, other.get()));
    EXPECT_EQ(image->GetPixel(0, 0), 1u);
    EXPECT_EQ(image->GetPixel(1, 0), 0u);
    EXPECT_EQ(PaletteBytes(*image->palette), PaletteBytes(*other));
    other.reset(); // the picture's palette is a copy
    EXPECT_EQ(image->palette->colors[4], 0xFA);

    // An 8-bit picture without a palette reads the colours given.
    auto bare = Blank(1, 1, 8);
    bare->data[0] = 1;
    auto colours = Palette({0x000000, 0x102030});
    ASSERT_TRUE(bare->ConvertTo(24, colours.get()));
    EXPECT_EQ(bare->GetPixel(0, 0), 0x102030u);
}

TEST(ConvertTest, FailuresChangeNothing) {
    auto empty = std::make_unique<ZEMPal>(0u);
    struct Case {
        const char* what;
        unsigned from, to;
        bool ownPalette;
        const ZEMPal* given;
    };
    const Case cases[] = {
        {"no such depth", 24, 12, false, nullptr},
        {"no depth", 32, 0, false, nullptr},
        {"8 bits without colours", 8, 32, false, nullptr},
        {"8 bits with an empty palette given", 8, 24, false, empty.get()},
        {"to 8 bits without a palette", 24, 8, false, nullptr},
        {"to 8 bits with an empty palette", 32, 8, false, empty.get()},
    };
    for (const Case& c : cases) {
        auto image = ReferencePicture(c.from);
        if (!c.ownPalette) image->ReplacePalette(nullptr);
        const auto before = Bytes(*image);
        EXPECT_FALSE(image->ConvertTo(c.to, c.given)) << c.what;
        EXPECT_EQ(image->bpp, c.from) << c.what;
        EXPECT_EQ(Bytes(*image), before) << c.what;
    }
    // A picture without pixels changes its depth alone.
    ZEMImage none(0, 4, 24);
    EXPECT_TRUE(none.ConvertTo(32));
    EXPECT_EQ(none.bpp, 32);
    EXPECT_EQ(none.data, nullptr);
}

} // namespace
