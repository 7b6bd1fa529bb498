#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "core/settings/ConfigManager.h"
#include "core/settings/Prefs.h"
#include "core/system/FileUtils.h"
#include "games/downloads/TransferManager.h"
#include "games/patching/FileChecksum.h"
#include "platform/RegistryStore.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/TestHttpServer.h"
#include "tests/fixtures/WaitUntil.h"
#include "tests/ui/panels/RecordingPageCalls.h"
#include "ui/panels/GamePanel.h"
#include "ui/panels/GamePanels.h"
#include "ui/panels/SystemGameLocator.h"
#include "ui/panels/SystemPanelHost.h"
#include "ui/panels/SystemPanelServices.h"
#include "ui/panels/SystemPanelStore.h"
#include "ui/panels/SystemPanelTransfers.h"
#include "ui/panels/SystemPanelWorkers.h"
#include "ui/panels/SystemPatchCatalog.h"
#include "ui/panels/SystemProgramStarter.h"

namespace {

using Calls = std::vector<std::string>;
using platform::RegistryStore;
using platform::RegistryValue;

constexpr const char* kGameKey = "Software\\Demo\\Game";
constexpr const char* kGameReference = "HKEY_CURRENT_USER\\Software\\Demo\\Game";

RegistryStore& Hkcu() {
    return RegistryStore::ForHive(platform::Hive::CurrentUser);
}

// The window's part of the host, recorded.
class RecordingHost final : public SystemPanelHost {
public:
    using SystemPanelHost::SystemPanelHost;
    std::vector<std::string> steps;
    void ShowWindow() override { steps.push_back("ShowWindow"); }
    void CloseForUpdate() override { steps.push_back("Close"); }
    void ExitForUpdate() override { steps.push_back("Exit"); }
    bool IsUpdateRefused(const std::string&) override { return false; }
    void RefuseUpdate(const std::string&) override {}
};

class SystemPanelServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        gameFolder = env.Path("Games/Game/");
        Hkcu().WriteValue(kGameKey, "Folder", RegistryValue::Text(gameFolder));
        Hkcu().WriteValue(kGameKey, "Program", RegistryValue::Text("game"));
    }

    ManifestEntry Entry() const {
        ManifestEntry entry;
        entry.id = 7;
        entry.name = "Game";
        entry.url = server.Url("/dl/setup.exe");
        entry.exeparams = "-w";
        entry.locations.push_back({kGameReference, "Folder", "Program"});
        return entry;
    }

    // One tick of the transfer manager's thread and of the main frame's timer.
    void Tick(std::vector<GamePanel*> panels) {
        manager->Update();
        TransferResults results{manager->TakeCompleted(), manager->TakeCancelled(), manager->TakeFailed()};
        RefreshForDisc(panels, PollPanels(panels, results), services.Disc());
    }

    TestEnvironment env;
    TestHttpServer server;
    std::unique_ptr<ConfigManager> config = std::make_unique<ConfigManager>();
    std::unique_ptr<TransferManager> manager = [] {
        TransferSettings settings;
        settings.startManagerThread = false;
        return std::make_unique<TransferManager>(settings);
    }();
    RecordingPageCalls page;
    RecordingHost host{nullptr, manager.get(), nullptr};
    SystemPanelServices services{page, host, manager.get(), nullptr, nullptr};
    std::string gameFolder;
};

