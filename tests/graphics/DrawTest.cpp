// Drawing primitives pixel by pixel: the pixel rule on every depth, the shapes' own examples,
// clipping that only hides pixels, and coordinates far beyond the 16-bit range.
#include "DrawFixtures.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <set>
#include <utility>
#include <vector>

using drawtest::Blank;
using drawtest::Bytes;
using drawtest::COPY;
using drawtest::DEPTHS;
using drawtest::Encoded;
using drawtest::ExpectClipped;
using drawtest::Picture;
using drawtest::Rows;
using drawtest::Window;
using drawtest::XOR;

namespace {

const unsigned ALL = 0xFFFFFFFFu; // every bit: the same pixels in copy and XOR mode
const unsigned COLOR = 0x12345678u;

using Point = std::pair<int, int>;
using Points = std::set<Point>;
using Draw = std::function<void(ZEMImage&)>;

// The pixels that are not zero.
Points Drawn(const ZEMImage& image) {
    Points points;
    for (unsigned y = 0; y < image.height; ++y)
        for (unsigned x = 0; x < image.width; ++x)
            if (image.GetPixel(int(x), int(y)) != 0) points.insert({int(x), int(y)});
    return points;
}

// Draws on a blank picture of that depth and returns the pixels drawn.
Points DrawnBy(const Draw& draw, unsigned bpp, unsigned width = 20, unsigned height = 10) {
    auto image = Blank(width, height, bpp);
    draw(*image);
    return Drawn(*image);
}

// A picture whose bytes all differ from their neighbours.
std::unique_ptr<ZEMImage> Numbered(unsigned width, unsigned height, unsigned bpp) {
    auto image = Blank(width, height, bpp);
    for (size_t i = 0; i < size_t(image->height) * image->pitch; ++i)
        image->data[i] = uint8_t(i * 7 + 3);
    return image;
}

TEST(DrawTest, EveryOperationFollowsThePixelRuleOnEveryDepth) {
    // Each operation sets the one pixel (1, 0) of a 3 x 1 picture of bytes 0x5A.
    const std::pair<const char*, std::function<void(ZEMImage&, ZEMImage::DrawMode)>> ops[] = {
        {"HLine", [](ZEMImage& i, ZEMImage::DrawMode m) { i.HLine(1, 0, 1, COLOR, m); }},
        {"VLine", [](ZEMImage& i, ZEMImage::DrawMode m) { i.VLine(1, 0, 1, COLOR, m); }},
        {"Line", [](ZEMImage& i, ZEMImage::DrawMode m) { i.Line(1, 0, 1, 0, COLOR, m); }},
        {"Frame", [](ZEMImage& i, ZEMImage::DrawMode m) { i.Frame(1, 0, 1, 1, COLOR, m); }},
        {"Rectangle", [](ZEMImage& i, ZEMImage::DrawMode m) { i.Rectangle(1, 0, 1, 1, COLOR, m); }},
        {"Gradient",
         [](ZEMImage& i, ZEMImage::DrawMode m) { i.Gradient(1, 0, 1, 1, COLOR, COLOR, 0, m); }},
        {"Circle", [](ZEMImage& i, ZEMImage::DrawMode m) { i.Circle(1, 0, 0, COLOR, m); }},
    };
    for (unsigned bpp : DEPTHS) {
        const unsigned background = Encoded(bpp, 0x5A5A5A5A);
        for (const auto& op : ops) {
            SCOPED_TRACE(std::string(op.first) + " on " + std::to_string(bpp) + " bits");
            for (ZEMImage::DrawMode mode : {COPY, XOR, ZEMImage::DrawMode(7)}) {
                auto image = Blank(3, 1, bpp);
                std::memset(image->data, 0x5A, image->pitch);
                op.second(*image, mode);
                // XOR inverts every bit of a deep pixel but the alpha of a 32-bit one.
                const unsigned expected = mode == COPY ? Encoded(bpp, COLOR)
                                          : bpp == 8   ? 0x5A ^ 0x78
                                          : bpp == 32  ? 0x5AA5A5A5u
                                                       : Encoded(bpp, ~0x5A5A5A5Au);
                EXPECT_EQ(image->GetPixel(1, 0), expected) << "mode " << mode;
                EXPECT_EQ(image->GetPixel(0, 0), background);
                EXPECT_EQ(image->GetPixel(2, 0), background);
            }
        }
        // Colour 0 clears every byte of a deep pixel too.
        auto image = Blank(3, 1, bpp);
        std::memset(image->data, 0x5A, image->pitch);
        image->HLine(0, 0, 3, 0, COPY);
        EXPECT_EQ(Drawn(*image), Points{});
    }
}

TEST(DrawTest, LongSpansSetEveryPixel) {
    // A picture of whole rows filled at once (more than 8 KiB on every depth but 8), and a long
    // span that stops one pixel short of each end of its row.
    for (unsigned bpp : DEPTHS) {
        SCOPED_TRACE(std::to_string(bpp) + " bits");
        auto whole = Blank(1001, 9, bpp);
        whole->Rectangle(0, 0, 1001, 9, COLOR, COPY);
        auto row = Blank(1001, 3, bpp);
        row->HLine(1, 1, 999, COLOR, COPY);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 1001; ++x) {
                ASSERT_EQ(whole->GetPixel(x, y), Encoded(bpp, COLOR)) << x << "," << y;
                const bool inSpan = y == 1 && x >= 1 && x <= 999;
                ASSERT_EQ(row->GetPixel(x, y), inSpan ? Encoded(bpp, COLOR) : 0u) << x << "," << y;
            }
    }
}

