#pragma once
#include <string>

namespace platform {

// The usual XDG folders, without a trailing "/"; empty when they cannot be had
// (the variable unset or relative and no $HOME to fall back on).
std::string HomeFolder();
std::string XdgDataHome();     // $XDG_DATA_HOME, else ~/.local/share
std::string XdgConfigHome();   // $XDG_CONFIG_HOME, else ~/.config
std::string XdgCacheHome();    // $XDG_CACHE_HOME, else ~/.cache
// $XDG_RUNTIME_DIR, else a 0700 folder of ours under XdgCacheHome() (a folder
// under /tmp could be taken first by another user).
std::string XdgRuntimeDir();
std::string XdgDataDirs();     // $XDG_DATA_DIRS, else /usr/local/share:/usr/share

// Creates a folder and its missing parents with the given mode; true when it exists afterwards.
bool MakeFolders(const std::string& path, unsigned mode = 0700);

}  // namespace platform
