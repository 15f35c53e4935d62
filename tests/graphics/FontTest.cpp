// The bitmap font: building and editing in memory, measuring, both file versions, refusal of
// hostile files, and the font picture as an image.
#include "ZEMTestSupport.h"

#include <zem/graphics/ZEMCodec.h>
#include <zem/graphics/ZEMFont.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMMemFile.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using zemtest::ByteStream;
using zemtest::LogCapture;

namespace {

class FontTest : public zemtest::TempDirTest {};

void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s += char(v >> (8 * i));
}

void Put16(std::string& s, uint16_t v) {
    s += char(v);
    s += char(v >> 8);
}

// The blocks of a font file, written by hand so that the reader is checked against the layout
// itself rather than against our writer.
struct FontFile {
    std::string name = "Tiny";
    uint32_t first = 'A';
    uint32_t last = 'B';
    std::vector<ZEMChar> glyphs = {{0, 0, 3, 2, 0}, {3, 0, 2, 2, 1}};
    uint32_t width = 5;
    uint32_t height = 2;
    uint8_t format = 8;
    std::string pixels = std::string("\1\2\3\4\5\6\7\10\11\12", 10);

    std::string Info() const {
        std::string s(1, char(name.size() + 1));
        s += name;
        s += '\0';
        Put32(s, first);
        Put32(s, last);
        s += char(4); // whiteSize
        s += char(1); // spacing
        Put16(s, 7);  // ascent
        Put16(s, 2);  // descent
        return s;
    }
    std::string Glyphs() const {
        std::string s;
        for (const ZEMChar& g : glyphs) {
            Put16(s, g.x);
            Put16(s, g.y);
            s += char(g.width);
            s += char(g.height);
            Put16(s, uint16_t(g.offset));
        }
        return s;
    }
    std::string Bitmap() const {
        std::string s;
        Put32(s, width);
        Put32(s, height);
        s += char(format);
        return s + pixels;
    }
    std::string V2(uint8_t version = 2) const {
        std::string s = "ZEMF";
        s += char(version);
        const std::string info = Info();
        const std::string glyphs = Glyphs();
        Put32(s, 17);
        Put32(s, uint32_t(17 + info.size()));
        Put32(s, uint32_t(17 + info.size() + glyphs.size()));
        return s + info + glyphs + Bitmap();
    }
    std::string V1() const { return "ZEMF" + Info() + Glyphs() + Bitmap(); }
};

bool SameGlyph(const ZEMChar& a, const ZEMChar& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height &&
           a.offset == b.offset;
}

std::string BitmapOf(const ZEMFont& font) {
    return std::string(reinterpret_cast<const char*>(font.bitmap),
                       size_t(font.bitmapWidth) * font.bitmapHeight);
}

// An 8-bit image with the given pixel bytes.
std::unique_ptr<ZEMImage> Picture(unsigned w, unsigned h, const std::vector<uint8_t>& pixels) {
    auto image = std::make_unique<ZEMImage>(w, h, 8);
    std::memcpy(image->data, pixels.data(), pixels.size());
    return image;
}

// A font of 'A' (width 5) and 'B' (width 6), white space 4 and spacing 1.
struct MeasuredFont : ZEMFont {
    MeasuredFont() : ZEMFont("M", 'A', 'B', nullptr, 8) {
        whiteSize = 4;
        spacing = 1;
        ZEMChar a = {0, 0, 5, 10, 2};
        ZEMChar b = {0, 0, 6, 7, 0};
        SetChar('A', &a);
        SetChar('B', &b);
    }
};

} // namespace

TEST_F(FontTest, EmptyFontMeasuresNothingAndSaysNothing) {
    LogCapture log;
    ZEMFont font(nullptr);
    EXPECT_EQ(font.name, nullptr);
    EXPECT_EQ(font.TextWidth("AB", 10), 0u);
    EXPECT_EQ(font.CharHeight('A'), 0u);
    font.SetLastChar(20); // no glyph table to grow
    EXPECT_EQ(font.chars, nullptr);
    EXPECT_EQ(log.Text(), "");
    font.PrintInfo(true);
    EXPECT_EQ(log.Text(), "Font not defined\n");
}

