#include "ZEMTestSupport.h"

#include <zem/text.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

using zemtest::LogCapture;
using zemtest::ReadText;
using zemtest::WriteFile;
using Cfg = ZEMConfigMgr;

namespace {

Cfg::CfgValue Zero() {
    Cfg::CfgValue value;
    memset(&value, 0, sizeof value);
    return value;
}

Cfg::CfgValue Bool(bool b) {
    Cfg::CfgValue value = Zero();
    value.boolValue = b;
    return value;
}

Cfg::CfgValue Int(int i) {
    Cfg::CfgValue value = Zero();
    value.intValue = i;
    return value;
}

Cfg::CfgValue Float(float f) {
    Cfg::CfgValue value = Zero();
    value.floatValue = f;
    return value;
}

Cfg::CfgValue String(const char* s) {
    Cfg::CfgValue value = Zero();
    value.stringValue = const_cast<char*>(s);
    return value;
}

Cfg::CfgValue Color(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
    Cfg::CfgValue value = Zero();
    value.colorValue[0] = r;
    value.colorValue[1] = g;
    value.colorValue[2] = b;
    value.colorValue[3] = a;
    return value;
}

Cfg::CfgValue Date(unsigned long seconds) {
    Cfg::CfgValue value = Zero();
    value.dateValue = seconds;
    return value;
}

std::string ColorOf(const Cfg& cfg, const char* name) {
    const Cfg::CfgValue value = cfg.GetValue(name, Cfg::TYPE_COLOR);
    const unsigned char* c = value.colorValue;
    return std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]) + "," +
           std::to_string(c[3]);
}

std::string StringOf(const Cfg& cfg, const char* name) {
    const char* s = cfg.GetValue(name, Cfg::TYPE_STRING).stringValue;
    return s ? s : "(null)";
}

// Splits on single spaces: every test argument is free of them.
std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

bool ParseArgs(Cfg& cfg, std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    return cfg.ParseCL(int(argv.size()), argv.data());
}

// Numbers written with a decimal comma from here on, with a locale made in `dir` from the
// system's locale sources when none is installed; false when there is no such locale.
bool CommaLocale(const std::string& dir) {
#ifdef _WIN32
    (void)dir;
    return setlocale(LC_NUMERIC, "German") != nullptr;
#else
    if (setlocale(LC_NUMERIC, "de_DE.UTF-8")) return true;
    const std::string command = "localedef -i de_DE -f UTF-8 '" + dir + "/de_DE.UTF-8' 2>/dev/null";
    if (system(command.c_str()) != 0) return false;
    setenv("LOCPATH", dir.c_str(), 1);
    return setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
#endif
}

void PlainLocale() {
    setlocale(LC_NUMERIC, "C");
#ifndef _WIN32
    unsetenv("LOCPATH");
#endif
}

} // namespace

// A manager with one parameter of each type.
class ConfigTest : public zemtest::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ASSERT_TRUE(cfg.AddParameter("fullscreen", Cfg::TYPE_BOOL, Bool(false)));
        ASSERT_TRUE(cfg.AddParameter("level", Cfg::TYPE_INT, Int(1)));
        ASSERT_TRUE(cfg.AddParameter("gamma", Cfg::TYPE_FLOAT, Float(1.0f)));
        ASSERT_TRUE(cfg.AddParameter("title", Cfg::TYPE_STRING, String("Untitled")));
        ASSERT_TRUE(cfg.AddParameter("color", Cfg::TYPE_COLOR, Color(1, 2, 3, 4)));
        ASSERT_TRUE(cfg.AddParameter("start", Cfg::TYPE_DATE, Date(1000)));
    }

    bool ParseLines(const std::string& text) {
        WriteFile("game.cfg", text);
        return cfg.ParseFile("game.cfg");
    }

    Cfg cfg{4};
};

