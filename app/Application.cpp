#include "app/Application.h"

#include <cstdio>
#include <unistd.h>

#include <curl/curl.h>
#include <wx/cmdline.h>
#include <wx/image.h>
#include <wx/msgout.h>
#include <wx/splash.h>

#include "app/CommandLine.h"
#include "app/GuiExitRequester.h"
#include "app/SingleInstance.h"
#include "core/ExitRequester.h"
#include "core/PageCallSink.h"
#include "core/diagnostics/CrashHandler.h"
#include "core/diagnostics/Diagnostics.h"
#include "core/settings/ConfigManager.h"
#include "core/settings/CredentialManager.h"
#include "core/settings/Prefs.h"
#include "core/system/ProcessList.h"
#include "core/system/SystemPaths.h"
#include "core/telemetry/EventTask.h"
#include "core/text/MessageDisplay.h"
#include "core/text/Messages.h"
#include "core/threads/TaskManager.h"
#include "games/catalogue/GameMonitor.h"
#include "games/catalogue/ManifestManager.h"
#include "games/downloads/HttpTransfer.h"
#include "games/downloads/TransferManager.h"
#include "platform/Log.h"
#include "platform/browser/Browser.h"
#include "ui/ActivityLog.h"
#include "ui/AutoStartRequest.h"
#include "ui/MainFrame.h"
#include "ui/NativeMessageBox.h"
#include "ui/ProgramResources.h"
#include "ui/StatusNotifierIcon.h"
#include "ui/SystemTrayIcon.h"
#include "ui/UiScript.h"
#include "ui/WindowActivation.h"
#include "ui/WxFolderDialog.h"

Application* Application::instance = nullptr;

namespace {

std::string TrayTooltip() {
    return std::string(Application::kProductName) + " v" + std::to_string(QUOR_BUILD_NUMBER);
}

// The plain name first, then the one for the interface language.
wxBitmap LoadSplashBitmap() {
    for (std::string name :
         {std::string("IDB_BITMAP_SPLASH_SCREEN"),
          "IDB_BITMAP_" + wxString(ConfigManager::GetLanguage()).Upper().utf8_string() + "_SPLASH_SCREEN"}) {
        if (ResourceExists(name))
            return LoadResourceBitmap(name);
    }
    ShowLastError(ENOENT);
    return wxBitmap();
}

std::vector<StatusNotifierIcon::Entry> BusIconEntries(wxMenu& menu) {
    std::vector<StatusNotifierIcon::Entry> entries;
    for (wxMenuItem* item : menu.GetMenuItems())
        entries.push_back(item->IsSeparator()
                              ? StatusNotifierIcon::Entry{-1, ""}
                              : StatusNotifierIcon::Entry{item->GetId(), item->GetItemLabelText().utf8_string()});
    return entries;
}

}  // namespace

Application::Application() : timer(this, kTimerId) {
    CrashHandler::Install(CrashHandler::DefaultDumpPath());
    instance = this;
    curl_global_init(CURL_GLOBAL_ALL);
    wxImage::AddHandler(new wxPNGHandler());
    // Usage texts and toolkit messages go to standard error, never into a dialog.
    delete wxMessageOutput::Set(new wxMessageOutputStderr());

    // The page calls of core/ and games/, and the ends they may ask for.
    pageCalls = std::make_unique<UiScript>();
    PageCallSink::Install(pageCalls.get());
    exitRequester = std::make_unique<GuiExitRequester>(*this, [](int messageId) {
        if (Application* app = Application::Get())
            app->EndWithMessage(messageId);
    });
    ExitRequester::Install(exitRequester.get());
    folderDialog = std::make_unique<WxFolderDialog>();
    CreateManagers();
}

Application::~Application() {
    showWindowEvent.reset();
    // The transfer and monitor threads run from construction and reach the other
    // managers: every worker is joined before the first manager goes, the task
    // queue last, since the others queue into it.
    gameMonitor->Stop();
    StopThreads();
    instance = nullptr;
    ExitRequester::Install(nullptr);
    PageCallSink::Install(nullptr);
    DestroyManagers();
    curl_global_cleanup();
}

void Application::CreateManagers() {
    configManager = std::make_unique<ConfigManager>();
    TransferSettings transferSettings;
    transferSettings.folderDialog = folderDialog.get();
    transferManager = std::make_unique<TransferManager>(transferSettings);  // its thread starts here
    taskManager = std::make_unique<TaskManager>();
    manifestManager = std::make_unique<ManifestManager>();
    gameMonitor = std::make_unique<GameMonitor>();  // its thread starts here
    credentialManager = std::make_unique<CredentialManager>();
}

void Application::StartTaskQueue() {
    taskManager->Start();
}

void Application::StartManifestThread() {
    manifestManager->Start();
}

bool Application::IsUpdateRefused(const std::string& address) {
    return refusedUpdates.count(address) > 0;
}

void Application::RefuseUpdate(const std::string& address) {
    refusedUpdates.insert(address);
}

