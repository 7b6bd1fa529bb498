#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "core/net/HttpRequest.h"
#include "core/text/StringUtils.h"
#include "games/downloads/StaleFetchFiles.h"
#include "games/install/InstallManifest.h"
#include "games/install/InstallRepair.h"
#include "games/patching/FileChecksum.h"
#include "tests/games/downloads/DownloadTestSupport.h"

namespace fs = std::filesystem;

namespace {

uint32_t Crc(const std::string& bytes) {
    return Crc32Update(0, bytes.data(), bytes.size());
}

std::string Line(const std::string& path, const std::string& bytes) {
    return path + "," + std::to_string(Crc(bytes)) + "\r\n";
}

void RunToEnd(InstallRepair& repair) {
    ASSERT_TRUE(repair.Start());
    ASSERT_TRUE(WaitUntil([&] { return repair.GetProgress() == 1.0f; }, kDownloadWaitMs));
    repair.Stop();
}

TEST(InstallManifestTest, LinesAndChecksums) {
    auto lines = ParseInstallManifest("\\bin\\game.exe,255\r\n\\data\\my file.pak,255.9,extra\nnochecksum\r\n,7\n");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].path, "\\bin\\game.exe");
    EXPECT_EQ(lines[0].checksum, 255u);
    EXPECT_TRUE(lines[0].hasChecksum);
    EXPECT_EQ(lines[1].path, "\\data\\my file.pak");
    EXPECT_EQ(lines[1].checksum, 255u);
    EXPECT_EQ(lines[2].path, "nochecksum");
    EXPECT_EQ(lines[2].checksum, 0u);
    EXPECT_FALSE(lines[2].hasChecksum);
    EXPECT_EQ(lines[3].path, "");
    EXPECT_EQ(ParseInstallManifest("").size(), 0u);
    EXPECT_EQ(ParseInstallManifest("a,1\n\nb,2").size(), 3u) << "an empty line in between counts";

    struct Case {
        const char* text;
        uint32_t value;
        bool readable;
    } cases[] = {{"255", 255, true},      {"  42", 42, true},   {"255.9", 255, true}, {"3735928559", 0xDEADBEEF, true},
                 {"4294967297", 1, true}, {"12\r34", 12, true}, {"", 0, false},       {"abc", 0, false},
                 {"\r7", 0, false}};
    for (const Case& c : cases) {
        bool readable = false;
        EXPECT_EQ(ParseManifestChecksum(c.text, &readable), c.value) << c.text;
        EXPECT_EQ(readable, c.readable) << c.text;
    }
}

