#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#include "tests/booster/BoosterRig.h"
#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/TestHttpServer.h"

namespace fs = std::filesystem;

namespace {

// The caller program under valgrind: any invalid read or write, or a double
// free, fails it with its own status.
ChildProcess::Result RunCallerUnderValgrind(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {"/usr/bin/valgrind", "--quiet", "--error-exitcode=99",
                                     std::string(QUOR_BINARY_DIR) + "/tests/programs/quor_booster_caller",
                                     std::string(QUOR_BINARY_DIR) + "/booster/libquorbooster.so"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return ChildProcess::Run(argv);
}

}  // namespace

// The installer state holds the running installer; a booster started after
// the install began must not change the order in which the library's objects
// end at exit, and none may reach another after that one's end.
TEST(LibraryLifetime, ACallerThatExitsWhileTheInstallerAndTheBoosterRunEndsCleanly) {
    BoosterRig rig;
    TestHttpServer server;
    const std::string installed = rig.env.Path("installed");
    // Both let go of the caller's output, which the test reads to its end.
    const std::string installer = "#!/bin/sh\nexec >/dev/null 2>&1\nmkdir -p '" + installed + "'\ntouch '" + installed +
                                  "/running'\nn=0; while [ ! -e '" + installed +
                                  "/go' ] && [ $n -lt 1500 ]; do sleep 0.02; n=$((n+1)); done\n#";
    std::string padded = installer;
    padded.resize(1048576, '#');
    server.Serve("/booster/PMB_Setup.exe", padded);
    setenv("QUOR_BOOSTER_INSTALLER_URL", server.Url("/booster/PMB_Setup.exe").c_str(), 1);
    const std::string booster = rig.env.WriteFile("booster/PMB.exe", "#!/bin/sh\nexec >/dev/null 2>&1\nsleep 2\n");

    const ChildProcess::Result run = RunCallerUnderValgrind(
        {"exit-during-install", fs::path(booster).parent_path().string(), installed + "/running"});
    rig.env.WriteFile("installed/go", "");
    EXPECT_EQ(run.exitCode, 0) << run.err;
}

// The library starts no thread in its caller's process: each call reaps the
// programs it started that have ended, and so does its unload.
TEST(LibraryLifetime, TheLibraryStartsNoThreadAndReapsItsProgramsAtTheNextCallAndAtUnload) {
    TestEnvironment env;
    const std::string booster = env.WriteFile("booster/PMB.exe", "#!/bin/sh\nexit 0\n");
    const ChildProcess::Result run = RunCallerUnderValgrind({"reap", fs::path(booster).parent_path().string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
}
