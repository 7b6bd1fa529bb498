#include "core/diagnostics/CrashHandler.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cxxabi.h>
#include <dirent.h>
#include <exception>
#include <execinfo.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include "core/diagnostics/AlternateSignalStack.h"
#include "core/diagnostics/SignalSafeText.h"
#include "core/system/SystemPaths.h"
#include "platform/DurableFiles.h"
#include "platform/PathParts.h"

extern char** environ;

namespace {

// Every signal whose default action ends the process with a core dump, but
// SIGQUIT, which a user sends on purpose. SIGTRAP is how a fatal GLib or GTK
// error (g_error, a fatal X error of the toolkit) ends the program.
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGSYS, SIGXCPU, SIGXFSZ};
// SIGSYS's code for a system call a seccomp filter refused (glibc leaves it to
// the kernel's headers, which clash with its own).
constexpr int kSeccompCode = 1;
constexpr int kMaxFrames = 64;
constexpr size_t kModuleNameBytes = 512;

// Everything the handler touches, in static storage and filled by Install.
struct HandlerState {
    char dumpPath[PATH_MAX] = {};
    char dumpFolder[PATH_MAX] = {};
    char program[PATH_MAX] = {};
    char option[32] = {};
    char* argv[4] = {};
    std::atomic<pid_t> owner{0};  // the thread handling the crash

    // Left by the terminate hook for the dump.
    std::atomic<bool> hasException{false};
    char exceptionType[256] = {};
    char exceptionWhat[1024] = {};

    void* frames[kMaxFrames] = {};
    uintptr_t moduleStart[kMaxFrames] = {};
    uintptr_t moduleOffset[kMaxFrames] = {};
    char moduleName[kMaxFrames][kModuleNameBytes] = {};
    char readBuffer[4096] = {};
    char line[1024] = {};
    char dirents[4096] = {};
};

HandlerState state;

void CopyText(char* to, size_t size, const char* from) {
    size_t n = 0;
    for (; from && from[n] != '\0' && n + 1 < size; ++n)
        to[n] = from[n];
    to[n] = '\0';
}

const char* SignalName(int number) {
    switch (number) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGABRT: return "SIGABRT";
    case SIGTRAP: return "SIGTRAP";
    case SIGSYS: return "SIGSYS";
    case SIGXCPU: return "SIGXCPU";
    case SIGXFSZ: return "SIGXFSZ";
    default: return "signal";
    }
}

const char* CodeName(int number, int code) {
    switch (code) {
    case SI_USER: return "SI_USER";
    case SI_TKILL: return "SI_TKILL";
    case SI_QUEUE: return "SI_QUEUE";
    case SI_KERNEL: return "SI_KERNEL";
    default: break;
    }
    if (number == SIGSEGV)
        return code == SEGV_MAPERR ? "SEGV_MAPERR" : code == SEGV_ACCERR ? "SEGV_ACCERR" : "";
    if (number == SIGBUS)
        return code == BUS_ADRALN   ? "BUS_ADRALN"
               : code == BUS_ADRERR ? "BUS_ADRERR"
               : code == BUS_OBJERR ? "BUS_OBJERR"
                                    : "";
    if (number == SIGFPE)
        return code == FPE_INTDIV   ? "FPE_INTDIV"
               : code == FPE_INTOVF ? "FPE_INTOVF"
               : code == FPE_FLTDIV ? "FPE_FLTDIV"
                                    : "";
    if (number == SIGILL)
        return code == ILL_ILLOPC   ? "ILL_ILLOPC"
               : code == ILL_ILLOPN ? "ILL_ILLOPN"
               : code == ILL_PRVOPC ? "ILL_PRVOPC"
                                    : "";
    if (number == SIGTRAP)
        return code == TRAP_BRKPT ? "TRAP_BRKPT" : code == TRAP_TRACE ? "TRAP_TRACE" : "";
    if (number == SIGSYS)
        return code == kSeccompCode ? "SYS_SECCOMP" : "";
    return "";
}

pid_t ThreadIdNow() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

// Reads a small file (a thread's "comm") into out without its line end.
void ReadSmallFile(const char* path, char* out, size_t size) {
    out[0] = '\0';
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ssize_t n = read(fd, out, size - 1);
    close(fd);
    if (n <= 0)
        return;
    out[n] = '\0';
    for (ssize_t i = 0; i < n; ++i)
        if (out[i] == '\n')
            out[i] = '\0';
}

