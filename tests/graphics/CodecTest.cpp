// The four codecs on files built byte by byte: the described cases, the limits, and what a
// broken file may not do.
#include "ZEMTestSupport.h"

#include <zem/graphics/ZEMCodec.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMMemFile.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using zemtest::LogCapture;

namespace {

using Bytes = std::vector<uint8_t>;

enum Format { BMP = 1, PCX = 2, GIF = 3, TGA = 4, TGA_RLE = 5 };

void Put16(Bytes& b, unsigned v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

void Append(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
}

// Loads bytes into image in the given format (0 detects it).
bool Load(ZEMImage& image, Bytes bytes, int format) {
    ZEMMemFile file(unsigned(bytes.size()), ZEMResFile::READ, bytes.data());
    return image.Load(file, format);
}

class CodecTest : public zemtest::TempDirTest {
protected:
    // The file the image saves to in the given format; empty when the save fails.
    std::string Saved(ZEMImage& image, int format) {
        std::remove("saved");
        if (!image.SaveName("saved", format)) return "";
        return zemtest::ReadFile("saved");
    }
};

std::vector<uint8_t> Pixels(const ZEMImage& image) {
    return std::vector<uint8_t>(image.data, image.data + image.height * image.pitch);
}

// What each save format can hold and its loader read back.
TEST_F(CodecTest, PictureSizeProblemTellsWhatTheLoadersRefuse) {
    const struct {
        int format;
        uint32_t width, height;
        unsigned bpp;
        const char* problem;
    } cases[] = {
        {1, 32768, 32768, 8, nullptr},
        {1, 32768, 32769, 8, "pictures hold at most 1 GiB of pixels"},
        {1, 0x10000, 0x10000, 32, "pictures hold at most 1 GiB of pixels"},
        {1, 100, 100, 16, nullptr},
        {2, 32768, 100, 8, nullptr},
        {2, 32769, 1, 24, "PCX pictures are at most 32768 pixels wide and high"},
        {0, 1, 32769, 8, "PCX pictures are at most 32768 pixels wide and high"},
        {0, 65535, 2, 32, nullptr},
        {5, 65536, 1, 24, "TGA pictures are at most 65535 pixels wide and high"},
        {4, 10, 10, 15, "15- and 16-bit pictures are written in BMP only"},
        {1, 0, 10, 8, "the picture is empty"},
        {1, 10, 10, 12, "pictures have 8, 15, 16, 24 or 32 bits per pixel"},
        {3, 10, 10, 8, "no picture format of that number is written"},
    };
    for (const auto& c : cases) {
        const char* problem = ZEM::PictureSizeProblem(c.format, c.width, c.height, c.bpp);
        EXPECT_STREQ(problem, c.problem) << c.format << " " << c.width << " x " << c.height;
    }
}

// ---- BMP ----

// A BMP file: the header of the given size, colour table, rows as given (file order).
Bytes Bmp(uint32_t headerSize, int32_t width, int32_t height, unsigned bits, uint32_t compression,
          const Bytes& table, const Bytes& rows) {
    Bytes b = {'B', 'M'};
    const uint32_t offset = 14 + headerSize + uint32_t(table.size());
    Put32(b, offset + uint32_t(rows.size()));
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, headerSize);
    if (headerSize == 12) {
        Put16(b, unsigned(width));
        Put16(b, unsigned(height));
        Put16(b, 1);
        Put16(b, bits);
    } else {
        Put32(b, uint32_t(width));
        Put32(b, uint32_t(height));
        Put16(b, 1);
        Put16(b, bits);
        Put32(b, compression);
        for (int i = 0; i < 5; ++i)
            Put32(b, 0);
        b.resize(14 + headerSize, 0xEE); // fields of later headers
    }
    Append(b, table);
    Append(b, rows);
    return b;
}

// The file with a 32-bit field at the given offset replaced (offset 10: the pixel offset, 14:
// the header size, 46: colours used).
Bytes Patched(Bytes b, size_t at, uint32_t value) {
    Bytes field;
    Put32(field, value);
    std::copy(field.begin(), field.end(), b.begin() + long(at));
    return b;
}

// A one-row BMP with bit fields: the masks follow a 40-byte header and lie inside larger ones.
Bytes BitFieldBmp(uint32_t headerSize, uint32_t compression, unsigned bits,
                  const std::vector<uint32_t>& masks, int32_t width, const Bytes& row) {
    Bytes fields;
    for (uint32_t mask : masks)
        Put32(fields, mask);
    if (headerSize == 40) return Bmp(40, width, 1, bits, compression, fields, row);
    Bytes b = Bmp(headerSize, width, 1, bits, compression, {}, row);
    std::copy(fields.begin(), fields.end(), b.begin() + 54);
    return b;
}

TEST_F(CodecTest, BmpWindowsHeadersOfEverySizeAndTheOs2Headers) {
    // 2 x 2, 24 bits; rows of 6 bytes and 2 of padding, bottom row first. OS/2 2.x headers may
    // stop after any field (16 bytes: up to the bit count).
    const Bytes rows = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    for (uint32_t size : {12u, 16u, 20u, 40u, 52u, 56u, 64u, 108u, 124u}) {
        SCOPED_TRACE(size);
        ZEMImage image(0, 0, 8);
        ASSERT_TRUE(Load(image, Bmp(size, 2, 2, 24, 0, {}, rows), 0));
        EXPECT_EQ(image.width, 2u);
        EXPECT_EQ(image.bpp, 24);
        EXPECT_EQ(Pixels(image), Bytes({7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));
    }
}

TEST_F(CodecTest, BmpTopDownAndPackedRowsAndPalette) {
    // 10 x 2 at 1 bit: rows of 2 bytes and 2 of padding; a negative height stores the top first.
    const Bytes table = {0, 0, 0, 0, 255, 128, 64, 7};
    const Bytes rows = {0xA0, 0x40, 0, 0, 0xFF, 0xC0, 0, 0};
    ZEMImage image(0, 0, 8);
    ASSERT_TRUE(Load(image, Bmp(40, 10, -2, 1, 0, table, rows), BMP));
    EXPECT_EQ(image.bpp, 8);
    EXPECT_EQ(Pixels(image), Bytes({1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
    ASSERT_NE(image.palette, nullptr);
    ASSERT_EQ(image.palette->nbColors, 2u);
    EXPECT_EQ(Bytes(image.palette->colors + 4, image.palette->colors + 8),
              Bytes({64, 128, 255, 7}));

    // 4 bits, bottom-up: the high half of a byte is the left pixel.
    ASSERT_TRUE(Load(image, Bmp(40, 3, 1, 4, 0, Bytes(64, 0), {0x12, 0x30, 0, 0}), BMP));
    EXPECT_EQ(Pixels(image), Bytes({1, 2, 3}));
    EXPECT_EQ(image.palette->nbColors, 16u);

    // 2 bits, as Windows CE writes them.
    ASSERT_TRUE(Load(image, Bmp(40, 5, 1, 2, 0, Bytes(16, 0), {0x1B, 0x40, 0, 0}), BMP));
    EXPECT_EQ(Pixels(image), Bytes({0, 1, 2, 3, 1}));
    EXPECT_EQ(image.palette->nbColors, 4u);
}

// Where the colour table ends and the pixels begin when the header's counts and the pixel
// offset disagree.
TEST_F(CodecTest, BmpColourTableAndPixelOffset) {
    const Bytes table = {10, 20, 30, 0, 40, 50, 60, 0};
    const Bytes rows = {1, 0, 1, 1};
    const Bytes twoColours = Patched(Bmp(40, 3, 1, 8, 0, table, rows), 46, 2);
    const struct Case {
        const char* what;
        Bytes file;
        unsigned colours;
    } cases[] = {
        {"colours used", twoColours, 2},
        // Written without the table in the offset: the pixels follow the table.
        {"offset onto the table", Patched(twoColours, 10, 54), 2},
        {"offset into the header", Patched(twoColours, 10, 0), 2},
        // OS/2 files often hold fewer colours than the depth has: the table stops at the pixels.
        {"OS/2 short table", Bmp(12, 3, 1, 8, 0, {10, 20, 30, 40, 50, 60}, rows), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ZEMImage image(0, 0, 8);
        ASSERT_TRUE(Load(image, c.file, BMP));
        EXPECT_EQ(Pixels(image), Bytes({1, 0, 1}));
        ASSERT_EQ(image.palette->nbColors, c.colours);
        EXPECT_EQ(Bytes(image.palette->colors + 4, image.palette->colors + 7), Bytes({60, 50, 40}));
    }

    // A 24-bit file whose offset points into its header.
    ZEMImage deep(0, 0, 8);
    ASSERT_TRUE(Load(deep, Patched(Bmp(40, 1, 1, 24, 0, {}, {1, 2, 3, 0}), 10, 14), BMP));
    EXPECT_EQ(Pixels(deep), Bytes({1, 2, 3}));
}

TEST_F(CodecTest, BmpRle8RunsStayInsideTheirRow) {
    // 3 x 3. Bottom row: a run of 5 cut to 3. Middle row: an absolute run of 5 cut to 3 (with its
    // filler byte), then a delta that leaves the picture, which ends the decoding.
    const Bytes rle = {5, 7, 0, 0, 0, 5, 1, 2, 3, 4, 5, 0, 0, 2, 200, 200, 9, 9, 0, 1};
    ZEMImage image(0, 0, 8);
    ASSERT_TRUE(Load(image, Bmp(40, 3, 3, 8, 1, Bytes(1024, 0), rle), BMP));
    EXPECT_EQ(Pixels(image), Bytes({0, 0, 0, 1, 2, 3, 7, 7, 7}));

    // Top-down: the first rows of the file are the top ones; the file ends without an end code.
    ASSERT_TRUE(Load(image, Bmp(40, 3, -2, 8, 1, Bytes(1024, 0), {2, 4, 0, 0, 3, 5}), BMP));
    EXPECT_EQ(Pixels(image), Bytes({4, 4, 0, 5, 5, 5}));

    // Data that stops before the last row is full is refused, in a run, an absolute run or a
    // delta.
    for (const Bytes& rows : {Bytes{2, 4, 0, 0, 2, 5}, Bytes{2, 4, 0, 0, 0, 3, 1, 2},
                              Bytes{2, 4, 0, 0, 0, 2, 1}, Bytes{2, 4, 0, 0, 3}}) {
        LogCapture log;
        EXPECT_FALSE(Load(image, Bmp(40, 3, -2, 8, 1, Bytes(1024, 0), rows), BMP));
        EXPECT_EQ(log.Text(), "BMP: pixel data cut short after 1 of 2 rows\n");
    }
}

TEST_F(CodecTest, BmpRle4PacksTwoIndexesABytes) {
    // 5 x 3. Bottom row: a run of 5 pixels alternating the two halves of its byte. Middle row: an
    // absolute run of 5 pixels in 3 bytes and a filler. Top row: a delta to column 4, where a
    // run of 3 is cut to the row; then the end of the picture. Skipped pixels are index 0.
    const Bytes rle = {5, 0x12, 0, 0, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0, 0, 2, 4, 0, 3, 0x89, 0, 1};
    ZEMImage image(0, 0, 8);
    ASSERT_TRUE(Load(image, Bmp(40, 5, 3, 4, 2, Bytes(64, 0), rle), BMP));
    EXPECT_EQ(Pixels(image), Bytes({0, 0, 0, 0, 8, 3, 4, 5, 6, 7, 1, 2, 1, 2, 1}));
    EXPECT_EQ(image.palette->nbColors, 16u);

    LogCapture log;
    EXPECT_FALSE(Load(image, Bmp(40, 5, 3, 4, 2, Bytes(64, 0), {5, 0x12, 0, 0, 0, 5, 0x34}), BMP));
    EXPECT_EQ(log.Text(), "BMP: pixel data cut short after 1 of 3 rows\n");
}

// Bit fields: the plain layouts keep their depth, others become 24 bits, or 32 with an alpha
// mask, each colour scaled to 8 bits over its full range.
TEST_F(CodecTest, BmpBitFields) {
    const uint32_t FIELDS = 3, ALPHA_FIELDS = 6;
    struct Picture {
        uint16_t bpp;
        Bytes pixels;
    };
    const struct Case {
        Bytes file;
        Picture picture;
    } cases[] = {
        // 5-5-5; 5-6-5; 4-4-4-4; 5-5-5 and an alpha bit; no green.
        {BitFieldBmp(40, FIELDS, 16, {0x7C00, 0x3E0, 0x1F}, 1, {0x34, 0x12, 0, 0}),
         {16, {0x34, 0x12}}},
        {BitFieldBmp(40, FIELDS, 16, {0xF800, 0x7E0, 0x1F}, 2, {0xFF, 0xFF, 0x43, 0x08}),
         {24, {255, 255, 255, 25, 8, 8}}},
        {BitFieldBmp(56, FIELDS, 16, {0xF00, 0xF0, 0xF, 0xF000}, 1, {0x21, 0x84, 0, 0}),
         {32, {17, 34, 68, 136}}},
        {BitFieldBmp(108, FIELDS, 16, {0x7C00, 0x3E0, 0x1F, 0x8000}, 2, {0xFF, 0x7F, 0xFF, 0xFF}),
         {32, {255, 255, 255, 0, 255, 255, 255, 255}}},
        {BitFieldBmp(40, FIELDS, 16, {0x7C00, 0, 0x1F}, 1, {0xFF, 0x7F, 0, 0}),
         {24, {255, 0, 255}}},
        // Our layout with alpha, and without (opaque); red, then alpha in the low byte; 10 bits.
        {BitFieldBmp(40, ALPHA_FIELDS, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 1, {1, 2, 3, 0}),
         {32, {1, 2, 3, 0}}},
        {BitFieldBmp(40, FIELDS, 32, {0xFF0000, 0xFF00, 0xFF}, 1, {1, 2, 3, 4}),
         {32, {1, 2, 3, 255}}},
        {BitFieldBmp(40, FIELDS, 32, {0xFF, 0xFF00, 0xFF0000}, 1, {1, 2, 3, 4}), {24, {3, 2, 1}}},
        {BitFieldBmp(40, ALPHA_FIELDS, 32, {0xFF000000, 0xFF0000, 0xFF00, 0xFF}, 1, {1, 2, 3, 4}),
         {32, {2, 3, 4, 1}}},
        {BitFieldBmp(40, FIELDS, 32, {0x3FF00000, 0xFFC00, 0x3FF}, 1, {0, 0, 0xF8, 0x3F}),
         {24, {0, 128, 255}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        ZEMImage image(0, 0, 8);
        ASSERT_TRUE(Load(image, c.file, BMP));
        EXPECT_EQ(image.bpp, c.picture.bpp);
        EXPECT_EQ(Pixels(image), c.picture.pixels);
    }
}

// The fourth byte of a 32-bit pixel without bit fields is reserved, and 0 there means nothing:
// such a picture is opaque. Any other value is alpha.
TEST_F(CodecTest, BmpReservedFourthByte) {
    ZEMImage image(0, 0, 8);
    ASSERT_TRUE(Load(image, Bmp(40, 2, 1, 32, 0, {}, {1, 2, 3, 0, 4, 5, 6, 0}), BMP));
    EXPECT_EQ(Pixels(image), Bytes({1, 2, 3, 255, 4, 5, 6, 255}));
    ASSERT_TRUE(Load(image, Bmp(40, 2, 1, 32, 0, {}, {1, 2, 3, 0, 4, 5, 6, 9}), BMP));
    EXPECT_EQ(Pixels(image), Bytes({1, 2, 3, 0, 4, 5, 6, 9}));
}

TEST_F(CodecTest, BmpRefusals) {
    const Bytes table = Bytes(1024, 0);
    const Bytes rows = Bytes(16, 0);
    struct Case {
        Bytes file;
        const char* message;
    } cases[] = {
        {Bmp(40, 2, 2, 8, 2, table, rows), "BMP: RLE4 data must have 4 bits per pixel\n"},
        {Bmp(40, 2, 2, 24, 1, {}, rows), "BMP: RLE8 data must have 8 bits per pixel\n"},
        {Bmp(40, 2, 2, 24, 4, {}, rows), "BMP: JPEG data inside BMP is not supported\n"},
        {Bmp(124, 2, 2, 24, 5, {}, rows), "BMP: PNG data inside BMP is not supported\n"},
        {Bmp(64, 2, 2, 1, 3, Bytes(8, 0), rows), "BMP: OS/2 Huffman-coded data is not supported\n"},
        {Bmp(64, 2, 2, 24, 4, {}, rows), "BMP: OS/2 RLE24 data is not supported\n"},
        {BitFieldBmp(40, 3, 24, {0xFF0000, 0xFF00, 0xFF}, 1, rows),
         "BMP: bit fields need 16 or 32 bits per pixel\n"},
        {BitFieldBmp(40, 3, 16, {0xF800, 0xFC00, 0x1F}, 1, rows),
         "BMP: bit fields that overlap or have gaps are not supported\n"},
        {BitFieldBmp(56, 3, 32, {0xFF0000, 0xFF00, 0xF0F, 0}, 1, rows),
         "BMP: bit fields that overlap or have gaps are not supported\n"},
        {Patched(Bmp(40, 2, 2, 24, 0, {}, rows), 14, 0xFFFFFFFF),
         "BMP: a header of 4294967295 bytes belongs to no BMP version\n"},
        {Bmp(66, 2, 2, 24, 0, {}, rows), "BMP: a header of 66 bytes belongs to no BMP version\n"},
        {Patched(Bmp(40, 2, 2, 24, 0, {}, rows), 14, 13),
         "BMP: a header of 13 bytes belongs to no BMP version\n"},
        {Bmp(40, 2, 2, 3, 0, Bytes(32, 0), Bytes(8, 0)), "BMP: bad file header\n"},
        {Bmp(40, 0, 2, 8, 0, table, Bytes(8, 0)), "BMP: bad file header\n"},
        {{'B', 'X', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "BMP: bad file header\n"},
        // A size that the file cannot hold is refused before anything is allocated.
        {Bmp(40, 60000, 60000, 24, 0, {}, Bytes(100, 0)),
         "BMP: pixel data cut short after 0 of 60000 rows\n"},
        {Bmp(40, 0x7FFFFFFF, -0x7FFFFFFF, 32, 0, {}, Bytes(100, 0)),
         "BMP: pixel data cut short after 0 of 2147483647 rows\n"},
        {Bmp(40, 4, 4, 8, 1, table, {}), "BMP: RLE8 data of 0 bytes cannot fill 4 x 4 pixels\n"},
        {Bmp(40, 2, 3, 24, 0, {}, Bytes(12, 0)), "BMP: pixel data cut short after 1 of 3 rows\n"},
    };
    for (const Case& c : cases) {
        ZEMImage image(3, 1, 8);
        image.data[0] = 42;
        LogCapture log;
        EXPECT_FALSE(Load(image, c.file, BMP));
        EXPECT_EQ(log.Text(), c.message);
        EXPECT_EQ(image.width, 3u);
        EXPECT_EQ(image.data[0], 42);
    }
}

TEST_F(CodecTest, BmpSave) {
    ZEMImage image(5, 2, 8);
    for (unsigned i = 0; i < 10; ++i)
        image.data[i] = uint8_t(i);
    auto pal = new ZEMPal(256);
    for (unsigned i = 0; i < 1024; ++i)
        pal->colors[i] = uint8_t(i * 3);
    image.ReplacePalette(pal);
    const std::string file = Saved(image, BMP);
    ASSERT_EQ(file.size(), 1094u);
    auto u32 = [&](size_t at) { return uint32_t(uint8_t(file[at]) | uint8_t(file[at + 1]) << 8); };
    EXPECT_EQ(u32(2), 1094u); // file size
    EXPECT_EQ(u32(10), 1078u);
    EXPECT_EQ(u32(34), 10u);                                           // the unpadded pixel bytes
    EXPECT_EQ(u32(46), 256u);                                          // colours used
    EXPECT_EQ(file.substr(54, 4), std::string("\x06\x03\x00\x09", 4)); // blue, green, red, alpha
    EXPECT_EQ(file.substr(1078, 8), std::string("\x05\x06\x07\x08\x09\0\0\0", 8));

    ZEMImage loaded(0, 0, 8);
    ASSERT_TRUE(loaded.LoadName("saved", 0));
    EXPECT_EQ(Pixels(loaded), Pixels(image));
    EXPECT_EQ(0, std::memcmp(loaded.palette->colors, pal->colors, 1024));

    // 32 bits without a palette: no colour table, rows unpadded.
    ZEMImage deep(3, 1, 32);
    std::memset(deep.data, 0x5A, 12);
    const std::string deepFile = Saved(deep, BMP);
    ASSERT_EQ(deepFile.size(), 54u + 12u);
    EXPECT_EQ(deepFile[10], 54);
    EXPECT_EQ(deepFile[28], 32);

    // Transparent all over: behind a 40-byte header it would read back opaque, so the file gets
    // the header with an alpha mask.
    ZEMImage clear(2, 1, 32);
    std::memset(clear.data, 0, 8);
    clear.data[0] = 7;
    const std::string clearFile = Saved(clear, BMP);
    ASSERT_EQ(clearFile.size(), 14u + 108u + 8u);
    EXPECT_EQ(clearFile[14], 108);
    EXPECT_EQ(clearFile[30], 3); // bit fields
    ZEMImage clearAgain(0, 0, 8);
    ASSERT_TRUE(clearAgain.LoadName("saved", 0));
    EXPECT_EQ(Pixels(clearAgain), Pixels(clear));

    // An 8-bit picture without a palette gets a grey table, which every reader expects there.
    ZEMImage grey(1, 1, 8);
    grey.data[0] = 0;
    const std::string greyFile = Saved(grey, BMP);
    ASSERT_EQ(greyFile.size(), 54u + 1024u + 4u);
    EXPECT_EQ(greyFile.substr(54 + 4 * 200, 4), std::string("\xC8\xC8\xC8\0", 4));
}

// ---- GIF ----

// A GIF of one image whose data holds the given codes, each of minCodeSize + 1 bits (the size
// that codes start with).
Bytes GifOfCodes(unsigned width, unsigned height, const std::vector<unsigned>& codes,
                 unsigned minCodeSize, const Bytes& beforeImage = {}, uint8_t imageFlags = 0) {
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    Put16(b, width);
    Put16(b, height);
    const unsigned colours = std::min(1u << minCodeSize, 256u);
    unsigned sizeBits = 0;
    while ((2u << sizeBits) < colours)
        ++sizeBits;
    b.push_back(uint8_t(0x80 | sizeBits));
    b.push_back(0);
    b.push_back(0);
    for (unsigned i = 0; i < (2u << sizeBits); ++i) {
        b.insert(b.end(), {uint8_t(i), uint8_t(i * 2), uint8_t(255 - i)});
    }
    Append(b, beforeImage);
    b.push_back(',');
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, width);
    Put16(b, height);
    b.push_back(imageFlags);
    b.push_back(uint8_t(minCodeSize));
    const unsigned size = minCodeSize + 1;
    Bytes data;
    uint32_t bits = 0;
    unsigned count = 0;
    for (unsigned c : codes) {
        bits |= c << count;
        count += size;
        while (count >= 8) {
            data.push_back(uint8_t(bits));
            bits >>= 8;
            count -= 8;
        }
    }
    if (count) data.push_back(uint8_t(bits));
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t n = std::min<size_t>(255, data.size() - at);
        b.push_back(uint8_t(n));
        b.insert(b.end(), data.begin() + at, data.begin() + at + n);
    }
    b.push_back(0);
    b.push_back(';');
    return b;
}

// A GIF whose image data codes each pixel alone after a clear code, so any picture can be
// written without an encoder.
Bytes Gif(unsigned width, unsigned height, const Bytes& pixels, unsigned minCodeSize,
          const Bytes& beforeImage = {}, uint8_t imageFlags = 0) {
    const unsigned clear = 1u << minCodeSize;
    std::vector<unsigned> codes;
    for (uint8_t p : pixels)
        codes.insert(codes.end(), {clear, p});
    codes.push_back(clear + 1);
    return GifOfCodes(width, height, codes, minCodeSize, beforeImage, imageFlags);
}

TEST_F(CodecTest, GifImageExtensionsAndPalette) {
    const Bytes pixels = {0, 1, 2, 3, 3, 2};
    // A graphic control extension with a transparent index changes nothing.
    const Bytes control = {'!', 0xF9, 4, 1, 0, 0, 2, 0};
    ZEMImage image(0, 0, 24);
    ASSERT_TRUE(Load(image, Gif(3, 2, pixels, 2, control), 0));
    EXPECT_EQ(image.bpp, 8);
    EXPECT_EQ(Pixels(image), pixels);
    ASSERT_EQ(image.palette->nbColors, 4u);
    EXPECT_EQ(Bytes(image.palette->colors + 8, image.palette->colors + 12), Bytes({2, 4, 253, 0}));

    // Minimum code sizes from 1 to 11 decode.
    for (unsigned size = 1; size <= 11; ++size) {
        SCOPED_TRACE(size);
        const Bytes many = {uint8_t((1u << size) - 1), 0, 1};
        ASSERT_TRUE(Load(image, Gif(1, 3, many, size), GIF));
        EXPECT_EQ(Pixels(image), many);
    }
}

TEST_F(CodecTest, GifBrokenFiles) {
    Bytes twelve = Gif(1, 1, {0}, 2);
    twelve[6 + 7 + 3 * 4 + 10] = 12; // the minimum code size
    Bytes loop = Gif(2, 2, {0, 1, 2, 3}, 2);
    Bytes magic = Gif(1, 1, {0}, 2);
    magic[4] = '8';
    Bytes trailer = {'G', 'I', 'F', '8', '7', 'a', 1, 0, 1, 0, 0, 0, 0, ';'};
    struct Case {
        Bytes file;
        const char* message;
    } cases[] = {
        {magic, "GIF: error reading magic number\n"},
        {trailer, "GIF: only 0/1 images found in file\n"},
        {twelve, "GIF: bad code size 12\n"},
        {{'G', 'I', 'F', '8', '9', 'a', 1, 0}, "GIF: failed to read screen descriptor\n"},
        {{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x87, 0, 0, 1, 2},
         "GIF: bad colormap\nGIF: error reading global colormap\n"},
        {{'G', 'I', 'F', '8', '9',  'a',  1,    0,    1, 0, 0, 0, 0, ',',
          0,   0,   0,   0,   0xFF, 0xFF, 0xFF, 0xFF, 0, 2, 1, 0, 0},
         "GIF: bad image size 65535 x 65535\n"},
    };
    for (const Case& c : cases) {
        ZEMImage image(1, 1, 8);
        LogCapture log;
        EXPECT_FALSE(Load(image, c.file, GIF));
        EXPECT_EQ(log.Text(), c.message);
        EXPECT_EQ(image.width, 1u);
    }

    // A code past the end of the table stops the decoding.
    const size_t data = 6 + 7 + 12 + 10 + 1 + 1; // first data byte: clear 4, code 0, ...
    loop[data] = 0xFF;
    loop[data + 1] = 0xFF;
    ZEMImage image(1, 1, 8);
    LogCapture log;
    EXPECT_FALSE(Load(image, loop, GIF));
    EXPECT_EQ(log.Text(),
              "GIF: image data damaged after 0 of 2 rows: code 7 is not in the table\n");
}

TEST_F(CodecTest, GifCodesMayNotRunAheadOfTheTable) {
    // Minimum code size 2: clear 4, and after the first code the next free code is 6, which
    // stands for the string being defined: the previous one and its own first byte.
    ZEMImage image(0, 0, 8);
    ASSERT_TRUE(Load(image, GifOfCodes(4, 1, {4, 1, 6, 2}, 2), GIF));
    EXPECT_EQ(Pixels(image), Bytes({1, 1, 1, 2}));

    // A code above the next free one is damage, not that case.
    const struct {
        Bytes file;
        const char* message;
    } cases[] = {
        {GifOfCodes(3, 1, {4, 1, 7}, 2),
         "GIF: image data damaged after 0 of 1 rows: code 7 is not in the table\n"},
        {GifOfCodes(2, 2, {8, 1, 2, 13}, 3),
         "GIF: image data damaged after 1 of 2 rows: code 13 is not in the table\n"},
    };
    for (const auto& c : cases) {
        LogCapture log;
        EXPECT_FALSE(Load(image, c.file, GIF));
        EXPECT_EQ(log.Text(), c.message);
        EXPECT_EQ(image.width, 4u);
    }
}

TEST_F(CodecTest, GifWithoutColourTablesIsGrey) {
    // The indexes are grey levels, as other readers show such files.
    Bytes file = Gif(3, 1, {0, 7, 200}, 8);
    file[10] &= 0x7F; // no global colour table
    file.erase(file.begin() + 13, file.begin() + 13 + 3 * 256);
    ZEMImage image(0, 0, 8);
    ASSERT_TRUE(Load(image, file, GIF));
    EXPECT_EQ(Pixels(image), Bytes({0, 7, 200}));
    ASSERT_EQ(image.palette->nbColors, 256u);
    EXPECT_EQ(Bytes(image.palette->colors + 4 * 200, image.palette->colors + 4 * 201),
              Bytes({200, 200, 200, 0}));
}

TEST_F(CodecTest, GifCutShortIsRefused) {
    Bytes cut = Gif(4, 2, {1, 2, 3, 1, 0, 1, 2, 3}, 2);
    cut.resize(cut.size() - 6); // the last bytes of the data block, its terminator and the trailer
    // The end code comes before the picture is full.
    const Bytes ended = Gif(4, 2, {1, 2, 3, 1, 0}, 2);
    for (const Bytes& file : {cut, ended}) {
        ZEMImage image(1, 1, 8);
        LogCapture log;
        EXPECT_FALSE(Load(image, file, GIF));
        EXPECT_EQ(log.Text(), "GIF: pixel data cut short after 1 of 2 rows\n");
        EXPECT_EQ(image.width, 1u);
    }
}

TEST_F(CodecTest, GifDecodesOnTwoThreadsAtOnce) {
    Bytes a_pixels(64 * 64), b_pixels(64 * 64);
    for (size_t i = 0; i < a_pixels.size(); ++i) {
        a_pixels[i] = uint8_t(i % 7);
        b_pixels[i] = uint8_t(i % 3);
    }
    const Bytes a = Gif(64, 64, a_pixels, 3), b = Gif(64, 64, b_pixels, 3, {}, 0x40);
    bool same[2] = {true, true};
    auto decode = [](const Bytes& file, Bytes expect, bool interlaced, bool* ok) {
        if (interlaced) { // rows 0, 8, ... then 4, 12, ... then 2, 6, ... then 1, 3, ...
            Bytes rows;
            for (unsigned pass : {0u, 1u, 2u, 3u}) {
                const unsigned start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
                for (unsigned y = start[pass]; y < 64; y += step[pass])
                    rows.push_back(uint8_t(y));
            }
            Bytes placed(expect.size());
            for (unsigned n = 0; n < 64; ++n) {
                std::memcpy(&placed[rows[n] * 64], &expect[n * 64], 64);
            }
            expect = placed;
        }
        for (int i = 0; i < 40; ++i) {
            ZEMImage image(0, 0, 8);
            Bytes copy = file;
            ZEMMemFile stream(unsigned(copy.size()), ZEMResFile::READ, copy.data());
            if (!ZEM::GIFLoad(stream, image.data, image.width, image.height, image.palette,
                              image.bpp) ||
                Bytes(image.data, image.data + 64 * 64) != expect) {
                *ok = false;
            }
        }
    };
    std::thread one(decode, std::cref(a), a_pixels, false, &same[0]);
    std::thread two(decode, std::cref(b), b_pixels, true, &same[1]);
    one.join();
    two.join();
    EXPECT_TRUE(same[0]);
    EXPECT_TRUE(same[1]);
}

// ---- PCX ----

Bytes PcxHeader(uint8_t version, unsigned bits, int xMin, int xMax, unsigned height,
                unsigned planes, unsigned bytesPerLine) {
    Bytes b = {0x0A, version, 1, uint8_t(bits)};
    Put16(b, unsigned(xMin));
    Put16(b, 0);
    Put16(b, unsigned(xMax));
    Put16(b, height - 1);
    b.resize(65, 0);
    b.push_back(uint8_t(planes));
    Put16(b, bytesPerLine);
    b.resize(128, 0);
    return b;
}

TEST_F(CodecTest, PcxPlanesAreRedGreenBlueAlpha) {
    Bytes file = PcxHeader(5, 8, 10, 11, 1, 4, 2);
    // Four plane lines of 2 pixels: red 1 and 5, green 2 and 6, blue 3 and 7, alpha 4 and 0xC8.
    Append(file, {1, 5, 2, 6, 3, 7, 4, 0xC1, 0xC8});
    ZEMImage image(0, 0, 8);
    ASSERT_TRUE(Load(image, file, PCX));
    EXPECT_EQ(image.width, 2u); // x max - x min + 1
    EXPECT_EQ(image.bpp, 32);
    EXPECT_EQ(Pixels(image), Bytes({3, 2, 1, 4, 7, 6, 5, 0xC8}));

    // Saved, the planes come out in the same order.
    const std::string saved = Saved(image, PCX);
    EXPECT_EQ(saved.substr(128), std::string("\x01\x05\x02\x06\x03\x07\x04\xC1\xC8", 9));
}

TEST_F(CodecTest, PcxRunsAndPalette) {
    // A run of 0 (0xC0) fills the rest of a plane line; runs stop at the end of a line; bytes
    // past the width are padding.
    Bytes file = PcxHeader(5, 8, 0, 2, 2, 1, 4);
    Append(file, {0xC5, 9, 0xC0, 4});
    Append(file, {0x0C});
    for (unsigned i = 0; i < 768; ++i)
        file.push_back(uint8_t(i));
    auto keep = new ZEMPal(3);
    std::memset(keep->colors, 0x77, 12);
    ZEMImage image(1, 1, 8);
    image.ReplacePalette(keep);
    ASSERT_TRUE(Load(image, file, 0));
    EXPECT_EQ(Pixels(image), Bytes({9, 9, 9, 4, 4, 4}));
    ASSERT_EQ(image.palette->nbColors, 256u);
    EXPECT_EQ(Bytes(image.palette->colors + 4, image.palette->colors + 8), Bytes({3, 4, 5, 0}));

    // Version 3 files keep the image's palette, grown with black to cover the indexes used.
    file[1] = 3;
    keep = new ZEMPal(3);
    std::memset(keep->colors, 0x77, 12);
    image.ReplacePalette(keep);
    ASSERT_TRUE(Load(image, file, PCX));
    ASSERT_EQ(image.palette->nbColors, 10u);
    EXPECT_EQ(Bytes(image.palette->colors + 8, image.palette->colors + 16),
              Bytes({0x77, 0x77, 0x77, 0x77, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes(image.palette->colors + 36, image.palette->colors + 40), Bytes(4, 0));
}

// Pictures of fewer than 8 bits become 8-bit pictures of one index per pixel.
TEST_F(CodecTest, PcxPackedPictures) {
    const struct {
        uint8_t version;
        unsigned bits, planes;
        Bytes data; // the plane lines of the one row, 2 bytes each
        Bytes pixels;
        unsigned colours;
    } cases[] = {
        // The leftmost pixel is in the high bits.
        {5, 1, 1, {0xA0, 0}, {1, 0, 1}, 2},
        {0, 2, 1, {0xC1, 0xC8, 0}, {3, 0, 2}, 4},
        {3, 4, 1, {0xA5, 0xC1, 0xF0}, {10, 5, 15}, 16},
        // Plane p gives bit p of the index.
        {2, 1, 2, {0xA0, 0, 0x60, 0}, {1, 2, 3}, 4},
        {4, 1, 4, {0xA0, 0, 0x60, 0, 0x20, 0, 0xC2, 0x20}, {1, 2, 15}, 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, " << c.planes << " planes");
        Bytes file = PcxHeader(c.version, c.bits, 0, 2, 1, c.planes, 2);
        for (unsigned i = 0; i < 48; ++i)
            file[16 + i] = uint8_t(i + 1); // colour n is 3n + 1, 3n + 2, 3n + 3
        Append(file, c.data);
        ZEMImage image(1, 1, 8);
        image.ReplacePalette(new ZEMPal(256));
        ASSERT_TRUE(Load(image, file, PCX));
        EXPECT_EQ(image.bpp, 8);
        EXPECT_EQ(Pixels(image), c.pixels);
        ASSERT_EQ(image.palette->nbColors, c.colours);
        const uint8_t* last = image.palette->colors + 4 * (c.colours - 1);
        // One bit is black and white whatever the header holds; else the header's colours.
        const unsigned n = c.colours - 1;
        const Bytes expect =
            c.colours == 2 ? Bytes({255, 255, 255, 0})
                           : Bytes({uint8_t(3 * n + 1), uint8_t(3 * n + 2), uint8_t(3 * n + 3), 0});
        EXPECT_EQ(Bytes(last, last + 4), expect);
        EXPECT_EQ(Bytes(image.palette->colors, image.palette->colors + 4),
                  c.colours == 2 ? Bytes({0, 0, 0, 0}) : Bytes({1, 2, 3, 0}));
    }
}

TEST_F(CodecTest, PcxRefusals) {
    Bytes encoding = PcxHeader(5, 8, 0, 0, 1, 1, 2);
    encoding[2] = 0;
    Bytes maker = PcxHeader(5, 8, 0, 0, 1, 1, 2);
    maker[0] = 0x0B;
    // 32,768 x 8,193 pixels of 32 bits, in a file that holds a byte for each plane line.
    Bytes huge = PcxHeader(5, 8, -32768, -1, 8193, 4, 32768);
    huge.resize(huge.size() + 4 * 8193, 0);
    const struct {
        Bytes file;
        const char* message;
    } cases[] = {
        {PcxHeader(5, 1, 0, 0, 1, 3, 2), "PCX: 3 planes of 1 bit are not supported\n"},
        {PcxHeader(5, 8, 0, 0, 1, 2, 2), "PCX: 2 planes of 8 bits are not supported\n"},
        {PcxHeader(5, 8, 0, 0, 1, 5, 2), "PCX: 5 planes of 8 bits are not supported\n"},
        {PcxHeader(5, 3, 0, 0, 1, 1, 2), "PCX: 1 plane of 3 bits is not supported\n"},
        {PcxHeader(5, 8, 5, 4, 1, 1, 2), "PCX: corners (5, 0) to (4, 0) leave no picture\n"},
        {PcxHeader(5, 8, 0, 9, 1, 1, 4), "PCX: 4 bytes per line cannot hold 10 pixels\n"},
        {PcxHeader(5, 1, 0, 19, 1, 4, 2), "PCX: 2 bytes per line cannot hold 20 pixels\n"},
        {PcxHeader(5, 8, 0, 0, 1, 1, 0), "PCX: 0 bytes per line cannot hold 1 pixels\n"},
        {encoding, "PCX: encoding 0 is not supported\n"},
        {maker, "PCX: not a PCX file (first byte 0x0B)\n"},
        {Bytes(maker.begin(), maker.begin() + 100), "PCX: header cut short\n"},
        {huge, "PCX: 32768 x 8193 pixels are more than a picture may hold\n"},
    };
    for (const auto& c : cases) {
        ZEMImage image(1, 1, 8);
        LogCapture log;
        EXPECT_FALSE(Load(image, c.file, PCX));
        EXPECT_EQ(log.Text(), c.message);
        EXPECT_EQ(image.width, 1u);
    }
}

TEST_F(CodecTest, PcxCutShortIsRefusedAtOnce) {
    // Each of the two rows needs three plane lines of two bytes; the second row's blue is missing.
    Bytes cut = PcxHeader(5, 8, 0, 1, 2, 3, 2);
    Append(cut, {1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5});
    // Four planes of 65,535 bytes a line for one pixel each, and no pixel data: zero bytes, each
    // a value of its own, fill the first plane line only. Decoding went on over every declared
    // byte of every row.
    Bytes hostile = PcxHeader(5, 8, 0, 0, 16384, 4, 65535);
    hostile.resize(hostile.size() + 65536, 0);
    // Fewer bytes than the plane lines of 30,000 rows, of which the first is whole.
    Bytes short24 = PcxHeader(5, 8, 0, 1, 30000, 3, 2);
    Append(short24, {0xC2, 1, 0xC2, 2, 0xC2, 3, 0xC2});
    Bytes short1 = PcxHeader(5, 1, 0, 7, 3, 4, 1);
    Append(short1, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    const struct {
        Bytes file;
        const char* message;
    } cases[] = {
        {cut, "PCX: pixel data cut short after 1 of 2 rows\n"},
        {hostile, "PCX: pixel data cut short after 0 of 16384 rows\n"},
        {short24, "PCX: pixel data cut short after 1 of 30000 rows\n"},
        {short1, "PCX: pixel data cut short after 2 of 3 rows\n"},
    };
    for (const auto& c : cases) {
        ZEMImage image(1, 1, 8);
        LogCapture log;
        EXPECT_FALSE(Load(image, c.file, PCX));
        EXPECT_EQ(log.Text(), c.message);
        EXPECT_EQ(image.bpp, 8);
    }
}

TEST_F(CodecTest, PcxSaveCodesRunsAsDescribed) {
    ZEMImage image(101, 1, 8);
    std::memset(image.data, 0x41, 100);
    image.data[100] = 0xC5;
    const std::string saved = Saved(image, PCX);
    // Header: bytes per line is the width made even.
    EXPECT_EQ(uint8_t(saved[66]) | uint8_t(saved[67]) << 8, 102);
    EXPECT_EQ(saved[65], 1);
    // 63 + 37 equal bytes, the single 0xC5 with a count, the padding byte, the palette.
    EXPECT_EQ(saved.substr(128, 7), std::string("\xFF\x41\xE5\x41\xC1\xC5\x00", 7));
    ASSERT_EQ(saved.size(), 128u + 7u + 769u);
    EXPECT_EQ(saved[135], 0x0C);
    EXPECT_EQ(saved.substr(136 + 3 * 9, 3), "\x09\x09\x09"); // no palette: grey levels

    ZEMImage shallow(2, 2, 16);
    EXPECT_EQ(Saved(shallow, PCX), "");
    EXPECT_FALSE(std::ifstream("saved").peek() > 0);
}

// ---- TGA ----

Bytes TgaHeader(uint8_t mapType, uint8_t type, unsigned first, unsigned length, unsigned entry,
                unsigned width, unsigned height, unsigned depth, uint8_t descriptor) {
    Bytes b = {0, mapType, type};
    Put16(b, first);
    Put16(b, length);
    b.push_back(uint8_t(entry));
    Put32(b, 0);
    Put16(b, width);
    Put16(b, height);
    b.push_back(uint8_t(depth));
    b.push_back(descriptor);
    return b;
}

TEST_F(CodecTest, TgaRowsRunsAndAlpha) {
    // 3 x 2 at 32 bits, bottom-up; a run of 5 that starts 2 pixels before the end of the first
    // row goes on into the next one.
    Bytes file = TgaHeader(0, 10, 0, 0, 0, 3, 2, 32, 8);
    Append(file, {0, 1, 2, 3, 255, 0x84, 9, 8, 7, 0});
    ZEMImage image(0, 0, 8);
    ASSERT_TRUE(Load(image, file, TGA));
    // The fourth byte is the file's alpha, unchanged.
    EXPECT_EQ(Pixels(image), Bytes({9, 8, 7, 0,   9, 8, 7, 0, 9, 8, 7, 0,    // top row
                                    1, 2, 3, 255, 9, 8, 7, 0, 9, 8, 7, 0})); // bottom row

    // Saved and loaded again, the four bytes go to the file as they are.
    const std::string plain = Saved(image, TGA);
    ASSERT_EQ(plain.size(), 18u + 24u);
    EXPECT_EQ(plain[17], 8);
    EXPECT_EQ(plain.substr(18, 4), std::string("\x01\x02\x03\xFF", 4));
    ZEMImage again(0, 0, 8);
    ASSERT_TRUE(again.LoadName("saved", TGA));
    EXPECT_EQ(Pixels(again), Pixels(image));

    // Top-down with descriptor 0x20.
    file = TgaHeader(0, 2, 0, 0, 0, 1, 2, 24, 0x20);
    Append(file, {1, 2, 3, 4, 5, 6});
    ASSERT_TRUE(Load(image, file, TGA));
    EXPECT_EQ(Pixels(image), Bytes({1, 2, 3, 4, 5, 6}));
}

Bytes Joined(Bytes head, const Bytes& tail) {
    Append(head, tail);
    return head;
}

TEST_F(CodecTest, TgaRightToLeftRowsAreMirrored) {
    const Bytes map = {0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
    const struct {
        const char* what;
        Bytes file;
        unsigned bpp;
        Bytes pixels;
    } cases[] = {
        // Bottom row first, each row from its right end.
        {"true colour",
         Joined(TgaHeader(0, 2, 0, 0, 0, 3, 2, 24, 0x10),
                {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6}),
         24, Bytes({6, 6, 6, 5, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 1, 1, 1})},
        {"grey", Joined(TgaHeader(0, 3, 0, 0, 0, 3, 1, 8, 0x10), {1, 2, 3}), 8, Bytes({3, 2, 1})},
        // Top row first; a run of 3 ends one row and starts the next.
        {"colour-mapped, packed",
         Joined(Joined(TgaHeader(1, 9, 0, 5, 24, 3, 2, 8, 0x30), map), {1, 1, 2, 0x82, 3, 0, 4}), 8,
         Bytes({3, 2, 1, 4, 3, 3})},
        {"grey and alpha, packed",
         Joined(TgaHeader(0, 11, 0, 0, 0, 2, 2, 16, 0x38), {0x82, 10, 255, 0, 20, 128}), 32,
         Bytes({10, 10, 10, 255, 10, 10, 10, 255, 20, 20, 20, 128, 10, 10, 10, 255})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ZEMImage image(0, 0, 8);
        ASSERT_TRUE(Load(image, c.file, TGA));
        EXPECT_EQ(image.bpp, c.bpp);
        EXPECT_EQ(Pixels(image), c.pixels);
    }
}

TEST_F(CodecTest, TgaGreyPictures) {
    // 8 bits: indexes into a grey scale, which replaces the palette the image had.
    ZEMImage image(1, 1, 8);
    image.ReplacePalette(new ZEMPal(3));
    ASSERT_TRUE(Load(image, Joined(TgaHeader(0, 3, 0, 0, 0, 2, 1, 8, 0), {0, 200}), TGA));
    EXPECT_EQ(image.bpp, 8);
    EXPECT_EQ(Pixels(image), Bytes({0, 200}));
    ASSERT_NE(image.palette, nullptr);
    ASSERT_EQ(image.palette->nbColors, 256u);
    EXPECT_EQ(Bytes(image.palette->colors + 4 * 200, image.palette->colors + 4 * 201),
              Bytes({200, 200, 200, 0}));

    // 16 bits: a grey byte and an alpha byte, read as blue, green, red and alpha.
    ASSERT_TRUE(Load(image, Joined(TgaHeader(0, 3, 0, 0, 0, 2, 1, 16, 8), {7, 255, 9, 0}), TGA));
    EXPECT_EQ(image.bpp, 32);
    EXPECT_EQ(Pixels(image), Bytes({7, 7, 7, 255, 9, 9, 9, 0}));
}

// The colours of the image's palette from index first to its end, four bytes each.
Bytes Colours(const ZEMImage& image, unsigned first) {
    if (!image.palette || first >= image.palette->nbColors) return {};
    return Bytes(image.palette->colors + 4 * first,
                 image.palette->colors + 4 * image.palette->nbColors);
}

TEST_F(CodecTest, TgaColourMaps) {
    Bytes past255 = TgaHeader(1, 1, 250, 10, 24, 1, 1, 8, 0);
    for (uint8_t i = 0; i < 30; ++i)
        past255.push_back(i);
    past255.push_back(255);
    const struct {
        const char* what;
        Bytes file;
        unsigned from;
        Bytes colours; // the palette from index from to its end
        Bytes pixels;
    } cases[] = {
        // The map holds the colours of indexes first.., and pixels are absolute indexes; the
        // colours below first are black.
        {"first entry 2", Joined(TgaHeader(1, 1, 2, 2, 24, 2, 1, 8, 0), {1, 2, 3, 4, 5, 6, 3, 2}),
         0, Bytes({0, 0, 0, 0, 0, 0, 0, 0, 3, 2, 1, 0, 6, 5, 4, 0}), Bytes({3, 2})},
        {"first entry past the length",
         Joined(TgaHeader(1, 1, 12, 1, 24, 1, 1, 8, 0), {1, 2, 3, 12}), 10,
         Bytes({0, 0, 0, 0, 0, 0, 0, 0, 3, 2, 1, 0}), Bytes({12})},
        // No 8-bit pixel reaches past 255: those colours are skipped.
        {"entries past 255", past255, 248,
         Bytes({0, 0, 0, 0, 0,  0,  0, 0, 2,  1,  0,  0, 5,  4,  3,  0,
                8, 7, 6, 0, 11, 10, 9, 0, 14, 13, 12, 0, 17, 16, 15, 0}),
         Bytes({255})},
        // 5-5-5 entries, each channel widened to 8 bits; the top bit is not alpha.
        {"16-bit entries",
         Joined(TgaHeader(1, 1, 0, 3, 16, 3, 1, 8, 0),
                {0x00, 0x7C, 0xE0, 0x83, 0x21, 0x04, 0, 1, 2}),
         0, Bytes({255, 0, 0, 0, 0, 255, 0, 0, 8, 8, 8, 0}), Bytes({0, 1, 2})},
        {"15-bit entries", Joined(TgaHeader(1, 1, 0, 1, 15, 1, 1, 8, 0), {0x1F, 0x00, 0}), 0,
         Bytes({0, 0, 255, 0}), Bytes({0})},
        // Pictures of colours or greys carry a map for a display's use only: it is skipped.
        {"true colour", Joined(TgaHeader(1, 2, 0, 2, 24, 1, 1, 24, 0), {1, 2, 3, 4, 5, 6, 7, 8, 9}),
         0, Bytes(), Bytes({7, 8, 9})},
        {"grey", Joined(TgaHeader(1, 3, 0, 2, 8, 1, 1, 8, 0), {9, 9, 5}), 254,
         Bytes({254, 254, 254, 0, 255, 255, 255, 0}), Bytes({5})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ZEMImage image(0, 0, 8);
        LogCapture log;
        ASSERT_TRUE(Load(image, c.file, TGA));
        EXPECT_EQ(log.Text(), "");
        EXPECT_EQ(Pixels(image), c.pixels);
        EXPECT_EQ(Colours(image, c.from), c.colours);
    }
}

TEST_F(CodecTest, TgaRefusals) {
    Bytes longId = Joined(TgaHeader(0, 2, 0, 0, 0, 1, 2, 24, 0), {1, 2, 3, 4, 5, 6});
    longId[0] = 6; // the ID field takes every byte left
    struct Case {
        Bytes file;
        const char* message;
    } cases[] = {
        {TgaHeader(2, 2, 0, 0, 0, 1, 1, 24, 0), "TGA: bad format\n"},
        {TgaHeader(0, 0, 0, 0, 0, 1, 1, 24, 0), "TGA: unsupported type 0\n"},
        {TgaHeader(0, 32, 0, 0, 0, 1, 1, 24, 0), "TGA: unsupported type 32\n"},
        {TgaHeader(0, 2, 0, 0, 0, 1, 1, 12, 0), "TGA: bad format\n"},
        {TgaHeader(0, 2, 0, 0, 0, 0, 5, 24, 0), "TGA: empty picture of 0 x 5 pixels\n"},
        {TgaHeader(1, 1, 0, 2, 8, 1, 1, 8, 0), "TGA: 8-bit colour map entries are not supported\n"},
        {TgaHeader(0, 1, 0, 0, 0, 1, 1, 16, 0),
         "TGA: 16-bit colour-map indexes are not supported\n"},
        {TgaHeader(0, 3, 0, 0, 0, 1, 1, 24, 0), "TGA: 24-bit grey pictures are not supported\n"},
        {TgaHeader(0, 10, 0, 0, 0, 60000, 60000, 32, 0),
         "TGA: file too short for 60000 x 60000 pixels\n"},
        // Pixel data cut short, whole or packed, or missing after the ID field or a map.
        {Joined(TgaHeader(0, 2, 0, 0, 0, 2, 3, 24, 0), Bytes(15, 0)),
         "TGA: pixel data cut short after 2 of 3 rows\n"},
        {Joined(TgaHeader(0, 2, 0, 0, 0, 60000, 60000, 32, 0), Bytes(8, 0)),
         "TGA: pixel data cut short after 0 of 60000 rows\n"},
        {Joined(TgaHeader(0, 10, 0, 0, 0, 4, 2, 24, 0), {0x81, 1, 2, 3, 0x81, 4, 5, 6, 0x00, 7, 8}),
         "TGA: pixel data cut short after 1 of 2 rows\n"},
        {Joined(TgaHeader(0, 10, 0, 0, 0, 4, 2, 24, 0), {0x83, 1, 2, 3, 0x82, 4}),
         "TGA: pixel data cut short after 1 of 2 rows\n"},
        {longId, "TGA: pixel data cut short after 0 of 2 rows\n"},
        {Joined(TgaHeader(1, 2, 0, 3, 24, 1, 1, 24, 0), Bytes(9, 0)),
         "TGA: pixel data cut short after 0 of 1 rows\n"},
    };
    for (const Case& c : cases) {
        ZEMImage image(1, 1, 8);
        LogCapture log;
        EXPECT_FALSE(Load(image, c.file, TGA));
        EXPECT_EQ(log.Text(), c.message);
        EXPECT_EQ(image.width, 1u);
    }
}

TEST_F(CodecTest, TgaSavePacksRowsAsDescribed) {
    ZEMImage image(203, 1, 24);
    std::memset(image.data, 7, 600);
    for (unsigned i = 0; i < 9; ++i)
        image.data[600 + i] = uint8_t(i + 1); // three differing
    const std::string packed = Saved(image, TGA_RLE);
    EXPECT_EQ(packed[2], 10);
    const std::string expect = std::string("\xFF\x07\x07\x07\xC7\x07\x07\x07") +
                               "\x01\x01\x02\x03\x04\x05\x06" + std::string("\0\x07\x08\x09", 4);
    EXPECT_EQ(packed.substr(18), expect);

    // A deep picture with a palette is written without a colour map; an 8-bit one without a
    // palette is written as grey.
    auto pal = new ZEMPal(4);
    image.palette = pal;
    EXPECT_EQ(Saved(image, TGA).substr(0, 3), std::string("\0\0\x02", 3));
    ZEMImage grey(2, 1, 8);
    EXPECT_EQ(Saved(grey, TGA).substr(0, 3), std::string("\0\0\x03", 3));

    // A stream that takes only part of the file makes the save fail.
    uint8_t small[30];
    ZEMMemFile tiny(sizeof small, ZEMResFile::WRITE, small);
    EXPECT_FALSE(ZEM::TGASave(tiny, image));

    LogCapture log;
    ZEMImage shallow(2, 2, 15);
    EXPECT_EQ(Saved(shallow, TGA_RLE), "");
    EXPECT_EQ(log.Text(), "TGA: cannot handle 16 bits image.\n");
}

} // namespace
