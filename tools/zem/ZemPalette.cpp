#include "ZemCli.h"
#include "ZemPicture.h"

#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMFile.h>
#include <zem/text/ZEMParse.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Format {
    const char* name;
    int number;
    const char* title;
};

const Format FORMATS[] = {
    {"zem", 1, "ZEM palette"}, {"gimp", 2, "GIMP palette"}, {"jasc", 3, "JASC palette"},
    {"rgb", 4, "raw RGB"},     {"bgr", 5, "raw BGR"},
};

// Readers of the text and raw formats keep at most this many colours.
constexpr unsigned SMALL_PALETTE = 256;

int Help() {
    std::printf("usage: zem palette info FILE [--from FORMAT]\n"
                "       zem palette convert IN OUT [--format FORMAT] [--from FORMAT] [--force]\n\n"
                "info     shows the format, the number of colors and every color as #RRGGBB\n"
                "         with its index.\n"
                "convert  reads the palette IN and writes it to OUT in FORMAT; an existing OUT is\n"
                "         replaced only with --force.\n\n"
                "FORMAT is zem, gimp, jasc, rgb or bgr. The format of a file read is detected\n"
                "unless --from names it (raw BGR files are never detected, and raw RGB files\n"
                "only at 768 bytes). A file read may also be a picture with a palette (an\n"
                "8-bit BMP, GIF, PCX, TGA or PNG): its palette is taken. The format written\n"
                "comes from OUT's extension unless --format names it: .gpl is gimp, .pal is\n"
                "jasc (a raw palette of that name needs --format rgb).\n");
    return 0;
}

const Format* FindFormat(const std::string& name) {
    for (const Format& format : FORMATS)
        if (name == format.name) return &format;
    return nullptr;
}

// The format that the extension of path names, or null (said) when it names none, or several.
const Format* FormatOfName(const std::string& path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.find_last_of("/\\");
    std::string extension;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        extension = path.substr(dot + 1);
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "gpl") return FindFormat("gimp");
    // Paint programs write JASC text under .pal; a raw palette of that name takes --format rgb.
    if (extension == "pal") return FindFormat("jasc");
    zemcli::UsageError("the extension of '" + zemcli::Printable(path.c_str()) +
                       "' does not tell a palette format: name one with --format "
                       "zem|gimp|jasc|rgb|bgr");
    return nullptr;
}

const Format* FormatOf(int number) {
    for (const Format& format : FORMATS)
        if (number == format.number) return &format;
    return nullptr;
}

struct Options {
    std::string paths[2];
    int nbPaths = 0;
    const Format* from = nullptr;
    const Format* to = nullptr;
    bool force = false; // an existing output may be replaced
};

// Reads the paths and the --from and --format options; false (said) on a bad argument.
bool ParseOptions(int argc, char** argv, int nbPaths, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const bool from = std::strcmp(argv[i], "--from") == 0;
        if (from || std::strcmp(argv[i], "--format") == 0) {
            if (i + 1 == argc) {
                zemcli::UsageError(std::string(argv[i]) + " needs a FORMAT");
                return false;
            }
            const Format* format = FindFormat(argv[++i]);
            if (!format) {
                zemcli::UsageError("unknown palette format '" + zemcli::Printable(argv[i]) +
                                   "' (zem, gimp, jasc, rgb or bgr)");
                return false;
            }
            (from ? options.from : options.to) = format;
        } else if (std::strcmp(argv[i], "--force") == 0) {
            options.force = true;
        } else if (options.nbPaths < nbPaths) {
            options.paths[options.nbPaths++] = argv[i];
        } else {
            zemcli::UsageError("unexpected argument '" + zemcli::Printable(argv[i]) +
                               "' (see 'zem palette --help')");
            return false;
        }
    }
    if (options.nbPaths == nbPaths) return true;
    zemcli::UsageError(std::string("palette ") + argv[0] + " takes " +
                       (nbPaths == 1 ? "FILE" : "IN OUT") + " (see 'zem palette --help')");
    return false;
}

// What reading a file as a picture gave.
enum class PictureRead { NO_PICTURE, PALETTE, REFUSED };

