#include "tests/ui/QuorProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

std::string QuorProcess::ProgramPath() {
    return std::string(QUOR_BINARY_DIR) + "/app/Quor";
}

QuorProcess::QuorProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnvironment,
                         std::string program) {
    static int counter = 0;
    outputPath = "/tmp/quor-process-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".out";
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& extra : extraEnvironment)
            if (extra.substr(0, extra.find('=')) == name)
                replaced = true;
        if (!replaced)
            env.push_back(entry);
    }
    env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own process group: the web view's helper processes go with it.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    int rc = posix_spawn(&pid, args[0], &actions, &attributes, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        pid = -1;
        throw std::runtime_error("cannot start " + program);
    }
}

QuorProcess::~QuorProcess() {
    Kill();
    unlink(outputPath.c_str());
}

bool QuorProcess::IsRunning() {
    return WaitForExit(0) == -1 && pid > 0;
}

int QuorProcess::WaitForExit(int timeoutMs) {
    if (pid <= 0)
        return exitCode;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            kill(-pid, SIGKILL);  // what it left behind in its group
            pid = -1;
            return exitCode;
        }
        if (done < 0 && errno != EINTR)
            return exitCode;
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void QuorProcess::Kill() {
    if (pid <= 0)
        return;
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
    WaitForExit(10000);
}

std::string QuorProcess::Output() const {
    std::ifstream in(outputPath);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> FileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
