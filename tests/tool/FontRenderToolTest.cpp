// zem font render: a line of text in a font file drawn into a picture, read back with the image
// loader.
#include <zem/graphics/ZEMFont.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>

#include "ZEMTestSupport.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

using zemtest::RunToolArgs;

namespace {

class FontRenderToolTest : public zemtest::TempDirTest {
protected:
    // A 2-bit font: 'A' is 2 x 3 with the shades 1, 2 and 3, standing on the baseline; 'B' is
    // 1 x 1 and hangs one row below it. Ascent 2, descent 0, spacing 1.
    void SaveFont(const char* path) {
        ZEMImage picture(3, 3, 8);
        const uint8_t pixels[9] = {1, 2, 3, 3, 0, 3, 2, 1, 0};
        std::copy(pixels, pixels + 9, picture.data);
        ZEMFont font("Shades", 'A', 'B', &picture, 2);
        font.ascent = 2;
        font.spacing = 1;
        font.whiteSize = 2;
        ZEMChar a = {0, 0, 2, 3, 0};
        ZEMChar b = {2, 0, 1, 1, 1};
        font.SetChar('A', &a);
        font.SetChar('B', &b);
        ASSERT_TRUE(font.SaveName(path, 0));
    }

    // The picture's rows as palette indexes, one character each.
    static std::string Rows(const ZEMImage& image) {
        std::string rows;
        for (unsigned y = 0; y < image.height; ++y) {
            for (unsigned x = 0; x < image.width; ++x)
                rows += char('0' + image.GetPixel(int(x), int(y)));
            rows += '\n';
        }
        return rows;
    }
};

TEST_F(FontRenderToolTest, DrawsTheLineInShadesBetweenTheTwoColours) {
    SaveFont("shades.zfn");
    for (const char* name : {"line.bmp", "line.pcx", "line.tga"}) {
        std::string out;
        ASSERT_EQ(RunToolArgs({"font", "render", "shades.zfn", "A B", "-o", name, "--color",
                               "#FF0000", "--background", "#000030"},
                              &out),
                  0)
            << out;
        EXPECT_EQ(out, std::string(name) + ": 11 x 8\n");
        ZEMImage picture(0, 0, 8);
        ASSERT_TRUE(picture.LoadName(name, 0)) << name;
        ASSERT_EQ(picture.bpp, 8);
        // A margin of 2 all round; 'A' at column 2, the space 2 + 1 wide, 'B' below the baseline.
        EXPECT_EQ(Rows(picture), "00000000000\n"
                                 "00000000000\n"
                                 "00120000000\n"
                                 "00300000000\n"
                                 "00210000000\n"
                                 "00000000300\n"
                                 "00000000000\n"
                                 "00000000000\n")
            << name;
        ASSERT_NE(picture.palette, nullptr);
        const unsigned char* colors = picture.palette->colors;
        EXPECT_EQ(std::string(colors, colors + 3), std::string("\x00\x00\x30", 3)) << name;
        EXPECT_EQ(std::string(colors + 4, colors + 7), std::string("\x55\x00\x20", 3)) << name;
        EXPECT_EQ(std::string(colors + 12, colors + 15), std::string("\xff\x00\x00", 3)) << name;
    }
}

TEST_F(FontRenderToolTest, TextIsUtf8AndFullCoverageFontsDrawSmoothIn24Bits) {
    // One glyph for 'À' (0xC0 in Latin-1): two pixels of coverage 255 and 128.
    ZEMImage glyphs(2, 1, 8);
    glyphs.data[0] = 255;
    glyphs.data[1] = 128;
    ZEMFont font("Smooth", 0xC0, 0xC0, &glyphs, 8);
    font.ascent = 1;
    ZEMChar a = {0, 0, 2, 1, 0};
    font.SetChar(0xC0, &a);
    ASSERT_TRUE(font.SaveName("smooth.zfn", 0));
    std::string out;
    ASSERT_EQ(RunToolArgs(
                  {"font", "render", "smooth.zfn", "\xC3\x80", "-o", "a.bmp", "--color", "#FF0000"},
                  &out),
              0)
        << out;
    EXPECT_EQ(out, "a.bmp: 6 x 6\n");
    ZEMImage picture(0, 0, 8);
    ASSERT_TRUE(picture.LoadName("a.bmp", 0));
    ASSERT_EQ(picture.bpp, 24);
    // Red over white by the coverage, on the baseline row 2 + 1.
    EXPECT_EQ(picture.GetPixel(2, 3), 0xFF0000u);
    EXPECT_EQ(picture.GetPixel(3, 3), 0xFF7F7Fu);
    EXPECT_EQ(picture.GetPixel(4, 3), 0xFFFFFFu);
    EXPECT_EQ(picture.GetPixel(2, 2), 0xFFFFFFu);
}

TEST_F(FontRenderToolTest, RefusesBadArguments) {
    SaveFont("shades.zfn");
    zemtest::WriteFile("taken.bmp", "mine");
    // Status 2: the command line is wrong; 1: the work could not be done. The arguments after
    // "font render".
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"shades.zfn", "AB"}, 2},                                          // no output
        {{"shades.zfn", "-o", "x.bmp"}, 2},                                 // no text
        {{"shades.zfn", "AB", "-o", "x.png"}, 2},                           // format unknown
        {{"shades.zfn", "AB", "-o", "x.bmp", "--color", "red"}, 2},         // not #RRGGBB
        {{"shades.zfn", "AB", "-o", "x.bmp", "--background", "#12345"}, 2}, // too short
        {{"shades.zfn", "AB", "-o", "x.bmp", "--color"}, 2},                // no value
        {{"missing.zfn", "AB", "-o", "x.bmp"}, 1},                          // no font
        {{"shades.zfn", "AB", "extra", "-o", "x.bmp"}, 2},                  // one argument too many
        {{"shades.zfn", "AB", "-o", "no-such-dir/x.bmp"}, 1},               // cannot write
        {{"shades.zfn", "AB", "-o", "taken.bmp"}, 1},                       // exists, no --force
        {{"shades.zfn", "A\xE2\x82\xAC", "-o", "x.bmp"}, 1},                // the euro: not Latin-1
