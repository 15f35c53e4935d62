#include "ZEMTestSupport.h"

#include <set>
#include <string>

using zemtest::RunTool;
using zemtest::WriteFile;

namespace {

class ConfigToolTest : public zemtest::TempDirTest {};

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
    ASSERT_EQ(RunTool("config check game.cfg", &out), 0) << out;
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
