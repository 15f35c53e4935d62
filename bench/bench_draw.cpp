// Drawing beside the plain memory loops and SDL2 on pictures of the same size and depth, 8 and
// 32 bits (the argument of each benchmark). Goals, as ratios of times in one run:
// - BM_Rectangle within 1.2x of BM_Memset (8 bits) or BM_FillLoop (32 bits), and no slower than
//   BM_SDL_FillRect;
// - BM_CopyImage (a 256 x 256 block) within 1.2x of BM_MemcpyRows and no slower than
//   BM_SDL_Blit;
// - BM_TCopyImage (a 64 x 64 sprite with a transparent key, 1,000 times) no slower than
//   BM_SDL_BlitKey, SDL's run-length accelerated blit (what SDL does with a keyed sprite when
//   asked to go fast; the encoding is made once, before the timing).
// - BM_BlendImage (a 32-bit sprite with alpha laid over a 24- or 32-bit picture: 64 x 64, 1,000
//   times, or 256 x 256, 16 times) no slower than BM_SDL_BlitBlend, SDL's blended blit of the
//   same surfaces (ARGB8888 onto ARGB8888 or BGR24);
// - BM_ConvertTo (a 1024 x 1024 picture of 8 or 24 bits to 32 bits) no slower than
//   BM_SDL_ConvertSurface, SDL_ConvertSurfaceFormat to ARGB8888; both make a new buffer.
// HLine, Line, Disk and DrawText have no peer: their figures are for the record.
#include <zem/graphics.h>

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const unsigned WIDTH = 1024;
const unsigned HEIGHT = 768;
const unsigned BLOCK = 256;
const unsigned SPRITE = 64;
const int SPRITES = 1000;
const unsigned KEY = 0;

unsigned Color(unsigned bpp) {
    return bpp == 8 ? 0x5A : 0xFF336699u;
}

std::unique_ptr<ZEMImage> Picture(unsigned width, unsigned height, unsigned bpp) {
    auto image = std::make_unique<ZEMImage>(width, height, bpp);
    std::memset(image->data, 0x11, size_t(image->height) * image->pitch);
    return image;
}

// The sprite: a disk of colour on the key, with a ring of another colour; about 30% is key.
std::unique_ptr<ZEMImage> Sprite(unsigned bpp) {
    auto sprite = Picture(SPRITE, SPRITE, bpp);
    sprite->Rectangle(0, 0, SPRITE, SPRITE, KEY, ZEMImage::DRAW_COPY);
    sprite->Disk(32, 32, 36, Color(bpp), ZEMImage::DRAW_COPY);
    sprite->Circle(32, 32, 20, bpp == 8 ? 0x21 : 0xFF00FF00u, ZEMImage::DRAW_COPY);
    return sprite;
}

// Where the i-th sprite goes: spread over the picture, always wholly inside.
int SpotX(int i) {
    return (i * 97) % int(WIDTH - SPRITE);
}
int SpotY(int i) {
    return (i * 61) % int(HEIGHT - SPRITE);
}

void SetBytes(benchmark::State& state, size_t perPass) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(perPass));
}

// ---- SDL surfaces of the same size and depth, holding the same pixels ----

struct Surface {
    SDL_Surface* surface;
    explicit Surface(const ZEMImage& image) {
        const Uint32 format = image.bpp == 8 ? SDL_PIXELFORMAT_INDEX8 : SDL_PIXELFORMAT_ARGB8888;
        surface = SDL_CreateRGBSurfaceWithFormat(0, int(image.width), int(image.height), image.bpp,
                                                 format);
        for (unsigned y = 0; y < image.height; ++y)
            std::memcpy(static_cast<uint8_t*>(surface->pixels) + size_t(y) * surface->pitch,
                        image.data + size_t(y) * image.pitch, image.pitch);
        SDL_SetSurfaceBlendMode(surface, SDL_BLENDMODE_NONE);
        if (surface->format->palette) {
            // One palette shared in effect: the blit is then a plain copy of indexes.
            SDL_Color grey[256];
            for (int i = 0; i < 256; ++i)
                grey[i] = {Uint8(i), Uint8(i), Uint8(i), 255};
            SDL_SetPaletteColors(surface->format->palette, grey, 0, 256);
        }
    }
    ~Surface() { SDL_FreeSurface(surface); }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
};

