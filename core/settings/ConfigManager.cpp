#include "core/settings/ConfigManager.h"

#include <cstdlib>

#include "core/settings/PrefsStore.h"
#include "core/system/SystemPaths.h"
#include "platform/AtomicFile.h"
#include "platform/DurableFiles.h"
#include "platform/Log.h"
#include "platform/XdgPaths.h"

namespace {

std::string ServiceBaseFromEnvironment() {
    const char* env = std::getenv("QUOR_SERVICE_URL");
    std::string base = (env && *env) ? env : QUOR_DEFAULT_SERVICE_URL;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base;
}

}  // namespace

ConfigManager::ConfigManager() : serviceBase(ServiceBaseFromEnvironment()) {}

ConfigManager::~ConfigManager() = default;

std::string ConfigManager::GetCampaignUrl() const {
    std::lock_guard<std::mutex> guard(lock);
    return campaignUrl;
}

void ConfigManager::SetCampaignUrl(const std::string& address) {
    std::lock_guard<std::mutex> guard(lock);
    campaignUrl = address;
}

std::vector<ManifestEntry> ConfigManager::GetLastGoodEntries() const {
    std::lock_guard<std::mutex> guard(lock);
    return lastGoodEntries;
}

void ConfigManager::SetLastGoodEntries(const std::vector<ManifestEntry>& entries) {
    std::lock_guard<std::mutex> guard(lock);
    lastGoodEntries = entries;
}

std::string ConfigManager::GetLanguage() {
    uint32_t n = Prefs::GetNumber("Language");
    return (n >= 1 && n <= 5) ? Prefs::kLanguageCodes[n - 1] : "en";
}

bool ConfigManager::GetSkin() {
    if (skin < 0)
        skin = Prefs::GetNumber("Skin") == 2 ? 1 : 0;
    return skin == 1;
}

std::string ConfigManager::GetAppDataFolder() {
    std::string base = GetLocalAppDataPath();
    if (base.empty())
        return {};
    std::string folder = base + "/Brindlemoor Quor!";
    if (!platform::MakeFolders(folder, 0700))
        return {};
    return folder + "/";
}

bool ConfigManager::SaveToAppDataFile(const std::string& name, const std::string& bytes) {
    std::string folder = GetAppDataFolder();
    if (folder.empty()) {
        Log::Warning("no data folder; %s not saved", name.c_str());
        return false;
    }
    return platform::WriteFileAtomically(folder + name, bytes, 0600) == 0;
}

std::string ConfigManager::ReadFileBytes(const std::string& path) {
    std::string bytes;
    platform::ReadWholeFile(path, bytes);
    return bytes;
}