TEST_F(FontTest, Measuring) {
    MeasuredFont font;
    EXPECT_EQ(font.TextWidth("A B", 100), 17u); // 5 + 1 + 4 + 1 + 6
    EXPECT_EQ(font.TextWidth("AB", 1), 5u);
    EXPECT_EQ(font.TextWidth("", 10), 0u);
    EXPECT_EQ(font.TextWidth("AB", 0), 0u);
    EXPECT_EQ(font.TextWidth("xAx", 100), 7u); // codes outside the range add only spacing
    EXPECT_EQ(font.CharWidth('\t'), 32u);
    EXPECT_EQ(font.CharWidth(' '), 4u);
    EXPECT_EQ(font.CharWidth('Z'), 0u);
    EXPECT_EQ(font.CharHeight('A'), 10u);
    EXPECT_EQ(font.CharHeight(' '), 0u);

    unsigned width = 99, height = 99;
    font.TextSize("AB", width, height, 100);
    EXPECT_EQ(width, 12u);
    EXPECT_EQ(height, 10u); // 8 rows at or above the baseline plus 2 below
    font.TextSize(" \tZ", width, height, 100);
    EXPECT_EQ(height, 0u);
    font.TextSize("B", width, height, 0);
    EXPECT_EQ(width, 0u);
    EXPECT_EQ(height, 0u);
}

TEST_F(FontTest, BuilderNormalisesTheRange) {
    struct Case {
        unsigned first, last, wantFirst, wantLast;
    } cases[] = {{'B', 'A', 'A', 'B'}, {300, 400, 255, 255}, {10, 300, 10, 255}, {7, 7, 7, 7}};
    for (const Case& c : cases) {
        ZEMFont font("F", c.first, c.last, nullptr, 1);
        EXPECT_EQ(font.firstChar, c.wantFirst) << c.first << ".." << c.last;
        EXPECT_EQ(font.lastChar, c.wantLast) << c.first << ".." << c.last;
        EXPECT_EQ(font.bitmap, nullptr);
        EXPECT_EQ(font.format, 1);
    }
}

TEST_F(FontTest, EditingTheRangeKeepsRecords) {
    MeasuredFont font;
    ZEMChar glyph = {1, 2, 3, 4, -1};
    font.SetChar(' ', &glyph); // outside the range and the space anyway
    font.SetFirstChar('0');
    ASSERT_EQ(font.firstChar, unsigned('0'));
    for (unsigned c = '0'; c < 'A'; ++c)
        EXPECT_TRUE(SameGlyph(font.chars[c - '0'], ZEMChar{})) << c;
    EXPECT_EQ(font.CharWidth('A'), 5u);
    EXPECT_EQ(font.CharWidth('B'), 6u);

    font.SetFirstChar('C'); // above lastChar
    EXPECT_EQ(font.firstChar, unsigned('0'));
    font.SetLastChar(' ');
    font.SetChar(' ', &glyph);
    EXPECT_EQ(font.lastChar, unsigned('B'));
    font.SetLastChar(255);
    EXPECT_EQ(font.CharWidth('B'), 6u);
    font.SetChar(' ', &glyph);
    font.SetChar('~', &glyph);
    EXPECT_EQ(font.CharHeight('~'), 4u);
    EXPECT_EQ(font.CharWidth(' '), 4u); // still whiteSize

    font.SetFirstChar('B');
    font.SetLastChar('B');
    EXPECT_EQ(font.CharWidth('A'), 0u);
    EXPECT_EQ(font.CharWidth('B'), 6u);
    font.SetChar('B', nullptr);
    EXPECT_EQ(font.CharWidth('B'), 0u);
    EXPECT_EQ(font.MemoryUsed(), 0u + 1 + 40 + 8);
}

