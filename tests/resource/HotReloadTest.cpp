// Reloading resources whose files changed on disk: through Reload (an archive that another
// process edited, the format a resource was loaded with, one name in either separator form) and
// through watching, where PollChanges reloads what an editor saved, however it saved it.
#include "ZEMTestSupport.h"

#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/provider/ZEMArchZEM.h>
#include <zem/resource.h>
#include <zem/stream/ZEMResFile.h>
#include <zem/text/ZEMText.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using zemtest::LogCapture;
using zemtest::WriteFile;

namespace {

namespace fs = std::filesystem;

const char* FirstString(ZEMResource* resource) {
    auto* text = dynamic_cast<ZEMText*>(resource);
    return text ? text->GetString(0) : nullptr;
}

// Runs zem in folder as another process would.
int Zem(const std::string& folder, const std::string& args) {
    return zemtest::RunShell("cd \"" + folder + "\" && \"" + ZEM_TOOL_PATH + "\" " + args);
}

bool HasTool() {
    return std::string(ZEM_TOOL_PATH) != "";
}

class ReloadTest : public zemtest::TempDirTest {
protected:
    void SetUp() override {
        zemtest::TempDirTest::SetUp();
        fs::create_directories("data/sub");
        fs::create_directories("stage");
    }
    // The watches end before the folders go.
    void TearDown() override {
        mgr.reset();
        zemtest::TempDirTest::TearDown();
    }

    ZEMResFinder finder;
    std::unique_ptr<ZEMResMgr> mgr = std::make_unique<ZEMResMgr>(finder);
};

// Everything PollChanges reported while the test waited, in order.
struct Polled {
    std::vector<std::string> reloaded;
    std::vector<std::string> origins;
    std::vector<std::string> failed;
    std::vector<std::string> unwatched;
};

class HotReloadTest : public ReloadTest {
protected:
    void SetUp() override {
        ReloadTest::SetUp();
        ASSERT_TRUE(finder.AddSource("data", false));
        mgr->SetQuietTime(20);
        mgr->SetWatching(true);
    }

    // Polls until done says so, for at most 20 seconds: the machine may be slow, never the
    // library.
    bool PollUntil(const std::function<bool()>& done) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < limit) {
            Poll();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    void Poll() {
        ZEMResMgr::ChangeReport report;
        const unsigned n = mgr->PollChanges(&report);
        EXPECT_EQ(n, report.reloaded.size());
        Append(polled.reloaded, report.reloaded);
        Append(polled.origins, report.origins);
        Append(polled.failed, report.failed);
        Append(polled.unwatched, report.unwatched);
    }

    static void Append(std::vector<std::string>& to, const std::vector<std::string>& from) {
        to.insert(to.end(), from.begin(), from.end());
    }

    ZEMResource* LoadText(const char* name, const std::string& text) {
        WriteFile(std::string("data/") + name, text + "\n");
        return mgr->Load(ZEMResMgr::RES_TEXT, name, 0, true);
    }

    Polled polled;
};

} // namespace

// ---- Reload ----

// Another process updates, adds and removes members of an archive that the finder holds open.
TEST_F(ReloadTest, ArchiveEditedByAnotherProcessIsReadAgain) {
    if (!HasTool()) GTEST_SKIP() << "the zem tool is not built";
    WriteFile("stage/a.txt", "first a\n");
    ASSERT_EQ(Zem("stage", "archive create ../pack.zem a.txt"), 0);
    ASSERT_TRUE(finder.AddSource("pack.zem", false));
    ZEMResource* a = mgr->Load(ZEMResMgr::RES_TEXT, "a.txt", 0, true);
    ASSERT_NE(a, nullptr);

    WriteFile("stage/a.txt", "second a, longer\n");
    ASSERT_EQ(Zem("stage", "archive update ../pack.zem a.txt"), 0);
    EXPECT_TRUE(mgr->Reload("a.txt"));
    EXPECT_STREQ(FirstString(a), "second a, longer");

    WriteFile("stage/b.txt", "added b\n");
    ASSERT_EQ(Zem("stage", "archive add ../pack.zem b.txt"), 0);
    ZEMResource* b = mgr->Load(ZEMResMgr::RES_TEXT, "b.txt", 0, true);
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(FirstString(b), "added b");

    // A member that is gone fails the reload, which keeps what the resource held.
    ASSERT_EQ(Zem(".", "archive rm pack.zem a.txt"), 0);
    EXPECT_FALSE(mgr->Reload("a.txt"));
    EXPECT_STREQ(FirstString(a), "second a, longer");
    EXPECT_TRUE(mgr->Reload("b.txt"));

    // The archive gone: nothing is served from it until a file of its name is back.
    fs::rename("pack.zem", "moved.zem");
    EXPECT_FALSE(mgr->Reload("b.txt"));
    EXPECT_EQ(std::unique_ptr<ZEMResFile>(finder.FindRes("b.txt")), nullptr);
    fs::rename("moved.zem", "pack.zem");
    EXPECT_TRUE(mgr->Reload("b.txt"));
}

