#include "games/catalogue/ManifestManager.h"

#include <dirent.h>
#include <exception>
#include <fnmatch.h>
#include <sys/stat.h>

#include "core/ExitRequester.h"
#include "core/net/HttpRequest.h"
#include "core/settings/ConfigManager.h"
#include "core/settings/Prefs.h"
#include "core/system/Clock.h"
#include "core/system/MachineSerial.h"
#include "core/system/SystemPaths.h"
#include "core/text/Messages.h"
#include "core/text/StringUtils.h"
#include "games/catalogue/Manifest.h"
#include "games/downloads/TransferActivity.h"
#include "games/downloads/TransferManager.h"
#include "platform/Log.h"

namespace {

constexpr const char* kAutoUpdateGroup = "AutoUpdate";

// The saved copy is named by the last part of the manifest address.
std::string SavedCopyName(const std::string& manifestUrl) {
    std::string name = GetUrlFileName(manifestUrl);
    if (name == "." || name == "..")
        return {};
    return name;
}

int32_t RefreshPeriodOf(const std::vector<ManifestEntry>& entries) {
    for (const ManifestEntry& entry : entries)
        if (entry.isAutoUpdate && entry.manifestRefreshTime > 0)
            return entry.manifestRefreshTime;
    return ManifestManager::kDefaultRefreshPeriod;
}

// How long a failed self-update locks the next try, by the number of tries.
int64_t LockSeconds(uint32_t tries) {
    if (tries == 2)
        return 120;
    if (tries <= 5)
        return 600;
    if (tries <= 20)
        return 2700;
    return 3600;
}

}  // namespace

struct ManifestManager::Loaded {
    std::vector<ManifestEntry> entries;
    bool fresh = false;          // parsed from one of the sources just now
    bool exitRequested = false;  // nothing at all could be read
};

ManifestManager::ManifestManager() : ManifestManager(Services{}) {}

ManifestManager::ManifestManager(Services services)
    : Thread("manifest"),
      configuration(services.configuration),
      activity(services.activity),
      clock(services.clock ? services.clock : &Clock::System()),
      exitRequester(services.exitRequester),
      programFolder(services.programFolder.empty() ? GetProgramDirectory() : services.programFolder),
      fetchTimeLimitSeconds(services.fetchTimeLimitSeconds) {
    if (!programFolder.empty() && programFolder.back() != '/')
        programFolder += '/';
    nextRefresh = clock->Now() + kFirstRefreshDelay;
}

ManifestManager::~ManifestManager() {
    Stop();
}

ExitRequester& ManifestManager::Exit() {
    return exitRequester ? *exitRequester : ExitRequester::Current();
}

TransferActivity* ManifestManager::Activity() {
    return activity ? activity : TransferManager::Instance();
}

std::string ManifestManager::GetMachineSerial(ConfigManager& config) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (config.machineSerial.empty())
        config.machineSerial = ComputeMachineSerial();
    return config.machineSerial;
}

std::string ManifestManager::SavedCopyPath(ConfigManager& config) {
    std::string name = SavedCopyName(config.ManifestUrl());
    std::string folder = ConfigManager::GetAppDataFolder();
    return name.empty() || folder.empty() ? std::string() : folder + name;
}

std::string ManifestManager::FetchManifest(ConfigManager& config) {
    return FetchBody(config, nullptr);
}