TEST(DrawTest, SpansAndRectanglesAreCutToTheClipRectangle) {
    struct Case {
        int x, y;
        unsigned w, h;
    };
    const Case cases[] = {
        {3, 4, 3, 2},
        {0, 4, 4, 2},
        {6, 4, 5, 2},
        {3, 1, 2, 4},
        {3, 5, 2, 9},
        {-9, -9, 40, 40},
        {0, 4, 2, 1},
        {8, 4, 3, 1},
        {3, 0, 1, 3},
        {3, 7, 2, 3},
        {3, 4, 0, 2},
        {3, 4, 2, 0},
        {2, 3, 1, 1},
        {1, 3, 1, 1},
        {7, 6, 1, 1},
        {7, 7, 1, 1},
        {-40000, 4, 70000, 1},
        {INT_MAX - 1, 4, 5, 1},
        {INT_MIN, INT_MIN, UINT_MAX, UINT_MAX},
        {65536 + 3, 4, 2, 2},
        {3, 65536 + 4, 2, 2},
        {-65536 + 3, 4, 2, 2},
    };
    // The clip rectangle is x 2..7, y 3..6 of a 10 x 10 picture.
    auto visible = [](const Case& c, unsigned w, unsigned h) {
        Points points;
        for (int y = 3; y <= 6; ++y)
            for (int x = 2; x <= 7; ++x)
                if (x >= c.x && int64_t(x) < int64_t(c.x) + w && y >= c.y &&
                    int64_t(y) < int64_t(c.y) + h)
                    points.insert({x, y});
        return points;
    };
    for (unsigned bpp : DEPTHS) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(bpp) + " bits, at " + std::to_string(c.x) + "," +
                         std::to_string(c.y) + " size " + std::to_string(c.w) + "x" +
                         std::to_string(c.h));
            auto clipped = [&](const Draw& draw) {
                return DrawnBy(
                    [&](ZEMImage& image) {
                        image.SetClipping(2, 3, 7, 6);
                        draw(image);
                    },
                    bpp, 10, 10);
            };
            EXPECT_EQ(clipped([&](ZEMImage& i) { i.HLine(c.x, c.y, c.w, ALL, COPY); }),
                      visible(c, c.w, 1));
            EXPECT_EQ(clipped([&](ZEMImage& i) { i.VLine(c.x, c.y, c.h, ALL, COPY); }),
                      visible(c, 1, c.h));
            EXPECT_EQ(clipped([&](ZEMImage& i) { i.Rectangle(c.x, c.y, c.w, c.h, ALL, XOR); }),
                      visible(c, c.w, c.h));
        }
    }
}