// A palette loaded as raw BGR (format 5) stays BGR on reload: detection would take the same
// 768 bytes for RGB and swap red and blue.
TEST_F(ReloadTest, ReloadUsesTheFormatOfTheFirstLoad) {
    ASSERT_TRUE(finder.AddSource("data", false));
    std::string raw(768, '\0');
    raw[0] = 10;        // blue
    raw[2] = char(200); // red
    WriteFile("data/sky.bgr", raw);
    auto* pal = dynamic_cast<ZEMPal*>(mgr->Load(ZEMResMgr::RES_PALETTE, "sky.bgr", 5, true));
    ASSERT_NE(pal, nullptr);
    ASSERT_EQ(pal->colors[0], 200);
    raw[0] = 20;
    WriteFile("data/sky.bgr", raw);
    ASSERT_TRUE(mgr->Reload("sky.bgr"));
    EXPECT_EQ(pal->colors[0], 200);
    EXPECT_EQ(pal->colors[2], 20);
    ASSERT_TRUE(mgr->ReloadType(ZEMResMgr::RES_PALETTE));
    EXPECT_EQ(pal->colors[0], 200);
}

// Both separators name one resource, from a folder and from an archive alike.
TEST_F(ReloadTest, OneResourceWhateverTheSeparator) {
    ASSERT_TRUE(finder.AddSource("data", false));
    WriteFile("data/sub/deep.gpl", "GIMP Palette\n1 2 3\n");
    ZEMResource* slash = mgr->Load(ZEMResMgr::RES_PALETTE, "sub/deep.gpl", 0, true);
    ASSERT_NE(slash, nullptr);
    EXPECT_EQ(mgr->Load(ZEMResMgr::RES_PALETTE, "sub\\deep.gpl", 0, true), slash);
    EXPECT_EQ(mgr->Get("sub\\deep.gpl"), slash);
    EXPECT_EQ(mgr->NbEntries(), 1u);
    EXPECT_EQ(mgr->GetEntry(0)->users, 3u);
    EXPECT_STREQ(mgr->GetEntry(0)->name, "sub/deep.gpl");
    EXPECT_TRUE(mgr->Reload("sub\\deep.gpl"));
    unsigned index = 9;
    EXPECT_TRUE(mgr->FindRes("sub\\deep.gpl", index));
    EXPECT_EQ(index, 0u);
    EXPECT_TRUE(mgr->Release("sub\\deep.gpl"));
    EXPECT_TRUE(mgr->Release("sub/deep.gpl"));
    EXPECT_TRUE(mgr->Release(slash));
    EXPECT_EQ(mgr->NbEntries(), 0u);
    EXPECT_TRUE(mgr->Add(ZEMResMgr::RES_TEXT, "x/y", new ZEMText(0u)));
    ZEMText spare(0u);
    EXPECT_FALSE(mgr->Add(ZEMResMgr::RES_TEXT, "x\\y", &spare));

    if (!HasTool()) return;
    fs::create_directories("stage/sub");
    WriteFile("stage/sub/inner.txt", "inside\n");
    ASSERT_EQ(Zem("stage", "archive create ../pack.zem sub/inner.txt"), 0);
    ASSERT_TRUE(finder.AddSource("pack.zem", true));
    EXPECT_STREQ(FirstString(mgr->Load(ZEMResMgr::RES_TEXT, "sub\\inner.txt", 0, true)), "inside");
}

