#include "ui/MainFrame.h"

#include <cstdio>
#include <memory>

#include "core/ExitRequester.h"
#include "core/settings/ConfigManager.h"
#include "core/settings/CredentialManager.h"
#include "core/system/Shell.h"
#include "core/system/SystemPaths.h"
#include "core/telemetry/EventTask.h"
#include "core/text/Messages.h"
#include "core/threads/TaskManager.h"
#include "games/catalogue/ConfigDocument.h"
#include "games/catalogue/ManifestManager.h"
#include "ui/ActivityLog.h"
#include "ui/AutoStartRequest.h"
#include "ui/ClientHandler.h"
#include "ui/ProgramResources.h"
#include "ui/StartPageAddress.h"
#include "ui/UiBindingHandler.h"
#include "ui/panels/GamePanel.h"
#include "ui/panels/SystemPanelServices.h"

MainFrame::MainFrame(const wxString& title, FrameOwner* owner) : MainFrame(title, owner, Managers{}) {}

MainFrame::MainFrame(const wxString& title, FrameOwner* owner, const Managers& managers)
    : wxFrame(nullptr, wxID_ANY, title, wxDefaultPosition, wxDefaultSize,
              wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX, "frame"),
      SystemPanelHost(managers.manifest, managers.transfers, managers.tasks),
      refreshTimer(this, kTimerId),
      owner(owner),
      boardSources(managers.manifest, managers.transfers, managers.config) {
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
    startPageUrl = StartPageAddress(GetProgramDirectory(), ConfigManager::GetLanguage(), config && config->GetSkin());

    wxSize client = GetClientSize();
    wxPoint origin = GetClientAreaOrigin();
    clientHandler = browser::RefPtr<ClientHandler>(new ClientHandler(this));
    browser = browser::Browser::CreateBrowser(this, origin.x, origin.y, client.x - 1, client.y - 1, clientHandler,
                                              startPageUrl, ClientHandler::GetBrowserSettings());

    panelServices = std::make_unique<SystemPanelServices>(pageCalls, *this, managers.transfers, managers.credentials,
                                                          managers.monitor);
    board = std::make_unique<PanelBoard>(panelServices->Services(), boardSources, panelServices->Disc());

    Bind(wxEVT_TIMER, &MainFrame::OnTimer, this, kTimerId);
    if (!refreshTimer.Start(500))
        ExitRequester::Current().RequestExit(Msg::TimerFailed);
    Bind(wxEVT_SIZE, &MainFrame::OnSize, this);
}

MainFrame::~MainFrame() {
    refreshTimer.Stop();
    board.reset();
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
    if (inTick)
        return;
    inTick = true;
    if (pageLoaded.exchange(false))
        OnManifestReady();
    board->Tick();
    inTick = false;
}

void MainFrame::OnManifestReady() {
    ConfigManager* config = ConfigManager::Instance();
    ManifestManager* manifest = ManifestManager::Instance();
    if (config && manifest)
        UiScript::SetUniqueId(ClientHandler::GetGlobalBindingHandler(), manifest->GetMachineSerial(*config));

    AutoStartRequest request = AutoStartRequest::Take();
    const std::string& name = request.name;
    int32_t id = request.id;

    if (config && !config->startHidden && id == 0 && name.empty())
        Show();
    if (!threadsStarted && owner)
        owner->StartTaskQueue();

    std::vector<ManifestEntry> entries;
    if (config && manifest)
        entries = ConfigDocument::LoadConfiguration(*config, *manifest);
    // Built anew, unless something runs that a rebuild would lose: then the
    // page gets the panels as they stand.
    board->Load(entries);

    if (!threadsStarted && owner)
        owner->StartManifestThread();
    threadsStarted = true;

    if (!name.empty())
        StartGameByName(name);
    else if (id != 0)
        StartGameById(id);
}

bool MainFrame::IsAnyGamePatching() {
    return board->IsAnyGamePatching();
}

void MainFrame::StartGameById(int32_t id) {
    ActivityLog::Append("start-game-by-id " + std::to_string(id));
    board->ActivateById(id);
}

void MainFrame::StartGameByName(const std::string& name) {
    ActivityLog::Append("start-game-by-name " + name);
    board->ActivateByName(name);
}

std::vector<PanelSnapshot> MainFrame::GetGamePanels() const {
    return board->Snapshots();
}

std::vector<std::string> MainFrame::PendingDownloads() const {
    return board->PendingDownloads();
}

browser::RefPtr<ClientHandler> MainFrame::GetClientHandler() {
    return clientHandler;
}

void MainFrame::QueueDownload(const std::string& game) {
    board->QueueDownload(game);
}

GameCommandTarget* MainFrame::FindGame(const std::string& game) {
    return board->Find(game);
}

void MainFrame::OpenInBrowser(const std::string& address) {
    ::OpenUrl(address);
}

void MainFrame::QueueTrackEvent(const std::string& category, const std::string& action, const std::string& label) {
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

void MainFrame::ShowWindow() {
    Show();
    if (IsIconized())
        Iconize(false);
    Raise();
}

void MainFrame::CloseForUpdate() {
    // The update installer runs on its own now; the window and the browser go.
    Hide();
    browser::Browser::Shutdown();
    ActivityLog::Append("close-for-update");
}

bool MainFrame::IsUpdateRefused(const std::string& address) {
    return owner && owner->IsUpdateRefused(address);
}

void MainFrame::RefuseUpdate(const std::string& address) {
    // A window without an owner (a test's) keeps nothing for the run.
    if (owner)
        owner->RefuseUpdate(address);
}

void MainFrame::ExitForUpdate() {
    ActivityLog::Append("exit-update");
    std::fflush(nullptr);
    // A window without an owner (a test's) ends nothing.
    if (owner)
        owner->EndProcessNow(0);
}
