#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/settings/CredentialManager.h"
#include "games/catalogue/GameMonitor.h"
#include "tests/fixtures/FakeClock.h"
#include "tests/fixtures/RecordingPageCallSink.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"

namespace {

TEST(GameMonitor, IsCheckDueAtTheBoundaries) {
    FakeClock clock(1000000);
    GameMonitor monitor(clock, [] {});
    EXPECT_TRUE(monitor.IsCheckDue("Duskmarch", true));  // never checked
    EXPECT_TRUE(monitor.IsCheckDue("Duskmarch", false));
    monitor.MarkChecked("Duskmarch");
    struct Case {
        int64_t after;
        bool shortDue;
        bool longDue;
    } cases[] = {
        {0, false, false}, {3600, false, false}, {3601, true, false}, {7200, true, false}, {7201, true, true},
    };
    for (const auto& c : cases) {
        clock.Set(1000000 + c.after);
        EXPECT_EQ(monitor.IsCheckDue("Duskmarch", true), c.shortDue) << c.after;
        EXPECT_EQ(monitor.IsCheckDue("Duskmarch", false), c.longDue) << c.after;
    }
    EXPECT_TRUE(monitor.IsCheckDue("Ironvale", false));  // each game has its own time
}

TEST(GameMonitor, PollsOnlyOnceAPeriodIsSet) {
    FakeClock clock;
    std::atomic<int> polls{0};
    GameMonitor monitor(clock, [&] { ++polls; });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(polls.load(), 0);  // idle until a manifest sets the period
    monitor.SetPeriod(-1);
    EXPECT_EQ(polls.load(), 0);
    monitor.SetPeriod(20);
    // The idle wait ends within 10 s; then a poll every 20 ms.
    EXPECT_TRUE(WaitUntil([&] { return polls.load() >= 3; }, 30000));
}

// A period of 0 or less keeps the monitor in its idle wait, however often it
// looks again; it never polls on every pass.
TEST(GameMonitor, PeriodOfZeroOrLessNeverPolls) {
    FakeClock clock;
    std::atomic<int> polls{0};
    GameMonitor monitor(
        clock, [&] { ++polls; }, 5);
    for (int32_t period : {0, -1, -600000}) {
        monitor.SetPeriod(period);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));  // some 30 idle passes
        EXPECT_EQ(polls.load(), 0) << period;
    }
    monitor.SetPeriod(10);
    EXPECT_TRUE(WaitUntil([&] { return polls.load() >= 3; }));
}

TEST(GameMonitor, PollAsksThePageOnlyWithASavedToken) {
    TestEnvironment env;
    RecordingPageCallSink page;
    FakeClock clock;
    CredentialManager credentials(clock);
    GameMonitor monitor(clock);
    monitor.Poll();
    EXPECT_TRUE(page.CallsOf("checkForValidSession").empty());
    credentials.SaveAuthToken("token");
    monitor.Poll();
    EXPECT_EQ(page.CallsOf("checkForValidSession").size(), 1u);
}

TEST(GameMonitor, StopDoesNotWaitOutTheSleep) {
    FakeClock clock;
    auto monitor = std::make_unique<GameMonitor>(clock, [] {});
    monitor->SetPeriod(600000);
    auto started = std::chrono::steady_clock::now();
    monitor.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(GameMonitor, CheckTimesAreSafeFromSeveralThreads) {
    FakeClock clock;
    GameMonitor monitor(clock, [] {});
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                std::string game = "g" + std::to_string((i + t) % 50);
                monitor.MarkChecked(game);
                EXPECT_FALSE(monitor.IsCheckDue(game, true));
            }
        });
    for (auto& thread : threads)
        thread.join();
}

}  // namespace
