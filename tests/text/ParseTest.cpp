#include <zem/text/ZEMParse.h>

#include "ZEMTestSupport.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string>
#include <type_traits>

namespace {

// A writable copy of a text for the cursor readers.
struct Text {
    explicit Text(const char* s) : buffer(s) {}
    char* Cursor() { return &buffer[0]; }
    std::string buffer;
};

TEST(ParseTest, CursorIntsStepOverOneCommaEach) {
    Text text("12,-3, 7");
    char* cursor = text.Cursor();
    int a = 0, b = 0, c = 0;
    EXPECT_TRUE(ZEMParse::ReadInt(&cursor, a));
    EXPECT_TRUE(ZEMParse::ReadInt(&cursor, b));
    EXPECT_TRUE(ZEMParse::ReadInt(&cursor, c));
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, -3);
    EXPECT_EQ(c, 7);
    EXPECT_EQ(*cursor, '\0');
    int untouched = 99;
    EXPECT_FALSE(ZEMParse::ReadInt(&cursor, untouched));
    EXPECT_EQ(untouched, 99);
}

TEST(ParseTest, BlanksBeforeACommaAreNotSkipped) {
    Text text("10 ,20");
    char* cursor = text.Cursor();
    int v = 0;
    EXPECT_TRUE(ZEMParse::ReadInt(&cursor, v));
    EXPECT_EQ(v, 10);
    char* before = cursor;
    EXPECT_FALSE(ZEMParse::ReadInt(&cursor, v));
    EXPECT_EQ(cursor, before);
    EXPECT_STREQ(cursor, " ,20");
    // Only one comma is consumed.
    Text twice("1,,2");
    cursor = twice.Cursor();
    EXPECT_TRUE(ZEMParse::ReadInt(&cursor, v));
    EXPECT_STREQ(cursor, ",2");
}

TEST(ParseTest, CursorFormsOfEveryReader) {
    Text text("yes,2.5,#102030, no");
    char* cursor = text.Cursor();
    bool flag = false;
    float f = 0;
    unsigned char rgba[4] = {0, 0, 0, 7};
    EXPECT_TRUE(ZEMParse::ReadBoolean(&cursor, flag));
    EXPECT_TRUE(flag);
    EXPECT_TRUE(ZEMParse::ReadFloat(&cursor, f));
    EXPECT_FLOAT_EQ(f, 2.5f);
    EXPECT_TRUE(ZEMParse::ReadColor(&cursor, rgba));
    EXPECT_EQ(rgba[0], 0x10);
    EXPECT_EQ(rgba[2], 0x30);
    EXPECT_EQ(rgba[3], 7);
    EXPECT_TRUE(ZEMParse::ReadBoolean(&cursor, flag));
    EXPECT_FALSE(flag);
    EXPECT_EQ(*cursor, '\0');
    EXPECT_FALSE(ZEMParse::ReadBoolean(&cursor, flag));
    char* none = nullptr;
    EXPECT_FALSE(ZEMParse::ReadFloat(&none, f));
    int i = 0;
    EXPECT_FALSE(ZEMParse::ReadInt(static_cast<char**>(nullptr), i));
}

// A pointer reader's case: a null rest means the read fails and leaves the value alone.
template <typename T>
struct ReadCase {
    const char* text;
    T value;
    const char* rest;
};

