#include "games/downloads/SizeProbe.h"

#include <curl/curl.h>

#include "core/net/CurlSetup.h"
#include "games/downloads/ReplyHeaders.h"

namespace {

size_t ProbeHeader(char* data, size_t size, size_t count, void* user) {
    size_t length = size * count;
    static_cast<ReplyHeaders*>(user)->Take(data, length);
    return length;
}

}  // namespace

int SizeProbe::Query(const std::string& url, const char* userAgent, long connectTimeoutSeconds, long timeoutSeconds,
                     int64_t& length) {
    length = 0;
    CURL* easy = curl_easy_init();
    if (!easy)
        return CURLE_FAILED_INIT;
    ReplyHeaders headers;
    CurlSetup::ApplyGet(easy, url, userAgent);
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &ProbeHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &headers);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, connectTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, timeoutSeconds);
    CURLcode result = curl_easy_perform(easy);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(easy);
    // The length of an error page is not the file's.
    if (result == CURLE_OK && status >= 200 && status < 300)
        length = headers.ProbedLength();
    return result;
}
