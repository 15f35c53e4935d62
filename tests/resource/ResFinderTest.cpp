#include "../provider/ArchiveTestSupport.h"
#include "ZEMTestSupport.h"

#include <zem/provider.h>
#include <zem/resource.h>
#include <zem/stream/ZEMResFile.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr unsigned NO_INDEX = 0xFFFFFFFFu;

std::vector<std::string> SourceNames(const ZEMResFinder& finder) {
    std::vector<std::string> names;
    for (unsigned i = 0; i < finder.NbSources(); ++i)
        names.push_back(finder.GetSource(i)->Name());
    return names;
}

class ResFinderTest : public zemtest::TempDirTest {
protected:
    // Writes an archive of the given format holding (name, bytes) members.
    void MakeArchive(ZEMArchive&& archive, const std::string& path,
                     const std::vector<std::pair<std::string, std::string>>& members) {
        ASSERT_TRUE(archive.Create(path.c_str()));
        fs::create_directory("src");
        for (const auto& [name, bytes] : members) {
            zemtest::WriteFile("src/" + name, bytes);
            ASSERT_NE(archive.AddFile(("src/" + name).c_str(), nullptr), NO_INDEX) << name;
        }
        fs::remove_all("src");
    }
};

TEST_F(ResFinderTest, SameArchiveGivenTwiceIsAddedOnce) {
    fs::create_directory("data");
    MakeArchive(ZEMArchZEM(), "data/game.zem", {{"a.txt", "a"}});

    ZEMResFinder finder;
    ASSERT_TRUE(finder.AddSource("data/game.zem", false));
    EXPECT_TRUE(finder.AddSource("data/game.zem", false));
    EXPECT_TRUE(finder.AddSource(Path("data/game.zem").c_str(), true));
    // Other spellings of the same path, with either separator.
    EXPECT_TRUE(finder.AddSource("./data/game.zem", false));
    EXPECT_TRUE(finder.AddSource("data//../data/./game.zem", false));
    EXPECT_TRUE(finder.AddSource(".\\data\\game.zem", false));
    EXPECT_EQ(finder.NbSources(), 1u);
    EXPECT_STREQ(finder.GetSource(0)->Name(), Path("data/game.zem").c_str());
    // Relative names are taken against the working directory of the moment.
    fs::current_path("data");
    EXPECT_TRUE(finder.AddSource("game.zem", false));
    EXPECT_EQ(finder.NbSources(), 1u);
    EXPECT_STREQ(finder.GetSource(0)->Name(), Path("data/game.zem").c_str());
    EXPECT_EQ(finder.FindSource(Path("data/game.zem").c_str()), 0u);
    // The name an archive was added by finds it, taken against the working directory too.
    EXPECT_EQ(finder.FindSource("game.zem"), 0u);
    EXPECT_EQ(finder.FindSource("data/game.zem"), NO_INDEX);
    EXPECT_TRUE(finder.RemoveSource("game.zem"));
    EXPECT_EQ(finder.NbSources(), 0u);
}

TEST_F(ResFinderTest, DirectoriesAreKnownByTheirFullPath) {
    fs::create_directory("data");
    ZEMResFinder finder;
    ASSERT_TRUE(finder.AddSource("data", false));
    EXPECT_EQ(SourceNames(finder), std::vector<std::string>{Path("data")});
    EXPECT_EQ(finder.FindSource("data"), NO_INDEX);
    EXPECT_FALSE(finder.RemoveSource("data"));
    EXPECT_EQ(finder.FindSource((Path("data")).c_str()), 0u);

    // The relative name matches no source name, so the directory comes in a second time.
    EXPECT_TRUE(finder.AddSource("data", false));
    EXPECT_EQ(finder.NbSources(), 2u);
    // Its full path is known.
    EXPECT_TRUE(finder.AddSource((Path("data")).c_str(), false));
    EXPECT_EQ(finder.NbSources(), 2u);
}

