// The codecs against real image programs: files made by ImageMagick, Pillow, netpbm and giflib
// load pixel for pixel as another of those programs decodes them, and the files we save decode
// the same in Pillow and in ImageMagick or netpbm.
#include "ZEMTestSupport.h"

#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using zemtest::RunShell;

// The Python that has Pillow, or "" with the reason in why.
std::string FindPython(std::string& why) {
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        if (RunShell(std::string(python) + " -c 'import PIL'") == 0) return python;
    }
    why = "Python 3 with Pillow (python3-pil)";
    return "";
}

// The missing programs among those the fixtures need, "" when all are there.
std::string MissingTools() {
    std::string why;
    FindPython(why);
    std::string out;
    if (RunShell("convert -version", &out) != 0 || out.find("ImageMagick") == std::string::npos) {
        why += " ImageMagick (imagemagick)";
    }
    for (const char* tool : {"ppmtobmp", "bmptopnm", "ppmtopcx", "pcxtoppm", "pamtotga", "tgatoppm",
                             "gifbuild", "gif2rgb"}) {
        if (RunShell(std::string("command -v ") + tool) != 0) why += std::string(" ") + tool;
    }
    return why;
}

std::string Script() {
    return zemtest::DataPath("codec_fixtures.py");
}

std::string Extension(const std::string& name) {
    return name.substr(name.rfind('.') + 1);
}

// The picture as RGBA bytes, read the way its file format means it: palette indexes through the
// palette (grey levels without one), 5-5-5 words, blue first deep pixels with alpha fourth.
std::string ToRGBA(const ZEMImage& image) {
    std::string rgba;
    for (uint32_t i = 0; i < image.width * image.height; ++i) {
        const uint8_t* p = image.data + i * ((image.bpp + 7) / 8);
        uint8_t r = 0, g = 0, b = 0, a = 255;
        if (image.bpp == 8 && !image.palette) { // grey levels
            r = g = b = p[0];
        } else if (image.bpp == 8) {
            if (p[0] < image.palette->nbColors) {
                const uint8_t* c = image.palette->colors + 4 * p[0];
                r = c[0], g = c[1], b = c[2];
            }
        } else if (image.bpp == 16 || image.bpp == 15) {
            const unsigned word = p[0] | p[1] << 8;
            r = uint8_t((word >> 10 & 31) << 3);
            g = uint8_t((word >> 5 & 31) << 3);
            b = uint8_t((word & 31) << 3);
        } else {
            r = p[2], g = p[1], b = p[0];
            if (image.bpp == 32) a = p[3];
        }
        rgba += char(r);
        rgba += char(g);
        rgba += char(b);
        rgba += char(a);
    }
    return rgba;
}

// "" when the two RGBA pictures agree under the compare rule, else the first difference.
std::string Difference(const std::string& ours, const std::string& theirs, unsigned width,
                       const std::string& compare) {
    if (ours.size() != theirs.size()) {
        return "sizes differ: " + std::to_string(ours.size()) + " and " +
               std::to_string(theirs.size()) + " bytes";
    }
    const unsigned mask = compare == "rgb5" ? 0xF8 : 0xFF;
    for (size_t i = 0; i < ours.size(); ++i) {
        if (i % 4 == 3 && compare != "rgba") continue;
        if ((uint8_t(ours[i]) & mask) != (uint8_t(theirs[i]) & mask)) {
            const size_t pixel = i / 4;
            std::ostringstream text;
            text << "pixel (" << pixel % width << ", " << pixel / width << ") channel " << i % 4
                 << ": ours " << int(uint8_t(ours[i])) << ", theirs " << int(uint8_t(theirs[i]));
            return text.str();
        }
    }
    return "";
}

// Skips when a program is missing; the test command installs them all.
class CodecToolTest : public zemtest::TempDirTest {
protected:
    static void SetUpTestSuite() {
        missing_ = MissingTools();
        std::string why;
        python_ = FindPython(why);
    }
    void SetUp() override {
        zemtest::TempDirTest::SetUp();
        if (!missing_.empty()) GTEST_SKIP() << "needs" << missing_;
    }

    static std::string missing_;
    static std::string python_;
};

std::string CodecToolTest::missing_;
std::string CodecToolTest::python_;

// The files of other programs, made once for the suite in a folder of its own.
class OtherProgramsTest : public CodecToolTest {
protected:
    static void SetUpTestSuite() {
        CodecToolTest::SetUpTestSuite();
        char pattern[] = "/tmp/zem-codec-fixtures-XXXXXX";
        if (!missing_.empty() || !mkdtemp(pattern)) return;
        folder_ = pattern;
        made_ = RunShell(python_ + " " + Script() + " make " + folder_, &makeLog_) == 0;
    }
    static void TearDownTestSuite() {
        if (!folder_.empty()) RunShell("rm -rf '" + folder_ + "'");
    }
    void SetUp() override {
        CodecToolTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(made_) << makeLog_;
    }

    static std::string folder_;
    static std::string makeLog_;
    static bool made_;
};

