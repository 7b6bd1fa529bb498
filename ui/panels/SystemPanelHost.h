#pragma once
#include "ui/panels/PanelHost.h"

class ManifestManager;
class TaskManager;
class TransferManager;

// The host's parts that need no window: messages, the browser, the update
// installer's fetch, stopping the threads and the pause. The main frame derives
// from it and adds showing itself, closing for the update and the exit.
class SystemPanelHost : public PanelHost {
public:
    // The threads it stops; each may be absent (nullptr) and outlives this.
    SystemPanelHost(ManifestManager* manifests, TransferManager* transfers, TaskManager* tasks)
        : manifests(manifests), transfers(transfers), tasks(tasks) {}

    void ShowMessage(int messageId) override;
    void ShowError(const std::string& text) override;
    bool OpenUrl(const std::string& address) override;
    std::string FetchUpdateInstaller(const std::string& address) override;
    void StopThreadsForUpdate() override;
    void Pause(int64_t milliseconds) override;

private:
    ManifestManager* manifests;
    TransferManager* transfers;
    TaskManager* tasks;
};
