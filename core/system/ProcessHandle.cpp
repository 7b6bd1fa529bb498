#include "core/system/ProcessHandle.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include "platform/Pidfd.h"
#include "platform/XdgPaths.h"

#include "core/system/ChildReaper.h"

namespace {

class SpawnSettings {
public:
    SpawnSettings() {
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSettings() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
};

std::string ErrorText(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

}  // namespace

std::unique_ptr<ProcessHandle> ProcessHandle::Spawn(const std::string& program, const std::vector<std::string>& argv,
                                                    const std::string& workingFolder, std::string* error) {
    auto fail = [&](const std::string& text) -> std::unique_ptr<ProcessHandle> {
        if (error)
            *error = text;
        return nullptr;
    };
    if (program.empty() || argv.empty())
        return fail("nothing to start");

    SpawnSettings s;
    // Signals the launcher ignores or blocks (SIGPIPE for the network code, for
    // instance) must not stay so in the program it starts.
    sigset_t defaults;
    sigfillset(&defaults);
    sigdelset(&defaults, SIGKILL);
    sigdelset(&defaults, SIGSTOP);
    sigset_t emptyMask;
    sigemptyset(&emptyMask);
    posix_spawnattr_setsigdefault(&s.attr, &defaults);
    posix_spawnattr_setsigmask(&s.attr, &emptyMask);
    // Its own session (and so its own process group): a Ctrl-C or hang-up meant
    // for the launcher does not reach the game, and the launcher's update
    // installer outlives the launcher that started it.
    posix_spawnattr_setflags(&s.attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID);
    if (!workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&s.actions, workingFolder.c_str());
    // Lock files and sockets of the launcher stay with the launcher.
    posix_spawn_file_actions_addclosefrom_np(&s.actions, 3);

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    // The user's environment, not the toolkit's.
    std::vector<std::string> environment = platform::UserEnvironment();
    std::vector<char*> envp;
    envp.reserve(environment.size() + 1);
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t child = -1;
    // The C library reports a failed exec here and has then reaped the child itself.
    int rc = posix_spawn(&child, program.c_str(), &s.actions, &s.attr, args.data(), envp.data());
    if (rc != 0)
        return fail(ErrorText(program.c_str(), rc));
    // The child is unreaped, so its pid cannot be reused: the pidfd names it.
    int fd = platform::PidfdOpen(child);
    return std::unique_ptr<ProcessHandle>(new ProcessHandle(child, fd));
}

ProcessHandle::ProcessHandle(pid_t pid, int pidfd) : pid(pid), pidfd(pidfd) {}

ProcessHandle::~ProcessHandle() {
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!ReapLocked() && !abandoned)
            ChildReaper::Get().Adopt(pid);
    }
    if (pidfd >= 0)
        close(pidfd);
}

bool ProcessHandle::ReapLocked() {
    if (reaped)
        return true;
    int st = 0;
    pid_t r;
    do
        r = waitpid(pid, &st, WNOHANG);
    while (r < 0 && errno == EINTR);
    if (r == pid) {
        reaped = true;
        statusKnown = true;
        status = st;
    } else if (r < 0) {
        // Not our child any more (someone else reaped it): it has ended, status lost.
        reaped = true;
    }
    return reaped;
}

bool ProcessHandle::HasEnded() {
    std::lock_guard<std::mutex> guard(lock);
    return ReapLocked();
}

void ProcessHandle::Wait() {
    WaitFor(-1);
}

bool ProcessHandle::WaitFor(int64_t ms) {
    using Clock = std::chrono::steady_clock;
    const bool forever = ms < 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : ms);
    int64_t pollStep = 1;
    bool usePidfd = pidfd >= 0;
    for (;;) {
        if (HasEnded())
            return true;
        int64_t left =
            forever ? -1 : std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (!forever && left <= 0)
            return HasEnded();
        if (usePidfd) {
            // Readable once the child has ended; the wait does not reap, so
            // several waiters may wait at once.
            pollfd p{pidfd, POLLIN, 0};
            int timeout = forever ? -1 : static_cast<int>(std::min<int64_t>(left, 1 << 30));
            if (poll(&p, 1, timeout) < 0 && errno != EINTR)
                usePidfd = false;
        } else {
            int64_t step = forever ? pollStep : std::min(pollStep, left);
            std::this_thread::sleep_for(std::chrono::milliseconds(step));
            pollStep = std::min<int64_t>(pollStep * 2, 50);
        }
    }
}

int ProcessHandle::ExitCode() {
    std::lock_guard<std::mutex> guard(lock);
    if (!ReapLocked() || !statusKnown)
        return -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

int ProcessHandle::TermSignal() {
    std::lock_guard<std::mutex> guard(lock);
    if (!ReapLocked() || !statusKnown)
        return 0;
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

void ProcessHandle::Abandon() {
    std::lock_guard<std::mutex> guard(lock);
    abandoned = true;
}

bool ProcessHandle::Signal(int signalNumber) {
    std::lock_guard<std::mutex> guard(lock);
    if (ReapLocked())
        return false;
    return kill(pid, signalNumber) == 0;
}
