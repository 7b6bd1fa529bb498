#include <gtest/gtest.h>

#include <algorithm>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "core/PageCallSink.h"
#include "core/text/MessageDisplay.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/ui/GuiSession.h"
#include "tests/ui/PageHarness.h"
#include "ui/StartPageAddress.h"
#include "ui/UiBindingHandler.h"
#include "ui/UiScript.h"

namespace {

const char kErrorPage[] =
    "<html xmlns='http://www.w3.org/1999/xhtml'><head>"
    "<meta http-equiv='Content-Type' content='text/html; charset=utf-8' />"
    "<meta http-equiv='Cache-Control' content='no-cache' />"
    "<title>Brindlemoor Quor!</title>"
    "<link rel='stylesheet' href='Content/v2/_inc/styles.css' type='text/css' />"
    "</head><body id='technical-difficulties'>"
    "<a class='refresh' href='' onclick=\"window.parent.postMessage({'type' : 'refresh-interface'}, '*');\"></a>"
    "</body></html>";

// The same page as the web view holds it once parsed.
const char kErrorPageDom[] =
    "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head>"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
    "<meta http-equiv=\"Cache-Control\" content=\"no-cache\">"
    "<title>Brindlemoor Quor!</title>"
    "<link rel=\"stylesheet\" href=\"Content/v2/_inc/styles.css\" type=\"text/css\">"
    "</head><body id=\"technical-difficulties\">"
    "<a class=\"refresh\" href=\"\" onclick=\"window.parent.postMessage({'type' : 'refresh-interface'}, '*');\"></a>"
    "</body></html>";

// Reports every page call the program makes back through the bridge as trackEvent('page', ...).
const char kRecordingPage[] =
    "<html><body><div id='main-content'></div><script>"
    "window.$ = function (selector) { return { brq: function () {"
    "  var parts = [selector];"
    "  for (var i = 0; i < arguments.length; i++) parts.push(String(arguments[i]));"
    "  brq_interface.trackEvent('page', parts.join('|'), ''); } }; };"
    "</script></body></html>";

// A port on 127.0.0.1 on which nothing listens.
int ClosedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

class ClientHandlerTest : public testing::Test {
protected:
    void SetUp() override {
        env = std::make_unique<TestEnvironment>();
        program = env->Path("Quor Games/");
        env->WriteFile("Quor Games/Content/v2/_inc/styles.css",
                       "body#technical-difficulties { background-color: rgb(1, 2, 3); }");
        startPage = ProgramFolderAddress(program) + "brq_interface.html?lang=en&skin=0&brqVersion=31680";
        harness = std::make_unique<PageHarness>();
        harness->owner.startPage = startPage;
    }

    // Opens the recording page with every call sent to it logged to callLog,
    // and waits for its load.
    void OpenRecordingPageLoggingCalls() {
        callLog = env->Path("page-calls.log");
        setenv("QUOR_PAGE_CALL_LOG", callLog.c_str(), 1);
        env->WriteFile("Quor Games/brq_interface.html", kRecordingPage);
        harness->Open(startPage, program);
        ASSERT_TRUE(harness->WaitForPageLoads(1));
    }

    // What the page shows, read back through its bridge.
    std::string Describe() {
        size_t calls = harness->answers.size();
        harness->Run(
            "brq_interface.trackEvent(document.title, document.documentElement.outerHTML,"
            " getComputedStyle(document.body).backgroundColor)");
        EXPECT_TRUE(harness->WaitForCalls(calls + 1));
        return harness->owner.log.empty() ? std::string() : harness->owner.log.back();
    }

    void ExpectErrorPage() {
        ASSERT_TRUE(harness->WaitForPageLoads(1));
        GuiSession::RunFor(300);
        // The end WebKit reports for the failed load itself is no page load; the error page's is.
        EXPECT_EQ(harness->owner.pageLoads, 1);
        ASSERT_EQ(harness->errorTexts.size(), 1u);
        EXPECT_EQ(harness->errorTexts[0], kErrorPage);
        EXPECT_EQ(Describe(), std::string("trackEvent|Brindlemoor Quor!|") + kErrorPageDom + "|rgb(1, 2, 3)");
        EXPECT_TRUE(harness->owner.client->IsPageLoaded());
    }

