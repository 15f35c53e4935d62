// What the web page asks of the library. The page writes a file into the in-memory file system,
// then asks here what it holds; every answer is a JSON text, and pictures come as RGBA buffers
// in the module's memory that the answer points to (valid until the next call). The library's
// messages go to standard output, which the page shows when a file cannot be read.
#include "TourScene.h"

#include <zem/zembase.h>

#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The answer of the last call and the pixel buffers it points to.
std::string answer;
std::vector<std::vector<uint8_t>> buffers;

// Text as a JSON string; bytes from 0x80 on pass through (the page reads the answer as UTF-8).
std::string Quote(const char* text) {
    std::string out = "\"";
    for (const char* p = text ? text : ""; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

const char* Answer(const std::string& json) {
    answer = json;
    return answer.c_str();
}

const char* Failure(const std::string& message) {
    return Answer("{\"kind\":\"error\",\"message\":" + Quote(message.c_str()) + "}");
}

// 5-bit channel to 8 bits, the full range kept.
uint8_t Widen5(unsigned v) {
    return uint8_t(v << 3 | v >> 2);
}

// The picture's pixels as the canvas takes them (red, green, blue, alpha): 8 bits through the
// palette (a grey ramp without one), 15 and 16 bits as 5-5-5, 24 bits opaque, 32 bits with their
// fourth byte as alpha (the BMP reader has already made a reserved fourth byte opaque).
std::vector<uint8_t> Rgba(const ZEMImage& image) {
    const size_t count = size_t(image.width) * image.height;
    std::vector<uint8_t> rgba(4 * count, 255);
    for (uint32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = image.data + size_t(y) * image.pitch;
        uint8_t* out = rgba.data() + 4 * size_t(y) * image.width;
        for (uint32_t x = 0; x < image.width; ++x, out += 4) {
            if (image.bpp == 8) {
                const unsigned i = row[x];
                const ZEMPal* pal = image.palette;
                const bool known = pal && i < pal->nbColors;
                for (int c = 0; c < 3; ++c)
                    out[c] = known ? pal->colors[4 * i + c] : uint8_t(i);
            } else if (image.bpp == 15 || image.bpp == 16) {
                const unsigned word = row[2 * x] | row[2 * x + 1] << 8;
                out[0] = Widen5(word >> 10 & 31), out[1] = Widen5(word >> 5 & 31);
                out[2] = Widen5(word & 31);
            } else {
                const unsigned step = image.bpp / 8;
                const uint8_t* p = row + step * x;
                out[0] = p[2], out[1] = p[1], out[2] = p[0];
                if (step == 4) out[3] = p[3];
            }
        }
    }
    return rgba;
}

// The buffer kept for the page, as {"width":W,"height":H,"pixels":ADDRESS}.
std::string Pixels(std::vector<uint8_t> rgba, unsigned width, unsigned height) {
    buffers.push_back(std::move(rgba));
    return "{\"width\":" + std::to_string(width) + ",\"height\":" + std::to_string(height) +
           ",\"pixels\":" + std::to_string(reinterpret_cast<uintptr_t>(buffers.back().data())) +
           "}";
}

std::string Picture(const ZEMImage& image, const char* format) {
    return "{\"kind\":\"picture\",\"format\":" + Quote(format) +
           ",\"bpp\":" + std::to_string(image.bpp) +
           ",\"image\":" + Pixels(Rgba(image), image.width, image.height) + "}";
}

bool HasExtension(const char* name, const char* extension) {
    const char* dot = std::strrchr(name, '.');
    return dot && strcasecmp(dot + 1, extension) == 0;
}

const char* DescribeArchive(const char* path, int format) {
    std::unique_ptr<ZEMArchive> archive;
    if (format == 1)
        archive = std::make_unique<ZEMArchZEM>();
    else
        archive = std::make_unique<ZEMArchPAK>();
    if (!archive->Open(path)) {
        const std::string why = archive->LastError();
        return Failure(why.empty() ? "the archive cannot be read" : why);
    }
    std::string members;
    for (unsigned i = 0; i < archive->NbFiles(); ++i) {
        members += i ? "," : "";
        members += "{\"name\":" + Quote(archive->FileName(i)) +
                   ",\"size\":" + std::to_string(archive->FileSize(i)) +
                   ",\"date\":" + std::to_string(archive->FileDate(i)) + "}";
    }
    return Answer(std::string("{\"kind\":\"archive\",\"format\":") + Quote(archive->FormatInfo()) +
                  ",\"members\":[" + members + "]}");
}

// Loads the picture at path; a TGA file has no magic: it is read as TGA by its name alone.
bool LoadPicture(const char* path, bool tga, ZEMImage& image) {
    ZEMFile file(path, ZEMResFile::READ);
    return image.Load(file, tga ? ZEMImage::FORMAT_TGA : ZEMImage::FORMAT_DETECT);
}

const char* DescribePicture(const char* path, const char* format) {
    ZEMImage image(1, 1, 8);
    if (!LoadPicture(path, std::strcmp(format, "TGA") == 0, image)) {
        return Failure("the picture cannot be decoded");
    }
    return Answer(Picture(image, format));
}

const char* DescribePalette(const char* path) {
    ZEMFile file(path, ZEMResFile::READ);
    ZEMPal palette(0u);
    if (!palette.Load(file, 0) || palette.nbColors == 0) {
        return Failure("the palette cannot be read");
    }
    std::string colors;
    for (unsigned i = 0; i < palette.nbColors; ++i) {
        const unsigned char* c = palette.colors + 4 * i;
        colors += i ? "," : "";
        colors += "[" + std::to_string(c[0]) + "," + std::to_string(c[1]) + "," +
                  std::to_string(c[2]) + "," + Quote(ZEMConfigMgr::ColorText(c)) + "]";
    }
    return Answer("{\"kind\":\"palette\",\"colors\":[" + colors + "]}");
}

// One line of text drawn by the font, light on dark, in a picture just large enough.
std::string Sample(ZEMFont& font, const char* text) {
    unsigned width = 0, height = 0;
    font.TextSize(text, width, height, ZEMText::NPOS);
    const unsigned margin = 4;
    const unsigned lineHeight = unsigned(std::max(font.ascent + font.descent, int(height)));
    ZEMImage sample(width + 2 * margin, std::max(lineHeight, 1u) + 2 * margin, 32);
    sample.Rectangle(0, 0, sample.width, sample.height, 0xFF202830, ZEMImage::DRAW_COPY);
    ZEMFont::FontParams params;
    params.font = &font;
    params.textColors[1] = 0xFF607080;
    params.textColors[2] = 0xFFA0B0C0;
    params.textColors[3] = 0xFFFFFFFF;
    if (font.format != 2) params.textColors[1] = 0xFFFFFFFF;
    sample.DrawTextEx(int(margin), int(margin), text, params);
    return Pixels(Rgba(sample), sample.width, sample.height);
}

const char* DescribeFont(const char* path, const char* sampleText) {
    ZEMFile file(path, ZEMResFile::READ);
    ZEMFont font(file, 0);
    if (!font.name) return Failure("the font cannot be read");
    // The glyph sheet as the library reads a font file as a picture: greys, brightest white.
    ZEMImage sheet(1, 1, 8);
    file.SeekStart();
    if (!sheet.Load(file, 6)) return Failure("the font's glyph sheet cannot be read");
    char range[64];
    std::snprintf(range, sizeof range, "%u-%u", unsigned(font.firstChar), unsigned(font.lastChar));
    return Answer("{\"kind\":\"font\",\"name\":" + Quote(font.name) + ",\"range\":\"" + range +
                  "\",\"format\":" + std::to_string(font.format) + ",\"ascent\":" +
                  std::to_string(font.ascent) + ",\"descent\":" + std::to_string(font.descent) +
                  ",\"sheet\":" + Pixels(Rgba(sheet), sheet.width, sheet.height) +
                  ",\"sample\":" + Sample(font, sampleText) + "}");
}

// A table: its column names and rows of texts.
struct Table {
    std::string rows;
    void Add(std::initializer_list<std::string> cells) {
        rows += rows.empty() ? "[" : ",[";
        bool first = true;
        for (const std::string& cell : cells) {
            rows += (first ? "" : ",") + Quote(cell.c_str());
            first = false;
        }
        rows += "]";
    }
    const char* Answer(const char* what, const char* columns) const {
        return ::Answer(std::string("{\"kind\":\"table\",\"what\":\"") + what +
                        "\",\"columns\":" + columns + ",\"rows\":[" + rows + "]}");
    }
};

const char* DescribeStrings(const char* path) {
    ZEMFile file(path, ZEMResFile::READ);
    ZEMText text(1u);
    if (!text.Load(file, 0)) return Failure("the string array cannot be read");
    Table table;
    for (unsigned i = 0; i < text.NbSlots(); ++i) {
        if (const char* s = text.GetString(i)) table.Add({std::to_string(i), s});
    }
    return table.Answer("string array", "[\"index\",\"text\"]");
}

const char* DescribeLanguage(const char* path) {
    ZEMTranslator translator;
    if (!translator.Load(path, 0)) return Failure("the language file cannot be read");
    Table table;
    for (unsigned i = 0; i < translator.NbStrings(); ++i)
        table.Add({std::to_string(i), translator.GetString(i)});
    const char* language = translator.GetCurName();
    const std::string what = std::string("language ") + (language ? language : "");
    return table.Answer(what.c_str(), "[\"id\",\"text\"]");
}

const char* DescribeScore(const char* path) {
    ZEMScore score(0, ZEMScore::SCORE_HIGH_FIRST, 0);
    if (!score.Load(path)) return Failure("the score table cannot be read");
    Table table;
    for (unsigned i = 0; i < score.nbEntries; ++i) {
        const ZEMScoreEntry& e = score.entries[i];
        // An empty name marks a free row.
        const std::string name(e.name, strnlen(e.name, sizeof e.name));
        table.Add({std::to_string(i + 1), name.empty() ? "-" : name, std::to_string(e.score),
                   std::to_string(e.level)});
    }
    return table.Answer("score table", "[\"rank\",\"name\",\"score\",\"level\"]");
}

void AddConfigLine(unsigned line, const char* name, const char* value, void* user) {
    static_cast<Table*>(user)->Add({std::to_string(line), name, value});
}

const char* DescribeConfig(const char* path) {
    Table table;
    if (!ZEMConfigMgr::ScanFile(path, AddConfigLine, &table)) {
        return Failure("the configuration cannot be read");
    }
    return table.Answer("configuration", "[\"line\",\"name\",\"value\"]");
}

const char* Describe(const char* path, const char* name) {
    buffers.clear();
    const int archive = ZEMArchive::FindArchiveFormat(path);
    if (archive == 1 || archive == 2) return DescribeArchive(path, archive);
    unsigned char head[16] = {};
    ZEMFile file(path, ZEMResFile::READ);
    if (!file.IsOK()) return Failure("the file cannot be opened");
    const unsigned got = file.Read(head, sizeof head);
    file.Close();
    auto starts = [&](const char* magic) {
        return got >= std::strlen(magic) && std::memcmp(head, magic, std::strlen(magic)) == 0;
    };
    if (starts("ZEMF")) return DescribeFont(path, "ZEMBase 0123 Hello!");
    if (starts("BM")) return DescribePicture(path, "BMP");
    if (starts("GIF8")) return DescribePicture(path, "GIF");
    if (got >= 3 && head[0] == 0x0A && head[1] == 0x05 && head[2] == 0x01) {
        return DescribePicture(path, "PCX");
    }
    if (HasExtension(name, "tga")) return DescribePicture(path, "TGA");
    if (starts("ZEMP") || starts("GIMP Palette") || starts("JASC-PAL") ||
        HasExtension(name, "pal") || HasExtension(name, "gpl")) {
        return DescribePalette(path);
    }
    if (starts("LanG")) return DescribeLanguage(path);
    if (starts("\x04\x03\x02\x01")) return DescribeScore(path);
    if (starts("ZEMT") || HasExtension(name, "txt")) return DescribeStrings(path);
    if (HasExtension(name, "cfg") || HasExtension(name, "ini")) return DescribeConfig(path);
    return Answer("{\"kind\":\"unknown\",\"message\":\"not a kind of file that ZEMBase reads\"}");
}

// The archive at path opened for an edit; null (said in answer) when it cannot be.
std::unique_ptr<ZEMArchive> OpenForEdit(const char* path, unsigned index) {
    std::string why;
    std::unique_ptr<ZEMArchive> archive(ZEMArchive::OpenArchive(path, why));
    if (!archive) {
        Failure(why.empty() ? "the archive cannot be read" : why);
    } else if (index >= archive->NbFiles()) {
        Failure("no such member");
        archive.reset();
    }
    return archive;
}

// The archive described again after an edit, or why the edit failed.
const char* AfterEdit(const char* path, const ZEMArchive& archive, bool done) {
    if (!done) {
        const std::string why = archive.LastError();
        return Failure(why.empty() ? "the archive cannot be changed" : why);
    }
    return Describe(path, "");
}

// Splits a text of lines into its lines.
std::vector<std::string> Lines(const char* text) {
    std::vector<std::string> lines;
    std::string line;
    for (const char* p = text; *p; ++p) {
        if (*p != '\n') {
            line += *p;
            continue;
        }
        lines.push_back(line);
        line.clear();
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// Member index of the archive at path copied out to dest; its name, or null (said in answer).
const char* Extract(const char* path, unsigned index, const char* dest) {
    std::unique_ptr<ZEMArchive> archive(ZEMArchive::OpenArchive(path));
    if (!archive || index >= archive->NbFiles()) {
        Failure("no such member");
        return nullptr;
    }
    std::remove(dest);
    if (!archive->ExtractFile(index, dest)) {
        const std::string why = archive->LastError();
        Failure(why.empty() ? "the member cannot be read" : why);
        return nullptr;
    }
    answer = archive->FileName(index);
    return answer.c_str();
}

} // namespace

extern "C" {

// What the file at path (named name by the user) holds.
EMSCRIPTEN_KEEPALIVE const char* ZemWebDescribe(const char* path, const char* name) {
    return Describe(path, name);
}

// Member index of the archive at path, copied out to dest and described.
EMSCRIPTEN_KEEPALIVE const char* ZemWebOpenMember(const char* path, unsigned index,
                                                  const char* dest) {
    buffers.clear();
    const char* name = Extract(path, index, dest);
    if (!name) return answer.c_str();
    const std::string kept = name;
    return Describe(dest, kept.c_str());
}

// Member index of the archive at path, copied out to dest as it is.
EMSCRIPTEN_KEEPALIVE const char* ZemWebExtract(const char* path, unsigned index, const char* dest) {
    buffers.clear();
    if (!Extract(path, index, dest)) return answer.c_str();
    return Answer("{\"kind\":\"written\"}");
}

// The picture at path (named name by the user) written to dest in the format numbered as
// ZEMImage::Save numbers them.
EMSCRIPTEN_KEEPALIVE const char* ZemWebConvert(const char* path, const char* name, int format,
                                               const char* dest) {
    buffers.clear();
    ZEMImage image(1, 1, 8);
    if (!LoadPicture(path, HasExtension(name, "tga"), image)) {
        return Failure("the picture cannot be decoded");
    }
    if (!image.SaveName(dest, format)) {
        return Failure("the picture cannot be written in this format (" +
                       std::to_string(image.bpp) + " bits per pixel)");
    }
    return Answer("{\"kind\":\"written\"}");
}

// A new archive at dest, ZEM for format 1 and PAK for 2, of the files whose paths and member
// names the texts give one a line; described as an archive.
EMSCRIPTEN_KEEPALIVE const char* ZemWebCreate(int format, const char* dest, const char* paths,
                                              const char* names) {
    buffers.clear();
    const std::vector<std::string> sources = Lines(paths), stored = Lines(names);
    if (sources.empty() || sources.size() != stored.size()) return Failure("no files to store");
    std::vector<const char*> sourceTexts, nameTexts;
    for (size_t i = 0; i < sources.size(); ++i) {
        sourceTexts.push_back(sources[i].c_str());
        nameTexts.push_back(stored[i].c_str());
    }
    std::unique_ptr<ZEMArchive> archive;
    if (format == 1)
        archive = std::make_unique<ZEMArchZEM>();
    else
        archive = std::make_unique<ZEMArchPAK>();
    // The archive would leave such a file out: none is made, as zem makes none.
    for (const std::string& name : stored) {
        if (name.size() <= archive->MaxNameLength()) continue;
        return Failure("the name '" + name + "' is too long (" + std::to_string(name.size()) +
                       " bytes; the format holds " + std::to_string(archive->MaxNameLength()) +
                       ")");
    }
    const bool made = archive->CreateFrom(dest, sourceTexts.data(), nameTexts.data(),
                                          unsigned(sources.size()), true);
    return AfterEdit(dest, *archive, made);
}

// Removes member index of the archive at path; the archive described again.
EMSCRIPTEN_KEEPALIVE const char* ZemWebRemove(const char* path, unsigned index) {
    buffers.clear();
    std::unique_ptr<ZEMArchive> archive = OpenForEdit(path, index);
    if (!archive) return answer.c_str();
    return AfterEdit(path, *archive, archive->RemoveFile(index));
}

// Renames member index of the archive at path (folders may be given); described again.
EMSCRIPTEN_KEEPALIVE const char* ZemWebRename(const char* path, unsigned index, const char* name) {
    buffers.clear();
    std::unique_ptr<ZEMArchive> archive = OpenForEdit(path, index);
    if (!archive) return answer.c_str();
    return AfterEdit(path, *archive, archive->RenameMember(index, name));
}

// The font at path with text as its sample line.
EMSCRIPTEN_KEEPALIVE const char* ZemWebFontSample(const char* path, const char* text) {
    buffers.clear();
    return DescribeFont(path, text);
}

// The tour's drawing scene at 32 or 8 bits.
EMSCRIPTEN_KEEPALIVE const char* ZemWebScene(unsigned bpp) {
    buffers.clear();
    return Answer(Picture(*DrawTourScene(bpp), "scene"));
}

// Decodes the picture at path the given number of times (for timing); false when it fails.
EMSCRIPTEN_KEEPALIVE bool ZemWebDecode(const char* path, unsigned times) {
    for (unsigned i = 0; i < times; ++i) {
        ZEMFile file(path, ZEMResFile::READ);
        ZEMImage image(1, 1, 8);
        if (!image.Load(file, 0)) return false;
    }
    return true;
}

} // extern "C"
