#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

#include "app/CommandLine.h"
#include "plugins/common/DetachedSpawn.h"
#include "plugins/common/MainProgramLauncher.h"
#include "tests/fixtures/WaitUntil.h"
#include "tests/plugins/LaunchRig.h"

namespace {

TEST(MainProgramLauncher, StartsQuorInItsFolderWithTheGameAsOneArgument) {
    LaunchRig rig;
    rig.SetInstallDir("Orrinmere", rig.Folder());
    MainProgramLauncher launcher("Orrinmere");
    const std::string game = "My Game";
    EXPECT_TRUE(launcher.LaunchMainProgram(&game));
    const auto launches = rig.WaitForLaunches(1);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].workingFolder, rig.Folder());
    ASSERT_EQ(launches[0].argv.size(), 2u);
    EXPECT_EQ(launches[0].argv[0], rig.Folder() + "/Quor");
    EXPECT_EQ(launches[0].argv[1], "/game:\"\"\"My Game\"\"\"");

    // Quor's own parser makes the one element the game's whole name.
    CommandLine::Request request;
    std::string errors;
    ASSERT_TRUE(CommandLine::Parse({launches[0].argv[1]}, request, errors)) << errors;
    EXPECT_TRUE(request.hasGame);
    EXPECT_EQ(request.game, "My Game");
}

TEST(MainProgramLauncher, StartsNothingWithoutAFolderHoldingAnExecutableQuor) {
    LaunchRig rig;
    const std::string game = "Ironvale";
    MainProgramLauncher launcher("Quor!");
    EXPECT_FALSE(launcher.LaunchMainProgram(&game)) << "no Install_Dir";
    EXPECT_FALSE(launcher.LaunchMainProgram(nullptr)) << "no name";

    rig.SetInstallDir("Quor!", "Launcher Folder");
    EXPECT_FALSE(launcher.LaunchMainProgram(&game)) << "relative folder";

    std::filesystem::create_directories(rig.Env().Path("empty"));
    rig.SetInstallDir("Quor!", rig.Env().Path("empty"));
    EXPECT_FALSE(launcher.LaunchMainProgram(&game)) << "no Quor in the folder";

    rig.SetInstallDir("Quor!", rig.Folder());
    chmod((rig.Folder() + "/Quor").c_str(), 0644);
    EXPECT_FALSE(launcher.LaunchMainProgram(&game)) << "Quor not executable";
    EXPECT_TRUE(rig.WaitForLaunches(0).empty());
}

TEST(DetachedSpawn, LeavesNoChildAndReportsAProgramThatCannotStart) {
    LaunchRig rig(5);
    EXPECT_TRUE(DetachedSpawn(rig.Folder() + "/Quor", {"Quor", "x"}, rig.Folder()));
    ASSERT_EQ(rig.WaitForLaunches(1).size(), 1u);
    // The middle child is reaped already and the program is not ours to reap.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    std::string error;
    EXPECT_FALSE(DetachedSpawn(rig.Env().Path("missing"), {"missing"}, rig.Folder(), &error));
    EXPECT_NE(error.find("exec"), std::string::npos) << error;
    EXPECT_FALSE(DetachedSpawn(rig.Folder() + "/Quor", {"Quor"}, rig.Env().Path("nowhere"), &error));
    EXPECT_NE(error.find("chdir"), std::string::npos) << error;
}

// The Sig* lines of /proc/<pid>/status as numbers: name -> mask.
std::map<std::string, unsigned long long> SignalMasks(const std::string& status) {
    std::map<std::string, unsigned long long> masks;
    std::istringstream lines(status);
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.find(':');
        if (line.rfind("Sig", 0) == 0 && colon != std::string::npos)
            masks[line.substr(0, colon)] = std::stoull(line.substr(colon + 1), nullptr, 16);
    }
    return masks;
}

TEST(DetachedSpawn, TheProgramGetsNoBlockedOrIgnoredSignalsAndTheCallersMaskStays) {
    TestEnvironment env;
    const std::string out = env.Path("status");
    sigset_t blocked, before, after;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR2);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &blocked, &before), 0);
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGUSR1, &ignore, &previous);

    const bool started = DetachedSpawn("/bin/sh", {"sh", "-c", "exec cat /proc/self/status > \"$0\"", out}, "");
    pthread_sigmask(SIG_SETMASK, nullptr, &after);
    sigaction(SIGUSR1, &previous, nullptr);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ASSERT_TRUE(started);

    EXPECT_EQ(sigismember(&after, SIGUSR2), 1) << "the caller's mask is given back";
    EXPECT_EQ(sigismember(&after, SIGTERM), 0) << "and nothing more stays blocked";
    std::string status;
    ASSERT_TRUE(WaitUntil([&] {
        std::ifstream in(out);
        std::stringstream text;
        text << in.rdbuf();
        status = text.str();
        return status.find("SigBlk") != std::string::npos;
    }));
    const auto masks = SignalMasks(status);
    EXPECT_EQ(masks.at("SigBlk"), 0u);
    EXPECT_EQ(masks.at("SigIgn") & (1ull << (SIGUSR1 - 1)), 0u);
}

}  // namespace