// Many names: lookups and the name order of the listing agree while entries come and go.
TEST_F(ReloadTest, IndexAndNameOrderAgree) {
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i)
        names.push_back("n" + std::to_string((i * 7919) % 300));
    for (const std::string& name : names)
        ASSERT_TRUE(mgr->Add(ZEMResMgr::RES_TEXT, name.c_str(), new ZEMText(0u)));
    for (int i = 0; i < 300; i += 3)
        ASSERT_TRUE(mgr->Release(names[size_t(i)].c_str()));
    ASSERT_EQ(mgr->NbEntries(), 200u);
    for (unsigned i = 0; i < mgr->NbEntries(); ++i) {
        const char* name = mgr->GetEntry(i)->name;
        if (i > 0) {
            EXPECT_LT(std::string(mgr->GetEntry(i - 1)->name), name);
        }
        unsigned index = 0;
        EXPECT_TRUE(mgr->FindRes(name, index));
        EXPECT_EQ(index, i);
        ZEMResource* got = mgr->Get(name);
        EXPECT_EQ(got, mgr->GetEntry(i)->resource);
        EXPECT_TRUE(mgr->Release(got));
    }
    for (int i = 0; i < 300; ++i)
        EXPECT_EQ(mgr->Get(names[size_t(i)].c_str()) != nullptr, i % 3 != 0) << names[size_t(i)];
}

// ---- Watching ----

TEST_F(ReloadTest, WatchingIsOffUntilTurnedOn) {
    ASSERT_TRUE(finder.AddSource("data", false));
    WriteFile("data/t.txt", "old\n");
    ZEMResource* text = mgr->Load(ZEMResMgr::RES_TEXT, "t.txt", 0, true);
    ASSERT_NE(text, nullptr);
    EXPECT_FALSE(mgr->IsWatching());
    WriteFile("data/t.txt", "new\n");
    EXPECT_EQ(mgr->PollChanges(), 0u);
    EXPECT_STREQ(FirstString(text), "old");
}

// However an editor saves, the resource holds the new content after the quiet time, through
// the same pointer, and is reloaded once.
TEST_F(HotReloadTest, EverySaveIsReloadedOnce) {
    const struct {
        const char* how;
        std::function<void(const std::string& path, const std::string& text)> save;
    } saves[] = {
        {"overwrite in place",
         [](const std::string& path, const std::string& text) { WriteFile(path, text); }},
        {"temporary and rename",
         [](const std::string& path, const std::string& text) {
             WriteFile(path + ".tmp~", text);
             fs::rename(path + ".tmp~", path);
         }},
        {"delete and recreate",
         [](const std::string& path, const std::string& text) {
             fs::remove(path);
             WriteFile(path, text);
         }},
    };
    ZEMResource* text = LoadText("t.txt", "version 0");
    ASSERT_NE(text, nullptr);
    int version = 0;
    for (const auto& save : saves) {
        SCOPED_TRACE(save.how);
        const std::string expected = "version " + std::to_string(++version);
        polled = Polled();
        save.save("data/t.txt", expected + "\n");
        ASSERT_TRUE(PollUntil([&] { return !polled.reloaded.empty(); }));
        EXPECT_STREQ(FirstString(text), expected.c_str());
        EXPECT_EQ(polled.reloaded, std::vector<std::string>{"t.txt"});
        EXPECT_EQ(mgr->Get("t.txt"), text);
        mgr->Release("t.txt");
    }
}

// A burst of writes, polled between them, makes one reload once the file is left alone.
TEST_F(HotReloadTest, BurstOfWritesIsOneReload) {
    mgr->SetQuietTime(1000);
    ZEMResource* text = LoadText("burst.txt", "start");
    ASSERT_NE(text, nullptr);
    for (int i = 1; i <= 100; ++i) {
        WriteFile("data/burst.txt", "write " + std::to_string(i) + "\n");
        Poll();
    }
    ASSERT_TRUE(PollUntil([&] { return !polled.reloaded.empty(); }));
    EXPECT_STREQ(FirstString(text), "write 100");
    EXPECT_EQ(polled.reloaded.size(), 1u);
    EXPECT_TRUE(polled.failed.empty());
}

