// Fonts built from real TrueType and PCF files, drawn by DrawText and compared pixel by pixel with
// the same text rendered directly by FreeType; the built fonts read back through ZEMFont.
#include <zem/ZEMConfig.h>

#if ZEM_HAS_FREETYPE

#include "ZEMTestSupport.h"

#include <zem/graphics/ZEMFont.h>
#include <zem/graphics/ZEMFontBuilder.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/stream/ZEMMemFile.h>
#include <zem/text/ZEMLatin1.h>

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const char DEJAVU[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char PCF[] = "/usr/share/fonts/X11/misc/9x15-ISO8859-1.pcf.gz";
const char HELLO[] = "Hello, World!";
constexpr unsigned SIZE = 16;
constexpr int WIDTH = 160, HEIGHT = 30, PEN_X = 3, BASELINE_ROW = 20;

bool Exists(const char* path) {
    struct stat status;
    return stat(path, &status) == 0;
}

// A face opened by FreeType itself, the yardstick the built fonts are measured against.
class Reference {
public:
    Reference(const char* path, unsigned size) {
        ok_ = FT_Init_FreeType(&library_) == 0 && FT_New_Face(library_, path, 0, &face_) == 0 &&
              FT_Set_Pixel_Sizes(face_, 0, size) == 0;
    }
    ~Reference() {
        if (face_) FT_Done_Face(face_);
        if (library_) FT_Done_FreeType(library_);
    }
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;

    bool IsOK() const { return ok_; }
    FT_Face Face() const { return face_; }

    // Renders code (monochrome or 256 levels); false when the face has no glyph for it.
    bool Render(unsigned code, bool mono) const {
        const FT_UInt index = FT_Get_Char_Index(face_, code);
        return index != 0 &&
               FT_Load_Glyph(face_, index,
                             mono ? FT_LOAD_RENDER | FT_LOAD_TARGET_MONO : FT_LOAD_RENDER) == 0;
    }

    // Coverage 0 to 255 of pixel (x, y) of the glyph last rendered.
    unsigned At(unsigned x, unsigned y) const {
        const FT_Bitmap& bitmap = face_->glyph->bitmap;
        const unsigned char* row = bitmap.buffer + int(y) * bitmap.pitch;
        if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) return (row[x / 8] >> (7 - x % 8) & 1) * 255;
        return row[x];
    }

    // The text as FreeType lays it out: each glyph at the pen plus its bearing, its top
    // bitmap_top rows above the baseline, the pen moving by the advance.
    std::vector<unsigned> Text(const char* text, bool mono) const {
        std::vector<unsigned> coverage(WIDTH * HEIGHT, 0);
        int pen = PEN_X;
        for (const char* c = text; *c; ++c) {
            if (!Render(static_cast<unsigned char>(*c), mono)) continue;
            const FT_GlyphSlot slot = face_->glyph;
            const int left = pen + slot->bitmap_left;
            const int top = BASELINE_ROW + 1 - slot->bitmap_top;
            for (unsigned y = 0; y < slot->bitmap.rows; ++y)
                for (unsigned x = 0; x < slot->bitmap.width; ++x)
                    coverage[(top + y) * WIDTH + left + x] = At(x, y);
            pen += int(slot->advance.x >> 6);
        }
        return coverage;
    }

private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
    bool ok_ = false;
};

std::vector<unsigned> Pixels(const ZEMImage& image) {
    return std::vector<unsigned>(image.data, image.data + WIDTH * HEIGHT);
}

// The text drawn by DrawText (in 1) or, for a 2-bit font, by DrawTextEx in the levels 0 to 3.
std::vector<unsigned> Drawn(ZEMFont& font, const char* text) {
    ZEMImage image(WIDTH, HEIGHT, 8);
    std::memset(image.data, 0, WIDTH * HEIGHT);
    if (font.format == 2) {
        ZEMFont::FontParams params;
        params.font = &font;
        params.align = ZEMFont::ALIGN_BASELINE;
        for (uint32_t v = 0; v < 4; ++v)
            params.textColors[v] = v;
        image.DrawTextEx(PEN_X, BASELINE_ROW, text, params, -1);
    } else {
        image.DrawText(PEN_X, BASELINE_ROW, text, 1, &font, ZEMFont::ALIGN_BASELINE, -1);
    }
    return Pixels(image);
}

