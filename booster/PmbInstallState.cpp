#include "booster/PmbInstallState.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "booster/PmbHttp.h"
#include "booster/PmbInstallation.h"
#include "booster/PmbSettings.h"
#include "core/system/SystemPaths.h"
#include "core/text/StringUtils.h"
#include "platform/SafePath.h"

PmbInstallState& PmbInstallState::Get() {
    static PmbInstallState installState;
    return installState;
}

int PmbInstallState::Poll() {
    std::lock_guard<std::mutex> guard(lock);
    bool justEnded = false;
    if (process && process->HasEnded()) {
        state = 2;
        process.reset();
        justEnded = true;
    }
    if ((justEnded || state == 2) && !PmbFindInstalled().found)
        state = 0;
    return state;
}

namespace {

// The installer's file, fetched whole under a temporary name first. 0 on failure.
uint64_t Download(const std::string& url, const std::string& target) {
    const std::string temporary = target + ".part";
    unlink(temporary.c_str());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
    if (fd < 0)
        return 0;
    uint64_t written = 0;
    const bool complete = PmbHttpGet(url, [&](const char* data, size_t size) {
        while (size > 0) {
            const ssize_t n = write(fd, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            data += n;
            size -= static_cast<size_t>(n);
            written += static_cast<uint64_t>(n);
        }
        return true;
    });
    const bool closed = close(fd) == 0;
    if (!complete || !closed || written == 0 || rename(temporary.c_str(), target.c_str()) != 0) {
        unlink(temporary.c_str());
        return 0;
    }
    return written;
}

}  // namespace

bool PmbInstallState::Begin(const std::string& partner) {
    std::lock_guard<std::mutex> guard(lock);
    if (process || state == 2)
        return true;
    // Without an application-data folder there is nowhere safe to put it.
    const std::string appData = GetLocalAppDataPath();
    if (appData.empty())
        return false;
    std::string folder = appData;
    if (folder.back() != '/')
        folder += '/';
    folder += PmbSettings::kInstallerFolder;
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    const std::string url = PmbSettings::InstallerUrl();
    const std::optional<std::string> target = platform::SafeJoin(folder, GetUrlFileName(url));
    if (!target || *target == folder || GetUrlFileName(url).empty())
        return false;
    if (Download(url, *target) < kMinimumInstallerSize)
        return false;
    std::unique_ptr<ProcessHandle> started =
        PmbStartProcess(*target, "/S " + PmbQuoteParameter("--partner=" + partner));
    if (!started)
        return false;
    process = std::move(started);
    state = 1;
    return true;
}
