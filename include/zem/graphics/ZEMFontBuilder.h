#ifndef ZEM_GRAPHICS_ZEMFONTBUILDER_H
#define ZEM_GRAPHICS_ZEMFONTBUILDER_H

#include <zem/ZEMConfig.h>
#include <zem/core/ZEMExport.h>

// The builder exists only in a library built with FreeType (ZEM_HAS_FREETYPE is 1).
#if ZEM_HAS_FREETYPE

class ZEMFont;
class ZEMResFile;

// Makes bitmap fonts from any font file that FreeType reads (TrueType, OpenType, BDF, PCF): the
// glyphs of a range of 8-bit codes, taken as Latin-1, are rasterised at one pixel size and packed
// into one glyph bitmap.
class ZEM_API ZEMFontBuilder {
public:
    static constexpr unsigned MAX_SIZE = 255; // glyph records hold sizes of 8 bits

    // How a font is built.
    struct Options {
        unsigned size = 16;         // pixel size; bitmap-only fonts use their nearest strike
        unsigned char format = 1;   // 1 monochrome, 2 four coverage levels, 8 full coverage
        unsigned char first = 32;   // first code of the range
        unsigned char last = 126;   // last code of the range
        const char* name = nullptr; // the font's name; null: family, style and size
        unsigned char spacing = 0;  // pixels added after every character
        int spaceWidth = -1;        // advance of a space; below 0: the space glyph's advance
    };

    ZEMFontBuilder();
    ~ZEMFontBuilder();
    ZEMFontBuilder(const ZEMFontBuilder&) = delete;
    ZEMFontBuilder& operator=(const ZEMFontBuilder&) = delete;

    // Opens the font file (the first face of a collection); false, logged, when it cannot be read
    // or FreeType does not know its format.
    bool Open(const char* fileName);
    // The same with the font file's bytes from the stream's position to its end.
    bool Open(ZEMResFile& file);
    // Forgets the open font file.
    void Close();
    bool IsOpen() const;

    // Replaces the content of font with the glyphs of the open file built as options say; false,
    // logged, with font unchanged when no font file is open, an option is out of range or a
    // glyph cannot be rendered or does not fit a glyph record.
    bool Build(const Options& options, ZEMFont& font);

    // Pixel size of the last built font (the strike's for bitmap-only fonts); 0 before.
    unsigned BuiltSize() const { return builtSize_; }

private:
    struct Face;
    Face* face_ = nullptr;
    unsigned builtSize_ = 0;
};

#endif

#endif