void ThreadName(pid_t tid, char* out, size_t size) {
    char path[64] = "/proc/self/task/";
    size_t n = 16;
    n += SignalSafeText::FormatDec(tid, path + n);
    CopyText(path + n, sizeof path - n, "/comm");
    ReadSmallFile(path, out, size);
}

uintptr_t ParseHex(const char*& p) {
    uintptr_t value = 0;
    for (;; ++p) {
        char c = *p;
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            return value;
        value = value * 16 + static_cast<uintptr_t>(digit);
    }
}

// Calls visit for each line of /proc/self/maps, the line's end cut off (lines
// longer than the buffer are cut short).
template <typename Visit>
void ForEachMapping(Visit visit) {
    int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    size_t length = 0;
    for (;;) {
        ssize_t n = read(fd, state.readBuffer, sizeof state.readBuffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i) {
            char c = state.readBuffer[i];
            if (c == '\n') {
                state.line[length] = '\0';
                visit(state.line);
                length = 0;
            } else if (length + 1 < sizeof state.line) {
                state.line[length++] = c;
            }
        }
    }
    close(fd);
}

// "start-end perms offset dev inode path": executable mappings only.
bool ParseExecutableMapping(const char* line, uintptr_t& start, uintptr_t& end, uintptr_t& offset, const char*& path) {
    const char* p = line;
    start = ParseHex(p);
    if (*p++ != '-')
        return false;
    end = ParseHex(p);
    if (*p++ != ' ')
        return false;
    if (p[0] == '\0' || p[1] == '\0' || p[2] != 'x')
        return false;
    while (*p && *p != ' ')
        ++p;
    if (*p++ != ' ')
        return false;
    offset = ParseHex(p);
    for (int field = 0; field < 2; ++field) {  // device, inode
        while (*p == ' ')
            ++p;
        while (*p && *p != ' ')
            ++p;
    }
    while (*p == ' ')
        ++p;
    path = p;
    return true;
}

void ResolveModules(int count) {
    for (int i = 0; i < count; ++i)
        state.moduleName[i][0] = '\0';
    ForEachMapping([count](const char* line) {
        uintptr_t start, end, offset;
        const char* path;
        if (!ParseExecutableMapping(line, start, end, offset, path))
            return;
        for (int i = 0; i < count; ++i) {
            auto address = reinterpret_cast<uintptr_t>(state.frames[i]);
            if (address >= start && address < end) {
                state.moduleStart[i] = start;
                state.moduleOffset[i] = offset;
                CopyText(state.moduleName[i], kModuleNameBytes, *path ? path : "[anonymous]");
            }
        }
    });
}

