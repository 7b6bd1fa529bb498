#pragma once
#include <string>

#include "games/ProgressRecord.h"
#include "games/downloads/DownloadState.h"

// The transfer manager as a game panel drives it, keyed by download address.
class PanelTransfers {
public:
    virtual ~PanelTransfers() = default;

    // True when a transfer runs for the address afterwards. askUser allows the
    // folder dialog when the first start fails.
    virtual bool StartDownload(const std::string& address, bool askUser) = 0;
    virtual bool PauseTransfer(const std::string& address) = 0;
    virtual bool ResumeTransfer(const std::string& address) = 0;
    // Stops it and discards its files.
    virtual void CancelTransfer(const std::string& address) = 0;
    // A transfer for the address is in the manager's list (running or paused).
    virtual bool IsHeld(const std::string& address) = 0;
    virtual ProgressRecord GetProgress(const std::string& address) = 0;
    // At exit and before the update installer: every transfer paused and recorded so.
    virtual void StopAll() = 0;

    // The stored record of a download.
    virtual DownloadStatus LoadStatus(const std::string& address) = 0;
    virtual void SaveState(const std::string& address, DownloadState state) = 0;
    // "_downloadInstaller": the fetched ".exe", ".msi" or ".quorpatch" file.
    virtual std::string LoadInstaller(const std::string& address) = 0;
    // Deletes a finished or abandoned download's files and its folder's lock.
    virtual void ResetDownload(const std::string& address) = 0;
    // The per-user download folder, with its trailing "/".
    virtual std::string DefaultSaveDirectory() = 0;

    // The busy flags the panels own: each panel sets its flag when its patch
    // (check) starts and clears it when that ends; the manager's flag stays set
    // while any panel's runs.
    virtual void SetPatchRunning(bool running) = 0;
    virtual void SetRepairRunning(bool running) = 0;
    virtual void AddActive() = 0;      // an installer started
    virtual void ReleaseActive() = 0;  // it ended
};
