#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/ManifestEntry.h"
#include "core/threads/Singleton.h"
#include "core/threads/Thread.h"

class Clock;
class ConfigManager;
class ExitRequester;
class TransferActivity;
struct ManifestDocument;

// Obtains the manifest (the publisher's endpoint, else the copy saved at the last
// good fetch, else a "manifest*.xml" shipped in the program folder), keeps the
// entries for the main frame, refreshes them on its own thread while the
// launcher is idle, and decides whether the launcher should update itself.
class ManifestManager : public Singleton<ManifestManager>, public Thread {
public:
    // What the manager talks to; each null member takes the process default,
    // looked up when it is needed: the current ConfigManager and TransferManager,
    // the installed exit requester, the system clock, the program folder.
    struct Services {
        ConfigManager* configuration = nullptr;
        TransferActivity* activity = nullptr;
        Clock* clock = nullptr;
        ExitRequester* exitRequester = nullptr;
        std::string programFolder;  // with its trailing "/"
        // The whole fetch may take this long, so that neither the start-up fetch
        // on the GUI thread nor a refresh can hang on a server that crawls.
        long fetchTimeLimitSeconds = kFetchTimeLimitSeconds;
    };

    static constexpr long kFetchConnectTimeoutSeconds = 5;
    static constexpr long kFetchTimeLimitSeconds = 60;
    static constexpr int64_t kTickMs = 1500;
    static constexpr int64_t kFirstRefreshDelay = 15;
    static constexpr int32_t kDefaultRefreshPeriod = 7200;
    static constexpr int32_t kOwnBuild = QUOR_BUILD_NUMBER;

    ManifestManager();
    explicit ManifestManager(Services services);
    ~ManifestManager() override;

    // The machine serial of this run, computed once and cached in the configuration.
    std::string GetMachineSerial(ConfigManager& configuration);

    // Asks the endpoint with the machine serials ("?us=...&prev=..."). A body
    // that reads as a manifest with at least one entry replaces the saved copy
    // (atomically); anything else leaves it. Returns the body as it came; empty
    // once the refresh thread has been told to stop (a fetch under way ends then).
    std::string FetchManifest(ConfigManager& configuration);

    // The entries from the first source that gives any, in the order the mode
    // asks for; with none, the configuration's last good list. In refresh mode
    // (preferSaved false) with nothing at all to read, the program ends through
    // the exit requester (message 7) and the result is empty.
    std::vector<ManifestEntry> LoadManifest(ConfigManager& configuration, bool preferSaved);

    // The main frame's side: whether a refreshed list waits, and taking it.
    bool IsListReady();
    std::vector<ManifestEntry> TakeEntries();
    // The page's refreshInterface: the next refresh is due at once, also when a
    // refresh is running right now.
    void MakeRefreshDue();

    std::string GetManifestVersion();
    void SetManifestVersion(const std::string& version);

    // Whether to start the launcher's own update to offeredVersion now, with
    // the try count and lock time kept under the registry group "AutoUpdate".
    bool CheckAutoUpdate(int32_t offeredVersion);

    // One pass of the refresh thread without its sleep.
    void RefreshTick();

    int64_t NextRefreshTime();
    bool IsFromSavedCopy();
    ExitRequester& Exit();
    const std::string& ProgramFolder() const { return programFolder; }
    // Where the saved copy lives ("" when no data folder can be had).
    std::string SavedCopyPath(ConfigManager& configuration);

protected:
    void Run() override;

private:
    struct Loaded;
    std::string FetchBody(ConfigManager& configuration, ManifestDocument* parsed);
    Loaded Load(ConfigManager& configuration, bool preferSaved);
    std::string ShippedManifestPath();
    TransferActivity* Activity();

    ConfigManager* configuration;
    TransferActivity* activity;
    Clock* clock;
    ExitRequester* exitRequester;
    std::string programFolder;
    long fetchTimeLimitSeconds;

    std::recursive_mutex lock;
    int64_t nextRefresh = 0;
    bool listReady = false;
    bool updateDecided = false;
    bool fromSavedCopy = false;
    bool refreshRunning = false;
    bool dueDuringRefresh = false;
    std::string manifestVersion;
    std::vector<ManifestEntry> entries;
};
