#pragma once
#include <string>
#include <vector>

namespace platform {

// The usual XDG folders, without a trailing "/"; empty when they cannot be had
// (the variable unset or relative and no $HOME to fall back on).
std::string HomeFolder();
std::string XdgDataHome();    // $XDG_DATA_HOME, else ~/.local/share
std::string XdgConfigHome();  // $XDG_CONFIG_HOME, else ~/.config
std::string XdgCacheHome();   // $XDG_CACHE_HOME, else ~/.cache
// $XDG_RUNTIME_DIR, else a 0700 folder of ours under XdgCacheHome() (a folder
// under /tmp could be taken first by another user).
std::string XdgRuntimeDir();
// The user's $XDG_DATA_DIRS (as it was before AugmentDataDirsForToolkit), else
// /usr/local/share:/usr/share.
std::string XdgDataDirs();

// Before the toolkit starts: a $XDG_DATA_DIRS without /usr/share hides the
// system's MIME and schema data from the toolkit and its web view, so the
// process's own variable gets /usr/local/share:/usr/share appended. The user's
// value is kept for Quor's own lookups (XdgDataDirs) and for the programs it
// starts (UserEnvironment).
void AugmentDataDirsForToolkit();
// Puts the user's value back in the process's variable.
void RestoreUserDataDirs();
// The process's environment with the user's $XDG_DATA_DIRS, for a program started.
std::vector<std::string> UserEnvironment();

}  // namespace platform
