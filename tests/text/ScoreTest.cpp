#include <zem/text/ZEMParse.h>
#include <zem/text/ZEMScore.h>

#include "ZEMTestSupport.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

ZEMScoreEntry Row(const char* name, int score, int level = 1) {
    ZEMScoreEntry row = {};
    std::memcpy(row.name, name, std::min(std::strlen(name), sizeof row.name - 1));
    row.score = score;
    row.level = level;
    return row;
}

// "name:score" for every row, to compare whole tables at once.
std::string Rows(const ZEMScore& table) {
    std::string text;
    for (uint32_t i = 0; i < table.nbEntries; ++i) {
        if (i) text += ' ';
        text += std::string(table.entries[i].name) + ":" + std::to_string(table.entries[i].score);
    }
    return text;
}

// Score files built by hand, byte by byte, independent of the writer under test.
struct Bytes {
    Bytes& U8(unsigned v) {
        data += static_cast<char>(v);
        return *this;
    }
    Bytes& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            U8((v >> (8 * i)) & 0xFF);
        return *this;
    }
    Bytes& Name(const std::string& name) {
        std::string field = name;
        field.resize(20, '\0');
        data += field;
        return *this;
    }
    Bytes& Row(const std::string& name, int32_t score, int32_t level) {
        return Name(name).U32(static_cast<uint32_t>(score)).U32(static_cast<uint32_t>(level));
    }
    std::string data;
};

Bytes Header(uint8_t version, uint32_t count, uint32_t order) {
    Bytes b;
    b.U32(0x01020304).U8(version).U32(count).U32(order);
    return b;
}

std::string Scrambled(const char* name) {
    char out[32];
    ZEMParse::Obfuscate(name, out);
    return out;
}

TEST(ScoreTest, NewTableHasAtLeastThreeEmptyRows) {
    ZEMScore table(1, ZEMScore::SCORE_HIGH_FIRST, 0);
    ASSERT_NE(table.entries, nullptr);
    EXPECT_EQ(table.nbEntries, 3u);
    EXPECT_EQ(table.Length(), 0u);
    EXPECT_EQ(Rows(table), ":0 :0 :0");
    ZEMScore big(5, ZEMScore::SCORE_LOW_FIRST, 77);
    EXPECT_EQ(Rows(big), ":77 :77 :77 :77 :77");
    EXPECT_EQ(big.order, ZEMScore::SCORE_LOW_FIRST);

    ZEMScore none(0, ZEMScore::SCORE_HIGH_FIRST, 0);
    EXPECT_EQ(none.entries, nullptr);
    EXPECT_EQ(none.nbEntries, 0u);
    EXPECT_EQ(none.Length(), 0u);
    ZEMScoreEntry row = Row("a", 10);
    EXPECT_EQ(none.Add(&row), -1);
    EXPECT_FALSE(none.Save("none.sco", false));
}

TEST(ScoreTest, AddKeepsOrderAndPlacesTiesBelow) {
    ZEMScore table(1, ZEMScore::SCORE_HIGH_FIRST, 0);
    ZEMScoreEntry a = Row("a", 50), b = Row("b", 80), c = Row("c", 50), d = Row("d", 20);
    EXPECT_EQ(table.Add(&a), 0);
    EXPECT_EQ(table.Add(&b), 0);
    EXPECT_EQ(table.Add(&c), 2);
    EXPECT_EQ(Rows(table), "b:80 a:50 c:50");
    EXPECT_EQ(table.Add(&d), -1);
    EXPECT_EQ(table.Length(), 3u);
    EXPECT_EQ(table.Add(nullptr), -1);

    ZEMScore fresh(3, ZEMScore::SCORE_HIGH_FIRST, 0);
    ZEMScoreEntry zero = Row("z", 0);
    EXPECT_EQ(fresh.Add(&zero), -1);
    ZEMScoreEntry one = Row("o", 1);
    EXPECT_EQ(fresh.Add(&one), 0);
    EXPECT_EQ(fresh.Length(), 1u);
}