// The road a user walks: download, install, play, on the real managers, files
// and processes. The installer is a script served as "setup.exe": it arrives
// without an execute bit and is started by its content.
TEST_F(SystemPanelServicesTest, DownloadInstallAndPlay) {
    // The game records its command line and runs until the test lets it end.
    std::string game = "#!/bin/sh\necho \"$@\" > '" + gameFolder + "args.txt'\n" + "while [ ! -e '" + gameFolder +
                       "quit' ]; do sleep 0.02; done\n";
    // The installer waits until the test has seen it run.
    std::string go = env.Path("go");
    std::string installer = "#!/bin/sh\nwhile [ ! -e '" + go + "' ]; do sleep 0.02; done\n" + "mkdir -p '" +
                            gameFolder + "'\ncat > '" + gameFolder + "game' <<'EOF'\n" + game + "EOF\n";
    server.Serve("/dl/setup.exe", installer);
    ManifestEntry entry = Entry();
    GamePanel panel(services.Services(), entry, false);
    ASSERT_EQ(panel.GetState(), PanelState::NotInstalled);

    panel.OnDownload();
    ASSERT_EQ(panel.GetState(), PanelState::Downloading);
    ASSERT_TRUE(WaitUntil([&] {
        Tick({&panel});
        return panel.GetState() != PanelState::Downloading;
    }));
    ASSERT_EQ(panel.GetState(), PanelState::Downloaded);
    std::string downloaded = panel.GetInstallerPath("");
    ASSERT_TRUE(FileExists(downloaded));
    struct stat st;
    ASSERT_EQ(stat(downloaded.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IXUSR, 0u) << "a download has no execute bit of its own";

    panel.OnInstall();
    ASSERT_EQ(panel.GetState(), PanelState::Installing);
    EXPECT_TRUE(manager->IsInstallerRunning());
    Tick({&panel});
    EXPECT_EQ(panel.GetState(), PanelState::Installing);
    env.WriteFile("go", "");
    ASSERT_TRUE(WaitUntil([&] {
        Tick({&panel});
        return panel.GetState() != PanelState::Installing;
    }));
    EXPECT_EQ(panel.GetState(), PanelState::Ready);
    EXPECT_FALSE(manager->IsInstallerRunning());
    EXPECT_FALSE(FileExists(downloaded)) << "the installed game's download is reset";

    panel.SetPlayToken("tok");
    panel.OnPlay();
    ASSERT_EQ(panel.GetState(), PanelState::Playing);
    ASSERT_TRUE(WaitUntil([&] { return FileExists(gameFolder + "args.txt"); }));
    Tick({&panel});
    EXPECT_EQ(panel.GetState(), PanelState::Playing) << "the game still runs";
    env.WriteFile("Games/Game/quit", "");
    ASSERT_TRUE(WaitUntil([&] {
        Tick({&panel});
        return panel.GetState() != PanelState::Playing;
    }));
    EXPECT_EQ(panel.GetState(), PanelState::Ready);
    EXPECT_EQ(TestEnvironment::ReadFile(gameFolder + "args.txt"), "-w -auth_token=tok\n");
    EXPECT_EQ(Prefs::ReadNumber("TimesPlayed", "7"), 1u);
}

TEST_F(SystemPanelServicesTest, FailedDownloadShowsFourteen) {
    server.Serve("/dl/setup.exe", "gone", FaultMode{.status = 404});
    GamePanel panel(services.Services(), Entry(), false);
    panel.OnDownload();
    ASSERT_TRUE(WaitUntil([&] {
        Tick({&panel});
        return panel.GetState() != PanelState::Downloading;
    }));
    EXPECT_EQ(panel.GetState(), PanelState::FailedDownload);
    EXPECT_EQ(TransferManager::LoadDownloadState(Entry().url), DownloadStatus::Failed);
}

// A restart with one game file damaged and the program deleted: the check at
// construction fetches exactly those two, and the game is ready again.
TEST_F(SystemPanelServicesTest, CheckAtConstructionRepairsTheGame) {
    const std::string program = "#!/bin/sh\nexit 0\n";
    const std::string data = "level data";
    const std::string other = "unchanged";
    auto crcOf = [](const std::string& bytes) { return std::to_string(Crc32Update(0, bytes.data(), bytes.size())); };
    server.Serve("/files/game", program);
    server.Serve("/files/data/level 1.pak", data);
    server.Serve("/files/data/other.pak", other);
    server.Serve("/im.txt", "\\game," + crcOf(program) + "\r\n\\data\\level 1.pak," + crcOf(data) +
                                "\r\n\\data\\other.pak," + crcOf(other) + "\r\n");
    env.WriteFile("Games/Game/data/level 1.pak", "damaged");
    env.WriteFile("Games/Game/data/other.pak", other);

    ManifestEntry entry = Entry();
    entry.installmanifest = server.Url("/im.txt");
    entry.installlocation = server.Url("/files/");
    GamePanel panel(services.Services(), entry, false);
    ASSERT_EQ(panel.GetState(), PanelState::Checking);
    EXPECT_TRUE(manager->IsRepairRunning());
    ASSERT_TRUE(WaitUntil([&] {
        Tick({&panel});
        return panel.GetState() != PanelState::Checking;
    }));
    EXPECT_EQ(panel.GetState(), PanelState::Ready);
    EXPECT_FALSE(manager->IsRepairRunning());
    EXPECT_EQ(TestEnvironment::ReadFile(gameFolder + "game"), program);
    EXPECT_EQ(TestEnvironment::ReadFile(gameFolder + "data/level 1.pak"), data);
    EXPECT_EQ(server.RequestsFor("/files/game").size(), 1u);
    EXPECT_EQ(server.RequestsFor("/files/data/level 1.pak").size(), 1u);
    EXPECT_TRUE(server.RequestsFor("/files/data/other.pak").empty());
    Calls states = page.Of("setGamePanelState");
    EXPECT_EQ(states, (Calls{"setGamePanelState(7, 13)", "setGamePanelState(7, 2)", "setGamePanelState(7, 8)"}));

    panel.OnPlay();  // right after the check: the game starts
    EXPECT_NE(panel.GetState(), PanelState::Checking);
}

TEST_F(SystemPanelServicesTest, ProgramsStartByTheirContent) {
    SystemProgramStarter starter;
    std::string failure;
    // A script under a Windows name, without an execute bit.
    std::string script = env.WriteFile("dl/tool.exe", "#!/bin/sh\nexit 0\n");
    auto process = starter.Start(script, "", &failure);
    ASSERT_TRUE(process) << failure;
    EXPECT_TRUE(WaitUntil([&] { return process->HasEnded(); }));

    EXPECT_FALSE(starter.Start(env.Path("dl/missing.exe"), "", &failure));
    EXPECT_FALSE(failure.empty());
    failure.clear();
    std::string data = env.WriteFile("dl/readme.txt", "not a program");
    EXPECT_FALSE(starter.Start(data, "", &failure));
    EXPECT_FALSE(failure.empty());
}

TEST_F(SystemPanelServicesTest, LocatorReadsFoldersFromTheRegistryOrLiterally) {
    SystemGameLocator locator;
    EXPECT_TRUE(locator.KeyExists(kGameReference));
    EXPECT_FALSE(locator.KeyExists("HKEY_CURRENT_USER\\Software\\Demo\\None"));
    ManifestLocation location{kGameReference, "Folder", "Program"};
    EXPECT_EQ(locator.InstallFolder(location), gameFolder);
    EXPECT_EQ(locator.ProgramPath(location), gameFolder + "game");
    ManifestLocation literal{kGameReference, "!/opt/games/g/", "!g"};
    EXPECT_EQ(locator.InstallFolder(literal), "/opt/games/g/");
    EXPECT_EQ(locator.ProgramPath(literal), "/opt/games/g/g");
    EXPECT_EQ(locator.InstallFolder({"HKEY_CURRENT_USER\\Software\\Demo\\None", "Folder", "Program"}), "");
    // A literal folder counts only while the game's key exists: no check or
    // patch goes into the folder of a game that is not installed.
    EXPECT_EQ(locator.InstallFolder({"HKEY_CURRENT_USER\\Software\\Demo\\None", "!" + gameFolder, "!g"}), "");
}

// A game a Windows installer put into the wine prefix: its key and folder are
// only in the prefix's registry, its files under the prefix's drive.
TEST_F(SystemPanelServicesTest, GameInstalledThroughWineIsInstalledPatchedAndChecked) {
    const std::string prefix = env.Path("home/.wine");
    const std::string folder = prefix + "/dosdevices/c:/Games/Wine Dusk/";
    const char* const reference = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wine Dusk";
    unsetenv("WINEPREFIX");
    std::filesystem::create_directories(prefix + "/drive_c/Games/Wine Dusk");
    std::filesystem::create_directories(prefix + "/dosdevices");
    std::filesystem::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
    std::string program = env.WriteFile("home/.wine/drive_c/Games/Wine Dusk/dusk.exe", "build 1");
    ManifestEntry entry = Entry();
    entry.locations = {{reference, "InstallDir", "Exe"}};

    // Not there yet: the panel offers the download.
    GamePanel panel(services.Services(), entry, false);
    ASSERT_EQ(panel.GetState(), PanelState::NotInstalled);
    EXPECT_FALSE(panel.CheckExternalInstall());

    env.WriteFile("home/.wine/system.reg",
                  "WINE REGISTRY Version 2\n\n[Software\\\\Wine Dusk] 1700000000\n"
                  "\"InstallDir\"=\"C:\\\\Games\\\\Wine Dusk\"\n\"Exe\"=\"dusk.exe\"\n");
    EXPECT_TRUE(panel.CheckExternalInstall()) << "the installer ran outside the launcher";
    panel.RefreshState();
    EXPECT_EQ(panel.GetState(), PanelState::Ready);
    EXPECT_EQ(panel.GetInstallPath(), folder + "dusk.exe");

    SystemGameLocator locator;
    EXPECT_TRUE(locator.KeyExists(reference));
    EXPECT_EQ(locator.InstallFolder(entry.locations.front()), prefix + "/dosdevices/c:/Games/Wine Dusk");

    // The build identification reads the same key and folder.
    uint32_t crc = 0;
    ASSERT_EQ(ComputeFileCrc32(program, crc), 0u);
    char hex[16];
    snprintf(hex, sizeof hex, "%08x", crc);
    server.Serve("/catalog.xml", std::string("<catalog><shibboleth installkey=\"") + reference +
                                     "\" installpathsubkey=\"InstallDir\" file=\"dusk.exe\"/>"
                                     "<build version=\"1\" checksum=\"" +
                                     hex +
                                     "\"/>"
                                     "<build version=\"2\" checksum=\"1\" latest=\"true\"/>"
                                     "<patch start=\"1\" end=\"2\" url=\"http://127.0.0.1/1-2.quorpatch\"/></catalog>");
    SystemPatchCatalog catalog;
    EXPECT_EQ(catalog.NextPatchUrl(server.Url("/catalog.xml")), "http://127.0.0.1/1-2.quorpatch");
    entry.patchcatalog = server.Url("/catalog.xml");
    GamePanel patchable(services.Services(), entry, false);
    EXPECT_EQ(patchable.GetState(), PanelState::PatchAvailable);
}

TEST_F(SystemPanelServicesTest, CatalogueNamesTheNextPatchOfTheInstalledBuild) {
    std::string program = env.WriteFile("Games/Game/game", "build 1");
    uint32_t crc = 0;
    ASSERT_EQ(ComputeFileCrc32(program, crc), 0u);
    char hex[16];
    snprintf(hex, sizeof hex, "%08x", crc);
    server.Serve("/catalog.xml", std::string("<catalog><shibboleth installkey=\"") + kGameReference +
                                     "\" installpathsubkey=\"Folder\" file=\"game\"/>"
                                     "<build version=\"1\" checksum=\"" +
                                     hex +
                                     "\"/>"
                                     "<build version=\"2\" checksum=\"1\" latest=\"true\"/>"
                                     "<patch start=\"1\" end=\"2\" url=\"http://127.0.0.1/1-2.quorpatch\"/></catalog>");
    SystemPatchCatalog catalog;
    EXPECT_EQ(catalog.NextPatchUrl(server.Url("/catalog.xml")), "http://127.0.0.1/1-2.quorpatch");

    ManifestEntry entry = Entry();
    entry.patchcatalog = server.Url("/catalog.xml");
    GamePanel panel(services.Services(), entry, false);
    EXPECT_EQ(panel.GetState(), PanelState::PatchAvailable);
}

TEST_F(SystemPanelServicesTest, CatalogueThatTakesTooLongCountsAsNoPatch) {
    std::string slow(100000, ' ');
    server.Serve("/slow.xml", slow, FaultMode{.trickleBytesPerSecond = 2000});
    SystemPatchCatalog catalog(1);
    EXPECT_EQ(catalog.NextPatchUrl(server.Url("/slow.xml")), "");
    EXPECT_EQ(catalog.NextPatchUrl(server.Url("/missing.xml")), "");
}

TEST_F(SystemPanelServicesTest, PatcherOutcomes) {
    CreateDirectoryTree(gameFolder);
    SystemPanelWorkers workers;
    // A patch file with no entries: nothing to do, done.
    std::string empty("QUORPATC\x01\0\0\0\0\0\0\0", 16);
    std::string good = env.WriteFile("dl/empty.quorpatch", empty);
    auto job = workers.StartPatcher(gameFolder, good);
    ASSERT_TRUE(job);
    ASSERT_TRUE(WaitUntil([&] { return job->Progress() == 1.0f; }));
    job->Finish();
    EXPECT_EQ(job->Result(), PatchJob::Outcome::Succeeded);

    for (std::string bad :
         {env.Path("dl/missing.quorpatch"), env.WriteFile("dl/corrupt.quorpatch", "QUORPATCH but not a patch")}) {
        auto failing = workers.StartPatcher(gameFolder, bad);
        ASSERT_TRUE(failing);
        ASSERT_TRUE(WaitUntil([&] { return failing->Progress() == 1.0f; }));
        failing->Finish();
        EXPECT_EQ(failing->Result(), PatchJob::Outcome::FileFailed) << bad;
    }
}

TEST_F(SystemPanelServicesTest, TransfersAreHeldWhileTheyRunAndFlagsReachTheManager) {
    SystemPanelTransfers transfers(manager.get());
    server.Serve("/stall.exe", std::string(1000, 'x'), FaultMode{.stallAfterHeaders = true});
    std::string address = server.Url("/stall.exe");
    EXPECT_FALSE(transfers.IsHeld(address));
    ASSERT_TRUE(transfers.StartDownload(address, false));
    EXPECT_TRUE(transfers.IsHeld(address));
    transfers.CancelTransfer(address);
    server.ReleaseStalls();
    EXPECT_FALSE(transfers.IsHeld(address));
    EXPECT_EQ(transfers.LoadStatus(address), DownloadStatus::None);

    transfers.SetPatchRunning(true);
    EXPECT_TRUE(manager->IsPatchRunning());
    transfers.SetPatchRunning(false);
    EXPECT_FALSE(manager->IsPatchRunning());
    transfers.AddActive();
    EXPECT_TRUE(manager->IsInstallerRunning());
    transfers.ReleaseActive();
    transfers.ReleaseActive();
    EXPECT_FALSE(manager->IsInstallerRunning());
    EXPECT_EQ(transfers.DefaultSaveDirectory(), ConfigManager::GetAppDataFolder());
}

// Games with an install manifest all start their check when the panels are
// built; the first to end must not make the launcher look idle, or a manifest
// refresh would delete panels whose check or patch still runs.
TEST_F(SystemPanelServicesTest, BusyFlagsStaySetWhileAnyPanelsWorkRuns) {
    SystemPanelTransfers transfers(manager.get());
    transfers.SetRepairRunning(true);
    transfers.SetRepairRunning(true);
    transfers.SetPatchRunning(true);
    transfers.SetPatchRunning(true);
    transfers.SetRepairRunning(false);
    transfers.SetPatchRunning(false);
    EXPECT_TRUE(manager->IsRepairRunning());
    EXPECT_TRUE(manager->IsPatchRunning());
    transfers.SetRepairRunning(false);
    transfers.SetPatchRunning(false);
    EXPECT_FALSE(manager->IsRepairRunning());
    EXPECT_FALSE(manager->IsPatchRunning());
    // An end too many never leaves the flag set for a later start.
    transfers.SetRepairRunning(false);
    transfers.SetRepairRunning(true);
    transfers.SetRepairRunning(false);
    EXPECT_FALSE(manager->IsRepairRunning());
}

TEST_F(SystemPanelServicesTest, StoreKeepsPlayCounts) {
    SystemPanelStore store(nullptr);
    EXPECT_EQ(store.ReadTimesPlayed(7), 0u);
    store.WriteTimesPlayed(7, 3);
    EXPECT_EQ(Prefs::ReadNumber("TimesPlayed", "7"), 3u);
    store.WriteTimesPlayed(-2, 1);
    EXPECT_EQ(Prefs::ReadNumber("TimesPlayed", "-2"), 1u);
    Prefs::SetLanguage("de");
    EXPECT_EQ(store.Language(), "de");
    EXPECT_EQ(store.SavedAuthToken(), "");
}

}  // namespace