    std::unique_ptr<TestEnvironment> env;
    std::string program;
    std::string startPage;
    std::string callLog;
    std::unique_ptr<PageHarness> harness;
};

TEST_F(ClientHandlerTest, AMissingStartPageGetsTheErrorPage) {
    harness->Open(startPage, program);
    ExpectErrorPage();
}

TEST_F(ClientHandlerTest, ARefusedAddressGetsTheErrorPage) {
    harness->Open("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/quor/start.html", program);
    ExpectErrorPage();
}

TEST_F(ClientHandlerTest, TheErrorPagesRefreshLinkLoadsTheStartPageAgain) {
    harness->Open(startPage, program);
    ASSERT_TRUE(harness->WaitForPageLoads(1));
    env->WriteFile("Quor Games/brq_interface.html", kRecordingPage);
    harness->Run("document.querySelector('a.refresh').click()");
    ASSERT_TRUE(harness->WaitForPageLoads(2));
    GuiSession::RunFor(300);
    EXPECT_EQ(harness->owner.pageLoads, 2);
    EXPECT_EQ(harness->errorTexts.size(), 1u);  // the link's empty address was not followed
    EXPECT_EQ(harness->browser->GetMainFrame()->GetURL(), startPage);
}

TEST_F(ClientHandlerTest, PageCallsBeforeTheLoadEndsAreDroppedAndLogged) {
    std::string log = env->Path("page-calls.log");
    setenv("QUOR_PAGE_CALL_LOG", log.c_str(), 1);
    env->WriteFile("Quor Games/brq_interface.html", kRecordingPage);
    harness->Open(startPage, program);
    UiScript::StartProgress(ClientHandler::GetGlobalBindingHandler(), 7);  // no script context yet
    ASSERT_TRUE(GuiSession::RunUntil([&] { return bool(ClientHandler::GetGlobalBindingHandler()); }));
    if (!harness->owner.client->IsPageLoaded())
        UiScript::StartProgress(ClientHandler::GetGlobalBindingHandler(), 8);  // still loading
    ASSERT_TRUE(harness->WaitForPageLoads(1));
    UiScript::SetGamePanelState(ClientHandler::GetGlobalBindingHandler(), 2, 11);
    ASSERT_TRUE(harness->WaitForCalls(1));
    EXPECT_EQ(harness->owner.log.back(), "trackEvent|page|#main-content|setGamePanelState|2|11|");
    std::vector<std::string> lines = Lines(TestEnvironment::ReadFile(log));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "dropped $('#main-content').brq('startProgress', 7);");
    EXPECT_EQ(lines.back(), "delivered $('#main-content').brq('setGamePanelState', 2, '11');");
}