TEST_F(ConfigTest, NamesAreOneInAnyCaseAndKeptSorted) {
    Cfg names(0);
    EXPECT_TRUE(names.AddParameter("width", Cfg::TYPE_INT, Int(640)));
    EXPECT_FALSE(names.AddParameter("Width", Cfg::TYPE_BOOL, Bool(true)));
    EXPECT_EQ(names.ParamType("WIDTH"), Cfg::TYPE_INT);
    EXPECT_EQ(names.ParamType("height"), Cfg::TYPE_NONE);
    EXPECT_FALSE(names.AddParameter(nullptr, Cfg::TYPE_INT, Int(0)));
    EXPECT_FALSE(names.AddParameter("", Cfg::TYPE_INT, Int(0)));

    Cfg order(4);
    for (const char* name : {"beta", "Alpha", "gamma"})
        ASSERT_TRUE(order.AddParameter(name, Cfg::TYPE_INT, Int(0)));
    ASSERT_TRUE(order.Save("order.cfg", nullptr));
    EXPECT_EQ(ReadText("order.cfg"), "#\n# Configuration file\n#\n\nAlpha\t0\nbeta\t0\ngamma\t0\n");
    unsigned index = 99;
    EXPECT_TRUE(order.Find("BETA", index));
    EXPECT_EQ(index, 1u);
    EXPECT_FALSE(order.Find("b", index));
    EXPECT_EQ(index, 1u);
    EXPECT_FALSE(order.Find("zeta", index));
    EXPECT_EQ(index, 3u);
    index = 99;
    EXPECT_FALSE(order.Find("", index));
    EXPECT_EQ(index, 99u);
}

TEST_F(ConfigTest, TableGrowsAndRemovalKeepsOrder) {
    Cfg big(4);
    for (int i = 99; i >= 0; --i) {
        std::string name = "p" + std::to_string(100 + i);
        ASSERT_TRUE(big.AddParameter(name.c_str(), Cfg::TYPE_STRING, String(name.c_str())));
    }
    for (int i = 0; i < 100; i += 2) {
        std::string name = "P" + std::to_string(100 + i);
        ASSERT_TRUE(big.RemoveParameter(name.c_str()));
        EXPECT_FALSE(big.RemoveParameter(name.c_str()));
    }
    for (int i = 1; i < 100; i += 2) {
        std::string name = "p" + std::to_string(100 + i);
        ASSERT_EQ(StringOf(big, name.c_str()), name);
    }
    ASSERT_TRUE(big.Save("big.cfg", nullptr));
    std::string text = ReadText("big.cfg");
    EXPECT_LT(text.find("p101\tp101\n"), text.find("p103\tp103\n"));
    EXPECT_EQ(text.find("p100"), std::string::npos);

    Cfg empty(4);
    EXPECT_FALSE(empty.RemoveParameter("x"));
}

TEST_F(ConfigTest, GetAndSetValue) {
    EXPECT_EQ(cfg.GetValue("level", Cfg::TYPE_INT).intValue, 1);
    EXPECT_EQ(cfg.GetValue("nothing", Cfg::TYPE_STRING).stringValue, nullptr);
    EXPECT_EQ(cfg.GetValue("nothing", Cfg::TYPE_DATE).dateValue, 0ul);
    EXPECT_FALSE(cfg.SetValue("nothing", Cfg::TYPE_INT, Int(3), true));

    // Another type without changeType: refused, nothing changed.
    EXPECT_FALSE(cfg.SetValue("level", Cfg::TYPE_FLOAT, Float(2.5f), false));
    EXPECT_EQ(cfg.ParamType("level"), Cfg::TYPE_INT);
    EXPECT_EQ(cfg.GetValue("level", Cfg::TYPE_INT).intValue, 1);

    // The string is copied: the caller's buffer may change afterwards.
    char text[] = "first";
    EXPECT_TRUE(cfg.SetValue("title", Cfg::TYPE_STRING, String(text), false));
    text[0] = 'X';
    EXPECT_EQ(StringOf(cfg, "title"), "first");
    // Many sets, and setting the stored string itself, keep one valid copy.
    for (int i = 0; i < 50; ++i) {
        std::string value = "title " + std::to_string(i);
        ASSERT_TRUE(cfg.SetValue("title", Cfg::TYPE_STRING, String(value.c_str()), false));
    }
    const char* own = cfg.GetValue("title", Cfg::TYPE_STRING).stringValue;
    EXPECT_TRUE(cfg.SetValue("title", Cfg::TYPE_STRING, String(own), false));
    EXPECT_EQ(StringOf(cfg, "title"), "title 49");
    EXPECT_TRUE(cfg.SetValue("title", Cfg::TYPE_STRING, String(""), false));
    EXPECT_EQ(cfg.GetValue("title", Cfg::TYPE_STRING).stringValue, nullptr);
}

