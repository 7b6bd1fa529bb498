#include "games/TransferSettings.h"

#include <ctime>
#include <memory>

#include "core/EventTask.h"
#include "core/TaskManager.h"

int64_t TransferSettings::Now() const {
    return clock ? clock() : static_cast<int64_t>(std::time(nullptr));
}

std::optional<DiskFreeBytes> TransferSettings::FreeBytes(const std::string& folder) const {
    return freeSpace ? freeSpace(folder) : GetDiskFreeBytes(folder);
}

void TransferSettings::QueueEvent(const std::string& category, const std::string& action,
                                  const std::string& label) const {
    if (queueEvent)
        queueEvent(category, action, label);
    else
        TaskManager::Queue(std::make_unique<EventTask>(category, action, label));
}
