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
    return manifest && manifest->IsListReady();
}

std::vector<ManifestEntry> SystemBoardSources::TakeEntries() {
    return manifest ? manifest->TakeEntries() : std::vector<ManifestEntry>{};
}

bool SystemBoardSources::CheckAutoUpdate(int32_t offeredVersion) {
    return manifest && manifest->CheckAutoUpdate(offeredVersion);
}

bool SystemBoardSources::IsTransferManagerBusy() {
    return transfers && transfers->IsBusy();
}

TransferResults SystemBoardSources::TakeTransferResults() {
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
    std::string address = config ? config->GetCampaignUrl() : std::string();
    if (address.empty() || Prefs::ReadNumber(kCampaignGroup, address) != 0)
        return;
    // Message 28 comes from OpenUrl when the browser cannot be started; the
    // address counts as opened all the same, so it is never tried again.
    OpenUrl(address);
    Prefs::WriteCampaignUrl(address);
}