template <typename T>
void CheckReads(std::initializer_list<ReadCase<T>> cases, T untouched,
                const char* (*read)(const char*, T&)) {
    for (const ReadCase<T>& c : cases) {
        T value = untouched;
        const char* end = read(c.text, value);
        if (!c.rest) {
            EXPECT_EQ(end, nullptr) << c.text;
            EXPECT_EQ(value, untouched) << c.text;
            continue;
        }
        ASSERT_NE(end, nullptr) << c.text;
        EXPECT_STREQ(end, c.rest) << c.text;
        if constexpr (std::is_same_v<T, float>) {
            EXPECT_FLOAT_EQ(value, c.value) << c.text;
        } else {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(ParseTest, Booleans) {
    CheckReads<bool>({{"  TrUe", true, ""},
                      {"1", true, ""},
                      {"0,", false, ","},
                      {"yesterday", true, "terday"},
                      {"nothing", false, "thing"},
                      {"FALSE!", false, "!"},
                      {"No", false, ""},
                      {"\tYES ", true, " "},
                      {"maybe", false, nullptr},
                      {"", false, nullptr},
                      {"   ", false, nullptr},
                      {"tru", false, nullptr},
                      {"\ntrue", false, nullptr},
                      {"2", false, nullptr}},
                     true, ZEMParse::ReadBoolean);
    CheckReads<bool>({{"maybe", false, nullptr}}, false, ZEMParse::ReadBoolean);
}

TEST(ParseTest, Integers) {
    CheckReads<int>({{" +42abc", 42, "abc"},
                     {"-17", -17, ""},
                     {"\n\t 5 ", 5, " "},
                     {"007x", 7, "x"},
                     {"99999999999", INT_MAX, ""},
                     {"-99999999999", INT_MIN, ""},
                     {"0x1F", 0, "x1F"},
                     {"-", 0, nullptr},
                     {"abc", 0, nullptr},
                     {"", 0, nullptr}},
                    1234, ZEMParse::ReadInt);
}

TEST(ParseTest, Floats) {
    CheckReads<float>({{"3.5,", 3.5f, ","},
                       {"  -1e3x", -1000.0f, "x"},
                       {".5", 0.5f, ""},
                       {"+2.", 2.0f, ""},
                       {"1e", 1.0f, "e"},
                       {"7.25e-2;", 0.0725f, ";"},
                       {"0x10", 0.0f, "x10"},
                       {"1e-999", 0.0f, ""},
                       {"1e999", HUGE_VALF, ""},
                       {"-1e999", -HUGE_VALF, ""},
                       {"0.0000e500", 0.0f, ""},
                       {"5e99999999999999999999999", HUGE_VALF, ""},
                       {"-5e-99999999999999999999999", -0.0f, ""},
                       {"+-1", 0, nullptr},
                       {"abc", 0, nullptr},
                       {"", 0, nullptr},
                       {".", 0, nullptr},
                       {"-", 0, nullptr}},
                      12.0f, ZEMParse::ReadFloat);
    // A very long run of digits is still one number, rounded.
    std::string digits = "1" + std::string(400, '0');
    float big = 0;
    EXPECT_EQ(*ZEMParse::ReadFloat(digits.c_str(), big), '\0');
    EXPECT_EQ(big, HUGE_VALF);
    std::string tiny = "0." + std::string(400, '0') + "1";
    float small = 5;
    EXPECT_EQ(*ZEMParse::ReadFloat(tiny.c_str(), small), '\0');
    EXPECT_EQ(small, 0.0f);
}

TEST(ParseTest, Colors) {
    unsigned char rgba[4] = {1, 2, 3, 4};
    const char* end = ZEMParse::ReadColor("color #ff8000", rgba);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(*end, '\0');
    EXPECT_EQ(rgba[0], 255);
    EXPECT_EQ(rgba[1], 128);
    EXPECT_EQ(rgba[2], 0);
    EXPECT_EQ(rgba[3], 4);

    end = ZEMParse::ReadColor("#FF800080 rest", rgba);
    ASSERT_NE(end, nullptr);
    EXPECT_STREQ(end, " rest");
    EXPECT_EQ(rgba[3], 128);

    // Seven digits: the seventh is left unread and alpha is untouched.
    rgba[3] = 9;
    end = ZEMParse::ReadColor("#0102037", rgba);
    ASSERT_NE(end, nullptr);
    EXPECT_STREQ(end, "7");
    EXPECT_EQ(rgba[3], 9);

    // Nine digits: only eight are read.
    end = ZEMParse::ReadColor("#aabbccdd1", rgba);
    ASSERT_NE(end, nullptr);
    EXPECT_STREQ(end, "1");
    EXPECT_EQ(rgba[3], 0xDD);

    unsigned char before[4] = {5, 6, 7, 8};
    std::memcpy(rgba, before, 4);
    for (const char* bad : {"#FF80", "FF8000", "", "#", "#12345g"}) {
        EXPECT_EQ(ZEMParse::ReadColor(bad, rgba), nullptr) << bad;
        EXPECT_EQ(std::memcmp(rgba, before, 4), 0) << bad;
    }
}

TEST(ParseTest, GeometryKeepsFieldsReadBeforeAFailure) {
    Text text("1,2,30,40;");
    char* cursor = text.Cursor();
    ZEMRect r{0, 0, 0, 0};
    EXPECT_TRUE(ZEMParse::ReadGeometry(&cursor, r));
    EXPECT_EQ(r.x, 1);
    EXPECT_EQ(r.y, 2);
    EXPECT_EQ(r.w, 30);
    EXPECT_EQ(r.h, 40);
    EXPECT_STREQ(cursor, ";");

    Text partial("5,-6,x,9");
    cursor = partial.Cursor();
    ZEMRect p{11, 12, 13, 14};
    EXPECT_FALSE(ZEMParse::ReadGeometry(&cursor, p));
    EXPECT_EQ(p.x, 5);
    EXPECT_EQ(p.y, -6);
    EXPECT_EQ(p.w, 13);
    EXPECT_EQ(p.h, 14);
    EXPECT_STREQ(cursor, "x,9");

    // Each value is cut to 16 bits.
    Text wide("70000,-1,65537,-2");
    cursor = wide.Cursor();
    EXPECT_TRUE(ZEMParse::ReadGeometry(&cursor, r));
    EXPECT_EQ(r.x, 4464);
    EXPECT_EQ(r.y, -1);
    EXPECT_EQ(r.w, 1);
    EXPECT_EQ(r.h, 65534);
}

TEST(ParseTest, Dates) {
    struct Case {
        const char* text;
        bool ok;
        unsigned long expected;
    } cases[] = {
        {"04/6/15", true, zemtest::LocalTime(2004, 6, 15, 0, 0, 0)},
        {"2004/6/15 10:20:30", true, zemtest::LocalTime(2004, 6, 15, 10, 20, 30)},
        {"2004/6/15 10:20", true, zemtest::LocalTime(2004, 6, 15, 10, 20, 0)},
        {"2004/04/31", true, zemtest::LocalTime(2004, 5, 1, 0, 0, 0)},
        {"2004/12/31 24:00:00", true, zemtest::LocalTime(2005, 1, 1, 0, 0, 0)},
        {"2004/13/01 10:00:00", false, 0},
        {"2004/06/32", false, 0},
        {"2004/06", false, 0},
        {"", false, 0},
        {"June 4th", false, 0},
        // Outside the unsigned 32-bit seconds, or fields no calendar can hold.
        {"1969/12/31", false, 0},
        {"2200/1/1", false, 0},
        {"4294967295/1/1", false, 0},
        {"-5/1/1", false, 0},
        {"2004/1/1 4294967295:0:0", false, 0},
        {"2100/1/1 0:0:2147483647", false, 0},
    };
    for (const Case& c : cases) {
        unsigned long time = 42;
        EXPECT_EQ(ZEMParse::ReadDate(c.text, time), c.ok) << c.text;
        EXPECT_EQ(time, c.ok ? c.expected : 42ul) << c.text;
    }
}

TEST(ParseTest, Strings) {
    Text text("  abc, def");
    char* cursor = text.Cursor();
    char out[16];
    EXPECT_EQ(ZEMParse::ReadString(&cursor, out, 15, ','), 3u);
    EXPECT_STREQ(out, "abc");
    EXPECT_STREQ(cursor, " def");
    EXPECT_EQ(ZEMParse::ReadString(&cursor, out, 15, ','), 3u);
    EXPECT_STREQ(out, "def");
    EXPECT_EQ(*cursor, '\0');
    EXPECT_EQ(ZEMParse::ReadString(&cursor, out, 15, ','), 0u);
    EXPECT_STREQ(out, "");

    // Size reached: the cursor stays on the first character not copied.
    Text longer("abcdef,x");
    cursor = longer.Cursor();
    char small[4] = {'?', '?', '?', '?'};
    EXPECT_EQ(ZEMParse::ReadString(&cursor, small, 3, ','), 3u);
    EXPECT_STREQ(small, "abc");
    EXPECT_STREQ(cursor, "def,x");

    // Without an output the field is only measured; trailing blanks belong to the field.
    Text measured("\t hello world  ;x");
    cursor = measured.Cursor();
    EXPECT_EQ(ZEMParse::ReadString(&cursor, nullptr, 0, ';'), 13u);
    EXPECT_STREQ(cursor, "x");

    // A zero delimiter reads to the end.
    Text whole(" a,b ");
    cursor = whole.Cursor();
    EXPECT_EQ(ZEMParse::ReadString(&cursor, out, 15, '\0'), 4u);
    EXPECT_STREQ(out, "a,b ");
    EXPECT_EQ(*cursor, '\0');
}

TEST(ParseTest, EatSpaceSkipsBlanksOnly) {
    const char* text = " \t x";
    EXPECT_EQ(ZEMParse::EatSpace(text), text + 3);
    const char* line = "\nx";
    EXPECT_EQ(ZEMParse::EatSpace(line), line);
}

class SkipEqualTest : public zemtest::TempDirTest {};

TEST_F(SkipEqualTest, ValueAfterTheSeparator) {
    Text a(" = value"), b(":x"), c("\t:\t 1 2");
    EXPECT_STREQ(ZEMParse::SkipEqual(a.Cursor()), "value");
    EXPECT_STREQ(ZEMParse::SkipEqual(b.Cursor()), "x");
    EXPECT_STREQ(ZEMParse::SkipEqual(c.Cursor()), "1 2");
    for (const char* bad : {"value", "=   ", "", " :"}) {
        zemtest::LogCapture log;
        Text t(bad);
        EXPECT_EQ(ZEMParse::SkipEqual(t.Cursor()), nullptr) << bad;
        EXPECT_EQ(log.Text(), "SkipEqual: missing : or =, or value\n") << bad;
    }
}

TEST(ParseTest, Hexadecimal) {
    EXPECT_EQ(ZEMParse::Hexa2Dec('F', 'f'), 255);
    EXPECT_EQ(ZEMParse::Hexa2Dec('0', 'a'), 10);
    EXPECT_EQ(ZEMParse::Hexa2Dec('7', 'F'), 127);
    float rgb[3];
    ZEMParse::Hexa2Float("FF8000", rgb);
    EXPECT_FLOAT_EQ(rgb[0], 1.0f);
    EXPECT_FLOAT_EQ(rgb[1], 128 / 255.0f);
    EXPECT_FLOAT_EQ(rgb[2], 0.0f);

    struct Case {
        unsigned value;
        int digits;
        const char* text;
    } cases[] = {{255, 4, "00FF"}, {300, 2, "2C"}, {0xDEADBEEF, 12, "DEADBEEF"},
                 {7, 0, ""},       {7, -3, ""},    {0xABCDEF, 1, "F"}};
    for (const Case& c : cases) {
        char out[16];
        std::memset(out, '#', sizeof out);
        ZEMParse::Dec2Hexa(c.value, c.digits, out);
        EXPECT_STREQ(out, c.text) << c.value << "/" << c.digits;
    }

    const unsigned char bytes[] = {0x01, 0xAB, 0xF0};
    char out[8];
    std::memset(out, '#', sizeof out);
    ZEMParse::Dec2Hexa(bytes, 3, out);
    EXPECT_EQ(std::string(out, 8), "01ABF0##"); // no terminator written
}

TEST(ParseTest, HsvConversions) {
    struct Case {
        float r, g, b, h, s, v;
    } cases[] = {
        {1, 0, 0, 0, 1, 1},
        {0, 0, 1, 240, 1, 1},
        {0.5f, 0.5f, 0.5f, 0, 0, 0.5f},
        {0, 1, 0, 120, 1, 1},
        {1, 0, 1, 300, 1, 1},
        {0, 0, 0, 0, 0, 0},
        {1, 0.5f, 0, 30, 1, 1},
        {0.2f, 0.4f, 0.4f, 180, 0.5f, 0.4f},
        {255, 0, 255, 300, 1, 255},
    };
    for (const Case& c : cases) {
        float h = -1, s = -1, v = -1;
        ZEMParse::RGB_to_HSV(c.r, c.g, c.b, h, s, v);
        EXPECT_NEAR(h, c.h, 1e-4) << c.r << "," << c.g << "," << c.b;
        EXPECT_NEAR(s, c.s, 1e-5);
        EXPECT_NEAR(v, c.v, 1e-5);
        float r = -1, g = -1, b = -1;
        ZEMParse::HSV_to_RGB(h, s, v, r, g, b);
        EXPECT_NEAR(r, c.r, 1e-4) << c.h;
        EXPECT_NEAR(g, c.g, 1e-4) << c.h;
        EXPECT_NEAR(b, c.b, 1e-4) << c.h;
        const float rgb[3] = {c.r, c.g, c.b};
        EXPECT_NEAR(ZEMParse::RGB2H(rgb), c.h, 1e-4);
    }
    float rgb[3] = {-1, -1, -1};
    ZEMParse::H2RGB(120, rgb);
    EXPECT_FLOAT_EQ(rgb[0], 0);
    EXPECT_FLOAT_EQ(rgb[1], 1);
    EXPECT_FLOAT_EQ(rgb[2], 0);
    ZEMParse::H2RGB(360, rgb);
    EXPECT_FLOAT_EQ(rgb[0], 1);
    EXPECT_FLOAT_EQ(rgb[1], 0);
    EXPECT_FLOAT_EQ(rgb[2], 0);
    // Hues outside the circle leave the outputs as they were.
    for (float h : {-30.0f, 400.0f, 1e30f, -1e30f, NAN}) {
        float r = 7, g = 8, b = 9;
        ZEMParse::HSV_to_RGB(h, 1, 1, r, g, b);
        EXPECT_EQ(r, 7);
        EXPECT_EQ(g, 8);
        EXPECT_EQ(b, 9);
    }
}

TEST(ParseTest, ObfuscateIsItsOwnInverse) {
    const char* name = "Player One \x7f\x80";
    char scrambled[32], back[32];
    ZEMParse::Obfuscate(name, scrambled);
    EXPECT_EQ(std::strlen(scrambled), std::strlen(name));
    EXPECT_EQ(static_cast<unsigned char>(scrambled[0]), 0xFF - 'P');
    ZEMParse::Obfuscate(scrambled, back);
    EXPECT_STREQ(back, name);
    char inPlace[] = "abc";
    ZEMParse::Obfuscate(inPlace, inPlace);
    ZEMParse::Obfuscate(inPlace, inPlace);
    EXPECT_STREQ(inPlace, "abc");
    // A byte 0xFF becomes a zero and ends the scrambled text.
    ZEMParse::Obfuscate("a\xff"
                        "b",
                        scrambled);
    EXPECT_EQ(std::strlen(scrambled), 1u);
}

TEST(ParseTest, InPlaceEdits) {
    char text[] = "a\tb\x80~";
    EXPECT_EQ(ZEMParse::ForceRange(text, ' ', '~', '?'), 2);
    EXPECT_STREQ(text, "a?b?~");
    // Compared as unsigned bytes: 0xA9 lies between ' ' and 0xC3, 0xC4 above it.
    char high[] = "\xC4\xA9";
    EXPECT_EQ(ZEMParse::ForceRange(high, ' ', '\xC3', '_'), 1);
    EXPECT_STREQ(high, "_\xA9");

    char path[] = "a/b:c\\d";
    EXPECT_EQ(ZEMParse::SystemPath(path), 3);
    EXPECT_STREQ(path, "a\\b\\c\\d");
    char drive[] = "C:/x";
    EXPECT_EQ(ZEMParse::SystemPath(drive), 2);
    EXPECT_STREQ(drive, "C\\\\x");
}

} // namespace