void Application::DestroyManagers() {
    // Not the reverse of their creation: the queue first, the monitor late.
    taskManager.reset();
    transferManager.reset();
    configManager.reset();
    manifestManager.reset();
    gameMonitor.reset();
    credentialManager.reset();
}

void Application::OnInitCmdLine(wxCmdLineParser& parser) {
    CommandLine::Declare(parser);
}

bool Application::OnCmdLineParsed(wxCmdLineParser& parser) {
    CommandLine::Request request;
    std::string error;
    if (!CommandLine::Read(parser, request, error)) {
        parser.Usage();
        Log::Plain(error);
        return false;  // nothing stored
    }
    if (request.uninstall)
        ExitProcess(0);
    autoStartGameName = request.hasGame ? request.game : std::string();
    Prefs::SetString("AutoStartGame", autoStartGameName);
    autoStartGameId = request.hasGameId ? request.gameId : 0;
    Prefs::SetNumber("AutoStartGameId", static_cast<uint32_t>(autoStartGameId));
    if (request.silent)
        configManager->startHidden = true;
    return true;
}

bool Application::OnInit() {
    if (!wxApp::OnInit())
        return false;

    if (SingleInstance::IsSecond()) {
        // The request went into the auto-start values above; the first instance
        // picks it up when it sees the event.
        if (!configManager->startHidden) {
            // The first instance brings its window forward with this start's activation.
            platform::FlagEvent show(SingleInstance::ShowWindowEventPath());
            std::string token = SingleInstance::StartupToken();
            if (!(token.empty() ? show.Set() : show.SetWithText(token)))
                Log::Error("the running instance cannot be signalled through \"%s\"", show.Path().c_str());
        }
        SingleInstance::MarkHandedOver();
        return false;
    }
    showWindowEvent = std::make_unique<platform::FlagEvent>(SingleInstance::ShowWindowEventPath());
    showWindowEvent->Create();
    SingleInstance::MarkReady();

    wxSplashScreen* splash = nullptr;
    if (!configManager->startHidden) {
        wxBitmap bitmap = LoadSplashBitmap();
        if (bitmap.IsOk()) {
            splash = new wxSplashScreen(bitmap, wxSPLASH_CENTRE_ON_SCREEN | wxSPLASH_NO_TIMEOUT, 50000, nullptr,
                                        wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                        wxBORDER_NONE | wxFRAME_NO_TASKBAR | wxSTAY_ON_TOP);
            Yield(true);
        }
    }

    mainFrame = new MainFrame(kProductName, this,
                              {.config = configManager.get(),
                               .transfers = transferManager.get(),
                               .tasks = taskManager.get(),
                               .manifest = manifestManager.get(),
                               .monitor = gameMonitor.get(),
                               .credentials = credentialManager.get()});
    trayIcon = new SystemTrayIcon();
    mainFrame->Bind(wxEVT_CLOSE_WINDOW, &Application::OnMainFrameClose, this);
    trayIcon->Bind(wxEVT_TEXT_COPY, &Application::OnTrayRestore, this);
    trayIcon->Bind(wxEVT_TEXT_CUT, &Application::OnTrayExit, this);
    trayIcon->Bind(wxEVT_TEXT_PASTE, &Application::OnTrayDiagnostics, this);
    // The panel's choice and click take the tray icon's own handlers: the same
    // telemetry, the same commands to the application.
    busIcon = new StatusNotifierIcon(
        BusIconEntries(trayIcon->Menu()),
        [this](int id) {
            wxCommandEvent event(wxEVT_MENU, id);
            trayIcon->OnMenuClick(event);
        },
        [this] {
            wxTaskBarIconEvent event(wxEVT_TASKBAR_LEFT_DOWN, trayIcon);
            trayIcon->OnMaximize(event);
        });

    if (!autoStartGameName.empty())
        mainFrame->StartGameByName(autoStartGameName);
    if (autoStartGameId != 0)
        mainFrame->StartGameById(autoStartGameId);

    Bind(wxEVT_TIMER, &Application::OnTimer, this, kTimerId);
    timer.Start(500);

    manifestManager->FetchManifest(*configManager);

    if (configManager->startHidden) {
        HideToTray();
    } else {
        if (splash)
            splash->Destroy();
        if (autoStartGameName.empty() && autoStartGameId == 0)
            RestoreMainWindow();
        else
            HideToTray();  // a start for a game stays in the notification area
    }
    return true;
}

int Application::FilterEvent(wxEvent& event) {
    // Keyboard focus never moves between controls.
    if (event.IsKindOf(wxCLASSINFO(wxNavigationKeyEvent)))
        return Event_Ignore;
    return Event_Skip;
}

void Application::OnTimer(wxTimerEvent&) {
    if (!showWindowEvent || !showWindowEvent->IsSet())
        return;
    std::string activation = SingleInstance::ValidStartupToken(showWindowEvent->Text());
    showWindowEvent->Reset();
    RestoreMainWindow(activation);
    AutoStartRequest request = AutoStartRequest::Take();
    if (!request.name.empty())
        mainFrame->StartGameByName(request.name);
    else if (request.id != 0)
        mainFrame->StartGameById(request.id);
}

