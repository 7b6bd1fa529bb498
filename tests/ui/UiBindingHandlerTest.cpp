#include <gtest/gtest.h>

#include <filesystem>

#include "tests/fixtures/TestEnvironment.h"
#include "tests/ui/GuiSession.h"
#include "tests/ui/PageHarness.h"
#include "ui/StartPageAddress.h"

namespace {

struct BridgeCase {
    const char* script;                // one call on brq_interface, as a page makes it
    bool accepted;                     // the bridge's answer
    std::vector<std::string> effects;  // what reached the owner and the panels
};

class UiBindingHandlerTest : public testing::Test {
protected:
    void SetUp() override {
        env = std::make_unique<TestEnvironment>();
        std::string page = env->WriteFile("program/brq_interface.html",
                                          "<html><body><div id='main-content'></div>"
                                          "<iframe src='inner.html'></iframe></body></html>");
        // Frames of file: pages cannot reach each other's objects; the frame calls its own bridge.
        env->WriteFile("program/inner.html",
                       "<html><body><script>window.addEventListener('message', function (e) {"
                       " brq_interface.download(e.data); });</script></body></html>");
        harness = std::make_unique<PageHarness>();
        harness->owner.AddPanel("Space Game", PanelState::Downloaded);
        harness->owner.AddPanel("Rowing", PanelState::NotInstalled);
        harness->Open(ProgramFolderAddress(env->Path("program/")) + "brq_interface.html");
        ASSERT_TRUE(harness->WaitForPageLoads(1));
    }