// Takes the palette of the picture at path, titled "palette of a GIF picture"; a damaged picture,
// or one without a palette, is refused, and title says why.
PictureRead LoadPicturePalette(const std::string& path, ZEMPal& pal, std::string& title) {
    ZEMImage image(0, 0, 8);
    int format = 0;
    std::string why;
    const std::string shown = zemcli::Printable(path.c_str());
    if (!zemcli::LoadPicture(path.c_str(), image, format, why)) {
        if (format == 0) return PictureRead::NO_PICTURE;
        title = "cannot read the picture '" + shown + "': " + zemcli::Printable(why.c_str());
        return PictureRead::REFUSED;
    }
    std::string picture = zemcli::PictureFormatName(format);
    const std::string suffix = " picture";
    if (picture.size() < suffix.size() ||
        picture.compare(picture.size() - suffix.size(), suffix.size(), suffix) != 0) {
        picture += suffix;
    }
    if (!image.palette) {
        title = "the " + picture + " '" + shown + "' has no palette (" + std::to_string(image.bpp) +
                " bits per pixel)";
        return PictureRead::REFUSED;
    }
    pal.SetFromRGBA(image.palette->colors, image.palette->nbColors, 0);
    title = "palette of a " + picture;
    return PictureRead::PALETTE;
}

// Loads path in the format given, or the one detected, or takes the palette of a picture; the
// title of what was read, or empty (said) when nothing could be. leftOut, when given, counts the
// colours of the file that the load did not keep.
std::string Load(const std::string& path, const Format* from, ZEMPal& pal,
                 unsigned* leftOut = nullptr) {
    ZEMFile file(path.c_str(), ZEMResFile::READ);
    const int detected = !from && file.IsOK() ? pal.FindFormat(file) : 0;
    // A picture of 768 bytes is a picture, and a raw palette of 768 bytes that reads as no good
    // picture is a raw palette.
    if (!from && file.IsOK() && detected != 1 && detected != 2 && detected != 3) {
        std::string title;
        const PictureRead read = LoadPicturePalette(path, pal, title);
        if (read == PictureRead::PALETTE) return title;
        if (read == PictureRead::REFUSED && detected == 0) {
            zemcli::Fail(title);
            return "";
        }
    }
    const int number = from ? from->number : detected;
    const Format* format = FormatOf(number);
    const unsigned held = leftOut && format ? pal.FileColors(file, number) : 0;
    if (file.IsOK() && format && pal.Load(file, number)) {
        if (leftOut) *leftOut = held > pal.nbColors ? held - pal.nbColors : 0;
        return format->title;
    }
    zemcli::Fail("cannot load the palette '" + zemcli::Printable(path.c_str()) +
                 (from ? "' as " + std::string(from->title)
                       : "' (missing, or neither a palette file nor a picture with a palette)"));
    return "";
}

int Info(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) return Help();
    Options options;
    if (!ParseOptions(argc, argv, 1, options)) return 2;
    if (options.to) return zemcli::UsageError("palette info takes no --format (see --from)");
    ZEMPal pal(0u);
    const std::string title = Load(options.paths[0], options.from, pal);
    if (title.empty()) return 1;
    std::printf("%s: %s, %u colors\n", zemcli::Printable(options.paths[0].c_str()).c_str(),
                title.c_str(), pal.nbColors);
    for (unsigned i = 0; i < pal.nbColors; ++i) {
        char text[7];
        ZEMParse::Dec2Hexa(pal.colors + 4 * i, 3, text);
        text[6] = '\0';
        std::printf("%4u  #%s\n", i, text);
    }
    return 0;
}

int Convert(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) return Help();
    Options options;
    if (!ParseOptions(argc, argv, 2, options)) return 2;
    if (!options.to) options.to = FormatOfName(options.paths[1]);
    if (!options.to) return 2;
    const std::string out = zemcli::Printable(options.paths[1].c_str());
    if (!zemcli::MayWrite(options.paths[1], options.force)) return 1;
    ZEMPal pal(0u);
    unsigned leftOut = 0;
    const std::string from = Load(options.paths[0], options.from, pal, &leftOut);
    if (from.empty()) return 1;
    if (options.to->number != 1 && options.to->number != 3 && pal.nbColors > SMALL_PALETTE) {
        zemcli::Warn(std::to_string(pal.nbColors) + " colors written to '" + out + "', but " +
                     options.to->title + " readers keep the first 256");
    }
    const int written = zemcli::WriteOutput(options.paths[1], options.force, [&](ZEMResFile& file) {
        return pal.Save(file, options.to->number);
    });
    if (written != 0) return written;
    std::printf("%s: %s, %u colors\n", out.c_str(), options.to->title, pal.nbColors);
    if (leftOut == 0) return 0;
    return zemcli::Fail(std::to_string(leftOut) + " colors of '" +
                        zemcli::Printable(options.paths[0].c_str()) + "' left out: the " + from +
                        " reader keeps " + std::to_string(pal.nbColors));
}

} // namespace

int ZemPalette(int argc, char** argv) {
    // The command says what went wrong itself; the library's own messages would go to stdout.
    ZEM::SetLogLevel(0);
    const zemcli::Command commands[] = {{"info", Info}, {"convert", Convert}};
    return zemcli::RunCommand("palette", commands, Help, argc, argv);
}
