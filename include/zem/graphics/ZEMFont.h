#ifndef ZEM_GRAPHICS_ZEMFONT_H
#define ZEM_GRAPHICS_ZEMFONT_H

#include <zem/core/ZEMExport.h>
#include <zem/graphics/ZEMChar.h>
#include <zem/resource/ZEMResource.h>

#include <cstdint>

class ZEMImage;
class ZEMResFile;

// A proportional bitmap font: glyph records for a range of 8-bit codes that locate each glyph in
// one shared glyph bitmap, stored one byte per pixel, and the font-wide metrics. It loads from and
// saves to font files (magic "ZEMF") and can be built from an image that holds the glyph picture.
class ZEM_API ZEMFont : public ZEMResource {
public:
    // Where the y coordinate given to the text operations lies on the text line.
    enum FontAlign : int {
        ALIGN_TOP = 0,     // y is the top row: the baseline is y + ascent - 1
        ALIGN_BOTTOM = 1,  // y is the bottom row: the baseline is y - descent
        ALIGN_BASELINE = 2 // y is the baseline (also any other value)
    };

    // How ZEMImage::DrawTextEx draws: textColors[v] is the colour of glyph pixels of value v in a
    // 2-bit font (0 is never drawn); fonts of other formats are drawn in textColors[3].
    struct FontParams {
        ZEMFont* font = nullptr;
        FontAlign align = ALIGN_TOP;
        uint32_t textColors[4] = {0, 0, 0, 0};
    };

    // Loaded from the disk file fileName when it is not null.
    explicit ZEMFont(const char* fileName);
    // Loaded from the stream when it is open; the integer is not used.
    ZEMFont(ZEMResFile& file, int);
    // Built in memory for the codes first..last (all glyphs empty) over a copy of the image's
    // pixels as glyph bitmap.
    ZEMFont(const char* name, unsigned first, unsigned last, ZEMImage* image, unsigned char format);
    ~ZEMFont() override;
    ZEMFont(const ZEMFont&) = delete;
    ZEMFont& operator=(const ZEMFont&) = delete;

    // Releases the name, the glyph table and the bitmap and zeroes the metrics.
    void Free();
    unsigned MemoryUsed() const override;

    // Reads a font file of the current version; kind must be 0 or 1.
    bool Load(ZEMResFile& file, int kind) override;
    // Reads a font file of the first version (no version byte, no offsets).
    bool LoadV1(ZEMResFile& file, int kind);
    // Writes a font file of the current version; kind must be 0 or 1.
    bool Save(ZEMResFile& file, int kind) override;

    // Moves one end of the character range, keeping the glyph records of the codes that stay.
    void SetFirstChar(unsigned char code);
    void SetLastChar(unsigned char code);
    // Copies glyph into the record of code, or clears it for null; never for the space.
    void SetChar(unsigned char code, ZEMChar* glyph);
    // Takes a copy of the image's pixels as glyph bitmap; formats 1, 2 and 8 need an 8-bit image.
    bool SetImage(ZEMImage* image, unsigned char format);

    // Advance of one character without spacing.
    unsigned CharWidth(unsigned char code) const;
    // Glyph height of one character (0 for the space and codes outside the range).
    unsigned CharHeight(unsigned char code) const;
    // Width of at most maxChars characters of text, with spacing between characters.
    unsigned TextWidth(const char* text, unsigned maxChars) const;
    // Width as TextWidth, and the height from the highest glyph top to the lowest glyph bottom.
    void TextSize(const char* text, unsigned& width, unsigned& height, unsigned maxChars) const;

    // Writes the font's metrics, and with withChars every glyph record, to the log.
    void PrintInfo(bool withChars) const;

    char* name = nullptr;      // the font's name; null when no font is defined
    uint8_t* bitmap = nullptr; // glyph bitmap, rows top to bottom, one byte per pixel
    uint32_t bitmapWidth = 0;  // glyph bitmap width in pixels
    uint32_t bitmapHeight = 0; // glyph bitmap height in pixels
    uint32_t firstChar = 0;    // first code with a glyph record
    uint32_t lastChar = 0;     // last code with a glyph record
    ZEMChar* chars = nullptr;  // lastChar - firstChar + 1 records
    int16_t ascent = 0;        // rows of the line above the baseline
    int16_t descent = 0;       // rows of the line below the baseline
    uint8_t spacing = 0;       // pixels added after every character
    uint8_t whiteSize = 0;     // advance of a space (a tab: 8 x whiteSize)
    uint8_t format = 0;        // bits per pixel of the glyph bitmap: 1, 2 or 8
};

#endif
