#pragma once
#include <string>

// The options a GET of ours sets on its libcurl easy handle (passed as void*
// so this header needs no curl.h), whoever makes it: the address, the user
// agent, at most 5 redirects followed, and the common options (proxy, http
// and https only, no signals). Time-outs, body handling and headers differ
// between requests and stay with each.
class CurlSetup {
public:
    static constexpr long kMaxRedirects = 5;

    static void ApplyGet(void* curlHandle, const std::string& url, const char* userAgent);
};

// The options every handle of ours sets: proxy (explicitly, empty for direct),
// no environment no_proxy, http/https only (redirects too), no signals.
// Downloads use it too.
void ApplyCommonCurlOptions(const std::string& url, void* curlHandle);
