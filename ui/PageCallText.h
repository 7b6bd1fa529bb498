#pragma once
#include <cstdint>
#include <string>

// The script texts of the page's 23 methods, each
// "$('#main-content').brq('" + method + "'" + (", " + argument)... + ");".
// Strings go between single quotes, escaped as JavaScript string literals, so
// plain text stays byte for byte as it is and no text can end the literal;
// numbers are signed decimals; booleans 1 or 0. Pure text: no page, no display.
namespace PageCallText {

// The text as the inside of a single-quoted JavaScript literal: backslash,
// single quote, line breaks, U+2028, U+2029 and the other control characters
// escaped; bytes that are not UTF-8 become U+FFFD. Anything else is unchanged.
std::string EscapeJsString(const std::string& text);

std::string CheckForValidSession();
std::string ClearGamePanels();
std::string UpdateProgress(int32_t gameId, const std::string& status, int32_t done, int32_t total, int32_t speed,
                           const std::string& record);
std::string AddCancelToProgress(int32_t gameId);
std::string AddPauseToProgress(int32_t gameId);
std::string StartProgress(int32_t gameId);
std::string SetGamePanelState(int32_t gameId, int32_t state);
std::string ClickPanel(int32_t gameId);
std::string ClickGameButton(int32_t gameId);
std::string SetAllGamesUrl(const std::string& address);
std::string SetGameUrl(const std::string& address);
std::string AddGamePanel(const std::string& name, const std::string& banner, const std::string& homePage, bool flag,
                         int32_t gameId, bool loginRequired, int32_t timesPlayed, const std::string& iconUrl);
std::string TrackEvent(const std::string& category, const std::string& action, const std::string& label, int32_t value);
std::string SetUniqueId(const std::string& serial);
std::string EnableDebugMode();
std::string TrackPageView(const std::string& first, const std::string& second);
std::string SetManifestVersion(const std::string& version);
std::string OnFileDialogClose();
std::string SetSavedLogin(const std::string& password, const std::string& loginName);
std::string SetAuthToken(const std::string& token);
std::string OnFileDialogOpen();
std::string ShowMessage(const std::string& text);
std::string DisplayDiagnostics(const std::string& report);

}  // namespace PageCallText
