// Loading a 256-colour JASC or GIMP palette file beside reading the same numbers from the same
// file with the C library's fscanf.
#include <zem/graphics/ZEMPal.h>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

constexpr int COLORS = 256;

// A palette file of 256 colours, written once per run beside the other scratch files.
class PaletteFile {
public:
    explicit PaletteFile(bool gimp)
        : path_("/tmp/zem-bench-" + std::to_string(getpid()) + (gimp ? ".gpl" : ".pal")) {
        std::string text =
            gimp ? "GIMP Palette\nName: Bench\nColumns: 16\n#\n" : "JASC-PAL\n0100\n256\n";
        for (int i = 0; i < COLORS; ++i) {
            text += std::to_string(i) + " " + std::to_string((i * 37) & 255) + " " +
                    std::to_string(255 - i);
            text += gimp ? "\tColour " + std::to_string(i) + "\n" : "\n";
        }
        FILE* f = std::fopen(path_.c_str(), "wb");
        if (f) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
    }
    ~PaletteFile() { std::remove(path_.c_str()); }
    const char* Path() const { return path_.c_str(); }

private:
    std::string path_;
};

const PaletteFile& Jasc() {
    static const PaletteFile file(false);
    return file;
}

const PaletteFile& Gimp() {
    static const PaletteFile file(true);
    return file;
}

void LoadZem(benchmark::State& state, const PaletteFile& file, int format) {
    for (auto _ : state) {
        ZEMPal pal(file.Path(), format);
        if (pal.nbColors != COLORS) state.SkipWithError("palette not loaded");
        benchmark::DoNotOptimize(pal.colors[4 * (COLORS - 1)]);
    }
    state.SetItemsProcessed(state.iterations() * COLORS);
}

// The same numbers with fscanf: the header lines skipped, three integers per colour line and the
// rest of the line (a GIMP colour name) passed over.
void LoadFscanf(benchmark::State& state, const PaletteFile& file, int headerLines) {
    for (auto _ : state) {
        FILE* f = std::fopen(file.Path(), "r");
        if (!f) {
            state.SkipWithError("cannot open");
            break;
        }
        char line[160];
        int skipped = 0;
        while (skipped < headerLines && std::fgets(line, sizeof line, f))
            ++skipped;
        unsigned char colors[4 * COLORS];
        int n = 0;
        int r, g, b;
        while (n < COLORS && std::fscanf(f, "%d %d %d%*[^\n]", &r, &g, &b) == 3) {
            colors[4 * n] = static_cast<unsigned char>(r);
            colors[4 * n + 1] = static_cast<unsigned char>(g);
            colors[4 * n + 2] = static_cast<unsigned char>(b);
            colors[4 * n + 3] = 0;
            ++n;
        }
        std::fclose(f);
        if (n != COLORS) state.SkipWithError("palette not read");
        benchmark::DoNotOptimize(colors[4 * (COLORS - 1)]);
    }
    state.SetItemsProcessed(state.iterations() * COLORS);
}

void BM_ZemPalJasc(benchmark::State& state) {
    LoadZem(state, Jasc(), 3);
}
void BM_FscanfJasc(benchmark::State& state) {
    LoadFscanf(state, Jasc(), 3);
}
void BM_ZemPalGimp(benchmark::State& state) {
    LoadZem(state, Gimp(), 2);
}
void BM_FscanfGimp(benchmark::State& state) {
    LoadFscanf(state, Gimp(), 4);
}

} // namespace

BENCHMARK(BM_ZemPalJasc);
BENCHMARK(BM_FscanfJasc);
BENCHMARK(BM_ZemPalGimp);
BENCHMARK(BM_FscanfGimp);
