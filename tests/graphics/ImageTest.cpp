// The image buffer: construction and its size limits, copies, palettes, clipping, pixel reads,
// the whole-image operations and the codec dispatch.
#include "ZEMTestSupport.h"

#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMMemFile.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

using zemtest::LogCapture;
using Stream = zemtest::ByteStream;

namespace {

struct Clip {
    int x1, x2, y1, y2;
};

Clip ClipOf(const ZEMImage& image) {
    return {image.clipX1, image.clipX2, image.clipY1, image.clipY2};
}

bool operator==(const Clip& a, const Clip& b) {
    return a.x1 == b.x1 && a.x2 == b.x2 && a.y1 == b.y1 && a.y2 == b.y2;
}

std::ostream& operator<<(std::ostream& out, const Clip& c) {
    return out << "x " << c.x1 << ".." << c.x2 << " y " << c.y1 << ".." << c.y2;
}

// Pixels numbered by their byte offset, so that every byte of the buffer is told apart.
void Number(ZEMImage& image) {
    for (size_t i = 0; i < size_t(image.height) * image.pitch; ++i)
        image.data[i] = static_cast<uint8_t>(i * 7 + 3);
}

std::vector<uint8_t> Pixels(const ZEMImage& image) {
    return std::vector<uint8_t>(image.data, image.data + size_t(image.height) * image.pitch);
}

ZEMPal* Palette(unsigned n, unsigned char seed) {
    ZEMPal* pal = new ZEMPal(n);
    for (unsigned i = 0; i < 4 * n; ++i)
        pal->colors[i] = static_cast<unsigned char>(seed + i);
    return pal;
}

// The 18 bytes of a TGA header with the fields that format detection looks at.
std::string TgaHead(uint8_t idLength, uint8_t mapType, uint8_t type, uint8_t entryBits,
                    uint16_t width, uint16_t height, uint8_t depth) {
    const uint8_t head[18] = {idLength,
                              mapType,
                              type,
                              0,
                              0,
                              4,
                              0,
                              entryBits,
                              0,
                              0,
                              0,
                              0,
                              uint8_t(width),
                              uint8_t(width >> 8),
                              uint8_t(height),
                              uint8_t(height >> 8),
                              depth,
                              0};
    return std::string(reinterpret_cast<const char*>(head), sizeof head);
}

} // namespace

TEST(ImageTest, ConstructionSetsPitchBufferAndClip) {
    struct Case {
        unsigned w, h, bpp;
        uint32_t pitch;
        bool buffer;
        Clip clip;
        unsigned memory;
    } cases[] = {
        {10, 4, 24, 30, true, {0, 9, 0, 3}, 156}, // rows are not padded
        {3, 2, 8, 3, true, {0, 2, 0, 1}, 42},     {3, 2, 15, 6, true, {0, 2, 0, 1}, 48},
        {3, 2, 16, 6, true, {0, 2, 0, 1}, 48},    {3, 2, 32, 12, true, {0, 2, 0, 1}, 60},
        {0, 10, 8, 0, false, {0, 0, 0, 0}, 36},   {10, 0, 8, 0, false, {0, 0, 0, 0}, 36},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + "x" + std::to_string(c.bpp));
        ZEMImage image(c.w, c.h, c.bpp);
        EXPECT_EQ(image.width, c.w);
        EXPECT_EQ(image.height, c.h);
        EXPECT_EQ(image.bpp, c.bpp);
        EXPECT_EQ(image.pitch, c.pitch);
        EXPECT_EQ(image.data != nullptr, c.buffer);
        EXPECT_EQ(image.palette, nullptr);
        EXPECT_EQ(ClipOf(image), c.clip);
        EXPECT_EQ(image.MemoryUsed(), c.memory);
    }
    // An empty image's clip (0, 0, 0, 0) differs from "width - 1", so it counts as clipping.
    EXPECT_TRUE(ZEMImage(0, 10, 8).IsClipping());
    EXPECT_FALSE(ZEMImage(5, 5, 8).IsClipping());
}

