#include "ZemFontBuild.h"

#include "ZemCli.h"

#include <zem/ZEMConfig.h>
#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMFont.h>
#include <zem/graphics/ZEMFontBuilder.h>
#include <zem/provider/ZEMFileUtils.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

const char* const FONT_BUILD_HELP =
    "build SOURCE -o OUT [--size PX] [--format 1|2|8] [--range FIRST-LAST]\n"
    "      [--name NAME] [--spacing N] [--space-width N] [--force]\n"
    "      rasterises a TrueType, OpenType, BDF or PCF font (anything FreeType reads)\n"
    "      into the font file OUT: size 16 pixels, format 1 (1 monochrome, 2 four\n"
    "      coverage levels for DrawTextEx, 8 full coverage for BlendText's smooth\n"
    "      text), range 32-126 (codes are Latin-1: 32-255 takes them all), the name\n"
    "      from the font's family, style and size, no spacing and\n"
    "      the space glyph's advance unless given. A bitmap-only font uses its strike\n"
    "      nearest to the size. An existing OUT is replaced only with --force.\n";

namespace {

#if ZEM_HAS_FREETYPE

struct BuildArgs {
    const char* source = nullptr;
    const char* out = nullptr;
    bool force = false;
    ZEMFontBuilder::Options options;
};

// A whole decimal number from 0 to max.
bool ParseNumber(const char* text, unsigned long max, unsigned long& value) {
    if (!text || *text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text, &end, 10);
    return errno == 0 && *end == '\0' && value <= max;
}

bool ParseRange(const char* text, ZEMFontBuilder::Options& options) {
    const char* dash = std::strchr(text, '-');
    if (!dash) return false;
    unsigned long first = 0, last = 0;
    const std::string firstText(text, dash);
    if (!ParseNumber(firstText.c_str(), 255, first) || !ParseNumber(dash + 1, 255, last) ||
        first > last) {
        return false;
    }
    options.first = static_cast<unsigned char>(first);
    options.last = static_cast<unsigned char>(last);
    return true;
}

// Reads the value of the option at argv[i]; false (said) when it is missing or wrong.
bool ParseValue(const std::string& option, const char* value, BuildArgs& args) {
    ZEMFontBuilder::Options& options = args.options;
    unsigned long number = 0;
    if (option == "-o") {
        args.out = value;
    } else if (option == "--name") {
        options.name = value;
    } else if (option == "--range") {
        if (ParseRange(value, options)) return true;
        zemcli::UsageError("--range takes FIRST-LAST, codes from 0 to 255 (e.g. 32-126)");
        return false;
    } else if (option == "--format") {
        if (ParseNumber(value, 8, number) && (number == 1 || number == 2 || number == 8)) {
            options.format = static_cast<unsigned char>(number);
            return true;
        }
        zemcli::UsageError("--format takes 1, 2 or 8");
        return false;
    } else if (option == "--size") {
        if (ParseNumber(value, ZEMFontBuilder::MAX_SIZE, number) && number > 0) {
            options.size = unsigned(number);
            return true;
        }
        zemcli::UsageError("--size takes a pixel size from 1 to " +
                           std::to_string(ZEMFontBuilder::MAX_SIZE));
        return false;
    } else if (option == "--spacing" || option == "--space-width") {
        if (!ParseNumber(value, 255, number)) {
            zemcli::UsageError(option + " takes a number of pixels from 0 to 255");
            return false;
        }
        if (option == "--spacing")
            options.spacing = static_cast<unsigned char>(number);
        else
            options.spaceWidth = int(number);
    }
    return true;
}

bool TakesValue(const std::string& option) {
    return option == "-o" || option == "--name" || option == "--range" || option == "--format" ||
           option == "--size" || option == "--spacing" || option == "--space-width";
}

bool ParseArgs(int argc, char** argv, BuildArgs& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (TakesValue(arg)) {
            if (i + 1 == argc) {
                zemcli::UsageError(arg + " needs a value (see 'zem font --help')");
                return false;
            }
            if (!ParseValue(arg, argv[++i], args)) return false;
        } else if (arg == "--force") {
            args.force = true;
        } else if (!args.source && arg.compare(0, 1, "-") != 0) {
            args.source = argv[i];
        } else {
            zemcli::UsageError("unexpected argument '" + zemcli::Printable(argv[i]) +
                               "' (see 'zem font --help')");
            return false;
        }
    }
    if (args.source && args.out) return true;
    zemcli::UsageError("font build takes SOURCE and -o OUT (see 'zem font --help')");
    return false;
}

int Build(int argc, char** argv) {
    BuildArgs args;
    if (!ParseArgs(argc, argv, args)) return 2;
    const std::string out = zemcli::Printable(args.out);
    if (!zemcli::MayWrite(args.out, args.force)) return 1;

    // The builder's reason for a failure goes to standard error, before the one-line verdict.
    ZEM::SetLogTarget(1, nullptr);
    ZEMFontBuilder builder;
    ZEMFont font(nullptr);
    if (!builder.Open(args.source) || !builder.Build(args.options, font))
        return zemcli::Fail("cannot build a font from '" + zemcli::Printable(args.source) + "'");
    const int written = zemcli::WriteOutput(args.out, args.force,
                                            [&](ZEMResFile& file) { return font.Save(file, 0); });
    if (written != 0) return written;
    std::printf("%s: \"%s\", codes %u to %u, %u px, format %u, ascent %d, descent %d, "
                "bitmap %u x %u\n",
                out.c_str(), zemcli::Printable(font.name).c_str(), font.firstChar, font.lastChar,
                builder.BuiltSize(), unsigned(font.format), font.ascent, font.descent,
                font.bitmapWidth, font.bitmapHeight);
    return 0;
}

#else

int Build(int, char**) {
    return zemcli::Fail("font build is unavailable: this zem was built without FreeType");
}

#endif

} // namespace

int ZemFontBuild(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) {
        std::printf("usage: zem font %s", FONT_BUILD_HELP);
        return 0;
    }
    return Build(argc, argv);
}
