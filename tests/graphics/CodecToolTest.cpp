// The codecs against real image programs: files made by ImageMagick, Pillow, netpbm and giflib
// load pixel for pixel as another of those programs decodes them, and the files we save decode
// the same in Pillow and in ImageMagick or netpbm. Where those programs do not run, their files
// and the pixels they decoded, checked in under tests/data/codec, stand in for them: the Linux run
// checks that they still are what the programs make and decode.
#include "ZEMTestSupport.h"

#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>

#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using zemtest::ExpectFixture;
using zemtest::ReadFile;
using zemtest::RGBADifference;
using zemtest::RunProgram;
using zemtest::ToRGBA;

// The Python that has Pillow, or "".
std::string FindPython() {
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        if (RunProgram({python, "-c", "import PIL"}) == 0) return python;
    }
    return "";
}

const std::string& Python() {
    static const std::string python = FindPython();
    return python;
}

// Why the programs the files are compared with cannot run here, "" when they all can.
std::string FindMissingTools() {
    if (!zemtest::PEERS_RUN) return zemtest::NO_PEERS;
    std::string why = Python().empty() ? " Python 3 with Pillow (python3-pil)" : "";
    std::string out;
    if (RunProgram({"convert", "-version"}, &out) != 0 ||
        out.find("ImageMagick") == std::string::npos) {
        why += " ImageMagick (imagemagick)";
    }
    for (const char* tool : {"ppmtobmp", "bmptopnm", "ppmtopcx", "pcxtoppm", "pamtotga", "tgatoppm",
                             "gifbuild", "gif2rgb"}) {
        if (RunProgram({tool, "--version"}) == -1) why += std::string(" ") + tool;
    }
    return why.empty() ? "" : "needs" + why;
}

const std::string& MissingTools() {
    static const std::string why = FindMissingTools();
    return why;
}

// Runs the fixture script (make or decode) in folder, with more arguments after it.
int RunScript(const char* command, const std::string& folder, std::string* log,
              const std::vector<std::string>& more = {}) {
    std::vector<std::string> argv{Python(), zemtest::DataPath("codec_fixtures.py"), command,
                                  folder};
    argv.insert(argv.end(), more.begin(), more.end());
    return RunProgram(argv, log);
}

std::string Extension(const std::string& name) {
    return name.substr(name.rfind('.') + 1);
}

// One file of another program: "file reference width height compare" in a manifest.
struct Listed {
    std::string name, ref;
    unsigned width = 0, height = 0;
    std::string compare;
};

std::vector<Listed> Manifest(const std::string& folder) {
    std::ifstream manifest(folder + "/manifest.txt");
    std::vector<Listed> files;
    Listed file;
    while (manifest >> file.name >> file.ref >> file.width >> file.height >> file.compare)
        files.push_back(file);
    return files;
}

// Loads every file of the folder's manifest and compares it with the reference pixels.
void ExpectLoadAsReferences(const std::string& folder) {
    const std::vector<Listed> files = Manifest(folder);
    EXPECT_GT(files.size(), 50u) << folder;
    for (const Listed& file : files) {
        SCOPED_TRACE(folder + "/" + file.name);
        ZEMImage image(0, 0, 8);
        ASSERT_TRUE(image.LoadName((folder + "/" + file.name).c_str(), 0));
        ASSERT_EQ(image.width, file.width);
        ASSERT_EQ(image.height, file.height);
        const std::string theirs = ReadFile(folder + "/" + file.ref);
        EXPECT_EQ(RGBADifference(ToRGBA(image), theirs, file.width, file.compare), "");
    }
}

class OtherProgramsTest : public zemtest::TempDirTest {};

// Made anew, the files load as their references and are the ones checked in.
TEST_F(OtherProgramsTest, LoadAsASecondProgramDecodesThem) {
    if (!MissingTools().empty()) GTEST_SKIP() << MissingTools();
    std::string log;
    ASSERT_EQ(RunScript("make", Dir(), &log), 0) << log;
    ExpectLoadAsReferences(Dir());

    ExpectFixture("codec/peers/manifest.txt", ReadFile(Path("manifest.txt")));
    std::set<std::string> names;
    for (const Listed& file : Manifest(Dir())) {
        names.insert(file.name);
        names.insert(file.ref);
    }
    for (const std::string& name : names)
        ExpectFixture("codec/peers/" + name, ReadFile(Path(name)));
}

TEST_F(OtherProgramsTest, CheckedInFilesLoadAsASecondProgramDecodedThem) {
    ExpectLoadAsReferences(zemtest::DataPath("codec/peers"));
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

const Saved SAVED[] = {
    {"pal8.bmp", 37, 11, 8, true, 1},        {"grey8.bmp", 5, 3, 8, false, 1},
    {"rgb24.bmp", 37, 11, 24, false, 1},     {"rgb32.bmp", 37, 11, 32, false, 1},
    {"pal8.pcx", 37, 11, 8, true, 2},        {"grey8.pcx", 5, 3, 8, false, 2},
    {"rgb24.pcx", 37, 11, 24, false, 2},     {"rgba32.pcx", 37, 11, 32, false, 2},
    {"pal8.tga", 37, 11, 8, true, 4},        {"pal8rle.tga", 37, 11, 8, true, 5},
    {"grey8rle.tga", 5, 3, 8, false, 5},     {"rgb24.tga", 37, 11, 24, false, 4},
    {"rgb24rle.tga", 37, 11, 24, false, 5},  {"rgba32.tga", 37, 11, 32, false, 4},
    {"rgba32rle.tga", 300, 3, 32, false, 5},
};

class CodecToolTest : public zemtest::TempDirTest {};

TEST_F(CodecToolTest, FilesWeSaveDecodeTheSameInOtherPrograms) {
    if (!MissingTools().empty()) GTEST_SKIP() << MissingTools();
    std::vector<std::string> names;
    for (const Saved& s : SAVED) {
        ASSERT_TRUE(Draw(s)->SaveName(s.name, s.format)) << s.name;
        names.push_back(s.name);
    }
    std::string log;
    ASSERT_EQ(RunScript("decode", Dir(), &log, names), 0) << log;

    for (const Saved& s : SAVED) {
        SCOPED_TRACE(s.name);
        const std::string format = Extension(s.name);
        // Alpha is compared where every reader gives it: TGA (netpbm beside its colours).
        const std::string compare = format == "tga" && s.bpp == 32 ? "rgba" : "rgb";
        const std::string ours = ToRGBA(*Draw(s));
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
            EXPECT_EQ(RGBADifference(ours, ReadFile(path), s.width, compare), "") << reader;
        }
        EXPECT_GT(others, 0u) << "neither ImageMagick nor netpbm could read the file";
    }
}

// The files the test above gave the other programs, saved again byte for byte: where those
// programs do not run, this carries their verdict over.
TEST_F(CodecToolTest, FilesWeSaveAreTheOnesTheOtherProgramsDecoded) {
    for (const Saved& s : SAVED) {
        ASSERT_TRUE(Draw(s)->SaveName(s.name, s.format)) << s.name;
        ExpectFixture(std::string("codec/ours/") + s.name, ReadFile(s.name));
    }
}

} // namespace
