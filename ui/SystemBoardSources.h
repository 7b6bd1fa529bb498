#pragma once
#include "ui/panels/PanelBoard.h"

// The board's sources on the process's managers: the manifest manager, the
// transfer manager, the configuration's campaign page and the page calls of
// the catalogue's addresses. A missing manager reads as idle and empty.
class SystemBoardSources final : public BoardSources {
public:
    bool IsListReady() override;
    std::vector<ManifestEntry> TakeEntries() override;
    bool CheckAutoUpdate(int32_t offeredVersion) override;
    bool IsTransferManagerBusy() override;
    TransferResults TakeTransferResults() override;
    void SetCatalogueUrls(const std::string& gameUrl, const std::string& allGamesUrl) override;
    void OpenCampaign() override;
};
