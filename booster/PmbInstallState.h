#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "booster/PmbChildren.h"
#include "core/system/ProcessHandle.h"

enum class PmbInstallerState { Idle = 0, Running = 1, Finished = 2 };

// The booster installer of the process. Each operation holds the lock
// throughout, the download included (its overall limit bounds it). The running
// installer is kept in the library's children as well, so it is reaped at the
// next call even when nobody polls again.
class PmbInstallState {
public:
    explicit PmbInstallState(PmbChildren& children) : children(children) {}

    // Notices the installer's end (without waiting); a finished installer that
    // left no booster behind makes the state idle again. Returns the state.
    PmbInstallerState Poll();
    // Downloads the installer into <application data>/Pando_Temp and starts it
    // with "/S --partner=<partner>" when it is at least 1048576 bytes long.
    bool Begin(const std::string& partner);

    static constexpr uint64_t kMinimumInstallerSize = 1048576;

private:
    PmbChildren& children;
    std::mutex lock;
    PmbInstallerState state = PmbInstallerState::Idle;
    std::shared_ptr<ProcessHandle> process;
};
