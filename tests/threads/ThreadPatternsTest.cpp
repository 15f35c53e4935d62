#include "ZEMTestSupport.h"

#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/provider.h>
#include <zem/resource.h>
#include <zem/stream.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The ways of sharing the library between threads that the README describes, each run as a
// plain test everywhere and under ThreadSanitizer by `make test-tsan`.

namespace {

constexpr int ROUNDS = 30;

// A palette of one colour whose red is red.
std::string Palette(int red) {
    return "GIMP Palette\n" + std::to_string(red) + " 0 0\n";
}

bool Save(const std::string& path, const std::string& text) {
    ZEMSaveFile file(path.c_str(), true);
    return file.Write(text.data(), unsigned(text.size())) == text.size() && file.Commit();
}

// The log's messages from every thread, counted: a sink is called from each thread that logs,
// so it guards what it shares.
struct CountingSink {
    std::mutex lock;
    size_t lines = 0;

    static void Take(const char*, void* context) {
        auto* sink = static_cast<CountingSink*>(context);
        std::lock_guard<std::mutex> hold(sink->lock);
        ++sink->lines;
    }
};

class ThreadPatternsTest : public zemtest::TempDirTest {
protected:
    void SetUp() override {
        zemtest::TempDirTest::SetUp();
        ZEM::SetLogSink(CountingSink::Take, &sink);
    }
    void TearDown() override {
        ZEM::SetLogSink(nullptr, nullptr);
        zemtest::TempDirTest::TearDown();
    }

    // Notes what went wrong on some thread.
    void Fail(const std::string& what) {
        std::lock_guard<std::mutex> hold(failuresLock);
        failures += what + "\n";
    }

    CountingSink sink;
    std::mutex failuresLock;
    std::string failures;
};

// Two threads, each with its own finder and manager over the same folder and archive, load and
// reload palettes while a third rewrites the folder's file with saves and replaces the archive's
// member; all three log.
TEST_F(ThreadPatternsTest, FindersAndManagersPerThreadOverFilesRewrittenMeanwhile) {
    std::filesystem::create_directory("d");
    ASSERT_TRUE(Save("d/sky.gpl", Palette(1)));
    ASSERT_TRUE(Save("sea.gpl", Palette(2)));
    {
        ZEMArchZEM archive;
        const char* paths[] = {"sea.gpl"};
        ASSERT_TRUE(archive.CreateFrom("a.zem", paths, nullptr, 1, false));
    }
    // Folder sources are added before the threads start: opening one moves the process's working
    // directory for a moment.
    ZEMResFinder finders[2];
    for (ZEMResFinder& finder : finders)
        ASSERT_TRUE(finder.AddSource("d", false) && finder.AddSource("a.zem", false));
    const auto reader = [&](ZEMResFinder& finder) {
        ZEMResMgr manager(finder);
        for (int round = 0; round < ROUNDS; ++round) {
            for (const char* name : {"sky.gpl", "sea.gpl"}) {
                auto* palette =
                    static_cast<ZEMPal*>(manager.Load(ZEMResMgr::RES_PALETTE, name, 0, true));
                // Every version of the files has a red above 0.
                if (!palette || palette->colors[0] == 0) {
                    Fail(std::string(name) + " not loaded in round " + std::to_string(round));
                } else if (!manager.Reload(name) || !manager.Release(palette)) {
                    Fail(std::string(name) + " not reloaded in round " + std::to_string(round));
                }
            }
            ZEM::LOG("reader round %d\n", round);
        }
    };
    const auto writer = [&] {
        ZEMArchZEM archive;
        if (!archive.Open("a.zem")) {
            Fail(std::string("the writer cannot open the archive: ") + archive.LastError());
            return;
        }
        for (int round = 0; round < ROUNDS; ++round) {
            const unsigned first = 0;
            const char* paths[] = {"sea.gpl"};
            if (!Save("d/sky.gpl", Palette(round + 3)) || !Save("sea.gpl", Palette(round + 3)) ||
                !archive.UpdateFiles(&first, paths, 1)) {
                Fail("round " + std::to_string(round) + " not saved: " + archive.LastError());
            }
            ZEM::LOG("writer round %d\n", round);
        }
    };
    std::thread threads[] = {std::thread(reader, std::ref(finders[0])),
                             std::thread(reader, std::ref(finders[1])), std::thread(writer)};
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, "");
    EXPECT_GE(sink.lines, size_t(3 * ROUNDS));
}

// Two editor threads, each with its own archive object on the same file, add members in turn:
// each waits for the other's lock, and every add is kept.
TEST_F(ThreadPatternsTest, EditorThreadsKeepEveryEdit) {
    {
        ZEMArchZEM archive;
        ASSERT_TRUE(archive.Create("e.zem"));
    }
    const auto editor = [&](char who) {
        ZEMArchZEM archive;
        if (!archive.Open("e.zem")) {
            Fail(std::string("an editor cannot open the archive: ") + archive.LastError());
            return;
        }
        for (int round = 0; round < ROUNDS; ++round) {
            const std::string name = who + std::to_string(round);
            zemtest::WriteFile(name, name);
            const char* path = name.c_str();
            if (archive.AddFiles(&path, nullptr, 1) != 1) Fail(name + ": " + archive.LastError());
        }
    };
    std::thread first(editor, 'a'), second(editor, 'b');
    first.join();
    second.join();
    EXPECT_EQ(failures, "");
    ZEMArchZEM result;
    ASSERT_TRUE(result.Open("e.zem"));
    EXPECT_EQ(result.NbFiles(), unsigned(2 * ROUNDS));
    for (int round = 0; round < ROUNDS; ++round) {
        for (const char* who : {"a", "b"})
            EXPECT_NE(result.FindFile((who + std::to_string(round)).c_str()), 0xFFFFFFFFu);
    }
}

// Member streams that one archive opened may be read on different threads at once, and outlive
// the archive: they share its handle, each placing it before it reads.
TEST_F(ThreadPatternsTest, MemberStreamsOfOneArchiveReadOnSeveralThreads) {
    const std::string bytes[] = {std::string(100000, 'x'), std::string(70000, 'y')};
    zemtest::WriteFile("x", bytes[0]);
    zemtest::WriteFile("y", bytes[1]);
    std::unique_ptr<ZEMResFile> streams[2];
    {
        ZEMArchZEM archive;
        const char* paths[] = {"x", "y"};
        ASSERT_TRUE(archive.CreateFrom("m.zem", paths, nullptr, 2, false));
        streams[0].reset(archive.OpenResFile(0));
        streams[1].reset(archive.OpenResFile(1));
        ASSERT_TRUE(streams[0] && streams[1]);
    }
    std::string read[2];
    const auto drain = [&](int which) {
        char block[777];
        while (unsigned got = streams[which]->Read(block, sizeof block))
            read[which].append(block, got);
        streams[which].reset();
    };
    std::thread first(drain, 0), second(drain, 1);
    first.join();
    second.join();
    EXPECT_TRUE(read[0] == bytes[0]);
    EXPECT_TRUE(read[1] == bytes[1]);
}

} // namespace
