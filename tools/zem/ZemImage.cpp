#include "ZemCli.h"
#include "ZemPicture.h"

#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMCodec.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMFile.h>

#include <png.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int BMP = ZEMImage::FORMAT_BMP;
constexpr int PCX = ZEMImage::FORMAT_PCX;
constexpr int GIF = ZEMImage::FORMAT_GIF;
constexpr int TGA = ZEMImage::FORMAT_TGA;
constexpr int TGA_RLE = ZEMImage::FORMAT_TGA_RLE;
constexpr int FONT = ZEMImage::FORMAT_FONT;
// Beside ZEMImage's format numbers, the tool's own.
constexpr int PNG = 100;

int Help() {
    std::printf("usage: zem image info FILE...\n"
                "       zem image convert IN OUT [--format bmp|pcx|tga|tga-rle|png] [--force]\n\n"
                "info    shows each picture's format, size, depth, palette and compression.\n"
                "convert reads a BMP, GIF, PCX, TGA or PNG picture and writes it as OUT; the\n"
                "        format comes from OUT's extension unless --format names it. GIF is\n"
                "        read only. 15- and 16-bit pictures are written as BMP or PNG only. An\n"
                "        existing OUT is replaced only with --force.\n");
    return 0;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The save format that a --format name or a file extension names; -1 when none.
int FormatNamed(const std::string& name) {
    const std::string n = Lower(name);
    if (n == "bmp") return BMP;
    if (n == "pcx") return PCX;
    if (n == "tga") return TGA;
    if (n == "tga-rle") return TGA_RLE;
    if (n == "png") return PNG;
    return -1;
}

std::string Extension(const std::string& path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return path.substr(dot + 1);
}

// The first bytes of a file (fewer when it is shorter).
// The bytes of the file at path, up to limit; read through the library, which takes UTF-8
// names on every system.
std::vector<uint8_t> FileBytes(const char* path, size_t limit) {
    std::vector<uint8_t> bytes;
    ZEMFile file(path, ZEMResFile::READ);
    if (!file.IsOK()) return bytes;
    constexpr size_t BLOCK = 1 << 16;
    while (bytes.size() < limit) {
        const size_t have = bytes.size();
        bytes.resize(have + std::min(BLOCK, limit - have));
        const unsigned got = file.Read(bytes.data() + have, unsigned(bytes.size() - have));
        bytes.resize(have + got);
        if (got == 0) break;
    }
    return bytes;
}

const char* FormatName(int format) {
    switch (format) {
    case BMP:
        return "BMP";
    case PCX:
        return "PCX";
    case GIF:
        return "GIF";
    case TGA:
        return "TGA";
    case FONT:
        return "ZEM font picture";
    default:
        return "PNG";
    }
}

// How the picture data of a file is packed, from its header.
std::string Compression(int format, const std::vector<uint8_t>& head) {
    auto at32 = [&](size_t at) {
        return head.size() < at + 4 ? 0u
                                    : unsigned(head[at] | head[at + 1] << 8 | head[at + 2] << 16 |
                                               unsigned(head[at + 3]) << 24);
    };
    switch (format) {
    case BMP: {
        if (at32(14) < 40) return "none";
        static const char* const NAMES[] = {"none", "RLE8", "RLE4",      "bit fields",
                                            "JPEG", "PNG",  "bit fields"};
        const unsigned c = at32(30);
        return c < sizeof NAMES / sizeof *NAMES ? NAMES[c] : "other";
    }
    case GIF:
        return "LZW";
    case PCX:
        return "RLE";
    case TGA:
        return head.size() > 2 && head[2] >= 9 ? "RLE" : "none";
    default:
        return "deflate";
    }
}

bool IsPng(const std::vector<uint8_t>& head) {
    return head.size() >= 8 && png_sig_cmp(head.data(), 0, 8) == 0;
}

// Reads a PNG file through libpng: palette pictures become 8-bit with their palette, grey ones
// 8-bit without, others 24-bit or, with transparency, 32-bit with alpha as the fourth byte.
bool ReadPng(const char* path, ZEMImage& image, std::string& why) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    // From memory, not libpng's own fopen: that one takes no UTF-8 name on Windows.
    const std::vector<uint8_t> bytes = FileBytes(path, SIZE_MAX);
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) {
        why = png.message;
        return false;
    }
    unsigned bpp = 24;
    if (png.format & PNG_FORMAT_FLAG_COLORMAP) {
        png.format = PNG_FORMAT_RGB_COLORMAP;
        bpp = 8;
    } else if (png.format == PNG_FORMAT_GRAY) {
        bpp = 8;
    } else {
        png.format = png.format & PNG_FORMAT_FLAG_ALPHA ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
        bpp = png.format == PNG_FORMAT_BGRA ? 32 : 24;
    }
    // A PNG is held to what the library's own loaders accept.
    const char* problem = ZEM::PictureSizeProblem(BMP, png.width, png.height, bpp);
    if (problem || !image.NewFormat(png.width, png.height, bpp)) {
        why = std::to_string(png.width) + " x " + std::to_string(png.height) +
              " pixels: " + (problem ? problem : "not enough memory");
        png_image_free(&png);
        return false;
    }
    uint8_t colormap[256 * 3];
    if (!png_image_finish_read(&png, nullptr, image.data, int(image.pitch), colormap)) {
        why = png.message;
        return false;
    }
    if (png.format == PNG_FORMAT_RGB_COLORMAP) {
        auto palette = new ZEMPal(png.colormap_entries);
        palette->SetFromRGB(colormap, png.colormap_entries, 0);
        image.ReplacePalette(palette);
    } else {
        image.ReplacePalette(nullptr);
    }
    return true;
}