TEST(DrawTest, HLineFromLeftOfThePicture) {
    auto image = Blank(10, 2, 8);
    image->HLine(-5, 0, 10, 9, COPY);
    image->HLine(3, 1, 0, 9, COPY);
    EXPECT_EQ(Picture(*image), Rows({"99999.....", ".........."}));
}

TEST(DrawTest, FrameDrawsEachOutlinePixelOnceAtEverySize) {
    for (unsigned bpp : DEPTHS) {
        for (unsigned w = 0; w <= 4; ++w) {
            for (unsigned h = 0; h <= 4; ++h) {
                SCOPED_TRACE(std::to_string(bpp) + " bits, " + std::to_string(w) + "x" +
                             std::to_string(h));
                Points outline;
                for (int y = 2; y < 2 + int(h); ++y)
                    for (int x = 2; x < 2 + int(w); ++x)
                        if (x == 2 || y == 2 || x == 1 + int(w) || y == 1 + int(h))
                            outline.insert({x, y});
                auto image = Blank(8, 8, bpp);
                image->Frame(2, 2, w, h, ALL, XOR);
                EXPECT_EQ(Drawn(*image), outline);
                image->Frame(2, 2, w, h, ALL, XOR);
                EXPECT_EQ(Drawn(*image), Points{});
            }
        }
    }
}

TEST(DrawTest, FrameDrawnTwiceInXorRestoresThePicture) {
    auto image = Numbered(6, 5, 8);
    const auto before = Bytes(*image);
    image->Frame(0, 0, 4, 3, 0x3C, XOR);
    // Corners are drawn once: XOR with 0x3C turns them to the value they had, XOR 0x3C.
    EXPECT_EQ(image->GetPixel(0, 0), (before[0] ^ 0x3Cu));
    EXPECT_EQ(image->GetPixel(3, 2), (before[2 * 6 + 3] ^ 0x3Cu));
    image->Frame(0, 0, 4, 3, 0x3C, XOR);
    EXPECT_EQ(Bytes(*image), before);
}

// The line as the error-term walk gives it, every step taken, every pixel tested.
Points ModelLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t left, int64_t top,
                 int64_t right, int64_t bottom) {
    Points points;
    const int64_t dx = x2 - x1, dy = y2 - y1;
    const int64_t sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const int64_t nx = dx * sx + 1, ny = dy * sy + 1;
    int64_t x = x1, y = y1, error = 0;
    const bool xMajor = nx >= ny;
    for (int64_t i = 0; i < (xMajor ? nx : ny); ++i) {
        if (x >= left && x <= right && y >= top && y <= bottom) points.insert({int(x), int(y)});
        error += xMajor ? ny : nx;
        if (error >= (xMajor ? nx : ny)) {
            error -= xMajor ? nx : ny;
            xMajor ? y += sy : x += sx;
        }
        xMajor ? x += sx : y += sy;
    }
    return points;
}

TEST(DrawTest, LineExamples) {
    auto line = [](int x1, int y1, int x2, int y2) {
        return DrawnBy([&](ZEMImage& i) { i.Line(x1, y1, x2, y2, 1, COPY); }, 8);
    };
    EXPECT_EQ(line(0, 0, 3, 1), (Points{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
    EXPECT_EQ(line(3, 1, 0, 0), (Points{{3, 1}, {2, 1}, {1, 0}, {0, 0}}));
    EXPECT_EQ(line(0, 0, 1, 3), (Points{{0, 0}, {0, 1}, {1, 2}, {1, 3}}));
    EXPECT_EQ(line(2, 2, 2, 2), (Points{{2, 2}}));
}

TEST(DrawTest, LinesMatchTheWholeWalkWhenClippedOrFarOut) {
    struct Case {
        int x1, y1, x2, y2;
    };
    const Case cases[] = {
        {0, 0, 15, 15},
        {15, 2, 0, 11},
        {3, 15, 9, 0},
        {-5, -20, 20, 30},
        {-40000, 0, 70000, 9},
        {-1000003, -7, 1000003, 9},
        {12, -1000001, 4, 999999},
        {0, 0, -30, 14},
        {70000, 70000, -70000, -70000},
    };
    for (unsigned bpp : DEPTHS) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(bpp) + " bits, " + std::to_string(c.x1) + "," +
                         std::to_string(c.y1) + " to " + std::to_string(c.x2) + "," +
                         std::to_string(c.y2));
            auto image = Blank(16, 16, bpp);
            image->SetClipping(3, 2, 12, 13);
            image->Line(c.x1, c.y1, c.x2, c.y2, ALL, XOR);
            EXPECT_EQ(Drawn(*image), ModelLine(c.x1, c.y1, c.x2, c.y2, 3, 2, 12, 13));
            image->Line(c.x1, c.y1, c.x2, c.y2, ALL, XOR);
            EXPECT_EQ(Drawn(*image), Points{});
        }
    }
    // From one end of the int range to the other: the diagonal, found without walking 2^32 steps.
    Points diagonal;
    for (int i = 0; i < 10; ++i)
        diagonal.insert({i, i});
    EXPECT_EQ(DrawnBy([](ZEMImage& i) { i.Line(INT_MIN, INT_MIN, INT_MAX, INT_MAX, 1, COPY); }, 8,
                      10, 10),
              diagonal);
    EXPECT_EQ(DrawnBy([](ZEMImage& i) { i.Line(INT_MAX, INT_MAX, INT_MIN, INT_MIN, 1, COPY); }, 8,
                      10, 10),
              diagonal);
}

