// Growing strings beside the standard library: one 10 MB line read through ZEMFile::GetLine into
// a ZEMString beside std::getline into a std::string (goal: within 1.5x), and 1,000,000 one-byte
// appends to a ZEMString beside a std::string (goal: within 2x). Each pair runs several times;
// compare the min and median rows of a Release build.
#include <zem/core/ZEMString.h>
#include <zem/stream/ZEMFile.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

const size_t LINE_SIZE = 10u << 20;
const unsigned APPENDS = 1000000;
const int REPETITIONS = 9;

// A file of one 10 MB line that lives as long as the program.
struct LongLine {
    std::string path;

    LongLine() {
        path = (std::filesystem::temp_directory_path() /
                ("zem-bench-strings-" + std::to_string(getpid()) + ".txt"))
                   .string();
        std::string line(LINE_SIZE, 'x');
        line.back() = '\n';
        std::ofstream(path, std::ios::binary) << line;
    }
    ~LongLine() { std::remove(path.c_str()); }
};

const std::string& LongLinePath() {
    static LongLine file;
    return file.path;
}

void SetBytes(benchmark::State& state, size_t perPass) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(perPass));
}

void BM_File_GetLineLong(benchmark::State& state) {
    ZEMFile file(LongLinePath().c_str(), ZEMResFile::READ);
    for (auto _ : state) {
        file.SeekStart();
        ZEMString line; // a new string each pass, as a reader of a fresh file has
        benchmark::DoNotOptimize(file.GetLine(line, 0xFFFFFFFFu, '\n'));
    }
    SetBytes(state, LINE_SIZE);
}

void BM_StdGetlineLong(benchmark::State& state) {
    std::ifstream in(LongLinePath(), std::ios::binary);
    for (auto _ : state) {
        in.clear();
        in.seekg(0);
        std::string line;
        std::getline(in, line);
        benchmark::DoNotOptimize(line.data());
    }
    SetBytes(state, LINE_SIZE);
}

template <class String>
void BM_AppendBytes(benchmark::State& state) {
    for (auto _ : state) {
        String s;
        for (unsigned i = 0; i < APPENDS; ++i)
            s += char('a' + i % 26);
        benchmark::DoNotOptimize(&s);
    }
    SetBytes(state, APPENDS);
}

double Min(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

} // namespace

BENCHMARK(BM_File_GetLineLong)->Repetitions(REPETITIONS)->ComputeStatistics("min", Min);
BENCHMARK(BM_StdGetlineLong)->Repetitions(REPETITIONS)->ComputeStatistics("min", Min);
BENCHMARK(BM_AppendBytes<ZEMString>)
    ->Name("BM_ZEMString_AppendBytes")
    ->Repetitions(REPETITIONS)
    ->ComputeStatistics("min", Min);
BENCHMARK(BM_AppendBytes<std::string>)
    ->Name("BM_StdString_AppendBytes")
    ->Repetitions(REPETITIONS)
    ->ComputeStatistics("min", Min);
