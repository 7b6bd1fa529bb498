#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "core/system/ChildReaper.h"
#include "core/system/ProcessHandle.h"
#include "platform/XdgPaths.h"
#include "tests/core/system/ProcessTestHelpers.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"

namespace {

std::unique_ptr<ProcessHandle> Shell(const std::string& script) {
    return ProcessHandle::Spawn("/bin/sh", {"sh", "-c", script}, "");
}

// True while pid is an unreaped child of this process (nothing is reaped here).
bool IsOurChild(pid_t pid) {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

// A started program sees the user's XDG_DATA_DIRS, not the one made for the toolkit.
TEST(ProcessHandle, AProgramStartedGetsTheUsersDataDirs) {
    TestEnvironment env;
    setenv("XDG_DATA_DIRS", "/opt/games-only", 1);
    platform::AugmentDataDirsForToolkit();
    std::string out = env.Path("seen");
    auto child = Shell("printf %s \"$XDG_DATA_DIRS\" > '" + out + "'");
    ASSERT_TRUE(child);
    child->Wait();
    platform::RestoreUserDataDirs();
    EXPECT_EQ(TestEnvironment::ReadFile(out), "/opt/games-only");
}

TEST(ProcessHandle, ReportsExitStatusAndEndingSignal) {
    auto exits = Shell("exit 7");
    ASSERT_TRUE(exits);
    exits->Wait();
    EXPECT_TRUE(exits->HasEnded());
    EXPECT_EQ(exits->ExitCode(), 7);
    EXPECT_EQ(exits->TermSignal(), 0);

    auto sleeper = ProcessHandle::Spawn("/bin/sleep", {"sleep", "30"}, "");
    ASSERT_TRUE(sleeper);
    EXPECT_FALSE(sleeper->HasEnded());
    EXPECT_EQ(sleeper->ExitCode(), -1);
    EXPECT_FALSE(sleeper->WaitFor(50));
    EXPECT_TRUE(sleeper->Signal(SIGTERM));
    ASSERT_TRUE(sleeper->WaitFor(10000));
    EXPECT_EQ(sleeper->TermSignal(), SIGTERM);
    EXPECT_EQ(sleeper->ExitCode(), 128 + SIGTERM);
    EXPECT_FALSE(sleeper->Signal(SIGTERM));  // reaped: the pid may belong to someone else now
}

TEST(ProcessHandle, WaitingForOneChildLeavesTheOthersStatus) {
    auto slow = Shell("sleep 0.3; exit 4");
    auto fast = Shell("exit 3");
    ASSERT_TRUE(slow && fast);
    ASSERT_TRUE(fast->WaitFor(10000));
    EXPECT_EQ(fast->ExitCode(), 3);
    slow->Wait();
    EXPECT_EQ(slow->ExitCode(), 4);
}

TEST(ProcessHandle, SeveralThreadsMayWaitAtOnce) {
    auto child = Shell("sleep 0.2; exit 5");
    ASSERT_TRUE(child);
    int seen[2] = {-2, -2};
    std::thread a([&] {
        child->Wait();
        seen[0] = child->ExitCode();
    });
    std::thread b([&] {
        child->WaitFor(20000);
        seen[1] = child->ExitCode();
    });
    a.join();
    b.join();
    EXPECT_EQ(seen[0], 5);
    EXPECT_EQ(seen[1], 5);
}

TEST(ProcessHandle, HandleReleasedWhileTheChildRunsLeavesNoZombie) {
    pid_t pid;
    {
        auto child = Shell("sleep 0.2");
        ASSERT_TRUE(child);
        pid = child->Pid();
    }
    EXPECT_TRUE(WaitUntil([&] { return !IsOurChild(pid); }, 20000));
    EXPECT_TRUE(WaitUntil([] { return ChildReaper::Get().PendingCount() == 0; }));
    // The reaper starts again for the next one.
    {
        auto child = Shell("exit 0");
        ASSERT_TRUE(child);
        pid = child->Pid();
    }
    EXPECT_TRUE(WaitUntil([&] { return !IsOurChild(pid); }, 20000));
}

// For code that may start no thread: the child is left to the process, and
// the reaper never hears of it.
TEST(ProcessHandle, AnAbandonedHandleLeavesItsChildToTheProcess) {
    pid_t pid;
    {
        auto child = Shell("sleep 0.3; exit 3");  // still running when the handle ends
        ASSERT_TRUE(child);
        pid = child->Pid();
        child->Abandon();
    }
    EXPECT_EQ(ChildReaper::Get().PendingCount(), 0u);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(WEXITSTATUS(status), 3);
}

TEST(ProcessHandle, ProgramThatCannotBeStartedGivesNullAndNoChild) {
    std::string error;
    EXPECT_FALSE(ProcessHandle::Spawn("/nonexistent/program", {"program"}, "", &error));
    EXPECT_NE(error.find("/nonexistent/program"), std::string::npos);
    EXPECT_FALSE(ProcessHandle::Spawn("/bin/sh", {"sh", "-c", "exit 0"}, "/nonexistent/folder"));
    EXPECT_FALSE(HasAnyChild());
}

TEST(ProcessHandle, ChildGetsNoneOfTheLaunchersDescriptorsNorItsIgnoredSignals) {
    // A lock file held open without close-on-exec must not stay locked by a game.
    int fd = open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 3);
    auto probe = Shell("test -e /proc/self/fd/" + std::to_string(fd));
    ASSERT_TRUE(probe);
    probe->Wait();
    EXPECT_EQ(probe->ExitCode(), 1);
    close(fd);

    struct sigaction ignore {
    }, old{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGTERM, &ignore, &old);
    auto sleeper = ProcessHandle::Spawn("/bin/sleep", {"sleep", "30"}, "");
    sigaction(SIGTERM, &old, nullptr);
    ASSERT_TRUE(sleeper);
    sleeper->Signal(SIGTERM);
    ASSERT_TRUE(sleeper->WaitFor(10000));
    EXPECT_EQ(sleeper->TermSignal(), SIGTERM);
}

// The update installer must outlive the launcher, and no signal for the
// launcher's terminal or group may reach a game.
TEST(ProcessHandle, ChildLeadsASessionOfItsOwn) {
    // Fields 1, 5 and 6 of /proc/<pid>/stat: the pid, its process group, its session.
    auto child = Shell("set -- $(cat /proc/$$/stat); test \"$5\" = \"$1\" && test \"$6\" = \"$1\"");
    ASSERT_TRUE(child);
    child->Wait();
    EXPECT_EQ(child->ExitCode(), 0);
}

}  // namespace
