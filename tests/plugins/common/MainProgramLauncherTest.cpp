#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <cerrno>
#include <filesystem>

#include "core/app/CommandLine.h"
#include "plugins/common/DetachedSpawn.h"
#include "plugins/common/MainProgramLauncher.h"
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

}  // namespace
