#pragma once
#include <cstdint>
#include <string>

#include "core/threads/Task.h"

// Opens a game's download pop-up page in the browser after a delay, on the task
// queue's thread. A negative delay counts as none. The wait ends early when the
// queue stops, and then the page is not opened.
class DownloadPopupTask : public Task {
public:
    DownloadPopupTask(int32_t delaySeconds, std::string address);
    void Run() override;

    // The wait in milliseconds (64-bit: a large delay must not wrap around).
    int64_t DelayMilliseconds() const;
    const std::string& Address() const { return address; }

private:
    int32_t delaySeconds;
    std::string address;
};
