#include <gtest/gtest.h>

#include "ui/PageCallText.h"

namespace {

using namespace PageCallText;

struct TextCase {
    const char* what;
    std::string text;
    const char* expected;
};

// Every page method once, with the edge cases of the texts' form.
TEST(PageCallText, TheTwentyThreeMethods) {
    const TextCase cases[] = {
        {"checkForValidSession", CheckForValidSession(), "$('#main-content').brq('checkForValidSession');"},
        {"clearGamePanels", ClearGamePanels(), "$('#main-content').brq('clearGamePanels');"},
        {"updateProgress", UpdateProgress(3, "42%  (120 KB/s)", 1200, 5000, 120, "bin/game.dat"),
         "$('#main-content').brq('updateProgress', 3, '42%  (120 KB/s)', 1200, 5000, 120, 'bin/game.dat');"},
        {"addCancelToProgress", AddCancelToProgress(4), "$('#main-content').brq('addCancelToProgress', 4);"},
        {"addPauseToProgress", AddPauseToProgress(4), "$('#main-content').brq('addPauseToProgress', 4);"},
        {"startProgress for 7", StartProgress(7), "$('#main-content').brq('startProgress', 7);"},
        {"setGamePanelState 2/11", SetGamePanelState(2, 11), "$('#main-content').brq('setGamePanelState', 2, '11');"},
        {"clickPanel", ClickPanel(12), "$('#main-content').brq('clickPanel', 12);"},
        {"clickGameButton", ClickGameButton(12), "$('#main-content').brq('clickGameButton', 12);"},
        {"setAllGamesUrl", SetAllGamesUrl("http://127.0.0.1:8731/games"),
         "$('#main-content').brq('setAllGamesUrl', 'http://127.0.0.1:8731/games');"},
        {"setGameUrl", SetGameUrl("http://127.0.0.1:8731/game?id=3&x=1"),
         "$('#main-content').brq('setGameUrl', 'http://127.0.0.1:8731/game?id=3&x=1');"},
        {"addGamePanel with an empty banner",
         AddGamePanel("Space Game", "", "http://h/sg", false, 5, true, 17, "http://h/i.png"),
         "$('#main-content').brq('addGamePanel','Space Game', '', 'http://h/sg', 0, 5, 1, 17,'http://h/i.png');"},
        {"addGamePanel flags the other way", AddGamePanel("G", "b.png", "", true, 0, false, 0, ""),
         "$('#main-content').brq('addGamePanel','G', 'b.png', '', 1, 0, 0, 0,'');"},
        {"trackEvent with -1", TrackEvent("GamePanel", "OnPlayClick", "Space Game", -1),
         "$('#main-content').brq('trackEvent', 'GamePanel', 'OnPlayClick', 'Space Game', -1);"},
        {"trackEvent with the extremes", TrackEvent("", "", "", -2147483647 - 1),
         "$('#main-content').brq('trackEvent', '', '', '', -2147483648);"},
        {"setUniqueId", SetUniqueId("a1b2c3"), "$('#main-content').brq('setUniqueId', 'a1b2c3');"},
        {"enableDebugMode", EnableDebugMode(), "$('#main-content').brq('enableDebugMode');"},
        {"trackPageView", TrackPageView("", "1.4"), "$('#main-content').brq('trackPageView', '', '1.4');"},
        {"setManifestVersion", SetManifestVersion("1.4"), "$('#main-content').brq('setManifestVersion', '1.4');"},
        {"onFileDialogClose", OnFileDialogClose(), "$('#main-content').brq('onFileDialogClose', '');"},
        {"setSavedLogin: password first", SetSavedLogin("secret", "player1"),
         "$('#main-content').brq('setSavedLogin', 'secret', 'player1');"},
        {"setAuthToken", SetAuthToken("tok-123"), "$('#main-content').brq('setAuthToken', 'tok-123');"},
        {"onFileDialogOpen", OnFileDialogOpen(), "$('#main-content').brq('onFileDialogOpen', '');"},
        {"showMessage", ShowMessage("Failed to start timer."),
         "$('#main-content').brq('showMessage', 'Failed to start timer.', 1);"},
        {"showMessage empty", ShowMessage(""), "$('#main-content').brq('showMessage', '', 1);"},
        {"displayDiagnostics", DisplayDiagnostics("Build: 31680<br>Manifest: 1.4"),
         "$('#main-content').brq('displayDiagnostics', 'Build: 31680<br>Manifest: 1.4');"},
        {"displayDiagnostics empty", DisplayDiagnostics(""), "$('#main-content').brq('displayDiagnostics', '');"},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(c.text, c.expected) << c.what;
}

struct EscapeCase {
    const char* what;
    std::string input;
    std::string expected;
};

TEST(PageCallText, StringsAreJavaScriptLiterals) {
    const EscapeCase cases[] = {
        {"plain ASCII is unchanged", "Space Game 2: \"Return\" <b>&amp;</b> % $ /",
         "Space Game 2: \"Return\" <b>&amp;</b> % $ /"},
        {"UTF-8 text is unchanged", "Öffnen Aç Português 游戏 🎮", "Öffnen Aç Português 游戏 🎮"},
        {"single quote", "it's", "it\\'s"},
        {"backslash", "C:\\Games\\", "C:\\\\Games\\\\"},
        {"backslash before a quote", "\\'", "\\\\\\'"},
        {"line breaks", "a\nb\r\nc", "a\\nb\\r\\nc"},
        {"tab", "a\tb", "a\\tb"},
        {"other control characters",
         std::string("a\x01"
                     "b\x1f"
                     "c\x7f",
                     6),
         "a\\u0001b\\u001fc\\u007f"},
        {"NUL", std::string("a\0b", 3), "a\\u0000b"},
        {"C1 control", "a\xc2\x85z", "a\\u0085z"},
        {"line and paragraph separators",
         "a\xe2\x80\xa8"
         "b\xe2\x80\xa9"
         "c",
         "a\\u2028b\\u2029c"},
        {"a lone continuation byte", "a\x80z", "a\xef\xbf\xbdz"},
        {"a truncated sequence at the end", "ab\xe6\xb8", "ab\xef\xbf\xbd\xef\xbf\xbd"},
        {"an overlong slash", "\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd"},
        {"an encoded surrogate", "\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {"above U+10FFFF", "\xf4\x90\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {"Latin-1 bytes", "caf\xe9", "caf\xef\xbf\xbd"},
        {"an attempt to end the literal", "'); alert(1); ('", "\\'); alert(1); (\\'"},
    };
    for (const EscapeCase& c : cases)
        EXPECT_EQ(EscapeJsString(c.input), c.expected) << c.what;
}

// Texts with line breaks (the messages that end the program) reach the page in one line.
TEST(PageCallText, EscapedCallsStayOnOneLine) {
    std::string text = ShowMessage("Failed to open configuration file.\n\nProgram cannot continue.");
    EXPECT_EQ(text,
              "$('#main-content').brq('showMessage', 'Failed to open configuration file.\\n\\n"
              "Program cannot continue.', 1);");
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(TrackEvent("Error", "it's", "a\\b", 0),
              "$('#main-content').brq('trackEvent', 'Error', 'it\\'s', 'a\\\\b', 0);");
}

}  // namespace
