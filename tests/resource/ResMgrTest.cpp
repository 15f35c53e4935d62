// The resource manager: caching and use counts, the loader table, reloading in place, and the
// default loaders over files found by a finder.
#include "ZEMTestSupport.h"

#include <zem/graphics/ZEMFont.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/resource.h>
#include <zem/stream/ZEMResFile.h>
#include <zem/text/ZEMText.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

using zemtest::LogCapture;

namespace {

// A resource that counts the living ones and may hold the stream it was loaded from.
class Probe : public ZEMResource {
public:
    static inline int alive = 0;

    Probe() { ++alive; }
    ~Probe() override {
        --alive;
        delete kept;
    }
    unsigned MemoryUsed() const override { return 0; }
    bool Load(ZEMResFile&, int format) override { return format != 99; }
    bool Save(ZEMResFile&, int) override { return false; }

    ZEMResFile* kept = nullptr;
};

ZEMResource* LoadProbe(ZEMResFile* file, const char*, int format, bool& keepFile) {
    keepFile = false;
    auto probe = std::make_unique<Probe>();
    if (!probe->Load(*file, format)) return nullptr;
    return probe.release();
}

// Keeps the stream: the manager must leave it to the resource.
ZEMResource* LoadKeeping(ZEMResFile* file, const char*, int, bool& keepFile) {
    keepFile = true;
    Probe* probe = new Probe;
    probe->kept = file;
    return probe;
}

class ResMgrTest : public zemtest::TempDirTest {
protected:
    void SetUp() override {
        zemtest::TempDirTest::SetUp();
        std::filesystem::create_directory("data");
        for (const char* name : {"a", "B", "c", "d", "e", "one"})
            zemtest::WriteFile(std::string("data/") + name, "text of " + std::string(name) + "\n");
        ASSERT_TRUE(finder.AddSource("data", false));
        Probe::alive = 0;
    }

    std::string Content() {
        LogCapture log;
        mgr->PrintContent();
        return log.Text();
    }

    ZEMResFinder finder;
    std::unique_ptr<ZEMResMgr> mgr = std::make_unique<ZEMResMgr>(finder);
};

const char* FirstString(ZEMResource* resource) {
    auto* text = dynamic_cast<ZEMText*>(resource);
    return text ? text->GetString(0) : nullptr;
}

} // namespace

TEST_F(ResMgrTest, SameNameSharesOneObjectUntilTheLastRelease) {
    const unsigned probe = mgr->RegisterLoader(LoadProbe);
    ZEMResource* first = mgr->Load(probe, "one", 0, true);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(mgr->Load(probe, "one", 99, false), first); // format and add play no part now
    EXPECT_EQ(Content(), "Resource Manager : (1 entries, 4 alloc)\n"
                         "-   0 [type  4] one (2)\n");
    EXPECT_EQ(mgr->Load(ZEMResMgr::RES_TEXT, "one", 0, true), nullptr); // cached as type 4
    EXPECT_EQ(mgr->GetEntry(0)->users, 2u);

    EXPECT_TRUE(mgr->Release("one"));
    EXPECT_EQ(Probe::alive, 1);
    EXPECT_TRUE(mgr->Release(first));
    EXPECT_EQ(Probe::alive, 0);
    EXPECT_EQ(mgr->NbEntries(), 0u);
    EXPECT_FALSE(mgr->Release("one"));
    EXPECT_FALSE(mgr->Release(static_cast<ZEMResource*>(nullptr)));
}

TEST_F(ResMgrTest, LoadWithoutAddGivesTheCallerANewObject) {
    std::unique_ptr<ZEMResource> a(mgr->Load(ZEMResMgr::RES_TEXT, "a", 0, false));
    std::unique_ptr<ZEMResource> b(mgr->Load(ZEMResMgr::RES_TEXT, "a", 0, false));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_STREQ(FirstString(a.get()), "text of a");
    EXPECT_EQ(mgr->NbEntries(), 0u);
}

