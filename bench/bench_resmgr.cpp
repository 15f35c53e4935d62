// The resource manager's cache beside a std::unordered_map over the same names, at 10,000 and
// at 100,000 cached names visited in a shuffled order:
// - _Lookup: one cached name asked for (Get, which finds it and counts one more user) beside the
//   map finding it and counting its user;
// - _LoadRelease: a name asked for (Load) and given back (Release(name)), two lookups, beside
//   the map finding the name twice to count a user and give it back;
// - _Fill: a new cache filled with every name (Add), beside filling a new map; the resources
//   are made outside the timed part on both sides.
#include <zem/resource.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// A resource of no content: the benchmark measures the cache, not loading.
class Blank : public ZEMResource {
public:
    unsigned MemoryUsed() const override { return 0; }
    bool Load(ZEMResFile&, int) override { return true; }
    bool Save(ZEMResFile&, int) override { return false; }
};

// What the map keeps per name: the manager's entry without the name.
struct MapEntry {
    unsigned type;
    unsigned users;
    Blank* resource;
};
using Map = std::unordered_map<std::string, MapEntry>;

std::vector<std::string> Names(size_t count) {
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "gfx/level%02zu/sprite%06zu.bmp", i % 37, i);
        names.push_back(name);
    }
    std::shuffle(names.begin(), names.end(), std::mt19937(2026));
    return names;
}

constexpr unsigned TYPE = ZEMResMgr::RES_TEXT;

// The manager with every name cached.
struct Cache {
    std::vector<std::string> names;
    ZEMResFinder finder;
    ZEMResMgr mgr{finder};
    explicit Cache(size_t count) : names(Names(count)) {
        for (const std::string& name : names)
            mgr.Add(TYPE, name.c_str(), new Blank);
    }
};

// The map with every name.
struct MapCache {
    std::vector<std::string> names;
    std::vector<Blank> blanks;
    Map map;
    explicit MapCache(size_t count) : names(Names(count)), blanks(count) {
        for (size_t n = 0; n < names.size(); ++n)
            map[names[n]] = MapEntry{TYPE, 1, &blanks[n]};
    }
};

void BM_ResMgr_Lookup(benchmark::State& state) {
    Cache cache(size_t(state.range(0)));
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(cache.mgr.Get(cache.names[i].c_str()));
        if (++i == cache.names.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

// One step finds the name and counts a user; with giveBack, finds it again and gives it back.
void MapSteps(benchmark::State& state, bool giveBack) {
    MapCache cache(size_t(state.range(0)));
    size_t i = 0;
    for (auto _ : state) {
        auto found = cache.map.find(cache.names[i]);
        ++found->second.users;
        benchmark::DoNotOptimize(found->second.resource);
        if (giveBack) --cache.map.find(cache.names[i])->second.users;
        if (++i == cache.names.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_UnorderedMap_Lookup(benchmark::State& state) {
    MapSteps(state, false);
}

void BM_ResMgr_LoadRelease(benchmark::State& state) {
    Cache cache(size_t(state.range(0)));
    size_t i = 0;
    for (auto _ : state) {
        const char* name = cache.names[i].c_str();
        if (!cache.mgr.Load(TYPE, name, 0, true) || !cache.mgr.Release(name)) {
            state.SkipWithError("a cached name was not found");
            break;
        }
        if (++i == cache.names.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_UnorderedMap_LoadRelease(benchmark::State& state) {
    MapSteps(state, true);
}

void BM_ResMgr_Fill(benchmark::State& state) {
    const std::vector<std::string> names = Names(size_t(state.range(0)));
    ZEMResFinder finder;
    for (auto _ : state) {
        state.PauseTiming();
        auto mgr = std::make_unique<ZEMResMgr>(finder);
        std::vector<Blank*> blanks(names.size());
        for (Blank*& blank : blanks)
            blank = new Blank;
        state.ResumeTiming();
        for (size_t n = 0; n < names.size(); ++n)
            mgr->Add(TYPE, names[n].c_str(), blanks[n]);
        state.PauseTiming();
        mgr.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(names.size()));
}

void BM_UnorderedMap_Fill(benchmark::State& state) {
    const std::vector<std::string> names = Names(size_t(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        auto map = std::make_unique<Map>();
        std::vector<std::unique_ptr<Blank>> blanks(names.size());
        for (auto& blank : blanks)
            blank = std::make_unique<Blank>();
        state.ResumeTiming();
        for (size_t n = 0; n < names.size(); ++n)
            map->emplace(names[n], MapEntry{TYPE, 1, blanks[n].get()});
        state.PauseTiming();
        map.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(names.size()));
}

} // namespace

BENCHMARK(BM_ResMgr_Lookup)->Arg(10000)->Arg(100000);
BENCHMARK(BM_UnorderedMap_Lookup)->Arg(10000)->Arg(100000);
BENCHMARK(BM_ResMgr_LoadRelease)->Arg(10000)->Arg(100000);
BENCHMARK(BM_UnorderedMap_LoadRelease)->Arg(10000)->Arg(100000);
BENCHMARK(BM_ResMgr_Fill)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnorderedMap_Fill)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
