#include "core/system/ProcessList.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>
#include "platform/PathParts.h"
#include "platform/Pidfd.h"

#include <fstream>
#include <functional>
#include <sstream>

namespace {

constexpr unsigned long kKernelThreadFlag = 0x00200000;  // PF_KTHREAD

struct ProcessInfo {
    pid_t pid = 0;
    uid_t realUid = 0;
    std::string exeName;    // base name of /proc/PID/exe; empty when unreadable
    std::string argv0Name;  // base name of argv[0]
    std::string comm;
};

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// False for processes that are gone, unreadable, zombies or kernel threads.
bool ReadProcess(pid_t pid, ProcessInfo& info) {
    const std::string dir = "/proc/" + std::to_string(pid);
    // stat: "pid (comm) state ppid ... flags" with flags the 9th field; comm may hold ") ".
    std::string stat = ReadSmallFile(dir + "/stat");
    size_t close = stat.rfind(')');
    size_t open = stat.find('(');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return false;
    info.comm = stat.substr(open + 1, close - open - 1);
    std::istringstream rest(stat.substr(close + 1));
    std::string state;
    long ppid = 0, pgrp = 0, session = 0, tty = 0, tpgid = 0;
    unsigned long flags = 0;
    if (!(rest >> state >> ppid >> pgrp >> session >> tty >> tpgid >> flags))
        return false;
    if (state == "Z" || state == "X" || (flags & kKernelThreadFlag))
        return false;

    std::istringstream status(ReadSmallFile(dir + "/status"));
    std::string line;
    bool haveUid = false;
    while (std::getline(status, line)) {
        if (line.rfind("Uid:", 0) == 0) {
            std::istringstream fields(line.substr(4));
            unsigned long uid = 0;
            if (fields >> uid) {
                info.realUid = static_cast<uid_t>(uid);
                haveUid = true;
            }
            break;
        }
    }
    if (!haveUid)
        return false;

    char target[PATH_MAX];
    ssize_t n = readlink((dir + "/exe").c_str(), target, sizeof target - 1);
    if (n > 0) {
        std::string exe(target, static_cast<size_t>(n));
        // A program replaced or removed while it runs.
        const std::string deleted = " (deleted)";
        if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
            exe.resize(exe.size() - deleted.size());
        info.exeName = platform::BaseName(exe);
    }
    std::string cmdline = ReadSmallFile(dir + "/cmdline");
    info.argv0Name = platform::BaseName(cmdline.substr(0, cmdline.find('\0')), "/\\");
    info.pid = pid;
    return true;
}

bool HasName(const ProcessInfo& info, const std::string& name) {
    if (name.empty())
        return false;
    if (info.exeName == name || info.argv0Name == name)
        return true;
    return name.size() < 16 && info.comm == name;
}

// Calls visit for every readable process but this one; visit returns false to stop.
void ForEachProcess(const std::function<bool(pid_t)>& visit) {
    DIR* proc = opendir("/proc");
    if (!proc)
        return;
    const pid_t self = getpid();
    while (dirent* entry = readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self)
            continue;
        if (!visit(static_cast<pid_t>(pid)))
            break;
    }
    closedir(proc);
}

}  // namespace

int TerminateProcessesByName(const std::string& name) {
    if (name.empty())
        return 0;
    const uid_t me = getuid();
    int signalled = 0;
    ForEachProcess([&](pid_t pid) {
        // The pidfd pins this very process: should it end and its pid be reused
        // while we look, the signal fails instead of reaching a stranger.
        int fd = platform::PidfdOpen(pid);
        if (fd < 0 && errno != ENOSYS)
            return true;
        ProcessInfo info;
        if (ReadProcess(pid, info) && info.realUid == me && HasName(info, name)) {
            int rc = fd >= 0 ? platform::PidfdSendSignal(fd, SIGTERM) : kill(pid, SIGTERM);
            if (rc == 0)
                ++signalled;
        }
        if (fd >= 0)
            close(fd);
        return true;
    });
    return signalled;
}

bool FindProcessByName(const std::vector<std::string>& names) {
    bool found = false;
    if (names.empty())
        return false;
    ForEachProcess([&](pid_t pid) {
        ProcessInfo info;
        if (!ReadProcess(pid, info))
            return true;
        for (const std::string& name : names)
            if (HasName(info, name)) {
                found = true;
                return false;
            }
        return true;
    });
    return found;
}
