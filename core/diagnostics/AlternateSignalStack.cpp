#include "core/diagnostics/AlternateSignalStack.h"

#include <algorithm>
#include <csignal>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The crash handler's own frames are small (its buffers are static), but the
// unwinder and the kernel's signal frame need room.
constexpr size_t kStackBytes = 64 * 1024;

}  // namespace

AlternateSignalStack::AlternateSignalStack() {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t size = std::max(kStackBytes, static_cast<size_t>(sysconf(_SC_SIGSTKSZ)));
    const size_t total = size + page;  // a guard page below, so an overflow here faults
    void* memory = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory == MAP_FAILED)
        return;
    mprotect(memory, page, PROT_NONE);
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(memory) + page;
    stack.ss_size = size;
    if (sigaltstack(&stack, nullptr) != 0) {
        munmap(memory, total);
        return;
    }
    base = memory;
    length = total;
}

AlternateSignalStack::~AlternateSignalStack() {
    if (!base)
        return;
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    munmap(base, length);
}
