#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/threads/Singleton.h"
#include "core/threads/Thread.h"
#include "games/ProgressRecord.h"
#include "games/downloads/DownloadState.h"
#include "games/downloads/TransferActivity.h"
#include "games/downloads/TransferSettings.h"

class DownloadRecord;
class FolderDialog;
class HttpTransfer;

// The one owner of all running downloads. It starts a download for a download
// address (one URL or several separated by ","), keeps its state in the registry
// group "Downloads" so that it survives a restart, pauses, resumes and cancels
// it, and every 500 ms notices which downloads completed or failed. The game
// panels drive it from the GUI thread and take its results from three lists.
// It also carries the flags by which the launcher counts as busy.
//
// One re-entrant lock guards it; the transfers' threads never take it.
class TransferManager : public Singleton<TransferManager>, public Thread, public TransferActivity {
public:
    static constexpr const char* kOtherUserPrompt =
        "ERROR: Another user is already downloading to that location. Please select another folder.";
    static constexpr const char* kOtherUserMessage =
        "Another user is already downloading to that location. Please select another folder.";

    explicit TransferManager(TransferSettings settings = {});
    ~TransferManager() override;

    // True when a transfer runs for the address afterwards (one that ran already
    // counts; a paused one is resumed). A recorded download resumes in its
    // stored folder; one whose folder is gone starts afresh, as a new one.
    bool StartDownload(const std::string& address, bool askUser);
    bool PauseTransfer(const std::string& address);   // always true
    bool ResumeTransfer(const std::string& address);  // always true
    void CancelTransfer(const std::string& address, bool keepFiles);
    // At exit: pauses every transfer and records it as paused, and waits (a few
    // seconds at most) until each pause has made its bytes durable.
    void StopAll();
    // The manager thread's step: completed and failed transfers.
    void Update();

    std::vector<std::string> TakeCompleted();
    std::vector<std::string> TakeCancelled();
    std::vector<std::string> TakeFailed();

    static DownloadStatus LoadDownloadState(const std::string& address);
    static int32_t LoadDownloadStartTime(const std::string& address);
    static std::string LoadSaveDirectory(const std::string& address);
    static std::string LoadDownloadInstaller(const std::string& address);
    static void SaveDownloadState(const std::string& address, DownloadState state);
    static void SaveDownloadStartTime(const std::string& address, int64_t secondsSince1970);
    static void SaveSaveDirectory(const std::string& address, const std::string& folder);
    bool IsDownloadComplete(const std::string& address);
    // Deletes a finished or abandoned download's files and the folder's lock.
    static void ResetDownload(const std::string& address);

    // The transfer's whole progress record, not only its text (see HttpTransfer).
    ProgressRecord GetProgressText(const std::string& address);
    // For the diagnostic report; read each through HttpTransfer's accessors
    // while the GUI thread may still remove them, so only under Lock().
    std::vector<HttpTransfer*> GetTransfers();
    HttpTransfer* FindTransfer(const std::string& address);  // caller holds Lock()
    void RemoveTransfer(HttpTransfer* transfer);
    std::recursive_mutex& Lock() { return lock; }

    // Busy flags, set by their owners.
    bool HasTransfers() override;
    bool IsFolderDialogOpen() override;
    bool IsInstallerRunning() override;
    bool IsPatching() override { return IsPatchRunning(); }
    bool IsCheckingInstall() override { return IsRepairRunning(); }
    bool IsRepairRunning();
    bool IsPatchRunning();
    void SetRepairRunning(bool running);
    void SetPatchRunning(bool running);
    void AddActive();      // a game panel started an installer
    void ReleaseActive();  // it ended (never below 0)

    // The default folder unless both flags are set; then the folder dialog (its
    // own prompt when prompt is empty). "" when cancelled, "-1" when the choice
    // has no path; otherwise the folder with a trailing "/".
    std::string ChooseSaveDirectory(bool askUser, bool showDialog, const std::string& prompt);
    static std::string DefaultSaveDirectory();
    void SetFolderDialog(FolderDialog* dialog);

protected:
    void Run() override;

private:
    enum class Begin { Started, NotEnoughSpace, OtherUser, PathInUse, NoThread };
    Begin BeginTransfer(HttpTransfer& transfer, const std::string& folder, bool resume);
    bool PathsInUse(const HttpTransfer& transfer, const std::string& folder);
    bool SharesValueNamesWithATransfer(const DownloadRecord& record);
    // Stores the folder a download goes into; keepFiles: it is the folder the
    // record's files lie in, whose marks stay.
    void RecordSaveFolder(const DownloadRecord& record, const std::string& folder, bool keepFiles);
    static void StoreFailedStart(const DownloadRecord& record);
    bool StartWithDialog(std::unique_ptr<HttpTransfer> transfer, Begin first);

    TransferSettings settings;
    std::recursive_mutex lock;
    bool folderDialogOpen = false;
    int32_t installersRunning = 0;
    bool repairRunning = false;
    bool patchRunning = false;
    std::vector<std::unique_ptr<HttpTransfer>> transfers;
    std::vector<std::string> failed;
    std::vector<std::string> cancelled;
    std::vector<std::string> completed;
};
