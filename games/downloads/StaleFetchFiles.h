#pragma once
#include <set>
#include <string>

// The temporary files a fetch of one file leaves beside its target when the
// program is killed before the rename: "<name>.repair-<pid>-<n>" and
// "<name>.part-<pid>-<n>". Those whose process no longer runs are removed; a
// running process may still be writing its own.
class StaleFetchFiles {
public:
    // Whether name has the form of such a file; pid set to its process.
    static bool Matches(const std::string& name, long& pid);

    // Removes the stale ones directly in folder, once per folder for this object.
    void RemoveIn(const std::string& folder);

private:
    std::set<std::string> cleaned;
};
