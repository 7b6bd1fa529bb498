#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <string>

#include "platform/RotationalDisk.h"
#include "tests/fixtures/TestEnvironment.h"

namespace fs = std::filesystem;

namespace {

// A sysfs of its own whose entry for the test folder's device is a whole disk,
// a partition of one, or missing.
TEST(RotationalDiskTest, ReadsTheFlagOfTheFoldersDiskOrItsPartitionsDisk) {
    struct Case {
        const char* what;
        const char* diskFlag;  // nullptr: no flag file
        bool partition;
        bool expected;
    } cases[] = {
        {"spinning disk", "1\n", false, true},
        {"solid-state disk", "0\n", false, false},
        {"partition of a spinning disk", "1\n", true, true},
        {"partition of a solid-state disk", "0\n", true, false},
        {"no flag", nullptr, false, false},
        {"unreadable flag", "x\n", false, false},
    };
    for (const Case& c : cases) {
        TestEnvironment env;
        std::string folder = env.Path("game");
        fs::create_directories(folder);
        struct stat st {};
        ASSERT_EQ(stat(folder.c_str(), &st), 0);
        std::string id = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
        std::string sys = env.Path("sys");
        std::string disk = sys + "/devices/vda";
        fs::create_directories(disk + "/vda1");
        fs::create_directories(sys + "/dev/block");
        if (c.diskFlag)
            env.WriteFile("sys/devices/vda/queue/rotational", c.diskFlag);
        fs::create_directory_symlink(c.partition ? disk + "/vda1" : disk, sys + "/dev/block/" + id);
        EXPECT_EQ(platform::IsOnRotationalDisk(folder, sys), c.expected) << c.what;
    }
    EXPECT_FALSE(platform::IsOnRotationalDisk("/nonexistent/quor/game"));
}

}  // namespace
