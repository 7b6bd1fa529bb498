#include <gtest/gtest.h>

#include "tests/ui/panels/PanelRig.h"
#include "ui/panels/GamePanel.h"
#include "ui/panels/GamePanels.h"

namespace {

using Calls = std::vector<std::string>;

class GamePanelsTest : public ::testing::Test {
protected:
    GamePanel& Add(const ManifestEntry& entry, bool selfUpdate = false) {
        owned.push_back(std::make_unique<GamePanel>(rig.services, entry, selfUpdate));
        panels.push_back(owned.back().get());
        return *owned.back();
    }
    // Panels whose own work runs: an installer (7), the game (9), a patch (11).
    GamePanel& Installing(const std::string& name, int32_t id) {
        ManifestEntry entry = rig.Entry(name, id);
        rig.Downloaded(entry.url, name + ".exe");
        GamePanel& panel = Add(entry);
        panel.OnInstall();
        return panel;
    }
    GamePanel& Playing(const std::string& name, int32_t id) {
        ManifestEntry entry = rig.Entry(name, id);
        rig.Install(entry);
        GamePanel& panel = Add(entry);
        panel.OnPlay();
        return panel;
    }
    GamePanel& Patching(const std::string& name, int32_t id) {
        ManifestEntry entry = rig.Entry(name, id);
        rig.Install(entry);
        std::string patch = "http://127.0.0.1/" + name + ".quorpatch";
        rig.patches.next[entry.patchcatalog] = patch;
        rig.Downloaded(patch, name + ".quorpatch");
        GamePanel& panel = Add(entry);
        panel.OnPatch();
        return panel;
    }