TEST(ScoreTest, LowFirstTables) {
    ZEMScore table(4, ZEMScore::SCORE_LOW_FIRST, 1000);
    ZEMScoreEntry same = Row("s", 1000), a = Row("a", 999), b = Row("b", 500), c = Row("c", 999);
    EXPECT_EQ(table.Add(&same), -1);
    EXPECT_EQ(table.Add(&a), 0);
    EXPECT_EQ(table.Add(&b), 0);
    EXPECT_EQ(table.Add(&c), 2);
    EXPECT_EQ(Rows(table), "b:500 a:999 c:999 :1000");
    ZEMScoreEntry worse = Row("w", 1001);
    EXPECT_EQ(table.Add(&worse), -1);
}

TEST(ScoreTest, AddCutsAnUnterminatedName) {
    ZEMScore table(3, ZEMScore::SCORE_HIGH_FIRST, 0);
    ZEMScoreEntry row = Row("", 5, 2);
    std::memset(row.name, 'x', sizeof row.name);
    EXPECT_EQ(table.Add(&row), 0);
    EXPECT_EQ(std::string(table.entries[0].name), std::string(19, 'x'));
    EXPECT_EQ(table.entries[0].level, 2);
}

TEST(ScoreTest, SetSortOrderReversesRows) {
    ZEMScore four(4, ZEMScore::SCORE_HIGH_FIRST, 0);
    for (int i = 0; i < 4; ++i) {
        ZEMScoreEntry row = Row(std::string(1, char('a' + i)).c_str(), 40 - i * 10);
        four.Add(&row);
    }
    EXPECT_EQ(Rows(four), "a:40 b:30 c:20 d:10");
    four.SetSortOrder(ZEMScore::SCORE_HIGH_FIRST);
    EXPECT_EQ(Rows(four), "a:40 b:30 c:20 d:10");
    four.SetSortOrder(ZEMScore::SCORE_LOW_FIRST);
    EXPECT_EQ(Rows(four), "d:10 c:20 b:30 a:40");
    // Any non-zero order is the low-first order: nothing changes.
    four.SetSortOrder(static_cast<ZEMScore::SortOrder>(7));
    EXPECT_EQ(Rows(four), "d:10 c:20 b:30 a:40");
    EXPECT_EQ(four.order, ZEMScore::SCORE_LOW_FIRST);

    ZEMScore three(3, ZEMScore::SCORE_HIGH_FIRST, 0);
    ZEMScoreEntry x = Row("x", 9);
    three.Add(&x);
    EXPECT_EQ(three.Length(), 1u);
    three.SetSortOrder(ZEMScore::SCORE_LOW_FIRST);
    EXPECT_EQ(Rows(three), ":0 :0 x:9");
    EXPECT_EQ(three.Length(), 0u);
}

TEST(ScoreTest, ResizeKeepsRowsAndAddsZeroRows) {
    ZEMScore table(3, ZEMScore::SCORE_HIGH_FIRST, 100);
    ZEMScoreEntry a = Row("a", 500);
    table.Add(&a);
    table.Resize(10);
    EXPECT_EQ(table.nbEntries, 10u);
    EXPECT_EQ(Rows(table), "a:500 :100 :100 :0 :0 :0 :0 :0 :0 :0");
    table.Resize(1);
    EXPECT_EQ(Rows(table), "a:500 :100 :100");

    ZEMScore none(0, ZEMScore::SCORE_HIGH_FIRST, 100);
    none.Resize(0);
    EXPECT_EQ(none.entries, nullptr);
    none.Resize(4);
    EXPECT_EQ(Rows(none), ":0 :0 :0 :0");

    table.Reset(-5);
    EXPECT_EQ(Rows(table), ":-5 :-5 :-5");
    EXPECT_EQ(table.entries[0].level, 0);
}

class ScoreFileTest : public zemtest::TempDirTest {};

