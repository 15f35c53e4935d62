// The palette: its colour operations and its five file formats, with GIMP's own palettes.
#include "ZEMTestSupport.h"

#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMFile.h>
#include <zem/stream/ZEMMemFile.h>

#include <dirent.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using zemtest::LogCapture;
using Stream = zemtest::ByteStream;

class PaletteTest : public zemtest::TempDirTest {};

namespace {

using Color = std::array<int, 4>;

std::vector<Color> Colors(const ZEMPal& pal) {
    std::vector<Color> out;
    for (unsigned i = 0; i < pal.nbColors; ++i) {
        const unsigned char* c = pal.colors + 4 * i;
        out.push_back({c[0], c[1], c[2], c[3]});
    }
    return out;
}

void Fill(ZEMPal& pal, const std::vector<Color>& colors) {
    pal.Resize(unsigned(colors.size()));
    for (size_t i = 0; i < colors.size(); ++i)
        for (int k = 0; k < 4; ++k)
            pal.colors[4 * i + k] = static_cast<unsigned char>(colors[i][k]);
}

// The bytes a palette saves in a format.
std::string Saved(ZEMPal& pal, int format) {
    ZEMMemFile out(1 << 16, ZEMResFile::READ | ZEMResFile::WRITE);
    EXPECT_TRUE(pal.Save(out, format));
    return std::string(reinterpret_cast<char*>(out.GetData()), out.GetPos());
}

std::string Lines(unsigned n, const std::string& line) {
    std::string text;
    for (unsigned i = 0; i < n; ++i)
        text += line;
    return text;
}

const std::vector<Color> SAMPLE = {{255, 0, 0, 0}, {0, 0, 255, 0}, {1, 2, 3, 0}, {250, 128, 7, 0}};

// The colours of a GIMP palette read the way GIMP reads it, independently of the library: after
// the magic line, every line but the name, the column count and comments is a colour.
std::vector<Color> ReadGimp(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    std::vector<Color> colors;
    while (std::getline(in, line)) {
        if (line.rfind('#', 0) == 0 || line.rfind("Name:", 0) == 0 ||
            line.rfind("Columns:", 0) == 0)
            continue;
        std::istringstream fields(line);
        Color c = {0, 0, 0, 0};
        fields >> c[0] >> c[1] >> c[2];
        colors.push_back(fields ? c : Color{0, 0, 0, 0});
    }
    return colors;
}

} // namespace

TEST_F(PaletteTest, ResizeKeepsColoursAndCapsAt4096) {
    ZEMPal pal(0u);
    EXPECT_EQ(pal.colors, nullptr);
    EXPECT_EQ(pal.MemoryUsed(), 12u);
    Fill(pal, SAMPLE);
    pal.Resize(6);
    EXPECT_EQ(pal.MemoryUsed(), 36u);
    std::vector<Color> grown = Colors(pal);
    grown.resize(4);
    EXPECT_EQ(grown, SAMPLE);
    pal.Resize(2);
    EXPECT_EQ(Colors(pal), std::vector<Color>(SAMPLE.begin(), SAMPLE.begin() + 2));
    {
        LogCapture log;
        pal.Resize(4096);
        EXPECT_EQ(log.Text(), "");
        pal.Resize(5000);
        EXPECT_EQ(log.Text(), "Note: palette size must be < 4096 !\n");
        EXPECT_EQ(pal.nbColors, 4096u);
        ZEMPal big(70000u);
        EXPECT_EQ(big.nbColors, 4096u);
    }
    EXPECT_EQ(pal.colors[4], 0); // colour 1 survived every resize
    EXPECT_EQ(pal.colors[6], 255);
    pal.Resize(0);
    EXPECT_EQ(pal.nbColors, 0u);
    EXPECT_EQ(pal.colors, nullptr);
}

