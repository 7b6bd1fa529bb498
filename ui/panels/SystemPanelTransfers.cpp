#include "ui/panels/SystemPanelTransfers.h"

#include <mutex>

#include "games/downloads/TransferManager.h"

bool SystemPanelTransfers::StartDownload(const std::string& address, bool askUser) {
    return manager && manager->StartDownload(address, askUser);
}

bool SystemPanelTransfers::PauseTransfer(const std::string& address) {
    return manager && manager->PauseTransfer(address);
}

bool SystemPanelTransfers::ResumeTransfer(const std::string& address) {
    return manager && manager->ResumeTransfer(address);
}

void SystemPanelTransfers::CancelTransfer(const std::string& address) {
    if (manager)
        manager->CancelTransfer(address, false);
}

bool SystemPanelTransfers::IsHeld(const std::string& address) {
    if (!manager)
        return false;
    std::lock_guard<std::recursive_mutex> guard(manager->Lock());
    return manager->FindTransfer(address) != nullptr;
}

ProgressRecord SystemPanelTransfers::GetProgress(const std::string& address) {
    return manager ? manager->GetProgressText(address) : ProgressRecord{};
}

void SystemPanelTransfers::StopAll() {
    if (manager)
        manager->StopAll();
}

DownloadStatus SystemPanelTransfers::LoadStatus(const std::string& address) {
    return TransferManager::LoadDownloadState(address);
}

void SystemPanelTransfers::SaveState(const std::string& address, DownloadState state) {
    TransferManager::SaveDownloadState(address, state);
}

std::string SystemPanelTransfers::LoadInstaller(const std::string& address) {
    return TransferManager::LoadDownloadInstaller(address);
}

void SystemPanelTransfers::ResetDownload(const std::string& address) {
    TransferManager::ResetDownload(address);
}

std::string SystemPanelTransfers::DefaultSaveDirectory() {
    return TransferManager::DefaultSaveDirectory();
}

namespace {

// The manager keeps one flag; several panels may patch or check at once.
bool Count(int& count, bool running) {
    if (running)
        ++count;
    else if (count > 0)
        --count;
    return count > 0;
}

}  // namespace

void SystemPanelTransfers::SetPatchRunning(bool running) {
    bool any = Count(patchesRunning, running);
    if (manager)
        manager->SetPatchRunning(any);
}

void SystemPanelTransfers::SetRepairRunning(bool running) {
    bool any = Count(checksRunning, running);
    if (manager)
        manager->SetRepairRunning(any);
}

void SystemPanelTransfers::AddActive() {
    if (manager)
        manager->AddActive();
}

void SystemPanelTransfers::ReleaseActive() {
    if (manager)
        manager->ReleaseActive();
}
