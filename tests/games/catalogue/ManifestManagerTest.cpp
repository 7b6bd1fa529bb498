#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>
#include <thread>

#include "core/ExitRequester.h"
#include "core/settings/ConfigManager.h"
#include "core/settings/Prefs.h"
#include "games/catalogue/ManifestManager.h"
#include "games/downloads/TransferActivity.h"
#include "tests/fixtures/FakeClock.h"
#include "tests/fixtures/RecordingExitRequester.h"
#include "tests/fixtures/RecordingPageCallSink.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/TestHttpServer.h"
#include "tests/fixtures/WaitUntil.h"

namespace {

constexpr const char* kManifestPath = "/quor/manifest.php";

std::string Manifest(const std::string& game, int refreshTime = 60, int version = 31680) {
    return "<manifest><autoupdate version=\"" + std::to_string(version) + "\" manifestrefreshtime=\"" +
           std::to_string(refreshTime) + "\" manifestversion=\"v-" + game + "\"/><download name=\"" + game +
           "\" homepage=\"h\" banner=\"b.png\"/></manifest>";
}

std::string GamesOnlyManifest(const std::string& game) {
    return "<manifest><download name=\"" + game + "\"/></manifest>";
}

class FakeActivity final : public TransferActivity {
public:
    std::atomic<bool> transfers{false}, dialog{false}, installer{false}, patching{false}, checking{false};
    bool HasTransfers() override { return transfers; }
    bool IsFolderDialogOpen() override { return dialog; }
    bool IsInstallerRunning() override { return installer; }
    bool IsPatching() override { return patching; }
    bool IsCheckingInstall() override { return checking; }
};

// A manager wired to a loopback service, a fake clock, a fake activity and a
// recording exit requester, with its own program folder.
class ManifestManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QUOR_SERVICE_URL", server.BaseUrl().c_str(), 1);
        config = std::make_unique<ConfigManager>();
        config->machineSerial = "1234567";
        std::filesystem::create_directories(ProgramFolder());
        manager = MakeManager();
    }

    std::unique_ptr<ManifestManager> MakeManager(long fetchTimeLimitSeconds = ManifestManager::kFetchTimeLimitSeconds) {
        ManifestManager::Services services;
        services.fetchTimeLimitSeconds = fetchTimeLimitSeconds;
        services.configuration = config.get();
        services.activity = &activity;
        services.clock = &clock;
        services.exitRequester = &exit;
        services.programFolder = ProgramFolder();
        return std::make_unique<ManifestManager>(services);
    }

    std::string ProgramFolder() const { return env.Path("program/"); }
    std::string SavedCopy() const { return env.Path("home/.local/share/Brindlemoor Quor!/manifest.php"); }
    void WriteSaved(const std::string& text) const {
        env.WriteFile("home/.local/share/Brindlemoor Quor!/manifest.php", text);
    }
    void WriteShipped(const std::string& text) const { env.WriteFile("program/manifest-shipped.xml", text); }
    std::vector<std::string> Names(const std::vector<ManifestEntry>& entries) const {
        std::vector<std::string> names;
        for (const auto& e : entries)
            names.push_back(e.name);
        return names;
    }
    size_t Fetches() const { return server.RequestsFor(kManifestPath).size(); }

    TestEnvironment env;
    TestHttpServer server;
    RecordingPageCallSink page;
    FakeClock clock;
    FakeActivity activity;
    RecordingExitRequester exit;
    std::unique_ptr<ConfigManager> config;
    std::unique_ptr<ManifestManager> manager;
};

// ---- FetchManifest: the request and the serial bookkeeping ----

