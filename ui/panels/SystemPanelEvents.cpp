#include "ui/panels/SystemPanelEvents.h"

#include <memory>

#include "core/system/DownloadPopupTask.h"
#include "core/telemetry/EventTask.h"
#include "core/threads/TaskManager.h"

void SystemPanelEvents::QueueEvent(const std::string& category, const std::string& action, const std::string& label) {
    TaskManager::Queue(std::make_unique<EventTask>(category, action, label));
}

void SystemPanelEvents::QueueDownloadPopup(int32_t delaySeconds, const std::string& address) {
    TaskManager::Queue(std::make_unique<DownloadPopupTask>(delaySeconds, address));
}
