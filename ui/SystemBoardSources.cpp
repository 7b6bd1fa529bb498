#include "ui/SystemBoardSources.h"

#include "core/settings/ConfigManager.h"
#include "core/settings/Prefs.h"
#include "core/system/Shell.h"
#include "games/catalogue/ManifestManager.h"
#include "games/downloads/TransferManager.h"
#include "ui/ClientHandler.h"
#include "ui/UiBindingHandler.h"
#include "ui/UiScript.h"

namespace {

constexpr const char* kCampaignGroup = "CampaignUrls";

}  // namespace

bool SystemBoardSources::IsListReady() {
    ManifestManager* manifest = ManifestManager::Instance();
    return manifest && manifest->IsListReady();
}

std::vector<ManifestEntry> SystemBoardSources::TakeEntries() {
    ManifestManager* manifest = ManifestManager::Instance();
    return manifest ? manifest->TakeEntries() : std::vector<ManifestEntry>{};
}

bool SystemBoardSources::CheckAutoUpdate(int32_t offeredVersion) {
    ManifestManager* manifest = ManifestManager::Instance();
    return manifest && manifest->CheckAutoUpdate(offeredVersion);
}

bool SystemBoardSources::IsTransferManagerBusy() {
    TransferManager* transfers = TransferManager::Instance();
    return transfers && transfers->IsBusy();
}

TransferResults SystemBoardSources::TakeTransferResults() {
    TransferManager* transfers = TransferManager::Instance();
    if (!transfers)
        return {};
    // One list at a time: the manager's lock is never held across two.
    TransferResults results;
    results.completed = transfers->TakeCompleted();
    results.cancelled = transfers->TakeCancelled();
    results.failed = transfers->TakeFailed();
    return results;
}

void SystemBoardSources::SetCatalogueUrls(const std::string& gameUrl, const std::string& allGamesUrl) {
    UiScript::SetGameUrl(ClientHandler::GetGlobalBindingHandler(), gameUrl);
    UiScript::SetAllGamesUrl(ClientHandler::GetGlobalBindingHandler(), allGamesUrl);
}

void SystemBoardSources::OpenCampaign() {
    ConfigManager* config = ConfigManager::Instance();
    std::string address = config ? config->GetCampaignUrl() : std::string();
    if (address.empty() || Prefs::ReadNumber(kCampaignGroup, address) != 0)
        return;
    // Message 28 comes from OpenUrl when the browser cannot be started; the
    // address counts as opened all the same, so it is never tried again.
    OpenUrl(address);
    Prefs::WriteCampaignUrl(address);
}
