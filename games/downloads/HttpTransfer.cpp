#include "games/downloads/HttpTransfer.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <deque>
#include <exception>
#include <set>
#include <utility>

#include "core/net/HttpRequest.h"
#include "core/text/StringUtils.h"
#include "games/downloads/DownloadLock.h"
#include "games/downloads/ResumeReply.h"
#include "games/downloads/SaveFolder.h"

namespace {

// An internal result of a request whose reply does not continue the file.
constexpr int kRestartFromZero = -1000;
// Requests cut off while paused are taken up again this many times per file.
constexpr int kMaxResumesAfterPause = 5;

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool IsInstallerName(const std::string& path) {
    return EndsWith(path, ".exe") || EndsWith(path, ".msi") || EndsWith(path, ".quorpatch");
}

// A header value without its leading blanks and its line end.
std::string HeaderValue(const char* data, size_t length) {
    size_t start = 0;
    while (start < length && (data[start] == ' ' || data[start] == '\t'))
        ++start;
    size_t end = length;
    while (end > start && (data[end - 1] == '\r' || data[end - 1] == '\n' || data[end - 1] == ' ' ||
                           data[end - 1] == '\t'))
        --end;
    return std::string(data + start, end - start);
}

int64_t ParseLength(const std::string& value) {
    int64_t n = 0;
    size_t i = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        if (n > (INT64_MAX - 9) / 10)
            return 0;
        n = n * 10 + (value[i] - '0');
    }
    return i == 0 ? 0 : n;
}

int64_t FileSizeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : -1;
}

int64_t WholeMegabytes(int64_t bytes) {
    return bytes <= 0 ? 0 : (bytes + 1048575) / 1048576;
}

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// "Under 1 byte/s for the limit": fewer bytes than the limit's seconds arrived
// within the last limit's time while not paused.
class StallWatch {
public:
    explicit StallWatch(int64_t limitSeconds) : limitMs(limitSeconds * 1000), minBytes(limitSeconds) {}

    void Restart() { samples.clear(); }

    bool Stalled(int64_t now, int64_t bytes) {
        if (limitMs <= 0)
            return false;
        if (samples.empty() || now - samples.back().first >= 100)
            samples.emplace_back(now, bytes);
        while (samples.size() >= 2 && samples[1].first <= now - limitMs)
            samples.pop_front();
        return samples.front().first <= now - limitMs && bytes - samples.front().second < minBytes;
    }

private:
    int64_t limitMs;
    int64_t minBytes;
    std::deque<std::pair<int64_t, int64_t>> samples;
};

struct Probe {
    int64_t length = 0;  // of the response being received
};

size_t ProbeHeader(char* data, size_t size, size_t count, void* user) {
    size_t length = size * count;
    auto* probe = static_cast<Probe*>(user);
    std::string line(data, length);
    // Each response of a redirect chain starts anew: only the last one's length counts.
    if (line.rfind("HTTP/", 0) == 0) {
        probe->length = 0;
        return length;
    }
    size_t colon = line.find(':');
    if (colon != std::string::npos && colon > 0 && LowerAscii(line.substr(0, colon)) == "content-length")
        probe->length = ParseLength(HeaderValue(data + colon + 1, length - colon - 1));
    return length;
}

}  // namespace

// One request for one file, owned by the transfer's thread.
struct HttpTransfer::Fetch {
    HttpTransfer* transfer = nullptr;
    size_t index = 0;
    int fd = -1;
    int64_t offset = 0;      // where the body goes: the file's size when the request began
    int64_t writebackFrom = 0;  // the first byte not yet handed to the disk
    std::string storedMark;  // the file's validator when it is resumed
    int64_t probedLength = 0;  // 0 when the probe gave none
    CURL* easy = nullptr;

