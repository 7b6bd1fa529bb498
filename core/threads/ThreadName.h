#pragma once
#include <cstddef>

// A thread's name, as the crash dump, ps and the debugger show it: a literal of
// at most 15 bytes, the kernel's limit, checked when the program is compiled.
class ThreadName {
public:
    static constexpr size_t kMaxBytes = 15;

    template <size_t N>
    consteval ThreadName(const char (&literal)[N]) : text(literal) {
        static_assert(N - 1 <= kMaxBytes, "a thread name holds at most 15 bytes");
    }

    // Gives the name to the calling thread.
    void NameCallingThread() const;

private:
    const char* text;
};
