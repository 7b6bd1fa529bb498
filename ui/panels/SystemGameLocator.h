#pragma once
#include "ui/panels/GameLocator.h"

// Game locations through the registry readers (ours, then the wine prefix's)
// and the shortcut markers.
class SystemGameLocator final : public GameLocator {
public:
    bool KeyExists(const std::string& installkey) override;
    std::string ProgramPath(const ManifestLocation& location) override;
    // The registry string named by installkey and launchpathsubkey; a subkey
    // that begins with "!" is the folder itself, and a shortcut marker's folder
    // is the one that holds its program. "" while the key does not exist.
    std::string InstallFolder(const ManifestLocation& location) override;
};
