#include <zem/core/ZEMLog.h>
#include <zem/text/ZEMParse.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool IsNumberChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' ||
           c == '+' || c == '-';
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether text begins with word, ASCII case ignored.
bool StartsWithWord(const char* text, const char* word) {
    for (; *word; ++text, ++word) {
        if (Lower(*text) != Lower(*word)) return false;
    }
    return true;
}

// Common ending of the cursor readers: past the value and one comma right after it.
bool Advance(char** cursor, const char* end) {
    if (!end) return false;
    if (*end == ',') ++end;
    *cursor = const_cast<char*>(end);
    return true;
}

bool CursorValid(char** cursor) {
    return cursor && *cursor;
}

// Decimal order of magnitude of a number whose conversion over- or underflowed: positive means
// too large. Only the sign matters.
long Magnitude(const char* begin, const char* end) {
    long leading = 0; // digits before the first non-zero one, point counted as a boundary
    long integer = 0; // digits before the point
    bool point = false, nonZero = false;
    const char* p = begin;
    for (; p < end && *p != 'e' && *p != 'E'; ++p) {
        if (*p == '.') {
            point = true;
        } else if (!nonZero && *p == '0') {
            if (point) ++leading;
        } else {
            nonZero = true;
            if (!point) ++integer;
        }
    }
    // Kept far from the limits of long so that the sum below cannot overflow.
    long exponent =
        (p < end) ? std::clamp(std::strtol(p + 1, nullptr, 10), -1000000L, 1000000L) : 0;
    return exponent + (integer > 0 ? integer : -leading);
}

#ifdef __EMSCRIPTEN__
// Its libc++ has no floating-point from_chars, and its C library no locale but "C": strtod reads
// the same decimal syntax there, once a hexadecimal "0x" tail (which from_chars stops before) is
// cut off.
std::from_chars_result FromChars(const char* first, const char* last, double& value) {
    std::string text(first, last);
    const size_t x = text.find_first_of("xX");
    if (x != std::string::npos) text.resize(x);
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text.c_str(), &end);
    const char* ptr = first + (end - text.c_str());
    if (ptr == first) return {first, std::errc::invalid_argument};
    if (errno == ERANGE) return {ptr, std::errc::result_out_of_range};
    value = parsed;
    return {ptr, std::errc()};
}
#else
std::from_chars_result FromChars(const char* first, const char* last, double& value) {
    return std::from_chars(first, last, value);
}
#endif

// The standard decimal floating-point syntax, read the same way whatever locale the host has set,
// so that "1.5" in a configuration file always means one and a half.
const char* ParseDouble(const char* text, double& value) {
    const char* p = text;
    while (IsSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    if (*p == '-') return nullptr; // from_chars would take a second sign
    // The number cannot reach past its run of digits, letters, points and signs.
    const char* limit = p;
    while (IsNumberChar(*limit))
        ++limit;
    double magnitude = 0.0;
    std::from_chars_result r = FromChars(p, limit, magnitude);
    if (r.ec == std::errc::invalid_argument) return nullptr;
    if (r.ec == std::errc::result_out_of_range) {
        magnitude = Magnitude(p, r.ptr) > 0 ? HUGE_VAL : 0.0;
    }
    value = negative ? -magnitude : magnitude;
    return r.ptr;
}

} // namespace

unsigned ZEMParse::ReadString(char** cursor, char* out, unsigned size, char delim) {
    if (!CursorValid(cursor)) return 0;
    char* p = EatSpace(*cursor);
    unsigned limit = out ? size : UINT_MAX;
    unsigned n = 0;
    while (n < limit && p[n] && p[n] != delim) {
        if (out) out[n] = p[n];
        ++n;
    }
    if (out) out[n] = '\0';
    p += n;
    if (delim && *p == delim) ++p;
    *cursor = p;
    return n;
}

bool ZEMParse::ReadBoolean(char** cursor, bool& value) {
    return CursorValid(cursor) &&
           Advance(cursor, ReadBoolean(static_cast<const char*>(*cursor), value));
}

bool ZEMParse::ReadInt(char** cursor, int& value) {
    return CursorValid(cursor) &&
           Advance(cursor, ReadInt(static_cast<const char*>(*cursor), value));
}

