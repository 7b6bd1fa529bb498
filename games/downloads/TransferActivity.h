#pragma once

// What the launcher is busy with, as the manifest refresh and the panel rebuild
// must know it. The transfer manager answers.
class TransferActivity {
public:
    virtual ~TransferActivity() = default;

    virtual bool HasTransfers() = 0;        // holds any transfer (running or paused)
    virtual bool IsFolderDialogOpen() = 0;  // the save-folder dialog is open
    virtual bool IsInstallerRunning() = 0;  // an installer started by a game panel runs
    virtual bool IsPatching() = 0;          // a patch is being applied
    virtual bool IsCheckingInstall() = 0;   // an installation check runs

    bool IsBusy() {
        return HasTransfers() || IsFolderDialogOpen() || IsInstallerRunning() || IsPatching() || IsCheckingInstall();
    }
};
