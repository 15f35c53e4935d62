#include <zem/text/ZEMTranslator.h>

#include "ZEMTestSupport.h"

#include <filesystem>
#include <string>
#include <vector>

using zemtest::ReadFile;
using zemtest::RunTool;
using zemtest::RunToolArgs;
using zemtest::WriteFile;

namespace {

class LangToolTest : public zemtest::TempDirTest {};

std::string Str(const char* s) {
    return s ? s : "(absent)";
}

TEST_F(LangToolTest, BuiltFileLoadsWithEveryString) {
    // A byte-order mark, CR LF and LF line ends, escapes, UTF-8 and Latin-1 bytes, empty lines
    // for absent strings, and a last line without its line end.
    WriteFile("english.txt", "\xEF\xBB\xBFHello\r\n"
                             "\n"
                             "Two\\nlines\n"
                             "back\\\\slash and C:\\temp\n"
                             "\xC3\xA9t\xC3\xA9 caf\xE9\n"
                             "\r\n"
                             "  spaced  \n"
                             "last");
    const std::vector<const char*> expected = {"Hello",
                                               nullptr,
                                               "Two\nlines",
                                               "back\\slash and C:\\temp",
                                               "\xC3\xA9t\xC3\xA9 caf\xE9",
                                               nullptr,
                                               "  spaced  ",
                                               "last"};
    std::string out;
    ASSERT_EQ(RunTool("lang build english.txt -o english.lng --name English", &out), 0) << out;
    EXPECT_EQ(out, "english.lng: language 'English', 8 strings (2 absent)\n");

    ZEMTranslator translator;
    ASSERT_EQ(translator.Init(Dir().c_str(), ".LNG"), 1);
    EXPECT_EQ(Str(translator.GetLangName(0)), "English");
    ASSERT_TRUE(translator.LoadName("English"));
    ASSERT_EQ(translator.NbStrings(), expected.size());
    for (unsigned i = 0; i < expected.size(); ++i)
        EXPECT_EQ(Str(translator.GetString(i)), Str(expected[i])) << i;
}

TEST_F(LangToolTest, Utf8TextAndNamesAreStoredAsLatin1) {
    WriteFile("utf8.txt", "W\xC3\xB6rld \xC3\x80\n");
    WriteFile("latin1.txt", "W\xF6rld\n");
    WriteFile("bom.txt", "\xEF\xBB\xBFW\xC3\xB6rld\n");
    struct Case {
        std::vector<std::string> args;
        const char* stored;
    } cases[] = {
        {{"utf8.txt"}, "W\xF6rld \xC0"},                                 // told by its bytes
        {{"utf8.txt", "--encoding", "utf-8"}, "W\xF6rld \xC0"},          // told
        {{"utf8.txt", "--encoding", "latin1"}, "W\xC3\xB6rld \xC3\x80"}, // taken as it is
        {{"latin1.txt"}, "W\xF6rld"},                                    // not UTF-8: Latin-1
        {{"bom.txt"}, "W\xF6rld"},                                       // the mark is no character
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"lang",
                                      "build",
                                      "--force",
                                      "-o",
                                      "x.lng",
                                      "--name",
                                      "Fran\xC3\xA7"
                                      "ais"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::string out;
        ASSERT_EQ(RunToolArgs(args, &out), 0) << c.args[0] << ": " << out;
        ZEMTranslator translator;
        ASSERT_TRUE(translator.Load("x.lng", 0)) << c.args[0];
        EXPECT_EQ(Str(translator.GetCurName()), "Fran\xE7"
                                                "ais")
            << c.args[0];
        EXPECT_EQ(Str(translator.GetString(0)), c.stored) << c.args[0];
    }
    // Names outside the ANSI code page of Windows reach the files, and the messages, whole.
    const std::string japanese = "\xE6\x97\xA5\xE6\x9C\xAC";
    WriteFile(japanese + ".txt", "x\n");
    std::string said;
    ASSERT_EQ(
        RunToolArgs({"lang", "build", japanese + ".txt", "-o", japanese + ".lng", "--name", "N"},
                    &said),
        0)
        << said;
    EXPECT_EQ(said, japanese + ".lng: language 'N', 1 strings (0 absent)\n");
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(japanese + ".lng")));
    EXPECT_EQ(RunToolArgs({"lang", "list", japanese}, &said), 1);
    EXPECT_EQ(said, "zem: '" + japanese + "' is not a directory\n");

    // dump shows the Latin-1 file in UTF-8, which build reads back the same.
    std::string out;
    ASSERT_EQ(RunTool("lang build utf8.txt -o a.lng --name A", &out), 0) << out;
    ASSERT_EQ(RunTool("lang dump a.lng", &out), 0) << out;
    EXPECT_NE(out.find("[0] W\xC3\xB6rld \xC3\x80\n"), std::string::npos) << out;
}

