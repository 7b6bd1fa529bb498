#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/system/ProcessHandle.h"

// Starting programs: installers, games, a game's options program, the launcher's
// own update installer.

// Starts the program at path with a Windows-style parameter string. A path
// without "/" is taken from the program folder. The program's folder is its
// working folder. What runs is decided by the file's content: an ELF binary or a
// "#!" script runs directly (the owner's execute bit is set first, since a
// downloaded file has none); any other ".exe" runs through wine and ".msi"
// through "wine msiexec /i", when wine is on PATH. Elevation is never asked for,
// so plainOpen changes nothing here. Null when nothing could be started (no
// message: callers show their own); *failure then says why.
std::unique_ptr<ProcessHandle> LaunchProgram(const std::string& path, const std::string& parameters, bool plainOpen,
                                             std::string* failure = nullptr);

// Whether LaunchProgram could start the program at all (the file is there and
// is an ELF binary or a "#!" script, or a ".exe" or ".msi" with wine on PATH),
// without starting anything; false with *failure saying why.
bool CanLaunchProgram(const std::string& path, std::string* failure = nullptr);

// Whether a file's first bytes (four are enough) begin an ELF binary or a "#!"
// script: a program that runs directly and needs its execute bit.
bool IsNativeProgramStart(std::string_view head);

// Splits a parameter string as a Windows program's CommandLineToArgvW splits the
// text after the program name: blanks and tabs separate; "..." groups;
// 2n backslashes before a quote give n backslashes and the quote groups, 2n+1
// give n backslashes and a literal quote; other backslashes are literal; inside
// a group, "" gives a literal quote and ends the group.
std::vector<std::string> SplitWindowsParameters(const std::string& parameters);

// The first executable regular file of that name in the folders of $PATH
// (empty parts skipped); empty when there is none.
std::string FindOnPath(const std::string& name);
