// zem --help lists every command of every family, and each of them answers --help.
#include "ZEMTestSupport.h"

#include <string>
#include <vector>

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

// A mistyped family or command is named back with the nearest names, on standard error, as a
// command-line error.
TEST(ToolSuggestionTest, NamesTheNearestFamilyOrCommand) {
    const struct {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"archiv", "list"},
         "zem: unknown family 'archiv': did you mean 'archive'? (see 'zem --help')\n"},
        {{"plaette"},
         "zem: unknown family 'plaette': did you mean 'palette'? (see 'zem --help')\n"},
        {{"hlep"}, "zem: unknown family 'hlep': did you mean 'help'? (see 'zem --help')\n"},
        {{"nothing"}, "zem: unknown family 'nothing' (see 'zem --help')\n"},
        {{"palette", "inof"},
         "zem: unknown palette command 'inof': did you mean 'info'? (see 'zem palette --help')\n"},
        {{"image", "conv"},
         "zem: unknown image command 'conv': did you mean 'convert'? (see 'zem image --help')\n"},
        {{"lang", "bulid"},
         "zem: unknown lang command 'bulid': did you mean 'build'? (see 'zem lang --help')\n"},
        {{"archive", "lsit"},
         "zem: unknown archive command 'lsit': did you mean 'list'? (see 'zem archive --help')\n"},
        {{"archive", "at"},
         "zem: unknown archive command 'at': did you mean 'cat'? (see 'zem archive --help')\n"},
        {{"archive", "xx"}, "zem: unknown archive command 'xx' (see 'zem archive --help')\n"},
        {{"archive", "tesst"},
         "zem: unknown archive command 'tesst': did you mean 'test'? (see 'zem archive --help')\n"},
        {{"archive", "mm"},
         "zem: unknown archive command 'mm': did you mean 'rm' or 'mv'? (see 'zem archive "
         "--help')\n"},
    };
    for (const auto& c : cases) {
        std::string out, errors;
        EXPECT_EQ(zemtest::RunToolArgs(c.args, &out, "", &errors), 2) << c.error;
        EXPECT_EQ(out, "");
        EXPECT_EQ(errors, c.error);
    }
}

// "zem help ..." gives what "--help" gives, and an unknown family as any other.
TEST(ToolHelpCommandTest, GivesTheHelpOfWhatItNames) {
    const struct {
        std::vector<std::string> help;
        std::vector<std::string> same;
    } cases[] = {
        {{"help"}, {"--help"}},
        {{"help", "palette"}, {"palette", "--help"}},
        {{"help", "archive", "list"}, {"archive", "list", "--help"}},
        {{"help", "font", "render"}, {"font", "render", "--help"}},
    };
    for (const auto& c : cases) {
        std::string out, expected;
        EXPECT_EQ(zemtest::RunToolArgs(c.help, &out), 0) << c.help.back();
        EXPECT_EQ(zemtest::RunToolArgs(c.same, &expected), 0);
        EXPECT_EQ(out, expected);
        EXPECT_NE(out.find("usage: zem"), std::string::npos) << out;
    }
    std::string out;
    EXPECT_EQ(zemtest::RunToolArgs({"help", "archiv"}, &out), 2);
    EXPECT_EQ(out, "zem: unknown family 'archiv': did you mean 'archive'? (see 'zem --help')\n");
}

} // namespace