// ---- Filling the whole picture ----

void BM_Rectangle(benchmark::State& state) {
    const unsigned bpp = unsigned(state.range(0));
    auto image = Picture(WIDTH, HEIGHT, bpp);
    for (auto _ : state) {
        image->Rectangle(0, 0, WIDTH, HEIGHT, Color(bpp), ZEMImage::DRAW_COPY);
        benchmark::DoNotOptimize(image->data);
        benchmark::ClobberMemory();
    }
    SetBytes(state, size_t(HEIGHT) * image->pitch);
}
BENCHMARK(BM_Rectangle)->Arg(8)->Arg(32);

void BM_Memset(benchmark::State& state) {
    std::vector<uint8_t> pixels(size_t(WIDTH) * HEIGHT);
    for (auto _ : state) {
        std::memset(pixels.data(), 0x5A, pixels.size());
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, pixels.size());
}
BENCHMARK(BM_Memset);

void BM_FillLoop(benchmark::State& state) {
    std::vector<uint32_t> pixels(size_t(WIDTH) * HEIGHT);
    const uint32_t color = Color(32);
    for (auto _ : state) {
        for (uint32_t& pixel : pixels)
            pixel = color;
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, pixels.size() * 4);
}
BENCHMARK(BM_FillLoop);

void BM_SDL_FillRect(benchmark::State& state) {
    const unsigned bpp = unsigned(state.range(0));
    auto image = Picture(WIDTH, HEIGHT, bpp);
    Surface target(*image);
    for (auto _ : state) {
        SDL_FillRect(target.surface, nullptr, Color(bpp));
        benchmark::DoNotOptimize(target.surface->pixels);
        benchmark::ClobberMemory();
    }
    SetBytes(state, size_t(HEIGHT) * image->pitch);
}
BENCHMARK(BM_SDL_FillRect)->Arg(8)->Arg(32);

// ---- Copying a 256 x 256 block ----

void BM_CopyImage(benchmark::State& state) {
    const unsigned bpp = unsigned(state.range(0));
    auto image = Picture(WIDTH, HEIGHT, bpp);
    auto block = Picture(BLOCK, BLOCK, bpp);
    for (auto _ : state) {
        image->CopyImage(100, 100, block.get(), 0, 0, BLOCK, BLOCK);
        benchmark::DoNotOptimize(image->data);
        benchmark::ClobberMemory();
    }
    SetBytes(state, size_t(BLOCK) * block->pitch);
}
BENCHMARK(BM_CopyImage)->Arg(8)->Arg(32);

void BM_MemcpyRows(benchmark::State& state) {
    const unsigned bpp = unsigned(state.range(0));
    auto image = Picture(WIDTH, HEIGHT, bpp);
    auto block = Picture(BLOCK, BLOCK, bpp);
    const size_t bytes = bpp / 8;
    for (auto _ : state) {
        for (unsigned y = 0; y < BLOCK; ++y)
            std::memcpy(image->data + (100 + y) * size_t(image->pitch) + 100 * bytes,
                        block->data + y * size_t(block->pitch), block->pitch);
        benchmark::DoNotOptimize(image->data);
        benchmark::ClobberMemory();
    }
    SetBytes(state, size_t(BLOCK) * block->pitch);
}
BENCHMARK(BM_MemcpyRows)->Arg(8)->Arg(32);

