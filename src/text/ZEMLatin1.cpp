#include <zem/text/ZEMLatin1.h>

namespace {

// Decodes the UTF-8 sequence at text[at]; returns its length, 0 when malformed (overlong forms,
// surrogates and codes above 0x10FFFF included), and its code in code.
size_t Decode(const unsigned char* text, size_t length, size_t at, uint32_t& code) {
    const unsigned char lead = text[at];
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    size_t size;
    uint32_t least;
    if ((lead & 0xE0) == 0xC0) {
        size = 2, least = 0x80, code = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        size = 3, least = 0x800, code = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        size = 4, least = 0x10000, code = lead & 0x07u;
    } else {
        return 0;
    }
    if (length - at < size) return 0;
    for (size_t i = 1; i < size; ++i) {
        const unsigned char next = text[at + i];
        if ((next & 0xC0) != 0x80) return 0;
        code = code << 6 | (next & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return size;
}

} // namespace

bool ZEMLatin1::FromUtf8(const char* text, size_t length, std::string& out, Stop* stop) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    out.clear();
    out.reserve(length);
    for (size_t at = 0, index = 0; at < length; ++index) {
        uint32_t code = 0;
        const size_t size = Decode(bytes, length, at, code);
        if (size == 0 || code > 0xFF) {
            if (stop) *stop = Stop{at, index, size == 0 ? INVALID : code};
            return false;
        }
        out += char(code);
        at += size;
    }
    return true;
}

std::string ZEMLatin1::ToUtf8(const char* text, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        const unsigned char code = static_cast<unsigned char>(text[i]);
        if (code < 0x80) {
            out += char(code);
        } else {
            out += char(0xC0 | code >> 6);
            out += char(0x80 | (code & 0x3F));
        }
    }
    return out;
}

bool ZEMLatin1::LooksUtf8(const char* text, size_t length) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    bool high = false;
    for (size_t at = 0; at < length;) {
        uint32_t code = 0;
        const size_t size = Decode(bytes, length, at, code);
        if (size == 0) return false;
        high = high || size > 1;
        at += size;
    }
    return high;
}
