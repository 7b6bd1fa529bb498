#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <mutex>
#include <thread>

#include "core/threads/ThreadName.h"

// Base of every worker: owns one thread, started through StartThread under the
// worker's name, and calls Run on it, once for a run-once worker, else again and
// again until a stop is requested. Each derived class's destructor calls Stop
// before releasing what its thread uses.
class Thread {
public:
    explicit Thread(ThreadName name);
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts the thread; false when it could not be created. The stop request is
    // cleared before the thread runs.
    bool Start();

    // Requests the stop (once) and, unless called on the worker itself, joins the
    // thread. Does nothing when no thread was started.
    void Stop();

    bool IsStopRequested() const { return stopRequested.load(); }
    // A thread was started and has not been joined yet.
    bool IsStarted() const;
    uint32_t ThreadId() const { return threadId; }

    // The only sleep workers use: waits up to ms milliseconds and returns true as
    // soon as a stop is requested.
    bool WaitForStop(int64_t ms);
    // The same wait, also ended by Wake (a wake that came before the wait ends
    // it at once). True when a stop is requested.
    bool WaitForStopOrWake(int64_t ms);
    // Ends the worker's current or next WaitForStopOrWake. Safe from any thread.
    void Wake();

protected:
    virtual void Run() = 0;
    void SetRunOnce(bool value) { runOnce = value; }
    // A worker that ends the process itself marks its stop without waiting for
    // itself; its owner still joins it.
    void MarkStopped();

private:
    static void ThreadProc(Thread* self, std::future<void> go);
    bool RequestStop();  // true when a stop was already requested

    const ThreadName name;
    std::thread handle;
    std::atomic<std::thread::id> workerId{};  // the running worker's own thread
    std::atomic<bool> started{false};
    uint32_t threadId = 0;
    std::atomic<bool> stopRequested{false};
    bool wakeRequested = false;  // under waitMutex
    bool runOnce = false;
    std::mutex joinMutex;  // one joiner at a time
    std::mutex waitMutex;
    std::condition_variable waitCondition;
};
