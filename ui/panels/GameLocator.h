#pragma once
#include <string>

#include "core/ManifestEntry.h"

// Where an installed game is, read from the registry (or a shortcut marker).
class GameLocator {
public:
    virtual ~GameLocator() = default;

    // The location's install key exists (always true for a shortcut marker).
    virtual bool KeyExists(const std::string& installkey) = 0;
    // The full path of the game's program; "" when nothing is found.
    virtual std::string ProgramPath(const ManifestLocation& location) = 0;
    // The game's folder, named by installkey and launchpathsubkey; "" when none.
    virtual std::string InstallFolder(const ManifestLocation& location) = 0;
};
