#include "ui/panels/SystemPanelHost.h"

#include <chrono>
#include <thread>

#include "core/net/HttpRequest.h"
#include "core/system/Shell.h"
#include "core/text/MessageDisplay.h"
#include "core/threads/TaskManager.h"
#include "games/catalogue/ManifestManager.h"
#include "games/downloads/TransferManager.h"

void SystemPanelHost::ShowMessage(int messageId) {
    ::ShowMessage(messageId);
}

void SystemPanelHost::ShowError(const std::string& text) {
    ReportError(text);
    ShowPageMessage(text);
}

bool SystemPanelHost::OpenUrl(const std::string& address) {
    return ::OpenUrl(address);
}

std::string SystemPanelHost::FetchUpdateInstaller(const std::string& address) {
    // One request without a connect time-out, as the installer's server may be slow.
    return HttpGetToString(address, 0, BodyKind::Program);
}

void SystemPanelHost::StopThreadsForUpdate() {
    if (manifests)
        manifests->Stop();
    if (transfers)
        transfers->Stop();
    if (tasks)
        tasks->Stop();
}

void SystemPanelHost::Pause(int64_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