TEST_F(ManifestManagerTest, FetchSendsSerialsAndKeepsTheirBookkeeping) {
    struct Case {
        const char* storedCurrent;
        const char* storedPrevious;
        const char* expectQuery;
        const char* expectCurrent;
        const char* expectPrevious;
    } cases[] = {
        {"", "", "us=1234567&prev=", "1234567", ""},                        // first run
        {"999", "", "us=1234567&prev=999", "1234567", "999"},               // serial changed
        {"1234567", "555", "us=1234567&prev=555", "1234567", "555"},        // unchanged
        {"9&us=x", "", "us=1234567&prev=9%26us%3dx", "1234567", "9&us=x"},  // a damaged value adds no keys
    };
    server.Serve(kManifestPath, Manifest("A"));
    for (const auto& c : cases) {
        server.ClearLog();
        Prefs::SetString("CurrentSerialNumber", c.storedCurrent);
        Prefs::SetString("PreviousSerialNumber", c.storedPrevious);
        EXPECT_EQ(manager->FetchManifest(*config), Manifest("A"));
        auto requests = server.RequestsFor(kManifestPath);
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].method, "GET");
        EXPECT_EQ(requests[0].query, c.expectQuery);
        EXPECT_EQ(Prefs::GetString("CurrentSerialNumber"), c.expectCurrent);
        EXPECT_EQ(Prefs::GetString("PreviousSerialNumber"), c.expectPrevious);
    }
    EXPECT_EQ(manager->SavedCopyPath(*config), SavedCopy());
    EXPECT_EQ(TestEnvironment::ReadFile(SavedCopy()), Manifest("A"));
}

TEST_F(ManifestManagerTest, FetchAddsTheManifestParameterWhenSet) {
    server.Serve(kManifestPath, Manifest("A"));
    config->manifestParam = "beta";
    manager->FetchManifest(*config);
    ASSERT_EQ(Fetches(), 1u);
    EXPECT_EQ(server.RequestsFor(kManifestPath)[0].query, "us=1234567&prev=&manifest_param=beta");
}

TEST_F(ManifestManagerTest, OnlyAManifestWithEntriesReplacesTheSavedCopy) {
    WriteSaved(Manifest("Good"));
    struct Case {
        std::string body;
        FaultMode mode;
    } cases[] = {
        {"<html><body>Please sign in to the hotel network</body></html>", {}},    // captive portal
        {"<manifest></manifest>", {}},                                            // no entries
        {"<manifest><download name='x'>", {}},                                    // cut short
        {"<manifest><download name='x'/></manifest>", FaultMode{.status = 500}},  // error body
        {"", {}},
    };
    for (const auto& c : cases) {
        server.Serve(kManifestPath, c.body, c.mode);
        manager->FetchManifest(*config);
        EXPECT_EQ(TestEnvironment::ReadFile(SavedCopy()), Manifest("Good")) << c.body;
    }
    server.Serve(kManifestPath, GamesOnlyManifest("New"));
    manager->FetchManifest(*config);
    EXPECT_EQ(TestEnvironment::ReadFile(SavedCopy()), GamesOnlyManifest("New"));
    // Replaced by rename: no temporary file is left beside it.
    size_t files = 0;
    for (const auto& item : std::filesystem::directory_iterator(std::filesystem::path(SavedCopy()).parent_path())) {
        (void)item;
        ++files;
    }
    EXPECT_EQ(files, 1u);
}

// ---- LoadManifest: the sources in both orders ----

TEST_F(ManifestManagerTest, FirstLoadPrefersTheSavedCopy) {
    server.Serve(kManifestPath, Manifest("Fetched"));
    WriteSaved(Manifest("Saved"));
    WriteShipped(Manifest("Shipped"));
    EXPECT_EQ(Names(manager->LoadManifest(*config, true)), (std::vector<std::string>{"Auto-Update", "Saved"}));
    EXPECT_EQ(Fetches(), 0u);
    EXPECT_FALSE(manager->IsFromSavedCopy());
    EXPECT_EQ(manager->GetManifestVersion(), "v-Saved");
}

TEST_F(ManifestManagerTest, FirstLoadFallsBackToShippedThenFetch) {
    server.Serve(kManifestPath, GamesOnlyManifest("Fetched"));
    WriteSaved("<html>not a manifest</html>");
    WriteShipped(GamesOnlyManifest("Shipped"));
    EXPECT_EQ(Names(manager->LoadManifest(*config, true)), (std::vector<std::string>{"Shipped"}));
    EXPECT_EQ(Fetches(), 0u);

    std::filesystem::remove(env.Path("program/manifest-shipped.xml"));
    EXPECT_EQ(Names(manager->LoadManifest(*config, true)), (std::vector<std::string>{"Fetched"}));
    EXPECT_EQ(Fetches(), 1u);
    // The good fetch replaced the damaged copy.
    EXPECT_EQ(TestEnvironment::ReadFile(SavedCopy()), GamesOnlyManifest("Fetched"));
}

