#include <zem/text/ZEMText.h>

#include <zem/core/ZEMLog.h>
#include <zem/core/ZEMString.h>
#include <zem/stream/ZEMResFile.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

const char MAGIC[4] = {'Z', 'E', 'M', 'T'};

// Format numbers of Load; Save numbers them differently (0 and 1 length-prefixed, 2 text).
constexpr int LOAD_DETECT = 0;
constexpr int LOAD_TEXT = 1;
constexpr int LOAD_PREFIXED = 2;
constexpr int SAVE_PREFIXED = 0;
constexpr int SAVE_PREFIXED_TOO = 1;
constexpr int SAVE_TEXT = 2;

// A string read from a file starts in a block of at most this size and grows only with the
// bytes that actually arrive, so a forged length cannot claim more memory than the file holds.
constexpr uint32_t READ_CHUNK = 1u << 16;

// A new zeroed array of size elements holding the first keep elements of old, which is
// released; null (old untouched) when memory is short.
template <typename T>
T* Regrow(T* old, size_t keep, size_t size) {
    T* grown = new (std::nothrow) T[size]();
    if (!grown) return nullptr;
    std::copy(old, old + keep, grown);
    delete[] old;
    return grown;
}

// A copy of at most len characters of text from start (a start past the end gives an empty
// string); null when memory is short.
char* CopyText(const char* text, unsigned start, unsigned len) {
    const char* from = text + strnlen(text, start);
    size_t n = strnlen(from, len);
    char* copy = new (std::nothrow) char[n + 1];
    if (!copy) return nullptr;
    std::memcpy(copy, from, n);
    copy[n] = '\0';
    return copy;
}

// len bytes of the stream in a new zero-terminated string; null when the stream ends first or
// memory is short.
char* ReadString(ZEMResFile& file, uint32_t len) {
    size_t size = std::min(len, READ_CHUNK);
    char* text = new (std::nothrow) char[size + 1];
    size_t got = 0;
    while (text && got < len) {
        if (got == size) {
            size = std::min<size_t>(len, size * 2);
            char* grown = Regrow(text, got, size + 1);
            if (!grown) break;
            text = grown;
        }
        unsigned want = unsigned(size - got);
        if (file.Read(text + got, want) != want) break;
        got = size;
    }
    if (text && got == len) {
        text[len] = '\0';
        return text;
    }
    delete[] text;
    return nullptr;
}

// A little-endian 32-bit value; false when the stream ends first (a memory stream at its end
// refuses reads without leaving an error state, so the byte count is what tells).
bool ReadField(ZEMResFile& file, uint32_t& value) {
    unsigned char b[4];
    if (file.Read(b, sizeof b) != sizeof b) return false;
    value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

// Looks at the first four bytes and moves back over as many as there were, so that a text
// shorter than the magic still loads.
int DetectFormat(ZEMResFile& file) {
    char head[sizeof MAGIC];
    unsigned got = file.Read(head, sizeof head);
    file.Seek(-int(got), 1);
    bool prefixed = got == sizeof head && std::memcmp(head, MAGIC, sizeof head) == 0;
    return prefixed ? LOAD_PREFIXED : LOAD_TEXT;
}

} // namespace

ZEMText::ZEMText(unsigned n) {
    if (!Resize(n)) Resize(1);
}

ZEMText::ZEMText(const char* fileName, int format) : ZEMText(1u) {
    LoadName(fileName, format);
}

ZEMText::ZEMText(ZEMResFile& file, int format) : ZEMText(1u) {
    Load(file, format);
}

ZEMText::~ZEMText() {
    Clear();
    delete[] slots;
}

unsigned ZEMText::Length() const {
    return unsigned(std::count_if(slots, slots + nbSlots, [](const char* s) { return s; }));
}

const char* ZEMText::GetString(unsigned index) const {
    return index < nbSlots ? slots[index] : nullptr;
}

void ZEMText::ChangeSize(unsigned n) {
    Resize(n);
}

void ZEMText::SetString(unsigned index, const char* text, unsigned start, unsigned len) {
    Put(index, text, start, len);
}

unsigned ZEMText::Append(const char* text, unsigned start, unsigned len) {
    if (!text || len == 0) return NPOS;
    unsigned index = firstFree;
    while (index < nbSlots && slots[index])
        ++index;
    firstFree = index;
    if (!Put(index, text, start, len)) return NPOS;
    firstFree = index + 1;
    return index;
}

void ZEMText::Clear() {
    for (unsigned i = 0; i < nbSlots; ++i)
        FreeSlot(i);
}

bool ZEMText::Load(ZEMResFile& file, int format) {
    if (!file.IsOK()) return false;
    if (format == LOAD_DETECT) format = DetectFormat(file);
    if (format == LOAD_TEXT) return LoadText(file);
    if (format == LOAD_PREFIXED) return LoadPrefixed(file);
    return false;
}

bool ZEMText::Save(ZEMResFile& file, int format) {
    if (!file.IsOK()) return false;
    unsigned n = nbSlots;
    while (n > 0 && !slots[n - 1])
        --n;
    if (n == 0) return false;
    if (format == SAVE_TEXT) {
        SaveText(file, n);
    } else if (format == SAVE_PREFIXED || format == SAVE_PREFIXED_TOO) {
        if (!SavePrefixed(file, n)) return false;
    } else {
        return false; // an unknown format writes nothing and says so
    }
    return file.IsOK();
}

