#pragma once
#include <cstdint>

// A game panel's state. The panels hold it; the page (setGamePanelState) and
// the diagnostic report see the numbers, so every state keeps its value;
// convert with ToNumber where a state leaves the panels.
enum class PanelState : int32_t {
    Created = 0,           // just built, not yet evaluated
    NoDownload = 1,        // the entry has no download address
    NotInstalled = 2,      // not installed; no usable download
    Downloading = 3,       // the game's installer is downloading
    DownloadingPatch = 4,  // a patch file is downloading
    Downloaded = 5,        // installer downloaded, ready to install
    DiscAvailable = 6,     // not installed; the game's disc is in a drive
    Installing = 7,        // an installer started by the panel runs
    Ready = 8,             // installed and up to date, or a web game
    Playing = 9,           // the game started by the panel runs
    PatchAvailable = 10,   // installed; the patch catalogue names a next patch
    Patching = 11,         // a patch file is being applied
    Hidden = 12,           // not installed, and shown only when installed
    Checking = 13,         // an installation check runs
    FailedDownload = 14,   // the game's last download failed
};

constexpr int32_t ToNumber(PanelState state) {
    return static_cast<int32_t>(state);
}