// An int, float, colour or date turned into a string leaves its bits alone: they are no
// pointer to free. A string turned into another type frees its copy (the leak checker sees it).
TEST_F(ConfigTest, ChangingTypeFreesOnlyRealStrings) {
    ASSERT_TRUE(cfg.SetValue("level", Cfg::TYPE_INT, Int(0x12345678), false));
    for (const char* name : {"level", "gamma", "color", "start", "fullscreen"}) {
        EXPECT_TRUE(cfg.SetValue(name, Cfg::TYPE_STRING, String(name), true)) << name;
        EXPECT_EQ(cfg.ParamType(name), Cfg::TYPE_STRING);
        EXPECT_EQ(StringOf(cfg, name), name);
    }
    EXPECT_TRUE(cfg.SetValue("title", Cfg::TYPE_INT, Int(7), true));
    EXPECT_EQ(cfg.GetValue("title", Cfg::TYPE_INT).intValue, 7);
    EXPECT_TRUE(cfg.SetValue("title", Cfg::TYPE_STRING, String("back"), true));
    EXPECT_EQ(StringOf(cfg, "title"), "back");
}

TEST_F(ConfigTest, CommandLineReadsEveryType) {
    LogCapture log;
    EXPECT_TRUE(ParseArgs(cfg, Words("prog -fullscreen -level -3 -title My Game -color #FF000080 "
                                     "-gamma 2.5 -start 2004/06/15")));
    EXPECT_EQ(log.Text(), "");
    EXPECT_TRUE(cfg.GetValue("fullscreen", Cfg::TYPE_BOOL).boolValue);
    EXPECT_EQ(cfg.GetValue("level", Cfg::TYPE_INT).intValue, -3);
    EXPECT_EQ(StringOf(cfg, "title"), "My Game");
    EXPECT_EQ(ColorOf(cfg, "color"), "255,0,0,128");
    EXPECT_FLOAT_EQ(cfg.GetValue("gamma", Cfg::TYPE_FLOAT).floatValue, 2.5f);
    EXPECT_EQ(cfg.GetValue("start", Cfg::TYPE_DATE).dateValue,
              zemtest::LocalTime(2004, 6, 15, 0, 0, 0));

    // A bool takes a following word as its value; six colour digits give alpha 255.
    EXPECT_TRUE(ParseArgs(cfg, Words("prog -FULLSCREEN no -color #00ff00")));
    EXPECT_FALSE(cfg.GetValue("fullscreen", Cfg::TYPE_BOOL).boolValue);
    EXPECT_EQ(ColorOf(cfg, "color"), "0,255,0,255");
    EXPECT_TRUE(ParseArgs(cfg, Words("prog -fullscreen YES")));
    EXPECT_TRUE(cfg.GetValue("fullscreen", Cfg::TYPE_BOOL).boolValue);
    EXPECT_TRUE(ParseArgs(cfg, {"prog"}));
}

TEST_F(ConfigTest, CommandLineComplaints) {
    struct Case {
        const char* args;
        const char* message;
    };
    const Case cases[] = {
        {"prog data.cfg", "Config: ignored value data.cfg\n"},
        {"prog -color red", "Config: missing value for param -color\nConfig: ignored value red\n"},
        {"prog -nosuch 3", "Config: unknown parameter -nosuch\nConfig: ignored value 3\n"},
        {"prog -", "Config: unknown parameter -\n"},
        {"prog -level", "Config: missing value for param -level\n"},
        {"prog -level abc", "Config: missing value for param -level\n"},
        {"prog -gamma -x", "Config: missing value for param -gamma\n"},
        {"prog -start 2004/13/01", "Config: missing value for param -start\n"},
        {"prog -title", "Config: missing value for param -title\n"},
        {"prog -color", "Config: missing value for param -color\n"},
        {"prog -color #12", ""},
    };
    for (const Case& c : cases) {
        LogCapture log;
        EXPECT_FALSE(ParseArgs(cfg, Words(c.args))) << c.args;
        EXPECT_EQ(log.Text(), c.message) << c.args;
    }
    // The failed reads left every value alone.
    EXPECT_EQ(cfg.GetValue("level", Cfg::TYPE_INT).intValue, 1);
    EXPECT_EQ(ColorOf(cfg, "color"), "1,2,3,4");
    EXPECT_EQ(StringOf(cfg, "title"), "Untitled");
}