TEST_F(LangToolTest, LayoutIsTheDocumentedOne) {
    WriteFile("two.txt", "ab\n\nc\n");
    ASSERT_EQ(RunTool("lang build two.txt --name Xy -o two.lng"), 0);
    const std::string expected("LanG\0\3Xy\0" // magic, spare byte, name
                               "\3\0\0\0"     // 3 strings
                               "\31\0\0\0"    // length table at 25
                               "\37\0\0\0"    // data at 31
                               "\5\0\0\0"     // 5 bytes of data
                               "\3\0\0\0\2\0" // lengths 3, absent, 2
                               "ab\0c\0",
                               36);
    EXPECT_EQ(ReadFile("two.lng"), expected);
}

TEST_F(LangToolTest, DumpAndList) {
    namespace fs = std::filesystem;
    fs::create_directory("lang");
    WriteFile("fr.txt", "Bonjour\n\nA\\\\B\\nC\n");
    ASSERT_EQ(RunToolArgs({"lang", "build", "fr.txt", "-o", "lang/FRENCH.LNG", "--name",
                           "Fran\xC3\xA7"
                           "ais"}),
              0);
    WriteFile("de.txt", "Hallo\n");
    ASSERT_EQ(RunTool("lang build de.txt -o lang/german.dat --name Deutsch"), 0);
    WriteFile("lang/notes.lng", "not a language file");

    std::string out;
    ASSERT_EQ(RunTool("lang dump lang/FRENCH.LNG", &out), 0) << out;
    EXPECT_EQ(out, "file     : " + Path("lang/FRENCH.LNG") +
                       "\nlanguage : Fran\xC3\xA7"
                       "ais\nstrings  : 3\n"
                       "[0] Bonjour\n[1] (absent)\n[2] A\\\\B\\nC\n");

    ASSERT_EQ(RunTool("lang list lang --suffix .lng", &out), 0) << out;
    EXPECT_EQ(out, "Fran\xC3\xA7"
                   "ais\t" +
                       Path("lang/FRENCH.LNG") + "\n");
    ASSERT_EQ(RunTool("lang list " + Path("lang"), &out), 0) << out;
    EXPECT_NE(out.find("Deutsch\t" + Path("lang/german.dat") + "\n"), std::string::npos);
    EXPECT_NE(out.find("Fran\xC3\xA7"
                       "ais\t"),
              std::string::npos);
    ASSERT_EQ(RunTool("lang list lang --suffix .none", &out), 0) << out;
    EXPECT_EQ(out, "");
#ifndef _WIN32
    // A name that would drive the terminal is shown with '?' in place of its control characters
    // (Windows names hold none).
    fs::rename("lang/german.dat", "lang/\x1B[2J.dat");
    ASSERT_EQ(RunTool("lang list lang --suffix .dat", &out), 0) << out;
    EXPECT_EQ(out, "Deutsch\t" + Path("lang/?[2J.dat") + "\n");
#endif
}

