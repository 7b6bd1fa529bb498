#pragma once
#include <array>
#include <ostream>

#include "core/PanelState.h"

// Failure messages name the state and give the number the page sees.
inline const char* PanelStateName(PanelState state) {
    switch (state) {
    case PanelState::Created: return "Created";
    case PanelState::NoDownload: return "NoDownload";
    case PanelState::NotInstalled: return "NotInstalled";
    case PanelState::Downloading: return "Downloading";
    case PanelState::DownloadingPatch: return "DownloadingPatch";
    case PanelState::Downloaded: return "Downloaded";
    case PanelState::DiscAvailable: return "DiscAvailable";
    case PanelState::Installing: return "Installing";
    case PanelState::Ready: return "Ready";
    case PanelState::Playing: return "Playing";
    case PanelState::PatchAvailable: return "PatchAvailable";
    case PanelState::Patching: return "Patching";
    case PanelState::Hidden: return "Hidden";
    case PanelState::Checking: return "Checking";
    case PanelState::FailedDownload: return "FailedDownload";
    }
    return "unknown";
}

inline std::ostream& operator<<(std::ostream& out, PanelState state) {
    return out << PanelStateName(state) << " (" << ToNumber(state) << ")";
}

// Every state in number order, for tables that walk them all.
inline constexpr std::array<PanelState, 15> kAllPanelStates = {
    PanelState::Created,       PanelState::NoDownload,       PanelState::NotInstalled,
    PanelState::Downloading,   PanelState::DownloadingPatch, PanelState::Downloaded,
    PanelState::DiscAvailable, PanelState::Installing,       PanelState::Ready,
    PanelState::Playing,       PanelState::PatchAvailable,   PanelState::Patching,
    PanelState::Hidden,        PanelState::Checking,         PanelState::FailedDownload,
};
