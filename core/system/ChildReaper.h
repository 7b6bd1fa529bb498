#pragma once
#include <mutex>
#include <sys/types.h>
#include <vector>

#include "core/threads/Thread.h"

// Collects the exit status of children whose handles were released while they
// still ran, so that none of them stays a zombie. Only the pids handed to it are
// waited for (never waitpid(-1)); its thread runs only while it has pids to wait for.
// Made on first use and never destroyed: a handle may end after every static
// object has (one held by a static, an exit while a child runs) and must still
// find it. Code that may start no thread abandons its handles instead
// (ProcessHandle::Abandon).
class ChildReaper : public Thread {
public:
    static ChildReaper& Get();

    // Takes over one unreaped child of this process.
    void Adopt(pid_t pid);

    size_t PendingCount();

protected:
    void Run() override;

private:
    ChildReaper();
    // Reaps what has ended; true when nothing is left to wait for.
    bool ReapEnded();

    std::mutex lock;
    std::vector<pid_t> pending;
    bool running = false;
};
