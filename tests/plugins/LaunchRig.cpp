#include "tests/plugins/LaunchRig.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>

#include "platform/RegistryStore.h"
#include "tests/fixtures/WaitUntil.h"

namespace fs = std::filesystem;

LaunchRig::LaunchRig(int holdSeconds) {
    folder = env.Path("Launcher Folder");
    const std::string script =
        "#!/bin/sh\n"
        "d=\"$(dirname \"$0\")/records\"\n"
        "mkdir -p \"$d\"\n"
        "{ pwd; printf '%s\\n' \"$0\"; for a in \"$@\"; "
        "do printf '%s\\n' \"$a\"; done; } > \"$d/.$$\"\n"
        "mv \"$d/.$$\" \"$d/$$\"\n"
        "sleep " +
        std::to_string(holdSeconds) + "\n";
    const std::string quor = env.WriteFile("Launcher Folder/Quor", script);
    chmod(quor.c_str(), 0755);
}

void LaunchRig::SetInstallDir(const std::string& product, const std::string& value, int type) const {
    platform::RegistryStore store(env.HklmFile(), platform::Hive::LocalMachine);
    platform::RegistryValue v{static_cast<platform::ValueType>(type), value, 0};
    store.WriteValue("SOFTWARE\\Brindlemoor\\" + product, "Install_Dir", v);
}

std::vector<LaunchRig::Launch> LaunchRig::Launches() const {
    std::vector<Launch> launches;
    const fs::path records = fs::path(folder) / "records";
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(records, ec)) {
        if (e.path().filename().string()[0] == '.')
            continue;
        std::ifstream in(e.path());
        Launch launch;
        launch.pid = std::stoi(e.path().filename().string());
        std::getline(in, launch.workingFolder);
        for (std::string line; std::getline(in, line);)
            launch.argv.push_back(line);
        launches.push_back(launch);
    }
    return launches;
}

std::vector<LaunchRig::Launch> LaunchRig::WaitForLaunches(size_t count) const {
    WaitUntil([&] { return Launches().size() >= count; });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return Launches();
}
