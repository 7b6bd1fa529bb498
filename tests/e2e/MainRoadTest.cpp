// The main road end to end: the real program under its own Xvfb display against
// the demo publisher, through a scripted start page, each step a start of its
// own with a fresh home, XDG folders and hives.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "core/settings/Prefs.h"
#include "core/text/Messages.h"
#include "games/downloads/DownloadRecord.h"
#include "games/downloads/TransferManager.h"
#include "tests/e2e/RoadRig.h"
#include "tests/fixtures/WaitUntil.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kPage = "$('#main-content').brq('";

// The calls of those methods, in order.
Lines Only(const Lines& calls, const Lines& methods) {
    Lines kept;
    for (const std::string& call : calls)
        for (const std::string& method : methods)
            if (call.rfind(kPage + method + "'", 0) == 0)
                kept.push_back(call);
    return kept;
}

size_t Count(const Lines& lines, const std::string& part) {
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(),
                                             [&](const std::string& l) { return l.find(part) != std::string::npos; }));
}

// The page's answer to a state: a rule of the scripted page.
std::string On(int32_t gameId, int state, const std::string& body) {
    return "quor.on(['setGamePanelState', " + std::to_string(gameId) + ", " + std::to_string(state) +
           "], function () { " + body + " });\n";
}

std::string Call(const std::string& function, const std::string& game) {
    return "quor.call('" + function + "', '" + game + "');";
}

std::string AddGamePanelText(const RoadRig& rig, const DemoGame& game) {
    std::string q = rig.publisher.Base() + "/quor/";
    return kPage + "addGamePanel','" + game.name + "', '" + q + "banners/" + game.slug + ".png', '" + q + "games/" +
           game.slug + "/', 0, " + std::to_string(game.id) + ", " + (game.requireLogin ? "1" : "0") + ", 0,'" + q +
           "icons/" + game.slug + ".png');";
}

std::string StateText(int32_t gameId, int state) {
    return kPage + "setGamePanelState', " + std::to_string(gameId) + ", '" + std::to_string(state) + "');";
}

std::string DownloadUrl(const RoadRig& rig, const DemoGame& game) {
    return rig.publisher.Base() + "/quor/games/" + game.slug + "/" + game.setupName;
}

bool SameFiles(const std::string& a, const std::string& b) {
    auto first = FolderFiles(a);
    auto second = FolderFiles(b);
    return !first.empty() && first == second;
}

