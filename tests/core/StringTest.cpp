#include "ZEMTestSupport.h"

#include <zem/core.h>

#include <clocale>
#include <cstring>
#include <string>
#include <utility>

namespace {

const unsigned NPOS = ZEMString::NPOS;

// The text as a std::string; an empty string converts to null.
std::string Text(const ZEMString& s) {
    const char* text = s;
    return text ? std::string(text) : std::string();
}

// A string whose block has room for capacity bytes, holding text.
ZEMString WithRoom(const char* text, unsigned capacity) {
    ZEMString s(capacity - 1, nullptr);
    s.ChangeText(text, 0, NPOS);
    return s;
}

} // namespace

class StringTest : public zemtest::TempDirTest {};

TEST_F(StringTest, EmptyStringsConvertToNull) {
    ZEMString none(nullptr);
    EXPECT_EQ(none.Length(), 0u);
    EXPECT_EQ(none.Capacity(), 0u);
    EXPECT_EQ(static_cast<const char*>(none), nullptr);

    ZEMString s("abc");
    s = "";
    EXPECT_EQ(s.Length(), 0u);
    EXPECT_EQ(s.Capacity(), 4u) << "assigning an empty text keeps the block";
    EXPECT_EQ(static_cast<const char*>(s), nullptr);
    s = static_cast<const char*>(nullptr);
    EXPECT_EQ(s.Capacity(), 0u) << "assigning null releases the block";

    ZEMString none2(0, "abc");
    EXPECT_EQ(none2.Length(), 0u);
    EXPECT_EQ(none2.Capacity(), 0u);
    ZEMString reserved(10, nullptr);
    EXPECT_EQ(reserved.Length(), 0u);
    EXPECT_EQ(reserved.Capacity(), 12u);
    EXPECT_EQ(Text(ZEMString(2, "abc")), "ab");
    EXPECT_EQ(Text(ZEMString(9, "abc")), "abc");
}

TEST_F(StringTest, CopiesNeverShareBlocks) {
    ZEMString a("hello");
    ZEMString b(a);
    b.UpperCase();
    EXPECT_EQ(Text(a), "hello");
    EXPECT_EQ(Text(b), "HELLO");

    ZEMString c("x");
    c = a;
    EXPECT_EQ(Text(c), "hello");
    const ZEMString& same = c;
    c = same;
    EXPECT_EQ(Text(c), "hello");
    c = ZEMString(); // a string without a block releases this one's block
    EXPECT_EQ(c.Capacity(), 0u);

    ZEMString moved(std::move(a));
    EXPECT_EQ(Text(moved), "hello");
    EXPECT_EQ(a.Capacity(), 0u);
    c = std::move(moved);
    EXPECT_EQ(Text(c), "hello");
    EXPECT_EQ(moved.Capacity(), 0u);
}

TEST_F(StringTest, AppendingGrowsInStepsOfAtLeastTenOrTheBlock) {
    ZEMString s;
    s += 'x';
    EXPECT_EQ(s.Capacity(), 4u);
    s += "yz";
    EXPECT_EQ(Text(s), "xyz");
    EXPECT_EQ(s.Capacity(), 4u);
    s += 'w';
    EXPECT_EQ(Text(s), "xyzw");
    EXPECT_EQ(s.Capacity(), 16u);
    s += ZEMString("0123456789abcdefghij");
    EXPECT_EQ(s.Length(), 24u);
    EXPECT_EQ(s.Capacity(), 36u) << "grows by the inserted length when that is larger";
    s += "0123456789AB";
    EXPECT_EQ(s.Capacity(), 72u) << "grows by the block's size when that is larger";
    s.Delete(24, NPOS);
    s += static_cast<const char*>(nullptr);
    s += '\0';
    s += ZEMString();
    EXPECT_EQ(s.Length(), 24u);
}

