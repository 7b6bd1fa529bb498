#pragma once
#include <string>

// The crashed program's message, shown by a fresh copy of the program that the
// crash handler starts: the box alone (OK, no icon, the product caption), no
// manager, no registry, no instance lock. Ends this process.
[[noreturn]] void ShowCrashMessageAndExit(int argc, char** argv, const std::string& dumpPath);
