#include "ui/panels/GamePanel.h"

#include <algorithm>
#include <sys/stat.h>

#include "core/system/FileUtils.h"
#include "core/text/Messages.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "ui/panels/DiscFinder.h"
#include "ui/panels/GameLocator.h"
#include "ui/panels/InstallCheckTimes.h"
#include "ui/panels/PanelEvents.h"
#include "ui/panels/PanelHost.h"
#include "ui/panels/PanelPageCalls.h"
#include "ui/panels/PanelStore.h"
#include "ui/panels/PanelTransfers.h"
#include "ui/panels/PanelWorkers.h"
#include "ui/panels/PatchCatalogSource.h"
#include "ui/panels/ProgramStarter.h"

namespace {

constexpr const char* kCategory = "GamePanel";
constexpr int kFallbackStartTries = 50;
constexpr int64_t kUpdatePauseMs = 100;

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

bool IsAbsolute(const std::string& path) {
    return !path.empty() && path[0] == '/';
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

GamePanel::GamePanel(const PanelServices& services, const ManifestEntry& entry, bool isSelfUpdate)
    : services(services),
      gameId(entry.id),
      gameName(entry.name),
      homepage(entry.homepage),
      banner(entry.banner),
      patchCatalogUrl(entry.patchcatalog),
      downloadUrl(entry.url),
      gameDownloadUrl(entry.url),
      exeName(entry.exename),
      installManifestUrl(entry.installmanifest),
      installLocation(entry.installlocation),
      iconUrl(entry.iconurl),
      requireLogin(entry.requireLogin),
      exeParams(entry.exeparams),
      installExeKeys(entry.installExeKeys),
      volumeNames(entry.volumeNames),
      popupDelay(isSelfUpdate ? 0 : entry.downloadPopupDelay),
      popupUrl(isSelfUpdate ? std::string() : entry.downloadPopupUrl),
      locations(entry.locations),
      isSelfUpdate(isSelfUpdate),
      showOnlyIfInstalled(entry.showOnlyIfInstalled),
      progress(entry.name, entry.id) {
    // A panel without a name never reaches the page and never changes.
    if (Inert())
        return;
    savedAuthToken = services.store->SavedAuthToken();
    SendPanelToPage();
    if (!installManifestUrl.empty())
        StartInstallCheck(false);
    RefreshState();
}

GamePanel::~GamePanel() {
    // Workers are joined before they go; programs keep running on their own.
    if (patcher) {
        patcher->Finish();
        services.transfers->SetPatchRunning(false);
    }
    if (repair) {
        repair->Finish();
        services.transfers->SetRepairRunning(false);
    }
    if (installerProcess)
        services.transfers->ReleaseActive();
}

void GamePanel::SendPanelToPage() {
    PanelStore& store = *services.store;
    std::string secret = store.SavedLoginSecret();
    std::string name = store.SavedLoginName();
    if (!secret.empty() && !name.empty())
        services.page->setSavedLogin(secret, name);
    if (!savedAuthToken.empty())
        services.page->setAuthToken(savedAuthToken);
    services.page->addGamePanel(gameName, banner, homepage, false, gameId, requireLogin, GetTimesPlayed(), iconUrl);
}

void GamePanel::QueuePanelEvent(const std::string& action) {
    services.events->QueueEvent(kCategory, action, gameName);
}

// ---------------------------------------------------------------- state

void GamePanel::SetState(PanelState newState) {
    if (newState == state || Inert())
        return;
    PanelState oldState = state;
    state = newState;
    PanelPageCalls& page = *services.page;
    page.setGamePanelState(gameId, ToNumber(newState));
    switch (newState) {
    case PanelState::Downloading:
    case PanelState::DownloadingPatch:
        page.startProgress(gameId);
        if (!isSelfUpdate) {
            page.addPauseToProgress(gameId);
            page.addCancelToProgress(gameId);
        }
        QueuePanelEvent("OnDownloadStart");
        paused = false;
        break;
    case PanelState::Downloaded:
        if (oldState == PanelState::Downloading)
            QueuePanelEvent("OnDownloadComplete");
        break;
    case PanelState::Ready:
        if (oldState == PanelState::Installing)
            QueuePanelEvent("OnInstallNewGame");
        services.store->DeleteProductValue(downloadUrl);
        break;
    case PanelState::Patching:
        page.startProgress(gameId);
        services.transfers->SetPatchRunning(true);
        break;
    case PanelState::Checking:
        page.startProgress(gameId);
        services.transfers->SetRepairRunning(true);
        break;
    default: break;
    }
    PollWork({});
}

bool GamePanel::RefreshHeld() {
    switch (state) {
    case PanelState::Installing: return installerProcess != nullptr;
    case PanelState::Playing: return gameProcess != nullptr;
    case PanelState::Patching: return patcher != nullptr;
    case PanelState::Checking: return true;
    case PanelState::Downloading:
    case PanelState::DownloadingPatch: return services.transfers->IsHeld(downloadUrl);
    default: return false;
    }
}

bool GamePanel::IsBusy() const {
    return state == PanelState::Installing || state == PanelState::Playing || state == PanelState::Patching ||
           state == PanelState::Checking || installerProcess || gameProcess || patcher || repair;
}

void GamePanel::RefreshState() {
    if (Inert() || RefreshHeld())
        return;
    if (downloadUrl.empty()) {
        SetState(PanelState::NoDownload);
        return;
    }
    if (downloadUrl == kWebGame) {
        SetState(PanelState::Ready);
        return;
    }
    nextPatch.clear();
    if (IsInstalled()) {
        nextPatch = CheckPatchLevel();
        SetState(nextPatch.empty() ? PanelState::Ready : PanelState::PatchAvailable);
        return;
    }
    if (showOnlyIfInstalled && !isSelfUpdate) {
        SetState(PanelState::Hidden);
        return;
    }
    if (!installExeKeys.empty() && !services.disc->FindDiscInstall(installExeKeys, volumeNames).empty()) {
        SetState(PanelState::DiscAvailable);
        return;
    }
    switch (services.transfers->LoadStatus(downloadUrl)) {
    case DownloadStatus::Complete: {
        std::string installer = GetInstallerPath("");
        if (!installer.empty() && FileExists(installer)) {
            if (isSelfUpdate)
                StartUpdate(installer);
            else
                SetState(PanelState::Downloaded);
        } else {
            services.events->QueueEvent("DownloadFailed", "GetInstallFilePath did not find instaler exe ", gameName);
            services.transfers->SaveState(downloadUrl, DownloadState::None);
            SetState(PanelState::NotInstalled);
        }
        break;
    }
    case DownloadStatus::Incomplete:
        if (state == PanelState::Created || state == PanelState::NotInstalled) {
            // A partial download found when the panel is built resumes by itself.
            SetState(PanelState::NotInstalled);
            OnDownload();
        } else if (state != PanelState::Downloading && state != PanelState::FailedDownload) {
            SetState(PanelState::NotInstalled);
            if (isSelfUpdate)
                OnDownload();
        }
        break;
    case DownloadStatus::Failed: SetState(PanelState::FailedDownload); break;
    case DownloadStatus::None:
        // A download that is no longer held and has no record is gone, whatever
        // the panel showed: it must not stay on a progress bar that never moves.
        SetState(PanelState::NotInstalled);
        // The launcher's update starts downloading as soon as its panel exists.
        if (isSelfUpdate)
            OnDownload();
        break;
    }
}

bool GamePanel::CheckExternalInstall() {
    // While the panel's own work runs the latch stays unset, so the install is
    // still noticed once the work has ended.
    if (externalInstallSeen || Inert() || RefreshHeld())
        return false;
    for (const ManifestLocation& location : locations) {
        if (!services.location->KeyExists(location.installkey))
            continue;
        if (state == PanelState::Installing || state == PanelState::Ready)
            return false;
        externalInstallSeen = true;
        return true;
    }
    return false;
}

void GamePanel::ActivateOnPage() {
    PanelPageCalls& page = *services.page;
    switch (state) {
    case PanelState::NoDownload:
    case PanelState::NotInstalled:
    case PanelState::Downloading:
    case PanelState::Downloaded:
    case PanelState::DiscAvailable:
        page.clickPanel(gameId);
        page.clickGameButton(gameId);
        services.host->ShowWindow();
        break;
    case PanelState::Ready:
        if (requireLogin && savedAuthToken.empty())
            services.host->ShowWindow();
        page.clickPanel(gameId);
        page.clickGameButton(gameId);
        break;
    default: services.host->ShowWindow(); break;
    }
}

bool GamePanel::IsInstalled() {
    return !GetInstallPath().empty();
}

std::string GamePanel::GetInstallPath() {
    for (const ManifestLocation& location : locations) {
        if (!services.location->KeyExists(location.installkey))
            continue;
        std::string path = services.location->ProgramPath(location);
        if (!path.empty() && FileExists(path))
            return path;
    }
    return {};
}

std::string GamePanel::GetInstallerPath(const std::string& key) {
    return services.transfers->LoadInstaller(key.empty() ? downloadUrl : key);
}

std::string GamePanel::InstallFolder() {
    return locations.empty() ? std::string() : services.location->InstallFolder(locations.front());
}

// ---------------------------------------------------------------- commands

int32_t GamePanel::GetTimesPlayed() {
    if (timesPlayed == -1)
        timesPlayed = static_cast<int32_t>(services.store->ReadTimesPlayed(gameId));
    return timesPlayed;
}

void GamePanel::AddTimesPlayed() {
    GetTimesPlayed();
    ++timesPlayed;
    services.store->WriteTimesPlayed(gameId, static_cast<uint32_t>(timesPlayed));
}

void GamePanel::OnDownload() {
    if (Inert() || (state != PanelState::NotInstalled && state != PanelState::FailedDownload))
        return;
    if (services.transfers->LoadStatus(downloadUrl) == DownloadStatus::Complete) {
        RefreshState();
        return;
    }
    QueuePanelEvent("OnDownloadClick");
    if (services.transfers->StartDownload(downloadUrl, !isSelfUpdate)) {
        if (!popupUrl.empty() && !isSelfUpdate)
            services.events->QueueDownloadPopup(popupDelay, popupUrl);
        SetState(PanelState::Downloading);
        return;
    }
    // A game panel stays: the transfer manager has told the user why.
    if (isSelfUpdate)
        UpdateFallback();
}

void GamePanel::OnInstall() {
    if (Inert())
        return;
    std::string installer = GetInstallerPath("");
    QueuePanelEvent("OnInstallClick");
    // A second start while this panel's work runs would lose track of the first
    // process and keep the launcher busy for good.
    if (IsBusy())
        return;
    // The launcher's own installer never runs beside the launcher: installing
    // the update is its update road, the installer looked at anew.
    if (isSelfUpdate) {
        if (state == PanelState::Downloaded && FileExists(installer))
            StartUpdate(installer, true);
        return;
    }
    std::string failure;
    std::unique_ptr<RunningProgram> process = services.programs->Start(installer, "", &failure);
    if (process) {
        installerProcess = std::move(process);
        services.transfers->AddActive();
        QueuePanelEvent("OnInstalling");
        SetState(PanelState::Installing);
        return;
    }
    services.host->ShowError(failure);
    services.events->QueueEvent("InstallLauncherFailed", gameName, failure);
    RefreshState();
}

void GamePanel::OnInstallFromDisc() {
    if (Inert())
        return;
    QueuePanelEvent("OnInstallFromDiscClick");
    if (state != PanelState::DiscAvailable)
        return;
    std::string installer;
    if (!installExeKeys.empty())
        installer = services.disc->FindDiscInstall(installExeKeys, volumeNames);
    if (installer.empty()) {
        services.host->ShowMessage(Msg::DiscInstallerMissing);
        return;
    }
    std::string failure;
    std::unique_ptr<RunningProgram> process = services.programs->Start(installer, "", &failure);
    if (!process) {
        services.host->ShowError(failure);
        return;
    }
    installerProcess = std::move(process);
    services.transfers->AddActive();
    SetState(PanelState::Installing);
}

void GamePanel::OnCancel() {
    if (Inert() || (state != PanelState::Downloading && state != PanelState::DownloadingPatch))
        return;
    QueuePanelEvent("OnCancelClick");
    services.transfers->CancelTransfer(downloadUrl);
    // A cancelled patch download must never be taken for the game's installer.
    ReturnToGameAddress();
    SetState(PanelState::NotInstalled);
}

void GamePanel::OnPause() {
    if (Inert() || (state != PanelState::Downloading && state != PanelState::DownloadingPatch) || paused)
        return;
    QueuePanelEvent("OnPauseClick");
    if (services.transfers->PauseTransfer(downloadUrl))
        paused = true;
}

void GamePanel::OnUnpause() {
    if (Inert() || (state != PanelState::Downloading && state != PanelState::DownloadingPatch) || !paused)
        return;
    QueuePanelEvent("OnUnpauseClick");
    if (services.transfers->ResumeTransfer(downloadUrl))
        paused = false;
}

void GamePanel::OnPlay() {
    if (Inert())
        return;
    AddTimesPlayed();
    if (!installManifestUrl.empty()) {
        StartInstallCheck(true);
        if (state == PanelState::Checking)
            return;
    }
    if (state != PanelState::Ready)
        return;
    if (!CheckPatchLevel().empty()) {
        RefreshState();
        return;
    }
    QueuePanelEvent("OnPlayClick");
    if (downloadUrl == kWebGame) {
        services.host->OpenUrl(homepage);
        return;
    }
    std::string parameters = exeParams;
    if (!exeParams.empty())
        parameters += " ";
    if (!playToken.empty())
        parameters += "-auth_token=" + playToken;
    std::string failure = "The game's program was not found.";
    for (const ManifestLocation& location : locations) {
        std::string program = services.location->ProgramPath(location);
        // A location without its folder names a bare file, which would be looked
        // for beside Quor's own program.
        if (!IsAbsolute(program))
            continue;
        std::string reason;
        std::unique_ptr<RunningProgram> process = services.programs->Start(program, parameters, &reason);
        if (process) {
            gameProcess = std::move(process);
            SetState(PanelState::Playing);
            return;
        }
        if (!reason.empty())
            failure = reason;
    }
    services.host->ShowError(failure);
    services.events->QueueEvent("PlayGameFailed", gameName, failure);
    RefreshState();
}

void GamePanel::OnPatch() {
    if (Inert())
        return;
    QueuePanelEvent("OnPatchClick");
    if (MayPatch())
        PatchTo(CheckPatchLevel());
}

bool GamePanel::MayPatch() {
    // A download, installer, game, patch or check of this game runs.
    return state != PanelState::Downloading && state != PanelState::DownloadingPatch &&
           state != PanelState::Installing && state != PanelState::Playing && state != PanelState::Patching &&
           state != PanelState::Checking;
}

void GamePanel::PatchTo(const std::string& next) {
    if (next.empty()) {
        RefreshState();
        return;
    }
    // Without its folder a patch has nowhere to go: neither fetch nor apply it.
    if (!IsFolder(InstallFolder())) {
        services.host->ShowMessage(Msg::RegistryKeyMissing);
        return;
    }
    if (services.transfers->LoadStatus(next) == DownloadStatus::Complete) {
        StartPatcher(next);
        return;
    }
    if (!services.transfers->StartDownload(next, false)) {
        services.host->ShowMessage(Msg::PatchDownloadFailed);
        return;
    }
    downloadUrl = next;
    progress.SetDownloadingPatch();
    SetState(PanelState::DownloadingPatch);
}

bool GamePanel::StartPatcher(const std::string& address) {
    std::string folder = InstallFolder();
    if (!IsFolder(folder)) {
        services.host->ShowMessage(Msg::RegistryKeyMissing);
        return false;
    }
    std::unique_ptr<PatchJob> job = services.workers->StartPatcher(folder, GetInstallerPath(address));
    if (!job) {
        services.host->ShowMessage(Msg::PatchingError);
        return false;
    }
    patcher = std::move(job);
    patchAddress = address;
    progress.SetPatching();
    SetState(PanelState::Patching);
    return true;
}

std::string GamePanel::CheckPatchLevel() {
    if (patchCatalogUrl.empty())
        return {};
    return services.patches->NextPatchUrl(patchCatalogUrl);
}

void GamePanel::StartInstallCheck(bool shortInterval) {
    if (Inert() || IsBusy() || state == PanelState::Downloading || state == PanelState::DownloadingPatch)
        return;
    InstallCheckTimes& times = *services.checkTimes;
    if (!times.IsCheckDue(gameName, shortInterval))
        return;
    // Recorded whether or not a check can run, so that a play right after the
    // panel was built starts the game.
    times.MarkChecked(gameName);
    // Only an installed game can be checked: its folder must be there.
    std::string folder = InstallFolder();
    if (!IsFolder(folder))
        return;
    std::unique_ptr<RepairJob> job = services.workers->StartRepair(folder, installManifestUrl, installLocation);
    if (!job)
        return;
    repair = std::move(job);
    progress.SetChecking();
    SetState(PanelState::Checking);
}

void GamePanel::OnPreview() {
    if (Inert())
        return;
    QueuePanelEvent("OnPreviewClick");
    AddTimesPlayed();
    std::string address = homepage;
    if (!playToken.empty())
        address += (homepage.find('?') != std::string::npos ? "&auth_token=" : "?auth_token=") + playToken;
    services.host->OpenUrl(address);
}

void GamePanel::LaunchOptions() {
    if (Inert())
        return;
    for (const ManifestLocation& location : locations) {
        std::string folder = services.location->InstallFolder(location);
        // No folder would mean an "options.exe" of whatever folder Quor runs in.
        if (!IsAbsolute(folder))
            continue;
        if (folder.back() != '/' && folder.back() != '\\')
            folder += "/";
        std::string program = folder + "options.exe";
        if (!FileExists(program))
            continue;
        std::string failure;
        services.programs->Start(program, "", &failure);
        return;
    }
}

// ---------------------------------------------------------------- per tick

void GamePanel::UpdateStatusText(const ProgressRecord& record) {
    progress.Show(record, services.store->Language(), *services.page);
}

void GamePanel::PollWork(const std::vector<std::string>& completedKeys) {
    if (Inert())
        return;
    switch (state) {
    case PanelState::Downloading:
    case PanelState::DownloadingPatch: {
        progress.SetPaused(paused);
        if (!paused)
            UpdateStatusText(services.transfers->GetProgress(downloadUrl));
        if (!Contains(completedKeys, downloadUrl) ||
            services.transfers->LoadStatus(downloadUrl) != DownloadStatus::Complete)
            break;
        if (state == PanelState::DownloadingPatch) {
            std::string address = downloadUrl;
            if (!StartPatcher(address)) {
                ReturnToGameAddress();
                RefreshState();
            }
        } else {
            RefreshState();
        }
        break;
    }
    case PanelState::Installing:
        if (!installerProcess || !installerProcess->HasEnded())
            break;
        installerProcess.reset();
        services.transfers->ReleaseActive();
        if (IsInstalled()) {
            services.transfers->ResetDownload(downloadUrl);
        } else {
            services.events->QueueEvent("InstallFailed", gameName, "Installer exited without the game being installed");
        }
        RefreshState();
        break;
    case PanelState::Playing:
        if (!gameProcess || !gameProcess->HasEnded())
            break;
        gameProcess.reset();
        RefreshState();
        break;
    case PanelState::Patching: {
        if (!patcher)
            break;
        float p = patcher->Progress();
        UpdateStatusText({p * 1000.0, 1000, 0, ""});
        if (p == 1.0f)
            EndPatch();
        break;
    }
    case PanelState::Checking: {
        if (!repair)
            break;
        float p = repair->Progress();
        UpdateStatusText({p * 1000.0, 1000, 0, repair->CurrentFile()});
        if (p == 1.0f)
            EndCheck();
        break;
    }
    default: break;
    }
}

void GamePanel::EndPatch() {
    patcher->Finish();
    PatchJob::Outcome outcome = patcher->Result();
    patcher.reset();
    std::string applied = patchAddress;
    patchAddress.clear();
    progress.ClearPatch();
    services.transfers->SetPatchRunning(false);
    services.store->DeleteProductValue(downloadUrl);
    if (outcome == PatchJob::Outcome::FileFailed) {
        // The file is unreadable or corrupt: fetch it anew next time.
        services.transfers->ResetDownload(applied);
        services.transfers->SaveState(applied, DownloadState::None);
    }
    ReturnToGameAddress();
    RefreshState();
    // After a failure the panel stays in PatchAvailable: the user decides whether to try
    // again. The chain goes on without the user only after a success, and not
    // when the catalogue still names the patch just applied.
    if (state != PanelState::PatchAvailable || outcome != PatchJob::Outcome::Succeeded || nextPatch == applied)
        return;
    std::string next = nextPatch;
    QueuePanelEvent("OnPatchClick");
    if (MayPatch())
        PatchTo(next);
}

void GamePanel::EndCheck() {
    repair->Finish();
    repair.reset();
    progress.ClearChecking();
    services.transfers->SetRepairRunning(false);
    SetState(PanelState::NotInstalled);
    RefreshState();
}

void GamePanel::ReturnToGameAddress() {
    downloadUrl = gameDownloadUrl;
    progress.ClearPatch();
}

void GamePanel::NoteEndedTransfers(const std::vector<std::string>& cancelled, const std::vector<std::string>& failed) {
    if (state != PanelState::DownloadingPatch || downloadUrl == gameDownloadUrl)
        return;
    if (Contains(cancelled, downloadUrl) || Contains(failed, downloadUrl))
        ReturnToGameAddress();
}

// ---------------------------------------------------------------- page reload and reports

void GamePanel::ReplayOnPage() {
    if (Inert())
        return;
    // The page starts afresh: it gets what a rebuilt panel would send.
    savedAuthToken = services.store->SavedAuthToken();
    SendPanelToPage();
    PanelPageCalls& page = *services.page;
    page.setGamePanelState(gameId, ToNumber(state));
    if (state == PanelState::Downloading || state == PanelState::DownloadingPatch || state == PanelState::Patching ||
        state == PanelState::Checking)
        page.startProgress(gameId);
    if ((state == PanelState::Downloading || state == PanelState::DownloadingPatch) && !isSelfUpdate) {
        page.addPauseToProgress(gameId);
        page.addCancelToProgress(gameId);
        // No call says "paused": the page keeps its own flag, which startProgress
        // has just cleared, and takes it again from a progress with the paused
        // text. A paused transfer sends no progress of its own until it resumes.
        if (paused) {
            progress.SetPaused(true);
            progress.ShowPaused(services.transfers->GetProgress(downloadUrl), services.store->Language(), page);
        }
    }
}

PanelSnapshot GamePanel::Snapshot() {
    return {gameName, gameId, state, downloadUrl, GetInstallPath()};
}

// ---------------------------------------------------------------- the launcher's update

bool GamePanel::UpdateInstallerCanStart(const std::string& installerPath, bool askedAgain) {
    PanelHost& host = *services.host;
    if (!askedAgain && host.IsUpdateRefused(downloadUrl))
        return false;
    std::string failure;
    if (services.programs->CanStart(installerPath, &failure))
        return true;
    // Shown as a failed installer start is; the launcher runs on.
    host.RefuseUpdate(downloadUrl);
    Log::Error("the update installer cannot start: %s", failure.c_str());
    host.ShowError(failure);
    services.events->QueueEvent("InstallLauncherFailed", gameName, failure);
    return false;
}

void GamePanel::StartUpdate(const std::string& installerPath, bool askedAgain) {
    PanelHost& host = *services.host;
    if (!UpdateInstallerCanStart(installerPath, askedAgain)) {
        // The installer stays, and the page offers to install it: the user's
        // command tries again.
        SetState(PanelState::Downloaded);
        return;
    }
    services.transfers->StopAll();
    host.StopThreadsForUpdate();
    std::string failure;
    if (!services.programs->Start(installerPath, "silent", &failure))
        Log::Error("the update installer did not start: %s", failure.c_str());
    host.Pause(kUpdatePauseMs);
    host.CloseForUpdate();
    host.ExitForUpdate();
}

void GamePanel::UpdateFallback() {
    PanelHost& host = *services.host;
    // Refused before in this run: not fetched again.
    if (host.IsUpdateRefused(downloadUrl))
        return;
    std::string folder = services.transfers->DefaultSaveDirectory();
    std::string bytes = host.FetchUpdateInstaller(updateFallbackUrl);
    // Nothing is written until the installer has arrived.
    if (bytes.empty()) {
        host.ShowMessage(Msg::TransferStartFailed);
        return;
    }
    // A file that cannot be created ends the road quietly.
    if (folder.empty())
        return;
    CreateDirectoryTree(folder);
    std::string path = folder + kFallbackInstallerName;
    if (platform::WriteFileAtomically(path, bytes, 0700) != 0)
        return;
    if (!UpdateInstallerCanStart(path, false))
        return;
    services.transfers->StopAll();
    host.StopThreadsForUpdate();
    host.CloseForUpdate();
    for (int attempt = 0; attempt < kFallbackStartTries; ++attempt) {
        std::string failure;
        if (services.programs->Start(path, "silent", &failure))
            break;
        host.Pause(kUpdatePauseMs);
    }
    host.ExitForUpdate();
}
