#include "games/downloads/SaveFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "core/settings/ConfigManager.h"
#include "core/text/Messages.h"

std::string DefaultSaveFolder() {
    return ConfigManager::GetAppDataFolder();
}

std::string GetCurrentUserName() {
    // The real user id, as the Windows call answers for the account that runs us;
    // not $USER or $LOGNAME, which any caller may set.
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_name)
        return {};
    return found->pw_name;
}

std::string SaveFolderPrompt() {
    return GetLocalizedString(Msg::SelectSaveLocation);
}

std::string DriveOfFolder(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    struct stat st {};
    // A folder not made yet lies on the file system of its nearest existing parent.
    while (!path.empty() && stat(path.c_str(), &st) != 0) {
        size_t slash = path.rfind('/');
        if (slash == std::string::npos)
            return folder;
        path = slash == 0 ? "/" : path.substr(0, slash);
    }
    if (path.empty() || path[0] != '/')
        return folder;
    while (path != "/") {
        size_t slash = path.rfind('/');
        std::string parent = slash == 0 ? "/" : path.substr(0, slash);
        struct stat up {};
        if (stat(parent.c_str(), &up) != 0 || up.st_dev != st.st_dev)
            break;
        path = parent;
    }
    return path;
}

bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}
