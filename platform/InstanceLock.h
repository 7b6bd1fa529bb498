#pragma once
#include <cstdint>
#include <string>

namespace platform {

// One running instance per user: the backing of a per-user named mutex. The
// first instance holds an exclusive flock on "<folder>/<name>.lock" for its
// whole life; the kernel drops it when the process ends, however it ends.
//
// A start-up lock beside it ("<name>.starting.lock") closes the race between a
// first instance that is still starting and a second start: every start takes
// it before it tries the instance lock, and a first instance keeps it until
// MarkReady (its own auto-start values written, its show-window event made).
// So a second start that finds the instance lock held knows the first is ready,
// or has waited for it up to the given time.
//
// Both files are opened close-on-exec, so programs Quor starts never hold them.
class InstanceLock {
public:
    // With no folder, or files that cannot be opened, the start counts as the
    // first: there is no instance it could hand over to.
    InstanceLock(const std::string& folder, const std::string& name, int64_t startupWaitMs = 10000);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    bool IsFirst() const { return first; }
    // The first instance was still starting when the wait ran out.
    bool StartupWaitTimedOut() const { return timedOut; }
    // Later starts may hand over from now on (releases the start-up lock).
    void MarkReady();

private:
    int instanceFd = -1;
    int startupFd = -1;
    bool first = true;
    bool timedOut = false;
};

}  // namespace platform
