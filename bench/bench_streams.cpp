// Streams against the runtime on one 16 MiB file: typed reads (Read8, Read32, ReadBE32) and line
// reads through ZEMFile, ZEMMemFile and ZEMPackFile, beside getc, getc_unlocked, std::getline
// and a plain pointer-walking reader. Each pass reads the whole file. The figures to compare are
// ratios of CPU times in one run; the goals: BM_File/<read> within 2x of BM_Getc/<read>,
// BM_File_GetLineChars within 1.5x of BM_StdGetline (BM_File_GetLineString is shown beside it),
// and BM_MemFile/<read> within 1.5x of BM_Pointer/<read>.
#include <zem/stream.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

const size_t FILE_SIZE = 16u << 20;
const unsigned LINE_ROOM = 1024;

// Text lines of 0 to 120 characters, some ending in "\r\n", padded to exactly 16 MiB.
std::string MakeData() {
    std::mt19937 random(2026);
    std::string data;
    data.reserve(FILE_SIZE);
    while (data.size() < FILE_SIZE) {
        const size_t length = random() % 121;
        for (size_t i = 0; i < length; i++)
            data += char('a' + random() % 26);
        data += random() % 4 == 0 ? "\r\n" : "\n";
    }
    data.resize(FILE_SIZE);
    data.back() = '\n';
    return data;
}

// The data, in memory and in a file that lives as long as the program.
struct Data {
    std::string bytes = MakeData();
    std::string path;
    size_t lines = 0;

    Data() {
        path = (std::filesystem::temp_directory_path() /
                ("zem-bench-streams-" + std::to_string(getpid()) + ".dat"))
                   .string();
        std::ofstream(path, std::ios::binary) << bytes;
        for (char c : bytes)
            lines += c == '\n';
    }
    ~Data() { std::remove(path.c_str()); }
};

const Data& TheData() {
    static Data data;
    return data;
}

void SetItems(benchmark::State& state, size_t perPass) {
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(perPass));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(FILE_SIZE));
}

// ---- Typed reads ----

enum Typed { READ8, READ32, READBE32 };

size_t Count(Typed typed) {
    return typed == READ8 ? FILE_SIZE : FILE_SIZE / 4;
}

// Reads every value of the stream; S is the static type the reads are made through.
template <class S>
uint32_t ReadAll(S& stream, Typed typed) {
    uint32_t sum = 0;
    const size_t n = Count(typed);
    switch (typed) {
    case READ8:
        for (size_t i = 0; i < n; i++)
            sum += stream.Read8();
        break;
    case READ32:
        for (size_t i = 0; i < n; i++)
            sum += stream.Read32();
        break;
    case READBE32:
        for (size_t i = 0; i < n; i++)
            sum += stream.ReadBE32();
        break;
    }
    return sum;
}

void BM_File(benchmark::State& state, Typed typed) {
    ZEMFile file(TheData().path.c_str(), ZEMResFile::READ);
    for (auto _ : state) {
        file.SeekStart();
        benchmark::DoNotOptimize(ReadAll(file, typed));
    }
    SetItems(state, Count(typed));
}

void BM_PackFile(benchmark::State& state, Typed typed) {
    ZEMPackFile pack(TheData().path.c_str(), 0, unsigned(FILE_SIZE), ZEMResFile::READ);
    for (auto _ : state) {
        pack.SeekStart();
        benchmark::DoNotOptimize(ReadAll(pack, typed));
    }
    SetItems(state, Count(typed));
}

// S: ZEMMemFile for its own reads, ZEMResFile for the reads through the stream interface that
// the library's loaders make.
template <class S>
void BM_MemFile(benchmark::State& state, Typed typed) {
    std::vector<unsigned char> block(TheData().bytes.begin(), TheData().bytes.end());
    ZEMMemFile mem(unsigned(block.size()), ZEMResFile::READ, block.data());
    S& stream = mem;
    for (auto _ : state) {
        stream.SeekStart();
        benchmark::DoNotOptimize(ReadAll(stream, typed));
    }
    SetItems(state, Count(typed));
}

// The runtime peers of the file's typed reads: each value taken byte by byte with getc (which
// locks the handle per byte) or getc_unlocked (the runtime's inline fast path), decoded by hand.
// A value cut short by the end gives 0, as ours does.
template <int (*Next)(FILE*)>
struct GetcReader {
    FILE* file;
    bool Take(uint8_t* b, unsigned n) {
        for (unsigned i = 0; i < n; i++) {
            const int c = Next(file);
            if (c == EOF) return false;
            b[i] = uint8_t(c);
        }
        return true;
    }
    uint8_t Read8() {
        const int c = Next(file);
        return c == EOF ? 0 : uint8_t(c);
    }
    uint32_t Read32() {
        uint8_t b[4];
        if (!Take(b, 4)) return 0;
        return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
    uint32_t ReadBE32() {
        uint8_t b[4];
        if (!Take(b, 4)) return 0;
        return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]);
    }
};

int Getc(FILE* file) {
    return getc(file);
}

int GetcUnlocked(FILE* file) {
    return getc_unlocked(file);
}