void Application::HideToTray() {
    TaskManager::Queue(std::make_unique<EventTask>("SystemTrayIcon", "OnMinimize", ""));
    // Asked at every hide, so a panel started after the program is used.
    if (StatusNotifierIcon::WatcherPresent()) {
        mainFrame->Hide();
        if (trayIcon->IsIconInstalled())
            trayIcon->RemoveIcon();
        busIcon->Show(GetProgramDirectory() + "resources", "IDI_ICON1", TrayTooltip());
        ActivityLog::Append("hide");
        return;
    }
    if (!wxTaskBarIcon::IsAvailable()) {
        // No notification area to come back from: the window is minimised instead.
        mainFrame->Show();
        mainFrame->Iconize(true);
        ActivityLog::Append("iconize");
        return;
    }
    mainFrame->Hide();
    if (busIcon->IsShown())
        busIcon->Remove();
    if (!trayIcon->IsIconInstalled())
        trayIcon->SetIcon(wxBitmapBundle(LoadResourceBitmap("IDI_ICON1")), wxString::FromUTF8(TrayTooltip()));
    ActivityLog::Append("hide");
}

void Application::RestoreMainWindow(const std::string& activation) {
    mainFrame->Show();
    if (mainFrame->IsIconized())
        mainFrame->Iconize(false);
    if (trayIcon->IsIconInstalled())
        trayIcon->RemoveIcon();
    if (busIcon->IsShown())
        busIcon->Remove();
    mainFrame->Restore();
    mainFrame->Raise();
    configManager->startHidden = false;
    ActivityLog::Append("restore");
    if (!activation.empty()) {
        PresentWithActivation(*mainFrame, activation);
        ActivityLog::Append("present " + activation);
    }
}

void Application::StopThreads() {
    manifestManager->Stop();
    transferManager->Stop();
    taskManager->Stop();
}

void Application::Shutdown() {
    // Asked first, so a refused exit leaves the downloads and threads running.
    if (mainFrame->IsAnyGamePatching()) {
        ShowMessage(Msg::ExitWhilePatching);
        ActivityLog::Append("exit-refused");
        return;
    }
    transferManager->StopAll();
    if (trayIcon->IsIconInstalled())
        trayIcon->RemoveIcon();
    if (busIcon->IsShown())
        busIcon->Remove();
    mainFrame->Unbind(wxEVT_CLOSE_WINDOW, &Application::OnMainFrameClose, this);
    StopThreads();
    EndProcess("exit");
}

void Application::EndWithMessage(int messageId) {
    ShowMessage(messageId);
    NativeMessageBox::Current().Show(GetLocalizedString(messageId), kProductName);
    if (messageId == Msg::ManifestUnavailable) {
        transferManager->StopAll();
        StopThreads();
    }
    EndProcess("exit-message " + std::to_string(messageId));
}

void Application::EndProcess(const std::string& why) {
    browser::Browser::Shutdown();
    TerminateProcessesByName("PMB.exe");
    ExitMainLoop();
    ActivityLog::Append(why);
    std::fflush(nullptr);
    ExitProcess(0);
}

void Application::EndProcessNow(int exitCode) {
    ExitProcess(exitCode);
}

void Application::ExitProcess(int exitCode) {
    // Worker threads may still run (the game monitor always does): no static
    // destructor may run under them.
    _exit(exitCode);
}

void Application::OnMainFrameClose(wxCloseEvent& event) {
    if (event.CanVeto())
        event.Veto();
    HideToTray();
}

void Application::OnTrayRestore(wxCommandEvent&) {
    RestoreMainWindow();
}

void Application::OnTrayExit(wxCommandEvent&) {
    Shutdown();
}

void Application::OnTrayDiagnostics(wxCommandEvent&) {
    RestoreMainWindow();
    ActivityLog::Append("diagnostics");
    ShowDiagnostics(TakeDiagnosticSnapshot());
}

DiagnosticSnapshot Application::TakeDiagnosticSnapshot() {
    DiagnosticSnapshot snapshot;
    snapshot.manifestVersion = manifestManager->GetManifestVersion();
    snapshot.serviceBaseUrl = configManager->ServiceBaseUrl();
    for (const PanelSnapshot& panel : mainFrame->GetGamePanels()) {
        snapshot.games.push_back({panel.gameName, ToNumber(panel.state), panel.packageUrl, panel.installPath,
                                  static_cast<int32_t>(TransferManager::LoadDownloadState(panel.packageUrl)),
                                  TransferManager::LoadSaveDirectory(panel.packageUrl)});
    }
    // The GUI thread may remove a transfer at any tick: copied under the lock.
    std::lock_guard<std::recursive_mutex> guard(transferManager->Lock());
    for (HttpTransfer* transfer : transferManager->GetTransfers()) {
        snapshot.transfers.push_back({transfer->GetAddress(), transfer->GetSaveDirectory(),
                                      transfer->GetCurrentFileName(), transfer->GetUrls()});
    }
    return snapshot;
}
