#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <vector>

#include "games/install/ChecksumReaders.h"
#include "games/patching/FileChecksum.h"
#include "tests/games/downloads/DownloadTestSupport.h"

namespace {

// Whatever the number of readers, each result is the one its file gives alone,
// and an empty path is not read.
TEST(ChecksumReadersTest, ResultsInTheListsOrderWithAnyNumberOfReaders) {
    TestEnvironment env;
    std::vector<std::string> paths;
    for (int i = 0; i < 30; ++i)
        paths.push_back(env.WriteFile("f" + std::to_string(i), TestBytes(1000 + 5000 * i, i + 1)));
    env.WriteFile("folder/x", "x");
    paths.insert(paths.begin() + 3, env.Path("missing"));
    paths.insert(paths.begin() + 7, env.Path("folder"));
    paths.insert(paths.begin() + 11, "");
    std::vector<ChecksumReaders::Result> expected;
    for (const std::string& p : paths) {
        ChecksumReaders::Result r;
        r.error = p.empty() ? ENOENT : ComputeFileCrc32(p, r.crc);
        expected.push_back(r);
    }
    EXPECT_EQ(expected[3].error, static_cast<uint32_t>(ENOENT));
    EXPECT_EQ(expected[7].error, static_cast<uint32_t>(EISDIR));
    for (unsigned readers : {0u, 1u, 3u, 8u, 64u}) {
        ChecksumReaders reading(paths, readers, {});
        for (size_t i = 0; i < paths.size(); ++i) {
            auto r = reading.Wait(i);
            ASSERT_TRUE(r) << readers << " " << i;
            EXPECT_EQ(r->error, expected[i].error) << readers << " " << i;
            EXPECT_EQ(r->crc, expected[i].crc) << readers << " " << i;
        }
        EXPECT_FALSE(reading.Wait(paths.size()));
    }
    ChecksumReaders none({}, 8, {});
    EXPECT_FALSE(none.Wait(0));
}

// Each path is resolved by the reader that reads it; the result tells what was
// read and which file it was.
TEST(ChecksumReadersTest, PathsAreResolvedWhereTheyAreRead) {
    TestEnvironment env;
    std::vector<std::string> paths;
    for (int i = 0; i < 10; ++i)
        paths.push_back(env.WriteFile("f" + std::to_string(i), TestBytes(1000 + i, i + 1)) + ".alias");
    auto resolve = [](const std::string& path) { return path.substr(0, path.size() - 6); };
    for (unsigned readers : {1u, 4u}) {
        ChecksumReaders reading(paths, readers, {}, resolve);
        for (size_t i = 0; i < paths.size(); ++i) {
            auto r = reading.Wait(i);
            ASSERT_TRUE(r) << readers << " " << i;
            EXPECT_EQ(r->path, resolve(paths[i])) << readers << " " << i;
            EXPECT_EQ(r->error, 0u) << readers << " " << i;
            uint32_t crc = 0;
            FileReadFacts facts;
            ComputeFileCrc32(r->path, crc, {}, &facts);
            EXPECT_EQ(r->crc, crc) << readers << " " << i;
            EXPECT_EQ(r->facts.inode, facts.inode) << readers << " " << i;
        }
    }
}

// A stop part-way through a file ends its read (no checksum of part of it) and
// every wait; the readers are joined when the object goes.
TEST(ChecksumReadersTest, AStopEndsReadsAndWaits) {
    TestEnvironment env;
    std::vector<std::string> paths;
    for (int i = 0; i < 4; ++i)
        paths.push_back(env.WriteFile("big" + std::to_string(i), TestBytes(4 * 1024 * 1024, i + 1)));
    std::atomic<int> polls{0};
    ChecksumReaders reading(paths, 4, [&] { return ++polls > 6; });
    for (size_t i = 0; i < paths.size(); ++i)
        EXPECT_FALSE(reading.Wait(i)) << i;

    // Nothing waits forever on a stop that comes while waiting.
    std::atomic<bool> stop{false};
    ChecksumReaders later(paths, 1, [&] { return stop.load(); });
    EXPECT_TRUE(later.Wait(0));
    stop = true;
    EXPECT_FALSE(later.Wait(3));
}

}  // namespace
