#pragma once
#include <string>

// The window's own log for tests and support: when QUOR_ACTIVITY_LOG names a
// file, what the window is asked to do and the main frame's page loads are
// appended to it, one line each ("restore", "hide", "iconize",
// "start-game-by-name Space Game", "start-game-by-id 12", "diagnostics",
// "exit-refused", "exit", "exit-message 6", "page-loaded <address>",
// "page-failed <address>"). Safe from any thread and process.
class ActivityLog {
public:
    static void Append(const std::string& line);
};
