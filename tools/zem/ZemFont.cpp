#include "ZemCli.h"
#include "ZemFontBuild.h"

#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMCodec.h>
#include <zem/graphics/ZEMFont.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMFile.h>
#include <zem/text/ZEMLatin1.h>
#include <zem/text/ZEMParse.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Help() {
    std::printf("usage: zem font info FILE [--glyphs]\n"
                "       zem font render FILE TEXT -o OUT [--color #RRGGBB] [--background "
                "#RRGGBB] [--force]\n"
                "       zem font build SOURCE -o OUT [OPTIONS] (below)\n\n"
                "info  shows a font file's name, character range, metrics and glyph bitmap;\n"
                "      with --glyphs also one line per character code: its glyph's place in\n"
                "      the bitmap, its size and its offset below the baseline.\n"
                "render draws TEXT (UTF-8, characters of Latin-1) on one line in the font into\n"
                "      the picture OUT (.bmp, .pcx or .tga), black on white unless told: an\n"
                "      8-bit picture, with 2-bit fonts in shades between the two colors, or\n"
                "      for 8-bit (full coverage) fonts a 24-bit picture with smooth edges. An\n"
                "      existing OUT is replaced only with --force.\n\n"
                "Font files of both versions are read.\n\n");
    std::printf("%s", FONT_BUILD_HELP);
    return 0;
}

// Loads a font file of either version; version tells which it was.
bool LoadFontFile(const char* path, ZEMFont& font, int& version) {
    ZEMFile file(path, ZEMResFile::READ);
    if (!file.IsOK()) return false;
    version = 2;
    if (font.Load(file, 0)) return true;
    file.SeekStart();
    version = 1;
    return file.IsOK() && font.LoadV1(file, 0);
}

// The character of a code, or '-' when it would not print as itself.
char Shown(unsigned code) {
    return code >= 33 && code <= 126 ? char(code) : '-';
}

void PrintGlyphs(const ZEMFont& font) {
    std::printf("\ncode char     x      y  width height offset\n");
    for (unsigned code = font.firstChar; code <= font.lastChar; ++code) {
        const ZEMChar& glyph = font.chars[code - font.firstChar];
        std::printf("%4u  %c   %5u  %5u  %5u  %5u  %5d\n", code, Shown(code), glyph.x, glyph.y,
                    glyph.width, glyph.height, glyph.offset);
    }
}

int Info(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) return Help();
    const char* path = nullptr;
    bool glyphs = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--glyphs") == 0) {
            glyphs = true;
        } else if (!path) {
            path = argv[i];
        } else {
            return zemcli::UsageError("unexpected argument '" + zemcli::Printable(argv[i]) +
                                      "' (see 'zem font --help')");
        }
    }
    if (!path) return zemcli::UsageError("font info takes a FILE (see 'zem font --help')");

    ZEM::SetLogLevel(0); // the failure is told below, once
    ZEMFont font(nullptr);
    int version = 0;
    if (!LoadFontFile(path, font, version)) {
        return zemcli::Fail(std::string("cannot load the font '") + zemcli::Printable(path) +
                            "' (missing, not a font file, or damaged)");
    }
    std::printf("%s: font file version %d\n", zemcli::Printable(path).c_str(), version);
    std::printf("name:    %s\n", zemcli::Printable(font.name).c_str());
    std::printf("range:   %u to %u (%u codes)\n", font.firstChar, font.lastChar,
                font.lastChar - font.firstChar + 1);
    std::printf("metrics: ascent %d, descent %d, spacing %u, space width %u\n", font.ascent,
                font.descent, unsigned(font.spacing), unsigned(font.whiteSize));
    std::printf("bitmap:  %u x %u, %u bit%s per pixel\n", font.bitmapWidth, font.bitmapHeight,
                unsigned(font.format), font.format == 1 ? "" : "s");
    if (glyphs) PrintGlyphs(font);
    return 0;
}

// The picture format of a file name's extension as ZEMImage::Save numbers it; 0 when unknown.
int PictureFormat(const char* path) {
    const char* dot = std::strrchr(path, '.');
    std::string extension = dot ? dot + 1 : "";
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    const std::pair<const char*, int> formats[] = {{"bmp", 1}, {"pcx", 2}, {"tga", 4}};
    for (const auto& format : formats)
        if (extension == format.first) return format.second;
    return 0;
}

// "#RRGGBB" and nothing more.
bool ReadRGB(const char* text, unsigned char* rgba) {
    if (text[0] != '#' || std::strlen(text) != 7) return false;
    const char* end = ZEMParse::ReadColor(text, rgba);
    return end && *end == '\0';
}

// Rows the text reaches above and below its baseline: the font's line, and every glyph in it.
void Extent(const ZEMFont& font, const char* text, int& up, int& down) {
    up = std::max<int>(font.ascent, 0);
    down = std::max<int>(font.descent, 0);
    for (const char* p = text; *p; ++p) {
        const unsigned code = static_cast<unsigned char>(*p);
        if (!font.chars || code == ' ' || code < font.firstChar || code > font.lastChar) continue;
        const ZEMChar& glyph = font.chars[code - font.firstChar];
        if (glyph.width == 0) continue;
        up = std::max(up, glyph.height - glyph.offset - 1);
        down = std::max(down, int(glyph.offset));
    }
}

// The colour value of red, green, blue bytes on a 24-bit picture.
unsigned RGB(const unsigned char* rgb) {
    return unsigned(rgb[0]) << 16 | unsigned(rgb[1]) << 8 | rgb[2];
}