TEST(DrawTest, CircleExample) {
    auto image = Blank(20, 20, 8);
    image->Circle(10, 10, 3, 1, XOR);
    const Points expected = {{10, 13}, {10, 7}, {13, 10}, {7, 10}, {11, 13}, {9, 13},
                             {11, 7},  {9, 7},  {13, 11}, {13, 9}, {7, 11},  {7, 9},
                             {12, 12}, {8, 12}, {12, 8},  {8, 8}};
    EXPECT_EQ(Drawn(*image), expected);
    for (const Point& p : expected)
        EXPECT_EQ(image->GetPixel(p.first, p.second), 1u); // drawn once, not XORed away
    EXPECT_EQ(DrawnBy([](ZEMImage& i) { i.Circle(4, 4, 0, 1, COPY); }, 8), (Points{{4, 4}}));
}

TEST(DrawTest, DiskExamples) {
    EXPECT_EQ(DrawnBy([](ZEMImage& i) { i.Disk(10, 5, 0, 1, COPY); }, 8), Points{});
    EXPECT_EQ(DrawnBy([](ZEMImage& i) { i.Disk(10, 5, 1, 1, COPY); }, 8),
              (Points{{9, 5}, {10, 5}}));
    auto image = Blank(20, 20, 8);
    image->Disk(10, 10, 3, 1, COPY);
    EXPECT_EQ(Picture(*image).substr(21 * 6, 21 * 9),
              Rows({"....................", ".........11.........", "........1111........",
                    ".......111111.......", ".......111111.......", ".......111111.......",
                    "........1111........", ".........11.........", "...................."}));
}

TEST(DrawTest, CirclesAndDisksDrawEachPixelOnce) {
    // In XOR mode a pixel drawn twice would vanish: both modes must give the same picture.
    for (unsigned bpp : DEPTHS) {
        for (unsigned r = 0; r <= 14; ++r) {
            SCOPED_TRACE(std::to_string(bpp) + " bits, radius " + std::to_string(r));
            for (bool disk : {false, true}) {
                auto draw = [&](ZEMImage::DrawMode mode) {
                    return DrawnBy(
                        [&](ZEMImage& i) {
                            disk ? i.Disk(15, 15, r, ALL, mode) : i.Circle(15, 15, r, ALL, mode);
                        },
                        bpp, 32, 32);
                };
                EXPECT_EQ(draw(XOR), draw(COPY)) << (disk ? "disk" : "circle");
            }
        }
    }
}

