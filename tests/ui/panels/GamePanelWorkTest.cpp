#include <gtest/gtest.h>

#include "core/system/FileUtils.h"
#include "core/text/Messages.h"
#include "tests/ui/panels/PanelRig.h"
#include "ui/panels/GamePanel.h"
#include "ui/panels/GamePanels.h"

namespace {

using Calls = std::vector<std::string>;

class GamePanelWorkTest : public ::testing::Test {
protected:
    // An installed game whose catalogue names the first patch.
    std::unique_ptr<GamePanel> PatchableGame() {
        entry = rig.Entry();
        rig.Install(entry);
        rig.patches.next[entry.patchcatalog] = kPatch1;
        return rig.Build(entry);
    }
    // The transfer manager finishes a patch download.
    void PatchArrives(GamePanel& panel, const std::string& address, const std::string& name) {
        rig.Downloaded(address, name);
        panel.PollWork({address});
    }

    static constexpr const char* kPatch1 = "http://127.0.0.1/patches/1-2.quorpatch";
    static constexpr const char* kPatch2 = "http://127.0.0.1/patches/2-3.quorpatch";
    PanelRig rig;
    ManifestEntry entry;
};

// ---------------------------------------------------------------- downloads

TEST_F(GamePanelWorkTest, DownloadProgressReachesThePageOnEveryTick) {
    entry = rig.Entry();
    auto panel = rig.Build(entry);
    panel->OnDownload();
    rig.transfers.progress[entry.url] = {512, 1024, 30, "Game.exe 0 MB of 1 MB"};
    rig.page.calls.clear();
    panel->PollWork({});
    EXPECT_EQ(rig.page.calls, Calls{"updateProgress(7, '50%  (30 KB/s)', 512, 1024, 30, 'Game.exe 0 MB of 1 MB')"});
}

TEST_F(GamePanelWorkTest, CompletedDownloadMovesOnOnlyWhenItsRecordSaysComplete) {
    entry = rig.Entry();
    auto panel = rig.Build(entry);
    panel->OnDownload();
    // Reported complete, but the record does not say so: nothing changes.
    panel->PollWork({entry.url});
    EXPECT_EQ(panel->GetState(), PanelState::Downloading);
    // Complete, but another address was reported.
    rig.Downloaded(entry.url);
    panel->PollWork({"http://127.0.0.1/other.exe"});
    EXPECT_EQ(panel->GetState(), PanelState::Downloading);
    panel->PollWork({entry.url});
    EXPECT_EQ(panel->GetState(), PanelState::Downloaded);
    EXPECT_EQ(rig.events.Count("OnDownloadComplete"), 1);
}

// ---------------------------------------------------------------- installers and games

TEST_F(GamePanelWorkTest, InstallerThatInstalledTheGameResetsItsDownload) {
    entry = rig.Entry();
    std::string installer = rig.Downloaded(entry.url);
    auto panel = rig.Build(entry);
    panel->OnInstall();
    ASSERT_EQ(panel->GetState(), PanelState::Installing);
    panel->PollWork({});
    EXPECT_EQ(panel->GetState(), PanelState::Installing);  // still running
    rig.Install(entry);
    rig.programs.EndAll();
    rig.Forget();
    panel->PollWork({});
    EXPECT_EQ(panel->GetState(), PanelState::Ready);
    EXPECT_EQ(rig.transfers.active, 0);
    EXPECT_EQ(rig.journal.front(), "Reset " + entry.url);
    EXPECT_FALSE(FileExists(installer));
    EXPECT_EQ(rig.events.events, Calls{"GamePanel/OnInstallNewGame/Game"});
    EXPECT_EQ(rig.store.deleted.back(), entry.url);
}

TEST_F(GamePanelWorkTest, InstallerThatDidNotInstallLeavesTheDownloadToInstallAgain) {
    entry = rig.Entry();
    rig.Downloaded(entry.url);
    auto panel = rig.Build(entry);
    panel->OnInstall();
    rig.programs.EndAll();
    rig.Forget();
    panel->PollWork({});
    EXPECT_EQ(rig.events.events, Calls{"InstallFailed/Game/Installer exited without the game being installed"});
    EXPECT_EQ(panel->GetState(), PanelState::Downloaded);
    EXPECT_EQ(rig.transfers.active, 0);
    for (const std::string& line : rig.journal)
        EXPECT_EQ(line.rfind("Reset", 0), std::string::npos);
}

TEST_F(GamePanelWorkTest, RunningGameNeverLeavesNineBeforeItExits) {
    entry = rig.Entry();
    rig.Install(entry);
    auto panel = rig.Build(entry);
    panel->OnPlay();
    ASSERT_EQ(panel->GetState(), PanelState::Playing);
    EXPECT_TRUE(panel->IsBusy());
    rig.patches.next[entry.patchcatalog] = kPatch1;
    // Refreshes asked for by a failed download, an outside install, a disc.
    panel->RefreshState();
    panel->PollWork({});
    EXPECT_FALSE(panel->CheckExternalInstall());
    EXPECT_EQ(panel->GetState(), PanelState::Playing);
    rig.programs.EndAll();
    panel->PollWork({});
    EXPECT_EQ(panel->GetState(), PanelState::PatchAvailable);
    EXPECT_FALSE(panel->IsBusy());
}

// ---------------------------------------------------------------- installation check

TEST_F(GamePanelWorkTest, CheckProgressAndItsEnd) {
    entry = rig.Entry();
    entry.installmanifest = "http://127.0.0.1/im.txt";
    rig.Install(entry);
    auto panel = rig.Build(entry);
    ASSERT_EQ(panel->GetState(), PanelState::Checking);
    EXPECT_TRUE(rig.transfers.repairRunning);
    rig.workers.repairs[0]->progress = 0.25f;
    rig.workers.repairs[0]->currentFile = "/bin/game.exe";
    panel->PollWork({});
    EXPECT_EQ(rig.page.calls, Calls{"updateProgress(7, 'Checking Install: 25%', 250, 1000, 0, '/bin/game.exe')"});
    EXPECT_FALSE(rig.workers.repairs[0]->finished);

    rig.workers.repairs[0]->progress = 1.0f;
    rig.Forget();
    panel->PollWork({});
    EXPECT_TRUE(rig.workers.repairs[0]->finished);
    EXPECT_FALSE(rig.transfers.repairRunning);
    EXPECT_FALSE(panel->Progress().Checking());
    EXPECT_EQ(rig.page.Of("setGamePanelState"), (Calls{"setGamePanelState(7, 2)", "setGamePanelState(7, 8)"}));
}

// ---------------------------------------------------------------- patches

TEST_F(GamePanelWorkTest, CompletedPatchDownloadIsAppliedInTheSameTick) {
    auto panel = PatchableGame();
    panel->OnPatch();
    ASSERT_EQ(panel->GetState(), PanelState::DownloadingPatch);
    PatchArrives(*panel, kPatch1, "1-2.quorpatch");
    EXPECT_EQ(panel->GetState(), PanelState::Patching);
    ASSERT_EQ(rig.workers.patches.size(), 1u);
    EXPECT_EQ(rig.workers.patches[0]->file, rig.env.Path("Downloads/1-2.quorpatch"));
    EXPECT_TRUE(panel->Progress().Patching());
    EXPECT_FALSE(panel->Progress().DownloadingPatch());
    EXPECT_TRUE(rig.transfers.patchRunning);
}

TEST_F(GamePanelWorkTest, PatchBelowOneKeepsPatching) {
    auto panel = PatchableGame();
    panel->OnPatch();
    PatchArrives(*panel, kPatch1, "1-2.quorpatch");
    rig.workers.patches[0]->progress = 0.999f;
    rig.page.calls.clear();
    panel->PollWork({});
    EXPECT_EQ(rig.page.calls, Calls{"updateProgress(7, 'Patching: 99%', 999, 1000, 0, '')"});
    EXPECT_EQ(panel->GetState(), PanelState::Patching);
    EXPECT_FALSE(rig.workers.patches[0]->finished);
}

TEST_F(GamePanelWorkTest, PatchChainRunsToTheLatestBuildWithoutThePage) {
    auto panel = PatchableGame();
    ASSERT_EQ(panel->GetState(), PanelState::PatchAvailable);
    panel->OnPatch();
    PatchArrives(*panel, kPatch1, "1-2.quorpatch");
    // Build 2 is installed now; the catalogue names the next patch.
    rig.patches.next[entry.patchcatalog] = kPatch2;
    rig.workers.patches[0]->progress = 1.0f;
    panel->PollWork({});
    EXPECT_TRUE(rig.workers.patches[0]->finished);
    ASSERT_EQ(panel->GetState(), PanelState::DownloadingPatch);
    EXPECT_EQ(panel->GetPackageUrl(), kPatch2);
    PatchArrives(*panel, kPatch2, "2-3.quorpatch");
    rig.patches.next[entry.patchcatalog].clear();
    rig.workers.patches[1]->progress = 1.0f;
    panel->PollWork({});

    EXPECT_EQ(rig.page.Of("setGamePanelState"),
              (Calls{"setGamePanelState(7, 4)", "setGamePanelState(7, 11)", "setGamePanelState(7, 10)",
                     "setGamePanelState(7, 4)", "setGamePanelState(7, 11)", "setGamePanelState(7, 8)"}));
    EXPECT_EQ(rig.events.Count("OnPatchClick"), 2);
    EXPECT_EQ(panel->GetPackageUrl(), entry.url);
    EXPECT_FALSE(rig.transfers.patchRunning);
    EXPECT_FALSE(panel->Progress().Patching());
    EXPECT_EQ(rig.store.deleted, (Calls{kPatch1, kPatch2, entry.url}));
}

TEST_F(GamePanelWorkTest, FailedPatchStaysAvailableAndIsNotChained) {
    struct Case {
        PatchJob::Outcome outcome;
        bool fileReset;
    } cases[] = {
        {PatchJob::Outcome::FileFailed, true},
        {PatchJob::Outcome::EntriesFailed, false},
    };
    for (const Case& c : cases) {
        auto panel = PatchableGame();
        rig.workers.outcomes = {c.outcome};
        panel->OnPatch();
        PatchArrives(*panel, kPatch1, "1-2.quorpatch");
        ASSERT_EQ(panel->GetState(), PanelState::Patching);
        rig.workers.patches.back()->progress = 1.0f;
        rig.Forget();
        panel->PollWork({});
        // The catalogue still names the same patch: the panel waits in PatchAvailable.
        EXPECT_EQ(panel->GetState(), PanelState::PatchAvailable);
        EXPECT_EQ(panel->GetPackageUrl(), entry.url);
        EXPECT_FALSE(rig.transfers.patchRunning);
        EXPECT_EQ(rig.events.Count("OnPatchClick"), 0);
        EXPECT_EQ(rig.transfers.LoadStatus(kPatch1), c.fileReset ? DownloadStatus::None : DownloadStatus::Complete);
        EXPECT_EQ(FileExists(rig.env.Path("Downloads/1-2.quorpatch")), !c.fileReset);

        // The user's next patch: a reset file is fetched anew, a kept one applied again.
        size_t patchers = rig.workers.patches.size();
        rig.Forget();
        panel->OnPatch();
        if (c.fileReset) {
            EXPECT_EQ(rig.journal.at(1), std::string("StartDownload ") + kPatch1 + " quiet");
            EXPECT_EQ(panel->GetState(), PanelState::DownloadingPatch);
        } else {
            EXPECT_EQ(rig.workers.patches.size(), patchers + 1);
            EXPECT_EQ(panel->GetState(), PanelState::Patching);
        }
        rig.transfers.status.clear();
        rig.transfers.held.clear();
        rig.workers.patches.clear();
    }
}

TEST_F(GamePanelWorkTest, PatchThatChangedNothingIsNotAppliedAgainAndAgain) {
    auto panel = PatchableGame();
    panel->OnPatch();
    PatchArrives(*panel, kPatch1, "1-2.quorpatch");
    rig.workers.patches[0]->progress = 1.0f;  // succeeded, yet the build is still 1
    panel->PollWork({});
    EXPECT_EQ(panel->GetState(), PanelState::PatchAvailable);
    EXPECT_EQ(rig.workers.patches.size(), 1u);
}

TEST_F(GamePanelWorkTest, PatchDownloadCancelledHandsBackTheGamesAddress) {
    auto panel = PatchableGame();
    panel->OnPatch();
    ASSERT_EQ(panel->GetPackageUrl(), kPatch1);
    panel->OnCancel();
    EXPECT_EQ(panel->GetState(), PanelState::NotInstalled);
    EXPECT_EQ(panel->GetPackageUrl(), entry.url);
    EXPECT_FALSE(panel->Progress().DownloadingPatch());
    // The timer's refresh after the cancel shows the patch again.
    std::vector<GamePanel*> panels{panel.get()};
    PollPanels(panels, {{}, {kPatch1}, {}});
    EXPECT_EQ(panel->GetState(), PanelState::PatchAvailable);
}

TEST_F(GamePanelWorkTest, FailedPatchDownloadIsNeverTakenForTheGamesInstaller) {
    auto panel = PatchableGame();
    panel->OnPatch();
    ASSERT_EQ(panel->GetState(), PanelState::DownloadingPatch);
    // The patch download fails, and meanwhile the game was removed.
    rig.transfers.Fail(kPatch1);
    rig.Uninstall(entry);
    std::vector<GamePanel*> panels{panel.get()};
    PollPanels(panels, {{}, {kPatch1}, {kPatch1}});
    EXPECT_EQ(panel->GetPackageUrl(), entry.url);
    EXPECT_EQ(panel->GetState(), PanelState::NotInstalled);  // the game's own download: none yet
    rig.Forget();
    panel->OnDownload();
    EXPECT_EQ(rig.journal.at(1), "StartDownload " + entry.url + " ask");
}

TEST_F(GamePanelWorkTest, PatchArrivingWithoutAnInstallFolderIsNotApplied) {
    auto panel = PatchableGame();
    panel->OnPatch();
    rig.locator.folder[entry.locations[0].installkey] = rig.env.Path("moved-away/");
    PatchArrives(*panel, kPatch1, "1-2.quorpatch");
    EXPECT_EQ(rig.host.messages, std::vector<int>{Msg::RegistryKeyMissing});
    EXPECT_TRUE(rig.workers.patches.empty());
    EXPECT_EQ(panel->GetPackageUrl(), entry.url);
    EXPECT_EQ(panel->GetState(), PanelState::PatchAvailable);
}

TEST_F(GamePanelWorkTest, PatcherThatCannotStart) {
    auto panel = PatchableGame();
    rig.workers.refuse = true;
    panel->OnPatch();
    PatchArrives(*panel, kPatch1, "1-2.quorpatch");
    EXPECT_EQ(rig.host.messages, std::vector<int>{Msg::PatchingError});
    EXPECT_EQ(panel->GetState(), PanelState::PatchAvailable);
    EXPECT_FALSE(rig.transfers.patchRunning);
}

// ---------------------------------------------------------------- the launcher's update

TEST_F(GamePanelWorkTest, UpdateInstallerStartsAfterEverythingStopped) {
    entry = rig.Entry("Quor Update", 0);
    auto panel = rig.Build(entry, true);
    ASSERT_EQ(panel->GetState(), PanelState::Downloading);
    std::string installer = rig.Downloaded(entry.url, "QuorSetup.exe");
    panel->PollWork({entry.url});
    EXPECT_EQ(rig.journal,
              (Calls{"StopAll", "StopThreads", "Start " + installer + "|silent", "Pause 100", "Close", "Exit"}));
}

// Decided before anything stops: an installer that can never start leaves the
// launcher running with the failure shown, and is not tried again.
TEST_F(GamePanelWorkTest, UpdateInstallerThatCannotStartStopsNothing) {
    entry = rig.Entry("Quor Update", 0);
    auto panel = rig.Build(entry, true);
    ASSERT_EQ(panel->GetState(), PanelState::Downloading);
    std::string installer = rig.Downloaded(entry.url, "QuorSetup.exe");
    rig.programs.unstartable.insert(installer);
    panel->PollWork({entry.url});
    panel->RefreshState();
    panel->RefreshState();
    EXPECT_EQ(rig.programs.canStartAsked, 1);
    EXPECT_TRUE(rig.programs.starts.empty());
    EXPECT_EQ(rig.host.errors,
              std::vector<std::string>{"QuorSetup.exe is a Windows program, and wine is not installed"});
    EXPECT_EQ(rig.events.Count("InstallLauncherFailed"), 1);
    for (const std::string& line : rig.journal)
        EXPECT_TRUE(line != "StopAll" && line != "StopThreads" && line != "Close" && line != "Exit") << line;
}

TEST_F(GamePanelWorkTest, UpdateFallbackThatCannotStartStopsNothing) {
    entry = rig.Entry("Quor Update", 0);
    rig.transfers.refuse.insert(entry.url);
    rig.host.fetchBody = "x";
    rig.programs.unstartable.insert(rig.env.Path("Downloads/temp_installer.exe"));
    GamePanel panel(rig.services, entry, true);
    EXPECT_TRUE(rig.programs.starts.empty());
    EXPECT_EQ(rig.host.errors.size(), 1u);
    for (const std::string& line : rig.journal)
        EXPECT_TRUE(line != "StopAll" && line != "StopThreads" && line != "Close" && line != "Exit") << line;
}

TEST_F(GamePanelWorkTest, UpdateFallbackWritesNothingUntilDataHasArrived) {
    entry = rig.Entry("Quor Update", 0);
    rig.transfers.refuse.insert(entry.url);
    GamePanel panel(rig.services, entry, true);
    EXPECT_EQ(rig.host.messages, std::vector<int>{Msg::TransferStartFailed});
    EXPECT_FALSE(FileExists(rig.env.Path("Downloads/temp_installer.exe")));
    for (const std::string& line : rig.journal)
        EXPECT_TRUE(line != "StopAll" && line != "Exit") << line;
    EXPECT_EQ(panel.GetState(), PanelState::NotInstalled);
}

TEST_F(GamePanelWorkTest, UpdateFallbackWithoutAFolderEndsQuietly) {
    entry = rig.Entry("Quor Update", 0);
    rig.transfers.refuse.insert(entry.url);
    rig.transfers.defaultFolder.clear();
    rig.host.fetchBody = "#!/bin/sh\n";
    GamePanel panel(rig.services, entry, true);
    // The installer arrived but has nowhere to go: no "failed to start"
    // message, nothing stopped, the launcher runs on.
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_TRUE(rig.programs.starts.empty());
    for (const std::string& line : rig.journal)
        EXPECT_TRUE(line != "StopAll" && line != "Exit") << line;
}

TEST_F(GamePanelWorkTest, UpdateFallbackStartsTheFetchedInstaller) {
    entry = rig.Entry("Quor Update", 0);
    rig.transfers.refuse.insert(entry.url);
    rig.host.fetchBody = "#!/bin/sh\necho updated\n";
    rig.programs.refuseFirst = 2;
    GamePanel panel(rig.services, entry, true);
    std::string file = rig.env.Path("Downloads/temp_installer.exe");
    EXPECT_EQ(TestEnvironment::ReadFile(file), rig.host.fetchBody);
    std::string start = "Start " + file + "|silent";
    ASSERT_GE(rig.journal.size(), 10u);
    Calls tail(rig.journal.end() - 10, rig.journal.end());
    EXPECT_EQ(tail, (Calls{"Fetch ", "StopAll", "StopThreads", "Close", start, "Pause 100", start, "Pause 100", start,
                           "Exit"}));
}

TEST_F(GamePanelWorkTest, UpdateFallbackGivesUpAfterFiftyTriesAndStillEnds) {
    entry = rig.Entry("Quor Update", 0);
    rig.transfers.refuse.insert(entry.url);
    rig.host.fetchBody = "x";
    rig.programs.refuseFirst = 1000;
    GamePanel panel(rig.services, entry, true);
    EXPECT_EQ(rig.programs.starts.size(), 50u);
    EXPECT_EQ(rig.journal.back(), "Exit");
}

}  // namespace
