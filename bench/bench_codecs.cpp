// The image codecs beside stb_image, giflib and SDL2_image on the same 1024 x 1024 pictures.
// Decoding: each file is made once by our writers (the GIF by giflib) and decoded from memory by
// us and by every peer that reads the format. Encoding: BMP and TGA beside stb_image_write, PCX
// alone (no peer writes it). Both writers make the same layout (40-byte BMP header, bottom-up
// rows; TGA type 2 or 10 with descriptor 8, bottom-up, packets within a row): stb is given the
// picture in its red-first order and its file is compared with ours, the label telling whether
// they hold the same bytes (BMP header fields that readers ignore and run-length packets may
// differ). stb turns each pixel to
// blue-first as it writes, which ours, holding blue-first pixels, need not do. The figures to
// compare are ratios of CPU times in one run; the goal: ours no slower than the fastest peer.
#include <zem/graphics.h>
#include <zem/stream.h>

#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>
#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const unsigned SIZE = 1024;

// A picture of smooth areas, flat blocks and noise, as games draw them.
std::unique_ptr<ZEMImage> MakePicture(unsigned bpp) {
    auto image = std::make_unique<ZEMImage>(SIZE, SIZE, bpp);
    std::mt19937 random(9);
    const unsigned bytes = (bpp + 7) / 8;
    for (unsigned y = 0; y < SIZE; ++y) {
        for (unsigned x = 0; x < SIZE; ++x) {
            uint8_t* p = image->data + (y * SIZE + x) * bytes;
            const bool noise = (x / 128 + y / 128) % 4 == 3;
            const bool flat = (x / 64 + y / 64) % 3 == 0;
            for (unsigned b = 0; b < bytes; ++b) {
                const unsigned smooth = b == 0 ? x / 4 : b == 1 ? y / 4 : (x + y) / 8;
                p[b] = uint8_t(noise ? random() : flat ? 40 * b + 17 : smooth);
            }
        }
    }
    if (bpp == 8) {
        auto pal = new ZEMPal(256);
        for (unsigned i = 0; i < 1024; ++i)
            pal->colors[i] = uint8_t(i * 7);
        image->ReplacePalette(pal);
    }
    return image;
}

// The bytes our writer makes of the picture in the given format.
Bytes Encode(const ZEMImage& image, int format) {
    Bytes out(64 * 1024 + 3 * size_t(image.height) * image.pitch);
    ZEMMemFile file(unsigned(out.size()), ZEMResFile::READ | ZEMResFile::WRITE, out.data());
    if (!const_cast<ZEMImage&>(image).Save(file, format)) std::abort();
    // The writers leave the stream at the end, but BMP's after its size field, which holds it.
    const size_t end = file.GetPos();
    out.resize(format == 1 ? out[2] | out[3] << 8 | out[4] << 16 | size_t(out[5]) << 24 : end);
    return out;
}

int WriteGifBytes(GifFileType* gif, const GifByteType* data, int size) {
    auto out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + size);
    return size;
}

// The 8-bit picture as a GIF file written by giflib.
Bytes EncodeGif(const ZEMImage& image) {
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, WriteGifBytes, &error);
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    for (int i = 0; i < 256; ++i) {
        map->Colors[i] = {image.palette->colors[4 * i], image.palette->colors[4 * i + 1],
                          image.palette->colors[4 * i + 2]};
    }
    EGifPutScreenDesc(gif, SIZE, SIZE, 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, SIZE, SIZE, false, nullptr);
    for (unsigned y = 0; y < SIZE; ++y)
        EGifPutLine(gif, image.data + y * SIZE, SIZE);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

// The picture's pixels red first, as stb takes them.
Bytes RedFirst(const ZEMImage& image) {
    const unsigned bytes = image.bpp / 8;
    Bytes pixels(image.data, image.data + size_t(image.height) * image.pitch);
    for (size_t i = 0; i < pixels.size(); i += bytes)
        std::swap(pixels[i], pixels[i + 2]);
    return pixels;
}

struct Files {
    std::unique_ptr<ZEMImage> pal8 = MakePicture(8);
    std::unique_ptr<ZEMImage> rgb24 = MakePicture(24);
    std::unique_ptr<ZEMImage> rgba32 = MakePicture(32);
    Bytes rgb24RedFirst = RedFirst(*rgb24);
    Bytes rgba32RedFirst = RedFirst(*rgba32);
    Bytes bmp8 = Encode(*pal8, 1);
    Bytes bmp24 = Encode(*rgb24, 1);
    Bytes tga32 = Encode(*rgba32, 4);
    Bytes tga32rle = Encode(*rgba32, 5);
    Bytes pcx8 = Encode(*pal8, 2);
    Bytes pcx24 = Encode(*rgb24, 2);
    Bytes gif8 = EncodeGif(*pal8);
};

const Files& TheFiles() {
    static Files files;
    return files;
}

const Bytes& FileNamed(int which) {
    const Files& f = TheFiles();
    const Bytes* all[] = {&f.bmp8, &f.bmp24, &f.tga32, &f.tga32rle, &f.pcx8, &f.pcx24, &f.gif8};
    return *all[which];
}

// Argument of the decoding benchmarks: which file.
enum { BMP8, BMP24, TGA32, TGA32_RLE, PCX8, PCX24, GIF8 };
const char* const NAMES[] = {"bmp8", "bmp24", "tga32", "tga32rle", "pcx8", "pcx24", "gif8"};

void Label(benchmark::State& state, int which) {
    state.SetLabel(NAMES[which]);
    state.SetBytesProcessed(int64_t(state.iterations()) * SIZE * SIZE);
}