// Operations whose clipping only hides pixels, drawn around (10, 6) of a 24 x 14 picture.
std::vector<std::pair<const char*, Draw>> Shapes(ZEMImage* sprite) {
    return {
        {"HLine", [](ZEMImage& i) { i.HLine(3, 6, 16, ALL, XOR); }},
        {"VLine", [](ZEMImage& i) { i.VLine(10, 1, 12, ALL, XOR); }},
        {"Line", [](ZEMImage& i) { i.Line(2, 12, 20, 1, ALL, XOR); }},
        {"steep Line", [](ZEMImage& i) { i.Line(14, 0, 8, 13, ALL, XOR); }},
        {"Frame", [](ZEMImage& i) { i.Frame(4, 2, 13, 9, ALL, XOR); }},
        {"Rectangle", [](ZEMImage& i) { i.Rectangle(4, 2, 13, 9, ALL, XOR); }},
        {"Circle", [](ZEMImage& i) { i.Circle(10, 6, 5, ALL, XOR); }},
        {"Disk", [](ZEMImage& i) { i.Disk(10, 6, 6, ALL, XOR); }},
        {"CopyImage", [sprite](ZEMImage& i) { i.CopyImage(5, 2, sprite, 0, 0, 11, 9); }},
        {"TCopyImage", [sprite](ZEMImage& i) { i.TCopyImage(5, 2, 0, sprite, 0, 0, 11, 9); }},
    };
}

TEST(DrawTest, ClippingHidesPixelsAndMovesNothing) {
    // Each edge of the shapes cut in turn, all four, one pixel, and a window beside them.
    const Window windows[] = {{7, 0, 23, 13}, {0, 0, 12, 13}, {0, 4, 23, 13},  {0, 0, 23, 8},
                              {8, 4, 12, 8},  {10, 6, 10, 6}, {21, 11, 23, 13}};
    for (unsigned bpp : DEPTHS) {
        auto sprite = Numbered(11, 9, bpp);
        sprite->Rectangle(3, 3, 4, 2, 0, COPY); // a hole for the transparent copy
        for (const auto& shape : Shapes(sprite.get())) {
            SCOPED_TRACE(std::string(shape.first) + " on " + std::to_string(bpp) + " bits");
            ASSERT_NE(DrawnBy(shape.second, bpp, 24, 14), Points{});
            for (const Window& w : windows)
                ExpectClipped(shape.second, 24, 14, bpp, w);
        }
    }
}

TEST(DrawTest, ShapesDrawnTwiceInXorRestoreThePicture) {
    for (unsigned bpp : DEPTHS) {
        for (const auto& shape : Shapes(nullptr)) {
            if (std::string(shape.first).find("Copy") != std::string::npos) continue;
            auto image = Numbered(24, 14, bpp);
            image->SetClipping(3, 2, 20, 11);
            const auto before = Bytes(*image);
            shape.second(*image);
            EXPECT_NE(Bytes(*image), before) << shape.first << " on " << bpp << " bits";
            shape.second(*image);
            EXPECT_EQ(Bytes(*image), before) << shape.first << " on " << bpp << " bits";
        }
    }
}

