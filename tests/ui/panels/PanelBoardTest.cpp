#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>

#include "tests/ui/panels/PanelRig.h"
#include "ui/panels/GamePanel.h"
#include "ui/panels/PanelBoard.h"

namespace {

using Calls = std::vector<std::string>;

// The manifest and transfer managers as the board reads them.
struct FakeSources final : BoardSources {
    PanelRig::Journal* journal = nullptr;
    bool listReady = false;
    std::vector<ManifestEntry> list;
    bool updateDue = false;
    bool busy = false;
    TransferResults results;
    Calls* pageCalls = nullptr;  // where the addresses also go, to see their order among the page calls

    bool IsListReady() override { return listReady; }
    std::vector<ManifestEntry> TakeEntries() override {
        listReady = false;
        return list;
    }
    bool CheckAutoUpdate(int32_t version) override {
        journal->push_back("CheckAutoUpdate " + std::to_string(version));
        return updateDue;
    }
    bool IsTransferManagerBusy() override { return busy; }
    TransferResults TakeTransferResults() override {
        TransferResults taken = results;
        results = {};
        return taken;
    }
    void SetCatalogueUrls(const std::string& gameUrl, const std::string& allGamesUrl) override {
        journal->push_back("urls " + gameUrl + " " + allGamesUrl);
        if (pageCalls) {
            pageCalls->push_back("setGameUrl('" + gameUrl + "')");
            pageCalls->push_back("setAllGamesUrl('" + allGamesUrl + "')");
        }
    }
    void OpenCampaign() override { journal->push_back("campaign"); }
};

// A board on fake services.
struct Bench {
    Bench() : board(rig.services, sources, rig.disc) { sources.journal = &rig.journal; }

    static ManifestEntry Update(int32_t version) {
        ManifestEntry entry;
        entry.isAutoUpdate = true;
        entry.name = "Quor update";
        entry.banner = "~autoupdate~";
        entry.url = "http://127.0.0.1/QuorSetup.exe";
        entry.version = version;
        entry.gameUrl = "http://127.0.0.1/game.html";
        entry.allGamesUrl = "http://127.0.0.1/games.html";
        return entry;
    }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (GamePanel* panel : board.Panels())
            names.push_back(panel->GameName());
        return names;
    }

    int Journaled(const std::string& prefix) const {
        return static_cast<int>(std::count_if(rig.journal.begin(), rig.journal.end(),
                                              [&](const std::string& line) { return line.rfind(prefix, 0) == 0; }));
    }

    PanelRig rig;
    FakeSources sources;
    PanelBoard board;
};

class PanelBoardTest : public ::testing::Test, public Bench {};

TEST_F(PanelBoardTest, ADueUpdateGetsTheFirstPanelAndNoCampaign) {
    sources.updateDue = true;
    board.Load({rig.Entry("Alpha", 1), Update(31700), rig.Entry("Beta", 2)});
    EXPECT_EQ(Names(), (Calls{"Quor update", "Alpha", "Beta"}));
    EXPECT_TRUE(board.Panels()[0]->IsSelfUpdate());
    EXPECT_EQ(rig.page.calls.front(), "clearGamePanels()");
    EXPECT_EQ(rig.page.Of("addGamePanel")[0].rfind("addGamePanel('Quor update', '~autoupdate~'", 0), 0u);
    // Its download starts at once, without a folder dialog; the second refresh leaves it.
    EXPECT_EQ(board.Panels()[0]->GetState(), PanelState::Downloading);
    EXPECT_EQ(Journaled("StartDownload http://127.0.0.1/QuorSetup.exe quiet"), 1);
    EXPECT_EQ(Journaled("urls http://127.0.0.1/game.html http://127.0.0.1/games.html"), 1);
    EXPECT_EQ(Journaled("CheckAutoUpdate 31700"), 1);
    EXPECT_EQ(Journaled("campaign"), 0);
    EXPECT_EQ(board.Find("Quor update"), board.Panels()[0]);
}