std::string Text(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

// 1. The first load: the serial, then the page's panels cleared and one panel
// per game, each in state 2, in the texts the page methods prescribe.
TEST(MainRoad, FirstLoadAddsEveryGameNotInstalled) {
    RoadRig rig;
    auto quor = rig.Start();
    for (const DemoGame& game : DemoGame::All())
        ASSERT_TRUE(rig.WaitForStates(game.id, {2})) << game.name << "\n" << Text(rig.Calls()) << quor->Output();

    Lines calls = Only(rig.Calls(), {"setUniqueId", "clearGamePanels", "setGameUrl", "setAllGamesUrl", "addGamePanel",
                                     "setGamePanelState"});
    ASSERT_GE(calls.size(), 1u);
    // The serial the manifest was asked with is the one the page gets.
    std::string serial = calls[0].substr(std::string(kPage + "setUniqueId', '").size());
    serial = serial.substr(0, serial.find('\''));
    EXPECT_FALSE(serial.empty());
    EXPECT_EQ(Count(rig.Requests(), "GET /quor/manifest.php?us=" + serial + "&"),
              Count(rig.Requests(), "GET /quor/manifest.php"));

    std::string q = rig.publisher.Base() + "/quor/";
    Lines expected = {kPage + "setUniqueId', '" + serial + "');", kPage + "clearGamePanels');",
                      kPage + "setGameUrl', '" + q + "game.html');",
                      kPage + "setAllGamesUrl', '" + q + "games.html');"};
    for (const DemoGame& game : DemoGame::All()) {
        expected.push_back(AddGamePanelText(rig, game));
        expected.push_back(StateText(game.id, 2));
    }
    EXPECT_EQ(calls, expected) << Text(rig.Calls());
    EXPECT_TRUE(quor->IsRunning());
}

// 2. download: the click's telemetry, states 3 then 5 with progress between,
// the installer and the folder's lock in the default folder, the stored record.
TEST(MainRoad, DownloadFetchesTheInstallerIntoTheDefaultFolder) {
    RoadRig rig({"--rate", "100"});  // a second or so: progress on several ticks
    const DemoGame& game = RoadRig::Game("Star Courier");
    rig.SetScript(On(game.id, 2, Call("download", game.name)));
    auto quor = rig.Start();
    ASSERT_TRUE(rig.WaitForStates(game.id, {2, 3, 5})) << Text(rig.Calls()) << quor->Output();
    EXPECT_TRUE(rig.WaitForRequest("GET /quor/t.php?")) << Text(rig.Requests());
    EXPECT_EQ(Count(rig.Requests(), "action=OnDownloadClick&label=Star%20Courier"), 1u) << Text(rig.Requests());

    Lines calls = rig.Calls();
    auto three = std::find(calls.begin(), calls.end(), StateText(game.id, 3));
    auto five = std::find(calls.begin(), calls.end(), StateText(game.id, 5));
    Lines between(three, five);
    EXPECT_EQ(Count(between, kPage + "startProgress', 101);"), 1u);
    EXPECT_EQ(Count(between, kPage + "addPauseToProgress', 101);"), 1u);
    EXPECT_EQ(Count(between, kPage + "addCancelToProgress', 101);"), 1u);
    EXPECT_GE(Count(between, kPage + "updateProgress', 101, '"), 2u) << Text(between);

    std::string folder = TransferManager::DefaultSaveDirectory();
    std::string installer = folder + game.setupName;
    ASSERT_TRUE(std::filesystem::exists(installer)) << installer;
    EXPECT_EQ(TestEnvironment::ReadFile(installer),
              rig.publisher.Get("/quor/games/starcourier/" + game.setupName).body);
    EXPECT_TRUE(std::filesystem::exists(folder + "download.lock"));

    DownloadRecord record(DownloadUrl(rig, game));
    EXPECT_EQ(record.LoadStatus(), DownloadStatus::Complete);
    EXPECT_EQ(Prefs::ReadNumber(DownloadRecord::kGroup, record.ValueName("_downloadState")), 206u);
    EXPECT_EQ(record.LoadInstaller(), installer);
    EXPECT_EQ(record.LoadSaveDirectory(), folder);
    EXPECT_GT(record.LoadStartTime(), 0);
}

// 3. install: 7 while the installer runs, 8 once it has installed the game
// (the catalogue names build 1 as latest: nothing to patch), the download reset.
TEST(MainRoad, InstallRunsTheInstallerAndResetsTheDownload) {
    RoadRig rig;
    const DemoGame& game = RoadRig::Game("Star Courier");
    rig.SetScript(On(game.id, 2, Call("download", game.name)) + On(game.id, 5, Call("install", game.name)));
    auto quor = rig.Start();
    ASSERT_TRUE(rig.WaitForStates(game.id, {2, 3, 5, 7, 8})) << Text(rig.Calls()) << quor->Output();
    EXPECT_TRUE(rig.WaitForRequest("action=OnInstallNewGame&label=Star%20Courier")) << Text(rig.Requests());
    EXPECT_EQ(rig.States(game.id).back(), 8);

    EXPECT_TRUE(SameFiles(rig.GameFolder(game), rig.BuildFolder(game, 1)));
    std::string folder = TransferManager::DefaultSaveDirectory();
    EXPECT_FALSE(std::filesystem::exists(folder + game.setupName));
    EXPECT_FALSE(std::filesystem::exists(folder + "download.lock"));
    // The installer ran once, as a program of its own.
    EXPECT_EQ(Count(FileLines(rig.publisher.RecordFolder() + "/" + game.slug + "-installs.log"), "install done"), 1u);
}

// 4. setAuthToken, then play: the manifest's parameters, a blank and the token
// (no blank without parameters); 9 while the game runs, 8 only once it has
// ended; the play counted. The token reaches the home page's preview as well.
TEST(MainRoad, PlayStartsTheGameWithItsParametersAndToken) {
    RoadRig rig;
    const DemoGame& lantern = RoadRig::Game("Lantern Keep");
    const DemoGame& moss = RoadRig::Game("Moss Garden");
    rig.InstallOutside(lantern);
    rig.InstallOutside(moss);
    rig.SetScript(On(lantern.id, 8,
                     "quor.call('setAuthToken', 'Lantern Keep', 'tok-103'); " + Call("play", lantern.name) + " " +
                         Call("preview", lantern.name)) +
                  On(moss.id, 8, "quor.call('setAuthToken', 'Moss Garden', 'tok-102'); " + Call("play", moss.name)));
    auto quor = rig.Start();
    for (const DemoGame* game : {&lantern, &moss}) {
        SCOPED_TRACE(game->name);
        // The check at construction first, then ready, playing, ready again.
        ASSERT_TRUE(rig.WaitForStates(game->id, {13, 2, 8, 9, 8})) << Text(rig.Calls()) << quor->Output();
        Lines runs = rig.Runs(*game);
        ASSERT_EQ(runs.size(), 2u) << Text(runs);
        EXPECT_EQ(runs[1].rfind("exit ", 0), 0u) << "8 came only after the game had ended";
        // A preview counts as a play too.
        EXPECT_EQ(Prefs::ReadNumber("TimesPlayed", std::to_string(game->id)), game == &lantern ? 2u : 1u);
    }
    std::string cwd = " cwd=[" + rig.GameFolder(lantern).substr(0, rig.GameFolder(lantern).size() - 1) + "]";
    Lines runs = rig.Runs(lantern);
    EXPECT_NE(runs[0].find(cwd + " [-windowed] [-lang] [en] [-auth_token=tok-103]"), std::string::npos) << runs[0];
    runs = rig.Runs(moss);
    EXPECT_EQ(runs[0].substr(runs[0].find(']') + 1), " [-auth_token=tok-102]") << runs[0];

    ASSERT_TRUE(WaitUntil([&] { return !rig.Opened().empty(); }, RoadRig::kWaitMs));
    EXPECT_EQ(rig.Opened(), Lines{rig.publisher.Base() + "/quor/games/lanternkeep/?auth_token=tok-103"});
    EXPECT_TRUE(rig.WaitForRequest("action=OnPlayClick&label=Lantern%20Keep"));
}

// 5. The catalogue starts offering 1 -> 2 -> 3 while the launcher runs: the
// refresh shows 10; one patch command runs the whole chain, the second patch
// starting by itself; the game's files are build 3's.
TEST(MainRoad, PatchRunsTheChainToTheLatestBuild) {
    RoadRig rig;
    const DemoGame& game = RoadRig::Game("Star Courier");
    rig.InstallOutside(game);
    // Ready: the page asks for refreshes until the catalogue names a patch, then patches once.
    rig.SetScript(On(game.id, 8,
                     "quor.until(['setGamePanelState', 101, 10], 1000, function () { "
                     "quor.call('refreshInterface'); });") +
                  On(game.id, 10, Call("patch", game.name)));
    auto quor = rig.Start();
    ASSERT_TRUE(rig.WaitForStates(game.id, {8})) << Text(rig.Calls()) << quor->Output();
    ASSERT_EQ(rig.publisher.Post("/control/catalogue-latest?value=3").status, 200);
    ASSERT_TRUE(rig.WaitForStates(game.id, {10, 4, 11, 10, 4, 11, 8})) << Text(rig.Calls()) << quor->Output();

    EXPECT_TRUE(SameFiles(rig.GameFolder(game), rig.BuildFolder(game, 3)));
    Lines requests = rig.Requests();
    EXPECT_EQ(Count(requests, "GET /quor/games/starcourier/patches/starcourier-1-2.quorpatch 20"), 1u)
        << Text(requests);
    EXPECT_EQ(Count(requests, "GET /quor/games/starcourier/patches/starcourier-2-3.quorpatch 20"), 1u)
        << Text(requests);
    EXPECT_TRUE(quor->IsRunning());
}

// 6. A restart with one file damaged and the program deleted: the check at
// construction (13 -> 2 -> 8) fetches exactly those two, and the game runs again.
TEST(MainRoad, TheCheckAtConstructionRepairsTheGame) {
    RoadRig rig;
    const DemoGame& game = RoadRig::Game("Star Courier");
    rig.InstallOutside(game);
    std::ofstream(rig.GameFolder(game) + "readme.txt", std::ios::trunc) << "damaged";
    std::filesystem::remove(rig.GameFolder(game) + game.exeName);
    rig.SetScript(On(game.id, 8, Call("play", game.name)));
    auto quor = rig.Start();
    ASSERT_TRUE(rig.WaitForStates(game.id, {13, 2, 8, 9})) << Text(rig.Calls()) << quor->Output();

    Lines fetched;
    for (const std::string& line : rig.Requests())
        if (line.find("/quor/games/starcourier/files/") != std::string::npos)
            fetched.push_back(line);
    std::sort(fetched.begin(), fetched.end());
    EXPECT_EQ(fetched, (Lines{"GET /quor/games/starcourier/files/readme.txt 200",
                              "GET /quor/games/starcourier/files/starcourier.exe 200"}));
    EXPECT_TRUE(SameFiles(rig.GameFolder(game), rig.BuildFolder(game, 1)));
    ASSERT_TRUE(WaitUntil([&] { return !rig.Runs(game).empty(); }, RoadRig::kWaitMs));
    EXPECT_EQ(rig.Runs(game)[0].rfind("start ", 0), 0u);
}

// 7. A newer launcher build: its panel first, its download, the installer
// started with "silent" in a session of its own (it outlives Quor), Quor ends.
TEST(MainRoad, ANewerLauncherIsDownloadedAndItsInstallerTakesOver) {
    RoadRig rig({"--update-version", "31700"});
    auto quor = rig.Start();
    pid_t quorPid = quor->Pid();
    EXPECT_EQ(quor->WaitForExit(RoadRig::kWaitMs), 0) << Text(rig.Calls()) << quor->Output();

    Lines panels = Only(rig.Calls(), {"clearGamePanels", "addGamePanel"});
    ASSERT_GE(panels.size(), 2u) << Text(rig.Calls());
    EXPECT_EQ(panels[0], kPage + "clearGamePanels');");
    EXPECT_EQ(panels[1].rfind(kPage + "addGamePanel','Auto-Update', '~autoupdate~', ", 0), 0u) << panels[1];
    EXPECT_EQ(Count(rig.Requests(), "GET /quor/update/QuorSetup-31700.exe 200"), 1u) << Text(rig.Requests());
    // No pause or cancel for the update's download.
    EXPECT_EQ(Count(rig.Calls(), "addPauseToProgress', 0)"), 0u);
    EXPECT_EQ(FileLines(rig.activityLog).back(), "exit-update");

    // The installer finishes after Quor has gone (the harness has killed what
    // was left in Quor's process group by now).
    std::string log = rig.publisher.RecordFolder() + "/update-installer.log";
    ASSERT_TRUE(WaitUntil([&] { return Count(FileLines(log), "update done") == 1; }, RoadRig::kWaitMs))
        << TestEnvironment::ReadFile(log);
    std::string start = FileLines(log)[0];
    std::string pid = start.substr(13, start.find(' ', 13) - 13);
    EXPECT_NE(start.find(" ppid=" + std::to_string(quorPid) + " sid=" + pid + " [silent]"), std::string::npos) << start;
}

// 8. A download the server answers with 404: message 14 in the page, state 14,
// the stored state 208.
TEST(MainRoad, AFailedDownloadShowsMessageFourteen) {
    RoadRig rig({"--fail-download", "Star Courier"});
    const DemoGame& game = RoadRig::Game("Star Courier");
    rig.SetScript(On(game.id, 2, Call("download", game.name)));
    auto quor = rig.Start();
    ASSERT_TRUE(rig.WaitForStates(game.id, {14})) << Text(rig.Calls()) << quor->Output();
    std::string text = GetLocalizedString(Msg::DownloadFailed);
    std::string escaped;
    for (char c : text)
        escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    EXPECT_GE(rig.WaitForCall(kPage + "showMessage', '" + escaped + "', 1);"), 0) << Text(rig.Calls());
    EXPECT_EQ(
        Prefs::ReadNumber(DownloadRecord::kGroup, DownloadRecord(DownloadUrl(rig, game)).ValueName("_downloadState")),
        208u);
    EXPECT_TRUE(quor->IsRunning());
}

// 9. A second start for a game, as the browser plug-ins start the launcher:
// the first instance selects that game in its page; the second ends.
TEST(MainRoad, ASecondStartForAGameSelectsItInTheFirst) {
    RoadRig rig;
    const DemoGame& game = RoadRig::Game("Lantern Keep");
    auto first = rig.Start();
    ASSERT_TRUE(rig.WaitForStates(game.id, {2})) << Text(rig.Calls()) << first->Output();
    size_t before = rig.Calls().size();
    auto second = rig.Start({"/game:\"\"\"Lantern Keep\"\"\""});
    EXPECT_EQ(second->WaitForExit(RoadRig::kWaitMs), 0) << second->Output();
    int click = rig.WaitForCall(kPage + "clickPanel', 103);", before);
    ASSERT_GE(click, 0) << Text(rig.Calls());
    EXPECT_GE(rig.WaitForCall(kPage + "clickGameButton', 103);", static_cast<size_t>(click) + 1), 0);
    EXPECT_TRUE(first->IsRunning());
    EXPECT_EQ(Prefs::GetString("AutoStartGame"), "");
}

}  // namespace
