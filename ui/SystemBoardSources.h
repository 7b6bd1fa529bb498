#pragma once
#include "ui/panels/PanelBoard.h"

class ConfigManager;
class ManifestManager;
class TransferManager;

// The board's sources on the managers it is given: the manifest manager, the
// transfer manager, the configuration's campaign page and the page calls of
// the catalogue's addresses. A missing manager reads as idle and empty.
class SystemBoardSources final : public BoardSources {
public:
    // Each may be absent (nullptr) and outlives this.
    SystemBoardSources(ManifestManager* manifest, TransferManager* transfers, ConfigManager* config)
        : manifest(manifest), transfers(transfers), config(config) {}

    bool IsListReady() override;
    std::vector<ManifestEntry> TakeEntries() override;
    bool CheckAutoUpdate(int32_t offeredVersion) override;
    bool IsTransferManagerBusy() override;
    TransferResults TakeTransferResults() override;
    void SetCatalogueUrls(const std::string& gameUrl, const std::string& allGamesUrl) override;
    void OpenCampaign() override;

private:
    ManifestManager* manifest;
    TransferManager* transfers;
    ConfigManager* config;
};
