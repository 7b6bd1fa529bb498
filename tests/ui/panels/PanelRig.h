#pragma once
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/ManifestEntry.h"
#include "tests/fixtures/FakeClock.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/ui/panels/PanelStatePrinter.h"
#include "tests/ui/panels/RecordingPageCalls.h"
#include "ui/panels/DiscFinder.h"
#include "ui/panels/GameLocator.h"
#include "ui/panels/GamePanel.h"
#include "ui/panels/InstallCheckTimes.h"
#include "ui/panels/PanelEvents.h"
#include "ui/panels/PanelHost.h"
#include "ui/panels/PanelServices.h"
#include "ui/panels/PanelStore.h"
#include "ui/panels/PanelTransfers.h"
#include "ui/panels/PanelWorkers.h"
#include "ui/panels/PatchCatalogSource.h"
#include "ui/panels/ProgramStarter.h"

// Everything a game panel talks to, as recording fakes, with the game's files in
// a temporary folder. The fakes share one journal, so a test can check the order
// of what different services were asked to do.
class PanelRig {
public:
    using Journal = std::vector<std::string>;

    struct Events final : PanelEvents {
        Journal* journal = nullptr;
        std::vector<std::string> events;  // "category/action/label"
        void QueueEvent(const std::string& category, const std::string& action, const std::string& label) override;
        void QueueDownloadPopup(int32_t delaySeconds, const std::string& address) override;
        // The events whose action (or category, for failures) is the text.
        int Count(const std::string& text) const;
    };

    struct Store final : PanelStore {
        std::string loginName, loginSecret, authToken, language = "en";
        std::map<int32_t, uint32_t> timesPlayed;
        std::vector<std::string> deleted;
        std::string SavedLoginName() override { return loginName; }
        std::string SavedLoginSecret() override { return loginSecret; }
        std::string SavedAuthToken() override { return authToken; }
        std::string Language() override { return language; }
        uint32_t ReadTimesPlayed(int32_t gameId) override { return timesPlayed[gameId]; }
        void WriteTimesPlayed(int32_t gameId, uint32_t count) override { timesPlayed[gameId] = count; }
        void DeleteProductValue(const std::string& name) override { deleted.push_back(name); }
    };

    struct Transfers final : PanelTransfers {
        Journal* journal = nullptr;
        std::map<std::string, DownloadStatus> status;
        std::map<std::string, std::string> installer;
        std::map<std::string, ProgressRecord> progress;
        std::set<std::string> held;
        std::set<std::string> refuse;  // addresses whose start fails
        std::string defaultFolder;
        bool patchRunning = false, repairRunning = false;
        int active = 0;

        bool StartDownload(const std::string& address, bool askUser) override;
        bool PauseTransfer(const std::string& address) override;
        bool ResumeTransfer(const std::string& address) override;
        void CancelTransfer(const std::string& address) override;
        bool IsHeld(const std::string& address) override { return held.count(address) > 0; }
        ProgressRecord GetProgress(const std::string& address) override { return progress[address]; }
        void StopAll() override;
        DownloadStatus LoadStatus(const std::string& address) override;
        void SaveState(const std::string& address, DownloadState state) override;
        std::string LoadInstaller(const std::string& address) override { return installer[address]; }
        void ResetDownload(const std::string& address) override;
        std::string DefaultSaveDirectory() override { return defaultFolder; }
        void SetPatchRunning(bool running) override { patchRunning = running; }
        void SetRepairRunning(bool running) override { repairRunning = running; }
        void AddActive() override { ++active; }
        void ReleaseActive() override;

        // The transfer manager's step: the download is complete (206) and gone.
        void Complete(const std::string& address);
        // It failed (208): kept files, no transfer.
        void Fail(const std::string& address);
    };

    struct Locator final : GameLocator {
        std::set<std::string> keys;                  // install keys that exist
        std::map<std::string, std::string> program;  // by install key
        std::map<std::string, std::string> folder;   // by install key
        bool KeyExists(const std::string& installkey) override { return keys.count(installkey) > 0; }
        std::string ProgramPath(const ManifestLocation& location) override;
        std::string InstallFolder(const ManifestLocation& location) override;
    };