// The glyph bitmap bytes of the text, placed as DrawText places its glyphs: what an 8-bit
// font holds where DrawText only tells set from clear.
std::vector<unsigned> Laid(const ZEMFont& font, const char* text) {
    std::vector<unsigned> levels(WIDTH * HEIGHT, 0);
    int pen = PEN_X;
    for (const char* c = text; *c; ++c) {
        const ZEMChar& glyph = font.chars[static_cast<unsigned char>(*c) - font.firstChar];
        const int top = BASELINE_ROW - glyph.height + glyph.offset + 1;
        for (int y = 0; y < glyph.height; ++y)
            for (int x = 0; x < glyph.width; ++x)
                levels[(top + y) * WIDTH + pen + x] =
                    font.bitmap[(glyph.y + y) * font.bitmapWidth + glyph.x + x];
        pen += *c == ' ' ? font.whiteSize : glyph.width;
        pen += font.spacing;
    }
    return levels;
}

// Saves the font into memory and loads it back into a new font.
std::unique_ptr<ZEMFont> RoundTrip(ZEMFont& font) {
    ZEMMemFile file(1u << 20, ZEMResFile::READ | ZEMResFile::WRITE);
    EXPECT_TRUE(font.Save(file, 0));
    file.SeekStart();
    auto loaded = std::make_unique<ZEMFont>(file, 0);
    EXPECT_STREQ(loaded->name, font.name);
    EXPECT_EQ(loaded->bitmapWidth, font.bitmapWidth);
    EXPECT_EQ(loaded->bitmapHeight, font.bitmapHeight);
    EXPECT_EQ(std::memcmp(loaded->bitmap, font.bitmap, font.bitmapWidth * font.bitmapHeight), 0);
    EXPECT_EQ(std::memcmp(loaded->chars, font.chars,
                          (font.lastChar - font.firstChar + 1) * sizeof(ZEMChar)),
              0);
    return loaded;
}

// Where the set pixels differ, as "x,y" pairs, so that a failure shows where.
std::string SetDifferences(const std::vector<unsigned>& ours, const std::vector<unsigned>& theirs) {
    std::string differences;
    for (int i = 0; i < WIDTH * HEIGHT; ++i) {
        if ((ours[i] != 0) != (theirs[i] != 0))
            differences += std::to_string(i % WIDTH) + "," + std::to_string(i / WIDTH) + " ";
    }
    return differences;
}

class FontBuilderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Exists(DEJAVU)) GTEST_SKIP() << DEJAVU << " is missing (Debian fonts-dejavu-core)";
        ASSERT_TRUE(builder_.Open(DEJAVU));
    }

    std::unique_ptr<ZEMFont> Build(unsigned char format, unsigned char first = 32,
                                   unsigned char last = 255) {
        ZEMFontBuilder::Options options;
        options.size = SIZE;
        options.format = format;
        options.first = first;
        options.last = last;
        auto font = std::make_unique<ZEMFont>(nullptr);
        EXPECT_TRUE(builder_.Build(options, *font));
        return font;
    }

    ZEMFontBuilder builder_;
};

TEST_F(FontBuilderTest, EachFormatDrawsTextAsFreeTypeRendersIt) {
    Reference reference(DEJAVU, SIZE);
    ASSERT_TRUE(reference.IsOK());
    for (unsigned char format : {1, 2, 8}) {
        SCOPED_TRACE("format " + std::to_string(format));
        auto built = Build(format);
        ASSERT_EQ(built->format, format);
        auto font = RoundTrip(*built);
        const std::vector<unsigned> theirs = reference.Text(HELLO, format == 1);
        const std::vector<unsigned> ours = Drawn(*font, HELLO);
        // Four levels drop the faintest coverage; the other formats set exactly FreeType's ink.
        if (format != 2) {
            EXPECT_EQ(SetDifferences(ours, theirs), "");
        }
        if (format == 1) continue;
        const std::vector<unsigned> levels = format == 2 ? ours : Laid(*font, HELLO);
        const unsigned step = format == 2 ? 85 : 1; // coverage of one level
        for (int i = 0; i < WIDTH * HEIGHT; ++i) {
            const int gap = int(levels[i] * step) - int(theirs[i]);
            ASSERT_LE(std::abs(gap), int(step)) << "pixel " << i % WIDTH << "," << i / WIDTH;
        }
    }
}

