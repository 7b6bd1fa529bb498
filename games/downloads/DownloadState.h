#pragma once
#include <cstdint>

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

// Maps a stored code; anything unknown (an absent value included) is None.
inline DownloadStatus StatusFromStoredCode(uint32_t code) {
    switch (code) {
    case 202:
    case 204:
        return DownloadStatus::Incomplete;
    case 206:
        return DownloadStatus::Complete;
    case 208:
        return DownloadStatus::Failed;
    default:
        return DownloadStatus::None;
    }
}
