#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One "location" element of a manifest game.
struct ManifestLocation {
    std::string installkey;        // a registry reference, or a shortcut marker
    std::string launchpathsubkey;  // value holding the game's folder, or "!" + a literal folder
    std::string launchfilesubkey;  // value holding the program's file name, or "!" + a literal
};

// One entry of the manifest: the launcher's own update first when offered, then
// one per game. Plain values, copied whole.
struct ManifestEntry {
    int32_t id = 0;
    std::string name;
    std::string homepage;
    std::string banner;
    std::string patchcatalog;
    std::string url;  // may list several files separated by ","
    std::string exename;
    std::string exeparams;
    std::string installmanifest;
    std::string manifestversion;  // auto-update entry only
    std::string installlocation;
    std::string iconurl;
    std::vector<std::string> installExeKeys;
    std::vector<std::string> volumeNames;
    int32_t downloadPopupDelay = 0;
    std::string downloadPopupUrl;
    std::vector<ManifestLocation> locations;
    bool requireLogin = false;
    bool isAutoUpdate = false;
    int32_t version = 0;
    int32_t manifestRefreshTime = 7200;
    std::string gameUrl;
    std::string allGamesUrl;
    int32_t monitorRefreshTime = 0;
    bool showOnlyIfInstalled = false;
};
