#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "core/ManifestEntry.h"
#include "core/threads/Singleton.h"

// Run-time configuration several parts read: the page addresses of config.xml,
// the campaign address, the machine serial, the service addresses, the last good
// manifest entries and the start-hidden flag. The interface language and skin
// live in the registry; the per-user data folder is
// $XDG_DATA_HOME/Brindlemoor Quor!/.
class ConfigManager : public Singleton<ConfigManager> {
public:
    ConfigManager();
    ~ConfigManager();

    // Written on the GUI thread by the config.xml reader.
    std::string homeUrl;
    std::string helpUrl;
    std::string registerUrl;
    std::string machineSerial;  // computed once per run
    bool startHidden = false;   // "silent"; cleared when the window is restored
    std::string manifestParam;  // appended as "&manifest_param=" when not empty

    // The publisher's service: QUOR_SERVICE_URL, else the build's default (no trailing "/").
    std::string ServiceBaseUrl() const { return serviceBase; }
    std::string ManifestUrl() const { return serviceBase + "/quor/manifest.php"; }
    std::string TelemetryUrl() const { return serviceBase + "/quor/t.php"; }
    std::string ErrorUrl() const { return serviceBase + "/quor/error.php"; }

    // Shared with the manifest thread: guarded, handed out as copies.
    std::string GetCampaignUrl() const;
    void SetCampaignUrl(const std::string& address);
    std::vector<ManifestEntry> GetLastGoodEntries() const;
    void SetLastGoodEntries(const std::vector<ManifestEntry>& entries);

    // "en", "tr", "de", "es" or "pt" from Preferences "Language", read on every call
    // (Prefs::SetLanguage writes it: a failed write is shown, a layer above this).
    static std::string GetLanguage();
    // Preferences "Skin" == 2; read once per run.
    bool GetSkin();

    // The per-user data folder with its trailing "/", created (with its parents)
    // when needed; empty when no data folder can be had.
    static std::string GetAppDataFolder();
    // Writes the file atomically into the data folder; with no folder it writes
    // nothing and logs one line to standard error. False on failure.
    static bool SaveToAppDataFile(const std::string& name, const std::string& bytes);
    // The whole file; empty when it cannot be read.
    static std::string ReadFileBytes(const std::string& path);

private:
    std::string serviceBase;
    mutable std::mutex lock;
    std::string campaignUrl;
    std::vector<ManifestEntry> lastGoodEntries;
    int skin = -1;  // -1: not read yet
};
