#pragma once
#include <functional>
#include <set>
#include <string>

// The temporary files a fetch of one file leaves beside its target when the
// program is killed before the rename: "<name>.part-<pid>-<n>" (and
// "<name>.repair-<pid>-<n>" of earlier versions). Those whose process no longer
// runs are removed; a running process may still be writing its own. A name of
// that form may also be a real file: what keep says is one is never removed.
class StaleFetchFiles {
public:
    using Test = std::function<bool(const std::string& path)>;

    // keep is asked about the whole path of each candidate; mayClean about each
    // folder, once, before anything in it is removed.
    explicit StaleFetchFiles(Test keep = {}, Test mayClean = {});

    // Whether name has the form of such a file; pid set to its process.
    static bool Matches(const std::string& name, long& pid);

    // Removes the stale ones directly in folder, once per folder for this
    // object (a folder mayClean refuses counts as done).
    void RemoveIn(const std::string& folder);

private:
    const Test keep;
    const Test mayClean;
    std::set<std::string> cleaned;
};
