#pragma once
#include <thread>
#include <utility>

#include "core/diagnostics/AlternateSignalStack.h"
#include "core/threads/ThreadName.h"

// The one way the program starts a thread, Thread's workers included. Before
// the job runs, the new thread takes its name and an alternate signal stack of
// its own, kept until the job returns, so that the crash handler also runs when
// the job overflows the thread's stack (an alternate stack covers only the
// thread that made it). Joined or detached by the caller like any std::thread;
// throws std::system_error when no thread can be had. An exception that leaves
// the job ends the process through the crash handler.
template <typename Job>
std::thread StartThread(ThreadName name, Job&& job) {
    return std::thread([name, job = std::forward<Job>(job)]() mutable {
        AlternateSignalStack signalStack;
        name.NameCallingThread();
        job();
    });
}
