#include "core/net/CurlSetup.h"

#include <curl/curl.h>

#include "core/net/HttpRequest.h"

void CurlSetup::ApplyGet(void* curlHandle, const std::string& url, const char* userAgent) {
    CURL* handle = static_cast<CURL*>(curlHandle);
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_USERAGENT, userAgent);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
    ApplyCommonCurlOptions(url, handle);
}
