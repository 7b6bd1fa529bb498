#pragma once
#include <string>
#include <string_view>

namespace platform {

// The folder part of a path: up to its last "/", "/" itself for a name in the
// root, and `bare` for a name without any "/" (callers differ: "." to open the
// folder, "" where no folder is wanted).
std::string FolderOf(const std::string& path, std::string_view bare);

// What follows the last of `separators` in a path; the whole path without one.
std::string BaseName(const std::string& path, std::string_view separators = "/");

}  // namespace platform