TEST_F(FontTest, SetImageNeedsTheMatchingDepth) {
    auto glyphs = Picture(3, 2, {1, 0, 1, 0, 1, 0});
    ZEMFont font("F", 'a', 'z', glyphs.get(), 1);
    ASSERT_NE(font.bitmap, nullptr);
    EXPECT_EQ(BitmapOf(font), std::string("\1\0\1\0\1\0", 6));
    glyphs->data[0] = 9; // a copy, not the image's buffer
    EXPECT_EQ(font.bitmap[0], 1);

    ZEMImage deep(2, 2, 24);
    EXPECT_FALSE(font.SetImage(&deep, 1));
    EXPECT_FALSE(font.SetImage(nullptr, 8));
    EXPECT_EQ(font.bitmapWidth, 3u);
    EXPECT_EQ(font.format, 1);
    EXPECT_TRUE(font.SetImage(&deep, 24)); // built, though it cannot be saved
    EXPECT_EQ(font.bitmapWidth, 2u);
    ZEMMemFile out(4096, ZEMResFile::READ | ZEMResFile::WRITE);
    EXPECT_FALSE(font.Save(out, 0));
    EXPECT_EQ(out.GetPos(), 0u);
}

// A 1-bit font 9 pixels wide packs its rows into 2 bytes, the leftmost pixel in the top bit.
TEST_F(FontTest, SavedOneBitFontReadsBack) {
    const std::vector<uint8_t> pixels = {1, 0, 0, 0, 0, 0, 0, 1, 1, //
                                         0, 1, 0, 0, 0, 0, 0, 0, 0};
    auto picture = Picture(9, 2, pixels);
    ZEMFont font("Nine", 'a', 'c', picture.get(), 1);
    font.ascent = 5;
    font.descent = -2;
    font.spacing = 2;
    font.whiteSize = 3;
    ZEMChar a = {0, 0, 4, 2, 0};
    ZEMChar c = {4, 1, 5, 1, -1};
    font.SetChar('a', &a);
    font.SetChar('c', &c);
    ASSERT_TRUE(font.SaveName("nine.zfn", 0));

    const std::string bytes = zemtest::ReadFile("nine.zfn");
    const std::string info = FontFile{"Nine"}.Info();
    ASSERT_EQ(bytes.size(), 17 + info.size() + 3 * 8 + 9 + 2 * 2);
    EXPECT_EQ(bytes.substr(0, 5), "ZEMF\2");
    EXPECT_EQ(bytes.substr(5, 4), std::string("\x11\0\0\0", 4)); // info block at 17
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\x81\x80\x40\x00", 4));

    ZEMFont back("nine.zfn");
    ASSERT_NE(back.name, nullptr);
    EXPECT_STREQ(back.name, "Nine");
    EXPECT_EQ(back.format, 1);
    EXPECT_EQ(back.bitmapWidth, 9u);
    EXPECT_EQ(back.bitmapHeight, 2u);
    EXPECT_EQ(BitmapOf(back), std::string(pixels.begin(), pixels.end()));
    EXPECT_EQ(back.ascent, 5);
    EXPECT_EQ(back.descent, -2);
    EXPECT_EQ(back.spacing, 2);
    EXPECT_EQ(back.whiteSize, 3);
    ASSERT_EQ(back.firstChar, unsigned('a'));
    ASSERT_EQ(back.lastChar, unsigned('c'));
    for (unsigned i = 0; i < 3; ++i)
        EXPECT_TRUE(SameGlyph(back.chars[i], font.chars[i])) << i;
}

TEST_F(FontTest, TwoBitAndEightBitBitmapsRoundTrip) {
    for (uint8_t format : {2, 8}) {
        const std::vector<uint8_t> pixels = {3, 2, 1, 0, 1, 2, 3, 0, 2, 1};
        auto picture = Picture(5, 2, pixels);
        ZEMFont font("F", 'a', 'a', picture.get(), format);
        ZEMMemFile out(512, ZEMResFile::READ | ZEMResFile::WRITE);
        ASSERT_TRUE(font.Save(out, 1));
        EXPECT_EQ(out.GetPos(), 17u); // left after the offsets it patched in
        out.SeekStart();
        ZEMFont back(nullptr);
        ASSERT_TRUE(back.Load(out, 0)) << int(format);
        EXPECT_EQ(BitmapOf(back), std::string(pixels.begin(), pixels.end()));
    }
}

