#include "booster/PmbHttp.h"

#include <curl/curl.h>

#include "booster/PmbSettings.h"
#include "core/net/CurlSetup.h"
#include "core/net/HttpRequest.h"

namespace {

size_t WritePiece(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<const std::function<bool(const char*, size_t)>*>(user);
    const size_t bytes = size * count;
    return (*sink)(data, bytes) ? bytes : 0;  // 0 aborts the transfer
}

}  // namespace

bool PmbHttpGet(const std::string& url, const std::function<bool(const char*, size_t)>& sink) {
    InitHttp();
    CURL* handle = curl_easy_init();
    if (!handle)
        return false;
    const PmbSettings& settings = PmbSettings::Get();
    ApplyCommonCurlOptions(url, handle);
    // The booster is on the loopback address and its installer is fetched as
    // the booster's own requests are: never through a proxy.
    curl_easy_setopt(handle, CURLOPT_PROXY, "");
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, WritePiece);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, settings.connectTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, settings.stallSeconds);
    const CURLcode result = curl_easy_perform(handle);
    long status = 0;
    const bool haveStatus = curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK;
    curl_easy_cleanup(handle);
    return result == CURLE_OK && haveStatus && status >= 200 && status <= 299;
}

std::string PmbFetch(const std::string& url) {
    const uint64_t cap = PmbSettings::Get().replyCap;
    std::string body;
    const bool complete = PmbHttpGet(url, [&](const char* data, size_t size) {
        if (body.size() + size > cap)
            return false;
        body.append(data, size);
        return true;
    });
    if (!complete)
        body.clear();
    return body;
}