TEST_F(ManifestManagerTest, FirstLoadWithNothingGivesTheLastGoodListWithoutEnding) {
    server.Serve(kManifestPath, "", FaultMode{.status = 404});
    EXPECT_TRUE(manager->LoadManifest(*config, true).empty());
    EXPECT_EQ(Fetches(), 1u);  // asked once, not a second time after the missing shipped file
    ManifestEntry earlier;
    earlier.name = "Earlier";
    config->SetLastGoodEntries({earlier});
    EXPECT_EQ(Names(manager->LoadManifest(*config, true)), (std::vector<std::string>{"Earlier"}));
    EXPECT_TRUE(exit.Ids().empty());
}

// The shipped file's name is matched without regard to case, as the file
// systems it was written for did; of several, the first in byte order.
TEST_F(ManifestManagerTest, ShippedManifestNameIgnoresCase) {
    server.Serve(kManifestPath, "", FaultMode{.status = 404});
    env.WriteFile("program/my-manifest.xml", GamesOnlyManifest("NotAMatch"));
    env.WriteFile("program/manifest.xml.bak", GamesOnlyManifest("NotAMatch"));
    env.WriteFile("program/manifest-b.XML", GamesOnlyManifest("Second"));
    EXPECT_EQ(Names(manager->LoadManifest(*config, true)), (std::vector<std::string>{"Second"}));
    env.WriteFile("program/Manifest-A.xml", GamesOnlyManifest("First"));
    EXPECT_EQ(Names(manager->LoadManifest(*config, true)), (std::vector<std::string>{"First"}));
    EXPECT_EQ(Fetches(), 0u);
}

TEST_F(ManifestManagerTest, RefreshFetchesFirstThenSavedThenShipped) {
    server.Serve(kManifestPath, GamesOnlyManifest("Fetched"));
    WriteSaved(GamesOnlyManifest("Saved"));
    WriteShipped(GamesOnlyManifest("Shipped"));
    EXPECT_EQ(Names(manager->LoadManifest(*config, false)), (std::vector<std::string>{"Fetched"}));
    EXPECT_FALSE(manager->IsFromSavedCopy());

    server.Serve(kManifestPath, "<html>captive portal</html>");
    WriteSaved(GamesOnlyManifest("Saved"));
    EXPECT_EQ(Names(manager->LoadManifest(*config, false)), (std::vector<std::string>{"Saved"}));
    EXPECT_TRUE(manager->IsFromSavedCopy());

    WriteSaved("garbage");
    EXPECT_EQ(Names(manager->LoadManifest(*config, false)), (std::vector<std::string>{"Shipped"}));
    EXPECT_TRUE(manager->IsFromSavedCopy());
    EXPECT_TRUE(exit.Ids().empty());
    EXPECT_EQ(Names(config->GetLastGoodEntries()), (std::vector<std::string>{"Shipped"}));

    // Only damaged sources left: the last good list stands, the program goes on.
    WriteShipped("also garbage");
    EXPECT_EQ(Names(manager->LoadManifest(*config, false)), (std::vector<std::string>{"Shipped"}));
    EXPECT_TRUE(exit.Ids().empty());
}

TEST_F(ManifestManagerTest, RefreshWithNothingAtAllEndsWithMessageSeven) {
    server.Serve(kManifestPath, "", FaultMode{.status = 503});
    env.WriteFile("program/manifest-empty.xml", "");
    EXPECT_TRUE(manager->LoadManifest(*config, false).empty());
    EXPECT_EQ(exit.Ids(), std::vector<int>{7});
}

// ---- CheckAutoUpdate ----

TEST_F(ManifestManagerTest, CheckAutoUpdateAgainstTheOwnBuild) {
    struct Case {
        int32_t offered;
        bool expected;
    } cases[] = {
        {31679, false},
        {31680, false},
        {-5, false},
        {31681, true},
    };
    for (const auto& c : cases) {
        auto fresh = MakeManager();
        EXPECT_EQ(fresh->CheckAutoUpdate(c.offered), c.expected) << c.offered;
    }
}

