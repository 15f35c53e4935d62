// Building DejaVu Sans 16 px, codes 32 to 255, in each format, beside FreeType alone reading the
// same file, opening it as a memory face as the builder does and rendering the same glyphs (the
// work the builder cannot avoid): BM_OpenAndBuild against BM_FreeTypeOpenAndRender, BM_Build
// against BM_FreeTypeRender.
#include <zem/ZEMConfig.h>

#if ZEM_HAS_FREETYPE

#include <zem/graphics/ZEMFont.h>
#include <zem/graphics/ZEMFontBuilder.h>

#include <benchmark/benchmark.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <fstream>
#include <iterator>
#include <vector>

#include <sys/stat.h>

namespace {

const char DEJAVU[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr unsigned SIZE = 16, FIRST = 32, LAST = 255;

bool HaveFont(benchmark::State& state) {
    struct stat status;
    if (stat(DEJAVU, &status) == 0) return true;
    state.SkipWithError("DejaVu Sans is missing (Debian fonts-dejavu-core)");
    return false;
}

ZEMFontBuilder::Options Options(const benchmark::State& state) {
    ZEMFontBuilder::Options options;
    options.size = SIZE;
    options.format = static_cast<unsigned char>(state.range(0));
    options.first = FIRST;
    options.last = LAST;
    return options;
}

// The whole job of 'zem font build' short of writing: open the file, build the font.
void BM_OpenAndBuild(benchmark::State& state) {
    if (!HaveFont(state)) return;
    const ZEMFontBuilder::Options options = Options(state);
    for (auto _ : state) {
        ZEMFontBuilder builder;
        ZEMFont font(nullptr);
        bool built = builder.Open(DEJAVU) && builder.Build(options, font);
        benchmark::DoNotOptimize(built);
        benchmark::DoNotOptimize(font.bitmap);
    }
}
BENCHMARK(BM_OpenAndBuild)->Arg(1)->Arg(2)->Arg(8)->Unit(benchmark::kMillisecond);

// Building again from a file already open.
void BM_Build(benchmark::State& state) {
    if (!HaveFont(state)) return;
    const ZEMFontBuilder::Options options = Options(state);
    ZEMFontBuilder builder;
    builder.Open(DEJAVU);
    for (auto _ : state) {
        ZEMFont font(nullptr);
        bool built = builder.Build(options, font);
        benchmark::DoNotOptimize(built);
    }
}
BENCHMARK(BM_Build)->Arg(1)->Arg(2)->Arg(8)->Unit(benchmark::kMillisecond);

// The file's bytes, read as the builder reads them.
std::vector<FT_Byte> FontBytes() {
    std::ifstream in(DEJAVU, std::ios::binary);
    return std::vector<FT_Byte>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

FT_Int32 LoadFlags(const benchmark::State& state) {
    return state.range(0) == 1 ? FT_LOAD_RENDER | FT_LOAD_TARGET_MONO : FT_LOAD_RENDER;
}

// Renders every code of the range at the builder's size, touching each bitmap.
unsigned RenderRange(FT_Face face, FT_Int32 flags) {
    FT_Set_Pixel_Sizes(face, 0, SIZE);
    unsigned ink = 0;
    for (unsigned code = FIRST; code <= LAST; ++code) {
        const FT_UInt index = FT_Get_Char_Index(face, code);
        if (index != 0 && FT_Load_Glyph(face, index, flags) == 0) ink += face->glyph->bitmap.rows;
    }
    return ink;
}

// FreeType alone, the peer of BM_OpenAndBuild: read the file, open the face from memory as the
// builder does, render every code of the range.
void BM_FreeTypeOpenAndRender(benchmark::State& state) {
    if (!HaveFont(state)) return;
    for (auto _ : state) {
        const std::vector<FT_Byte> bytes = FontBytes();
        FT_Library library;
        FT_Face face;
        FT_Init_FreeType(&library);
        FT_New_Memory_Face(library, bytes.data(), FT_Long(bytes.size()), 0, &face);
        benchmark::DoNotOptimize(RenderRange(face, LoadFlags(state)));
        FT_Done_Face(face);
        FT_Done_FreeType(library);
    }
}
BENCHMARK(BM_FreeTypeOpenAndRender)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);

// The peer of BM_Build: the same memory face, open already.
void BM_FreeTypeRender(benchmark::State& state) {
    if (!HaveFont(state)) return;
    const std::vector<FT_Byte> bytes = FontBytes();
    FT_Library library;
    FT_Face face;
    FT_Init_FreeType(&library);
    FT_New_Memory_Face(library, bytes.data(), FT_Long(bytes.size()), 0, &face);
    for (auto _ : state)
        benchmark::DoNotOptimize(RenderRange(face, LoadFlags(state)));
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}
BENCHMARK(BM_FreeTypeRender)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);

} // namespace

#endif
