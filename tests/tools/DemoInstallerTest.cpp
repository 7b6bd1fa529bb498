// The demo installers and the demo game as the launcher starts them: real
// processes that install build 1 into ~/Games/<Game>/, write the game's
// registry key through quor-reg, and a game that notes its command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

#include "core/settings/RegistryReference.h"
#include "games/catalogue/GameLocation.h"
#include "games/install/InstallRepair.h"
#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"
#include "tests/tools/PublisherProcess.h"
#include "tools/quor-mkpatch/PatchBuilder.h"

namespace {

const std::string kKey = "HKEY_CURRENT_USER\\Software\\Brindlemoor Demo\\Star Courier";

class DemoInstallerTest : public ::testing::Test {
protected:
    void Start(const std::vector<std::string>& options = {}) {
        std::filesystem::create_directories(env.Path("publisher"));
        publisher = std::make_unique<PublisherProcess>(env.Path("publisher"), options);
        ASSERT_TRUE(publisher->Ready());
    }
    // Downloaded as the launcher does: a file without an execute bit, which the
    // launcher sets before it starts the program.
    std::string Download(const std::string& target, const std::string& folder) {
        PublisherProcess::Reply r = publisher->Get(target);
        EXPECT_EQ(r.status, 200);
        std::string path = env.WriteFile(folder + "/" + target.substr(target.rfind('/') + 1), r.body);
        chmod(path.c_str(), 0700);
        return path;
    }
    std::string GameFolder() const { return env.Path("home/Games/Star Courier"); }

