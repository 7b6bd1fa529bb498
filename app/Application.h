#pragma once
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include <wx/app.h>
#include <wx/timer.h>

#include "core/diagnostics/DiagnosticSnapshot.h"
#include "platform/FlagEvent.h"
#include "ui/FrameOwner.h"

class wxCmdLineParser;
class ConfigManager;
class CredentialManager;
class WxFolderDialog;
class GameMonitor;
class GuiExitRequester;
class MainFrame;
class ManifestManager;
class StatusNotifierIcon;
class SystemTrayIcon;
class TaskManager;
class TransferManager;
class UiScript;

// The application object: creates the managers that last for the whole run,
// decides whether this start is the user's first instance or a second one that
// hands its request over, answers hand-overs on a 500 ms timer, hides the
// window to the notification area instead of closing it, and ends the program.
// Everything here runs on the GUI thread.
class Application : public wxApp, public FrameOwner {
public:
    static constexpr int kTimerId = 1;
    static constexpr const char* kProductName = "Brindlemoor Quor!";

    Application();
    ~Application() override;

    static Application* Get() { return instance; }

    bool OnInit() override;
    void OnInitCmdLine(wxCmdLineParser& parser) override;
    bool OnCmdLineParsed(wxCmdLineParser& parser) override;
    int FilterEvent(wxEvent& event) override;
    virtual void OnTimer(wxTimerEvent& event);

    void HideToTray();
    // activation: the startup id or activation token a second start handed over.
    void RestoreMainWindow(const std::string& activation = {});
    void Shutdown();
    // The end of a road that cannot go on (messages 6, 7 and 10): the message in
    // the page and in a message box, then the program's own wind-down and exit 0.
    void EndWithMessage(int messageId);

    // FrameOwner: the threads of the first page load, in this order.
    void StartTaskQueue() override;
    void StartManifestThread() override;
    bool IsUpdateRefused(const std::string& address) override;
    void RefuseUpdate(const std::string& address) override;
    // The one end of the process, for every road (each writes its own log line first).
    [[noreturn]] void EndProcessNow(int exitCode) override;
    [[noreturn]] static void ExitProcess(int exitCode);

private:
    void OnMainFrameClose(wxCloseEvent& event);
    void OnTrayRestore(wxCommandEvent& event);
    void OnTrayExit(wxCommandEvent& event);
    void OnTrayDiagnostics(wxCommandEvent& event);
    DiagnosticSnapshot TakeDiagnosticSnapshot();
    // The transfer manager's and the game monitor's threads start in their
    // constructors, here; the first page load starts the other two.
    void CreateManagers();
    // The wind-down: the threads stop, then the managers go, in this order.
    void StopThreads();
    void DestroyManagers();
    [[noreturn]] void EndProcess(const std::string& why);

    static Application* instance;

    MainFrame* mainFrame = nullptr;
    SystemTrayIcon* trayIcon = nullptr;
    // The same icon and menu on the session bus, for panels without an XEmbed tray.
    StatusNotifierIcon* busIcon = nullptr;
    wxTimer timer;
    std::unique_ptr<platform::FlagEvent> showWindowEvent;
    std::string autoStartGameName;
    int32_t autoStartGameId = 0;
    // Updates whose installer cannot start: refused once, for the whole run.
    std::set<std::string> refusedUpdates;

    std::unique_ptr<UiScript> pageCalls;
    std::unique_ptr<GuiExitRequester> exitRequester;
    std::unique_ptr<WxFolderDialog> folderDialog;
    // Each one's Instance() is the object here, from its construction to its reset.
    std::unique_ptr<ConfigManager> configManager;
    std::unique_ptr<TransferManager> transferManager;
    std::unique_ptr<TaskManager> taskManager;
    std::unique_ptr<ManifestManager> manifestManager;
    std::unique_ptr<GameMonitor> gameMonitor;
    std::unique_ptr<CredentialManager> credentialManager;
};
