#include "core/threads/Thread.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
#include <future>

#include "core/threads/StartThread.h"
#include "platform/Log.h"

namespace {

// Longer waits are cut to this (about 100 years): the condition variable's
// deadline is kept in nanoseconds and would overflow into the past.
constexpr int64_t kLongestWaitMs = int64_t{100} * 365 * 24 * 3600 * 1000;

// After a failed step a looping worker pauses before the next one, so a fault
// that repeats cannot spin.
constexpr int64_t kPauseAfterFailureMs = 100;

void ReportFailure(const char* what) {
    Log::Error("worker step failed: %s", what);
}

}  // namespace

Thread::Thread(ThreadName name) : name(name) {}

Thread::~Thread() {
    // Derived destructors stop their threads; this only keeps std::thread from
    // terminating the process when a worker destroys itself on its own thread.
    if (handle.joinable()) {
        if (handle.get_id() == std::this_thread::get_id()) {
            handle.detach();
        } else {
            RequestStop();
            handle.join();
        }
    }
}

bool Thread::Start() {
    // The worker waits for this before it runs: a run-once job may delete its
    // worker as soon as it runs, and Start must be done with the object by then,
    // its join lock released included (a lock held across the handle's store
    // alone would still be unlocked after the worker may have gone).
    std::promise<void> go;
    {
        std::lock_guard<std::mutex> guard(joinMutex);
        if (handle.joinable())
            return false;
        stopRequested.store(false);
        workerId.store(std::thread::id());
        try {
            handle =
                StartThread(name, [this, ready = go.get_future()]() mutable { ThreadProc(this, std::move(ready)); });
        } catch (const std::system_error&) {
            return false;
        }
        threadId = static_cast<uint32_t>(std::hash<std::thread::id>{}(handle.get_id()));
        started.store(true);
    }
    go.set_value();  // nothing of this object is touched after it
    return true;
}

void Thread::ThreadProc(Thread* self, std::future<void> go) {
    go.wait();
    self->workerId.store(std::this_thread::get_id());
    // An exception never leaves a thread's top: it would end the process. A
    // run-once worker ends with its failed job; a looping one goes on.
    if (self->runOnce) {
        // Nothing of self is touched after Run: a run-once job may delete its worker.
        try {
            self->Run();
        } catch (const std::exception& e) {
            ReportFailure(e.what());
        } catch (...) {
            ReportFailure("unknown exception");
        }
        return;
    }
    while (!self->stopRequested.load()) {
        try {
            self->Run();
        } catch (const std::exception& e) {
            ReportFailure(e.what());
            self->WaitForStop(kPauseAfterFailureMs);
        } catch (...) {
            ReportFailure("unknown exception");
            self->WaitForStop(kPauseAfterFailureMs);
        }
    }
}

bool Thread::RequestStop() {
    bool wasRequested;
    {
        // Under the wait lock, so a worker about to wait cannot miss the signal.
        std::lock_guard<std::mutex> w(waitMutex);
        wasRequested = stopRequested.exchange(true);
    }
    waitCondition.notify_all();
    return wasRequested;
}

void Thread::Stop() {
    RequestStop();
    // A worker never waits for itself; its owner joins it later. Tested before
    // the join lock: the owner may hold it while joining this very thread.
    if (workerId.load() == std::this_thread::get_id())
        return;
    std::lock_guard<std::mutex> guard(joinMutex);
    if (handle.joinable() && handle.get_id() != std::this_thread::get_id()) {
        handle.join();
        started.store(false);
        workerId.store(std::thread::id());  // the id may be given to a new thread now
    }
}

bool Thread::IsStarted() const {
    return started.load();
}

void Thread::MarkStopped() {
    RequestStop();
}

bool Thread::WaitForStop(int64_t ms) {
    std::unique_lock<std::mutex> w(waitMutex);
    if (ms <= 0)
        return stopRequested.load();
    ms = std::min(ms, kLongestWaitMs);
    return waitCondition.wait_for(w, std::chrono::milliseconds(ms), [this] { return stopRequested.load(); });
}

bool Thread::WaitForStopOrWake(int64_t ms) {
    std::unique_lock<std::mutex> w(waitMutex);
    if (ms > 0)
        waitCondition.wait_for(w, std::chrono::milliseconds(std::min(ms, kLongestWaitMs)),
                               [this] { return stopRequested.load() || wakeRequested; });
    wakeRequested = false;
    return stopRequested.load();
}

void Thread::Wake() {
    {
        // Under the wait lock, so a worker about to wait cannot miss it.
        std::lock_guard<std::mutex> w(waitMutex);
        wakeRequested = true;
    }
    waitCondition.notify_all();
}
