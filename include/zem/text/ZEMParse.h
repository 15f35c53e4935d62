#ifndef ZEM_TEXT_ZEMPARSE_H
#define ZEM_TEXT_ZEMPARSE_H

#include <zem/core/ZEMExport.h>
#include <zem/core/ZEMRect.h>

// Reading typed values out of zero-terminated 8-bit text, hexadecimal and colour conversions, and
// small in-place edits. A blank is a space or a tab.
//
// Cursor readers (char** cursor) move *cursor past the value and one comma right after it, and
// leave it alone on failure. Pointer readers (const char* text) return the position just past the
// value, or null on failure. A failed read stores nothing.
class ZEM_API ZEMParse {
public:
    ZEMParse() = delete;

    // Copies the field up to delim (blanks before it skipped) into out, at most size characters
    // plus a terminator (out holds size + 1 bytes; null out only measures). Steps over delim.
    // Returns the number of characters of the field read.
    static unsigned ReadString(char** cursor, char* out, unsigned size, char delim);
    // Cursor forms of the pointer readers below.
    static bool ReadBoolean(char** cursor, bool& value);
    static bool ReadInt(char** cursor, int& value);
    static bool ReadFloat(char** cursor, float& value);
    static bool ReadColor(char** cursor, unsigned char* rgba);
    // Four integers "x,y,width,height", each cut to 16 bits. Fields read before a failure stay.
    static bool ReadGeometry(char** cursor, ZEMRect& rect);

    // "1", "0", or a text beginning with YES, NO, TRUE or FALSE (any case).
    static const char* ReadBoolean(const char* text, bool& value);
    // A decimal integer; white space before it is skipped.
    static const char* ReadInt(const char* text, int& value);
    // A decimal floating-point number, read the same in every locale; white space before it is
    // skipped.
    static const char* ReadFloat(const char* text, float& value);
    // The first "#" and 6 or 8 hexadecimal digits into red, green, blue (and alpha with 8).
    static const char* ReadColor(const char* text, unsigned char* rgba);
    // "year/month/day [hour:minute:second]" in local time, as seconds since 1970 (UTC).
    static bool ReadDate(const char* text, unsigned long& time);

    // The first character that is not blank.
    static char* EatSpace(const char* text);
    // The value after "=" or ":" and the blanks around it; null (and a log message) if missing.
    static char* SkipEqual(char* text);

    // The byte written by two hexadecimal digits (not validated).
    static unsigned char Hexa2Dec(unsigned char high, unsigned char low);
    // Three components 0..1 from six hexadecimal digits (no "#").
    static void Hexa2Float(const char* hex, float* rgb);
    // Exactly digits (at most 8) upper-case hexadecimal digits of value, then a terminator.
    static void Dec2Hexa(unsigned value, int digits, char* out);
    // Two upper-case hexadecimal digits per byte, without a terminator.
    static void Dec2Hexa(const unsigned char* bytes, int count, char* out);

    // Hue in [0, 360), saturation 0..1, value on the scale of the components.
    static void RGB_to_HSV(float r, float g, float b, float& h, float& s, float& v);
    // The reverse conversion.
    static void HSV_to_RGB(float h, float s, float v, float& r, float& g, float& b);
    // The hue of rgb[0..2] in degrees.
    static float RGB2H(const float* rgb);
    // The pure colour of a hue into rgb[0..2].
    static void H2RGB(float h, float* rgb);

    // Inverts every bit of every byte; applied twice gives the text back. in may equal out.
    static void Obfuscate(const char* in, char* out);
    // Replaces every character outside low..high (as unsigned bytes); returns how many.
    static int ForceRange(char* text, char low, char high, char replacement);
    // Turns "/", ":" and "\\" into "\\"; returns how many there are.
    static int SystemPath(char* path);
};

#endif
