// Loads arbitrary bytes as a score file. Whatever loads must keep every name terminated inside its
// field, and must save and load back to the same rows, scrambled or not.
#include <zem/core/ZEMLog.h>
#include <zem/text/ZEMScore.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string TempPath(const char* what) {
    return "/tmp/zem-fuzz-score-" + std::to_string(getpid()) + "-" + what;
}

const std::string INPUT = TempPath("in.sco");
const std::string OUTPUT = TempPath("out.sco");

// Removes the scratch files when the fuzzer ends.
struct Cleanup {
    ~Cleanup() {
        std::remove(INPUT.c_str());
        std::remove(OUTPUT.c_str());
    }
} cleanup;

void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) abort();
    if (size && std::fwrite(data, 1, size, f) != size) abort();
    std::fclose(f);
}

bool SameRows(const ZEMScore& a, const ZEMScore& b) {
    if (a.nbEntries != b.nbEntries || a.order != b.order) return false;
    for (uint32_t i = 0; i < a.nbEntries; ++i) {
        const ZEMScoreEntry& x = a.entries[i];
        const ZEMScoreEntry& y = b.entries[i];
        if (std::strcmp(x.name, y.name) != 0 || x.score != y.score || x.level != y.level) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZEM::SetLogLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WriteBytes(INPUT, data, size);

    ZEMScore table(0, ZEMScore::SCORE_HIGH_FIRST, 0);
    table.Load(INPUT.c_str());
    if (table.nbEntries > size / 28 + 1) abort(); // never more rows than the file holds
    for (uint32_t i = 0; i < table.nbEntries; ++i) {
        if (!std::memchr(table.entries[i].name, 0, sizeof table.entries[i].name)) abort();
    }
    table.PrintInfo();

    // Names holding the byte 0xFF do not survive scrambling; leave them out of the round trip.
    bool scrambleable = true;
    for (uint32_t i = 0; i < table.nbEntries; ++i) {
        if (std::strchr(table.entries[i].name, '\xff')) scrambleable = false;
    }
    for (bool scramble : {false, true}) {
        if (scramble && !scrambleable) continue;
        if (!table.entries) break;
        if (!table.Save(OUTPUT.c_str(), scramble)) abort();
        ZEMScore again(3, ZEMScore::SCORE_LOW_FIRST, 7);
        if (!again.Load(OUTPUT.c_str()) || !SameRows(table, again)) abort();
    }

    ZEMScoreEntry row = {};
    std::memcpy(row.name, "fuzz", 5);
    row.score = size > 0 ? static_cast<int32_t>(data[0]) - 128 : 0;
    int at = table.Add(&row);
    if (at >= 0 &&
        (static_cast<uint32_t>(at) >= table.nbEntries || table.entries[at].score != row.score))
        abort();
    table.SetSortOrder(ZEMScore::SCORE_LOW_FIRST);
    table.Resize(size % 7);
    table.Length();
    return 0;
}