TEST(DrawTest, FarCoordinatesNeverWrapIntoThePicture) {
    // Each far-out call draws what the near call beside it draws on a 20 x 10 picture.
    auto src = Numbered(8, 8, 8);
    const std::pair<Draw, Draw> cases[] = {
        {[](ZEMImage& i) { i.HLine(-40000, 3, 70000, ALL, COPY); },
         [](ZEMImage& i) { i.HLine(0, 3, 20, ALL, COPY); }},
        {[](ZEMImage& i) { i.HLine(INT_MIN, 1, UINT_MAX, ALL, COPY); },
         [](ZEMImage& i) { i.HLine(0, 1, 20, ALL, COPY); }},
        {[](ZEMImage& i) { i.HLine(INT_MAX, 1, UINT_MAX, ALL, COPY); }, [](ZEMImage&) {}},
        {[](ZEMImage& i) { i.HLine(65536 + 3, 2, 5, ALL, COPY); }, [](ZEMImage&) {}},
        {[](ZEMImage& i) { i.VLine(4, -40000, 70000, ALL, COPY); },
         [](ZEMImage& i) { i.VLine(4, 0, 10, ALL, COPY); }},
        {[](ZEMImage& i) { i.VLine(3, 65536 + 2, 4, ALL, COPY); }, [](ZEMImage&) {}},
        {[](ZEMImage& i) { i.Rectangle(-40000, -40000, 80000, 80000, ALL, COPY); },
         [](ZEMImage& i) { i.Rectangle(0, 0, 20, 10, ALL, COPY); }},
        {[](ZEMImage& i) { i.Rectangle(-65536 + 2, 2, 4, 4, ALL, COPY); }, [](ZEMImage&) {}},
        {[](ZEMImage& i) { i.Frame(-40000, 2, 70000, 5, ALL, XOR); },
         [](ZEMImage& i) {
             i.HLine(0, 2, 20, ALL, COPY);
             i.HLine(0, 6, 20, ALL, COPY);
         }},
        {[](ZEMImage& i) { i.Frame(INT_MAX, INT_MAX, UINT_MAX, UINT_MAX, ALL, COPY); },
         [](ZEMImage&) {}},
        {[](ZEMImage& i) { i.Line(-40000, -40000, 40000, 40000, ALL, COPY); },
         [](ZEMImage& i) { i.Line(0, 0, 9, 9, ALL, COPY); }},
        {[](ZEMImage& i) { i.Line(65536 + 1, 2, 65536 + 9, 7, ALL, COPY); }, [](ZEMImage&) {}},
        {[](ZEMImage& i) { i.Circle(65536 + 5, 5, 3, ALL, COPY); }, [](ZEMImage&) {}},
        {[](ZEMImage& i) { i.Disk(5, 65536 + 5, 3, ALL, COPY); }, [](ZEMImage&) {}},
        {[](ZEMImage& i) { i.Disk(5, 5, 70000, ALL, COPY); },
         [](ZEMImage& i) { i.Rectangle(0, 0, 20, 10, ALL, COPY); }},
        {[](ZEMImage& i) { i.Gradient(-40000, 0, 70000, 10, 0, 0xFFFFFF, 1, COPY); },
         [](ZEMImage& i) { i.Gradient(0, 0, 20, 10, 0, 0xFFFFFF, 1, COPY); }},
        {[&](ZEMImage& i) { i.CopyImage(-40000, 0, src.get(), 0, 0, 70000, 5); }, [](ZEMImage&) {}},
        {[&](ZEMImage& i) { i.CopyImage(65536 + 2, 1, src.get(), 0, 0, 4, 4); }, [](ZEMImage&) {}},
        {[&](ZEMImage& i) { i.TCopyImage(2, -65536 + 1, 0, src.get(), 0, 0, 4, 4); },
         [](ZEMImage&) {}},
        {[&](ZEMImage& i) { i.CopyImage(-6, -6, src.get(), 0, 0, UINT_MAX, UINT_MAX); },
         [&](ZEMImage& i) { i.CopyImage(0, 0, src.get(), 6, 6, 2, 2); }},
    };
    for (const auto& c : cases) {
        auto far = Blank(20, 10, 8);
        auto near = Blank(20, 10, 8);
        c.first(*far);
        c.second(*near);
        EXPECT_EQ(Picture(*far), Picture(*near)) << "case " << (&c - cases);
    }
}