TEST_F(ConfigTest, CommandLineConsumesValues) {
    // "-5" is the int's value, not an option; "-level" after the bare switch is an option.
    LogCapture log;
    EXPECT_TRUE(ParseArgs(cfg, Words("prog -fullscreen -level -5 -title a b c -gamma 0.25")));
    EXPECT_EQ(cfg.GetValue("level", Cfg::TYPE_INT).intValue, -5);
    EXPECT_EQ(StringOf(cfg, "title"), "a b c");
    EXPECT_FLOAT_EQ(cfg.GetValue("gamma", Cfg::TYPE_FLOAT).floatValue, 0.25f);
    // Like "-5" for the int, the string's first word is its value even with a dash in front.
    EXPECT_TRUE(ParseArgs(cfg, Words("prog -title -x y -level 2")));
    EXPECT_EQ(StringOf(cfg, "title"), "-x y");
    EXPECT_EQ(cfg.GetValue("level", Cfg::TYPE_INT).intValue, 2);
    EXPECT_TRUE(ParseArgs(cfg, Words("prog -title -fullscreen")));
    EXPECT_EQ(StringOf(cfg, "title"), "-fullscreen");
    // The unreadable int value is consumed with its option.
    EXPECT_FALSE(ParseArgs(cfg, Words("prog -level x -fullscreen")));
    EXPECT_EQ(log.Text(), "Config: missing value for param -level\n");

    // A type number without a text form is reported; nothing is consumed and the flag holds.
    Cfg odd(4);
    ASSERT_TRUE(odd.AddParameter("odd", 9, Int(5)));
    ASSERT_TRUE(odd.AddParameter("n", Cfg::TYPE_INT, Int(0)));
    LogCapture oddLog;
    EXPECT_TRUE(ParseArgs(odd, Words("prog -odd -n 4")));
    EXPECT_EQ(oddLog.Text(), "Config: unknown value type 9\n");
    EXPECT_EQ(odd.GetValue("n", Cfg::TYPE_INT).intValue, 4);
    EXPECT_EQ(odd.GetValue("odd", 9).intValue, 5);
}