TEST_F(ClientHandlerTest, CallsFromWorkersArriveInTheOrderTheyWereMade) {
    ASSERT_NO_FATAL_FAILURE(OpenRecordingPageLoggingCalls());
    const std::string& log = callLog;

    const int kPerThread = 40;
    std::vector<std::thread> workers;
    for (int t = 0; t < 3; ++t)
        workers.emplace_back([t] {
            for (int i = 0; i < kPerThread; ++i)
                UiScript::TrackEvent(ClientHandler::GetGlobalBindingHandler(), "w" + std::to_string(t),
                                     "it's\n" + std::to_string(i), "", i);
        });
    for (int i = 0; i < kPerThread; ++i) {
        UiScript::ClickPanel(ClientHandler::GetGlobalBindingHandler(), i);
        GuiSession::RunFor(1);
    }
    for (auto& w : workers)
        w.join();
    ASSERT_TRUE(harness->WaitForCalls(4 * kPerThread));

    // What the page received is what the log says was delivered, call for call.
    std::vector<std::string> delivered;
    for (const std::string& line : Lines(TestEnvironment::ReadFile(log)))
        delivered.push_back(line);
    ASSERT_EQ(delivered.size(), 4u * kPerThread);
    std::vector<std::string> expectedPage;
    std::vector<int> next(4, 0);
    for (const std::string& line : delivered) {
        ASSERT_EQ(line.rfind("delivered ", 0), 0u) << line;
        if (line.find("'clickPanel', ") != std::string::npos) {
            int n = std::stoi(line.substr(line.find(", ") + 2));
            EXPECT_EQ(n, next[3]++);
            expectedPage.push_back("trackEvent|page|#main-content|clickPanel|" + std::to_string(n) + "|");
        } else {
            int t = line[line.find("'w") + 2] - '0';
            int n = std::stoi(line.substr(line.rfind(", ") + 2));
            EXPECT_EQ(n, next[t]++) << "thread " << t;
            expectedPage.push_back("trackEvent|page|#main-content|trackEvent|w" + std::to_string(t) + "|it's\n" +
                                   std::to_string(n) + "||" + std::to_string(n) + "|");
        }
    }
    EXPECT_EQ(harness->LogFrom(0), expectedPage);
}

TEST_F(ClientHandlerTest, TheDropIsDecidedAtDelivery) {
    ASSERT_NO_FATAL_FAILURE(OpenRecordingPageLoggingCalls());
    const std::string& log = callLog;
    // Made while the page is there, from a worker; before they are delivered a
    // new browser is reported, which means the page is not there any more.
    std::thread worker([] {
        for (int i = 0; i < 3; ++i)
            UiScript::ClickPanel(ClientHandler::GetGlobalBindingHandler(), i);
    });
    worker.join();
    harness->owner.client->OnAfterCreated(harness->browser);
    GuiSession::RunFor(200);
    EXPECT_EQ(Lines(TestEnvironment::ReadFile(log)),
              (std::vector<std::string>{"dropped $('#main-content').brq('clickPanel', 0);",
                                        "dropped $('#main-content').brq('clickPanel', 1);",
                                        "dropped $('#main-content').brq('clickPanel', 2);"}));
    EXPECT_TRUE(harness->answers.empty());
}

// A page that has fallen behind gets no more calls until it has run those it
// was given: they wait in the program, where a newer clearGamePanels drops the
// waiting calls it makes void (the panel calls and clears after the newest
// button press). Every other call waits and reaches the page in order.
TEST_F(ClientHandlerTest, CallsWaitWhileThePageIsBehindAndANewerClearDropsTheVoidOnes) {
    ASSERT_NO_FATAL_FAILURE(OpenRecordingPageLoggingCalls());
    const std::string& log = callLog;

    // Made in one go on the GUI thread, as a rebuild of the panels is: the page
    // cannot report back in between.
    const UiScript::Handler h = ClientHandler::GetGlobalBindingHandler();
    std::vector<std::string> reached;  // what the page is to run: method|first argument
    auto add = [&](const std::string& name, int id, bool voided) {
        UiScript::AddGamePanel(h, name, "", "", false, id, false, 0, "");
        if (!voided)
            reached.push_back("addGamePanel|" + name);
    };
    UiScript::ClearGamePanels(h);
    reached.push_back("clearGamePanels|");
    for (int i = 0; i < 600; ++i)
        add("first " + std::to_string(i), i, false);
    UiScript::ClickGameButton(h, 7);  // needs the panels made before it
    reached.push_back("clickGameButton|7");
    for (int i = 0; i < 300; ++i)
        add("void " + std::to_string(i), 600 + i, true);
    UiScript::ShowMessage(h, "between");
    reached.push_back("showMessage|between");
    UiScript::ClearGamePanels(h);
    reached.push_back("clearGamePanels|");
    for (int i = 0; i < 600; ++i)
        add("second " + std::to_string(i), i, false);

    std::vector<std::string> lines = Lines(TestEnvironment::ReadFile(log));
    auto count = [&](const std::string& prefix) {
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    };
    EXPECT_EQ(count("delivered "), static_cast<long>(browser::Browser::kMaxScriptsInFlight)) << "the rest wait";
    EXPECT_EQ(count("dropped $('#main-content').brq('addGamePanel','void "), 300);
    EXPECT_EQ(count("dropped "), 300);

    ASSERT_TRUE(harness->WaitForCalls(reached.size(), 60000)) << harness->answers.size();
    GuiSession::RunFor(200);
    std::vector<std::string> ran;
    for (const std::string& entry : harness->LogFrom(0)) {
        std::string call = entry.substr(std::string("trackEvent|page|#main-content|").size());
        size_t second = call.find('|', call.find('|') + 1);
        ran.push_back(call.substr(0, second));
    }
    EXPECT_EQ(ran, reached);
    lines = Lines(TestEnvironment::ReadFile(log));
    EXPECT_EQ(count("delivered "), static_cast<long>(reached.size()));
    EXPECT_EQ(count("dropped "), 300);
}