TEST_F(StringTest, AllocateKeepsOrEmptiesTheText) {
    ZEMString s("abc");
    s.Allocate(2, false); // smaller than the block: nothing happens
    EXPECT_EQ(Text(s), "abc");
    s.Allocate(4, true); // equal to the capacity: a new block, text kept
    EXPECT_EQ(s.Capacity(), 4u);
    EXPECT_EQ(Text(s), "abc");
    s.Allocate(9, true);
    EXPECT_EQ(s.Capacity(), 12u);
    EXPECT_EQ(Text(s), "abc");
    s.Allocate(12, false);
    EXPECT_EQ(s.Capacity(), 12u);
    EXPECT_EQ(s.Length(), 0u);
    ZEMString none;
    none.Allocate(0, true); // even an empty block holds the terminator
    EXPECT_EQ(none.Capacity(), 4u);
    EXPECT_EQ(none.Length(), 0u);
}

TEST_F(StringTest, ChangeTextTakesARange) {
    struct Case {
        const char* s;
        unsigned start, count;
        const char* expected;
    } cases[] = {
        {"abcdef", 0, NPOS, "abcdef"}, {"abcdef", 2, 3, "cde"}, {"abcdef", 4, 100, "ef"},
        {"abcdef", 6, NPOS, ""},       {"abc", 10, NPOS, ""},   {"", 0, NPOS, ""},
        {nullptr, 0, NPOS, ""},        {"abc", 0, 0, "old"},
    };
    for (const Case& c : cases) {
        ZEMString s("old");
        s.ChangeText(c.s, c.start, c.count);
        EXPECT_EQ(Text(s), c.expected) << (c.s ? c.s : "null") << " " << c.start << " " << c.count;
    }
    ZEMString grown("ab");
    grown.ChangeText("0123456789", 0, NPOS);
    EXPECT_EQ(grown.Capacity(), 12u);
}

TEST_F(StringTest, AssigningPartOfItselfWorks) {
    ZEMString s("path/to/file");
    s = static_cast<const char*>(s) + 5;
    EXPECT_EQ(Text(s), "to/file");
    s.ChangeText(s, 3, 2);
    EXPECT_EQ(Text(s), "fi");
    s.ChangeText(s, 0, NPOS);
    EXPECT_EQ(Text(s), "fi");
}

TEST_F(StringTest, InsertPlacesTextBeforePosition) {
    struct Case {
        unsigned pos;
        const char* expected;
    } cases[] = {{0, "XYabc"}, {1, "aXYbc"}, {3, "abcXY"}, {100, "abcXY"}, {NPOS, "abcXY"}};
    for (const Case& c : cases) {
        ZEMString small("abc");
        small.Insert("XY", c.pos);
        EXPECT_EQ(Text(small), c.expected) << c.pos;
        ZEMString roomy = WithRoom("abc", 32);
        roomy.Insert("XY", c.pos);
        EXPECT_EQ(Text(roomy), c.expected) << c.pos;
        EXPECT_EQ(roomy.Capacity(), 32u) << "fits in place";
    }
    ZEMString s("ac");
    s.Insert('b', 1);
    s.Insert('\0', 1);
    s.Insert("", 0);
    s.Insert(static_cast<const char*>(nullptr), 0);
    EXPECT_EQ(Text(s), "abc");
    ZEMString empty;
    empty.Insert("new", 5);
    EXPECT_EQ(Text(empty), "new");
}

// Every suffix of the string's own text inserted at every position, in place and with growth.
TEST_F(StringTest, InsertingItsOwnTextGivesTheRightText) {
    const std::string original = "0123456789";
    for (unsigned capacity : {12u, 64u}) {
        for (unsigned from = 0; from < original.size(); ++from) {
            for (unsigned pos = 0; pos <= original.size(); ++pos) {
                ZEMString s = WithRoom(original.c_str(), capacity);
                s.Insert(static_cast<const char*>(s) + from, pos);
                std::string expected = original;
                expected.insert(pos, original.substr(from));
                EXPECT_EQ(Text(s), expected) << capacity << " " << from << " " << pos;
                EXPECT_EQ(s.Length(), expected.size());
            }
        }
    }
    ZEMString twice("ab");
    twice += twice;
    EXPECT_EQ(Text(twice), "abab");
}

