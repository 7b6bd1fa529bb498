// The telemetry, error and page-view tasks against a real endpoint on 127.0.0.1
// and a recording page.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "core/settings/ConfigManager.h"
#include "core/settings/Prefs.h"
#include "core/telemetry/ErrorTask.h"
#include "core/telemetry/EventTask.h"
#include "core/telemetry/PageViewTask.h"
#include "core/text/QueryEscape.h"
#include "core/threads/TaskManager.h"
#include "tests/fixtures/RecordingPageCallSink.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/TestHttpServer.h"

namespace {

using Call = RecordingPageCallSink::Call;

TEST(QueryEscape, KeepsOnlyLettersAndDigits) {
    EXPECT_EQ(QueryEscape("Space Game"), "Space%20Game");
    EXPECT_EQ(QueryEscape("Patch file is corrupt."), "Patch%20file%20is%20corrupt%2E");
    // libcurl's own escaping would keep these four.
    EXPECT_EQ(QueryEscape("a-b.c_d~e"), "a%2Db%2Ec%5Fd%7Ee");
    EXPECT_EQ(QueryEscape("AZaz09"), "AZaz09");
    EXPECT_EQ(QueryEscape(""), "");
    EXPECT_EQ(QueryEscape(std::string("\0\x7f\x80\xff", 4)), "%00%7F%80%FF");
    EXPECT_EQ(QueryEscape("&=?%+/"), "%26%3D%3F%25%2B%2F");
    EXPECT_EQ(QueryEscape("\xc3\xa4"), "%C3%A4");  // UTF-8 bytes one by one
}

// A service on 127.0.0.1 that the configuration points at, a page, a stored serial.
class TelemetryTest : public ::testing::Test {
protected:
    TelemetryTest() {
        setenv("QUOR_SERVICE_URL", service.BaseUrl().c_str(), 1);
        config = std::make_unique<ConfigManager>();
        service.Serve("/quor/t.php", "ok");
        service.Serve("/quor/error.php", "ok");
        Prefs::SetString("CurrentSerialNumber", "4062587331");
    }

    TestEnvironment env;
    TestHttpServer service;
    std::unique_ptr<ConfigManager> config;
    RecordingPageCallSink page;
};

TEST_F(TelemetryTest, EventRequestAndPageCall) {
    EventTask task("GamePanel", "OnDownloadClick", "Space Game");
    task.Run();
    auto log = service.RequestsFor("/quor/t.php");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].query, "serialNumber=4062587331&category=GamePanel&action=OnDownloadClick&label=Space%20Game");
    EXPECT_EQ(log[0].Header("User-Agent"), "Brindlemoor Quor!/1.0");
    EXPECT_EQ(page.Calls(), (std::vector<Call>{{"trackEvent", {"GamePanel", "OnDownloadClick", "Space Game", "-1"}}}));
    EXPECT_EQ(EventTask::kConnectTimeoutSeconds, 30);
}

TEST_F(TelemetryTest, EmptyLabelAndUnusualTexts) {
    EventTask("InstallFailed", "Space-Game_2.0", "").Run();
    auto log = service.RequestsFor("/quor/t.php");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].query, "serialNumber=4062587331&category=InstallFailed&action=Space%2DGame%5F2%2E0&label=");
    EXPECT_EQ(page.Calls(), (std::vector<Call>{{"trackEvent", {"InstallFailed", "Space-Game_2.0", "", "-1"}}}));
}

TEST_F(TelemetryTest, ErrorRequestAndPageCall) {
    ErrorTask task("Patch file is corrupt.");
    task.Run();
    auto log = service.RequestsFor("/quor/error.php");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].query, "serialNumber=4062587331&errorMessage=Patch%20file%20is%20corrupt%2E");
    EXPECT_EQ(page.Calls(),
              (std::vector<Call>{{"trackEvent", {"Error", "Patch file is corrupt.", "4062587331", "-1"}}}));
}