bool ZEMParse::ReadFloat(char** cursor, float& value) {
    return CursorValid(cursor) &&
           Advance(cursor, ReadFloat(static_cast<const char*>(*cursor), value));
}

bool ZEMParse::ReadColor(char** cursor, unsigned char* rgba) {
    return CursorValid(cursor) &&
           Advance(cursor, ReadColor(static_cast<const char*>(*cursor), rgba));
}

bool ZEMParse::ReadGeometry(char** cursor, ZEMRect& rect) {
    int value = 0;
    if (!ReadInt(cursor, value)) return false;
    rect.x = static_cast<int16_t>(value);
    if (!ReadInt(cursor, value)) return false;
    rect.y = static_cast<int16_t>(value);
    if (!ReadInt(cursor, value)) return false;
    rect.w = static_cast<uint16_t>(value);
    if (!ReadInt(cursor, value)) return false;
    rect.h = static_cast<uint16_t>(value);
    return true;
}

const char* ZEMParse::ReadBoolean(const char* text, bool& value) {
    if (!text) return nullptr;
    const char* p = EatSpace(text);
    if (!*p) return nullptr;
    if (*p == '1' || *p == '0') {
        value = (*p == '1');
        return p + 1;
    }
    static const struct {
        const char* word;
        bool value;
    } WORDS[] = {{"YES", true}, {"NO", false}, {"TRUE", true}, {"FALSE", false}};
    for (const auto& w : WORDS) {
        if (StartsWithWord(p, w.word)) {
            value = w.value;
            return p + std::strlen(w.word);
        }
    }
    return nullptr;
}

const char* ZEMParse::ReadInt(const char* text, int& value) {
    if (!text) return nullptr;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text) return nullptr;
    // Saturate like a 32-bit long would, so that the result does not depend on the platform.
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    value = static_cast<int>(v);
    return end;
}

const char* ZEMParse::ReadFloat(const char* text, float& value) {
    if (!text) return nullptr;
    double v = 0.0;
    const char* end = ParseDouble(text, v);
    if (!end) return nullptr;
    value = static_cast<float>(v);
    return end;
}

const char* ZEMParse::ReadColor(const char* text, unsigned char* rgba) {
    if (!text) return nullptr;
    const char* p = std::strchr(text, '#');
    if (!p) return nullptr;
    ++p;
    int digits = 0;
    while (digits < 8 && IsHexDigit(p[digits]))
        ++digits;
    if (digits < 6) return nullptr;
    int channels = digits == 8 ? 4 : 3;
    for (int i = 0; i < channels; ++i) {
        rgba[i] = Hexa2Dec(static_cast<unsigned char>(p[2 * i]),
                           static_cast<unsigned char>(p[2 * i + 1]));
    }
    return p + 2 * channels;
}

bool ZEMParse::ReadDate(const char* text, unsigned long& time) {
    if (!text) return false;
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int n = std::sscanf(text, "%u/%u/%u %u:%u:%u", &year, &month, &day, &hour, &minute, &second);
    if (n < 3) return false;
    if (year < 100) year += 2000;
    if (month > 12 || day > 31) return false;
    // Fields too large for the calendar's int fields cannot name a 32-bit date.
    if (year > 9999 || hour > INT_MAX || minute > INT_MAX || second > INT_MAX) return false;
    std::tm tm = {};
    tm.tm_year = static_cast<int>(year) - 1900;
    tm.tm_mon = static_cast<int>(month) - 1;
    tm.tm_mday = static_cast<int>(day);
    tm.tm_hour = static_cast<int>(hour);
    tm.tm_min = static_cast<int>(minute);
    tm.tm_sec = static_cast<int>(second);
    tm.tm_isdst = 0;
    std::time_t t = std::mktime(&tm);
    if (t < 0 || static_cast<unsigned long long>(t) > 0xFFFFFFFFull) return false;
    time = static_cast<unsigned long>(t);
    return true;
}

char* ZEMParse::EatSpace(const char* text) {
    if (!text) return nullptr;
    while (IsBlank(*text))
        ++text;
    return const_cast<char*>(text);
}

char* ZEMParse::SkipEqual(char* text) {
    char* p = EatSpace(text);
    if (p && (*p == '=' || *p == ':')) {
        p = EatSpace(p + 1);
        if (*p) return p;
    }
    ZEM::LOG("SkipEqual: missing : or =, or value\n");
    return nullptr;
}