TEST_F(ScoreFileTest, SavedFileLayoutWithScrambledNames) {
    ZEMScore table(3, ZEMScore::SCORE_LOW_FIRST, 900);
    ZEMScoreEntry a = Row("Alice", 120, 4), b = Row("Bob", 300, 7);
    table.Add(&a);
    table.Add(&b);
    ASSERT_TRUE(table.Save("scores.sco", true));
    std::string expected = Header(3, 3, 1)
                               .U8(1)
                               .Row(Scrambled("Alice"), 120, 4)
                               .Row(Scrambled("Bob"), 300, 7)
                               .Row("", 900, 0)
                               .data;
    EXPECT_EQ(zemtest::ReadFile("scores.sco"), expected);

    ASSERT_TRUE(table.Save("plain.sco", false));
    std::string plain =
        Header(3, 3, 1).U8(0).Row("Alice", 120, 4).Row("Bob", 300, 7).Row("", 900, 0).data;
    EXPECT_EQ(zemtest::ReadFile("plain.sco"), plain);
    // The table itself keeps its names readable.
    EXPECT_STREQ(table.entries[0].name, "Alice");
}

TEST_F(ScoreFileTest, RoundTrip) {
    for (bool scramble : {false, true}) {
        ZEMScore table(5, ZEMScore::SCORE_HIGH_FIRST, 10);
        ZEMScoreEntry rows[] = {Row("Zed", 40, 2), Row("Nineteen characters", 70, 9),
                                Row("\x80\xfe", 55, 3)};
        for (ZEMScoreEntry& row : rows)
            table.Add(&row);
        ASSERT_TRUE(table.Save("round.sco", scramble));
        ZEMScore loaded(0, ZEMScore::SCORE_LOW_FIRST, 0);
        ASSERT_TRUE(loaded.Load("round.sco"));
        EXPECT_EQ(loaded.order, ZEMScore::SCORE_HIGH_FIRST);
        EXPECT_EQ(Rows(loaded), Rows(table));
        EXPECT_EQ(Rows(loaded), "Nineteen characters:70 \x80\xfe:55 Zed:40 :10 :10");
        EXPECT_EQ(loaded.entries[0].level, 9);
    }
}

TEST_F(ScoreFileTest, VersionTwoHasNoFlagByte) {
    zemtest::WriteFile("v2.sco",
                       Header(2, 3, 0).Row("Ann", 30, 1).Row("Ben", 20, 2).Row("", 0, 0).data);
    ZEMScore table(0, ZEMScore::SCORE_HIGH_FIRST, 0);
    ASSERT_TRUE(table.Load("v2.sco"));
    EXPECT_EQ(Rows(table), "Ann:30 Ben:20 :0");
    EXPECT_EQ(table.entries[1].level, 2);
}

TEST_F(ScoreFileTest, RefusedFilesLeaveTheTableAlone) {
    ZEMScore table(3, ZEMScore::SCORE_HIGH_FIRST, 0);
    ZEMScoreEntry a = Row("keep", 5);
    table.Add(&a);
    Bytes wrongMagic;
    wrongMagic.U32(0x04030201).U8(3).U32(1).U32(0).U8(0).Row("x", 1, 1);
    zemtest::WriteFile("magic.sco", wrongMagic.data);
    zemtest::WriteFile("empty.sco", "");
    // The header itself is cut short.
    zemtest::WriteFile("header.sco", Header(3, 1, 0).data);
    zemtest::WriteFile("header2.sco", Header(3, 1, 0).data.substr(0, 7));
    for (const char* name :
         {"magic.sco", "empty.sco", "header.sco", "header2.sco", "missing.sco"}) {
        EXPECT_FALSE(table.Load(name)) << name;
        EXPECT_EQ(Rows(table), "keep:5 :0 :0") << name;
        EXPECT_EQ(table.order, ZEMScore::SCORE_HIGH_FIRST) << name;
    }
}

TEST_F(ScoreFileTest, ShortFileKeepsWhatCouldBeReadAndZeroesTheRest) {
    // Five rows announced, two and a half present.
    std::string data = Header(3, 5, 0).U8(0).Row("one", 9, 1).Row("two", 8, 2).data + "thr";
    zemtest::WriteFile("short.sco", data);
    ZEMScore table(0, ZEMScore::SCORE_HIGH_FIRST, 0);
    EXPECT_FALSE(table.Load("short.sco"));
    ASSERT_EQ(table.nbEntries, 3u);
    EXPECT_EQ(Rows(table), "one:9 two:8 thr:0");
    EXPECT_EQ(table.entries[2].level, 0);

    // A row whose score and level are missing is not a whole row either.
    zemtest::WriteFile("noscore.sco", Header(3, 1, 0).U8(0).Name("solo").data);
    EXPECT_FALSE(table.Load("noscore.sco"));
    EXPECT_EQ(Rows(table), "solo:0");
}