std::string ManifestManager::FetchBody(ConfigManager& config, ManifestDocument* parsed) {
    std::string stored = Prefs::GetString("CurrentSerialNumber");
    std::string current = GetMachineSerial(config);
    std::string previous;
    if (stored.empty()) {
        Prefs::SetString("CurrentSerialNumber", current);
    } else if (stored != current && !current.empty()) {
        Prefs::SetString("PreviousSerialNumber", stored);
        Prefs::SetString("CurrentSerialNumber", current);
        previous = stored;
    } else {
        previous = Prefs::GetString("PreviousSerialNumber");
    }

    // Serials are digits, which encoding leaves alone; a damaged stored value
    // cannot add query keys of its own.
    std::string address = config.ManifestUrl() + "?us=" + UrlEncode(current) + "&prev=" + UrlEncode(previous);
    if (!config.manifestParam.empty())
        address += "&manifest_param=" + UrlEncode(config.manifestParam);

    // Stop ends a fetch under way, so that the shutdown never waits on the network.
    std::string body = HttpGetToString(address, kFetchConnectTimeoutSeconds, BodyKind::Document, fetchTimeLimitSeconds,
                                       [this] { return IsStopRequested(); });
    if (body.empty())
        return body;
    // A captive portal's page or an error body must never replace a good copy.
    ManifestDocument document = ParseManifestDocument(body, kBannerFolder, ConfigManager::GetLanguage());
    if (!document.entries.empty()) {
        std::string name = SavedCopyName(config.ManifestUrl());
        if (!name.empty())
            ConfigManager::SaveToAppDataFile(name, body);
    }
    if (parsed)
        *parsed = std::move(document);
    return body;
}

std::string ManifestManager::ShippedManifestPath() {
    DIR* folder = opendir(programFolder.c_str());
    if (!folder)
        return {};
    // The first match in byte order, so that the choice does not depend on the file system.
    std::string best;
    while (dirent* item = readdir(folder)) {
        std::string name = item->d_name;
        if (name.empty() || name[0] == '.' || fnmatch("manifest*.xml", name.c_str(), FNM_CASEFOLD) != 0)
            continue;
        struct stat info;
        if (stat((programFolder + name).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        if (best.empty() || name < best)
            best = name;
    }
    closedir(folder);
    return best.empty() ? best : programFolder + best;
}

ManifestManager::Loaded ManifestManager::Load(ConfigManager& config, bool preferSaved) {
    // fromSavedCopy changes only when the load is done: the lock is not held
    // meanwhile, and an update check in between must see the entries in force.
    const std::string language = ConfigManager::GetLanguage();
    bool anyText = false;
    ManifestDocument document;

    // A source counts only when it reads as a manifest with entries; a damaged
    // saved copy or a stray page gives way to the next source.
    auto fromText = [&](const std::string& text) {
        if (text.empty())
            return false;
        anyText = true;
        document = ParseManifestDocument(text, kBannerFolder, language);
        return !document.entries.empty();
    };
    auto fromSaved = [&] {
        std::string path = SavedCopyPath(config);
        return !path.empty() && fromText(ConfigManager::ReadFileBytes(path));
    };
    auto fromShipped = [&] {
        std::string path = ShippedManifestPath();
        return !path.empty() && fromText(ConfigManager::ReadFileBytes(path));
    };
    auto fromFetch = [&] {
        ManifestDocument fetched;
        if (FetchBody(config, &fetched).empty())
            return false;
        anyText = true;
        document = std::move(fetched);
        return !document.entries.empty();
    };

    bool usedLocal = false;
    bool found;
    if (preferSaved) {
        found = fromSaved() || fromShipped() || fromFetch();
    } else {
        found = fromFetch();
        if (!found && IsStopRequested())
            return {};  // stopping: a cut-off fetch is no reason to end the program
        if (!found) {
            usedLocal = true;
            found = fromSaved() || fromShipped();
        }
        if (!found && !anyText) {
            Exit().RequestExit(Msg::ManifestUnavailable);
            return {{}, false, true};
        }
    }
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        fromSavedCopy = usedLocal;
    }
    if (!found)
        return {config.GetLastGoodEntries(), false, false};
    // The manager in place (not necessarily this one) keeps the version.
    ApplyManifestDocument(document, config, [](const std::string& version) {
        if (ManifestManager* manager = ManifestManager::Instance())
            manager->SetManifestVersion(version);
    });
    config.SetLastGoodEntries(document.entries);
    return {std::move(document.entries), true, false};
}

std::vector<ManifestEntry> ManifestManager::LoadManifest(ConfigManager& config, bool preferSaved) {
    return Load(config, preferSaved).entries;
}

bool ManifestManager::IsListReady() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return listReady;
}

