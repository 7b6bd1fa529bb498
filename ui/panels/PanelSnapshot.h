#pragma once
#include <cstdint>
#include <string>

#include "core/PanelState.h"

// A copy of what a report needs of one panel, taken on the GUI thread so that
// no worker reads a panel itself.
struct PanelSnapshot {
    std::string gameName;
    int32_t gameId = 0;
    PanelState state = PanelState::Created;
    std::string packageUrl;
    std::string installPath;  // empty when the game is not found
};
