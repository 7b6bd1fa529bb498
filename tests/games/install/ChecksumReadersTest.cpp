#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
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

// Out of threads (an address space with room for about one more stack): the
// readers that could be started read the whole list, in a child so the limit
// stays there.
TEST(ChecksumReadersTest, FewerThreadsThanAskedStillReadEverything) {
    TestEnvironment env;
    std::vector<std::string> paths;
    std::vector<uint32_t> expected;
    for (int i = 0; i < 12; ++i) {
        paths.push_back(env.WriteFile("f" + std::to_string(i), TestBytes(3000 + 700 * i, i + 7)));
        uint32_t crc = 0;
        ASSERT_EQ(ComputeFileCrc32(paths.back(), crc), 0u);
        expected.push_back(crc);
    }
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        pthread_attr_t attr;
        size_t stackBytes = 0;
        pthread_getattr_default_np(&attr);
        pthread_attr_getstacksize(&attr, &stackBytes);
        unsigned long pages = 0;
        FILE* statm = std::fopen("/proc/self/statm", "r");
        if (!statm || std::fscanf(statm, "%lu", &pages) != 1)
            _exit(10);
        std::fclose(statm);
        const rlim_t room = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + stackBytes + stackBytes / 2;
        const rlimit limit{room, room};
        if (setrlimit(RLIMIT_AS, &limit) != 0)
            _exit(11);
        ChecksumReaders reading(paths, 8, {});
        for (size_t i = 0; i < paths.size(); ++i) {
            auto r = reading.Wait(i);
            if (!r || r->error != 0 || r->crc != expected[i])
                _exit(20 + static_cast<int>(i));
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child died by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
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