// An update installer that cannot start is refused once for the run: the
// manifest refreshes that rebuild the panels show no error and send no event
// again, and the update's panel rests in Downloaded, which has no progress bar.
TEST_F(PanelBoardTest, ARefusedUpdateStaysRefusedAcrossRefreshes) {
    sources.updateDue = true;
    const ManifestEntry update = Update(31700);
    board.Load({update, rig.Entry("Alpha", 1)});
    ASSERT_EQ(board.Panels()[0]->GetState(), PanelState::Downloading);
    rig.programs.unstartable.insert(rig.Downloaded(update.url, "QuorSetup.exe"));
    sources.results.completed = {update.url};
    board.Tick();
    ASSERT_EQ(board.Panels()[0]->GetState(), PanelState::Downloaded);
    EXPECT_EQ(rig.host.errors, Calls{"QuorSetup.exe is a Windows program, and wine is not installed"});
    EXPECT_EQ(rig.events.Count("InstallLauncherFailed"), 1);
    rig.host.errors.clear();

    for (int refresh = 1; refresh <= 2; ++refresh) {
        SCOPED_TRACE(refresh);
        rig.Forget();
        sources.list = {update, rig.Entry("Alpha", 1)};
        sources.listReady = true;
        board.Tick();
        board.Tick();
        ASSERT_EQ(Names(), (Calls{"Quor update", "Alpha"}));
        EXPECT_EQ(board.Panels()[0]->GetState(), PanelState::Downloaded);
        Calls updateCalls;
        std::copy_if(rig.page.calls.begin(), rig.page.calls.end(), std::back_inserter(updateCalls),
                     [](const std::string& call) { return call.find("(0") != std::string::npos; });
        EXPECT_EQ(updateCalls, Calls{"setGamePanelState(0, 5)"}) << "no progress bar";
        EXPECT_EQ(rig.host.errors, Calls{});
        EXPECT_EQ(rig.events.Count("InstallLauncherFailed"), 0);
        EXPECT_EQ(rig.journal,
                  (Calls{"urls http://127.0.0.1/game.html http://127.0.0.1/games.html", "CheckAutoUpdate 31700"}))
            << "nothing stopped, nothing started";
    }
    EXPECT_EQ(rig.programs.canStartAsked, 1);

    // Installing it from the page is the user asking again: looked at anew.
    rig.Forget();
    board.Panels()[0]->OnInstall();
    EXPECT_EQ(rig.programs.canStartAsked, 2);
    EXPECT_EQ(rig.host.errors.size(), 1u);
    EXPECT_TRUE(rig.programs.starts.empty()) << "never run beside the launcher";
    rig.programs.unstartable.clear();
    board.Panels()[0]->OnInstall();
    EXPECT_EQ(rig.journal.back(), "Exit");
}

TEST_F(PanelBoardTest, NoUpdateDueOpensTheCampaignAndBuildsGamesOnly) {
    board.Load({Update(31680), rig.Entry("Alpha", 1)});
    EXPECT_EQ(Names(), Calls{"Alpha"});
    EXPECT_EQ(Journaled("campaign"), 1);
    EXPECT_EQ(Journaled("StartDownload"), 0);
}

TEST_F(PanelBoardTest, ALaterEntryOfTheSameNameIsTheOneFoundByName) {
    board.Load({rig.Entry("Alpha", 1), rig.Entry("Alpha", 2)});
    ASSERT_EQ(board.Panels().size(), 2u);
    EXPECT_EQ(board.Find("Alpha"), board.Panels()[1]);
    EXPECT_EQ(board.Find("alpha"), nullptr);
}

TEST_F(PanelBoardTest, AnIdleReloadHoldsOnePanelPerEntryOfTheNewList) {
    board.Load({rig.Entry("Alpha", 1), rig.Entry("Beta", 2)});
    rig.Forget();
    board.Load({rig.Entry("Gamma", 3)});
    EXPECT_EQ(Names(), Calls{"Gamma"});
    EXPECT_EQ(board.Find("Alpha"), nullptr);
    EXPECT_EQ(rig.page.calls.front(), "clearGamePanels()");
    EXPECT_EQ(rig.page.Of("addGamePanel").size(), 1u);
}

// What makes the launcher busy, made on a panel "Alpha" (id 1) of a fresh bench.
struct BusyCase {
    const char* what;
    std::function<void(Bench&, GamePanel&)> make;
    PanelState state;
    Calls progress;  // what the replay sends after the panel's state
};

