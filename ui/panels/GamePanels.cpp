#include "ui/panels/GamePanels.h"

#include "ui/panels/DiscFinder.h"
#include "ui/panels/GamePanel.h"
#include "ui/panels/PanelPageCalls.h"

std::vector<std::string> PollPanels(const std::vector<GamePanel*>& panels, const TransferResults& results) {
    std::vector<std::string> volumeNames;
    for (GamePanel* panel : panels) {
        panel->PollWork(results.completed);
        panel->NoteEndedTransfers(results.cancelled, results.failed);
        for (const std::string& name : panel->GetVolumeNames())
            volumeNames.push_back(name);
        if (results.Changed())
            panel->RefreshState();
        if (panel->CheckExternalInstall())
            panel->RefreshState();
    }
    return volumeNames;
}

void RefreshForDisc(const std::vector<GamePanel*>& panels, const std::vector<std::string>& volumeNames,
                    DiscFinder& disc) {
    if (disc.FindDisc(volumeNames).empty())
        return;
    for (GamePanel* panel : panels)
        if (panel->GetState() == PanelState::NotInstalled)
            panel->RefreshState();
}

bool AnyPanelBusy(const std::vector<GamePanel*>& panels) {
    for (GamePanel* panel : panels)
        if (panel->IsBusy())
            return true;
    return false;
}

bool AnyPanelPatching(const std::vector<GamePanel*>& panels) {
    for (GamePanel* panel : panels)
        if (panel->GetState() == PanelState::Patching)
            return true;
    return false;
}

void ReplayPanels(PanelPageCalls& page, const std::vector<GamePanel*>& panels,
                  const std::function<void()>& afterClear) {
    page.clearGamePanels();
    if (afterClear)
        afterClear();
    for (GamePanel* panel : panels)
        panel->ReplayOnPage();
}

std::vector<PanelSnapshot> SnapshotPanels(const std::vector<GamePanel*>& panels) {
    std::vector<PanelSnapshot> copies;
    copies.reserve(panels.size());
    for (GamePanel* panel : panels)
        copies.push_back(panel->Snapshot());
    return copies;
}
