#include "core/Thread.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <functional>

Thread::Thread() = default;

Thread::~Thread() {
    // Derived destructors stop their threads; this only keeps std::thread from
    // terminating the process when a worker destroys itself on its own thread.
    if (handle.joinable()) {
        if (handle.get_id() == std::this_thread::get_id())
            handle.detach();
        else {
            stopRequested.store(true);
            waitCondition.notify_all();
            handle.join();
        }
    }
}

bool Thread::Start() {
    std::lock_guard<std::mutex> guard(joinMutex);
    if (handle.joinable())
        return false;
    stopRequested.store(false);
    try {
        handle = std::thread(&Thread::ThreadProc, this);
    } catch (const std::system_error&) {
        return false;
    }
    threadId = static_cast<uint32_t>(std::hash<std::thread::id>{}(handle.get_id()));
    return true;
}

void Thread::ThreadProc(Thread* self) {
    // An exception never leaves a thread's top: it would end the process.
    try {
        if (self->runOnce) {
            self->Run();
            return;
        }
        while (!self->stopRequested.load())
            self->Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Quor: worker thread ended by exception: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "Quor: worker thread ended by an unknown exception\n");
    }
}

void Thread::Stop() {
    {
        std::lock_guard<std::mutex> w(waitMutex);
        stopRequested.exchange(true);
    }
    waitCondition.notify_all();
    std::lock_guard<std::mutex> guard(joinMutex);
    if (handle.joinable() && handle.get_id() != std::this_thread::get_id())
        handle.join();
}

bool Thread::IsStarted() const {
    return handle.joinable();
}

void Thread::MarkStopped() {
    {
        std::lock_guard<std::mutex> w(waitMutex);
        stopRequested.store(true);
    }
    waitCondition.notify_all();
}

bool Thread::WaitForStop(int64_t ms) {
    std::unique_lock<std::mutex> w(waitMutex);
    if (ms <= 0)
        return stopRequested.load();
    return waitCondition.wait_for(w, std::chrono::milliseconds(ms),
                                  [this] { return stopRequested.load(); });
}
