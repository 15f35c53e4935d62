// Blended copies: the mix of each byte at the alphas that matter, the clipping of CopyImage, the
// depths it draws on, and the wide row (SSE2 where the compiler targets it) against the plain one.
#include "DrawFixtures.h"

#include "graphics/ZEMBlendRow.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <vector>

using drawtest::Blank;
using drawtest::Bytes;

namespace {

// A picture whose bytes all differ from their neighbours; alpha too on 32 bits unless opaque.
std::unique_ptr<ZEMImage> Numbered(unsigned width, unsigned height, unsigned bpp,
                                   bool opaque = false) {
    auto image = Blank(width, height, bpp);
    for (size_t i = 0; i < size_t(image->height) * image->pitch; ++i)
        image->data[i] = uint8_t(i * 7 + 3);
    for (size_t i = 3; opaque && i < size_t(image->height) * image->pitch; i += 4)
        image->data[i] = 0xFF;
    return image;
}

TEST(BlendTest, EachByteIsTheRoundedMixBySourceAlpha) {
    // Source over destination, both 0xAARRGGBB; a 24-bit destination takes the low 24 bits.
    // Byte = (s x a + d x (255 - a) + 127) / 255; the alpha of a 32-bit destination is the same
    // mix with s = 255. At 128: 255 over 0 gives 128, 0 over 255 gives 127, 64 over 192 gives 128.
    struct Case {
        unsigned source, target, expected;
    };
    const Case cases[] = {
        {0x00FFFFFF, 0x80102030, 0x80102030}, // alpha 0 leaves the picture
        {0xFF336699, 0x40102030, 0xFF336699}, // 255 copies the source
        {0x80FF00FF, 0x0000FF00, 0x80807F80},
        {0x80808080, 0xFF404040, 0xFF606060},
        {0x80FFFFFF, 0x00000000, 0x80808080},
        {0x01FFFFFF, 0xFF000000, 0xFF010101},
        {0xFE000000, 0xFFFFFFFF, 0xFF010101},
        {0x80404040, 0xFFC0C0C0, 0xFF808080}, // 127.75 rounds up
    };
    for (unsigned bpp : {24u, 32u}) {
        for (const Case& c : cases) {
            // Rows of 9 pixels: two whole blocks of four and one pixel alone.
            auto sprite = Blank(9, 1, 32);
            sprite->HLine(0, 0, 9, c.source, ZEMImage::DRAW_COPY);
            auto image = Blank(9, 1, bpp);
            image->HLine(0, 0, 9, c.target, ZEMImage::DRAW_COPY);
            image->BlendImage(0, 0, sprite.get(), 0, 0, 9, 1);
            const unsigned expected = bpp == 24 ? c.expected & 0xFFFFFF : c.expected;
            for (int x = 0; x < 9; ++x)
                ASSERT_EQ(image->GetPixel(x, 0), expected)
                    << std::hex << c.source << " over " << c.target << " on " << std::dec << bpp
                    << " bits, pixel " << x;
        }
    }
}

TEST(BlendTest, AnOpaqueSpriteLandsWhereCopyImagePutsIt) {
    struct Call {
        int x, y, sx, sy;
        unsigned w, h;
    };
    const Call calls[] = {
        {3, 2, 0, 0, 5, 4},         {-2, 1, 0, 0, 5, 4},
        {9, 1, 0, 0, 5, 4},         {2, -3, 0, 0, 5, 4},
        {2, 7, 0, 0, 5, 4},         {1, 1, 2, 1, 10, 10},
        {1, 1, -1, 0, 5, 4},        {1, 1, 5, 0, 5, 4},
        {1, 1, 0, 4, 5, 4},         {12, 0, 0, 0, 5, 4},
        {0, 9, 0, 0, 5, 4},         {-40000, 0, 0, 0, 70000, 4},
        {65536 + 2, 1, 0, 0, 4, 4}, {-6, -6, 0, 0, UINT_MAX, UINT_MAX},
    };
    const drawtest::Window windows[] = {{0, 0, 11, 8}, {2, 1, 9, 6}, {4, 3, 4, 3}};
    auto sprite = Numbered(5, 4, 32, true);
    ZEMImage solid(sprite.get());
    ASSERT_TRUE(solid.ConvertTo(24));
    for (unsigned bpp : {24u, 32u}) {
        for (const auto& w : windows) {
            for (const Call& c : calls) {
                auto copied = Numbered(12, 9, bpp);
                auto blended = Numbered(12, 9, bpp);
                copied->SetClipping(w.x1, w.y1, w.x2, w.y2);
                blended->SetClipping(w.x1, w.y1, w.x2, w.y2);
                copied->CopyImage(c.x, c.y, bpp == 24 ? &solid : sprite.get(), c.sx, c.sy, c.w,
                                  c.h);
                blended->BlendImage(c.x, c.y, sprite.get(), c.sx, c.sy, c.w, c.h);
                EXPECT_EQ(Bytes(*blended), Bytes(*copied))
                    << bpp << " bits, window " << w.x1 << "," << w.y1 << ", call " << (&c - calls);
            }
        }
    }
}

TEST(BlendTest, DrawsOnly32BitSpritesOn24And32Bits) {
    const std::pair<unsigned, unsigned> refused[] = {{24, 32}, {32, 16}, {32, 8}, {16, 16}};
    for (const auto& depths : refused) {
        auto sprite = Numbered(4, 4, depths.first, true);
        auto image = Numbered(4, 4, depths.second);
        const auto before = Bytes(*image);
        image->BlendImage(0, 0, sprite.get(), 0, 0, 4, 4);
        image->BlendImage(0, 0, nullptr, 0, 0, 4, 4);
        EXPECT_EQ(Bytes(*image), before) << depths.first << " onto " << depths.second;
    }
}

// A source row of 32-bit pixels whose alpha runs through 0, 255 and anything, in runs.
std::vector<uint8_t> SourceRow(size_t n, std::mt19937& random) {
    std::vector<uint8_t> row(n * 4);
    unsigned alpha = 0;
    for (size_t i = 0; i < n; ++i) {
        if (random() % 3 == 0) alpha = random() % 3 == 0 ? 0 : random() % 2 ? 255 : random() % 256;
        for (unsigned c = 0; c < 3; ++c)
            row[4 * i + c] = uint8_t(random());
        row[4 * i + 3] = uint8_t(alpha);
    }
    return row;
}

template <unsigned Bytes>
void ExpectSameRows(std::mt19937& random) {
    for (size_t n = 0; n <= 40; ++n) {
        for (int pass = 0; pass < 8; ++pass) {
            const std::vector<uint8_t> source = SourceRow(n, random);
            std::vector<uint8_t> plain(n * Bytes + 8);
            for (uint8_t& byte : plain)
                byte = uint8_t(random());
            std::vector<uint8_t> wide = plain;
            ZEM::Draw::BlendRowPlain<Bytes>(plain.data(), source.data(), n, false);
            ZEM::Draw::BlendRow<Bytes>(wide.data(), source.data(), n, false);
            ASSERT_EQ(wide, plain) << Bytes << " bytes, " << n << " pixels";
        }
    }
}

TEST(BlendTest, WideRowGivesThePlainPixels) {
    std::mt19937 random(7);
    ExpectSameRows<3>(random);
    ExpectSameRows<4>(random);
    // Within one buffer, the destination right of its source goes backward.
    for (size_t n = 0; n <= 40; ++n) {
        for (size_t shift : {1, 3, 4, 5}) {
            std::vector<uint8_t> plain = SourceRow(n + shift, random);
            std::vector<uint8_t> wide = plain;
            ZEM::Draw::BlendRowPlain<4>(&plain[4 * shift], plain.data(), n, true);
            ZEM::Draw::BlendRow<4>(&wide[4 * shift], wide.data(), n, true);
            ASSERT_EQ(wide, plain) << n << " pixels moved by " << shift;
        }
    }
}

} // namespace