// A file dropped into a folder searched first hides the resource's file, in a folder or in an
// archive: the resource is read from it, and from its old file again when it goes.
TEST_F(HotReloadTest, OverrideInAFolderSearchedFirst) {
    WriteFile("data/under.txt", "from data\n");
    WriteFile("stage/packed.txt", "from the archive\n");
    ZEMArchZEM archive;
    ASSERT_TRUE(archive.Create("base.zem"));
    ASSERT_NE(archive.AddFile("stage/packed.txt", nullptr), ZEMResMgr::NO_INDEX);
    ASSERT_TRUE(finder.AddSource("base.zem", false));
    fs::create_directory("mods");
    ASSERT_TRUE(finder.AddSource("mods", true));

    const struct {
        const char* name;
        const char* text;
        std::string origin;
    } cases[] = {
        {"under.txt", "from data", Path("data/under.txt")},
        {"packed.txt", "from the archive", Path("base.zem")},
    };
    for (const auto& c : cases) {
        ZEMResource* text = mgr->Load(ZEMResMgr::RES_TEXT, c.name, 0, true);
        ASSERT_NE(text, nullptr) << c.name;
        const std::string mod = std::string("mods/") + c.name;
        WriteFile(mod, "from mods\n");
        ASSERT_TRUE(PollUntil([&] { return polled.reloaded.size() == 1; })) << c.name;
        EXPECT_STREQ(FirstString(text), "from mods");
        EXPECT_EQ(polled.origins, std::vector<std::string>{Path(mod)});

        ASSERT_EQ(std::remove(mod.c_str()), 0);
        ASSERT_TRUE(PollUntil([&] { return polled.reloaded.size() == 2; })) << c.name;
        EXPECT_STREQ(FirstString(text), c.text);
        EXPECT_EQ(polled.origins.back(), c.origin);
        EXPECT_TRUE(polled.failed.empty());
        polled = Polled();
    }
}

// A damaged save keeps the old picture and is reported; the next good save is taken.
TEST_F(HotReloadTest, DamagedSaveKeepsTheOldContent) {
    ZEMImage picture(4, 4, 8);
    picture.Rectangle(0, 0, 4, 4, 7, ZEMImage::DRAW_COPY);
    ASSERT_TRUE(picture.SaveName("data/pic.bmp", 1));
    auto* image = dynamic_cast<ZEMImage*>(mgr->Load(ZEMResMgr::RES_IMAGE, "pic.bmp", 0, true));
    ASSERT_NE(image, nullptr);
    const std::string good = zemtest::ReadFile("data/pic.bmp");

    LogCapture log;
    WriteFile("data/pic.bmp", good.substr(0, 40));
    ASSERT_TRUE(PollUntil([&] { return !polled.failed.empty(); }));
    EXPECT_EQ(polled.failed, std::vector<std::string>{"pic.bmp"});
    EXPECT_TRUE(polled.reloaded.empty());
    EXPECT_EQ(image->GetPixel(3, 3), 7u);
    EXPECT_NE(log.Text().find("ResMgr: can not reload pic.bmp (type 0): damaged: BMP: "),
              std::string::npos);

    picture.Rectangle(0, 0, 4, 4, 9, ZEMImage::DRAW_COPY);
    ASSERT_TRUE(picture.SaveName("data/pic.bmp", 1));
    ASSERT_TRUE(PollUntil([&] { return !polled.reloaded.empty(); }));
    EXPECT_EQ(image->GetPixel(3, 3), 9u);
}