unsigned ZEMText::MemoryUsed() const {
    unsigned used = 12 + 4 * nbSlots;
    for (unsigned i = 0; i < nbSlots; ++i) {
        if (slots[i]) used += unsigned(std::strlen(slots[i]));
    }
    return used;
}

void ZEMText::PrintInfo() const {
    ZEM::LOG("Array of %d strings :\n", int(nbSlots));
    for (unsigned i = 0; i < nbSlots; ++i) {
        if (slots[i]) ZEM::LOG("[%3d] %s\n", int(i), slots[i]);
    }
}

// Reads from the current position in one pass: one slot per line plus a free one after the last
// line. The content is replaced only when the whole stream has been read.
bool ZEMText::LoadText(ZEMResFile& file) {
    ZEMText loaded(1u);
    ZEMString line(256, nullptr);
    unsigned lines = 0;
    while (file.GetLine(line, NPOS, '\n') != 0) {
        if (lines == NPOS - 1) return false; // no room for the free slot after the last line
        const char* text = line;
        if (text && *text && !loaded.Put(lines, text, 0, NPOS)) return false;
        ++lines;
    }
    if (lines == 0) {
        ZEM::LOG("TextLoad: nothing to load!\n");
        return false;
    }
    if (!loaded.Resize(lines + 1)) return false;
    Swap(loaded);
    return true;
}

// Counts and lengths come from the file and are not trusted: slots and strings are allocated only
// as their records actually arrive, and a file that ends early is refused.
bool ZEMText::LoadPrefixed(ZEMResFile& file) {
    char magic[sizeof MAGIC];
    if (file.Read(magic, sizeof magic) != sizeof magic) return false;
    if (std::memcmp(magic, MAGIC, sizeof magic) != 0) return false;
    uint32_t count;
    if (!ReadField(file, count)) return false;
    ZEMText loaded(1u);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size; // length + 1, or 0 for a free slot
        if (!ReadField(file, size)) return false;
        if (size == 0) continue;
        char* text = ReadString(file, size - 1);
        if (!text || !loaded.Grow(i + 1)) {
            delete[] text;
            return false;
        }
        loaded.slots[i] = text;
    }
    if (!loaded.Resize(count)) return false;
    Swap(loaded);
    return true;
}

bool ZEMText::SavePrefixed(ZEMResFile& file, unsigned n) const {
    file.Write(MAGIC, sizeof MAGIC);
    file.Write32(n);
    for (unsigned i = 0; i < n; ++i) {
        size_t length = slots[i] ? std::strlen(slots[i]) : 0;
        if (length >= NPOS) return false; // the length field cannot hold it
        file.Write32(slots[i] ? unsigned(length + 1) : 0);
        if (length) file.Write(slots[i], unsigned(length));
    }
    return true;
}

void ZEMText::SaveText(ZEMResFile& file, unsigned n) const {
    for (unsigned i = 0; i < n; ++i) {
        if (slots[i]) file.Write(slots[i], unsigned(std::strlen(slots[i])));
        file.Write8('\n');
    }
}

bool ZEMText::Put(unsigned index, const char* text, unsigned start, unsigned len) {
    // The slot count is 32-bit, so the last index can never exist.
    if (index == NPOS || !Grow(index + 1)) return false;
    char* copy = nullptr;
    if (text && len != 0) {
        // Copied before the old string goes: text may point into it.
        copy = CopyText(text, start, len);
        if (!copy) return false;
    }
    FreeSlot(index);
    slots[index] = copy;
    return true;
}

bool ZEMText::Resize(unsigned n) {
    n = std::max(n, 1u);
    if (n > capacity && !Reallocate(n)) return false;
    for (unsigned i = n; i < nbSlots; ++i)
        FreeSlot(i);
    nbSlots = n;
    firstFree = std::min(firstFree, n);
    if (n < capacity) Reallocate(n); // gives back the dropped slots' memory when it can
    return true;
}

bool ZEMText::Grow(unsigned n) {
    if (n <= nbSlots) return true;
    if (n > capacity) {
        uint64_t doubled = std::max<uint64_t>(n, uint64_t(capacity) * 2);
        unsigned wanted = unsigned(std::min<uint64_t>(doubled, NPOS));
        if (!Reallocate(wanted) && !Reallocate(n)) return false;
    }
    nbSlots = n;
    return true;
}

bool ZEMText::Reallocate(unsigned newCapacity) {
    char** grown = Regrow(slots, std::min(nbSlots, newCapacity), newCapacity);
    if (!grown) return false;
    slots = grown;
    capacity = newCapacity;
    return true;
}

void ZEMText::FreeSlot(unsigned index) {
    delete[] slots[index];
    slots[index] = nullptr;
    firstFree = std::min(firstFree, index);
}

void ZEMText::Swap(ZEMText& other) {
    std::swap(slots, other.slots);
    std::swap(nbSlots, other.nbSlots);
    std::swap(capacity, other.capacity);
    std::swap(firstFree, other.firstFree);
}
