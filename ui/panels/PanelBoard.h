#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ManifestEntry.h"
#include "ui/panels/GamePanels.h"
#include "ui/panels/PanelServices.h"
#include "ui/panels/PanelSnapshot.h"

class DiscFinder;
class GamePanel;

// What the main frame's timer reads besides the panels' own services: the
// manifest manager, the transfer manager, and the catalogue-wide steps of a
// manifest (its page addresses, the campaign page).
class BoardSources {
public:
    virtual ~BoardSources() = default;

    // A refreshed list waits; taking it clears that.
    virtual bool IsListReady() = 0;
    virtual std::vector<ManifestEntry> TakeEntries() = 0;
    virtual bool CheckAutoUpdate(int32_t offeredVersion) = 0;
    // The transfer manager's busy test: a transfer, its folder dialog, an
    // installer, a patch or a check.
    virtual bool IsTransferManagerBusy() = 0;
    // Its completed, cancelled and failed downloads since the last call.
    virtual TransferResults TakeTransferResults() = 0;
    // The self-update entry's community and all-games pages, to the page.
    virtual void SetCatalogueUrls(const std::string& gameUrl, const std::string& allGamesUrl) = 0;
    // The campaign page, opened once per address (no update due).
    virtual void OpenCampaign() = 0;
};

// The main frame's game panels, in page order and by game name, the downloads
// the page asked for, and what the frame's timer does with them. GUI thread only:
// the page's commands arrive there too, so nothing here needs a lock.
class PanelBoard {
public:
    static constexpr const char* kIdle = "none";

    // services and sources must outlive the board.
    PanelBoard(const PanelServices& services, BoardSources& sources, DiscFinder& disc);
    ~PanelBoard();
    PanelBoard(const PanelBoard&) = delete;
    PanelBoard& operator=(const PanelBoard&) = delete;

    // The panels' part of the first-load sequence. While the launcher is busy
    // the panels are kept, the page gets each of them again as it stands and the
    // entries are dropped; otherwise the panels are built anew from them.
    void Load(const std::vector<ManifestEntry>& entries);
    // Deletes every panel, clears the page's panels and builds them from entries.
    void Rebuild(const std::vector<ManifestEntry>& entries);

    // The timer's steps after the first load: a refreshed list (rebuilt only
    // while nothing runs, otherwise dropped), the transfer manager's finished
    // downloads, each panel's step, the downloads the page asked for, the disc.
    void Tick();

    // The page's download: started by the next tick. A game named "none" reads
    // as idle and is never started.
    void QueueDownload(const std::string& game);
    std::vector<std::string> PendingDownloads() const;

    GamePanel* Find(const std::string& name) const;
    // Selects the game in the page (the auto-start game); unknown ones are ignored.
    void ActivateByName(const std::string& name);
    void ActivateById(int32_t id);

    // The transfer manager is busy, or some panel's installer, game, patch or
    // check runs: panels must not be rebuilt now.
    bool IsBusy();
    bool IsAnyGamePatching() const { return AnyPanelPatching(order); }
    const std::vector<GamePanel*>& Panels() const { return order; }
    // Copies for whoever reads the panels off the GUI thread.
    std::vector<PanelSnapshot> Snapshots() const { return SnapshotPanels(order); }

private:
    void Clear();
    void Add(std::unique_ptr<GamePanel> panel);
    void ApplyManifest(const std::vector<ManifestEntry>& entries);
    void StartPendingDownloads();

    PanelServices services;
    BoardSources& sources;
    DiscFinder& disc;
    std::vector<std::unique_ptr<GamePanel>> owned;
    std::vector<GamePanel*> order;
    std::map<std::string, GamePanel*> byName;
    // The catalogue addresses last sent to the page, for a replay.
    std::optional<std::pair<std::string, std::string>> catalogueUrls;
    // Game name -> kIdle, or the name itself while a download waits for the tick.
    std::map<std::string, std::string> pending;
};
