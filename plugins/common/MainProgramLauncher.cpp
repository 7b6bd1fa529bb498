#include "plugins/common/MainProgramLauncher.h"

#include <sys/stat.h>
#include <unistd.h>

#include "plugins/common/DetachedSpawn.h"
#include "plugins/common/LaunchCommand.h"

MainProgramLauncher::MainProgramLauncher(std::string productKey) : lookup(std::move(productKey)) {}

bool MainProgramLauncher::LaunchMainProgram(const std::string* game) {
    if (!game)
        return false;
    const auto command = LaunchCommand::Build(lookup.GetInstallDir(), *game);
    if (!command)
        return false;
    struct stat st {};
    if (stat(command->program.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || access(command->program.c_str(), X_OK) != 0)
        return false;
    return DetachedSpawn(command->program, command->argv, command->workingFolder);
}
