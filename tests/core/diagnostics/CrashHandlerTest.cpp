// The crash handler in real child processes that crash: the dump they leave,
// the message program they start, and the signal they die by.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/diagnostics/CrashHandler.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"

namespace {

const std::string kChild = std::string(QUOR_BINARY_DIR) + "/tests/programs/quor_crash_child";

// The child's main thread, as the kernel cuts its name.
const std::string kMainThread = "quor_crash_chil";

struct Crash {
    pid_t pid = 0;
    int status = 0;
    std::string dump;
    std::string record;  // what the message program was given
};

enum class Told { Yes, No };

class CrashHandlerTest : public ::testing::Test {
protected:
    CrashHandlerTest() {
        mkdir(env.Path("product").c_str(), 0700);
        dumpPath = env.Path("product/quor.dmp");
        // An opener that fails, for the waiter of an opened address.
        env.WriteFile("fake-bin/xdg-open", "#!/bin/sh\nexit 1\n");
        chmod(env.Path("fake-bin/xdg-open").c_str(), 0755);
    }

    // The crashed process does not wait for its message program: when the user
    // is told, the record is awaited after the crashed process's end.
    Crash Run(const std::string& mode, const std::string& dump, Told told = Told::Yes) {
        const std::string record = env.Path("record.txt");
        unlink(record.c_str());
        const std::string path = env.Path("fake-bin") + ":" + std::getenv("PATH");
        pid_t pid = fork();
        if (pid == 0) {
            setenv("QUOR_CRASH_RECORD", record.c_str(), 1);
            setenv("PATH", path.c_str(), 1);
            execl(kChild.c_str(), kChild.c_str(), mode.c_str(), dump.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        Crash crash;
        crash.pid = pid;
        waitpid(pid, &crash.status, 0);
        crash.dump = IsRegularFile(dump) ? TestEnvironment::ReadFile(dump) : "";
        if (told == Told::Yes)
            WaitUntil([&] { return ReadIfThere(record).find('\n') != std::string::npos; });
        crash.record = ReadIfThere(record);
        return crash;
    }

    static bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }
    static bool IsRegularFile(const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }
    static std::string ReadIfThere(const std::string& path) {
        return FileExists(path) ? TestEnvironment::ReadFile(path) : "";
    }

    // The message program's record: it was given the dump's path, an empty
    // signal mask and no descriptor of the crashed process.
    static std::string ToldOnce(const std::string& path) { return "message " + path + " mask=empty fds=none\n"; }

    static void ExpectDiedBy(const Crash& crash, int signalNumber) {
        ASSERT_TRUE(WIFSIGNALED(crash.status)) << "status " << crash.status;
        EXPECT_EQ(WTERMSIG(crash.status), signalNumber);
    }

    // The dump was written to its end, and names the crashed thread.
    static void ExpectWholeDumpOf(const Crash& crash, const std::string& thread) {
        EXPECT_TRUE(std::regex_search(crash.dump, std::regex("\nCrashed thread: [0-9]+ " + thread + "\n")))
            << crash.dump;
        EXPECT_TRUE(std::regex_search(crash.dump, std::regex("\n  [0-9]+ " + thread + " \\(crashed\\)\n")));
        EXPECT_NE(crash.dump.find("\nModules:\n"), std::string::npos);
    }

    // The function addr2line names for the dump's first backtrace frame.
    static std::string FirstFrameFunction(const std::string& dump) {
        std::smatch m;
        if (!std::regex_search(dump, m, std::regex("\n  #0 0x[0-9a-f]+ (\\S+)\\+(0x[0-9a-f]+)\n")))
            return "(no first frame)";
        std::string command = "addr2line -f -e '" + m[1].str() + "' " + m[2].str();
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe)
            return "(addr2line did not start)";
        char line[256] = {};
        std::string name = fgets(line, sizeof line, pipe) ? line : "";
        pclose(pipe);
        if (!name.empty() && name.back() == '\n')
            name.pop_back();
        return name;
    }

