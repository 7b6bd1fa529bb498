#include "tests/tools/PublisherProcess.h"
#include <chrono>
#include <thread>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <httplib.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"

extern char** environ;

std::string PublisherProcess::Program() {
    return QUOR_BINARY_DIR "/tools/demo-publisher/demo-publisher";
}
std::string PublisherProcess::QuorReg() {
    return QUOR_BINARY_DIR "/tools/quor-reg/quor-reg";
}

PublisherProcess::PublisherProcess(const std::string& folderPath, const std::vector<std::string>& options)
    : folder(folderPath) {
    std::vector<std::string> argv = {Program(), "--port",         "0",     "--port-file", folder + "/port",
                                     "--data",  DataFolder(),     "--log", LogFile(),     "--quor-reg",
                                     QuorReg(), "--play-seconds", "1"};
    argv.insert(argv.end(), options.begin(), options.end());
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (folder + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (folder + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (pid < 0)
        return;
    // Making the builds and patches takes a moment on a loaded machine.
    WaitUntil(
        [&] {
            port = std::atoi(TestEnvironment::ReadFile(folder + "/port").c_str());
            int status = 0;
            if (port <= 0 && waitpid(pid, &status, WNOHANG) == pid) {
                exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                pid = -1;
                return true;
            }
            return port > 0;
        },
        60000);
}

PublisherProcess::~PublisherProcess() {
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

int PublisherProcess::Stop() {
    if (pid <= 0)
        return exitStatus;
    kill(pid, SIGTERM);
    int status = 0;
    // Bounded: a publisher that does not end on SIGTERM is killed and the stop fails.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    pid_t ended = 0;
    while ((ended = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (ended == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        pid = -1;
        exitStatus = -1;
        return exitStatus;
    }
    pid = -1;
    exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return exitStatus;
}

std::string PublisherProcess::Output() const {
    return TestEnvironment::ReadFile(folder + "/stdout");
}

std::vector<std::string> PublisherProcess::LogLines() const {
    std::vector<std::string> lines;
    std::istringstream in(TestEnvironment::ReadFile(LogFile()));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

PublisherProcess::Reply PublisherProcess::Get(const std::string& target, const std::string& range) const {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(30, 0);
    httplib::Headers headers;
    if (!range.empty())
        headers.emplace("Range", range);
    Reply reply;
    if (auto r = client.Get(target.c_str(), headers)) {
        reply.status = r->status;
        reply.body = r->body;
        reply.contentRange = r->get_header_value("Content-Range");
    }
    return reply;
}

PublisherProcess::Reply PublisherProcess::Post(const std::string& target) const {
    httplib::Client client("127.0.0.1", port);
    Reply reply;
    if (auto r = client.Post(target.c_str())) {
        reply.status = r->status;
        reply.body = r->body;
    }
    return reply;
}
