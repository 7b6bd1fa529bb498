#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <latch>
#include <pthread.h>
#include <stdexcept>
#include <string>

#include "core/threads/Singleton.h"
#include "core/threads/StartThread.h"
#include "core/threads/TaskManager.h"
#include "core/threads/Thread.h"
#include "tests/fixtures/RecordingPageCallSink.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"

namespace {

using Clock = std::chrono::steady_clock;

class CountingWorker : public Thread {
public:
    explicit CountingWorker(bool once = false, int64_t sleepMs = 1) : Thread("counting"), sleepMs(sleepMs) {
        SetRunOnce(once);
    }
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
    ASSERT_TRUE(WaitUntil([&] { return w.runs.load() == 1; }));
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
    EXPECT_TRUE(WaitUntil([&] { return w.runs.load() > 0; }));
    w.Stop();
}

TEST(Thread, WorkerInLongWaitStopsPromptly) {
    CountingWorker w(false, 10000);
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(WaitUntil([&] { return w.runs.load() == 1; }));
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

// What the calling thread was given: its name, as the crash dump reads it, and
// its alternate signal stack.
struct ThreadTraits {
    std::string name;
    bool hasSignalStack = false;
    void* signalStack = nullptr;

    static ThreadTraits OfCallingThread() {
        ThreadTraits traits;
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        traits.name = name;
        stack_t stack{};
        sigaltstack(nullptr, &stack);
        traits.hasSignalStack = !(stack.ss_flags & SS_DISABLE);
        traits.signalStack = stack.ss_sp;
        return traits;
    }
};

TEST(StartThread, EachThreadHasItsNameAndASignalStackOfItsOwn) {
    ThreadTraits first, second;
    std::latch bothRecorded(2);  // both run at once, so neither stack is reused
    std::thread a = StartThread("first", [&] {
        first = ThreadTraits::OfCallingThread();
        bothRecorded.arrive_and_wait();
    });
    std::thread b = StartThread("fifteen bytes!!", [&] {
        second = ThreadTraits::OfCallingThread();
        bothRecorded.arrive_and_wait();
    });
    a.join();
    b.join();
    EXPECT_EQ(first.name, "first");
    EXPECT_EQ(second.name, "fifteen bytes!!");
    EXPECT_TRUE(first.hasSignalStack);
    EXPECT_TRUE(second.hasSignalStack);
    EXPECT_NE(first.signalStack, second.signalStack);
}

class TraitsTask : public Task {
public:
    explicit TraitsTask(std::promise<ThreadTraits>& seen) : seen(seen) {}
    void Run() override { seen.set_value(ThreadTraits::OfCallingThread()); }

private:
    std::promise<ThreadTraits>& seen;
};

TEST(Thread, AWorkerRunsUnderItsNameWithASignalStack) {
    class TraitsWorker : public Thread {
    public:
        TraitsWorker() : Thread("traits worker") { SetRunOnce(true); }
        ~TraitsWorker() override { Stop(); }
        std::promise<ThreadTraits> seen;

    protected:
        void Run() override { seen.set_value(ThreadTraits::OfCallingThread()); }
    } worker;
    ASSERT_TRUE(worker.Start());
    ThreadTraits traits = worker.seen.get_future().get();
    EXPECT_EQ(traits.name, "traits worker");
    EXPECT_TRUE(traits.hasSignalStack);

    // The program's own workers are named as well: the task queue, for one.
    std::promise<ThreadTraits> seen;
    TaskManager queue;
    queue.AddTask(new TraitsTask(seen));
    queue.Start();
    traits = seen.get_future().get();
    EXPECT_EQ(traits.name, "task queue");
    EXPECT_TRUE(traits.hasSignalStack);
}

// Runs a call that must finish; a hang (a deadlock) fails the test at once
// instead of waiting for CTest's time-out.
void ExpectFinishesWithin(std::chrono::seconds limit, const std::function<void()>& call) {
    auto done = std::async(std::launch::async, call);
    if (done.wait_for(limit) != std::future_status::ready) {
        std::fprintf(stderr, "call did not finish within %lld s\n", static_cast<long long>(limit.count()));
        std::_Exit(1);  // the hung thread cannot be joined
    }
    done.get();
}

// Calls Stop on itself once its owner has asked it to stop.
class SelfStoppingWorker : public Thread {
public:
    SelfStoppingWorker() : Thread("self stopping") {}
    ~SelfStoppingWorker() override { Stop(); }
    std::atomic<bool> running{false};
    std::atomic<bool> stoppedItself{false};

protected:
    void Run() override {
        running = true;
        WaitForStop(10000);
        Stop();  // on its own thread: must neither join itself nor wait for the owner
        stoppedItself = true;
    }
};

TEST(Thread, WorkerStoppingItselfWhileTheOwnerJoinsDoesNotDeadlock) {
    SelfStoppingWorker w;
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(WaitUntil([&] { return w.running.load(); }));
    ExpectFinishesWithin(std::chrono::seconds(10), [&] { w.Stop(); });
    EXPECT_TRUE(w.stoppedItself.load());
    EXPECT_FALSE(w.IsStarted());
}

// Marks its own stop, as a worker that ends the process does.
class MarkingWorker : public Thread {
public:
    MarkingWorker() : Thread("marking") {}
    ~MarkingWorker() override { Stop(); }
    std::atomic<int> runs{0};

protected:
    void Run() override {
        ++runs;
        MarkStopped();
    }
};

TEST(Thread, WorkerThatMarkedItselfStoppedIsStillJoined) {
    MarkingWorker w;
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(WaitUntil([&] { return w.IsStopRequested(); }));
    EXPECT_TRUE(w.IsStarted());  // ending or ended, but not joined yet
    w.Stop();
    EXPECT_FALSE(w.IsStarted());
    EXPECT_EQ(w.runs.load(), 1);
}

TEST(Thread, TwoThreadsStoppingAtOnceBothReturnAfterTheJoin) {
    CountingWorker w(false, 10000);
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(WaitUntil([&] { return w.runs.load() == 1; }));
    ExpectFinishesWithin(std::chrono::seconds(10), [&] {
        std::thread other([&] { w.Stop(); });
        w.Stop();
        other.join();
    });
    EXPECT_FALSE(w.IsStarted());
    EXPECT_EQ(w.runs.load(), 1);
}

// A run-once job that deletes its own worker on the worker's thread.
class SelfDeletingJob : public Thread {
public:
    explicit SelfDeletingJob(std::atomic<bool>& gone) : Thread("self deleting"), gone(gone) { SetRunOnce(true); }
    ~SelfDeletingJob() override {
        Stop();
        gone = true;
    }

protected:
    void Run() override { delete this; }

private:
    std::atomic<bool>& gone;
};

TEST(Thread, DestructorOnTheWorkerItselfDetaches) {
    std::atomic<bool> gone{false};
    ASSERT_TRUE((new SelfDeletingJob(gone))->Start());
    ASSERT_TRUE(WaitUntil([&] { return gone.load(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the process is still here
}

// Throws on its first step.
class FailingOnceWorker : public Thread {
public:
    FailingOnceWorker() : Thread("failing once") {}
    ~FailingOnceWorker() override { Stop(); }
    std::atomic<int> runs{0};

protected:
    void Run() override {
        if (++runs == 1)
            throw std::runtime_error("La falla!");
        WaitForStop(5);
    }
};

TEST(Thread, ExceptionInALoopingWorkerIsCaughtAndTheLoopGoesOn) {
    FailingOnceWorker w;
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(WaitUntil([&] { return w.runs.load() >= 3; }));
    w.Stop();
    EXPECT_FALSE(w.IsStarted());
}

TEST(Thread, VeryLongWaitStillWaitsAndStops) {
    CountingWorker w(false, INT64_MAX);
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(WaitUntil([&] { return w.runs.load() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(w.runs.load(), 1);  // an overflowing deadline would return at once, again and again
    auto start = Clock::now();
    w.Stop();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

TEST(Thread, StoppedWorkerCanBeStartedAgain) {
    CountingWorker w;
    ASSERT_TRUE(w.Start());
    ASSERT_FALSE(w.Start());  // already running
    w.Stop();
    const int before = w.runs.load();
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(WaitUntil([&] { return w.runs.load() > before; }));
    w.Stop();
}

TEST(TaskManager, QueuesFiveHundredBeforeStartAndRunsThemInOrder) {
    std::vector<int> log;
    std::mutex m;
    TaskManager tm;
    for (int i = 0; i < 500; ++i)
        EXPECT_TRUE(tm.AddTask(new RecordingTask(log, m, i)));
    EXPECT_FALSE(tm.AddTask(new RecordingTask(log, m, 500)));
    ASSERT_TRUE(tm.Start());
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard<std::mutex> g(m);
        return log.size() == 500;
    }));
    tm.Stop();
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(log[i], i);
}

// The idle worker sleeps until a task arrives, for up to a minute: a task
// queued while it is idle, or just as it goes to sleep, must wake it, every time.
TEST(TaskManager, AnIdleQueueWakesForEveryTaskQueued) {
    std::vector<int> log;
    std::mutex m;
    TaskManager tm;
    ASSERT_TRUE(tm.Start());
    for (int i = 0; i < 50; ++i) {
        if (i % 10 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // now and then well asleep
        ASSERT_TRUE(tm.AddTask(new RecordingTask(log, m, i)));
        ASSERT_TRUE(WaitUntil(
            [&] {
                std::lock_guard<std::mutex> g(m);
                return log.size() == static_cast<size_t>(i + 1);
            },
            20000))
            << "task " << i << " was not run";
    }
    tm.Stop();
}

class WakeableWorker : public Thread {
public:
    WakeableWorker() : Thread("wakeable") {}
    ~WakeableWorker() override { Stop(); }
    std::atomic<int> wakes{0};

protected:
    void Run() override {
        if (!WaitForStopOrWake(60000))
            ++wakes;
    }
};

TEST(Thread, AWakeEndsTheWaitAndAStopStillEndsTheWorker) {
    WakeableWorker w;
    w.Wake();  // before the thread waits: its first wait ends at once
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(WaitUntil([&] { return w.wakes.load() == 1; }));
    w.Wake();
    ASSERT_TRUE(WaitUntil([&] { return w.wakes.load() == 2; }));
    auto t0 = Clock::now();
    w.Stop();
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(30));
    EXPECT_EQ(w.wakes.load(), 2);
}

TEST(TaskManager, ThrowingTaskDoesNotStopTheQueue) {
    std::vector<int> log;
    std::mutex m;
    TaskManager tm;
    tm.AddTask(new RecordingTask(log, m, 1, 0, true));
    tm.AddTask(new RecordingTask(log, m, 2));
    tm.Start();
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard<std::mutex> g(m);
        return log.size() == 1;
    }));
    tm.Stop();
    EXPECT_EQ(log, std::vector<int>{2});
}

TEST(TaskManager, FailingTaskIsWrittenToStandardErrorAndNotReported) {
    // A report of the failure would itself be a task (and could fail in turn):
    // it would show here as a waiting task or as the page's "Error" event.
    TestEnvironment env;
    RecordingPageCallSink page;
    std::vector<int> log;
    std::mutex m;
    TaskManager tm;
    tm.AddTask(new RecordingTask(log, m, 1, 0, true));
    tm.AddTask(new RecordingTask(log, m, 2));
    testing::internal::CaptureStderr();
    tm.Start();
    const bool ran = WaitUntil([&] {
        std::lock_guard<std::mutex> g(m);
        return log.size() == 1;
    });
    tm.Stop();
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ran);
    EXPECT_NE(err.find("La falla!"), std::string::npos) << err;
    EXPECT_EQ(tm.WaitingCount(), 0u);
    EXPECT_TRUE(page.Calls().empty());
}

TEST(TaskManager, StopDuringLongTaskWaitsForItAndRunsNothingAfter) {
    std::vector<int> log;
    std::mutex m;
    TaskManager tm;
    tm.AddTask(new RecordingTask(log, m, 1, 300));
    tm.AddTask(new RecordingTask(log, m, 2));
    tm.Start();
    ASSERT_TRUE(WaitUntil([&] { return tm.WaitingCount() == 1; }));  // the first is running
    tm.Stop();
    EXPECT_EQ(log, std::vector<int>{1});
}

}  // namespace
