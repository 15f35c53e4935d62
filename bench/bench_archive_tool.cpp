// The zem tool's archive commands beside tar, as whole processes, on 20,000 files of 1 to 4 KiB in
// 200 nested folders: create (Zem_Create vs Tar_Create), extract into an empty folder (Zem_Extract
// vs Tar_Extract) and list (Zem_List vs Tar_List). Compare the rows that share a suffix. Removing
// the previous output is not timed. Zem_Update/1 and Zem_Update/12 replace 1 and 12 members of
// that archive: one rebuild each, so the second should cost little more than the first.
// Lib_AddOneByOne/N adds N of the files one AddFiles call each to an archive object; the
// 10,000 adds stand beside Lib_CreateAll, which writes an archive of the same files at once
// (CreateFrom). Many small adds must stay linear: the rate of /1000 and /10000 is about the same.
#include <benchmark/benchmark.h>

#include <zem/provider/ZEMArchZEM.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Data {
    std::string dir;

    Data() {
        dir = (fs::temp_directory_path() / ("zem-bench-tool-" + std::to_string(getpid()))).string();
        std::mt19937 random(2026);
        for (int a = 0; a < 20; ++a) {
            for (int b = 0; b < 10; ++b) {
                const std::string folder =
                    dir + "/data/d" + std::to_string(a) + "/s" + std::to_string(b);
                fs::create_directories(folder);
                for (int c = 0; c < 100; ++c) {
                    std::string content(1024 + random() % 3073, '\0');
                    for (char& ch : content)
                        ch = char(random());
                    std::ofstream(folder + "/f" + std::to_string(c) + ".bin", std::ios::binary)
                        << content;
                }
            }
        }
        Run(std::string("'") + ZEM_TOOL + "' archive create ref.zem data");
        Run("tar cf ref.tar data");
    }
    ~Data() {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    // Runs command in the data folder, its output dropped; aborts when it fails.
    void Run(const std::string& command) const {
        if (std::system(("cd '" + dir + "' && " + command + " >/dev/null").c_str()) != 0) abort();
    }
    void Remove(const char* name) const {
        std::error_code ignored;
        fs::remove_all(dir + "/" + name, ignored);
    }
};

const Data& TheData() {
    static Data data;
    return data;
}

// Times command, after removing output (untimed) before each run.
void Time(benchmark::State& state, const std::string& command, const char* output) {
    const Data& data = TheData();
    for (auto _ : state) {
        state.PauseTiming();
        if (output) data.Remove(output);
        state.ResumeTiming();
        data.Run(command);
    }
    state.SetItemsProcessed(int64_t(state.iterations() * 20000));
}

const std::string ZEM = std::string("'") + ZEM_TOOL + "'";

void Zem_Create(benchmark::State& state) {
    Time(state, ZEM + " archive create out.zem data", "out.zem");
}
BENCHMARK(Zem_Create)->Unit(benchmark::kMillisecond)->UseRealTime();

void Tar_Create(benchmark::State& state) {
    Time(state, "tar cf out.tar data", "out.tar");
}
BENCHMARK(Tar_Create)->Unit(benchmark::kMillisecond)->UseRealTime();

void Zem_Extract(benchmark::State& state) {
    Time(state, ZEM + " archive extract ref.zem -C xz", "xz");
}
BENCHMARK(Zem_Extract)->Unit(benchmark::kMillisecond)->UseRealTime();

void Tar_Extract(benchmark::State& state) {
    Time(state, "mkdir xt && tar xf ref.tar -C xt", "xt");
}
BENCHMARK(Tar_Extract)->Unit(benchmark::kMillisecond)->UseRealTime();

void Zem_List(benchmark::State& state) {
    Time(state, ZEM + " archive list ref.zem", nullptr);
}
BENCHMARK(Zem_List)->Unit(benchmark::kMillisecond)->UseRealTime();

void Zem_Update(benchmark::State& state) {
    TheData().Run("cp ref.zem update.zem");
    std::string files;
    for (int i = 0; i < state.range(0); ++i)
        files += " data/d0/s0/f" + std::to_string(i) + ".bin";
    Time(state, ZEM + " archive update update.zem" + files, nullptr);
}
BENCHMARK(Zem_Update)->Arg(1)->Arg(12)->Unit(benchmark::kMillisecond)->UseRealTime();

// The first 10,000 files of the data: their paths, absolute, and their member names.
struct TenThousand {
    std::vector<std::string> paths, names;
    std::vector<const char*> pathPointers, namePointers;
    TenThousand() {
        for (int a = 0; a < 10; ++a) {
            for (int b = 0; b < 10; ++b) {
                for (int c = 0; c < 100; ++c) {
                    names.push_back("data/d" + std::to_string(a) + "/s" + std::to_string(b) + "/f" +
                                    std::to_string(c) + ".bin");
                    paths.push_back(TheData().dir + "/" + names.back());
                }
            }
        }
        for (size_t i = 0; i < paths.size(); ++i) {
            pathPointers.push_back(paths[i].c_str());
            namePointers.push_back(names[i].c_str());
        }
    }
};

void Lib_AddOneByOne(benchmark::State& state) {
    const TenThousand files;
    const std::string archive = TheData().dir + "/one-by-one.zem";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(archive);
        ZEMArchZEM zem;
        if (!zem.Create(archive.c_str())) abort();
        state.ResumeTiming();
        for (int64_t i = 0; i < state.range(0); ++i) {
            if (zem.AddFiles(&files.pathPointers[i], &files.namePointers[i], 1) != 1) abort();
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Lib_AddOneByOne)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void Lib_CreateAll(benchmark::State& state) {
    const TenThousand files;
    const std::string archive = TheData().dir + "/all.zem";
    for (auto _ : state) {
        ZEMArchZEM zem;
        if (!zem.CreateFrom(archive.c_str(), files.pathPointers.data(), files.namePointers.data(),
                            10000, true)) {
            abort();
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations() * 10000));
}
BENCHMARK(Lib_CreateAll)->Unit(benchmark::kMillisecond)->UseRealTime();

void Tar_List(benchmark::State& state) {
    Time(state, "tar tf ref.tar", nullptr);
}
BENCHMARK(Tar_List)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