// A zero width with the largest height is an empty bitmap: no time is spent on its rows.
TEST_F(FontTest, EmptyBitmapOfCountlessRows) {
    FontFile file;
    file.width = 0;
    file.height = 0xFFFFFFFF;
    file.format = 1;
    file.pixels.clear();
    file.glyphs = {{0, 0, 0, 0, 0}, {0, 7, 0, 9, 0}};
    ByteStream in(file.V2());
    ZEMFont font(nullptr);
    ASSERT_TRUE(font.Load(in.file, 0));
    ZEMMemFile out(512, ZEMResFile::READ | ZEMResFile::WRITE);
    ASSERT_TRUE(font.Save(out, 0));
    out.SeekStart();
    ZEMFont back(nullptr);
    ASSERT_TRUE(back.Load(out, 0));
    EXPECT_EQ(back.bitmapHeight, 0xFFFFFFFFu);
}

TEST_F(FontTest, NameLengths) {
    ZEMFont font(std::string(200, 'n').c_str(), 'a', 'a', nullptr, 8);
    auto picture = Picture(1, 1, {1});
    font.SetImage(picture.get(), 8);
    ASSERT_TRUE(font.SaveName("long.zfn", 0));
    EXPECT_EQ(uint8_t(zemtest::ReadFile("long.zfn")[17]), 201);

    // A longer name would wrap the length byte: refused, nothing written.
    ZEMFont tooLong(std::string(255, 'n').c_str(), 'a', 'a', picture.get(), 8);
    LogCapture log;
    ZEMMemFile out(1024, ZEMResFile::READ | ZEMResFile::WRITE);
    EXPECT_FALSE(tooLong.Save(out, 0));
    EXPECT_EQ(out.GetPos(), 0u);
    EXPECT_EQ(log.Text(), "Font: a name of 255 characters is too long to save (at most 254)\n");
    ZEMFont limit(std::string(254, 'n').c_str(), 'a', 'a', picture.get(), 8);
    EXPECT_TRUE(limit.Save(out, 0));
    ZEMMemFile small(100, ZEMResFile::READ | ZEMResFile::WRITE);
    EXPECT_FALSE(limit.Save(small, 0)); // the stream could not take it all
}

TEST_F(FontTest, ReadsTheFileLayout) {
    FontFile file;
    ByteStream in(file.V2());
    ZEMFont font(in.file, 0);
    ASSERT_NE(font.name, nullptr);
    EXPECT_STREQ(font.name, "Tiny");
    EXPECT_EQ(font.ascent, 7);
    EXPECT_EQ(font.descent, 2);
    EXPECT_EQ(font.whiteSize, 4);
    EXPECT_EQ(font.spacing, 1);
    EXPECT_EQ(BitmapOf(font), file.pixels);
    EXPECT_EQ(font.CharWidth('B'), 2u);
    EXPECT_EQ(font.MemoryUsed(), 10u + 4 + 40 + 16);

    LogCapture log;
    font.PrintInfo(true);
    EXPECT_EQ(log.Text(), "Font name       : Tiny\n"
                          "First char      : 65 [A]\n"
                          "Last char       : 66 [B]\n"
                          "  Total         : 2\n"
                          "Char spacing    : 1\n"
                          "White char size : 4\n"
                          "Ascent          : 7\n"
                          "Descent         : 2\n"
                          "Format (bpp)    : 8\n"
                          "------------------- Characters :\n"
                          "Char 65 [A] :   0   0   3   2 0\n"
                          "Char 66 [B] :   3   0   2   2 1\n");
}

