#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>

#include "ZEMTestSupport.h"

#include <filesystem>
#include <memory>
#include <set>
#include <string>

namespace {

class ImageToolTest : public zemtest::TempDirTest {};

// A 3 x 2 picture of the given depth whose bytes count up from seed.
std::unique_ptr<ZEMImage> Picture(unsigned bpp, uint8_t seed) {
    auto picture = std::make_unique<ZEMImage>(3, 2, bpp);
    ZEMImage& image = *picture;
    for (unsigned i = 0; i < image.height * image.pitch; ++i)
        image.data[i] = uint8_t(seed + 40 * i);
    if (bpp == 8) {
        auto pal = new ZEMPal(256);
        for (unsigned i = 0; i < 1024; ++i)
            pal->colors[i] = uint8_t(i % 4 == 3 ? 0 : i);
        image.ReplacePalette(pal);
    }
    return picture;
}

std::string Pixels(const ZEMImage& image) {
    return std::string(reinterpret_cast<const char*>(image.data), image.height * image.pitch);
}

TEST_F(ImageToolTest, InfoTellsFormatSizeDepthPaletteAndPacking) {
    ASSERT_TRUE(Picture(8, 1)->SaveName("pal.bmp", 1));
    ASSERT_TRUE(Picture(24, 1)->SaveName("deep.pcx", 2));
    ASSERT_TRUE(Picture(32, 1)->SaveName("alpha.tga", 5));
    // A 1 x 1 GIF: a clear code, index 1 and the end code in one data block.
    zemtest::WriteFile("one.gif", std::string("GIF89a\1\0\1\0\x80\0\0\0\0\0\xFF\xFF\xFF"
                                              ",\0\0\0\0\1\0\1\0\0\2\2\x4C\x01\0;",
                                              35));
    for (const char* name : {"g/pal4rle.bmp", "q/rgba32abf.bmp"}) {
        const std::string bytes =
            zemtest::ReadFile(zemtest::DataPath(std::string("conformance/bmpsuite/") + name));
        zemtest::WriteFile(std::string(name).substr(2), bytes);
    }
    std::string out;
    ASSERT_EQ(zemtest::RunTool("image info pal.bmp deep.pcx alpha.tga one.gif pal4rle.bmp "
                               "rgba32abf.bmp",
                               &out),
              0)
        << out;
    EXPECT_EQ(out, "pal.bmp: BMP, 3 x 2, 8 bpp, 256 colors, none\n"
                   "deep.pcx: PCX, 3 x 2, 24 bpp, no palette, RLE\n"
                   "alpha.tga: TGA, 3 x 2, 32 bpp, no palette, RLE\n"
                   "one.gif: GIF, 1 x 1, 8 bpp, 2 colors, LZW\n"
                   "pal4rle.bmp: BMP, 127 x 64, 8 bpp, 12 colors, RLE4\n"
                   "rgba32abf.bmp: BMP, 127 x 64, 32 bpp, no palette, bit fields\n");
}

TEST_F(ImageToolTest, ConvertsThroughPngAndKeepsAlphaAndPalette) {
    // The fourth byte is alpha in every format: TGA to PNG to TGA and to BMP keep the bytes.
    auto picture = Picture(32, 7);
    const ZEMImage& alpha = *picture;
    ASSERT_TRUE(picture->SaveName("alpha.tga", 4));
    std::string out;
    ASSERT_EQ(zemtest::RunTool("image convert alpha.tga alpha.png", &out), 0) << out;
    ASSERT_EQ(zemtest::RunTool("image convert alpha.png back.tga --format tga-rle", &out), 0);
    ASSERT_EQ(zemtest::RunTool("image convert alpha.png alpha.bmp", &out), 0) << out;
    ZEMImage back(0, 0, 8), bmp(0, 0, 8);
    ASSERT_TRUE(back.LoadName("back.tga", 0));
    EXPECT_EQ(Pixels(back), Pixels(alpha));
    ASSERT_TRUE(bmp.LoadName("alpha.bmp", 0));
    EXPECT_EQ(Pixels(bmp), Pixels(alpha));
    // PNG files are named in UTF-8 as every other file, on Windows too.
    const std::string png = "\xC3\xA4lpha.png";
    ASSERT_EQ(zemtest::RunToolArgs({"image", "convert", "alpha.tga", png}, &out), 0) << out;
    ASSERT_EQ(zemtest::RunToolArgs({"image", "convert", png, "utf8.tga"}, &out), 0) << out;
    ZEMImage utf8(0, 0, 8);
    ASSERT_TRUE(utf8.LoadName("utf8.tga", 0));
    EXPECT_EQ(Pixels(utf8), Pixels(alpha));

    // A palette picture stays one: PCX to PNG to PCX.
    auto palPicture = Picture(8, 3);
    const ZEMImage& pal = *palPicture;
    ASSERT_TRUE(palPicture->SaveName("pal.pcx", 2));
    ASSERT_EQ(zemtest::RunTool("image convert pal.pcx pal.png", &out), 0) << out;
    ASSERT_EQ(zemtest::RunTool("image convert pal.png again.pcx", &out), 0) << out;
    ZEMImage again(0, 0, 8);
    ASSERT_TRUE(again.LoadName("again.pcx", 0));
    ASSERT_NE(again.palette, nullptr);
    for (unsigned i = 0; i < 6; ++i) {
        const uint8_t* want = pal.palette->colors + 4 * pal.data[i];
        const uint8_t* got = again.palette->colors + 4 * again.data[i];
        EXPECT_EQ(std::string(got, got + 3), std::string(want, want + 3)) << i;
    }

    // The PNG holds what another program reads: checked with ImageMagick where it is installed.
    if (zemtest::RunShell("convert -version") != 0) return;
    std::string rgba;
    ASSERT_EQ(zemtest::RunShell("convert alpha.png -depth 8 rgba:-", &rgba), 0);
    ASSERT_EQ(rgba.size(), 24u);
    for (unsigned i = 0; i < 6; ++i) {
        const uint8_t* p = alpha.data + 4 * i;
        EXPECT_EQ(rgba.substr(4 * i, 4),
                  std::string({char(p[2]), char(p[1]), char(p[0]), char(p[3])}))
            << i;
    }
}

TEST_F(ImageToolTest, HelpAndFailures) {
    std::string out;
    EXPECT_EQ(zemtest::RunTool("image --help", &out), 0);
    EXPECT_NE(out.find("usage: zem image info FILE..."), std::string::npos);
    ASSERT_TRUE(Picture(16, 1)->SaveName("deep.bmp", 1));
    zemtest::WriteFile("junk.bmp", "BM not a picture");
    zemtest::WriteFile("notes.tga", "Text, which no format detection may take for a TGA.\n");
    std::filesystem::create_directory("folder.bmp");
    // A BMP that holds JPEG data, which the reader names as it refuses it.
    zemtest::WriteFile("jpeg.bmp", std::string("BM\x46\0\0\0\0\0\0\0\x42\0\0\0"
                                               "\x28\0\0\0\2\0\0\0\1\0\0\0\1\0\x10\0\4\0\0\0",
                                               34) +
                                       std::string(36, '\0'));
    // A PCX of 4 planes of 65,535 bytes a line, one pixel wide, whose data ends after one line:
    // the decoder went on over every declared byte.
    std::string pcx("\x0A\x05\x01\x08\0\0\0\0\0\0\xFF\x3F", 12);
    pcx.resize(65, '\0');
    pcx += std::string("\x04\xFF\xFF", 3);
    pcx.resize(128 + 65536, '\0');
    zemtest::WriteFile("hostile.pcx", pcx);
    struct Case {
        const char* args;
        const char* message;
    } cases[] = {
        {"image info", "zem: image info takes one FILE or more (see 'zem image --help')\n"},
        {"image info junk.bmp", "zem: cannot read the picture 'junk.bmp': BMP: bad file header\n"},
        {"image info notes.tga", "zem: cannot read the picture 'notes.tga': Image: not a picture "
                                 "ZEMBase reads (BMP, GIF, PCX, ZEM font, TGA)\n"},
        {"image info folder.bmp", "zem: cannot read the picture 'folder.bmp': Is a directory\n"},
        {"image info jpeg.bmp",
         "zem: cannot read the picture 'jpeg.bmp': BMP: JPEG data inside BMP is not supported\n"},
        {"image info hostile.pcx", "zem: cannot read the picture 'hostile.pcx': PCX: pixel data "
                                   "cut short after 0 of 16384 rows\n"},
        {"image convert missing.bmp out.tga",
         "zem: cannot read the picture 'missing.bmp': No such file or directory\n"},
        {"image convert deep.bmp out.gif",
         "zem: unknown picture format 'gif' (bmp, pcx, tga, tga-rle or png)\n"},
        {"image convert deep.bmp out", "zem: unknown picture format '' (bmp, pcx, tga, tga-rle "
                                       "or png)\n"},
        {"image convert deep.bmp out.tga",
         "zem: cannot write 'out.tga' as tga (16-bit pictures may not fit the format)\n"},
        {"image convert deep.bmp", "zem: image convert takes IN and OUT (see 'zem image "
                                   "--help')\n"},
    };
    // Status 2: the command line is wrong; 1: the work could not be done.
    const std::set<std::string> usage = {"image info", "image convert deep.bmp out.gif",
                                         "image convert deep.bmp out", "image convert deep.bmp"};
    for (const Case& c : cases) {
        EXPECT_EQ(zemtest::RunTool(c.args, &out), usage.count(c.args) ? 2 : 1) << c.args;
        EXPECT_EQ(out, c.message) << c.args;
    }
    // A 16-bit picture goes to PNG as 5-5-5 colours.
    EXPECT_EQ(zemtest::RunTool("image convert deep.bmp deep.png", &out), 0) << out;
    EXPECT_EQ(zemtest::RunTool("image info deep.png", &out), 0);
    EXPECT_EQ(out, "deep.png: PNG, 3 x 2, 24 bpp, no palette, deflate\n");
}

} // namespace
