#pragma once
#include <cstdint>
#include <optional>

// The code a download keeps as "_downloadState" in the registry group "Downloads".
// 203 and 207 are never written.
enum class DownloadState : uint32_t {
    Downloading = 202,  // a transfer runs (also after a resume)
    Paused = 204,       // paused by the user, or at exit
    None = 205,         // cancelled, or a start failed
    Completed = 206,
    Failed = 208,
};

// What the stored code means to the game panels.
enum class DownloadStatus : int {
    None = 0,        // no usable record: a new download
    Incomplete = 1,  // 202 or 204: resume in the stored folder
    Complete = 2,    // 206
    Failed = 5,      // 208: the files are kept, a start resumes them
};

// The state a stored code names; nullopt for a code never written (203, 207,
// 0 for an absent value, or anything else a changed registry may hold).
inline std::optional<DownloadState> DownloadStateFromStoredCode(uint32_t code) {
    for (DownloadState state : {DownloadState::Downloading, DownloadState::Paused, DownloadState::None,
                                DownloadState::Completed, DownloadState::Failed})
        if (static_cast<uint32_t>(state) == code)
            return state;
    return std::nullopt;
}

// Maps a stored code; anything unknown (an absent value included) is None.
inline DownloadStatus StatusFromStoredCode(uint32_t code) {
    std::optional<DownloadState> state = DownloadStateFromStoredCode(code);
    if (!state)
        return DownloadStatus::None;
    switch (*state) {
    case DownloadState::Downloading:
    case DownloadState::Paused: return DownloadStatus::Incomplete;
    case DownloadState::Completed: return DownloadStatus::Complete;
    case DownloadState::Failed: return DownloadStatus::Failed;
    case DownloadState::None: break;
    }
    return DownloadStatus::None;
}
