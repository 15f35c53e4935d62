#include <zem/stream/ZEMFile.h>
#include <zem/stream/ZEMMemFile.h>
#include <zem/text/ZEMText.h>

#include "ZEMTestSupport.h"

#include <cstdint>
#include <string>

using zemtest::LogCapture;
using zemtest::ReadFile;
using zemtest::WriteFile;

namespace {

constexpr unsigned NPOS = ZEMText::NPOS;

// A read-only memory stream over its own copy of some bytes.
struct MemStream {
    explicit MemStream(std::string data)
        : bytes(std::move(data)), file(unsigned(bytes.size()), ZEMResFile::READ,
                                       reinterpret_cast<unsigned char*>(&bytes[0])) {}
    std::string bytes;
    ZEMMemFile file;
};

// The slots in one line: "[text]" for a used slot, "-" for a free one.
std::string Slots(const ZEMText& text) {
    std::string out;
    for (unsigned i = 0; i < text.NbSlots(); ++i) {
        if (i) out += ' ';
        const char* s = text.GetString(i);
        out += s ? "[" + std::string(s) + "]" : "-";
    }
    return out;
}

std::string U32(uint32_t v) {
    return {char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24)};
}

// What Save wrote to a fresh disk file; *ok receives Save's result.
std::string Saved(ZEMText& text, int format, bool* ok = nullptr) {
    bool result;
    {
        ZEMFile file("saved.bin", ZEMResFile::READ | ZEMResFile::WRITE | ZEMResFile::TRUNCATE);
        result = text.Save(file, format);
    }
    if (ok) *ok = result;
    return ReadFile("saved.bin");
}

bool LoadBytes(ZEMText& text, const std::string& bytes, int format) {
    MemStream stream(bytes);
    return text.Load(stream.file, format);
}

class TextTest : public zemtest::TempDirTest {};

TEST_F(TextTest, TextLinesBecomeSlotsWithOneFreeSlotAfterThem) {
    struct Case {
        const char* bytes;
        const char* slots;
    };
    const Case cases[] = {
        {"one\r\n\r\nthree", "[one] - [three] -"},
        {"ab\ny", "[ab] [y] -"}, // a last line of one character without line feed is kept
        {"x", "[x] -"},
        {"a\nb\n", "[a] [b] -"},
        {"\n", "- -"},
        {"\r\n\r\n", "- - -"},
        {"a\rb \t\r\n", "[a\rb \t] -"}, // only a carriage return before the line feed goes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        ZEMText text(1);
        EXPECT_TRUE(LoadBytes(text, c.bytes, 1));
        EXPECT_EQ(Slots(text), c.slots);
    }
    ZEMText text(1);
    ASSERT_TRUE(LoadBytes(text, "one\r\n\r\nthree", 1));
    EXPECT_EQ(text.Length(), 2u);
}

// A line of a megabyte is read in time linear in its length (it took seconds when lines grew by
// a few bytes at a time).
TEST_F(TextTest, LongLinesLoadAtOnce) {
    const std::string line(1 << 20, 'x');
    WriteFile("long.txt", "a\n" + line + "\r\nb");
    ZEMText text(1);
    ASSERT_TRUE(text.LoadName("long.txt", 1));
    ASSERT_EQ(text.Length(), 3u);
    EXPECT_EQ(text.GetString(1), line);
}

TEST_F(TextTest, TextSaveWritesEveryLineUpToTheLastUsedSlot) {
    ZEMText text(1);
    ASSERT_TRUE(LoadBytes(text, "one\r\n\r\nthree", 0));
    bool ok = false;
    EXPECT_EQ(Saved(text, 2, &ok), "one\n\nthree\n");
    EXPECT_TRUE(ok);
    ZEMText again("saved.bin", 0);
    EXPECT_EQ(Slots(again), "[one] - [three] -");
}

TEST_F(TextTest, EmptyTextIsRefusedAndChangesNothing) {
    WriteFile("empty.txt", "");
    ZEMText text(2);
    text.SetString(1, "kept");
    LogCapture log;
    for (int format : {0, 1}) {
        ZEMFile file("empty.txt", ZEMResFile::READ);
        EXPECT_FALSE(text.Load(file, format));
    }
    EXPECT_EQ(log.Text(), "TextLoad: nothing to load!\nTextLoad: nothing to load!\n");
    EXPECT_EQ(Slots(text), "- [kept]");
}

TEST_F(TextTest, TextsShorterThanTheMagicAreRecognised) {
    // Recognition moves back over the bytes it looked at, however few there were.
    for (const char* bytes : {"ab", "a\nb", "x"}) {
        SCOPED_TRACE(bytes);
        WriteFile("short.txt", bytes);
        ZEMText fromDisk("short.txt", 0);
        ZEMText fromMemory(1);
        EXPECT_TRUE(LoadBytes(fromMemory, bytes, 0));
        EXPECT_EQ(Slots(fromDisk), Slots(fromMemory));
        EXPECT_GE(fromDisk.Length(), 1u);
    }
}

