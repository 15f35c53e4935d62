// Every failure of the finder, the manager and reloads writes one log line, at its level, that
// names the file and the cause.
#include "ZEMTestSupport.h"

#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/provider/ZEMArchZEM.h>
#include <zem/resource.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

using zemtest::LogCapture;
using zemtest::WriteFile;

namespace {

constexpr unsigned WARNING_LEVEL = 10;
constexpr unsigned LOG_LEVEL = 100;

// A picture file cut inside its header.
std::string Cut(const std::string& bytes) {
    return bytes.substr(0, 40);
}

struct FailureCase {
    const char* what;
    unsigned level; // the level the line is written at
    std::function<bool()> fails;
    const char* line;
};

class FailureMessageTest : public zemtest::TempDirTest {
protected:
    void SetUp() override {
        zemtest::TempDirTest::SetUp();
        std::filesystem::create_directory("data");
        WriteFile("data/notes.txt", "just text\n");
        WriteFile("notes.txt", "just text, no archive");
        WriteFile("bad.zem", std::string("ZEMA") + std::string(8, '\x7f'));
        WriteFile("data/sky.gpl", "GIMP Palette\n0 0 255 blue\n");
        ZEMImage picture(4, 4, 8);
        ASSERT_TRUE(picture.SaveName("data/pic.bmp", 1));
        WriteFile("data/cut.bmp", Cut(zemtest::ReadFile("data/pic.bmp")));
        ASSERT_TRUE(finder.AddSource("data", false));
        ASSERT_NE(mgr->Load(ZEMResMgr::RES_PALETTE, "sky.gpl", 0, true), nullptr);
    }

    ZEMResFinder finder;
    std::unique_ptr<ZEMResMgr> mgr = std::make_unique<ZEMResMgr>(finder);
};

} // namespace

TEST_F(FailureMessageTest, EachFailureWritesOneLineWithTheFileAndTheCause) {
    ZEMImage spare(1, 1, 8);
    const FailureCase cases[] = {
        {"source missing", LOG_LEVEL, [&] { return finder.AddSource("../nothere.zem", false); },
         "ResFinder: cannot add the source '../nothere.zem': missing\n"},
        {"source no archive", LOG_LEVEL, [&] { return finder.AddSource("notes.txt", true); },
         "ResFinder: cannot add the source 'notes.txt': not an archive this library reads (ZEM "
         "or PAK), or unreadable\n"},
        {"source damaged", LOG_LEVEL, [&] { return finder.AddSource("bad.zem", true); },
         "ResFinder: cannot add the source 'bad.zem': damaged: its directory (94118734292 bytes "
         "at offset 2139062143) does not lie inside the file (12 bytes)\n"},
        {"source not there to remove", LOG_LEVEL, [&] { return finder.RemoveSource("mods"); },
         "ResFinder: cannot remove the source 'mods': no source has that name\n"},
        {"load missing", WARNING_LEVEL,
         [&] { return mgr->Load(ZEMResMgr::RES_IMAGE, "title.bmp", 0, true) != nullptr; },
         "ResMgr: can not load title.bmp (type 0): missing: none of the 1 sources has it\n"},
        {"load of another kind", WARNING_LEVEL,
         [&] { return mgr->Load(ZEMResMgr::RES_FONT, "notes.txt", 0, true) != nullptr; },
         "ResMgr: can not load notes.txt (type 2): not a font file, or damaged\n"},
        {"load damaged", WARNING_LEVEL,
         [&] { return mgr->Load(ZEMResMgr::RES_IMAGE, "cut.bmp", 0, false) != nullptr; },
         "ResMgr: can not load cut.bmp (type 0): not a picture file, or damaged: BMP: bad file "
         "header\n"},
        {"load cached as another type", WARNING_LEVEL,
         [&] { return mgr->Load(ZEMResMgr::RES_TEXT, "sky.gpl", 0, true) != nullptr; },
         "ResMgr: can not load sky.gpl (type 3): wrong type: it is loaded as type 1\n"},
        {"load without loader", WARNING_LEVEL,
         [&] { return mgr->Load(9, "sky.gpl", 0, true) != nullptr; },
         "ResMgr: can not load sky.gpl (type 9): no loader has that type (4 loaders)\n"},
        {"reload not loaded", WARNING_LEVEL, [&] { return mgr->Reload("moon.gpl"); },
         "ResMgr: can not reload moon.gpl: not loaded\n"},
        {"release not loaded", LOG_LEVEL, [&] { return mgr->Release("moon.gpl"); },
         "ResMgr: cannot release moon.gpl: not loaded\n"},
        {"release not held", LOG_LEVEL, [&] { return mgr->Release(&spare); },
         "ResMgr: cannot release a resource that the manager does not hold\n"},
        {"add cached name", LOG_LEVEL, [&] { return mgr->Add(0, "sky.gpl", &spare); },
         "ResMgr: cannot add sky.gpl: that name is cached already\n"},
    };
    for (const FailureCase& c : cases) {
        // Written at its level whatever else is held back, and not below it.
        for (unsigned level : {c.level, c.level - 1}) {
            ZEM::SetLogLevel(level);
            LogCapture log;
            EXPECT_FALSE(c.fails()) << c.what;
            EXPECT_EQ(log.Text(), level == c.level ? c.line : "") << c.what << " at " << level;
        }
    }
}

// A failed reload says whether the file is gone or damaged, and why, whichever call reloads.
TEST_F(FailureMessageTest, FailedReloadSaysGoneOrDamaged) {
    WriteFile("packed.txt", "packed\n");
    {
        ZEMArchZEM archive;
        ASSERT_TRUE(archive.Create("pack.zem"));
        ASSERT_NE(archive.AddFile("packed.txt", nullptr), ZEMResMgr::NO_INDEX);
    }
    ASSERT_TRUE(finder.AddSource("pack.zem", false));
    ASSERT_NE(mgr->Load(ZEMResMgr::RES_IMAGE, "pic.bmp", 0, true), nullptr);
    ASSERT_NE(mgr->Load(ZEMResMgr::RES_TEXT, "packed.txt", 0, true), nullptr);
    const std::string good = zemtest::ReadFile("data/pic.bmp");
    const struct {
        const char* what;
        const char* name;
        unsigned type;
        std::function<void()> spoil;
        std::string line;
    } cases[] = {
        {"damaged", "pic.bmp", ZEMResMgr::RES_IMAGE, [&] { WriteFile("data/pic.bmp", Cut(good)); },
         "ResMgr: can not reload pic.bmp (type 0): damaged: BMP: bad file header\n"},
        {"gone", "pic.bmp", ZEMResMgr::RES_IMAGE, [] { std::remove("data/pic.bmp"); },
         "ResMgr: can not reload pic.bmp (type 0): missing: none of the 2 sources has it\n"},
        {"archive damaged", "packed.txt", ZEMResMgr::RES_TEXT,
         [] { WriteFile("pack.zem", "ZEMA"); },
         "ResMgr: can not reload packed.txt (type 3): missing: ResFinder: cannot read the source "
         "'" +
             Path("pack.zem") + "' any more: too short for an archive header\n"},
    };
    for (const auto& c : cases) {
        c.spoil();
        const std::function<bool()> reloads[] = {
            [&] { return mgr->Reload(c.name); },
            [&] { return mgr->ReloadType(c.type); },
        };
        for (const std::function<bool()>& reload : reloads) {
            LogCapture log;
            EXPECT_FALSE(reload()) << c.what;
            EXPECT_EQ(log.Text(), c.line) << c.what;
        }
    }
}
