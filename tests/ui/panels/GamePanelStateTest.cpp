#include <gtest/gtest.h>

#include "core/text/Messages.h"
#include "tests/ui/panels/PanelRig.h"
#include "ui/panels/GamePanel.h"

namespace {

using Calls = std::vector<std::string>;

class GamePanelStateTest : public ::testing::Test {
protected:
    PanelRig rig;
};

// ---------------------------------------------------------------- SetState

struct EntryEffect {
    PanelState state;
    Calls game;    // page calls of a game panel entering the state
    Calls update;  // of the update panel
    Calls events;  // events queued (game panel)
};

const std::string kIdle = "updateProgress(7, '0%  (0 KB/s)', 0, 0, 0, '')";

const EntryEffect kEffects[] = {
    {PanelState::Created, {"setGamePanelState(7, 0)"}, {"setGamePanelState(7, 0)"}, {}},
    {PanelState::NotInstalled, {"setGamePanelState(7, 2)"}, {"setGamePanelState(7, 2)"}, {}},
    {PanelState::Downloading,
     {"setGamePanelState(7, 3)", "startProgress(7)", "addPauseToProgress(7)", "addCancelToProgress(7)", kIdle},
     {"setGamePanelState(7, 3)", "startProgress(7)", kIdle},
     {"GamePanel/OnDownloadStart/Game"}},
    {PanelState::DownloadingPatch,
     {"setGamePanelState(7, 4)", "startProgress(7)", "addPauseToProgress(7)", "addCancelToProgress(7)", kIdle},
     {"setGamePanelState(7, 4)", "startProgress(7)", kIdle},
     {"GamePanel/OnDownloadStart/Game"}},
    {PanelState::Downloaded, {"setGamePanelState(7, 5)"}, {"setGamePanelState(7, 5)"}, {}},
    {PanelState::DiscAvailable, {"setGamePanelState(7, 6)"}, {"setGamePanelState(7, 6)"}, {}},
    {PanelState::Installing, {"setGamePanelState(7, 7)"}, {"setGamePanelState(7, 7)"}, {}},
    {PanelState::Ready, {"setGamePanelState(7, 8)"}, {"setGamePanelState(7, 8)"}, {}},
    {PanelState::Playing, {"setGamePanelState(7, 9)"}, {"setGamePanelState(7, 9)"}, {}},
    {PanelState::PatchAvailable, {"setGamePanelState(7, 10)"}, {"setGamePanelState(7, 10)"}, {}},
    {PanelState::Patching,
     {"setGamePanelState(7, 11)", "startProgress(7)"},
     {"setGamePanelState(7, 11)", "startProgress(7)"},
     {}},
    {PanelState::Hidden, {"setGamePanelState(7, 12)"}, {"setGamePanelState(7, 12)"}, {}},
    {PanelState::Checking,
     {"setGamePanelState(7, 13)", "startProgress(7)"},
     {"setGamePanelState(7, 13)", "startProgress(7)"},
     {}},
    {PanelState::FailedDownload, {"setGamePanelState(7, 14)"}, {"setGamePanelState(7, 14)"}, {}},
};

TEST_F(GamePanelStateTest, EntryEffectsOfEachStateInOrder) {
    for (bool selfUpdate : {false, true}) {
        for (const EntryEffect& effect : kEffects) {
            ManifestEntry entry = rig.Entry();
            entry.url.clear();  // stays NoDownload until told otherwise
            auto panel = rig.Build(entry, selfUpdate);
            ASSERT_EQ(panel->GetState(), PanelState::NoDownload);
            rig.transfers.patchRunning = rig.transfers.repairRunning = false;
            panel->SetState(effect.state);
            EXPECT_EQ(panel->GetState(), effect.state);
            EXPECT_EQ(rig.page.calls, selfUpdate ? effect.update : effect.game)
                << "state " << effect.state << (selfUpdate ? " (update panel)" : "");
            EXPECT_EQ(rig.events.events, effect.events) << "state " << effect.state;
            EXPECT_EQ(rig.transfers.patchRunning, effect.state == PanelState::Patching);
            EXPECT_EQ(rig.transfers.repairRunning, effect.state == PanelState::Checking);
        }
    }
}

TEST_F(GamePanelStateTest, EnteringDownloadStatesClearsPausedAndReadyForgetsTheDownloadValue) {
    ManifestEntry entry = rig.Entry();
    auto panel = rig.Build(entry);
    ASSERT_EQ(panel->GetState(), PanelState::NotInstalled);
    rig.transfers.held.insert(entry.url);
    panel->SetState(PanelState::Downloading);
    panel->OnPause();
    EXPECT_TRUE(panel->IsPaused());
    panel->SetState(PanelState::DownloadingPatch);
    EXPECT_FALSE(panel->IsPaused());

    rig.store.deleted.clear();
    panel->SetState(PanelState::Ready);
    EXPECT_EQ(rig.store.deleted, std::vector<std::string>{entry.url});
}

TEST_F(GamePanelStateTest, SettingTheSameStateSendsNothing) {
    auto panel = rig.Build(rig.Entry());
    ASSERT_EQ(panel->GetState(), PanelState::NotInstalled);
    panel->SetState(PanelState::NotInstalled);
    EXPECT_TRUE(rig.page.calls.empty());
    panel->SetState(PanelState::Downloading);
    rig.page.calls.clear();
    rig.events.events.clear();
    panel->SetState(PanelState::Downloading);
    EXPECT_TRUE(rig.page.calls.empty());
    EXPECT_TRUE(rig.events.events.empty());
}

TEST_F(GamePanelStateTest, CompleteAndNewGameEventsOnlyFromTheirStates) {
    auto panel = rig.Build(rig.Entry());
    panel->SetState(PanelState::Downloaded);  // from NotInstalled
    EXPECT_EQ(rig.events.Count("OnDownloadComplete"), 0);
    panel->SetState(PanelState::Downloading);
    panel->SetState(PanelState::Downloaded);
    EXPECT_EQ(rig.events.Count("OnDownloadComplete"), 1);

    panel->SetState(PanelState::Ready);  // from Downloaded
    EXPECT_EQ(rig.events.Count("OnInstallNewGame"), 0);
    panel->SetState(PanelState::Installing);
    panel->SetState(PanelState::Ready);
    EXPECT_EQ(rig.events.Count("OnInstallNewGame"), 1);
}

TEST_F(GamePanelStateTest, APanelWithoutANameNeverCallsThePageNorChanges) {
    ManifestEntry entry = rig.Entry("");
    rig.store.loginName = "n";
    rig.store.loginSecret = "s";
    rig.store.authToken = "t";
    entry.installmanifest = "http://127.0.0.1/im.txt";
    rig.Install(entry);
    GamePanel panel(rig.services, entry, false);
    panel.SetState(PanelState::Downloading);
    panel.RefreshState();
    panel.OnPlay();
    panel.OnPatch();
    panel.OnInstall();
    panel.OnPreview();
    panel.ReplayOnPage();
    EXPECT_EQ(panel.GetState(), PanelState::Created);
    EXPECT_TRUE(rig.page.calls.empty());
    EXPECT_TRUE(rig.events.events.empty());
    EXPECT_TRUE(rig.programs.starts.empty());
    EXPECT_TRUE(rig.workers.repairs.empty());
}

// ---------------------------------------------------------------- construction

TEST_F(GamePanelStateTest, ConstructionSendsLoginTokenAndPanelInOrder) {
    rig.store.loginName = "alice";
    rig.store.loginSecret = "secret";
    rig.store.authToken = "tok";
    rig.store.timesPlayed[7] = 4;
    ManifestEntry entry = rig.Entry();
    entry.requireLogin = true;
    GamePanel panel(rig.services, entry, false);
    EXPECT_EQ(rig.page.calls,
              (Calls{"setSavedLogin('secret', 'alice')", "setAuthToken('tok')",
                     "addGamePanel('Game', 'banner.png', 'http://127.0.0.1/Game', 0, 7, 1, 4, 'icon.png')",
                     "setGamePanelState(7, 2)"}));
    EXPECT_TRUE(panel.PlayToken().empty());

    // Half a saved login, and no token: neither is sent.
    rig.page.calls.clear();
    rig.store.loginSecret.clear();
    rig.store.authToken.clear();
    GamePanel second(rig.services, rig.Entry("Other", 8), false);
    EXPECT_EQ(rig.page.calls.at(0).rfind("addGamePanel('Other'", 0), 0u);
}

TEST_F(GamePanelStateTest, UpdatePanelHasNoPopupAndStartsDownloadingAtOnce) {
    ManifestEntry entry = rig.Entry("Quor Update", 0);
    entry.downloadPopupUrl = "http://127.0.0.1/popup";
    entry.downloadPopupDelay = 5;
    GamePanel panel(rig.services, entry, true);
    EXPECT_EQ(panel.GetState(), PanelState::Downloading);
    EXPECT_EQ(rig.events.Count("popup"), 0);
    // No folder dialog for the launcher's own update.
    EXPECT_EQ(rig.journal.at(1), "StartDownload " + entry.url + " quiet");
    EXPECT_TRUE(rig.page.Of("addPauseToProgress").empty());
    EXPECT_TRUE(rig.page.Of("addCancelToProgress").empty());
}

// ---------------------------------------------------------------- RefreshState

TEST_F(GamePanelStateTest, NoDownloadAddressStaysInOneWhateverElseHolds) {
    ManifestEntry entry = rig.Entry();
    entry.url.clear();
    rig.Install(entry);
    rig.patches.next[entry.patchcatalog] = "http://127.0.0.1/p1.quorpatch";
    auto panel = rig.Build(entry);
    EXPECT_EQ(panel->GetState(), PanelState::NoDownload);
    panel->RefreshState();
    EXPECT_EQ(panel->GetState(), PanelState::NoDownload);
    EXPECT_EQ(rig.patches.fetches, 0);
}

TEST_F(GamePanelStateTest, WebGameIsReady) {
    ManifestEntry entry = rig.Entry();
    entry.url = GamePanel::kWebGame;
    auto panel = rig.Build(entry);
    EXPECT_EQ(panel->GetState(), PanelState::Ready);
}

TEST_F(GamePanelStateTest, InstalledGameIsReadyOrHasAPatchWhateverItsDownload) {
    ManifestEntry entry = rig.Entry();
    rig.Install(entry);
    rig.transfers.status[entry.url] = DownloadStatus::Failed;
    auto panel = rig.Build(entry);
    EXPECT_EQ(panel->GetState(), PanelState::Ready);

    rig.patches.next[entry.patchcatalog] = "http://127.0.0.1/p1.quorpatch";
    panel->RefreshState();
    EXPECT_EQ(panel->GetState(), PanelState::PatchAvailable);

    // The catalogue is fetched on every refresh of an installed game.
    int before = rig.patches.fetches;
    panel->RefreshState();
    EXPECT_EQ(rig.patches.fetches, before + 1);
}

TEST_F(GamePanelStateTest, InstalledMeansAnExistingProgramOfTheFirstLocationWithItsKey) {
    ManifestEntry entry = rig.Entry();
    ManifestLocation real = entry.locations.front();
    entry.locations = {
        {"HKEY_CURRENT_USER\\Missing", "Folder", "Program"}, {"HKEY_CURRENT_USER\\NoFile", "Folder", "Program"}, real};
    rig.locator.keys.insert("HKEY_CURRENT_USER\\NoFile");
    rig.locator.program["HKEY_CURRENT_USER\\NoFile"] = rig.env.Path("nothing-here");
    auto panel = rig.Build(entry);
    EXPECT_FALSE(panel->IsInstalled());
    EXPECT_EQ(panel->GetState(), PanelState::NotInstalled);

    std::string program = rig.env.WriteFile("games/Game/Game", "#!/bin/sh\n");
    rig.locator.keys.insert(real.installkey);
    rig.locator.program[real.installkey] = program;
    EXPECT_EQ(panel->GetInstallPath(), program);
    EXPECT_TRUE(panel->IsInstalled());
}

TEST_F(GamePanelStateTest, ShownOnlyWhenInstalled) {
    ManifestEntry entry = rig.Entry();
    entry.showOnlyIfInstalled = true;
    auto panel = rig.Build(entry);
    EXPECT_EQ(panel->GetState(), PanelState::Hidden);
    rig.Install(entry);
    panel->RefreshState();
    EXPECT_EQ(panel->GetState(), PanelState::Ready);

    // The update panel is never hidden.
    ManifestEntry update = rig.Entry("Update", 0);
    update.showOnlyIfInstalled = true;
    GamePanel updatePanel(rig.services, update, true);
    EXPECT_NE(updatePanel.GetState(), PanelState::Hidden);
}

TEST_F(GamePanelStateTest, DiscInADriveOnlyForGamesWithInstallerNames) {
    rig.disc.disc = "/media/cdrom/";
    rig.disc.install = "/media/cdrom/setup.exe";
    ManifestEntry entry = rig.Entry();
    auto plain = rig.Build(entry);
    EXPECT_EQ(plain->GetState(), PanelState::NotInstalled);
    EXPECT_EQ(rig.disc.searches, 0);

    entry.installExeKeys = {"setup*.exe"};
    entry.volumeNames = {"GAME"};
    auto withDisc = rig.Build(entry);
    EXPECT_EQ(withDisc->GetState(), PanelState::DiscAvailable);
}

TEST_F(GamePanelStateTest, CompleteDownloadWithItsInstallerIsDownloaded) {
    ManifestEntry entry = rig.Entry();
    rig.Downloaded(entry.url);
    auto panel = rig.Build(entry);
    EXPECT_EQ(panel->GetState(), PanelState::Downloaded);
}

TEST_F(GamePanelStateTest, CompleteDownloadWithoutItsInstallerIsReset) {
    ManifestEntry entry = rig.Entry();
    std::string installer = rig.Downloaded(entry.url);
    unlink(installer.c_str());
    auto panel = std::make_unique<GamePanel>(rig.services, entry, false);
    EXPECT_EQ(panel->GetState(), PanelState::NotInstalled);
    EXPECT_EQ(rig.events.events.back(), "DownloadFailed/GetInstallFilePath did not find instaler exe /Game");
    EXPECT_EQ(rig.transfers.LoadStatus(entry.url), DownloadStatus::None);
}

TEST_F(GamePanelStateTest, PartialDownloadResumesWhenThePanelIsBuilt) {
    ManifestEntry entry = rig.Entry();
    rig.transfers.status[entry.url] = DownloadStatus::Incomplete;
    GamePanel panel(rig.services, entry, false);
    EXPECT_EQ(panel.GetState(), PanelState::Downloading);
    EXPECT_EQ(rig.events.Count("OnDownloadClick"), 1);
    EXPECT_EQ(rig.page.Of("setGamePanelState"), (Calls{"setGamePanelState(7, 2)", "setGamePanelState(7, 3)"}));
}

TEST_F(GamePanelStateTest, PartialDownloadInOtherStates) {
    ManifestEntry entry = rig.Entry();
    auto panel = rig.Build(entry);
    rig.transfers.status[entry.url] = DownloadStatus::Incomplete;
    // 14 stays.
    panel->SetState(PanelState::FailedDownload);
    panel->RefreshState();
    EXPECT_EQ(panel->GetState(), PanelState::FailedDownload);
    // Another state goes to NotInstalled, without a new download for a game.
    panel->SetState(PanelState::Downloaded);
    rig.journal.clear();
    panel->RefreshState();
    EXPECT_EQ(panel->GetState(), PanelState::NotInstalled);
    EXPECT_TRUE(rig.journal.empty());

    // The update panel starts it again.
    ManifestEntry update = rig.Entry("Update", 0);
    GamePanel updatePanel(rig.services, update, true);
    rig.transfers.held.erase(update.url);
    rig.transfers.status[update.url] = DownloadStatus::Incomplete;
    updatePanel.SetState(PanelState::Downloaded);
    updatePanel.RefreshState();
    EXPECT_EQ(updatePanel.GetState(), PanelState::Downloading);
}

TEST_F(GamePanelStateTest, FailedDownloadIsFourteen) {
    ManifestEntry entry = rig.Entry();
    rig.transfers.status[entry.url] = DownloadStatus::Failed;
    auto panel = rig.Build(entry);
    EXPECT_EQ(panel->GetState(), PanelState::FailedDownload);
}

TEST_F(GamePanelStateTest, DownloadWithoutARecordIsTwoInEveryStateOnceNoLongerHeld) {
    // The transfer went away without a trace (no record, not held): neither a
    // progress bar that never moves nor a stale failure stays.
    for (PanelState state : {PanelState::Downloading, PanelState::Downloaded, PanelState::FailedDownload}) {
        ManifestEntry entry = rig.Entry();
        auto panel = rig.Build(entry);
        panel->SetState(state);
        rig.transfers.held.clear();
        rig.transfers.status.clear();
        rig.Forget();
        panel->RefreshState();
        EXPECT_EQ(panel->GetState(), PanelState::NotInstalled) << "state " << state;
        EXPECT_TRUE(rig.journal.empty()) << "a game panel starts no download";
    }

    // The update panel starts its download again.
    ManifestEntry update = rig.Entry("Update", 0);
    GamePanel updatePanel(rig.services, update, true);
    ASSERT_EQ(updatePanel.GetState(), PanelState::Downloading);
    rig.transfers.held.clear();
    rig.transfers.status.clear();
    rig.Forget();
    updatePanel.RefreshState();
    EXPECT_EQ(rig.page.Of("setGamePanelState"), (Calls{"setGamePanelState(0, 2)", "setGamePanelState(0, 3)"}));
    EXPECT_EQ(rig.journal.at(1), "StartDownload " + update.url + " quiet");
}

TEST_F(GamePanelStateTest, NoDownloadIsTwoAndAGameDoesNotStartOne) {
    ManifestEntry entry = rig.Entry();
    GamePanel panel(rig.services, entry, false);
    EXPECT_EQ(panel.GetState(), PanelState::NotInstalled);
    for (const std::string& line : rig.journal)
        EXPECT_EQ(line.find("StartDownload"), std::string::npos);
}

TEST_F(GamePanelStateTest, CheckingPanelIsNeverRefreshed) {
    ManifestEntry entry = rig.Entry();
    entry.installmanifest = "http://127.0.0.1/im.txt";
    rig.Install(entry);
    auto panel = rig.Build(entry);
    ASSERT_EQ(panel->GetState(), PanelState::Checking);
    rig.Uninstall(entry);
    panel->RefreshState();
    EXPECT_EQ(panel->GetState(), PanelState::Checking);
}

// ---------------------------------------------------------------- outside installs

TEST_F(GamePanelStateTest, ExternalInstallIsNoticedOnce) {
    ManifestEntry entry = rig.Entry();
    auto panel = rig.Build(entry);
    EXPECT_FALSE(panel->CheckExternalInstall());
    rig.Install(entry);
    EXPECT_TRUE(panel->CheckExternalInstall());
    EXPECT_FALSE(panel->CheckExternalInstall());
}

TEST_F(GamePanelStateTest, ExternalInstallIsNotNoticedWhileInstallingOrReady) {
    ManifestEntry entry = rig.Entry();
    rig.Install(entry);
    auto panel = rig.Build(entry);
    ASSERT_EQ(panel->GetState(), PanelState::Ready);
    EXPECT_FALSE(panel->CheckExternalInstall());
    panel->SetState(PanelState::NotInstalled);
    EXPECT_TRUE(panel->CheckExternalInstall());
}

TEST_F(GamePanelStateTest, ExternalInstallLatchStaysUnsetWhileTheTransferIsHeld) {
    ManifestEntry entry = rig.Entry();
    auto panel = rig.Build(entry);
    panel->OnDownload();
    ASSERT_EQ(panel->GetState(), PanelState::Downloading);
    rig.Install(entry);
    // The download still runs: no refresh may move the panel, and the latch waits.
    EXPECT_FALSE(panel->CheckExternalInstall());
    panel->RefreshState();
    EXPECT_EQ(panel->GetState(), PanelState::Downloading);
    // Once the transfer is gone the install is noticed.
    rig.transfers.Complete(entry.url);
    EXPECT_TRUE(panel->CheckExternalInstall());
    panel->RefreshState();
    EXPECT_EQ(panel->GetState(), PanelState::Ready);
}

// ---------------------------------------------------------------- selection in the page

TEST_F(GamePanelStateTest, ActivateOnPageByState) {
    struct Case {
        PanelState state;
        bool requireLogin;
        std::string token;
        Calls journal;  // ShowWindow against the page's calls
        Calls page;
    } cases[] = {
        {PanelState::NoDownload, false, "", {"ShowWindow"}, {"clickPanel(7)", "clickGameButton(7)"}},
        {PanelState::NotInstalled, false, "", {"ShowWindow"}, {"clickPanel(7)", "clickGameButton(7)"}},
        {PanelState::Downloading, false, "", {"ShowWindow"}, {"clickPanel(7)", "clickGameButton(7)"}},
        {PanelState::Downloaded, false, "", {"ShowWindow"}, {"clickPanel(7)", "clickGameButton(7)"}},
        {PanelState::DiscAvailable, false, "", {"ShowWindow"}, {"clickPanel(7)", "clickGameButton(7)"}},
        {PanelState::Ready, true, "", {"ShowWindow"}, {"clickPanel(7)", "clickGameButton(7)"}},
        {PanelState::Ready, true, "saved", {}, {"clickPanel(7)", "clickGameButton(7)"}},
        {PanelState::Ready, false, "", {}, {"clickPanel(7)", "clickGameButton(7)"}},
        {PanelState::DownloadingPatch, false, "", {"ShowWindow"}, {}},
        {PanelState::PatchAvailable, false, "", {"ShowWindow"}, {}},
        {PanelState::FailedDownload, false, "", {"ShowWindow"}, {}},
    };
    for (const Case& c : cases) {
        ManifestEntry entry = rig.Entry();
        entry.requireLogin = c.requireLogin;
        entry.url.clear();
        rig.store.authToken = c.token;
        auto panel = rig.Build(entry);
        panel->SetState(c.state);
        rig.page.calls.clear();
        rig.journal.clear();
        panel->ActivateOnPage();
        EXPECT_EQ(rig.page.calls, c.page) << "state " << c.state;
        EXPECT_EQ(rig.journal, c.journal) << "state " << c.state;
    }
}

}  // namespace
