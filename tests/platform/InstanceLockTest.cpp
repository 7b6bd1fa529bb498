#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FlagEvent.h"
#include "platform/InstanceLock.h"
#include "platform/XdgPaths.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using platform::FlagEvent;
using platform::InstanceLock;

constexpr const char* kName = "Brindlemoor-Quor-test";

TEST(InstanceLock, FirstAndSecondInstance) {
    TestEnvironment env;
    std::string folder = env.Path("runtime");
    {
        InstanceLock first(folder, kName, 1000);
        first.MarkReady();
        EXPECT_TRUE(first.IsFirst());
        InstanceLock second(folder, kName, 1000);
        EXPECT_FALSE(second.IsFirst());
        EXPECT_FALSE(second.StartupWaitTimedOut());
    }
    // The first instance is gone (its lock with it): the next start is first again.
    InstanceLock again(folder, kName, 1000);
    EXPECT_TRUE(again.IsFirst());
}

TEST(InstanceLock, EachFolderIsItsOwnUser) {
    TestEnvironment env;
    InstanceLock ana(env.Path("ana"), kName, 1000);
    ana.MarkReady();
    mkdir(env.Path("ben").c_str(), 0700);
    InstanceLock ben(env.Path("ben"), kName, 1000);
    EXPECT_TRUE(ana.IsFirst());
    EXPECT_TRUE(ben.IsFirst());
}

TEST(InstanceLock, ASecondStartWaitsForTheFirstToBeReady) {
    TestEnvironment env;
    std::string folder = env.Path("runtime");
    InstanceLock first(folder, kName, 1000);  // still starting: not marked ready
    auto start = std::chrono::steady_clock::now();
    InstanceLock impatient(folder, kName, 300);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(impatient.IsFirst());
    EXPECT_TRUE(impatient.StartupWaitTimedOut());  // it went on without the first
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    first.MarkReady();
    InstanceLock later(folder, kName, 5000);
    EXPECT_FALSE(later.IsFirst());
    EXPECT_FALSE(later.StartupWaitTimedOut());
}

TEST(InstanceLock, WithoutAFolderEveryStartIsFirst) {
    InstanceLock a("", kName, 100);
    InstanceLock b("", kName, 100);
    EXPECT_TRUE(a.IsFirst());
    EXPECT_TRUE(b.IsFirst());
    TestEnvironment env;
    InstanceLock missing(env.Path("no/such/folder"), kName, 100);
    EXPECT_TRUE(missing.IsFirst());
}

// With XDG_RUNTIME_DIR unset, a folder of ours under the cache takes its place,
// never one under /tmp that another user could create first: a second start
// still finds the first. Without any such folder, the start is first and says so.
TEST(InstanceLock, WithoutARuntimeFolderTheLockLivesInAPrivateCacheFolder) {
    TestEnvironment env;
    unsetenv("XDG_RUNTIME_DIR");
    setenv("XDG_CACHE_HOME", env.Path("cache").c_str(), 1);
    std::string folder = platform::XdgRuntimeDir();
    EXPECT_EQ(folder, env.Path("cache/quor-runtime"));
    struct stat st {};
    ASSERT_EQ(lstat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    {
        InstanceLock first(folder, kName, 1000);
        first.MarkReady();
        InstanceLock second(platform::XdgRuntimeDir(), kName, 1000);
        EXPECT_TRUE(first.IsFirst());
        EXPECT_FALSE(second.IsFirst());
    }
    // The default is ~/.cache.
    unsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(platform::XdgRuntimeDir(), env.Path("home/.cache/quor-runtime"));

    // A link in the folder's place is not ours to use.
    setenv("XDG_CACHE_HOME", env.Path("linked").c_str(), 1);
    mkdir(env.Path("linked").c_str(), 0700);
    mkdir(env.Path("elsewhere").c_str(), 0700);
    ASSERT_EQ(symlink(env.Path("elsewhere").c_str(), env.Path("linked/quor-runtime").c_str()), 0);
    EXPECT_EQ(platform::XdgRuntimeDir(), "");

    // The cache's place is taken by a file: no folder at all, one line on standard error.
    env.WriteFile("file", "x");
    setenv("XDG_CACHE_HOME", env.Path("file").c_str(), 1);
    EXPECT_EQ(platform::XdgRuntimeDir(), "");
    testing::internal::CaptureStderr();
    InstanceLock alone(platform::XdgRuntimeDir(), kName, 100);
    EXPECT_TRUE(alone.IsFirst());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("first instance"), std::string::npos);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    unsetenv("XDG_CACHE_HOME");
}

// Programs the launcher starts (games, installers) must not keep the lock alive.
TEST(InstanceLock, LockFilesAreNotInherited) {
    TestEnvironment env;
    std::string folder = env.Path("runtime");
    InstanceLock first(folder, kName, 1000);
    int checked = 0;
    for (int fd = 3; fd < 64; ++fd) {
        char link[256] = {};
        std::string proc = "/proc/self/fd/" + std::to_string(fd);
        ssize_t n = readlink(proc.c_str(), link, sizeof link - 1);
        if (n > 0 && std::string(link).find(kName) != std::string::npos) {
            EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC) << link;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 2);
}

