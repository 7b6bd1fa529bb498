#include "tests/ui/XvfbDisplay.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

XvfbDisplay::XvfbDisplay() {
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    std::string fd = std::to_string(fds[1]);
    std::vector<std::string> argv = {"/usr/bin/Xvfb", "-displayfd", fd,    "-screen", "0",
                                     "1280x1024x24",  "-nolisten",  "tcp", "-noreset"};
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        throw std::runtime_error("cannot start Xvfb");
    }
    // Xvfb writes the display number once it accepts clients.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (number.find('\n') == std::string::npos) {
        int ready = poll(&p, 1, 30000);
        if (ready < 0 && errno == EINTR)
            continue;
        char buffer[32];
        ssize_t n = ready > 0 ? read(fds[0], buffer, sizeof buffer) : 0;
        if (n <= 0)
            break;
        number.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' '))
        number.pop_back();
    if (number.empty()) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
        throw std::runtime_error("Xvfb gave no display");
    }
    name = ":" + number;
}

XvfbDisplay::~XvfbDisplay() {
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
}
