#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "games/downloads/FileSyncer.h"
#include "tests/fixtures/WaitUntil.h"

namespace {

// Syncs that the test lets end one at a time, and the lengths recorded.
struct Disk {
    std::mutex lock;
    std::condition_variable released;
    int started = 0;
    int allowed = 0;
    std::vector<bool> results;  // of the syncs in turn; true past the end
    std::vector<int64_t> recorded;

    FileSyncer::Sync Sync() {
        return [this](int) {
            std::unique_lock<std::mutex> held(lock);
            int mine = started++;
            released.wait(held, [&] { return allowed > mine; });
            return mine < static_cast<int>(results.size()) ? results[mine] : true;
        };
    }
    FileSyncer::Record Record() {
        return [this](int64_t length) {
            std::lock_guard<std::mutex> held(lock);
            recorded.push_back(length);
        };
    }
    void Allow(int count) {
        {
            std::lock_guard<std::mutex> held(lock);
            allowed += count;
        }
        released.notify_all();
    }
    int Started() {
        std::lock_guard<std::mutex> held(lock);
        return started;
    }
    std::vector<int64_t> Recorded() {
        std::lock_guard<std::mutex> held(lock);
        return recorded;
    }
};

TEST(FileSyncer, LengthsAskedDuringASyncAreFoldedIntoTheNext) {
    Disk disk;
    FileSyncer syncer(-1, 100, disk.Sync(), disk.Record());
    syncer.Wrote(50);  // less than a step: nothing
    syncer.Wrote(100);
    ASSERT_TRUE(WaitUntil([&] { return disk.Started() == 1; }));
    syncer.Wrote(200);
    syncer.Wrote(300);
    disk.Allow(2);
    ASSERT_TRUE(WaitUntil([&] { return disk.Recorded().size() == 2; }));
    EXPECT_EQ(disk.Recorded(), (std::vector<int64_t>{100, 300}));
    EXPECT_EQ(disk.Started(), 2);
    disk.Allow(1);
    EXPECT_TRUE(syncer.SyncNow(350));
    EXPECT_EQ(disk.Recorded(), (std::vector<int64_t>{100, 300, 350}));
}

// Before a cut: the sync under way ends and is recorded, what was only asked
// is dropped, and steps count from the start of the file again.
TEST(FileSyncer, SettleLetsNoLengthOfBeforeTheCutBeRecordedAfterIt) {
    Disk disk;
    FileSyncer syncer(-1, 100, disk.Sync(), disk.Record());
    syncer.Wrote(100);
    ASSERT_TRUE(WaitUntil([&] { return disk.Started() == 1; }));
    syncer.Wrote(250);
    std::atomic<bool> settled{false};
    std::thread cutter([&] {
        syncer.Settle();
        settled = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(settled) << "waits for the sync under way";
    disk.Allow(1);
    cutter.join();
    EXPECT_EQ(disk.Recorded(), std::vector<int64_t>{100});
    syncer.Wrote(60);
    syncer.Wrote(100);
    disk.Allow(1);
    ASSERT_TRUE(WaitUntil([&] { return disk.Recorded().size() == 2; }));
    EXPECT_EQ(disk.Recorded(), (std::vector<int64_t>{100, 100}));
    EXPECT_EQ(disk.Started(), 2) << "250 was never synced";
}

TEST(FileSyncer, AfterAFailedSyncNothingIsRecordedAndSyncNowFails) {
    Disk disk;
    disk.results = {false};
    disk.Allow(10);
    FileSyncer syncer(-1, 100, disk.Sync(), disk.Record());
    syncer.Wrote(100);
    ASSERT_TRUE(WaitUntil([&] { return disk.Started() == 1; }));
    syncer.Wrote(200);
    EXPECT_FALSE(syncer.SyncNow(250));
    EXPECT_TRUE(disk.Recorded().empty());
}

}  // namespace
