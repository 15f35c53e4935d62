// Building DejaVu Sans 16 px, codes 32 to 255, in each format, beside FreeType alone opening the
// same file and rendering the same glyphs (the work the builder cannot avoid).
#include <zem/ZEMConfig.h>

#if ZEM_HAS_FREETYPE

#include <zem/graphics/ZEMFont.h>
#include <zem/graphics/ZEMFontBuilder.h>

#include <benchmark/benchmark.h>

#include <ft2build.h>
#include FT_FREETYPE_H

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

// FreeType alone: open the face, render every code of the range, touch each bitmap.
void BM_FreeTypeRender(benchmark::State& state) {
    if (!HaveFont(state)) return;
    const FT_Int32 flags =
        state.range(0) == 1 ? FT_LOAD_RENDER | FT_LOAD_TARGET_MONO : FT_LOAD_RENDER;
    for (auto _ : state) {
        FT_Library library;
        FT_Face face;
        FT_Init_FreeType(&library);
        FT_New_Face(library, DEJAVU, 0, &face);
        FT_Set_Pixel_Sizes(face, 0, SIZE);
        unsigned ink = 0;
        for (unsigned code = FIRST; code <= LAST; ++code) {
            const FT_UInt index = FT_Get_Char_Index(face, code);
            if (index != 0 && FT_Load_Glyph(face, index, flags) == 0)
                ink += face->glyph->bitmap.rows;
        }
        benchmark::DoNotOptimize(ink);
        FT_Done_Face(face);
        FT_Done_FreeType(library);
    }
}
BENCHMARK(BM_FreeTypeRender)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);

} // namespace

#endif