unsigned char ZEMParse::Hexa2Dec(unsigned char high, unsigned char low) {
    auto digit = [](unsigned char c) -> unsigned {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return c - 'a' + 10u;
    };
    return static_cast<unsigned char>(digit(high) * 16 + digit(low));
}

void ZEMParse::Hexa2Float(const char* hex, float* rgb) {
    for (int i = 0; i < 3; ++i) {
        unsigned char byte = Hexa2Dec(static_cast<unsigned char>(hex[2 * i]),
                                      static_cast<unsigned char>(hex[2 * i + 1]));
        rgb[i] = static_cast<float>(byte / 255.0);
    }
}

namespace {
const char HEX_DIGITS[] = "0123456789ABCDEF";
}

void ZEMParse::Dec2Hexa(unsigned value, int digits, char* out) {
    if (digits < 0) digits = 0;
    if (digits > 8) digits = 8;
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = HEX_DIGITS[value & 0xF];
        value >>= 4;
    }
    out[digits] = '\0';
}

void ZEMParse::Dec2Hexa(const unsigned char* bytes, int count, char* out) {
    for (int i = 0; i < count; ++i) {
        out[2 * i] = HEX_DIGITS[bytes[i] >> 4];
        out[2 * i + 1] = HEX_DIGITS[bytes[i] & 0xF];
    }
}

void ZEMParse::RGB_to_HSV(float r, float g, float b, float& h, float& s, float& v) {
    v = std::max(r, std::max(g, b));
    float delta = v - std::min(r, std::min(g, b));
    s = (v == 0.0f) ? 0.0f : delta / v;
    if (s == 0.0f) {
        h = 0.0f;
        return;
    }
    if (r == v) {
        h = (g - b) / delta;
    } else if (g == v) {
        h = 2.0f + (b - r) / delta;
    } else {
        h = 4.0f + (r - g) / delta;
    }
    h *= 60.0f;
    if (h < 0.0f) h += 360.0f;
}

void ZEMParse::HSV_to_RGB(float h, float s, float v, float& r, float& g, float& b) {
    if (s == 0.0f) {
        r = g = b = v;
        return;
    }
    if (h == 360.0f) h = 0.0f;
    // Hues outside the circle (and NaN) leave the outputs as they were.
    if (!(h >= 0.0f && h < 360.0f)) return;
    float hh = h / 60.0f;
    int i = static_cast<int>(hh);
    float f = hh - static_cast<float>(i);
    float p = v * (1.0f - s);
    float q = v * (1.0f - s * f);
    float t = v * (1.0f - s * (1.0f - f));
    // Which of v, p, q and t become red, green and blue in each sixth of the circle.
    static const int PICK[6][3] = {{0, 3, 1}, {2, 0, 1}, {1, 0, 3},
                                   {1, 2, 0}, {3, 1, 0}, {0, 1, 2}};
    const float values[4] = {v, p, q, t};
    const int* pick = PICK[std::min(i, 5)];
    r = values[pick[0]];
    g = values[pick[1]];
    b = values[pick[2]];
}

float ZEMParse::RGB2H(const float* rgb) {
    float h = 0.0f, s = 0.0f, v = 0.0f;
    RGB_to_HSV(rgb[0], rgb[1], rgb[2], h, s, v);
    return h;
}

void ZEMParse::H2RGB(float h, float* rgb) {
    HSV_to_RGB(h, 1.0f, 1.0f, rgb[0], rgb[1], rgb[2]);
}

void ZEMParse::Obfuscate(const char* in, char* out) {
    size_t i = 0;
    for (; in[i]; ++i)
        out[i] = static_cast<char>(~static_cast<unsigned char>(in[i]));
    out[i] = '\0';
}

int ZEMParse::ForceRange(char* text, char low, char high, char replacement) {
    const unsigned char lo = static_cast<unsigned char>(low);
    const unsigned char hi = static_cast<unsigned char>(high);
    int count = 0;
    for (char* p = text; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < lo || c > hi) {
            *p = replacement;
            ++count;
        }
    }
    return count;
}

int ZEMParse::SystemPath(char* path) {
    int count = 0;
    for (char* p = path; *p; ++p) {
        if (*p == '/' || *p == ':' || *p == '\\') {
            *p = '\\';
            ++count;
        }
    }
    return count;
}
