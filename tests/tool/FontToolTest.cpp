#include <zem/graphics/ZEMFont.h>
#include <zem/graphics/ZEMImage.h>

#include "ZEMTestSupport.h"

#include <algorithm>
#include <string>

namespace {

class FontToolTest : public zemtest::TempDirTest {
protected:
    // A 1-bit font of the codes 31 to 'B' over a 10 x 3 bitmap.
    void SaveFont(const char* path) {
        ZEMImage picture(10, 3, 8);
        std::fill(picture.data, picture.data + 30, 1);
        ZEMFont font("Small\x1b", 31, 'B', &picture, 1);
        font.ascent = 3;
        font.descent = -1;
        font.spacing = 1;
        font.whiteSize = 4;
        ZEMChar a = {0, 0, 4, 3, 1};
        ZEMChar b = {4, 1, 6, 2, 0};
        font.SetChar('A', &a);
        font.SetChar('B', &b);
        font.SetFirstChar('@');
        ASSERT_TRUE(font.SaveName(path, 0));
    }
};

TEST_F(FontToolTest, ShowsTheFontAndItsGlyphs) {
    SaveFont("small.zfn");
    std::string out;
    ASSERT_EQ(zemtest::RunTool("font info small.zfn", &out), 0) << out;
    const std::string summary = "small.zfn: font file version 2\n"
                                "name:    Small?\n"
                                "range:   64 to 66 (3 codes)\n"
                                "metrics: ascent 3, descent -1, spacing 1, space width 4\n"
                                "bitmap:  10 x 3, 1 bit per pixel\n";
    EXPECT_EQ(out, summary);
    ASSERT_EQ(zemtest::RunTool("font info --glyphs small.zfn", &out), 0) << out;
    EXPECT_EQ(out, summary + "\n"
                             "code char     x      y  width height offset\n"
                             "  64  @       0      0      0      0      0\n"
                             "  65  A       0      0      4      3      1\n"
                             "  66  B       4      1      6      2      0\n");
}

TEST_F(FontToolTest, ReadsTheFirstVersion) {
    // "ZEMF", then the info block, one glyph record and a 1 x 1 bitmap of 8 bits per pixel.
    const std::string v1 =
        std::string("ZEMF\3V1\0", 8) + std::string("\x7f\0\0\0\x7f\0\0\0\2\0\1\0\0\0", 14) +
        std::string("\0\0\0\0\1\1\0\0", 8) + std::string("\1\0\0\0\1\0\0\0\x08\xff", 10);
    zemtest::WriteFile("old.zfn", v1);
    std::string out;
    ASSERT_EQ(zemtest::RunTool("font info old.zfn --glyphs", &out), 0) << out;
    EXPECT_EQ(out, "old.zfn: font file version 1\n"
                   "name:    V1\n"
                   "range:   127 to 127 (1 codes)\n"
                   "metrics: ascent 1, descent 0, spacing 0, space width 2\n"
                   "bitmap:  1 x 1, 8 bits per pixel\n"
                   "\n"
                   "code char     x      y  width height offset\n"
                   " 127  -       0      0      1      1      0\n");
}

TEST_F(FontToolTest, HelpAndFailures) {
    std::string out;
    EXPECT_EQ(zemtest::RunTool("font --help", &out), 0);
    EXPECT_NE(out.find("usage: zem font info FILE [--glyphs]"), std::string::npos);
    EXPECT_EQ(zemtest::RunTool("font info --help", &out), 0);
    EXPECT_NE(out.find("usage: zem font info FILE [--glyphs]"), std::string::npos);

    SaveFont("small.zfn");
    std::string bytes = zemtest::ReadFile("small.zfn");
    bytes[13] = char(0xF0); // the bitmap block past the end
    zemtest::WriteFile("broken.zfn", bytes);
    zemtest::WriteFile("junk.zfn", "not a font");
    struct Case {
        const char* args;
        const char* message;
    } cases[] = {
        {"font info broken.zfn",
         "zem: cannot load the font 'broken.zfn' (missing, not a font file, or damaged)\n"},
        {"font info junk.zfn",
         "zem: cannot load the font 'junk.zfn' (missing, not a font file, or damaged)\n"},
        {"font info missing.zfn",
         "zem: cannot load the font 'missing.zfn' (missing, not a font file, or damaged)\n"},
        {"font info", "zem: font info takes a FILE (see 'zem font --help')\n"},
        {"font info a b", "zem: unexpected argument 'b' (see 'zem font --help')\n"},
        {"font", "zem: font needs a command (see 'zem font --help')\n"},
        {"font draw x", "zem: unknown font command 'draw' (see 'zem font --help')\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zemtest::RunTool(c.args, &out), 1) << c.args;
        EXPECT_EQ(out, c.message) << c.args;
    }
}

} // namespace
