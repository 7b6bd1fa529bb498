#include "ui/panels/SystemProgramStarter.h"

#include "core/system/ProcessHandle.h"
#include "core/system/ProcessLauncher.h"
#include "core/system/ProgramLauncher.h"

namespace {

class StartedProcess final : public RunningProgram {
public:
    explicit StartedProcess(std::unique_ptr<ProcessHandle> handle) : handle(std::move(handle)) {}
    bool HasEnded() override { return handle->HasEnded(); }

private:
    std::unique_ptr<ProcessHandle> handle;
};

}  // namespace

std::unique_ptr<RunningProgram> SystemProgramStarter::Start(const std::string& path, const std::string& parameters,
                                                            std::string* failure) {
    std::unique_ptr<ProcessHandle> handle;
    ProcessLauncher& launcher = ProcessLauncher::Current();
    if (&launcher == &ProcessLauncher::System()) {
        handle = LaunchProgram(path, parameters, false, failure);
    } else {
        handle = launcher.Launch(path, parameters, false);
        if (!handle && failure)
            *failure = "The program could not be started.";
    }
    if (!handle)
        return nullptr;
    return std::make_unique<StartedProcess>(std::move(handle));
}

bool SystemProgramStarter::CanStart(const std::string& path, std::string* failure) {
    // A launcher put in the system's place decides only when it starts.
    if (&ProcessLauncher::Current() != &ProcessLauncher::System())
        return true;
    return CanLaunchProgram(path, failure);
}
