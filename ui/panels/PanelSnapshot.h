#pragma once
#include <cstdint>
#include <string>

// A copy of what a report needs of one panel, taken on the GUI thread so that
// no worker reads a panel itself.
struct PanelSnapshot {
    std::string gameName;
    int32_t gameId = 0;
    int32_t state = 0;
    std::string packageUrl;
    std::string installPath;  // empty when the game is not found
};
