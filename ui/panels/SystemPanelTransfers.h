#pragma once
#include "ui/panels/PanelTransfers.h"

class TransferManager;

// The transfer manager it is given; while there is none (nullptr), nothing
// starts and nothing is held. The stored records are read and written all the same.
class SystemPanelTransfers final : public PanelTransfers {
public:
    explicit SystemPanelTransfers(TransferManager* manager) : manager(manager) {}

    bool StartDownload(const std::string& address, bool askUser) override;
    bool PauseTransfer(const std::string& address) override;
    bool ResumeTransfer(const std::string& address) override;
    void CancelTransfer(const std::string& address) override;
    bool IsHeld(const std::string& address) override;
    ProgressRecord GetProgress(const std::string& address) override;
    void StopAll() override;
    DownloadStatus LoadStatus(const std::string& address) override;
    void SaveState(const std::string& address, DownloadState state) override;
    std::string LoadInstaller(const std::string& address) override;
    void ResetDownload(const std::string& address) override;
    std::string DefaultSaveDirectory() override;
    void SetPatchRunning(bool running) override;
    void SetRepairRunning(bool running) override;
    void AddActive() override;
    void ReleaseActive() override;

private:
    TransferManager* manager;  // nullable; outlives this
    // Panels whose patch or check runs; the manager's flag is set while any does.
    int patchesRunning = 0;
    int checksRunning = 0;
};