template <int (*Next)(FILE*)>
void BM_Getc(benchmark::State& state, Typed typed) {
    GetcReader<Next> reader{fopen(TheData().path.c_str(), "rb")};
    for (auto _ : state) {
        rewind(reader.file);
        benchmark::DoNotOptimize(ReadAll(reader, typed));
    }
    fclose(reader.file);
    SetItems(state, Count(typed));
}

// The plain reader a programmer writes by hand: a cursor and an end, checked on every value.
struct PointerReader {
    const uint8_t* p;
    const uint8_t* end;
    uint8_t Read8() { return p < end ? *p++ : 0; }
    uint32_t Read32() {
        if (end - p < 4) return 0;
        const uint32_t v =
            uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        p += 4;
        return v;
    }
    uint32_t ReadBE32() {
        if (end - p < 4) return 0;
        const uint32_t v =
            uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
        p += 4;
        return v;
    }
};

void BM_Pointer(benchmark::State& state, Typed typed) {
    std::vector<unsigned char> block(TheData().bytes.begin(), TheData().bytes.end());
    for (auto _ : state) {
        PointerReader reader{block.data(), block.data() + block.size()};
        benchmark::DoNotOptimize(ReadAll(reader, typed));
    }
    SetItems(state, Count(typed));
}

// ---- Lines ----

// Reads every line with the character form, then checks that all were seen.
uint64_t CharLines(ZEMResFile& stream) {
    char line[LINE_ROOM];
    uint64_t total = 0;
    while (unsigned n = stream.GetLine(line, LINE_ROOM, '\n'))
        total += n;
    return total;
}

uint64_t StringLines(ZEMResFile& stream) {
    ZEMString line;
    uint64_t total = 0;
    while (unsigned n = stream.GetLine(line, 0xFFFFFFFFu, '\n'))
        total += n;
    return total;
}

template <uint64_t (*Lines)(ZEMResFile&)>
void RunLines(benchmark::State& state, ZEMResFile& stream) {
    for (auto _ : state) {
        stream.SeekStart();
        benchmark::DoNotOptimize(Lines(stream));
    }
    SetItems(state, TheData().lines);
}

template <uint64_t (*Lines)(ZEMResFile&)>
void BM_File_Lines(benchmark::State& state) {
    ZEMFile file(TheData().path.c_str(), ZEMResFile::READ);
    RunLines<Lines>(state, file);
}

template <uint64_t (*Lines)(ZEMResFile&)>
void BM_MemFile_Lines(benchmark::State& state) {
    std::vector<unsigned char> block(TheData().bytes.begin(), TheData().bytes.end());
    ZEMMemFile mem(unsigned(block.size()), ZEMResFile::READ, block.data());
    RunLines<Lines>(state, mem);
}

template <uint64_t (*Lines)(ZEMResFile&)>
void BM_PackFile_Lines(benchmark::State& state) {
    ZEMPackFile pack(TheData().path.c_str(), 0, unsigned(FILE_SIZE), ZEMResFile::READ);
    RunLines<Lines>(state, pack);
}

void BM_StdGetline(benchmark::State& state) {
    std::ifstream in(TheData().path, std::ios::binary);
    std::string line;
    for (auto _ : state) {
        in.clear();
        in.seekg(0);
        uint64_t total = 0;
        while (std::getline(in, line))
            total += line.size();
        benchmark::DoNotOptimize(total);
    }
    SetItems(state, TheData().lines);
}

} // namespace

// One benchmark per typed read for each reader, in the order they are listed.
int RegisterTyped() {
    const struct {
        const char* name;
        void (*run)(benchmark::State&, Typed);
    } readers[] = {
        {"BM_File", BM_File},
        {"BM_Getc", BM_Getc<Getc>},
        {"BM_GetcUnlocked", BM_Getc<GetcUnlocked>},
        {"BM_PackFile", BM_PackFile},
        {"BM_MemFile", BM_MemFile<ZEMMemFile>},
        {"BM_MemFileViaResFile", BM_MemFile<ZEMResFile>},
        {"BM_Pointer", BM_Pointer},
    };
    const struct {
        const char* name;
        Typed typed;
    } reads[] = {{"Read8", READ8}, {"Read32", READ32}, {"ReadBE32", READBE32}};
    for (const auto& reader : readers) {
        for (const auto& read : reads) {
            const std::string name = std::string(reader.name) + "/" + read.name;
            benchmark::RegisterBenchmark(name.c_str(), reader.run, read.typed);
        }
    }
    return 0;
}

const int typedRegistered = RegisterTyped();

BENCHMARK(BM_File_Lines<CharLines>)->Name("BM_File_GetLineChars");
BENCHMARK(BM_File_Lines<StringLines>)->Name("BM_File_GetLineString");
BENCHMARK(BM_StdGetline);
BENCHMARK(BM_PackFile_Lines<CharLines>)->Name("BM_PackFile_GetLineChars");
BENCHMARK(BM_PackFile_Lines<StringLines>)->Name("BM_PackFile_GetLineString");
BENCHMARK(BM_MemFile_Lines<CharLines>)->Name("BM_MemFile_GetLineChars");
BENCHMARK(BM_MemFile_Lines<StringLines>)->Name("BM_MemFile_GetLineString");