TEST(ImageTest, SizesBeyond32BitsGiveAnEmptyImage) {
    // height x pitch of 2^34 bytes, and a pitch that alone passes 32 bits.
    const unsigned sizes[][3] = {{0x10000, 0x10000, 32}, {0x40000000, 1, 32}, {0x80000000, 2, 8}};
    for (const auto& s : sizes) {
        ZEMImage image(s[0], s[1], s[2]);
        EXPECT_EQ(image.data, nullptr);
        EXPECT_EQ(image.width, 0u);
        EXPECT_EQ(image.height, 0u);
        EXPECT_EQ(image.pitch, 0u);
        EXPECT_EQ(image.GetPixel(0, 0), 0u);
    }
}

TEST(ImageTest, CopyIsDeep) {
    ZEMImage source(5, 3, 24);
    Number(source);
    source.ReplacePalette(nullptr); // 24-bit: refused, nothing changes
    source.bpp = 8;
    source.ReplacePalette(Palette(4, 10));
    source.bpp = 24;
    source.SetClipping(1, 1, 3, 2);

    ZEMImage copy(&source);
    EXPECT_EQ(copy.width, 5u);
    EXPECT_EQ(copy.height, 3u);
    EXPECT_EQ(copy.pitch, 15u);
    EXPECT_EQ(copy.bpp, 24);
    EXPECT_EQ(ClipOf(copy), ClipOf(source));
    ASSERT_NE(copy.data, source.data);
    EXPECT_EQ(Pixels(copy), Pixels(source));
    ASSERT_NE(copy.palette, nullptr);
    ASSERT_NE(copy.palette, source.palette);
    ASSERT_EQ(copy.palette->nbColors, 4u);
    EXPECT_EQ(std::memcmp(copy.palette->colors, source.palette->colors, 16), 0);

    source.data[0] ^= 0xFF;
    source.palette->colors[0] ^= 0xFF;
    EXPECT_NE(copy.data[0], source.data[0]);
    EXPECT_NE(copy.palette->colors[0], source.palette->colors[0]);

    ZEMImage empty(nullptr);
    EXPECT_EQ(empty.data, nullptr);
    EXPECT_EQ(empty.palette, nullptr);
    EXPECT_EQ(empty.width + empty.height + empty.pitch + empty.bpp, 0u);
}

TEST(ImageTest, SetPaletteCopiesColoursAtTheirIndexes) {
    ZEMImage image(2, 2, 8);
    ZEMPal* own = Palette(256, 0);
    image.ReplacePalette(own);
    std::unique_ptr<ZEMPal> source(Palette(255, 100));

    // Colours 250..259: 250..254 from the source, 255..259 past its end are zeros.
    image.SetPalette(source.get(), 250, 10);
    ASSERT_EQ(image.palette, own);
    ASSERT_EQ(own->nbColors, 260u);
    EXPECT_EQ(std::memcmp(own->colors + 4 * 250, source->colors + 4 * 250, 4 * 5), 0);
    for (unsigned i = 4 * 255; i < 4 * 260; ++i)
        EXPECT_EQ(own->colors[i], 0) << i;
    EXPECT_EQ(own->colors[4 * 249], static_cast<unsigned char>(4 * 249)); // untouched

    // Without a palette one of first + count colours is made.
    ZEMImage bare(2, 2, 8);
    bare.SetPalette(source.get(), 2, 3);
    ASSERT_NE(bare.palette, nullptr);
    ASSERT_EQ(bare.palette->nbColors, 5u);
    EXPECT_EQ(std::memcmp(bare.palette->colors + 8, source->colors + 8, 12), 0);

    // Deeper images and null sources are left alone; ReplacePalette on them takes nothing.
    ZEMImage deep(2, 2, 24);
    deep.SetPalette(source.get(), 0, 4);
    EXPECT_EQ(deep.palette, nullptr);
    std::unique_ptr<ZEMPal> refused(Palette(2, 0));
    deep.ReplacePalette(refused.get());
    EXPECT_EQ(deep.palette, nullptr);
    bare.SetPalette(nullptr, 0, 300);
    EXPECT_EQ(bare.palette->nbColors, 5u);

    // Handing an image its own palette again keeps it alive.
    image.ReplacePalette(own);
    EXPECT_EQ(image.palette, own);
    EXPECT_EQ(own->nbColors, 260u);
}

