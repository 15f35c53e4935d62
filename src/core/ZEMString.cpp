#include <zem/core/ZEMString.h>

#include <zem/core/ZEMLog.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// The largest block whose size, a multiple of 4, still fits in 32 bits.
const uint64_t MAX_CAPACITY = 0xFFFFFFFCu;
// Even an empty text needs its terminator, and blocks come in multiples of 4.
const uint32_t MIN_CAPACITY = 4;
// Insertion grows by at least this much, and by at least the block's own size, so that appending
// characters one by one takes amortised constant time.
const uint32_t MIN_GROWTH = 10;
// Most formatted texts are short: they go through the stack before the block is touched.
const size_t SHORT_FORMAT = 256;
// A formatter that keeps failing is retried this many times with a doubled block.
const int FORMAT_RETRIES = 4;

// size raised to a multiple of 4 (at least 4), or 0 when that does not fit in 32 bits.
uint32_t RoundCapacity(uint64_t size) {
    if (size > MAX_CAPACITY) return 0;
    if (size < MIN_CAPACITY) return MIN_CAPACITY;
    return uint32_t((size + 3) & ~uint64_t(3));
}

char* NewBlock(uint32_t capacity) {
    return capacity ? new (std::nothrow) char[capacity] : nullptr;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
    return Lower(c) >= 'a' && Lower(c) <= 'z';
}

bool IsAlnum(char c) {
    return IsDigit(c) || IsLetter(c);
}

bool SameChar(char a, char b, bool caseSensitive) {
    return a == b || (!caseSensitive && Lower(a) == Lower(b));
}

bool IsFilenameSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\\' || c == '/' || c == '\n';
}

bool IsFilenameChar(char c) {
    return c == '-' || c == '.' || c == '@' || c == '_' || IsAlnum(c);
}

// s + start, or an empty text when s ends before start (so nothing past its terminator is read).
const char* TextAt(const char* s, unsigned start) {
    return strnlen(s, start) < start ? "" : s + start;
}

int Print(char* buffer, size_t size, const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int result = vsnprintf(buffer, size, format, copy);
    va_end(copy);
    return result;
}

} // namespace

ZEMString::ZEMString(const char* s) {
    if (s) ChangeText(s, 0, NPOS);
}

ZEMString::ZEMString(unsigned n, const char* s) {
    if (s) {
        ChangeText(s, 0, n);
    } else {
        Reserve(uint64_t(n) + 1, true);
    }
}

ZEMString::ZEMString(const ZEMString& o) {
    if (o.text) ChangeText(o.text, 0, NPOS);
}

ZEMString::ZEMString(ZEMString&& o) noexcept
    : text(o.text), capacity(o.capacity), length(o.length) {
    o.text = nullptr;
    o.capacity = 0;
    o.length = 0;
}

ZEMString::~ZEMString() {
    delete[] text;
}

ZEMString& ZEMString::operator=(const ZEMString& o) {
    if (this == &o) return *this;
    if (o.text) {
        ChangeText(o.text, 0, NPOS);
    } else {
        Release();
    }
    return *this;
}

ZEMString& ZEMString::operator=(ZEMString&& o) noexcept {
    if (this == &o) return *this;
    Adopt(o.text, o.capacity, o.length);
    o.text = nullptr;
    o.capacity = 0;
    o.length = 0;
    return *this;
}

ZEMString& ZEMString::operator=(const char* s) {
    if (s) {
        ChangeText(s, 0, NPOS);
    } else {
        Release();
    }
    return *this;
}

ZEMString& ZEMString::operator+=(const ZEMString& o) {
    if (o.text) Insert(o.text, length);
    return *this;
}

ZEMString& ZEMString::operator+=(const char* s) {
    if (s) Insert(s, length);
    return *this;
}

bool ZEMString::Reserve(uint64_t size, bool keep) {
    if (size < capacity) return true;
    uint32_t newCapacity = RoundCapacity(size);
    char* block = NewBlock(newCapacity);
    if (!block) return false;
    uint32_t newLength = keep && text ? length : 0;
    if (newLength) memcpy(block, text, newLength);
    block[newLength] = 0;
    Adopt(block, newCapacity, newLength);
    return true;
}

void ZEMString::Adopt(char* block, uint32_t newCapacity, uint32_t newLength) {
    delete[] text;
    text = block;
    capacity = newCapacity;
    length = newLength;
}

void ZEMString::Release() {
    Adopt(nullptr, 0, 0);
}

void ZEMString::Clear() {
    length = 0;
    if (text) text[0] = 0;
}

void ZEMString::Allocate(unsigned size, bool keep) {
    Reserve(size, keep);
}