TEST_F(ResFinderTest, RefusesWhatItCannotOpen) {
    zemtest::WriteFile("notes.txt", "just text, no archive");
    zemtest::WriteFile("zip.zip", std::string("PK\x03\x04", 4) + std::string(40, '\0'));
    zemtest::WriteFile("bad.zem", std::string("ZEMA") + std::string(8, '\x7f'));

    ZEMResFinder finder;
    EXPECT_FALSE(finder.AddSource("missing", false));
    EXPECT_FALSE(finder.AddSource("missing.zem", false));
    EXPECT_FALSE(finder.AddSource("notes.txt", false));
    EXPECT_FALSE(finder.AddSource("zip.zip", true));
    EXPECT_FALSE(finder.AddSource("bad.zem", true));
    EXPECT_FALSE(finder.AddSource("", true));
    EXPECT_FALSE(finder.AddSource(nullptr, true));
    EXPECT_EQ(finder.NbSources(), 0u);
    EXPECT_EQ(finder.FindSource(""), NO_INDEX);
    EXPECT_EQ(finder.FindSource(nullptr), NO_INDEX);
}

// Sources P and Q appended, R at the front: R hides both, P hides Q, and what only Q has comes
// from Q.
TEST_F(ResFinderTest, SearchOrderDecidesWhichSourceAnswers) {
    MakeArchive(ZEMArchZEM(), "p.zem", {{"all.txt", "from P"}, {"pq.txt", "P pq"}});
    MakeArchive(ZEMArchPAK(), "q.pak",
                {{"all.txt", "from Q"}, {"pq.txt", "Q pq"}, {"only-q.txt", "Q alone"}});
    fs::create_directory("r");
    zemtest::WriteFile("r/all.txt", "from R");

    ZEMResFinder finder;
    ASSERT_TRUE(finder.AddSource("p.zem", false));
    ASSERT_TRUE(finder.AddSource("q.pak", false));
    ASSERT_TRUE(finder.AddSource("r", true));
    EXPECT_EQ(SourceNames(finder),
              (std::vector<std::string>{Path("r"), Path("p.zem"), Path("q.pak")}));

    EXPECT_EQ(archtest::Drain(finder.FindRes("all.txt")), "from R");
    EXPECT_EQ(archtest::Drain(finder.FindRes("pq.txt")), "P pq");
    EXPECT_EQ(archtest::Drain(finder.FindRes("only-q.txt")), "Q alone");
    EXPECT_EQ(finder.FindRes("nowhere.txt"), nullptr);
    EXPECT_EQ(finder.FindRes(""), nullptr);
    EXPECT_EQ(finder.FindRes(nullptr), nullptr);
    // Archives match names exactly, case included.
    EXPECT_EQ(finder.FindRes("ONLY-Q.TXT"), nullptr);

    // Removing the middle source, by the name it was added by, keeps the others in order.
    EXPECT_TRUE(finder.RemoveSource("p.zem"));
    EXPECT_EQ(SourceNames(finder), (std::vector<std::string>{Path("r"), Path("q.pak")}));
    EXPECT_EQ(archtest::Drain(finder.FindRes("pq.txt")), "Q pq");
    EXPECT_FALSE(finder.RemoveSource(Path("p.zem").c_str()));
}

// A directory that bears a member's name is no file: it hides nothing.
TEST_F(ResFinderTest, DirectoryInFrontHidesOnlyWithFiles) {
    MakeArchive(ZEMArchZEM(), "base.zem", {{"title.bmp", "archived title"}, {"maps", "m"}});
    fs::create_directories("mod/maps");
    zemtest::WriteFile("mod/title.bmp", "modded title");

    ZEMResFinder finder;
    ASSERT_TRUE(finder.AddSource("base.zem", false));
    ASSERT_TRUE(finder.AddSource("mod", true));
    EXPECT_EQ(archtest::Drain(finder.FindRes("title.bmp")), "modded title");
    EXPECT_EQ(archtest::Drain(finder.FindRes("maps")), "m");
}

