// Crashes as the first argument says, with the crash handler installed and the
// dump going to the second argument; it holds a descriptor open without
// close-on-exec, as a library may. Started again by the handler with
// "--crash-message <path>", it plays the message program: it appends what it
// was given, whether its signal mask was empty and the descriptors it holds
// besides the standard three to $QUOR_CRASH_RECORD, and exits.
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <glib.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <map>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/PageCallSink.h"
#include "core/diagnostics/CrashHandler.h"
#include "core/system/Shell.h"
#include "core/text/XmlReading.h"
#include "core/threads/Thread.h"
#include "games/install/ChecksumReaders.h"
#include "games/patching/ReplacementFile.h"

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

void Overflow() {
    std::printf("%d\n", Recurse(0));
}

// Overflows when called on a thread of that name: the program's own code calls
// back on its threads, and only there.
void OverflowOnThread(const char* name) {
    char current[16] = {};
    pthread_getname_np(pthread_self(), current, sizeof current);
    if (std::strcmp(current, name) == 0)
        Overflow();
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

void RunWorker(ThreadName name, void (*job)()) {
    NamedWorker worker(name, job);
    worker.Start();
    std::this_thread::sleep_for(std::chrono::seconds(10));
}

std::string HeldDescriptors() {
    std::string list;
    DIR* folder = opendir("/proc/self/fd");
    for (dirent* entry; folder && (entry = readdir(folder));) {
        int fd = std::atoi(entry->d_name);
        if (entry->d_name[0] == '.' || fd <= 2 || fd == dirfd(folder))
            continue;
        list += (list.empty() ? "" : ",") + std::string(entry->d_name);
    }
    if (folder)
        closedir(folder);
    return list.empty() ? "none" : list;
}

int ShowMessage(const char* path) {
    sigset_t mask;
    sigprocmask(SIG_SETMASK, nullptr, &mask);
    bool empty = true;
    for (int s = 1; s < 32; ++s)
        if (sigismember(&mask, s))
            empty = false;
    const std::string held = HeldDescriptors();  // before the record is opened
    if (const char* record = std::getenv("QUOR_CRASH_RECORD")) {
        std::ofstream(record, std::ios::app)
            << "message " << path << " mask=" << (empty ? "empty" : "blocked") << " fds=" << held << "\n";
    }
    return 0;
}

// A large document read on several threads, whose reader overflows on one of them.
void OverflowInAnXmlReader() {
    struct Reader : xmlread::ChildElementReader {
        void Begin(size_t) override {}
        void Visit(size_t, const TiXmlElement&) override { OverflowOnThread("xml reader"); }
    } reader;
    std::string text = "<list>";
    while (text.size() < (4u << 20))
        text += "<item name=\"a fairly long value that fills the document\"/>";
    text += "</list>";
    xmlread::ReadRootChildren(text, "list", reader);
}

void OverflowInAChecksumReader(const std::string& file) {
    std::ofstream(file) << "some bytes to take the checksum of";
    ChecksumReaders readers({file, file}, 2, [] {
        OverflowOnThread("checksum reader");
        return false;
    });
    readers.Wait(1);
}

// The opener on PATH fails, so the waiter shows the page's message, whose sink
// overflows there.
void OverflowInTheOpenAddressWaiter() {
    struct Sink : PageCallSink {
        void showMessage(const std::string&) override { OverflowOnThread("open address"); }
    } sink;
    PageCallSink::Install(&sink);
    OpenUrl("http://127.0.0.1/", 10000);
    std::this_thread::sleep_for(std::chrono::seconds(10));
}

// Writes past the file-size limit: the patch writer's write gets SIGXFSZ.
void ExceedTheFileSizeLimitInThePatchWriter(const std::string& file) {
    struct rlimit limit {
        3u << 19, RLIM_INFINITY
    };  // 1.5 MiB
    setrlimit(RLIMIT_FSIZE, &limit);
    ReplacementFile replacement(file);
    replacement.Open();
    std::vector<char> block(64 * 1024, 'x');
    for (int i = 0; i < 64; ++i)  // 4 MiB: the writer writes the second MiB and on
        replacement.Write(block.data(), block.size());
    replacement.Commit();
}

void ExceedTheCpuLimit() {
    struct rlimit limit {
        1, 30
    };
    setrlimit(RLIMIT_CPU, &limit);
    for (volatile uint64_t spins = 0;;)
        spins = static_cast<uint64_t>(spins) + 1;
}

// A filter that refuses setdomainname with SIGSYS, as a sandbox does.
void CallARefusedSystemCall() {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_setdomainname, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program);
    syscall(SYS_setdomainname, "x", 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], CrashHandler::kMessageOption) == 0)
        return ShowMessage(argv[2]);
    if (argc < 3)
        return 2;
    struct rlimit none {};
    setrlimit(RLIMIT_CORE, &none);
    const std::string dump = argv[2];
    CrashHandler::Install(dump);
    open("/dev/null", O_RDONLY);
    // A file of the mode's own beside the dump.
    const std::string file = dump + ".data";
    const std::map<std::string, std::function<void()>> modes = {
        {"segv-worker", [] { RunWorker("crasher", CrashThroughNull); }},
        {"segv-main", CrashThroughNull},
        {"exception-thread",
         [] {
             std::thread bare([] {
                 pthread_setname_np(pthread_self(), "thrower");
                 throw std::runtime_error("disc ejected mid-read");
             });
             bare.join();
         }},
        {"overflow-worker", [] { RunWorker("overflower", Overflow); }},
        {"overflow-xml-reader", OverflowInAnXmlReader},
        {"overflow-checksum-reader", [&file] { OverflowInAChecksumReader(file); }},
        {"overflow-open-address", OverflowInTheOpenAddressWaiter},
        {"broken-stack-worker", [] { RunWorker("breaker", CrashWithABrokenStack); }},
        {"g-error", [] { g_error("the display connection broke"); }},
        {"refused-system-call", CallARefusedSystemCall},
        {"cpu-limit", ExceedTheCpuLimit},
        {"file-size-limit-patch-writer", [&file] { ExceedTheFileSizeLimitInThePatchWriter(file); }},
        {"two-crashes",
         [&dump] {
             // The second crash comes while the first one's dump is written.
             std::thread second([&dump] {
                 while (access(dump.c_str(), F_OK) != 0) {
                 }
                 std::abort();
             });
             NamedWorker first("crasher", CrashThroughNull);
             first.Start();
             second.join();
         }},
    };
    auto mode = modes.find(argv[1]);
    if (mode != modes.end())
        mode->second();
    return 3;  // no crash happened
}
