#include "booster/PmbTokenCache.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "booster/PmbInstallation.h"
#include "booster/PmbRequest.h"
#include "booster/PmbSettings.h"
#include "core/text/StringUtils.h"

PmbTokenCache& PmbTokenCache::Get() {
    static PmbTokenCache cache;
    return cache;
}

std::wstring PmbTokenCache::Current() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!token)
        token = pmbrequest::GetToken(PmbSettings::kClientId);
    if (token) {
        netToken = token->netToken;
        Validate();
    }
    return netToken;
}

bool PmbTokenCache::Validate() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!token)
        return false;
    WriteDiskToken();
    const auto reply = pmbrequest::ValidateDiskToken(token->netToken);
    if (reply && reply->validated) {
        WriteDiskToken();
        return true;
    }
    token.reset();
    return false;
}

std::wstring PmbTokenCache::Refresh() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    token = pmbrequest::GetToken(PmbSettings::kClientId);
    netToken.clear();
    if (token) {
        netToken = token->netToken;
        WriteDiskToken();
    }
    return netToken;
}

void PmbTokenCache::WriteDiskToken() {
    // Whoever answers on the port names this file: it is written only inside the
    // booster's own folder.
    try {
        const PmbInstalled installed = PmbFindInstalled();
        if (!installed.found)
            return;
        const std::string path = PmbMapBoosterPath(installed, WStringToUtf8(token->filePath));
        WriteFileInsideFolder(installed.folder, path, WStringToUtf8(token->diskToken));
    } catch (const std::exception&) {
    }
}

namespace {

// The "/"-separated parts of an absolute path; false for a relative path or a
// "." or ".." part.
bool SplitAbsolute(const std::string& path, std::vector<std::string>& parts) {
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos)
        return false;
    for (const std::string& part : SplitString(path, '/')) {
        if (part.empty())
            continue;
        if (part == "." || part == "..")
            return false;
        parts.push_back(part);
    }
    return true;
}

}  // namespace

bool WriteFileInsideFolder(const std::string& folder, const std::string& path, const std::string& text) {
    std::vector<std::string> folderParts, pathParts;
    if (!SplitAbsolute(folder, folderParts) || !SplitAbsolute(path, pathParts))
        return false;
    if (pathParts.size() <= folderParts.size())
        return false;
    for (size_t k = 0; k < folderParts.size(); ++k)
        if (folderParts[k] != pathParts[k])
            return false;
    // The booster's folder itself comes from our registry and may sit behind a
    // link (a wine drive); below it, every part is opened without following one.
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return false;
    for (size_t k = folderParts.size(); k + 1 < pathParts.size(); ++k) {
        const int next = openat(dir, pathParts[k].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(dir);
        if (next < 0)
            return false;
        dir = next;
    }
    const int fd =
        openat(dir, pathParts.back().c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    close(dir);
    if (fd < 0)
        return false;
    struct stat info {};
    // A second name for the file may lie outside the folder: such a file is left alone.
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 && ftruncate(fd, 0) == 0;
    size_t done = 0;
    while (ok && done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<size_t>(n);
    }
    close(fd);
    return ok;
}