TEST_F(TextTest, FormatNumbersDifferBetweenLoadAndSave) {
    const std::string prefixed = "ZEMT" + U32(1) + U32(3) + "hi";
    ZEMText text(1);
    // Load: 0 recognises, 1 text, 2 length-prefixed.
    EXPECT_TRUE(LoadBytes(text, prefixed, 0));
    EXPECT_EQ(Slots(text), "[hi]");
    EXPECT_TRUE(LoadBytes(text, "ZEMX\nhi", 0));
    EXPECT_EQ(Slots(text), "[ZEMX] [hi] -");
    EXPECT_TRUE(LoadBytes(text, "ZEMT\nhi", 1));
    EXPECT_EQ(Slots(text), "[ZEMT] [hi] -");
    EXPECT_FALSE(LoadBytes(text, "plain text\n", 2));
    for (int unknown : {3, -1})
        EXPECT_FALSE(LoadBytes(text, prefixed, unknown));
    EXPECT_EQ(Slots(text), "[ZEMT] [hi] -");

    // Save: 0 and 1 length-prefixed, 2 text; an unknown format writes nothing and fails.
    ZEMText hi(1);
    hi.SetString(0, "hi");
    EXPECT_EQ(Saved(hi, 0), prefixed);
    EXPECT_EQ(Saved(hi, 1), prefixed);
    EXPECT_EQ(Saved(hi, 2), "hi\n");
    for (int unknown : {3, -1}) {
        bool ok = true;
        EXPECT_EQ(Saved(hi, unknown, &ok), "");
        EXPECT_FALSE(ok);
    }
    // So SaveName in an unknown format keeps the file it would have replaced.
    WriteFile("keep.txt", "old\n");
    EXPECT_FALSE(hi.SaveName("keep.txt", 3));
    EXPECT_EQ(ReadFile("keep.txt"), "old\n");
    EXPECT_TRUE(hi.SaveName("keep.txt", 2));
    EXPECT_EQ(ReadFile("keep.txt"), "hi\n");
}

TEST_F(TextTest, PrefixedFormatKeepsFreeSlotsAndEmptyStrings) {
    const std::string big(200000, 'q'); // larger than one read block
    ZEMText text(8);
    text.SetString(0, "a");
    text.SetString(2, "");
    text.SetString(3, "\xE9t\xE9");
    text.SetString(4, big.c_str());
    const std::string expected =
        "ZEMT" + U32(5) + U32(2) + "a" + U32(0) + U32(1) + U32(4) + "\xE9t\xE9" + U32(200001) + big;
    bool ok = false;
    ASSERT_EQ(Saved(text, 0, &ok), expected);
    EXPECT_TRUE(ok);
    ZEMText loaded("saved.bin", 0);
    EXPECT_EQ(Slots(loaded), "[a] - [] [\xE9t\xE9] [" + big + "]");
    EXPECT_EQ(loaded.Length(), 4u);
    // Free slots after the last record stay: the count says how many there are.
    EXPECT_TRUE(LoadBytes(loaded, "ZEMT" + U32(3) + U32(2) + "z" + U32(0) + U32(0), 2));
    EXPECT_EQ(Slots(loaded), "[z] - -");
    EXPECT_TRUE(LoadBytes(loaded, "ZEMT" + U32(0), 2));
    EXPECT_EQ(Slots(loaded), "-");
}

TEST_F(TextTest, HostilePrefixedFilesAreRefusedAndChangeNothing) {
    const std::string cases[] = {
        "ZEMT",
        "ZEMT" + U32(2).substr(0, 2),
        "ZEMT" + U32(0xFFFFFFFF),                        // four billion slots, no record
        "ZEMT" + U32(0x40000000) + U32(0) + U32(0),      // a billion slots, two records
        "ZEMT" + U32(2) + U32(0),                        // one record of two
        "ZEMT" + U32(1) + U32(0xFFFFFFFF) + "abc",       // a string of four gigabytes
        "ZEMT" + U32(1) + U32(11) + "abc",               // ten bytes promised, three given
        "ZEMT" + U32(2) + U32(4) + "abc" + U32(3) + "x", // the second string is cut
    };
    for (const std::string& bytes : cases) {
        SCOPED_TRACE(::testing::PrintToString(bytes));
        ZEMText text(1);
        text.SetString(1, "keep");
        for (int format : {0, 2})
            EXPECT_FALSE(LoadBytes(text, bytes, format));
        EXPECT_EQ(Slots(text), "- [keep]");
        // Still usable.
        EXPECT_EQ(text.Append("more"), 0u);
        EXPECT_EQ(Saved(text, 2), "more\nkeep\n");
    }
}

