// The resource manager's cache beside a std::map over the same names. With every name already
// cached, one step asks for a name (Load, which finds it and counts one more user) and gives it
// back (Release(name), which finds it again); the map finds the same name once and counts its
// user. Names are visited in a shuffled order, at 10,000 and at 100,000 cached names.
#include <zem/resource.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

// A resource of no content: the benchmark measures the cache, not loading.
class Blank : public ZEMResource {
public:
    unsigned MemoryUsed() const override { return 0; }
    bool Load(ZEMResFile&, int) override { return true; }
    bool Save(ZEMResFile&, int) override { return false; }
};

struct MapEntry {
    unsigned type;
    unsigned users;
    Blank* resource;
};

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

void BM_ResMgr_LoadRelease(benchmark::State& state) {
    const std::vector<std::string> names = Names(size_t(state.range(0)));
    ZEMResFinder finder;
    ZEMResMgr mgr(finder);
    for (const std::string& name : names)
        mgr.Add(TYPE, name.c_str(), new Blank);
    size_t i = 0;
    for (auto _ : state) {
        const char* name = names[i].c_str();
        if (!mgr.Load(TYPE, name, 0, true) || !mgr.Release(name)) {
            state.SkipWithError("a cached name was not found");
            break;
        }
        if (++i == names.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Map_Lookup(benchmark::State& state) {
    const std::vector<std::string> names = Names(size_t(state.range(0)));
    std::map<std::string, MapEntry> cache;
    std::vector<Blank> blanks(names.size());
    for (size_t n = 0; n < names.size(); ++n)
        cache[names[n]] = MapEntry{TYPE, 1, &blanks[n]};
    size_t i = 0;
    for (auto _ : state) {
        auto found = cache.find(names[i]);
        ++found->second.users;
        benchmark::DoNotOptimize(found->second.resource);
        if (++i == names.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_ResMgr_LoadRelease)->Arg(10000)->Arg(100000);
BENCHMARK(BM_Map_Lookup)->Arg(10000)->Arg(100000);
