#include "ZEMTestSupport.h"

#include <zem/text.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

using zemtest::LogCapture;
using zemtest::WriteFile;

namespace {

std::string U16(uint16_t v) {
    return std::string{char(v & 0xFF), char(v >> 8)};
}

std::string U32(uint32_t v) {
    return std::string{char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24)};
}

// The fields of a language file, laid out by hand so that each can be made wrong on purpose.
struct LangLayout {
    std::string name; // the name bytes as stored (terminator included when wanted)
    int nameLength;   // the L byte; -1 for the size of `name`
    uint32_t count;   // N
    int64_t table;    // length-table offset; -1 for right after the header
    int64_t data;     // string-data offset; -1 for right after the table
    int64_t dataSize; // S; -1 for the size of `bytes`
    std::string lengths;
    std::string bytes;

    std::string File() const {
        const uint32_t l = uint32_t(nameLength < 0 ? name.size() : nameLength);
        const uint32_t tableAt = uint32_t(table < 0 ? 22 + name.size() : table);
        const uint32_t dataAt = uint32_t(data < 0 ? 22 + name.size() + lengths.size() : data);
        const uint32_t size = uint32_t(dataSize < 0 ? bytes.size() : dataSize);
        return std::string("LanG") + '\0' + char(l) + name + U32(count) + U32(tableAt) +
               U32(dataAt) + U32(size) + lengths + bytes;
    }
};

// A well-formed file; a null string is absent.
LangLayout Lang(const std::string& name, const std::vector<const char*>& strings) {
    LangLayout layout{name + '\0', -1, uint32_t(strings.size()), -1, -1, -1, "", ""};
    for (const char* s : strings) {
        std::string text = s ? std::string(s) + '\0' : std::string();
        layout.lengths += U16(uint16_t(text.size()));
        layout.bytes += text;
    }
    return layout;
}

std::string Str(const char* s) {
    return s ? s : "(null)";
}

} // namespace

class TranslatorTest : public zemtest::TempDirTest {
protected:
    void TearDown() override {
        delete ZEMTranslator::Singleton();
        TempDirTest::TearDown();
    }

    void WriteLang(const std::string& file, const LangLayout& layout) {
        WriteFile(file, layout.File());
    }

    std::set<std::string> Names(const ZEMTranslator& t) {
        std::set<std::string> names;
        for (unsigned i = 0; t.GetLangName(i); ++i)
            names.insert(std::string(t.GetLangName(i)) + "=" + t.GetLangFile(i));
        return names;
    }

    ZEMTranslator t;
};

TEST_F(TranslatorTest, InitListsLanguageFilesBySuffix) {
    namespace fs = std::filesystem;
    WriteLang("english.lng", Lang("English", {"Hello"}));
    WriteLang("FRENCH.LNG", Lang("Français", {"Bonjour"}));
    WriteLang(".hidden.lng", Lang("Hidden", {"x"}));
    WriteLang("german.txt", Lang("Deutsch", {"Hallo"}));
    WriteFile("notes.lng", std::string("LANG\0\x05Junk", 10));
    WriteFile("notes.txt", "hello");
    fs::create_directory("old.lng");

    EXPECT_EQ(t.Init(Dir().c_str(), ".lng"), 2);
    EXPECT_EQ(Names(t), (std::set<std::string>{"English=" + Path("english.lng"),
                                               "Français=" + Path("FRENCH.LNG")}));
    EXPECT_EQ(t.GetLangName(2), nullptr);
    EXPECT_EQ(t.GetLangFile(2), nullptr);
    // No suffix: every language file, whatever its name.
    EXPECT_EQ(t.Init(Dir().c_str(), nullptr), 3);
    EXPECT_EQ(t.Init(Dir().c_str(), ".none"), 0);
    EXPECT_EQ(t.Init(nullptr, ".lng"), 0);
    EXPECT_EQ(t.Init("", ".lng"), 0);
    EXPECT_EQ(t.Init("no-such-dir", ".lng"), 0);
}

TEST_F(TranslatorTest, InitResolvesRelativeDirectories) {
    namespace fs = std::filesystem;
    fs::create_directories("lang/sub");
    WriteLang("lang/english.lng", Lang("English", {"Hello"}));
    WriteLang("top.lng", Lang("Top", {"x"}));

    EXPECT_EQ(t.Init("lang", ".lng"), 1);
    EXPECT_EQ(std::string(t.GetLangFile(0)), Path("lang/english.lng"));
    fs::current_path("lang");
    EXPECT_EQ(t.Init(".", ".lng"), 1);
    EXPECT_EQ(std::string(t.GetLangName(0)), "English");
    fs::current_path("sub");
    EXPECT_EQ(t.Init("..", ".lng"), 1);
    EXPECT_EQ(std::string(t.GetLangFile(0)), Path("lang/english.lng"));
    LogCapture log;
    t.PrintInfo(false);
    EXPECT_EQ(log.Text(), "Path : " + Path("lang/") + "\nFiles:\n-[0] English (" +
                              Path("lang/english.lng") + ")\nNo file loaded.\n");
}