    // Runs every case in the page in turn and checks the bridge's answer and its effects.
    void RunTable(const std::vector<BridgeCase>& cases) {
        for (const BridgeCase& c : cases) {
            size_t calls = harness->answers.size();
            size_t logged = harness->owner.log.size();
            harness->Run(c.script);
            ASSERT_TRUE(harness->WaitForCalls(calls + 1)) << c.script;
            const std::string& answer = harness->answers.back();
            EXPECT_EQ(answer.substr(answer.find('=') + 1), c.accepted ? "true" : "false") << c.script;
            EXPECT_EQ(harness->LogFrom(logged), c.effects) << c.script;
        }
    }

    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<PageHarness> harness;
};

TEST_F(UiBindingHandlerTest, GameCommandsAndDownload) {
    RunTable({
        {"brq_interface.download('Space Game')", true, {"download|Space Game"}},
        {"brq_interface.download('No Such Game', 7)", true, {"download|No Such Game"}},
        {"brq_interface.download()", false, {}},
        {"brq_interface.download(5)", false, {}},
        {"brq_interface.download(null)", false, {}},
        {"brq_interface.download(new String('boxed'))", false, {}},
        {"brq_interface.install('Space Game')", true, {"Space Game install"}},
        {"brq_interface.install('Rowing')", true, {}},  // NotInstalled: not downloaded yet
        {"brq_interface.cancel('Rowing')", true, {"Rowing cancel"}},
        {"brq_interface.installFromDisc('Rowing')", true, {"Rowing installFromDisc"}},
        {"brq_interface.play('Space Game')", true, {"Space Game play"}},
        {"brq_interface.play('space game')", true, {}},  // names match with their case
        {"brq_interface.play('Unknown')", true, {}},
        {"brq_interface.patch('Space Game')", true, {"Space Game patch"}},
        {"brq_interface.pause('Space Game')", true, {"Space Game pause"}},
        {"brq_interface.unpause('Space Game')", true, {"Space Game unpause"}},
        {"brq_interface.preview('Space Game')", true, {"Space Game preview"}},
        {"brq_interface.launchOptions('Space Game')", true, {"Space Game launchOptions"}},
        {"brq_interface.play(true)", false, {}},
        {"brq_interface.setAuthToken('Space Game', 'tok-1')", true, {"Space Game token=tok-1"}},
        {"brq_interface.setAuthToken('Space Game', '')", true, {"Space Game token="}},
        {"brq_interface.setAuthToken('Space Game', 5)", false, {}},
        {"brq_interface.setAuthToken('Space Game')", false, {}},
        {"brq_interface.setAuthToken('Unknown', 't')", true, {}},
    });
}

TEST_F(UiBindingHandlerTest, TrackEventAndTheStringValueOfOtherTypes) {
    RunTable({
        {"brq_interface.trackEvent('c')", false, {}},
        {"brq_interface.trackEvent('c', 'a')", false, {}},
        {"brq_interface.trackEvent(1, 'a', 'l')", false, {}},
        {"brq_interface.trackEvent('c', 'a', 'l', 'ignored')", true, {"trackEvent|c|a|l"}},
        {"brq_interface.trackEvent('c', 2, 3.5)", true, {"trackEvent|c|2|3.5"}},
        {"brq_interface.trackEvent('c', null, undefined)", true, {"trackEvent|c|null|undefined"}},
        {"brq_interface.trackEvent('c', true, false)", true, {"trackEvent|c|true|false"}},
        {"brq_interface.trackEvent('c', {}, [1, 2])", true, {"trackEvent|c|[object Object]|1,2"}},
        {"brq_interface.trackEvent('c', -0, 1e21)", true, {"trackEvent|c|0|1e+21"}},
        {"brq_interface.trackEvent('c', NaN, {toString: function () { throw 1; }})", true, {"trackEvent|c|NaN|"}},
        {"brq_interface.trackEvent('Ünï', '游戏 🎮', 'it\\'s \"q\" \\\\ \\n')",
         true,
         {"trackEvent|Ünï|游戏 🎮|it's \"q\" \\ \n"}},
    });
}

TEST_F(UiBindingHandlerTest, CredentialsBrowserAndRefresh) {
    RunTable({
        {"brq_interface.saveLogin('player', 'secret')", true, {"saveLogin|player|secret"}},
        {"brq_interface.saveLogin('player', 42)", true, {"saveLogin|player|42"}},
        {"brq_interface.saveLogin(42, 'secret')", true, {"saveLogin|42|secret"}},
        {"brq_interface.saveLogin(1, 2)", false, {}},
        {"brq_interface.saveLogin('player')", false, {}},
        {"brq_interface.clearLogin()", true, {"clearLogin"}},
        {"brq_interface.clearLogin(1, 'x', null)", true, {"clearLogin"}},
        {"brq_interface.saveAuthToken('tok')", true, {"saveAuthToken|tok"}},
        {"brq_interface.saveAuthToken(12345)", false, {}},
        {"brq_interface.saveAuthToken()", false, {}},
        {"brq_interface.clearAuthToken('x')", true, {"clearAuthToken"}},
        {"brq_interface.showBrowser('http://127.0.0.1:39999/help')", true, {"open|http://127.0.0.1:39999/help"}},
        {"brq_interface.showBrowser()", false, {}},
        {"brq_interface.showBrowser({})", false, {}},
        {"brq_interface.refreshInterface()", true, {"refreshInterface"}},
        {"brq_interface.refreshInterface('x', 2)", true, {"refreshInterface"}},
    });
}

TEST_F(UiBindingHandlerTest, BadTextAndHugeArgumentsAreRefused) {
    RunTable({
        {"brq_interface.download('\\ud800 lone')", false, {}},
        {"brq_interface.trackEvent('c', 'a', 'l', '\\udc00')", true, {"trackEvent|c|a|l"}},  // not read
        {"brq_interface.download('x'.repeat(1048576))", true, {"download|" + std::string(1048576, 'x')}},
        {"brq_interface.download('x'.repeat(1048577))", false, {}},
        {"brq_interface.clearLogin('y'.repeat(1048577))", false, {}},
        {"brq_interface.download('\\u00e9'.repeat(524289))", false, {}},  // 1 MiB + 2 bytes in UTF-8
    });
}

TEST_F(UiBindingHandlerTest, FramesInsideThePageHaveTheBridgeToo) {
    size_t logged = harness->owner.log.size();
    harness->Run("document.querySelector('iframe').contentWindow.postMessage('From Frame', '*')");
    ASSERT_TRUE(harness->WaitForCalls(1));
    EXPECT_EQ(harness->LogFrom(logged), std::vector<std::string>{"download|From Frame"});
}

TEST_F(UiBindingHandlerTest, PopupsOpenInTheUsersBrowserAndKeepThePage) {
    harness->Run(
        "var a = document.createElement('a'); a.href = 'http://127.0.0.1:39999/linked'; a.target = '_blank';"
        "document.body.appendChild(a); a.click();"
        "window.open('http://127.0.0.1:39999/opened?x=1');"
        "window.open('relative.html');"
        "window.open();"
        "brq_interface.refreshInterface();");
    ASSERT_TRUE(harness->WaitForCalls(1));
    GuiSession::RunFor(300);  // the link's new-window request comes from WebKit itself
    std::vector<std::string> opened;
    for (const std::string& line : harness->owner.log)
        if (line.rfind("open|", 0) == 0)
            opened.push_back(line);
    std::sort(opened.begin(), opened.end());
    EXPECT_EQ(opened, (std::vector<std::string>{"open|http://127.0.0.1:39999/linked",
                                                "open|http://127.0.0.1:39999/opened?x=1"}));
    EXPECT_TRUE(harness->owner.client->IsPageLoaded());
    // The page still answers.
    harness->Run("brq_interface.download('after')");
    ASSERT_TRUE(harness->WaitForCalls(2));
    EXPECT_EQ(harness->owner.log.back(), "download|after");
}

}  // namespace

namespace {

// A link to something the view cannot show downloads nothing and leaves the page.
TEST_F(UiBindingHandlerTest, NothingIsDownloadedFromThePage) {
    env->WriteFile("program/setup.zip", std::string(4096, '\x7f'));
    harness->Run("location.href = 'setup.zip'");
    GuiSession::RunFor(1500);
    harness->Run("brq_interface.download(location.pathname)");
    ASSERT_TRUE(harness->WaitForCalls(1));
    EXPECT_EQ(harness->owner.log.back(), "download|" + env->Path("program/brq_interface.html"));
    EXPECT_TRUE(harness->errorTexts.empty());
    EXPECT_EQ(harness->owner.pageLoads, 1);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(env->Path("home")))
        EXPECT_EQ(entry.path().filename().string().find("setup"), std::string::npos) << entry.path();
}

}  // namespace
