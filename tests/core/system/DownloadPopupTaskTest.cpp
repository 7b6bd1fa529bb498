#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <string>

#include "core/settings/Prefs.h"
#include "core/system/DownloadPopupTask.h"
#include "core/text/Messages.h"
#include "core/threads/TaskManager.h"
#include "tests/core/system/ProcessTestHelpers.h"
#include "tests/fixtures/RecordingPageCallSink.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"

namespace {

TEST(DownloadPopupTask, DelayIsNeverNegativeAndDoesNotWrap) {
    const struct {
        int32_t seconds;
        int64_t ms;
    } cases[] = {{0, 0}, {-1, 0}, {INT32_MIN, 0}, {3, 3000}, {INT32_MAX, 2147483647000LL}};
    for (const auto& c : cases)
        EXPECT_EQ(DownloadPopupTask(c.seconds, "http://127.0.0.1/").DelayMilliseconds(), c.ms) << c.seconds;
}

class DownloadPopupQueueTest : public ::testing::Test {
protected:
    TestEnvironment env;
    RecordingPageCallSink page;
    std::unique_ptr<ScopedPath> path;
    std::string record = env.Path("opened");

    void SetUp() override {
        WriteWithMode(
            env, "fake-bin/xdg-open",
            "#!/bin/sh\nprintf '%s' \"$1\" > '" + record + ".tmp'\nmv '" + record + ".tmp' '" + record + "'\n", 0755);
        path = std::make_unique<ScopedPath>(ScopedPath::WithFirst(env.Path("fake-bin")));
    }
    bool Opened() { return !TestEnvironment::ReadFile(record).empty(); }
};

TEST_F(DownloadPopupQueueTest, StopDuringTheDelayOpensNothing) {
    TaskManager queue;
    // The largest delay: its milliseconds overflow 32 bits.
    ASSERT_TRUE(queue.AddTask(new DownloadPopupTask(INT32_MAX, "http://127.0.0.1/popup")));
    ASSERT_TRUE(queue.Start());
    ASSERT_TRUE(WaitUntil([&] { return queue.WaitingCount() == 0; }));
    auto start = std::chrono::steady_clock::now();
    queue.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(Opened());
    EXPECT_TRUE(page.Calls().empty());
}

TEST_F(DownloadPopupQueueTest, NegativeDelayOpensThePageAtOnce) {
    TaskManager queue;
    ASSERT_TRUE(queue.AddTask(new DownloadPopupTask(-30, "http://127.0.0.1/popup?game=Space Game")));
    ASSERT_TRUE(queue.Start());
    EXPECT_TRUE(WaitUntil([&] { return Opened(); }));
    queue.Stop();
    EXPECT_EQ(TestEnvironment::ReadFile(record), "http://127.0.0.1/popup?game=Space Game");
}

TEST_F(DownloadPopupQueueTest, AddressTheBrowserCannotOpenShowsMessage28) {
    // Shown in the user's language, reported in English (the report is the next task).
    Prefs::SetNumber("Language", 3);
    TaskManager queue;
    ASSERT_TRUE(queue.AddTask(new DownloadPopupTask(0, "file:///etc/passwd")));
    ASSERT_TRUE(queue.Start());
    EXPECT_TRUE(WaitUntil([&] { return !page.CallsOf("trackEvent").empty(); }));
    queue.Stop();
    ASSERT_EQ(page.CallsOf("showMessage").size(), 1u);
    EXPECT_EQ(page.CallsOf("showMessage").at(0).args,
              std::vector<std::string>{"Start des Standard-Browsers ist fehlgeschlagen."});
    ASSERT_EQ(page.CallsOf("trackEvent").size(), 1u);
    EXPECT_EQ(page.CallsOf("trackEvent").at(0).args.at(0), "Error");
    EXPECT_EQ(page.CallsOf("trackEvent").at(0).args.at(1), "Failed to launch the default web browser.");
    EXPECT_FALSE(Opened());
}

}  // namespace
