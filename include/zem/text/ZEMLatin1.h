#ifndef ZEM_TEXT_ZEMLATIN1_H
#define ZEM_TEXT_ZEMLATIN1_H

#include <zem/core/ZEMExport.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Conversions between UTF-8, the encoding of terminals and editors, and Latin-1 (ISO 8859-1), the
// codes 0 to 255 that fonts and the library's text files hold.
class ZEM_API ZEMLatin1 {
public:
    // Where a conversion from UTF-8 stopped.
    struct Stop {
        // Byte offset of the character in the input.
        size_t offset = 0;
        // Its index among the input's characters, from 0.
        size_t character = 0;
        // The character's code, or INVALID for a malformed sequence.
        uint32_t code = 0;
    };
    // The code given to a malformed sequence.
    static constexpr uint32_t INVALID = 0xFFFFFFFFu;

    // The UTF-8 text of length bytes as Latin-1 into out. False, out holding the text before it,
    // at the first character above 255 or the first malformed sequence (stop says which, when not
    // null).
    static bool FromUtf8(const char* text, size_t length, std::string& out, Stop* stop = nullptr);
    // The Latin-1 text of length bytes as UTF-8.
    static std::string ToUtf8(const char* text, size_t length);
    // True when the text is well-formed UTF-8 and has a byte above 127: text that is UTF-8 and
    // could not be read as Latin-1 the same way.
    static bool LooksUtf8(const char* text, size_t length);
};

#endif