// A thousand resources in folders of a hundred each: one file changes, one resource reloads.
TEST_F(HotReloadTest, OneOfAThousandChanges) {
    for (int folder = 0; folder < 10; ++folder)
        fs::create_directories("data/f" + std::to_string(folder));
    for (int i = 0; i < 1000; ++i) {
        const std::string name = "f" + std::to_string(i % 10) + "/r" + std::to_string(i) + ".txt";
        ASSERT_NE(LoadText(name.c_str(), name), nullptr) << name;
    }
    // Saving the others before watching begins: none of that is reported.
    mgr->SetWatching(false);
    WriteFile("data/f1/r1.txt", "unseen\n");
    mgr->SetWatching(true);

    WriteFile("data/f7/r537.txt", "changed\n");
    ASSERT_TRUE(PollUntil([&] { return !polled.reloaded.empty(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Poll();
    EXPECT_EQ(polled.reloaded, std::vector<std::string>{"f7/r537.txt"});
    EXPECT_STREQ(FirstString(mgr->Get("f7\\r537.txt")), "changed");
}

// Released resources are no longer watched; one cached again is.
TEST_F(HotReloadTest, ReleasedResourcesAreNotReloaded) {
    ASSERT_NE(LoadText("gone.txt", "one"), nullptr);
    ASSERT_NE(LoadText("kept.txt", "one"), nullptr);
    ASSERT_TRUE(mgr->Release("gone.txt"));
    WriteFile("data/gone.txt", "two\n");
    WriteFile("data/kept.txt", "two\n");
    ASSERT_TRUE(PollUntil([&] { return !polled.reloaded.empty(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Poll();
    EXPECT_EQ(polled.reloaded, std::vector<std::string>{"kept.txt"});
}

// A manager that loads and polls on one thread (a loader's) and is released on another ends its
// watches at once, however long their folders stay quiet.
TEST_F(HotReloadTest, ReleaseOnAnotherThreadDoesNotWait) {
    auto* loader = new ZEMResMgr(finder);
    loader->SetWatching(true);
    WriteFile("data/t.txt", "one\n");
    ASSERT_NE(loader->Load(ZEMResMgr::RES_TEXT, "t.txt", 0, true), nullptr);
    loader->PollChanges();
    auto released = std::make_shared<std::promise<void>>();
    std::future<void> done = released->get_future();
    // Detached: a release that hangs fails the case instead of the whole run.
    std::thread([loader, released] {
        delete loader;
        released->set_value();
    }).detach();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

// A member changed by `zem archive update` in another process: the archive's folder is watched.
TEST_F(HotReloadTest, ArchiveMemberUpdatedByAnotherProcess) {
    if (!HasTool()) GTEST_SKIP() << "the zem tool is not built";
    WriteFile("stage/pal.gpl", "GIMP Palette\n10 20 30\n");
    WriteFile("stage/other.txt", "other\n");
    ASSERT_EQ(Zem("stage", "archive create ../data/pack.pak pal.gpl other.txt"), 0);
    ASSERT_TRUE(finder.AddSource("data/pack.pak", true));
    auto* pal = dynamic_cast<ZEMPal*>(mgr->Load(ZEMResMgr::RES_PALETTE, "pal.gpl", 0, true));
    ZEMResource* other = mgr->Load(ZEMResMgr::RES_TEXT, "other.txt", 0, true);
    ASSERT_NE(pal, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(pal->colors[0], 10);

    WriteFile("stage/pal.gpl", "GIMP Palette\n40 50 60\n");
    ASSERT_EQ(Zem("stage", "archive update ../data/pack.pak pal.gpl"), 0);
    ASSERT_TRUE(PollUntil([&] { return pal->colors[0] == 40; }));
    EXPECT_EQ(pal->colors[2], 60);
    EXPECT_TRUE(polled.failed.empty());
}

#ifndef _WIN32
// A folder that refuses a watch (here: one that may be searched but not read) is reported once;
// its resources still reload on request.
TEST_F(HotReloadTest, UnwatchableSourceIsReportedOnce) {
    if (geteuid() == 0) GTEST_SKIP() << "root may watch any folder";
    fs::create_directories("data/locked");
    WriteFile("data/locked/l.txt", "one\n");
    ASSERT_EQ(chmod("data/locked", 0311), 0);
    LogCapture log;
    ZEMResource* text = mgr->Load(ZEMResMgr::RES_TEXT, "locked/l.txt", 0, true);
    ASSERT_NE(text, nullptr);
    Poll();
    WriteFile("data/locked/l.txt", "two\n");
    EXPECT_TRUE(mgr->Reload("locked/l.txt"));
    EXPECT_STREQ(FirstString(text), "two");
    Poll();
    chmod("data/locked", 0755);
    EXPECT_EQ(polled.unwatched, std::vector<std::string>{"locked/l.txt"});
    const std::string said = log.Text();
    const char* const message = "ResMgr: can not watch locked/l.txt";
    const size_t first = said.find(message);
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(said.find(message, first + 1), std::string::npos) << said;
}
#endif