TEST_F(ResMgrTest, TableStaysSortedAndGrowsByDoubling) {
    for (const char* name : {"e", "c", "a", "B", "d"})
        ASSERT_NE(mgr->Load(ZEMResMgr::RES_TEXT, name, 0, true), nullptr) << name;
    ASSERT_NE(mgr->Get("a"), nullptr);
    EXPECT_EQ(Content(), "Resource Manager : (5 entries, 8 alloc)\n"
                         "-   0 [type  3] B (1)\n"
                         "-   1 [type  3] a (2)\n"
                         "-   2 [type  3] c (1)\n"
                         "-   3 [type  3] d (1)\n"
                         "-   4 [type  3] e (1)\n");
    unsigned index = 77;
    EXPECT_FALSE(mgr->FindRes("b", index));
    EXPECT_EQ(index, 2u);
    EXPECT_FALSE(mgr->FindRes("", index));
    EXPECT_EQ(index, 2u);

    // Releasing from the middle keeps the rest in order, and names found before are found at
    // their new places.
    ZEMResource* d = mgr->Get("d");
    EXPECT_TRUE(mgr->Release("c"));
    EXPECT_TRUE(mgr->FindRes("d", index));
    EXPECT_EQ(index, 2u);
    EXPECT_TRUE(mgr->Release(d));
    EXPECT_EQ(Content(), "Resource Manager : (4 entries, 8 alloc)\n"
                         "-   0 [type  3] B (1)\n"
                         "-   1 [type  3] a (2)\n"
                         "-   2 [type  3] d (1)\n"
                         "-   3 [type  3] e (1)\n");
    EXPECT_TRUE(mgr->Release("e"));
    EXPECT_FALSE(mgr->FindRes("e", index)); // the last index is past the end now
    EXPECT_EQ(index, 3u);
}

// The log lines of each failure are checked in FailureMessageTest.
TEST_F(ResMgrTest, FailuresReportedByTheResult) {
    EXPECT_EQ(mgr->Load(ZEMResMgr::RES_TEXT, "missing", 0, true), nullptr);
    EXPECT_EQ(mgr->Load(ZEMResMgr::RES_TEXT, "", 0, true), nullptr);
    EXPECT_EQ(mgr->Load(ZEMResMgr::RES_TEXT, nullptr, 0, true), nullptr);
    EXPECT_EQ(mgr->Load(4, "a", 0, true), nullptr); // no such loader
    EXPECT_EQ(mgr->Get("a"), nullptr);              // never loads
    EXPECT_EQ(mgr->Load(ZEMResMgr::RES_FONT, "a", 0, true), nullptr);
    EXPECT_EQ(mgr->NbEntries(), 0u);
}

TEST_F(ResMgrTest, LoaderTable) {
    EXPECT_EQ(mgr->NbLoaders(), 4u);
    EXPECT_FALSE(mgr->ChangeLoader(4, LoadProbe));
    EXPECT_EQ(mgr->RegisterLoader(nullptr), unsigned(ZEMResMgr::NO_INDEX));
    EXPECT_EQ(mgr->RegisterLoader(LoadProbe), 4u);
    EXPECT_EQ(mgr->RegisterLoader(LoadProbe), 5u);
    EXPECT_FALSE(mgr->ChangeLoader(0, nullptr));

    // A default type number can be served by the host's loader.
    EXPECT_TRUE(mgr->ChangeLoader(ZEMResMgr::RES_IMAGE, LoadProbe));
    ASSERT_NE(mgr->Load(ZEMResMgr::RES_IMAGE, "a", 0, true), nullptr);
    EXPECT_EQ(Probe::alive, 1);
}

TEST_F(ResMgrTest, AddTakesOwnershipOnlyOnSuccess) {
    EXPECT_TRUE(mgr->Add(7, "made", new Probe)); // the type is not checked
    Probe spare;
    EXPECT_FALSE(mgr->Add(0, "made", &spare));
    EXPECT_FALSE(mgr->Add(0, "", &spare));
    EXPECT_FALSE(mgr->Add(0, nullptr, &spare));
    EXPECT_EQ(mgr->NbEntries(), 1u);
    EXPECT_FALSE(mgr->Reload("made")); // no file behind it

    // Destruction deletes every cached object, whatever its use count.
    mgr->Get("made");
    ASSERT_NE(mgr->Load(mgr->RegisterLoader(LoadKeeping), "one", 0, true), nullptr);
    EXPECT_EQ(Probe::alive, 3);
    mgr.reset();
    EXPECT_EQ(Probe::alive, 1); // the spare
}

