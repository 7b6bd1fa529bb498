#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <wx/frame.h>
#include <wx/timer.h>

#include "core/ManifestEntry.h"
#include "platform/browser/Browser.h"
#include "platform/browser/RefPtr.h"
#include "ui/BridgeOwner.h"
#include "ui/FrameOwner.h"
#include "ui/SystemBoardSources.h"
#include "ui/UiScript.h"
#include "ui/panels/PanelBoard.h"
#include "ui/panels/PanelSnapshot.h"
#include "ui/panels/SystemPanelHost.h"

class ClientHandler;
class ConfigManager;
class CredentialManager;
class GameCommandTarget;
class GameMonitor;
class ManifestManager;
class SystemPanelServices;
class TaskManager;
class TransferManager;

// The launcher's one top-level window: fixed size, its whole client area the
// embedded browser on the start page "brq_interface.html" of the program
// folder. It owns the browser client, the game panels with the table of
// downloads the page asked for (PanelBoard), the 500 ms refresh timer and the
// page-loaded flag the timer consumes; the page's calls reach the program
// through it (BridgeOwner), and the panels reach the window through it
// (PanelHost). GUI thread only.
class MainFrame : public wxFrame, public BridgeOwner, public SystemPanelHost {
public:
    static constexpr int kTimerId = 2;
    static constexpr int kWidth = 901;
    static constexpr int kHeight = 601;

    // The managers the panels, the board and the host work on; each nullptr
    // where there is none (a window built by a test), and each outlives the window.
    struct Managers {
        ConfigManager* config = nullptr;
        TransferManager* transfers = nullptr;
        TaskManager* tasks = nullptr;
        ManifestManager* manifest = nullptr;
        GameMonitor* monitor = nullptr;
        CredentialManager* credentials = nullptr;
    };

    // Without managers: as a test builds it.
    explicit MainFrame(const wxString& title, FrameOwner* owner = nullptr);
    MainFrame(const wxString& title, FrameOwner* owner, const Managers& managers);
    ~MainFrame() override;

    void OnSize(wxSizeEvent& event);
    void OnTimer(wxTimerEvent& event);

    bool IsAnyGamePatching();
    void StartGameById(int32_t id);
    void StartGameByName(const std::string& name);
    // Copies of the panels, taken on the GUI thread, for whoever reads them elsewhere.
    std::vector<PanelSnapshot> GetGamePanels() const;
    const std::string& StartPageUrl() const { return startPageUrl; }
    browser::RefPtr<browser::Browser> GetBrowser() const { return browser; }
    // The downloads the page asked for and the timer has not started yet.
    std::vector<std::string> PendingDownloads() const;

    // BridgeOwner
    browser::RefPtr<ClientHandler> GetClientHandler() override;
    void SetPageLoaded() override { pageLoaded = true; }
    void PageCaughtUp() override { UiScript::DeliverPending(); }
    std::string GetStartPageUrl() override { return startPageUrl; }
    void QueueDownload(const std::string& game) override;
    GameCommandTarget* FindGame(const std::string& game) override;
    void OpenInBrowser(const std::string& address) override;
    void QueueTrackEvent(const std::string& category, const std::string& action, const std::string& label) override;
    void SaveLogin(const std::string& loginName, const std::string& password) override;
    void ClearLogin() override;
    void SaveAuthToken(const std::string& token) override;
    void ClearAuthToken() override;
    void RefreshInterface() override;

    // PanelHost (the rest is SystemPanelHost's)
    void ShowWindow() override;
    void CloseForUpdate() override;
    void ExitForUpdate() override;
    bool IsUpdateRefused(const std::string& address) override;
    void RefuseUpdate(const std::string& address) override;

private:
    // The tick after every completed load of the start page.
    void OnManifestReady();

    browser::RefPtr<ClientHandler> clientHandler;
    browser::RefPtr<browser::Browser> browser;
    wxTimer refreshTimer;
    std::atomic<bool> pageLoaded{false};
    FrameOwner* owner;  // nullable: a window built by a test has none
    bool threadsStarted = false;
    // A folder dialog or a message box runs a nested event loop, in which the
    // timer fires again: that tick must not run inside the one that opened it.
    bool inTick = false;
    std::string startPageUrl;

    UiScript pageCalls;
    SystemBoardSources boardSources;
    std::unique_ptr<SystemPanelServices> panelServices;
    std::unique_ptr<PanelBoard> board;  // before the services it uses go
};
