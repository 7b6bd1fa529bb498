#include "games/downloads/TransferSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <memory>

#include "core/telemetry/EventTask.h"
#include "core/threads/TaskManager.h"
#include "platform/DurableFiles.h"

int64_t TransferSettings::Now() const {
    return clock ? clock() : static_cast<int64_t>(std::time(nullptr));
}

std::optional<DiskFreeBytes> TransferSettings::FreeBytes(const std::string& folder) const {
    return freeSpace ? freeSpace(folder) : GetDiskFreeBytes(folder);
}

bool TransferSettings::SyncFile(int fd) const {
    if (syncFile)
        return syncFile(fd);
    struct stat st {};
    bool folder = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    return (folder ? platform::SyncFile(fd) : platform::SyncFileData(fd)) == 0;
}

bool TransferSettings::SyncFolder(const std::string& folder) const {
    if (!syncFile)
        return platform::SyncFolder(folder) == 0;
    int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool synced = SyncFile(fd);
    close(fd);
    return synced;
}

void TransferSettings::QueueEvent(const std::string& category, const std::string& action,
                                  const std::string& label) const {
    if (queueEvent)
        queueEvent(category, action, label);
    else
        TaskManager::Queue(std::make_unique<EventTask>(category, action, label));
}