uintptr_t FaultingInstruction(void* context) {
#if defined(__x86_64__)
    return static_cast<uintptr_t>(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return static_cast<uintptr_t>(static_cast<ucontext_t*>(context)->uc_mcontext.pc);
#else
    (void)context;
    return 0;
#endif
}

void WriteRegisters(SignalSafeText& out, void* context) {
#if defined(__x86_64__)
    static const struct {
        const char* name;
        int index;
    } kRegisters[] = {{"rax", REG_RAX}, {"rbx", REG_RBX}, {"rcx", REG_RCX},    {"rdx", REG_RDX}, {"rsi", REG_RSI},
                      {"rdi", REG_RDI}, {"rbp", REG_RBP}, {"rsp", REG_RSP},    {"r8", REG_R8},   {"r9", REG_R9},
                      {"r10", REG_R10}, {"r11", REG_R11}, {"r12", REG_R12},    {"r13", REG_R13}, {"r14", REG_R14},
                      {"r15", REG_R15}, {"rip", REG_RIP}, {"eflags", REG_EFL}, {"err", REG_ERR}, {"trapno", REG_TRAPNO},
                      {"cr2", REG_CR2}};
    const greg_t* gregs = static_cast<ucontext_t*>(context)->uc_mcontext.gregs;
    for (const auto& reg : kRegisters)
        out.Text("  ").Text(reg.name).Text(" ").Hex(static_cast<uint64_t>(gregs[reg.index])).Text("\n");
#else
    (void)out;
    (void)context;
#endif
}

void WriteFrame(SignalSafeText& out, int number, int frameIndex, uintptr_t address) {
    out.Text("  #").Dec(number).Text(" ").Hex(address);
    if (state.moduleName[frameIndex][0] != '\0') {
        out.Text(" ").Text(state.moduleName[frameIndex]).Text("+");
        out.Hex(address - state.moduleStart[frameIndex] + state.moduleOffset[frameIndex]);
    }
    out.Text("\n");
}

void WriteBacktrace(SignalSafeText& out, uintptr_t faultAt) {
    // Slot 0 holds the faulting instruction; the unwinder's frames of this
    // handler and of the signal trampoline are left out.
    int count = backtrace(state.frames + 1, kMaxFrames - 1);
    int first = 1;
    for (int i = 1; i <= count; ++i) {
        if (reinterpret_cast<uintptr_t>(state.frames[i]) == faultAt) {
            first = i + 1;
            break;
        }
    }
    state.frames[0] = reinterpret_cast<void*>(faultAt);
    ResolveModules(count + 1);
    out.Text("Backtrace (module+offset; later frames are return addresses):\n");
    WriteFrame(out, 0, 0, faultAt);
    int number = 1;
    for (int i = first; i <= count; ++i)
        WriteFrame(out, number++, i, reinterpret_cast<uintptr_t>(state.frames[i]));
}

struct LinuxDirent64 {
    uint64_t d_ino;
    int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

void WriteThreads(SignalSafeText& out, pid_t crashed) {
    out.Text("Threads:\n");
    int fd = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    for (;;) {
        long n = syscall(SYS_getdents64, fd, state.dirents, sizeof state.dirents);
        if (n <= 0)
            break;
        for (long at = 0; at < n;) {
            auto* entry = reinterpret_cast<LinuxDirent64*>(state.dirents + at);
            at += entry->d_reclen;
            if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
                continue;
            pid_t tid = 0;
            for (const char* c = entry->d_name; *c >= '0' && *c <= '9'; ++c)
                tid = tid * 10 + (*c - '0');
            char name[64];
            ThreadName(tid, name, sizeof name);
            out.Text("  ").Dec(tid).Text(" ").Text(name).Text(tid == crashed ? " (crashed)\n" : "\n");
        }
    }
    close(fd);
}

void WriteModules(SignalSafeText& out) {
    out.Text("Modules:\n");
    ForEachMapping([&out](const char* line) {
        uintptr_t start, end, offset;
        const char* path;
        if (ParseExecutableMapping(line, start, end, offset, path))
            out.Text("  ").Text(line).Text("\n");
    });
}

void WriteDump(int fd, int signalNumber, siginfo_t* info, void* context) {
    SignalSafeText out(fd);
    const pid_t self = ThreadIdNow();
    out.Text("Quor! crash dump\n");
    out.Text("Build: ").Dec(QUOR_BUILD_NUMBER).Text("\n");
    out.Text("Process: ").Dec(getpid()).Text("\n");
    out.Text("Signal: ").Dec(signalNumber).Text(" ").Text(SignalName(signalNumber));
    if (info)
        out.Text(", code ").Dec(info->si_code).Text(" ").Text(CodeName(signalNumber, info->si_code));
    out.Text("\n");
    // A signal sent by a process (kill, or abort's own raise) carries its sender,
    // not a fault address, in the same place; one the kernel raised for no
    // address (a breakpoint instruction, a CPU limit) carries neither.
    if (info && info->si_code <= 0) {
        out.Text("Sent by process: ").Dec(info->si_pid).Text("\n");
    } else if (info && signalNumber == SIGSYS && info->si_code == kSeccompCode) {
        out.Text("Refused system call: ").Dec(info->si_syscall).Text(" at ");
        out.Hex(reinterpret_cast<uintptr_t>(info->si_call_addr)).Text("\n");
    } else if (info && info->si_code != SI_KERNEL) {
        out.Text("Fault address: ").Hex(reinterpret_cast<uintptr_t>(info->si_addr)).Text("\n");
    }
    if (state.hasException.load())
        out.Text("Exception: ").Text(state.exceptionType).Text(": ").Text(state.exceptionWhat).Text("\n");
    char name[64];
    ThreadName(self, name, sizeof name);
    out.Text("Crashed thread: ").Dec(self).Text(" ").Text(name).Text("\n");
    // Whether the thread had its alternate stack: without one a stack overflow
    // there ends the process with nothing written.
    stack_t signalStack{};
    sigaltstack(nullptr, &signalStack);
    out.Text("Signal stack: ").Text((signalStack.ss_flags & SS_ONSTACK) ? "alternate\n" : "none\n");
    const uintptr_t faultAt = context ? FaultingInstruction(context) : 0;
    if (context) {
        out.Text("Registers:\n");
        WriteRegisters(out, context);
    }
    out.Flush();
    WriteBacktrace(out, faultAt);
    out.Flush();
    WriteThreads(out, self);
    out.Flush();
    WriteModules(out);
}

// Never through a link or into what another program keeps there: whatever is
// at the name goes, and the dump is a file of its own, created afresh. Synced
// with its folder before the user is told where it lies.
void WriteDumpFile(int signalNumber, siginfo_t* info, void* context) {
    unlink(state.dumpPath);
    int fd = open(state.dumpPath, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    WriteDump(fd, signalNumber, info, context);
    // platform::SyncFile is fsync alone, which a signal handler may call.
    platform::SyncFile(fd);
    close(fd);
    int folder = open(state.dumpFolder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        platform::SyncFile(folder);
        close(folder);
    }
}

// A fresh copy of the program tells the user: a box raised inside the crashed
// process could hang it. It is not waited for: a crashed window's thread can
// hold the pointer and keyboard grab (an open menu, a drag), which only the end
// of this process gives back, and the box could not be answered until then. It
// keeps nothing of this process open (the display connection, the instance
// lock). _Fork, not fork: fork runs the atfork handlers and takes malloc's
// locks, which a crashed thread may hold.
void StartMessageProgram() {
    if (state.program[0] == '\0')
        return;
    if (_Fork() == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        syscall(SYS_close_range, 3u, ~0u, 0u);
        execve(state.program, state.argv, environ);
        _exit(127);
    }
}

[[noreturn]] void DieBy(int signalNumber) {
    struct sigaction original {};
    original.sa_handler = SIG_DFL;
    sigemptyset(&original.sa_mask);
    sigaction(signalNumber, &original, nullptr);
    syscall(SYS_tgkill, getpid(), ThreadIdNow(), signalNumber);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    _exit(128 + signalNumber);  // not reached: the signal ends the process
}

void KeepExceptionForTheDump() {
    state.exceptionType[0] = '\0';
    state.exceptionWhat[0] = '\0';
    std::type_info* type = abi::__cxa_current_exception_type();
    if (type) {
        int status = 0;
        char* readable = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
        CopyText(state.exceptionType, sizeof state.exceptionType, readable ? readable : type->name());
        std::free(readable);
        try {
            throw;
        } catch (const std::exception& e) {
            CopyText(state.exceptionWhat, sizeof state.exceptionWhat, e.what());
        } catch (...) {
        }
    } else {
        CopyText(state.exceptionType, sizeof state.exceptionType, "std::terminate without an exception");
    }
    state.hasException.store(true);
}

void OnTerminate() {
    KeepExceptionForTheDump();
    std::abort();
}

}  // namespace

void WriteCrashDump(int signalNumber, siginfo_t* info, void* context) {
    pid_t self = ThreadIdNow();
    pid_t none = 0;
    if (!state.owner.compare_exchange_strong(none, self)) {
        if (none == self)
            DieBy(signalNumber);  // a crash inside the handler: what was written stays
        for (;;)
            pause();  // the first crash ends the process by its own signal
    }
    WriteDumpFile(signalNumber, info, context);
    StartMessageProgram();
    DieBy(signalNumber);
}

namespace CrashHandler {

std::string DefaultDumpPath() {
    std::string folder = GetLocalAppDataPath();
    if (folder.empty())
        return {};
    if (folder.back() != '/')
        folder += "/";
    return folder + "Brindlemoor Quor!/quor.dmp";
}

std::string MessageText(const std::string& dumpPath) {
    return "Quor! has crashed. A minidump will be written to disk at: " + dumpPath;
}

void Install(const std::string& dumpPath, const std::string& messageProgram) {
    CopyText(state.dumpPath, sizeof state.dumpPath, dumpPath.c_str());
    CopyText(state.dumpFolder, sizeof state.dumpFolder, platform::FolderOf(dumpPath, ".").c_str());
    CopyText(state.program, sizeof state.program, messageProgram.c_str());
    CopyText(state.option, sizeof state.option, kMessageOption);
    state.argv[0] = state.program;
    state.argv[1] = state.option;
    state.argv[2] = state.dumpPath;
    state.argv[3] = nullptr;

    // Its first call loads the unwinder; in the handler it must not.
    void* warmUp[2];
    backtrace(warmUp, 2);

    static AlternateSignalStack mainStack;  // for the installing thread, for the whole run
    std::set_terminate(OnTerminate);

    struct sigaction action {};
    action.sa_sigaction = WriteCrashDump;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    // While one crash is handled, a fault in the handler itself is not caught
    // again: the kernel ends the process by it.
    sigemptyset(&action.sa_mask);
    for (int number : kCrashSignals)
        sigaddset(&action.sa_mask, number);
    for (int number : kCrashSignals)
        sigaction(number, &action, nullptr);
}

}  // namespace CrashHandler
