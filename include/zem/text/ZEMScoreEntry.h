#ifndef ZEM_TEXT_ZEMSCOREENTRY_H
#define ZEM_TEXT_ZEMSCOREENTRY_H

#include <cstdint>

// One row of a score table, 28 bytes in memory and in score files.
struct ZEMScoreEntry {
    char name[20]; // the player's name, at most 19 characters and a zero; empty marks an empty row
    int32_t score; // the result by which rows are ordered
    int32_t level; // the level reached
};

static_assert(sizeof(ZEMScoreEntry) == 28, "a score row is 28 bytes");

#endif
