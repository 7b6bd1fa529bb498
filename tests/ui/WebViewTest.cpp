#include <gtest/gtest.h>

#include <glib.h>

#include <filesystem>

#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/TestHttpServer.h"
#include "tests/ui/GuiSession.h"
#include "tests/ui/PageHarness.h"

namespace {

namespace fs = std::filesystem;

const char kPage[] = "<html><body><div id='main-content'></div>page</body></html>";

FaultMode Html() {
    return FaultMode{.contentType = "text/html"};
}

// Every file under a folder whose name is `name`.
std::vector<std::string> Found(const std::string& folder, const std::string& name) {
    std::vector<std::string> found;
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return found;
    for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->path().filename().string().find(name) != std::string::npos)
            found.push_back(it->path().string());
    return found;
}

TEST(WebViewTest, AnAttachmentThePageOpensIsNotSaved) {
    TestEnvironment env;
    TestHttpServer server;
    server.Serve("/start.html", kPage, Html());
    FaultMode attachment;
    attachment.extraHeaders = {{"Content-Disposition", "attachment; filename=\"quor-attachment.bin\""}};
    server.Serve("/quor-attachment.bin", std::string(20000, 'a'), attachment);
    PageHarness harness;
    harness.Open(server.Url("/start.html"));
    ASSERT_TRUE(harness.WaitForPageLoads(1));
    harness.Run("location.href = '/quor-attachment.bin'");
    ASSERT_TRUE(GuiSession::RunUntil([&] { return !server.RequestsFor("/quor-attachment.bin").empty(); }));
    GuiSession::RunFor(1500);
    // GLib keeps the home and download folders it saw first in the process.
    for (std::string folder : {env.Path("home"), std::string(g_get_home_dir()),
                               std::string(g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD)
                                               ? g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD)
                                               : "")}) {
        if (!folder.empty()) {
            EXPECT_EQ(Found(folder, "quor-attachment"), std::vector<std::string>{}) << folder;
        }
    }
}

// A page left and come back to is loaded anew, with a bridge the program knows.
TEST(WebViewTest, BackAndForwardKeepTheBridgeAlive) {
    TestEnvironment env;
    TestHttpServer server;
    server.Serve("/start.html", kPage, Html());
    server.Serve("/other.html", kPage, Html());
    PageHarness harness;
    harness.Open(server.Url("/start.html"));
    ASSERT_TRUE(harness.WaitForPageLoads(1));
    harness.Run("location.href = '/other.html'");
    ASSERT_TRUE(harness.WaitForPageLoads(2));
    harness.Run("history.back()");
    ASSERT_TRUE(harness.WaitForPageLoads(3, 5000));
    GuiSession::RunFor(200);
    size_t calls = harness.answers.size();
    size_t logged = harness.owner.log.size();
    harness.Run("brq_interface.trackEvent('back', location.pathname, '')");
    ASSERT_TRUE(harness.WaitForCalls(calls + 1, 5000));
    EXPECT_EQ(harness.LogFrom(logged), std::vector<std::string>{"trackEvent|back|/start.html|"});
    harness.Run("history.forward()");
    ASSERT_TRUE(harness.WaitForPageLoads(4, 5000));
    GuiSession::RunFor(200);
    harness.Run("brq_interface.trackEvent('forward', location.pathname, '')");
    ASSERT_TRUE(harness.WaitForCalls(calls + 2, 5000));
    EXPECT_EQ(harness.LogFrom(logged + 1), std::vector<std::string>{"trackEvent|forward|/other.html|"});
}

}  // namespace
