#include "ui/MainFrame.h"

#include <memory>

#include "core/ConfigManager.h"
#include "core/CredentialManager.h"
#include "core/EventTask.h"
#include "core/ExitRequester.h"
#include "core/Messages.h"
#include "core/Prefs.h"
#include "core/Shell.h"
#include "core/SystemPaths.h"
#include "core/TaskManager.h"
#include "games/ConfigDocument.h"
#include "games/ManifestManager.h"
#include "ui/ActivityLog.h"
#include "ui/ClientHandler.h"
#include "ui/ProgramResources.h"
#include "ui/StartPageAddress.h"
#include "ui/UiBindingHandler.h"
#include "ui/UiScript.h"

namespace {

constexpr const char* kIdle = "none";

}  // namespace

MainFrame::MainFrame(const wxString& title)
    : wxFrame(nullptr, wxID_ANY, title, wxDefaultPosition, wxDefaultSize,
              wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX, "frame"),
      refreshTimer(this, kTimerId) {
    // A fixed size: one pixel narrower than the window at its full height, so no
    // window manager offers to resize it.
    SetSize(kWidth, kHeight);
    SetClientSize(kWidth, kHeight);
    wxSize outer = GetSize();
    SetMinSize(wxSize(outer.x - 1, outer.y));
    SetMaxSize(wxSize(outer.x - 1, outer.y));
    SetBackgroundColour(wxColour(0, 255, 255));
    wxIcon icon = LoadResourceIcon("IDI_ICON1");
    if (icon.IsOk())
        SetIcon(icon);
    Centre(wxBOTH);
    pageLoaded = false;

    ConfigManager* config = ConfigManager::Instance();
    startPageUrl = StartPageAddress(GetProgramDirectory(), ConfigManager::GetLanguage(),
                                    config && config->GetSkin());

    wxSize client = GetClientSize();
    wxPoint origin = GetClientAreaOrigin();
    clientHandler = browser::RefPtr<ClientHandler>(new ClientHandler(this));
    browser = browser::Browser::CreateBrowser(this, origin.x, origin.y, client.x - 1, client.y - 1,
                                              clientHandler, startPageUrl,
                                              ClientHandler::GetBrowserSettings());

    Bind(wxEVT_TIMER, &MainFrame::OnTimer, this, kTimerId);
    if (!refreshTimer.Start(500))
        ExitRequester::Current().RequestExit(Msg::TimerFailed);
    Bind(wxEVT_SIZE, &MainFrame::OnSize, this);
}

MainFrame::~MainFrame() {
    refreshTimer.Stop();
}

void MainFrame::OnSize(wxSizeEvent&) {
    wxWindow* view = clientHandler ? clientHandler->GetBrowserWindow() : nullptr;
    if (!view)
        return;
    wxSize client = GetClientSize();
    wxPoint origin = GetClientAreaOrigin();
    // Exactly the client area. (Made larger, as a frame on Windows would clip it,
    // GTK draws the page lower and leaves a band of the frame's colour on top.)
    view->SetSize(origin.x, origin.y, client.x, client.y);
}

void MainFrame::OnTimer(wxTimerEvent&) {
    if (pageLoaded.exchange(false))
        OnManifestReady();
    // The game panels' steps of the tick (a fresh manifest, finished downloads,
    // the panels' work, queued downloads, the game disc) come with the panels.
}

void MainFrame::OnManifestReady() {
    ConfigManager* config = ConfigManager::Instance();
    ManifestManager* manifest = ManifestManager::Instance();
    if (config && manifest)
        UiScript::SetUniqueId(ClientHandler::GetGlobalBindingHandler(),
                              manifest->GetMachineSerial(*config));

    std::string name = Prefs::GetString("AutoStartGame");
    Prefs::SetString("AutoStartGame", "");
    int32_t id = static_cast<int32_t>(Prefs::GetNumber("AutoStartGameId"));
    Prefs::SetNumber("AutoStartGameId", 0);

    if (config && !config->startHidden && id == 0 && name.empty())
        Show();
    if (!threadsStarted && TaskManager::Instance())
        TaskManager::Instance()->Start();

    std::vector<ManifestEntry> entries;
    if (config && manifest)
        entries = ConfigDocument::LoadConfiguration(*config, *manifest);
    UiScript::ClearGamePanels(clientHandler->GetBindingHandler());
    ApplyManifest(entries);

    if (!threadsStarted && manifest)
        manifest->Start();
    threadsStarted = true;

    if (!name.empty())
        StartGameByName(name);
    else if (id != 0)
        StartGameById(id);
}

void MainFrame::ApplyManifest(const std::vector<ManifestEntry>&) {
    // The game panels are built here from the entries, with the self-update
    // panel first when it is due; they come with the panels.
}

bool MainFrame::IsAnyGamePatching() {
    return false;  // no panel can be patching until the panels exist
}

void MainFrame::StartGameById(int32_t id) {
    ActivityLog::Append("start-game-by-id " + std::to_string(id));
}

void MainFrame::StartGameByName(const std::string& name) {
    ActivityLog::Append("start-game-by-name " + name);
}

std::vector<std::string> MainFrame::PendingDownloads() const {
    std::vector<std::string> names;
    for (const auto& [name, marker] : pendingCommands)
        if (marker != kIdle)
            names.push_back(name);
    return names;
}

browser::RefPtr<ClientHandler> MainFrame::GetClientHandler() {
    return clientHandler;
}

void MainFrame::QueueDownload(const std::string& game) {
    // A game named "none" reads as idle and is never started, as it always was.
    pendingCommands[game] = game;
}

GameCommandTarget* MainFrame::FindGame(const std::string&) {
    return nullptr;  // the panels by name come with the panels
}

void MainFrame::OpenInBrowser(const std::string& address) {
    OpenUrl(address);
}

void MainFrame::QueueTrackEvent(const std::string& category, const std::string& action,
                                const std::string& label) {
    TaskManager::Queue(std::make_unique<EventTask>(category, action, label));
}

void MainFrame::SaveLogin(const std::string& loginName, const std::string& password) {
    if (CredentialManager* credentials = CredentialManager::Instance())
        credentials->SaveLogin(loginName, password);
}

void MainFrame::ClearLogin() {
    if (CredentialManager* credentials = CredentialManager::Instance())
        credentials->ClearLogin();
}

void MainFrame::SaveAuthToken(const std::string& token) {
    if (CredentialManager* credentials = CredentialManager::Instance())
        credentials->SaveAuthToken(token);
}

void MainFrame::ClearAuthToken() {
    if (CredentialManager* credentials = CredentialManager::Instance())
        credentials->ClearAuthToken();
}

void MainFrame::RefreshInterface() {
    if (ManifestManager* manifest = ManifestManager::Instance())
        manifest->MakeRefreshDue();
}
