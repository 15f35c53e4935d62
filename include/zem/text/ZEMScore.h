#ifndef ZEM_TEXT_ZEMSCORE_H
#define ZEM_TEXT_ZEMSCORE_H

#include <zem/core/ZEMExport.h>
#include <zem/text/ZEMScoreEntry.h>

#include <cstdint>

// A fixed-size table of the best results of a game, best row first. Rows nobody has taken yet
// have an empty name. The table loads from and saves to a small file, names optionally scrambled.
class ZEM_API ZEMScore {
public:
    // The order of the table; every non-zero value acts as SCORE_LOW_FIRST.
    enum SortOrder : uint32_t {
        SCORE_HIGH_FIRST = 0, // highest score first
        SCORE_LOW_FIRST = 1,  // lowest score first (times and the like)
    };

    // A table of max(size, 3) empty rows with defaultScore; size 0 allocates no table.
    ZEMScore(unsigned size, SortOrder order, int defaultScore);
    ~ZEMScore();
    ZEMScore(const ZEMScore&) = delete;
    ZEMScore& operator=(const ZEMScore&) = delete;

    // The number of leading non-empty rows.
    unsigned Length() const;
    // Changes the order, reversing the rows so that they stay sorted (empty rows then come first).
    void SetSortOrder(SortOrder newOrder);
    // Gives the table max(n, 3) rows (nothing when n equals nbEntries); new rows are all zero.
    void Resize(unsigned n);
    // Inserts a copy of entry below the rows of equal score and drops the last row. Returns the
    // row index, or -1 when the entry does not beat the last row (or there is no row).
    int Add(const ZEMScoreEntry* entry);
    // Empties every row: no name, score defaultScore, level 0.
    void Reset(int defaultScore);
    // Replaces the table and its order by those of a score file. False when the file does not
    // open, is not a score file, or is shorter than its header says (the rows read are kept).
    bool Load(const char* fileName);
    // Writes the table to a score file, names scrambled when scramble is true; the file is
    // replaced whole (ZEMSaveFile), or left as it was when the table cannot be written.
    bool Save(const char* fileName, bool scramble) const;
    // Dumps the table to the log.
    void PrintInfo() const;

    ZEMScoreEntry* entries = nullptr;   // the rows, best first; null when there is no table
    uint32_t nbEntries = 0;             // number of rows
    SortOrder order = SCORE_HIGH_FIRST; // the order in force
};

#endif