TEST_F(ManifestManagerTest, CheckAutoUpdateTriesAndLockTimes) {
    const int32_t offered = 31681;
    // Run 1: a version not tried before.
    EXPECT_TRUE(manager->CheckAutoUpdate(offered));
    EXPECT_EQ(Prefs::ReadNumber("AutoUpdate", "LastVersionAttempted"), 31681u);
    EXPECT_EQ(Prefs::ReadNumber("AutoUpdate", "TryCount"), 0u);
    EXPECT_EQ(Prefs::ReadNumber("AutoUpdate", "ExpireAutoUpdateLockTime"), 0u);
    // Same run: decided, nothing written.
    Prefs::WriteNumber("AutoUpdate", "TryCount", 77);
    EXPECT_TRUE(manager->CheckAutoUpdate(offered));
    EXPECT_EQ(Prefs::ReadNumber("AutoUpdate", "TryCount"), 77u);
    Prefs::WriteNumber("AutoUpdate", "TryCount", 0);

    // Each later run: the try count goes up; from the second try on a lock is set.
    struct Run {
        uint32_t tries;
        bool expected;
        int64_t lock;
    } runs[] = {
        {1, false, 0},   {2, true, 120},   {3, true, 600},   {5, true, 600},
        {6, true, 2700}, {20, true, 2700}, {21, true, 3600}, {40, true, 3600},
    };
    for (const auto& r : runs) {
        Prefs::WriteNumber("AutoUpdate", "TryCount", r.tries - 1);
        Prefs::WriteNumber("AutoUpdate", "ExpireAutoUpdateLockTime", 0);
        auto run = MakeManager();
        EXPECT_EQ(run->CheckAutoUpdate(offered), r.expected) << r.tries;
        EXPECT_EQ(Prefs::ReadNumber("AutoUpdate", "TryCount"), r.tries);
        EXPECT_EQ(Prefs::ReadNumber("AutoUpdate", "ExpireAutoUpdateLockTime"),
                  r.lock ? static_cast<uint32_t>(clock.Now() + r.lock) : 0u)
            << r.tries;
    }
}

TEST_F(ManifestManagerTest, CheckAutoUpdateHonoursTheLockAndTheSavedCopy) {
    Prefs::WriteNumber("AutoUpdate", "LastVersionAttempted", 31700);
    Prefs::WriteNumber("AutoUpdate", "TryCount", 3);
    Prefs::WriteNumber("AutoUpdate", "ExpireAutoUpdateLockTime", static_cast<uint32_t>(clock.Now() + 100));
    EXPECT_FALSE(manager->CheckAutoUpdate(31700));
    EXPECT_EQ(Prefs::ReadNumber("AutoUpdate", "TryCount"), 3u);
    clock.Advance(100);  // the lock has run out
    EXPECT_TRUE(manager->CheckAutoUpdate(31700));
    EXPECT_EQ(Prefs::ReadNumber("AutoUpdate", "TryCount"), 4u);

    // Entries from a local copy never start an update.
    auto run = MakeManager();
    server.Serve(kManifestPath, "", FaultMode{.status = 404});
    WriteSaved(Manifest("Saved", 60, 31800));
    run->LoadManifest(*config, false);
    ASSERT_TRUE(run->IsFromSavedCopy());
    EXPECT_FALSE(run->CheckAutoUpdate(31800));
}

// ---- The refresh schedule ----

TEST_F(ManifestManagerTest, FirstRefreshFifteenSecondsAfterConstruction) {
    server.Serve(kManifestPath, Manifest("A", 60));
    const int64_t start = clock.Now();
    EXPECT_EQ(manager->NextRefreshTime(), start + 15);
    clock.Advance(14);
    manager->RefreshTick();
    EXPECT_EQ(Fetches(), 0u);
    clock.Advance(1);
    manager->RefreshTick();
    EXPECT_EQ(Fetches(), 1u);
    EXPECT_TRUE(manager->IsListReady());
    EXPECT_EQ(manager->NextRefreshTime(), start + 15 + 60);

    // While the list waits for the main frame nothing is refreshed, even when due.
    clock.Advance(100);
    manager->RefreshTick();
    EXPECT_EQ(Fetches(), 1u);
    EXPECT_EQ(Names(manager->TakeEntries()), (std::vector<std::string>{"Auto-Update", "A"}));
    EXPECT_FALSE(manager->IsListReady());
    manager->RefreshTick();
    EXPECT_EQ(Fetches(), 2u);
    EXPECT_EQ(manager->NextRefreshTime(), clock.Now() + 60);
}

