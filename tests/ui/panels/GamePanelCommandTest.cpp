#include <gtest/gtest.h>

#include <unistd.h>

#include "core/text/Messages.h"
#include "tests/ui/panels/PanelRig.h"
#include "ui/panels/GamePanel.h"

namespace {

using Calls = std::vector<std::string>;

class GamePanelCommandTest : public ::testing::Test {
protected:
    // A panel of a game without download address, put into the state.
    std::unique_ptr<GamePanel> InState(PanelState state, ManifestEntry entry) {
        entry.url.clear();
        auto panel = rig.Build(entry);
        panel->SetState(state);
        rig.Forget();
        return panel;
    }

    PanelRig rig;
};

// ---------------------------------------------------------------- download

TEST_F(GamePanelCommandTest, DownloadRunsOnlyInTwoAndFourteen) {
    for (PanelState state : kAllPanelStates) {
        ManifestEntry entry = rig.Entry();
        auto panel = rig.Build(entry);
        panel->SetState(state);
        rig.Forget();
        panel->OnDownload();
        bool runs = state == PanelState::NotInstalled || state == PanelState::FailedDownload;
        EXPECT_EQ(rig.events.Count("OnDownloadClick"), runs ? 1 : 0) << "state " << state;
        EXPECT_EQ(panel->GetState(), runs ? PanelState::Downloading : state);
        rig.transfers.held.clear();
        rig.transfers.status.clear();
    }
}

TEST_F(GamePanelCommandTest, DownloadStartsWithTheFolderDialogAllowedAndQueuesThePopup) {
    ManifestEntry entry = rig.Entry();
    entry.downloadPopupDelay = 12;
    entry.downloadPopupUrl = "http://127.0.0.1/popup";
    auto panel = rig.Build(entry);
    panel->OnDownload();
    EXPECT_EQ(rig.events.events, (Calls{"GamePanel/OnDownloadClick/Game", "popup/12/http://127.0.0.1/popup",
                                        "GamePanel/OnDownloadStart/Game"}));
    EXPECT_EQ(rig.journal.at(1), "StartDownload " + entry.url + " ask");
    EXPECT_EQ(panel->GetState(), PanelState::Downloading);
}

TEST_F(GamePanelCommandTest, DownloadThatDoesNotStartLeavesAGamePanelAsItIs) {
    ManifestEntry entry = rig.Entry();
    rig.transfers.refuse.insert(entry.url);
    auto panel = rig.Build(entry);
    panel->OnDownload();
    EXPECT_EQ(panel->GetState(), PanelState::NotInstalled);
    EXPECT_TRUE(rig.page.calls.empty());
    EXPECT_TRUE(rig.host.messages.empty());
}

TEST_F(GamePanelCommandTest, DownloadAlreadyCompleteOnlyRefreshes) {
    ManifestEntry entry = rig.Entry();
    auto panel = rig.Build(entry);
    panel->SetState(PanelState::FailedDownload);
    rig.Downloaded(entry.url);
    rig.Forget();
    panel->OnDownload();
    EXPECT_EQ(panel->GetState(), PanelState::Downloaded);
    EXPECT_EQ(rig.events.Count("OnDownloadClick"), 0);
}

// ---------------------------------------------------------------- install

TEST_F(GamePanelCommandTest, InstallStartsTheDownloadedInstaller) {
    ManifestEntry entry = rig.Entry();
    std::string installer = rig.Downloaded(entry.url);
    auto panel = rig.Build(entry);
    ASSERT_EQ(panel->GetState(), PanelState::Downloaded);
    panel->OnInstall();
    EXPECT_EQ(rig.programs.starts, Calls{installer + "|"});
    EXPECT_EQ(rig.events.events, (Calls{"GamePanel/OnInstallClick/Game", "GamePanel/OnInstalling/Game"}));
    EXPECT_EQ(panel->GetState(), PanelState::Installing);
    EXPECT_EQ(rig.transfers.active, 1);
}

TEST_F(GamePanelCommandTest, InstallerThatCannotStartIsReportedAndTheStateReevaluated) {
    ManifestEntry entry = rig.Entry();
    std::string installer = rig.Downloaded(entry.url);
    rig.programs.refuse.insert(installer);
    auto panel = rig.Build(entry);
    panel->OnInstall();
    EXPECT_EQ(rig.host.errors, Calls{"No such file or directory"});
    EXPECT_EQ(rig.events.events,
              (Calls{"GamePanel/OnInstallClick/Game", "InstallLauncherFailed/Game/No such file or directory"}));
    EXPECT_EQ(panel->GetState(), PanelState::Downloaded);
    EXPECT_EQ(rig.transfers.active, 0);
}

TEST_F(GamePanelCommandTest, InstallWhileAnInstallerRunsStartsNoSecond) {
    ManifestEntry entry = rig.Entry();
    rig.Downloaded(entry.url);
    auto panel = rig.Build(entry);
    panel->OnInstall();
    panel->OnInstall();
    EXPECT_EQ(rig.programs.starts.size(), 1u);
    EXPECT_EQ(rig.transfers.active, 1);
    // The second click is still a click.
    EXPECT_EQ(rig.events.Count("OnInstallClick"), 2);
    EXPECT_EQ(rig.events.Count("OnInstalling"), 1);
}

TEST_F(GamePanelCommandTest, InstallFromDiscQueuesItsEventInAnyStateButRunsOnlyInSix) {
    ManifestEntry entry = rig.Entry();
    entry.installExeKeys = {"setup*.exe"};
    entry.volumeNames = {"GAME"};
    auto panel = rig.Build(entry);
    ASSERT_EQ(panel->GetState(), PanelState::NotInstalled);
    panel->OnInstallFromDisc();
    EXPECT_EQ(rig.events.events, Calls{"GamePanel/OnInstallFromDiscClick/Game"});
    EXPECT_TRUE(rig.programs.starts.empty());

    rig.disc.disc = "/media/cdrom/";
    rig.disc.install = "/media/cdrom/setup.exe";
    panel->RefreshState();
    ASSERT_EQ(panel->GetState(), PanelState::DiscAvailable);

    // The disc was taken out again.
    rig.disc.disc.clear();
    panel->OnInstallFromDisc();
    EXPECT_EQ(rig.host.messages, std::vector<int>{Msg::DiscInstallerMissing});
    EXPECT_EQ(panel->GetState(), PanelState::DiscAvailable);

    rig.disc.disc = "/media/cdrom/";
    rig.programs.refuse.insert("/media/cdrom/setup.exe");
    panel->OnInstallFromDisc();
    EXPECT_EQ(rig.host.errors.size(), 1u);
    EXPECT_EQ(panel->GetState(), PanelState::DiscAvailable);

    rig.programs.refuse.clear();
    rig.Forget();
    panel->OnInstallFromDisc();
    EXPECT_EQ(rig.programs.starts.back(), "/media/cdrom/setup.exe|");
    EXPECT_EQ(panel->GetState(), PanelState::Installing);
    EXPECT_EQ(rig.transfers.active, 1);
    EXPECT_EQ(rig.events.Count("OnInstalling"), 0);
}

// ---------------------------------------------------------------- cancel, pause

TEST_F(GamePanelCommandTest, CancelOnlyWhileDownloading) {
    ManifestEntry entry = rig.Entry();
    auto panel = rig.Build(entry);
    panel->OnCancel();
    EXPECT_TRUE(rig.events.events.empty());

    panel->OnDownload();
    rig.Forget();
    panel->OnCancel();
    EXPECT_EQ(rig.events.events, Calls{"GamePanel/OnCancelClick/Game"});
    EXPECT_EQ(rig.journal.at(1), "Cancel " + entry.url);
    EXPECT_EQ(panel->GetState(), PanelState::NotInstalled);
}

TEST_F(GamePanelCommandTest, PauseOnceAndUnpauseOnlyWhenPaused) {
    ManifestEntry entry = rig.Entry();
    auto panel = rig.Build(entry);
    panel->OnPause();  // not downloading
    EXPECT_TRUE(rig.events.events.empty());
    panel->OnDownload();
    rig.Forget();
    panel->OnUnpause();
    EXPECT_TRUE(rig.events.events.empty());
    panel->OnPause();
    panel->OnPause();
    EXPECT_EQ(rig.events.events, Calls{"GamePanel/OnPauseClick/Game"});
    EXPECT_TRUE(panel->IsPaused());

    // A paused download shows its paused text and asks for no progress.
    rig.page.calls.clear();
    panel->PollWork({});
    EXPECT_TRUE(rig.page.calls.empty());
    EXPECT_TRUE(panel->Progress().Paused());

    panel->OnUnpause();
    panel->OnUnpause();
    EXPECT_EQ(rig.events.Count("OnUnpauseClick"), 1);
    EXPECT_FALSE(panel->IsPaused());
}

// ---------------------------------------------------------------- play

TEST_F(GamePanelCommandTest, PlayParameters) {
    struct Case {
        std::string params, token, expected;
    } cases[] = {
        {"-w", "tok", "-w -auth_token=tok"},
        {"", "tok", "-auth_token=tok"},
        {"-w", "", "-w "},
        {"", "", ""},
        {"-w -fullscreen", "a.b.c", "-w -fullscreen -auth_token=a.b.c"},
    };
    for (const Case& c : cases) {
        ManifestEntry entry = rig.Entry();
        entry.exeparams = c.params;
        rig.Install(entry);
        auto panel = rig.Build(entry);
        ASSERT_EQ(panel->GetState(), PanelState::Ready);
        panel->SetPlayToken(c.token);
        rig.programs.starts.clear();
        panel->OnPlay();
        EXPECT_EQ(rig.programs.starts, Calls{rig.env.Path("games/Game/Game") + "|" + c.expected});
        EXPECT_EQ(panel->GetState(), PanelState::Playing);
        EXPECT_EQ(rig.events.Count("OnPlayClick"), 1);
    }
}

TEST_F(GamePanelCommandTest, PlayCountsEveryPlayAndRunsOnlyWhenReady) {
    ManifestEntry entry = rig.Entry();
    rig.store.timesPlayed[7] = 2;
    auto panel = rig.Build(entry);
    EXPECT_EQ(panel->GetTimesPlayed(), 2);
    panel->OnPlay();  // not installed: counted, nothing started
    EXPECT_EQ(rig.store.timesPlayed[7], 3u);
    EXPECT_TRUE(rig.programs.starts.empty());
    EXPECT_EQ(rig.events.Count("OnPlayClick"), 0);
}

TEST_F(GamePanelCommandTest, PlayWithAPatchDueShowsThePatchInstead) {
    ManifestEntry entry = rig.Entry();
    rig.Install(entry);
    auto panel = rig.Build(entry);
    ASSERT_EQ(panel->GetState(), PanelState::Ready);
    rig.patches.next[entry.patchcatalog] = "http://127.0.0.1/p1.quorpatch";
    panel->OnPlay();
    EXPECT_EQ(panel->GetState(), PanelState::PatchAvailable);
    EXPECT_EQ(rig.events.Count("OnPlayClick"), 0);
    EXPECT_TRUE(rig.programs.starts.empty());
}

TEST_F(GamePanelCommandTest, PlayTriesEachLocationInTurn) {
    ManifestEntry entry = rig.Entry();
    entry.locations.push_back({"HKEY_CURRENT_USER\\Software\\Second", "Folder", "Program"});
    rig.Install(entry);
    auto panel = rig.Build(entry);
    std::string first = rig.env.Path("games/Game/Game");
    rig.programs.refuseFirst = 1;
    panel->OnPlay();
    EXPECT_EQ(rig.programs.starts.size(), 2u);
    EXPECT_EQ(panel->GetState(), PanelState::Playing);
}

TEST_F(GamePanelCommandTest, PlayStartsNoProgramOfABareName) {
    // The first location's key exists but its folder value does not, so its
    // path is the file name alone; only the second names a real path.
    ManifestEntry entry = rig.Entry();
    std::string firstKey = "HKEY_CURRENT_USER\\Software\\First";
    entry.locations.insert(entry.locations.begin(), {firstKey, "Folder", "Program"});
    rig.Install(entry);
    rig.locator.program[firstKey] = "Game";
    auto panel = rig.Build(entry);
    ASSERT_EQ(panel->GetState(), PanelState::Ready);
    panel->OnPlay();
    EXPECT_EQ(rig.programs.starts, Calls{rig.env.Path("games/Game/Game") + "|"});
    EXPECT_EQ(panel->GetState(), PanelState::Playing);

    // Nothing but bare names: nothing starts, and the failure is reported.
    rig.locator.program[entry.locations[1].installkey] = "Game";
    rig.programs.EndAll();
    panel->PollWork({});
    rig.programs.starts.clear();
    panel->SetState(PanelState::Ready);
    panel->OnPlay();
    EXPECT_TRUE(rig.programs.starts.empty());
    EXPECT_EQ(rig.events.Count("PlayGameFailed"), 1);
    EXPECT_EQ(rig.host.errors.size(), 1u);
}

TEST_F(GamePanelCommandTest, GameThatCannotStartIsReported) {
    ManifestEntry entry = rig.Entry();
    rig.Install(entry);
    auto panel = rig.Build(entry);
    rig.programs.refuse.insert(rig.env.Path("games/Game/Game"));
    panel->OnPlay();
    EXPECT_EQ(rig.host.errors, Calls{"No such file or directory"});
    EXPECT_EQ(rig.events.events.back(), "PlayGameFailed/Game/No such file or directory");
    EXPECT_EQ(panel->GetState(), PanelState::Ready);
}

TEST_F(GamePanelCommandTest, WebGameOpensItsHomePage) {
    ManifestEntry entry = rig.Entry();
    entry.url = GamePanel::kWebGame;
    auto panel = rig.Build(entry);
    panel->SetPlayToken("tok");
    panel->OnPlay();
    EXPECT_EQ(rig.host.opened, Calls{entry.homepage});
    EXPECT_TRUE(rig.programs.starts.empty());
    EXPECT_EQ(panel->GetState(), PanelState::Ready);
}

// ---------------------------------------------------------------- installation check

TEST_F(GamePanelCommandTest, ConstructionChecksAnInstalledGameAndAFirstPlayStartsIt) {
    ManifestEntry entry = rig.Entry();
    entry.installmanifest = "http://127.0.0.1/im.txt";
    entry.installlocation = "http://127.0.0.1/files/";
    rig.Install(entry);
    auto panel = rig.Build(entry);
    ASSERT_EQ(panel->GetState(), PanelState::Checking);
    ASSERT_EQ(rig.workers.repairs.size(), 1u);
    EXPECT_EQ(rig.workers.repairs[0]->folder, rig.env.Path("games/Game/"));
    EXPECT_EQ(rig.workers.repairs[0]->manifestUrl, entry.installmanifest);
    EXPECT_EQ(rig.workers.repairs[0]->baseUrl, entry.installlocation);
    EXPECT_TRUE(panel->Progress().Checking());

    // Play during the check: counted, nothing else.
    panel->OnPlay();
    EXPECT_EQ(panel->GetState(), PanelState::Checking);
    EXPECT_TRUE(rig.programs.starts.empty());

    rig.workers.repairs[0]->progress = 1.0f;
    panel->PollWork({});
    ASSERT_EQ(panel->GetState(), PanelState::Ready);

    rig.checkTimes.clock.Advance(60);
    panel->OnPlay();
    EXPECT_EQ(panel->GetState(), PanelState::Playing);
    EXPECT_EQ(rig.workers.repairs.size(), 1u);
}

TEST_F(GamePanelCommandTest, PlayAfterAnHourChecksInsteadFromAnyState) {
    ManifestEntry entry = rig.Entry();
    entry.installmanifest = "http://127.0.0.1/im.txt";
    rig.Install(entry);
    auto panel = rig.Build(entry);
    rig.workers.repairs[0]->progress = 1.0f;
    panel->PollWork({});
    ASSERT_EQ(panel->GetState(), PanelState::Ready);

    rig.checkTimes.clock.Advance(3600);
    panel->OnPlay();  // exactly an hour: not yet
    EXPECT_EQ(panel->GetState(), PanelState::Playing);
    rig.programs.EndAll();
    panel->PollWork({});
    ASSERT_EQ(panel->GetState(), PanelState::Ready);

    rig.patches.next[entry.patchcatalog] = "http://127.0.0.1/p1.quorpatch";
    panel->RefreshState();
    ASSERT_EQ(panel->GetState(), PanelState::PatchAvailable);
    rig.checkTimes.clock.Advance(1);
    panel->OnPlay();
    EXPECT_EQ(panel->GetState(), PanelState::Checking);
    EXPECT_EQ(rig.workers.repairs.size(), 2u);
    EXPECT_EQ(rig.programs.starts.size(), 1u);
}

TEST_F(GamePanelCommandTest, CheckRunsOnlyForAnInstalledGameWithItsFolder) {
    ManifestEntry entry = rig.Entry();
    entry.installmanifest = "http://127.0.0.1/im.txt";
    // Not installed: no check, but the time is taken, so a play soon after
    // installing starts the game.
    auto panel = rig.Build(entry);
    EXPECT_EQ(panel->GetState(), PanelState::NotInstalled);
    EXPECT_TRUE(rig.workers.repairs.empty());
    EXPECT_FALSE(rig.checkTimes.IsCheckDue("Game", false));

    // The key is there but names a folder that does not exist.
    rig.Install(entry);
    rig.locator.folder[entry.locations[0].installkey] = rig.env.Path("nowhere/");
    rig.checkTimes.clock.Advance(7201);
    GamePanel second(rig.services, entry, false);
    EXPECT_TRUE(rig.workers.repairs.empty());
    EXPECT_EQ(second.GetState(), PanelState::Ready);
}

TEST_F(GamePanelCommandTest, CheckRepairsAGameWhoseProgramIsGone) {
    ManifestEntry entry = rig.Entry();
    entry.installmanifest = "http://127.0.0.1/im.txt";
    rig.Install(entry);
    unlink(rig.env.Path("games/Game/Game").c_str());
    GamePanel panel(rig.services, entry, false);
    EXPECT_EQ(panel.GetState(), PanelState::Checking);
}

TEST_F(GamePanelCommandTest, CheckThrottleAtConstructionIsTwoHoursPerGameName) {
    ManifestEntry entry = rig.Entry();
    entry.installmanifest = "http://127.0.0.1/im.txt";
    rig.Install(entry);
    { GamePanel first(rig.services, entry, false); }
    EXPECT_EQ(rig.workers.repairs.size(), 1u);
    rig.checkTimes.clock.Advance(7200);
    { GamePanel again(rig.services, entry, false); }
    EXPECT_EQ(rig.workers.repairs.size(), 1u);
    rig.checkTimes.clock.Advance(1);
    GamePanel later(rig.services, entry, false);
    EXPECT_EQ(rig.workers.repairs.size(), 2u);
    // Another game's times are its own.
    ManifestEntry other = rig.Entry("Other", 8);
    other.installmanifest = entry.installmanifest;
    rig.Install(other);
    GamePanel otherPanel(rig.services, other, false);
    EXPECT_EQ(otherPanel.GetState(), PanelState::Checking);
}

TEST_F(GamePanelCommandTest, NoCheckWhileThePanelIsBusy) {
    ManifestEntry entry = rig.Entry();
    entry.installmanifest = "http://127.0.0.1/im.txt";
    rig.Install(entry);
    auto panel = rig.Build(entry);
    rig.workers.repairs[0]->progress = 1.0f;
    panel->PollWork({});
    panel->OnPlay();
    ASSERT_EQ(panel->GetState(), PanelState::Playing);
    rig.checkTimes.clock.Advance(4000);
    panel->OnPlay();  // the game still runs
    EXPECT_EQ(panel->GetState(), PanelState::Playing);
    EXPECT_EQ(rig.workers.repairs.size(), 1u);
}

TEST_F(GamePanelCommandTest, NoCheckInAnyStateWhoseWorkRuns) {
    for (PanelState state : {PanelState::Downloading, PanelState::DownloadingPatch, PanelState::Installing,
                             PanelState::Playing, PanelState::Patching}) {
        ManifestEntry entry = rig.Entry();
        entry.installmanifest = "http://127.0.0.1/im.txt";
        rig.Install(entry);
        auto panel = rig.Build(entry);
        rig.workers.repairs.back()->progress = 1.0f;
        panel->PollWork({});
        ASSERT_EQ(panel->GetState(), PanelState::Ready);
        size_t checks = rig.workers.repairs.size();
        panel->SetState(state);
        rig.checkTimes.clock.Advance(7201);
        panel->OnPlay();
        EXPECT_EQ(panel->GetState(), state);
        EXPECT_EQ(rig.workers.repairs.size(), checks) << "state " << state;
        // The time is not taken either: the check runs once the work is done.
        EXPECT_TRUE(rig.checkTimes.IsCheckDue("Game", true)) << "state " << state;
        rig.transfers.held.clear();
    }
}

// ---------------------------------------------------------------- patch

TEST_F(GamePanelCommandTest, PatchQueuesItsEventThenDoesNothingWhileWorkRuns) {
    for (PanelState state : {PanelState::Downloading, PanelState::DownloadingPatch, PanelState::Installing,
                             PanelState::Playing, PanelState::Patching, PanelState::Checking}) {
        ManifestEntry entry = rig.Entry();
        rig.Install(entry);
        rig.patches.next[entry.patchcatalog] = "http://127.0.0.1/p1.quorpatch";
        auto panel = InState(state, entry);
        int fetches = rig.patches.fetches;
        panel->OnPatch();
        EXPECT_EQ(rig.events.events, Calls{"GamePanel/OnPatchClick/Game"}) << "state " << state;
        EXPECT_EQ(rig.patches.fetches, fetches) << "state " << state;
        EXPECT_TRUE(rig.journal.size() == 1) << "state " << state;  // the event only
        EXPECT_EQ(panel->GetState(), state);
    }
}

TEST_F(GamePanelCommandTest, PatchWithoutTheInstallFolderStartsNothing) {
    ManifestEntry entry = rig.Entry();
    rig.Install(entry);
    std::string next = "http://127.0.0.1/p1.quorpatch";
    rig.patches.next[entry.patchcatalog] = next;
    rig.Downloaded(next, "p1.quorpatch");
    auto panel = rig.Build(entry);
    ASSERT_EQ(panel->GetState(), PanelState::PatchAvailable);

    for (std::string folder : {std::string(), rig.env.Path("gone/")}) {
        rig.locator.folder[entry.locations[0].installkey] = folder;
        rig.host.messages.clear();
        panel->OnPatch();
        EXPECT_EQ(rig.host.messages, std::vector<int>{Msg::RegistryKeyMissing});
        EXPECT_TRUE(rig.workers.patches.empty());
        EXPECT_EQ(panel->GetState(), PanelState::PatchAvailable);
    }

    // No location at all gives no folder either.
    ManifestEntry bare = rig.Entry("Bare", 9);
    bare.locations.clear();
    rig.patches.next[bare.patchcatalog] = "http://127.0.0.1/bare1.quorpatch";
    auto barePanel = rig.Build(bare);
    barePanel->OnPatch();
    EXPECT_EQ(rig.host.messages, std::vector<int>{Msg::RegistryKeyMissing});
    for (const std::string& line : rig.journal)
        EXPECT_EQ(line.find("StartDownload"), std::string::npos) << "no patch is fetched for nowhere";
}

TEST_F(GamePanelCommandTest, PatchWithNothingToPatchOnlyRefreshesEvenWithoutAFolder) {
    ManifestEntry entry = rig.Entry();
    auto panel = rig.Build(entry);
    ASSERT_EQ(panel->GetState(), PanelState::NotInstalled);
    rig.Downloaded(entry.url);
    int fetches = rig.patches.fetches;
    panel->OnPatch();
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_EQ(rig.patches.fetches, fetches + 1);
    EXPECT_EQ(panel->GetState(), PanelState::Downloaded);
}

TEST_F(GamePanelCommandTest, PatchAlreadyDownloadedIsAppliedAtOnce) {
    ManifestEntry entry = rig.Entry();
    rig.Install(entry);
    std::string next = "http://127.0.0.1/p1.quorpatch";
    rig.patches.next[entry.patchcatalog] = next;
    std::string file = rig.Downloaded(next, "p1.quorpatch");
    auto panel = rig.Build(entry);
    panel->OnPatch();
    ASSERT_EQ(rig.workers.patches.size(), 1u);
    EXPECT_EQ(rig.workers.patches[0]->folder, rig.env.Path("games/Game/"));
    EXPECT_EQ(rig.workers.patches[0]->file, file);
    EXPECT_EQ(panel->GetState(), PanelState::Patching);
    EXPECT_TRUE(panel->Progress().Patching());
    EXPECT_TRUE(rig.transfers.patchRunning);
    EXPECT_EQ(panel->GetPackageUrl(), entry.url);
    for (const std::string& line : rig.journal)
        EXPECT_EQ(line.find("StartDownload"), std::string::npos);

    // Its end forgets the value named by the download address, which is still
    // the game's own: no patch download ran.
    rig.store.deleted.clear();
    rig.patches.next[entry.patchcatalog].clear();
    rig.workers.patches[0]->progress = 1.0f;
    panel->PollWork({});
    EXPECT_EQ(panel->GetState(), PanelState::Ready);
    EXPECT_EQ(rig.store.deleted, (Calls{entry.url, entry.url}));
}

TEST_F(GamePanelCommandTest, PatchDownloadStartsQuietly) {
    ManifestEntry entry = rig.Entry();
    rig.Install(entry);
    std::string next = "http://127.0.0.1/p1.quorpatch";
    rig.patches.next[entry.patchcatalog] = next;
    auto panel = rig.Build(entry);
    panel->OnPatch();
    EXPECT_EQ(rig.journal.at(1), "StartDownload " + next + " quiet");
    EXPECT_EQ(panel->GetState(), PanelState::DownloadingPatch);
    EXPECT_EQ(panel->GetPackageUrl(), next);
    EXPECT_TRUE(panel->Progress().DownloadingPatch());
    EXPECT_EQ(rig.page.Of("addCancelToProgress").size(), 1u);
}

TEST_F(GamePanelCommandTest, PatchDownloadThatDoesNotStart) {
    ManifestEntry entry = rig.Entry();
    rig.Install(entry);
    std::string next = "http://127.0.0.1/p1.quorpatch";
    rig.patches.next[entry.patchcatalog] = next;
    rig.transfers.refuse.insert(next);
    auto panel = rig.Build(entry);
    panel->OnPatch();
    EXPECT_EQ(rig.host.messages, std::vector<int>{Msg::PatchDownloadFailed});
    EXPECT_EQ(panel->GetState(), PanelState::PatchAvailable);
    EXPECT_EQ(panel->GetPackageUrl(), entry.url);
}

TEST_F(GamePanelCommandTest, PatchWithNothingToDoRefreshes) {
    ManifestEntry entry = rig.Entry();
    rig.Install(entry);
    auto panel = rig.Build(entry);
    panel->SetState(PanelState::NotInstalled);
    panel->OnPatch();
    EXPECT_EQ(panel->GetState(), PanelState::Ready);
}

// ---------------------------------------------------------------- preview, options

TEST_F(GamePanelCommandTest, PreviewAddsTheTokenWithTheRightSeparator) {
    struct Case {
        std::string homepage, token, expected;
    } cases[] = {
        {"http://127.0.0.1/game", "tok", "http://127.0.0.1/game?auth_token=tok"},
        {"http://127.0.0.1/game?lang=en", "tok", "http://127.0.0.1/game?lang=en&auth_token=tok"},
        {"http://127.0.0.1/game?lang=en", "", "http://127.0.0.1/game?lang=en"},
        {"http://127.0.0.1/game", "", "http://127.0.0.1/game"},
    };
    for (const Case& c : cases) {
        ManifestEntry entry = rig.Entry();
        entry.homepage = c.homepage;
        auto panel = rig.Build(entry);
        panel->SetPlayToken(c.token);
        rig.host.opened.clear();
        panel->OnPreview();
        EXPECT_EQ(rig.host.opened, Calls{c.expected});
        EXPECT_EQ(rig.events.events.back(), "GamePanel/OnPreviewClick/Game");
    }
    EXPECT_EQ(rig.store.timesPlayed[7], 4u);
}

TEST_F(GamePanelCommandTest, OptionsProgramOfTheFirstLocationThatHasOne) {
    ManifestEntry entry = rig.Entry();
    entry.locations.push_back({"HKEY_CURRENT_USER\\Software\\Second", "Folder", "Program"});
    rig.Install(entry);
    auto panel = rig.Build(entry);
    panel->LaunchOptions();
    EXPECT_TRUE(rig.programs.starts.empty());

    std::string options = rig.env.WriteFile("second/options.exe", "#!/bin/sh\n");
    rig.locator.folder["HKEY_CURRENT_USER\\Software\\Second"] = rig.env.Path("second");  // no "/"
    panel->LaunchOptions();
    EXPECT_EQ(rig.programs.starts, Calls{options + "|"});
}

TEST_F(GamePanelCommandTest, OptionsProgramNeverComesFromTheWorkingFolder) {
    // An "options.exe" where Quor runs, and locations without a real folder.
    rig.env.WriteFile("cwd/options.exe", "#!/bin/sh\n");
    rig.env.WriteFile("cwd/rel/options.exe", "#!/bin/sh\n");
    char previous[4096];
    ASSERT_TRUE(getcwd(previous, sizeof previous));
    ASSERT_EQ(chdir(rig.env.Path("cwd").c_str()), 0);
    ManifestEntry entry = rig.Entry();
    entry.locations.push_back({"HKEY_CURRENT_USER\\Software\\Second", "Folder", "Program"});
    rig.Install(entry);
    rig.locator.folder[entry.locations[0].installkey] = "";
    rig.locator.folder[entry.locations[1].installkey] = "rel";
    auto panel = rig.Build(entry);
    panel->LaunchOptions();
    EXPECT_EQ(chdir(previous), 0);
    EXPECT_TRUE(rig.programs.starts.empty());
}

}  // namespace
