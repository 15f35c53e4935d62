#include "ZEMTestSupport.h"

#include <set>
#include <string>

using zemtest::RunTool;
using zemtest::WriteFile;

namespace {

class ConfigToolTest : public zemtest::TempDirTest {};

// Runs 'zem config check file'; its status, with its standard output in out and its standard
// error in errors.
int Check(const std::string& file, std::string* out, std::string* errors) {
    return zemtest::RunToolArgs({"config", "check", file}, out, "", errors);
}

TEST_F(ConfigToolTest, ReportsLinesAsTheParserReadsThem) {
    WriteFile("game.cfg", "#\n# My game\n#\n\n"
                          "width\t640\n"
                          "-title   My  Game \r\n"
                          "width=640\n"
                          " indented 1\n"
                          "fullscreen\n"
                          "bell \a!\n" +
                              std::string(1030, 'x') + "\n");
    std::string out;
    std::string errors;
    ASSERT_EQ(Check("game.cfg", &out, &errors), 1) << errors;
    EXPECT_EQ(out, "line 5: name \"width\", value \"640\"\n"
                   "line 6: name \"title\", value \"My  Game \"\n"
                   "line 7: name \"width=640\", no value\n"
                   "line 8: name \"\", value \"indented 1\"\n"
                   "line 9: name \"fullscreen\", no value\n"
                   "line 10: name \"bell\", value \"?!\"\n"
                   "line 11: name \"" +
                       std::string(1023, 'x') +
                       "\", no value\n"
                       "line 12: name \"xxxxxxx\", no value\n");

    // Every line the manager would skip or misread is told, by its line in the file.
    EXPECT_EQ(errors,
              "zem: game.cfg: line 7 uses '=', which the manager does not know: write 'name "
              "value'\n"
              "zem: game.cfg: line 8 has an empty name (it starts with a blank)\n"
              "zem: game.cfg: line 9 has no value: the manager skips it\n"
              "zem: game.cfg: line 10 holds the control byte 0x07 (a binary file?)\n"
              "zem: game.cfg: line 11 is 1030 characters long, over the limit of 1023: read "
              "as several lines\n"
              "zem: game.cfg: line 11 has no value: the manager skips it\n");
    WriteFile("more.cfg", "[video]\nwidth = 640\nlast 1");
    ASSERT_EQ(Check("more.cfg", &out, &errors), 1) << errors;
    EXPECT_EQ(errors,
              "zem: more.cfg: line 1 looks like a [section], which the manager does not "
              "know: read as a name\n"
              "zem: more.cfg: line 2 uses '=', which the manager does not know: write 'name "
              "value'\n");
    // A binary file fails, and its complaints are cut short.
    WriteFile("binary.cfg", std::string("\x7F"
                                        "ELF\0\x01\x02\n",
                                        8) +
                                std::string(100, '\n') + std::string(3000, '\x01') +
                                std::string(40, '\n'));
    ASSERT_EQ(Check("binary.cfg", &out, &errors), 1) << errors;
    EXPECT_EQ(
        errors.rfind("zem: binary.cfg: line 1 holds the control byte 0x7F (a binary file?)\n", 0),
        0u)
        << errors;
    EXPECT_NE(errors.find("zem: binary.cfg: line 102 is 3000 characters long"), std::string::npos)
        << errors;
    // Its bytes reach the terminal as escapes, never raw; UTF-8 text is shown as it is.
    WriteFile("png.cfg", "\x89PNG\x80\xFF \xFE\nname W\xC3\xB6rld\n");
    Check("png.cfg", &out, &errors);
    EXPECT_NE(out.find("name \"\\x89PNG\\x80\\xFF\", value \"\\xFE\""), std::string::npos) << out;
    EXPECT_NE(out.find("value \"W\xC3\xB6rld\""), std::string::npos) << out;
    for (char c : out)
        EXPECT_TRUE(c == '\n' || (c >= ' ' && c < 0x7F) || c == '\xC3' || c == '\xB6') << out;

    // A clean file passes, whatever its name.
    const std::string clean = "\xE6\x97\xA5\xE6\x9C\xAC.cfg";
    WriteFile(clean, "# settings\r\nwidth\t640\r\n-title My Game\r\n");
    ASSERT_EQ(Check(clean, &out, &errors), 0) << errors;

    WriteFile("comments.cfg", "# only\n\n");
    ASSERT_EQ(RunTool("config check comments.cfg", &out), 0) << out;
    EXPECT_EQ(out, "comments.cfg: no parameter lines\n");
}

TEST_F(ConfigToolTest, HelpAndFailures) {
    std::string out;
    EXPECT_EQ(RunTool("config --help", &out), 0);
    EXPECT_NE(out.find("usage: zem config check FILE"), std::string::npos);
    EXPECT_EQ(RunTool("config check --help", &out), 0);
    EXPECT_NE(out.find("longer than 1023 characters"), std::string::npos);
    const std::pair<const char*, const char*> cases[] = {
        {"config", "zem: config needs a command (see 'zem config --help')\n"},
        {"config fix a.cfg", "zem: unknown config command 'fix' (see 'zem config --help')\n"},
        {"config check", "zem: config check takes one FILE (see 'zem config --help')\n"},
        {"config check a b", "zem: config check takes one FILE (see 'zem config --help')\n"},
        {"config check missing.cfg", "zem: cannot read 'missing.cfg'\n"},
    };
    // Status 2: the command line is wrong; 1: the work could not be done.
    const std::set<std::string> usage = {"config", "config fix a.cfg", "config check",
                                         "config check a b"};
    for (const auto& c : cases) {
        EXPECT_EQ(RunTool(c.first, &out), usage.count(c.first) ? 2 : 1) << c.first;
        EXPECT_EQ(out, c.second) << c.first;
    }
}

} // namespace
