#pragma once
#include <cstddef>

// A signal stack for the calling thread, so that the crash handler still runs
// when the thread has overflowed its own stack. An alternate stack covers only
// the thread that sets it: StartThread makes one at the top of every thread the
// program starts, kept until it ends, and the crash handler's Install one for
// the installing thread. Does nothing when the memory cannot be had.
class AlternateSignalStack {
public:
    AlternateSignalStack();
    ~AlternateSignalStack();
    AlternateSignalStack(const AlternateSignalStack&) = delete;
    AlternateSignalStack& operator=(const AlternateSignalStack&) = delete;

    bool IsActive() const { return base != nullptr; }

private:
    void* base = nullptr;
    size_t length = 0;
};
