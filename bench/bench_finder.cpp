// The resource finder beside PhysicsFS over the same three sources, searched in the same order: a
// folder of 200 loose files, a patch PAK of 2,000 members and a base PAK of 20,000 members.
// Each lookup opens the file and closes it again, for names that the folder answers
// (..._Folder), names only the base archive has, so that both sources before it are asked first
// (..._LastArchive), and names that no source has (..._Missing). Compare the rows that share a
// suffix.
#include <zem/provider.h>
#include <zem/resource.h>
#include <zem/stream.h>

#include <benchmark/benchmark.h>
#include <physfs.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr unsigned FOLDER_FILES = 200;
constexpr unsigned PATCH_MEMBERS = 2000;
constexpr unsigned BASE_MEMBERS = 20000;

// The three sources on disk and the names to look up, shuffled. Everything lives as long as
// the program.
struct Data {
    std::string dir;
    std::string folder;
    std::string patch;
    std::string base;
    std::vector<std::string> inFolder;
    std::vector<std::string> onlyInBase;
    std::vector<std::string> missing;

    Data() {
        dir =
            (fs::temp_directory_path() / ("zem-bench-finder-" + std::to_string(getpid()))).string();
        folder = dir + "/mod";
        patch = dir + "/patch.pak";
        base = dir + "/base.pak";
        fs::create_directories(dir + "/files");
        fs::create_directories(folder);
        std::mt19937 random(2026);
        // The folder and the patch each override the first names of the base archive.
        std::vector<std::string> basePaths;
        std::vector<std::string> patchPaths;
        for (unsigned i = 0; i < BASE_MEMBERS; ++i) {
            std::string name = Name("asset", i);
            basePaths.push_back(Write(dir + "/files/" + name, random));
            if (i < PATCH_MEMBERS) patchPaths.push_back(basePaths.back());
            if (i < FOLDER_FILES) {
                Write(folder + "/" + name, random);
                inFolder.push_back(name);
            }
            if (i >= PATCH_MEMBERS) onlyInBase.push_back(name);
            missing.push_back(Name("absent", i));
        }
        Build(base, basePaths);
        Build(patch, patchPaths);
        std::shuffle(inFolder.begin(), inFolder.end(), random);
        std::shuffle(onlyInBase.begin(), onlyInBase.end(), random);
    }
    ~Data() {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    static std::string Name(const char* stem, unsigned i) {
        char name[32];
        snprintf(name, sizeof name, "%s%05u.dat", stem, i);
        return name;
    }

    static std::string Write(const std::string& path, std::mt19937& random) {
        std::string content(64 + random() % 960, '\0');
        for (char& c : content)
            c = char(random());
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    static void Build(const std::string& path, const std::vector<std::string>& sources) {
        std::vector<const char*> paths;
        for (const std::string& source : sources)
            paths.push_back(source.c_str());
        ZEMArchPAK archive;
        if (!archive.Create(path.c_str()) ||
            archive.AddFiles(paths.data(), nullptr, unsigned(paths.size())) != paths.size()) {
            abort();
        }
    }
};

const Data& TheData() {
    static Data data;
    return data;
}

// The finder with the three sources, the folder asked first.
struct Finder {
    ZEMResFinder finder;
    Finder() {
        const Data& data = TheData();
        if (!finder.AddSource(data.folder.c_str(), false) ||
            !finder.AddSource(data.patch.c_str(), false) ||
            !finder.AddSource(data.base.c_str(), false)) {
            abort();
        }
        // Archives build their name index on the first lookup.
        delete finder.FindRes(data.missing[0].c_str());
    }
};

// PhysicsFS with the same three sources in the same order, for as long as a benchmark runs.
struct PhysFS {
    PhysFS() {
        const Data& data = TheData();
        if (!PHYSFS_init(nullptr) || !PHYSFS_mount(data.folder.c_str(), nullptr, 1) ||
            !PHYSFS_mount(data.patch.c_str(), nullptr, 1) ||
            !PHYSFS_mount(data.base.c_str(), nullptr, 1)) {
            abort();
        }
    }
    ~PhysFS() { PHYSFS_deinit(); }
};

void FindRes(benchmark::State& state, const std::vector<std::string>& names, bool found) {
    Finder sources;
    size_t k = 0;
    for (auto _ : state) {
        ZEMResFile* file = sources.finder.FindRes(names[k].c_str());
        if ((file != nullptr) != found) abort();
        delete file;
        if (++k == names.size()) k = 0;
    }
}

void OpenRead(benchmark::State& state, const std::vector<std::string>& names, bool found) {
    PhysFS sources;
    size_t k = 0;
    for (auto _ : state) {
        PHYSFS_File* file = PHYSFS_openRead(names[k].c_str());
        if ((file != nullptr) != found) abort();
        if (file) PHYSFS_close(file);
        if (++k == names.size()) k = 0;
    }
}

void ZEM_FindRes_Folder(benchmark::State& state) {
    FindRes(state, TheData().inFolder, true);
}
BENCHMARK(ZEM_FindRes_Folder);

void PhysFS_OpenRead_Folder(benchmark::State& state) {
    OpenRead(state, TheData().inFolder, true);
}
BENCHMARK(PhysFS_OpenRead_Folder);

void ZEM_FindRes_LastArchive(benchmark::State& state) {
    FindRes(state, TheData().onlyInBase, true);
}
BENCHMARK(ZEM_FindRes_LastArchive);

void PhysFS_OpenRead_LastArchive(benchmark::State& state) {
    OpenRead(state, TheData().onlyInBase, true);
}
BENCHMARK(PhysFS_OpenRead_LastArchive);

void ZEM_FindRes_Missing(benchmark::State& state) {
    FindRes(state, TheData().missing, false);
}
BENCHMARK(ZEM_FindRes_Missing);

void PhysFS_OpenRead_Missing(benchmark::State& state) {
    OpenRead(state, TheData().missing, false);
}
BENCHMARK(PhysFS_OpenRead_Missing);

} // namespace