std::vector<BusyCase> BusyCases() {
    return {
        {"transfer manager busy", [](Bench& b, GamePanel&) { b.sources.busy = true; }, PanelState::NotInstalled, {}},
        {"downloading",
         [](Bench& b, GamePanel& p) {
             p.OnDownload();
             b.sources.busy = true;  // the transfer it holds
         },
         PanelState::Downloading,
         {"startProgress(1)", "addPauseToProgress(1)", "addCancelToProgress(1)"}},
        {"installing",
         [](Bench& b, GamePanel& p) {
             b.rig.Downloaded(p.GameDownloadUrl(), "alpha.exe");
             p.RefreshState();
             p.OnInstall();
         },
         PanelState::Installing,
         {}},
        {"playing",
         [](Bench& b, GamePanel& p) {
             b.rig.Install(b.rig.Entry("Alpha", 1));
             p.RefreshState();
             p.OnPlay();
         },
         PanelState::Playing,
         {}},
        {"patching",
         [](Bench& b, GamePanel& p) {
             ManifestEntry entry = b.rig.Entry("Alpha", 1);
             b.rig.Install(entry);
             b.rig.patches.next[entry.patchcatalog] = "http://127.0.0.1/p.quorpatch";
             b.rig.Downloaded("http://127.0.0.1/p.quorpatch", "p.quorpatch");
             p.OnPatch();
         },
         PanelState::Patching,
         {"startProgress(1)"}},
        {"checking",
         [](Bench& b, GamePanel& p) {
             b.rig.Install(b.rig.Entry("Alpha", 1));
             b.rig.checkTimes.clock.Advance(8000);
             p.StartInstallCheck(false);
         },
         PanelState::Checking,
         {"startProgress(1)"}},
    };
}

// A reload while something runs keeps every panel as it is and only tells the
// page about them again: no check, no catalogue, no download, no rebuild.
TEST(PanelBoard, AReloadWhileBusyKeepsAndReplaysEveryPanel) {
    for (const BusyCase& c : BusyCases()) {
        SCOPED_TRACE(c.what);
        Bench b;
        ManifestEntry alpha = b.rig.Entry("Alpha", 1);
        alpha.installmanifest = "http://127.0.0.1/alpha-install.txt";
        b.board.Load({alpha, b.rig.Entry("Beta", 2)});
        GamePanel* a = b.board.Find("Alpha");
        GamePanel* beta = b.board.Find("Beta");
        c.make(b, *a);
        ASSERT_EQ(a->GetState(), c.state);
        b.rig.store.authToken = "saved-token";
        b.rig.Forget();
        int fetches = b.rig.patches.fetches;

        b.board.Load({b.rig.Entry("Gamma", 3)});  // entries read on the reload are dropped
        EXPECT_EQ(b.board.Find("Alpha"), a);
        EXPECT_EQ(b.board.Find("Beta"), beta);
        EXPECT_EQ(b.board.Find("Gamma"), nullptr);
        EXPECT_EQ(a->GetState(), c.state);

        Calls expected = {"clearGamePanels()", "setAuthToken('saved-token')",
                          "addGamePanel('Alpha', 'banner.png', 'http://127.0.0.1/Alpha', 0, 1, 0, 0, 'icon.png')",
                          "setGamePanelState(1, " + std::to_string(ToNumber(c.state)) + ")"};
        expected.insert(expected.end(), c.progress.begin(), c.progress.end());
        Calls rest = {"setAuthToken('saved-token')",
                      "addGamePanel('Beta', 'banner.png', 'http://127.0.0.1/Beta', 0, 2, 0, 0, 'icon.png')",
                      "setGamePanelState(2, 2)"};
        expected.insert(expected.end(), rest.begin(), rest.end());
        // The game being played has counted that play.
        if (c.state == PanelState::Playing)
            expected[2] = "addGamePanel('Alpha', 'banner.png', 'http://127.0.0.1/Alpha', 0, 1, 0, 1, 'icon.png')";
        EXPECT_EQ(b.rig.page.calls, expected);
        EXPECT_EQ(b.rig.journal, Calls{}) << "no check, download or start";
        EXPECT_EQ(b.rig.patches.fetches, fetches) << "no catalogue fetched";
    }
}