// Whichever separator the caller writes, the paths come back in the system's own form.
TEST_F(TranslatorTest, ReportsPathsInTheSystemsOwnForm) {
    std::filesystem::create_directories("lang/sub");
    WriteLang("lang/sub/english.lng", Lang("English", {"Hello"}));
    const std::string file = Path("lang/sub/english.lng");
    for (const std::string sep : {"/", "\\"}) {
        const std::string dir = "lang" + sep + "sub";
        ASSERT_EQ(t.Init(dir.c_str(), ".lng"), 1) << sep;
        EXPECT_EQ(Str(t.GetLangFile(0)), file) << sep;
        ASSERT_TRUE(t.Load((dir + sep + "english.lng").c_str(), 0)) << sep;
        EXPECT_EQ(Str(t.GetCurFile()), file) << sep;
        ASSERT_TRUE(t.Load((Dir() + sep + dir + sep + "english.lng").c_str(), 0)) << sep;
        EXPECT_EQ(Str(t.GetCurFile()), file) << sep;
    }
}

TEST_F(TranslatorTest, LoadNameServesTheStrings) {
    WriteLang("english.lng", Lang("English", {"Hello", "Quit", nullptr, "", "Bye"}));
    ASSERT_EQ(t.Init(Dir().c_str(), ".lng"), 1);
    EXPECT_EQ(t.GetString(0), std::string("String #0"));
    EXPECT_FALSE(t.LoadName("english"));
    EXPECT_FALSE(t.LoadName(nullptr));
    ASSERT_TRUE(t.LoadName("English"));
    EXPECT_EQ(Str(t.GetCurName()), "English");
    EXPECT_EQ(Str(t.GetCurFile()), Path("english.lng"));
    EXPECT_EQ(t.NbStrings(), 5u);
    EXPECT_EQ(Str(t.GetString(0)), "Hello");
    EXPECT_EQ(Str(t.GetString(1)), "Quit");
    EXPECT_EQ(t.GetString(2), nullptr);
    EXPECT_EQ(Str(t.GetString(3)), "");
    EXPECT_EQ(Str(t.GetString(4)), "Bye");
    EXPECT_EQ(Str(t.GetString(5)), "String #5");
    EXPECT_EQ(Str(t.GetString(123456)), "String #123456");

    LogCapture log;
    t.PrintInfo(true);
    EXPECT_EQ(log.Text(), "Path : " + Path("") + "\nFiles:\n-[0] English (" + Path("english.lng") +
                              ")\nLang file : " + Path("english.lng") +
                              "\nLanguage  : English\nStrings   : 5\nStrings:\n-[0] Hello\n"
                              "-[1] Quit\n-[2] (null)\n-[3] \n-[4] Bye\n");

    // Init drops the loaded language.
    t.Init(Dir().c_str(), ".lng");
    EXPECT_EQ(t.GetCurFile(), nullptr);
    EXPECT_EQ(t.GetCurName(), nullptr);
    EXPECT_EQ(Str(t.GetString(0)), "String #0");
}

TEST_F(TranslatorTest, LoadByFileFindsItsListEntry) {
    WriteLang("english.lng", Lang("English", {"Hello"}));
    WriteLang("other.dat", Lang("Other", {"Hi"}));
    ASSERT_EQ(t.Init(Dir().c_str(), ".lng"), 1);

    // A relative name is taken from the working directory, and its list entry is found.
    ASSERT_TRUE(t.Load("english.lng", 7));
    EXPECT_EQ(Str(t.GetCurName()), "English");
    ASSERT_TRUE(t.Load(Path("other.dat").c_str(), 0));
    EXPECT_EQ(Str(t.GetCurName()), "Other");
    EXPECT_EQ(Str(t.GetString(0)), "Hi");
    ASSERT_TRUE(t.Load(nullptr, 0));
    EXPECT_EQ(Str(t.GetString(0)), "Hello");
    EXPECT_FALSE(t.Load(nullptr, 1));
    EXPECT_EQ(Str(t.GetString(0)), "Hello");

    // Without its list the index is not trusted: the name read from the list is gone.
    t.DeleteFileArray();
    EXPECT_EQ(t.GetCurName(), nullptr);
    EXPECT_EQ(Str(t.GetString(0)), "Hello");
}