TEST_F(FontTest, VersionOneLoadsOnlyThroughLoadV1) {
    FontFile file;
    file.name = "Old"; // length byte 4, read by Load as the version
    LogCapture log;
    ByteStream v1(file.V1());
    ZEMFont font(nullptr);
    EXPECT_FALSE(font.Load(v1.file, 0));
    EXPECT_EQ(log.Text(), "Font: unknown format version 4\n");
    v1.file.SeekStart();
    ASSERT_TRUE(font.LoadV1(v1.file, 0));
    EXPECT_STREQ(font.name, "Old");
    EXPECT_EQ(BitmapOf(font), file.pixels);

    ByteStream v2(file.V2());
    ZEMFont other(nullptr);
    EXPECT_FALSE(other.LoadV1(v2.file, 0));
    EXPECT_EQ(other.name, nullptr);
}

TEST_F(FontTest, KindAndStreamChecks) {
    ByteStream in(FontFile().V2());
    ZEMFont font(nullptr);
    EXPECT_FALSE(font.Load(in.file, 2));
    EXPECT_FALSE(font.LoadV1(in.file, -1));
    EXPECT_EQ(in.file.GetPos(), 0u); // nothing read
    EXPECT_TRUE(font.Load(in.file, 1));
    ZEMMemFile out(512, ZEMResFile::READ | ZEMResFile::WRITE);
    EXPECT_FALSE(font.Save(out, 2));
    EXPECT_EQ(out.GetPos(), 0u);

    LogCapture log;
    ZEMFont missing("missing.zfn");
    EXPECT_EQ(missing.name, nullptr);
    EXPECT_EQ(log.Text(), "Font: bad file missing.zfn\n");
    in.file.Close();
    ZEMFont closed(in.file, 0);
    EXPECT_EQ(closed.name, nullptr);
    EXPECT_EQ(log.Text(), "Font: bad file missing.zfn\nFont: bad resource file\n");
}

// Hostile files are refused with a message and leave the loaded font exactly as it was.
TEST_F(FontTest, HostileFilesAreRefused) {
    struct Case {
        const char* what;
        std::string bytes;
        const char* message;
    };
    auto with = [](auto change) {
        FontFile f;
        change(f);
        return f.V2();
    };
    std::string noTerminator = FontFile().V2();
    noTerminator[17 + 5] = 'x'; // the terminator of "Tiny"
    std::string noName = FontFile().V2();
    noName[17] = '\0'; // a name field of no bytes has no terminator
    std::string offsetPast = FontFile().V2();
    offsetPast[16] = char(0x7F); // bitmap block far past the end
    std::string cut = FontFile().V2();
    cut.resize(cut.size() - 1);
    const Case cases[] = {
        {"name not terminated", noTerminator, "Font: name not terminated within its 5 bytes\n"},
        {"empty name field", noName, "Font: name not terminated within its 0 bytes\n"},
        {"last below first", with([](FontFile& f) { f.first = 'C'; }),
         "Font: bad character range 67 to 66\n"},
        {"last above 255", with([](FontFile& f) { f.first = 255, f.last = 256; }),
         "Font: bad character range 255 to 256\n"},
        {"glyph right of bitmap", with([](FontFile& f) { f.glyphs[1].x = 4; }),
         "Font: glyph of code 66 lies outside the bitmap\n"},
        {"glyph below bitmap", with([](FontFile& f) { f.glyphs[0].height = 3; }),
         "Font: glyph of code 65 lies outside the bitmap\n"},
        {"size overflows", with([](FontFile& f) { f.width = f.height = 0x10000; }),
         "Font: bitmap of 65536 x 65536 pixels is too large\n"},
        {"bitmap beyond the file", with([](FontFile& f) { f.height = 1000000; }),
         "Font: bitmap cut short\n"},
        {"packed bitmap beyond the file", with([](FontFile& f) { f.format = 1, f.height = 17; }),
         "Font: bitmap cut short\n"},
        {"offset past the end", offsetPast,
         "Font: block offset 2130706485 lies past the end of "
         "the file\n"},
        {"unknown format", with([](FontFile& f) { f.format = 4; }),
         "Font: unknown bitmap format 4\n"},
        {"picture format", with([](FontFile& f) { f.format = 24; }),
         "Font: unknown bitmap format 24\n"},
        {"cut short", cut, "Font: bitmap cut short\n"},
        {"version 3", FontFile().V2(3), "Font: unknown format version 3\n"},
    };
    auto picture = Picture(2, 1, {1, 0});
    for (const Case& c : cases) {
        ZEMFont font("Kept", 'k', 'k', picture.get(), 1);
        ByteStream in(c.bytes);
        LogCapture log;
        EXPECT_FALSE(font.Load(in.file, 0)) << c.what;
        EXPECT_EQ(log.Text(), c.message) << c.what;
        EXPECT_STREQ(font.name, "Kept") << c.what;
        EXPECT_EQ(font.firstChar, unsigned('k')) << c.what;
        EXPECT_EQ(BitmapOf(font), std::string("\1\0", 2)) << c.what;
    }
}