// A name from a mod or a save file never reads outside the sources: names with a ".." component
// (either separator) and absolute names are refused by every source alike.
TEST_F(ResFinderTest, NamesLeadingOutOfTheSourcesAreRefused) {
    fs::create_directories("game/sub");
    zemtest::WriteFile("game/sub/a.txt", "inside");
    zemtest::WriteFile("secret.txt", "outside");
    MakeArchive(ZEMArchZEM(), "game.zem", {{"b.txt", "archived"}});

    for (bool archiveFirst : {false, true}) {
        ZEMResFinder finder;
        ASSERT_TRUE(finder.AddSource("game", false));
        ASSERT_TRUE(finder.AddSource("game.zem", archiveFirst));
        EXPECT_EQ(archtest::Drain(finder.FindRes("sub/a.txt")), "inside");
        EXPECT_EQ(archtest::Drain(finder.FindRes("sub\\a.txt")), "inside");
        EXPECT_EQ(archtest::Drain(finder.FindRes("./sub/a.txt")), "inside");
        EXPECT_EQ(archtest::Drain(finder.FindRes("b.txt")), "archived");
        for (const std::string& name :
             std::vector<std::string>{"../secret.txt", "..\\secret.txt", "sub/../../secret.txt",
                                      "sub\\..\\..\\secret.txt", "sub/../a.txt", "..",
                                      Path("secret.txt"), Path("game/sub/a.txt")}) {
            zemtest::LogCapture log;
            EXPECT_EQ(finder.FindRes(name.c_str()), nullptr) << name;
            EXPECT_EQ(log.Text(),
                      "ResFinder: refused the name '" + name +
                          "': absolute, leading out of its sources or no file name here\n");
        }
    }
}

// The finder refuses what extraction refuses: on Windows, a device name in a folder source would
// open the device ("nul.txt" reads nothing, "CON" waits for the console).
TEST_F(ResFinderTest, NamesThatExtractionRefusesAreRefused) {
    for (const auto& [path, bytes] : archtest::HostileLandings()) {
        fs::create_directories(fs::u8path("game/" + path).parent_path());
        zemtest::WriteFile("game/" + path, bytes);
    }
    ZEMResFinder finder;
    ASSERT_TRUE(finder.AddSource("game", false));
    for (const archtest::HostileName& hostile : archtest::HostileNames()) {
        EXPECT_EQ(archtest::Drain(finder.FindRes(hostile.name)),
                  archtest::RefusedHere(hostile) ? "<null>" : std::string("member ") + hostile.name)
            << hostile.name;
    }
}

TEST_F(ResFinderTest, StreamsOutliveTheFinder) {
    MakeArchive(ZEMArchZEM(), "a.zem", {{"x", "still readable"}});
    std::unique_ptr<ZEMResFile> stream;
    {
        ZEMResFinder finder;
        ASSERT_TRUE(finder.AddSource("a.zem", false));
        stream.reset(finder.FindRes("x"));
    }
    EXPECT_EQ(archtest::Drain(stream.release()), "still readable");
}

TEST_F(ResFinderTest, PrintInfoListsSourcesInSearchOrder) {
    ZEMResFinder finder;
    {
        zemtest::LogCapture log;
        finder.PrintInfo();
        EXPECT_EQ(log.Text(), "Resource Finder sources (0):\nnone.\n");
    }
    fs::create_directory("a");
    fs::create_directory("b");
    ASSERT_TRUE(finder.AddSource("a", false));
    ASSERT_TRUE(finder.AddSource("b", true));
    zemtest::LogCapture log;
    finder.PrintInfo();
    EXPECT_EQ(log.Text(),
              "Resource Finder sources (2):\n- " + Path("b") + "\n- " + Path("a") + "\n");
}

} // namespace
