#include "core/system/SystemPaths.h"

#include <limits.h>
#include <unistd.h>

#include "platform/DurableFiles.h"
#include "platform/XdgPaths.h"

std::string GetProgramDirectory() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer) - 1)
        return {};
    std::string path(buffer, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string GetLocalAppDataPath() {
    std::string folder = platform::XdgDataHome();
    if (folder.empty())
        return {};
    // As the Windows shell does, the folder is created when missing.
    platform::MakeFolders(folder, 0700);
    return folder;
}
