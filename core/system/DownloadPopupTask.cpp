#include "core/system/DownloadPopupTask.h"

#include "core/system/Shell.h"
#include "core/threads/TaskManager.h"

DownloadPopupTask::DownloadPopupTask(int32_t delaySeconds, std::string address)
    : delaySeconds(delaySeconds), address(std::move(address)) {}

int64_t DownloadPopupTask::DelayMilliseconds() const {
    return delaySeconds < 0 ? 0 : static_cast<int64_t>(delaySeconds) * 1000;
}

void DownloadPopupTask::Run() {
    // Only the queue's thread runs tasks; without a queue there is no thread
    // whose stop could end the wait, so nothing is opened.
    TaskManager* queue = TaskManager::Instance();
    if (!queue || queue->WaitForStop(DelayMilliseconds()))
        return;
    OpenUrl(address);  // shows message 28 itself when the browser cannot be started
}