TEST_F(StringTest, DeleteRemovesUpToTheEnd) {
    struct Case {
        unsigned pos, count;
        const char* expected;
    } cases[] = {
        {1, 100, "a"},  {6, 1, "abcdef"}, {1, 2, "adef"},     {0, 6, ""},
        {4, 2, "abcd"}, {2, 0, "abcdef"}, {5, NPOS, "abcde"}, {NPOS, NPOS, "abcdef"},
    };
    for (const Case& c : cases) {
        ZEMString s("abcdef");
        s.Delete(c.pos, c.count);
        EXPECT_EQ(Text(s), c.expected) << c.pos << " " << c.count;
        EXPECT_EQ(s.Length(), strlen(c.expected));
    }
    ZEMString none;
    none.Delete(0, 1);
    EXPECT_EQ(none.Length(), 0u);
}

TEST_F(StringTest, KillWordRemovesBlanksAndTheNextWord) {
    struct Case {
        const char* text;
        unsigned pos, removed;
        const char* expected;
    } cases[] = {
        {"  hello world", 0, 7, " world"},
        {"hello world", 0, 5, " world"},
        {"hello world", 5, 6, "hello"},
        {"a, b2c;", 1, 5, "a;"},
        {"abc", 3, 0, "abc"},
        {"...", 0, 3, ""},
        {"\xe9t\xe9", 0, 2, "\xe9"},
    };
    for (const Case& c : cases) {
        ZEMString s(c.text);
        EXPECT_EQ(s.KillWord(c.pos), c.removed) << c.text;
        EXPECT_EQ(Text(s), c.expected) << c.text;
    }
}

TEST_F(StringTest, FillStaysInsideTheText) {
    struct Case {
        unsigned pos, count;
        const char* expected;
    } cases[] = {
        {1, 2, "a**def"}, {2, NPOS, "ab****"}, {6, NPOS, "abcdef"},
        {0, 0, "abcdef"}, {4, 50, "abcd**"},   {9, 2, "abcdef"},
    };
    for (const Case& c : cases) {
        ZEMString s("abcdef");
        s.Fill('*', c.pos, c.count);
        EXPECT_EQ(Text(s), c.expected) << c.pos << " " << c.count;
    }
}

TEST_F(StringTest, ReplaceAndCaseChangesAreAscii) {
    ZEMString s("banana");
    EXPECT_EQ(s.Replace('a', 'o'), 3);
    EXPECT_EQ(Text(s), "bonono");
    EXPECT_EQ(s.Replace('o', '\0'), 0);
    EXPECT_EQ(Text(s), "bonono");
    EXPECT_EQ(s.Replace('x', 'y'), 0);

    ZEMString mixed("Hello, W\xc9rld 42!");
    mixed.UpperCase();
    EXPECT_EQ(Text(mixed), "HELLO, W\xc9RLD 42!");
    mixed.LowerCase();
    EXPECT_EQ(Text(mixed), "hello, w\xc9rld 42!");
}

TEST_F(StringTest, ObfuscateTwiceRestores) {
    ZEMString s("Key\x01\x7f");
    s.Obfuscate();
    EXPECT_EQ(Text(s), "\xb4\x9a\x86\xfe\x80");
    s.Obfuscate();
    EXPECT_EQ(Text(s), "Key\x01\x7f");
}

TEST_F(StringTest, MakeFilenameKeepsSafeCharacters) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"My File:b2.txt/x", "My_Fileb2.txt_x"},
        {"a\tb\\c\nd", "a_b_c_d"},
        {"me@host-1_x.y", "me@host-1_x.y"},
        {"caf\xe9?*<>|\"\x01", "caf"},
        {"::", ""},
    };
    for (const Case& c : cases) {
        ZEMString s(c.text);
        s.MakeFilename();
        EXPECT_EQ(Text(s), c.expected) << c.text;
    }
    ZEMString roomy = WithRoom("a b", 64);
    roomy.MakeFilename();
    EXPECT_EQ(roomy.Capacity(), 4u) << "the new block fits the text";
}