TEST_F(TelemetryTest, SerialIsTheOneStoredWhenTheTaskWasCreated) {
    EventTask event("SystemTrayIcon", "OnExit", "");
    ErrorTask error("Failed");
    Prefs::SetString("CurrentSerialNumber", "999");
    event.Run();
    error.Run();
    EXPECT_EQ(service.RequestsFor("/quor/t.php").at(0).query.rfind("serialNumber=4062587331&", 0), 0u);
    EXPECT_EQ(service.RequestsFor("/quor/error.php").at(0).query, "serialNumber=4062587331&errorMessage=Failed");
    EXPECT_EQ(page.CallsOf("trackEvent").at(1).args.at(2), "4062587331");
}

TEST_F(TelemetryTest, FirstRunHasAnEmptySerial) {
    Prefs::SetString("CurrentSerialNumber", "");
    EventTask("GamePanel", "OnPlayClick", "Space Game").Run();
    EXPECT_EQ(service.RequestsFor("/quor/t.php").at(0).query,
              "serialNumber=&category=GamePanel&action=OnPlayClick&label=Space%20Game");
}

TEST_F(TelemetryTest, DamagedSerialCannotAddParameters) {
    Prefs::SetString("CurrentSerialNumber", "12 3&x=y");
    ErrorTask("Failed").Run();
    EXPECT_EQ(service.RequestsFor("/quor/error.php").at(0).query, "serialNumber=12%203%26x%3Dy&errorMessage=Failed");
}

TEST_F(TelemetryTest, PageHearsOfItEvenWhenTheServiceFails) {
    service.Serve("/quor/t.php", "<html>down</html>", FaultMode{.status = 500});
    service.Remove("/quor/error.php");
    EventTask("GamePanel", "OnDownloadClick", "Space Game").Run();
    ErrorTask("Failed").Run();
    EXPECT_EQ(page.CallsOf("trackEvent").size(), 2u);
    EXPECT_EQ(service.RequestCount(), 2u);  // sent once each, not retried
}

TEST_F(TelemetryTest, UnreachableServiceOnlyLosesTheReport) {
    std::string closed;
    {
        TestHttpServer gone;
        closed = gone.BaseUrl();
    }
    setenv("QUOR_SERVICE_URL", closed.c_str(), 1);
    config.reset();
    config = std::make_unique<ConfigManager>();
    EventTask event("GamePanel", "OnDownloadClick", "Space Game");
    EXPECT_EQ(event.Endpoint(), closed + "/quor/t.php");
    event.Run();
    EXPECT_EQ(page.CallsOf("trackEvent").size(), 1u);
}

TEST_F(TelemetryTest, WithoutConfigurationOnlyThePageIsTold) {
    config.reset();
    EventTask event("GamePanel", "OnDownloadClick", "Space Game");
    EXPECT_EQ(event.Endpoint(), "");
    event.Run();
    EXPECT_EQ(page.CallsOf("trackEvent").size(), 1u);
    EXPECT_EQ(service.RequestCount(), 0u);
}

TEST_F(TelemetryTest, QueuedTasksRunInOrderOnTheQueueThread) {
    TaskManager queue;
    ASSERT_TRUE(TaskManager::Queue(std::make_unique<EventTask>("GamePanel", "OnDownloadClick", "Space Game")));
    ASSERT_TRUE(TaskManager::Queue(std::make_unique<PageViewTask>("/home", "Home")));
    ASSERT_TRUE(TaskManager::Queue(std::make_unique<ErrorTask>("Failed")));
    ASSERT_TRUE(queue.Start());
    ASSERT_TRUE(service.WaitForRequests(2));
    queue.Stop();
    EXPECT_EQ(page.Calls(), (std::vector<Call>{{"trackEvent", {"GamePanel", "OnDownloadClick", "Space Game", "-1"}},
                                               {"trackPageView", {"/home", "Home"}},
                                               {"trackEvent", {"Error", "Failed", "4062587331", "-1"}}}));
    auto log = service.Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].path, "/quor/t.php");
    EXPECT_EQ(log[1].path, "/quor/error.php");
}

TEST(PageViewTask, HandsBothTextsUnchanged) {
    RecordingPageCallSink page;
    PageViewTask task("Space Game & more", "\xc3\xa4");
    task.Run();
    EXPECT_EQ(page.Calls(), (std::vector<Call>{{"trackPageView", {"Space Game & more", "\xc3\xa4"}}}));
}

}  // namespace