void BM_Decode_ZEM(benchmark::State& state) {
    const int which = int(state.range(0));
    Bytes bytes = FileNamed(which);
    for (auto _ : state) {
        ZEMMemFile file(unsigned(bytes.size()), ZEMResFile::READ, bytes.data());
        ZEMImage image(0, 0, 8);
        if (!image.Load(file, 0)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(image.data);
    }
    Label(state, which);
}

void BM_Decode_stb(benchmark::State& state) {
    const int which = int(state.range(0));
    const Bytes& bytes = FileNamed(which);
    for (auto _ : state) {
        int w, h, n;
        stbi_uc* pixels = stbi_load_from_memory(bytes.data(), int(bytes.size()), &w, &h, &n, 0);
        if (!pixels) state.SkipWithError(stbi_failure_reason());
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    Label(state, which);
}

void BM_Decode_SDL2_image(benchmark::State& state) {
    const int which = int(state.range(0));
    const Bytes& bytes = FileNamed(which);
    const char* type[] = {"BMP", "BMP", "TGA", "TGA", "PCX", "PCX", "GIF"};
    for (auto _ : state) {
        SDL_RWops* rw = SDL_RWFromConstMem(bytes.data(), int(bytes.size()));
        SDL_Surface* surface = IMG_LoadTyped_RW(rw, 1, type[which]);
        if (!surface) state.SkipWithError(IMG_GetError());
        benchmark::DoNotOptimize(surface);
        SDL_FreeSurface(surface);
    }
    Label(state, which);
}

struct GifSource {
    const Bytes* bytes;
    size_t at;
};

int ReadGifBytes(GifFileType* gif, GifByteType* to, int size) {
    auto source = static_cast<GifSource*>(gif->UserData);
    const size_t n = std::min(size_t(size), source->bytes->size() - source->at);
    std::memcpy(to, source->bytes->data() + source->at, n);
    source->at += n;
    return int(n);
}

void BM_Decode_giflib(benchmark::State& state) {
    const Bytes& bytes = FileNamed(GIF8);
    for (auto _ : state) {
        GifSource source = {&bytes, 0};
        int error = 0;
        GifFileType* gif = DGifOpen(&source, ReadGifBytes, &error);
        if (!gif || DGifSlurp(gif) != GIF_OK) state.SkipWithError("giflib failed");
        benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
        DGifCloseFile(gif, &error);
    }
    Label(state, GIF8);
}

BENCHMARK(BM_Decode_ZEM)->DenseRange(BMP8, GIF8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode_stb)
    ->Arg(BMP8)
    ->Arg(BMP24)
    ->Arg(TGA32)
    ->Arg(TGA32_RLE)
    ->Arg(GIF8)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode_SDL2_image)->DenseRange(BMP8, GIF8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode_giflib)->Unit(benchmark::kMillisecond);

// Encoding: argument 0 BMP 24-bit, 1 TGA 32-bit, 2 TGA 32-bit run-length, 3 PCX 24-bit.
const char* const ENCODED[] = {"bmp24", "tga32", "tga32rle", "pcx24"};

void BM_Encode_ZEM(benchmark::State& state) {
    const int which = int(state.range(0));
    const Files& f = TheFiles();
    const ZEMImage& image = which == 0 || which == 3 ? *f.rgb24 : *f.rgba32;
    const int format[] = {1, 4, 5, 2};
    Bytes out(64 * 1024 + 3 * size_t(SIZE) * image.pitch);
    for (auto _ : state) {
        ZEMMemFile file(unsigned(out.size()), ZEMResFile::READ | ZEMResFile::WRITE, out.data());
        if (!const_cast<ZEMImage&>(image).Save(file, format[which]))
            state.SkipWithError("save failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(ENCODED[which]);
    state.SetBytesProcessed(int64_t(state.iterations()) * SIZE * SIZE);
}

void AppendBytes(void* context, void* data, int size) {
    auto out = static_cast<Bytes*>(context);
    out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

// How two files differ, for the label.
std::string Sameness(const Bytes& ours, const Bytes& theirs) {
    if (ours.size() != theirs.size()) {
        return "sizes " + std::to_string(ours.size()) + " and " + std::to_string(theirs.size());
    }
    size_t first = ours.size(), count = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        if (ours[i] == theirs[i]) continue;
        first = std::min(first, i);
        ++count;
    }
    if (count == 0) return "same bytes";
    return std::to_string(count) + " bytes differ, the first at " + std::to_string(first);
}

void BM_Encode_stb(benchmark::State& state) {
    const int which = int(state.range(0));
    const Files& f = TheFiles();
    const Bytes& pixels = which == 0 ? f.rgb24RedFirst : f.rgba32RedFirst;
    const int channels = which == 0 ? 3 : 4;
    Bytes out;
    out.reserve(64 * 1024 + 3 * size_t(SIZE) * SIZE * channels);
    stbi_write_tga_with_rle = which == 2;
    for (auto _ : state) {
        out.clear();
        const int done =
            which == 0
                ? stbi_write_bmp_to_func(AppendBytes, &out, SIZE, SIZE, channels, pixels.data())
                : stbi_write_tga_to_func(AppendBytes, &out, SIZE, SIZE, channels, pixels.data());
        if (!done) state.SkipWithError("stb failed");
        benchmark::DoNotOptimize(out.data());
    }
    const int format[] = {1, 4, 5};
    const ZEMImage& image = which == 0 ? *f.rgb24 : *f.rgba32;
    state.SetLabel(std::string(ENCODED[which]) + ", " +
                   Sameness(Encode(image, format[which]), out));
    state.SetBytesProcessed(int64_t(state.iterations()) * SIZE * SIZE);
}

BENCHMARK(BM_Encode_ZEM)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode_stb)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

} // namespace
