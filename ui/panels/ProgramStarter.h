#pragma once
#include <memory>
#include <string>

#include "ui/panels/RunningProgram.h"

// Starts installers, games, the options program and the update installer.
class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    // parameters is a Windows-style parameter string. Null when nothing could
    // be started; *failure then holds the system's reason.
    virtual std::unique_ptr<RunningProgram> Start(const std::string& path, const std::string& parameters,
                                                  std::string* failure) = 0;
    // Whether Start could start the program at all, decided without starting
    // it; false with *failure saying why.
    virtual bool CanStart(const std::string& path, std::string* failure) {
        (void)path;
        (void)failure;
        return true;
    }
};