TEST_F(ResMgrTest, ReloadKeepsTheObject) {
    ZEMResource* a = mgr->Load(ZEMResMgr::RES_TEXT, "a", 0, true);
    ZEMResource* b = mgr->Load(ZEMResMgr::RES_TEXT, "B", 0, true);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    zemtest::WriteFile("data/a", "new a\n");
    EXPECT_TRUE(mgr->Reload("a"));
    EXPECT_EQ(mgr->Get("a"), a);
    EXPECT_STREQ(FirstString(a), "new a");
    EXPECT_FALSE(mgr->Reload("absent"));

    // Every entry of the type is tried; one whose file is gone fails the whole call.
    zemtest::WriteFile("data/B", "new B\n");
    zemtest::WriteFile("data/a", "newer a\n");
    std::remove("data/B");
    EXPECT_FALSE(mgr->ReloadType(ZEMResMgr::RES_TEXT));
    EXPECT_STREQ(FirstString(a), "newer a");
    EXPECT_STREQ(FirstString(b), "text of B"); // kept as it was
    EXPECT_TRUE(mgr->ReloadType(ZEMResMgr::RES_PALETTE));
    EXPECT_FALSE(mgr->ReloadType(4));
}

// Users of a cached picture see the new pixels after a reload, through the pointer they hold.
TEST_F(ResMgrTest, ReloadedImageChangesItsPixels) {
    auto glyphs = std::make_unique<ZEMImage>(2, 1, 8);
    glyphs->data[0] = 1;
    glyphs->data[1] = 0;
    ZEMFont font("Pic", 'a', 'a', glyphs.get(), 1);
    ASSERT_TRUE(font.SaveName("data/pic.zfn", 0));
    auto* image = dynamic_cast<ZEMImage*>(mgr->Load(ZEMResMgr::RES_IMAGE, "pic.zfn", 6, true));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetPixel(0, 0), 1u);

    glyphs->data[0] = 0;
    glyphs->data[1] = 1;
    ASSERT_TRUE(font.SetImage(glyphs.get(), 1));
    ASSERT_TRUE(font.SaveName("data/pic.zfn", 0));
    EXPECT_TRUE(mgr->Reload("pic.zfn"));
    EXPECT_EQ(mgr->Get("pic.zfn"), image);
    EXPECT_EQ(image->GetPixel(0, 0), 0u);
    EXPECT_EQ(image->GetPixel(1, 0), 1u);
}

TEST_F(ResMgrTest, DefaultLoaders) {
    zemtest::WriteFile("data/ramp.gpl", "GIMP Palette\nName: ramp\n#\n"
                                        "  0   0   0\tblack\n255 128   0\torange\n");
    auto glyphs = std::make_unique<ZEMImage>(4, 2, 8);
    std::fill(glyphs->data, glyphs->data + 8, 1);
    ZEMFont built("Built", 'a', 'b', glyphs.get(), 1);
    ASSERT_TRUE(built.SaveName("data/built.zfn", 0));

    auto* pal = dynamic_cast<ZEMPal*>(mgr->Load(ZEMResMgr::RES_PALETTE, "ramp.gpl", 0, true));
    ASSERT_NE(pal, nullptr);
    EXPECT_EQ(pal->nbColors, 2u);
    EXPECT_EQ(pal->colors[4], 255);

    auto* font = dynamic_cast<ZEMFont*>(mgr->Load(ZEMResMgr::RES_FONT, "built.zfn", 0, true));
    ASSERT_NE(font, nullptr);
    EXPECT_STREQ(font->name, "Built");

    // The same file as a picture, under another name: format 0 recognises the font file.
    std::filesystem::copy_file("data/built.zfn", "data/glyphs.zfn");
    auto* image = dynamic_cast<ZEMImage*>(mgr->Load(ZEMResMgr::RES_IMAGE, "glyphs.zfn", 0, true));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 4u);
    EXPECT_EQ(image->GetPixel(3, 1), 1u);
    EXPECT_EQ(mgr->Load(ZEMResMgr::RES_IMAGE, "built.zfn", 6, true), nullptr); // cached as a font

    EXPECT_EQ(Content(), "Resource Manager : (3 entries, 4 alloc)\n"
                         "-   0 [type  2] built.zfn (1)\n"
                         "-   1 [type  0] glyphs.zfn (1)\n"
                         "-   2 [type  1] ramp.gpl (1)\n");
}
