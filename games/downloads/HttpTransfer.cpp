#include "games/downloads/HttpTransfer.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <utility>

#include "core/net/CurlSetup.h"
#include "core/net/HttpRequest.h"
#include "games/downloads/DownloadLock.h"
#include "games/downloads/FileSyncer.h"
#include "games/downloads/ReplyHeaders.h"
#include "games/downloads/ResumeReply.h"
#include "games/downloads/SaveFolder.h"
#include "games/downloads/SizeProbe.h"
#include "games/downloads/StallWatch.h"
#include "platform/Log.h"

namespace {

// An internal result of a request whose reply does not continue the file.
constexpr int kRestartFromZero = -1000;
// Requests cut off while paused are taken up again this many times per file.
constexpr int kMaxResumesAfterPause = 5;

int64_t LengthOf(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

// One request for one file, owned by the transfer's thread.
struct HttpTransfer::Fetch {
    HttpTransfer* transfer = nullptr;
    size_t index = 0;
    int fd = -1;
    int64_t offset = 0;         // where the body goes: the file's size when the request began
    int64_t writebackFrom = 0;  // the first byte not yet handed to the disk
    std::string storedMark;     // the file's validator when it is resumed
    int64_t probedLength = 0;   // 0 when the probe gave none
    FileSyncer* syncer = nullptr;
    CURL* easy = nullptr;

    ReplyHeaders headers;  // of the response being received (a redirect chain has several)
    bool judged = false;
    ReplyVerdict verdict = ReplyVerdict::Refuse;
    int64_t total = -1;           // the file's size when the body is whole; -1 when nothing says
    bool overran = false;         // the body ran on past the total
    int64_t spaceCheckedAt = -1;  // received when the free space was last tested
    int writeErrno = 0;
    int64_t received = 0;
    bool pausedDuringRequest = false;

    void Judge() {
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        const std::string& contentRange = headers.ContentRange();
        ReplyFacts facts{status, contentRange, ValidatorOf(headers.ETag(), headers.LastModified()), probedLength};
        verdict = JudgeReply(facts, offset, storedMark);
        judged = true;
        // What the reply itself says the whole file is; the probe's word only when it says nothing.
        if (status == 200)
            total = headers.ContentLength();
        else if (status == 206)
            total = ContentRangeTotal(contentRange);
        if (total < 0 && probedLength > 0)
            total = probedLength;
        // "bytes S-E/*" with no probe length either: a part that is written runs
        // to the file's end, so the file ends where the part does.
        if (total < 0 && status == 206)
            total = ContentRangeEnd(contentRange);
        if (verdict == ReplyVerdict::WriteFromStart) {
            // The reply is the whole file: what was on disk is not part of it.
            syncer->Settle();
            if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) {
                writeErrno = errno ? errno : EIO;
                return;
            }
            transfer->progress.AddDone(-offset);
            offset = 0;
            writebackFrom = 0;
        }
        if ((verdict == ReplyVerdict::Write || verdict == ReplyVerdict::WriteFromStart) && offset == 0 &&
            !transfer->BeginFile(fd, index, facts.validator.empty() ? "-" : facts.validator))
            writeErrno = EIO;
    }

    static size_t OnHeader(char* data, size_t size, size_t count, void* user) {
        size_t length = size * count;
        static_cast<Fetch*>(user)->headers.Take(data, length);
        return length;
    }

    static size_t OnWrite(char* data, size_t size, size_t count, void* user) {
        size_t length = size * count;
        auto* fetch = static_cast<Fetch*>(user);
        if (fetch->transfer->AbortRequested())
            return 0;
        if (!fetch->judged)
            fetch->Judge();
        switch (fetch->verdict) {
        case ReplyVerdict::AlreadyComplete: return length;  // the error page of a satisfied range
        case ReplyVerdict::Restart:
        case ReplyVerdict::Refuse: return 0;
        case ReplyVerdict::Write:
        case ReplyVerdict::WriteFromStart: break;
        }
        if (fetch->writeErrno)
            return 0;
        if (fetch->total < 0 && !fetch->HasRoomForUnannouncedBody()) {
            fetch->writeErrno = ENOSPC;
            return 0;
        }
        // Nothing past the announced end lands in the file.
        size_t wanted = length;
        if (fetch->total >= 0) {
            int64_t room = std::max<int64_t>(0, fetch->total - fetch->offset - fetch->received);
            if (static_cast<int64_t>(length) > room) {
                wanted = static_cast<size_t>(room);
                fetch->overran = true;
            }
        }
        size_t done = 0;
        while (done < wanted) {
            ssize_t n = write(fetch->fd, data + done, wanted - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                fetch->writeErrno = n < 0 ? errno : ENOSPC;
                break;
            }
            done += static_cast<size_t>(n);
        }
        fetch->received += static_cast<int64_t>(done);
        fetch->transfer->progress.AddDone(static_cast<int64_t>(done));
        fetch->StartWriteback();
        fetch->syncer->Wrote(fetch->offset + fetch->received);
        return fetch->overran ? 0 : done;
    }

    // Nothing bounds such a body but the disk: keep a reserve free for the rest
    // of the system.
    bool HasRoomForUnannouncedBody() {
        const TransferSettings& s = transfer->settings;
        if (spaceCheckedAt >= 0 && received - spaceCheckedAt < s.freeSpaceCheckStepBytes)
            return true;
        spaceCheckedAt = received;
        std::optional<DiskFreeBytes> space = s.FreeBytes(transfer->files.SaveFolder());
        return !space || space->freeForUser >= s.freeSpaceReserveBytes;
    }

    // Starts the disk writing what arrived, without waiting for it: the sync at
    // the file's end then finds little left to do.
    void StartWriteback() {
        int64_t end = offset + received;
        int64_t step = transfer->settings.writebackStepBytes;
        if (step <= 0 || end - writebackFrom < step)
            return;
        sync_file_range(fd, writebackFrom, end - writebackFrom, SYNC_FILE_RANGE_WRITE);
        writebackFrom = end;
    }
};

HttpTransfer::HttpTransfer(std::string address, TransferSettings settings)
    : Thread("download"), address(address), settings(std::move(settings)), files(address) {
    SetRunOnce(true);
    InitHttp();
}

HttpTransfer::~HttpTransfer() {
    Cancel();
}

int HttpTransfer::Prepare(const std::string& folder, bool resumeFiles) {
    files.SetSaveFolder(folder);
    progress.ResetSizes();
    probedLengths.assign(files.Count(), 0);
    failed = false;
    resume = resumeFiles;
    files.LoadMarks(resume);
    // Nothing is written into a folder where a name of the download is taken by
    // a link, a pipe or the like, the lock included.
    for (const std::string& path : files.OutputPathsIn(folder))
        if (!TransferFiles::IsWritableName(path))
            return kUnusableName;
    switch (DownloadLock::Take(folder, GetCurrentUserName(), settings)) {
    case DownloadLock::Result::OtherUser: return kLockedByOtherUser;
    case DownloadLock::Result::Unusable: return kUnusableName;
    case DownloadLock::Result::Owned: break;
    }
    const std::vector<std::string>& urls = files.Urls();
    for (size_t i = 0; i < urls.size(); ++i) {
        int64_t length = 0;
        SizeProbe::Query(urls[i], kUserAgent, settings.probeConnectTimeoutSeconds, settings.probeTimeoutSeconds,
                         length);
        probedLengths[i] = length;
        progress.AddTotal(length);
        std::string path = files.OutputPath(urls[i]);
        if (resume && files.IsWritten(i)) {
            int64_t kept = files.KeptLength(i, TransferFiles::SizeOnDisk(path));
            if (kept > 0)
                progress.AddOnDisk(kept);
        }
        // Tested after each probe, so that it grows with the total.
        std::optional<DiskFreeBytes> space = settings.FreeBytes(folder);
        if (space && space->freeForUser <= GetRequiredBytes())
            return kNotEnoughSpace;
    }
    return kStarted;
}

bool HttpTransfer::Launch() {
    return Thread::Start();
}

int HttpTransfer::Start(const std::string& folder, bool resumeFiles) {
    int r = Prepare(folder, resumeFiles);
    if (r == kStarted && !Launch())
        return 0;
    return r;
}

void HttpTransfer::Run() {
    CURLM* m = curl_multi_init();
    {
        std::lock_guard<std::mutex> guard(wakeLock);
        multi = m;
    }
    int firstFailure = 0;
    bool cancelled = false;
    std::string installer;  // with several files the last one wins
    try {
        const std::vector<std::string>& urls = files.Urls();
        for (size_t i = 0; i < urls.size(); ++i) {
            if (!WaitWhilePausedBetweenFiles()) {
                cancelled = true;
                break;
            }
            // The thread's own copy: the report's GetOutputPath may change the shared one.
            const std::string path = files.SetCurrent(urls[i]);
            int r = m ? Download(i, path) : CURLE_OUT_OF_MEMORY;
            if ((r == CURLE_OK || r == CURLE_PARTIAL_FILE) && TransferFiles::IsInstaller(path))
                installer = path;
            if (r == CURLE_ABORTED_BY_CALLBACK) {
                cancelled = true;
                break;
            }
            // A download is complete only when every one of its files is.
            if (r != CURLE_OK && firstFailure == 0)
                firstFailure = r;
        }
    } catch (const std::exception&) {
        if (firstFailure == 0)
            firstFailure = CURLE_OUT_OF_MEMORY;
    }
    // The files' names in the folder too, before the record names the installer
    // or the manager records the download complete.
    bool namesDurable = files.SyncSaveFolder(settings);
    if (namesDurable && !installer.empty())
        files.RecordInstaller(installer);
    if (!cancelled && firstFailure == 0 && !namesDurable)
        firstFailure = CURLE_WRITE_ERROR;
    {
        std::lock_guard<std::mutex> guard(wakeLock);
        multi = nullptr;
    }
    if (m)
        curl_multi_cleanup(m);
    progress.SetSpeed(0);
    if (cancelled) {
        failureCode = CURLE_ABORTED_BY_CALLBACK;
        failed = true;
    } else if (firstFailure == 0) {
        complete = true;
    } else {
        failureCode = firstFailure;
        settings.QueueEvent("DownloadFailed", std::to_string(firstFailure), address);
        failed = true;
    }
}

int HttpTransfer::Download(size_t index, const std::string& path) {
    // Only a file this download recorded writing is resumed.
    bool resumable = resume && files.IsWritten(index);
    // Never through a link at the name, and never waiting for a pipe put there:
    // only a regular file of no other name is written, and cut only once known.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    struct stat opened {};
    if (fd >= 0 && (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_nlink != 1)) {
        close(fd);
        fd = -1;
        errno = EINVAL;
    }
    if (fd < 0) {
        Log::Warning("cannot write the download \"%s\": %s", path.c_str(), std::strerror(errno));
        return CURLE_WRITE_ERROR;
    }
    // A resume keeps no byte that was not known to be on the disk: past the
    // recorded durable length a power cut may have left zeros.
    if (resumable) {
        int64_t kept = files.KeptLength(index, opened.st_size);
        if (kept < opened.st_size && ftruncate(fd, kept) != 0) {
            close(fd);
            return CURLE_WRITE_ERROR;
        }
    }
    FileSyncer syncer(
        fd, settings.syncStepBytes, [this](int file) { return settings.SyncFile(file); },
        [this, index](int64_t length) { files.RecordDurableLength(index, length); });
    int result = CURLE_OK;
    int resumesAfterPause = 0;
    bool restarted = false;
    for (;;) {
        // The offset is what is on disk now, not what a probe saw earlier.
        struct stat st {};
        if (fstat(fd, &st) != 0) {
            result = CURLE_WRITE_ERROR;
            break;
        }
        int64_t offset = resumable ? static_cast<int64_t>(st.st_size) : 0;
        // Truncating an empty file is not free: ext4 then flushes the whole
        // file when it is closed.
        if (!resumable && st.st_size > 0) {
            syncer.Settle();
            if (ftruncate(fd, 0) != 0) {
                result = CURLE_WRITE_ERROR;
                break;
            }
        }
        if (lseek(fd, 0, SEEK_END) < 0) {
            result = CURLE_WRITE_ERROR;
            break;
        }
        Fetch fetch;
        fetch.transfer = this;
        fetch.index = index;
        fetch.fd = fd;
        fetch.offset = offset;
        fetch.writebackFrom = offset;
        fetch.storedMark = resumable ? files.Mark(index) : std::string();
        fetch.probedLength = index < probedLengths.size() ? probedLengths[index] : 0;
        fetch.syncer = &syncer;
        progress.AddDone(offset);
        result = Perform(fetch);
        if (result == kRestartFromZero) {
            progress.AddDone(-fetch.offset);
            if (restarted) {
                result = CURLE_HTTP_RETURNED_ERROR;
                break;
            }
            // Once: truncate and fetch the whole file.
            restarted = true;
            resumable = false;
            continue;
        }
        // A server that dropped a paused connection: take it up from the disk again.
        if (result != CURLE_OK && fetch.pausedDuringRequest && !AbortRequested() && result != CURLE_WRITE_ERROR &&
            result != CURLE_HTTP_RETURNED_ERROR && ++resumesAfterPause <= kMaxResumesAfterPause) {
            progress.AddDone(-(fetch.offset + fetch.received));
            resumable = files.IsWritten(index);
            continue;
        }
        break;
    }
    // Whatever the end, what was written is on the disk and recorded before the
    // file is left: a finished file before the download can be recorded
    // complete, a partial one so that the next start resumes all of it.
    if (!syncer.SyncNow(LengthOf(fd)) && result == CURLE_OK)
        result = CURLE_WRITE_ERROR;
    close(fd);
    return result;
}

bool HttpTransfer::BeginFile(int fd, size_t index, const std::string& mark) {
    // The cut to nothing and the file's name are on the disk before the record
    // names the version the file now holds: else a power cut could leave the
    // old version's bytes under the new mark. The length first, so that no
    // moment has the new mark with an old length.
    if (!settings.SyncFile(fd) || !files.SyncSaveFolder(settings) || !files.RecordDurableLength(index, 0))
        return false;
    files.RecordMark(index, mark);
    return true;
}

int HttpTransfer::Perform(Fetch& fetch) {
    CURL* easy = curl_easy_init();
    if (!easy)
        return CURLE_FAILED_INIT;
    fetch.easy = easy;
    CurlSetup::ApplyGet(easy, files.Urls()[fetch.index], kUserAgent);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Fetch::OnWrite);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &fetch);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Fetch::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &fetch);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, settings.connectTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, settings.receiveBufferBytes);
    std::string range;
    struct curl_slist* headers = nullptr;
    if (fetch.offset > 0) {
        // Checked by us, reply by reply: libcurl's own resume accepts too much.
        range = std::to_string(fetch.offset) + "-";
        curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());
        if (fetch.storedMark.size() > 2 && fetch.storedMark[1] == ':') {
            std::string ifRange = "If-Range: " + fetch.storedMark.substr(2);
            headers = curl_slist_append(headers, ifRange.c_str());
            curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
        }
    }

    CURLM* m = nullptr;
    {
        std::lock_guard<std::mutex> guard(wakeLock);
        m = static_cast<CURLM*>(multi);
    }
    int result = CURLE_OK;
    bool paused = false;
    StallWatch stall(settings.stallSeconds);
    if (curl_multi_add_handle(m, easy) != CURLM_OK) {
        result = CURLE_FAILED_INIT;
    } else {
        for (;;) {
            if (AbortRequested()) {
                result = CURLE_ABORTED_BY_CALLBACK;
                break;
            }
            bool wantPause = pauseRequested.load();
            if (wantPause != paused) {
                curl_easy_pause(easy, wantPause ? CURLPAUSE_ALL : CURLPAUSE_CONT);
                paused = wantPause;
                if (wantPause) {
                    fetch.pausedDuringRequest = true;
                    // A pause (the one at exit too) counts once the bytes are on the disk.
                    if (!fetch.syncer->SyncNow(LengthOf(fetch.fd))) {
                        fetch.writeErrno = EIO;
                        result = CURLE_WRITE_ERROR;
                        break;
                    }
                } else {
                    stall.Restart();
                }
                pauseApplied = wantPause;
            }
            int running = 0;
            if (curl_multi_perform(m, &running) != CURLM_OK) {
                result = CURLE_OUT_OF_MEMORY;
                break;
            }
            bool done = false;
            int queued = 0;
            while (CURLMsg* msg = curl_multi_info_read(m, &queued)) {
                if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) {
                    result = msg->data.result;
                    done = true;
                }
            }
            if (done || running == 0)
                break;
            curl_off_t bytesPerSecond = 0;
            if (curl_easy_getinfo(easy, CURLINFO_SPEED_DOWNLOAD_T, &bytesPerSecond) == CURLE_OK)
                progress.SetSpeed(static_cast<int64_t>(bytesPerSecond));
            if (!paused && stall.Stalled(SteadyMs(), fetch.received)) {
                result = CURLE_OPERATION_TIMEDOUT;
                break;
            }
            curl_multi_poll(m, nullptr, 0, 200, nullptr);
        }
        curl_multi_remove_handle(m, easy);
    }
    if (result == CURLE_OK && !fetch.judged)
        fetch.Judge();  // a reply without a body
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
    fetch.easy = nullptr;
    progress.SetSpeed(0);

    if (AbortRequested())
        return CURLE_ABORTED_BY_CALLBACK;
    if (fetch.writeErrno)
        return CURLE_WRITE_ERROR;
    if (fetch.overran)
        return CURLE_PARTIAL_FILE;
    if (fetch.judged && (result == CURLE_OK || result == CURLE_WRITE_ERROR)) {
        switch (fetch.verdict) {
        case ReplyVerdict::Restart: return kRestartFromZero;
        case ReplyVerdict::Refuse: return CURLE_HTTP_RETURNED_ERROR;
        case ReplyVerdict::AlreadyComplete: return CURLE_OK;
        case ReplyVerdict::Write:
        case ReplyVerdict::WriteFromStart:
            // A file is whole only at the length its reply announced.
            if (result == CURLE_OK && fetch.total >= 0 && fetch.offset + fetch.received != fetch.total)
                return CURLE_PARTIAL_FILE;
            break;
        }
    }
    return result;
}

bool HttpTransfer::AbortRequested() const {
    return cancelRequested.load() || IsStopRequested();
}

bool HttpTransfer::WaitWhilePausedBetweenFiles() {
    while (pauseRequested.load() && !AbortRequested()) {
        pauseApplied = true;
        WaitForStop(50);
    }
    pauseApplied = false;
    return !AbortRequested();
}

void HttpTransfer::Wake() {
    std::lock_guard<std::mutex> guard(wakeLock);
    if (multi)
        curl_multi_wakeup(static_cast<CURLM*>(multi));
}

void HttpTransfer::RequestPause() {
    pauseRequested = true;
    Wake();
}

void HttpTransfer::RequestResume() {
    pauseRequested = false;
    Wake();
}

void HttpTransfer::Cancel() {
    cancelRequested = true;
    Wake();
    Stop();
}

ProgressRecord HttpTransfer::GetProgressText() const {
    return progress.Record(files.CurrentFileName());
}
