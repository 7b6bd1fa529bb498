#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ManifestEntry.h"
#include "core/PanelState.h"
#include "ui/panels/GameCommandTarget.h"
#include "ui/panels/PanelServices.h"
#include "ui/panels/PanelSnapshot.h"
#include "ui/panels/ProgressBar.h"

class PatchJob;
class RepairJob;
class RunningProgram;

// The program's side of one game tile in the page (or of the launcher's own
// update): its state 0 to 14, mirrored in the page, the page's commands for the
// game, and the per-tick step that follows its download, installer, game, patch
// or installation check. Everything runs on the GUI thread, so it has no lock;
// workers report through their own objects, which the tick reads.
class GamePanel : public GameCommandTarget {
public:
    static constexpr const char* kWebGame = "!WEB_GAME!";
    static constexpr const char* kFallbackInstallerName = "temp_installer.exe";

    // Builds the panel, adds it to the page and evaluates its state. The update
    // panel (isSelfUpdate) gets no download pop-up.
    GamePanel(const PanelServices& services, const ManifestEntry& entry, bool isSelfUpdate);
    ~GamePanel() override;
    GamePanel(const GamePanel&) = delete;
    GamePanel& operator=(const GamePanel&) = delete;

    // State.
    PanelState GetState() const override { return state; }
    void SetState(PanelState newState);
    // Works the state out from the registry, the install location, the patch
    // catalogue, the disc drives and the download status. Does nothing while the
    // panel's own work runs (RefreshHeld).
    void RefreshState();
    // True once per panel when the game has been installed outside the launcher.
    bool CheckExternalInstall();
    void ActivateOnPage();

    bool IsInstalled();
    std::string GetInstallPath();
    std::string GetInstallerPath(const std::string& key);
    std::string GetPackageUrl() const { return downloadUrl; }
    std::vector<std::string> GetVolumeNames() const { return volumeNames; }
    void SetPlayToken(const std::string& token) override { playToken = token; }

    // The page's commands.
    void OnDownload();
    void OnInstall() override;
    void OnCancel() override;
    void OnInstallFromDisc() override;
    void OnPlay() override;
    void OnPatch() override;
    void OnPreview() override;
    void OnPause() override;
    void OnUnpause() override;
    void LaunchOptions() override;

    std::string CheckPatchLevel();
    void StartInstallCheck(bool shortInterval);
    int32_t GetTimesPlayed();
    void AddTimesPlayed();

    // The per-tick step: progress to the page, and the end of a download,
    // installer, game, patch or check. completedKeys are the downloads the
    // transfer manager completed since the last tick.
    void PollWork(const std::vector<std::string>& completedKeys);
    void UpdateStatusText(const ProgressRecord& record);
    // The transfer manager's cancelled and failed downloads of this tick: a
    // patch download that ended so hands the panel back to the game's own
    // address, before any refresh.
    void NoteEndedTransfers(const std::vector<std::string>& cancelled, const std::vector<std::string>& failed);
    // The panel's work runs (an installer, the game, a patch, a check, or its
    // transfer is still held): no refresh may move it.
    bool RefreshHeld();
    // Installer, game, patch or check running: a page reload keeps the panels.
    bool IsBusy() const;
    // After a reload of the page: adds the panel again as it stands, with its
    // progress bar and buttons.
    void ReplayOnPage();
    PanelSnapshot Snapshot();

    int32_t GameId() const { return gameId; }
    const std::string& GameName() const { return gameName; }
    bool IsSelfUpdate() const { return isSelfUpdate; }
    bool IsPaused() const { return paused; }
    const std::string& PlayToken() const { return playToken; }
    const ProgressBar& Progress() const { return progress; }
    // The game's own download address (downloadUrl holds a patch's while one downloads).
    const std::string& GameDownloadUrl() const { return gameDownloadUrl; }

private:
    void QueuePanelEvent(const std::string& action);
    bool Inert() const { return gameName.empty(); }
    std::string InstallFolder();
    bool MayPatch();
    void PatchTo(const std::string& next);
    bool StartPatcher(const std::string& patchAddress);
    void EndPatch();
    void EndCheck();
    void ReturnToGameAddress();
    // askedAgain: the user's install command, which looks at a refused update anew.
    void StartUpdate(const std::string& installerPath, bool askedAgain = false);
    void UpdateFallback();
    // Decided before anything is stopped; shows why when it cannot, once for
    // the run unless asked again.
    bool UpdateInstallerCanStart(const std::string& installerPath, bool askedAgain);
    void SendPanelToPage();

    PanelServices services;

    PanelState state = PanelState::Created;
    int32_t gameId;
    std::string gameName;
    std::string homepage;
    std::string banner;
    std::string patchCatalogUrl;
    std::string downloadUrl;
    std::string gameDownloadUrl;
    // The manifest gives no fallback address, so the fallback road ends with
    // message 16 unless a later manifest field fills it.
    std::string updateFallbackUrl;
    std::string exeName;
    std::string playToken;
    std::string savedAuthToken;
    std::string installManifestUrl;
    std::string installLocation;
    std::string iconUrl;
    bool requireLogin;
    bool externalInstallSeen = false;
    std::string exeParams;
    std::vector<std::string> installExeKeys;
    std::vector<std::string> volumeNames;
    int32_t popupDelay;
    std::string popupUrl;
    std::vector<ManifestLocation> locations;
    bool isSelfUpdate;
    bool paused = false;
    bool showOnlyIfInstalled;
    std::unique_ptr<RunningProgram> installerProcess;
    std::unique_ptr<RunningProgram> gameProcess;
    std::unique_ptr<PatchJob> patcher;
    std::string patchAddress;  // the patch file being applied
    std::string nextPatch;     // what the last refresh's catalogue named
    int32_t timesPlayed = -1;
    std::unique_ptr<RepairJob> repair;
    ProgressBar progress;
};
