#include <zem/text/ZEMScore.h>

#include <zem/core/ZEMLog.h>
#include <zem/stream/ZEMFile.h>
#include <zem/stream/ZEMSaveFile.h>
#include <zem/text/ZEMParse.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

const uint32_t SCORE_MAGIC = 0x01020304;
const uint8_t SCORE_VERSION = 3;
const unsigned NAME_SIZE = sizeof(ZEMScoreEntry::name);
const unsigned ROW_SIZE = NAME_SIZE + 8;
const unsigned MIN_ROWS = 3;

ZEMScore::SortOrder Normalised(uint32_t order) {
    return order ? ZEMScore::SCORE_LOW_FIRST : ZEMScore::SCORE_HIGH_FIRST;
}

// Whether score a ranks strictly before score b.
bool Beats(ZEMScore::SortOrder order, int32_t a, int32_t b) {
    return order == ZEMScore::SCORE_HIGH_FIRST ? a > b : a < b;
}

// Names come from callers and files: the last byte of the field always stays a terminator, so
// that a name can be handed out, printed and scrambled without reading past its field.
void Terminate(ZEMScoreEntry& row) {
    row.name[NAME_SIZE - 1] = '\0';
}

// The name field as written to a file: scrambled text and zeros after it, or the field as it is.
void NameField(const ZEMScoreEntry& row, bool scramble, char* field) {
    std::memcpy(field, row.name, NAME_SIZE);
    if (!scramble || row.name[0] == '\0') return;
    char name[NAME_SIZE + 1] = {};
    std::memcpy(name, row.name, NAME_SIZE - 1);
    std::memset(field, 0, NAME_SIZE);
    ZEMParse::Obfuscate(name, field);
}

// Rows the rest of the stream can hold; a last row cut short counts, its missing bytes zero.
uint32_t RowsLeft(ZEMFile& file) {
    unsigned here = file.GetPos();
    file.SeekEnd();
    unsigned end = file.GetPos();
    file.Seek(static_cast<int>(here), 0);
    if (end == 0xFFFFFFFFu || end <= here) return 0;
    return (end - here + ROW_SIZE - 1) / ROW_SIZE;
}

} // namespace

ZEMScore::ZEMScore(unsigned size, SortOrder order, int defaultScore) : order(Normalised(order)) {
    if (size == 0) return;
    unsigned rows = std::max(size, MIN_ROWS);
    entries = new (std::nothrow) ZEMScoreEntry[rows]();
    if (!entries) return;
    nbEntries = rows;
    Reset(defaultScore);
}

ZEMScore::~ZEMScore() {
    delete[] entries;
}

unsigned ZEMScore::Length() const {
    for (uint32_t i = 0; i < nbEntries; ++i) {
        if (entries[i].name[0] == '\0') return i;
    }
    return nbEntries;
}

void ZEMScore::SetSortOrder(SortOrder newOrder) {
    newOrder = Normalised(newOrder);
    if (newOrder == order) return;
    order = newOrder;
    if (entries && nbEntries >= 2) std::reverse(entries, entries + nbEntries);
}

void ZEMScore::Resize(unsigned n) {
    if (n == nbEntries) return;
    unsigned rows = std::max(n, MIN_ROWS);
    ZEMScoreEntry* resized = new (std::nothrow) ZEMScoreEntry[rows]();
    if (!resized) return;
    if (entries) std::copy(entries, entries + std::min(rows, nbEntries), resized);
    delete[] entries;
    entries = resized;
    nbEntries = rows;
}

int ZEMScore::Add(const ZEMScoreEntry* entry) {
    // A loaded table may have no row at all: there is no last row to beat.
    if (!entry || !entries || nbEntries == 0) return -1;
    uint32_t last = nbEntries - 1;
    if (!Beats(order, entry->score, entries[last].score)) return -1;
    uint32_t at = last;
    while (at > 0 && Beats(order, entry->score, entries[at - 1].score))
        --at;
    std::copy_backward(entries + at, entries + last, entries + nbEntries);
    entries[at] = *entry;
    Terminate(entries[at]);
    return static_cast<int>(at);
}

void ZEMScore::Reset(int defaultScore) {
    for (uint32_t i = 0; i < nbEntries; ++i) {
        std::memset(entries[i].name, 0, NAME_SIZE);
        entries[i].score = defaultScore;
        entries[i].level = 0;
    }
}

bool ZEMScore::Load(const char* fileName) {
    ZEMFile file(fileName, ZEMResFile::READ);
    if (!file.IsOK()) return false;
    if (file.Read32() != SCORE_MAGIC) return false;
    uint8_t version = file.Read8();
    uint32_t count = file.Read32();
    uint32_t fileOrder = file.Read32();
    bool scrambled = version >= 3 && file.Read8() != 0;
    // A header cut short is not a score table, not even an empty one.
    if (!file.IsOK()) return false;

    // The count is the file's word; never allocate more rows than the file holds.
    uint32_t rows = std::min(count, RowsLeft(file));
    ZEMScoreEntry* loaded = new (std::nothrow) ZEMScoreEntry[rows]();
    if (!loaded) return false;
    for (uint32_t i = 0; i < rows; ++i) {
        ZEMScoreEntry& row = loaded[i];
        file.Read(row.name, NAME_SIZE);
        row.score = static_cast<int32_t>(file.Read32());
        row.level = static_cast<int32_t>(file.Read32());
        Terminate(row);
        if (scrambled && row.name[0] != '\0') ZEMParse::Obfuscate(row.name, row.name);
    }
    delete[] entries;
    entries = loaded;
    nbEntries = rows;
    order = Normalised(fileOrder);
    return file.IsOK() && rows == count;
}

bool ZEMScore::Save(const char* fileName, bool scramble) const {
    if (!entries) return false;
    ZEMSaveFile file(fileName, true);
    bool ok = file.Write32(SCORE_MAGIC) && file.Write8(SCORE_VERSION) && file.Write32(nbEntries) &&
              file.Write32(order) && file.Write8(scramble ? 1 : 0);
    for (uint32_t i = 0; ok && i < nbEntries; ++i) {
        char field[NAME_SIZE];
        NameField(entries[i], scramble, field);
        ok = file.Write(field, NAME_SIZE) == NAME_SIZE &&
             file.Write32(static_cast<uint32_t>(entries[i].score)) &&
             file.Write32(static_cast<uint32_t>(entries[i].level));
    }
    return ok && file.Commit();
}

void ZEMScore::PrintInfo() const {
    ZEM::LOG("Score table (%d entries) (name/level/score):\n", static_cast<int>(nbEntries));
    for (uint32_t i = 0; i < nbEntries; ++i) {
        char name[NAME_SIZE + 1] = {};
        std::memcpy(name, entries[i].name, NAME_SIZE);
        ZEM::LOG("[%3d] %32s %3d %8d\n", static_cast<int>(i), name, entries[i].level,
                 entries[i].score);
    }
}