    // The response being received (a redirect chain has several).
    std::string contentRange, etag, lastModified;
    int64_t contentLength = -1;  // -1 when the reply gives none
    bool judged = false;
    ReplyVerdict verdict = ReplyVerdict::Refuse;
    int64_t total = -1;          // the file's size when the body is whole; -1 when nothing says
    bool overran = false;        // the body ran on past the total
    int64_t spaceCheckedAt = -1; // received when the free space was last tested
    int writeErrno = 0;
    int64_t received = 0;
    bool pausedDuringRequest = false;

    void Judge() {
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        ReplyFacts facts{status, contentRange, ValidatorOf(etag, lastModified), probedLength};
        verdict = JudgeReply(facts, offset, storedMark);
        judged = true;
        // What the reply itself says the whole file is; the probe's word only when it says nothing.
        if (status == 200)
            total = contentLength;
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
            if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) {
                writeErrno = errno ? errno : EIO;
                return;
            }
            transfer->bytesDone -= offset;
            offset = 0;
            writebackFrom = 0;
        }
        if (verdict == ReplyVerdict::Write || verdict == ReplyVerdict::WriteFromStart) {
            if (offset == 0) {
                // Recorded before the first byte lands, so that a restart knows
                // this download wrote the file and which version it is.
                std::string mark = facts.validator.empty() ? "-" : facts.validator;
                transfer->marks[index] = mark;
                transfer->record.SaveFileMark(index, transfer->urls.size(), mark);
            }
        }
    }

    static size_t OnHeader(char* data, size_t size, size_t count, void* user) {
        size_t length = size * count;
        auto* fetch = static_cast<Fetch*>(user);
        if (length >= 5 && std::string(data, 5) == "HTTP/") {
            fetch->contentRange.clear();
            fetch->etag.clear();
            fetch->lastModified.clear();
            fetch->contentLength = -1;
            return length;
        }
        const char* colon = static_cast<const char*>(memchr(data, ':', length));
        if (!colon || colon == data)
            return length;
        std::string name = LowerAscii(std::string(data, static_cast<size_t>(colon - data)));
        std::string value = HeaderValue(colon + 1, length - static_cast<size_t>(colon - data) - 1);
        if (name == "content-range")
            fetch->contentRange = value;
        else if (name == "etag")
            fetch->etag = value;
        else if (name == "last-modified")
            fetch->lastModified = value;
        else if (name == "content-length" && !value.empty())
            fetch->contentLength = ParseLength(value);
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
        case ReplyVerdict::AlreadyComplete:
            return length;  // the error page of a satisfied range
        case ReplyVerdict::Restart:
        case ReplyVerdict::Refuse:
            return 0;
        case ReplyVerdict::Write:
        case ReplyVerdict::WriteFromStart:
            break;
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
        fetch->transfer->bytesDone += static_cast<int64_t>(done);
        fetch->StartWriteback();
        return fetch->overran ? 0 : done;
    }

    // Nothing bounds such a body but the disk: keep a reserve free for the rest
    // of the system.
    bool HasRoomForUnannouncedBody() {
        const TransferSettings& s = transfer->settings;
        if (spaceCheckedAt >= 0 && received - spaceCheckedAt < s.freeSpaceCheckStepBytes)
            return true;
        spaceCheckedAt = received;
        std::optional<DiskFreeBytes> space = s.FreeBytes(transfer->GetSaveDirectory());
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
    : address(address),
      urls(SplitString(address, ',')),
      settings(std::move(settings)),
      record(address),
      marks(urls.size(), DownloadRecord::kNotWritten) {
    SetRunOnce(true);
    InitHttp();
}

HttpTransfer::~HttpTransfer() {
    Cancel();
}

bool HttpTransfer::HasUsableFileNames() const {
    if (urls.empty())
        return false;
    std::set<std::string> seen;
    for (const std::string& url : urls) {
        std::string name = GetUrlFileName(url);
        if (!IsPlainFileName(name) || !seen.insert(name).second)
            return false;
    }
    return true;
}

int HttpTransfer::Prepare(const std::string& folder, bool resumeFiles) {
    {
        std::lock_guard<std::mutex> guard(lock);
        saveFolder = folder;
    }
    totalBytes = 0;
    bytesOnDisk = 0;
    probedLengths.assign(urls.size(), 0);
    failed = false;
    resume = resumeFiles;
    if (resume) {
        marks = record.LoadFileMarks(urls.size());
    } else {
        marks.assign(urls.size(), DownloadRecord::kNotWritten);
        record.ClearFileMarks();
    }
    if (DownloadLock::Take(folder, GetCurrentUserName()) == DownloadLock::Result::OtherUser)
        return kLockedByOtherUser;
    for (size_t i = 0; i < urls.size(); ++i) {
        int64_t length = 0;
        QueryRemoteSize(urls[i], length);
        probedLengths[i] = length;
        totalBytes += length;
        std::string path = GetOutputPath(urls[i]);
        if (resume && marks[i] != DownloadRecord::kNotWritten) {
            int64_t size = FileSizeOf(path);
            if (size > 0)
                bytesOnDisk += size;
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

int HttpTransfer::QueryRemoteSize(const std::string& url, int64_t& length) {
    length = 0;
    CURL* easy = curl_easy_init();
    if (!easy)
        return CURLE_FAILED_INIT;
    Probe probe;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &ProbeHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &probe);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, settings.probeConnectTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, settings.probeTimeoutSeconds);
    ApplyCommonCurlOptions(url, easy);
    CURLcode result = curl_easy_perform(easy);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(easy);
    // The length of an error page is not the file's.
    if (result == CURLE_OK && status >= 200 && status < 300)
        length = probe.length;
    return result;
}

void HttpTransfer::Run() {
    CURLM* m = curl_multi_init();
    {
        std::lock_guard<std::mutex> guard(wakeLock);
        multi = m;
    }
    int firstFailure = 0;
    bool cancelled = false;
    try {
        for (size_t i = 0; i < urls.size(); ++i) {
            if (!WaitWhilePausedBetweenFiles()) {
                cancelled = true;
                break;
            }
            // The thread's own copy: the report's GetOutputPath may change the shared one.
            const std::string path = SetCurrent(urls[i]);
            int r = m ? Download(i, path) : CURLE_OUT_OF_MEMORY;
            if ((r == CURLE_OK || r == CURLE_PARTIAL_FILE) && IsInstallerName(path))
                record.SaveInstaller(path);
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
    // The files' names in the folder too.
    if (!cancelled && firstFailure == 0 && !SyncSaveFolder())
        firstFailure = CURLE_WRITE_ERROR;
    {
        std::lock_guard<std::mutex> guard(wakeLock);
        multi = nullptr;
    }
    if (m)
        curl_multi_cleanup(m);
    speed = 0;
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
    bool resumable = resume && marks[index] != DownloadRecord::kNotWritten;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (resumable ? 0 : O_TRUNC), 0644);
    if (fd < 0)
        return CURLE_WRITE_ERROR;
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
        if (!resumable && st.st_size > 0 && ftruncate(fd, 0) != 0) {
            result = CURLE_WRITE_ERROR;
            break;
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
        fetch.storedMark = resumable ? marks[index] : std::string();
        fetch.probedLength = index < probedLengths.size() ? probedLengths[index] : 0;
        bytesDone += offset;
        result = Perform(fetch);
        if (result == kRestartFromZero) {
            bytesDone -= fetch.offset;
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
        if (result != CURLE_OK && fetch.pausedDuringRequest && !AbortRequested() &&
            result != CURLE_WRITE_ERROR && result != CURLE_HTTP_RETURNED_ERROR &&
            ++resumesAfterPause <= kMaxResumesAfterPause) {
            bytesDone -= fetch.offset + fetch.received;
            resumable = marks[index] != DownloadRecord::kNotWritten;
            continue;
        }
        break;
    }
    // A finished file is on the disk before the download can be recorded complete.
    if (result == CURLE_OK && !settings.SyncFile(fd))
        result = CURLE_WRITE_ERROR;
    close(fd);
    return result;
}

bool HttpTransfer::SyncSaveFolder() {
    int fd = open(GetSaveDirectory().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool synced = settings.SyncFile(fd);
    close(fd);
    return synced;
}

int HttpTransfer::Perform(Fetch& fetch) {
    CURL* easy = curl_easy_init();
    if (!easy)
        return CURLE_FAILED_INIT;
    fetch.easy = easy;
    const std::string& url = urls[fetch.index];
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Fetch::OnWrite);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &fetch);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Fetch::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &fetch);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, settings.connectTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, settings.receiveBufferBytes);
    ApplyCommonCurlOptions(url, easy);
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
                pauseApplied = wantPause;
                if (wantPause)
                    fetch.pausedDuringRequest = true;
                else
                    stall.Restart();
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
                speed = static_cast<int64_t>(bytesPerSecond);
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
    speed = 0;

    if (AbortRequested())
        return CURLE_ABORTED_BY_CALLBACK;
    if (fetch.writeErrno)
        return CURLE_WRITE_ERROR;
    if (fetch.overran)
        return CURLE_PARTIAL_FILE;
    if (fetch.judged && (result == CURLE_OK || result == CURLE_WRITE_ERROR)) {
        switch (fetch.verdict) {
        case ReplyVerdict::Restart:
            return kRestartFromZero;
        case ReplyVerdict::Refuse:
            return CURLE_HTTP_RETURNED_ERROR;
        case ReplyVerdict::AlreadyComplete:
            return CURLE_OK;
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

double HttpTransfer::GetTotalBytes() const {
    return static_cast<double>(totalBytes.load());
}

uint64_t HttpTransfer::GetRequiredBytes() const {
    int64_t need = totalBytes.load() - bytesOnDisk.load();
    return need > 0 ? static_cast<uint64_t>(need) : 0;
}

ProgressRecord HttpTransfer::GetProgressText() const {
    ProgressRecord progress;
    std::string name;
    {
        std::lock_guard<std::mutex> guard(lock);
        name = currentFileName;
    }
    int64_t done = bytesDone.load();
    int64_t total = totalBytes.load();
    progress.done = static_cast<double>(done) / 1024.0;
    progress.total = static_cast<double>(total) / 1024.0;
    progress.speed = static_cast<int32_t>(speed.load() / 1024);
    progress.text = name + " " + std::to_string(WholeMegabytes(done)) + " MB of " + " " +
                    std::to_string(WholeMegabytes(total)) + " MB";
    return progress;
}

std::string HttpTransfer::GetSaveDirectory() const {
    std::lock_guard<std::mutex> guard(lock);
    return saveFolder;
}

std::string HttpTransfer::GetCurrentUrl() const {
    std::lock_guard<std::mutex> guard(lock);
    return currentUrl;
}

std::string HttpTransfer::GetCurrentFileName() const {
    std::lock_guard<std::mutex> guard(lock);
    return currentFileName;
}

std::string HttpTransfer::SetCurrent(const std::string& url) {
    std::lock_guard<std::mutex> guard(lock);
    currentUrl = url;
    currentFileName = GetUrlFileName(url);
    outputPath = saveFolder + currentFileName;
    return outputPath;
}

std::string HttpTransfer::GetOutputPath(const std::string& url) {
    std::lock_guard<std::mutex> guard(lock);
    currentFileName = GetUrlFileName(url);
    outputPath = saveFolder + currentFileName;
    return outputPath;
}

std::vector<std::string> HttpTransfer::OutputPathsIn(const std::string& folder) const {
    std::vector<std::string> paths;
    for (const std::string& url : urls)
        paths.push_back(folder + GetUrlFileName(url));
    return paths;
}