TEST_F(FontBuilderTest, BlendTextMixesTheColourByFreeTypesCoverage) {
    Reference reference(DEJAVU, SIZE);
    ASSERT_TRUE(reference.IsOK());
    auto font = RoundTrip(*Build(8));
    // Latin-1 text from UTF-8; its codes are the Unicode codes FreeType renders.
    const char utf8[] = "Hello, W\xC3\xB6rld \xC3\x80!";
    std::string text;
    ASSERT_TRUE(ZEMLatin1::FromUtf8(utf8, sizeof utf8 - 1, text));
    const std::vector<unsigned> theirs = reference.Text(text.c_str(), false);
    const uint8_t back[4] = {90, 60, 30, 255}, ink[4] = {10, 200, 250, 255}; // blue first
    for (unsigned bpp : {24u, 32u}) {
        SCOPED_TRACE(std::to_string(bpp) + " bits");
        const unsigned bytes = bpp / 8;
        ZEMImage image(WIDTH, HEIGHT, bpp);
        for (int i = 0; i < WIDTH * HEIGHT; ++i)
            std::memcpy(image.data + i * bytes, back, bytes);
        image.BlendText(PEN_X, BASELINE_ROW, text.c_str(), 0xFFFAC80Au, font.get(),
                        ZEMFont::ALIGN_BASELINE);
        unsigned mixed = 0;
        for (int i = 0; i < WIDTH * HEIGHT; ++i) {
            for (unsigned b = 0; b < bytes; ++b) {
                const double want = back[b] + (ink[b] - back[b]) * double(theirs[i]) / 255.0;
                ASSERT_LE(std::abs(image.data[i * bytes + b] - want), 1.0)
                    << "pixel " << i % WIDTH << "," << i / WIDTH << " byte " << b;
            }
            mixed += theirs[i] > 0 && theirs[i] < 255;
        }
        EXPECT_GT(mixed, 100u) << "smooth edges";
    }
}

TEST_F(FontBuilderTest, MetricsComeFromTheFace) {
    Reference reference(DEJAVU, SIZE);
    ASSERT_TRUE(reference.IsOK());
    const FT_Size_Metrics& metrics = reference.Face()->size->metrics;
    auto font = Build(1, 32, 126);
    EXPECT_STREQ(font->name, "DejaVu Sans Book 16");
    EXPECT_EQ(font->firstChar, 32u);
    EXPECT_EQ(font->lastChar, 126u);
    EXPECT_EQ(font->ascent, (metrics.ascender + 63) >> 6);
    EXPECT_EQ(font->descent, (-metrics.descender + 63) >> 6);
    ASSERT_TRUE(reference.Render(' ', true));
    EXPECT_EQ(font->whiteSize, reference.Face()->glyph->advance.x >> 6);
    EXPECT_EQ(font->spacing, 0);
    const ZEMChar blank = {};
    EXPECT_EQ(std::memcmp(&font->chars[0], &blank, sizeof blank), 0) << "the space has no glyph";
    // The text is as wide as FreeType's advances add up to.
    int advances = 0;
    for (const char* c = HELLO; *c; ++c) {
        ASSERT_TRUE(reference.Render(static_cast<unsigned char>(*c), true));
        advances += int(reference.Face()->glyph->advance.x >> 6);
    }
    EXPECT_EQ(font->TextWidth(HELLO, 100), unsigned(advances));
}

TEST_F(FontBuilderTest, OptionsSetNameSpacingAndSpace) {
    ZEMFontBuilder::Options options;
    options.name = "Title";
    options.spacing = 2;
    options.spaceWidth = 7;
    options.first = 'A';
    options.last = 'Z';
    ZEMFont font(nullptr);
    ASSERT_TRUE(builder_.Build(options, font));
    EXPECT_STREQ(font.name, "Title");
    EXPECT_EQ(font.spacing, 2);
    EXPECT_EQ(font.whiteSize, 7);
    EXPECT_EQ(font.firstChar, unsigned('A'));
    EXPECT_EQ(font.lastChar, unsigned('Z'));
    EXPECT_EQ(font.format, 1) << "monochrome unless told";
    EXPECT_EQ(builder_.BuiltSize(), 16u);
}

