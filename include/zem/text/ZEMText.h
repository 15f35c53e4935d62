#ifndef ZEM_TEXT_ZEMTEXT_H
#define ZEM_TEXT_ZEMTEXT_H

#include <zem/core/ZEMExport.h>
#include <zem/resource/ZEMResource.h>

// An indexed array of slots, each holding one string or free. It reads and writes two file
// formats: plain text, one string per line, and a length-prefixed file with the magic "ZEMT".
//
// Format numbers differ between the two directions:
//   Load: 0 recognises the file by its magic, 1 text, 2 length-prefixed.
//   Save: 0 and 1 length-prefixed, 2 text.
class ZEM_API ZEMText : public ZEMResource {
public:
    // The length that takes the rest of a text, and the index result "no slot".
    static constexpr unsigned NPOS = 0xFFFFFFFFu;

    // n free slots (1 when n is 0).
    explicit ZEMText(unsigned n);
    // Loaded from the disk file fileName; one free slot when it cannot be loaded.
    ZEMText(const char* fileName, int format);
    // Loaded from the stream; one free slot when it cannot be loaded.
    ZEMText(ZEMResFile& file, int format);
    ~ZEMText() override;
    ZEMText(const ZEMText&) = delete;
    ZEMText& operator=(const ZEMText&) = delete;

    // Number of used slots.
    unsigned Length() const;
    // Number of slots, used or free (at least 1).
    unsigned NbSlots() const { return nbSlots; }
    // The string in slot index; null for a free slot or an index past the end.
    const char* GetString(unsigned index) const;

    // Sets the number of slots to max(n, 1): strings past the new end are freed, new slots are
    // free, the others keep their strings.
    void ChangeSize(unsigned n);
    // Puts a copy of len characters of text from start (NPOS: the rest) into slot index, growing
    // the array when index is past its end. A null text or len 0 leaves the slot free.
    void SetString(unsigned index, const char* text, unsigned start = 0, unsigned len = NPOS);
    // Stores the text as SetString does in the first free slot (a new one at the end when none
    // is free) and returns its index; NPOS and no change for a null text or len 0.
    unsigned Append(const char* text, unsigned start = 0, unsigned len = NPOS);
    // Frees every string; the number of slots stays.
    void Clear();

    // Replaces the content with the stream's, read in the given format. On failure (stream not
    // open, no magic, empty text, truncated or oversized file, unknown format) nothing changes.
    bool Load(ZEMResFile& file, int format) override;
    // Writes the slots up to the last used one; false when every slot is free, for an unknown
    // format, or when the stream refused a write.
    bool Save(ZEMResFile& file, int format) override;
    // 12 + 4 per slot + the lengths of the strings.
    unsigned MemoryUsed() const override;
    // Writes the slot count and every used slot to the log.
    void PrintInfo() const;

private:
    bool LoadText(ZEMResFile& file);
    bool LoadPrefixed(ZEMResFile& file);
    bool SavePrefixed(ZEMResFile& file, unsigned n) const;
    void SaveText(ZEMResFile& file, unsigned n) const;
    // Copies text into slot index, growing the array; false when memory is short.
    bool Put(unsigned index, const char* text, unsigned start, unsigned len);
    // Sets the slot count, reallocating the array to exactly n; false when memory is short.
    bool Resize(unsigned n);
    // Sets the slot count to at least n, growing the array by doubling; false when memory is short.
    bool Grow(unsigned n);
    bool Reallocate(unsigned newCapacity);
    void FreeSlot(unsigned index);
    void Swap(ZEMText& other);

    char** slots = nullptr; // nbSlots strings (array new) or null for free slots
    unsigned nbSlots = 0;
    unsigned capacity = 0;  // allocated slots; those from nbSlots on are null
    unsigned firstFree = 0; // every slot below it is used
};

#endif