TEST_F(ScoreFileTest, CountFarBeyondTheFileAllocatesOnlyWhatItHolds) {
    zemtest::WriteFile("huge.sco", Header(3, 0xFFFFFFFF, 0).U8(0).Row("only", 3, 1).data);
    ZEMScore table(0, ZEMScore::SCORE_HIGH_FIRST, 0);
    EXPECT_FALSE(table.Load("huge.sco"));
    EXPECT_EQ(Rows(table), "only:3");
    zemtest::WriteFile("huge0.sco", Header(3, 0x7FFFFFFF, 0).U8(0).data);
    EXPECT_FALSE(table.Load("huge0.sco"));
    EXPECT_EQ(table.nbEntries, 0u);
}

TEST_F(ScoreFileTest, TableOfNoRows) {
    zemtest::WriteFile("zero.sco", Header(3, 0, 1).U8(1).data);
    ZEMScore table(3, ZEMScore::SCORE_HIGH_FIRST, 0);
    ASSERT_TRUE(table.Load("zero.sco"));
    EXPECT_EQ(table.nbEntries, 0u);
    EXPECT_EQ(table.Length(), 0u);
    EXPECT_EQ(table.order, ZEMScore::SCORE_LOW_FIRST);
    // There is no last row to compare with.
    ZEMScoreEntry row = Row("new", 1);
    EXPECT_EQ(table.Add(&row), -1);
    table.SetSortOrder(ZEMScore::SCORE_HIGH_FIRST);
    EXPECT_TRUE(table.Save("zero-again.sco", false));
    EXPECT_EQ(zemtest::ReadFile("zero-again.sco"), Header(3, 0, 0).U8(0).data);
    table.Resize(0);
    EXPECT_EQ(table.nbEntries, 0u);
    table.Resize(2);
    EXPECT_EQ(Rows(table), ":0 :0 :0");
    EXPECT_EQ(table.Add(&row), 0);
}

TEST_F(ScoreFileTest, HostileNameFieldsAndOrders) {
    // Names filling the whole field, plain and scrambled, and an order of 7.
    std::string full(20, 'N');
    std::string scrambledFull(20, '\x9e'); // ~'a'
    zemtest::WriteFile("plain.sco",
                       Header(3, 3, 7).U8(0).Row(full, 3, 1).Row("", 2, 0).Row("", 1, 0).data);
    zemtest::WriteFile(
        "scr.sco", Header(3, 3, 0).U8(1).Row(scrambledFull, 3, 1).Row("", 2, 0).Row("", 1, 0).data);
    ZEMScore table(0, ZEMScore::SCORE_HIGH_FIRST, 0);
    ASSERT_TRUE(table.Load("plain.sco"));
    EXPECT_EQ(std::string(table.entries[0].name), std::string(19, 'N'));
    EXPECT_EQ(table.order, ZEMScore::SCORE_LOW_FIRST);
    ASSERT_TRUE(table.Load("scr.sco"));
    EXPECT_EQ(std::string(table.entries[0].name), std::string(19, 'a'));
    EXPECT_EQ(table.Length(), 1u);
}

TEST_F(ScoreFileTest, SaveFailsWhereNoFileCanBeWritten) {
    ZEMScore table(3, ZEMScore::SCORE_HIGH_FIRST, 0);
    EXPECT_FALSE(table.Save("no/such/dir/x.sco", false));
    EXPECT_FALSE(table.Save(nullptr, false));
    EXPECT_FALSE(table.Load(nullptr));
}

TEST_F(ScoreFileTest, PrintInfo) {
    ZEMScore table(3, ZEMScore::SCORE_HIGH_FIRST, 0);
    ZEMScoreEntry a = Row("Alice", 1234, 5);
    table.Add(&a);
    zemtest::LogCapture log;
    table.PrintInfo();
    std::string expected = "Score table (3 entries) (name/level/score):\n"
                           "[  0]                            Alice   5     1234\n"
                           "[  1]                                    0        0\n"
                           "[  2]                                    0        0\n";
    EXPECT_EQ(log.Text(), expected);
}

} // namespace