TEST_F(FontBuilderTest, GlyphsArePackedWithoutOverlapAndKeepAllTheirInk) {
    Reference reference(DEJAVU, SIZE);
    ASSERT_TRUE(reference.IsOK());
    auto font = Build(8);
    const unsigned count = font->lastChar - font->firstChar + 1;
    for (unsigned i = 0; i < count; ++i) {
        const ZEMChar& a = font->chars[i];
        ASSERT_LE(a.x + a.width, font->bitmapWidth);
        ASSERT_LE(a.y + a.height, font->bitmapHeight);
        if (a.height == 0) continue;
        // One pixel of gap: each glyph grown by one to the right and below meets no other.
        for (unsigned j = i + 1; j < count; ++j) {
            const ZEMChar& b = font->chars[j];
            if (b.height == 0) continue;
            const bool apart = a.x + a.width + 1 <= b.x || b.x + b.width + 1 <= a.x ||
                               a.y + a.height + 1 <= b.y || b.y + b.height + 1 <= a.y;
            ASSERT_TRUE(apart) << "codes " << font->firstChar + i << " and " << font->firstChar + j;
        }
    }
    // Glyphs whose ink leaves their advance ('j' and 'T' reach left of the pen) lose none of it.
    for (char c : {'j', 'T', 'k', 'W', '\xEE'}) {
        const unsigned char code = static_cast<unsigned char>(c);
        ASSERT_TRUE(reference.Render(code, false));
        unsigned theirs = 0, ours = 0;
        const FT_Bitmap& bitmap = reference.Face()->glyph->bitmap;
        for (unsigned y = 0; y < bitmap.rows; ++y)
            for (unsigned x = 0; x < bitmap.width; ++x)
                theirs += reference.At(x, y);
        const ZEMChar& glyph = font->chars[code - font->firstChar];
        for (unsigned y = 0; y < glyph.height; ++y)
            for (unsigned x = 0; x < glyph.width; ++x)
                ours += font->bitmap[(glyph.y + y) * font->bitmapWidth + glyph.x + x];
        EXPECT_EQ(ours, theirs) << "code " << unsigned(code);
        EXPECT_GE(glyph.width, reference.Face()->glyph->advance.x >> 6)
            << "code " << unsigned(code);
    }
}

TEST_F(FontBuilderTest, CodesTheFaceLacksGetEmptyGlyphs) {
    auto font = Build(2, 120, 170);
    const ZEMChar blank = {};
    for (unsigned code = 127; code <= 159; ++code) // C1 controls: DejaVu has no glyphs there
        EXPECT_EQ(std::memcmp(&font->chars[code - 120], &blank, sizeof blank), 0) << code;
    EXPECT_NE(font->chars['x' - 120].width, 0);
    EXPECT_NE(font->chars[0xA9 - 120].width, 0) << "the copyright sign is in Latin-1";
}

TEST_F(FontBuilderTest, RefusalsLeaveTheFontAlone) {
    auto font = Build(1, 'A', 'C');
    struct Case {
        const char* what;
        unsigned size;
        unsigned char format;
        unsigned char first, last;
        int spaceWidth;
    };
    const Case cases[] = {
        {"format 3", 16, 3, 32, 126, -1},   {"format 0", 16, 0, 32, 126, -1},
        {"size 0", 0, 1, 32, 126, -1},      {"size 256", 256, 1, 32, 126, -1},
        {"empty range", 16, 1, 90, 80, -1}, {"space of 256", 16, 1, 32, 126, 256},
    };
    for (const Case& c : cases) {
        ZEMFontBuilder::Options options;
        options.size = c.size;
        options.format = c.format;
        options.first = c.first;
        options.last = c.last;
        options.spaceWidth = c.spaceWidth;
        zemtest::LogCapture log;
        EXPECT_FALSE(builder_.Build(options, *font)) << c.what;
        EXPECT_NE(log.Text().find("FontBuilder: "), std::string::npos) << c.what;
        EXPECT_EQ(font->firstChar, unsigned('A')) << c.what;
        EXPECT_EQ(font->lastChar, unsigned('C')) << c.what;
        EXPECT_EQ(font->format, 1) << c.what;
    }
    ZEMFontBuilder closed;
    zemtest::LogCapture log;
    EXPECT_FALSE(closed.Build(ZEMFontBuilder::Options(), *font));
    EXPECT_EQ(log.Text(), "FontBuilder: no font file open\n");
    EXPECT_EQ(font->lastChar, unsigned('C'));
}

class FontBuilderFileTest : public zemtest::TempDirTest {};

