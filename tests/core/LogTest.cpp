#include "ZEMTestSupport.h"

#include <zem/core.h>

#include <cstring>
#include <string>

using zemtest::LogCapture;
using zemtest::ReadFile;

class LogTest : public zemtest::TempDirTest {};

TEST_F(LogTest, LevelIsClampedAndZeroSilences) {
    ZEM::SetLogLevel(1000);
    EXPECT_EQ(ZEM::GetLogLevel(), 255u);
    LogCapture capture;
    ZEM::SetLogLevel(0);
    ZEM::LOGL(200, "a");
    ZEM::ERROR("b");
    EXPECT_EQ(capture.Text(), "");
}

TEST_F(LogTest, LevelsFilterMessages) {
    LogCapture capture;
    ZEM::SetLogLevel(100);
    ZEM::ERROR("e");
    ZEM::WARNING("w");
    ZEM::LOG("l%d", 1);
    ZEM::DBG("d");
    ZEM::LOGL(0, "zero");
    ZEM::LOGL(101, "above");
    ZEM::LOGL(100, "at");
    ZEM::LOG(nullptr);
    EXPECT_EQ(capture.Text(), "ewl1at");
    ZEM::SetLogLevel(200);
    ZEM::DBG("d");
    EXPECT_EQ(capture.Text(), "ewl1atd");
}

TEST_F(LogTest, SinkTakesWhatPassesTheLevelInPlaceOfTheTarget) {
    LogCapture capture;
    std::string caught;
    ZEM::SetLogSink(
        [](const char* message, void* to) { *static_cast<std::string*>(to) += message; }, &caught);
    const std::string longer(5000, 'x');
    ZEM::LOG("l%d|", 1);
    ZEM::DBG("hidden");
    ZEM::LOG("%s|", longer.c_str());
    ZEM::SetLogSink(nullptr, nullptr);
    ZEM::LOG("target");
    EXPECT_EQ(caught, "l1|" + longer + "|");
    EXPECT_EQ(capture.Text(), "target");
}

TEST_F(LogTest, TargetsSwitchAndFallBack) {
    EXPECT_FALSE(ZEM::SetLogTarget(2, nullptr));
    EXPECT_EQ(ZEM::GetLogTarget(), 0u);
    EXPECT_FALSE(ZEM::SetLogTarget(2, "no/such/dir/log.txt"));
    EXPECT_EQ(ZEM::GetLogTarget(), 0u);
    EXPECT_TRUE(ZEM::SetLogTarget(7, "x"));
    EXPECT_EQ(ZEM::GetLogTarget(), 0u);
    EXPECT_TRUE(ZEM::SetLogTarget(1, nullptr));
    EXPECT_EQ(ZEM::GetLogTarget(), 1u);
    ZEM::CloseLog(); // nothing to close for standard error
    EXPECT_EQ(ZEM::GetLogTarget(), 1u);
    EXPECT_TRUE(ZEM::SetLogTarget(0, nullptr));
}

TEST_F(LogTest, FileTargetIsEmptiedOnOpenAndFlushedAtOnce) {
    ASSERT_TRUE(ZEM::SetLogTarget(2, "log.txt"));
    ZEM::LOG("first\n");
    EXPECT_EQ(zemtest::ReadText("log.txt"), "first\n");
    ASSERT_TRUE(ZEM::SetLogTarget(2, "log.txt"));
    ZEM::LOG("second\n");
    EXPECT_EQ(zemtest::ReadText("log.txt"), "second\n");
    // Switching to standard error closes the file; later messages do not reach it.
    EXPECT_TRUE(ZEM::SetLogTarget(1, nullptr));
    ZEM::CloseLog();
    EXPECT_EQ(ZEM::GetLogTarget(), 1u);
    ZEM::SetLogTarget(0, nullptr);
    EXPECT_EQ(zemtest::ReadText("log.txt"), "second\n");
}

TEST(VersionTest, AllFormsAgree) {
    const ZEMVersion* v = ZEM::Versionv();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->major, 0);
    EXPECT_EQ(v->minor, 20);
    EXPECT_EQ(v->release, 0);
    EXPECT_EQ(ZEM::Versioni(), 2000);
    EXPECT_STREQ(ZEM::Versiont(), "0.20.0");
    EXPECT_EQ(v, ZEM::Versionv());
}