TEST(ImageTest, SetClippingOrdersAndCutsTheRectangle) {
    struct Case {
        int x1, y1, x2, y2;
        Clip clip;
    } cases[] = {
        {50, 60, 10, 20, {10, 50, 20, 60}}, {-5, -5, 500, 500, {0, 99, 0, 99}},
        {100, 0, 120, 10, {0, 99, 0, 99}}, // wholly right of the picture: unchanged
        {0, 100, 10, 120, {0, 99, 0, 99}},  {-20, -20, -10, -10, {0, 0, 0, 0}},
        {99, 99, 99, 99, {99, 99, 99, 99}},
    };
    for (const Case& c : cases) {
        ZEMImage image(100, 100, 8);
        image.SetClipping(c.x1, c.y1, c.x2, c.y2);
        EXPECT_EQ(ClipOf(image), c.clip) << c.x1 << "," << c.y1 << "," << c.x2 << "," << c.y2;
        EXPECT_EQ(image.IsClipping(), !(c.clip == Clip{0, 99, 0, 99}));
        image.StopClipping();
        EXPECT_EQ(ClipOf(image), (Clip{0, 99, 0, 99}));
    }
}

TEST(ImageTest, GetPixelDecodesEveryDepth) {
    const unsigned char bytes[] = {0x11, 0x22, 0x33, 0x44};
    struct Case {
        unsigned bpp;
        unsigned value;
    } cases[] = {{8, 0x11}, {15, 0x2211}, {16, 0x2211}, {24, 0x332211}, {32, 0x44332211}};
    for (const Case& c : cases) {
        ZEMImage image(3, 2, c.bpp);
        std::memset(image.data, 0, size_t(image.height) * image.pitch);
        unsigned bpp = (c.bpp + 7) / 8;
        std::memcpy(image.data + image.pitch + 2 * bpp, bytes, bpp); // pixel (2, 1)
        EXPECT_EQ(image.GetPixel(2, 1), c.value) << c.bpp;
        EXPECT_EQ(image.GetPixel(1, 1), 0u);
        const int outside[][2] = {{-1, 0}, {3, 0}, {0, -1}, {0, 2}, {-1, -1}};
        for (const auto& p : outside)
            EXPECT_EQ(image.GetPixel(p[0], p[1]), 0u);
    }
    ZEMImage odd(2, 2, 12);
    std::memset(odd.data, 0xFF, size_t(odd.height) * odd.pitch);
    EXPECT_EQ(odd.GetPixel(0, 0), 0u); // not a depth the library decodes
}

TEST(ImageTest, VFlipSwapsRows) {
    for (unsigned height : {1u, 2u, 5u, 6u}) {
        ZEMImage image(3, height, 16);
        Number(image);
        std::vector<uint8_t> before = Pixels(image);
        image.VFlip();
        for (unsigned row = 0; row < height; ++row)
            EXPECT_EQ(std::memcmp(image.data + row * image.pitch,
                                  before.data() + (height - 1 - row) * image.pitch, image.pitch),
                      0)
                << height << " row " << row;
    }
    ZEMImage empty(0, 0, 8);
    empty.VFlip();
    EXPECT_EQ(empty.data, nullptr);
}

// Against a pixel-by-pixel model: a source pixel inside the picture lands on a target pixel inside
// the clip rectangle, read from the picture before the move (overlap-safe).
TEST(ImageTest, MoveInsideMatchesAPixelModel) {
    std::mt19937 random(8);
    for (int round = 0; round < 600; ++round) {
        unsigned bpp = round % 2 ? 24 : 8;
        ZEMImage image(1 + random() % 12, 1 + random() % 12, bpp);
        Number(image);
        if (round % 3) {
            image.SetClipping(int(random() % 14) - 2, int(random() % 14) - 2,
                              int(random() % 14) - 2, int(random() % 14) - 2);
        }
        int x = int(random() % 16) - 2, y = int(random() % 16) - 2;
        int dx = int(random() % 20) - 6, dy = int(random() % 20) - 6;
        unsigned w = random() % 14, h = random() % 14;

        std::vector<uint8_t> before = Pixels(image);
        std::vector<uint8_t> expected = before;
        const int bytes = (bpp + 7) / 8;
        const int width = int(image.width), height = int(image.height);
        for (int j = 0; j < int(h) && x >= 0 && y >= 0; ++j) {
            for (int i = 0; i < int(w); ++i) {
                int sx = x + i, sy = y + j, tx = dx + i, ty = dy + j;
                if (sx >= width || sy >= height) continue;
                if (tx < image.clipX1 || tx > image.clipX2 || ty < image.clipY1 ||
                    ty > image.clipY2)
                    continue;
                std::memcpy(&expected[ty * image.pitch + tx * bytes],
                            &before[sy * image.pitch + sx * bytes], bytes);
            }
        }
        image.MoveInside(x, y, w, h, dx, dy);
        ASSERT_EQ(Pixels(image), expected)
            << "round " << round << ": " << image.width << "x" << image.height << " clip "
            << ClipOf(image) << " block " << x << "," << y << " " << w << "x" << h << " to " << dx
            << "," << dy;
    }
}

