#include "core/system/Shell.h"

#include "core/system/ProcessHandle.h"
#include "core/system/ProgramLauncher.h"
#include "core/text/MessageDisplay.h"
#include "core/text/Messages.h"
#include "core/threads/StartThread.h"

#include <memory>
#include <system_error>
#include <thread>

bool IsWebAddress(const std::string& address) {
    size_t colon = address.find(':');
    if (colon == std::string::npos)
        return false;
    std::string scheme = address.substr(0, colon);
    for (char& c : scheme)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (scheme != "http" && scheme != "https")
        return false;
    for (unsigned char c : address)
        if (c < 0x20 || c == 0x7f)
            return false;
    return true;
}

bool OpenUrl(const std::string& address, int64_t waitMs) {
    std::unique_ptr<ProcessHandle> child;
    if (IsWebAddress(address)) {
        std::string opener = FindOnPath("xdg-open");
        if (!opener.empty())
            child = ProcessHandle::Spawn(opener, {opener, address}, std::string());
    }
    if (!child) {
        ShowMessage(Msg::BrowserLaunchFailed);
        return false;
    }
    // The window's thread never waits for the desktop.
    std::shared_ptr<ProcessHandle> waited(std::move(child));
    try {
        StartThread("open address", [waited, waitMs] {
            if (waited->WaitFor(waitMs) && waited->ExitCode() != 0)
                ShowMessage(Msg::BrowserLaunchFailed);
            // A child still running is left to the reaper when the handle goes.
        }).detach();
    } catch (const std::system_error&) {
        // No thread to wait with: the opener runs, its status goes unheard.
    }
    return true;
}