// Files refused before anything is dropped: the language loaded before stays.
TEST_F(TranslatorTest, RefusedFilesKeepThePreviousLanguage) {
    WriteLang("good.lng", Lang("English", {"Hello"}));
    const LangLayout base = Lang("Bad", {"one", "two"});
    // Whether the header alone is sound (CheckLang lists such files; Load refuses them later).
    struct Case {
        const char* what;
        std::string bytes;
        bool soundHeader;
    };
    std::vector<Case> cases;
    cases.push_back({"wrong magic", "LANG" + base.File().substr(4), false});
    cases.push_back({"empty file", "", false});
    cases.push_back({"header only", base.File().substr(0, 5), false});
    LangLayout zeroName = base;
    zeroName.nameLength = 0;
    cases.push_back({"name length 0", zeroName.File(), false});
    LangLayout unterminated = base;
    unterminated.name = "Bad";
    cases.push_back({"name not terminated", unterminated.File(), false});
    cases.push_back({"file ends in the name", base.File().substr(0, 8), false});
    cases.push_back({"file ends in the counts", base.File().substr(0, 20), true});
    LangLayout bigData = base;
    bigData.dataSize = 1000;
    cases.push_back({"S beyond the file", bigData.File(), true});
    LangLayout hugeData = base;
    hugeData.dataSize = 0xFFFFFFFF;
    cases.push_back({"S of 4 GiB", hugeData.File(), true});
    LangLayout farData = base;
    farData.data = 0xFFFFFFF0;
    cases.push_back({"data offset past the end", farData.File(), true});
    LangLayout hugeCount = base;
    hugeCount.count = 0x7FFFFFFF;
    cases.push_back({"count beyond the file", hugeCount.File(), true});
    LangLayout farTable = base;
    farTable.table = 0xFFFFFFFE;
    cases.push_back({"table offset past the end", farTable.File(), true});

    for (const Case& c : cases) {
        ASSERT_TRUE(t.Load("good.lng", 0));
        WriteFile("bad.lng", c.bytes);
        EXPECT_FALSE(t.Load("bad.lng", 0)) << c.what;
        EXPECT_EQ(Str(t.GetCurName()), "English") << c.what;
        EXPECT_EQ(Str(t.GetString(0)), "Hello") << c.what;
        char* name = t.CheckLang("bad.lng");
        EXPECT_EQ(name != nullptr, c.soundHeader) << c.what;
        EXPECT_EQ(Str(name), c.soundHeader ? "Bad" : "(null)");
        delete[] name;
    }
    EXPECT_FALSE(t.Load("missing.lng", 0));
    EXPECT_EQ(Str(t.GetString(0)), "Hello");
}

// Strings that do not lie whole in the data, or have no terminator there, are not handed out.
TEST_F(TranslatorTest, StringsOutsideTheDataAreAbsent) {
    LangLayout layout = Lang("Odd", {});
    layout.count = 6;
    // "ab\0" fits; "cd" (2) has no terminator; then "e\0"; then 9 bytes past the data;
    // absent; then a string that would start past the data.
    layout.lengths = U16(3) + U16(2) + U16(2) + U16(9) + U16(0) + U16(1);
    layout.bytes = std::string("ab\0cde\0xy", 9);
    WriteLang("odd.lng", layout);
    ASSERT_TRUE(t.Load("odd.lng", 0));
    EXPECT_EQ(Str(t.GetString(0)), "ab");
    EXPECT_EQ(t.GetString(1), nullptr);
    EXPECT_EQ(Str(t.GetString(2)), "e");
    EXPECT_EQ(t.GetString(3), nullptr);
    EXPECT_EQ(t.GetString(4), nullptr);
    EXPECT_EQ(t.GetString(5), nullptr);

    // A string with a zero byte inside its length is terminated there.
    LangLayout inner = Lang("Inner", {});
    inner.count = 1;
    inner.lengths = U16(4);
    inner.bytes = std::string("a\0bc", 4);
    WriteLang("inner.lng", inner);
    ASSERT_TRUE(t.Load("inner.lng", 0));
    EXPECT_EQ(Str(t.GetString(0)), "a");

    // The table and the data may lie anywhere in the file, the data before the table.
    LangLayout moved = Lang("Moved", {});
    moved.count = 2;
    moved.data = 28;
    moved.table = 28 + 6;
    moved.bytes = std::string("hi\0yo\0", 6);
    moved.lengths = U16(3) + U16(3);
    std::string file = moved.File();
    std::string reordered = file.substr(0, 28) + moved.bytes + moved.lengths;
    WriteFile("moved.lng", reordered);
    ASSERT_TRUE(t.Load("moved.lng", 0));
    EXPECT_EQ(Str(t.GetString(0)), "hi");
    EXPECT_EQ(Str(t.GetString(1)), "yo");
}