// A page that loads again while calls wait for it leaves none waiting for
// good: the calls that were waiting are decided, and the next call reaches the
// new page.
TEST_F(ClientHandlerTest, ALoadWhileCallsWaitLeavesNoneWaiting) {
    ASSERT_NO_FATAL_FAILURE(OpenRecordingPageLoggingCalls());
    const std::string& log = callLog;
    const UiScript::Handler h = ClientHandler::GetGlobalBindingHandler();
    const size_t burst = 2 * browser::Browser::kMaxScriptsInFlight;
    for (size_t i = 0; i < burst; ++i)
        UiScript::TrackEvent(h, "burst", std::to_string(i), "", 0);
    harness->browser->GetMainFrame()->LoadURL(startPage);
    ASSERT_TRUE(harness->WaitForPageLoads(2));
    ASSERT_TRUE(GuiSession::RunUntil([&] { return Lines(TestEnvironment::ReadFile(log)).size() == burst; }))
        << Lines(TestEnvironment::ReadFile(log)).size();

    size_t answered = harness->answers.size();
    UiScript::TrackEvent(ClientHandler::GetGlobalBindingHandler(), "after", "the load", "", 1);
    ASSERT_TRUE(GuiSession::RunUntil([&] {
        std::vector<std::string> entries = harness->LogFrom(0);
        return std::find(entries.begin(), entries.end(),
                         "trackEvent|page|#main-content|trackEvent|after|the load||1|") != entries.end();
    })) << harness->answers.size() - answered;
    EXPECT_EQ(Lines(TestEnvironment::ReadFile(log)).back(),
              "delivered $('#main-content').brq('trackEvent', 'after', 'the load', '', 1);");
}

TEST_F(ClientHandlerTest, TheProgramsMessagesReachThePageWithTheirLineBreaks) {
    env->WriteFile("Quor Games/brq_interface.html", kRecordingPage);
    harness->Open(startPage, program);
    ASSERT_TRUE(harness->WaitForPageLoads(1));
    UiScript sink;
    PageCallSink::Install(&sink);
    ShowPageMessage("Failed to open configuration file.\n\nProgram cannot continue.");
    PageCallSink::Current().trackEvent("Error", "it's \\ 'quoted'", "\xe2\x80\xa8", -1);
    PageCallSink::Install(nullptr);
    ASSERT_TRUE(harness->WaitForCalls(2));
    EXPECT_EQ(
        harness->LogFrom(0),
        (std::vector<std::string>{"trackEvent|page|#main-content|showMessage|Failed to open configuration file.\n\n"
                                  "Program cannot continue.|1|",
                                  "trackEvent|page|#main-content|trackEvent|Error|it's \\ 'quoted'|\xe2\x80\xa8|-1|"}));
}

}  // namespace