TEST(DrawTest, GradientExamples) {
    auto rows = Blank(1, 3, 8);
    rows->Gradient(0, 0, 1, 3, 0, 10, 0, COPY);
    EXPECT_EQ(Picture(*rows), Rows({".", "5", "A"}));

    auto same = Blank(4, 3, 8);
    same->Gradient(1, 1, 2, 2, 7, 7, 0, XOR);
    EXPECT_EQ(Picture(*same), Rows({"....", ".77.", ".77."}));

    auto xored = Blank(4, 3, 8);
    xored->Gradient(0, 0, 4, 3, 1, 9, 0, XOR);
    xored->Gradient(0, 0, 4, 3, 1, 9, 5, COPY); // no such direction
    EXPECT_EQ(Picture(*xored), Rows({"....", "....", "...."}));

    auto columns = Blank(2, 2, 32);
    columns->Gradient(0, 0, 2, 2, 0x000000, 0x0000FF, 1, COPY);
    EXPECT_EQ(columns->GetPixel(0, 1), 0xFF000000u);
    EXPECT_EQ(columns->GetPixel(1, 1), 0xFF0000FFu);

    auto words = Blank(2, 1, 16);
    words->Gradient(0, 0, 2, 1, 0x000000, 0x00FF00, 1, COPY);
    EXPECT_EQ(words->GetPixel(0, 0), 0x0000u);
    EXPECT_EQ(words->GetPixel(1, 0), 0xFF00u);

    auto channels = Blank(1, 5, 24);
    channels->Gradient(0, 0, 1, 5, 0x102030, 0x506070, 0, COPY);
    for (unsigned y = 0; y < 5; ++y)
        EXPECT_EQ(channels->GetPixel(0, int(y)), 0x102030u + y * 0x101010u);

    // Shading spans the visible rows only: rows -2 and -1 are cut.
    auto cut = Blank(1, 4, 8);
    cut->Gradient(0, -2, 1, 5, 0, 40, 0, COPY);
    EXPECT_EQ(cut->GetPixel(0, 0), 0u);
    EXPECT_EQ(cut->GetPixel(0, 1), 20u);
    EXPECT_EQ(cut->GetPixel(0, 2), 40u);
    EXPECT_EQ(cut->GetPixel(0, 3), 0u);

    // One visible column: only the first colour.
    auto one = Blank(3, 1, 8);
    one->Gradient(2, 0, 4, 1, 6, 200, 1, COPY);
    EXPECT_EQ(Picture(*one), Rows({"..6"}));
}

TEST(DrawTest, CopyImageNeedsTheSameDepthAndASourceCornerInside) {
    auto src = Numbered(4, 3, 32);
    auto other = Numbered(4, 3, 24);
    auto dst = Blank(6, 6, 24);
    dst->CopyImage(0, 0, src.get(), 0, 0, 4, 3);
    dst->CopyImage(0, 0, nullptr, 0, 0, 4, 3);
    dst->CopyImage(0, 0, other.get(), -1, 0, 4, 3);
    dst->CopyImage(0, 0, other.get(), 4, 0, 4, 3);
    dst->CopyImage(0, 0, other.get(), 0, 3, 4, 3);
    dst->TCopyImage(0, 0, 0, src.get(), 0, 0, 4, 3);
    EXPECT_EQ(Drawn(*dst), Points{});
    auto words15 = Blank(4, 3, 15);
    auto words16 = Numbered(4, 3, 16);
    words15->CopyImage(0, 0, words16.get(), 0, 0, 4, 3);
    EXPECT_EQ(Drawn(*words15), Points{});
}

TEST(DrawTest, CopyImageCutsTheSourceToItsPicture) {
    for (unsigned bpp : DEPTHS) {
        auto src = Numbered(4, 3, bpp);
        src->SetClipping(0, 0, 0, 0); // the source's clip rectangle plays no part
        auto dst = Blank(6, 6, bpp);
        dst->CopyImage(1, 2, src.get(), 2, 1, 10, 10);
        Points expected;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x) {
                expected.insert({1 + x, 2 + y});
                EXPECT_EQ(dst->GetPixel(1 + x, 2 + y), src->GetPixel(2 + x, 1 + y));
            }
        EXPECT_EQ(Drawn(*dst), expected);
    }
}

