#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/system/ProcessHandle.h"
#include "core/system/ProcessList.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"

namespace {

namespace fs = std::filesystem;

// Copies of sleep under names no other process on the machine has.
class ProcessListTest : public ::testing::Test {
protected:
    TestEnvironment env;
    const std::string tag = std::to_string(getpid());

    std::unique_ptr<ProcessHandle> SleeperNamed(const std::string& name, const std::string& argv0 = "") {
        std::string copy = env.Path("bin/" + name);
        fs::create_directories(env.Path("bin"));
        if (!fs::exists(copy))
            fs::copy_file("/bin/sleep", copy);
        fs::permissions(copy, fs::perms::owner_all);
        const std::string shownName = argv0.empty() ? copy : argv0;
        auto child = ProcessHandle::Spawn(copy, {shownName, "60"}, "");
        EXPECT_TRUE(child) << name;
        // The start returns while the kernel is still setting up the new program:
        // its arguments (and so its names) show only once the exec is complete.
        if (child) {
            const std::string cmdline = "/proc/" + std::to_string(child->Pid()) + "/cmdline";
            EXPECT_TRUE(WaitUntil([&] { return TestEnvironment::ReadFile(cmdline).rfind(shownName + '\0', 0) == 0; }))
                << name;
        }
        return child;
    }

    static void ExpectStillRunning(ProcessHandle& child) { EXPECT_FALSE(child.WaitFor(200)); }
    static void ExpectEndedByTerm(ProcessHandle& child) {
        ASSERT_TRUE(child.WaitFor(10000));
        EXPECT_EQ(child.TermSignal(), SIGTERM);
    }
    void TearDown() override {
        for (auto* c : {&a, &b, &c, &d})
            if (*c) {
                (*c)->Signal(SIGKILL);
                (*c)->Wait();
            }
    }
    std::unique_ptr<ProcessHandle> a, b, c, d;
};

TEST_F(ProcessListTest, EndsExactlyTheProcessesOfThatName) {
    const std::string name = "qs" + tag + "a";  // short: the kernel's name holds it whole
    a = SleeperNamed(name);
    b = SleeperNamed("qs" + tag + "b");
    c = SleeperNamed("QS" + tag + "A");  // differs only in case
    d = SleeperNamed(name + "x");        // longer name with the same start
    ASSERT_TRUE(a && b && c && d);

    EXPECT_EQ(TerminateProcessesByName(name), 1);
    ExpectEndedByTerm(*a);
    ExpectStillRunning(*b);
    ExpectStillRunning(*c);
    ExpectStillRunning(*d);
}

TEST_F(ProcessListTest, LongNameIsMatchedByTheProgramNotByTheKernelsCutName) {
    // comm holds only the first 15 bytes: "quor-long-sleep".
    const std::string name = "quor-long-sleep-" + tag + "-one";
    a = SleeperNamed(name);
    b = SleeperNamed("quor-long-sleep-" + tag + "-two");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(TerminateProcessesByName("quor-long-sleep-" + tag + "-three"), 0);
    EXPECT_EQ(TerminateProcessesByName(name), 1);
    ExpectEndedByTerm(*a);
    ExpectStillRunning(*b);
}

TEST_F(ProcessListTest, WindowsProgramIsMatchedByItsArgvZero) {
    // wine runs a Windows program under its own loader and names it in argv[0].
    const std::string name = "Booster" + tag + ".exe";
    a = SleeperNamed("wine-loader-" + tag, "C:\\Program Files\\Booster\\" + name);
    b = SleeperNamed("wine-loader-" + tag, "/home/user/.wine/drive_c/Other" + tag + ".exe");
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(FindProcessByName({name}));
    EXPECT_TRUE(FindProcessByName({"Other" + tag + ".exe"}));
    EXPECT_EQ(TerminateProcessesByName(name), 1);
    ExpectEndedByTerm(*a);
    ExpectStillRunning(*b);
}

TEST_F(ProcessListTest, FindsRunningProcessesByAnyOfTheNames) {
    const std::string name = "qf" + tag;
    a = SleeperNamed(name);
    ASSERT_TRUE(a);
    EXPECT_TRUE(FindProcessByName({"nothing-" + tag, name}));
    EXPECT_FALSE(FindProcessByName({"nothing-" + tag}));
    EXPECT_FALSE(FindProcessByName({}));
    EXPECT_FALSE(FindProcessByName({""}));
    a->Signal(SIGKILL);
    a->Wait();
    a.reset();
    EXPECT_FALSE(FindProcessByName({name}));
}

TEST_F(ProcessListTest, EmptyNameEndsNothing) {
    EXPECT_EQ(TerminateProcessesByName(""), 0);
}

TEST(ProcessList, NeverFindsNorEndsItsOwnProcess) {
    auto probe = ProcessHandle::Spawn(QUOR_BINARY_DIR "/tests/programs/quor_self_probe", {"quor_self_probe"}, "");
    ASSERT_TRUE(probe);
    ASSERT_TRUE(probe->WaitFor(20000));
    EXPECT_EQ(probe->TermSignal(), 0);
    EXPECT_EQ(probe->ExitCode(), 0);
}

}  // namespace
