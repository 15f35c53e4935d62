// 'zem font build': fonts written from a real TrueType file, existing files kept without --force,
// bad arguments refused; without FreeType the command says it is unavailable.
#include <zem/ZEMConfig.h>
#include <zem/graphics/ZEMFont.h>

#include "ZEMTestSupport.h"

#include <set>
#include <string>
#include <sys/stat.h>

namespace {

#ifdef _WIN32
// The host's file, as Wine shows it.
const char DEJAVU[] = "Z:/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
#else
const char DEJAVU[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
#endif

class FontBuildToolTest : public zemtest::TempDirTest {
protected:
    void SetUp() override {
        zemtest::TempDirTest::SetUp();
        struct stat status;
        if (ZEM_HAS_FREETYPE && stat(DEJAVU, &status) != 0)
            GTEST_SKIP() << DEJAVU << " is missing (Debian fonts-dejavu-core)";
    }

    static std::string Build(const std::string& args) {
        return std::string("font build ") + DEJAVU + " " + args;
    }
};

TEST_F(FontBuildToolTest, WritesAFontThatLoadsBack) {
    std::string out;
    if (!ZEM_HAS_FREETYPE) {
        EXPECT_EQ(zemtest::RunTool(Build("-o sans.zfn"), &out), 1);
        EXPECT_NE(out.find("unavailable"), std::string::npos) << out;
        return;
    }
    ASSERT_EQ(zemtest::RunTool(Build("-o sans.zfn --format 2 --range 32-255 --name Sans "
                                     "--spacing 1 --space-width 6"),
                               &out),
              0)
        << out;
    EXPECT_EQ(out.find("sans.zfn: \"Sans\", codes 32 to 255, 16 px, format 2"), 0u) << out;
    ZEMFont font("sans.zfn");
    EXPECT_STREQ(font.name, "Sans");
    EXPECT_EQ(font.firstChar, 32u);
    EXPECT_EQ(font.lastChar, 255u);
    EXPECT_EQ(font.format, 2);
    EXPECT_EQ(font.spacing, 1);
    EXPECT_EQ(font.whiteSize, 6);
    EXPECT_NE(font.chars['A' - 32].width, 0);
}

TEST_F(FontBuildToolTest, HelpDescribesTheCommand) {
    std::string family, command;
    ASSERT_EQ(zemtest::RunTool("font --help", &family), 0);
    ASSERT_EQ(zemtest::RunTool("font build --help", &command), 0);
    EXPECT_NE(family.find("build SOURCE -o OUT"), std::string::npos) << family;
    EXPECT_EQ(command.find("usage: zem font build SOURCE -o OUT"), 0u) << command;
}

TEST_F(FontBuildToolTest, ReplacesAFileOnlyWhenForced) {
    if (!ZEM_HAS_FREETYPE) GTEST_SKIP() << "built without FreeType";
    zemtest::WriteFile("taken.zfn", "mine");
    std::string out;
    EXPECT_EQ(zemtest::RunTool(Build("-o taken.zfn"), &out), 1);
    EXPECT_NE(out.find("already exists"), std::string::npos) << out;
    EXPECT_EQ(zemtest::ReadFile("taken.zfn"), "mine");
    ASSERT_EQ(zemtest::RunTool(Build("-o taken.zfn --force --size 12"), &out), 0) << out;
    ZEMFont font("taken.zfn");
    EXPECT_STREQ(font.name, "DejaVu Sans Book 12");
    EXPECT_EQ(font.format, 1);
}

TEST_F(FontBuildToolTest, RefusesBadArguments) {
    if (!ZEM_HAS_FREETYPE) GTEST_SKIP() << "built without FreeType";
    zemtest::WriteFile("notes.txt", "not a font");
    // Status 2: the command line is wrong; 1: the work could not be done.
    const std::pair<const char*, int> cases[] = {
        {"font build", 2},
        {"font build notes.txt", 2},
        {"font build -o out.zfn", 2},
        {"font build notes.txt -o out.zfn", 1},
        {"font build missing.ttf -o out.zfn", 1},
        {"font build notes.txt -o", 2},
    };
    for (const auto& [args, status] : cases) {
        std::string out;
        EXPECT_EQ(zemtest::RunTool(args, &out), status) << args;
        EXPECT_NE(out.find("zem: "), std::string::npos) << args << ": " << out;
    }
    const char* const options[] = {
        "--format 3",  "--format x",    "--size 0",      "--size 256",       "--range 40",
        "--range 9-2", "--range 0-256", "--spacing 300", "--space-width -1", "--bogus",
    };
    for (const char* option : options) {
        std::string out;
        EXPECT_EQ(zemtest::RunTool(Build(std::string("-o out.zfn ") + option), &out), 2) << option;
        EXPECT_NE(out.find("zem: "), std::string::npos) << option << ": " << out;
    }
    struct stat status;
    EXPECT_NE(stat("out.zfn", &status), 0) << "nothing written on a refusal";
}

} // namespace
