#include "ui/panels/PanelBoard.h"

#include "platform/ReleaseMemory.h"
#include "ui/panels/GamePanel.h"
#include "ui/panels/PanelPageCalls.h"
#include "ui/panels/PanelStore.h"

PanelBoard::PanelBoard(const PanelServices& services, BoardSources& sources, DiscFinder& disc)
    : services(services), sources(sources), disc(disc) {}

PanelBoard::~PanelBoard() {
    Clear();
}

void PanelBoard::Clear() {
    // The map first: nothing may find a panel that is being deleted.
    byName.clear();
    order.clear();
    owned.clear();
}

void PanelBoard::Add(std::unique_ptr<GamePanel> panel) {
    GamePanel* p = panel.get();
    owned.push_back(std::move(panel));
    order.push_back(p);
    // A later entry of the same name takes the place of an earlier one.
    byName[p->GameName()] = p;
}

void PanelBoard::Load(const std::vector<ManifestEntry>& entries) {
    // Rebuilding now would lose a running installer, game, patch or check, and a
    // panel holding a transfer: the page gets the panels as they stand instead.
    if (!order.empty() && IsBusy()) {
        // The page has lost its catalogue addresses too; they come from the
        // entries the panels were built from, not from the dropped ones.
        ReplayPanels(*services.page, order, [this] {
            if (catalogueUrls)
                sources.SetCatalogueUrls(catalogueUrls->first, catalogueUrls->second);
        });
        return;
    }
    Rebuild(entries);
}

void PanelBoard::Rebuild(const std::vector<ManifestEntry>& entries) {
    Clear();
    services.page->clearGamePanels();
    ApplyManifest(entries);
    // The last catalogue's panels are gone, and its entries, read on the
    // manifest's reading threads: without this a large catalogue leaves a little
    // more of the heap behind at every rebuild.
    platform::ReleaseFreeMemory();
}

void PanelBoard::ApplyManifest(const std::vector<ManifestEntry>& entries) {
    catalogueUrls.reset();
    // Pass 1: the launcher's own update, whose panel comes first when it is due.
    for (const ManifestEntry& entry : entries) {
        if (!entry.isAutoUpdate)
            continue;
        sources.SetCatalogueUrls(entry.gameUrl, entry.allGamesUrl);
        catalogueUrls = std::make_pair(entry.gameUrl, entry.allGamesUrl);
        if (sources.CheckAutoUpdate(entry.version)) {
            auto panel = std::make_unique<GamePanel>(services, entry, true);
            panel->RefreshState();
            Add(std::move(panel));
            break;
        }
        sources.OpenCampaign();
    }
    // Pass 2: the games, in manifest order; each panel has evaluated its state.
    for (const ManifestEntry& entry : entries) {
        if (entry.isAutoUpdate)
            continue;
        Add(std::make_unique<GamePanel>(services, entry, false));
    }
}

void PanelBoard::Tick() {
    if (sources.IsListReady()) {
        std::vector<ManifestEntry> entries = sources.TakeEntries();
        // A list that finds the launcher busy is dropped; the next refresh brings another.
        if (!IsBusy())
            Rebuild(entries);
    }
    TransferResults results = sources.TakeTransferResults();
    for (const std::string& address : results.cancelled)
        services.store->DeleteProductValue(address);
    std::vector<std::string> volumeNames = PollPanels(order, results);
    StartPendingDownloads();
    RefreshForDisc(order, volumeNames, disc);
}

void PanelBoard::StartPendingDownloads() {
    for (auto& [name, marker] : pending) {
        if (marker == kIdle)
            continue;
        marker = kIdle;
        if (GamePanel* panel = Find(name))
            panel->OnDownload();
    }
}

void PanelBoard::QueueDownload(const std::string& game) {
    pending[game] = game;
}

std::vector<std::string> PanelBoard::PendingDownloads() const {
    std::vector<std::string> names;
    for (const auto& [name, marker] : pending)
        if (marker != kIdle)
            names.push_back(name);
    return names;
}

GamePanel* PanelBoard::Find(const std::string& name) const {
    auto it = byName.find(name);
    return it == byName.end() ? nullptr : it->second;
}

void PanelBoard::ActivateByName(const std::string& name) {
    if (GamePanel* panel = Find(name))
        panel->ActivateOnPage();
}

void PanelBoard::ActivateById(int32_t id) {
    for (GamePanel* panel : order) {
        if (panel->GameId() == id) {
            panel->ActivateOnPage();
            return;
        }
    }
}

bool PanelBoard::IsBusy() {
    return sources.IsTransferManagerBusy() || AnyPanelBusy(order);
}
