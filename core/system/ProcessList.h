#pragma once
#include <string>
#include <vector>

// Finding and ending processes by program name. A process has a name when the
// base name of its program (/proc/PID/exe), or of its argv[0] (wine runs a
// Windows program under its own loader and names it there, with "\" or "/"),
// equals it exactly, in the same case; for names shorter than 16 bytes the
// kernel's process name (comm, which it cuts to 15 bytes) counts too. Quor's own
// process, kernel threads and zombies never match.

// Sends SIGTERM to every process of the same real user that has this name;
// returns how many were signalled. Processes that cannot be read are skipped.
int TerminateProcessesByName(const std::string& name);

// True when a running process has one of the names; false for an empty list.
bool FindProcessByName(const std::vector<std::string>& names);
