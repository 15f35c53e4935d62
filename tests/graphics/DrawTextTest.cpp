// Text drawing: layout on the baseline, alignment, spaces and tabs, lengths, clipping at every
// edge, shades of 2-bit fonts, and fonts that hold values or glyphs they should not.
#include "DrawFixtures.h"

#include <gtest/gtest.h>

#include <cstring>

using drawtest::Blank;
using drawtest::DEPTHS;
using drawtest::ExpectClipped;
using drawtest::Picture;
using drawtest::PlainFont;
using drawtest::Rows;
using drawtest::TestFont;
using drawtest::Window;

namespace {

const ZEMFont::FontAlign BASELINE = ZEMFont::ALIGN_BASELINE;

std::string Drawn(ZEMFont* font, int x, int y, const char* text, ZEMFont::FontAlign align,
                  int len = -1, unsigned width = 20) {
    auto image = Blank(width, 9, 8);
    image->DrawText(x, y, text, 7, font, align, len);
    return Picture(*image);
}

TEST(DrawTextTest, GlyphsStandOnTheBaselineAndAdvanceWithSpacing) {
    auto font = PlainFont();
    // 'A' at 1, 'B' at 1 + 3 + 1, a space of 3 + 1, 'C' above the baseline, then a tab.
    EXPECT_EQ(Drawn(font.get(), 1, 6, "AB C\tA", BASELINE),
              Rows({"....................", "....................", ".7.7..........7.....",
                    ".777...........7....", ".7.7................", ".777.7..7...........",
                    ".77...77............", ".....7777...........", "...................."}));
}

TEST(DrawTextTest, AlignmentPlacesTheBaseline) {
    auto font = PlainFont();
    const std::string onRow6 = Drawn(font.get(), 0, 6, "A", BASELINE);
    EXPECT_EQ(Drawn(font.get(), 0, 2, "A", ZEMFont::ALIGN_TOP), onRow6);    // 2 + 5 - 1
    EXPECT_EQ(Drawn(font.get(), 0, 8, "A", ZEMFont::ALIGN_BOTTOM), onRow6); // 8 - 2
    EXPECT_EQ(Drawn(font.get(), 0, 6, "A", ZEMFont::FontAlign(9)), onRow6);
    // At y = 0 with ALIGN_TOP the baseline is row ascent - 1: the glyph's bottom row is row 4.
    auto top = Blank(4, 6, 8);
    top->DrawText(0, 0, "A", 7, font.get(), ZEMFont::ALIGN_TOP);
    EXPECT_EQ(Picture(*top), Rows({"7.7.", "777.", "7.7.", "777.", "77..", "...."}));
}

TEST(DrawTextTest, TabsLengthsAndUnknownCodesAdvanceAsMeasured) {
    auto font = PlainFont();
    auto column = [&](const char* text, int len) {
        auto image = Blank(40, 9, 8);
        image->DrawText(0, 6, text, 7, font.get(), BASELINE, len);
        std::string columns;
        for (int x = 0; x < 40; ++x)
            if (image->GetPixel(x, 2) != 0) columns += std::to_string(x) + " ";
        return columns;
    };
    // Row 2 holds the first row of 'A', "1.1": two columns per 'A'.
    EXPECT_EQ(column("A\tA", -1), "0 2 29 31 ");     // 3 + 1 + 8 x 3 + 1
    EXPECT_EQ(column("A A", -1), "0 2 8 10 ");       // 3 + 1 + 3 + 1
    EXPECT_EQ(column("AAA", 2), "0 2 4 6 ");         // two characters
    EXPECT_EQ(column("AAA", 0), "");                 // none
    EXPECT_EQ(column("AAA", -2), column("AAA", -1)); // any negative length: the whole text
    EXPECT_EQ(column("A\0A", 3), "0 2 5 7 ");        // code 0: spacing only
    EXPECT_EQ(column("ADA", -1), "0 2 5 7 ");        // empty glyph: spacing only
    EXPECT_EQ(column("A\x90"
                     "A",
                     -1),
              "0 2 5 7 "); // outside the range
}

TEST(DrawTextTest, ClippingCutsGlyphsAtEveryEdge) {
    auto font = PlainFont();
    const char* text = "ABCA";
    const Window windows[] = {{2, 0, 19, 8}, {0, 0, 6, 8}, {0, 3, 19, 8},
                              {0, 0, 19, 5}, {6, 4, 7, 6}, {15, 0, 19, 8}};
    for (unsigned bpp : DEPTHS) {
        SCOPED_TRACE(std::to_string(bpp) + " bits");
        for (const Window& w : windows) {
            ExpectClipped(
                [&](ZEMImage& image) {
                    image.DrawText(1, 6, text, 0x12345678, font.get(), BASELINE);
                },
                20, 9, bpp, w);
        }
    }
    // Starting left of the picture: only the last column of 'A' shows.
    EXPECT_EQ(Drawn(font.get(), -2, 6, "A", BASELINE, -1, 3),
              Rows({"...", "...", "7..", "7..", "7..", "7..", "...", "...", "..."}));
    // The line lies wholly below or above the clip rectangle, or starts right of it.
    EXPECT_EQ(Drawn(font.get(), 0, -3, "ABC", BASELINE), Drawn(font.get(), 0, 0, "", BASELINE));
    EXPECT_EQ(Drawn(font.get(), 0, 14, "ABC", BASELINE), Drawn(font.get(), 0, 0, "", BASELINE));
    EXPECT_EQ(Drawn(font.get(), 20, 6, "ABC", BASELINE), Drawn(font.get(), 0, 0, "", BASELINE));
    EXPECT_EQ(Drawn(font.get(), 65536 + 1, 6, "ABC", BASELINE),
              Drawn(font.get(), 0, 0, "", BASELINE));
    EXPECT_EQ(Drawn(font.get(), 1, 65536 + 6, "ABC", BASELINE),
              Drawn(font.get(), 0, 0, "", BASELINE));
}

TEST(DrawTextTest, NothingWithoutFontTextOrPicture) {
    auto font = PlainFont();
    auto image = Blank(8, 8, 8);
    image->DrawText(0, 6, nullptr, 7, font.get(), BASELINE);
    image->DrawText(0, 6, "A", 7, nullptr, BASELINE);
    ZEMFont::FontParams params;
    image->DrawTextEx(0, 6, "A", params);
    EXPECT_EQ(Picture(*image), Picture(*Blank(8, 8, 8)));
    ZEMImage empty(0, 0, 8);
    empty.DrawText(0, 6, "A", 7, font.get(), BASELINE);
    params.font = font.get();
    empty.DrawTextEx(0, 6, "A", params);
}

TEST(DrawTextTest, TwoBitFontsDrawInShades) {
    // The value 7 cannot come from a 2-bit font file; it is drawn as the strongest shade.
    auto font = TestFont(2, {{'A', 0, {"123", "7.1"}}});
    ZEMFont::FontParams params;
    params.font = font.get();
    params.align = ZEMFont::ALIGN_BASELINE;
    const uint32_t colors[4] = {9, 4, 5, 6};
    std::copy(colors, colors + 4, params.textColors);
    for (unsigned bpp : DEPTHS) {
        auto image = Blank(3, 2, bpp);
        image->DrawTextEx(0, 1, "A", params);
        EXPECT_EQ(Picture(*image), Rows({"456", "6.4"})) << bpp << " bits";
    }
    // Any other format is drawn in the last colour, like DrawText.
    auto plain = PlainFont();
    params.font = plain.get();
    auto image = Blank(3, 5, 8);
    image->DrawTextEx(0, 4, "A", params);
    EXPECT_EQ(Picture(*image), Rows({"6.6", "666", "6.6", "666", "66."}));
}

TEST(DrawTextTest, EightBitFontsDrawEveryNonZeroByte) {
    auto font = TestFont(8, {{'A', 0, {"1.9"}}});
    auto image = Blank(3, 1, 8);
    image->DrawText(0, 0, "A", 4, font.get(), BASELINE);
    EXPECT_EQ(Picture(*image), Rows({"4.4"}));
}

TEST(DrawTextTest, BlendTextMixesTheColourOverThePictureByCoverage) {
    // Coverage 1/3, 2/3 and whole in a 2-bit font (7 counts as whole), every byte from 30
    // toward 240, rounded; blank glyph pixels keep the picture.
    auto font = TestFont(2, {{'A', 0, {"123", "7.1"}}});
    const uint8_t want[6] = {100, 170, 240, 240, 30, 100};
    for (unsigned bpp : {24u, 32u}) {
        const unsigned bytes = bpp / 8;
        auto image = Blank(3, 2, bpp);
        std::memset(image->data, 30, 6 * bytes);
        image->BlendText(0, 1, "A", 0xF0F0F0F0u, font.get(), BASELINE);
        for (unsigned i = 0; i < 6 * bytes; ++i)
            EXPECT_EQ(image->data[i], want[i / bytes]) << bpp << " bits, byte " << i;
    }
    // A 1-bit font draws whole pixels; a picture without room for levels gets DrawText.
    auto plain = PlainFont();
    auto deep = Blank(3, 1, 32);
    deep->BlendText(0, 0, "C", 0x11223344u, plain.get(), ZEMFont::ALIGN_TOP);
    EXPECT_EQ(deep->GetPixel(0, 0), 0x11223344u);
    auto indexed = Blank(3, 2, 8);
    indexed->BlendText(0, 1, "A", 7, font.get(), BASELINE);
    EXPECT_EQ(Picture(*indexed), Rows({"777", "7.7"}));
}

TEST(DrawTextTest, DeepFontsStepWholePixels) {
    // A 24-bit glyph picture: 'A' is the right half, whose pixels are 3 bytes each.
    ZEMImage picture(4, 1, 24);
    const uint8_t bytes[12] = {1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0x80};
    std::copy(bytes, bytes + 12, picture.data);
    ZEMFont font("deep", 'A', 'A', &picture, 24);
    ZEMChar glyph = {2, 0, 2, 1, 0};
    font.SetChar('A', &glyph);
    auto image = Blank(2, 1, 8);
    image->DrawText(0, 0, "A", 3, &font, BASELINE);
    EXPECT_EQ(Picture(*image), Rows({".3"}));
}

TEST(DrawTextTest, GlyphsOutsideTheBitmapAreNotDrawn) {
    auto font = PlainFont();
    ZEMChar wide = {8, 0, 3, 5, 0}; // columns 8..10 of a 9-column bitmap
    font->SetChar('A', &wide);
    ZEMChar tall = {3, 2, 4, 4, 0}; // rows 2..5 of a 5-row bitmap
    font->SetChar('B', &tall);
    auto image = Blank(20, 9, 8);
    image->DrawText(0, 6, "ABC", 7, font.get(), BASELINE);
    // Only 'C' shows, where the two advances put it.
    EXPECT_EQ(Picture(*image), Drawn(font.get(), 9, 6, "C", BASELINE));
}

} // namespace
