#pragma once
#include <string>

// The folder of the running program (from /proc/self/exe), with its trailing "/".
std::string GetProgramDirectory();
// The user's local application-data folder ($XDG_DATA_HOME, else ~/.local/share),
// created when missing; empty when unknown.
std::string GetLocalAppDataPath();
