#include "games/downloads/StaleFetchFiles.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace {

bool AllDigits(const std::string& text, size_t from, size_t to) {
    if (from >= to || to - from > 18)
        return false;
    for (size_t i = from; i < to; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

bool Running(long pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

}  // namespace

StaleFetchFiles::StaleFetchFiles(std::function<bool(const std::string& path)> keepPath) : keep(std::move(keepPath)) {}

bool StaleFetchFiles::Matches(const std::string& name, long& pid) {
    size_t dash = name.rfind('-');
    if (dash == std::string::npos || !AllDigits(name, dash + 1, name.size()))
        return false;
    size_t dot = name.rfind('.', dash);
    if (dot == std::string::npos || dot == 0)
        return false;
    size_t kind = name.find('-', dot);
    if (kind == std::string::npos || kind >= dash || !AllDigits(name, kind + 1, dash))
        return false;
    const std::string word = name.substr(dot + 1, kind - dot - 1);
    if (word != "repair" && word != "part")
        return false;
    pid = std::stol(name.substr(kind + 1, dash - kind - 1));
    return true;
}

void StaleFetchFiles::RemoveIn(const std::string& folder) {
    if (!cleaned.insert(folder).second)
        return;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir)
        return;
    const pid_t self = ::getpid();
    while (const dirent* e = ::readdir(dir.get())) {
        long pid = 0;
        if (!Matches(e->d_name, pid) || pid == self || Running(pid))
            continue;
        struct stat st {};
        // Only files: a folder of that name is nobody's leftover.
        const std::string path = folder + "/" + e->d_name;
        if ((!keep || !keep(path)) && ::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
            ::unlink(path.c_str());
    }
}
