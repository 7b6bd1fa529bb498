#pragma once
#include <string>

struct TransferSettings;

// The "download.lock" file of a save folder: the name of the user who first
// downloaded there, without a line end. It keeps a second user out of a folder
// that is in use; it stays until the download's files are reset.
class DownloadLock {
public:
    static constexpr const char* kFileName = "download.lock";

    enum class Result {
        Owned,      // the user's own lock (or one made just now, or one that cannot be read)
        OtherUser,  // the first line names someone else
        Unusable,   // a link, a pipe or anything but a regular file has the name
    };

    // Creates the lock for the user when the folder has none (exclusively, its
    // content synced before it is linked into place and the folder synced
    // after, so that of two users starting together only one gets it and a
    // power cut never leaves it empty), else tests the existing one, opened
    // without following a link or waiting on a pipe. The first line (up to 254
    // characters, a line end included) must equal the user name byte for byte.
    // An empty lock (a power cut on a file system without hard links, or an
    // older program) counts as the user's own, who then writes the name into it
    // the same way, so that it is nobody's no longer. A lock that can neither be
    // made nor read is not tested. Syncs go through the settings' seam.
    static Result Take(const std::string& folder, const std::string& userName, const TransferSettings& settings);
};