TEST_F(ManifestManagerTest, RefreshPeriodDefaultsToTwoHours) {
    struct Case {
        std::string body;
        int64_t period;
        bool listReady;
    } cases[] = {
        {Manifest("A", 0), 7200, true},                                      // zero: the default
        {Manifest("A", -30), 7200, true},                                    // negative: the default
        {GamesOnlyManifest("A"), 7200, true},                                // no auto-update element
        {Manifest("A", 300), 300, true},      {"<manifest/>", 7200, false},  // an empty refresh
    };
    for (const auto& c : cases) {
        server.Serve(kManifestPath, c.body);
        std::filesystem::remove(SavedCopy());
        auto run = MakeManager();
        clock.Advance(15);
        run->RefreshTick();
        EXPECT_EQ(run->NextRefreshTime(), clock.Now() + c.period) << c.body;
        EXPECT_EQ(run->IsListReady(), c.listReady) << c.body;
    }
}

TEST_F(ManifestManagerTest, BusyLauncherHoldsTheRefreshOff) {
    server.Serve(kManifestPath, Manifest("A"));
    clock.Advance(15);
    std::atomic<bool>* flags[] = {&activity.transfers, &activity.dialog, &activity.installer, &activity.patching,
                                  &activity.checking};
    for (std::atomic<bool>* flag : flags) {
        *flag = true;
        manager->RefreshTick();
        clock.Advance(2);
        EXPECT_EQ(Fetches(), 0u);
        EXPECT_LE(manager->NextRefreshTime(), clock.Now());  // stays due
        *flag = false;
    }
    manager->RefreshTick();  // the first idle tick refreshes
    EXPECT_EQ(Fetches(), 1u);
    EXPECT_TRUE(manager->IsListReady());
}

TEST_F(ManifestManagerTest, MakeRefreshDueMakesItDueAtOnce) {
    server.Serve(kManifestPath, Manifest("A", 3600));
    clock.Advance(15);
    manager->RefreshTick();
    manager->TakeEntries();
    clock.Advance(10);
    manager->RefreshTick();
    EXPECT_EQ(Fetches(), 1u);
    manager->MakeRefreshDue();
    EXPECT_EQ(manager->NextRefreshTime(), clock.Now());
    manager->RefreshTick();
    EXPECT_EQ(Fetches(), 2u);
}