void BM_SDL_Blit(benchmark::State& state) {
    const unsigned bpp = unsigned(state.range(0));
    auto image = Picture(WIDTH, HEIGHT, bpp);
    auto block = Picture(BLOCK, BLOCK, bpp);
    Surface target(*image), source(*block);
    for (auto _ : state) {
        SDL_Rect to = {100, 100, int(BLOCK), int(BLOCK)};
        SDL_BlitSurface(source.surface, nullptr, target.surface, &to);
        benchmark::DoNotOptimize(target.surface->pixels);
        benchmark::ClobberMemory();
    }
    SetBytes(state, size_t(BLOCK) * block->pitch);
}
BENCHMARK(BM_SDL_Blit)->Arg(8)->Arg(32);

// ---- A 64 x 64 sprite with a transparent key, 1,000 times ----

void BM_TCopyImage(benchmark::State& state) {
    const unsigned bpp = unsigned(state.range(0));
    auto image = Picture(WIDTH, HEIGHT, bpp);
    auto sprite = Sprite(bpp);
    for (auto _ : state) {
        for (int i = 0; i < SPRITES; ++i)
            image->TCopyImage(SpotX(i), SpotY(i), KEY, sprite.get(), 0, 0, SPRITE, SPRITE);
        benchmark::DoNotOptimize(image->data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * SPRITES);
}
BENCHMARK(BM_TCopyImage)->Arg(8)->Arg(32);

void BM_SDL_BlitKey(benchmark::State& state) {
    const unsigned bpp = unsigned(state.range(0));
    auto image = Picture(WIDTH, HEIGHT, bpp);
    auto sprite = Sprite(bpp);
    Surface target(*image), source(*sprite);
    SDL_SetColorKey(source.surface, SDL_TRUE, KEY);
    SDL_SetSurfaceRLE(source.surface, 1);
    for (auto _ : state) {
        for (int i = 0; i < SPRITES; ++i) {
            SDL_Rect to = {SpotX(i), SpotY(i), int(SPRITE), int(SPRITE)};
            SDL_BlitSurface(source.surface, nullptr, target.surface, &to);
        }
        benchmark::DoNotOptimize(target.surface->pixels);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * SPRITES);
}
BENCHMARK(BM_SDL_BlitKey)->Arg(8)->Arg(32);

// ---- A sprite with alpha laid over the picture ----

// A disk, opaque inside, a translucent ring around it, an edge that fades out, nothing in the
// corners: the mix of alphas of a drawn sprite.
std::unique_ptr<ZEMImage> AlphaSprite(unsigned size) {
    auto sprite = Picture(size, size, 32);
    const float r = size / 2.0f;
    for (unsigned y = 0; y < size; ++y) {
        for (unsigned x = 0; x < size; ++x) {
            const float dx = x + 0.5f - r, dy = y + 0.5f - r;
            const float d = std::sqrt(dx * dx + dy * dy) / r;
            const unsigned alpha = d < 0.7f   ? 255u
                                   : d < 0.9f ? 160u
                                   : d < 1.0f ? unsigned((1.0f - d) * 1600.0f)
                                              : 0u;
            sprite->HLine(int(x), int(y), 1,
                          alpha << 24 | (x * 4) << 16 | (y * 4 & 0xFF) << 8 | 0x40,
                          ZEMImage::DRAW_COPY);
        }
    }
    return sprite;
}

int Blends(unsigned size) {
    return size == SPRITE ? SPRITES : 16;
}

int BlendX(int i, unsigned size) {
    return (i * 97) % int(WIDTH - size);
}
int BlendY(int i, unsigned size) {
    return (i * 61) % int(HEIGHT - size);
}

void BM_BlendImage(benchmark::State& state) {
    const unsigned size = unsigned(state.range(0)), bpp = unsigned(state.range(1));
    auto image = Picture(WIDTH, HEIGHT, bpp);
    auto sprite = AlphaSprite(size);
    for (auto _ : state) {
        for (int i = 0; i < Blends(size); ++i)
            image->BlendImage(BlendX(i, size), BlendY(i, size), sprite.get(), 0, 0, size, size);
        benchmark::DoNotOptimize(image->data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * Blends(size));
}
BENCHMARK(BM_BlendImage)->Args({64, 24})->Args({64, 32})->Args({256, 24})->Args({256, 32});

void BM_SDL_BlitBlend(benchmark::State& state) {
    const unsigned size = unsigned(state.range(0)), bpp = unsigned(state.range(1));
    auto image = Picture(WIDTH, HEIGHT, bpp);
    auto sprite = AlphaSprite(size);
    Surface source(*sprite);
    SDL_SetSurfaceBlendMode(source.surface, SDL_BLENDMODE_BLEND);
    const Uint32 format = bpp == 24 ? SDL_PIXELFORMAT_BGR24 : SDL_PIXELFORMAT_ARGB8888;
    SDL_Surface* target =
        SDL_CreateRGBSurfaceWithFormat(0, int(WIDTH), int(HEIGHT), int(bpp), format);
    for (auto _ : state) {
        for (int i = 0; i < Blends(size); ++i) {
            SDL_Rect to = {BlendX(i, size), BlendY(i, size), int(size), int(size)};
            SDL_BlitSurface(source.surface, nullptr, target, &to);
        }
        benchmark::DoNotOptimize(target->pixels);
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(target);
    state.SetItemsProcessed(int64_t(state.iterations()) * Blends(size));
}
BENCHMARK(BM_SDL_BlitBlend)->Args({64, 24})->Args({64, 32})->Args({256, 24})->Args({256, 32});

// ---- A 1024 x 1024 picture of 8 or 24 bits to 32 bits ----

const unsigned SIDE = 1024;

// The picture to convert: varied pixels, and a palette of 256 colours on 8 bits.
std::unique_ptr<ZEMImage> Varied(unsigned bpp) {
    auto image = Picture(SIDE, SIDE, bpp);
    for (size_t i = 0; i < size_t(SIDE) * image->pitch; ++i)
        image->data[i] = uint8_t(i * 7 + i / 4099);
    if (bpp != 8) return image;
    auto* palette = new ZEMPal(256);
    for (unsigned i = 0; i < 256 * 4; ++i)
        palette->colors[i] = uint8_t(i * 13);
    image->ReplacePalette(palette);
    return image;
}

void BM_ConvertTo(benchmark::State& state) {
    const unsigned bpp = unsigned(state.range(0));
    const auto original = Varied(bpp);
    for (auto _ : state) {
        state.PauseTiming();
        ZEMImage image(original.get());
        state.ResumeTiming();
        image.ConvertTo(32);
        benchmark::DoNotOptimize(image.data);
        benchmark::ClobberMemory();
    }
    SetBytes(state, size_t(SIDE) * SIDE * 4);
}
BENCHMARK(BM_ConvertTo)->Arg(8)->Arg(24)->Unit(benchmark::kMicrosecond);

void BM_SDL_ConvertSurface(benchmark::State& state) {
    const unsigned bpp = unsigned(state.range(0));
    const auto original = Varied(bpp);
    const Uint32 format = bpp == 8 ? SDL_PIXELFORMAT_INDEX8 : SDL_PIXELFORMAT_BGR24;
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormat(0, int(SIDE), int(SIDE), int(bpp), format);
    for (unsigned y = 0; y < SIDE; ++y)
        std::memcpy(static_cast<uint8_t*>(source->pixels) + size_t(y) * source->pitch,
                    original->data + size_t(y) * original->pitch, original->pitch);
    if (bpp == 8) {
        SDL_Color colors[256];
        for (int i = 0; i < 256; ++i) {
            const uint8_t* c = original->palette->colors + 4 * i;
            colors[i] = {c[0], c[1], c[2], 255};
        }
        SDL_SetPaletteColors(source->format->palette, colors, 0, 256);
    }
    for (auto _ : state) {
        SDL_Surface* converted = SDL_ConvertSurfaceFormat(source, SDL_PIXELFORMAT_ARGB8888, 0);
        benchmark::DoNotOptimize(converted->pixels);
        benchmark::ClobberMemory();
        SDL_FreeSurface(converted);
    }
    SDL_FreeSurface(source);
    SetBytes(state, size_t(SIDE) * SIDE * 4);
}
BENCHMARK(BM_SDL_ConvertSurface)->Arg(8)->Arg(24)->Unit(benchmark::kMicrosecond);

// ---- No peer ----

void BM_HLine(benchmark::State& state) {
    const unsigned bpp = unsigned(state.range(0));
    auto image = Picture(WIDTH, HEIGHT, bpp);
    for (auto _ : state) {
        for (int y = 0; y < int(HEIGHT); ++y)
            image->HLine(y / 3, y, WIDTH / 2, Color(bpp), ZEMImage::DRAW_COPY);
        benchmark::DoNotOptimize(image->data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * HEIGHT * (WIDTH / 2));
}
BENCHMARK(BM_HLine)->Arg(8)->Arg(32);

void BM_Line(benchmark::State& state) {
    const unsigned bpp = unsigned(state.range(0));
    auto image = Picture(WIDTH, HEIGHT, bpp);
    for (auto _ : state) {
        for (int i = 0; i < 64; ++i)
            image->Line(i * 16, 0, int(WIDTH) - 1 - i * 16, int(HEIGHT) - 1, Color(bpp),
                        ZEMImage::DRAW_COPY);
        benchmark::DoNotOptimize(image->data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 64 * HEIGHT); // pixels, about
}
BENCHMARK(BM_Line)->Arg(8)->Arg(32);

void BM_Disk(benchmark::State& state) {
    const unsigned bpp = unsigned(state.range(0));
    auto image = Picture(WIDTH, HEIGHT, bpp);
    for (auto _ : state) {
        image->Disk(512, 384, 300, Color(bpp), ZEMImage::DRAW_COPY);
        benchmark::DoNotOptimize(image->data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 282743); // pixels, about pi r^2
}
BENCHMARK(BM_Disk)->Arg(8)->Arg(32);

// A 1-bit font of 8 x 12 glyphs for the printable codes, each glyph a different pattern.
std::unique_ptr<ZEMFont> Font() {
    const unsigned count = 95;
    ZEMImage picture(8 * count, 12, 8);
    for (unsigned y = 0; y < 12; ++y)
        for (unsigned x = 0; x < 8 * count; ++x)
            picture.data[y * picture.pitch + x] = ((x * 7 + y * 3 + x / 8) % 5) < 2;
    auto font = std::make_unique<ZEMFont>("bench", 32, 126, &picture, 1);
    for (unsigned code = 33; code <= 126; ++code) {
        ZEMChar glyph = {uint16_t((code - 32) * 8), 0, 8, 12, 2};
        font->SetChar(static_cast<unsigned char>(code), &glyph);
    }
    font->ascent = 10;
    font->descent = 2;
    font->spacing = 1;
    font->whiteSize = 6;
    return font;
}

void BM_DrawText(benchmark::State& state) {
    const unsigned bpp = unsigned(state.range(0));
    auto image = Picture(WIDTH, HEIGHT, bpp);
    auto font = Font();
    std::string line;
    for (unsigned i = 0; i < 80; ++i)
        line += char(i % 7 == 6 ? ' ' : 33 + (i * 13) % 94);
    for (auto _ : state) {
        image->DrawText(4, 100, line.c_str(), Color(bpp), font.get(), ZEMFont::ALIGN_TOP);
        benchmark::DoNotOptimize(image->data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 80);
}
BENCHMARK(BM_DrawText)->Arg(8)->Arg(32);

} // namespace