TEST_F(FontBuilderFileTest, OnlyFontFilesOpen) {
    zemtest::WriteFile(Path("notes.ttf"), "not a font at all");
    zemtest::WriteFile(Path("empty.ttf"), "");
    ZEMFontBuilder builder;
    zemtest::LogCapture log;
    EXPECT_FALSE(builder.Open(Path("notes.ttf").c_str()));
    EXPECT_FALSE(builder.Open(Path("empty.ttf").c_str()));
    EXPECT_FALSE(builder.Open(Path("missing.ttf").c_str()));
    EXPECT_FALSE(builder.Open(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(builder.IsOpen());
    if (!Exists(DEJAVU)) return;
    // Font bytes in any stream open as well, e.g. an archive member.
    const std::string bytes = zemtest::ReadFile(DEJAVU);
    std::vector<unsigned char> copy(bytes.begin(), bytes.end());
    ZEMMemFile file(unsigned(copy.size()), ZEMResFile::READ, copy.data());
    EXPECT_TRUE(builder.Open(file));
    ZEMFont font(nullptr);
    EXPECT_TRUE(builder.Build(ZEMFontBuilder::Options(), font));
}

// The glyph of code as rows of '#' (set) and '.' (clear).
std::vector<std::string> GlyphRows(const ZEMFont& font, unsigned code) {
    const ZEMChar& glyph = font.chars[code - font.firstChar];
    std::vector<std::string> rows;
    for (unsigned y = 0; y < glyph.height; ++y) {
        std::string row;
        for (unsigned x = 0; x < glyph.width; ++x)
            row += font.bitmap[(glyph.y + y) * font.bitmapWidth + glyph.x + x] ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

TEST(FontBuilderBitmapTest, BdfGlyphsAreTheFileBitmaps) {
    ZEMFontBuilder builder;
    ASSERT_TRUE(builder.Open(zemtest::DataPath("fonts/tiny.bdf").c_str()));
    ZEMFontBuilder::Options options;
    options.size = 9; // the font's one strike is of 8 pixels
    options.last = 255;
    ZEMFont font(nullptr);
    ASSERT_TRUE(builder.Build(options, font));
    EXPECT_EQ(builder.BuiltSize(), 8u);
    EXPECT_EQ(font.ascent, 7);
    EXPECT_EQ(font.descent, 2);
    EXPECT_EQ(font.whiteSize, 5);
    EXPECT_EQ(GlyphRows(font, 'A'), std::vector<std::string>({"..#...", ".#.#..", "#...#.",
                                                              "#####.", "#...#.", "#...#."}));
    EXPECT_EQ(font.chars['A' - 32].offset, 0);
    // 'j' reaches one column left of the pen: its cell starts there, one column wider.
    EXPECT_EQ(GlyphRows(font, 'j'), std::vector<std::string>({"...#.", ".....", "..##.", "...#.",
                                                              "...#.", "...#.", "#..#.", ".##.."}));
    EXPECT_EQ(font.chars['j' - 32].offset, 2);
    // The degree sign floats 4 rows above the baseline, one column right of the pen.
    EXPECT_EQ(GlyphRows(font, 0xB0), std::vector<std::string>({"..#.", ".#.#", "..#."}));
    EXPECT_EQ(font.chars[0xB0 - 32].offset, -4);
    // Y with diaeresis is U+0178, not Latin-1 code 255; 'B' is not in the font.
    EXPECT_EQ(font.chars[255 - 32].width, 0);
    EXPECT_EQ(font.chars['B' - 32].width, 0);
}

TEST(FontBuilderBitmapTest, PcfGlyphsArePixelExact) {
    if (!Exists(PCF)) GTEST_SKIP() << PCF << " is missing (Debian xfonts-base)";
    ZEMFontBuilder builder;
    ASSERT_TRUE(builder.Open(PCF));
    ZEMFontBuilder::Options options;
    options.size = 15;
    options.first = 32;
    options.last = 255;
    ZEMFont font(nullptr);
    ASSERT_TRUE(builder.Build(options, font));
    EXPECT_EQ(builder.BuiltSize(), 15u);
    Reference reference(PCF, 15);
    ASSERT_TRUE(reference.IsOK());
    unsigned glyphs = 0;
    for (unsigned code = 33; code <= 255; ++code) {
        const ZEMChar& glyph = font.chars[code - 32];
        if (!reference.Render(code, true)) {
            EXPECT_EQ(glyph.width, 0) << code;
            continue;
        }
        ++glyphs;
        const FT_GlyphSlot slot = reference.Face()->glyph;
        ASSERT_EQ(glyph.width, slot->advance.x >> 6) << code;
        ASSERT_EQ(glyph.height, slot->bitmap.rows) << code;
        ASSERT_EQ(glyph.offset, int(slot->bitmap.rows) - slot->bitmap_top) << code;
        for (unsigned y = 0; y < glyph.height; ++y) {
            for (unsigned x = 0; x < glyph.width; ++x) {
                const int inkX = int(x) - slot->bitmap_left;
                const bool inside = inkX >= 0 && unsigned(inkX) < slot->bitmap.width;
                const unsigned theirs = inside ? reference.At(unsigned(inkX), y) : 0;
                ASSERT_EQ(font.bitmap[(glyph.y + y) * font.bitmapWidth + glyph.x + x] != 0,
                          theirs != 0)
                    << "code " << code << " at " << x << "," << y;
            }
        }
    }
    EXPECT_GE(glyphs, 180u) << "Latin-1 is in the font";
}

} // namespace

#endif