TEST(InstallRepairTest, FileAddresses) {
    struct Case {
        const char* base;
        const char* path;
        const char* url;
    } cases[] = {
        {"http://h/files", "\\data\\my file.pak", "http://h/files/data/my%20file.pak"},
        {"http://h/files/", "\\data\\x.pak", "http://h/files/data/x.pak"},
        {"http://h/files//", "\\data\\x.pak", "http://h/files//data/x.pak"},
        {"http://h/files", "bin/a b c.exe", "http://h/files/bin/a%20b%20c.exe"},
        {"", "\\x.pak", "/x.pak"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(InstallRepair("/g", "", c.base).FileUrl(c.path), c.url) << c.base << " " << c.path;
}

struct InstalledGame {
    TestEnvironment env;
    TestHttpServer server;
    std::string folder = env.Path("game");
    std::string exe = TestBytes(3000, 1), pak = TestBytes(5000, 2), cfg = "volume=3\n", dll = TestBytes(700, 4);

    InstalledGame() {
        env.WriteFile("game/bin/game.exe", exe);
        env.WriteFile("game/data/my file.pak", pak);
        env.WriteFile("game/game.cfg", cfg);
        env.WriteFile("game/bin/sound.dll", dll);
        server.Serve("/files/bin/game.exe", exe);
        server.Serve("/files/data/my file.pak", pak);
        server.Serve("/files/game.cfg", cfg);
        server.Serve("/files/bin/sound.dll", dll);
        server.Serve("/install.txt", Line("\\bin\\game.exe", exe) + Line("\\data\\my file.pak", pak) +
                                         Line("\\game.cfg", cfg) + Line("\\bin\\sound.dll", dll));
    }
    InstallRepair Repair() { return InstallRepair(folder, server.Url("/install.txt"), server.Url("/files/")); }
    std::vector<std::string> FetchedFiles() const {
        std::vector<std::string> paths;
        for (const auto& r : server.Requests())
            if (r.path != "/install.txt")
                paths.push_back(r.target);
        return paths;
    }
};

TEST(InstallRepairTest, OneBadFileOfFourIsFetchedAgainAndNothingElse) {
    InstalledGame g;
    g.env.WriteFile("game/data/my file.pak", "damaged");
    chmod((g.folder + "/data/my file.pak").c_str(), 0751);
    g.server.Serve("/files/data/my file.pak", g.pak, FaultMode{.stallAfterHeaders = true});
    InstallRepair repair = g.Repair();
    ASSERT_TRUE(repair.Start());
    // While the second file is being fetched: a quarter done, that file current.
    ASSERT_TRUE(g.server.WaitForRequests(2));
    EXPECT_EQ(repair.GetProgress(), 0.25f);
    EXPECT_EQ(repair.GetCurrentFile(), "/data/my file.pak");
    // The stalled reply ends without a body: the file stays as it was.
    g.server.ReleaseStalls();
    ASSERT_TRUE(WaitUntil([&] { return repair.GetProgress() == 1.0f; }, kDownloadWaitMs));
    repair.Stop();
    EXPECT_EQ(TestEnvironment::ReadFile(g.folder + "/data/my file.pak"), "damaged");

    g.server.Serve("/files/data/my file.pak", g.pak);

    InstallRepair again = g.Repair();
    RunToEnd(again);
    EXPECT_TRUE(TestEnvironment::ReadFile(g.folder + "/data/my file.pak") == g.pak);
    EXPECT_EQ(g.FetchedFiles(), (std::vector<std::string>{"/files/data/my%20file.pak", "/files/data/my%20file.pak"}));
    struct stat st {};
    ASSERT_EQ(stat((g.folder + "/data/my file.pak").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0751u) << "the mode of the replaced file stays";
    EXPECT_EQ(again.GetCurrentFile(), "/bin/sound.dll");
    // Nothing of the repair is left beside the files.
    EXPECT_EQ(std::distance(fs::directory_iterator(g.folder + "/data"), fs::directory_iterator()), 1);
}

TEST(InstallRepairTest, MissingFileIsFetchedWithItsFolders) {
    InstalledGame g;
    fs::remove_all(g.folder + "/bin");
    InstallRepair repair = g.Repair();
    RunToEnd(repair);
    EXPECT_TRUE(TestEnvironment::ReadFile(g.folder + "/bin/game.exe") == g.exe);
    EXPECT_TRUE(TestEnvironment::ReadFile(g.folder + "/bin/sound.dll") == g.dll);
    EXPECT_EQ(g.FetchedFiles(), (std::vector<std::string>{"/files/bin/game.exe", "/files/bin/sound.dll"}));
}

TEST(InstallRepairTest, AFetchThatFailsOrHasTheWrongChecksumLeavesTheFile) {
    struct Case {
        const char* what;
        std::string served;
        FaultMode mode;
    } cases[] = {
        {"404", "<html>gone</html>", FaultMode{.status = 404}},
        {"cut off", TestBytes(5000, 2), FaultMode{.dropAfterBytes = 100}},
        {"another version", TestBytes(5000, 9), FaultMode{}},
    };
    for (const Case& c : cases) {
        InstalledGame g;
        g.env.WriteFile("game/data/my file.pak", "damaged");
        g.server.Serve("/files/data/my file.pak", c.served, c.mode);
        InstallRepair repair = g.Repair();
        RunToEnd(repair);
        EXPECT_EQ(TestEnvironment::ReadFile(g.folder + "/data/my file.pak"), "damaged") << c.what;
        EXPECT_EQ(std::distance(fs::directory_iterator(g.folder + "/data"), fs::directory_iterator()), 1) << c.what;
    }
}

TEST(InstallRepairTest, LinesLeavingTheInstallFolderAreSkipped) {
    InstalledGame g;
    g.server.Serve("/install.txt", "\\..\\outside.txt,1\n\\\\server\\share\\x,1\nC:\\x.txt,1\n\\,1\n,1\n" +
                                       Line("\\game.cfg", "other"));
    g.server.Serve("/files/game.cfg", "other");
    InstallRepair repair = g.Repair();
    RunToEnd(repair);
    EXPECT_FALSE(fs::exists(g.env.Path("outside.txt")));
    EXPECT_EQ(g.FetchedFiles(), std::vector<std::string>{"/files/game.cfg"});
    EXPECT_EQ(TestEnvironment::ReadFile(g.folder + "/game.cfg"), "other");
}

TEST(InstallRepairTest, LinksLeadingOutOfTheInstallFolderAreNotFollowed) {
    InstalledGame g;
    const std::string outside = g.env.Path("outside");
    g.env.WriteFile("outside/x.txt", "not the game's");
    fs::create_directory_symlink(outside, g.folder + "/saves");
    fs::create_directory_symlink(g.folder + "/data", g.folder + "/shared");
    g.server.Serve("/install.txt", Line("saves/x.txt", "planted") + Line("saves\\new\\y.txt", "planted") +
                                       Line("\\shared\\z.txt", "inside"));
    g.server.Serve("/files/saves/x.txt", "planted");
    g.server.Serve("/files/saves/new/y.txt", "planted");
    g.server.Serve("/files/shared/z.txt", "inside");
    InstallRepair repair = g.Repair();
    RunToEnd(repair);
    EXPECT_EQ(TestEnvironment::ReadFile(outside + "/x.txt"), "not the game's");
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
    // A link that stays inside is repaired through, as the patcher allows.
    EXPECT_EQ(TestEnvironment::ReadFile(g.folder + "/data/z.txt"), "inside");
    EXPECT_EQ(g.FetchedFiles(), std::vector<std::string>{"/files/shared/z.txt"});
}

TEST(InstallRepairTest, AFileOverTheProgramCapIsStillRepaired) {
    InstalledGame g;
    g.env.WriteFile("game/data/my file.pak", "damaged");
    HttpLimits::Current().programCap = 1000;  // the pak is 5000 bytes
    InstallRepair repair = g.Repair();
    RunToEnd(repair);
    HttpLimits::Current() = HttpLimits{};
    EXPECT_TRUE(TestEnvironment::ReadFile(g.folder + "/data/my file.pak") == g.pak);
}

TEST(StaleFetchFilesTest, NamesOfFetchLeftovers) {
    struct Case {
        const char* name;
        bool matches;
        long pid;
    } cases[] = {
        {"game.exe.repair-1234-0", true, 1234},
        {"my file.pak.part-7-12", true, 7},
        {"a.b.part-1-2", true, 1},
        {"game.exe.repair-12a-0", false, 0},
        {"game.exe.repair-5-0.part-6-1", true, 6},
        {"game.exe.repair-1234-", false, 0},
        {"game.exe.repair--0", false, 0},
        {".repair-1-2", false, 0},
        {"game.exe.other-1-2", false, 0},
        {"game.exe", false, 0},
        {"game.exe.part-99999999999999999999-1", false, 0},
    };
    for (const Case& c : cases) {
        long pid = 0;
        EXPECT_EQ(StaleFetchFiles::Matches(c.name, pid), c.matches) << c.name;
        if (c.matches) {
            EXPECT_EQ(pid, c.pid) << c.name;
        }
    }
}

// What a fetch killed before its rename left is removed by the next check, but
// not while its process runs, and never through a link that leads outside.
TEST(InstallRepairTest, LeftoversOfAFetchWhoseProcessEndedAreRemoved) {
    InstalledGame g;
    pid_t child = fork();
    if (child == 0)
        _exit(0);
    ASSERT_GT(child, 0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const std::string dead = std::to_string(child), alive = std::to_string(getppid());
    const std::string outside = g.env.Path("outside");
    g.env.WriteFile("outside/game.cfg.repair-" + dead + "-0", "not ours");
    fs::create_directory_symlink(outside, g.folder + "/saves");
    g.server.Serve("/install.txt", Line("\\data\\my file.pak", g.pak) + Line("\\saves\\game.cfg", "x"));
    const std::vector<std::string> stale = {"my file.pak.repair-" + dead + "-0", "my file.pak.part-" + dead + "-3",
                                            "other.bin.part-" + dead + "-1"};
    const std::vector<std::string> kept = {"my file.pak.repair-" + alive + "-0",
                                           "my file.pak.part-" + std::to_string(getpid()) + "-2", "notes.repair-x-1"};
    for (const std::string& name : stale)
        g.env.WriteFile("game/data/" + name, "half");
    for (const std::string& name : kept)
        g.env.WriteFile("game/data/" + name, "half");
    InstallRepair repair = g.Repair();
    RunToEnd(repair);
    for (const std::string& name : stale)
        EXPECT_FALSE(fs::exists(g.folder + "/data/" + name)) << name;
    for (const std::string& name : kept)
        EXPECT_TRUE(fs::exists(g.folder + "/data/" + name)) << name;
    EXPECT_TRUE(fs::exists(outside + "/game.cfg.repair-" + dead + "-0"));
    EXPECT_TRUE(TestEnvironment::ReadFile(g.folder + "/data/my file.pak") == g.pak);
}

// The owner's Stop (a game panel going away on the GUI thread) ends a fetch
// under way instead of waiting for a server that never answers.
TEST(InstallRepairTest, StopEndsAStalledFetchAtOnce) {
    for (bool manifestStalls : {true, false}) {
        InstalledGame g;
        g.env.WriteFile("game/game.cfg", "damaged");
        FaultMode stall{.stallAfterHeaders = true};
        if (manifestStalls)
            g.server.Serve("/install.txt", Line("\\game.cfg", g.cfg), stall);
        else
            g.server.Serve("/files/game.cfg", g.cfg, stall);
        InstallRepair repair = g.Repair();
        ASSERT_TRUE(repair.Start());
        ASSERT_TRUE(g.server.WaitForRequests(manifestStalls ? 1 : 2));
        auto asked = std::chrono::steady_clock::now();
        repair.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5)) << manifestStalls;
        EXPECT_EQ(TestEnvironment::ReadFile(g.folder + "/game.cfg"), "damaged");
        g.server.ReleaseStalls();
    }
}

TEST(InstallRepairTest, NoInstallFolderEndsAtOnce) {
    for (std::string folder : {std::string(), std::string("/nonexistent/quor/game")}) {
        TestEnvironment env;
        TestHttpServer server;
        server.Serve("/install.txt", "\\a.txt,1\n");
        InstallRepair repair(folder, server.Url("/install.txt"), server.Url("/files"));
        RunToEnd(repair);
        EXPECT_EQ(server.RequestCount(), 0u) << folder;
        EXPECT_FALSE(fs::exists("a.txt"));
    }
}

TEST(InstallRepairTest, ManifestThatCannotBeFetchedChecksNothing) {
    InstalledGame g;
    g.server.Serve("/install.txt", "\\game.cfg,1\n", FaultMode{.status = 500});
    InstallRepair repair = g.Repair();
    RunToEnd(repair);
    EXPECT_TRUE(g.FetchedFiles().empty());
    EXPECT_EQ(repair.GetCurrentFile(), "");
}

// Files read ahead by several readers change nothing of what the check shows:
// the current file, the progress and the fetches go in the manifest's order.
TEST(InstallRepairTest, ParallelReadersKeepTheManifestsOrder) {
    constexpr size_t kFiles = 40;
    const size_t damaged[] = {4, 19, 32};
    for (unsigned readers : {1u, 8u}) {
        TestEnvironment env;
        TestHttpServer server;
        std::string manifest;
        std::vector<std::string> names;
        for (size_t i = 0; i < kFiles; ++i) {
            names.push_back("data/f" + std::to_string(i) + ".pak");
            std::string bytes = TestBytes(20000 + 977 * i, static_cast<uint32_t>(i + 1));
            env.WriteFile("game/" + names.back(), bytes);
            server.Serve("/files/" + names.back(), bytes, i == 19 ? FaultMode{.stallAfterHeaders = true} : FaultMode{});
            manifest += Line("\\data\\f" + std::to_string(i) + ".pak", bytes);
        }
        for (size_t i : damaged)
            env.WriteFile("game/" + names[i], "damaged");
        server.Serve("/install.txt", manifest);
        InstallRepair repair(env.Path("game"), server.Url("/install.txt"), server.Url("/files/"));
        repair.SetReaders(readers);
        ASSERT_TRUE(repair.Start());

        // What the panel sees while polling never goes back.
        std::vector<std::pair<float, std::string>> seen;
        ASSERT_TRUE(WaitUntil(
            [&] {
                seen.emplace_back(repair.GetProgress(), repair.GetCurrentFile());
                return server.RequestCount() >= 3;
            },
            kDownloadWaitMs));
        // The fetch of the 20th file hangs: 19 of 40 are done, that file is current.
        EXPECT_EQ(repair.GetProgress(), 19.0f / 40.0f) << readers;
        EXPECT_EQ(repair.GetCurrentFile(), "/data/f19.pak") << readers;
        server.ReleaseStalls();
        ASSERT_TRUE(WaitUntil(
            [&] {
                seen.emplace_back(repair.GetProgress(), repair.GetCurrentFile());
                return repair.GetProgress() == 1.0f;
            },
            kDownloadWaitMs));
        repair.Stop();
        for (size_t k = 1; k < seen.size(); ++k) {
            EXPECT_LE(seen[k - 1].first, seen[k].first) << readers;
            auto index = [](const std::string& f) { return f.empty() ? -1 : std::stoi(f.substr(7)); };
            EXPECT_LE(index(seen[k - 1].second), index(seen[k].second)) << readers;
        }
        std::vector<std::string> fetched;
        for (const auto& r : server.Requests())
            if (r.path != "/install.txt")
                fetched.push_back(r.target);
        EXPECT_EQ(fetched,
                  (std::vector<std::string>{"/files/data/f4.pak", "/files/data/f19.pak", "/files/data/f32.pak"}))
            << readers;
        EXPECT_EQ(TestEnvironment::ReadFile(env.Path("game/data/f19.pak")), "damaged") << readers;
        EXPECT_EQ(TestEnvironment::ReadFile(env.Path("game/data/f32.pak")).size(), 20000u + 977 * 32) << readers;
        EXPECT_EQ(repair.GetCurrentFile(), "/data/f39.pak") << readers;
    }
}

// A file the manifest names twice is fetched once: its second check reads
// what the first one put in place, not what the readers saw before.
TEST(InstallRepairTest, AFileNamedTwiceIsFetchedOnce) {
    InstalledGame g;
    g.env.WriteFile("game/game.cfg", "damaged");
    g.server.Serve("/install.txt",
                   Line("\\game.cfg", g.cfg) + Line("\\bin\\game.exe", g.exe) + Line("\\game.cfg", g.cfg));
    InstallRepair repair = g.Repair();
    repair.SetReaders(8);
    RunToEnd(repair);
    EXPECT_EQ(g.FetchedFiles(), std::vector<std::string>{"/files/game.cfg"});
    EXPECT_EQ(TestEnvironment::ReadFile(g.folder + "/game.cfg"), g.cfg);
}

// Every file and link under the folder, relative to it, links marked "->".
std::vector<std::string> Tree(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        const std::string name = e.path().string().substr(folder.size() + 1);
        if (e.is_symlink())
            names.push_back(name + " ->");
        else if (e.is_regular_file())
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The install manifest is written on Windows, where names are compared without
// regard to case: a line finds its file in whatever case it is installed, and
// only a name that exists in no case is created, as the line spells it.
TEST(InstallRepairTest, NamesAreFoundWithoutRegardToCase) {
    struct Case {
        const char* line;
        bool damaged;  // the installed data/game.pak
        std::vector<std::string> tree;
        bool fetched;
    } cases[] = {
        {"\\data\\game.pak", false, {"data/game.pak"}, false},
        {"\\Data\\Game.pak", false, {"data/game.pak"}, false},
        {"\\DATA\\GAME.PAK", false, {"data/game.pak"}, false},
        {"/data/GAME.pak", false, {"data/game.pak"}, false},
        {"\\Data\\Game.pak", true, {"data/game.pak"}, true},
        {"\\DATA\\New.pak", false, {"data/New.pak", "data/game.pak"}, true},
        {"\\Maps\\M1.pak", false, {"Maps/M1.pak", "data/game.pak"}, true},
    };
    for (const Case& c : cases) {
        InstalledGame g;
        fs::remove_all(g.folder);
        g.env.WriteFile("game/data/game.pak", c.damaged ? "damaged" : g.pak);
        const std::string url = "/files" + ReplaceAll(std::string(c.line), "\\", "/");
        g.server.Serve(url, g.pak);
        g.server.Serve("/install.txt", Line(c.line, g.pak));
        InstallRepair repair = g.Repair();
        RunToEnd(repair);
        EXPECT_EQ(Tree(g.folder), c.tree) << c.line;
        for (const std::string& name : c.tree)
            EXPECT_TRUE(TestEnvironment::ReadFile(g.folder + "/" + name) == g.pak) << c.line << " " << name;
        EXPECT_EQ(g.FetchedFiles(), c.fetched ? std::vector<std::string>{url} : std::vector<std::string>{}) << c.line;
    }
}

// Two lines naming one missing file in two spellings: the second finds what the
// first created instead of fetching a second copy.
TEST(InstallRepairTest, AMissingFileNamedInTwoSpellingsIsFetchedOnce) {
    for (unsigned readers : {1u, 8u}) {
        InstalledGame g;
        g.server.Serve("/files/Data/New.pak", g.pak, FaultMode{.trickleBytesPerSecond = 20000});
        g.server.Serve("/install.txt", Line("\\Data\\New.pak", g.pak) + Line("\\data\\NEW.PAK", g.pak));
        InstallRepair repair = g.Repair();
        repair.SetReaders(readers);
        RunToEnd(repair);
        EXPECT_EQ(g.FetchedFiles(), std::vector<std::string>{"/files/Data/New.pak"}) << readers;
        EXPECT_TRUE(TestEnvironment::ReadFile(g.folder + "/data/New.pak") == g.pak) << readers;
        EXPECT_FALSE(fs::exists(g.folder + "/data/NEW.PAK")) << readers;
    }
}

// A file the manifest lists is the game's, whatever its name looks like: the
// clean-up of fetch leftovers never takes it.
TEST(InstallRepairTest, AListedFileThatLooksLikeALeftoverIsKept) {
    pid_t child = fork();
    if (child == 0)
        _exit(0);
    ASSERT_GT(child, 0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const std::string dead = std::to_string(child);
    for (unsigned readers : {1u, 8u}) {
        InstalledGame g;
        const std::string listed = "notes.txt.part-" + dead + "-1", other = "level.pak.repair-" + dead + "-0",
                          leftover = "my file.pak.part-" + dead + "-2";
        g.env.WriteFile("game/data/" + listed, "listed");
        g.env.WriteFile("game/data/" + other, "listed too");
        g.env.WriteFile("game/data/" + leftover, "half");
        g.server.Serve("/install.txt", Line("\\data\\my file.pak", g.pak) + Line("\\data\\" + listed, "listed") +
                                           Line("\\DATA\\Level.PAK.repair-" + dead + "-0", "listed too"));
        InstallRepair repair = g.Repair();
        repair.SetReaders(readers);
        RunToEnd(repair);
        EXPECT_EQ(TestEnvironment::ReadFile(g.folder + "/data/" + listed), "listed") << readers;
        EXPECT_EQ(TestEnvironment::ReadFile(g.folder + "/data/" + other), "listed too") << readers;
        EXPECT_FALSE(fs::exists(g.folder + "/data/" + leftover)) << readers;
        EXPECT_TRUE(g.FetchedFiles().empty()) << readers;
    }
}

// A line whose file is a link to the file of an earlier line is judged on that
// file as the earlier repair left it, not as the readers saw it before.
TEST(InstallRepairTest, ALinkToAFileRepairedEarlierIsNotFetchedAgain) {
    for (unsigned readers : {1u, 8u}) {
        InstalledGame g;
        g.env.WriteFile("game/data/my file.pak", "damaged");
        fs::create_symlink("my file.pak", g.folder + "/data/alias.pak");
        fs::create_directory_symlink("data", g.folder + "/shared");
        // A slow fetch: the readers have long read the links when it ends.
        g.server.Serve("/files/data/my file.pak", g.pak, FaultMode{.trickleBytesPerSecond = 20000});
        g.server.Serve("/files/data/alias.pak", g.pak);
        g.server.Serve("/files/shared/my file.pak", g.pak);
        g.server.Serve("/install.txt", Line("\\data\\my file.pak", g.pak) + Line("\\data\\alias.pak", g.pak) +
                                           Line("\\shared\\my file.pak", g.pak) + Line("\\game.cfg", g.cfg));
        InstallRepair repair = g.Repair();
        repair.SetReaders(readers);
        RunToEnd(repair);
        EXPECT_EQ(g.FetchedFiles(), std::vector<std::string>{"/files/data/my%20file.pak"}) << readers;
        EXPECT_TRUE(fs::is_symlink(g.folder + "/data/alias.pak")) << readers;
        EXPECT_TRUE(fs::is_symlink(g.folder + "/shared")) << readers;
        EXPECT_TRUE(TestEnvironment::ReadFile(g.folder + "/data/alias.pak") == g.pak) << readers;
    }
}

// A program is recognised by its content (an ELF binary or a "#!" script) and
// must be executable to run. A power cut after a repair's rename but before its
// mode reached the disk leaves the right bytes with the mode 0644; the next check
// finds the checksum right and gives the program its execute bits back.
TEST(InstallRepairTest, AProgramIsExecutableAfterACheck) {
    const mode_t saved = umask(022);
    const std::string elf = std::string("\177ELF\x02\x01\x01", 7) + TestBytes(3000, 7);
    const std::string script = "#!/bin/sh\nexec ./game \"$@\"\n";
    struct Case {
        const char* what;
        const char* name;
        std::string bytes;
        int installed;  // -1: missing, else its mode
        bool damaged;
        mode_t mode;
    } cases[] = {
        {"program left 0644 by a power cut", "bin/game", elf, 0644, false, 0755},
        {"script left 0600", "bin/start.sh", script, 0600, false, 0700},
        {"missing program", "bin/game", elf, -1, false, 0755},
        {"damaged program", "bin/game", elf, 0640, true, 0750},
        {"executable program", "bin/game", elf, 0751, false, 0751},
        {"data is left as it is", "data/level.pak", TestBytes(3000, 8), 0644, false, 0644},
        {"data repaired keeps its mode", "data/level.pak", TestBytes(3000, 8), 0600, true, 0600},
    };
    for (const Case& c : cases) {
        InstalledGame g;
        const std::string path = g.folder + "/" + c.name;
        if (c.installed >= 0) {
            g.env.WriteFile("game/" + std::string(c.name), c.damaged ? "damaged" : c.bytes);
            ASSERT_EQ(chmod(path.c_str(), static_cast<mode_t>(c.installed)), 0);
        }
        g.server.Serve("/files/" + std::string(c.name), c.bytes);
        g.server.Serve("/install.txt", Line("\\" + ReplaceAll(c.name, "/", "\\"), c.bytes));
        InstallRepair repair = g.Repair();
        RunToEnd(repair);
        EXPECT_TRUE(TestEnvironment::ReadFile(path) == c.bytes) << c.what;
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0) << c.what;
        EXPECT_EQ(st.st_mode & 07777, c.mode) << c.what;
        EXPECT_EQ(g.FetchedFiles().size(), c.installed < 0 || c.damaged ? 1u : 0u) << c.what;
    }
    umask(saved);
}

// A stop while the check waits on a fetch, with the readers still reading
// ahead, ends the check at once and fetches nothing more.
TEST(InstallRepairTest, StopWithParallelReadersEndsAtOnce) {
    TestEnvironment env;
    TestHttpServer server;
    std::string manifest;
    for (int i = 0; i < 64; ++i) {
        std::string name = "f" + std::to_string(i);
        std::string bytes = TestBytes(256 * 1024, static_cast<uint32_t>(i + 1));
        env.WriteFile("game/" + name, i == 0 ? "damaged" : bytes);
        server.Serve("/files/" + name, bytes, FaultMode{.stallAfterHeaders = true});
        manifest += Line("\\" + name, i == 0 ? bytes : "other");
    }
    server.Serve("/install.txt", manifest);
    InstallRepair repair(env.Path("game"), server.Url("/install.txt"), server.Url("/files/"));
    repair.SetReaders(8);
    ASSERT_TRUE(repair.Start());
    ASSERT_TRUE(server.WaitForRequests(2));
    auto asked = std::chrono::steady_clock::now();
    repair.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5));
    EXPECT_EQ(server.RequestCount(), 2u);
    EXPECT_EQ(TestEnvironment::ReadFile(env.Path("game/f0")), "damaged");
    server.ReleaseStalls();
}

}  // namespace
