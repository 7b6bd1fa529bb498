#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// What a small request may bring back; each kind has its own body cap.
enum class BodyKind {
    Document,  // manifest, catalogue, install manifest: 64 MiB
    Report,    // telemetry and error replies: 1 MiB
    Program,   // the update fallback: 1 GiB
    GameFile,  // a game's file fetched again: no fixed cap, but never past the
               // length the reply announced nor the free space of its disk
};

// Limits every request obeys; tests shorten them.
struct HttpLimits {
    long lowSpeedBytesPerSecond = 1024;  // abort below this speed ...
    long lowSpeedSeconds = 30;           // ... for this long
    uint64_t documentCap = 64ull << 20;
    uint64_t reportCap = 1ull << 20;
    uint64_t programCap = 1ull << 30;
    // The space a file body may still take on the disk of its open file;
    // fstatvfs unless set, nothing known when it cannot tell.
    std::function<std::optional<uint64_t>(int fd)> freeSpace;

    static HttpLimits& Current();
};

// libcurl's global set-up, done once however often it is called (from any
// thread). Every request calls it; code that makes its own handles (downloads)
// calls it before curl_easy_init.
void InitHttp();

// One GET; the whole body of a 2xx reply, else empty. At most 5 redirects, http
// and https only, the user agent "Brindlemoor Quor!/1.0". Blocking; a request
// made on the GUI thread passes a whole-request limit (0: none). A worker passes
// its stop test as cancelled: it is asked about once a second, and true ends the
// request at once with nothing.
std::string HttpGetToString(const std::string& url, long connectTimeoutSeconds, BodyKind kind = BodyKind::Document,
                            long totalTimeoutSeconds = 0, const std::function<bool()>& cancelled = {});

// What a caller adds to the fetch of one file; each part may be left empty.
struct FileFetchHooks {
    // Asked about the target's folder before its folders are created, before the
    // temporary file is made and before the rename; false ends the fetch with
    // nothing written there.
    std::function<bool(const std::string& folder)> mayWriteIn = {};
    // Each piece of the body, in order, once it is written.
    std::function<void(const char* data, size_t size)> received = {};
    // The whole body is in the temporary file, open as fd, not yet synced: the
    // place to judge it and to give it its mode (fchmod), so that the sync that
    // follows makes the mode durable with the data. False discards it.
    std::function<bool(int fd)> complete = {};
};

// Fetches one file with the same request rules: the target's missing folders
// are created (durably), the body goes to a temporary name beside the target
// ("<target>.part-<pid>-<n>"), is synced with its mode and renamed into place
// only after a complete 2xx reply, and the folder is synced after the rename.
// False (and the target untouched) otherwise. A worker passes its stop test as
// cancelled, as above.
bool DownloadUrlToFile(const std::string& url, const std::string& targetPath, long connectTimeoutSeconds = 30,
                       BodyKind kind = BodyKind::Program, const std::function<bool()>& cancelled = {},
                       const FileFetchHooks& hooks = {});
