#ifndef ZEM_GRAPHICS_ZEMIMAGE_H
#define ZEM_GRAPHICS_ZEMIMAGE_H

#include <zem/core/ZEMExport.h>
#include <zem/graphics/ZEMFont.h>
#include <zem/resource/ZEMResource.h>

#include <cstdint>

class ZEMPal;
class ZEMResFile;

// <windows.h> renames DrawText and DrawTextEx to DrawTextA or DrawTextW (and the Ex forms)
// wherever it is seen: both names are declared out of its reach, the program keeps its macros, and
// the A and W names take a program's calls that the macros renamed.
#pragma push_macro("DrawText")
#pragma push_macro("DrawTextEx")
#undef DrawText
#undef DrawTextEx

// An in-memory picture of 8, 15, 16, 24 or 32 bits per pixel: an unpadded pixel buffer, the top
// row first, an optional palette for 8-bit pictures, and a clip rectangle that every drawing
// operation respects.
//
// Pixel encodings of the colour value that drawing takes and GetPixel returns: 8 bits, a palette
// index; 15 and 16 bits, one little-endian word; 24 bits, the low 24 bits lowest byte first (blue,
// green, red for pictures read from files); 32 bits, the value little-endian: 0xAARRGGBB, stored
// blue, green, red, alpha. The fourth byte is alpha, 255 opaque, as 32-bit BMP, PCX and TGA files
// store it: the codecs read and write it unchanged and drawing colours carry it.
//
// Format numbers of Load and Save (and results of FindFormat), named by ZEMImage::Format:
//   Load: 0 detect, 1 BMP, 2 PCX, 3 GIF, 4 TGA, 6 the picture of a font file.
//   Save: 0 PCX up to 8 bits else run-length TGA, 1 BMP, 2 PCX, 4 TGA, 5 run-length TGA.
class ZEM_API ZEMImage : public ZEMResource {
public:
    // The format numbers; plain ints where Load, Save and FindFormat take or give them.
    enum Format : int {
        FORMAT_DETECT = 0, // Load: find the format; Save: PCX up to 8 bits, else run-length TGA
        FORMAT_BMP = 1,
        FORMAT_PCX = 2,
        FORMAT_GIF = 3, // read only
        FORMAT_TGA = 4,
        FORMAT_TGA_RLE = 5, // written only
        FORMAT_FONT = 6,    // the glyph picture of a ZEM font file, read only
    };

    // How a drawing operation sets a pixel: DRAW_COPY stores the colour; any other value XORs
    // (8 bits: with the colour's low byte; 15, 16 and 24 bits: every bit inverted; 32 bits:
    // blue, green and red inverted, alpha kept).
    enum DrawMode : int { DRAW_COPY = 0, DRAW_XOR = 1 };

    // What TCopyImage compares with its key. KEY_PIXEL: the whole pixel, so on 32 bits the key
    // carries alpha too, 0xFFFF00FF for the opaque magenta of a file. KEY_COLOR: the colour
    // alone, leaving out the alpha byte of 32 bits and the unused top bit of 15 and 16 bits, so
    // 0xFF00FF (or 0x00FF00FF) matches magenta whatever its alpha; on 8 and 24 bits it is
    // KEY_PIXEL.
    enum KeyMatch : int { KEY_PIXEL = 0, KEY_COLOR = 1 };

    // A picture of that size and depth with an uninitialised buffer (none when a size is 0).
    ZEMImage(unsigned width, unsigned height, unsigned bpp);
    // A deep copy of source, palette included; an empty image for null.
    explicit ZEMImage(ZEMImage* source);
    ~ZEMImage() override;
    ZEMImage(const ZEMImage&) = delete;
    ZEMImage& operator=(const ZEMImage&) = delete;

    // 8-bit images only: copies colours first..first + count - 1 of source into the own palette at
    // the same indexes, growing it when needed (zeros past the source's colours).
    void SetPalette(ZEMPal* source, unsigned first, unsigned count);
    // 8-bit images only: takes ownership of palette (may be null) in place of the current one.
    void ReplacePalette(ZEMPal* palette);

    // Limits drawing to the inclusive rectangle, cut to the picture; unchanged when it lies
    // wholly right of or below the picture.
    void SetClipping(int x1, int y1, int x2, int y2);
    // False exactly when the clip rectangle is the whole picture.
    bool IsClipping() const;
    // The clip rectangle becomes the whole picture.
    void StopClipping();

    // The colour value at (x, y); 0 outside the picture.
    unsigned GetPixel(int x, int y) const;
    // Turns the picture upside down.
    void VFlip();
    // Copies the w x h block at (x, y) to (dx, dy) in this picture; overlapping blocks are fine.
    void MoveInside(int x, int y, unsigned w, unsigned h, int dx, int dy);
    // New size keeping the top left part of the picture; new pixels are zero.
    bool Resize(unsigned width, unsigned height);
    // New size and depth with undefined pixels; false for a depth other than 8, 15, 16, 24, 32.
    bool NewFormat(unsigned width, unsigned height, unsigned bpp);
    // Converts the picture to another depth in place, keeping its size and colours as near as
    // the new depth holds them; the clip rectangle stays. Colours go through 0xAARRGGBB:
    // - 8 bits read their palette's red, green and blue, opaque (an index past it is black);
    // - 15 and 16 bits are both 5-5-5 words (red in bits 10 to 14, blue in 0 to 4, the top bit
    //   unused and written 0): a level v of 5 bits reads as (v << 3) | (v >> 2), a byte c is
    //   written as the nearest level, (c x 31 + 127) / 255;
    // - 24 bits are opaque; 32 bits keep alpha, other depths drop it (no mixing with a
    //   background: BlendImage does that).
    // To 8 bits each colour takes the index of the nearest of the first 256 colours of palette
    // (red, green and blue distance squared, the lowest index on a tie), or of the picture's own
    // palette when palette is null, and the picture keeps a copy of that palette; 8 to 8 bits
    // with a palette maps the picture onto it. An 8-bit picture without a palette reads the
    // colours of palette. Other depths keep no palette. False, changing nothing, for a depth
    // other than 8, 15, 16, 24 or 32, for an 8-bit side without colours, and when memory runs
    // out.
    bool ConvertTo(unsigned bpp, const ZEMPal* palette = nullptr);

