#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What the diagnostic report needs of the panels and the transfers, copied on
// the GUI thread (the transfers under their manager's lock) when the report is
// asked for. The report's task reads only this, never a live panel or transfer.
struct DiagnosticSnapshot {
    struct Game {
        std::string name;
        int32_t state = 0;
        std::string packageUrl;
        std::string installPath;     // empty when the game is not found
        int32_t downloadStatus = 0;  // the stored status of the package address
        std::string saveFolder;      // the stored save folder of the package address
    };
    struct Transfer {
        std::string address;
        std::string saveFolder;
        std::string currentFileName;
        std::vector<std::string> urls;
    };

    std::string manifestVersion;
    std::string serviceBaseUrl;  // its host is what the report pings
    std::vector<Game> games;     // in the main frame's order
    std::vector<Transfer> transfers;
};