// The fetch runs without the manager's lock: the main frame and the page never
// wait on the network, and a refresh asked for meanwhile stays due.
TEST_F(ManifestManagerTest, NothingWaitsOnARefreshInProgress) {
    server.Serve(kManifestPath, Manifest("A", 3600), FaultMode{.stallAfterHeaders = true});
    clock.Advance(15);
    auto refresh = std::async(std::launch::async, [this] { manager->RefreshTick(); });
    ASSERT_TRUE(server.WaitForRequests(1));

    auto others = std::async(std::launch::async, [this] {
        manager->TakeEntries();
        manager->MakeRefreshDue();
        manager->CheckAutoUpdate(31681);
        manager->IsListReady();
        return manager->GetManifestVersion();
    });
    EXPECT_EQ(others.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    server.Serve(kManifestPath, Manifest("B", 3600));
    server.ReleaseStalls();
    refresh.get();
    // The stalled fetch gave nothing; the saved copy neither: the program ends.
    EXPECT_EQ(exit.Ids(), std::vector<int>{7});
}

// An update check while a refresh is fetching answers for the entries in
// force, which came from the saved copy here; it neither waits nor sees a
// half-done load.
TEST_F(ManifestManagerTest, UpdateCheckDuringARefreshSeesTheEntriesInForce) {
    server.Serve(kManifestPath, "", FaultMode{.status = 404});
    WriteSaved(Manifest("Saved", 60, 31800));
    clock.Advance(15);
    manager->RefreshTick();
    ASSERT_TRUE(manager->IsFromSavedCopy());
    manager->TakeEntries();
    manager->MakeRefreshDue();

    server.Serve(kManifestPath, Manifest("Fetched", 60, 31800), FaultMode{.stallAfterHeaders = true});
    auto refresh = std::async(std::launch::async, [this] { manager->RefreshTick(); });
    ASSERT_TRUE(server.WaitForRequests(2));
    EXPECT_TRUE(manager->IsFromSavedCopy());
    EXPECT_FALSE(manager->CheckAutoUpdate(31800));
    server.ReleaseStalls();
    refresh.get();
}

// Neither the start-up fetch on the GUI thread nor a refresh waits longer than
// the fetch's time limit on a server that stalls (the speed rule alone: 30 s).
TEST_F(ManifestManagerTest, FetchGivesUpAtItsTimeLimit) {
    server.Serve(kManifestPath, Manifest("A"), FaultMode{.stallAfterHeaders = true});
    auto limited = MakeManager(1);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(limited->FetchManifest(*config), "");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    server.ReleaseStalls();
}

// Stopping the manager ends a fetch under way at once; the cut-off fetch does
// not count as "no manifest anywhere".
TEST_F(ManifestManagerTest, StopEndsAFetchUnderWayWithoutEndingTheProgram) {
    server.Serve(kManifestPath, Manifest("A"), FaultMode{.stallAfterHeaders = true});
    clock.Advance(15);
    ASSERT_TRUE(manager->Start());
    ASSERT_TRUE(server.WaitForRequests(1));
    const auto started = std::chrono::steady_clock::now();
    manager->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_FALSE(manager->IsStarted());
    EXPECT_TRUE(exit.Ids().empty());
    EXPECT_FALSE(manager->IsListReady());
    server.ReleaseStalls();
}

TEST_F(ManifestManagerTest, RefreshDueDuringARefreshStaysDue) {
    server.Serve(kManifestPath, Manifest("A", 3600), FaultMode{.trickleBytesPerSecond = 200});
    clock.Advance(15);
    auto refresh = std::async(std::launch::async, [this] { manager->RefreshTick(); });
    ASSERT_TRUE(server.WaitForRequests(1));
    clock.Advance(5);
    manager->MakeRefreshDue();
    const int64_t askedAt = clock.Now();
    refresh.get();
    ASSERT_TRUE(manager->IsListReady());
    EXPECT_EQ(manager->NextRefreshTime(), askedAt);
    manager->TakeEntries();
    manager->RefreshTick();
    EXPECT_EQ(Fetches(), 2u);
}

TEST_F(ManifestManagerTest, RefreshThreadRunsAndStops) {
    server.Serve(kManifestPath, Manifest("A"));
    clock.Advance(15);
    ASSERT_TRUE(manager->Start());
    EXPECT_TRUE(WaitUntil([&] { return manager->IsListReady(); }));
    manager->Stop();
    EXPECT_FALSE(manager->IsStarted());
}

TEST_F(ManifestManagerTest, MessageSevenOnTheRefreshThreadOnlyStopsIt) {
    server.Serve(kManifestPath, "", FaultMode{.status = 404});
    clock.Advance(15);
    ASSERT_TRUE(manager->Start());
    EXPECT_TRUE(WaitUntil([&] { return !exit.Ids().empty(); }));
    EXPECT_EQ(exit.Ids(), std::vector<int>{7});
    EXPECT_TRUE(WaitUntil([&] { return manager->IsStopRequested(); }));
    manager.reset();  // joins the ended thread
    EXPECT_EQ(Fetches(), 1u);
}

}  // namespace

namespace {

// The application installs its exit requester after the managers exist.
TEST(ManifestManagerDefaults, ExitRequesterInstalledLaterIsUsed) {
    TestEnvironment env;
    setenv("QUOR_SERVICE_URL", "http://127.0.0.1:9", 1);  // nothing listens: the fetch fails at once
    ConfigManager config;
    config.machineSerial = "1";
    ManifestManager::Services services;
    services.programFolder = env.Path("empty-program/");
    ManifestManager manager(services);
    RecordingExitRequester exit;
    ExitRequester::Install(&exit);
    EXPECT_TRUE(manager.LoadManifest(config, false).empty());
    ExitRequester::Install(nullptr);
    EXPECT_EQ(exit.Ids(), std::vector<int>{7});
}

}  // namespace
