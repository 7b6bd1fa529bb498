#include "games/downloads/FileSyncer.h"

#include <exception>
#include <system_error>
#include <utility>

#include "core/threads/StartThread.h"
#include "platform/Log.h"

FileSyncer::FileSyncer(int fd, int64_t stepBytes, Sync sync, Record record)
    : fd(fd), step(stepBytes), sync(std::move(sync)), record(std::move(record)) {}

FileSyncer::~FileSyncer() {
    {
        std::lock_guard<std::mutex> held(lock);
        ending = true;
        asked = -1;
    }
    changed.notify_all();
    if (thread.joinable())
        thread.join();
}

void FileSyncer::Wrote(int64_t length) {
    if (step <= 0)
        return;
    {
        std::lock_guard<std::mutex> held(lock);
        if (length - lastAsked < step)
            return;
        lastAsked = length;
        asked = length;
        if (!thread.joinable()) {
            // This runs inside curl's write callback, which no exception may
            // cross: without a thread the length waits for the next SyncNow.
            try {
                thread = StartThread("download sync", [this] { Loop(); });
            } catch (const std::system_error& e) {
                Log::Warning("cannot start syncing a download in the background: %s", e.what());
                asked = -1;
                return;
            }
        }
    }
    changed.notify_all();
}

bool FileSyncer::SyncNow(int64_t length) {
    std::unique_lock<std::mutex> held(lock);
    WaitIdle(held);
    if (failed)
        return false;
    held.unlock();
    bool synced = sync(fd);
    held.lock();
    if (!synced)
        failed = true;
    if (failed)
        return false;
    lastAsked = length;
    held.unlock();
    record(length);
    return true;
}

void FileSyncer::Settle() {
    std::unique_lock<std::mutex> held(lock);
    WaitIdle(held);
    lastAsked = 0;
}

void FileSyncer::WaitIdle(std::unique_lock<std::mutex>& held) {
    asked = -1;
    changed.wait(held, [this] { return !syncing; });
}

void FileSyncer::Loop() {
    std::unique_lock<std::mutex> held(lock);
    for (;;) {
        changed.wait(held, [this] { return ending || asked >= 0; });
        if (ending)
            return;
        int64_t length = asked;
        asked = -1;
        // After a failed sync a later one proves nothing of the bytes before it.
        if (failed)
            continue;
        syncing = true;
        held.unlock();
        // Everything written before the sync starts is on the disk when it returns.
        bool synced = false;
        try {
            synced = sync(fd);
            if (synced)
                record(length);
        } catch (const std::exception& e) {
            Log::Error("syncing a download: %s", e.what());
            synced = false;
        }
        held.lock();
        if (!synced)
            failed = true;
        syncing = false;
        changed.notify_all();
    }
}