// The page loses its catalogue addresses with a reload: the replay sends those
// of the entries in force again, after the clear and before the panels.
TEST(PanelBoard, AReloadDuringADownloadSendsTheCatalogueAddressesAgain) {
    Bench b;
    b.sources.pageCalls = &b.rig.page.calls;
    b.board.Load({Bench::Update(31680), b.rig.Entry("Alpha", 1)});
    Calls firstLoad = b.rig.page.calls;
    ASSERT_GE(firstLoad.size(), 3u);
    EXPECT_EQ(Calls(firstLoad.begin(), firstLoad.begin() + 3),
              (Calls{"clearGamePanels()", "setGameUrl('http://127.0.0.1/game.html')",
                     "setAllGamesUrl('http://127.0.0.1/games.html')"}));

    b.board.Find("Alpha")->OnDownload();
    b.sources.busy = true;
    b.rig.Forget();
    ManifestEntry other = Bench::Update(31680);
    other.gameUrl = "http://127.0.0.1/other-game.html";
    other.allGamesUrl = "http://127.0.0.1/other-games.html";
    b.board.Load({other, b.rig.Entry("Alpha", 1)});  // dropped: the addresses are the earlier ones
    Calls calls = b.rig.page.calls;
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + 3),
              (Calls{"clearGamePanels()", "setGameUrl('http://127.0.0.1/game.html')",
                     "setAllGamesUrl('http://127.0.0.1/games.html')"}));
    EXPECT_EQ(b.rig.page.Of("addGamePanel").size(), 1u);
    EXPECT_EQ(b.rig.page.Of("setGameUrl").size(), 1u);
    EXPECT_EQ(b.Journaled("campaign"), 0);
    EXPECT_EQ(b.Journaled("CheckAutoUpdate"), 0);
}

// A refreshed list is taken on every tick; it replaces the panels only while
// nothing runs. A game being played counts as running: its panel stays Playing.
TEST(PanelBoard, ARefreshedListRebuildsOnlyWhileNothingRuns) {
    for (const BusyCase& c : BusyCases()) {
        SCOPED_TRACE(c.what);
        Bench b;
        b.board.Load({b.rig.Entry("Alpha", 1)});
        GamePanel* a = b.board.Find("Alpha");
        c.make(b, *a);
        b.rig.Forget();
        b.sources.listReady = true;
        b.sources.list = {b.rig.Entry("Alpha", 1), b.rig.Entry("Beta", 2)};
        b.board.Tick();
        EXPECT_FALSE(b.sources.listReady) << "taken";
        EXPECT_EQ(b.board.Find("Alpha"), a);
        EXPECT_EQ(b.board.Find("Beta"), nullptr);
        EXPECT_EQ(b.rig.page.Of("clearGamePanels").size(), 0u);
        EXPECT_EQ(a->GetState(), c.state);
    }

    Bench idle;
    idle.board.Load({idle.rig.Entry("Alpha", 1)});
    idle.sources.listReady = true;
    idle.sources.list = {idle.rig.Entry("Alpha", 1), idle.rig.Entry("Beta", 2)};
    idle.rig.Forget();
    idle.board.Tick();
    EXPECT_EQ(idle.Names(), (Calls{"Alpha", "Beta"}));
    EXPECT_EQ(idle.rig.page.calls.front(), "clearGamePanels()");
}

// The tick's own refreshes (a failed or cancelled download elsewhere) never
// move a panel whose work runs; a cancelled download's product value goes.
TEST_F(PanelBoardTest, FinishedDownloadsReachThePanelsButNotRunningWork) {
    ManifestEntry playing = rig.Entry("Playing", 1);
    rig.Install(playing);
    board.Load({playing, rig.Entry("Idle", 2)});
    board.Find("Playing")->OnPlay();
    ASSERT_EQ(board.Find("Playing")->GetState(), PanelState::Playing);
    rig.Uninstall(playing);  // a refresh now would see it not installed
    rig.transfers.status["http://127.0.0.1/dl/Idle.exe"] = DownloadStatus::Failed;
    sources.results.cancelled = {"http://127.0.0.1/other.exe"};
    sources.results.failed = {"http://127.0.0.1/dl/Idle.exe"};
    rig.store.deleted.clear();
    board.Tick();
    EXPECT_EQ(board.Find("Playing")->GetState(), PanelState::Playing);
    EXPECT_EQ(board.Find("Idle")->GetState(), PanelState::FailedDownload);
    EXPECT_EQ(rig.store.deleted, Calls{"http://127.0.0.1/other.exe"});

    rig.programs.EndAll();
    board.Tick();
    EXPECT_EQ(board.Find("Playing")->GetState(), PanelState::NotInstalled);
}

