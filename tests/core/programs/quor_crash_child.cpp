// Crashes as the first argument says, with the crash handler installed and the
// dump going to the second argument. Started again by the handler with
// "--crash-message <path>", it plays the message program: it appends what it
// was given (and whether its signal mask was empty) to $QUOR_CRASH_RECORD,
// waits $QUOR_CRASH_MESSAGE_DELAY_MS, and exits.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <pthread.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <thread>

#include "core/diagnostics/CrashHandler.h"
#include "core/threads/Thread.h"

// Read at run time, so the compiler can neither see the null nor drop the store.
volatile int* volatile nullTarget = nullptr;

extern "C" __attribute__((noinline)) void CrashThroughNull() {
    *nullTarget = 42;
}

// Faults with a stack pointer that points nowhere, so that walking the stack in
// the handler faults again.
extern "C" __attribute__((noinline)) void CrashWithABrokenStack() {
#if defined(__x86_64__)
    asm volatile("mov $0x10, %%rsp\n\tmovl $42, (%0)" : : "r"(nullTarget) : "memory");
#endif
    CrashThroughNull();
}

namespace {

// Deeper than any stack; volatile, so the compiler sees an end it cannot rule out.
volatile int deepest = 1 << 30;

__attribute__((noinline)) int Recurse(int depth) {
    if (depth > deepest)
        return 0;
    volatile char frame[512];
    frame[0] = static_cast<char>(depth);
    return Recurse(depth + 1) + frame[0];
}

class NamedWorker : public Thread {
public:
    NamedWorker(ThreadName name, void (*job)()) : Thread(name), job(job) { SetRunOnce(true); }
    ~NamedWorker() override { Stop(); }

protected:
    void Run() override { job(); }

private:
    void (*job)();
};

int ShowMessage(const char* path) {
    sigset_t mask;
    sigprocmask(SIG_SETMASK, nullptr, &mask);
    bool empty = true;
    for (int s = 1; s < 32; ++s)
        if (sigismember(&mask, s))
            empty = false;
    if (const char* record = std::getenv("QUOR_CRASH_RECORD")) {
        std::ofstream(record, std::ios::app) << "message " << path << " mask=" << (empty ? "empty" : "blocked") << "\n";
    }
    if (const char* delay = std::getenv("QUOR_CRASH_MESSAGE_DELAY_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(delay)));
    return 0;
}

bool RecordSaysShown() {
    const char* record = std::getenv("QUOR_CRASH_RECORD");
    std::ifstream in(record ? record : "");
    std::stringstream text;
    text << in.rdbuf();
    return text.str().find("message ") != std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], CrashHandler::kMessageOption) == 0)
        return ShowMessage(argv[2]);
    if (argc < 3)
        return 2;
    struct rlimit none {};
    setrlimit(RLIMIT_CORE, &none);
    CrashHandler::Install(argv[2]);
    std::string mode = argv[1];
    if (mode == "segv-worker") {
        NamedWorker worker("crasher", CrashThroughNull);
        worker.Start();
        std::this_thread::sleep_for(std::chrono::seconds(10));
    } else if (mode == "segv-main") {
        CrashThroughNull();
    } else if (mode == "exception-thread") {
        std::thread bare([] {
            pthread_setname_np(pthread_self(), "thrower");
            throw std::runtime_error("disc ejected mid-read");
        });
        bare.join();
    } else if (mode == "overflow-worker") {
        NamedWorker worker("overflower", [] { std::printf("%d\n", Recurse(0)); });
        worker.Start();
        std::this_thread::sleep_for(std::chrono::seconds(10));
    } else if (mode == "broken-stack-worker") {
        NamedWorker worker("breaker", CrashWithABrokenStack);
        worker.Start();
        std::this_thread::sleep_for(std::chrono::seconds(10));
    } else if (mode == "two-crashes") {
        // The second crash comes while the first one's message is showing.
        std::thread second([] {
            while (!RecordSaysShown())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            std::abort();
        });
        NamedWorker first("crasher", CrashThroughNull);
        first.Start();
        second.join();
    }
    return 3;  // no crash happened
}