#ifndef _WIN32
        // A Windows command line is UTF-16 and carries no byte that is not UTF-8.
        {{"shades.zfn", "A\xC4", "-o", "x.bmp"}, 1}, // Latin-1, not UTF-8
#endif
    };
    for (const auto& [args, status] : cases) {
        std::vector<std::string> command{"font", "render"};
        command.insert(command.end(), args.begin(), args.end());
        const std::string shown = ::testing::PrintToString(args);
        std::string out;
        EXPECT_EQ(RunToolArgs(command, &out), status) << shown;
        EXPECT_EQ(out.rfind("zem: ", 0), 0u) << shown << ": " << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << shown << ": " << out;
    }
    EXPECT_EQ(zemtest::ReadFile("taken.bmp"), "mine");
    std::string out;
    EXPECT_EQ(
        RunToolArgs({"font", "render", "shades.zfn", "AB", "-o", "taken.bmp", "--force"}, &out), 0)
        << out;
}

// A picture that the loaders would refuse is refused before anything is drawn or written.
TEST_F(FontRenderToolTest, RefusesPicturesTheLoadersWouldRefuse) {
    SaveFont("shades.zfn");
    const std::string text(11000, 'A'); // 3 pixels a letter and the margins: 33,003 wide
    std::string out;
    EXPECT_EQ(RunToolArgs({"font", "render", "shades.zfn", text, "-o", "wide.pcx"}, &out), 1);
    EXPECT_EQ(out, "zem: the picture would be 33003 x 7 pixels: PCX pictures are at most 32768 "
                   "pixels wide and high\n");
    EXPECT_FALSE(std::filesystem::exists("wide.pcx"));
    EXPECT_EQ(RunToolArgs({"font", "render", "shades.zfn", text, "-o", "wide.tga"}, &out), 0)
        << out;
}

} // namespace
