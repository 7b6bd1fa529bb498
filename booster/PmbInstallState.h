#pragma once
#include <memory>
#include <mutex>
#include <string>

#include "core/system/ProcessHandle.h"

// The booster installer of the process: 0 idle, 1 running, 2 finished. Each
// operation holds the lock throughout.
class PmbInstallState {
public:
    static PmbInstallState& Get();

    // Notices the installer's end (without waiting); a finished installer that
    // left no booster behind makes the state idle again. Returns the state.
    int Poll();
    // Downloads the installer into <application data>/Pando_Temp and starts it
    // with "/S --partner=<partner>" when it is at least 1048576 bytes long.
    bool Begin(const std::string& partner);

    static constexpr uint64_t kMinimumInstallerSize = 1048576;

private:
    PmbInstallState() = default;
    std::mutex lock;
    int state = 0;
    std::unique_ptr<ProcessHandle> process;
};
