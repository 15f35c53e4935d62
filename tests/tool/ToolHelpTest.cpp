// zem --help lists every command of every family, and each of them answers --help.
#include "ZEMTestSupport.h"

#include <string>

namespace {

TEST(ToolHelpTest, EveryCommandOfEveryFamilyIsListedAndAnswers) {
    const struct {
        const char* family;
        const char* commands;
    } families[] = {
        {"score", "show"},           {"lang", "build list dump"},
        {"config", "check"},         {"archive", "create list add rm mv update extract cat test"},
        {"palette", "info convert"}, {"font", "info render build"},
        {"image", "info convert"},
    };
    std::string help;
    ASSERT_EQ(zemtest::RunTool("--help", &help), 0);
    for (const auto& f : families) {
        EXPECT_NE(help.find(std::string("  ") + f.family + " "), std::string::npos) << f.family;
        EXPECT_NE(help.find(std::string("commands: ") + f.commands + "\n"), std::string::npos)
            << f.family;
        std::string list = std::string(f.commands) + " ";
        for (size_t at = 0, end; (end = list.find(' ', at)) != std::string::npos; at = end + 1) {
            const std::string command = std::string(f.family) + " " + list.substr(at, end - at);
            std::string out;
            EXPECT_EQ(zemtest::RunTool(command + " --help", &out), 0) << command;
            EXPECT_NE(out.find("zem " + command + " "), std::string::npos) << out;
        }
    }
}

} // namespace
