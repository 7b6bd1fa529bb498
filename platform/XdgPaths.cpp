#include "platform/XdgPaths.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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
    if (cache.empty() || !MakeFolders(cache, 0700))
        return {};
    std::string folder = cache + "/quor-runtime";
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    struct stat st {};
    // Only a real folder of our own, never a link, and private to us.
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid())
        return {};
    if ((st.st_mode & 077) != 0 && chmod(folder.c_str(), 0700) != 0)
        return {};
    return folder;
}

std::string XdgDataDirs() {
    const char* v = std::getenv("XDG_DATA_DIRS");
    return (v && *v) ? std::string(v) : std::string("/usr/local/share:/usr/share");
}

bool MakeFolders(const std::string& path, unsigned mode) {
    if (path.empty())
        return false;
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty())
            continue;
        if (mkdir(partial.c_str(), mode) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace platform