// Writes a PNG file through libpng in the layout ReadPng gives back; 15- and 16-bit pixels are
// taken as 5-5-5.
bool WritePng(ZEMResFile& file, const ZEMImage& image) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = image.width;
    png.height = image.height;
    const uint8_t* pixels = image.data;
    int stride = int(image.pitch);
    std::vector<uint8_t> converted;
    uint8_t colormap[256 * 3] = {};
    if (image.bpp == 8 && image.palette && image.palette->nbColors <= 256) {
        png.format = PNG_FORMAT_RGB_COLORMAP;
        png.colormap_entries = std::max(image.palette->nbColors, 1u);
        for (unsigned i = 0; i < image.palette->nbColors; ++i) {
            std::memcpy(colormap + 3 * i, image.palette->colors + 4 * i, 3);
        }
    } else if (image.bpp == 8) {
        png.format = PNG_FORMAT_GRAY;
    } else if (image.bpp == 24 || image.bpp == 32) {
        png.format = image.bpp == 24 ? PNG_FORMAT_BGR : PNG_FORMAT_BGRA;
    } else {
        png.format = PNG_FORMAT_BGR;
        for (uint32_t i = 0; i < image.width * image.height; ++i) {
            const unsigned word = image.data[2 * i] | image.data[2 * i + 1] << 8;
            for (unsigned shift : {0u, 5u, 10u}) {
                const unsigned v = word >> shift & 31;
                converted.push_back(uint8_t(v << 3 | v >> 2));
            }
        }
        pixels = converted.data();
        stride = int(3 * image.width);
    }
    png_alloc_size_t size = 0;
    if (!png_image_write_get_memory_size(png, size, 0, pixels, stride, colormap)) return false;
    std::vector<uint8_t> bytes(size);
    if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, pixels, stride, colormap)) {
        return false;
    }
    return size <= UINT32_MAX && file.Write(bytes.data(), unsigned(size)) == size;
}

// "cannot read the picture 'PATH': " and the reason, as the failure status.
int CannotRead(const char* path, const std::string& why) {
    return zemcli::Fail(std::string("cannot read the picture '") + zemcli::Printable(path) +
                        "': " + zemcli::Printable(why.c_str()));
}

int Info(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) return Help();
    if (argc < 2)
        return zemcli::UsageError("image info takes one FILE or more (see 'zem image --help')");
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const char* path = argv[i];
        ZEMImage image(0, 0, 8);
        int format = 0;
        std::string why;
        if (!zemcli::LoadPicture(path, image, format, why)) {
            status = CannotRead(path, why);
            continue;
        }
        const std::string palette =
            image.palette ? std::to_string(image.palette->nbColors) + " colors" : "no palette";
        std::printf("%s: %s, %u x %u, %u bpp, %s, %s\n", zemcli::Printable(path).c_str(),
                    FormatName(format), image.width, image.height, unsigned(image.bpp),
                    palette.c_str(), Compression(format, FileBytes(path, 34)).c_str());
    }
    return status;
}

int Convert(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) return Help();
    std::string formatName;
    std::vector<const char*> paths;
    bool force = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--force") == 0) {
            force = true;
        } else if (std::strcmp(argv[i], "--format") == 0 && i + 1 < argc) {
            formatName = argv[++i];
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (paths.size() != 2) {
        return zemcli::UsageError("image convert takes IN and OUT (see 'zem image --help')");
    }
    const char* in = paths[0];
    const char* out = paths[1];
    const std::string named = formatName.empty() ? Extension(out) : formatName;
    const int format = FormatNamed(named);
    if (format < 0) {
        return zemcli::UsageError("unknown picture format '" + zemcli::Printable(named.c_str()) +
                                  "' (bmp, pcx, tga, tga-rle or png)");
    }
    if (!zemcli::MayWrite(out, force)) return 1;
    ZEMImage image(0, 0, 8);
    int inFormat = 0;
    std::string why;
    if (!zemcli::LoadPicture(in, image, inFormat, why)) return CannotRead(in, why);
    return zemcli::WriteOutput(
        out, force,
        [&](ZEMResFile& file) {
            return format == PNG ? WritePng(file, image) : image.Save(file, format);
        },
        " as " + Lower(named) + " (" + std::to_string(image.bpp) +
            "-bit pictures may not fit the format)");
}

} // namespace

namespace zemcli {

bool LoadPicture(const char* path, ZEMImage& image, int& format, std::string& why) {
    zemcli::LogCatcher log;
    if (IsPng(FileBytes(path, 8))) {
        format = PNG;
        if (ReadPng(path, image, why)) return true;
        why = "PNG: " + why;
        return false;
    }
    ZEMFile file(path, ZEMResFile::READ);
    if (!file.IsOK()) {
        why = std::strerror(errno);
        return false;
    }
    format = image.FindFormat(file);
    if (format == 0 || !image.Load(file, format)) {
        why = log.Last();
        if (why.empty()) why = "not a picture, or damaged";
        return false;
    }
    return true;
}

const char* PictureFormatName(int format) {
    return FormatName(format);
}

} // namespace zemcli

int ZemImage(int argc, char** argv) {
    ZEM::SetLogLevel(0); // the codecs' messages: the tool says what failed itself
    const zemcli::Command commands[] = {{"info", Info}, {"convert", Convert}};
    return zemcli::RunCommand("image", commands, Help, argc, argv);
}