TEST(ImageTest, ResizeKeepsTheTopLeftAndZerosTheRest) {
    ZEMImage image(4, 4, 8);
    Number(image);
    std::vector<uint8_t> before = Pixels(image);
    image.SetClipping(1, 1, 2, 2);
    ASSERT_TRUE(image.Resize(6, 6));
    EXPECT_EQ(image.pitch, 6u);
    EXPECT_EQ(ClipOf(image), (Clip{0, 5, 0, 5}));
    for (unsigned y = 0; y < 6; ++y)
        for (unsigned x = 0; x < 6; ++x)
            EXPECT_EQ(image.GetPixel(int(x), int(y)), x < 4 && y < 4 ? before[y * 4 + x] : 0u)
                << x << "," << y;

    ASSERT_TRUE(image.Resize(2, 3));
    EXPECT_EQ(image.MemoryUsed(), 6u + 36u);
    for (unsigned y = 0; y < 3; ++y)
        for (unsigned x = 0; x < 2; ++x)
            EXPECT_EQ(image.GetPixel(int(x), int(y)), before[y * 4 + x]);

    // Zero sizes and sizes beyond 32 bits are refused and change nothing.
    uint8_t* data = image.data;
    EXPECT_FALSE(image.Resize(0, 5));
    EXPECT_FALSE(image.Resize(5, 0));
    EXPECT_FALSE(image.Resize(0x80000000u, 0x10u));
    EXPECT_EQ(image.data, data);
    EXPECT_EQ(image.width, 2u);
    EXPECT_EQ(image.height, 3u);
    EXPECT_EQ(image.pitch, 2u);

    // An image without a buffer gets one.
    ZEMImage empty(0, 0, 32);
    ASSERT_TRUE(empty.Resize(3, 2));
    EXPECT_NE(empty.data, nullptr);
    EXPECT_EQ(empty.pitch, 12u);
}

TEST(ImageTest, NewFormatChangesSizeAndDepth) {
    ZEMImage image(4, 4, 8);
    Number(image);
    std::vector<uint8_t> before = Pixels(image);
    image.ReplacePalette(Palette(2, 0));
    uint8_t* data = image.data;

    // The same format keeps the pixels; bad depths and sizes beyond 32 bits change nothing.
    EXPECT_TRUE(image.NewFormat(4, 4, 8));
    EXPECT_EQ(image.data, data);
    EXPECT_EQ(Pixels(image), before);
    EXPECT_FALSE(image.NewFormat(10, 10, 12));
    EXPECT_FALSE(image.NewFormat(0x10000, 0x10000, 32));
    EXPECT_EQ(image.data, data);
    EXPECT_EQ(image.width, 4u);
    EXPECT_EQ(image.bpp, 8);

    ASSERT_TRUE(image.NewFormat(5, 3, 15));
    EXPECT_EQ(image.pitch, 10u);
    EXPECT_EQ(image.bpp, 15);
    EXPECT_EQ(ClipOf(image), (Clip{0, 4, 0, 2}));
    EXPECT_NE(image.palette, nullptr); // the palette stays

    ASSERT_TRUE(image.NewFormat(0, 3, 32));
    EXPECT_EQ(image.data, nullptr);
    EXPECT_EQ(image.width + image.height + image.pitch + image.bpp, 0u);
    EXPECT_EQ(ClipOf(image), (Clip{0, 0, 0, 0}));
}

