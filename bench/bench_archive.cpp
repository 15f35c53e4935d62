// Archives beside PhysicsFS, fread and tar on the same 20,000 small files: looking a name up
// (ZEM_FindFile vs PhysFS_Exists), opening (also with 100,000 members), reading every member
// (ZEM_ReadAll vs Fread_ReadAll, with FopenEach_ReadAll and PhysFS_ReadAll beside them), and
// building the archive (ZEM_AddFiles vs Tar_Create). Compare the rows that share a suffix.
#include <zem/provider.h>
#include <zem/stream.h>

#include <benchmark/benchmark.h>
#include <physfs.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr unsigned FILES = 20000;

// 20,000 files of 64 bytes to 8 KiB in one folder, the PAK archive made of them, and the
// names in a shuffled order for lookups. Everything lives as long as the program.
struct Data {
    std::string dir;
    std::string pak;
    std::vector<std::string> names;
    std::vector<std::string> paths;
    std::vector<std::string> shuffled;
    size_t bytes = 0;

    Data() {
        dir = (fs::temp_directory_path() / ("zem-bench-archive-" + std::to_string(getpid())))
                  .string();
        fs::create_directories(dir + "/files");
        std::mt19937 random(2026);
        for (unsigned i = 0; i < FILES; ++i) {
            char name[32];
            snprintf(name, sizeof name, "asset%05u.dat", i);
            names.push_back(name);
            paths.push_back(dir + "/files/" + name);
            std::string content(64 + random() % (8192 - 64), '\0');
            for (char& c : content)
                c = char(random());
            std::ofstream(paths.back(), std::ios::binary) << content;
            bytes += content.size();
        }
        pak = dir + "/assets.pak";
        ZEMArchPAK archive;
        archive.Create(pak.c_str());
        std::vector<const char*> sources;
        for (const std::string& path : paths)
            sources.push_back(path.c_str());
        if (archive.AddFiles(sources.data(), nullptr, FILES) != FILES) abort();
        shuffled = names;
        std::shuffle(shuffled.begin(), shuffled.end(), random);
    }
    ~Data() {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
};

const Data& TheData() {
    static Data data;
    return data;
}

// PhysicsFS with the archive mounted, for as long as a benchmark runs.
struct PhysFS {
    PhysFS() {
        if (!PHYSFS_init(nullptr) || !PHYSFS_mount(TheData().pak.c_str(), nullptr, 0)) abort();
    }
    ~PhysFS() { PHYSFS_deinit(); }
};

void ZEM_FindFile(benchmark::State& state) {
    const Data& data = TheData();
    ZEMArchPAK archive;
    archive.Open(data.pak.c_str());
    archive.FindFile(""); // the index is built on the first lookup
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(archive.FindFile(data.shuffled[k].c_str()));
        if (++k == FILES) k = 0;
    }
}
BENCHMARK(ZEM_FindFile);

void PhysFS_Exists(benchmark::State& state) {
    const Data& data = TheData();
    PhysFS physfs;
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PHYSFS_exists(data.shuffled[k].c_str()));
        if (++k == FILES) k = 0;
    }
}
BENCHMARK(PhysFS_Exists);

// Opening the archive and the first lookup, which builds the index.
void ZEM_OpenAndFindFirst(benchmark::State& state) {
    const Data& data = TheData();
    for (auto _ : state) {
        ZEMArchPAK archive;
        archive.Open(data.pak.c_str());
        benchmark::DoNotOptimize(archive.FindFile(data.shuffled[0].c_str()));
    }
}
BENCHMARK(ZEM_OpenAndFindFirst)->Unit(benchmark::kMillisecond);

void PhysFS_MountAndFindFirst(benchmark::State& state) {
    const Data& data = TheData();
    for (auto _ : state) {
        PhysFS physfs;
        benchmark::DoNotOptimize(PHYSFS_exists(data.shuffled[0].c_str()));
    }
}
BENCHMARK(PhysFS_MountAndFindFirst)->Unit(benchmark::kMillisecond);

// A PAK of 100,000 members of 16 bytes named "member000000.dat" and so on, written directly.
const std::string& BigPak() {
    static const std::string path = [] {
        const std::string pak = TheData().dir + "/big.pak";
        constexpr uint32_t COUNT = 100000, SIZE = 16;
        std::string bytes = "PACK" + std::string(8, '\0') + std::string(size_t(COUNT) * SIZE, 'x');
        auto put = [&bytes](size_t at, uint32_t value) {
            for (int i = 0; i < 4; ++i)
                bytes[at + i] = char(value >> (8 * i));
        };
        put(4, uint32_t(bytes.size()));
        put(8, COUNT * 64);
        for (uint32_t i = 0; i < COUNT; ++i) {
            char record[64] = {};
            snprintf(record, 56, "member%06u.dat", i);
            bytes.append(record, 64);
            put(bytes.size() - 8, 12 + i * SIZE);
            put(bytes.size() - 4, SIZE);
        }
        std::ofstream(pak, std::ios::binary) << bytes;
        return pak;
    }();
    return path;
}

