#pragma once
#include <string>

#include "core/PanelState.h"

// The page's game commands as a game panel carries them out. The bridge finds
// the panel by its game name and calls it at once, on the GUI thread.
class GameCommandTarget {
public:
    virtual ~GameCommandTarget() = default;

    virtual PanelState GetState() const = 0;
    virtual void OnInstall() = 0;
    virtual void OnCancel() = 0;
    virtual void OnInstallFromDisc() = 0;
    virtual void OnPlay() = 0;
    virtual void OnPatch() = 0;
    virtual void OnPause() = 0;
    virtual void OnUnpause() = 0;
    virtual void OnPreview() = 0;
    virtual void LaunchOptions() = 0;
    // The token `play` passes to the game; empty clears it.
    virtual void SetPlayToken(const std::string& token) = 0;
};
