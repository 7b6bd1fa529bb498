#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "games/DiskSpace.h"

class FolderDialog;

// What the transfers take from their surroundings, so that tests can control it.
// Empty functions mean the real thing.
struct TransferSettings {
    FreeSpaceQuery freeSpace;                 // statvfs
    std::function<int64_t()> clock;           // seconds since 1970
    // Queues a telemetry event (an EventTask on the task queue).
    std::function<void(const std::string& category, const std::string& action,
                       const std::string& label)> queueEvent;
    FolderDialog* folderDialog = nullptr;     // none: a start that needs the dialog fails

    bool startManagerThread = true;           // the 500 ms step; tests may drive Update themselves
    int64_t updateIntervalMs = 500;
    int64_t stallSeconds = 60;                // under 1 byte/s this long fails a transfer
    long probeConnectTimeoutSeconds = 2;
    long probeTimeoutSeconds = 5;
    long connectTimeoutSeconds = 5;
    long receiveBufferBytes = 512 * 1024;

    int64_t Now() const;
    std::optional<DiskFreeBytes> FreeBytes(const std::string& folder) const;
    void QueueEvent(const std::string& category, const std::string& action, const std::string& label) const;
};
