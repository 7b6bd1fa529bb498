#pragma once
#include <cstddef>
#include <memory>
#include <string>

#include "booster/PmbChildren.h"
#include "booster/PmbRecords.h"
#include "core/system/ProcessHandle.h"

// Finding and starting the booster (PmbRecovery.h waits for it and restarts it).

// HKEY_CURRENT_USER "Software\Pando Networks\PMB": Quor's own hive first, then
// the wine prefix's user.reg (where a booster installed through wine writes),
// whose drive-letter paths are mapped through dosdevices/.
inline constexpr const char* kPmbKey = "Software\\Pando Networks\\PMB";

// The wide characters a value handed to the caller may hold, its terminator
// included (the size of the library's own buffers): a longer value counts as
// one that cannot be read.
inline constexpr size_t kPmbValueLength = 1024;

struct PmbInstalled {
    bool keyFound = false;  // the key and its "Program Directory" could be read
    bool found = false;     // ... the folder is absolute and holds PMB.exe
    bool versionRead = false;
    std::string version;     // "Version Number"
    std::string folder;      // "Program Directory" as stored, as a path on this machine
    std::string winePrefix;  // set when the entries came from a wine prefix
};
PmbInstalled PmbFindInstalled();
std::string PmbInstalledFolder();  // empty when not found
// <folder>/PMB.exe, the program the library starts.
std::string PmbProgramPath(const std::string& folder);
// A path the booster named (a drive-letter path when it runs through wine).
std::string PmbMapBoosterPath(const PmbInstalled& installed, const std::string& path);

// Whether the installed version is below the minimum: parts split at ".",
// compared as decimal numbers as far as the shorter list reaches.
bool PmbVersionBelow(const std::wstring& installed, const std::wstring& minimum);

// Starts path (absolute only) with a Windows-style parameter text; a path whose
// text after its last "." is exactly "msi" gets no parameters (it goes through
// msiexec). Null when nothing was started.
std::unique_ptr<ProcessHandle> PmbStartProcess(const std::string& path, const std::string& parameters);
// Starts <folder>/PMB.exe with no arguments and keeps it in children; false for
// an empty or relative folder.
bool PmbLaunchBooster(const std::string& folder, PmbChildren& children);
// One parameter as a Windows program's command-line splitter reads it back whole.
std::string PmbQuoteParameter(const std::string& text);