TEST(DrawTest, TCopyImageLeavesOutTheKeyInThePixelsWidth) {
    for (unsigned bpp : DEPTHS) {
        SCOPED_TRACE(std::to_string(bpp) + " bits");
        auto src = Blank(3, 1, bpp);
        src->HLine(0, 0, 1, 0x00C0FFEE, COPY);
        src->HLine(1, 0, 1, 0x11223344, COPY);
        auto dst = Blank(3, 1, bpp);
        std::memset(dst->data, 0x5A, dst->pitch);
        // The key's bits above the pixel's width are not compared.
        dst->TCopyImage(0, 0, bpp == 32 ? 0x00C0FFEE : 0xFFC0FFEE, src.get(), 0, 0, 3, 1);
        EXPECT_EQ(dst->GetPixel(0, 0), Encoded(bpp, 0x5A5A5A5A));
        EXPECT_EQ(dst->GetPixel(1, 0), Encoded(bpp, 0x11223344));
        EXPECT_EQ(dst->GetPixel(2, 0), 0u);
    }
    // KEY_COLOR leaves out the alpha of 32 bits and the top bit of 15 and 16 bits; 8 and 24 bits
    // have nothing to leave out. KEY_PIXEL, the default, compares them too.
    struct KeyCase {
        unsigned bpp, key, pixel;
        bool outByColor, outByPixel;
    };
    const KeyCase keyCases[] = {
        {32, 0x00FF00FF, 0xFFFF00FF, true, false},
        {32, 0xFFFF00FF, 0x80FF00FF, true, false},
        {32, 0xFFFF00FF, 0xFFFF00FF, true, true},
        {32, 0x00FF00FF, 0x00FF00FE, false, false},
        {16, 0x7C1F, 0xFC1F, true, false},
        {15, 0xFC1F, 0x7C1F, true, false},
        {16, 0x7C1F, 0x7C1E, false, false},
        {24, 0xFFFF00FF, 0xFF00FF, true, true},
        {8, 0x15A, 0x5A, true, true},
        {8, 0x5A, 0x5B, false, false},
    };
    for (const KeyCase& c : keyCases) {
        for (ZEMImage::KeyMatch match : {ZEMImage::KEY_COLOR, ZEMImage::KEY_PIXEL}) {
            auto src = Blank(1, 1, c.bpp);
            src->HLine(0, 0, 1, c.pixel, COPY);
            auto dst = Blank(1, 1, c.bpp);
            dst->TCopyImage(0, 0, c.key, src.get(), 0, 0, 1, 1, match);
            const bool out = match == ZEMImage::KEY_COLOR ? c.outByColor : c.outByPixel;
            EXPECT_EQ(dst->GetPixel(0, 0), out ? 0u : c.pixel)
                << c.bpp << " bits, key " << std::hex << c.key << ", pixel " << c.pixel
                << (match == ZEMImage::KEY_COLOR ? " by colour" : " by pixel");
        }
    }
    // Key 0 on 8 bits: pixels under index 0 stay.
    auto sprite = Blank(2, 1, 8);
    sprite->data[1] = 4;
    auto picture = Numbered(2, 1, 8);
    const unsigned kept = picture->GetPixel(0, 0);
    picture->TCopyImage(0, 0, 0, sprite.get(), 0, 0, 2, 1);
    EXPECT_EQ(picture->GetPixel(0, 0), kept);
    EXPECT_EQ(picture->GetPixel(1, 0), 4u);
}

TEST(DrawTest, CopiesWithinOnePictureActAsThroughATemporary) {
    for (unsigned bpp : DEPTHS) {
        for (int dy = -2; dy <= 2; ++dy) {
            for (int dx = -2; dx <= 2; ++dx) {
                SCOPED_TRACE(std::to_string(bpp) + " bits, moved by " + std::to_string(dx) + "," +
                             std::to_string(dy));
                auto image = Numbered(9, 7, bpp);
                image->HLine(0, 3, 9, 0, COPY); // key pixels for the transparent copy
                image->VLine(4, 0, 7, 0, COPY);
                ZEMImage original(image.get());

                ZEMImage expected(image.get());
                expected.CopyImage(2 + dx, 2 + dy, &original, 2, 2, 5, 4);
                image->CopyImage(2 + dx, 2 + dy, image.get(), 2, 2, 5, 4);
                EXPECT_EQ(Bytes(*image), Bytes(expected));

                ZEMImage keyed(&original);
                ZEMImage keyedExpected(&original);
                keyedExpected.TCopyImage(2 + dx, 2 + dy, 0, &original, 2, 2, 5, 4);
                keyed.TCopyImage(2 + dx, 2 + dy, 0, &keyed, 2, 2, 5, 4);
                EXPECT_EQ(Bytes(keyed), Bytes(keyedExpected));

                if (bpp != 32) continue;
                ZEMImage blended(&original);
                ZEMImage blendedExpected(&original);
                blendedExpected.BlendImage(2 + dx, 2 + dy, &original, 2, 2, 5, 4);
                blended.BlendImage(2 + dx, 2 + dy, &blended, 2, 2, 5, 4);
                EXPECT_EQ(Bytes(blended), Bytes(blendedExpected));
            }
        }
    }
}

} // namespace