TEST(FlagEvent, ManualResetEventAsAFile) {
    TestEnvironment env;
    FlagEvent event(env.Path("runtime/show"));
    EXPECT_TRUE(event.Set());  // left over from an earlier run
    EXPECT_TRUE(event.Create());
    EXPECT_FALSE(event.IsSet());
    FlagEvent other(env.Path("runtime/show"));  // the second process's view
    EXPECT_TRUE(other.Set());
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.IsSet());  // stays set until reset
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(FlagEvent(env.Path("missing/folder/show")).Set());
}

// Something else in the flag's place never signals it: a folder or a link is
// removed; a folder that cannot be removed is ignored, said once.
TEST(FlagEvent, WhatIsNotARegularFileIsNotTheFlag) {
    TestEnvironment env;
    FlagEvent event(env.Path("runtime/show"));
    mkdir(env.Path("runtime/show").c_str(), 0700);
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(fs::exists(env.Path("runtime/show")));

    env.WriteFile("target", "");
    fs::create_symlink(env.Path("target"), env.Path("runtime/show"));
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(fs::exists(fs::symlink_status(env.Path("runtime/show"))));
    EXPECT_TRUE(fs::exists(env.Path("target")));

    env.WriteFile("runtime/show/inside", "x");
    testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(event.IsSet());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("not a regular file"), std::string::npos);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    EXPECT_TRUE(fs::exists(env.Path("runtime/show/inside")));
}

// The hand-over's activation travels in the flag itself.
TEST(FlagEvent, CarriesAShortText) {
    TestEnvironment env;
    FlagEvent event(env.Path("runtime/show"));
    ASSERT_TRUE(event.Create());
    EXPECT_EQ(event.Text(), "");
    FlagEvent other(env.Path("runtime/show"));
    EXPECT_TRUE(other.SetWithText("host-1234_TIME42"));
    EXPECT_TRUE(event.IsSet());
    EXPECT_EQ(event.Text(), "host-1234_TIME42");
    EXPECT_TRUE(other.SetWithText("second"));  // a later start's replaces it
    EXPECT_EQ(event.Text(), "second");
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_EQ(event.Text(), "");

    // Only so much is read, and never through a link.
    EXPECT_TRUE(other.SetWithText(std::string(FlagEvent::kMaxTextBytes + 100, 'x')));
    EXPECT_EQ(event.Text().size(), FlagEvent::kMaxTextBytes);
    event.Reset();
    std::string secret = env.WriteFile("secret", "not for the flag");
    ASSERT_EQ(symlink(secret.c_str(), env.Path("runtime/show").c_str()), 0);
    EXPECT_EQ(event.Text(), "");
    EXPECT_FALSE(FlagEvent(env.Path("missing/folder/show")).SetWithText("x"));
}

// The second start's side: whatever is in the flag's place (a link to a file,
// a dangling one, a link to a folder, an empty folder, a FIFO), the signal still
// arrives, text and all, and nothing is written through a link.
TEST(FlagEvent, ASignalArrivesWhateverIsInTheFlagsPlace) {
    struct Case {
        const char* what;
        std::function<void(const TestEnvironment&, const std::string&)> put;
    };
    const Case cases[] = {
        {"link to a file",
         [](const TestEnvironment& env, const std::string& flag) {
             fs::create_symlink(env.WriteFile("target", "not for the flag"), flag);
         }},
        {"dangling link",
         [](const TestEnvironment& env, const std::string& flag) { fs::create_symlink(env.Path("nowhere"), flag); }},
        {"link to a folder",
         [](const TestEnvironment& env, const std::string& flag) {
             fs::create_directory(env.Path("folder"));
             fs::create_directory_symlink(env.Path("folder"), flag);
         }},
        {"empty folder", [](const TestEnvironment&, const std::string& flag) { fs::create_directory(flag); }},
        {"FIFO", [](const TestEnvironment&, const std::string& flag) { ASSERT_EQ(mkfifo(flag.c_str(), 0600), 0); }},
    };
    for (const Case& c : cases) {
        for (const std::string text : {"", "host-1234_TIME42"}) {
            SCOPED_TRACE(std::string(c.what) + (text.empty() ? "" : " with a text"));
            TestEnvironment env;
            const std::string flag = env.Path("runtime/show");
            FlagEvent first(flag);
            ASSERT_TRUE(first.Create());
            c.put(env, flag);
            FlagEvent second(flag);
            testing::internal::CaptureStderr();
            EXPECT_TRUE(text.empty() ? second.Set() : second.SetWithText(text));
            EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(flag)));
            EXPECT_TRUE(first.IsSet());
            EXPECT_EQ(first.Text(), text);
            if (fs::exists(env.Path("target"))) {
                EXPECT_EQ(TestEnvironment::ReadFile(env.Path("target")), "not for the flag");
            }
            if (fs::exists(env.Path("folder"))) {
                EXPECT_TRUE(fs::is_empty(env.Path("folder")));
            }
        }
    }

    // A folder with something in it is not removed: no signal, said once.
    TestEnvironment env;
    env.WriteFile("runtime/show/inside", "x");
    FlagEvent second(env.Path("runtime/show"));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(second.Set());
    EXPECT_FALSE(second.SetWithText("token"));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("not a regular file"), std::string::npos);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    EXPECT_EQ(TestEnvironment::ReadFile(env.Path("runtime/show/inside")), "x");
}

}  // namespace