// Opening an archive of 100,000 members and finding its first member; bytes_per_member is what
// the open archive and its index take from the heap per member beyond the names (16 bytes each,
// with their terminating zero). PhysicsFS is no peer here: it takes seconds to mount as many.
void ZEM_OpenAndFindFirst100k(benchmark::State& state) {
    const std::string& pak = BigPak();
    for (auto _ : state) {
        ZEMArchPAK archive;
        archive.Open(pak.c_str());
        benchmark::DoNotOptimize(archive.FindFile("member000000.dat"));
    }
    const size_t before = mallinfo2().uordblks;
    {
        ZEMArchPAK archive;
        archive.Open(pak.c_str());
        archive.FindFile("member000000.dat");
        const double used = double(mallinfo2().uordblks - before);
        state.counters["bytes_per_member"] = used / 100000 - 17;
    }
}
BENCHMARK(ZEM_OpenAndFindFirst100k)->Unit(benchmark::kMillisecond);

// Every member by name, in storage order, read whole into one buffer.
void ZEM_ReadAll(benchmark::State& state) {
    const Data& data = TheData();
    ZEMArchPAK archive;
    archive.Open(data.pak.c_str());
    std::vector<char> buffer(8192);
    for (auto _ : state) {
        for (const std::string& name : data.names) {
            std::unique_ptr<ZEMResFile> member(archive.OpenFile(name.c_str()));
            benchmark::DoNotOptimize(member->Read(buffer.data(), unsigned(buffer.size())));
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations() * data.bytes));
}
BENCHMARK(ZEM_ReadAll)->Unit(benchmark::kMillisecond);

// The same bytes with plain stdio: one handle, a seek and a read per member.
void Fread_ReadAll(benchmark::State& state) {
    const Data& data = TheData();
    ZEMArchPAK archive;
    archive.Open(data.pak.c_str());
    std::vector<char> buffer(8192);
    for (auto _ : state) {
        FILE* file = fopen(data.pak.c_str(), "rb");
        for (unsigned i = 0; i < archive.NbFiles(); ++i) {
            const auto* entry = static_cast<ZEMArchive::ArchiveEntry*>(archive.GetItem(i));
            fseek(file, long(entry->offset), SEEK_SET);
            benchmark::DoNotOptimize(fread(buffer.data(), 1, entry->size, file));
        }
        fclose(file);
    }
    state.SetBytesProcessed(int64_t(state.iterations() * data.bytes));
}
BENCHMARK(Fread_ReadAll)->Unit(benchmark::kMillisecond);

// What any stream that opens the archive by itself for each member costs at the least: an open,
// a seek, a read and a close per member.
void FopenEach_ReadAll(benchmark::State& state) {
    const Data& data = TheData();
    ZEMArchPAK archive;
    archive.Open(data.pak.c_str());
    std::vector<char> buffer(8192);
    for (auto _ : state) {
        for (unsigned i = 0; i < archive.NbFiles(); ++i) {
            const auto* entry = static_cast<ZEMArchive::ArchiveEntry*>(archive.GetItem(i));
            FILE* file = fopen(data.pak.c_str(), "rb");
            fseek(file, long(entry->offset), SEEK_SET);
            benchmark::DoNotOptimize(fread(buffer.data(), 1, entry->size, file));
            fclose(file);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations() * data.bytes));
}
BENCHMARK(FopenEach_ReadAll)->Unit(benchmark::kMillisecond);

void PhysFS_ReadAll(benchmark::State& state) {
    const Data& data = TheData();
    PhysFS physfs;
    std::vector<char> buffer(8192);
    for (auto _ : state) {
        for (const std::string& name : data.names) {
            PHYSFS_File* member = PHYSFS_openRead(name.c_str());
            benchmark::DoNotOptimize(PHYSFS_readBytes(member, buffer.data(), buffer.size()));
            PHYSFS_close(member);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations() * data.bytes));
}
BENCHMARK(PhysFS_ReadAll)->Unit(benchmark::kMillisecond);

// A new archive of all the files, written once per iteration.
void ZEM_AddFiles(benchmark::State& state) {
    const Data& data = TheData();
    std::string path = data.dir + "/built.zem";
    std::vector<const char*> sources;
    for (const std::string& source : data.paths)
        sources.push_back(source.c_str());
    for (auto _ : state) {
        fs::remove(path);
        ZEMArchZEM archive;
        archive.Create(path.c_str());
        if (archive.AddFiles(sources.data(), nullptr, FILES) != FILES) abort();
    }
    state.SetItemsProcessed(int64_t(state.iterations() * FILES));
}
BENCHMARK(ZEM_AddFiles)->Unit(benchmark::kMillisecond);

void Tar_Create(benchmark::State& state) {
    const Data& data = TheData();
    std::string command = "cd '" + data.dir + "' && tar cf built.tar files";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) abort();
    }
    state.SetItemsProcessed(int64_t(state.iterations() * FILES));
}
BENCHMARK(Tar_Create)->Unit(benchmark::kMillisecond);

} // namespace