TEST_F(StringTest, FindCharacters) {
    ZEMString s("Hello");
    EXPECT_EQ(s.Find('L', 0, false), 2u);
    EXPECT_EQ(s.Find('L', 0, true), NPOS);
    EXPECT_EQ(s.Find('l', 3, true), 3u);
    EXPECT_EQ(s.Find('l', 5, true), NPOS);
    EXPECT_EQ(s.Find('h', 0, false), 0u);
    EXPECT_EQ(s.RFind('l', NPOS, true), 3u);
    EXPECT_EQ(s.RFind('l', 1, true), NPOS);
    EXPECT_EQ(s.RFind('H', 0, true), 0u);
    EXPECT_EQ(s.RFind('h', 99, false), 0u);
    ZEMString empty;
    EXPECT_EQ(empty.Find('a', 0, true), NPOS);
    EXPECT_EQ(empty.RFind('a', NPOS, true), NPOS);
}

TEST_F(StringTest, FindTexts) {
    ZEMString s("Hello hello");
    struct Case {
        const char* what;
        unsigned start;
        bool caseSensitive;
        unsigned find, rfind;
    } cases[] = {
        {"lo", 0, true, 3, NPOS},      {"LO", 0, true, NPOS, NPOS},
        {"LO", 0, false, 3, NPOS},     {"hello", 0, true, 6, NPOS},
        {"hello", 1, false, 6, 0},     {"Hello hello!", 0, true, NPOS, NPOS},
        {"", 0, true, NPOS, NPOS},     {nullptr, 0, true, NPOS, NPOS},
        {"o", 11, true, NPOS, 10},     {"lo", 8, true, 9, 3},
        {"ello", NPOS, true, NPOS, 7}, {"hello", 7, true, NPOS, 6},
    };
    for (const Case& c : cases) {
        const char* what = c.what ? c.what : "null";
        EXPECT_EQ(s.Find(c.what, c.start, c.caseSensitive), c.find) << what << " " << c.start;
        EXPECT_EQ(s.RFind(c.what, c.start, c.caseSensitive), c.rfind) << what << " " << c.start;
    }
    EXPECT_EQ(ZEMString("abc").Find("abcdef", 0, true), NPOS);
    EXPECT_EQ(s.Find(ZEMString("hel"), 0, false), 0u);
    EXPECT_EQ(s.RFind(ZEMString("hel"), NPOS, false), 6u);
    EXPECT_EQ(s.Find(ZEMString(), 0, true), NPOS);
    EXPECT_EQ(s.Find(static_cast<const char*>(s) + 6, 0, true), 6u);
    EXPECT_EQ(ZEMString().RFind("a", NPOS, true), NPOS);
}

TEST_F(StringTest, CompareOrdersBytesAsUnsigned) {
    ZEMString s("Hello");
    EXPECT_EQ(s.Compare("Hello", true, NPOS, 0), 0);
    EXPECT_EQ(s.Compare("hello", false, NPOS, 0), 0);
    EXPECT_LT(s.Compare("hello", true, NPOS, 0), 0);
    EXPECT_EQ(s.Compare("Help", true, 3, 0), 0);
    EXPECT_LT(s.Compare("Help", true, 4, 0), 0);
    EXPECT_EQ(s.Compare("llo", true, NPOS, 2), 0);
    EXPECT_EQ(s.Compare("o", true, NPOS, 99), 0) << "a position past the end is the last one";
    EXPECT_GT(s.Compare("Hell", true, NPOS, 0), 0);
    EXPECT_EQ(s.Compare("H\xe9", true, NPOS, 0), 'e' - 0xe9);
    EXPECT_EQ(s.Compare("x", true, 0, 0), 0);
    EXPECT_GT(s.Compare(nullptr, true, NPOS, 0), 0);
    ZEMString empty;
    EXPECT_EQ(empty.Compare("", true, NPOS, 0), 0);
    EXPECT_LT(empty.Compare("a", true, NPOS, 5), 0);
    EXPECT_EQ(empty.Compare(nullptr, true, NPOS, 0), 0);
}

