#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>

#include "core/Singleton.h"
#include "core/TaskManager.h"
#include "core/Thread.h"

namespace {

using Clock = std::chrono::steady_clock;

class CountingWorker : public Thread {
public:
    explicit CountingWorker(bool once = false, int64_t sleepMs = 1) : sleepMs(sleepMs) { SetRunOnce(once); }
    ~CountingWorker() override { Stop(); }
    std::atomic<int> runs{0};

protected:
    void Run() override {
        ++runs;
        WaitForStop(sleepMs);
    }

private:
    int64_t sleepMs;
};

TEST(Thread, StopOnNeverStartedObjectReturnsAtOnce) {
    CountingWorker w;
    w.Stop();
    w.Stop();
    EXPECT_EQ(w.runs.load(), 0);
    EXPECT_FALSE(w.IsStarted());
}

TEST(Thread, RunOnceWorkerRunsExactlyOnceAndIsStillJoined) {
    CountingWorker w(true);
    ASSERT_TRUE(w.Start());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(w.runs.load(), 1);
    w.Stop();
    EXPECT_FALSE(w.IsStarted());
    w.Stop();  // joins once
}

TEST(Thread, StopRequestIsClearedBeforeTheThreadStarts) {
    CountingWorker w;
    w.Stop();  // request set before any thread exists
    ASSERT_TRUE(w.Start());
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_GT(w.runs.load(), 0);
    w.Stop();
}

TEST(Thread, WorkerInLongWaitStopsPromptly) {
    CountingWorker w(false, 10000);
    ASSERT_TRUE(w.Start());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto start = Clock::now();
    w.Stop();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

class Manager : public Singleton<Manager> {};

TEST(Singleton, PointerFollowsTheInstanceLifetime) {
    EXPECT_EQ(Manager::Instance(), nullptr);
    {
        Manager m;
        EXPECT_EQ(Manager::Instance(), &m);
    }
    EXPECT_EQ(Manager::Instance(), nullptr);
}

class RecordingTask : public Task {
public:
    RecordingTask(std::vector<int>& log, std::mutex& m, int n, int sleepMs = 0, bool fail = false)
        : log(log), m(m), n(n), sleepMs(sleepMs), fail(fail) {}
    void Run() override {
        if (sleepMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
        if (fail)
            throw std::runtime_error("La falla!");
        std::lock_guard<std::mutex> g(m);
        log.push_back(n);
    }

private:
    std::vector<int>& log;
    std::mutex& m;
    int n, sleepMs;
    bool fail;
};

bool WaitUntil(const std::function<bool()>& done, int ms = 5000) {
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

TEST(TaskManager, QueuesFiveHundredBeforeStartAndRunsThemInOrder) {
    std::vector<int> log;
    std::mutex m;
    TaskManager tm;
    for (int i = 0; i < 500; ++i)
        EXPECT_TRUE(tm.AddTask(new RecordingTask(log, m, i)));
    EXPECT_FALSE(tm.AddTask(new RecordingTask(log, m, 500)));
    ASSERT_TRUE(tm.Start());
    ASSERT_TRUE(WaitUntil([&] { std::lock_guard<std::mutex> g(m); return log.size() == 500; }));
    tm.Stop();
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(log[i], i);
}

TEST(TaskManager, ThrowingTaskDoesNotStopTheQueue) {
    std::vector<int> log;
    std::mutex m;
    TaskManager tm;
    tm.AddTask(new RecordingTask(log, m, 1, 0, true));
    tm.AddTask(new RecordingTask(log, m, 2));
    tm.Start();
    ASSERT_TRUE(WaitUntil([&] { std::lock_guard<std::mutex> g(m); return log.size() == 1; }));
    tm.Stop();
    EXPECT_EQ(log, std::vector<int>{2});
}

TEST(TaskManager, StopDuringLongTaskWaitsForItAndRunsNothingAfter) {
    std::vector<int> log;
    std::mutex m;
    TaskManager tm;
    tm.AddTask(new RecordingTask(log, m, 1, 300));
    tm.AddTask(new RecordingTask(log, m, 2));
    tm.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    tm.Stop();
    EXPECT_EQ(log, std::vector<int>{1});
}

}  // namespace