TEST_F(TextTest, StreamsThatAreNotOpenAndArraysWithoutStringsAreRefused) {
    ZEMText text(3);
    ZEMFile missing("missing.txt", ZEMResFile::READ);
    EXPECT_FALSE(text.Load(missing, 0));
    EXPECT_FALSE(text.Save(missing, 0));
    bool ok = true;
    EXPECT_EQ(Saved(text, 0, &ok), "");
    EXPECT_FALSE(ok);
    // One empty string is something to save.
    text.SetString(1, "");
    EXPECT_EQ(Saved(text, 0, &ok), "ZEMT" + U32(2) + U32(0) + U32(1));
    EXPECT_TRUE(ok);
    EXPECT_EQ(Saved(text, 2), "\n\n");
}

TEST_F(TextTest, SetStringCopiesPartsAndGrowsTheArray) {
    ZEMText text(3);
    text.SetString(10, "ten");
    EXPECT_EQ(text.NbSlots(), 11u);
    EXPECT_EQ(text.Length(), 1u);
    EXPECT_STREQ(text.GetString(10), "ten");
    EXPECT_EQ(text.GetString(11), nullptr);

    struct Case {
        const char* text;
        unsigned start, len;
        const char* stored; // null: the slot is free
    };
    const Case cases[] = {
        {"abcdef", 2, 3, "cde"}, {"abcdef", 1, NPOS, "bcdef"},
        {"abc", 0, 100, "abc"},  {"abc", 5, NPOS, ""},
        {"", 0, NPOS, ""},       {"", 0, 4, ""},
        {"abc", 0, 0, nullptr},  {nullptr, 0, NPOS, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << (c.text ? c.text : "null") << " " << c.start << " " << c.len);
        text.SetString(1, "old");
        text.SetString(1, c.text, c.start, c.len);
        if (c.stored) {
            EXPECT_STREQ(text.GetString(1), c.stored);
        } else {
            EXPECT_EQ(text.GetString(1), nullptr);
        }
    }
    // A slot's own string may be the source.
    text.SetString(0, "source");
    text.SetString(0, text.GetString(0), 2);
    EXPECT_STREQ(text.GetString(0), "urce");
    // The last index can never exist.
    text.SetString(NPOS, "x");
    EXPECT_EQ(text.NbSlots(), 11u);
}

TEST_F(TextTest, AppendFillsHolesBeforeGrowing) {
    ZEMText text(3);
    text.SetString(0, "a");
    text.SetString(2, "c");
    EXPECT_EQ(text.Append("b"), 1u);
    EXPECT_EQ(text.Append("d"), 3u);
    EXPECT_EQ(text.NbSlots(), 4u);
    EXPECT_EQ(text.Append(nullptr), NPOS);
    EXPECT_EQ(text.Append("x", 0, 0), NPOS);
    text.SetString(1, nullptr);
    EXPECT_EQ(text.Append("wxyz", 1, 2), 1u);
    EXPECT_EQ(Slots(text), "[a] [xy] [c] [d]");
    text.Clear();
    EXPECT_EQ(text.NbSlots(), 4u);
    EXPECT_EQ(text.Length(), 0u);
    EXPECT_EQ(text.Append("first"), 0u);
    for (unsigned i = 1; i < 1000; ++i)
        ASSERT_EQ(text.Append("n"), i);
    text.ChangeSize(2);
    text.SetString(0, nullptr);
    EXPECT_EQ(text.Append("again"), 0u);
    EXPECT_EQ(text.Append("end"), 2u);
}

TEST_F(TextTest, ChangeSizeKeepsTheHeadAndFreesTheRest) {
    ZEMText text(0);
    EXPECT_EQ(text.NbSlots(), 1u);
    for (const char* s : {"a", "b", "c", "d"})
        text.Append(s);
    text.ChangeSize(2);
    EXPECT_EQ(Slots(text), "[a] [b]");
    text.ChangeSize(4);
    EXPECT_EQ(Slots(text), "[a] [b] - -");
    text.ChangeSize(0);
    EXPECT_EQ(Slots(text), "[a]");
}

TEST_F(TextTest, MemoryUsedAndPrintInfo) {
    ZEMText text(4);
    text.SetString(0, "ab");
    text.SetString(2, "");
    text.SetString(3, "xyz");
    EXPECT_EQ(text.MemoryUsed(), 12u + 4 * 4 + 5);
    LogCapture log;
    text.PrintInfo();
    EXPECT_EQ(log.Text(), "Array of 4 strings :\n[  0] ab\n[  2] \n[  3] xyz\n");
}

TEST_F(TextTest, LoadingConstructorsFallBackToOneFreeSlot) {
    EXPECT_EQ(Slots(ZEMText("missing.txt", 0)), "-");
    MemStream bad("ZEMT" + U32(9));
    EXPECT_EQ(Slots(ZEMText(bad.file, 0)), "-");
    MemStream good("x\ny\n");
    EXPECT_EQ(Slots(ZEMText(good.file, 1)), "[x] [y] -");
}

TEST_F(TextTest, TextIsReadFromTheCurrentPosition) {
    MemStream stream("HEADER\nline\n");
    ASSERT_TRUE(stream.file.Seek(7, 0));
    ZEMText text(1);
    EXPECT_TRUE(text.Load(stream.file, 0));
    EXPECT_EQ(Slots(text), "[line] -");
}

} // namespace
