#include "platform/XdgPaths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/DurableFiles.h"

extern char** environ;

namespace platform {

namespace {

std::string AbsoluteEnv(const char* name) {
    const char* v = std::getenv(name);
    if (!v || v[0] != '/')
        return {};
    std::string s = v;
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

std::string UnderHome(const char* relative) {
    std::string home = HomeFolder();
    return home.empty() ? std::string() : home + relative;
}

}  // namespace

std::string HomeFolder() {
    return AbsoluteEnv("HOME");
}

std::string XdgDataHome() {
    std::string v = AbsoluteEnv("XDG_DATA_HOME");
    return v.empty() ? UnderHome("/.local/share") : v;
}

std::string XdgConfigHome() {
    std::string v = AbsoluteEnv("XDG_CONFIG_HOME");
    return v.empty() ? UnderHome("/.config") : v;
}

std::string XdgCacheHome() {
    std::string v = AbsoluteEnv("XDG_CACHE_HOME");
    return v.empty() ? UnderHome("/.cache") : v;
}

std::string XdgRuntimeDir() {
    std::string v = AbsoluteEnv("XDG_RUNTIME_DIR");
    if (!v.empty())
        return v;
    std::string cache = XdgCacheHome();
    if (cache.empty())
        return {};
    std::string folder = cache + "/quor-runtime";
    if (!MakeFolders(folder, 0700))
        return {};
    struct stat st {};
    // Only a real folder of our own, never a link, and private to us.
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid())
        return {};
    if ((st.st_mode & 077) != 0 && chmod(folder.c_str(), 0700) != 0)
        return {};
    return folder;
}

namespace {

// The user's value once the toolkit's was made; set before any thread runs.
struct UserDataDirs {
    bool captured = false;
    bool set = false;
    std::string value;
};

UserDataDirs& Captured() {
    static UserDataDirs dirs;
    return dirs;
}

bool HasFolder(const std::string& list, const std::string& folder) {
    size_t start = 0;
    for (;;) {
        size_t end = list.find(':', start);
        std::string part = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        while (part.size() > 1 && part.back() == '/')
            part.pop_back();
        if (part == folder)
            return true;
        if (end == std::string::npos)
            return false;
        start = end + 1;
    }
}

}  // namespace

std::string XdgDataDirs() {
    const UserDataDirs& user = Captured();
    std::string v;
    if (user.captured) {
        v = user.set ? user.value : std::string();
    } else if (const char* env = std::getenv("XDG_DATA_DIRS")) {
        v = env;
    }
    return !v.empty() ? v : std::string("/usr/local/share:/usr/share");
}

void AugmentDataDirsForToolkit() {
    UserDataDirs& user = Captured();
    if (!user.captured) {
        const char* v = std::getenv("XDG_DATA_DIRS");
        user.captured = true;
        user.set = v != nullptr;
        user.value = v ? v : "";
    }
    // Unset or empty, the toolkit takes the default that has both.
    if (user.value.empty())
        return;
    std::string value = user.value;
    for (const char* folder : {"/usr/local/share", "/usr/share"})
        if (!HasFolder(value, folder))
            value += std::string(":") + folder;
    setenv("XDG_DATA_DIRS", value.c_str(), 1);
}

void RestoreUserDataDirs() {
    UserDataDirs& user = Captured();
    if (!user.captured)
        return;
    if (user.set)
        setenv("XDG_DATA_DIRS", user.value.c_str(), 1);
    else
        unsetenv("XDG_DATA_DIRS");
    user = UserDataDirs();
}

std::vector<std::string> UserEnvironment() {
    const UserDataDirs& user = Captured();
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        if (user.captured && std::strncmp(*e, "XDG_DATA_DIRS=", 14) == 0)
            continue;
        env.emplace_back(*e);
    }
    if (user.captured && user.set)
        env.push_back("XDG_DATA_DIRS=" + user.value);
    return env;
}

}  // namespace platform
