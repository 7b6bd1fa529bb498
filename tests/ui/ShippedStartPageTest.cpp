// The start page that ships beside the program, in the real web view with the
// program's own bridge: the launcher's script texts drive it, and what the page
// calls back reaches the panels.
#include <gtest/gtest.h>

#include "tests/fixtures/TestEnvironment.h"
#include "tests/ui/PageHarness.h"
#include "ui/StartPageAddress.h"

namespace {

const std::string kProgramFolder = QUOR_BINARY_DIR "/app/";

class ShippedStartPageTest : public testing::Test {
protected:
    void SetUp() override {
        harness.owner.AddPanel("Space Game", PanelState::Downloaded);
        harness.owner.AddPanel("Rowing", PanelState::Ready);
        harness.Open(ProgramFolderAddress(kProgramFolder) + "brq_interface.html?lang=en&skin=0&brqVersion=31680",
                     kProgramFolder);
        ASSERT_TRUE(harness.WaitForPageLoads(1));
    }
    // Runs script texts and waits for the page's calls that they cause.
    std::vector<std::string> Calls(const std::string& script, size_t expected) {
        size_t answered = harness.answers.size();
        size_t logged = harness.owner.log.size();
        harness.Run(script);
        EXPECT_TRUE(harness.WaitForCalls(answered + expected)) << script;
        for (size_t i = answered; i < harness.answers.size(); ++i)
            EXPECT_EQ(harness.answers[i].substr(harness.answers[i].find('=') + 1), "true") << harness.answers[i];
        return harness.LogFrom(logged);
    }

    TestEnvironment env;
    PageHarness harness;
};

TEST_F(ShippedStartPageTest, TilesPressTheirButtonsThroughTheBridge) {
    std::vector<std::string> log = Calls(
        "$('#main-content').brq('clearGamePanels');"
        "$('#main-content').brq('setAuthToken', 'tok');"
        "$('#main-content').brq('addGamePanel','Space Game', '', '', 0, 7, 0, 2,'');"
        "$('#main-content').brq('addGamePanel','Rowing', '', 'http://127.0.0.1:1/', 0, 8, 1, 0,'');"
        "$('#main-content').brq('setGamePanelState', 7, '5');"
        "$('#main-content').brq('setGamePanelState', 8, '8');"
        "$('#main-content').brq('clickPanel', 7);"
        "$('#main-content').brq('clickGameButton', 7);"
        "document.querySelector('.brq-tile[data-game-id=\"8\"] .brq-main').click();",
        5);
    EXPECT_EQ(log, (std::vector<std::string>{"Space Game token=tok", "Rowing token=tok", "Space Game install",
                                             "Rowing token=tok", "Rowing play"}));
}

TEST_F(ShippedStartPageTest, MessagesKeepTheirLinesAndTrackingStaysInThePage) {
    std::vector<std::string> log = Calls(
        "$('#main-content').brq('trackEvent', 'GamePanel', 'OnPlayClick', 'Rowing', -1);"
        "$('#main-content').brq('trackPageView', '', 'demo-1');"
        "$('#main-content').brq('onFileDialogOpen', '');"
        "$('#main-content').brq('showMessage', 'Failed to open configuration file.\\n\\nProgram cannot continue.', 1);"
        "brq_interface.trackEvent('probe', document.querySelector('.brq-message-text').textContent,"
        " String(document.querySelector('.brq-message').classList.contains('brq-open') &&"
        " !document.querySelector('.brq-folder-dialog').classList.contains('brq-open')));",
        1);
    EXPECT_EQ(log, (std::vector<std::string>{
                       "trackEvent|probe|Failed to open configuration file.\n\nProgram cannot continue.|true"}));
}

}  // namespace
