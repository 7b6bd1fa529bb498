#include "plugins/common/DetachedSpawn.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/close_range.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The grandchild writes {stage, errno} here when it fails; exec closes the
// pipe.
struct Failure {
    int stage;  // 1 chdir, 2 exec, 3 fork
    int error;
};

[[noreturn]] void Fail(int fd, int stage) {
    Failure f{stage, errno};
    (void)!write(fd, &f, sizeof f);
    _exit(127);
}

}  // namespace

bool DetachedSpawn(const std::string& program, const std::vector<std::string>& argv, const std::string& workingFolder,
                   std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (program.empty() || argv.empty())
        return fail("nothing to start");
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const char* path = program.c_str();
    const char* folder = workingFolder.empty() ? nullptr : workingFolder.c_str();

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return fail(std::string("pipe: ") + std::strerror(errno));
    // Every signal stays blocked in the children until the grandchild has reset
    // the handlers: a handler of the browser's must never run in a forked copy.
    sigset_t all, callers;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &callers);
    const pid_t middle = fork();
    if (middle < 0) {
        const int e = errno;
        pthread_sigmask(SIG_SETMASK, &callers, nullptr);
        close(fds[0]);
        close(fds[1]);
        return fail(std::string("fork: ") + std::strerror(e));
    }
    if (middle == 0) {
        close(fds[0]);
        setsid();
        // _Fork runs no atfork handlers: after a fork of a threaded process only
        // async-signal-safe calls are allowed.
        const pid_t child = _Fork();
        if (child < 0)
            Fail(fds[1], 3);
        if (child > 0)
            _exit(0);
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        for (int s = 1; s < NSIG; ++s)
            sigaction(s, &dfl, nullptr);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        // Every inherited descriptor above 2 closes at exec; the pipe does too.
        syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC);
        if (folder && chdir(folder) != 0)
            Fail(fds[1], 1);
        execv(path, args.data());
        Fail(fds[1], 2);
    }
    pthread_sigmask(SIG_SETMASK, &callers, nullptr);
    close(fds[1]);
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    Failure f{};
    ssize_t got;
    do {
        got = read(fds[0], &f, sizeof f);
    } while (got < 0 && errno == EINTR);
    close(fds[0]);
    if (got == static_cast<ssize_t>(sizeof f)) {
        const char* what = f.stage == 1 ? "chdir" : f.stage == 2 ? "exec" : "fork";
        return fail(std::string(what) + ": " + std::strerror(f.error));
    }
    if (got != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return fail("the start did not complete");
    return true;
}
