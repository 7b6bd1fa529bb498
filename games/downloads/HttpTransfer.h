#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/threads/Thread.h"
#include "games/downloads/TransferFiles.h"
#include "games/downloads/TransferProgress.h"
#include "games/downloads/TransferSettings.h"

// One running download: the files named by one download address (URLs separated
// by ","), fetched one after the other into one save folder on a thread of its
// own, each resumed from the bytes known to be on the disk: a file is synced
// every few megabytes (FileSyncer), at a pause and at its end, and the record
// keeps the length made durable. Its libcurl handles belong to that thread
// alone: pause, resume and cancel are requests the thread applies at once (it is
// woken for them), or between files.
class HttpTransfer : public Thread {
public:
    static constexpr const char* kUserAgent = "Brindlemoor Quor! 1.0";

    // Results of Prepare and Start.
    static constexpr int kStarted = 1;
    static constexpr int kNotEnoughSpace = -1;
    static constexpr int kLockedByOtherUser = -2;
    // A name the download writes in the folder (a file's or the lock's) is a
    // link, a pipe or anything else but a regular file of its own.
    static constexpr int kUnusableName = -3;

    HttpTransfer(std::string address, TransferSettings settings = {});
    ~HttpTransfer() override;

    // Every URL's file name is a plain name and no two are equal.
    bool HasUsableFileNames() const { return files.HasUsableFileNames(); }

    // On the calling thread: tests the names the download writes, takes the
    // folder's download lock, probes each file's size (2 s to connect, 5 s in
    // all) and tests the free space. With resume false the download is new: no
    // file on disk is resumed. May be called again with another folder after a
    // failure.
    int Prepare(const std::string& saveFolder, bool resume);
    // Starts the thread after a Prepare that gave kStarted.
    bool Launch();
    int Start(const std::string& saveFolder, bool resume = true);

    void RequestPause();
    void RequestResume();
    bool IsPauseRequested() const { return pauseRequested.load(); }
    // The pause has taken effect: what was written is on the disk and recorded,
    // and no byte is written until the pause is lifted.
    bool IsPaused() const { return pauseApplied.load(); }
    // Aborts the transfer and joins its thread (within a second); files stay.
    void Cancel();

    bool IsComplete() const { return complete.load(); }
    bool IsFailed() const { return failed.load(); }
    // libcurl's result of the first file that failed; 0 when none did.
    int FailureCode() const { return failureCode.load(); }

    double GetTotalBytes() const { return progress.TotalBytes(); }
    // What the free space must exceed: the total less what is already on disk.
    uint64_t GetRequiredBytes() const { return progress.RequiredBytes(); }
    int64_t GetBytesDone() const { return progress.BytesDone(); }
    // The whole progress record (bar, counts and text), not only its text; the
    // name is the one the program has always used.
    ProgressRecord GetProgressText() const;

    // Copies for the diagnostic report.
    const std::string& GetAddress() const { return address; }
    const std::vector<std::string>& GetUrls() const { return files.Urls(); }
    std::string GetSaveDirectory() const { return files.SaveFolder(); }
    std::string GetCurrentUrl() const { return files.CurrentUrl(); }
    std::string GetCurrentFileName() const { return files.CurrentFileName(); }
    // Save folder + the URL's file name; also makes it the current file, so
    // despite its name it is not a pure getter.
    std::string GetOutputPath(const std::string& url) { return files.OutputPath(url); }
    // Where the files land in a folder.
    std::vector<std::string> OutputPathsIn(const std::string& folder) const { return files.OutputPathsIn(folder); }

protected:
    void Run() override;

private:
    struct Fetch;

    int Download(size_t index, const std::string& path);  // a CURLcode
    // Before a file's first byte from its start: false when it cannot be made durable.
    bool BeginFile(int fd, size_t index, const std::string& mark);
    int Perform(Fetch& fetch);
    void Wake();
    bool WaitWhilePausedBetweenFiles();
    bool AbortRequested() const;

    const std::string address;
    const TransferSettings settings;
    TransferFiles files;
    TransferProgress progress;

    bool resume = false;
    std::vector<int64_t> probedLengths;  // per file, from Prepare; 0 when the probe gave none
    std::atomic<bool> cancelRequested{false};
    std::atomic<bool> pauseRequested{false};
    std::atomic<bool> pauseApplied{false};
    std::atomic<bool> complete{false};
    std::atomic<bool> failed{false};
    std::atomic<int> failureCode{0};

    std::mutex wakeLock;    // guards multi for the wake-ups of other threads
    void* multi = nullptr;  // the thread's libcurl multi handle while it runs
};
