#pragma once
#include "ui/panels/ProgramStarter.h"

// Starts programs through the process's launcher, which goes by a file's
// content: ELF and "#!" files run directly (a downloaded file gets its owner's
// execute bit first), other ".exe" and ".msi" files through wine.
class SystemProgramStarter final : public ProgramStarter {
public:
    std::unique_ptr<RunningProgram> Start(const std::string& path, const std::string& parameters,
                                          std::string* failure) override;
    bool CanStart(const std::string& path, std::string* failure) override;
};