void ZEMString::ChangeText(const char* s, unsigned start, unsigned count) {
    if (count == 0) return;
    if (!s || !*s) {
        Clear();
        return;
    }
    const char* from = TextAt(s, start);
    uint32_t n = uint32_t(strnlen(from, count));
    // A source inside this block is shorter than the block, so it is never released here.
    if (n >= capacity && !Reserve(uint64_t(n) + 1, false)) return;
    memmove(text, from, n);
    text[n] = 0;
    length = n;
}

void ZEMString::Fill(char ch, unsigned pos, unsigned count) {
    if (count == 0 || pos >= length) return;
    if (count > length - pos) count = length - pos;
    memset(text + pos, ch, count);
}

void ZEMString::Insert(const char* s, unsigned pos) {
    if (!s || !*s) return;
    if (length == 0) {
        ChangeText(s, 0, NPOS);
        return;
    }
    if (pos > length) pos = length;
    size_t n = strlen(s);
    if (n >= MAX_CAPACITY - length) return;
    if (length + n < capacity) {
        InsertInPlace(s, uint32_t(n), pos);
    } else {
        InsertGrown(s, uint32_t(n), pos);
    }
}

void ZEMString::InsertInPlace(const char* s, uint32_t n, uint32_t pos) {
    // Bytes of a source inside this block that lie at or after pos move up with the tail; the
    // rest stay where they are.
    uint32_t unmoved = n;
    uintptr_t address = reinterpret_cast<uintptr_t>(s);
    uintptr_t base = reinterpret_cast<uintptr_t>(text);
    if (address >= base && address < base + capacity) {
        uint32_t offset = uint32_t(address - base);
        unmoved = offset >= pos ? 0 : std::min(n, pos - offset);
    }
    char* gap = text + pos;
    memmove(gap + n, gap, length - pos + 1);
    memcpy(gap, s, unmoved);
    if (unmoved < n) memcpy(gap + unmoved, s + unmoved + n, n - unmoved);
    length += n;
}

void ZEMString::InsertGrown(const char* s, uint32_t n, uint32_t pos) {
    uint64_t grown = uint64_t(capacity) + std::max({n, MIN_GROWTH, capacity});
    uint32_t newCapacity = RoundCapacity(std::min(grown, MAX_CAPACITY));
    char* block = NewBlock(newCapacity);
    if (!block) return;
    // s may lie in the old block, which is released only once everything is copied.
    memcpy(block, text, pos);
    memcpy(block + pos, s, n);
    memcpy(block + pos + n, text + pos, length - pos + 1);
    Adopt(block, newCapacity, length + n);
}

void ZEMString::Insert(char ch, unsigned pos) {
    if (ch == 0) return;
    const char s[2] = {ch, 0};
    Insert(s, pos);
}

void ZEMString::Delete(unsigned pos, unsigned count) {
    if (pos >= length) return;
    if (count >= length - pos) {
        text[pos] = 0;
        length = pos;
        return;
    }
    memmove(text + pos, text + pos + count, length - pos - count + 1);
    length -= count;
}

unsigned ZEMString::KillWord(unsigned pos) {
    if (pos >= length) return 0;
    uint32_t end = pos;
    while (end < length && !IsAlnum(text[end])) {
        ++end;
    }
    while (end < length && IsAlnum(text[end])) {
        ++end;
    }
    Delete(pos, end - pos);
    return end - pos;
}

int ZEMString::Replace(char from, char to) {
    // A zero would cut the text short.
    if (from == 0 || to == 0) return 0;
    int replaced = 0;
    for (uint32_t i = 0; i < length; ++i) {
        if (text[i] != from) continue;
        text[i] = to;
        ++replaced;
    }
    return replaced;
}

void ZEMString::LowerCase() {
    for (uint32_t i = 0; i < length; ++i) {
        text[i] = Lower(text[i]);
    }
}

void ZEMString::UpperCase() {
    for (uint32_t i = 0; i < length; ++i) {
        text[i] = Upper(text[i]);
    }
}

void ZEMString::Obfuscate() {
    for (uint32_t i = 0; i < length; ++i) {
        text[i] = char(~text[i]);
    }
}

void ZEMString::MakeFilename() {
    if (length == 0) return;
    uint32_t newCapacity = RoundCapacity(uint64_t(length) + 1);
    char* block = NewBlock(newCapacity);
    if (!block) return;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < length; ++i) {
        char c = text[i];
        if (IsFilenameSeparator(c)) {
            block[kept++] = '_';
        } else if (IsFilenameChar(c)) {
            block[kept++] = c;
        }
    }
    block[kept] = 0;
    Adopt(block, newCapacity, kept);
}

