#pragma once
#include <memory>
#include <string>

#include "core/system/ProcessHandle.h"

// Where game panels and the self-update start programs, so that tests can put a
// recording launcher in place of the real one.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;

    // As LaunchProgram: null when nothing could be started, without a message.
    virtual std::unique_ptr<ProcessHandle> Launch(const std::string& path, const std::string& parameters,
                                                  bool plainOpen) = 0;

    // The launcher that really starts programs (LaunchProgram).
    static ProcessLauncher& System();
    // The installed launcher, else the system one. Safe from any thread.
    static ProcessLauncher& Current();
    static void Install(ProcessLauncher* launcher);  // nullptr goes back to the system one
};