    struct Patches final : PatchCatalogSource {
        std::map<std::string, std::string> next;  // by catalogue address
        int fetches = 0;
        std::string NextPatchUrl(const std::string& catalogUrl) override;
    };

    // What a test sets and reads of one started worker.
    struct Work {
        float progress = 0;
        std::string currentFile;
        PatchJob::Outcome outcome = PatchJob::Outcome::Succeeded;
        bool finished = false;
        std::string folder, file, manifestUrl, baseUrl;
    };

    struct Workers final : PanelWorkers {
        Journal* journal = nullptr;
        std::vector<std::shared_ptr<Work>> patches, repairs;
        bool refuse = false;
        // Applied to each patcher's outcome in turn (then Succeeded).
        std::vector<PatchJob::Outcome> outcomes;
        std::unique_ptr<PatchJob> StartPatcher(const std::string& installFolder, const std::string& patchFile) override;
        std::unique_ptr<RepairJob> StartRepair(const std::string& installFolder, const std::string& installManifestUrl,
                                               const std::string& fileBaseUrl) override;
    };

    struct Process {
        bool ended = false;
    };

    struct Programs final : ProgramStarter {
        Journal* journal = nullptr;
        std::vector<std::string> starts;  // "path|parameters"
        std::vector<std::shared_ptr<Process>> processes;
        std::set<std::string> refuse;       // paths that do not start
        int refuseFirst = 0;                // so many starts fail, whatever the path
        std::set<std::string> unstartable;  // paths that could never start (CanStart says so)
        int canStartAsked = 0;
        std::unique_ptr<RunningProgram> Start(const std::string& path, const std::string& parameters,
                                              std::string* failure) override;
        bool CanStart(const std::string& path, std::string* failure) override;
        void EndAll();
    };

    struct Disc final : DiscFinder {
        std::string disc;     // the disc's folder, "" when none
        std::string install;  // the installer found on it
        int searches = 0;
        std::string FindDisc(const std::vector<std::string>&) override { return disc; }
        std::string FindDiscInstall(const std::vector<std::string>&, const std::vector<std::string>&) override;
    };

    struct CheckTimes final : InstallCheckTimes {
        FakeClock clock;
        std::map<std::string, int64_t> times;
        bool IsCheckDue(const std::string& game, bool shortInterval) override;
        void MarkChecked(const std::string& game) override { times[game] = clock.Now(); }
    };

    struct Host final : PanelHost {
        Journal* journal = nullptr;
        std::vector<int> messages;
        std::vector<std::string> errors, opened;
        std::string fetchBody;
        bool openSucceeds = true;
        std::set<std::string> refusedUpdates;  // kept for the run, as the application keeps them
        void ShowWindow() override;
        void ShowMessage(int messageId) override;
        void ShowError(const std::string& text) override;
        bool OpenUrl(const std::string& address) override;
        std::string FetchUpdateInstaller(const std::string& address) override;
        void StopThreadsForUpdate() override;
        void CloseForUpdate() override;
        void Pause(int64_t milliseconds) override;
        void ExitForUpdate() override;
        bool IsUpdateRefused(const std::string& address) override { return refusedUpdates.count(address) > 0; }
        void RefuseUpdate(const std::string& address) override { refusedUpdates.insert(address); }
    };

    PanelRig();

    // A panel on the rig, with what its construction recorded forgotten.
    std::unique_ptr<GamePanel> Build(const ManifestEntry& entry, bool selfUpdate = false);
    // Forgets the page calls, events, journal and messages recorded so far.
    void Forget();

    // A game entry "Game" (id 7) with one location whose program lives in
    // env's "games/Game/", a download address, a catalogue; not installed.
    ManifestEntry Entry(const std::string& name = "Game", int32_t id = 7) const;
    // Installs the game of the entry: its key, folder and program file.
    void Install(const ManifestEntry& entry);
    void Uninstall(const ManifestEntry& entry);
    // A downloaded installer file for the address, recorded complete.
    std::string Downloaded(const std::string& address, const std::string& name = "setup.exe");

    TestEnvironment env;
    Journal journal;
    RecordingPageCalls page;
    Events events;
    Store store;
    Transfers transfers;
    Locator locator;
    Patches patches;
    Workers workers;
    Programs programs;
    Disc disc;
    CheckTimes checkTimes;
    Host host;
    PanelServices services;
};
