// zem --help lists every command of every family, and each of them answers --help.
#include "ZEMTestSupport.h"

#include <string>

namespace {

TEST(ToolHelpTest, EveryCommandOfEveryFamilyIsListedAndAnswers) {
    const struct {
        const char* family;
        const char* commands;
    } families[] = {
        {"score", "show"},
        {"lang", "build, list, dump"},
        {"config", "check"},
        {"archive", "create, list, add, rm, mv, compact, update, extract, cat, test"},
        {"palette", "info, convert"},
        {"font", "info, render, build"},
        {"image", "info, convert"},
    };
    std::string help;
    ASSERT_EQ(zemtest::RunTool("--help", &help), 0) << help;
    // The archive family lists its commands itself: each of them is in the table above.
    std::string archive;
    ASSERT_EQ(zemtest::RunTool("archive --help", &archive), 0) << archive;
    const std::string listed = families[3].commands + std::string(", ");
    for (size_t at = archive.find("commands:\n");
         (at = archive.find("\n  ", at)) != std::string::npos;) {
        at += 3;
        const std::string command = archive.substr(at, archive.find(' ', at) - at);
        EXPECT_NE(listed.find(command + ", "), std::string::npos) << command;
    }
    for (const auto& f : families) {
        // One line per family: its name, then its commands.
        const size_t line = help.find(std::string("\n  ") + f.family + " ");
        ASSERT_NE(line, std::string::npos) << f.family;
        const size_t end = help.find('\n', line + 1);
        EXPECT_NE(help.substr(line, end - line).find(std::string(f.commands) + ": "),
                  std::string::npos)
            << f.family;
        std::string list = std::string(f.commands) + ", ";
        for (size_t at = 0, next; (next = list.find(", ", at)) != std::string::npos;
             at = next + 2) {
            const std::string command = std::string(f.family) + " " + list.substr(at, next - at);
            std::string out;
            EXPECT_EQ(zemtest::RunTool(command + " --help", &out), 0) << command;
            EXPECT_NE(out.find("zem " + command + " "), std::string::npos) << out;
        }
    }
}

// Arguments go to the tool through no shell: spaces, quotes and backslashes arrive as
// written (the tool names the unknown family back).
TEST(ToolArgumentsTest, ReachTheToolByteForByte) {
    const char* cases[] = {
        "a b", "say \"hi\"", "tail\\", "back\\\\\"slash", "*.txt",
    };
    for (const char* arg : cases) {
        std::string out;
        EXPECT_EQ(zemtest::RunToolArgs({arg}, &out), 2) << arg;
        EXPECT_NE(out.find("unknown family '" + std::string(arg) + "'"), std::string::npos)
            << arg << ": " << out;
    }
}

} // namespace
