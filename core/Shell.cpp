#include "core/Shell.h"

#include "core/Messages.h"
#include "core/ProcessHandle.h"
#include "core/ProgramLauncher.h"

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
    bool opened = false;
    if (IsWebAddress(address)) {
        std::string opener = FindOnPath("xdg-open");
        std::unique_ptr<ProcessHandle> child;
        if (!opener.empty())
            child = ProcessHandle::Spawn(opener, {opener, address}, std::string());
        if (child)
            opened = !child->WaitFor(waitMs) || child->ExitCode() == 0;
        // A child still running is left to the reaper when the handle goes.
    }
    if (!opened)
        ShowMessage(Msg::BrowserLaunchFailed);
    return opened;
}
