#include "core/system/ProcessLauncher.h"

#include <atomic>

#include "core/system/ProgramLauncher.h"

namespace {

class SystemLauncher final : public ProcessLauncher {
public:
    std::unique_ptr<ProcessHandle> Launch(const std::string& path, const std::string& parameters,
                                          bool plainOpen) override {
        return LaunchProgram(path, parameters, plainOpen);
    }
};

SystemLauncher systemLauncher;
std::atomic<ProcessLauncher*> installed{nullptr};

}  // namespace

ProcessLauncher& ProcessLauncher::System() {
    return systemLauncher;
}

ProcessLauncher& ProcessLauncher::Current() {
    ProcessLauncher* launcher = installed.load();
    return launcher ? *launcher : systemLauncher;
}

void ProcessLauncher::Install(ProcessLauncher* launcher) {
    installed.store(launcher);
}
