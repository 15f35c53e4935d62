// Pictures from other projects' test suites (tests/data/conformance: the BMP suite and the test
// files of Pillow and gdk-pixbuf) against what a second program decoded from them. Each file is
// loaded with format detection, as a game loads it, and its manifest line says what it must give:
// good files their reference pixels, questionable ones the outcome chosen for them, damaged ones
// a refusal with a message or a picture no larger than the header and the file allow.
#include "ZEMTestSupport.h"

#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMFile.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace {

using zemtest::ReadFile;

// One line of conformance/manifest.txt (conformance_fixtures.py tells the format).
struct Listed {
    std::string path, kind; // kind: good, questionable or bad
    bool decode = true;     // false: the file is to be refused
    std::string word;       // what the refusal names ('_' for a space)
    std::string ref, compare;
    unsigned width = 0, height = 0;
};

std::vector<Listed> Manifest() {
    std::istringstream lines(ReadFile(zemtest::DataPath("conformance/manifest.txt")));
    std::vector<Listed> files;
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Listed f;
        fields >> f.path >> f.kind;
        std::string outcome = "decode";
        if (f.kind == "questionable") fields >> outcome;
        f.decode = outcome == "decode";
        if (f.kind == "bad") {
            fields >> f.width >> f.height;
        } else if (f.decode) {
            fields >> f.ref >> f.width >> f.height >> f.compare;
        } else {
            fields >> f.word;
        }
        files.push_back(f);
    }
    return files;
}

// Lower case, with '_' and '-' as spaces: "1-bit", "1 bit" and "1_bit" read alike.
std::string Folded(std::string text) {
    for (char& c : text) {
        c = c == '_' || c == '-' ? ' ' : char(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The most picture bytes that one byte of a file can give in its format: a BMP run of 255
// pixels in 2 bytes, a TGA run of 128 pixels (a grey and alpha pair becoming 4 bytes), a PCX run
// of 63 bytes, a GIF code of 12 bits standing for up to 4096 pixels.
uint64_t MostBytesPerFileByte(const std::string& path) {
    const std::string ext = path.substr(path.rfind('.') + 1);
    if (ext == "gif") return 4096;
    if (ext == "pcx") return 64;
    return 256;
}

struct Loaded {
    bool ok = false;
    std::string log;
};

Loaded Load(const std::string& path, ZEMImage& image) {
    zemtest::LogCapture log;
    ZEMFile file(zemtest::DataPath("conformance/" + path).c_str(), ZEMResFile::READ);
    Loaded loaded;
    loaded.ok = file.IsOK() && image.Load(file, 0);
    loaded.log = log.Text();
    return loaded;
}

void ExpectReference(const Listed& f, const ZEMImage& image, const Loaded& loaded) {
    ASSERT_TRUE(loaded.ok) << "refused: " << loaded.log;
    ASSERT_EQ(image.width, f.width);
    ASSERT_EQ(image.height, f.height);
    const std::string theirs = ReadFile(zemtest::DataPath("conformance/" + f.ref));
    EXPECT_EQ(zemtest::RGBADifference(zemtest::ToRGBA(image), theirs, f.width, f.compare), "")
        << image.bpp << "-bit picture";
}

void ExpectRefusal(const Listed& f, const Loaded& loaded) {
    EXPECT_FALSE(loaded.ok) << "decoded, to be refused naming " << f.word;
    EXPECT_NE(Folded(loaded.log).find(Folded(f.word)), std::string::npos)
        << "the message names no " << f.word << ": " << loaded.log;
}

// Refused with a message, or read at the header's size into no more memory than the file can
// fill, every index within the palette.
void ExpectSafe(const Listed& f, const ZEMImage& image, const Loaded& loaded) {
    if (!loaded.ok) {
        EXPECT_NE(loaded.log, "") << "refused without a message";
        return;
    }
    EXPECT_EQ(image.width, f.width) << "the header says " << f.width << " x " << f.height;
    EXPECT_EQ(image.height, f.height) << "the header says " << f.width << " x " << f.height;
    const uint64_t bytes = uint64_t(image.height) * image.pitch;
    const uint64_t fileBytes = ReadFile(zemtest::DataPath("conformance/" + f.path)).size();
    EXPECT_LE(bytes, fileBytes * MostBytesPerFileByte(f.path)) << "from " << fileBytes << " bytes";
    if (image.bpp != 8 || !image.palette) return;
    const uint8_t* pixels = image.data;
    const unsigned highest = bytes ? *std::max_element(pixels, pixels + bytes) : 0u;
    EXPECT_LT(highest, image.palette->nbColors) << "index past the palette";
}

class ConformanceTest : public zemtest::TempDirTest {};

TEST_F(ConformanceTest, SuitePicturesLoadAsTheirReferencesOrAreRefusedSafely) {
    const std::vector<Listed> files = Manifest();
    EXPECT_GT(files.size(), 200u);
    for (const Listed& f : files) {
        SCOPED_TRACE(f.path + " (" + f.kind + ")");
        ZEMImage image(0, 0, 8);
        const Loaded loaded = Load(f.path, image);
        if (f.kind == "bad") {
            ExpectSafe(f, image, loaded);
        } else if (f.decode) {
            ExpectReference(f, image, loaded);
        } else {
            ExpectRefusal(f, loaded);
        }
    }
}

} // namespace
