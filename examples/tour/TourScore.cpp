#include "Tour.h"

#include <zem/core.h>
#include <zem/text.h>

#include <cstring>

namespace {

ZEMScoreEntry Entry(const char* name, int score, int level) {
    ZEMScoreEntry row = {};
    std::strncpy(row.name, name, sizeof row.name - 1);
    row.score = score;
    row.level = level;
    return row;
}

void Show(const ZEMScore& table) {
    for (unsigned i = 0; i < table.Length(); ++i) {
        const ZEMScoreEntry& row = table.entries[i];
        ZEM::LOG("  %u. %-8s level %2d  %6d\n", i + 1, row.name, row.level, row.score);
    }
}

} // namespace

void TourScore() {
    ZEM::LOG("== Scores: a high-score table saved with scrambled names, reloaded, one new entry\n");
    ZEM::RandomInit(2026); // the same "random" players on every run
    ZEMScore table(5, ZEMScore::SCORE_HIGH_FIRST, 0);
    const char* players[] = {"Ada", "Brian", "Chloe", "Dmitri"};
    for (const char* name : players) {
        ZEMScoreEntry row = Entry(name, 1000 + static_cast<int>(ZEM::Randomi(9000)),
                                  1 + static_cast<int>(ZEM::Randomi(20)));
        table.Add(&row);
    }
    if (!table.Save("scores.sco", true)) {
        ZEM::LOG("  could not write scores.sco\n");
        return;
    }

    ZEMScore loaded(0, ZEMScore::SCORE_HIGH_FIRST, 0);
    if (!loaded.Load("scores.sco")) {
        ZEM::LOG("  could not read scores.sco back\n");
        return;
    }
    ZEM::LOG("  scores.sco read back: %u rows, %u taken\n", loaded.nbEntries, loaded.Length());
    ZEMScoreEntry you = Entry("You", loaded.entries[1].score + 1, 12);
    int rank = loaded.Add(&you);
    ZEM::LOG("  You score %d and enter at rank %d:\n", you.score, rank + 1);
    Show(loaded);
}
