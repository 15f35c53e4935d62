#include "TourScene.h"

#include <zem/core.h>
#include <zem/graphics.h>

#include <memory>
#include <string>

namespace {

const unsigned WIDTH = 320;
const unsigned HEIGHT = 200;
const unsigned HORIZON = 140;

// The colours of the scene. On a 32-bit picture they are 0xRRGGBB values; on an 8-bit one, the
// indexes of a palette made of the two gradient ramps (0-63 sky, 64-127 ground) and these colours.
enum Named { WHITE, BLACK, RED, YELLOW, ORANGE, MAGENTA, GREEN, GREY, DARK, NAMED_COUNT };
const unsigned NAMED_RGB[NAMED_COUNT] = {0xFFFFFF, 0x000000, 0xE02020, 0xFFE040, 0xFF8000,
                                         0xFF00FF, 0x20C040, 0x808080, 0x303040};
const unsigned SKY_TOP = 0x000050, SKY_BOTTOM = 0x70C8FF;
const unsigned GROUND_LEFT = 0x407010, GROUND_RIGHT = 0xA06428;
const unsigned RAMP = 64;
const unsigned FIRST_NAMED = 2 * RAMP;

// Deep colours carry 0xFF in their fourth byte, as the gradients do, so the whole picture is alike.
struct Ink {
    bool indexed;
    unsigned operator()(Named name) const {
        return indexed ? FIRST_NAMED + name : 0xFF000000u | NAMED_RGB[name];
    }
    unsigned SkyTop() const { return indexed ? 0 : SKY_TOP; }
    unsigned SkyBottom() const { return indexed ? RAMP - 1 : SKY_BOTTOM; }
    unsigned GroundLeft() const { return indexed ? RAMP : GROUND_LEFT; }
    unsigned GroundRight() const { return indexed ? 2 * RAMP - 1 : GROUND_RIGHT; }
};

void SetRGB(ZEMPal& palette, unsigned index, unsigned rgb) {
    const unsigned char bytes[3] = {static_cast<unsigned char>(rgb >> 16),
                                    static_cast<unsigned char>(rgb >> 8),
                                    static_cast<unsigned char>(rgb)};
    palette.SetFromRGB(bytes, 1, index);
}

// Colour i of n on the straight way from a to b, channel by channel.
unsigned Mix(unsigned a, unsigned b, unsigned i, unsigned n) {
    unsigned rgb = 0;
    for (unsigned shift = 0; shift < 24; shift += 8) {
        const int ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        rgb |= unsigned(ca + (cb - ca) * int(i) / int(n - 1)) << shift;
    }
    return rgb;
}

ZEMPal* ScenePalette() {
    ZEMPal* palette = new ZEMPal(256);
    for (unsigned i = 0; i < 256; ++i)
        SetRGB(*palette, i, 0);
    for (unsigned i = 0; i < RAMP; ++i) {
        SetRGB(*palette, i, Mix(SKY_TOP, SKY_BOTTOM, i, RAMP));
        SetRGB(*palette, RAMP + i, Mix(GROUND_LEFT, GROUND_RIGHT, i, RAMP));
    }
    for (unsigned i = 0; i < NAMED_COUNT; ++i)
        SetRGB(*palette, FIRST_NAMED + i, NAMED_RGB[i]);
    return palette;
}

// Glyphs of 5 rows, drawn at twice their size: in a 2-bit font with value 3 on the glyph and 1 on
// the pixels around it (a glow that DrawTextEx shades), or in a 1-bit font without the glow.
struct Art {
    char code;
    const char* rows[5];
};
const Art LETTERS[] = {
    {'-', {"...", "...", "###", "...", "..."}},
    {'2', {"###.", "...#", ".##.", "#...", "####"}},
    {'3', {"###.", "...#", ".##.", "...#", "###."}},
    {'8', {".##.", "#..#", ".##.", "#..#", ".##."}},
    {'A', {".###.", "#...#", "#####", "#...#", "#...#"}},
    {'B', {"####.", "#...#", "####.", "#...#", "####."}},
    {'D', {"####.", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "####.", "#....", "#####"}},
    {'I', {"###", ".#.", ".#.", ".#.", "###"}},
    {'M', {"#...#", "##.##", "#.#.#", "#...#", "#...#"}},
    {'R', {"####.", "#...#", "####.", "#..#.", "#...#"}},
    {'S', {".####", "#....", ".###.", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#.."}},
    {'W', {"#...#", "#...#", "#.#.#", "##.##", "#...#"}},
    {'Z', {"#####", "...#.", "..#..", ".#...", "#####"}},
};
const unsigned CELL_HEIGHT = 12; // 5 rows at twice the size, and the glow above and below

unsigned CellWidth(const Art& art) {
    return 2 * unsigned(std::string(art.rows[0]).size()) + 2;
}

bool Inked(const Art& art, int x, int y) {
    const int width = int(std::string(art.rows[0]).size());
    return x >= 0 && y >= 0 && x < width && y < 5 && art.rows[y][x] == '#';
}

std::unique_ptr<ZEMFont> SceneFont(unsigned char format) {
    unsigned width = 0;
    for (const Art& art : LETTERS)
        width += CellWidth(art);
    ZEMImage picture(width, CELL_HEIGHT, 8);
    unsigned left = 0;
    for (const Art& art : LETTERS) {
        for (unsigned y = 0; y < CELL_HEIGHT; ++y) {
            for (unsigned x = 0; x < CellWidth(art); ++x) {
                // Cell pixel (x, y) shows art pixel ((x - 1) / 2, (y - 1) / 2); the glow is
                // wherever a neighbour is inked.
                const int ax = (int(x) - 1) >> 1, ay = (int(y) - 1) >> 1;
                bool glow = false;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        glow = glow || Inked(art, (int(x) - 1 + dx) >> 1, (int(y) - 1 + dy) >> 1);
                const uint8_t ink = format == 2 ? 3 : 1;
                const uint8_t halo = format == 2 && glow ? 1 : 0;
                picture.data[y * picture.pitch + left + x] = Inked(art, ax, ay) ? ink : halo;
            }
        }
        left += CellWidth(art);
    }
    auto font = std::make_unique<ZEMFont>("tour", '-', 'Z', &picture, format);
    left = 0;
    for (const Art& art : LETTERS) {
        ZEMChar glyph = {static_cast<uint16_t>(left), 0, static_cast<uint8_t>(CellWidth(art)),
                         static_cast<uint8_t>(CELL_HEIGHT), 1};
        font->SetChar(static_cast<unsigned char>(art.code), &glyph);
        left += CellWidth(art);
    }
    font->ascent = 10;
    font->descent = 1;
    font->whiteSize = 8;
    return font;
}

// A 24 x 24 star on the transparent key 0.
std::unique_ptr<ZEMImage> Sprite(unsigned bpp, const Ink& ink) {
    auto sprite = std::make_unique<ZEMImage>(24, 24, bpp);
    sprite->Rectangle(0, 0, 24, 24, 0, ZEMImage::DRAW_COPY);
    sprite->Disk(12, 12, 7, ink(YELLOW), ZEMImage::DRAW_COPY);
    for (int i = 0; i < 24; i += 4) {
        sprite->Line(12, 12, i, 0, ink(ORANGE), ZEMImage::DRAW_COPY);
        sprite->Line(12, 12, 23 - i, 23, ink(ORANGE), ZEMImage::DRAW_COPY);
    }
    sprite->Circle(12, 12, 4, ink(RED), ZEMImage::DRAW_COPY);
    return sprite;
}

void DrawScene(ZEMImage& image, const Ink& ink, ZEMFont* shaded, ZEMFont* plain,
               const char* label) {
    const ZEMImage::DrawMode copy = ZEMImage::DRAW_COPY;
    image.Gradient(0, 0, WIDTH, HORIZON, ink.SkyTop(), ink.SkyBottom(), 0, copy);
    image.Gradient(0, HORIZON, WIDTH, HEIGHT - HORIZON, ink.GroundLeft(), ink.GroundRight(), 1,
                   copy);

    // The sun with rays, a hill and a house.
    for (int i = 0; i < 12; ++i)
        image.Line(260, 50, 260 + (i - 6) * 12, i < 6 ? 0 : 100, ink(YELLOW), copy);
    image.Disk(260, 50, 22, ink(ORANGE), copy);
    image.Circle(260, 50, 26, ink(YELLOW), copy);
    image.Disk(80, HORIZON + 40, 70, ink(GREEN), copy);
    image.Rectangle(150, 100, 60, 50, ink(RED), copy);
    image.Frame(150, 100, 60, 50, ink(BLACK), copy);
    image.Rectangle(165, 120, 12, 30, ink(DARK), copy);
    image.Rectangle(185, 112, 16, 14, ink(WHITE), copy);
    image.Frame(185, 112, 16, 14, ink(BLACK), copy);
    image.Line(145, 100, 180, 75, ink(DARK), copy);
    image.Line(180, 75, 215, 100, ink(DARK), copy);

    // Stars copied with a transparent key over every edge: the picture cuts them.
    auto sprite = Sprite(image.bpp, ink);
    const int spots[][2] = {{-10, 60}, {306, 150}, {120, -12}, {96, 186}, {100, 60}};
    for (const auto& spot : spots)
        image.TCopyImage(spot[0], spot[1], 0, sprite.get(), 0, 0, 24, 24);

    // A panel with a double frame and an inverted selection, then text in shades.
    image.Rectangle(8, 8, 200, 32, ink(DARK), copy);
    image.Frame(8, 8, 200, 32, ink(WHITE), copy);
    image.Frame(10, 10, 196, 28, ink(GREY), copy);
    image.Frame(12, 44, 120, 16, ink(WHITE), ZEMImage::DRAW_XOR);
    ZEMFont::FontParams params;
    params.font = shaded;
    params.align = ZEMFont::ALIGN_TOP;
    params.textColors[1] = ink(GREY);
    params.textColors[2] = ink(GREY);
    params.textColors[3] = ink(WHITE);
    image.DrawTextEx(16, 14, "ZEMBASE DRAWS", params);
    image.DrawText(13, 197, label, ink(BLACK), plain, ZEMFont::ALIGN_BOTTOM);
    image.DrawText(12, 196, label, ink(WHITE), plain, ZEMFont::ALIGN_BOTTOM);
}

} // namespace

std::unique_ptr<ZEMImage> DrawTourScene(unsigned bpp) {
    const bool indexed = bpp == 8;
    auto shaded = SceneFont(2);
    auto plain = SceneFont(1);
    auto image = std::make_unique<ZEMImage>(WIDTH, HEIGHT, indexed ? 8 : 32);
    if (indexed) image->ReplacePalette(ScenePalette());
    DrawScene(*image, Ink{indexed}, shaded.get(), plain.get(), indexed ? "8-BIT" : "32-BIT");
    return image;
}
