#pragma once
#include <cstdint>
#include <string>

#include "core/PageCallSink.h"
#include "platform/browser/RefPtr.h"
#include "ui/panels/PanelPageCalls.h"

class UiBindingHandler;

// The program's calls into the page: one builder per page method (the texts of
// PageCallText) and Run, which hands a text to the page. Builders may be called
// on any thread; the texts reach the page on the GUI thread in the order they
// were made, and whether a call is dropped (no script context, no owner, page
// not loaded) is decided when it is delivered. While the page has not run what
// it was given (ClientHandler::IsPageBehind), calls wait here, where a newer
// clearGamePanels drops the waiting calls it makes void: with a page slower
// than the rebuilds of the panels, what waits is the newest rebuild's calls and
// those that outlive the panels. Every call is written to the page-call log,
// delivered or dropped. As the
// process-wide page-call sink it serves core/ and games/, and as the panels'
// page calls the game panels, both through the current binding handler.
class UiScript : public PageCallSink, public PanelPageCalls {
public:
    using Handler = browser::RefPtr<UiBindingHandler>;

    // How a call that still waits for the page meets a newer clearGamePanels,
    // which every rebuild of the panels begins with and follows with all that
    // the panels show.
    enum class Scope {
        Page,         // kept: what it does outlives the panels
        Panel,        // dropped: it shows a panel (or what its construction sends)
        PanelButton,  // kept, and the panel calls before it too: it presses a panel's button
        Clear,        // clearGamePanels: drops the waiting panel calls and clears
    };

    static void Run(const Handler& handler, const std::string& script, Scope scope = Scope::Page);
    // Delivers the calls still waiting, until the page falls behind; called on
    // the GUI thread.
    static void DeliverPending();

    static void CheckForValidSession(const Handler& handler);
    static void ClearGamePanels(const Handler& handler);
    static void UpdateProgress(const Handler& handler, int32_t gameId, const std::string& status, int32_t done,
                               int32_t total, int32_t speed, const std::string& record);
    static void AddCancelToProgress(const Handler& handler, int32_t gameId);
    static void AddPauseToProgress(const Handler& handler, int32_t gameId);
    static void StartProgress(const Handler& handler, int32_t gameId);
    static void SetGamePanelState(const Handler& handler, int32_t gameId, int32_t state);
    static void ClickPanel(const Handler& handler, int32_t gameId);
    static void ClickGameButton(const Handler& handler, int32_t gameId);
    static void SetAllGamesUrl(const Handler& handler, const std::string& address);
    static void SetGameUrl(const Handler& handler, const std::string& address);
    static void AddGamePanel(const Handler& handler, const std::string& name, const std::string& banner,
                             const std::string& homePage, bool flag, int32_t gameId, bool loginRequired,
                             int32_t timesPlayed, const std::string& iconUrl);
    static void TrackEvent(const Handler& handler, const std::string& category, const std::string& action,
                           const std::string& label, int32_t value);
    static void SetUniqueId(const Handler& handler, const std::string& serial);
    static void EnableDebugMode(const Handler& handler);
    static void TrackPageView(const Handler& handler, const std::string& first, const std::string& second);
    static void SetManifestVersion(const Handler& handler, const std::string& version);
    static void OnFileDialogClose(const Handler& handler);
    static void SetSavedLogin(const Handler& handler, const std::string& password, const std::string& loginName);
    static void SetAuthToken(const Handler& handler, const std::string& token);
    static void OnFileDialogOpen(const Handler& handler);
    static void ShowMessage(const Handler& handler, const std::string& text);
    static void DisplayDiagnostics(const Handler& handler, const std::string& report);

    // PageCallSink (setSavedLogin and setAuthToken serve PanelPageCalls too)
    void showMessage(const std::string& text) override;
    void trackEvent(const std::string& category, const std::string& action, const std::string& label,
                    int value) override;
    void trackPageView(const std::string& first, const std::string& second) override;
    void checkForValidSession() override;
    void setManifestVersion(const std::string& version) override;
    void setSavedLogin(const std::string& password, const std::string& loginName) override;
    void setAuthToken(const std::string& token) override;
    void onFileDialogOpen() override;
    void onFileDialogClose() override;
    void displayDiagnostics(const std::string& report) override;

    // PanelPageCalls
    void clearGamePanels() override;
    void addGamePanel(const std::string& name, const std::string& banner, const std::string& homePage, bool flag,
                      int32_t gameId, bool loginRequired, int32_t timesPlayed, const std::string& iconUrl) override;
    void setGamePanelState(int32_t gameId, int32_t state) override;
    void startProgress(int32_t gameId) override;
    void addPauseToProgress(int32_t gameId) override;
    void addCancelToProgress(int32_t gameId) override;
    void updateProgress(int32_t gameId, const std::string& status, int32_t done, int32_t total, int32_t speed,
                        const std::string& recordText) override;
    void clickPanel(int32_t gameId) override;
    void clickGameButton(int32_t gameId) override;
};
