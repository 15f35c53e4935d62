// Loads arbitrary bytes as a score file. Whatever loads must keep every name terminated inside its
// field, and must save and load back to the same rows, scrambled or not.
#include "FuzzScratch.h"

#include <zem/core/ZEMLog.h>
#include <zem/text/ZEMScore.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

const FuzzScratch INPUT("score-in.sco");
const FuzzScratch OUTPUT("score-out.sco");

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
    INPUT.Write(data, size);

    ZEMScore table(0, ZEMScore::SCORE_HIGH_FIRST, 0);
    table.Load(INPUT.Path());
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
        if (!table.Save(OUTPUT.Path(), scramble)) abort();
        ZEMScore again(3, ZEMScore::SCORE_LOW_FIRST, 7);
        if (!again.Load(OUTPUT.Path()) || !SameRows(table, again)) abort();
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
