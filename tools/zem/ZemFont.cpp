#include "ZemCli.h"

#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMFont.h>
#include <zem/stream/ZEMFile.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Help() {
    std::printf("usage: zem font info FILE [--glyphs]\n\n"
                "info  shows a font file's name, character range, metrics and glyph bitmap;\n"
                "      with --glyphs also one line per character code: its glyph's place in\n"
                "      the bitmap, its size and its offset below the baseline.\n\n"
                "Font files of both versions are read.\n");
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
            return zemcli::Fail("unexpected argument '" + zemcli::Printable(argv[i]) +
                                "' (see 'zem font --help')");
        }
    }
    if (!path) return zemcli::Fail("font info takes a FILE (see 'zem font --help')");

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

// The commands of the family, one line each.
const zemcli::Command COMMANDS[] = {
    {"info", Info},
};

} // namespace

int ZemFont(int argc, char** argv) {
    return zemcli::RunCommand("font", COMMANDS, Help, argc, argv);
}
