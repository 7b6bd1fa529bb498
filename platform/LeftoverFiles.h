#pragma once
#include <functional>
#include <optional>
#include <string>

namespace platform {

// A writer keeps its work beside the file it writes, under the name
// "<target>.<kind>-<pid>-<n>", until it renames or removes it. A process killed
// in between leaves that file behind for ever unless a later writer removes it.
// One whose process has ended is such a leftover; a running process may still be
// writing its own.
struct LeftoverFile {
    std::string target;  // the name of the file it was written for
    std::string kind;    // what the writer calls it: "tmp", "part", "repair"
    long pid = 0;        // the process that wrote it
};

// The parts of a name of that form; nullopt for any other name.
std::optional<LeftoverFile> ParseLeftoverName(const std::string& fileName);

// Removes, directly in folder, each file (never a folder) whose name has that
// form, that `wanted` accepts (given the parts and the whole path) and whose
// process has ended; this process's own stay.
void RemoveLeftovers(const std::string& folder,
                     const std::function<bool(const LeftoverFile& file, const std::string& path)>& wanted);

}  // namespace platform
