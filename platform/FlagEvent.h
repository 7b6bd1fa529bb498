#pragma once
#include <string>

namespace platform {

// A manual-reset event between processes of one user: set while the flag file
// exists. The show-window event of the single-instance hand-over.
class FlagEvent {
public:
    explicit FlagEvent(std::string path) : path(std::move(path)) {}

    // Makes the event, not signalled (a flag left by an earlier run is removed).
    bool Create();
    // Signals it; false when the flag cannot be made.
    bool Set();
    void Reset();
    bool IsSet() const;
    const std::string& Path() const { return path; }

private:
    std::string path;
};

}  // namespace platform
