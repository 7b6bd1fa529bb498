#include "games/downloads/TransferManager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>
#include <utility>

#include "core/PageCallSink.h"
#include "core/text/MessageDisplay.h"
#include "core/text/Messages.h"
#include "core/text/StringUtils.h"
#include "games/downloads/DownloadLock.h"
#include "games/downloads/DownloadRecord.h"
#include "games/downloads/FolderDialog.h"
#include "games/downloads/HttpTransfer.h"
#include "games/downloads/SaveFolder.h"
#include "platform/DurableFiles.h"
#include "platform/Log.h"
#include "platform/PathParts.h"

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// One spelling per path, so that "a//b" and "a/b" are seen as the same file.
std::string SqueezeSlashes(const std::string& path) {
    std::string out;
    for (char c : path)
        if (c != '/' || out.empty() || out.back() != '/')
            out += c;
    return out;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TransferManager::TransferManager(TransferSettings settings) : Thread("transfers"), settings(std::move(settings)) {
    if (this->settings.startManagerThread)
        Start();
}

TransferManager::~TransferManager() {
    Stop();
    Guard guard(lock);
    // Each transfer aborts and joins its thread as it goes; files and states stay.
    transfers.clear();
}

void TransferManager::Run() {
    if (WaitForStop(settings.updateIntervalMs))
        return;
    Update();
}

bool TransferManager::StartDownload(const std::string& address, bool askUser) {
    Guard guard(lock);
    if (HttpTransfer* running = FindTransfer(address)) {
        if (running->IsPauseRequested()) {
            running->RequestResume();
            SaveDownloadState(address, DownloadState::Downloading);
        }
        return true;
    }
    DownloadRecord record(address);
    // Addresses that agree in their first characters share the value names:
    // while one of them runs, another may not write them.
    if (SharesValueNamesWithATransfer(record)) {
        ShowMessage(Msg::TransferStartFailed);
        return false;
    }
    DownloadStatus status = record.LoadStatus();
    auto transfer = std::make_unique<HttpTransfer>(address, settings);
    if (!transfer->HasUsableFileNames()) {
        ShowMessage(Msg::SaveFileFailed);
        StoreFailedStart(record);
        return false;
    }

    std::string stored = record.LoadSaveDirectory();
    // A stored folder that is empty would mean the working folder, and one that
    // is gone took the files with it: a new download, in a folder chosen as for
    // any. A gone folder is not made again: it may be a drive that is not
    // mounted now (its mount point would receive the download), or one the
    // user removed.
    bool storedIsFolder = IsFolder(stored);
    if (status != DownloadStatus::None && !stored.empty() && !storedIsFolder)
        Log::Info("the save folder \"%s\" is gone: the download starts afresh", stored.c_str());
    bool resuming = status != DownloadStatus::None && storedIsFolder;
    Begin r;
    if (resuming) {
        r = BeginTransfer(*transfer, stored, true);
    } else {
        std::string folder = ChooseSaveDirectory(askUser, false, "");
        if (!IsValidUtf8(folder))
            return StartWithDialog(std::move(transfer), Begin::NoThread);
        if (folder.empty()) {
            settings.QueueEvent("DownloadNotStarted", "SaveDirectoryEmpty", address);
            return false;
        }
        if (folder == "-1") {
            settings.QueueEvent("DownloadNotStarted", "ErrorPickingSaveDirectory", address);
            return false;
        }
        // Files this download itself wrote into this folder before (a start that
        // failed afterwards) are still its own; nothing else is resumed.
        bool keepFiles = folder == stored && storedIsFolder;
        RecordSaveFolder(record, folder, keepFiles);
        record.SaveStartTime(settings.Now());
        r = BeginTransfer(*transfer, folder, keepFiles);
    }
    if (r == Begin::Started) {
        transfers.push_back(std::move(transfer));
        return true;
    }
    if (r == Begin::PathInUse) {
        // Only this folder is refused: a user who may be asked picks another.
        ShowMessage(Msg::FileExists);
        if (!askUser) {
            StoreFailedStart(record);
            return false;
        }
    }
    if (!askUser) {
        StoreFailedStart(record);
        return false;
    }
    return StartWithDialog(std::move(transfer), r);
}

bool TransferManager::StartWithDialog(std::unique_ptr<HttpTransfer> transfer, Begin first) {
    const std::string address = transfer->GetAddress();
    DownloadRecord record(address);
    std::string folder = ChooseSaveDirectory(true, true, first == Begin::OtherUser ? kOtherUserPrompt : "");
    if (folder.empty()) {
        settings.QueueEvent("DownloadNotStarted", "SaveDirectoryEmpty", address);
        StoreFailedStart(record);
        return false;
    }
    if (folder == "-1") {
        StoreFailedStart(record);
        settings.QueueEvent("DownloadNotStarted", "ErrorPickingSaveDirectory", address);
        return false;
    }
    std::string stored = record.LoadSaveDirectory();
    bool keepFiles = folder == stored && IsFolder(stored);
    RecordSaveFolder(record, folder, keepFiles);
    Begin r = BeginTransfer(*transfer, folder, keepFiles);
    if (r == Begin::Started) {
        transfers.push_back(std::move(transfer));
        return true;
    }
    if (r == Begin::NotEnoughSpace) {
        uint64_t megabytes = (transfer->GetRequiredBytes() + 1048575) / 1048576;
        std::string text = "Could not download to drive " + DriveOfFolder(folder) +
                           ". Please choose a new download location with at least " + std::to_string(megabytes) +
                           " MB free";
        ReportError(text);
        ShowPageMessage(text);
        settings.QueueEvent("DownloadNotStarted", "NotEnoughDiskSpace", address);
    } else if (r == Begin::OtherUser) {
        ReportError(kOtherUserMessage);
        ShowPageMessage(kOtherUserMessage);
    } else if (r == Begin::PathInUse) {
        ShowMessage(Msg::FileExists);
    }
    StoreFailedStart(record);
    return false;
}

TransferManager::Begin TransferManager::BeginTransfer(HttpTransfer& transfer, const std::string& folder, bool resume) {
    if (PathsInUse(transfer, folder))
        return Begin::PathInUse;
    int r = transfer.Prepare(folder, resume);
    if (r == HttpTransfer::kNotEnoughSpace)
        return Begin::NotEnoughSpace;
    if (r == HttpTransfer::kLockedByOtherUser)
        return Begin::OtherUser;
    // A link or a pipe at a name of the download refuses the folder, as a file
    // of another download there does.
    if (r == HttpTransfer::kUnusableName)
        return Begin::PathInUse;
    // Recorded before the first byte is written, so that a crash from here on
    // finds a download to resume.
    SaveDownloadState(transfer.GetAddress(), DownloadState::Downloading);
    return transfer.Launch() ? Begin::Started : Begin::NoThread;
}

bool TransferManager::SharesValueNamesWithATransfer(const DownloadRecord& record) {
    for (const auto& transfer : transfers)
        if (transfer->GetAddress() != record.Address() &&
            DownloadRecord(transfer->GetAddress()).ValueName("") == record.ValueName(""))
            return true;
    return false;
}

void TransferManager::RecordSaveFolder(const DownloadRecord& record, const std::string& folder, bool keepFiles) {
    // The folder's own name is on the disk before the record names it, whoever
    // made it (the folder dialog may have, a moment ago).
    std::string name = folder;
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    if (!settings.SyncFolder(platform::FolderOf(name, ".")))
        Log::Warning("the save folder \"%s\" may not survive a power cut", folder.c_str());
    // Marks of files in another folder must not come to describe this one's.
    if (!keepFiles)
        record.ClearFileMarks();
    record.SaveSaveDirectory(folder);
    record.SaveAddress();
}

void TransferManager::StoreFailedStart(const DownloadRecord& record) {
    // Names another address has claimed keep that download's state.
    if (record.BelongsToAddress())
        record.SaveState(DownloadState::None);
}

bool TransferManager::PathsInUse(const HttpTransfer& transfer, const std::string& folder) {
    std::set<std::string> mine;
    for (const std::string& path : transfer.OutputPathsIn(folder))
        mine.insert(SqueezeSlashes(path));
    for (const auto& other : transfers) {
        if (other->GetAddress() == transfer.GetAddress())
            continue;
        for (const std::string& path : other->OutputPathsIn(other->GetSaveDirectory()))
            if (mine.count(SqueezeSlashes(path)))
                return true;
    }
    // A paused, failed or finished download of another address whose files are
    // still on disk: a new download there would overwrite them.
    for (const std::string& address : DownloadRecord::RecordedAddresses()) {
        if (address == transfer.GetAddress() || FindTransfer(address))
            continue;
        DownloadRecord other(address);
        std::string otherFolder = other.LoadSaveDirectory();
        if (otherFolder.empty() || other.LoadStatus() == DownloadStatus::None)
            continue;
        for (const std::string& url : SplitString(address, ',')) {
            std::string name = GetUrlFileName(url);
            if (!IsPlainFileName(name))
                continue;
            std::string path = SqueezeSlashes(otherFolder + name);
            if (mine.count(path) && FileExists(path))
                return true;
        }
    }
    return false;
}

bool TransferManager::PauseTransfer(const std::string& address) {
    Guard guard(lock);
    if (HttpTransfer* transfer = FindTransfer(address)) {
        transfer->RequestPause();
        SaveDownloadState(address, DownloadState::Paused);
    }
    return true;
}

bool TransferManager::ResumeTransfer(const std::string& address) {
    Guard guard(lock);
    if (HttpTransfer* transfer = FindTransfer(address)) {
        transfer->RequestResume();
        SaveDownloadState(address, DownloadState::Downloading);
    }
    return true;
}

void TransferManager::CancelTransfer(const std::string& address, bool keepFiles) {
    Guard guard(lock);
    auto it =
        std::find_if(transfers.begin(), transfers.end(), [&](const auto& t) { return t->GetAddress() == address; });
    if (it == transfers.end())
        return;
    (*it)->Cancel();
    SaveDownloadState(address, DownloadState::None);
    if (!keepFiles)
        ResetDownload(address);
    cancelled.push_back(address);
    transfers.erase(it);
}

void TransferManager::StopAll() {
    Guard guard(lock);
    for (const auto& transfer : transfers) {
        settings.QueueEvent("DownloadFailed", "PausedOnExit", transfer->GetAddress());
        transfer->RequestPause();
        SaveDownloadState(transfer->GetAddress(), DownloadState::Paused);
    }
    // The program ends next: a pause takes effect once the bytes are on the disk
    // and recorded, which the transfers are given a few seconds in all to do.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (const auto& transfer : transfers)
        while (!transfer->IsPaused() && !transfer->IsComplete() && !transfer->IsFailed() &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void TransferManager::Update() {
    Guard guard(lock);
    std::vector<HttpTransfer*> done;
    std::vector<std::string> failedNow;
    for (const auto& transfer : transfers) {
        const std::string& address = transfer->GetAddress();
        if (transfer->IsComplete()) {
            SaveDownloadState(address, DownloadState::Completed);
            completed.push_back(address);
            done.push_back(transfer.get());
            int64_t started = static_cast<uint32_t>(LoadDownloadStartTime(address));
            settings.QueueEvent("DownloadTransferTime", address, std::to_string((settings.Now() - started) / 1000));
        } else if (transfer->IsFailed()) {
            settings.QueueEvent("DownloadFailed", address, "");
            failedNow.push_back(address);
        }
    }
    for (HttpTransfer* transfer : done)
        RemoveTransfer(transfer);
    for (const std::string& address : failedNow) {
        // Keeps the files: the next start resumes them.
        CancelTransfer(address, true);
        failed.push_back(address);
        SaveDownloadState(address, DownloadState::Failed);
    }
    for (size_t i = 0; i < failedNow.size(); ++i)
        ShowMessage(Msg::DownloadFailed);
}

std::vector<std::string> TransferManager::TakeCompleted() {
    Guard guard(lock);
    return std::exchange(completed, {});
}

std::vector<std::string> TransferManager::TakeCancelled() {
    Guard guard(lock);
    return std::exchange(cancelled, {});
}

std::vector<std::string> TransferManager::TakeFailed() {
    Guard guard(lock);
    return std::exchange(failed, {});
}

DownloadStatus TransferManager::LoadDownloadState(const std::string& address) {
    return DownloadRecord(address).LoadStatus();
}

int32_t TransferManager::LoadDownloadStartTime(const std::string& address) {
    return DownloadRecord(address).LoadStartTime();
}

std::string TransferManager::LoadSaveDirectory(const std::string& address) {
    return DownloadRecord(address).LoadSaveDirectory();
}

std::string TransferManager::LoadDownloadInstaller(const std::string& address) {
    return DownloadRecord(address).LoadInstaller();
}

void TransferManager::SaveDownloadState(const std::string& address, DownloadState state) {
    DownloadRecord(address).SaveState(state);
}

void TransferManager::SaveDownloadStartTime(const std::string& address, int64_t secondsSince1970) {
    DownloadRecord(address).SaveStartTime(secondsSince1970);
}

void TransferManager::SaveSaveDirectory(const std::string& address, const std::string& folder) {
    DownloadRecord(address).SaveSaveDirectory(folder);
}

bool TransferManager::IsDownloadComplete(const std::string& address) {
    Guard guard(lock);
    return LoadDownloadState(address) == DownloadStatus::Complete;
}

void TransferManager::ResetDownload(const std::string& address) {
    DownloadRecord record(address);
    if (record.LoadStatus() == DownloadStatus::Incomplete)
        return;
    std::string folder = record.LoadSaveDirectory();
    if (folder.empty())
        return;
    for (const std::string& url : SplitString(address, ',')) {
        std::string name = GetUrlFileName(url);
        if (IsPlainFileName(name))
            unlink((folder + name).c_str());
    }
    unlink((folder + DownloadLock::kFileName).c_str());
    // The files are gone from the disk before the record stops describing them.
    platform::SyncFolder(folder);
    record.ClearFileMarks();
}

ProgressRecord TransferManager::GetProgressText(const std::string& address) {
    Guard guard(lock);
    HttpTransfer* transfer = FindTransfer(address);
    return transfer ? transfer->GetProgressText() : ProgressRecord{};
}

std::vector<HttpTransfer*> TransferManager::GetTransfers() {
    Guard guard(lock);
    std::vector<HttpTransfer*> list;
    for (const auto& transfer : transfers)
        list.push_back(transfer.get());
    return list;
}

HttpTransfer* TransferManager::FindTransfer(const std::string& address) {
    for (const auto& transfer : transfers)
        if (transfer->GetAddress() == address)
            return transfer.get();
    return nullptr;
}

void TransferManager::RemoveTransfer(HttpTransfer* transfer) {
    Guard guard(lock);
    auto it = std::find_if(transfers.begin(), transfers.end(), [&](const auto& t) { return t.get() == transfer; });
    if (it != transfers.end())
        transfers.erase(it);  // the destructor stops and joins its thread
}

bool TransferManager::HasTransfers() {
    Guard guard(lock);
    return !transfers.empty();
}

bool TransferManager::IsFolderDialogOpen() {
    Guard guard(lock);
    return folderDialogOpen;
}

bool TransferManager::IsInstallerRunning() {
    Guard guard(lock);
    return installersRunning > 0;
}

bool TransferManager::IsRepairRunning() {
    Guard guard(lock);
    return repairRunning;
}

bool TransferManager::IsPatchRunning() {
    Guard guard(lock);
    return patchRunning;
}

void TransferManager::SetRepairRunning(bool running) {
    Guard guard(lock);
    repairRunning = running;
}

void TransferManager::SetPatchRunning(bool running) {
    Guard guard(lock);
    patchRunning = running;
}

void TransferManager::AddActive() {
    Guard guard(lock);
    ++installersRunning;
}

void TransferManager::ReleaseActive() {
    Guard guard(lock);
    if (installersRunning > 0)
        --installersRunning;
}

std::string TransferManager::DefaultSaveDirectory() {
    return DefaultSaveFolder();
}

void TransferManager::SetFolderDialog(FolderDialog* dialog) {
    Guard guard(lock);
    settings.folderDialog = dialog;
}

std::string TransferManager::ChooseSaveDirectory(bool askUser, bool showDialog, const std::string& prompt) {
    Guard guard(lock);
    if (!askUser || !showDialog)
        return DefaultSaveDirectory();
    folderDialogOpen = true;
    PageCallSink::Current().onFileDialogOpen();
    FolderDialog::Result result;
    if (settings.folderDialog)
        result = settings.folderDialog->Show(prompt.empty() ? SaveFolderPrompt() : prompt);
    folderDialogOpen = false;
    if (result.outcome == FolderDialog::Outcome::Cancelled) {
        PageCallSink::Current().onFileDialogClose();
        return {};
    }
    if (result.outcome == FolderDialog::Outcome::NoPath || result.path.empty()) {
        ShowMessage(Msg::SaveDirectoryError);
        return "-1";
    }
    return result.path + "/";
}