std::vector<ManifestEntry> ManifestManager::TakeEntries() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    listReady = false;
    return entries;
}

void ManifestManager::MakeRefreshDue() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    nextRefresh = clock->Now();
    if (refreshRunning)
        dueDuringRefresh = true;
}

std::string ManifestManager::GetManifestVersion() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return manifestVersion;
}

void ManifestManager::SetManifestVersion(const std::string& version) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    manifestVersion = version;
}

int64_t ManifestManager::NextRefreshTime() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return nextRefresh;
}

bool ManifestManager::IsFromSavedCopy() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return fromSavedCopy;
}

bool ManifestManager::CheckAutoUpdate(int32_t offeredVersion) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    uint32_t last = Prefs::ReadNumber(kAutoUpdateGroup, "LastVersionAttempted");
    uint32_t expire = Prefs::ReadNumber(kAutoUpdateGroup, "ExpireAutoUpdateLockTime");
    if (fromSavedCopy || offeredVersion <= kOwnBuild)
        return false;
    if (updateDecided)
        return true;
    int64_t now = clock->Now();
    if (static_cast<int32_t>(last) == offeredVersion) {
        if (now < static_cast<int64_t>(expire))
            return false;
        uint32_t tries = Prefs::ReadNumber(kAutoUpdateGroup, "TryCount") + 1;
        Prefs::WriteNumber(kAutoUpdateGroup, "TryCount", tries);
        if (tries == 1)
            return false;
        Prefs::WriteNumber(kAutoUpdateGroup, "ExpireAutoUpdateLockTime",
                           static_cast<uint32_t>(now + LockSeconds(tries)));
        updateDecided = true;
        return true;
    }
    Prefs::WriteNumber(kAutoUpdateGroup, "LastVersionAttempted", static_cast<uint32_t>(offeredVersion));
    Prefs::WriteNumber(kAutoUpdateGroup, "TryCount", 0);
    Prefs::WriteNumber(kAutoUpdateGroup, "ExpireAutoUpdateLockTime", 0);
    updateDecided = true;
    return true;
}

void ManifestManager::RefreshTick() {
    ConfigManager* config = configuration ? configuration : ConfigManager::Instance();
    if (!config)
        return;
    int64_t start;
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (listReady)
            return;
        start = clock->Now();
        if (start < nextRefresh)
            return;
        nextRefresh = start;
    }
    // Asked outside our lock: the transfer manager answers under its own.
    if (TransferActivity* busy = Activity(); busy && busy->IsBusy())
        return;
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        refreshRunning = true;
        dueDuringRefresh = false;
    }
    // The fetch and parse run without the lock, so the main frame and the page
    // never wait on the network.
    Loaded loaded;
    try {
        loaded = Load(*config, false);
    } catch (const std::exception& e) {
        // Counted as a refresh that brought nothing: tried again after the default period.
        Log::Warning("manifest refresh failed: %s", e.what());
    }
    if (loaded.exitRequested) {
        // The application winds the program down; this thread only stops.
        MarkStopped();
        std::lock_guard<std::recursive_mutex> guard(lock);
        refreshRunning = false;
        return;
    }
    std::lock_guard<std::recursive_mutex> guard(lock);
    refreshRunning = false;
    int32_t period = kDefaultRefreshPeriod;
    if (loaded.fresh) {
        period = RefreshPeriodOf(loaded.entries);
        entries = std::move(loaded.entries);
        listReady = true;
    }
    if (!dueDuringRefresh)
        nextRefresh = start + period;
}

void ManifestManager::Run() {
    try {
        RefreshTick();
    } catch (const std::exception& e) {
        Log::Warning("manifest tick failed: %s", e.what());
    }
    WaitForStop(kTickMs);
}
