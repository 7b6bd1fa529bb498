#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// Makes the bytes of a file that is being written durable while it grows, and
// records each length once it is on the disk: the writer only tells it how long
// the file is, and a sync of that length starts on the syncer's own thread each
// time a step more has been written, so that the writer never waits for the
// disk. Lengths asked while a sync runs are folded into the next one.
//
// Owned and called by one writing thread; the record function runs on the
// syncer's thread, or on the writer's for SyncNow, never on both at once. After
// a sync failed nothing more is recorded and every SyncNow fails: the kernel
// reports a lost write only once, so a later sync proves nothing.
class FileSyncer {
public:
    using Sync = std::function<bool(int fd)>;
    using Record = std::function<void(int64_t length)>;

    FileSyncer(int fd, int64_t stepBytes, Sync sync, Record record);
    // Waits for the sync under way; a length only asked for is dropped.
    ~FileSyncer();
    FileSyncer(const FileSyncer&) = delete;
    FileSyncer& operator=(const FileSyncer&) = delete;

    // The file holds `length` bytes, all of them written.
    void Wrote(int64_t length);
    // Waits for the background, then syncs on the calling thread and records
    // `length`. False when this sync or an earlier one failed.
    bool SyncNow(int64_t length);
    // Waits for the background and forgets what was asked: the file is about to
    // be cut, and no length of before may be recorded afterwards.
    void Settle();

private:
    void Loop();
    void WaitIdle(std::unique_lock<std::mutex>& held);

    const int fd;
    const int64_t step;
    const Sync sync;
    const Record record;

    std::mutex lock;  // guards the fields below
    std::condition_variable changed;
    int64_t asked = -1;     // the length waiting for the syncer's thread
    int64_t lastAsked = 0;  // the last length handed over or synced
    bool syncing = false;
    bool failed = false;
    bool ending = false;
    std::thread thread;  // started with the first step
};
