// Runs every text reader over arbitrary text, walking it with the cursor readers to its end.
#include <zem/core/ZEMLog.h>
#include <zem/text/ZEMParse.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Each cursor reader either fails and leaves the cursor alone, or moves it forward within the
// text; the walk ends when none of them can read on.
void WalkWithCursors(char* text, char* end) {
    char* cursor = text;
    while (cursor < end) {
        char* before = cursor;
        bool flag;
        int number;
        float real;
        unsigned char rgba[4];
        ZEMRect rect;
        char field[9];
        bool read = ZEMParse::ReadBoolean(&cursor, flag) || ZEMParse::ReadInt(&cursor, number) ||
                    ZEMParse::ReadFloat(&cursor, real) || ZEMParse::ReadColor(&cursor, rgba) ||
                    ZEMParse::ReadGeometry(&cursor, rect);
        if (cursor < before || cursor > end) abort();
        if (read && cursor == before) abort();
        if (cursor == before) {
            unsigned n = ZEMParse::ReadString(&cursor, field, sizeof field - 1, ';');
            if (n > sizeof field - 1 || std::strlen(field) != n) abort();
            if (cursor < before || cursor > end) abort();
            if (cursor == before) ++cursor; // nothing reads here: step on
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZEM::SetLogLevel(0); // SkipEqual logs every miss
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    char* begin = text.data();
    char* end = begin + std::strlen(begin);

    WalkWithCursors(begin, end);

    unsigned long time = 0;
    ZEMParse::ReadDate(begin, time);
    char* value = ZEMParse::SkipEqual(begin);
    if (value && (value < begin || value >= end)) abort();
    unsigned n = ZEMParse::ReadString(&begin, nullptr, 0, ',');
    if (n > static_cast<unsigned>(end - text.data())) abort();
    begin = text.data();

    if (end - begin >= 6) {
        float rgb[3];
        ZEMParse::Hexa2Float(begin, rgb);
        float h = ZEMParse::RGB2H(rgb);
        if (!(h >= 0.0f && h < 360.0f)) abort();
        ZEMParse::H2RGB(h, rgb);
    }

    std::vector<char> scrambled(text.size());
    std::vector<char> back(text.size());
    ZEMParse::Obfuscate(begin, scrambled.data());
    ZEMParse::Obfuscate(scrambled.data(), back.data());
    if (!std::memchr(begin, '\xff', end - begin) && std::strcmp(back.data(), begin) != 0) abort();

    ZEMParse::SystemPath(begin);
    ZEMParse::ForceRange(begin, ' ', '~', '?');
    for (char* p = begin; p < end; ++p) {
        if (*p < ' ' || *p > '~') abort();
    }
    return 0;
}
