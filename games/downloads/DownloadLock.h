#pragma once
#include <string>

// The "download.lock" file of a save folder: the name of the user who first
// downloaded there, without a line end. It keeps a second user out of a folder
// that is in use; it stays until the download's files are reset.
class DownloadLock {
public:
    static constexpr const char* kFileName = "download.lock";

    enum class Result {
        Owned,      // the user's own lock (or one made just now, or one that cannot be read)
        OtherUser,  // the first line names someone else
    };

    // Creates the lock for the user when the folder has none (exclusively, with
    // its content in place at once, so that of two users starting together only
    // one gets it), else tests the existing one. The first line (up to 254
    // characters, a line end included) must equal the user name byte for byte;
    // an empty lock counts as the user's own. A lock that can neither be made nor
    // read is not tested.
    static Result Take(const std::string& folder, const std::string& userName);
};
