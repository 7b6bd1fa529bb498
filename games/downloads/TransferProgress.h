#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "games/ProgressRecord.h"

// The byte counts of one transfer, written by its thread and by Prepare, read
// from any thread.
class TransferProgress {
public:
    // Before the sizes are probed again.
    void ResetSizes();
    void AddTotal(int64_t bytes) { totalBytes += bytes; }
    void AddOnDisk(int64_t bytes) { bytesOnDisk += bytes; }
    // Negative when bytes counted are given up (a request started again).
    void AddDone(int64_t bytes) { bytesDone += bytes; }
    void SetSpeed(int64_t bytesPerSecond) { speed = bytesPerSecond; }

    double TotalBytes() const { return static_cast<double>(totalBytes.load()); }
    // What the free space must exceed: the total less what is already on disk.
    uint64_t RequiredBytes() const;
    int64_t BytesDone() const { return bytesDone.load(); }
    // KB figures and "<name> <done> MB of  <total> MB" in whole megabytes, rounded up.
    ProgressRecord Record(const std::string& fileName) const;

private:
    std::atomic<int64_t> totalBytes{0};
    std::atomic<int64_t> bytesOnDisk{0};  // at Prepare, of the files that will be resumed
    std::atomic<int64_t> bytesDone{0};
    std::atomic<int64_t> speed{0};  // bytes per second of the current request
};
