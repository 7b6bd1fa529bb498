#include "platform/InstanceLock.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

#include "platform/Log.h"

namespace platform {

namespace {

int OpenLockFile(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

bool TryLock(int fd) {
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

}  // namespace

InstanceLock::InstanceLock(const std::string& folder, const std::string& name, int64_t startupWaitMs) {
    if (folder.empty()) {
        Log::Warning("no private folder for the instance lock; starting as the first instance");
        return;
    }
    std::string base = folder + (folder.back() == '/' ? "" : "/") + name;
    startupFd = OpenLockFile(base + ".starting.lock");
    instanceFd = OpenLockFile(base + ".lock");
    if (instanceFd < 0) {
        Log::Warning("the instance lock in \"%s\" cannot be opened: %s; starting as the first instance", folder.c_str(),
                     std::strerror(errno));
        return;
    }
    if (startupFd >= 0) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(startupWaitMs);
        while (!TryLock(startupFd)) {
            if (std::chrono::steady_clock::now() >= deadline) {
                // A first instance that never gets ready must not keep everyone out.
                timedOut = true;
                ::close(startupFd);
                startupFd = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    first = TryLock(instanceFd);
    if (!first) {
        ::close(instanceFd);
        instanceFd = -1;
    }
}

InstanceLock::~InstanceLock() {
    if (startupFd >= 0)
        ::close(startupFd);
    if (instanceFd >= 0)
        ::close(instanceFd);
}

void InstanceLock::MarkReady() {
    if (startupFd >= 0) {
        ::close(startupFd);
        startupFd = -1;
    }
}

}  // namespace platform
