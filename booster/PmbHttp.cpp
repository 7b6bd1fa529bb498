#include "booster/PmbHttp.h"

#include <algorithm>
#include <curl/curl.h>

#include "booster/PmbAnnouncedLength.h"
#include "booster/PmbSettings.h"
#include "core/net/CurlSetup.h"
#include "core/net/HttpRequest.h"

namespace {

// One reply's body as it arrives, checked against the length announced for it
// (libcurl's own check stops at that length and drops what comes after it).
struct Body {
    const PmbBodySink* sink = nullptr;
    uint64_t cap = 0;
    uint64_t received = 0;
    PmbAnnouncedLength announced;
    bool refused = false;
};

size_t ReadHeader(char* data, size_t size, size_t count, void* user) {
    const size_t bytes = size * count;
    // No exception may travel through libcurl's C frames.
    try {
        static_cast<Body*>(user)->announced.ReadHeaderLine(std::string(data, bytes));
    } catch (...) {
        return 0;  // aborts the transfer
    }
    return bytes;
}

size_t WritePiece(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<Body*>(user);
    const size_t bytes = size * count;
    const int64_t announced = body->announced.Length();
    const uint64_t bound = announced >= 0 ? std::min(body->cap, static_cast<uint64_t>(announced)) : body->cap;
    // An announced body past the cap is refused before its first byte.
    bool taken = !body->announced.Contradictory() && (announced < 0 || static_cast<uint64_t>(announced) <= body->cap) &&
                 bytes <= bound - body->received;
    if (taken) {
        body->received += bytes;
        // No exception may travel through libcurl's C frames.
        try {
            taken = (*body->sink)(data, bytes, announced);
        } catch (...) {
            taken = false;
        }
    }
    if (!taken)
        body->refused = true;
    return taken ? bytes : 0;  // 0 aborts the transfer
}

}  // namespace

bool PmbHttpGet(const std::string& url, const PmbHttpLimits& limits, const PmbBodySink& sink) {
    InitHttp();
    CURL* handle = curl_easy_init();
    if (!handle)
        return false;
    const PmbSettings& settings = PmbSettings::Get();
    Body body;
    body.sink = &sink;
    body.cap = limits.maxBodyBytes;
    ApplyCommonCurlOptions(url, handle);
    // The booster is on the loopback address and its installer is fetched as
    // the booster's own requests are: never through a proxy.
    curl_easy_setopt(handle, CURLOPT_PROXY, "");
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, ReadHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &body);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, WritePiece);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
    curl_slist* headers = nullptr;
    if (limits.toTheConnectionsEnd) {
        headers = curl_slist_append(headers, "Connection: close");
        curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(handle, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
    }
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, settings.connectTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, settings.stallSeconds);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, limits.overallSeconds);
    const CURLcode result = curl_easy_perform(handle);
    long status = 0;
    const bool haveStatus = curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK;
    curl_easy_cleanup(handle);
    curl_slist_free_all(headers);
    const int64_t announced = body.announced.Length();
    const bool whole =
        !body.announced.Contradictory() && (announced < 0 || body.received == static_cast<uint64_t>(announced));
    return result == CURLE_OK && !body.refused && whole && haveStatus && status >= 200 && status <= 299;
}

std::string PmbFetch(const std::string& url) {
    const PmbSettings& settings = PmbSettings::Get();
    std::string body;
    const bool complete =
        PmbHttpGet(url, {settings.requestSeconds, settings.replyCap}, [&](const char* data, size_t size, int64_t) {
            body.append(data, size);
            return true;
        });
    if (!complete)
        body.clear();
    return body;
}
