#pragma once
#include <cstdint>
#include <string>

// What the panels need of the window and the application: showing the window
// and messages, the user's browser, and the steps by which the launcher hands
// over to its own update installer.
class PanelHost {
public:
    virtual ~PanelHost() = default;

    virtual void ShowWindow() = 0;
    // A message of the table, shown in the page and reported.
    virtual void ShowMessage(int messageId) = 0;
    // The system's error text, shown in the page and reported.
    virtual void ShowError(const std::string& text) = 0;
    // Opens an address in the user's browser; false when that failed (message
    // 28 has been shown).
    virtual bool OpenUrl(const std::string& address) = 0;

    // The update roads. Fetches the update installer into memory with one
    // request; empty when nothing was received.
    virtual std::string FetchUpdateInstaller(const std::string& address) = 0;
    // Stops the manifest, transfer and task-queue threads, in that order.
    virtual void StopThreadsForUpdate() = 0;
    // Closes the window, shuts the browser down and runs the toolkit's clean-up.
    virtual void CloseForUpdate() = 0;
    virtual void Pause(int64_t milliseconds) = 0;
    // Ends the process with exit code 0.
    virtual void ExitForUpdate() = 0;
    // An update (by its download address) whose installer cannot start is
    // refused once and not tried again in this run: the panels are rebuilt at
    // every manifest refresh, so the refusal is kept outside them.
    virtual bool IsUpdateRefused(const std::string& address) = 0;
    virtual void RefuseUpdate(const std::string& address) = 0;
};