ZEMString& ZEMString::Format(const char* format, ...) {
    if (!format || !*format) return *this;
    va_list args;
    va_start(args, format);
    // The arguments may point into the block: it is written only once they have been read.
    char shortText[SHORT_FORMAT];
    int result = Print(shortText, sizeof shortText, format, args);
    if (result >= 0 && size_t(result) < sizeof shortText) {
        uint64_t size = uint64_t(result) + 1;
        if (size <= capacity || Reserve(std::max<uint64_t>(size, MIN_CAPACITY), false)) {
            memcpy(text, shortText, size);
            length = uint32_t(result);
        } else {
            Clear();
        }
    } else {
        FormatIntoNewBlock(format, args, result);
    }
    va_end(args);
    return *this;
}

void ZEMString::FormatIntoNewBlock(const char* format, va_list args, int result) {
    uint32_t blockCapacity = capacity ? capacity : MIN_CAPACITY;
    for (int attempt = 0; attempt <= FORMAT_RETRIES; ++attempt) {
        if (result < 0) {
            blockCapacity = RoundCapacity(uint64_t(blockCapacity) * 2);
        } else if (uint32_t(result) >= blockCapacity) {
            blockCapacity = RoundCapacity(uint64_t(result) + 1);
        }
        char* block = NewBlock(blockCapacity);
        if (!block) break;
        result = Print(block, blockCapacity, format, args);
        if (result >= 0 && uint32_t(result) < blockCapacity) {
            Adopt(block, blockCapacity, uint32_t(result));
            return;
        }
        delete[] block;
    }
    Clear();
}

unsigned ZEMString::Find(char ch, unsigned start, bool caseSensitive) const {
    for (uint32_t i = start; i < length; ++i) {
        if (SameChar(text[i], ch, caseSensitive)) return i;
    }
    return NPOS;
}

unsigned ZEMString::Find(const char* s, unsigned start, bool caseSensitive) const {
    if (!s || start >= length) return NPOS;
    uint32_t rest = length - start;
    size_t n = strnlen(s, size_t(rest) + 1);
    if (n == 0 || n > rest) return NPOS;
    for (uint32_t p = start; p <= length - n; ++p) {
        if (Compare(s, caseSensitive, uint32_t(n), p) == 0) return p;
    }
    return NPOS;
}

unsigned ZEMString::Find(const ZEMString& s, unsigned start, bool caseSensitive) const {
    return Find(s.text, start, caseSensitive);
}

unsigned ZEMString::RFind(char ch, unsigned start, bool caseSensitive) const {
    if (length == 0) return NPOS;
    if (start >= length) start = length - 1;
    for (uint32_t i = start + 1; i-- > 0;) {
        if (SameChar(text[i], ch, caseSensitive)) return i;
    }
    return NPOS;
}

unsigned ZEMString::RFind(const char* s, unsigned start, bool caseSensitive) const {
    if (length == 0 || !s) return NPOS;
    size_t n = strnlen(s, size_t(length) + 1);
    if (n == 0 || n > length) return NPOS;
    if (start >= length) start = length - 1;
    if (start >= length - n) start = length - uint32_t(n);
    for (uint32_t p = start + 1; p-- > 0;) {
        if (Compare(s, caseSensitive, uint32_t(n), p) == 0) return p;
    }
    return NPOS;
}

unsigned ZEMString::RFind(const ZEMString& s, unsigned start, bool caseSensitive) const {
    return RFind(s.text, start, caseSensitive);
}

int ZEMString::Compare(const char* s, bool caseSensitive, unsigned count, unsigned pos) const {
    // An empty string has no position to start from: it compares as an empty text.
    const char* own = "";
    if (length) {
        if (count > length + 1) count = length + 1;
        if (pos > length - 1) pos = length - 1;
        own = text + pos;
    }
    if (!s) s = "";
    for (uint32_t i = 0; i < count; ++i) {
        unsigned char a = static_cast<unsigned char>(own[i]);
        unsigned char b = static_cast<unsigned char>(s[i]);
        if (!caseSensitive) {
            a = static_cast<unsigned char>(Lower(char(a)));
            b = static_cast<unsigned char>(Lower(char(b)));
        }
        if (a != b) return int(a) - int(b);
        if (a == 0) return 0;
    }
    return 0;
}

void ZEMString::PrintInfo() const {
    ZEM::LOG("ZEMString(%d/%d): %s\n", int(length), int(capacity), text ? text : "");
}

char* ZEMString::StringCopy(const char* s, unsigned start, unsigned count) {
    if (!s || !*s || count == 0) return nullptr;
    const char* from = TextAt(s, start);
    size_t n = strnlen(from, count);
    char* copy = new (std::nothrow) char[n + 1];
    if (!copy) return nullptr;
    memcpy(copy, from, n);
    copy[n] = 0;
    return copy;
}