    // height x pitch + 36.
    unsigned MemoryUsed() const override;
    // Replaces the picture with the stream's, read in the given format (0 detects it).
    bool Load(ZEMResFile& file, int format) override;
    // The format of the picture at the stream's position, which is kept; 0 (logged) when the
    // bytes are no picture that Load reads.
    int FindFormat(ZEMResFile& file);
    // Writes the picture in the given format.
    bool Save(ZEMResFile& file, int format) override;
    // Writes the size, depth and palette size to the log.
    void PrintInfo() const;

    // Drawing. Nothing is drawn outside the clip rectangle; nothing allocates or logs.
    void HLine(int x, int y, unsigned length, unsigned color, DrawMode mode);
    void VLine(int x, int y, unsigned length, unsigned color, DrawMode mode);
    // A line including both end points.
    void Line(int x1, int y1, int x2, int y2, unsigned color, DrawMode mode);
    // The outline of the w x h rectangle, each pixel once.
    void Frame(int x, int y, unsigned w, unsigned h, unsigned color, DrawMode mode);
    // The filled w x h rectangle.
    void Rectangle(int x, int y, unsigned w, unsigned h, unsigned color, DrawMode mode);
    // A filled rectangle shading from c1 to c2, row by row (direction 0) or column by column (1).
    void Gradient(int x, int y, unsigned w, unsigned h, unsigned c1, unsigned c2, int direction,
                  DrawMode mode);
    // The outline of a circle of radius r, each pixel once.
    void Circle(int cx, int cy, unsigned r, unsigned color, DrawMode mode);
    // A filled disk of radius r, from cx - r to cx + r - 1 across.
    void Disk(int cx, int cy, unsigned r, unsigned color, DrawMode mode);
    // Copies the w x h block of src at (sx, sy) to (x, y); both images must have the same depth.
    void CopyImage(int x, int y, ZEMImage* src, int sx, int sy, unsigned w, unsigned h);
    // The same, leaving out source pixels equal to key; match says which bits count (a 32-bit
    // key compares alpha too unless match is KEY_COLOR).
    void TCopyImage(int x, int y, unsigned key, ZEMImage* src, int sx, int sy, unsigned w,
                    unsigned h, KeyMatch match = KEY_PIXEL);
    // Lays the w x h block of the 32-bit src at (sx, sy) over this 24- or 32-bit picture at
    // (x, y), by the source's alpha (source over), cut as CopyImage cuts. Each colour byte
    // becomes (s x a + d x (255 - a) + 127) / 255, rounded to the nearest: alpha 0 leaves the
    // picture, 255 copies the source; a 32-bit picture's alpha becomes the same mix of 255 and
    // its own. Other depths draw nothing.
    void BlendImage(int x, int y, ZEMImage* src, int sx, int sy, unsigned w, unsigned h);
    // len characters of text (all when len is -1) in one colour.
    void DrawText(int x, int y, const char* text, unsigned color, ZEMFont* font,
                  ZEMFont::FontAlign align, int len = -1);
    // The same with the colours of params: shades for 2-bit fonts.
    void DrawTextEx(int x, int y, const char* text, ZEMFont::FontParams& params, int len = -1);
    // DrawText and DrawTextEx under the names <windows.h> gives them.
    void DrawTextA(int x, int y, const char* text, unsigned color, ZEMFont* font,
                   ZEMFont::FontAlign align, int len = -1) {
        DrawText(x, y, text, color, font, align, len);
    }
    void DrawTextW(int x, int y, const char* text, unsigned color, ZEMFont* font,
                   ZEMFont::FontAlign align, int len = -1) {
        DrawText(x, y, text, color, font, align, len);
    }
    void DrawTextExA(int x, int y, const char* text, ZEMFont::FontParams& params, int len = -1) {
        DrawTextEx(x, y, text, params, len);
    }
    void DrawTextExW(int x, int y, const char* text, ZEMFont::FontParams& params, int len = -1) {
        DrawTextEx(x, y, text, params, len);
    }
    // Smooth text on 24- and 32-bit pictures: each glyph pixel mixes the colour (every byte,
    // alpha included) over the picture by its coverage: value / 255 in an 8-bit font, value / 3
    // in a 2-bit one, whole in a 1-bit one. Laid out as DrawText; on other depths it is DrawText.
    void BlendText(int x, int y, const char* text, unsigned color, ZEMFont* font,
                   ZEMFont::FontAlign align, int len = -1);

    uint32_t width = 0;        // pixels per row
    uint32_t height = 0;       // rows
    int16_t clipX1 = 0;        // clip rectangle, inclusive; note the order x1, x2, y1, y2
    int16_t clipX2 = 0;        // right edge of the clip rectangle
    int16_t clipY1 = 0;        // top edge
    int16_t clipY2 = 0;        // bottom edge
    uint8_t* data = nullptr;   // height x pitch bytes, owned; null when the image is empty
    ZEMPal* palette = nullptr; // owned; null when there is none
    uint32_t pitch = 0;        // bytes per row: width x bytes per pixel
    uint16_t bpp = 0;          // bits per pixel
};
#pragma pop_macro("DrawTextEx")
#pragma pop_macro("DrawText")

#endif
