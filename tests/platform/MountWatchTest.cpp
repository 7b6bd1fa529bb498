#include <gtest/gtest.h>

#include <string>

#include "platform/MountWatch.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

// The kernel's table reports a change once; with no mount in between, the
// calls after the first say nothing changed.
TEST(MountWatchTest, TheKernelsTableSignalsOnlyAChange) {
    MountWatch watch("/proc/self/mounts");
    EXPECT_TRUE(watch.Changed());
    EXPECT_FALSE(watch.Changed());
    EXPECT_FALSE(watch.Changed());
}

// A file that cannot signal (a test's table, a missing file) counts as changed
// every time, so that it is read on every search.
TEST(MountWatchTest, AnyOtherFileCountsAsChangedEveryTime) {
    TestEnvironment env;
    for (std::string path : {env.WriteFile("mounts", "/dev/sr0 /media/d iso9660 ro 0 0\n"), env.Path("missing")}) {
        MountWatch watch(path);
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(watch.Changed()) << path << " " << i;
    }
}

}  // namespace