    TestEnvironment env;
    std::unique_ptr<PublisherProcess> publisher;
};

TEST_F(DemoInstallerTest, InstallsBuildOneAndWritesTheRegistry) {
    Start();
    std::string installer = Download("/quor/games/starcourier/StarCourierSetup.exe", "Downloads");
    ChildProcess::Result r = ChildProcess::Run({installer});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    std::vector<std::string> installed, build;
    ASSERT_TRUE(PatchBuilder::ListFiles(GameFolder(), installed));
    std::string buildFolder = publisher->DataFolder() + "/builds/starcourier/1";
    ASSERT_TRUE(PatchBuilder::ListFiles(buildFolder, build));
    EXPECT_EQ(installed, build);
    for (const std::string& f : build)
        EXPECT_EQ(TestEnvironment::ReadFile(GameFolder() + "/" + f), TestEnvironment::ReadFile(buildFolder + "/" + f))
            << f;

    EXPECT_EQ(ReadRegistryString(kKey, "InstallPath"), GameFolder() + "/");
    EXPECT_EQ(ReadRegistryString(kKey, "Program"), "starcourier.exe");
    // The manifest's location leads to the program.
    std::string program = ResolveGameLocation(kKey, "InstallPath", "Program");
    EXPECT_EQ(program, GameFolder() + "/starcourier.exe");
    EXPECT_EQ(access(program.c_str(), X_OK), 0);
    EXPECT_NE(TestEnvironment::ReadFile(publisher->RecordFolder() + "/starcourier-installs.log").find("install done"),
              std::string::npos);
}

// The repair check against the publisher's install manifest: a damaged file and
// a deleted program are fetched again, and nothing else.
TEST_F(DemoInstallerTest, RepairCheckFetchesExactlyWhatIsDamagedOrMissing) {
    Start();
    ASSERT_EQ(ChildProcess::Run({Download("/quor/games/starcourier/StarCourierSetup.exe", "Downloads")}).exitCode, 0);
    std::string buildFolder = publisher->DataFolder() + "/builds/starcourier/1";
    env.WriteFile("home/Games/Star Courier/data/level one.dat", "damaged");
    std::filesystem::remove(GameFolder() + "/starcourier.exe");
    size_t logged = publisher->LogLines().size();

    InstallRepair repair(ReadRegistryString(kKey, "InstallPath"),
                         publisher->Base() + "/quor/games/starcourier/install.txt",
                         publisher->Base() + "/quor/games/starcourier/files/");
    ASSERT_TRUE(repair.Start());
    ASSERT_TRUE(WaitUntil([&] { return repair.GetProgress() >= 1.0f; }, 60000));
    repair.Stop();

    std::vector<std::string> installed, build;
    ASSERT_TRUE(PatchBuilder::ListFiles(GameFolder(), installed));
    ASSERT_TRUE(PatchBuilder::ListFiles(buildFolder, build));
    EXPECT_EQ(installed, build);
    for (const std::string& f : build)
        EXPECT_EQ(TestEnvironment::ReadFile(GameFolder() + "/" + f), TestEnvironment::ReadFile(buildFolder + "/" + f))
            << f;
    ASSERT_TRUE(WaitUntil([&] { return publisher->LogLines().size() >= logged + 3; }));
    std::vector<std::string> lines = publisher->LogLines();
    std::vector<std::string> requests(lines.begin() + static_cast<long>(logged), lines.end());
    // Each request is logged once its answer has gone out, so two of them may
    // be logged in either order.
    std::sort(requests.begin(), requests.end());
    EXPECT_EQ(requests, (std::vector<std::string>{"GET /quor/games/starcourier/files/data/level%20one.dat 200",
                                                  "GET /quor/games/starcourier/files/starcourier.exe 200",
                                                  "GET /quor/games/starcourier/install.txt 200"}));
}

TEST_F(DemoInstallerTest, GameNotesItsCommandLineAndEnds) {
    Start();
    ASSERT_EQ(ChildProcess::Run({Download("/quor/games/starcourier/StarCourierSetup.exe", "Downloads")}).exitCode, 0);
    ChildProcess::Result r = ChildProcess::Run({GameFolder() + "/starcourier.exe", "-w", "-auth_token=tok en"});
    EXPECT_EQ(r.exitCode, 0);
    std::string log = TestEnvironment::ReadFile(publisher->RecordFolder() + "/starcourier-runs.log");
    EXPECT_NE(log.find(" [-w] [-auth_token=tok en]\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\nexit "), std::string::npos) << log;
}

TEST_F(DemoInstallerTest, FindsQuorRegThroughItsVariableOrBesideItself) {
    Start({"--quor-reg", "/nonexistent/quor-reg"});
    std::string installer = Download("/quor/games/starcourier/StarCourierSetup.exe", "Downloads");

    setenv("QUOR_REG", PublisherProcess::QuorReg().c_str(), 1);
    EXPECT_EQ(ChildProcess::Run({installer}).exitCode, 0);
    unsetenv("QUOR_REG");
    EXPECT_EQ(ReadRegistryString(kKey, "Program"), "starcourier.exe");

    std::filesystem::remove(env.HkcuFile());
    std::filesystem::copy_file(PublisherProcess::QuorReg(), env.Path("Downloads/quor-reg"));
    EXPECT_EQ(ChildProcess::Run({installer}).exitCode, 0);
    EXPECT_EQ(ReadRegistryString(kKey, "Program"), "starcourier.exe");

    // Without the tool the installer fails rather than leaving the game unregistered.
    std::filesystem::remove(env.HkcuFile());
    std::filesystem::remove(env.Path("Downloads/quor-reg"));
    setenv("PATH", "/usr/bin:/bin", 1);
    EXPECT_NE(ChildProcess::Run({installer}).exitCode, 0);
    EXPECT_FALSE(KeyExists(kKey));
}

TEST_F(DemoInstallerTest, BrokenInstallerLeavesNothing) {
    Start({"--broken-installer", "Star Courier"});
    EXPECT_NE(ChildProcess::Run({Download("/quor/games/starcourier/StarCourierSetup.exe", "Downloads")}).exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(GameFolder()));
    EXPECT_FALSE(KeyExists(kKey));
}

TEST_F(DemoInstallerTest, UpdateInstallerNotesItsParametersAndSession) {
    Start({"--update-version", "31700"});
    std::string installer = Download("/quor/update/QuorSetup-31700.exe", "Downloads");
    ChildProcess::Result r = ChildProcess::Run({installer, "silent"});
    EXPECT_EQ(r.exitCode, 0);
    std::string log = TestEnvironment::ReadFile(publisher->RecordFolder() + "/update-installer.log");
    EXPECT_NE(log.find("update start "), std::string::npos) << log;
    EXPECT_NE(log.find(" sid="), std::string::npos) << log;
    EXPECT_NE(log.find(" [silent]\n"), std::string::npos) << log;
    EXPECT_NE(log.find("update done "), std::string::npos) << log;
    EXPECT_EQ(publisher->Get("/quor/update/QuorSetup-31680.exe").status, 404) << "only the build offered";
}

}  // namespace
