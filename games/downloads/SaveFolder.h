#pragma once
#include <string>

// Where downloads are saved. A save folder always ends with "/"; two other
// results of a choice mean something of their own: "" (no folder: the dialog was
// cancelled, or no data folder exists) and "-1" (the choice had no path).

// The folder a new download goes into: the per-user data folder
// ($XDG_DATA_HOME/Brindlemoor Quor!/), created with its parents; "" when none.
std::string DefaultSaveFolder();

// Login name of the real user id; "" when it cannot be had.
std::string GetCurrentUserName();

// The folder dialog's prompt in the user's language.
std::string SaveFolderPrompt();

// The mount point of the file system that holds the folder: what the messages
// call the drive. The folder itself when it cannot be found.
std::string DriveOfFolder(const std::string& folder);

// A file name taken from a download address is used only when it is a plain
// name: not empty, not "." or "..", no "/", "\" or NUL.
bool IsPlainFileName(const std::string& name);
