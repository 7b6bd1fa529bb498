#pragma once
#include <memory>
#include <mutex>
#include <vector>

#include "core/system/ProcessHandle.h"

// The programs the library started (the booster, its installer) for as long as
// they may run. The library starts no thread in its caller's process, so nothing
// reaps them in the background: each call reaps the ones that have ended, and at
// unload the ended ones are reaped and the running ones abandoned (they stay the
// caller's children; one that ends later waits unreaped until the caller's
// process waits for it or ends). Safe from any thread.
class PmbChildren {
public:
    PmbChildren() = default;
    ~PmbChildren();
    PmbChildren(const PmbChildren&) = delete;
    PmbChildren& operator=(const PmbChildren&) = delete;

    void Keep(std::shared_ptr<ProcessHandle> child);
    // Reaps every kept child that has ended and lets it go.
    void ReapEnded();

private:
    std::mutex lock;
    std::vector<std::shared_ptr<ProcessHandle>> children;
};