TEST_F(ConfigTest, FileLinesAreReadAsDescribed) {
    struct Case {
        const char* line;
        bool stored;
        const char* message;
    };
    const Case cases[] = {
        {"level 640", true, ""},
        {"LEVEL\t \t640px", true, ""},
        {"-level 640", true, ""},
        {"level=640", false, "Config: unknown parameter level=640\n"},
        {"# level 5", false, ""},
        {" level 5", false, "Config: unknown parameter \n"},
        {"level", false, "Config: missing value for param level\n"},
        {"level   ", false, "Config: missing value for param level\n"},
        {"level abc", false, "Config: bad int value for param level : abc\n"},
        {"gamma x", false, "Config: bad float value for param gamma : x\n"},
        {"color red", false, "Config: bad color value for param color : red\n"},
        {"start 2004/13/01", false, "Config: bad date value for param start : 2004/13/01\n"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(cfg.SetValue("level", Cfg::TYPE_INT, Int(1), false));
        LogCapture log;
        EXPECT_EQ(ParseLines(std::string(c.line) + "\n"), c.stored) << c.line;
        EXPECT_EQ(log.Text(), c.message) << c.line;
        EXPECT_EQ(cfg.GetValue("level", Cfg::TYPE_INT).intValue, c.stored ? 640 : 1) << c.line;
    }
    EXPECT_EQ(ColorOf(cfg, "color"), "1,2,3,4");
    EXPECT_EQ(cfg.GetValue("start", Cfg::TYPE_DATE).dateValue, 1000ul);
}

TEST_F(ConfigTest, FileValuesByType) {
    LogCapture log;
    EXPECT_TRUE(ParseLines("fullscreen YES\ngamma 0.5\ntitle   My  Game  \ncolor #ff800040\n"
                           "start 2004/06/15 10:20:30"));
    EXPECT_EQ(log.Text(), "");
    EXPECT_TRUE(cfg.GetValue("fullscreen", Cfg::TYPE_BOOL).boolValue);
    EXPECT_FLOAT_EQ(cfg.GetValue("gamma", Cfg::TYPE_FLOAT).floatValue, 0.5f);
    EXPECT_EQ(StringOf(cfg, "title"), "My  Game  ");
    EXPECT_EQ(ColorOf(cfg, "color"), "255,128,0,64");
    EXPECT_EQ(cfg.GetValue("start", Cfg::TYPE_DATE).dateValue,
              zemtest::LocalTime(2004, 6, 15, 10, 20, 30));

    // Bool: "1..." or exactly true/yes; trailing blanks make it false.
    const std::pair<const char*, bool> bools[] = {
        {"1", true},     {"10", true},         {"TRUE", true}, {"yes", true},
        {"yes ", false}, {"yesterday", false}, {"on", false},  {"0", false},
    };
    for (const auto& b : bools) {
        EXPECT_TRUE(ParseLines(std::string("fullscreen ") + b.first + "\n"));
        EXPECT_EQ(cfg.GetValue("fullscreen", Cfg::TYPE_BOOL).boolValue, b.second) << b.first;
    }
    // Six colour digits give alpha 255.
    EXPECT_TRUE(ParseLines("color #0000FF\n"));
    EXPECT_EQ(ColorOf(cfg, "color"), "0,0,255,255");
}

TEST_F(ConfigTest, FileResultAndLineEnds) {
    EXPECT_FALSE(cfg.ParseFile("missing.cfg"));
    EXPECT_FALSE(cfg.ParseFile(nullptr));
    EXPECT_FALSE(ParseLines("# one\n#two\n\n"));
    EXPECT_FALSE(ParseLines(""));
    {
        LogCapture log;
        EXPECT_TRUE(ParseLines("level 5\nlevel bad\n"));
        EXPECT_EQ(cfg.GetValue("level", Cfg::TYPE_INT).intValue, 5);
    }
    // Windows line ends read as they would there.
    EXPECT_TRUE(ParseLines("title two words\r\nfullscreen true\r\n"));
    EXPECT_EQ(StringOf(cfg, "title"), "two words");
    EXPECT_TRUE(cfg.GetValue("fullscreen", Cfg::TYPE_BOOL).boolValue);
}

TEST_F(ConfigTest, LongLinesAreCutAtTheBuffer) {
    // 1023 characters make a line; the rest of a longer one is read as the next line.
    std::string value(1023 - 6, 'a');
    std::string rest = "level 77";
    LogCapture log;
    EXPECT_TRUE(ParseLines("title " + value + rest + "\n"));
    EXPECT_EQ(StringOf(cfg, "title"), value);
    EXPECT_EQ(cfg.GetValue("level", Cfg::TYPE_INT).intValue, 77);
    EXPECT_EQ(log.Text(), "");

    std::vector<std::pair<unsigned, std::string>> seen;
    auto visit = [](unsigned line, const char* name, const char* value, void* user) {
        static_cast<std::vector<std::pair<unsigned, std::string>>*>(user)->emplace_back(
            line, std::string(name) + "=" + value);
    };
    WriteFile("scan.cfg", "#c\n\n-a 1 2 \nb\n" + std::string(2100, 'x') + " v\n");
    ASSERT_TRUE(Cfg::ScanFile("scan.cfg", visit, &seen));
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0], std::make_pair(3u, std::string("a=1 2 ")));
    EXPECT_EQ(seen[1], std::make_pair(4u, std::string("b=")));
    EXPECT_EQ(seen[2].second, std::string(1023, 'x') + "=");
    EXPECT_EQ(seen[4], std::make_pair(7u, std::string(2100 - 2 * 1023, 'x') + "=v"));
    EXPECT_FALSE(Cfg::ScanFile("missing.cfg", visit, &seen));
}

