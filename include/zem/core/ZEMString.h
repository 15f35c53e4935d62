#ifndef ZEM_CORE_ZEMSTRING_H
#define ZEM_CORE_ZEMSTRING_H

#include <zem/core/ZEMExport.h>

#include <cstdarg>
#include <cstdint>

// Owned, growable, zero-terminated 8-bit string with in-place editing, ASCII searches and
// printf-style formatting. Positions and counts are unsigned; NPOS (-1) means "not found" in
// results and "up to the end" in the counts and positions that accept it.
class ZEM_API ZEMString {
public:
    // "Not found" in results; "up to the end" in counts and positions.
    static constexpr unsigned NPOS = 0xFFFFFFFFu;

    // Copy of s (empty without a block when s is null).
    ZEMString(const char* s = nullptr);
    // At most n characters of s; with a null s, an empty string with room for n characters.
    ZEMString(unsigned n, const char* s);
    // Copy of o's text.
    ZEMString(const ZEMString& o);
    // Takes o's block; o is left empty without a block.
    ZEMString(ZEMString&& o) noexcept;
    ~ZEMString();

    // Copies o's text; a string without a block releases this one's block.
    ZEMString& operator=(const ZEMString& o);
    // Takes o's block; o is left empty without a block.
    ZEMString& operator=(ZEMString&& o) noexcept;
    // Copies s; null releases the block.
    ZEMString& operator=(const char* s);
    // Appends. A character that fits in the block goes in place, without a call.
    ZEMString& operator+=(char ch) {
        if (ch == 0 || length + 1 >= capacity) {
            Insert(ch, length);
            return *this;
        }
        text[length++] = ch;
        text[length] = 0;
        return *this;
    }
    ZEMString& operator+=(const ZEMString& o);
    ZEMString& operator+=(const char* s);

    // Number of characters before the terminator.
    unsigned Length() const { return length; }
    // Bytes in the block (a multiple of 4), 0 without a block.
    unsigned Capacity() const { return capacity; }
    // The text, or null when the string is empty.
    operator const char*() const { return length ? text : nullptr; }

    // Makes room for size bytes, terminator included; keep false empties the text.
    void Allocate(unsigned size, bool keep);
    // Becomes count characters of s from s[start] (fewer if s ends first; NPOS = the rest).
    void ChangeText(const char* s, unsigned start = 0, unsigned count = NPOS);
    // Overwrites count characters from pos with ch, never past the end of the text.
    void Fill(char ch, unsigned pos = 0, unsigned count = NPOS);
    // Inserts before pos (past the end appends); s may point into this string's own text.
    void Insert(const char* s, unsigned pos);
    // Inserts one character before pos; the character 0 inserts nothing.
    void Insert(char ch, unsigned pos);
    // Removes count characters from pos (NPOS or more than there are: up to the end).
    void Delete(unsigned pos, unsigned count = NPOS);
    // Removes, from pos, the non-alphanumeric run and the word after it; returns how many went.
    unsigned KillWord(unsigned pos);
    // Replaces every from by to; returns how many were replaced (0 when to is 0).
    int Replace(char from, char to);
    // ASCII case changes; other bytes are kept.
    void LowerCase();
    void UpperCase();
    // Inverts every bit of every character; applying it twice restores the text.
    void Obfuscate();
    // Makes the text safe as a file name: blanks and separators become '_', unsafe bytes go.
    void MakeFilename();
    // Replaces the text by the printf-style formatting; a null or empty format changes nothing.
    // Arguments may point into this string's own text; a formatting that fails empties it.
    ZEMString& Format(const char* format, ...) ZEM_PRINTF(2, 3);

    // First position at or after start where ch or s occurs, or NPOS.
    unsigned Find(char ch, unsigned start = 0, bool caseSensitive = true) const;
    unsigned Find(const char* s, unsigned start = 0, bool caseSensitive = true) const;
    unsigned Find(const ZEMString& s, unsigned start = 0, bool caseSensitive = true) const;
    // Last position at or before start where ch or s begins, or NPOS; start past the end = end.
    unsigned RFind(char ch, unsigned start = NPOS, bool caseSensitive = true) const;
    unsigned RFind(const char* s, unsigned start = NPOS, bool caseSensitive = true) const;
    unsigned RFind(const ZEMString& s, unsigned start = NPOS, bool caseSensitive = true) const;
    // Compares at most count characters from pos with s: 0 equal, negative when this sorts first.
    int Compare(const char* s, bool caseSensitive = true, unsigned count = NPOS,
                unsigned pos = 0) const;
    // Writes length, capacity and text to the log.
    void PrintInfo() const;

    // New array (release with delete[]) of count characters of s from s[start]; null when s is
    // null or empty or count is 0.
    static char* StringCopy(const char* s, unsigned start = 0, unsigned count = NPOS);

private:
    // Allocate's work; false when the block could not be made (the string is then unchanged).
    bool Reserve(uint64_t size, bool keep);
    // Releases the old block and takes block in its place.
    void Adopt(char* block, uint32_t newCapacity, uint32_t newLength);
    void Release();
    void Clear();
    void InsertInPlace(const char* s, uint32_t n, uint32_t pos);
    void InsertGrown(const char* s, uint32_t n, uint32_t pos);
    void FormatIntoNewBlock(const char* format, va_list args, int result);

    char* text = nullptr;
    uint32_t capacity = 0;
    uint32_t length = 0;
};

#endif
