#include "core/system/ChildReaper.h"

#include <algorithm>
#include <cerrno>
#include <sys/wait.h>

ChildReaper& ChildReaper::Get() {
    static ChildReaper* const reaper = new ChildReaper();
    return *reaper;
}

ChildReaper::ChildReaper() : Thread("child reaper") {
    SetRunOnce(true);
}

void ChildReaper::Adopt(pid_t pid) {
    if (pid <= 0)
        return;
    std::lock_guard<std::mutex> guard(lock);
    pending.push_back(pid);
    if (running)
        return;
    // The last run has left (or is leaving) its thread; join it before starting anew.
    Stop();
    running = Start();
}

size_t ChildReaper::PendingCount() {
    std::lock_guard<std::mutex> guard(lock);
    return pending.size();
}

bool ChildReaper::ReapEnded() {
    std::lock_guard<std::mutex> guard(lock);
    auto ended = [](pid_t pid) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        // ECHILD: not (or no longer) ours; nothing more to wait for.
        return r == pid || (r < 0 && errno != EINTR);
    };
    pending.erase(std::remove_if(pending.begin(), pending.end(), ended), pending.end());
    if (pending.empty()) {
        running = false;
        return true;
    }
    return false;
}

void ChildReaper::Run() {
    // Polls with a growing interval: a short-lived child is reaped soon, a
    // long-running one costs a wake-up a second.
    int64_t interval = 20;
    while (!ReapEnded()) {
        if (WaitForStop(interval)) {
            std::lock_guard<std::mutex> guard(lock);
            running = false;
            return;
        }
        interval = std::min<int64_t>(interval * 2, 1000);
    }
}