TEST_F(PanelBoardTest, QueuedDownloadsStartOnTheTickOncePerGame) {
    board.Load({rig.Entry("Alpha", 1), rig.Entry("Beta", 2)});
    board.QueueDownload("Beta");
    board.QueueDownload("Beta");
    board.QueueDownload("Nobody");
    board.QueueDownload("none");  // reads as the idle marker
    EXPECT_EQ(board.PendingDownloads(), (Calls{"Beta", "Nobody"}));
    EXPECT_EQ(Journaled("StartDownload"), 0) << "only the tick starts them";

    board.Tick();
    EXPECT_EQ(board.PendingDownloads(), Calls{});
    EXPECT_EQ(Journaled("StartDownload"), 1);
    EXPECT_EQ(Journaled("StartDownload http://127.0.0.1/dl/Beta.exe ask"), 1);
    EXPECT_EQ(board.Find("Beta")->GetState(), PanelState::Downloading);
    board.Tick();
    EXPECT_EQ(Journaled("StartDownload"), 1);
}

TEST_F(PanelBoardTest, AQueuedDownloadStartsBeforeTheDiscSearch) {
    // The disc's game was asked for from the page: its download starts, and the
    // disc found on the same tick no longer turns the panel into a disc install.
    ManifestEntry withDisc = rig.Entry("Disc", 1);
    withDisc.installExeKeys = {"setup.exe"};
    withDisc.volumeNames = {"DISC"};
    ManifestEntry other = rig.Entry("Other", 2);
    other.installExeKeys = withDisc.installExeKeys;
    other.volumeNames = withDisc.volumeNames;
    board.Load({withDisc, other});
    rig.disc.disc = "/media/cdrom/";
    rig.disc.install = "/media/cdrom/setup.exe";
    board.QueueDownload("Disc");

    board.Tick();
    EXPECT_EQ(board.Find("Disc")->GetState(), PanelState::Downloading);
    EXPECT_EQ(Journaled("StartDownload http://127.0.0.1/dl/Disc.exe"), 1);
    EXPECT_EQ(board.Find("Other")->GetState(), PanelState::DiscAvailable);
}

TEST_F(PanelBoardTest, TheAutoStartGameIsSelectedByNameOrId) {
    board.Load({rig.Entry("Alpha", 1), rig.Entry("Beta", 2)});
    rig.Forget();
    board.ActivateByName("Beta");
    board.ActivateById(1);
    board.ActivateByName("Nobody");
    board.ActivateById(99);
    EXPECT_EQ(rig.page.calls, (Calls{"clickPanel(2)", "clickGameButton(2)", "clickPanel(1)", "clickGameButton(1)"}));
    EXPECT_EQ(rig.journal, (Calls{"ShowWindow", "ShowWindow"}));
}

TEST_F(PanelBoardTest, PatchingAndCopiesAnswerForThePanels) {
    EXPECT_FALSE(board.IsAnyGamePatching());
    EXPECT_TRUE(board.Snapshots().empty());
    ManifestEntry entry = rig.Entry("Alpha", 1);
    rig.Install(entry);
    rig.patches.next[entry.patchcatalog] = "http://127.0.0.1/p.quorpatch";
    rig.Downloaded("http://127.0.0.1/p.quorpatch", "p.quorpatch");
    board.Load({entry});
    board.Find("Alpha")->OnPatch();
    EXPECT_TRUE(board.IsAnyGamePatching());
    ASSERT_EQ(board.Snapshots().size(), 1u);
    EXPECT_EQ(board.Snapshots()[0].state, PanelState::Patching);
}

}  // namespace
