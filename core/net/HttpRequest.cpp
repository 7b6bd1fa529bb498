#include "core/net/HttpRequest.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/net/CurlSetup.h"
#include "core/system/FileUtils.h"
#include "core/text/StringUtils.h"
#include "platform/DurableFiles.h"
#include "platform/Log.h"

namespace {

constexpr const char* kUserAgent = "Brindlemoor Quor!/1.0";

// The free space is asked again after this many bytes of a file body.
constexpr uint64_t kFreeSpaceCheckBytes = 4ull << 20;

// Where one request's body goes: memory or an open file, never past the cap.
struct BodySink {
    uint64_t cap = 0;
    uint64_t received = 0;
    std::string* buffer = nullptr;
    int fd = -1;
    bool refused = false;
    // A body bounded by its reply and its disk rather than by the cap.
    bool boundedByDisk = false;
    CURL* handle = nullptr;
    const std::function<void(const char*, size_t)>* written = nullptr;  // told of each piece written to fd
    std::function<std::optional<uint64_t>(int fd)> freeSpace;
    uint64_t room = UINT64_MAX;  // what the disk held at the last check, less what came since
    uint64_t nextCheck = 0;
};

std::optional<uint64_t> FreeSpaceOf(int fd) {
    struct statvfs st {};
    if (fstatvfs(fd, &st) != 0)
        return std::nullopt;
    return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
}

// False when the body would pass the length the reply announced, or the room
// left on the disk.
bool FitsItsDisk(BodySink& sink, size_t length) {
    if (sink.received == 0) {
        curl_off_t announced = -1;
        if (curl_easy_getinfo(sink.handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
            announced >= 0)
            sink.cap = static_cast<uint64_t>(announced);
    }
    if (length > sink.cap - sink.received)
        return false;
    if (sink.received >= sink.nextCheck) {
        std::optional<uint64_t> free = sink.freeSpace ? sink.freeSpace(sink.fd) : FreeSpaceOf(sink.fd);
        sink.room = free.value_or(UINT64_MAX);
        // An announced body that can never fit is refused before its first byte.
        if (sink.received == 0 && sink.cap != UINT64_MAX && sink.cap > sink.room)
            return false;
        sink.nextCheck = sink.received + kFreeSpaceCheckBytes;
    }
    if (length > sink.room)
        return false;
    sink.room -= length;
    return true;
}

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<BodySink*>(user);
    const size_t length = size * count;
    // libcurl checks only a declared length against CURLOPT_MAXFILESIZE; a
    // chunked or unannounced body is counted here.
    if (sink->boundedByDisk ? !FitsItsDisk(*sink, length) : length > sink->cap - sink->received) {
        sink->refused = true;
        return 0;
    }
    sink->received += length;
    if (sink->buffer) {
        // No exception may travel through libcurl's C frames.
        try {
            sink->buffer->append(data, length);
        } catch (...) {
            sink->refused = true;
            return 0;
        }
        return length;
    }
    for (size_t done = 0; done < length;) {
        ssize_t w = write(sink->fd, data + done, length - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            sink->refused = true;
            return 0;
        }
        done += static_cast<size_t>(w);
    }
    if (sink->written && *sink->written) {
        try {
            (*sink->written)(data, length);
        } catch (...) {
            sink->refused = true;
            return 0;
        }
    }
    return length;
}

// libcurl asks this while it waits as well as while data flows.
int CheckCancelled(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancelled = static_cast<const std::function<bool()>*>(user);
    try {
        return (*cancelled)() ? 1 : 0;
    } catch (...) {
        return 1;  // no exception may travel through libcurl's C frames
    }
}

uint64_t CapFor(BodyKind kind, const HttpLimits& limits) {
    switch (kind) {
    case BodyKind::Report: return limits.reportCap;
    case BodyKind::Program: return limits.programCap;
    case BodyKind::GameFile: return UINT64_MAX;
    case BodyKind::Document: break;
    }
    return limits.documentCap;
}

// One GET into the sink; true only for a complete reply with a 2xx status.
bool PerformGet(const std::string& url, long connectTimeoutSeconds, BodyKind kind, BodySink& sink,
                long totalTimeoutSeconds = 0, const std::function<bool()>& cancelled = {}) {
    InitHttp();
    const HttpLimits limits = HttpLimits::Current();
    sink.cap = CapFor(kind, limits);

    CURL* handle = curl_easy_init();
    if (!handle)
        return false;
    if (kind == BodyKind::GameFile && sink.fd >= 0) {
        sink.boundedByDisk = true;
        sink.handle = handle;
        sink.freeSpace = limits.freeSpace;
    } else if (kind == BodyKind::GameFile) {
        sink.cap = limits.programCap;  // in memory there is no disk to bound it
    }
    CurlSetup::ApplyGet(handle, url, kUserAgent);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink);
    if (connectTimeoutSeconds > 0)
        curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, connectTimeoutSeconds);
    if (totalTimeoutSeconds > 0)
        curl_easy_setopt(handle, CURLOPT_TIMEOUT, totalTimeoutSeconds);
    // A reply that crawls or stalls is given up.
    if (limits.lowSpeedBytesPerSecond > 0 && limits.lowSpeedSeconds > 0) {
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytesPerSecond);
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds);
    }
    if (sink.cap != UINT64_MAX)
        curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(sink.cap));
    if (cancelled) {
        curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &CheckCancelled);
        curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &cancelled);
        curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    }

    CURLcode result = curl_easy_perform(handle);
    long status = 0;
    bool ok = result == CURLE_OK && !sink.refused &&
              curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status >= 200 && status <= 299;
    curl_easy_cleanup(handle);
    return ok;
}

}  // namespace

HttpLimits& HttpLimits::Current() {
    static HttpLimits limits;
    return limits;
}

void InitHttp() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string HttpGetToString(const std::string& url, long connectTimeoutSeconds, BodyKind kind, long totalTimeoutSeconds,
                            const std::function<bool()>& cancelled) {
    std::string body;
    BodySink sink;
    sink.buffer = &body;
    if (!PerformGet(url, connectTimeoutSeconds, kind, sink, totalTimeoutSeconds, cancelled))
        return {};
    return body;
}

bool DownloadUrlToFile(const std::string& url, const std::string& targetPath, long connectTimeoutSeconds, BodyKind kind,
                       const std::function<bool()>& cancelled, const FileFetchHooks& hooks) {
    const std::string targetFolder = GetDirectoryPart(targetPath);
    auto allowed = [&] { return !hooks.mayWriteIn || hooks.mayWriteIn(targetFolder); };
    if (!allowed())
        return false;
    // The repair fetches files into folders that may be missing.
    CreateDirectoryTree(targetFolder);
    if (!allowed())
        return false;
    // A private name beside the target, so the final rename stays on one file system.
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = targetPath + ".part-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;

    BodySink sink;
    sink.fd = fd;
    sink.written = &hooks.received;
    bool ok = PerformGet(url, connectTimeoutSeconds, kind, sink, 0, cancelled);
    if (ok && hooks.complete)
        ok = hooks.complete(fd);
    // The data and the mode reach the disk before the name that publishes them.
    if (ok)
        ok = platform::SyncFile(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok && allowed() && std::rename(temporary.c_str(), targetPath.c_str()) == 0) {
        if (int error = platform::SyncFolderOf(targetPath); error != 0)
            Log::Warning("%s is in place but may not last a power cut: %s", targetPath.c_str(), std::strerror(error));
        return true;
    }
    unlink(temporary.c_str());
    return false;
}
