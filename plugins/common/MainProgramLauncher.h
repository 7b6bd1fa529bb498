#pragma once
#include <string>

#include "plugins/common/InstallDirLookup.h"

// The launch both add-ons share: looks the install folder up and starts
// <folder>/Quor detached for the named game, with the folder as working folder.
// Nothing is started without a folder holding an executable Quor or without an
// acceptable name (see LaunchCommand). The add-ons ignore the result; nothing
// is reported to the page.
class MainProgramLauncher {
public:
    explicit MainProgramLauncher(std::string productKey);

    // game null: the page gave no name, nothing is started. True when Quor
    // started.
    bool LaunchMainProgram(const std::string* game);

    InstallDirLookup& Lookup() { return lookup; }

private:
    InstallDirLookup lookup;
};