std::string OtherProgramsTest::folder_;
std::string OtherProgramsTest::makeLog_;
bool OtherProgramsTest::made_ = false;

TEST_F(OtherProgramsTest, LoadAsASecondProgramDecodesThem) {
    std::ifstream manifest(folder_ + "/manifest.txt");
    std::string name, ref, compare;
    unsigned width = 0, height = 0, count = 0;
    while (manifest >> name >> ref >> width >> height >> compare) {
        ++count;
        SCOPED_TRACE(name);
        ZEMImage image(0, 0, 8);
        ASSERT_TRUE(image.LoadName((folder_ + "/" + name).c_str(), 0));
        ASSERT_EQ(image.width, width);
        ASSERT_EQ(image.height, height);
        const std::string theirs = zemtest::ReadFile(folder_ + "/" + ref);
        EXPECT_EQ(Difference(ToRGBA(image), theirs, width, compare), "");
    }
    EXPECT_GT(count, 50u);
}

// Pictures of our own making in every depth the writers take.
struct Saved {
    const char* name;
    unsigned width, height, bpp;
    bool palette;
    int format; // ZEMImage::Save format
};

std::unique_ptr<ZEMImage> Draw(const Saved& s) {
    auto image = std::make_unique<ZEMImage>(s.width, s.height, s.bpp);
    const unsigned bytes = (s.bpp + 7) / 8;
    for (unsigned y = 0; y < s.height; ++y) {
        for (unsigned x = 0; x < s.width; ++x) {
            uint8_t* p = image->data + (y * s.width + x) * bytes;
            // A flat band for runs, then values that change at every pixel.
            const unsigned v = x < s.width / 2 ? y * 40 : x * 37 + y * 11;
            for (unsigned b = 0; b < bytes; ++b)
                p[b] = uint8_t(v + b * 85 + (b == 3 ? x : 0));
        }
    }
    if (s.palette) {
        ZEMPal* pal = new ZEMPal(256);
        for (unsigned i = 0; i < 256; ++i) {
            pal->colors[4 * i] = uint8_t(i);
            pal->colors[4 * i + 1] = uint8_t(255 - i);
            pal->colors[4 * i + 2] = uint8_t(i * 3);
            pal->colors[4 * i + 3] = 0;
        }
        image->ReplacePalette(pal);
    }
    return image;
}

TEST_F(CodecToolTest, FilesWeSaveDecodeTheSameInOtherPrograms) {
    const Saved cases[] = {
        {"pal8.bmp", 37, 11, 8, true, 1},        {"grey8.bmp", 5, 3, 8, false, 1},
        {"rgb24.bmp", 37, 11, 24, false, 1},     {"rgb32.bmp", 37, 11, 32, false, 1},
        {"pal8.pcx", 37, 11, 8, true, 2},        {"grey8.pcx", 5, 3, 8, false, 2},
        {"rgb24.pcx", 37, 11, 24, false, 2},     {"rgba32.pcx", 37, 11, 32, false, 2},
        {"pal8.tga", 37, 11, 8, true, 4},        {"pal8rle.tga", 37, 11, 8, true, 5},
        {"grey8rle.tga", 5, 3, 8, false, 5},     {"rgb24.tga", 37, 11, 24, false, 4},
        {"rgb24rle.tga", 37, 11, 24, false, 5},  {"rgba32.tga", 37, 11, 32, false, 4},
        {"rgba32rle.tga", 300, 3, 32, false, 5},
    };
    std::string names;
    for (const Saved& s : cases) {
        auto image = Draw(s);
        ASSERT_TRUE(image->SaveName(s.name, s.format)) << s.name;
        names += std::string(" ") + s.name;
    }
    std::string log;
    ASSERT_EQ(RunShell(python_ + " " + Script() + " decode " + Dir() + names, &log), 0) << log;

    for (const Saved& s : cases) {
        SCOPED_TRACE(s.name);
        auto image = Draw(s);
        const std::string format = Extension(s.name);
        // Alpha is compared where every reader gives it: TGA (netpbm beside its colours).
        const std::string compare = format == "tga" && s.bpp == 32 ? "rgba" : "rgb";
        const std::string ours = ToRGBA(*image);
        // Pillow reads no four-plane PCX; ImageMagick or netpbm must read every file.
        const bool pillowReads = !(format == "pcx" && s.bpp == 32);
        unsigned others = 0;
        for (const std::string reader : {"pil", "im", "pnm"}) {
            const std::string path = Path(std::string(s.name) + "." + reader + ".rgba");
            if (!std::ifstream(path)) {
                EXPECT_FALSE(reader == "pil" && pillowReads) << "Pillow could not read the file";
                continue;
            }
            if (reader != "pil") ++others;
            EXPECT_EQ(Difference(ours, zemtest::ReadFile(path), s.width, compare), "") << reader;
        }
        EXPECT_GT(others, 0u) << "neither ImageMagick nor netpbm could read the file";
    }
}

} // namespace
