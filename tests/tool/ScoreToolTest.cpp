#include <zem/text/ZEMScore.h>

#include "ZEMTestSupport.h"

#include <cstring>
#include <set>
#include <string>

namespace {

class ScoreToolTest : public zemtest::TempDirTest {};

TEST_F(ScoreToolTest, ShowsEveryRow) {
    ZEMScore table(3, ZEMScore::SCORE_LOW_FIRST, 600);
    ZEMScoreEntry row = {};
    std::strcpy(row.name, "Ann\tLee");
    row.score = 95;
    row.level = 3;
    table.Add(&row);
    ASSERT_TRUE(table.Save("best.sco", true));

    std::string out;
    ASSERT_EQ(zemtest::RunTool("score show best.sco", &out), 0) << out;
    EXPECT_EQ(out, "best.sco: 3 rows, 1 taken, lowest score first\n"
                   "rank  name                  level        score\n"
                   "   1  Ann?Lee                   3           95\n"
                   "   2  -                         0          600\n"
                   "   3  -                         0          600\n");
}

TEST_F(ScoreToolTest, HelpAndFailures) {
    std::string out;
    EXPECT_EQ(zemtest::RunTool("score --help", &out), 0);
    EXPECT_NE(out.find("usage: zem score show FILE"), std::string::npos);
    EXPECT_EQ(zemtest::RunTool("score show --help", &out), 0);
    EXPECT_NE(out.find("usage: zem score show FILE"), std::string::npos);

    zemtest::WriteFile("junk.sco", "not a score table");
    struct Case {
        const char* args;
        const char* message;
    } cases[] = {
        {"score show junk.sco", "zem: cannot load the score table 'junk.sco' (missing, not a "
                                "score file, or cut short)\n"},
        {"score show missing.sco", "zem: cannot load the score table 'missing.sco' (missing, "
                                   "not a score file, or cut short)\n"},
        {"score show", "zem: score show takes one FILE (see 'zem score --help')\n"},
        {"score show a b", "zem: score show takes one FILE (see 'zem score --help')\n"},
        {"score", "zem: score needs a command (see 'zem score --help')\n"},
        {"score list x", "zem: unknown score command 'list' (see 'zem score --help')\n"},
    };
    // Status 2: the command line is wrong; 1: the work could not be done.
    const std::set<std::string> usage = {"score show", "score show a b", "score", "score list x"};
    for (const Case& c : cases) {
        EXPECT_EQ(zemtest::RunTool(c.args, &out), usage.count(c.args) ? 2 : 1) << c.args;
        EXPECT_EQ(out, c.message) << c.args;
    }
}

} // namespace
