#pragma once
#include <functional>
#include <string>
#include <vector>

#include "ui/panels/PanelSnapshot.h"

class DiscFinder;
class GamePanel;
class PanelPageCalls;

// What the main frame's timer does with all panels at once, in page order.

// The transfer manager's lists of one tick.
struct TransferResults {
    std::vector<std::string> completed;
    std::vector<std::string> cancelled;
    std::vector<std::string> failed;
    // A download was cancelled or failed: every panel looks at its state again.
    bool Changed() const { return !cancelled.empty() || !failed.empty(); }
};

// For each panel: its per-tick step, the downloads that ended, the refresh a
// change asks for and the refresh an outside installation asks for (both held
// off while the panel's own work runs). Answers the disc volume names of all panels.
std::vector<std::string> PollPanels(const std::vector<GamePanel*>& panels, const TransferResults& results);

// When a disc of one of the volume names is in a drive, every panel that is not
// installed looks at its state again. Runs after the queued downloads have
// started, so a game whose download was asked for stays with its download.
void RefreshForDisc(const std::vector<GamePanel*>& panels, const std::vector<std::string>& volumeNames,
                    DiscFinder& disc);

// An installer, a game, a patch or a check of some panel runs.
bool AnyPanelBusy(const std::vector<GamePanel*>& panels);
// Some panel is applying a patch: the launcher must not end now.
bool AnyPanelPatching(const std::vector<GamePanel*>& panels);

// After a reload of the page while the launcher is busy: the page's panels are
// cleared, afterClear runs (the catalogue addresses go there, as on a first
// load) and every panel is added again as it stands.
void ReplayPanels(PanelPageCalls& page, const std::vector<GamePanel*>& panels,
                  const std::function<void()>& afterClear = {});

// Copies for a report that is built on another thread.
std::vector<PanelSnapshot> SnapshotPanels(const std::vector<GamePanel*>& panels);
