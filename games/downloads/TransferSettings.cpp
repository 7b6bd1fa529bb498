#include "games/downloads/TransferSettings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <memory>

#include "core/telemetry/EventTask.h"
#include "core/threads/TaskManager.h"

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
    int r;
    do
        r = folder ? fsync(fd) : fdatasync(fd);
    while (r != 0 && errno == EINTR);
    return r == 0;
}

void TransferSettings::QueueEvent(const std::string& category, const std::string& action,
                                  const std::string& label) const {
    if (queueEvent)
        queueEvent(category, action, label);
    else
        TaskManager::Queue(std::make_unique<EventTask>(category, action, label));
}