TEST(ImageTest, PrintInfo) {
    LogCapture log;
    ZEMImage(10, 4, 24).PrintInfo();
    ZEMImage indexed(2, 3, 8);
    indexed.ReplacePalette(new ZEMPal(16u));
    indexed.PrintInfo();
    EXPECT_EQ(log.Text(), "Image: 10 x 4 x 24 bpp, pitch: 30\n"
                          "Image: 2 x 3 x 8 bpp, pitch: 2, palette: 16 colors\n");
}

TEST(ImageTest, FindFormatReadsTheMagicAndKeepsThePosition) {
    struct Case {
        std::string bytes;
        int format;
    } cases[] = {
        {std::string("BM\x36\x00", 4), 1},
        {"GIF89a", 3},
        {"ZEMF\x01", 6},
        {"\x0A\x05\x01\x08", 2},
        {"\x0A\x03\x01\x08", 2}, // every PCX version, not only 5
        {std::string("\x0A\x00\x01\x01", 4), 2},
        // TGA has no magic of its own: a header whose fields make sense, the colour-mapped and
        // the true-colour kind with an ID field, and the same with one field off.
        {TgaHead(0, 1, 1, 24, 2, 1, 8), 4},
        {TgaHead(3, 0, 10, 0, 2, 1, 32) + "abc", 4},
        {TgaHead(0, 1, 1, 8, 2, 1, 8), 0},   // no such colour-map entry size
        {TgaHead(0, 0, 12, 0, 2, 1, 24), 0}, // no such image type
        {TgaHead(0, 2, 2, 0, 2, 1, 24), 0},  // no such colour-map type
        {TgaHead(0, 0, 2, 0, 0, 1, 24), 0},  // no width
        {TgaHead(0, 0, 2, 0, 2, 1, 18), 0},  // no such depth
        {std::string(18, '\0'), 0},
        {"\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01", 0},
        {"This is no picture at all.\n", 0},
        {TgaHead(0, 0, 2, 0, 2, 1, 24).substr(0, 17), 0}, // too short for a TGA header
    };
    for (const Case& c : cases) {
        LogCapture log;
        Stream s("xx" + c.bytes);
        s.file.Seek(2, 0);
        ZEMImage image(0, 0, 8);
        EXPECT_EQ(image.FindFormat(s.file), c.format) << ::testing::PrintToString(c.bytes);
        EXPECT_EQ(s.file.GetPos(), 2u);
        EXPECT_TRUE(s.file.IsOK());
        EXPECT_EQ(log.Text(), c.format ? ""
                                       : "Image: not a picture ZEMBase reads (BMP, GIF, PCX, "
                                         "ZEM font, TGA)\n");
        if (c.format == 0) {
            EXPECT_FALSE(image.Load(s.file, 0));
        }
    }
    LogCapture log;
    Stream shortFile("BMx");
    ZEMImage image(0, 0, 8);
    EXPECT_EQ(image.FindFormat(shortFile.file), 0);
    EXPECT_EQ(log.Text(), "Image: cannot read the file header\n");
}

