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
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/diagnostics/CrashHandler.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"

namespace {

const std::string kChild = std::string(QUOR_BINARY_DIR) + "/tests/programs/quor_crash_child";

struct Crash {
    pid_t pid = 0;
    int status = 0;
    std::string dump;
    std::string record;  // what the message program was given
};

class CrashHandlerTest : public ::testing::Test {
protected:
    CrashHandlerTest() {
        mkdir(env.Path("product").c_str(), 0700);
        dumpPath = env.Path("product/quor.dmp");
    }

    Crash Run(const std::string& mode, const std::string& dump, int messageDelayMs = 0) {
        const std::string record = env.Path("record.txt");
        unlink(record.c_str());
        pid_t pid = fork();
        if (pid == 0) {
            setenv("QUOR_CRASH_RECORD", record.c_str(), 1);
            setenv("QUOR_CRASH_MESSAGE_DELAY_MS", std::to_string(messageDelayMs).c_str(), 1);
            execl(kChild.c_str(), kChild.c_str(), mode.c_str(), dump.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        Crash crash;
        crash.pid = pid;
        waitpid(pid, &crash.status, 0);
        crash.dump = IsRegularFile(dump) ? TestEnvironment::ReadFile(dump) : "";
        crash.record = FileExists(record) ? TestEnvironment::ReadFile(record) : "";
        return crash;
    }

    static bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }
    static bool IsRegularFile(const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }

    static void ExpectDiedBy(const Crash& crash, int signalNumber) {
        ASSERT_TRUE(WIFSIGNALED(crash.status)) << "status " << crash.status;
        EXPECT_EQ(WTERMSIG(crash.status), signalNumber);
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
    EXPECT_TRUE(std::regex_search(crash.dump, std::regex("Crashed thread: [0-9]+ crasher\n")));
    EXPECT_TRUE(std::regex_search(crash.dump, std::regex("\n  [0-9]+ crasher \\(crashed\\)\n")));
    EXPECT_TRUE(std::regex_search(crash.dump, std::regex("\n  rip 0x[0-9a-f]+\n")));
    EXPECT_EQ(FirstFrameFunction(crash.dump), "CrashThroughNull");
    // The module list holds the program's executable mapping.
    EXPECT_TRUE(
        std::regex_search(crash.dump, std::regex("Modules:\n(.*\n)*  [0-9a-f]+-[0-9a-f]+ r-xp .*quor_crash_child\n")));
    // Told from outside, after the dump, with a clean signal mask.
    EXPECT_EQ(crash.record, "message " + dumpPath + " mask=empty\n");
}

TEST_F(CrashHandlerTest, ACrashOnTheMainThreadWritesTheSamePath) {
    Crash crash = Run("segv-main", dumpPath);
    ExpectDiedBy(crash, SIGSEGV);
    EXPECT_EQ(FirstFrameFunction(crash.dump), "CrashThroughNull");
    EXPECT_EQ(crash.record, "message " + dumpPath + " mask=empty\n");
}

TEST_F(CrashHandlerTest, UncaughtExceptionOnABareThreadAbortsWithItsTextInTheDump) {
    Crash crash = Run("exception-thread", dumpPath);
    ExpectDiedBy(crash, SIGABRT);
    EXPECT_NE(crash.dump.find("Signal: 6 SIGABRT"), std::string::npos) << crash.dump;
    EXPECT_NE(crash.dump.find("Exception: std::runtime_error: disc ejected mid-read\n"), std::string::npos);
    // abort raises the signal itself: it has a sender, not a fault address.
    EXPECT_NE(crash.dump.find("\nSent by process: " + std::to_string(crash.pid) + "\n"), std::string::npos);
    EXPECT_EQ(crash.dump.find("Fault address:"), std::string::npos);
    EXPECT_TRUE(std::regex_search(crash.dump, std::regex("Crashed thread: [0-9]+ thrower\n")));
    EXPECT_EQ(crash.record, "message " + dumpPath + " mask=empty\n");
}

TEST_F(CrashHandlerTest, StackOverflowOnAWorkerIsCaughtOnItsSignalStack) {
    Crash crash = Run("overflow-worker", dumpPath);
    ExpectDiedBy(crash, SIGSEGV);
    EXPECT_TRUE(std::regex_search(crash.dump, std::regex("Crashed thread: [0-9]+ overflower\n"))) << crash.dump;
    EXPECT_NE(crash.dump.find("Modules:\n"), std::string::npos);  // written to the end
    EXPECT_EQ(crash.record, "message " + dumpPath + " mask=empty\n");
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

TEST_F(CrashHandlerTest, WithoutTheProductFolderNothingIsWrittenButTheUserIsTold) {
    const std::string missing = env.Path("no-such-folder/quor.dmp");
    Crash crash = Run("segv-worker", missing);
    ExpectDiedBy(crash, SIGSEGV);
    EXPECT_FALSE(FileExists(env.Path("no-such-folder")));
    EXPECT_EQ(crash.record, "message " + missing + " mask=empty\n");
}

TEST_F(CrashHandlerTest, AFifoInPlaceOfTheDumpTakesNoDumpAndDoesNotHoldTheHandler) {
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
    EXPECT_EQ(crash.record, "message " + dumpPath + " mask=empty\n");
    struct stat st {};
    ASSERT_EQ(lstat(dumpPath.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(CrashHandlerTest, ACrashWhileTheFirstIsHandledWaitsAndTheProcessDiesByTheFirst) {
    // The second thread aborts while the first crash's message is showing.
    Crash crash = Run("two-crashes", dumpPath, 400);
    ExpectDiedBy(crash, SIGSEGV);
    EXPECT_NE(crash.dump.find("Signal: 11 SIGSEGV"), std::string::npos);
    EXPECT_EQ(crash.dump.find("SIGABRT"), std::string::npos);
    EXPECT_EQ(crash.record, "message " + dumpPath + " mask=empty\n");  // told once
}

TEST_F(CrashHandlerTest, ACrashInsideTheHandlerEndsTheProcessAtOnceKeepingWhatWasWritten) {
    // A stack pointer that points nowhere: walking the stack faults in the handler.
    Crash crash = Run("broken-stack-worker", dumpPath);
    ExpectDiedBy(crash, SIGSEGV);
    EXPECT_NE(crash.dump.find("Signal: 11 SIGSEGV"), std::string::npos);
    EXPECT_NE(crash.dump.find("  rsp 0x10\n"), std::string::npos) << crash.dump;
    EXPECT_EQ(crash.dump.find("Modules:"), std::string::npos);
    EXPECT_EQ(crash.record, "");  // the handler did not run on
}

TEST(CrashHandlerPaths, DumpLivesInTheProductDataFolderAndTheMessageNamesIt) {
    TestEnvironment env;
    EXPECT_EQ(CrashHandler::DefaultDumpPath(), env.Path("home/.local/share/Brindlemoor Quor!/quor.dmp"));
    EXPECT_FALSE(access(env.Path("home/.local/share/Brindlemoor Quor!").c_str(), F_OK) == 0);
    EXPECT_EQ(CrashHandler::MessageText("/x/quor.dmp"),
              "Quor! has crashed. A minidump will be written to disk at: /x/quor.dmp");
}

}  // namespace
