// The text readers beside the C library's conversions on the same configuration-like text, and
// the random generator beside the C library's rand().
#include <zem/core/ZEMRandom.h>
#include <zem/text/ZEMParse.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

// A line of 256 comma-separated values of the kind configuration files hold.
std::string Values(bool floats) {
    std::string text;
    for (int i = 0; i < 256; ++i) {
        if (i) text += ',';
        text += floats ? std::to_string(i * 1.37 - 100.0) : std::to_string(i * 7919 - 500000);
    }
    return text;
}

void BM_ZemReadInt(benchmark::State& state) {
    std::string text = Values(false);
    for (auto _ : state) {
        char* cursor = &text[0];
        int value = 0, sum = 0;
        while (ZEMParse::ReadInt(&cursor, value))
            sum += value;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 256);
}

void BM_Strtol(benchmark::State& state) {
    std::string text = Values(false);
    for (auto _ : state) {
        const char* p = text.c_str();
        long sum = 0;
        for (;;) {
            char* end = nullptr;
            long value = std::strtol(p, &end, 10);
            if (end == p) break;
            sum += value;
            p = *end == ',' ? end + 1 : end;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 256);
}

void BM_ZemReadFloat(benchmark::State& state) {
    std::string text = Values(true);
    for (auto _ : state) {
        char* cursor = &text[0];
        float value = 0, sum = 0;
        while (ZEMParse::ReadFloat(&cursor, value))
            sum += value;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 256);
}

void BM_Strtod(benchmark::State& state) {
    std::string text = Values(true);
    for (auto _ : state) {
        const char* p = text.c_str();
        float sum = 0;
        for (;;) {
            char* end = nullptr;
            double value = std::strtod(p, &end);
            if (end == p) break;
            sum += static_cast<float>(value);
            p = *end == ',' ? end + 1 : end;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 256);
}

void BM_ZemRandomi(benchmark::State& state) {
    ZEM::RandomInit(1);
    for (auto _ : state)
        benchmark::DoNotOptimize(ZEM::Randomi(100));
}

void BM_Rand(benchmark::State& state) {
    std::srand(1);
    for (auto _ : state)
        benchmark::DoNotOptimize(std::rand() % 100);
}

} // namespace

BENCHMARK(BM_ZemReadInt);
BENCHMARK(BM_Strtol);
BENCHMARK(BM_ZemReadFloat);
BENCHMARK(BM_Strtod);
BENCHMARK(BM_ZemRandomi);
BENCHMARK(BM_Rand);