TEST(ImageTest, PalettesGrowToCoverTheIndexesOfThePixels) {
    // A GIF of 2 x 1 pixels, indexes 3 and 1, whose colour table has 2 entries: index 3 had no
    // colour, and whatever looked it up read past the palette.
    const std::string gif("GIF89a\2\0\1\0\x80\0\0"
                          "\x10\x20\x30\x40\x50\x60"
                          "\x2C\0\0\0\0\2\0\1\0\0"
                          "\2\2\x5C\x0A\0\x3B",
                          35);
    Stream s(gif);
    ZEMImage image(0, 0, 8);
    ASSERT_TRUE(image.Load(s.file, 0));
    ASSERT_EQ(image.GetPixel(0, 0), 3u);
    ASSERT_EQ(image.palette->nbColors, 4u);
    const std::vector<uint8_t> colors(image.palette->colors, image.palette->colors + 16);
    EXPECT_EQ(colors, std::vector<uint8_t>(
                          {0x10, 0x20, 0x30, 0, 0x40, 0x50, 0x60, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(ImageTest, UnsupportedFormatsFailWithoutReading) {
    Stream s(std::string("BM") + std::string(100, '\0'));
    ZEMImage image(2, 2, 8);
    for (int format : {5, 7, -1, 100}) {
        EXPECT_FALSE(image.Load(s.file, format)) << format;
        EXPECT_EQ(s.file.GetPos(), 0u);
    }
    ZEMMemFile out(256, ZEMResFile::WRITE);
    for (int format : {3, 6, 7, -1}) {
        EXPECT_FALSE(image.Save(out, format)) << format;
        EXPECT_EQ(out.GetPos(), 0u);
    }
    out.Close();
    EXPECT_FALSE(image.Save(out, 1));
    EXPECT_FALSE(image.Load(out, 1));

    LogCapture log;
    Stream tiny("BM");
    EXPECT_FALSE(image.Load(tiny.file, 0));
    EXPECT_EQ(log.Text(), "Image: cannot read the file header\n");
}

// Whatever a reader did before it gave up, the image is the one it was.
TEST(ImageTest, FailedLoadLeavesTheImageAsItWas) {
    const std::string inputs[] = {
        std::string("BM") + std::string(60, '\xFF'),
        "GIF89a\x10\x00\x10\x00\xF7\x00\x00",
        std::string("ZEMF") + std::string(40, '\x7F'),
        std::string("\x0A\x05\x01\x08", 4) + std::string(200, '\x01'),
        std::string("\x00\x01\x01\x00\x00\x00\x01\x18\x00\x00\x00\x00\x10\x00\x10\x00\x08\x00", 18),
        "",
    };
    LogCapture log;
    for (int format = 0; format <= 6; ++format) {
        for (const std::string& bytes : inputs) {
            ZEMImage image(3, 2, 8);
            Number(image);
            image.ReplacePalette(Palette(3, 40));
            image.SetClipping(1, 0, 1, 1);
            uint8_t* data = image.data;
            ZEMPal* palette = image.palette;
            std::vector<uint8_t> pixels = Pixels(image);

            Stream s(bytes.empty() ? std::string(1, '\0') : bytes);
            if (image.Load(s.file, format)) continue; // a reader that took it: nothing to check
            EXPECT_EQ(image.data, data);
            EXPECT_EQ(Pixels(image), pixels);
            EXPECT_EQ(image.palette, palette);
            EXPECT_EQ(palette->nbColors, 3u);
            EXPECT_EQ(image.width, 3u);
            EXPECT_EQ(image.height, 2u);
            EXPECT_EQ(image.pitch, 3u);
            EXPECT_EQ(image.bpp, 8);
            EXPECT_EQ(ClipOf(image), (Clip{1, 1, 0, 1}));
        }
    }
}

// Every format written through Save reads back through detection; the loaded picture takes its
// size, pitch and a whole-picture clip rectangle, whatever the image held before.
class ImageFileTest : public zemtest::TempDirTest {};

TEST_F(ImageFileTest, SaveAndLoadGoThroughTheCodecs) {
    struct Case {
        unsigned bpp;
        int format;
    } cases[] = {{8, 0},  {8, 1},  {8, 2},  {8, 4},  {8, 5},  {24, 0},
                 {24, 1}, {24, 2}, {24, 4}, {24, 5}, {32, 1}, {32, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bpp) + " bpp, format " + std::to_string(c.format));
        ZEMImage image(5, 3, c.bpp);
        Number(image);
        if (c.bpp == 8) image.ReplacePalette(Palette(256, 0));
        ASSERT_TRUE(image.SaveName("picture", c.format));

        ZEMImage back(7, 9, 16);
        back.SetClipping(1, 1, 2, 2);
        ASSERT_TRUE(back.LoadName("picture", 0));
        EXPECT_EQ(back.width, 5u);
        EXPECT_EQ(back.height, 3u);
        EXPECT_EQ(back.bpp, c.bpp);
        EXPECT_EQ(back.pitch, 5u * (c.bpp / 8));
        EXPECT_EQ(ClipOf(back), (Clip{0, 4, 0, 2}));
        EXPECT_EQ(Pixels(back), Pixels(image));
        if (c.bpp == 8) {
            ASSERT_NE(back.palette, nullptr);
            ASSERT_EQ(back.palette->nbColors, 256u);
            for (unsigned i = 0; i < 256; ++i) // alpha is not stored by every format
                EXPECT_EQ(
                    std::memcmp(back.palette->colors + 4 * i, image.palette->colors + 4 * i, 3), 0)
                    << i;
        }
    }
}