TEST_F(TranslatorTest, CheckLangReadsTheDeclaredName) {
    WriteLang("english.lng", Lang("English", {"Hello"}));
    char* name = t.CheckLang("english.lng");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::string(name), "English");
    delete[] name;
    EXPECT_EQ(t.CheckLang("missing.lng"), nullptr);
    EXPECT_EQ(t.CheckLang(nullptr), nullptr);
}

TEST_F(TranslatorTest, PathHelpers) {
    const std::pair<const char*, bool> paths[] = {
        {"C:\\games", true}, {"\\data", true}, {"/data", true}, {"C:games", false},
        {"C:/games", false}, {"data", false},  {"", false},     {"1:\\x", false},
    };
    for (const auto& p : paths)
        EXPECT_EQ(t.IsAbsolute(p.first), p.second) << p.first;
    EXPECT_FALSE(t.IsAbsolute(nullptr));

    char* part = t.StrCopy("abcdef", 2, 3);
    EXPECT_EQ(Str(part), "cde");
    delete[] part;
    EXPECT_EQ(t.StrCopy("", 0, 3), nullptr);
}

TEST_F(TranslatorTest, SingletonLivesUntilDeleted) {
    ZEMTranslator* first = ZEMTranslator::Singleton();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(ZEMTranslator::Singleton(), first);
    // A translator of its own leaves the process's one in place when it goes.
    delete new ZEMTranslator();
    EXPECT_EQ(ZEMTranslator::Singleton(), first);
    delete first;
    ZEMTranslator* second = ZEMTranslator::Singleton();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(Str(second->GetString(3)), "String #3");
}

TEST_F(TranslatorTest, LongPathsAreRefused) {
    std::string deep(300, 'd');
    EXPECT_EQ(t.Init(deep.c_str(), ".lng"), 0);
    EXPECT_FALSE(t.Load(deep.c_str(), 0));
}

namespace {

// What ZEMLangWriter writes, the translator reads back: names, strings, absent strings, the
// longest string; what the format cannot hold is refused and nothing is written.
TEST_F(TranslatorTest, WriterMakesFilesTheTranslatorReads) {
    const std::string longest(ZEMLangWriter::MAX_STRING, 'a');
    ZEMLangWriter writer;
    ASSERT_TRUE(writer.SetName("Fran\xC3\xA7"
                               "ais"));
    for (const char* text :
         {"Jouer", static_cast<const char*>(nullptr), "", "deux\nlignes", longest.c_str()})
        ASSERT_TRUE(writer.Add(text));
    ASSERT_TRUE(writer.Save("fr.lng"));
    ZEMTranslator translator;
    ASSERT_TRUE(translator.Load("fr.lng", 0));
    EXPECT_STREQ(translator.GetCurName(), "Fran\xC3\xA7"
                                          "ais");
    ASSERT_EQ(translator.NbStrings(), 5u);
    EXPECT_STREQ(translator.GetString(0), "Jouer");
    EXPECT_EQ(translator.GetString(1), nullptr);
    EXPECT_STREQ(translator.GetString(2), "");
    EXPECT_STREQ(translator.GetString(3), "deux\nlignes");
    EXPECT_EQ(translator.GetString(4), longest);

    ZEMLangWriter refused;
    EXPECT_FALSE(refused.SetName(""));
    EXPECT_FALSE(refused.SetName(std::string(ZEMLangWriter::MAX_NAME + 1, 'n').c_str()));
    EXPECT_FALSE(refused.Add(std::string(ZEMLangWriter::MAX_STRING + 1, 'a').c_str()));
    EXPECT_EQ(refused.NbStrings(), 0u);
    EXPECT_FALSE(refused.Save("unnamed.lng"));
    EXPECT_STREQ(refused.LastError(), "the language has no name");
    EXPECT_FALSE(std::filesystem::exists("unnamed.lng"));
    ASSERT_TRUE(refused.SetName("X"));
    EXPECT_FALSE(refused.Save("no/such/folder/x.lng"));
    EXPECT_STREQ(refused.LastError(),
                 "cannot write 'no/such/folder/x.lng': No such file or directory");
}

} // namespace