    TestEnvironment env;
    std::string dumpPath;
};

TEST_F(CrashHandlerTest, NullWriteOnAWorkerLeavesADumpAndDiesBySigsegv) {
    Crash crash = Run("segv-worker", dumpPath);
    ExpectDiedBy(crash, SIGSEGV);
    EXPECT_NE(crash.dump.find("Signal: 11 SIGSEGV, code 1 SEGV_MAPERR\n"), std::string::npos) << crash.dump;
    EXPECT_NE(crash.dump.find("Fault address: 0x0\n"), std::string::npos);
    EXPECT_EQ(crash.dump.find("Sent by process:"), std::string::npos);
    ExpectWholeDumpOf(crash, "crasher");
    EXPECT_NE(crash.dump.find("\nSignal stack: alternate\n"), std::string::npos);
    EXPECT_TRUE(std::regex_search(crash.dump, std::regex("\n  rip 0x[0-9a-f]+\n")));
    EXPECT_EQ(FirstFrameFunction(crash.dump), "CrashThroughNull");
    // The module list holds the program's executable mapping.
    EXPECT_TRUE(
        std::regex_search(crash.dump, std::regex("Modules:\n(.*\n)*  [0-9a-f]+-[0-9a-f]+ r-xp .*quor_crash_child\n")));
    // Told from outside, after the dump, with a clean signal mask.
    EXPECT_EQ(crash.record, ToldOnce(dumpPath));
}

TEST_F(CrashHandlerTest, ACrashOnTheMainThreadWritesTheSamePath) {
    Crash crash = Run("segv-main", dumpPath);
    ExpectDiedBy(crash, SIGSEGV);
    EXPECT_EQ(FirstFrameFunction(crash.dump), "CrashThroughNull");
    ExpectWholeDumpOf(crash, kMainThread);
    EXPECT_EQ(crash.record, ToldOnce(dumpPath));
}

TEST_F(CrashHandlerTest, UncaughtExceptionOnABareThreadAbortsWithItsTextInTheDump) {
    Crash crash = Run("exception-thread", dumpPath);
    ExpectDiedBy(crash, SIGABRT);
    EXPECT_NE(crash.dump.find("Signal: 6 SIGABRT"), std::string::npos) << crash.dump;
    EXPECT_NE(crash.dump.find("Exception: std::runtime_error: disc ejected mid-read\n"), std::string::npos);
    // abort raises the signal itself: it has a sender, not a fault address.
    EXPECT_NE(crash.dump.find("\nSent by process: " + std::to_string(crash.pid) + "\n"), std::string::npos);
    EXPECT_EQ(crash.dump.find("Fault address:"), std::string::npos);
    ExpectWholeDumpOf(crash, "thrower");
    // A plain thread of the test's own has no signal stack: StartThread gives it.
    EXPECT_NE(crash.dump.find("\nSignal stack: none\n"), std::string::npos);
    EXPECT_EQ(crash.record, ToldOnce(dumpPath));
}

// Every kind of thread the program starts has its alternate signal stack: a
// Thread's worker, and the threads of the XML, checksum and open-address code,
// each overflowed by the program's own call back on that thread.
TEST_F(CrashHandlerTest, StackOverflowOnEveryKindOfThreadIsCaughtOnItsSignalStack) {
    const struct {
        const char* mode;
        const char* thread;
    } cases[] = {
        {"overflow-worker", "overflower"},
        {"overflow-xml-reader", "xml reader"},
        {"overflow-checksum-reader", "checksum reader"},
        {"overflow-open-address", "open address"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        if (std::string(c.mode) == "overflow-xml-reader" && std::thread::hardware_concurrency() < 2)
            continue;  // the document is read on the caller's thread alone
        Crash crash = Run(c.mode, dumpPath);
        ExpectDiedBy(crash, SIGSEGV);
        EXPECT_NE(crash.dump.find("\nSignal: 11 SIGSEGV, code "), std::string::npos) << crash.dump;
        ExpectWholeDumpOf(crash, c.thread);
        EXPECT_NE(crash.dump.find("\nSignal stack: alternate\n"), std::string::npos);
        EXPECT_EQ(crash.record, ToldOnce(dumpPath));
    }
}

// The other signals that end a process with a core: each is caught with the
// same dump, message and death.
TEST_F(CrashHandlerTest, TrapSystemCallAndLimitSignalsAreCaughtLikeAFault) {
    const struct {
        const char* mode;
        int signalNumber;
        std::string signalLine;
        std::string thread;
        std::string more;  // a further line of the dump
    } cases[] = {
        // A real g_error, as a fatal error of the toolkit ends the program.
        {"g-error", SIGTRAP, "Signal: 5 SIGTRAP, code 128 SI_KERNEL\n", kMainThread, "\nSignal stack: alternate\n"},
        {"refused-system-call", SIGSYS, "Signal: 31 SIGSYS, code 1 SYS_SECCOMP\n", kMainThread,
         "\nRefused system call: " + std::to_string(SYS_setdomainname) + " at 0x"},
        {"cpu-limit", SIGXCPU, "Signal: 24 SIGXCPU, code 128 SI_KERNEL\n", kMainThread, "\nBacktrace"},
        // The patch writer's own write goes past the file-size limit.
        {"file-size-limit-patch-writer", SIGXFSZ, "Signal: 25 SIGXFSZ, code 0 SI_USER\n", "patch writer",
         "\nSignal stack: alternate\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        Crash crash = Run(c.mode, dumpPath);
        ExpectDiedBy(crash, c.signalNumber);
        EXPECT_NE(crash.dump.find("\n" + c.signalLine), std::string::npos) << crash.dump;
        EXPECT_NE(crash.dump.find(c.more), std::string::npos);
        EXPECT_EQ(crash.dump.find("Fault address:"), std::string::npos);  // none of them has one
        ExpectWholeDumpOf(crash, c.thread);
        EXPECT_EQ(crash.record, ToldOnce(dumpPath));
    }
}

TEST_F(CrashHandlerTest, ASecondCrashReplacesTheDump) {
    Crash first = Run("segv-worker", dumpPath);
    ASSERT_NE(first.dump.find("SIGSEGV"), std::string::npos);
    Crash second = Run("exception-thread", dumpPath);
    ExpectDiedBy(second, SIGABRT);
    EXPECT_EQ(second.dump.find("SIGSEGV"), std::string::npos);
    EXPECT_EQ(second.dump.rfind("Quor! crash dump\n", 0), 0u);
    EXPECT_NE(second.dump.find("disc ejected mid-read"), std::string::npos);
}

// Whatever lies at the dump's name is removed, never written through: a link to
// another file of the user, a dangling link.
TEST_F(CrashHandlerTest, TheDumpReplacesALinkAtItsNameAndNeverWritesThroughIt) {
    const std::string letter = env.Path("letter.txt");
    const std::string nowhere = env.Path("product/nowhere.txt");
    for (const std::string& target : {letter, nowhere}) {
        SCOPED_TRACE(target);
        if (target == letter)
            env.WriteFile("letter.txt", "Dear support, my letter.");
        unlink(dumpPath.c_str());
        ASSERT_EQ(symlink(target.c_str(), dumpPath.c_str()), 0);
        Crash crash = Run("segv-worker", dumpPath);
        ExpectDiedBy(crash, SIGSEGV);
        struct stat st {};
        ASSERT_EQ(lstat(dumpPath.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(crash.dump.rfind("Quor! crash dump\n", 0), 0u);
        if (target == letter)
            EXPECT_EQ(TestEnvironment::ReadFile(letter), "Dear support, my letter.");
        else
            EXPECT_FALSE(FileExists(nowhere));
        EXPECT_EQ(crash.record, ToldOnce(dumpPath));
    }
}

TEST_F(CrashHandlerTest, WithoutTheProductFolderNothingIsWrittenButTheUserIsTold) {
    const std::string missing = env.Path("no-such-folder/quor.dmp");
    Crash crash = Run("segv-worker", missing);
    ExpectDiedBy(crash, SIGSEGV);
    EXPECT_FALSE(FileExists(env.Path("no-such-folder")));
    EXPECT_EQ(crash.record, ToldOnce(missing));
}

TEST_F(CrashHandlerTest, AFifoInPlaceOfTheDumpIsReplacedAndDoesNotHoldTheHandler) {
    ASSERT_EQ(mkfifo(dumpPath.c_str(), 0600), 0);
    std::atomic<bool> ended{false};
    std::atomic<bool> letGo{false};
    // A handler that waited for a reader would never tell the user nor die:
    // this reader lets it go, so that the test ends.
    std::thread reader([&] {
        if (WaitUntil([&] { return ended.load(); }, 10000))
            return;
        letGo = true;
        int fd = open(dumpPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        char buffer[4096];
        while (fd >= 0 && !ended.load()) {
            if (read(fd, buffer, sizeof buffer) <= 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (fd >= 0)
            close(fd);
    });
    Crash crash = Run("segv-worker", dumpPath);
    ended = true;
    reader.join();
    EXPECT_FALSE(letGo.load());
    ExpectDiedBy(crash, SIGSEGV);
    EXPECT_EQ(crash.dump.rfind("Quor! crash dump\n", 0), 0u);  // a regular file now
    EXPECT_EQ(crash.record, ToldOnce(dumpPath));
}

TEST_F(CrashHandlerTest, ACrashWhileTheFirstIsHandledWaitsAndTheProcessDiesByTheFirst) {
    // The second thread aborts as soon as the first crash's dump is there.
    Crash crash = Run("two-crashes", dumpPath);
    ExpectDiedBy(crash, SIGSEGV);
    EXPECT_NE(crash.dump.find("Signal: 11 SIGSEGV"), std::string::npos);
    EXPECT_EQ(crash.dump.find("SIGABRT"), std::string::npos);
    EXPECT_EQ(crash.record, ToldOnce(dumpPath));  // told once
}

TEST_F(CrashHandlerTest, ACrashInsideTheHandlerEndsTheProcessAtOnceKeepingWhatWasWritten) {
    // A stack pointer that points nowhere: walking the stack faults in the handler.
    Crash crash = Run("broken-stack-worker", dumpPath, Told::No);
    ExpectDiedBy(crash, SIGSEGV);
    EXPECT_NE(crash.dump.find("Signal: 11 SIGSEGV"), std::string::npos);
    EXPECT_NE(crash.dump.find("  rsp 0x10\n"), std::string::npos) << crash.dump;
    EXPECT_EQ(crash.dump.find("Modules:"), std::string::npos);
    // The handler did not run on: the message program is started only after
    // the whole dump.
    EXPECT_EQ(crash.record, "");
}

TEST(CrashHandlerPaths, DumpLivesInTheProductDataFolderAndTheMessageNamesIt) {
    TestEnvironment env;
    EXPECT_EQ(CrashHandler::DefaultDumpPath(), env.Path("home/.local/share/Brindlemoor Quor!/quor.dmp"));
    EXPECT_FALSE(access(env.Path("home/.local/share/Brindlemoor Quor!").c_str(), F_OK) == 0);
    EXPECT_EQ(CrashHandler::MessageText("/x/quor.dmp"),
              "Quor! has crashed. A minidump will be written to disk at: /x/quor.dmp");
}

}  // namespace