TEST_F(PaletteTest, CopyAndColourSetters) {
    ZEMPal source(0u);
    Fill(source, SAMPLE);
    ZEMPal copy(&source);
    EXPECT_NE(copy.colors, source.colors);
    EXPECT_EQ(Colors(copy), SAMPLE);
    ZEMPal none(static_cast<const ZEMPal*>(nullptr));
    EXPECT_EQ(none.nbColors, 0u);
    EXPECT_EQ(none.colors, nullptr);

    // Three colours from 254 grow a 256-colour palette to 257.
    ZEMPal pal(256u);
    pal.GenerateGreyScale(256);
    const unsigned char rgb[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    pal.SetFromRGB(rgb, 3, 254);
    ASSERT_EQ(pal.nbColors, 257u);
    EXPECT_EQ(Colors(pal)[253], (Color{253, 253, 253, 0}));
    EXPECT_EQ(Colors(pal)[254], (Color{1, 2, 3, 0}));
    EXPECT_EQ(Colors(pal)[256], (Color{7, 8, 9, 0}));

    const unsigned char rgba[] = {10, 20, 30, 40, 50, 60, 70, 80};
    pal.SetFromRGBA(rgba, 2, 256);
    ASSERT_EQ(pal.nbColors, 258u);
    EXPECT_EQ(Colors(pal)[256], (Color{10, 20, 30, 40}));
    EXPECT_EQ(Colors(pal)[257], (Color{50, 60, 70, 80}));
    EXPECT_EQ(Colors(pal)[255], (Color{4, 5, 6, 0}));
}

TEST_F(PaletteTest, GreyScales) {
    ZEMPal pal(0u);
    pal.GenerateGreyScale(16);
    ASSERT_EQ(pal.nbColors, 16u);
    for (unsigned i = 0; i < 16; ++i)
        EXPECT_EQ(Colors(pal)[i], (Color{int(16 * i), int(16 * i), int(16 * i), 0}));

    ZEMPal wide(300u);
    wide.GenerateGreyScale(16);
    ASSERT_EQ(wide.nbColors, 300u);
    EXPECT_EQ(Colors(wide)[299], (Color{255, 255, 255, 0}));
    EXPECT_EQ(Colors(wide)[150], (Color{128, 128, 128, 0}));

    ZEMPal colour(0u);
    Fill(colour, {{255, 0, 0, 7}, {10, 20, 31, 9}});
    colour.ToGreyScale();
    EXPECT_EQ(Colors(colour), (std::vector<Color>{{85, 85, 85, 0}, {20, 20, 20, 0}}));
}

TEST_F(PaletteTest, EveryFormatWritesItsBytesAndReadsThemBack) {
    ZEMPal pal(0u);
    Fill(pal, {{255, 0, 0, 9}, {0, 0, 255, 0}});
    struct Case {
        int format;
        std::string bytes;
        bool alpha; // whether the format keeps the fourth byte
    } cases[] = {
        {1, std::string("ZEMP\x02\0\0\0\xFF\0\0\x09\0\0\xFF\0", 16), true},
        {0, std::string("ZEMP\x02\0\0\0\xFF\0\0\x09\0\0\xFF\0", 16), true},
        {2, "GIMP Palette\n# Generated by ZEMPal\n255 0 0\tUnknown\n0 0 255\tUnknown\n", false},
        {3, "JASC-PAL\n0100\n2\n255 0 0\n0 0 255\n", false},
        {4, std::string("\xFF\0\0\0\0\xFF", 6), false},
        {5, std::string("\0\0\xFF\xFF\0\0", 6), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(Saved(pal, c.format), c.bytes);
        Stream in(c.bytes);
        ZEMPal back(0u);
        ASSERT_TRUE(back.Load(in.file, c.format));
        std::vector<Color> expected = Colors(pal);
        if (!c.alpha) expected[0][3] = 0;
        EXPECT_EQ(Colors(back), expected);
    }
    ZEMMemFile out(64, ZEMResFile::WRITE);
    EXPECT_FALSE(pal.Save(out, 6));
    EXPECT_EQ(out.GetPos(), 0u);
    ZEMMemFile tiny(10, ZEMResFile::WRITE);
    EXPECT_FALSE(pal.Save(tiny, 3)); // the stream ran out of room
}

TEST_F(PaletteTest, FindFormatDetectsFromTheStart) {
    struct Case {
        std::string bytes;
        int format;
    } cases[] = {
        {"ZEMP\x00\x00\x00\x00", 1},
        {"GIMP Palette\n", 2},
        {"JASC-PAL\n0100\n0\n", 3},
        {std::string(768, 'x'), 4},
        {std::string(769, 'x'), 0},
        {"GIMP Pal", 0},
        {"ZEM", 0},
    };
    for (const Case& c : cases) {
        Stream in(c.bytes);
        ZEMPal pal(0u);
        EXPECT_EQ(pal.FindFormat(in.file), c.format) << c.bytes.substr(0, 12);
        EXPECT_EQ(in.file.GetPos(), 0u);
        EXPECT_TRUE(in.file.IsOK());
    }
    // An undetected file is tried as a ZEM palette, which refuses it; a 768-byte one is raw RGB.
    Stream odd(std::string(769, 'x'));
    ZEMPal pal(0u);
    EXPECT_FALSE(pal.Load(odd.file, 0));
    std::string raw(768, '\0');
    raw[3 * 255] = 'r';
    Stream rgb(raw);
    ASSERT_TRUE(pal.Load(rgb.file, 0));
    ASSERT_EQ(pal.nbColors, 256u);
    EXPECT_EQ(Colors(pal)[255], (Color{'r', 0, 0, 0}));
}

TEST_F(PaletteTest, GimpReaderSkipsHeaderLinesAndReadsBadLinesAsBlack) {
    const std::string text = "GIMP Palette\r\n"
                             "Name: Test\n"
                             "Columns: 4\n"
                             "#\n"
                             "10 20 30\tfirst\n"
                             "# a comment between colours\n"
                             "\n"
                             "40 50\n"
                             "Columns: 8\n"
                             "  1   2   3 spaced\r\n"
                             "word\n"
                             "256 -1 300\n";
    Stream in(text);
    ZEMPal pal(0u);
    ASSERT_TRUE(pal.Load(in.file, 0));
    EXPECT_EQ(Colors(pal), (std::vector<Color>{{10, 20, 30, 0},
                                               {0, 0, 0, 0},
                                               {0, 0, 0, 0},
                                               {1, 2, 3, 0},
                                               {0, 0, 0, 0},
                                               {0, 255, 44, 0}}));

    Stream many("GIMP Palette\n" + Lines(300, "7 8 9 x\n"));
    ASSERT_TRUE(pal.GIMPLoad(many.file));
    EXPECT_EQ(pal.nbColors, 256u);

    LogCapture log;
    Stream notGimp("GIMP palette\n1 2 3\n");
    EXPECT_FALSE(pal.GIMPLoad(notGimp.file));
    EXPECT_EQ(log.Text(), "Not a Gimp palette\n");
    EXPECT_EQ(pal.nbColors, 256u); // unchanged
}

// Lines of a megabyte, of letters or of zero bytes, read from a disk file in time linear in
// their length (they took seconds to minutes when lines grew by a few bytes at a time).
TEST_F(PaletteTest, LongLinesLoadAtOnce) {
    for (char filler : {'a', '\0'}) {
        zemtest::WriteFile("long.gpl", "GIMP Palette\n#" + std::string(1 << 20, filler) +
                                           "\n1 2 3\n" + std::string(1 << 20, filler));
        ZEMPal pal(0u);
        ZEMFile file("long.gpl", ZEMResFile::READ);
        ASSERT_TRUE(pal.Load(file, 2));
        EXPECT_EQ(Colors(pal), (std::vector<Color>{{1, 2, 3, 0}, {0, 0, 0, 0}}));
    }
}

TEST_F(PaletteTest, JascReaderKeepsTheCountAndCapsIt) {
    ZEMPal pal(0u);
    // Fewer colour lines than the count: the rest of the palette is black.
    Stream shortFile("JASC-PAL\n0100\n16\n" + Lines(10, "1 2 3\n"));
    ASSERT_TRUE(pal.Load(shortFile.file, 0));
    ASSERT_EQ(pal.nbColors, 16u);
    EXPECT_EQ(Colors(pal)[9], (Color{1, 2, 3, 0}));
    EXPECT_EQ(Colors(pal)[10], (Color{0, 0, 0, 0}));

    // Above 4096 colours: capped with the note, the extra lines read and dropped.
    {
        LogCapture log;
        Stream big("JASC-PAL\n0100\n5000\n" + Lines(4095, "4 5 6\n") + "7 8 9\n" +
                   Lines(904, "250 250 250\n"));
        ASSERT_TRUE(pal.Load(big.file, 3));
        EXPECT_EQ(log.Text(), "Note: palette size must be < 4096 !\n");
        ASSERT_EQ(pal.nbColors, 4096u);
        EXPECT_EQ(Colors(pal)[4094], (Color{4, 5, 6, 0}));
        EXPECT_EQ(Colors(pal)[4095], (Color{7, 8, 9, 0}));
        EXPECT_TRUE(big.file.Eof());
    }

    // Lines that do not hold three integers are black; a bad count gives no colours.
    Stream bad("JASC-PAL\r\n0100\r\n3\r\n9 9 9\r\n\r\n1 x 3\r\n");
    ASSERT_TRUE(pal.Load(bad.file, 3));
    EXPECT_EQ(Colors(pal), (std::vector<Color>{{9, 9, 9, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}));
    for (const char* count : {"-5\n", "many\n", "\n"}) {
        Stream odd(std::string("JASC-PAL\n0100\n") + count + "1 2 3\n");
        ASSERT_TRUE(pal.Load(odd.file, 3)) << count;
        EXPECT_EQ(pal.nbColors, 0u);
    }

    LogCapture log;
    Stream notJasc("JASC\n0100\n1\n1 2 3\n");
    EXPECT_FALSE(pal.JASCLoad(notJasc.file));
    EXPECT_EQ(log.Text(), "Not a Paint Shop Pro palette\n");
}

TEST_F(PaletteTest, BinaryAndRawReaders) {
    ZEMPal pal(0u);
    Fill(pal, SAMPLE);
    // A ZEM palette cut short, or of another magic, leaves the palette as it was.
    Stream cut(std::string("ZEMP\x03\0\0\0\1\2\3\4\5\6\7\x08", 16));
    EXPECT_FALSE(pal.ZEMLoad(cut.file));
    Stream other(std::string("ZEMQ\x00\0\0\0", 8));
    EXPECT_FALSE(pal.ZEMLoad(other.file));
    Stream noCount(std::string("ZEMP\x00\0", 6));
    EXPECT_FALSE(pal.ZEMLoad(noCount.file));
    EXPECT_EQ(Colors(pal), SAMPLE);

    // A ZEM palette that says more than 4096 colours gives 4096.
    std::string big = std::string("ZEMP\x00\x20\0\0", 8) + std::string(4 * 8192, '\x05');
    Stream bigIn(big);
    LogCapture log;
    ASSERT_TRUE(pal.ZEMLoad(bigIn.file));
    EXPECT_EQ(pal.nbColors, 4096u);

    // Raw files: at most 256 colours; a partial triplet is dropped; nothing at all fails.
    Stream longRaw(std::string(900, '\x01'));
    ASSERT_TRUE(pal.RGBLoad(longRaw.file, 4));
    EXPECT_EQ(pal.nbColors, 256u);
    Stream shortRaw("\x01\x02\x03\x04\x05\x06\x07");
    ASSERT_TRUE(pal.RGBLoad(shortRaw.file, 5));
    EXPECT_EQ(Colors(pal), (std::vector<Color>{{3, 2, 1, 0}, {6, 5, 4, 0}}));
    Stream one("\x01");
    ASSERT_TRUE(pal.RGBLoad(one.file, 4)); // less than one colour
    EXPECT_EQ(pal.nbColors, 0u);
}

TEST_F(PaletteTest, LoadRefusesClosedStreamsAndUnknownFormats) {
    LogCapture log;
    ZEMPal pal(0u);
    ZEMMemFile closed(4, ZEMResFile::READ);
    closed.Close();
    EXPECT_FALSE(pal.Load(closed, 1));
    Stream in("ZEMP\0\0\0\0");
    EXPECT_FALSE(pal.Load(in.file, 9));
    EXPECT_EQ(log.Text(), "ZEMPal: bad file\nUnknown palette format 9\n");
    EXPECT_FALSE(pal.Save(closed, 1));
}

TEST_F(PaletteTest, ConstructorsLoadFilesAndStreams) {
    zemtest::WriteFile(Path("p.pal"), "JASC-PAL\n0100\n1\n3 2 1\n");
    ZEMPal fromName(Path("p.pal").c_str(), 0);
    EXPECT_EQ(Colors(fromName), (std::vector<Color>{{3, 2, 1, 0}}));
    ZEMPal missing(Path("missing.pal").c_str(), 0);
    EXPECT_EQ(missing.nbColors, 0u);
    Stream in("GIMP Palette\n4 5 6\n");
    ZEMPal fromStream(in.file, 2);
    EXPECT_EQ(Colors(fromStream), (std::vector<Color>{{4, 5, 6, 0}}));
}

TEST_F(PaletteTest, PrintInfo) {
    ZEMPal pal(0u);
    Fill(pal, {{0, 0, 0, 0}, {1, 2, 3, 4}, {10, 11, 12, 13}, {255, 128, 0, 0}});
    LogCapture log;
    pal.PrintInfo();
    EXPECT_EQ(log.Text(), "Palette info (4 colors)\n---------------------------\n"
                          "[  0] #000000 (  0,   0,   0,   0)\n"
                          "[  1] #010203 (  1,   2,   3,   4)\n"
                          "[  2] #0A0B0C ( 10,  11,  12,  13)\n"
                          "[  3] #FF8000 (255, 128,   0,   0)\n\n");
}

// Every palette GIMP ships loads as GIMP reads it, and what we write as GIMP text loads back.
TEST_F(PaletteTest, GimpsOwnPalettesLoad) {
#ifdef _WIN32
    const std::string folder = "Z:/usr/share/gimp/2.0/palettes"; // the host's files under Wine
#else
    const std::string folder = "/usr/share/gimp/2.0/palettes";
#endif
    DIR* dir = opendir(folder.c_str());
    if (!dir) GTEST_SKIP() << folder << " is missing (Debian package gimp-data)";
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".gpl") == 0) names.push_back(name);
    }
    closedir(dir);
    ASSERT_FALSE(names.empty());

    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::string path = folder + "/" + name;
        std::vector<Color> expected = ReadGimp(path);
        if (expected.size() > 256) expected.resize(256);

        ZEMPal pal(path.c_str(), 0);
        EXPECT_EQ(Colors(pal), expected);

        ASSERT_TRUE(pal.SaveName(Path("copy.gpl").c_str(), 2));
        EXPECT_EQ(ReadGimp(Path("copy.gpl")), expected);
        ZEMPal back(Path("copy.gpl").c_str(), 0);
        EXPECT_EQ(Colors(back), expected);

        if (name == "Tango.gpl") {
            ASSERT_EQ(pal.nbColors, 27u);
            EXPECT_EQ(Colors(pal)[0], (Color{252, 233, 79, 0})); // Butter 1
            EXPECT_EQ(Colors(pal)[26], (Color{46, 52, 54, 0}));  // Aluminium 6
        }
    }
    EXPECT_NE(std::find(names.begin(), names.end(), "Tango.gpl"), names.end());
}
