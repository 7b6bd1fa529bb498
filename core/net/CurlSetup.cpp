#include "core/net/CurlSetup.h"

#include <curl/curl.h>

#include "core/net/SystemProxy.h"

void CurlSetup::ApplyGet(void* curlHandle, const std::string& url, const char* userAgent) {
    CURL* handle = static_cast<CURL*>(curlHandle);
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_USERAGENT, userAgent);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
    ApplyCommonCurlOptions(url, handle);
}

void ApplyCommonCurlOptions(const std::string& url, void* curlHandle) {
    CURL* handle = static_cast<CURL*>(curlHandle);
    // Set explicitly, so that libcurl's own reading of the proxy variables
    // never overrides our rule: empty is a direct connection.
    curl_easy_setopt(handle, CURLOPT_PROXY, "");
    curl_easy_setopt(handle, CURLOPT_NOPROXY, "");
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    SetCurlProxy(url, handle, GetSystemProxy(url));
}
