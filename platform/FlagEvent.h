#pragma once
#include <cstddef>
#include <string>

namespace platform {

// A manual-reset event between processes of one user: set while the flag file
// exists. The show-window event of the single-instance hand-over.
class FlagEvent {
public:
    explicit FlagEvent(std::string path) : path(std::move(path)) {}

    // Makes the event, not signalled (a flag left by an earlier run is removed).
    bool Create();
    // Signals it; false when the flag cannot be made. Whatever is in the flag's
    // place and is not a regular file (a link of any kind, a FIFO, an empty
    // folder) is removed first, so the signal still arrives; a flag already there
    // keeps its text.
    bool Set();
    // Signals it with a short text for the side that waits (the whole flag
    // appears at once, text and all, replacing an earlier one); false when it
    // cannot be made. What is in its place goes as for Set.
    bool SetWithText(const std::string& text);
    // The text the flag carries, at most kMaxTextBytes of it; "" when there
    // is none or the flag is not a plain file.
    std::string Text() const;
    static constexpr size_t kMaxTextBytes = 4096;
    void Reset();
    // Only a regular file is the flag. Anything else in its place (a folder, a
    // FIFO, a link) is removed if it can be, and otherwise ignored, said once on
    // standard error: it must not keep the event signalled forever.
    bool IsSet() const;
    const std::string& Path() const { return path; }

private:
    // Says once on standard error that something stays in the flag's place; false.
    bool ReportStray() const;

    std::string path;
    mutable bool reportedStray = false;
};

}  // namespace platform
