// Hot reload: what PollChanges costs in a game loop.
// - BM_HotReload_PollIdle: a poll with nothing changed while 1,000 resources (in 10 folders)
//   are watched.
// - BM_HotReload_PollReload: a 1 MB picture (512 x 512, 32-bit TGA) saved again; the time of the
//   poll that reloads it, once the quiet time has passed. Beside it, BM_HotReload_Decode: the
//   same file found and decoded into a picture by itself. The difference is what watching adds.
#include <zem/graphics/ZEMImage.h>
#include <zem/resource.h>
#include <zem/stream/ZEMResFile.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr unsigned QUIET_MS = 1;

// A folder of its own for the files, removed at the end.
struct Folder {
    std::string path =
        (fs::temp_directory_path() / ("zem-bench-reload-" + std::to_string(getpid()))).string();
    Folder() { fs::create_directories(path); }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text << '\n';
}

void BM_HotReload_PollIdle(benchmark::State& state) {
    Folder folder;
    ZEMResFinder finder;
    if (!finder.AddSource(folder.path.c_str(), false)) return state.SkipWithError("no folder");
    ZEMResMgr mgr(finder);
    mgr.SetWatching(true);
    for (int i = 0; i < 1000; ++i) {
        const std::string dir = "f" + std::to_string(i % 10);
        fs::create_directories(folder.path + "/" + dir);
        const std::string name = dir + "/r" + std::to_string(i) + ".txt";
        WriteText(folder.path + "/" + name, name);
        if (!mgr.Load(ZEMResMgr::RES_TEXT, name.c_str(), 0, true)) {
            return state.SkipWithError("a resource did not load");
        }
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(mgr.PollChanges());
}

// The 1 MB picture, saved at path.
bool SavePicture(const std::string& path) {
    ZEMImage picture(512, 512, 32);
    picture.Gradient(0, 0, 512, 512, 0xFF0000FFu, 0xFFFF8000u, 0, ZEMImage::DRAW_COPY);
    return picture.SaveName(path.c_str(), 4);
}

void BM_HotReload_PollReload(benchmark::State& state) {
    Folder folder;
    const std::string path = folder.path + "/big.tga";
    ZEMResFinder finder;
    if (!SavePicture(path) || !finder.AddSource(folder.path.c_str(), false)) {
        return state.SkipWithError("cannot write the picture");
    }
    const std::string bytes = [&] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    ZEMResMgr mgr(finder);
    mgr.SetQuietTime(QUIET_MS);
    mgr.SetWatching(true);
    if (!mgr.Load(ZEMResMgr::RES_IMAGE, "big.tga", 0, true)) return state.SkipWithError("load");
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(path, std::ios::binary) << bytes;
        mgr.PollChanges(); // takes the change in; it is not due before the quiet time
        std::this_thread::sleep_for(std::chrono::milliseconds(2 * QUIET_MS));
        state.ResumeTiming();
        if (mgr.PollChanges() != 1) return state.SkipWithError("the picture was not reloaded");
    }
}

void BM_HotReload_Decode(benchmark::State& state) {
    Folder folder;
    ZEMResFinder finder;
    if (!SavePicture(folder.path + "/big.tga") || !finder.AddSource(folder.path.c_str(), false)) {
        return state.SkipWithError("cannot write the picture");
    }
    ZEMImage picture(0, 0, 8);
    for (auto _ : state) {
        std::unique_ptr<ZEMResFile> file(finder.FindRes("big.tga"));
        if (!file || !picture.Load(*file, 0)) return state.SkipWithError("decode");
    }
}

} // namespace

BENCHMARK(BM_HotReload_PollIdle);
BENCHMARK(BM_HotReload_PollReload)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HotReload_Decode)->Unit(benchmark::kMillisecond);
