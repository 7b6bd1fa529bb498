#include "platform/LeftoverFiles.h"

#include <cerrno>
#include <dirent.h>
#include <memory>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool AllDigits(const std::string& text, size_t from, size_t to) {
    if (from >= to || to - from > 18)
        return false;
    for (size_t i = from; i < to; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

// Whether a process of that id runs (one of another user included).
bool ProcessRunning(long pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

}  // namespace

std::optional<LeftoverFile> ParseLeftoverName(const std::string& fileName) {
    size_t dash = fileName.rfind('-');
    if (dash == std::string::npos || !AllDigits(fileName, dash + 1, fileName.size()))
        return std::nullopt;
    size_t dot = fileName.rfind('.', dash);
    if (dot == std::string::npos || dot == 0)
        return std::nullopt;
    size_t kind = fileName.find('-', dot);
    if (kind == std::string::npos || kind >= dash || !AllDigits(fileName, kind + 1, dash) || kind == dot + 1)
        return std::nullopt;
    return LeftoverFile{fileName.substr(0, dot), fileName.substr(dot + 1, kind - dot - 1),
                        std::stol(fileName.substr(kind + 1, dash - kind - 1))};
}

void RemoveLeftovers(const std::string& folder,
                     const std::function<bool(const LeftoverFile& file, const std::string& path)>& wanted) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()), &::closedir);
    if (!dir)
        return;
    const long self = ::getpid();
    while (const dirent* e = ::readdir(dir.get())) {
        std::optional<LeftoverFile> file = ParseLeftoverName(e->d_name);
        if (!file || file->pid == self)
            continue;
        const std::string path = (folder.empty() ? std::string() : folder + "/") + e->d_name;
        if (!wanted(*file, path) || ProcessRunning(file->pid))
            continue;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
            ::unlink(path.c_str());
    }
}

}  // namespace platform