    PanelRig rig;
    std::vector<std::unique_ptr<GamePanel>> owned;
    std::vector<GamePanel*> panels;
};

TEST_F(GamePanelsTest, AChangeRefreshesEveryPanelWhoseWorkIsNotRunning) {
    // 3 with its transfer held, 7, 9, 11, 13 keep their state; an idle 2 is refreshed.
    ManifestEntry downloading = rig.Entry("Downloading", 1);
    GamePanel& d = Add(downloading);
    d.OnDownload();

    ManifestEntry installing = rig.Entry("Installing", 2);
    GamePanel& i = Installing(installing.name, installing.id);
    GamePanel& p = Playing("Playing", 3);
    GamePanel& pa = Patching("Patching", 4);

    ManifestEntry checking = rig.Entry("Checking", 5);
    checking.installmanifest = "http://127.0.0.1/im.txt";
    rig.Install(checking);
    GamePanel& c = Add(checking);

    ManifestEntry idle = rig.Entry("Idle", 6);
    GamePanel& n = Add(idle);

    ASSERT_EQ(d.GetState(), PanelState::Downloading);
    ASSERT_EQ(i.GetState(), PanelState::Installing);
    ASSERT_EQ(p.GetState(), PanelState::Playing);
    ASSERT_EQ(pa.GetState(), PanelState::Patching);
    ASSERT_EQ(c.GetState(), PanelState::Checking);
    ASSERT_EQ(n.GetState(), PanelState::NotInstalled);

    // Meanwhile every game was installed from outside, and another download failed.
    rig.Install(downloading);
    rig.Install(installing);
    rig.Install(idle);
    PollPanels(panels, {{}, {"http://127.0.0.1/x.exe"}, {"http://127.0.0.1/x.exe"}});
    EXPECT_EQ(d.GetState(), PanelState::Downloading);
    EXPECT_EQ(i.GetState(), PanelState::Installing);
    EXPECT_EQ(p.GetState(), PanelState::Playing);
    EXPECT_EQ(pa.GetState(), PanelState::Patching);
    EXPECT_EQ(c.GetState(), PanelState::Checking);
    EXPECT_EQ(n.GetState(), PanelState::Ready);

    // The download ends: its outside install is noticed now (the latch waited).
    rig.transfers.Complete(downloading.url);
    PollPanels(panels, {});
    EXPECT_EQ(d.GetState(), PanelState::Ready);
}

TEST_F(GamePanelsTest, PatchDownloadIsNotMovedWhileItsTransferIsHeld) {
    ManifestEntry entry = rig.Entry();
    rig.Install(entry);
    std::string patch = "http://127.0.0.1/p.quorpatch";
    rig.patches.next[entry.patchcatalog] = patch;
    GamePanel& panel = Add(entry);
    panel.OnPatch();
    ASSERT_EQ(panel.GetState(), PanelState::DownloadingPatch);
    // Another download failed: the refresh it asks for passes this panel by.
    rig.patches.next[entry.patchcatalog].clear();
    PollPanels(panels, {{}, {}, {"http://127.0.0.1/x.exe"}});
    EXPECT_EQ(panel.GetState(), PanelState::DownloadingPatch);
    EXPECT_EQ(panel.GetPackageUrl(), patch);
    // Once the manager lets go of it the refresh applies.
    rig.transfers.held.erase(patch);
    rig.transfers.status[patch] = DownloadStatus::None;
    PollPanels(panels, {{}, {patch}, {}});
    EXPECT_EQ(panel.GetState(), PanelState::Ready);
}

TEST_F(GamePanelsTest, FailedGameDownloadShowsFourteen) {
    ManifestEntry entry = rig.Entry();
    GamePanel& panel = Add(entry);
    panel.OnDownload();
    rig.transfers.Fail(entry.url);
    PollPanels(panels, {{}, {entry.url}, {entry.url}});
    EXPECT_EQ(panel.GetState(), PanelState::FailedDownload);
    // Retried from the page.
    panel.OnDownload();
    EXPECT_EQ(panel.GetState(), PanelState::Downloading);
}

TEST_F(GamePanelsTest, NoChangeNoRefresh) {
    ManifestEntry entry = rig.Entry();
    rig.Install(entry);
    GamePanel& panel = Add(entry);
    int fetches = rig.patches.fetches;
    PollPanels(panels, {});
    PollPanels(panels, {{"http://127.0.0.1/done.exe"}, {}, {}});
    EXPECT_EQ(rig.patches.fetches, fetches);
    EXPECT_EQ(panel.GetState(), PanelState::Ready);
}

TEST_F(GamePanelsTest, DiscInADriveRefreshesPanelsInTwo) {
    ManifestEntry withDisc = rig.Entry("Disc", 1);
    withDisc.installExeKeys = {"setup.exe"};
    withDisc.volumeNames = {"DISC"};
    GamePanel& a = Add(withDisc);
    ManifestEntry other = rig.Entry("Other", 2);
    GamePanel& b = Add(other);
    other = rig.Entry("Failed", 3);
    rig.transfers.status[other.url] = DownloadStatus::Failed;
    GamePanel& c = Add(other);
    ASSERT_EQ(c.GetState(), PanelState::FailedDownload);
    std::vector<std::string> volumes = PollPanels(panels, {});
    EXPECT_EQ(volumes, std::vector<std::string>{"DISC"});
    RefreshForDisc(panels, volumes, rig.disc);
    EXPECT_EQ(a.GetState(), PanelState::NotInstalled);

    rig.disc.disc = "/media/cdrom/";
    rig.disc.install = "/media/cdrom/setup.exe";
    RefreshForDisc(panels, PollPanels(panels, {}), rig.disc);
    EXPECT_EQ(a.GetState(), PanelState::DiscAvailable);
    EXPECT_EQ(b.GetState(), PanelState::NotInstalled);
    EXPECT_EQ(c.GetState(), PanelState::FailedDownload);
}

TEST_F(GamePanelsTest, ReplayKeepsEveryPanelAsItStands) {
    rig.store.loginName = "alice";
    rig.store.loginSecret = "pw";
    rig.store.authToken = "saved";

    ManifestEntry update = rig.Entry("Update", 100);
    GamePanel& u = Add(update, true);  // Downloading
    ManifestEntry downloading = rig.Entry("Down", 1);
    GamePanel& d = Add(downloading);
    d.OnDownload();
    ManifestEntry patching = rig.Entry("Patch", 2);
    rig.Install(patching);
    rig.patches.next[patching.patchcatalog] = "http://127.0.0.1/p.quorpatch";
    GamePanel& pd = Add(patching);
    pd.OnPatch();  // DownloadingPatch
    ManifestEntry checking = rig.Entry("Check", 3);
    checking.installmanifest = "http://127.0.0.1/im.txt";
    rig.Install(checking);
    GamePanel& c = Add(checking);
    ManifestEntry ready = rig.Entry("Ready", 4);
    rig.Install(ready);
    rig.store.timesPlayed[4] = 9;
    GamePanel& r = Add(ready);
    ASSERT_EQ(u.GetState(), PanelState::Downloading);
    ASSERT_EQ(pd.GetState(), PanelState::DownloadingPatch);
    ASSERT_EQ(c.GetState(), PanelState::Checking);
    ASSERT_EQ(r.GetState(), PanelState::Ready);

    rig.Forget();
    rig.store.authToken = "newer";
    int fetches = rig.patches.fetches;
    ASSERT_TRUE(AnyPanelBusy(panels));
    ReplayPanels(rig.page, panels);

    auto panelCalls = [](const std::string& name, int id, int times, int state) {
        std::string n = std::to_string(id);
        return Calls{"setSavedLogin('pw', 'alice')", "setAuthToken('newer')",
                     "addGamePanel('" + name + "', 'banner.png', 'http://127.0.0.1/" + name + "', 0, " + n + ", 0, " +
                         std::to_string(times) + ", 'icon.png')",
                     "setGamePanelState(" + n + ", " + std::to_string(state) + ")"};
    };
    Calls expected{"clearGamePanels()"};
    auto append = [&](Calls more) { expected.insert(expected.end(), more.begin(), more.end()); };
    append(panelCalls("Update", 100, 0, 3));
    append({"startProgress(100)"});
    append(panelCalls("Down", 1, 0, 3));
    append({"startProgress(1)", "addPauseToProgress(1)", "addCancelToProgress(1)"});
    append(panelCalls("Patch", 2, 0, 4));
    append({"startProgress(2)", "addPauseToProgress(2)", "addCancelToProgress(2)"});
    append(panelCalls("Check", 3, 0, 13));
    append({"startProgress(3)"});
    append(panelCalls("Ready", 4, 9, 8));
    EXPECT_EQ(rig.page.calls, expected);

    // No check, refresh or download ran.
    EXPECT_TRUE(rig.journal.empty());
    EXPECT_TRUE(rig.events.events.empty());
    EXPECT_EQ(rig.patches.fetches, fetches);
    EXPECT_EQ(rig.workers.repairs.size(), 1u);
}

// A paused download replayed: its progress with the transfer's numbers and the
// paused text, from which the page takes its own paused flag; a running one
// waits for the next tick's progress.
TEST_F(GamePanelsTest, ReplayOfAPausedDownloadSendsItsPausedProgress) {
    ManifestEntry paused = rig.Entry("Paused", 1);
    GamePanel& p = Add(paused);
    p.OnDownload();
    p.OnPause();
    ASSERT_TRUE(p.IsPaused());
    ManifestEntry running = rig.Entry("Running", 2);
    GamePanel& r = Add(running);
    r.OnDownload();
    ManifestEntry patch = rig.Entry("Patch", 3);
    rig.Install(patch);
    rig.patches.next[patch.patchcatalog] = "http://127.0.0.1/p.quorpatch";
    GamePanel& pd = Add(patch);
    pd.OnPatch();  // DownloadingPatch
    pd.OnPause();
    ASSERT_EQ(pd.GetState(), PanelState::DownloadingPatch);
    ASSERT_TRUE(pd.IsPaused());
    rig.transfers.progress[paused.url] = {524288, 1048576, 0, "Paused.exe 0 MB of 1 MB"};
    rig.transfers.progress[running.url] = {512, 1024, 30, "x"};
    rig.transfers.progress["http://127.0.0.1/p.quorpatch"] = {3, 4, 0, "p.quorpatch"};

    for (const char* language : {"en", "tr"}) {
        SCOPED_TRACE(language);
        rig.store.language = language;
        rig.Forget();
        ReplayPanels(rig.page, panels);
        bool tr = std::string(language) == "tr";
        Calls progress;
        for (const std::string& call : rig.page.calls)
            if (call.rfind("setGamePanelState", 0) == 0 || call.find("Progress(") != std::string::npos)
                progress.push_back(call);
        EXPECT_EQ(
            progress,
            (Calls{"setGamePanelState(1, 3)", "startProgress(1)", "addPauseToProgress(1)", "addCancelToProgress(1)",
                   std::string("updateProgress(1, '") + (tr ? "50%  (Durdu)" : "50%  (Paused)") +
                       "', 524288, 1048576, 0, 'Paused.exe 0 MB of 1 MB')",
                   "setGamePanelState(2, 3)", "startProgress(2)", "addPauseToProgress(2)", "addCancelToProgress(2)",
                   "setGamePanelState(3, 4)", "startProgress(3)", "addPauseToProgress(3)", "addCancelToProgress(3)",
                   std::string("updateProgress(3, '") + (tr ? "75%  (Durdu)" : "75%  (Paused)") +
                       "', 3, 4, 0, 'p.quorpatch')"}));
    }
    // The first click after the reload is the page's resume, and it resumes.
    rig.Forget();
    p.OnUnpause();
    EXPECT_FALSE(p.IsPaused());
    EXPECT_EQ(rig.events.events, Calls{"GamePanel/OnUnpauseClick/Paused"});
}

TEST_F(GamePanelsTest, ReplayStartsTheProgressOfAPatchButNotOfAnInstallerOrGame) {
    GamePanel& i = Installing("Installing", 1);
    GamePanel& p = Playing("Playing", 2);
    GamePanel& pa = Patching("Patching", 3);
    ASSERT_EQ(i.GetState(), PanelState::Installing);
    ASSERT_EQ(p.GetState(), PanelState::Playing);
    ASSERT_EQ(pa.GetState(), PanelState::Patching);

    rig.Forget();
    ReplayPanels(rig.page, panels);
    EXPECT_EQ(rig.page.Of("setGamePanelState"),
              (Calls{"setGamePanelState(1, 7)", "setGamePanelState(2, 9)", "setGamePanelState(3, 11)"}));
    EXPECT_EQ(rig.page.Of("startProgress"), Calls{"startProgress(3)"});
    EXPECT_TRUE(rig.page.Of("addPauseToProgress").empty());
    EXPECT_TRUE(rig.journal.empty());
}

TEST_F(GamePanelsTest, BusyAndPatchingQuestions) {
    EXPECT_FALSE(AnyPanelBusy(panels));
    EXPECT_FALSE(AnyPanelPatching(panels));
    ManifestEntry entry = rig.Entry();
    rig.Install(entry);
    GamePanel& panel = Add(entry);
    EXPECT_FALSE(AnyPanelBusy(panels));
    panel.OnPlay();
    EXPECT_TRUE(AnyPanelBusy(panels));
    EXPECT_FALSE(AnyPanelPatching(panels));
    rig.programs.EndAll();
    PollPanels(panels, {});
    EXPECT_FALSE(AnyPanelBusy(panels));

    rig.patches.next[entry.patchcatalog] = "http://127.0.0.1/p.quorpatch";
    rig.Downloaded("http://127.0.0.1/p.quorpatch", "p.quorpatch");
    panel.OnPatch();
    EXPECT_TRUE(AnyPanelPatching(panels));
    EXPECT_TRUE(AnyPanelBusy(panels));
}

TEST_F(GamePanelsTest, SnapshotsCopyWhatAReportReads) {
    ManifestEntry installed = rig.Entry("Installed", 1);
    rig.Install(installed);
    Add(installed);
    ManifestEntry missing = rig.Entry("Missing", 2);
    Add(missing);
    std::vector<PanelSnapshot> copies = SnapshotPanels(panels);
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(copies[0].gameName, "Installed");
    EXPECT_EQ(copies[0].gameId, 1);
    EXPECT_EQ(copies[0].state, PanelState::Ready);
    EXPECT_EQ(copies[0].packageUrl, installed.url);
    EXPECT_EQ(copies[0].installPath, rig.env.Path("games/Installed/Installed"));
    EXPECT_EQ(copies[1].state, PanelState::NotInstalled);
    EXPECT_TRUE(copies[1].installPath.empty());
}

}  // namespace
