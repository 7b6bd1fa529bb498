#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/DiskSpace.h"

class FolderDialog;

// What the transfers take from their surroundings, so that tests can control it.
// Empty functions mean the real thing.
struct TransferSettings {
    FreeSpaceQuery freeSpace;        // statvfs
    std::function<int64_t()> clock;  // seconds since 1970
    // Queues a telemetry event (an EventTask on the task queue).
    std::function<void(const std::string& category, const std::string& action, const std::string& label)> queueEvent;
    FolderDialog* folderDialog = nullptr;  // none: a start that needs the dialog fails
    // Makes what was written to an open file or folder durable (fdatasync, or
    // fsync for a folder); false on failure. Every barrier of the downloads goes
    // through it: a file's cut before its new version is recorded, its bytes at
    // intervals, at a pause and at its end, the save folder's names, the lock.
    std::function<bool(int fd)> syncFile;

    bool startManagerThread = true;  // the 500 ms step; tests may drive Update themselves
    int64_t updateIntervalMs = 500;
    int64_t stallSeconds = 60;  // under 1 byte/s this long fails a transfer
    long probeConnectTimeoutSeconds = 2;
    long probeTimeoutSeconds = 5;
    long connectTimeoutSeconds = 5;
    long receiveBufferBytes = 512 * 1024;
    // Written bytes are handed to the disk in steps of this size while the file
    // grows, so that the sync at its end has little left to wait for.
    int64_t writebackStepBytes = 8 * 1024 * 1024;
    // A file being written is synced in the background each time this much more
    // has arrived, and the length made durable is recorded: what a power cut can
    // cost a resume.
    int64_t syncStepBytes = 4 * 1024 * 1024;
    // A body whose length nothing announced stops with the write error once the
    // save folder's free space falls below the reserve, tested at each step.
    uint64_t freeSpaceReserveBytes = kFreeSpaceReserveBytes;
    int64_t freeSpaceCheckStepBytes = 4 * 1024 * 1024;

    int64_t Now() const;
    std::optional<DiskFreeBytes> FreeBytes(const std::string& folder) const;
    bool SyncFile(int fd) const;
    // Opens the folder and syncs it through SyncFile; false when it cannot be opened.
    bool SyncFolder(const std::string& folder) const;
    void QueueEvent(const std::string& category, const std::string& action, const std::string& label) const;
};