TEST_F(ConfigTest, SaveWritesEveryTypeAndReadsBack) {
    Cfg odd(4);
    ASSERT_TRUE(odd.AddParameter("odd", 9, Int(5)));
    ASSERT_TRUE(odd.AddParameter("empty", Cfg::TYPE_STRING, String(nullptr)));
    ASSERT_TRUE(odd.Save("odd.cfg", "Odd"));
    EXPECT_EQ(ReadText("odd.cfg"), "#\n# Odd\n# Configuration file\n#\n\nempty\t\nodd\t\n");

    const unsigned long date = zemtest::LocalTime(2004, 1, 15, 10, 20, 30);
    ASSERT_TRUE(cfg.SetValue("start", Cfg::TYPE_DATE, Date(date), false));
    ASSERT_TRUE(cfg.SetValue("gamma", Cfg::TYPE_FLOAT, Float(1e-7f), false));
    ASSERT_TRUE(cfg.SetValue("title", Cfg::TYPE_STRING, String("  spaced out "), false));
    ASSERT_TRUE(cfg.Save("game.cfg", "My game"));
    EXPECT_EQ(ReadText("game.cfg"), "#\n# My game\n# Configuration file\n#\n\n"
                                    "color\t#010203\n"
                                    "fullscreen\tfalse\n"
                                    "gamma\t1e-07\n"
                                    "level\t1\n"
                                    "start\t2004/01/15 10:20:30\n"
                                    "title\t  spaced out \n");

    Cfg back(4);
    back.AddParameter("fullscreen", Cfg::TYPE_BOOL, Bool(true));
    back.AddParameter("level", Cfg::TYPE_INT, Int(0));
    back.AddParameter("gamma", Cfg::TYPE_FLOAT, Float(0));
    back.AddParameter("title", Cfg::TYPE_STRING, String(nullptr));
    back.AddParameter("color", Cfg::TYPE_COLOR, Color(0, 0, 0, 0));
    back.AddParameter("start", Cfg::TYPE_DATE, Date(0));
    ASSERT_TRUE(back.ParseFile("game.cfg"));
    EXPECT_FALSE(back.GetValue("fullscreen", Cfg::TYPE_BOOL).boolValue);
    EXPECT_EQ(back.GetValue("level", Cfg::TYPE_INT).intValue, 1);
    EXPECT_FLOAT_EQ(back.GetValue("gamma", Cfg::TYPE_FLOAT).floatValue, 1e-7f);
    EXPECT_EQ(StringOf(back, "title"), "spaced out ");
    EXPECT_EQ(ColorOf(back, "color"), "1,2,3,255");
    EXPECT_EQ(back.GetValue("start", Cfg::TYPE_DATE).dateValue, date);

    EXPECT_FALSE(cfg.Save("no/such/dir/x.cfg", nullptr));
}

// The reader takes a decimal point in every locale, so the writer must write one in every locale.
TEST_F(ConfigTest, FloatsAreSavedWithAPointInEveryLocale) {
    if (!CommaLocale(Dir())) {
        PlainLocale();
        GTEST_SKIP() << "no locale with a decimal comma";
    }
    char shown[16];
    snprintf(shown, sizeof shown, "%g", 0.5);
    ASSERT_TRUE(cfg.SetValue("gamma", Cfg::TYPE_FLOAT, Float(2.75f), false));
    const bool saved = cfg.Save("game.cfg", nullptr);
    ASSERT_TRUE(cfg.SetValue("gamma", Cfg::TYPE_FLOAT, Float(0), false));
    const bool read = cfg.ParseFile("game.cfg");
    PlainLocale();
    ASSERT_STREQ(shown, "0,5");
    ASSERT_TRUE(saved);
    EXPECT_TRUE(read);
    EXPECT_NE(ReadText("game.cfg").find("\ngamma\t2.75\n"), std::string::npos);
    EXPECT_FLOAT_EQ(cfg.GetValue("gamma", Cfg::TYPE_FLOAT).floatValue, 2.75f);
}

TEST_F(ConfigTest, PrintInfoShowsEveryType) {
    const unsigned long date = zemtest::LocalTime(2004, 6, 15, 10, 20, 30);
    // The C library's calendar form; the day is padded by hand, as %e is not in every runtime.
    const time_t seconds = time_t(date);
    const struct tm local = *std::localtime(&seconds);
    char weekMonth[16], day[4], clock[32];
    strftime(weekMonth, sizeof weekMonth, "%a %b", &local);
    snprintf(day, sizeof day, "%2d", local.tm_mday);
    strftime(clock, sizeof clock, "%H:%M:%S %Y", &local);
    const std::string calendar = std::string(weekMonth) + " " + day + " " + clock;
    ASSERT_TRUE(cfg.SetValue("start", Cfg::TYPE_DATE, Date(date), false));
    ASSERT_TRUE(cfg.SetValue("color", Cfg::TYPE_COLOR, Color(255, 128, 0, 64), false));
    ASSERT_TRUE(cfg.AddParameter("none", Cfg::TYPE_STRING, String("")));
    LogCapture log;
    cfg.PrintInfo();
    EXPECT_EQ(log.Text(), "Configuration (7 parameters):\n"
                          "- color (color): #FF8000 [255, 128, 0, 64]\n"
                          "- fullscreen (bool): false\n"
                          "- gamma (float): 1.000000\n"
                          "- level (int): 1\n"
                          "- none (string): (null)\n"
                          "- start (date): " +
                              calendar + "\n (" + std::to_string(date) +
                              ")\n"
                              "- title (string): Untitled\n");
}