TEST_F(LangToolTest, HelpAndFailures) {
    std::string out;
    for (const char* args :
         {"lang --help", "lang build --help", "lang list -h", "lang dump --help"}) {
        EXPECT_EQ(RunTool(args, &out), 0) << args;
        EXPECT_NE(out.find("usage: zem lang build TEXT -o FILE --name NAME"), std::string::npos);
    }
    WriteFile("ok.txt", "x\n");
    WriteFile("long.txt", std::string(65535, 'a') + "\n");
    WriteFile("zero.txt", std::string("a\0b\n", 4));
    WriteFile("junk.lng", std::string("LanG\0\0", 6));
    WriteFile("empty.txt", "");
    WriteFile("euro.txt", "\xC3\xA9t\xC3\xA9\n\xC3\xA0 5 \xE2\x82\xAC\n");
    WriteFile("latin1.txt", "caf\xE9\n");
    const std::string build =
        "lang build TEXT -o FILE --name NAME [--encoding latin1|utf-8] [--force] (see 'zem lang "
        "--help')";
    struct Case {
        std::vector<std::string> args; // after "lang"
        std::string message;
    } cases[] = {
        {{}, "lang needs a command (see 'zem lang --help')"},
        {{"make"}, "unknown lang command 'make' (see 'zem lang --help')"},
        {{"build", "ok.txt", "-o", "x.lng"}, build},
        {{"build", "ok.txt", "--name", "N"}, build},
        {{"build", "-o", "x.lng", "--name", "N"}, build},
        {{"build", "ok.txt", "-o", "x.lng", "--name"}, build},
        {{"build", "ok.txt", "extra", "-o", "x.lng", "--name", "N"}, build},
        {{"build", "missing.txt", "-o", "x.lng", "--name", "N"},
         "cannot read 'missing.txt': no such file"},
        {{"build", ".", "-o", "x.lng", "--name", "N"}, "'.' is a folder, not a text file"},
        {{"build", "empty.txt", "-o", "x.lng", "--name", "N"},
         "'empty.txt' is empty: there is no string to store"},
        {{"build", "ok.txt", "-o", "x.lng", "--name", "N", "--encoding", "cp1252"}, build},
        {{"build", "euro.txt", "-o", "x.lng", "--name", "N"},
         "euro.txt:2:5: U+20AC is outside Latin-1, which fonts and language files hold"},
        {{"build", "latin1.txt", "-o", "x.lng", "--name", "N", "--encoding", "utf-8"},
         "latin1.txt:1:4: not UTF-8"},
        {{"build", "ok.txt", "-o", "x.lng", "--name", "\xE2\x82\xAC"},
         "NAME, character 1: U+20AC is outside Latin-1, which fonts and language files hold"},
        {{"build", "long.txt", "-o", "x.lng", "--name", "N"},
         "long.txt: line 1 is longer than 65534 bytes"},
        {{"build", "zero.txt", "-o", "x.lng", "--name", "N"}, "zero.txt: line 1 holds a zero byte"},
        {{"build", "ok.txt", "-o", "x.lng", "--name", ""},
         "the language name must have 1 to 254 bytes and no zero byte"},
        {{"build", "ok.txt", "-o", "x.lng", "--name", std::string(255, 'n')},
         "the language name must have 1 to 254 bytes and no zero byte"},
        {{"build", "ok.txt", "-o", "no/dir/x.lng", "--name", "N"},
         "cannot write 'no/dir/x.lng': No such file or directory"},
        {{"dump"}, "lang dump takes one FILE (see 'zem lang --help')"},
        {{"dump", "junk.lng"},
         "cannot load the language file 'junk.lng' (missing, not a language "
         "file, or damaged)"},
        {{"list"}, "lang list DIR [--suffix SUFFIX] (see 'zem lang --help')"},
        {{"list", ".", "--suffix"}, "lang list DIR [--suffix SUFFIX] (see 'zem lang --help')"},
        {{"list", "ok.txt"}, "'ok.txt' is not a directory"},
    };
    // Status 2: the command line is wrong; 1: the work could not be done.
    for (const Case& c : cases) {
        std::vector<std::string> args{"lang"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const std::string shown = ::testing::PrintToString(c.args);
        const bool usage = c.message.find("(see 'zem lang --help')") != std::string::npos;
        EXPECT_EQ(RunToolArgs(args, &out), usage ? 2 : 1) << shown;
        EXPECT_EQ(out, "zem: " + c.message + "\n") << shown;
    }
    EXPECT_FALSE(std::filesystem::exists("x.lng"));
    // The longest string that fits is taken.
    WriteFile("longest.txt", std::string(65534, 'a'));
    EXPECT_EQ(RunTool("lang build longest.txt -o x.lng --name N", &out), 0) << out;
}

// An existing file is replaced only on request.
TEST_F(LangToolTest, BuildReplacesAFileOnlyWithForce) {
    WriteFile("ok.txt", "x\n");
    WriteFile("taken.lng", "mine");
    std::string out;
    EXPECT_EQ(RunTool("lang build ok.txt -o taken.lng --name N", &out), 1);
    EXPECT_EQ(out, "zem: 'taken.lng' already exists (use --force to replace it)\n");
    EXPECT_EQ(ReadFile("taken.lng"), "mine");
    ASSERT_EQ(RunTool("lang build --force ok.txt -o taken.lng --name N", &out), 0) << out;
    ZEMTranslator translator;
    ASSERT_TRUE(translator.Load("taken.lng", 0));
    EXPECT_STREQ(translator.GetString(0), "x");
}

} // namespace