TEST_F(FontTest, PictureOfAFontFile) {
    struct Case {
        uint8_t format;
        std::string pixels; // as stored
        unsigned bpp;
        std::string image; // as the image holds them
        unsigned colors;
    } cases[] = {
        {1, std::string("\xA0\x40", 2), 8, std::string("\1\0\1\0\0\0\1\0\0\0", 10), 2},
        {2, std::string("\xE4\x00\x1B\x00", 4), 8, std::string("\3\2\1\0\0\0\1\2\3\0", 10), 4},
        {8, std::string(10, '\7'), 8, std::string(10, '\7'), 256},
        {24, std::string(30, '\5'), 24, std::string(30, '\5'), 0},
    };
    for (const Case& c : cases) {
        FontFile file;
        file.format = c.format;
        file.pixels = c.pixels;
        ByteStream in(file.V2());
        ZEMImage image(0, 0, 8);
        ASSERT_EQ(image.FindFormat(in.file), 6);
        ASSERT_TRUE(image.Load(in.file, 0)) << int(c.format);
        EXPECT_EQ(image.width, 5u);
        EXPECT_EQ(image.height, 2u);
        EXPECT_EQ(image.bpp, c.bpp);
        EXPECT_EQ(image.pitch, 5 * c.bpp / 8);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(image.data), c.image.size()), c.image);
        if (c.colors == 0) {
            EXPECT_EQ(image.palette, nullptr);
            continue;
        }
        ASSERT_NE(image.palette, nullptr);
        EXPECT_EQ(image.palette->nbColors, c.colors);
        const unsigned char* last = image.palette->colors + 4 * (c.colors - 1);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(last), 3), "\xFF\xFF\xFF");
    }

    // Two levels of grey between black and white for a 2-bit picture.
    FontFile two;
    two.format = 2;
    two.pixels = std::string(4, '\0');
    ByteStream in(two.V2());
    ZEMImage image(0, 0, 8);
    ASSERT_TRUE(image.Load(in.file, 6));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(image.palette->colors), 16),
              std::string("\0\0\0\0\x55\x55\x55\0\xAA\xAA\xAA\0\xFF\xFF\xFF\0", 16));
}

TEST_F(FontTest, RefusedPictureLeavesTheImage) {
    FontFile unknown;
    unknown.format = 4;
    FontFile huge; // 2^31 x 2^31 pixels of 4 bytes: 2^64 bytes, which wraps to 0 in 64 bits
    huge.format = 32;
    huge.width = huge.height = 0x80000000u;
    huge.pixels.clear();
    for (const std::string& bytes : {unknown.V2(), huge.V2(), FontFile().V2(3),
                                     FontFile().V2().substr(0, 30), std::string("ZEMF")}) {
        ZEMImage image(3, 2, 8);
        std::memset(image.data, 9, 6);
        image.ReplacePalette(new ZEMPal(7u));
        ByteStream in(bytes);
        uint8_t* data = image.data;
        LogCapture log;
        EXPECT_FALSE(image.Load(in.file, 6));
        EXPECT_EQ(image.data, data);
        EXPECT_EQ(image.width, 3u);
        EXPECT_EQ(image.height, 2u);
        EXPECT_EQ(image.bpp, 8);
        EXPECT_EQ(image.palette->nbColors, 7u);
        EXPECT_EQ(image.data[5], 9);
    }
}