TEST_F(StringTest, FormatReplacesTheText) {
    // Passed through a variable, with an argument, so that the compiler's format checks let it be.
    const char* emptyFormat = "";
    ZEMString s("old text");
    s.Format(emptyFormat, 0);
    EXPECT_EQ(Text(s), "old text");
    s.Format(nullptr);
    EXPECT_EQ(Text(s), "old text");
    EXPECT_EQ(Text(s.Format("%d-%s", 12, "ab")), "12-ab");
    EXPECT_EQ(s.Length(), 5u);
    EXPECT_EQ(s.Capacity(), 12u) << "a block that is large enough is kept";

    ZEMString none;
    none.Format("%s", "");
    EXPECT_EQ(none.Capacity(), 4u);
    EXPECT_EQ(none.Length(), 0u);
    none.Format("%05d", 42);
    EXPECT_EQ(Text(none), "00042");
    EXPECT_EQ(none.Capacity(), 8u);

    const std::string longText(1000, 'z');
    none.Format("<%s>", longText.c_str());
    EXPECT_EQ(Text(none), "<" + longText + ">");
    EXPECT_EQ(none.Capacity(), 1004u);
    none.Format("%s!", std::string(300, 'q').c_str());
    EXPECT_EQ(Text(none), std::string(300, 'q') + "!");
    EXPECT_EQ(none.Capacity(), 1004u);
}

// Arguments pointing into the string itself, formatted in place and with a larger block.
TEST_F(StringTest, FormatMayReadItsOwnText) {
    ZEMString s("abc");
    s.Format("%s-%s", static_cast<const char*>(s), static_cast<const char*>(s) + 1);
    EXPECT_EQ(Text(s), "abc-bc");
    s.Format("[%s]", static_cast<const char*>(s));
    EXPECT_EQ(Text(s), "[abc-bc]");

    const std::string chunk(200, 'k');
    ZEMString big(chunk.c_str());
    big.Format("%s%s", static_cast<const char*>(big), static_cast<const char*>(big));
    EXPECT_EQ(Text(big), chunk + chunk);
    big.Format("x%s", static_cast<const char*>(big) + 100);
    EXPECT_EQ(Text(big), "x" + chunk.substr(100) + chunk);
}

// A formatting that the formatter refuses (here a wide character the C locale cannot encode)
// ends after a few attempts with an empty text.
TEST_F(StringTest, FormatGivesUpOnAFailingFormatter) {
    std::string oldLocale = setlocale(LC_CTYPE, nullptr);
    setlocale(LC_CTYPE, "C");
    const wchar_t wide[] = {0x4e2d, 0};
    ZEMString s("previous");
    s.Format("%ls", wide);
    EXPECT_EQ(s.Length(), 0u);
    EXPECT_EQ(static_cast<const char*>(s), nullptr);
    EXPECT_LE(s.Capacity(), 12u * 32u) << "the retries are bounded";
    s.Format("ok %d", 1);
    EXPECT_EQ(Text(s), "ok 1");
    setlocale(LC_CTYPE, oldLocale.c_str());
}

TEST_F(StringTest, PrintInfoShowsLengthCapacityAndText) {
    zemtest::LogCapture capture;
    ZEMString("abc").PrintInfo();
    ZEMString().PrintInfo();
    EXPECT_EQ(capture.Text(), "ZEMString(3/4): abc\nZEMString(0/0): \n");
}

TEST_F(StringTest, StringCopyReturnsANewArray) {
    struct Case {
        const char* s;
        unsigned start, count;
        const char* expected; // null: no array
    } cases[] = {
        {"abcdef", 2, 3, "cde"}, {"abc", 1, NPOS, "bc"},   {"abc", 0, 10, "abc"},
        {"abc", 3, NPOS, ""},    {"abc", 9, 2, ""},        {"abc", 0, 0, nullptr},
        {"", 0, NPOS, nullptr},  {nullptr, 0, 1, nullptr},
    };
    for (const Case& c : cases) {
        char* copy = ZEMString::StringCopy(c.s, c.start, c.count);
        if (c.expected) {
            ASSERT_NE(copy, nullptr);
            EXPECT_STREQ(copy, c.expected);
            EXPECT_NE(copy, c.s);
        } else {
            EXPECT_EQ(copy, nullptr);
        }
        delete[] copy;
    }
}
