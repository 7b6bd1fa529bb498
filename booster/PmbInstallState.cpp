#include "booster/PmbInstallState.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

#include "booster/PmbHttp.h"
#include "booster/PmbInstallation.h"
#include "booster/PmbSettings.h"
#include "core/system/SystemPaths.h"
#include "core/text/StringUtils.h"
#include "platform/AtomicFile.h"
#include "platform/DurableFiles.h"
#include "platform/SafePath.h"

PmbInstallerState PmbInstallState::Poll() {
    std::lock_guard<std::mutex> guard(lock);
    bool justEnded = false;
    if (process && process->HasEnded()) {
        state = PmbInstallerState::Finished;
        process.reset();
        justEnded = true;
    }
    if ((justEnded || state == PmbInstallerState::Finished) && !PmbFindInstalled().found)
        state = PmbInstallerState::Idle;
    return state;
}

namespace {

// The free space of the installer's disk is asked again after this many bytes.
constexpr uint64_t kSpaceCheckStep = 4ull << 20;

// The installer's file, fetched whole under a temporary name and synced before
// it is renamed into place (its folder synced after). The download stops at the
// installer cap and wherever the disk would keep less than the reserve free:
// an announced body must fit above it whole, an unannounced one stops there.
// 0 on failure, with nothing left behind.
uint64_t Download(const std::string& url, const std::string& folder, const std::string& target) {
    const PmbSettings& settings = PmbSettings::Get();
    const std::string temporary = target + ".part";
    unlink(temporary.c_str());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
    if (fd < 0)
        return 0;
    uint64_t written = 0;
    uint64_t nextSpaceCheck = 0;
    const PmbHttpLimits limits{settings.installerSeconds, settings.installerCap, true};
    const bool complete = PmbHttpGet(url, limits, [&](const char* data, size_t size, int64_t announced) {
        if (written >= nextSpaceCheck) {
            const uint64_t coming = announced >= 0 ? static_cast<uint64_t>(announced) - written : 0;
            const std::optional<uint64_t> free = settings.FreeBytes(folder);
            if (free && *free < settings.freeSpaceReserveBytes + coming)
                return false;
            nextSpaceCheck = written + kSpaceCheckStep;
        }
        if (platform::WriteDescriptor(fd, data, size) != 0)
            return false;
        written += size;
        return true;
    });
    const bool synced = complete && platform::SyncFile(fd) == 0;
    const bool closed = close(fd) == 0;
    if (!synced || !closed || written == 0 || rename(temporary.c_str(), target.c_str()) != 0) {
        unlink(temporary.c_str());
        return 0;
    }
    // Nothing relies on the name surviving a power cut (a lost one is fetched
    // again), so a failed folder sync does not stop the start.
    platform::SyncFolder(folder);
    return written;
}

}  // namespace

bool PmbInstallState::Begin(const std::string& partner) {
    std::lock_guard<std::mutex> guard(lock);
    if (process || state == PmbInstallerState::Finished)
        return true;
    // Without an application-data folder there is nowhere safe to put it.
    const std::string appData = GetLocalAppDataPath();
    if (appData.empty())
        return false;
    std::string folder = appData;
    if (folder.back() != '/')
        folder += '/';
    folder += PmbSettings::kInstallerFolder;
    if (!platform::MakeFolders(folder, 0700))
        return false;
    const std::string url = PmbSettings::InstallerUrl();
    const std::optional<std::string> target = platform::SafeJoin(folder, GetUrlFileName(url));
    if (!target || *target == folder || GetUrlFileName(url).empty())
        return false;
    if (Download(url, folder, *target) < kMinimumInstallerSize)
        return false;
    std::shared_ptr<ProcessHandle> started =
        PmbStartProcess(*target, "/S " + PmbQuoteParameter("--partner=" + partner));
    if (!started)
        return false;
    children.Keep(started);
    process = std::move(started);
    state = PmbInstallerState::Running;
    return true;
}