// Four colours from the background to the text colour: the shades of a 2-bit font.
ZEMPal* Shades(const unsigned char* background, const unsigned char* color) {
    ZEMPal* palette = new ZEMPal(4);
    for (unsigned i = 0; i < 4; ++i) {
        unsigned char rgb[3];
        for (unsigned c = 0; c < 3; ++c)
            rgb[c] =
                static_cast<unsigned char>(background[c] + (color[c] - background[c]) * int(i) / 3);
        palette->SetFromRGB(rgb, 1, i);
    }
    return palette;
}

struct RenderOptions {
    const char* font = nullptr;
    const char* text = nullptr;
    const char* out = nullptr;
    unsigned char color[4] = {0, 0, 0, 0};
    unsigned char background[4] = {255, 255, 255, 0};
    bool force = false; // an existing OUT may be replaced
};

// Reads the arguments of render; false (said) on a bad one.
bool RenderArguments(int argc, char** argv, RenderOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const bool valued = std::strcmp(argv[i], "-o") == 0 ||
                            std::strcmp(argv[i], "--color") == 0 ||
                            std::strcmp(argv[i], "--background") == 0;
        if (valued && i + 1 == argc) {
            zemcli::UsageError(std::string(argv[i]) + " needs a value (see 'zem font --help')");
            return false;
        }
        if (std::strcmp(argv[i], "--force") == 0) {
            options.force = true;
        } else if (std::strcmp(argv[i], "-o") == 0) {
            options.out = argv[++i];
        } else if (valued) {
            const bool isColor = std::strcmp(argv[i], "--color") == 0;
            if (!ReadRGB(argv[++i], isColor ? options.color : options.background)) {
                zemcli::UsageError("'" + zemcli::Printable(argv[i]) + "' is not a color #RRGGBB");
                return false;
            }
        } else if (!options.font) {
            options.font = argv[i];
        } else if (!options.text) {
            options.text = argv[i];
        } else {
            zemcli::UsageError("unexpected argument '" + zemcli::Printable(argv[i]) +
                               "' (see 'zem font --help')");
            return false;
        }
    }
    if (options.font && options.text && options.out) return true;
    zemcli::UsageError("font render takes a FILE, a TEXT and -o OUT (see 'zem font --help')");
    return false;
}

int Render(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) return Help();
    RenderOptions options;
    if (!RenderArguments(argc, argv, options)) return 2;
    const int format = PictureFormat(options.out);
    if (format == 0) {
        return zemcli::UsageError("cannot tell the picture format of '" +
                                  zemcli::Printable(options.out) + "' (use .bmp, .pcx or .tga)");
    }
    if (!zemcli::MayWrite(options.out, options.force)) return 1;
    ZEM::SetLogLevel(0); // failures are told below, once
    ZEMFont font(nullptr);
    int version = 0;
    if (!LoadFontFile(options.font, font, version)) {
        return zemcli::Fail(std::string("cannot load the font '") +
                            zemcli::Printable(options.font) +
                            "' (missing, not a font file, or damaged)");
    }

    std::string text;
    ZEMLatin1::Stop stop;
    if (!ZEMLatin1::FromUtf8(options.text, std::strlen(options.text), text, &stop))
        return zemcli::Fail(
            zemcli::NotLatin1("TEXT, character " + std::to_string(stop.character + 1), stop));

    const int margin = 2;
    int up = 0, down = 0;
    Extent(font, text.c_str(), up, down);
    const unsigned width = font.TextWidth(text.c_str(), unsigned(text.size())) + 2 * margin;
    const unsigned height = unsigned(up + 1 + down + 2 * margin);
    const bool smooth = font.format == 8;
    const unsigned bpp = smooth ? 24 : 8;
    if (const char* problem = ZEM::PictureSizeProblem(format, width, height, bpp)) {
        return zemcli::Fail("the picture would be " + std::to_string(width) + " x " +
                            std::to_string(height) + " pixels: " + problem);
    }
    ZEMImage picture(width, height, bpp);
    if (smooth) {
        picture.Rectangle(0, 0, width, height, RGB(options.background), ZEMImage::DRAW_COPY);
        picture.BlendText(margin, margin + up, text.c_str(), RGB(options.color), &font,
                          ZEMFont::ALIGN_BASELINE);
    } else {
        picture.ReplacePalette(Shades(options.background, options.color));
        picture.Rectangle(0, 0, width, height, 0, ZEMImage::DRAW_COPY);
        ZEMFont::FontParams params;
        params.font = &font;
        params.align = ZEMFont::ALIGN_BASELINE;
        for (unsigned i = 0; i < 4; ++i)
            params.textColors[i] = i;
        picture.DrawTextEx(margin, margin + up, text.c_str(), params);
    }
    const int written = zemcli::WriteOutput(
        options.out, options.force, [&](ZEMResFile& file) { return picture.Save(file, format); });
    if (written != 0) return written;
    std::printf("%s: %u x %u\n", zemcli::Printable(options.out).c_str(), width, height);
    return 0;
}

// The commands of the family, one line each.
const zemcli::Command COMMANDS[] = {
    {"info", Info},
    {"build", ZemFontBuild},
    {"render", Render},
};

} // namespace

int ZemFont(int argc, char** argv) {
    return zemcli::RunCommand("font", COMMANDS, Help, argc, argv);
}
